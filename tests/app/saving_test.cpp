// Saving, saving under a new name, writing a scene elsewhere, and undo, as
// scene scripts run them: what lands on disk, byte for byte, and what a
// run that refuses says.
#include <gtest/gtest.h>

#include "support/test_util.h"
#include "undo_history.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using Outcome = CommandRun;

struct SavingTest : ::testing::Test {
    std::string dir;
    void SetUp() override
    {
        char pattern[] = "/tmp/saving_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    std::string file(const std::string &name) const { return dir + "/" + name; }
    void write(const std::string &name, const std::string &text) const
    {
        std::ofstream(file(name), std::ios::binary) << text;
    }
    // cloudview run on a script written into the test's folder.
    Outcome run(const std::string &script) const
    {
        write("job.scene", script);
        return runWithErrors(std::string(CLOUDVIEW) + " run " + file("job.scene") + " 2>" +
                                 file("err.txt"),
                             file("err.txt"));
    }
};

const std::string kSky = readFile(EXAMPLES "/sky.cloud");

// sky.cloud with the second cloud's zoom mistyped, as the user had it.
std::string damagedSky()
{
    std::string text = kSky;
    const size_t second = text.find("Cloud_1\n");
    const size_t zoom = text.find(" 41.000000 ", second);
    text.replace(zoom + 1, 9, "4I.000000");
    return text;
}

// Cloud k's (from 0) block line with the given number (2..6).
std::string blockLine(const std::string &text, int k, int line)
{
    const std::vector<std::string> lines = splitLines(text);
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == "Cloud_" + std::to_string(k))
            return i + size_t(line) - 1 < lines.size() ? lines[i + size_t(line) - 1] : "";
    return "";
}

} // namespace

TEST_F(SavingTest, AFileReadWithDamageIsNotSavedOverWithoutAYes)
{
    const std::string damaged = damagedSky();
    write("sky.cloud", damaged);
    write("notes.cloud", "# Clouds\n\nProcedurally generated volumetric clouds.\n");

    // SAVE, WRITESCENE and closing a changed layer all keep the files.
    Outcome r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                    "ADDFEATURELAYER \"Clouds\" \"notes.cloud\";\n"
                    "SAVE LAYER 1;\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("job.scene:3: sky.cloud was damaged when read (Cloud_1: zoom "
                         "\"4I.000000\" is not a number). Saving replaces it with what was "
                         "read. Save anyway?"),
              std::string::npos)
        << r.err;
    r = run("ADDFEATURELAYER \"Clouds\" \"notes.cloud\";\nSAVE LAYER 1;\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("notes.cloud was damaged when read (not a layer file (first line "
                         "\"# Clouds\"))"),
              std::string::npos)
        << r.err;
    r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\nWRITESCENE \"again.scene\";\n"
            "RUN SCENE \"cloudupdate\" \"showproperties\";\nSET LAYER 1 \"apply\";\n"
            "ANSWER YES;\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(file("sky.cloud")), damaged);
    EXPECT_EQ(readFile(file("notes.cloud")),
              "# Clouds\n\nProcedurally generated volumetric clouds.\n");
    EXPECT_NE(readFile(file("again.scene")).find("\tADDFEATURELAYER \"Clouds\" \"sky.cloud\" ;\n"),
              std::string::npos);

    // Answered yes, the save writes what was read, and the file reads
    // clean from then on: a second save asks nothing.
    r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\nANSWER YES;\nSAVE LAYER 1;\n"
            "SAVE LAYER 1;\n");
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string saved = readFile(file("sky.cloud"));
    EXPECT_NE(saved, damaged);
    EXPECT_EQ(blockLine(saved, 1, 2), "0.400000 0.480000 1.000000 4.000000 0.350000");
    for (int line = 2; line <= 6; ++line)
        EXPECT_EQ(blockLine(saved, 0, line), blockLine(kSky, 0, line)) << "the cloud before it";
}

