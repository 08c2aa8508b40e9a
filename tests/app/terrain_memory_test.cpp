// The ground's memory budget as a scene, the command line and the person
// set it: what reaches the ground, what is refused, what a written scene
// keeps.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/test_util.h"
#include "terrain/terrain.h"
#include "terrain_memory.h"
#include "viewer.h"

namespace {

using cloudview::Viewer;
using cloudview::ViewerError;

struct TerrainMemoryTest : ::testing::Test {
    std::string dir;
    void SetUp() override
    {
        char pattern[] = "/tmp/terrain_memory_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::filesystem::copy_file(EXAMPLES "/olinda_dem_utm25s.tif", dir + "/dem.tif");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string &name, const std::string &text) const
    {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
        return dir + "/" + name;
    }
    // The first line of a scene the viewer writes: its TERRAIN statement.
    std::string terrainLineWritten(Viewer &viewer) const
    {
        viewer.writeScene(dir + "/written.scene");
        return splitLines(readFile(dir + "/written.scene")).at(0);
    }
    CommandRun cloudview(const std::string &arguments) const
    {
        return runWithErrors(std::string(CLOUDVIEW) + " " + arguments + " 2>" + dir + "/err.txt",
                             dir + "/err.txt");
    }
};

size_t groundMemory(const Viewer &viewer)
{
    return viewer.terrain() ? viewer.terrain()->settings().memoryMiB : 0;
}

}  // namespace

TEST_F(TerrainMemoryTest, MemoryReachesTheGroundAndIsWrittenOnlyWhenNotTheDefault)
{
    {
        Viewer viewer(PLUGIN);
        viewer.runScript(write("m.scene", "TERRAIN \"dem.tif\" EXAGGERATION 5 MEMORY 512;\n"));
        EXPECT_EQ(groundMemory(viewer), 512u);
        EXPECT_EQ(viewer.terrainMemory(), 512u);
        EXPECT_EQ(terrainLineWritten(viewer), "TERRAIN \"dem.tif\" EXAGGERATION 5 MEMORY 512;");
    }
    {
        // Read back, the written scene gives the same ground and the same text.
        const std::string written = readFile(dir + "/written.scene");
        Viewer viewer(PLUGIN);
        viewer.runScript(write("again.scene", written));
        EXPECT_EQ(groundMemory(viewer), 512u);
        viewer.writeScene(dir + "/written.scene");
        EXPECT_EQ(readFile(dir + "/written.scene"), written);
    }
    {
        // A scene that names no budget gets the default and is written as it was.
        Viewer viewer(PLUGIN);
        viewer.runScript(write("plain.scene", "TERRAIN \"dem.tif\" EXAGGERATION 5;\n"));
        EXPECT_EQ(groundMemory(viewer), terrain::kDefaultMemoryMiB);
        EXPECT_EQ(terrainLineWritten(viewer), "TERRAIN \"dem.tif\" EXAGGERATION 5;");
        // A later TERRAIN without MEMORY is back to the default, as its scene says.
        viewer.runScript(write("m2.scene", "TERRAIN \"dem.tif\" MEMORY 2048;\n"));
        EXPECT_EQ(groundMemory(viewer), 2048u);
        viewer.runScript(dir + "/plain.scene");
        EXPECT_EQ(groundMemory(viewer), terrain::kDefaultMemoryMiB);
    }
}

TEST_F(TerrainMemoryTest, MemoryOutsideItsRangeStopsTheScriptWithFileAndLine)
{
    for (const char *mib : {"10", "63", "1048577", "1e9", "512.5", "-512"}) {
        Viewer viewer(PLUGIN);
        const std::string scene =
            write("bad.scene", std::string("VIEW 200 30;\nTERRAIN \"dem.tif\" MEMORY ") + mib + ";\n");
        try {
            viewer.runScript(scene);
            ADD_FAILURE() << "MEMORY " << mib << " was taken";
        } catch (const ViewerError &e) {
            EXPECT_EQ(std::string(e.what()),
                      scene + ":2: TERRAIN: MEMORY takes a whole number of MiB in 64..1048576 MiB, "
                              "not " + mib);
        }
        EXPECT_EQ(viewer.terrain(), nullptr) << mib;
    }
    Viewer viewer(PLUGIN);
    EXPECT_THROW(viewer.runScript(write("none.scene", "TERRAIN \"dem.tif\" MEMORY;\n")), ViewerError);
    for (const char *mib : {"64", "1048576"}) {
        viewer.runScript(write("edge.scene", std::string("TERRAIN \"dem.tif\" MEMORY ") + mib + ";\n"));
        EXPECT_EQ(groundMemory(viewer), std::stoul(mib));
    }
}

TEST_F(TerrainMemoryTest, ABudgetChosenHoldsForTheLiveGroundAndLaterOnesOverTheScenes)
{
    Viewer viewer(PLUGIN);
    // Chosen before any ground: the next one takes it, whatever its scene says.
    EXPECT_EQ(viewer.terrainMemory(), terrain::kDefaultMemoryMiB);
    viewer.setTerrainMemory(256);
    EXPECT_EQ(viewer.terrainMemory(), 256u);
    viewer.runScript(write("m.scene", "TERRAIN \"dem.tif\" MEMORY 4096;\n"));
    EXPECT_EQ(groundMemory(viewer), 256u);
    // Chosen over a live ground: it changes and the scene is written with it.
    viewer.setTerrainMemory(8192);
    EXPECT_EQ(groundMemory(viewer), 8192u);
    EXPECT_EQ(terrainLineWritten(viewer), "TERRAIN \"dem.tif\" MEMORY 8192;");
    viewer.closeTerrain();
    viewer.runScript(write("plain.scene", "TERRAIN \"dem.tif\";\n"));
    EXPECT_EQ(groundMemory(viewer), 8192u);
    // The default chosen is written as the default: not at all.
    viewer.setTerrainMemory(terrain::kDefaultMemoryMiB);
    EXPECT_EQ(terrainLineWritten(viewer), "TERRAIN \"dem.tif\";");
    try {
        viewer.setTerrainMemory(10);
        ADD_FAILURE() << "10 MiB was taken";
    } catch (const ViewerError &e) {
        EXPECT_EQ(std::string(e.what()), "terrain memory 10 MiB is outside 64..1048576 MiB");
    }
    EXPECT_EQ(groundMemory(viewer), terrain::kDefaultMemoryMiB);
}

TEST_F(TerrainMemoryTest, TheCommandLineRefusesABudgetOutsideTheRangeAndOutweighsTheScene)
{
    write("m.scene", "TERRAIN \"dem.tif\" MEMORY 512;\nWRITESCENE \"out.scene\";\n");
    for (const std::string &command : {"render " + dir + "/m.scene -o " + dir + "/m.png",
                                      "run " + dir + "/m.scene", std::string("open")}) {
        for (const char *mib : {"10", "abc", "2000000", "5e2", ""}) {
            const CommandRun r = cloudview(command + " --terrain-memory '" + mib + "'");
            EXPECT_EQ(r.code, 2) << command << " " << mib << ": " << r.err;
            EXPECT_EQ(r.err, std::string("cloudview: --terrain-memory ") + mib +
                                 ": the ground's memory is a whole number of MiB in 64..1048576 MiB\n");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.scene"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/m.png"));
    CommandRun r = cloudview("run " + dir + "/m.scene --terrain-memory 2048");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(splitLines(readFile(dir + "/out.scene")).at(0), "TERRAIN \"dem.tif\" MEMORY 2048;");
    r = cloudview("run " + dir + "/m.scene");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(splitLines(readFile(dir + "/out.scene")).at(0), "TERRAIN \"dem.tif\" MEMORY 512;");
}

TEST(TerrainMemoryLabel, WholeGibibytesReadAsGiB)
{
    EXPECT_EQ(cloudview::terrainMemoryLabel(256), "256 MiB");
    EXPECT_EQ(cloudview::terrainMemoryLabel(1024), "1 GiB");
    EXPECT_EQ(cloudview::terrainMemoryLabel(1536), "1536 MiB");
    EXPECT_EQ(cloudview::terrainMemoryLabel(8192), "8 GiB");
}
