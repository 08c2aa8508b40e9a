// The drape read a tile at a time: the image's own pixels at its own
// resolution, its overviews for coarser tiles, the colours of the
// whole-model drape for an image in another system, one stretch for every
// tile, palettes, and images that lie off the model or have no
// georeferencing. Images are made here with GDAL over a UTM model whose
// northings are near 9,000,000.
#include <gtest/gtest.h>

#include <cpl_conv.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <cmath>
#include <filesystem>
#include <array>
#include <fstream>
#include <functional>
#include <thread>

#include "terrain/drape.h"
#include "terrain/drape_source.h"
#include "terrain/height_model.h"
#include "terrain/terrain_error.h"
#include "terrain/terrain_models.h"

namespace {

using terrain::DrapeSource;
using Rgb = std::array<int, 3>;
using PixelFn = std::function<Rgb(int column, int row)>;

struct Image {
    int width = 256, height = 256;
    double west = 499000.0, north = 9001000.0, cell = 50.0;
    int epsg = 32725;  // 0: no georeferencing
    int bands = 3;
    GDALDataType type = GDT_Byte;
};

std::string writeImage(const std::string &file, const Image &spec, const PixelFn &pixel,
                       const GDALColorTable *palette = nullptr, const double *noData = nullptr)
{
    GDALAllRegister();
    GDALDataset *ds = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        file.c_str(), spec.width, spec.height, spec.bands, spec.type, nullptr);
    if (!ds)
        throw std::runtime_error(file + ": cannot create the test image");
    if (spec.epsg) {
        double gt[6] = {spec.west, spec.cell, 0.0, spec.north, 0.0, -spec.cell};
        ds->SetGeoTransform(gt);
        OGRSpatialReference srs;
        srs.importFromEPSG(spec.epsg);
        ds->SetSpatialRef(&srs);
    }
    std::vector<double> values(size_t(spec.width) * size_t(spec.height));
    for (int b = 0; b < spec.bands; ++b) {
        for (int r = 0; r < spec.height; ++r)
            for (int c = 0; c < spec.width; ++c)
                values[size_t(r) * size_t(spec.width) + size_t(c)] = pixel(c, r)[size_t(b)];
        GDALRasterBand *band = ds->GetRasterBand(b + 1);
        if (palette)
            band->SetColorTable(const_cast<GDALColorTable *>(palette));
        if (noData)
            band->SetNoDataValue(*noData);
        band->RasterIO(GF_Write, 0, 0, spec.width, spec.height, values.data(), spec.width, spec.height,
                       GDT_Float64, 0, 0);
    }
    GDALClose(ds);
    return file;
}

Rgb texel(const std::vector<uint8_t> &rgb, int width, int i, int j)
{
    const size_t k = (size_t(j) * size_t(width) + size_t(i)) * 3;
    return {rgb[k], rgb[k + 1], rgb[k + 2]};
}

// A pattern in which every pixel differs from its neighbours.
Rgb pattern(int c, int r) { return {(c * 7 + r * 3) % 256, ((c * 11) ^ r) % 256, (r * 5 + c) % 256}; }

struct DrapeSourceTest : ::testing::Test {
    std::string dir = scratchFolder();
    std::vector<std::string> warnings;
    terrain::HeightModel model;  // 129 x 129 samples of 100 m from (500000, 9000000), UTM 25S