TEST_F(SavingTest, SaveLayerAsWritesANewFileThatTheLayerThenKeeps)
{
    write("sky.cloud", kSky);
    std::system(("mkdir " + file("copies")).c_str());
    const Outcome r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                          "SAVE LAYER 1 \"copies/copy.cloud\";\n"
                          "RUN SCENE \"cloudupdate\" \"showproperties\";\n"
                          "SET LAYER 1 \"currentcloud\" \"Cloud 2\";\n"
                          "SET LAYER 1 \"density\" 0.9;\n"
                          "SET LAYER 1 \"apply\";\n"
                          "SAVE LAYER 1;\n"
                          "WRITESCENE \"copies/moved.scene\";\n"
                          "RUN SCENE \"cloudcreatemodellayer\";\n"
                          "SAVE LAYER 2;\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("job.scene:10: layer 2 has no file yet; SAVE LAYER 2 \"file\"; names one"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(file("sky.cloud")), kSky) << "the old file is left as it was";
    const std::string copy = readFile(file("copies/copy.cloud"));
    EXPECT_EQ(blockLine(copy, 1, 2), "0.900000 0.480000 1.000000 41.000000 0.350000");
    std::string expected = kSky;
    expected.replace(expected.find("0.400000 0.480000", expected.find("Cloud_1")), 8, "0.900000");
    EXPECT_EQ(copy, expected);
    // The scene beside the copy names it relative to itself, and reopens.
    const std::string scene = readFile(file("copies/moved.scene"));
    EXPECT_NE(scene.find("\n\tADDFEATURELAYER \"Clouds\" \"copy.cloud\" ;\n"), std::string::npos)
        << scene;
    const Outcome again = run("ADDFEATURELAYER \"Clouds\" \"copies/copy.cloud\";\n"
                              "WRITESCENE \"elsewhere.scene\";\n");
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_NE(readFile(file("elsewhere.scene")).find("\"copies/copy.cloud\""), std::string::npos);
    EXPECT_EQ(std::system((std::string(CLOUDVIEW) + " render " + file("copies/moved.scene") +
                           " -o " + file("moved.png") + " --size 32x24 >/dev/null")
                              .c_str()),
              0);
}

TEST_F(SavingTest, ASceneWrittenIntoAnotherFolderReopensFromThere)
{
    write("sky.cloud", kSky);
    std::system(("mkdir -p " + file("a/b") + " " + file("other")).c_str());
    const Outcome r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                          "WRITESCENE \"other/moved.scene\";\n"
                          "WRITESCENE \"a/b/deep.scene\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(readFile(file("other/moved.scene"))
                  .find("\tADDFEATURELAYER \"Clouds\" \"../sky.cloud\" ;\n"),
              std::string::npos);
    EXPECT_NE(readFile(file("a/b/deep.scene"))
                  .find("\tADDFEATURELAYER \"Clouds\" \"../../sky.cloud\" ;\n"),
              std::string::npos);
    for (const char *scene : {"other/moved.scene", "a/b/deep.scene"})
        EXPECT_EQ(std::system((std::string(CLOUDVIEW) + " render " + file(scene) + " -o " +
                               file("x.png") + " --size 32x24 >/dev/null")
                                  .c_str()),
                  0)
            << scene;
    EXPECT_EQ(readFile(file("sky.cloud")), kSky);
}

