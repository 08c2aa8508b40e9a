// Reading elevation models (band 1, no data, warping degrees to UTM, bad
// input) and the tile tree over them, on models made here with GDAL.
#include <gtest/gtest.h>

#include <ogr_srs_api.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "terrain/height_model.h"
#include "terrain/terrain.h"
#include "terrain/terrain_models.h"
#include "terrain/tile_tree.h"

namespace {

using terrain::HeightModel;

// A 129 x 129 model at 100 m in UTM 25S, its top-left at (500000, 9000000):
// a plateau 500 m high in the middle, 100 m around it.
ModelSpec plateau()
{
    ModelSpec spec;
    spec.heightAt = [](int c, int r) { return (c >= 32 && c <= 96 && r >= 32 && r <= 96) ? 500.0 : 100.0; };
    return spec;
}

struct ModelTest : ::testing::Test {
    std::string dir = scratchFolder();
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::vector<std::string> warnings;
};

TEST_F(ModelTest, ReadsBandOneOnItsGridWithTheFootprintAsExtent)
{
    const std::string file = writeModel(dir + "/plateau.tif", plateau());
    const HeightModel model = terrain::readHeightModel(file, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(model.width, 129);
    EXPECT_EQ(model.height, 129);
    EXPECT_EQ(model.low, 100.0f);
    EXPECT_EQ(model.high, 500.0f);
    EXPECT_EQ(model.at(64, 64), 500.0f);
    EXPECT_NE(model.frameName.find("UTM zone 25S"), std::string::npos) << model.frameName;
    EXPECT_TRUE(model.warpedFrom.empty());
    // Samples at pixel centres.
    EXPECT_DOUBLE_EQ(model.sampleX(0), 500050.0);
    EXPECT_DOUBLE_EQ(model.sampleY(0), 8999950.0);

    terrain::TerrainSettings settings;
    settings.model = file;
    settings.exaggeration = 2.0;
    auto ground = terrain::Terrain::open(settings, warnings);
    const host::Extent e = ground->extent();
    // As gdalinfo gives the corners: the outer edges of the grid.
    EXPECT_DOUBLE_EQ(e.x1, 500000.0);
    EXPECT_DOUBLE_EQ(e.x2, 512900.0);
    EXPECT_DOUBLE_EQ(e.y1, 9000000.0 - 12900.0);
    EXPECT_DOUBLE_EQ(e.y2, 9000000.0);
    EXPECT_DOUBLE_EQ(e.z1, 200.0) << "heights times the exaggeration";
    EXPECT_DOUBLE_EQ(e.z2, 1000.0);
    EXPECT_DOUBLE_EQ(ground->heightAt(506450.0, 8993550.0), 500.0) << "in metres, not scene z";
}

TEST_F(ModelTest, NoDataIsAHoleNeverAHeight)
{
    ModelSpec spec = plateau();
    spec.hasNoData = true;
    spec.heightAt = [](int c, int r) { return c < 20 && r < 20 ? -9999.0 : 250.0; };
    const HeightModel model = terrain::readHeightModel(writeModel(dir + "/holes.tif", spec), warnings);
    EXPECT_TRUE(std::isnan(model.at(5, 5)));
    EXPECT_EQ(model.low, 250.0f) << "-9999 never counts as a height";
    terrain::TileTree tree(model);
    EXPECT_TRUE(std::isnan(tree.heightAt(model.sampleX(5), model.sampleY(5))));
    EXPECT_DOUBLE_EQ(tree.heightAt(model.sampleX(60), model.sampleY(60)), 250.0);
    // A ray straight down into the hole meets nothing there.
    const double a[3] = {model.sampleX(5), model.sampleY(5), 1000.0}, b[3] = {a[0], a[1], -20000.0};
    double t = -1;
    EXPECT_FALSE(tree.intersect(a, b, &t));

    spec.heightAt = [](int, int) { return -9999.0; };
    EXPECT_THROW(
        {
            try {
                terrain::readHeightModel(writeModel(dir + "/empty.tif", spec), warnings);
            } catch (const terrain::TerrainError &e) {
                EXPECT_NE(std::string(e.what()).find("empty.tif: every sample is no data"), std::string::npos);
                throw;
            }
        },
        terrain::TerrainError);
}

TEST_F(ModelTest, BadInputNamesTheFileAndGdalsReason)
{
    auto message = [this](const std::string &file) {
        try {
            terrain::readHeightModel(file, warnings);
        } catch (const terrain::TerrainError &e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(dir + "/missing.tif"), dir + "/missing.tif: not a raster GDAL can read (no such file)");
    std::ofstream(dir + "/text.tif") << "not an image at all\n";
    const std::string junk = message(dir + "/text.tif");
    EXPECT_EQ(junk.rfind(dir + "/text.tif: not a raster GDAL can read (", 0), 0u) << junk;
    EXPECT_EQ(junk.back(), ')');

    // Warnings, one each: no georeferencing (pixel units), several bands.
    ModelSpec spec = plateau();
    spec.epsg = 0;
    spec.bands = 3;
    const HeightModel model = terrain::readHeightModel(writeModel(dir + "/bare.tif", spec), warnings);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("bare.tif: has 3 bands; band 1"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("bare.tif: has no georeferencing; it is used in pixel units"),
              std::string::npos)
        << warnings[1];
    EXPECT_EQ(model.frameName, "pixel units");
    EXPECT_DOUBLE_EQ(model.sampleX(3), 3.5);
    EXPECT_DOUBLE_EQ(model.sampleY(3), -3.5) << "north stays up";
}

TEST_F(ModelTest, DegreesAreWarpedToTheUtmZoneOfTheCentreInMetres)
{
    // 0.2 x 0.2 degrees around 15.1 E, 45.1 N: UTM zone 33 north, about
    // 15.7 km east-west and 22.2 km north-south.
    ModelSpec spec;
    spec.width = spec.height = 101;
    spec.west = 15.0;
    spec.north = 45.2;
    spec.cell = 0.002;
    spec.epsg = 4326;
    spec.heightAt = [](int c, int) { return 200.0 + c; };
    const HeightModel model = terrain::readHeightModel(writeModel(dir + "/degrees.tif", spec), warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_NE(model.frameName.find("UTM zone 33N"), std::string::npos) << model.frameName;
    EXPECT_EQ(model.warpedFrom, "WGS 84");
    const double width = model.width * model.geoTransform[1];
    const double height = -model.height * model.geoTransform[5];
    EXPECT_NEAR(width, 15900.0, 700.0) << "metres, not degrees";
    EXPECT_NEAR(height, 22240.0, 500.0);
    EXPECT_GT(model.geoTransform[0], 400000.0);
    EXPECT_LT(model.geoTransform[0], 600000.0);
    // Heights are kept (bilinear), and land outside the warped source is
    // no data, not 0.
    EXPECT_GE(model.low, 199.0f);
    EXPECT_LE(model.high, 301.0f);
    bool hole = false;
    for (float h : model.heights)
        hole = hole || std::isnan(h);
    EXPECT_TRUE(hole) << "the rotated footprint leaves corners without data";
}

TEST_F(ModelTest, LongitudesPastTheAntimeridianChooseTheirZoneAsTheirWesternEquivalents)
{
    // 200.0 to 200.2 E is 160.0 to 159.8 W: UTM zone 4, and the scene and
    // an export over it say the same zone.
    ModelSpec spec;
    spec.width = spec.height = 21;
    spec.west = 200.0;
    spec.north = 20.2;
    spec.cell = 0.01;
    spec.epsg = 4326;
    spec.heightAt = [](int c, int r) { return 10.0 + c + r; };
    const std::string file = writeModel(dir + "/pacific.tif", spec);
    const HeightModel model = terrain::readHeightModel(file, warnings);
    EXPECT_NE(model.frameName.find("UTM zone 4N"), std::string::npos) << model.frameName;
    OGRSpatialReferenceH scene = OSRNewSpatialReference(model.wkt.c_str());
    OGRSpatialReferenceH exported = OSRNewSpatialReference(terrain::sceneFrameWkt(file).c_str());
    EXPECT_TRUE(OSRIsSame(scene, exported));
    OSRDestroySpatialReference(scene);
    OSRDestroySpatialReference(exported);
    // Metres near the zone's central meridian (159 W, easting 500 km).
    EXPECT_NEAR(model.geoTransform[0], 395000.0, 5000.0);
}

TEST_F(ModelTest, TilesRefineByScreenErrorAndRaysMeetTheFullResolutionSurface)
{
    // A cone 1000 m high over a 513-sample model: 3 levels of tiles.
    ModelSpec spec;
    spec.width = spec.height = 513;
    spec.cell = 10.0;
    spec.heightAt = [](int c, int r) { return std::max(0.0, 1000.0 - 4.0 * std::hypot(c - 256.0, r - 256.0)); };
    const HeightModel model = terrain::readHeightModel(writeModel(dir + "/cone.tif", spec), warnings);
    terrain::TileTree tree(model);
    ASSERT_EQ(tree.levels(), 4);
    EXPECT_GT(tree.span({3, 0, 0}).error, 1.0f);
    EXPECT_EQ(tree.span({0, 3, 3}).error, 0.0f);
    EXPECT_EQ(tree.span({3, 0, 0}).columns.size(), 65u);
    EXPECT_EQ(tree.span({3, 0, 0}).columns.back(), 512) << "every level meets the edge";

    host::Camera camera;
    camera.target = {model.sampleX(256), model.sampleY(256), 500.0};
    camera.width = 1280;
    camera.height = 720;
    camera.elevation = 40;
    camera.distance = 5.0e6;
    camera.fitClipPlanes({500000, 505130, 8994870, 9000000, 0, 1000});
    EXPECT_EQ(tree.select(camera, 2.0).size(), 1u) << "far away the root is enough";
    camera.distance = 3000.0;
    camera.fitClipPlanes({500000, 505130, 8994870, 9000000, 0, 1000});
    const size_t still = tree.select(camera, 2.0).size();
    const size_t moving = tree.select(camera, 8.0).size();
    EXPECT_GT(still, 4u);
    EXPECT_LT(moving, still) << "coarser while the camera moves";

    // A slanted ray meets the surface where heightAt agrees.
    const double a[3] = {model.sampleX(100), model.sampleY(256), 3000.0};
    const double b[3] = {model.sampleX(300), model.sampleY(250), -1000.0};
    double t = -1;
    ASSERT_TRUE(tree.intersect(a, b, &t));
    const double p[3] = {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])};
    EXPECT_NEAR(p[2], tree.heightAt(p[0], p[1]), 1e-6);
    EXPECT_GT(p[2], 1.0) << "on the cone's flank, not the plain";
}

TEST_F(ModelTest, HeightsStoredScaledAreReadInMetresThroughAWarpToo)
{
    // Decimetres in an Int16 band with an offset, as national models often
    // store them: 1000 stored is 1000 x 0.1 + 5 = 105 m.
    for (const int epsg : {32725, 4326}) {
        ModelSpec spec;
        spec.width = spec.height = 33;
        spec.epsg = epsg;
        if (epsg == 4326) {
            spec.west = -35.0;
            spec.north = -8.0;
            spec.cell = 0.001;
        }
        spec.heightAt = [](int c, int) { return 1000.0 + 10.0 * c; };
        const std::string raw = writeModel(dir + "/raw.tif", spec);
        const std::string scaled = dir + "/scaled" + std::to_string(epsg) + ".tif";
        ASSERT_EQ(std::system(("gdal_translate -q -ot Int16 -a_scale 0.1 -a_offset 5 " + raw + " " +
                               scaled)
                                  .c_str()),
                  0);
        warnings.clear();
        const HeightModel model = terrain::readHeightModel(scaled, warnings);
        EXPECT_NEAR(model.low, 105.0f, 0.01f) << epsg;
        EXPECT_NEAR(model.high, 105.0f + 32.0f, 0.01f) << epsg;
    }
}

}  // namespace
