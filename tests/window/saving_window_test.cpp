// Saving in the window with real X input: the question before replacing a
// file that was damaged when read, Save as... from it, Cancel on quit; and
// the cloud tool's line saying what Apply would write.
#include "window_fixture.h"

#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/test_util.h"

namespace {

// The middle of the window, where questions stand.
constexpr int kMidX = 400, kMidY = 300, kMidW = 480, kMidH = 200;

std::string damagedSky()
{
    std::string text = readFile(EXAMPLES "/sky.cloud");
    const size_t zoom = text.find(" 41.000000 ", text.find("Cloud_1\n"));
    text.replace(zoom + 1, 9, "4I.000000");
    return text;
}

class SavingWindowTest : public WindowTest {
protected:
    // The middle of the view's white pixels (the white cloud).
    static bool whiteCloud(const Picture &p, int *x, int *y)
    {
        long sx = 0, sy = 0, n = 0;
        for (int j = 40; j < 760; ++j)
            for (int i = 300; i < 1280; ++i)
                if (p.near({255, 255, 255}, 16, i, j, 1, 1))
                    sx += i, sy += j, ++n;
        if (n < 200)
            return false;
        *x = int(sx / n);
        *y = int(sy / n);
        return true;
    }
    bool alive() const { return livePid > 0 && waitpid(livePid, nullptr, WNOHANG) == 0; }
    std::string title() { return runCapture("xdotool getwindowname " + liveWindow); }
};

} // namespace

TEST_F(SavingWindowTest, ADamagedFileAsksBeforeSavingAndSaveAsWritesWhatWasReadElsewhere)
{
    const std::string damaged = damagedSky();
    copyExample("sky.scene");
    write("sky.cloud", damaged);
    // What the layer read, as the headless viewer saves it elsewhere.
    write("expect.scene", "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                          "SAVE LAYER 1 \"expected.cloud\";\n");
    ASSERT_EQ(std::system(("cd '" + dir + "' && " CLOUDVIEW " run expect.scene >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string expected = readFile(file("expected.cloud"));
    ASSERT_NE(expected, damaged);

    startLive("sky.scene --size 1280x800");
    const Picture opened = capture("opened.png");
    // Ctrl+S: the question names the damage; S would save anyway, N and
    // Escape cancel, A is Save as....
    xdo("windowfocus --sync WID key ctrl+s");
    const Picture asked = capture("asked.png");
    EXPECT_GT(asked.differing(opened, 40, kMidX, kMidY, kMidW, kMidH), 1000u)
        << "no question shown";
    xdo("windowfocus --sync WID key Escape");
    const Picture cancelled = capture("cancelled.png");
    EXPECT_LT(cancelled.differing(opened, 40, kMidX, kMidY, kMidW, kMidH), 200u);
    EXPECT_EQ(readFile(file("sky.cloud")), damaged);

    xdo("windowfocus --sync WID key ctrl+s");
    capture("asked_again.png");
    xdo("windowfocus --sync WID key a");
    const Picture browser = capture("browser.png");
    EXPECT_GT(browser.differing(opened, 40, kMidX, kMidY, kMidW, kMidH), 1000u)
        << "no file browser";
    xdo("type --delay 40 copy.cloud");
    xdo("key --window WID Return");
    EXPECT_EQ(awaitChange("copy.cloud", ""), expected);
    EXPECT_EQ(readFile(file("sky.cloud")), damaged) << "the damaged file is left as it was";

    // The layer is copy.cloud's now: its stacker entry says so, and a save
    // goes there without a question.
    const Picture renamed = capture("renamed.png");
    EXPECT_GT(renamed.differing(opened, 30, 30, 40, 220, 60), 50u) << "the stacker name follows";
    std::filesystem::remove(file("copy.cloud"));
    xdo("windowfocus --sync WID key ctrl+s");
    EXPECT_EQ(awaitChange("copy.cloud", ""), expected);
    xdo("windowfocus --sync WID key ctrl+q");
    EXPECT_EQ(waitLive(30), 0) << readFile(file(".live_err"));
    EXPECT_EQ(readFile(file("sky.cloud")), damaged);
}

TEST_F(SavingWindowTest, QuitWithUnsavedChangesAsksOnceAndCancelKeepsTheWindow)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    const std::string original = readFile(file("sky.cloud"));
    startLive("sky.scene --size 1280x800");
    EXPECT_EQ(title(), "Clouds - cloudview\n");
    const Picture opened = capture("opened.png");
    // A change: the white cloud picked and deleted.
    int x = 0, y = 0;
    ASSERT_TRUE(whiteCloud(opened, &x, &y)) << "no white cloud in opened.png";
    xdo("mousemove --window WID " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    capture("picked.png");
    xdo("windowfocus --sync WID key Delete");
    const Picture deleted = capture("deleted.png");
    EXPECT_EQ(title(), "Clouds - cloudview *\n") << "the changed mark";

    // Quit: asked once; Escape is Cancel, and the window stays as it was.
    xdo("windowfocus --sync WID key ctrl+q");
    const Picture asked = capture("asked.png");
    EXPECT_GT(asked.differing(deleted, 40, kMidX, kMidY, kMidW, kMidH), 1000u)
        << "no question shown";
    xdo("windowfocus --sync WID key Escape");
    const Picture stayed = capture("stayed.png");
    EXPECT_TRUE(alive());
    EXPECT_LT(stayed.differing(deleted, 40, kMidX, kMidY, kMidW, kMidH), 200u);

    // Quit again, Q: then the layer asks its own question; N keeps the file.
    xdo("windowfocus --sync WID key ctrl+q");
    capture("asked_again.png");
    xdo("windowfocus --sync WID key q");
    const Picture layerAsks = capture("layer_asks.png");
    EXPECT_GT(layerAsks.differing(deleted, 40, kMidX, kMidY, kMidW, kMidH), 1000u);
    xdo("windowfocus --sync WID key n");
    EXPECT_EQ(waitLive(30), 0) << readFile(file(".live_err"));
    EXPECT_EQ(readFile(file("sky.cloud")), original);
}

TEST_F(SavingWindowTest, TheToolSaysWhenItsFieldsAreNotTheNamedCloudsAndLoadsThem)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    const Ran r = runScript("sky.scene --size 1280x800",
                            "RUN SCENE \"cloudupdate\" \"showproperties\";\n"
                            "PRINT LAYER 1 \"workingstate\";\n"
                            "PRINT LAYER 1 \"loadcurrent\";\n"
                            "SET LAYER 1 \"loadcurrent\";\n"
                            "PRINT LAYER 1 \"workingstate\";\n"
                            "PRINT LAYER 1 \"density\";\n"
                            "SET LAYER 1 \"currentcloud\" \"Cloud 2\";\n"
                            "SET LAYER 1 \"density\" 0.9;\n"
                            "PRINT LAYER 1 \"workingstate\";\n"
                            "SCREENSHOT \"tool.png\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    // The tool opens on the working copy, a new cloud's values, under
    // Cloud 1's name: Apply would make the white cloud a grey default one.
    EXPECT_NE(r.out.find("Fields: working copy, not Cloud 1's values\n"
                         "Load Cloud 1\n"
                         "Fields: Cloud 1's values\n"
                         "0.550000011920929\n"
                         "Fields: working copy, not Cloud 2's values\n"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(readPicture(file("tool.png")).empty());
}