TEST_F(SavingTest, AScriptWrittenOverALayersFileOrTheGroundIsRefusedAndLosesNothing)
{
    write("sky.cloud", kSky);
    std::system(("cp " EXAMPLES "/olinda_dem_utm25s.tif " + file("dem.tif") + " && ln -s sky.cloud " +
                 file("link.cloud"))
                    .c_str());
    const std::string dem = readFile(file("dem.tif"));
    for (const char *target : {"sky.cloud", "link.cloud", "dem.tif"}) {
        const Outcome r = run(std::string("TERRAIN \"dem.tif\";\n"
                                          "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                                          "WRITESCENE \"") +
                              target + "\";\n");
        EXPECT_EQ(r.code, 2) << target;
        EXPECT_NE(r.err.find(target), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("would replace it"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(file("sky.cloud")), kSky) << target;
        EXPECT_EQ(readFile(file("dem.tif")), dem) << target;
    }
}

TEST_F(SavingTest, UndoAndRedoBringBackEachStepExactly)
{
    write("sky.cloud", kSky);
    // Sixty applies, each a step: all sixty undone give the file back.
    std::string script = "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                         "RUN SCENE \"cloudupdate\" \"showproperties\";\n";
    for (int i = 1; i <= 60; ++i)
        script += "SET LAYER 1 \"density\" " + std::to_string(i / 100.0) +
                  ";\nSET LAYER 1 \"apply\";\n";
    script += "SAVE LAYER 1 \"last.cloud\";\n";
    for (int i = 0; i < 60; ++i)
        script += "UNDO LAYER 1;\n";
    script += "SAVE LAYER 1 \"first.cloud\";\n"
              "REDO LAYER 1;\nSAVE LAYER 1 \"one.cloud\";\n"
              "UNDO LAYER 1;\nUNDO LAYER 1;\n";
    const Outcome r = run(script);
    EXPECT_EQ(r.code, 2);
    // Line 188: the second UNDO after the REDO.
    EXPECT_NE(r.err.find("job.scene:188: layer 1: nothing to undo"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(file("first.cloud")), kSky);
    EXPECT_EQ(blockLine(readFile(file("last.cloud")), 0, 2).substr(0, 8), "0.600000");
    EXPECT_EQ(blockLine(readFile(file("one.cloud")), 0, 2).substr(0, 8), "0.010000");
    EXPECT_EQ(readFile(file("sky.cloud")), kSky);
}

TEST_F(SavingTest, ABoxMoveUndoneRestoresTheCloudAndClosingAsksOnlyAboutUnsavedText)
{
    // A pick frames the cloud under the view's centre (Cloud 2); the box
    // moves it.
    const std::string pickAndMove = "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                                    "VIEW 0 90 150000;\n"
                                    "RENDER \"top.png\" 200 200;\n"
                                    "CLICK 100 100;\n"
                                    "MOVESELECTION 1000 0 0;\n"
                                    "SCALESELECTION 2 2 2;\n"
                                    "SAVE LAYER 1 \"moved.cloud\";\n"
                                    "UNDO LAYER 1;\nUNDO LAYER 1;\n";
    write("sky.cloud", kSky);
    // Undone to the file's text: the yes queued for a question is not used.
    Outcome r = run(pickAndMove + "SAVE LAYER 1 \"back.cloud\";\nANSWER YES;\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string moved = readFile(file("moved.cloud"));
    EXPECT_EQ(blockLine(moved, 1, 4),
              "69000.000000 40000.000000 4600.000000 36000.000000 -30000.000000 5600.000000");
    EXPECT_EQ(readFile(file("back.cloud")), kSky) << "both steps undone";

    // Redone, the layer holds text its file (moved.cloud since the save)
    // does not: closing asks, and the yes saves it.
    write("sky.cloud", kSky);
    std::remove(file("moved.cloud").c_str());
    r = run(pickAndMove + "REDO LAYER 1;\nANSWER YES;\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(file("sky.cloud")), kSky);
    EXPECT_EQ(blockLine(readFile(file("moved.cloud")), 1, 4),
              "69000.000000 40000.000000 4600.000000 18000.000000 -15000.000000 2800.000000");
}

TEST_F(SavingTest, ALayerClosingWithAYesIsSavedToItsFile)
{
    write("sky.cloud", kSky);
    const Outcome r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                          "RUN SCENE \"cloudupdate\" \"showproperties\";\n"
                          "SET LAYER 1 \"loadcurrent\";\n"
                          "SET LAYER 1 \"density\" 0.25;\n"
                          "SET LAYER 1 \"apply\";\n"
                          "ANSWER YES;\n");
    ASSERT_EQ(r.code, 0) << r.err;
    std::string expected = kSky;
    expected.replace(expected.find("0.550000"), 8, "0.250000");
    EXPECT_EQ(readFile(file("sky.cloud")), expected);
}

TEST(UndoHistory, KeepsItsLimitAndForgetsWhatARedoWouldDoAfterANewChange)
{
    cloudview::UndoHistory h(3);
    EXPECT_FALSE(h.canUndo());
    h.push("a", "0", "1");
    h.push("b", "1", "2");
    h.push("c", "2", "3");
    h.push("d", "3", "4");
    EXPECT_EQ(h.size(), 3u);
    EXPECT_EQ(h.undoName(), "d");
    EXPECT_EQ(h.undo(), "3");
    EXPECT_EQ(h.undo(), "2");
    EXPECT_EQ(h.undo(), "1");
    EXPECT_FALSE(h.canUndo()) << "the oldest step went";
    EXPECT_EQ(h.redoName(), "b");
    EXPECT_EQ(h.redo(), "2");
    h.push("e", "2", "5");
    EXPECT_FALSE(h.canRedo());
    EXPECT_EQ(h.undo(), "2");
    EXPECT_EQ(h.undo(), "1");
}

namespace {

// Two density applies to the first cloud of layer 1 (0.2, then 0.3).
const std::string kTwoApplies = "RUN SCENE \"cloudupdate\" \"showproperties\";\n"
                                "SET LAYER 1 \"loadcurrent\";\n"
                                "SET LAYER 1 \"density\" 0.2;\nSET LAYER 1 \"apply\";\n"
                                "SET LAYER 1 \"density\" 0.3;\nSET LAYER 1 \"apply\";\n";

std::string withDensity(const std::string &text, const std::string &density)
{
    std::string out = text;
    out.replace(out.find("0.550000"), 8, density);
    return out;
}

} // namespace

// An undo opens the layer again on text its type does not know is unsaved:
// closing it asks the viewer's question, and then, as every save over a
// damaged file does, the damage question.
TEST_F(SavingTest, ClosingAfterAnUndoAsksBeforeReplacingADamagedFile)
{
    const std::string damaged = damagedSky();
    write("sky.cloud", damaged);
    const std::string edits = "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n" + kTwoApplies +
                              "UNDO LAYER 1;\nANSWER YES;\nCLOSE LAYER 1;\n";
    Outcome r = run(edits);
    ASSERT_EQ(r.code, 0) << r.err;
    // The damage question went unanswered: No.
    EXPECT_EQ(readFile(file("sky.cloud")), damaged) << "the clouds after the damage are kept";

    // Both answered yes: the file holds what was read, with the undone edit.
    r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n" + kTwoApplies +
            "UNDO LAYER 1;\nANSWER YES;\nANSWER YES;\nCLOSE LAYER 1;\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string saved = readFile(file("sky.cloud"));
    EXPECT_EQ(blockLine(saved, 0, 2).substr(0, 8), "0.200000");
    EXPECT_EQ(blockLine(saved, 1, 2), "0.400000 0.480000 1.000000 4.000000 0.350000");
}

// A layer file reached through a symbolic link: every way of saving
// replaces the file the link points to and leaves the link a link.
TEST_F(SavingTest, SavesThroughALinkReplaceItsTargetAndKeepTheLink)
{
    std::system(("mkdir " + file("store")).c_str());
    write("store/sky.cloud", kSky);
    ASSERT_EQ(symlink("store/sky.cloud", file("sky.cloud").c_str()), 0);
    const auto isLink = [this] {
        struct stat info;
        return lstat(file("sky.cloud").c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    };
    Outcome r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n" + kTwoApplies +
                    "SAVE LAYER 1;\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(isLink());
    EXPECT_EQ(readFile(file("store/sky.cloud")), withDensity(kSky, "0.300000"));

    r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n" + kTwoApplies +
            "UNDO LAYER 1;\nWRITESCENE \"again.scene\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(isLink());
    EXPECT_EQ(readFile(file("store/sky.cloud")), withDensity(kSky, "0.200000"));

    r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n" + kTwoApplies + "ANSWER YES;\n"
            "CLOSE LAYER 1;\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(isLink());
    EXPECT_EQ(readFile(file("store/sky.cloud")), withDensity(kSky, "0.300000"));
    EXPECT_EQ(runCapture("ls " + file("store")), "sky.cloud\n") << "no file left beside it";
}

// A layer opened again (saved under a new name, undone, redone) stands
// where it stood: first in the statements' numbering and in the scene.
TEST_F(SavingTest, ALayerOpenedAgainKeepsItsPlaceAmongTheOthers)
{
    write("sky.cloud", kSky);
    // The second layer: the first cloud alone.
    const std::vector<std::string> lines = splitLines(kSky);
    std::string one = lines[0] + "\n1 clouds_in_file\n";
    for (size_t i = 2; i < 8; ++i)
        one += lines[i] + "\n";
    write("one.cloud", one);
    const Outcome r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                          "ADDFEATURELAYER \"Clouds\" \"one.cloud\";\n" +
                          kTwoApplies +
                          "SAVE LAYER 1 \"copy.cloud\";\nSAVE LAYER 1 \"again.cloud\";\n"
                          "UNDO LAYER 1;\nSAVE LAYER 1 \"undone.cloud\";\n"
                          "REDO LAYER 1;\nSAVE LAYER 1 \"redone.cloud\";\n"
                          "WRITESCENE \"order.scene\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(file("again.cloud")), withDensity(kSky, "0.300000"));
    EXPECT_EQ(readFile(file("undone.cloud")), withDensity(kSky, "0.200000"));
    EXPECT_EQ(readFile(file("redone.cloud")), withDensity(kSky, "0.300000"));
    EXPECT_EQ(readFile(file("one.cloud")), one);
    const std::string scene = readFile(file("order.scene"));
    const size_t first = scene.find("\"redone.cloud\""), second = scene.find("\"one.cloud\"");
    ASSERT_NE(first, std::string::npos) << scene;
    ASSERT_NE(second, std::string::npos) << scene;
    EXPECT_LT(first, second) << "the scene lists its layers bottom first\n" << scene;
}

// The other ways to its own file: Save as... under its own name, and the
// layer type's Delete layer, which closes it with the type's own question.
TEST_F(SavingTest, SaveAsItsOwnNameAndDeletingTheLayerAskBeforeReplacingADamagedFile)
{
    const std::string damaged = damagedSky();
    write("sky.cloud", damaged);
    Outcome r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n" + kTwoApplies +
                    "SAVE LAYER 1 \"./sky.cloud\";\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("job.scene:8: ./sky.cloud: sky.cloud was damaged when read"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(file("sky.cloud")), damaged);

    r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n" + kTwoApplies +
            "ANSWER YES;\nRUN LAYER 1 \"deletelayer\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(file("sky.cloud")), damaged) << "only its type's question was answered";

    r = run("ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n" + kTwoApplies +
            "ANSWER YES;\nANSWER YES;\nRUN LAYER 1 \"deletelayer\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(blockLine(readFile(file("sky.cloud")), 0, 2).substr(0, 8), "0.300000");
    EXPECT_EQ(runCapture("ls " + dir), "err.txt\njob.scene\nsky.cloud\n");
}
