// Georeferenced exports read back through GDAL: the labelled coordinate
// system is the one the corners are in, over a model in degrees (the UTM
// zone the scene over it is in) and over a UTM model, from the command
// line's --crs in each form OGR takes and from the cloud tool in a
// terrain scene.
#include <gtest/gtest.h>

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_srs_api.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/test_util.h"
#include "terrain/height_model.h"
#include "terrain/terrain_models.h"

namespace {

// What an exported GeoTIFF says of where it lies.
struct ReadBack {
    bool georeferenced = false;
    bool utm25s = false;    // labelled WGS 84 / UTM zone 25S
    std::string wkt;        // the label
    bool projected = false;
    double west = 0, east = 0, north = 0, south = 0;
    double lonWest = 0, lonEast = 0, latNorth = 0, latSouth = 0;  // its corners in WGS 84
};

ReadBack readBack(const std::string &file)
{
    GDALAllRegister();
    ReadBack r;
    GDALDatasetH tif = GDALOpen(file.c_str(), GA_ReadOnly);
    if (!tif) {
        ADD_FAILURE() << file << ": not written";
        return r;
    }
    double gt[6];
    OGRSpatialReferenceH srs = GDALGetSpatialRef(tif);
    r.georeferenced = GDALGetGeoTransform(tif, gt) == CE_None && srs;
    if (r.georeferenced) {
        r.west = gt[0];
        r.north = gt[3];
        r.east = gt[0] + GDALGetRasterXSize(tif) * gt[1];
        r.south = gt[3] + GDALGetRasterYSize(tif) * gt[5];
        r.projected = OSRIsProjected(srs);
        OGRSpatialReferenceH zone = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(zone, 32725);
        r.utm25s = OSRIsSame(srs, zone);
        char *text = nullptr;
        OSRExportToWkt(srs, &text);
        r.wkt = text ? text : "";
        CPLFree(text);
        OSRDestroySpatialReference(zone);
        OGRSpatialReferenceH wgs = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(wgs, 4326);
        OSRSetAxisMappingStrategy(wgs, OAMS_TRADITIONAL_GIS_ORDER);
        OGRCoordinateTransformationH ct = OCTNewCoordinateTransformation(srs, wgs);
        double x[2] = {r.west, r.east}, y[2] = {r.north, r.south};
        // A label that does not fit the numbers ("Invalid angle") fails here.
        EXPECT_TRUE(ct && OCTTransform(ct, 2, x, y, nullptr)) << file;
        r.lonWest = x[0], r.lonEast = x[1], r.latNorth = y[0], r.latSouth = y[1];
        if (ct)
            OCTDestroyCoordinateTransformation(ct);
        OSRDestroySpatialReference(wgs);
    }
    GDALClose(tif);
    return r;
}

struct GeoreferencedExportTest : ::testing::Test {
    std::string dir = scratchFolder();
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string &name, const std::string &text)
    {
        std::ofstream(dir + "/" + name) << text;
        return dir + "/" + name;
    }
    // 100 x 100 samples of 0.002 degrees, 35.0 to 34.8 W and 7.9 to 8.1 S
    // (UTM zone 25 south, by Olinda).
    std::string degreesModel()
    {
        ModelSpec spec;
        spec.width = spec.height = 100;
        spec.west = -35.0;
        spec.north = -7.9;
        spec.cell = 0.002;
        spec.epsg = 4326;
        spec.heightAt = [](int c, int r) { return 20.0 + c + r; };
        return writeModel(dir + "/degrees.tif", spec);
    }
    // One cloud at (x, y), 1500 m by 1000 m half-sizes.
    std::string cloudFile(double x, double y)
    {
        char block[512];
        std::snprintf(block, sizeof block,
                      "TOLA_Cloud_Layer_File_V1.1\n1 clouds_in_file\nCloud_0\n"
                      "0.550000 1.000000 1.000000 14.000000 0.370000\n16 0 0 16 1\n"
                      "%f %f 600.000000 1500.000000 -1000.000000 200.000000\n"
                      "50 50 20 1.000000 1.000000 1.000000\n12938.000000 1.000000\n",
                      x, y);
        return write("one.cloud", block);
    }
    CommandRun exportWith(const std::string &layer, const std::string &out, const std::string &crs)
    {
        return runWithErrors(std::string(CLOUDVIEW) + " export '" + layer + "' --cloud 1 -o '" + dir + "/" +
                                 out + "' --crs '" + crs + "' 2>'" + dir + "/err.txt'",
                             dir + "/err.txt");
    }
};

