// What keeps a terrain scene a picture: the camera above the horizon and
// the ground, framing that a damaged layer cannot carry off, and an
// exaggeration within its range.
#include <gtest/gtest.h>

#include "support/gl_box.h"

#include <GL/gl.h>
#include <gdal.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "framing.h"
#include "support/test_util.h"
#include "terrain/terrain.h"
#include "terrain/terrain_models.h"
#include "tolatoollib/camera_moves.h"
#include "viewer.h"

namespace {

using cloudview::Viewer;
using cloudview::ViewerError;

constexpr double kWest = 500000.0, kNorth = 9000000.0;

struct GroundLimitsTest : ::testing::Test {
    std::string dir = scratchFolder();
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string &name, const std::string &text)
    {
        std::ofstream(dir + "/" + name) << text;
        return dir + "/" + name;
    }
    // 12.9 km square, 100 m high with a 500 m plateau in its middle third,
    // draped in red so that the ground is known in a picture.
    void plateau()
    {
        ModelSpec spec;
        spec.heightAt = [](int c, int r) {
            return (c >= 32 && c <= 96 && r >= 32 && r <= 96) ? 500.0 : 100.0;
        };
        writeModel(dir + "/plateau.tif", spec);
        writeImage(dir + "/red.tif", kWest, kNorth, 50.0, 258, 32725, 200, 40, 30);
    }
    CommandRun cloudview(const std::string &arguments)
    {
        return runWithErrors(std::string(CLOUDVIEW) + " " + arguments + " 2>" + dir + "/err.txt",
                             dir + "/err.txt");
    }
};

bool red(const uint8_t *p) { return p[0] > p[1] + 60 && p[0] > p[2] + 60; }
bool sky(const uint8_t *p) { return p[2] > p[0] + 40 && p[2] > p[1]; }

// Shares of red (the drape) and of sky pixels in an RGB or RGBA PNG.
void pngShares(const std::string &file, double *redShare, double *skyShare)
{
    GDALAllRegister();
    GDALDatasetH png = GDALOpen(file.c_str(), GA_ReadOnly);
    ASSERT_NE(png, nullptr) << file;
    const int w = GDALGetRasterXSize(png), h = GDALGetRasterYSize(png);
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    int bands[3] = {1, 2, 3};
    ASSERT_EQ(GDALDatasetRasterIO(png, GF_Read, 0, 0, w, h, rgb.data(), w, h, GDT_Byte, 3, bands, 3,
                                  3 * w, 1),
              CE_None);
    GDALClose(png);
    size_t reds = 0, skies = 0;
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        reds += red(&rgb[3 * i]);
        skies += sky(&rgb[3 * i]);
    }
    *redShare = double(reds) / (double(w) * h);
    *skyShare = double(skies) / (double(w) * h);
}

