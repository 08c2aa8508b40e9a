// A layer's file is the one it was opened from, whichever folder the user
// works in and whichever folder a script runs from: scripts from one folder
// editing a scene in another, and Ctrl+S after an undo from a third.
#include "window_fixture.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/test_util.h"

namespace fs = std::filesystem;

namespace {

std::string withDensity(const std::string &text, const std::string &density)
{
    std::string out = text;
    out.replace(out.find("0.550000"), 8, density);
    return out;
}

size_t cloudsIn(const std::string &layerFile)
{
    size_t n = 0;
    for (const std::string &line : splitLines(readFile(layerFile)))
        n += line.rfind("Cloud_", 0) == 0;
    return n;
}

// Everything under the folder but the test's own files (dot files, the
// captured pictures), as paths relative to it.
std::vector<std::string> filesUnder(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.' &&
            entry.path().extension() != ".png")
            names.push_back(fs::relative(entry.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

const char *kLoadAndApplyTwice = "RUN SCENE \"cloudupdate\" \"showproperties\";\n"
                                 "SET LAYER 1 \"loadcurrent\";\n"
                                 "SET LAYER 1 \"density\" 0.2;\nSET LAYER 1 \"apply\";\n"
                                 "SET LAYER 1 \"density\" 0.3;\nSET LAYER 1 \"apply\";\n";

class LayerFileWindowTest : public WindowTest {
protected:
    // a/job.scene names a/sky.cloud; the edits come from b/edit.script; the
    // window runs from the test's folder, a third one.
    Ran editFromAnotherFolder(const std::string &cloud, const std::string &edits)
    {
        fs::create_directories(file("a"));
        fs::create_directories(file("b"));
        write("a/job.scene", "ADDFEATURELAYER \"Clouds\" \"sky.cloud\" ;\n");
        write("a/sky.cloud", cloud);
        write("b/edit.script", edits);
        return run("a/job.scene --script b/edit.script");
    }
    // Over the scene in ex/, opened from the test's folder: the layer
    // selected in the stacker, two clouds placed, the second undone, Ctrl+S.
    void placeUndoAndSave(const std::string &scene, const std::vector<std::string> &files,
                          int x1, int y1, int x2, int y2)
    {
        fs::create_directories(file("ex"));
        for (const std::string &name : files)
            fs::copy_file(std::string(EXAMPLES) + "/" + name, file("ex/" + name));
        const std::string layer = "ex/" + files[1];
        const std::string before = readFile(file(layer));
        const size_t clouds = cloudsIn(file(layer));
        startLive("ex/" + scene + " --size 1280x800");
        capture("opened.png");
        // The stacker's entry, then Clouds > Place clouds and two clicks on
        // the ground.
        xdo("mousemove --window WID 140 70 click 1 sleep 0.5");
        xdo("mousemove --window WID 165 10 click 1 sleep 0.8 mousemove --window WID 185 50 click 1");
        capture("placing.png");
        xdo("mousemove --window WID " + std::to_string(x1) + " " + std::to_string(y1) +
            " click 1 sleep 1");
        xdo("mousemove --window WID " + std::to_string(x2) + " " + std::to_string(y2) +
            " click 1 sleep 1");
        capture("placed.png");
        xdo("windowfocus --sync WID key ctrl+z");
        capture("undone.png");
        xdo("windowfocus --sync WID key ctrl+s");
        const std::string saved = awaitChange(layer, before);
        capture("saved.png");
        EXPECT_EQ(cloudsIn(file(layer)), clouds + 1) << "one placed cloud kept, one undone";
        std::vector<std::string> expected;
        for (const std::string &name : files)
            expected.push_back("ex/" + name);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(filesUnder(dir), expected) << "no layer file written elsewhere";
        xdo("windowfocus --sync WID key ctrl+q");
        EXPECT_EQ(waitLive(30), 0) << readFile(file(".live_err"));
        EXPECT_EQ(readFile(file(layer)), saved) << "quitting saved nothing else";
    }
};

} // namespace

TEST_F(LayerFileWindowTest, ScriptsFromAnotherFolderSaveUndoRedoAndCloseTheScenesLayerFile)
{
    const std::string sky = readFile(EXAMPLES "/sky.cloud");
    Ran r = editFromAnotherFolder(sky, std::string(kLoadAndApplyTwice) +
                                           "UNDO LAYER 1;\nSAVE LAYER 1;\n"
                                           "SAVE LAYER 1 \"undone.cloud\";\n"
                                           "REDO LAYER 1;\nWRITESCENE \"out.scene\";\n"
                                           "UNDO LAYER 1;\nANSWER YES;\nCLOSE LAYER 1;\n");
    ASSERT_EQ(r.code, 0) << r.err;
    // SAVE wrote the undone text to the scene's file; from SAVE ... "undone.cloud"
    // on (a name the script gives is the script's) the layer's file is b's,
    // and the last close saved the undone text over the redone one there.
    EXPECT_EQ(readFile(file("a/sky.cloud")), withDensity(sky, "0.200000"));
    EXPECT_EQ(readFile(file("b/undone.cloud")), withDensity(sky, "0.200000"));
    EXPECT_NE(readFile(file("b/out.scene")).find("\"Clouds\" \"undone.cloud\""), std::string::npos)
        << "written after the layer took its new name:\n"
        << readFile(file("b/out.scene"));
    EXPECT_EQ(filesUnder(dir), (std::vector<std::string>{"a/job.scene", "a/sky.cloud",
                                                         "b/edit.script", "b/out.scene",
                                                         "b/undone.cloud"}));

    // Without the new name: redone, then the scene written, saves a/sky.cloud.
    fs::remove_all(file("a"));
    fs::remove_all(file("b"));
    r = editFromAnotherFolder(sky, std::string(kLoadAndApplyTwice) +
                                       "UNDO LAYER 1;\nREDO LAYER 1;\nWRITESCENE \"out.scene\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(file("a/sky.cloud")), withDensity(sky, "0.300000"));
    EXPECT_NE(readFile(file("b/out.scene")).find("\"../a/sky.cloud\""), std::string::npos);

    // The layer type's own Delete layer, after a change and after an undo:
    // each asks, and the yes saves to the layer's file.
    for (const char *ending : {"ANSWER YES;\nRUN LAYER 1 \"deletelayer\";\n",
                               "UNDO LAYER 1;\nANSWER YES;\nRUN LAYER 1 \"deletelayer\";\n"}) {
        fs::remove_all(file("a"));
        fs::remove_all(file("b"));
        r = editFromAnotherFolder(sky, kLoadAndApplyTwice + std::string(ending));
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(readFile(file("a/sky.cloud")),
                  withDensity(sky, std::string(ending).rfind("UNDO", 0) == 0 ? "0.200000"
                                                                              : "0.300000"))
            << ending;
        EXPECT_EQ(filesUnder(dir), (std::vector<std::string>{"a/job.scene", "a/sky.cloud",
                                                             "b/edit.script"}))
            << ending;
    }
}

TEST_F(LayerFileWindowTest, ADamagedFileSurvivesACloseAfterAnUndoUnlessTheDamageQuestionIsAnsweredYes)
{
    std::string damaged = readFile(EXAMPLES "/sky.cloud");
    const size_t zoom = damaged.find(" 41.000000 ", damaged.find("Cloud_1\n"));
    damaged.replace(zoom + 1, 9, "4I.000000");
    const std::string edits =
        std::string(kLoadAndApplyTwice) + "UNDO LAYER 1;\nANSWER YES;\nCLOSE LAYER 1;\n";
    Ran r = editFromAnotherFolder(damaged, edits);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(file("a/sky.cloud")), damaged);
    EXPECT_NE(r.err.find("no ANSWER for \"sky.cloud was damaged when read (Cloud_1: zoom "
                         "\"4I.000000\" is not a number)"),
              std::string::npos)
        << r.err;

    fs::remove_all(file("a"));
    fs::remove_all(file("b"));
    r = editFromAnotherFolder(damaged, std::string(kLoadAndApplyTwice) +
                                           "UNDO LAYER 1;\nANSWER YES;\nANSWER YES;\n"
                                           "CLOSE LAYER 1;\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> saved = splitLines(readFile(file("a/sky.cloud")));
    ASSERT_GT(saved.size(), 9u);
    EXPECT_EQ(saved[3].substr(0, 8), "0.200000");
    EXPECT_EQ(saved[9], "0.400000 0.480000 1.000000 4.000000 0.350000") << "what was read";
    EXPECT_EQ(filesUnder(dir),
              (std::vector<std::string>{"a/job.scene", "a/sky.cloud", "b/edit.script"}));
}

TEST_F(LayerFileWindowTest, CtrlSAfterAnUndoOverTheValleySavesTheScenesLayerFile)
{
    placeUndoAndSave("valley.scene",
                     {"valley.scene", "valley.cloud", "olinda_dem_utm25s.tif", "olinda_l7_rgb.tif"},
                     600, 450, 760, 420);
}

TEST_F(LayerFileWindowTest, CtrlSAfterAnUndoOverTheFlatGridSavesTheScenesLayerFile)
{
    placeUndoAndSave("sky.scene", {"sky.scene", "sky.cloud"}, 600, 480, 800, 460);
}