// The middle of the scene over a model, in its coordinates.
void centreOf(const std::string &model, double *x, double *y)
{
    std::vector<std::string> warnings;
    const terrain::HeightModel m = terrain::readHeightModel(model, warnings);
    *x = m.geoTransform[0] + 0.5 * m.width * m.geoTransform[1];
    *y = m.geoTransform[3] + 0.5 * m.height * m.geoTransform[5];
}

TEST_F(GeoreferencedExportTest, OverAModelInDegreesTheCornersAreInItsUtmZoneAndSaySo)
{
    const std::string model = degreesModel();
    double x, y;
    centreOf(model, &x, &y);
    const std::string layer = cloudFile(x, y);

    // From the command line, --crs naming the model.
    const CommandRun cli = exportWith(layer, "cli.tif", model);
    ASSERT_EQ(cli.code, 0) << cli.err;
    // From the cloud tool, in a scene over the model.
    write("tool.scene", "TERRAIN \"degrees.tif\";\nADDFEATURELAYER \"Clouds\" \"one.cloud\";\n"
                        "RUN LAYER 1 \"cloudupdate\" \"showproperties\";\n"
                        "SET LAYER 1 \"currentcloud\" \"Cloud 1\";\n"
                        "SET LAYER 1 \"savefile\" \"" + dir + "/tool.tif\";\nSET LAYER 1 \"savetoimg\";\n");
    const CommandRun tool =
        runWithErrors(std::string(CLOUDVIEW) + " run '" + dir + "/tool.scene' 2>'" + dir + "/err.txt'", dir + "/err.txt");
    ASSERT_EQ(tool.code, 0) << tool.err;

    for (const char *name : {"/cli.tif", "/tool.tif"}) {
        const ReadBack r = readBack(dir + name);
        ASSERT_TRUE(r.georeferenced) << name;
        EXPECT_TRUE(r.utm25s) << name;
        EXPECT_TRUE(r.projected) << name;
        EXPECT_NEAR(r.west, x - 1500.0, 1e-3) << name;
        EXPECT_NEAR(r.east, x + 1500.0, 1e-3) << name;
        EXPECT_NEAR(r.north, y + 1000.0, 1e-3) << name;
        EXPECT_NEAR(r.south, y - 1000.0, 1e-3) << name;
        // Inside the model's footprint, about its middle.
        EXPECT_GT(r.lonWest, -35.0) << name;
        EXPECT_LT(r.lonEast, -34.8) << name;
        EXPECT_LT(r.latNorth, -7.9) << name;
        EXPECT_GT(r.latSouth, -8.1) << name;
        EXPECT_NEAR(0.5 * (r.lonWest + r.lonEast), -34.9, 0.01) << name;
        EXPECT_NEAR(0.5 * (r.latNorth + r.latSouth), -8.0, 0.01) << name;
    }
}

TEST_F(GeoreferencedExportTest, OverTheUtmExampleTheCornersLieOnItsGround)
{
    const std::string model = std::string(EXAMPLES) + "/olinda_dem_utm25s.tif";
    const CommandRun run = exportWith(std::string(EXAMPLES) + "/valley.cloud", "valley.tif", model);
    ASSERT_EQ(run.code, 0) << run.err;
    const ReadBack r = readBack(dir + "/valley.tif");
    ASSERT_TRUE(r.georeferenced);

    GDALDatasetH dem = GDALOpen(model.c_str(), GA_ReadOnly);
    ASSERT_NE(dem, nullptr);
    // The model's own system (UTM 25 south on GRS 80), not a look-alike.
    OGRSpatialReferenceH label = OSRNewSpatialReference(r.wkt.c_str());
    EXPECT_TRUE(OSRIsSame(label, GDALGetSpatialRef(dem)));
    OSRDestroySpatialReference(label);
    double gt[6];
    ASSERT_EQ(GDALGetGeoTransform(dem, gt), CE_None);
    const double east = gt[0] + GDALGetRasterXSize(dem) * gt[1];
    const double south = gt[3] + GDALGetRasterYSize(dem) * gt[5];
    GDALClose(dem);
    EXPECT_GE(r.west, gt[0]);
    EXPECT_LE(r.east, east);
    EXPECT_LE(r.north, gt[3]);
    EXPECT_GE(r.south, south);
}