TEST_F(GroundLimitsTest, ExaggerationOutsideItsRangeIsRefusedWithFileAndLine)
{
    plateau();
    for (const char *k : {"1e9", "100.5", "0.001", "0"}) {
        Viewer viewer(PLUGIN);
        const std::string scene =
            write("k.scene", std::string("VIEW 200 30;\nTERRAIN \"plateau.tif\" EXAGGERATION ") + k + ";\n");
        try {
            viewer.runScript(scene);
            ADD_FAILURE() << k << " accepted";
        } catch (const ViewerError &e) {
            EXPECT_EQ(std::string(e.what()), scene + ":2: TERRAIN: EXAGGERATION takes a number in "
                                                     "0.01..100, not " + k);
        }
        EXPECT_EQ(viewer.terrain(), nullptr);
    }
    for (const char *k : {"0.01", "100"}) {
        Viewer viewer(PLUGIN);
        viewer.runScript(write("k.scene", std::string("TERRAIN \"plateau.tif\" EXAGGERATION ") + k + ";\n"));
        ASSERT_NE(viewer.terrain(), nullptr) << k;
    }
    // The ground itself refuses it, whoever asks.
    std::vector<std::string> warnings;
    terrain::TerrainSettings settings;
    settings.model = dir + "/plateau.tif";
    settings.exaggeration = 1e9;
    EXPECT_THROW(terrain::Terrain::open(settings, warnings), terrain::TerrainError);
    // cloudview: exit 2 with the line, and no image.
    write("big.scene", "TERRAIN \"plateau.tif\" EXAGGERATION 1e9;\n");
    const CommandRun r = cloudview("render " + dir + "/big.scene -o " + dir + "/big.png");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("big.scene:1: TERRAIN: EXAGGERATION takes a number in 0.01..100, not 1e9"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/big.png"));
}

TEST_F(GroundLimitsTest, AViewFromBelowTheHorizonOpensAboveItWithAWarning)
{
    plateau();
    // What a scene saved after orbiting under the ground held.
    write("low.scene", "TERRAIN \"plateau.tif\";\nVIEW 129.5 -0.5 6762.7;\nWRITESCENE \"again.scene\";\n");
    const CommandRun r = cloudview("run " + dir + "/low.scene");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "cloudview: warning: " + dir +
                         "/low.scene:2: VIEW elevation -0.5 is outside 5..90 degrees; the camera "
                         "looks from 5 degrees\n");
    EXPECT_NE(readFile(dir + "/again.scene").find("VIEW 129.5 5 6762."), std::string::npos)
        << readFile(dir + "/again.scene");
    // Past straight down as well.
    write("high.scene", "VIEW 10 120;\n");
    EXPECT_NE(cloudview("run " + dir + "/high.scene")
                  .err.find("high.scene:1: VIEW elevation 120 is outside 5..90 degrees; the camera "
                            "looks from 90 degrees"),
              std::string::npos);
}

TEST_F(GroundLimitsTest, TheEyeIsNeverDrawnFromInsideTheGround)
{
    plateau();
    Viewer viewer(PLUGIN);
    viewer.runScript(write("a.scene", "TERRAIN \"plateau.tif\" DRAPE \"red.tif\";\n"));
    // Low and close, looking at the foot of the plateau's wall from
    // inside it: the eye must come up over the plateau.
    viewer.scene().setView(0.0, 5.0, 2000.0);
    viewer.scene().camera().target = {kWest + 6450.0, kNorth - 9700.0, 100.0};
    const std::vector<uint8_t> rgba = viewer.renderRGBA(64, 64);
    const host::Camera &c = viewer.scene().camera();
    const host::Vec3 eye = c.eye();
    EXPECT_GT(c.elevation, 5.0);
    EXPECT_GE(eye[2], viewer.scene().surfaceZ(eye[0], eye[1]) + host::eyeClearance(c) - 1e-6);
    EXPECT_DOUBLE_EQ(c.distance, 2000.0);
    // Right side up: the bottom row is ground, the top row sky.
    EXPECT_TRUE(red(&rgba[(63 * 64 + 32) * 4])) << "ground at the bottom";
    EXPECT_TRUE(sky(&rgba[(0 * 64 + 32) * 4])) << "sky at the top";
}

