// "savetoimg": the mirrored three-band picture read back through GDAL, the
// contrast tables, the overwrite question, and what the dialog says when
// the export fails.
#include "tool/tool_fixture.h"

#include <gdal.h>
#include <gdal_rat.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "synth/noise.h"
#include "synth/noise_grid.h"
#include "viewer/hvislib/journal.h"
#include "viewer/hvislib/questions.h"

namespace {

struct Raster {
    int width = 0, height = 0;
    std::vector<std::vector<uint8_t>> bands;
    std::vector<std::string> descriptions;
    std::vector<std::vector<double>> contrast;
};

Raster readRaster(const std::string &file)
{
    GDALAllRegister();
    Raster r;
    GDALDatasetH ds = GDALOpen(file.c_str(), GA_ReadOnly);
    if (!ds)
        return r;
    r.width = GDALGetRasterXSize(ds);
    r.height = GDALGetRasterYSize(ds);
    for (int b = 1; b <= GDALGetRasterCount(ds); ++b) {
        GDALRasterBandH band = GDALGetRasterBand(ds, b);
        std::vector<uint8_t> pixels(size_t(r.width) * size_t(r.height));
        if (GDALRasterIO(band, GF_Read, 0, 0, r.width, r.height, pixels.data(), r.width, r.height,
                         GDT_Byte, 0, 0) != CE_None)
            pixels.clear();
        r.bands.push_back(pixels);
        r.descriptions.push_back(GDALGetDescription(band));
        std::vector<double> column;
        if (GDALRasterAttributeTableH rat = GDALGetDefaultRAT(band)) {
            for (int f = 0; f < GDALRATGetColumnCount(rat); ++f)
                if (std::string(GDALRATGetNameOfCol(rat, f)) == "Contrast")
                    for (int row = 0; row < GDALRATGetRowCount(rat); ++row)
                        column.push_back(GDALRATGetValueAsDouble(rat, row, f));
        }
        r.contrast.push_back(column);
    }
    GDALClose(ds);
    return r;
}

bool exists(const std::string &file)
{
    struct stat st;
    return stat(file.c_str(), &st) == 0;
}

// The byte the export stores for a sample: written from the definition.
uint8_t expectedByte(float component, double v)
{
    double a = std::fabs(v) * 2.0;
    if (a > 1.0)
        a = 1.0;
    const double p = component * (a * 255.0);
    return std::isnan(p) ? 0 : uint8_t(int32_t(p) & 0xff);
}

struct ExportTest : ToolTest {
    HLayer *layer = nullptr;
    void SetUp() override
    {
        ToolTest::SetUp();
        layer = newLayer();
        openDialog();
    }
    std::string exportTo(const std::string &file)
    {
        update(layer, {"savetoimg", file});
        return value(layer, "savelabel");
    }
};

}  // namespace

TEST_F(ExportTest, MirroredTileInTheCloudsColour)
{
    editCloud.texsize = 32;
    editCloud.red = 1.0f, editCloud.green = 0.5f, editCloud.blue = 0.0f;
    editCloud.detail = 2.0f;
    set(layer, "panx", "5");  // the export reads the noise as the dialog left it
    const std::string file = dir + "/cloud.tif";
    EXPECT_EQ(exportTo(file), "Successfully exported " + file);

    const Raster r = readRaster(file);
    ASSERT_EQ(r.width, 64);
    ASSERT_EQ(r.height, 64);
    ASSERT_EQ(r.bands.size(), 3u);
    EXPECT_EQ(r.descriptions, (std::vector<std::string>{file + "(:Layer_1)", file + "(:Layer_2)",
                                                        file + "(:Layer_3)"}));
    const float colour[3] = {1.0f, 0.5f, 0.0f};
    for (int b = 0; b < 3; ++b) {
        SCOPED_TRACE(b);
        const std::vector<uint8_t> &p = r.bands[b];
        for (int i = 0; i < 32; ++i)
            for (int j = 0; j < 32; ++j) {
                const double v = noiseFractal(j, i, 2, 32, 32, editCloud.cluster,
                                              1.0f - editCloud.height, false);
                const uint8_t want = expectedByte(colour[b], v);
                ASSERT_EQ(p[i * 64 + j], want) << i << "," << j;
                ASSERT_EQ(p[(63 - i) * 64 + j], want);
                ASSERT_EQ(p[i * 64 + 63 - j], want);
                ASSERT_EQ(p[(63 - i) * 64 + 63 - j], want);
            }
        // Linear contrast: k / 255.
        ASSERT_EQ(r.contrast[b].size(), 256u);
        for (int k = 0; k < 256; ++k)
            EXPECT_DOUBLE_EQ(r.contrast[b][k], k / 255.0);
        EXPECT_EQ(r.contrast[b][255], 1.0);
    }
    for (uint8_t byte : r.bands[2])
        ASSERT_EQ(byte, 0);  // no blue in the colour, no blue in the picture
}

