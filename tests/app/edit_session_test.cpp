// The bundled editing session run as a user runs it, and cloudview export:
// the saved layer, the exported raster read back through GDAL, the
// preview PNG, and what the statements print.
#include <gtest/gtest.h>

#include "support/test_util.h"

#include <gdal.h>
#include <gdal_rat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <cstdlib>
#include <string>

namespace {

using Outcome = CommandRun;

Outcome cloudview(const std::string &args, const std::string &dir)
{
    const std::string errFile = dir + "/stderr.txt";
    return runWithErrors(std::string(CLOUDVIEW) + " " + args + " 2>" + errFile, errFile);
}

struct EditSessionTest : ::testing::Test {
    std::string dir;
    void SetUp() override
    {
        char pattern[] = "/tmp/edit_session_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        GDALAllRegister();
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
};

// The three bands' sizes, descriptions and "Contrast" row counts.
struct RasterFacts {
    int width = 0, height = 0;
    std::vector<std::string> descriptions;
    std::vector<int> contrastRows;
};

RasterFacts rasterFacts(const std::string &file)
{
    RasterFacts f;
    GDALDatasetH ds = GDALOpen(file.c_str(), GA_ReadOnly);
    if (!ds)
        return f;
    f.width = GDALGetRasterXSize(ds);
    f.height = GDALGetRasterYSize(ds);
    for (int b = 1; b <= GDALGetRasterCount(ds); ++b) {
        GDALRasterBandH band = GDALGetRasterBand(ds, b);
        f.descriptions.push_back(GDALGetDescription(band));
        GDALRasterAttributeTableH rat = GDALGetDefaultRAT(band);
        f.contrastRows.push_back(rat ? GDALRATGetRowCount(rat) : 0);
    }
    GDALClose(ds);
    return f;
}

}  // namespace

TEST_F(EditSessionTest, TheBundledSessionEditsSavesExportsAndRenders)
{
    ASSERT_EQ(std::system(("cp " EXAMPLES "/edit.scene " + dir).c_str()), 0);
    const Outcome r = cloudview("run " + dir + "/edit.scene", dir);
    ASSERT_EQ(r.code, 0) << r.err;
    // The script's PRINTs, then run's own summary line.
    EXPECT_EQ(r.out, "Cloud 1\nSuccessfully exported edited.tif\nran " + dir +
                         "/edit.scene: 32 statements\n");

    // Two clouds: the third was deleted; cloud 1 took the applied edit.
    const std::vector<std::string> layer = splitLines(readFile(dir + "/edited.cloud"));
    ASSERT_GE(layer.size(), 14u);
    EXPECT_EQ(layer[0], "TOLA_Cloud_Layer_File_V1.1");
    EXPECT_EQ(layer[1], "2 clouds_in_file");
    EXPECT_EQ(layer[3], "0.600000 0.220000 1.000000 43.000000 0.650000");
    EXPECT_EQ(layer[5], "30000.000000 40000.000000 1200.000000 25000.000000 -25000.000000 "
                        "3333.333333");
    EXPECT_EQ(layer[6], "50 50 20 1.000000 0.900000 0.700000");
    EXPECT_EQ(layer[7], "235234.000000 1.000000");
    EXPECT_EQ(layer[8], "Cloud_1");
    EXPECT_EQ(layer[12], "50 50 20 1.000000 0.752941 0.796078");  // Pink Fluff, not applied over

    const RasterFacts tif = rasterFacts(dir + "/edited.tif");
    EXPECT_EQ(tif.width, 64);
    EXPECT_EQ(tif.height, 64);
    EXPECT_EQ(tif.descriptions, (std::vector<std::string>{"edited.tif(:Layer_1)",
                                                          "edited.tif(:Layer_2)",
                                                          "edited.tif(:Layer_3)"}));
    EXPECT_EQ(tif.contrastRows, (std::vector<int>{256, 256, 256}));

    // The preview as shown: an RGB PNG of the canvas's size, not black.
    GDALDatasetH png = GDALOpen((dir + "/edited-preview.png").c_str(), GA_ReadOnly);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(GDALGetRasterXSize(png), 256);
    EXPECT_EQ(GDALGetRasterYSize(png), 256);
    EXPECT_EQ(GDALGetRasterCount(png), 3);
    std::vector<uint8_t> red(256 * 256);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(png, 1), GF_Read, 0, 0, 256, 256, red.data(), 256,
                           256, GDT_Byte, 0, 0),
              CE_None);
    GDALClose(png);
    EXPECT_GT(*std::max_element(red.begin(), red.end()), 100);

    // Again: the export asks to overwrite, and the script answers yes.
    const Outcome again = cloudview("run " + dir + "/edit.scene", dir);
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(again.out, r.out);
}

