// The terrain as the scene's ground, with the plug-in loaded as cloudview
// loads it: placement on the model's surface, a ridge hiding a cloud from
// the eye and the pick, the extent and framing, the status bar's point,
// scene scripts and their errors, the georeferenced export.
#include <gtest/gtest.h>

#include <gdal.h>
#include <ogr_srs_api.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <cstdio>
#include <fstream>

#include "plugin/records.h"
#include "point_text.h"
#include "terrain/terrain_models.h"
#include "support/test_util.h"
#include <sys/stat.h>
#include "viewer.h"

namespace {

using cloudview::Viewer;
using cloudview::ViewerError;

// 129 x 129 samples of 100 m, top-left (500000, 9000000) in UTM 25S: a
// northing where floats alone would keep only half a metre.
constexpr double kWest = 500000.0, kNorth = 9000000.0, kCell = 100.0;

double sampleX(double c) { return kWest + (c + 0.5) * kCell; }
double sampleY(double r) { return kNorth - (r + 0.5) * kCell; }

struct TerrainSceneTest : ::testing::Test {
    std::string dir = scratchFolder();
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string script(const std::string &name, const std::string &text)
    {
        std::ofstream(dir + "/" + name) << text;
        return dir + "/" + name;
    }
    std::string plateau()
    {
        ModelSpec spec;
        spec.heightAt = [](int c, int r) { return (c >= 32 && c <= 96 && r >= 32 && r <= 96) ? 500.0 : 100.0; };
        return writeModel(dir + "/plateau.tif", spec);
    }
    std::string slope()
    {
        ModelSpec spec;
        spec.heightAt = [](int c, int r) { return 100.0 + 10.0 * c + 3.0 * r; };
        return writeModel(dir + "/slope.tif", spec);
    }
    // A wall 2000 m high across the model from west to east, rows 60..68.
    std::string ridge()
    {
        ModelSpec spec;
        spec.heightAt = [](int, int r) { return r >= 60 && r <= 68 ? 2000.0 : 0.0; };
        return writeModel(dir + "/ridge.tif", spec);
    }
    // A layer file with one cloud (small textures, quick to bake).
    std::string cloudFile(const std::string &name, double x, double y, double z)
    {
        char block[512];
        std::snprintf(block, sizeof block,
                      "TOLA_Cloud_Layer_File_V1.1\n1 clouds_in_file\nCloud_0\n"
                      "0.550000 1.000000 1.000000 14.000000 0.370000\n16 0 0 16 1\n"
                      "%f %f %f 1500.000000 -1000.000000 200.000000\n"
                      "50 50 20 1.000000 1.000000 1.000000\n12938.000000 1.000000\n",
                      x, y, z);
        std::ofstream(dir + "/" + name) << block;
        return dir + "/" + name;
    }
    static const CloudRecord *firstCloud(HLayer *layer)
    {
        return static_cast<const CloudLayer *>(layer->instance)->clouds;
    }
    static const CloudRecord *lastCloud(HLayer *layer)
    {
        const CloudRecord *c = firstCloud(layer);
        while (c && c->next)
            c = c->next;
        return c;
    }
};

// Placement mode and clicks, as a person places clouds.
const char kPlace[] = "RUN SCENE \"cloudcreatemodellayer\" \"placed.cloud\";\n"
                      "RUN SCENE \"cloudupdate\" \"showproperties\";\n"
                      "RUN SCENE \"cloudplace\";\n";

TEST_F(TerrainSceneTest, PlacementStandsTheCloudOnTheModelsSurface)
{
    plateau();
    slope();
    {
        Viewer viewer(PLUGIN);
        // Straight down on the plateau's centre: the click at the view's
        // centre is over sample (64, 64).
        viewer.runScript(script("plateau.scene", std::string("TERRAIN \"plateau.tif\";\nVIEW 0 90 20000;\n") +
                                                     kPlace + "CLICK 640 360;\n"));
        ASSERT_EQ(viewer.openedLayers().size(), 1u);
        const CloudRecord *cloud = lastCloud(viewer.openedLayers()[0]);
        ASSERT_NE(cloud, nullptr);
        EXPECT_NEAR(cloud->zposition - cloud->zsize, 500.0, 1e-6) << "the bottom on the plateau";
        EXPECT_NEAR(cloud->xposition, 506450.0, 1.0) << "saved in the model's coordinates";
        EXPECT_NEAR(cloud->yposition, 8993550.0, 1.0);
        // Sizes come from the extent, in metres.
        EXPECT_GT(std::fabs(cloud->xsize), 100.0);
        EXPECT_LT(std::fabs(cloud->xsize), 12900.0);
    }
    {
        Viewer viewer(PLUGIN);
        viewer.runScript(script("slope.scene", std::string("TERRAIN \"slope.tif\";\nVIEW 200 35 20000;\n") +
                                                   kPlace + "CLICK 500 300;\nCLICK 800 420;\n"));
        const CloudRecord *cloud = firstCloud(viewer.openedLayers()[0]);
        int placed = 0;
        for (; cloud; cloud = cloud->next, ++placed) {
            // The model's own height there: 100 + 10 column + 3 row.
            const double c = (cloud->xposition - kWest) / kCell - 0.5;
            const double r = (kNorth - cloud->yposition) / kCell - 0.5;
            EXPECT_NEAR(cloud->zposition - cloud->zsize, 100.0 + 10.0 * c + 3.0 * r, 1e-3);
        }
        EXPECT_EQ(placed, 2);
    }
}

TEST_F(TerrainSceneTest, ARidgeHidesACloudBehindItFromTheEyeAndThePick)
{
    ridge();
    // From the south, low: the eye 20 km away at 5 degrees, 1750 m up,
    // below the ridge's top; one cloud north of the ridge, one south.
    const double behind = sampleY(30), front = sampleY(100);
    for (double y : {behind, front}) {
        cloudFile("one.cloud", sampleX(64), y, 500.0);
        Viewer viewer(PLUGIN);
        viewer.runScript(script("low.scene", "TERRAIN \"ridge.tif\";\nVIEW 180 5 20000;\n"
                                             "\tADDFEATURELAYER \"Clouds\" \"one.cloud\" ;\n"));
        HLayer *layer = viewer.openedLayers()[0];
        const int w = 320, h = 180;
        const std::vector<uint8_t> with = viewer.renderRGBA(w, h);
        viewer.scene().setLayerVisible(layer, false);
        const std::vector<uint8_t> without = viewer.renderRGBA(w, h);
        viewer.scene().setLayerVisible(layer, true);
        size_t changed = 0;
        for (size_t i = 0; i < with.size(); ++i)
            changed += std::abs(int(with[i]) - int(without[i])) > 6;

        const double centre[3] = {sampleX(64), y, 500.0};
        double wx = 0, wy = 0;
        ASSERT_TRUE(viewer.scene().viewCamera().worldToWindow(centre, &wx, &wy));
        viewer.renderRGBA(w, h);
        viewer.click(int(wx), int(wy));
        HLayer *taker = viewer.scene().clickTaker();
        if (y == behind) {
            EXPECT_LT(changed, 20u) << "the ridge hides the cloud";
            EXPECT_EQ(taker, nullptr) << "and the pick does not reach it";
        } else {
            EXPECT_GT(changed, 200u) << "in front of the ridge it shows";
            EXPECT_EQ(taker, layer) << "and is picked";
        }
    }
}

TEST_F(TerrainSceneTest, ExtentFramingAndTheStatusBarPoint)
{
    plateau();
    Viewer viewer(PLUGIN);
    viewer.runScript(script("a.scene", "TERRAIN \"plateau.tif\" EXAGGERATION 2;\nVIEW 200 30;\n"));
    const host::Extent e = viewer.scene().extent();
    EXPECT_DOUBLE_EQ(e.x1, kWest);
    EXPECT_DOUBLE_EQ(e.x2, kWest + 12900.0);
    EXPECT_DOUBLE_EQ(e.y1, kNorth - 12900.0);
    EXPECT_DOUBLE_EQ(e.y2, kNorth);
    EXPECT_DOUBLE_EQ(e.z1, 200.0);
    EXPECT_DOUBLE_EQ(e.z2, 1000.0);
    // The drawing frame is local; positions served to layers are not.
    EXPECT_DOUBLE_EQ(viewer.scene().frameOffset()[1], std::round(kNorth - 6450.0));

    // Framing with no layers takes in the whole model.
    viewer.renderRGBA(640, 360);
    const host::Camera camera = viewer.scene().viewCamera();
    for (double x : {e.x1, e.x2})
        for (double y : {e.y1, e.y2}) {
            const double corner[3] = {x, y, e.z1};
            double wx = -1, wy = -1;
            ASSERT_TRUE(camera.worldToWindow(corner, &wx, &wy));
            EXPECT_GE(wx, 0.0);
            EXPECT_LE(wx, 640.0);
            EXPECT_GE(wy, 0.0);
            EXPECT_LE(wy, 360.0);
        }

    // Straight down on the plateau: its height in metres, lon/lat in WGS 84.
    viewer.scene().setView(0, 90, 10000);
    viewer.scene().camera().target = {sampleX(64), sampleY(64), 1000.0};
    double p[3];
    ASSERT_TRUE(viewer.scene().pickPoint(320, 180, p));
    EXPECT_NEAR(p[2], 1000.0, 1e-6) << "scene z is the height times the exaggeration";
    const std::string text = cloudview::pointText(viewer, p);
    EXPECT_NE(text.find("height 500.0 m"), std::string::npos) << text;
    EXPECT_NE(text.find("UTM zone 25S"), std::string::npos) << text;
    OGRSpatialReferenceH utm = OSRNewSpatialReference(nullptr), wgs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(utm, 32725);
    OSRImportFromEPSG(wgs, 4326);
    OSRSetAxisMappingStrategy(wgs, OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH ct = OCTNewCoordinateTransformation(utm, wgs);
    double lon = p[0], lat = p[1];
    ASSERT_TRUE(OCTTransform(ct, 1, &lon, &lat, nullptr));
    OCTDestroyCoordinateTransformation(ct);
    OSRDestroySpatialReference(utm);
    OSRDestroySpatialReference(wgs);
    char expected[80];
    std::snprintf(expected, sizeof expected, "%.5f\u00b0S %.5f\u00b0W", -lat, -lon);
    EXPECT_NE(text.find(expected), std::string::npos) << text << " / " << expected;

    // An EXTENT after TERRAIN still decides.
    viewer.runScript(script("b.scene", "TERRAIN \"plateau.tif\";\nEXTENT 1 2 3 4 5 6;\n"));
    EXPECT_DOUBLE_EQ(viewer.scene().extent().x1, 1.0);
    EXPECT_DOUBLE_EQ(viewer.scene().extent().z2, 6.0);
}

TEST_F(TerrainSceneTest, ScenesWriteTheirTerrainBackAndBadInputStops)
{
    plateau();
    writeImage(dir + "/photo.tif", kWest, kNorth, 50.0, 258, 32725, 200, 60, 40);
    writeImage(dir + "/faraway.tif", kWest + 1e6, kNorth, 50.0, 64, 32725, 0, 0, 255);
    mkdir((dir + "/out").c_str(), 0755);
    {
        Viewer viewer(PLUGIN);
        viewer.runScript(script("c.scene", "TERRAIN \"plateau.tif\" DRAPE \"photo.tif\" EXAGGERATION 3;\n"));
        ASSERT_NE(viewer.terrain(), nullptr);
        EXPECT_TRUE(viewer.terrain()->draped());
        // Draped: the plateau seen from above is the photo's colour.
        viewer.scene().setView(0, 90, 3000);
        viewer.scene().camera().target = {sampleX(64), sampleY(64), 1500.0};
        const std::vector<uint8_t> top = viewer.renderRGBA(64, 64);
        const uint8_t *px = &top[(32 * 64 + 32) * 4];
        EXPECT_GT(px[0], px[1] + 60) << int(px[0]) << " " << int(px[1]);
        EXPECT_GT(px[0], px[2] + 60);
        viewer.writeScene(dir + "/out/saved.scene");
    }
    const std::string saved = readFile(dir + "/out/saved.scene");
    EXPECT_EQ(saved.rfind("TERRAIN \"../plateau.tif\" DRAPE \"../photo.tif\" EXAGGERATION 3;\nEXTENT ", 0), 0u)
        << saved;
    {
        Viewer viewer(PLUGIN);
        viewer.runScript(dir + "/out/saved.scene");
        ASSERT_NE(viewer.terrain(), nullptr);
        EXPECT_DOUBLE_EQ(viewer.scene().extent().z2, 1500.0);
    }
    {
        // A drape beside the model: a warning, and shaded ground.
        Viewer viewer(PLUGIN);
        testing::internal::CaptureStderr();
        viewer.runScript(script("d.scene", "TERRAIN \"plateau.tif\" DRAPE \"faraway.tif\";\n"));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("cloudview: warning: faraway.tif: does not overlap the model; the ground is "
                           "shaded instead"),
                  std::string::npos)
            << err;
        EXPECT_FALSE(viewer.terrain()->draped());

        // A TERRAIN that cannot be read stops the script with file, line
        // and GDAL's reason, and the ground stays.
        std::ofstream(dir + "/dem.tif") << "no raster here\n";
        const std::string job = script("job.scene", "VIEW 200 30;\nTERRAIN \"dem.tif\";\nRENDER \"x.png\";\n");
        try {
            viewer.runScript(job);
            ADD_FAILURE() << "no error";
        } catch (const ViewerError &e) {
            const std::string m = e.what();
            EXPECT_EQ(m, job + ":2: dem.tif: not a raster GDAL can read (no raster format GDAL knows)")
                << "GDAL's silence is told as what it means";
        }
        EXPECT_EQ(viewer.terrain()->settings().model, dir + "/plateau.tif");
    }
    // cloudview: exit 2, one line, nothing drawn.
    const std::string command = std::string(CLOUDVIEW) + " render " + dir + "/job.scene -o " + dir +
                                "/never.png 2>" + dir + "/err.txt";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(readFile(dir + "/err.txt").find("job.scene:2: dem.tif: not a raster GDAL can read ("),
              std::string::npos);
    EXPECT_EQ(readFile(dir + "/never.png"), "");
}

TEST_F(TerrainSceneTest, TheExportIsGeoreferencedOverTheCloudsFootprint)
{
    const std::string model = plateau();
    const std::string layer = cloudFile("one.cloud", 506000.0, 8995000.0, 900.0);
    const std::string run = std::string(CLOUDVIEW) + " export " + layer + " --cloud 1 -o ";
    ASSERT_EQ(std::system((run + dir + "/geo.tif --crs " + model + " >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system((run + dir + "/plain.tif >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system((run + dir + "/epsg.tif --crs EPSG:32725 >/dev/null").c_str()), 0);
    EXPECT_NE(std::system((run + dir + "/bad.tif --crs EPSG:99999 2>/dev/null").c_str()), 0);
    EXPECT_EQ(readFile(dir + "/bad.tif"), "") << "a bad --crs exports nothing";

    GDALAllRegister();
    for (const char *name : {"/geo.tif", "/epsg.tif"}) {
        GDALDatasetH tif = GDALOpen((dir + name).c_str(), GA_ReadOnly);
        ASSERT_NE(tif, nullptr);
        double gt[6];
        ASSERT_EQ(GDALGetGeoTransform(tif, gt), CE_None);
        const int w = GDALGetRasterXSize(tif), h = GDALGetRasterYSize(tif);
        // xposition +- |xsize|, yposition +- |ysize| (ysize is -1000), north up.
        EXPECT_DOUBLE_EQ(gt[0], 504500.0);
        EXPECT_DOUBLE_EQ(gt[0] + w * gt[1], 507500.0);
        EXPECT_DOUBLE_EQ(gt[3], 8996000.0);
        EXPECT_DOUBLE_EQ(gt[3] + h * gt[5], 8994000.0);
        EXPECT_LT(gt[5], 0.0);
        OGRSpatialReferenceH expected = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(expected, 32725);
        EXPECT_TRUE(OSRIsSame(GDALGetSpatialRef(tif), expected)) << name;
        OSRDestroySpatialReference(expected);
        // The bands and their "Contrast" tables are as without --crs.
        ASSERT_EQ(GDALGetRasterCount(tif), 3);
        EXPECT_NE(GDALGetDefaultRAT(GDALGetRasterBand(tif, 1)), nullptr);
        GDALClose(tif);
    }
    GDALDatasetH plain = GDALOpen((dir + "/plain.tif").c_str(), GA_ReadOnly);
    double gt[6];
    EXPECT_NE(GDALGetGeoTransform(plain, gt), CE_None) << "without --crs, as before";
    GDALClose(plain);
}

}  // namespace
