// A ground read from inside an archive ("/vsizip/..."): it opens from a
// scene script and from the command line, its errors tell an archive that
// is there from one that is not, and a scene written into another folder
// names it so that it opens again: an archive named absolute as it was
// written, one named relative to the script relative to the new script.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/test_util.h"
#include "terrain/gdal_util.h"
#include "terrain/terrain_models.h"
#include "viewer.h"

namespace {

using cloudview::Viewer;
using cloudview::ViewerError;

struct ArchivedGroundTest : ::testing::Test {
    std::string dir = scratchFolder();
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string script(const std::string &name, const std::string &text)
    {
        std::ofstream(dir + "/" + name) << text;
        return dir + "/" + name;
    }
    // The first line of a written scene: its TERRAIN.
    std::string terrainLine(const std::string &scene)
    {
        const std::vector<std::string> lines = splitLines(readFile(scene));
        return lines.empty() ? "" : lines[0];
    }
    // A slope in UTM 25S, zipped into data/dem.zip beside a drape, and the
    // extent its plain file opens with.
    host::Extent makeArchive()
    {
        mkdir((dir + "/data").c_str(), 0755);
        mkdir((dir + "/out").c_str(), 0755);
        mkdir((dir + "/out/deep").c_str(), 0755);
        ModelSpec spec;
        spec.width = spec.height = 33;
        spec.heightAt = [](int c, int r) { return 100.0 + 10.0 * c + 3.0 * r; };
        const std::string model = writeModel(dir + "/plain.tif", spec);
        writeImage(dir + "/data/photo.tif", spec.west, spec.north, 50.0, 66, 32725, 200, 60, 40);
        std::ofstream(dir + "/notes.txt") << "not a raster\n";
        writeZip(dir + "/data/dem.zip", {{"dem.tif", model}, {"notes.txt", dir + "/notes.txt"}});
        Viewer viewer(PLUGIN);
        viewer.runScript(script("plain.scene", "TERRAIN \"plain.tif\";\n"));
        return viewer.scene().extent();
    }
};

void expectSameExtent(const host::Extent &a, const host::Extent &b)
{
    EXPECT_DOUBLE_EQ(a.x1, b.x1);
    EXPECT_DOUBLE_EQ(a.x2, b.x2);
    EXPECT_DOUBLE_EQ(a.y1, b.y1);
    EXPECT_DOUBLE_EQ(a.y2, b.y2);
    EXPECT_DOUBLE_EQ(a.z1, b.z1);
    EXPECT_DOUBLE_EQ(a.z2, b.z2);
}

TEST_F(ArchivedGroundTest, AnArchiveNamedAbsoluteIsWrittenAsItWasGiven)
{
    const host::Extent plain = makeArchive();
    const std::string model = "/vsizip/" + dir + "/data/dem.zip/dem.tif";
    const std::string line = "TERRAIN \"" + model + "\" DRAPE \"data/photo.tif\" EXAGGERATION 2;";
    {
        Viewer viewer(PLUGIN);
        viewer.runScript(script("abs.scene", line + "\n"));
        ASSERT_NE(viewer.terrain(), nullptr);
        EXPECT_TRUE(viewer.terrain()->draped());
        EXPECT_EQ(viewer.terrain()->settings().model, model) << "no folder put in front of it";
        EXPECT_DOUBLE_EQ(viewer.scene().extent().z2, plain.z2 * 2);
        viewer.writeScene(dir + "/out/deep/abs.scene");

        // Writing a scene over the archive would lose the model.
        try {
            viewer.writeScene(dir + "/data/dem.zip");
            ADD_FAILURE() << "the archive was overwritten";
        } catch (const ViewerError &e) {
            EXPECT_NE(std::string(e.what()).find("the archive holding the scene's elevation model"),
                      std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(terrainLine(dir + "/out/deep/abs.scene"),
              "TERRAIN \"" + model + "\" DRAPE \"../../data/photo.tif\" EXAGGERATION 2;");

    // The written scene opens the same ground, from cloudview too.
    Viewer viewer(PLUGIN);
    viewer.runScript(dir + "/out/deep/abs.scene");
    ASSERT_NE(viewer.terrain(), nullptr);
    EXPECT_TRUE(viewer.terrain()->draped());
    EXPECT_DOUBLE_EQ(viewer.scene().extent().x1, plain.x1);
    EXPECT_DOUBLE_EQ(viewer.scene().extent().y2, plain.y2);
    const CommandRun rendered =
        runWithErrors(std::string(CLOUDVIEW) + " render " + dir + "/out/deep/abs.scene -o " + dir +
                          "/out/abs.png 2>" + dir + "/err.txt",
                      dir + "/err.txt");
    EXPECT_EQ(rendered.code, 0) << rendered.err;
    const CommandRun ground = runWithErrors("cd " + dir + "/out && " + CLOUDVIEW + " render " + EXAMPLES +
                                                "/valley.cloud --terrain /vsizip/../data/dem.zip/dem.tif"
                                                " -o cmd.png 2>err.txt",
                                            dir + "/out/err.txt");
    EXPECT_EQ(ground.code, 0) << "a relative archive on the command line: " << ground.err;
}

TEST_F(ArchivedGroundTest, AnArchiveNamedRelativeIsWrittenRelativeToTheNewScene)
{
    const host::Extent plain = makeArchive();
    {
        Viewer viewer(PLUGIN);
        viewer.runScript(script("data/rel.scene", "TERRAIN \"/vsizip/dem.zip/dem.tif\" DRAPE \"photo.tif\";\n"));
        ASSERT_NE(viewer.terrain(), nullptr);
        EXPECT_EQ(viewer.terrain()->settings().model, "/vsizip/" + dir + "/data/dem.zip/dem.tif")
            << "kept by a name that opens from anywhere";
        viewer.writeScene(dir + "/out/deep/rel.scene");
        viewer.writeScene(dir + "/data/again.scene");

        // A new drape over the same model (the window's Drape image...)
        // keeps the model's name as the scene gave it.
        ::terrain::TerrainSettings settings;
        settings.model = viewer.terrain()->settings().model;
        settings.drape = dir + "/data/photo.tif";
        viewer.openTerrain(settings);
        viewer.writeScene(dir + "/out/redraped.scene");
    }
    EXPECT_EQ(terrainLine(dir + "/out/deep/rel.scene"),
              "TERRAIN \"/vsizip/../../data/dem.zip/dem.tif\" DRAPE \"../../data/photo.tif\";");
    EXPECT_EQ(terrainLine(dir + "/data/again.scene"), "TERRAIN \"/vsizip/dem.zip/dem.tif\" DRAPE \"photo.tif\";");
    EXPECT_EQ(terrainLine(dir + "/out/redraped.scene"),
              "TERRAIN \"/vsizip/../data/dem.zip/dem.tif\" DRAPE \"../data/photo.tif\";");
    for (const char *written : {"/out/deep/rel.scene", "/data/again.scene", "/out/redraped.scene"}) {
        Viewer viewer(PLUGIN);
        viewer.runScript(dir + written);
        ASSERT_NE(viewer.terrain(), nullptr) << written;
        EXPECT_TRUE(viewer.terrain()->draped()) << written;
        expectSameExtent(viewer.scene().extent(), plain);
    }
}

TEST_F(ArchivedGroundTest, ErrorsTellAMissingMemberFromOneThatIsNoRaster)
{
    makeArchive();
    Viewer viewer(PLUGIN);
    const auto errorOf = [&](const std::string &name) -> std::string {
        try {
            viewer.runScript(script("bad.scene", "TERRAIN \"" + name + "\";\n"));
        } catch (const ViewerError &e) {
            return e.what();
        }
        return "no error";
    };
    const std::string where = dir + "/bad.scene:1: ";
    EXPECT_EQ(errorOf("/vsizip/data/dem.zip/missing.tif"),
              where + "/vsizip/data/dem.zip/missing.tif: not a raster GDAL can read (no such file)");
    const std::string notes = errorOf("/vsizip/data/dem.zip/notes.txt");
    EXPECT_EQ(notes.rfind(where + "/vsizip/data/dem.zip/notes.txt: not a raster GDAL can read (", 0), 0u) << notes;
    EXPECT_EQ(notes.find("no such file"), std::string::npos) << notes;
    // An archive reached through the network is no file here.
    EXPECT_EQ(errorOf("/vsizip//vsicurl/http://127.0.0.1:9/dem.zip/dem.tif"),
              where + "/vsizip//vsicurl/http://127.0.0.1:9/dem.zip/dem.tif: not a raster GDAL can read "
                      "(no such file)");
    EXPECT_EQ(viewer.terrain(), nullptr);
}

TEST(GroundNames, OnlyArchivesOnThisMachineAreFiles)
{
    EXPECT_EQ(terrain::localArchivePrefix("/vsizip/a.zip/b.tif"), "/vsizip/");
    EXPECT_EQ(terrain::localArchivePrefix("/vsitar//data/a.tar.gz/b.tif"), "/vsitar/");
    EXPECT_EQ(terrain::localArchivePrefix("/vsigzip/dem.tif.gz"), "/vsigzip/");
    EXPECT_EQ(terrain::localArchivePrefix("/vsizip/{a}/b.tif"), "/vsizip/");
    EXPECT_EQ(terrain::localArchivePrefix("/vsitar//vsigzip//data/a.tar.gz/b.tif"), "/vsitar/");
    EXPECT_EQ(terrain::localArchivePrefix("/vsizip//vsis3/bucket/a.zip/b.tif"), "");
    EXPECT_EQ(terrain::localArchivePrefix("/vsizip/{/vsimem/a.zip}/b.tif"), "");
    EXPECT_EQ(terrain::localArchivePrefix("/vsizip/https://host/a.zip/b.tif"), "");
    EXPECT_EQ(terrain::localArchivePrefix("/vsicurl/http://host/dem.tif"), "");
    EXPECT_EQ(terrain::localArchivePrefix("dem.tif"), "");
    EXPECT_FALSE(terrain::localRasterExists("/vsimem/dem.tif"));
    EXPECT_FALSE(terrain::localRasterExists("https://host/dem.tif"));
}

}  // namespace