TEST_F(EditSessionTest, ExportCommand)
{
    const std::string out = dir + "/c2.tif";
    Outcome r = cloudview("export " EXAMPLES "/sky.cloud --cloud 2 -o " + out, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Successfully exported " + out + "\n");
    EXPECT_EQ(rasterFacts(out).width, 128);  // cloud 2 has texsize 64

    // The file exists now: kept without --overwrite, replaced with it.
    r = cloudview("export " EXAMPLES "/sky.cloud --cloud 3 -o " + out, dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("was kept; nothing was written"), std::string::npos) << r.err;
    r = cloudview("export " EXAMPLES "/sky.cloud --cloud 3 -o " + out + " --overwrite", dir);
    EXPECT_EQ(r.code, 0) << r.err;

    for (const char *k : {"0", "6", "-1"}) {
        r = cloudview(std::string("export " EXAMPLES "/sky.cloud --cloud ") + k + " -o " + dir +
                          "/x.tif",
                      dir);
        EXPECT_EQ(r.code, 2) << k;
        EXPECT_NE(r.err.find("there is no cloud " + std::string(k) + " (the file holds 5)"),
                  std::string::npos)
            << r.err;
    }
    r = cloudview("export " EXAMPLES "/sky.cloud --cloud 1 -o " + dir + "/x.jpg", dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("GeoTIFF"), std::string::npos) << r.err;
    EXPECT_EQ(std::system(("test -e " + dir + "/x.jpg").c_str()) == 0, false);
}

namespace {

// Centre and half-extents of cloud k (from 0) of a saved layer file.
std::vector<double> cloudBox(const std::vector<std::string> &lines, size_t k)
{
    std::vector<double> box;
    const size_t line = 2 + k * 6 + 3;
    if (line < lines.size()) {
        std::istringstream in(lines[line]);
        double v;
        while (in >> v)
            box.push_back(v);
    }
    return box;
}

}  // namespace

TEST_F(EditSessionTest, TheBundledPlacementSessionPlacesPicksFitsAndDeletes)
{
    ASSERT_EQ(std::system(("cp " EXAMPLES "/place.scene " + dir).c_str()), 0);
    const Outcome r = cloudview("run " + dir + "/place.scene", dir);
    ASSERT_EQ(r.code, 0) << r.err;
    // The first cloud was picked, then the third.
    EXPECT_EQ(r.out, "Cloud 1\nCloud 3\nran " + dir + "/place.scene: 21 statements\n");

    const std::vector<std::string> fitted = splitLines(readFile(dir + "/placed.cloud"));
    ASSERT_GE(fitted.size(), 14u);
    EXPECT_EQ(fitted[1], "2 clouds_in_file");  // three placed, one deleted
    // Halved about its centre: "Small" half-extents 25000, -25000, 3333.3.
    const std::vector<double> first = cloudBox(fitted, 0), second = cloudBox(fitted, 1);
    ASSERT_EQ(first.size(), 6u);
    ASSERT_EQ(second.size(), 6u);
    EXPECT_EQ(fitted[5].substr(fitted[5].find(" 12500.000000")),
              " 12500.000000 -12500.000000 1666.666667");
    EXPECT_EQ(fitted[11].substr(fitted[11].find(" 25000.000000")),
              " 25000.000000 -25000.000000 3333.333333");
    // Standing on the ground when placed (z = 0 + zsize), and the scale kept
    // the centre.
    EXPECT_NEAR(first[2], 3333.333333, 1e-6);
    EXPECT_NEAR(second[2], 3333.333333, 1e-6);

    // The same clicks without the box's changes: the move was 10 km east.
    std::string unfitted = readFile(dir + "/place.scene");
    for (const char *drop : {"MOVESELECTION 10000 0 0;", "SCALESELECTION 0.5 0.5 0.5;"})
        unfitted.erase(unfitted.find(drop), std::strlen(drop));
    {
        std::ofstream out(dir + "/unfitted.scene");
        out << unfitted;
    }
    ASSERT_EQ(cloudview("run " + dir + "/unfitted.scene", dir).code, 0);
    const std::vector<double> plain = cloudBox(splitLines(readFile(dir + "/placed.cloud")), 0);
    ASSERT_EQ(plain.size(), 6u);
    EXPECT_NEAR(first[0] - plain[0], 10000.0, 1e-5);
    EXPECT_NEAR(first[1] - plain[1], 0.0, 1e-5);

    // The render shows the selection box: its yellow edges.
    GDALDatasetH png = GDALOpen((dir + "/placed.png").c_str(), GA_ReadOnly);
    ASSERT_NE(png, nullptr);
    ASSERT_EQ(GDALGetRasterXSize(png), 1280);
    ASSERT_EQ(GDALGetRasterYSize(png), 720);
    std::vector<uint8_t> bands[3];
    for (int b = 0; b < 3; ++b) {
        bands[b].resize(1280 * 720);
        ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(png, b + 1), GF_Read, 0, 0, 1280, 720,
                               bands[b].data(), 1280, 720, GDT_Byte, 0, 0),
                  CE_None);
    }
    GDALClose(png);
    size_t yellow = 0;
    for (size_t i = 0; i < bands[0].size(); ++i)
        yellow += bands[0][i] > 200 && bands[1][i] > 150 && bands[2][i] < 80;
    EXPECT_GT(yellow, 200u);
}