TEST_F(GroundLimitsTest, FramingLeavesOutPiecesFarOutsideTheSceneAndNamesTheirMarks)
{
    Viewer viewer(PLUGIN); // for its GL context
    viewer.gl().makeCurrent();
    cloudview::Bounds scene;
    const double lo[3] = {0, 0, 0}, hi[3] = {1000, 1000, 100};
    scene.add(lo);
    scene.add(hi);
    const cloudview::Framing f = cloudview::frameDrawing([] {
        const double a[3] = {100, 200, 10}, b[3] = {300, 400, 50};
        glPassThrough(1.0f);
        drawBoxEdges(a, b);
        glPassThrough(2.0f); // not a number: GL drops it
        const double na[3] = {NAN, 200, 10}, nb[3] = {300, NAN, 50};
        drawBoxEdges(na, nb);
        glPassThrough(3.0f); // partly beyond reach: left out as a whole
        const double fa[3] = {500, 500, 10}, fb[3] = {500, 50000, 50};
        drawBoxEdges(fa, fb);
        glPassThrough(4.0f); // wholly beyond even the capture
        const double ga[3] = {1e20, 1e20, 0}, gb[3] = {2e20, 2e20, 10};
        drawBoxEdges(ga, gb);
        glPassThrough(5.0f); // over the land around the scene: kept
        const double ka[3] = {-3000, 0, 0}, kb[3] = {-2000, 10, 20};
        drawBoxEdges(ka, kb);
    }, scene, false);
    ASSERT_FALSE(f.bounds.empty);
    EXPECT_NEAR(f.bounds.lo[0], -3000, 0.01);
    EXPECT_NEAR(f.bounds.lo[1], 0, 0.01);
    EXPECT_NEAR(f.bounds.lo[2], 0, 0.01);
    EXPECT_NEAR(f.bounds.hi[0], 300, 0.01);
    EXPECT_NEAR(f.bounds.hi[1], 400, 0.01);
    EXPECT_NEAR(f.bounds.hi[2], 50, 0.01);
    EXPECT_EQ(f.leftOut, (std::vector<int>{3, 4}));
}

TEST_F(GroundLimitsTest, ADamagedLayerLeavesTheGroundInTheRender)
{
    plateau();
    // Cloud_0 has lost its position to damage; Cloud_1 stands over the
    // plateau; a third was read far beyond any land.
    const char cloud[] = "0.550000 1.000000 1.000000 14.000000 0.370000\n16 0 0 16 1\n";
    write("damaged.cloud",
          std::string("TOLA_Cloud_Layer_File_V1.1\n3 clouds_in_file\nCloud_0\n") + cloud +
              "nan 9000000.000000 900.000000 1500.000000 -1000.000000 200.000000\n"
              "50 50 20 1.000000 1.000000 1.000000\n12938.000000 1.000000\nCloud_1\n" + cloud +
              "506450.000000 8993550.000000 900.000000 1500.000000 -1000.000000 200.000000\n"
              "50 50 20 1.000000 1.000000 1.000000\n12938.000000 1.000000\nCloud_2\n" + cloud +
              "1e15 -4e14 900.000000 1500.000000 -1000.000000 200.000000\n"
              "50 50 20 1.000000 1.000000 1.000000\n12938.000000 1.000000\n");
    write("d.scene", "TERRAIN \"plateau.tif\" DRAPE \"red.tif\";\nVIEW 200 22;\n"
                     "ADDFEATURELAYER \"Clouds\" \"damaged.cloud\";\n");
    CommandRun r = cloudview("render " + dir + "/d.scene -o " + dir + "/d.png --size 160x100");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("cloudview: warning: damaged.cloud: left out of the view's framing"),
              std::string::npos)
        << r.err;
    double reds = 0, skies = 0;
    pngShares(dir + "/d.png", &reds, &skies);
    EXPECT_GT(reds, 0.15) << "the draped ground fills a good part of the view";

    // The example as a person damages it: one letter in Cloud_0's zoom.
    for (const char *file : {"olinda_dem_utm25s.tif", "olinda_l7_rgb.tif", "valley.scene"})
        std::filesystem::copy_file(std::string(EXAMPLES) + "/" + file, dir + "/" + file);
    std::string valley = readFile(std::string(EXAMPLES) + "/valley.cloud");
    const size_t zoom = valley.find("14.000000");
    ASSERT_NE(zoom, std::string::npos);
    valley.replace(zoom, 9, "1X.000000");
    write("valley.cloud", valley);
    r = cloudview("render " + dir + "/valley.scene -o " + dir + "/v.png --size 160x100");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("zoom \"1X.000000\" is not a number"), std::string::npos) << r.err;
    pngShares(dir + "/v.png", &reds, &skies);
    EXPECT_LT(skies, 0.6) << "the ground, not only sky";
}

} // namespace