TEST_F(ExportTest, ABandOutOfTheColourIsZeroAndHalvesRoundDown)
{
    // Bytes from the definition's own numbers: twice the noise's magnitude,
    // capped at 1, times 255 times the component, truncated.
    EXPECT_EQ(noiseColourByte(1.0f, 0.25), 127);
    EXPECT_EQ(noiseColourByte(1.0f, -0.25), 127);
    EXPECT_EQ(noiseColourByte(0.5f, 1.0), 127);
    EXPECT_EQ(noiseColourByte(1.0f, 0.75), 255);
    editCloud.texsize = 16;
    editCloud.red = 1.0f, editCloud.green = 0.0f, editCloud.blue = 0.0f;
    const std::string file = dir + "/red.tif";
    ASSERT_EQ(exportTo(file), "Successfully exported " + file);
    const Raster r = readRaster(file);
    ASSERT_EQ(r.bands.size(), 3u);
    EXPECT_NE(std::count(r.bands[0].begin(), r.bands[0].end(), 0), 32 * 32);
    EXPECT_EQ(std::count(r.bands[1].begin(), r.bands[1].end(), 0), 32 * 32);
    EXPECT_EQ(std::count(r.bands[2].begin(), r.bands[2].end(), 0), 32 * 32);
}

TEST_F(ExportTest, ANameThatCannotBeWrittenIsRefusedBeforeAnyQuestion)
{
    const std::string file = dir + "/cloud.png";
    std::ofstream(file) << "mine";
    int asked = 0;
    host::setResponder([&](const std::string &, const std::string &, const std::string &) {
        ++asked;
        return true;
    });
    EXPECT_EQ(exportTo(file), "Export failed: " + file +
                                  ": rasters are written as GeoTIFF; the name must end in .tif or "
                                  ".tiff");
    EXPECT_EQ(asked, 0);
    std::ifstream in(file);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "mine");
    // Any case of the extension is a GeoTIFF name.
    EXPECT_EQ(exportTo(dir + "/UP.TIFF"), "Successfully exported " + dir + "/UP.TIFF");
}

TEST_F(ExportTest, AnExistingFileIsReplacedOnlyWhenTheUserAgrees)
{
    const std::string file = dir + "/kept.tif";
    std::ofstream(file) << "mine";
    std::vector<std::string> asked;
    bool answer = false;
    host::setResponder([&](const std::string &q, const std::string &no, const std::string &yes) {
        asked = {q, no, yes};
        return answer;
    });
    const std::string said = exportTo(file);
    EXPECT_EQ(asked, (std::vector<std::string>{file + " already exists.  Overwrite it?", "No",
                                               "Yes"}));
    EXPECT_EQ(said, file + " was kept; nothing was written");
    std::ifstream in(file);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "mine");
    EXPECT_FALSE(exists(file + ".aux.xml"));

    answer = true;
    EXPECT_EQ(exportTo(file), "Successfully exported " + file);
    EXPECT_EQ(readRaster(file).width, 64);
}

TEST_F(ExportTest, AFailedExportSaysWhyAndWritesNothing)
{
    std::vector<std::string> reports;
    host::setErrorListener([&](const std::string &m) { reports.push_back(m); });
    const std::string png = dir + "/cloud.png";
    const std::string said = exportTo(png);
    EXPECT_EQ(said.rfind("Export failed: ", 0), 0u) << said;
    EXPECT_NE(said.find("GeoTIFF"), std::string::npos) << said;
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(exists(png));

    // No picture can be made of a texture size below 1 or beyond the host's
    // limit; nothing is left behind either way.
    for (const char *size : {"0", "-3", "9000", "2147483647"}) {
        update(layer, {"texsize", size});
        const std::string file = dir + "/size" + size + ".tif";
        const std::string message = exportTo(file);
        EXPECT_EQ(message.rfind("Export failed: ", 0), 0u) << size << ": " << message;
        EXPECT_FALSE(exists(file)) << size;
    }
    // A folder that does not exist.
    update(layer, {"texsize", "32"});
    EXPECT_EQ(exportTo(dir + "/no/such/folder/c.tif").rfind("Export failed: ", 0), 0u);
    host::setErrorListener(nullptr);
    std::vector<std::string> left;
    for (const std::string &e : {std::string("/cloud.png"), std::string("/size0.tif")})
        if (exists(dir + e))
            left.push_back(e);
    EXPECT_TRUE(left.empty());
}

TEST_F(ExportTest, LongNamesAreShortenedNotOverflowed)
{
    const std::string deep = dir + "/" + std::string(200, 'd');
    mkdir(deep.c_str(), 0777);
    const std::string file = deep + "/" + std::string(200, 'f') + "/" + std::string(150, 'g') + ".tif";
    mkdir((deep + "/" + std::string(200, 'f')).c_str(), 0777);
    std::ofstream(file) << "x";
    std::vector<std::string> asked;
    host::setResponder([&](const std::string &q, const std::string &, const std::string &) {
        asked.push_back(q);
        return true;
    });
    const std::string said = exportTo(file);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_LE(asked[0].size(), 255u);  // the question's buffer holds 256 bytes
    EXPECT_EQ(asked[0], (file + " already exists.  Overwrite it?").substr(0, 255));
    EXPECT_LE(said.size(), 499u);  // the message's 500
    EXPECT_EQ(said, ("Successfully exported " + file).substr(0, 499));
    EXPECT_EQ(readRaster(file).width, 64);
}