TEST_F(EditSessionTest, ActionsAreRefusedWhileOffAndSelectionStatementsNeedABox)
{
    const std::string script = dir + "/off.scene";
    std::ofstream(script) << "EXTENT 0 100000 0 100000 0 1500;\n"
                             "RUN SCENE \"cloudcreatemodellayer\" \"off.cloud\";\n"
                             "ACTION \"delcloud\";\n";
    Outcome r = cloudview("run " + script, dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("off.scene:3: action \"delcloud\" is off"), std::string::npos) << r.err;
    std::ofstream(script) << "RUN SCENE \"cloudcreatemodellayer\" \"off.cloud\";\n"
                             "MOVESELECTION 1 0 0;\n";
    r = cloudview("run " + script, dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("off.scene:2: MOVESELECTION: no selection box is shown"),
              std::string::npos)
        << r.err;
    std::ofstream(script) << "ACTION \"nosuch\";\n";
    r = cloudview("run " + script, dir);
    EXPECT_NE(r.err.find("no action \"nosuch\""), std::string::npos) << r.err;
    std::ofstream(script) << "CLICK 1.5 3;\n";
    r = cloudview("run " + script, dir);
    EXPECT_NE(r.err.find("whole pixel"), std::string::npos) << r.err;
}

TEST_F(EditSessionTest, IconCommandAndStatementWriteTheStackerIcon)
{
    const std::string out = dir + "/icon.png";
    const Outcome r = cloudview("icon " EXAMPLES "/sky.cloud -o " + out + " --width 220", dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("wrote " + out + ": the layer's icon, 220 pixels wide, ", 0), 0u) << r.out;
    GDALDatasetH png = GDALOpen(out.c_str(), GA_ReadOnly);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(GDALGetRasterXSize(png), 220);
    EXPECT_EQ(GDALGetRasterYSize(png), 48);
    std::vector<uint8_t> red(220 * 48);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(png, 1), GF_Read, 0, 0, 220, 48, red.data(), 220, 48,
                           GDT_Byte, 0, 0),
              CE_None);
    GDALClose(png);
    EXPECT_EQ(red[0], 230);              // the bevel's light corner
    EXPECT_EQ(red[220 * 48 - 1], 102);   // and its dark one
    int text = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 50; x < 150; ++x)
            text += red[size_t(y) * 220 + size_t(x)] < 100;
    EXPECT_GT(text, 30);  // "sky" in black

    const std::string script = dir + "/icon.scene";
    std::ofstream(script) << "ADDFEATURELAYER \"Clouds\" \"" EXAMPLES "/sky.cloud\";\n"
                             "ICON LAYER 1 \"again.png\" 220;\n";
    ASSERT_EQ(cloudview("run " + script, dir).code, 0);
    EXPECT_EQ(readFile(dir + "/again.png"), readFile(out));

    EXPECT_EQ(cloudview("icon " EXAMPLES "/sky.cloud -o " + out + " --width 0", dir).code, 2);
    EXPECT_EQ(cloudview("icon " EXAMPLES "/sky.cloud -o " + dir + "/icon.jpg", dir).code, 2);
}

TEST_F(EditSessionTest, TwoLayersEachToolPlacementKeyAndBoxActOnTheirOwnLayer)
{
    ASSERT_EQ(std::system(("cp " TESTDATA "/two_layers.scene " + dir).c_str()), 0);
    const Outcome r = cloudview("run " + dir + "/two_layers.scene", dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Cloud 2\nCloud 1\nCloud 1\nran " + dir + "/two_layers.scene: 32 statements\n");

    // The first layer holds only the cloud its own tool added.
    const std::vector<std::string> first = splitLines(readFile(dir + "/first.cloud"));
    ASSERT_GE(first.size(), 8u);
    EXPECT_EQ(first[1], "1 clouds_in_file");
    EXPECT_EQ(first[5], "20000.000000 20000.000000 1000.000000 2000.000000 2000.000000 500.000000");

    // The second: the high cloud deleted by the key, the placed cloud moved
    // 5 km north by the box, the cloud added while it was framed unmoved.
    const std::vector<std::string> second = splitLines(readFile(dir + "/second.cloud"));
    ASSERT_GE(second.size(), 14u);
    EXPECT_EQ(second[1], "2 clouds_in_file");
    const std::vector<double> placed = cloudBox(second, 0), added = cloudBox(second, 1);
    ASSERT_EQ(placed.size(), 6u);
    ASSERT_EQ(added.size(), 6u);
    EXPECT_NEAR(placed[0], 50000.0, 100.0);
    EXPECT_NEAR(placed[1], 55000.0, 100.0);
    EXPECT_NEAR(placed[2], 500.0, 1e-6);  // stood on the ground at z 0
    EXPECT_EQ(added[0], 60000.0);
    EXPECT_NEAR(added[1], 50000.0, 100.0);
    EXPECT_NEAR(placed[1] - added[1], 5000.0, 1e-6);
}