TEST_F(GeoreferencedExportTest, CrsTakesWhatOgrTakesAndRefusesWhatItCannotLabel)
{
    const std::string layer = cloudFile(292000.0, 9117500.0);
    OGRSpatialReferenceH zone = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(zone, 32725);
    char *wkt = nullptr;
    OSRExportToWkt(zone, &wkt);
    const std::string wktText = wkt;
    CPLFree(wkt);
    OSRMorphToESRI(zone);
    OSRExportToWkt(zone, &wkt);
    const std::string prj = write("zone.prj", wkt);
    CPLFree(wkt);
    OSRDestroySpatialReference(zone);

    const std::pair<const char *, std::string> accepted[] = {
        {"epsg.tif", "EPSG:32725"},
        {"prj.tif", prj},
        {"wkt.tif", "\n" + wktText + "\n"},  // pasted with blank lines around it
        {"proj.tif", "+proj=utm +zone=25 +south +datum=WGS84 +units=m +no_defs"},
    };
    for (const auto &[out, crs] : accepted) {
        const CommandRun run = exportWith(layer, out, crs);
        EXPECT_EQ(run.code, 0) << out << ": " << run.err;
        const ReadBack r = readBack(dir + "/" + out);
        EXPECT_TRUE(r.utm25s) << out;
        EXPECT_DOUBLE_EQ(r.west, 290500.0) << out;
        EXPECT_NEAR(r.lonWest, -34.9, 0.1) << out;
        EXPECT_NEAR(r.latNorth, -8.0, 0.1) << out;
    }

    const std::string notes = write("notes.txt", "these are my notes\n");
    const std::pair<std::string, std::string> refused[] = {
        {"EPSG:4326", "--crs EPSG:4326: WGS 84 is not projected (not in metres)"},
        {"EPSG:99999", "--crs EPSG:99999: no such file, and not a coordinate system OGR knows"},
        {"zone25", "--crs zone25: no such file, and not a coordinate system OGR knows"},
        {notes, "--crs " + notes + ": neither a raster GDAL can read nor a coordinate system file OGR can read"},
        {dir, "--crs " + dir + ": is a folder"},
    };
    for (const auto &[crs, message] : refused) {
        const CommandRun run = exportWith(layer, "refused.tif", crs);
        EXPECT_EQ(run.code, 2) << crs;
        EXPECT_EQ(run.err.rfind("cloudview: " + message, 0), 0u) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir + "/refused.tif")) << crs << ": nothing is exported";
    }
    // A raster the scene would use in pixel units labels nothing.
    ModelSpec plain;
    plain.epsg = 0;
    const std::string pixels = writeModel(dir + "/pixels.tif", plain);
    const CommandRun run = exportWith(layer, "refused.tif", pixels);
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find(pixels + ": has no coordinate system"), std::string::npos) << run.err;
}

TEST_F(GeoreferencedExportTest, TheToolsExportWithoutGroundIsNotGeoreferenced)
{
    cloudFile(292000.0, 9117500.0);
    write("sky.scene", "ADDFEATURELAYER \"Clouds\" \"one.cloud\";\nRUN LAYER 1 \"cloudupdate\" \"showproperties\";\n"
                       "SET LAYER 1 \"savefile\" \"" + dir + "/sky.tif\";\nSET LAYER 1 \"savetoimg\";\n");
    const CommandRun run = runWithErrors(std::string(CLOUDVIEW) + " run '" + dir + "/sky.scene' 2>'" + dir + "/err.txt'",
                                         dir + "/err.txt");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_FALSE(readBack(dir + "/sky.tif").georeferenced) << "a scene without a model has no system";
}

}  // namespace
