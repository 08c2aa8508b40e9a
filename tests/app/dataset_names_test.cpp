// Names in scene scripts and on the command line that GDAL would take for
// something other than a file: an in-memory array at a raw address (which
// crashed cloudview), a URL. Each is refused with the file and line, and
// cloudview ends with exit 2 instead of reading what the name points at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/test_util.h"

namespace {

const char kMemory[] = "MEM:::DATAPOINTER=0x10,PIXELS=10,LINES=10,BANDS=1,DATATYPE=Float32";

class DatasetNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/dataset_names_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    CommandRun cloudview(const std::string &args)
    {
        return runWithErrors("cd '" + dir + "' && " + CLOUDVIEW + " " + args + " 2>err.txt", dir + "/err.txt");
    }
    std::string dir;
};

TEST_F(DatasetNames, NamesThatAreNotFilesAreNeverOpened)
{
    const std::string model = std::string(EXAMPLES) + "/olinda_dem_utm25s.tif";
    std::ofstream(dir + "/memory.scene") << "TERRAIN \"" << kMemory << "\";\n";
    std::ofstream(dir + "/drape.scene") << "TERRAIN \"" << model << "\" DRAPE \"" << kMemory << "\";\n";
    std::ofstream(dir + "/url.scene") << "TERRAIN \"/vsicurl/http://127.0.0.1:9/dem.tif\";\n";

    const CommandRun memory = cloudview("run memory.scene");
    EXPECT_EQ(memory.code, 2) << "no crash";
    EXPECT_EQ(memory.err, "cloudview: memory.scene:1: " + std::string(kMemory) +
                              ": not a raster GDAL can read (no such file)\n");
    const CommandRun drape = cloudview("run drape.scene");
    EXPECT_EQ(drape.code, 2);
    EXPECT_NE(drape.err.find(std::string(kMemory) + ": not a raster GDAL can read (no such file)"),
              std::string::npos)
        << drape.err;
    const CommandRun url = cloudview("run url.scene");
    EXPECT_EQ(url.code, 2);
    EXPECT_NE(url.err.find("/vsicurl/http://127.0.0.1:9/dem.tif: not a raster GDAL can read (no such file)"),
              std::string::npos)
        << url.err;

    // The command line's ground and --crs alike.
    const CommandRun ground =
        cloudview("render '" + std::string(EXAMPLES) + "/valley.cloud' -o x.png --terrain '" + kMemory + "'");
    EXPECT_EQ(ground.code, 2) << ground.err;
    const CommandRun crs = cloudview("export '" + std::string(EXAMPLES) + "/valley.cloud' --cloud 1 -o c.tif --crs '" +
                                     kMemory + "'");
    EXPECT_EQ(crs.code, 2) << crs.err;
    EXPECT_NE(crs.err.find("not a coordinate system OGR knows"), std::string::npos) << crs.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/c.tif"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.png"));
}

}  // namespace
