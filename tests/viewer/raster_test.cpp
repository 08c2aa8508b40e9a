// Raster services: a raster written with the calls a layer type makes is
// read back through GDAL (pixels, band names, descriptor tables), and no
// failure leaves a half file or a temporary under the user's name.
#include "hlib.h"
#include "hvislib.h"
#include "support/test_util.h"
#include "viewer/hlib/error.h"
#include "viewer/hlib/heap_debug.h"
#include "viewer/hlib/raster.h"

#include <gtest/gtest.h>

#include <gdal.h>
#include <gdal_frmts.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Names = std::set<std::string>;

constexpr double kContrastStep = 0.00392156862745098;
const char *const kSuffixes[] = {"(:Layer_1)", "(:Layer_2)", "(:Layer_3)"};

// Pixel (row r, column c) of band k: distinct across bands and along both
// axes, so a swapped row and column or band shows.
unsigned char pattern(int k, int r, int c) { return (unsigned char)((r * 7 + c * 3 + k * 50) & 255); }

HStringList *bandNames(const std::string &file, HErrorSlot *err) {
    HStringList *names = hstr_StringListCreate(3, err);
    if (names)
        for (int k = 0; k < 3; ++k)
            names->strings[k] = hstr_StringCat(0, file.c_str(), kSuffixes[k]);
    return names;
}

// The steps of an export, as a layer type makes them: the first error stops
// it, and what it made is released (raster handles are closed).
struct Export {
    int width = 64, height = 48;
    int32_t summaries = 7;
    bool writeTables = true;
    // Runs the pixel phase and the descriptor phase; false with the slot
    // set at the first error.
    bool run(const std::string &file, HErrorSlot *err) {
        *err = nullptr;
        HPixelRectStack *planes = himg_PixelRectStackCreate(3, width, height, 3, err);
        HStringList *names = *err ? nullptr : bandNames(file, err);
        bool ok = !*err && writePixels(names, planes, err) && (!writeTables || writeDescriptors(names, err));
        HErrorSlot ignored = nullptr;
        hstr_StringListDelete(names, &ignored);
        himg_PixelRectStackDelete(planes, &ignored);
        return ok && !*err;
    }
    bool writePixels(HStringList *names, HPixelRectStack *planes, HErrorSlot *err) {
        HRaster *raster = himg_LayerStackCreate(names, 1, 3, width, height, hint_GetInit(err, 0));
        if (*err || !raster)
            return false;
        for (int k = 0; k < 3; ++k)
            for (int r = 0; r < height; ++r)
                for (int c = 0; c < width; ++c)
                    planes->planes[k].data[r * width + c] = pattern(k, r, c);
        if (!himg_LayerStackWrite(raster, 0, 0, width, height, planes, err) ||
            !himg_LayerStackChangeOptions(raster, err, HIMG_SUMMARIES, summaries, 0)) {
            HErrorSlot ignored = nullptr;
            himg_LayerStackClose(raster, &ignored);
            return false;
        }
        return himg_LayerStackClose(raster, err) && !*err;
    }
    bool writeDescriptors(HStringList *names, HErrorSlot *err) {
        HRaster *raster = himg_LayerStackOpen(names, hint_GetInit(err, 8, "Descriptor_Table", 0));
        if (*err || !raster)
            return false;
        HErrorSlot ignored = nullptr;
        if (!himg_LayerStackChangeOptions(raster, err, HIMG_SUMMARIES, 0, 0)) {
            himg_LayerStackClose(raster, &ignored);
            return false;
        }
        HBaseData *column = hgda_BaseDataCreate(256, 1, 10, 1, 0, err);
        if (!column) {
            himg_LayerStackClose(raster, &ignored);
            return false;
        }
        for (int k = 0; k < 256; ++k)
            static_cast<double *>(column->data)[k] = k * kContrastStep;
        for (int b = 0; b < 3; ++b)
            hvis_WriteHdscColumn(raster->bands[b], column, "Contrast", 256, err);
        hgda_BaseDataDelete(column, err);
        if (*err) {
            himg_LayerStackClose(raster, &ignored);
            return false;
        }
        return himg_LayerStackClose(raster, err) && !*err;
    }
};