    void SetUp() override
    {
        std::vector<std::string> modelWarnings;
        model = terrain::readHeightModel(writeModel(dir + "/model.tif", ModelSpec{}), modelWarnings);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    DrapeSource source(const std::string &file)
    {
        return DrapeSource(file, model.wkt, model.geoTransform, model.width, model.height, warnings);
    }
};

TEST_F(DrapeSourceTest, InTheModelsFrameATileIsTheImagesPixelsOrItsOverviews)
{
    // 70 m pixels: the model's 12.9 km is no whole number of them.
    Image spec;
    spec.cell = 70.0;
    const std::string file = writeImage(dir + "/photo.tif", spec, pattern);
    // Pixels 40..103 by 30..93 of the image, at its own resolution.
    const double x0 = spec.west + 40 * spec.cell, y1 = spec.north - 30 * spec.cell;
    const double x1 = x0 + 64 * spec.cell, y0 = y1 - 64 * spec.cell;
    const auto expectPixels = [&](const std::vector<uint8_t> &rgb) {
        int wrong = 0;
        for (int j = 0; j < 64; ++j)
            for (int i = 0; i < 64; ++i)
                wrong += texel(rgb, 64, i, j) != pattern(40 + i, 30 + j);
        EXPECT_EQ(wrong, 0);
    };
    {
        DrapeSource drape = source(file);
        EXPECT_TRUE(warnings.empty());
        ASSERT_FALSE(drape.empty());
        std::vector<uint8_t> rgb;
        ASSERT_TRUE(drape.read(x0, y0, x1, y1, 64, 64, rgb)) << drape.lastError();
        ASSERT_EQ(rgb.size(), 64u * 64u * 3u);
        expectPixels(rgb);

        // Half off the image's west edge: grey there, the image's first
        // columns after it.
        const double w0 = spec.west - 32 * spec.cell;
        ASSERT_TRUE(drape.read(w0, y0, w0 + 64 * spec.cell, y1, 64, 64, rgb));
        EXPECT_EQ(texel(rgb, 64, 0, 5), (Rgb{128, 128, 128}));
        EXPECT_EQ(texel(rgb, 64, 31, 5), (Rgb{128, 128, 128}));
        EXPECT_EQ(texel(rgb, 64, 32, 5), pattern(0, 35));
        EXPECT_EQ(texel(rgb, 64, 63, 5), pattern(31, 35));
        // Wholly off it: all grey, and still a read.
        ASSERT_TRUE(drape.read(spec.west - 9000, y0, spec.west - 5000, y1, 16, 16, rgb));
        EXPECT_EQ(std::count(rgb.begin(), rgb.end(), 128), 16 * 16 * 3);
    }

    // Overviews at half resolution, painted a colour the image does not
    // have: a tile at half resolution can only be that colour if it came
    // from them.
    {
        GDALDatasetH ds = GDALOpen(file.c_str(), GA_Update);
        int level = 2, bands[3] = {1, 2, 3};
        ASSERT_EQ(GDALBuildOverviews(ds, "AVERAGE", 1, &level, 3, bands, nullptr, nullptr), CE_None);
        const unsigned char paint[3] = {7, 77, 177};
        for (int b = 0; b < 3; ++b) {
            GDALRasterBandH overview = GDALGetOverview(GDALGetRasterBand(ds, b + 1), 0);
            std::vector<unsigned char> values(128 * 128, paint[b]);
            ASSERT_EQ(GDALRasterIO(overview, GF_Write, 0, 0, 128, 128, values.data(), 128, 128, GDT_Byte, 0, 0),
                      CE_None);
        }
        GDALClose(ds);
    }
    DrapeSource drape = source(file);
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(drape.read(x0, y0, x1, y1, 32, 32, rgb)) << drape.lastError();
    EXPECT_EQ(texel(rgb, 32, 0, 0), (Rgb{7, 77, 177}));
    EXPECT_EQ(texel(rgb, 32, 17, 29), (Rgb{7, 77, 177}));
    ASSERT_TRUE(drape.read(x0, y0, x1, y1, 64, 64, rgb));
    expectPixels(rgb);

    // Warped into another datum's UTM zone (SIRGAS 2000, a metre or so
    // away), a coarse tile comes from the overviews too.
    OGRSpatialReference sirgas;
    sirgas.importFromEPSG(31985);
    char *wkt = nullptr;
    sirgas.exportToWkt(&wkt);
    DrapeSource warped(file, wkt, model.geoTransform, model.width, model.height, warnings);
    CPLFree(wkt);
    ASSERT_TRUE(warped.read(x0, y0, x1, y1, 32, 32, rgb)) << warped.lastError();
    EXPECT_EQ(texel(rgb, 32, 3, 3), (Rgb{7, 77, 177}));
    EXPECT_EQ(texel(rgb, 32, 28, 20), (Rgb{7, 77, 177}));
    ASSERT_TRUE(warped.read(x0, y0, x1, y1, 64, 64, rgb));
    EXPECT_NE(texel(rgb, 64, 20, 20), (Rgb{7, 77, 177}));
    // The image covers the model: so does the warp, to its last metres.
    const double east = model.geoTransform[0] + 12900, south = model.geoTransform[3] - 12900;
    ASSERT_TRUE(warped.read(east - 100, south, east, south + 100, 10, 10, rgb));
    int grey = 0;
    for (int j = 0; j < 10; ++j)
        for (int i = 0; i < 10; ++i)
            grey += texel(rgb, 10, i, j) == Rgb{128, 128, 128};
    EXPECT_EQ(grey, 0);
}

TEST_F(DrapeSourceTest, AnImageInDegreesLooksAsTheWholeModelDrapeDoesOnEveryThread)
{
    // Waves of colour in WGS 84 around the model (about 33° W, 9° S),
    // pixels of about 22 m: steep enough that a tile half a texel (12.5 m)
    // off the whole drape differs from it by far more than a unit or two.
    Image spec;
    spec.width = spec.height = 700;
    spec.west = -33.04;
    spec.north = -8.98;
    spec.cell = 0.0002;
    spec.epsg = 4326;
    const std::string file = writeImage(dir + "/degrees.tif", spec, [](int c, int r) {
        return Rgb{int(std::lround(128 + 100 * std::sin(c / 6.0))), int(std::lround(128 + 100 * std::sin(r / 6.0))),
                   int(std::lround(128 + 60 * std::sin((c + r) / 11.0)))};
    });
    const terrain::DrapeImage whole = terrain::readDrape(file, model, warnings);
    ASSERT_FALSE(whole.empty());
    // A tile on the whole drape's grid: its texels 100..163 by 200..263.
    const double texelX = (model.width * model.geoTransform[1]) / whole.width;
    const double texelY = (model.height * -model.geoTransform[5]) / whole.height;
    const double x0 = model.geoTransform[0] + 100 * texelX, x1 = x0 + 64 * texelX;
    const double y1 = model.geoTransform[3] - 200 * texelY, y0 = y1 - 64 * texelY;
    const auto readTile = [&](std::vector<uint8_t> &rgb) {
        std::vector<std::string> ownWarnings;
        DrapeSource drape(file, model.wkt, model.geoTransform, model.width, model.height, ownWarnings);
        return drape.read(x0, y0, x1, y1, 64, 64, rgb);
    };
    std::vector<uint8_t> tile;
    ASSERT_TRUE(readTile(tile));
    int worst = 0;
    for (int j = 0; j < 64; ++j)
        for (int i = 0; i < 64; ++i)
            for (int k = 0; k < 3; ++k)
                worst = std::max(worst, std::abs(texel(tile, 64, i, j)[size_t(k)] -
                                                 texel(whole.rgb, whole.width, 100 + i, 200 + j)[size_t(k)]));
    EXPECT_LE(worst, 2);

    // Made and read on two threads at once, each its own: the same tile.
    std::vector<uint8_t> a, b;
    bool readA = false, readB = false;
    std::thread first([&] { readA = readTile(a); });
    std::thread second([&] { readB = readTile(b); });
    first.join();
    second.join();
    EXPECT_TRUE(readA && readB);
    EXPECT_EQ(a, tile);
    EXPECT_EQ(b, tile);
}

TEST_F(DrapeSourceTest, SixteenBitValuesAreStretchedAlikeInTilesFarApart)
{
    // Values rising eastward, 1000..4980, with a no-data square.
    Image spec;
    spec.width = spec.height = 200;
    spec.bands = 1;
    spec.type = GDT_UInt16;
    const double noData = 0.0;
    const std::string file = writeImage(dir + "/grey16.tif", spec, [](int c, int r) {
        const int v = (c >= 180 && r < 10) ? 0 : 1000 + 20 * c;
        return Rgb{v, v, v};
    }, nullptr, &noData);
    DrapeSource drape = source(file);
    const auto grey = [](int c) { return int((20.0f * c) / 3980.0f * 255.0f + 0.5f); };
    std::vector<uint8_t> rgb;
    for (int firstColumn : {0, 168}) {
        const double x0 = spec.west + firstColumn * spec.cell, y1 = spec.north;
        ASSERT_TRUE(drape.read(x0, y1 - 32 * spec.cell, x0 + 32 * spec.cell, y1, 32, 32, rgb))
            << drape.lastError();
        for (int i : {0, 11, 31}) {
            const int g = grey(firstColumn + i);
            EXPECT_EQ(texel(rgb, 32, i, 20), (Rgb{g, g, g})) << "column " << firstColumn + i;
        }
    }
    EXPECT_EQ(texel(rgb, 32, 20, 5), (Rgb{128, 128, 128})) << "no data is grey";
    EXPECT_EQ(texel(rgb, 32, 11, 5), (Rgb{grey(179), grey(179), grey(179)}));

    // The whole-model drape stretches the same, though it sees only the
    // part of the image on the model: its texel 99 (x 502487.5) stands at
    // the image's column 69.25.
    const terrain::DrapeImage whole = terrain::readDrape(file, model, warnings);
    ASSERT_FALSE(whole.empty());
    EXPECT_NEAR(texel(whole.rgb, whole.width, 99, 200)[0], 20.0 * 69.25 / 3980.0 * 255.0, 1.0);
}

TEST_F(DrapeSourceTest, PalettesImagesWithoutGeoreferencingAndImagesOffTheModel)
{
    // A 16-bit palette image without georeferencing: stretched over the
    // footprint (12.9 km a side), so 129 of its pixels are a tile of the
    // footprint; its colours are the palette's, not stretched again.
    GDALColorTable palette;
    const GDALColorEntry north = {10, 20, 30, 255}, south = {200, 100, 50, 255};
    palette.SetColorEntry(0, &north);
    palette.SetColorEntry(1, &south);
    Image spec;
    spec.width = spec.height = 129;
    spec.bands = 1;
    spec.epsg = 0;
    spec.type = GDT_UInt16;
    const std::string file = writeImage(dir + "/palette.tif", spec, [](int, int r) {
        return Rgb{r < 64 ? 0 : 1, 0, 0};
    }, &palette);
    DrapeSource drape = source(file);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("palette.tif: has no georeferencing"), std::string::npos) << warnings[0];
    const double *gt = model.geoTransform;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(drape.read(gt[0], gt[3] - 12900, gt[0] + 12900, gt[3], 129, 129, rgb)) << drape.lastError();
    EXPECT_EQ(texel(rgb, 129, 0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(texel(rgb, 129, 128, 63), (Rgb{10, 20, 30}));
    EXPECT_EQ(texel(rgb, 129, 5, 64), (Rgb{200, 100, 50}));
    EXPECT_EQ(texel(rgb, 129, 128, 128), (Rgb{200, 100, 50}));
    const terrain::DrapeImage whole = terrain::readDrape(file, model, warnings);
    ASSERT_FALSE(whole.empty());
    EXPECT_EQ(texel(whole.rgb, whole.width, 0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(texel(whole.rgb, whole.width, whole.width - 1, whole.height - 1), (Rgb{200, 100, 50}));

    // Off the model, in its own system or another: empty, and said so.
    for (int epsg : {32725, 4326}) {
        warnings.clear();
        Image far;
        far.epsg = epsg;
        far.west = epsg == 4326 ? -40.0 : 600000.0;
        far.north = epsg == 4326 ? -20.0 : 9000000.0;
        far.cell = epsg == 4326 ? 0.001 : 50.0;
        DrapeSource off = source(writeImage(dir + "/off.tif", far, pattern));
        EXPECT_TRUE(off.empty()) << epsg;
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("off.tif: does not overlap the model"), std::string::npos) << warnings[0];
        EXPECT_FALSE(off.read(gt[0], gt[3] - 100, gt[0] + 100, gt[3], 4, 4, rgb));
        EXPECT_EQ(rgb, std::vector<uint8_t>(4 * 4 * 3, 128));
    }

    // Not an image: the file and the reason.
    std::ofstream(dir + "/notes.tif") << "not a raster";
    try {
        source(dir + "/notes.tif");
        FAIL() << "a text file opened as a drape";
    } catch (const terrain::TerrainError &e) {
        EXPECT_NE(std::string(e.what()).find("notes.tif: not a raster GDAL can read"), std::string::npos)
            << e.what();
    }
}

}  // namespace