class Raster : public ::testing::Test {
protected:
    void SetUp() override {
        GDALRegister_GTiff();
        std::string pattern = (fs::temp_directory_path() / "clouds-raster-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        file = (dir / "sky.tif").string();
        live = hmsc_HeapLiveBlocks();
    }
    void TearDown() override {
        hmsc_HeapFailAfter(0);
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << "every host block is given back";
        EXPECT_EQ(host::liveRasterCount(), 0u);
        fs::remove_all(dir);
    }
    Names listing() const {
        Names names;
        for (const auto &entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }
    static void writeText(const std::string &name, const char *text) { std::ofstream(name) << text; }

    fs::path dir;
    std::string file; // dir/sky.tif
    size_t live = 0;
};

// Reads a band's descriptor column of that name; empty when missing.
std::vector<double> column(GDALRasterBandH band, const char *name) {
    std::vector<double> values;
    GDALRasterAttributeTableH table = GDALGetDefaultRAT(band);
    if (!table)
        return values;
    for (int f = 0; f < GDALRATGetColumnCount(table); ++f)
        if (!std::strcmp(GDALRATGetNameOfCol(table, f), name))
            for (int r = 0; r < GDALRATGetRowCount(table); ++r)
                values.push_back(GDALRATGetValueAsDouble(table, r, f));
    return values;
}

TEST_F(Raster, ExportReadsBackThroughGdal) {
    Export exporter;
    HErrorSlot err = nullptr;
    ASSERT_TRUE(exporter.run(file, &err)) << herr_Message(err);
    EXPECT_EQ(listing(), (Names{"sky.tif", "sky.tif.aux.xml"}));

    GDALDatasetH dataset = GDALOpen(file.c_str(), GA_ReadOnly);
    ASSERT_NE(dataset, nullptr);
    EXPECT_STREQ(GDALGetDriverShortName(GDALGetDatasetDriver(dataset)), "GTiff");
    ASSERT_EQ(GDALGetRasterCount(dataset), 3);
    EXPECT_EQ(GDALGetRasterXSize(dataset), 64);
    EXPECT_EQ(GDALGetRasterYSize(dataset), 48);
    for (int k = 0; k < 3; ++k) {
        GDALRasterBandH band = GDALGetRasterBand(dataset, k + 1);
        EXPECT_EQ(GDALGetRasterDataType(band), GDT_Byte);
        EXPECT_EQ(std::string(GDALGetDescription(band)), file + kSuffixes[k]);
        std::vector<unsigned char> pixels(64 * 48);
        ASSERT_EQ(GDALRasterIO(band, GF_Read, 0, 0, 64, 48, pixels.data(), 64, 48, GDT_Byte, 0, 0),
                  CE_None);
        int wrong = 0;
        for (int r = 0; r < 48; ++r)
            for (int c = 0; c < 64; ++c)
                wrong += pixels[size_t(r) * 64 + c] != pattern(k, r, c);
        EXPECT_EQ(wrong, 0) << "band " << k + 1;

        // Each entry exactly as computed, not GDAL's 16-digit rounding.
        const std::vector<double> contrast = column(band, "Contrast");
        ASSERT_EQ(contrast.size(), 256u) << "band " << k + 1;
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(contrast[size_t(i)], i * kContrastStep) << "band " << k + 1 << " entry " << i;
        EXPECT_EQ(contrast[255], 1.0);

        // Option 25 = 7 asked the close for statistics.
        double minimum = -1, maximum = -1, mean, deviation;
        EXPECT_EQ(GDALGetRasterStatistics(band, FALSE, FALSE, &minimum, &maximum, &mean, &deviation),
                  CE_None);
        EXPECT_EQ(minimum, 0.0);
        EXPECT_EQ(maximum, 255.0);
    }
    GDALClose(dataset);

    // What a user inspecting the file sees.
    const std::string info = runCapture("gdalinfo '" + file + "' 2>&1");
    EXPECT_NE(info.find("Description = " + file + "(:Layer_3)"), std::string::npos) << info;
    EXPECT_NE(info.find("<Name>Contrast</Name>"), std::string::npos) << info;
}

TEST_F(Raster, OnlyGeoTiffNamesAreWritten) {
    for (const char *name : {"sky.png", "sky", "sky.tif.bak", "tif"}) {
        const std::string path = (dir / name).string();
        HErrorSlot err = nullptr;
        HStringList *names = bandNames(path, &err);
        EXPECT_EQ(himg_LayerStackCreate(names, 1, 3, 8, 8, hint_GetInit(&err, 0)), nullptr);
        const std::string message = herr_Message(err);
        EXPECT_NE(message.find(path + ":"), std::string::npos) << message;
        EXPECT_NE(message.find(".tif or .tiff"), std::string::npos) << message;
        hstr_StringListDelete(names, nullptr);
    }
    EXPECT_EQ(listing(), Names{});
    Export exporter;
    exporter.width = exporter.height = 4;
    HErrorSlot err = nullptr;
    EXPECT_TRUE(exporter.run((dir / "SKY.TIFF").string(), &err)) << herr_Message(err);
    EXPECT_EQ(listing(), (Names{"SKY.TIFF", "SKY.TIFF.aux.xml"}));
}

TEST_F(Raster, OldFileIsReplacedOnlyAtTheClose) {
    writeText(file, "old picture\n");
    writeText(file + ".aux.xml", "<PAMDataset>an old picture's tables</PAMDataset>\n");
    HErrorSlot err = nullptr;
    HPixelRectStack *planes = himg_PixelRectStackCreate(3, 8, 8, 3, &err);
    HStringList *names = bandNames(file, &err);
    HRaster *raster = himg_LayerStackCreate(names, 1, 3, 8, 8, hint_GetInit(&err, 0));
    ASSERT_NE(raster, nullptr) << herr_Message(err);
    ASSERT_EQ(raster->bandCount, 3);
    EXPECT_EQ(himg_LayerStackWrite(raster, 0, 0, 8, 8, planes, &err), 1);
    EXPECT_EQ(readFile(file), "old picture\n") << "readers see the old file while the new is made";
    EXPECT_EQ(listing().size(), 3u) << "the new raster grows under a name of its own";
    EXPECT_EQ(himg_LayerStackClose(raster, &err), 1) << herr_Message(err);
    EXPECT_EQ(err, nullptr);
    EXPECT_EQ(listing(), Names{"sky.tif"}) << "the old picture's tables do not describe the new one";
    GDALDatasetH dataset = GDALOpen(file.c_str(), GA_ReadOnly);
    ASSERT_NE(dataset, nullptr);
    EXPECT_EQ(GDALGetRasterXSize(dataset), 8);
    GDALClose(dataset);
    hstr_StringListDelete(names, nullptr);
    himg_PixelRectStackDelete(planes, nullptr);
}

TEST_F(Raster, FailedStepLeavesNoFileAndNoTemporary) {
    writeText(file, "old picture\n");
    HErrorSlot err = nullptr;
    HPixelRectStack *small = himg_PixelRectStackCreate(3, 4, 4, 3, &err);
    HStringList *names = bandNames(file, &err);
    HRaster *raster = himg_LayerStackCreate(names, 1, 3, 8, 8, hint_GetInit(&err, 0));
    ASSERT_NE(raster, nullptr) << herr_Message(err);
    EXPECT_EQ(himg_LayerStackWrite(raster, 0, 0, 8, 8, small, &err), 0);
    const std::string message = herr_Message(err);
    EXPECT_NE(message.find(file + ": cannot write 8 x 8 pixels"), std::string::npos) << message;
    EXPECT_EQ(listing(), Names{"sky.tif"}) << "the temporary goes with the failed step";
    HErrorSlot later = nullptr;
    EXPECT_EQ(himg_LayerStackWrite(raster, 0, 0, 4, 4, small, &later), 0) << "nothing more is written";
    EXPECT_NE(later, nullptr);
    EXPECT_EQ(himg_LayerStackClose(raster, &err), 0);
    EXPECT_EQ(herr_Message(err), message) << "a slot keeps the first error";
    HErrorSlot fresh = nullptr;
    raster = himg_LayerStackCreate(names, 1, 3, 8, 8, hint_GetInit(&fresh, 0));
    himg_LayerStackWrite(raster, 0, 0, 8, 8, small, &fresh);
    fresh = nullptr;
    EXPECT_EQ(himg_LayerStackClose(raster, &fresh), 0);
    EXPECT_NE(fresh, nullptr) << "a close that writes nothing is no success";
    EXPECT_EQ(readFile(file), "old picture\n");
    EXPECT_EQ(listing(), Names{"sky.tif"});
    hstr_StringListDelete(names, nullptr);
    himg_PixelRectStackDelete(small, nullptr);
}

TEST_F(Raster, MissingFolderFailsNamingTheFile) {
    const std::string inMissing = (dir / "missing" / "sky.tif").string();
    Export exporter;
    HErrorSlot err = nullptr;
    EXPECT_FALSE(exporter.run(inMissing, &err));
    EXPECT_EQ(herr_Message(err), inMissing + ": cannot create a file beside it: " +
                                     std::strerror(ENOENT));
    fs::create_directory(file);
    EXPECT_FALSE(exporter.run(file, &err));
    EXPECT_EQ(herr_Message(err), file + ": " + std::strerror(EISDIR));
    EXPECT_EQ(listing(), Names{"sky.tif"});
}

// Every host allocation of an export fails once in turn: each gives an
// error, no heap block is lost, and no temporary is left. A failure after
// the pixels were committed leaves the complete raster without its tables.
TEST_F(Raster, EveryAllocationOfAnExportMayFail) {
    Export exporter;
    exporter.width = exporter.height = 16;
    const unsigned long start = hmsc_HeapAllocationCount();
    HErrorSlot err = nullptr;
    ASSERT_TRUE(exporter.run(file, &err)) << herr_Message(err);
    const long attempts = long(hmsc_HeapAllocationCount() - start);
    EXPECT_GT(attempts, 20);
    for (long n = 1; n <= attempts; ++n) {
        fs::remove(file);
        fs::remove(file + ".aux.xml");
        hmsc_HeapFailAfter(n);
        EXPECT_FALSE(exporter.run(file, &err)) << "allocation " << n;
        hmsc_HeapFailAfter(0);
        EXPECT_NE(err, nullptr) << "allocation " << n;
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << "allocation " << n;
        EXPECT_EQ(host::liveRasterCount(), 0u) << "allocation " << n;
        const Names left = listing();
        EXPECT_TRUE(left.empty() || left == Names{"sky.tif"}) << "allocation " << n << ": "
                                                              << *left.begin();
    }
}

TEST_F(Raster, PixelPlanesHaveLimits) {
    HErrorSlot err = nullptr;
    HPixelRectStack *stack = himg_PixelRectStackCreate(3, HIMG_MAX_SIDE, 1, 3, &err);
    ASSERT_NE(stack, nullptr) << herr_Message(err);
    EXPECT_EQ(stack->count, 3);
    EXPECT_EQ(stack->planes[2].width, HIMG_MAX_SIDE);
    EXPECT_EQ(stack->planes[2].data[HIMG_MAX_SIDE - 1], 0);
    himg_PixelRectStackDelete(stack, &err);
    EXPECT_EQ(err, nullptr);
    const struct {
        int planes, width, height, type;
        const char *says;
    } refused[] = {
        {3, HIMG_MAX_SIDE + 1, 8, 3, "each side must be 1 to 16384"},
        {3, 8, 0, 3, "each side must be 1 to 16384"},
        {3, -8, 8, 3, "each side must be 1 to 16384"},
        {0, 8, 8, 3, "a stack holds 1 to 256"},
        {3, 8, 8, 10, "pixel type 10"},
    };
    for (const auto &r : refused) {
        err = nullptr;
        EXPECT_EQ(himg_PixelRectStackCreate(r.planes, r.width, r.height, r.type, &err), nullptr);
        EXPECT_NE(std::string(herr_Message(err)).find(r.says), std::string::npos) << herr_Message(err);
    }
    HStringList *names = bandNames(file, &err);
    err = nullptr;
    EXPECT_EQ(himg_LayerStackCreate(names, 1, 3, 8, HIMG_MAX_SIDE + 1, hint_GetInit(&err, 0)), nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find(file + ": size 8 x 16385"), std::string::npos);
    hstr_StringListDelete(names, nullptr);
    EXPECT_EQ(listing(), Names{});
}

TEST_F(Raster, MisusedHandlesAndOptionsAreRefused) {
    Export exporter;
    exporter.writeTables = false;
    HErrorSlot err = nullptr;
    ASSERT_TRUE(exporter.run(file, &err)) << herr_Message(err);
    HStringList *names = bandNames(file, &err);

    // Opened for its pixels, a raster takes no descriptor column.
    HRaster *raster = himg_LayerStackOpen(names, hint_GetInit(&err, 0));
    ASSERT_NE(raster, nullptr) << herr_Message(err);
    HBaseData *values = hgda_BaseDataCreate(256, 1, 10, 1, 0, &err);
    hvis_WriteHdscColumn(raster->bands[0], values, "Contrast", 256, &err);
    EXPECT_EQ(herr_Message(err), file + ": not opened for its descriptor tables");
    err = nullptr;
    EXPECT_EQ(himg_LayerStackChangeOptions(raster, &err, HIMG_SUMMARIES, 8, 0), 0);
    EXPECT_NE(std::string(herr_Message(err)).find("takes 0 to 7, not 8"), std::string::npos);
    err = nullptr;
    EXPECT_EQ(himg_LayerStackChangeOptions(raster, &err, 24, 1, 0), 0);
    EXPECT_NE(err, nullptr);
    EXPECT_EQ(himg_LayerStackClose(raster, &err), 1);

    // More entries than the column holds.
    err = nullptr;
    raster = himg_LayerStackOpen(names, hint_GetInit(&err, 8, "Descriptor_Table", 0));
    ASSERT_NE(raster, nullptr) << herr_Message(err);
    hvis_WriteHdscColumn(raster->bands[1], values, "Contrast", 257, &err);
    EXPECT_NE(err, nullptr);
    himg_LayerStackClose(raster, &err);
    hgda_BaseDataDelete(values, nullptr);
    EXPECT_EQ(listing(), Names{"sky.tif"}) << "no tables were stored";

    // Unknown options, purposes and closed handles.
    err = nullptr;
    EXPECT_EQ(hint_GetInit(&err, 9, 1, 0), nullptr);
    EXPECT_NE(err, nullptr);
    err = nullptr;
    EXPECT_EQ(himg_LayerStackOpen(names, hint_GetInit(&err, 8, "Pixels_And_More", 0)), nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find("Pixels_And_More"), std::string::npos);
    err = nullptr;
    EXPECT_EQ(himg_LayerStackClose(raster, &err), 0) << "a closed handle is not followed";
    EXPECT_NE(err, nullptr);
    hvis_WriteHdscColumn(nullptr, nullptr, "Contrast", 256, nullptr); // no slot: no crash
    hint_Free(hint_GetInit(nullptr, 8, "Descriptor_Table", 0));

    // A missing file, and a file that is not a raster, named in the error.
    err = nullptr;
    HStringList *other = bandNames((dir / "other.tif").string(), &err);
    EXPECT_EQ(himg_LayerStackOpen(other, hint_GetInit(&err, 8, "Descriptor_Table", 0)), nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find((dir / "other.tif").string() + ": cannot open"),
              std::string::npos)
        << herr_Message(err);
    writeText((dir / "other.tif").string(), "not a picture\n");
    err = nullptr;
    EXPECT_EQ(himg_LayerStackOpen(other, hint_GetInit(&err, 8, "Descriptor_Table", 0)), nullptr);
    EXPECT_NE(err, nullptr);
    hstr_StringListDelete(other, nullptr);
    hstr_StringListDelete(names, nullptr);
}

} // namespace

namespace {

// The geotransform the export at file was written with; false without one.
bool writtenPlace(const std::string &file, double gt[6]) {
    GDALDatasetH ds = GDALOpen(file.c_str(), GA_ReadOnly);
    const bool placed = ds && GDALGetGeoTransform(ds, gt) == CE_None && GDALGetSpatialRef(ds);
    if (ds)
        GDALClose(ds);
    return placed;
}

host::RasterPlacer placerAt(double west) {
    return [west](const std::string &, int32_t width, int32_t, host::RasterPlacement &p) {
        const double gt[6] = {west, 1000.0 / width, 0, 9000000.0, 0, -10.0};
        std::copy(gt, gt + 6, p.geoTransform);
        p.wkt = "EPSG:32725";
        return true;
    };
}

} // namespace

TEST_F(Raster, ThePlacerOfTheNewestLiveScopePlacesExportsWhateverOrderScopesEndIn) {
    Export exporter;
    exporter.writeTables = false;
    HErrorSlot err = nullptr;
    double gt[6];
    ASSERT_TRUE(exporter.run(file, &err)) << herr_Message(err);
    EXPECT_FALSE(writtenPlace(file, gt)) << "nobody says where it lies";
    {
        auto first = std::make_unique<host::RasterPlacerScope>(placerAt(100000.0));
        auto second = std::make_unique<host::RasterPlacerScope>(placerAt(200000.0));
        ASSERT_TRUE(exporter.run(file, &err)) << herr_Message(err);
        ASSERT_TRUE(writtenPlace(file, gt));
        EXPECT_EQ(gt[0], 200000.0);
        EXPECT_EQ(gt[1], 1000.0 / exporter.width);
        // The older scope ends first (one viewer of two closes): the newer
        // one still answers, and when it ends, nobody does.
        first.reset();
        ASSERT_TRUE(exporter.run(file, &err)) << herr_Message(err);
        ASSERT_TRUE(writtenPlace(file, gt));
        EXPECT_EQ(gt[0], 200000.0);
        second.reset();
    }
    ASSERT_TRUE(exporter.run(file, &err)) << herr_Message(err);
    EXPECT_FALSE(writtenPlace(file, gt));
    // A place GDAL cannot write fails the export, naming the file; the
    // picture is not written unlabelled.
    host::RasterPlacerScope broken([](const std::string &, int32_t, int32_t, host::RasterPlacement &p) {
        p.wkt = "no such system";
        return true;
    });
    EXPECT_FALSE(exporter.run(dir.string() + "/other.tif", &err));
    EXPECT_NE(std::string(herr_Message(err)).find("other.tif: cannot create"), std::string::npos)
        << herr_Message(err);
    EXPECT_FALSE(fs::exists(dir / "other.tif"));
}
