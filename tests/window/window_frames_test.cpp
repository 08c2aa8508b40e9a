// A layer type's frames in the window: shown with their canvases, kept up
// with the layer, changed by their widgets, closed by their close box; and
// the file browser handing a chosen name on.
#include <cstdlib>
#include <filesystem>

#include "window_fixture.h"

#include "support/test_util.h"

namespace {

struct Spot {
    int x = -1, y = -1;
    bool found() const { return x >= 0; }
};

bool sameAt(const Picture &big, const Picture &small, int x, int y, int tolerance)
{
    for (int j = 0; j < small.height; ++j)
        for (int i = 0; i < small.width; ++i) {
            const auto a = big.at(x + i, y + j), b = small.at(i, j);
            for (int c = 0; c < 3; ++c)
                if (std::abs(a[c] - b[c]) > tolerance)
                    return false;
        }
    return true;
}

// Where the small picture is shown whole and one to one in the big one.
Spot findInside(const Picture &big, const Picture &small)
{
    if (small.empty() || big.width < small.width || big.height < small.height)
        return {};
    const int cx = small.width / 2, cy = small.height / 2;
    for (int y = 0; y + small.height <= big.height; ++y)
        for (int x = 0; x + small.width <= big.width; ++x) {
            // Two pixels first, then the whole picture.
            const auto a = big.at(x, y), b = small.at(0, 0);
            const auto c = big.at(x + cx, y + cy), d = small.at(cx, cy);
            if (a == b && c == d && sameAt(big, small, x, y, 1))
                return {x, y};
        }
    return {};
}

double share(size_t pixels, int w, int h) { return double(pixels) / (double(w) * h); }

// An environment variable set for the windows a test starts, and only them.
struct ScopedEnv {
    ScopedEnv(const char *name, const std::string &value) : name(name)
    {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { unsetenv(name); }
    const char *name;
};

} // namespace

TEST_F(WindowTest, TheCloudToolShowsItsPreviewWhichFollowsTheLayerUntilClosed)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    const Ran r = runScript("sky.scene --size 1280x800",
                            "RUN LAYER 1 \"cloudupdate\" \"showproperties\";\n"
                            "SCREENSHOT \"open.png\";\n"
                            "PREVIEW LAYER 1 \"before.png\";\n"
                            "SET LAYER 1 \"zoom\" 8;\n"
                            "SCREENSHOT \"zoomed.png\";\n"
                            "PREVIEW LAYER 1 \"after.png\";\n"
                            "RUN LAYER 1 \"cloudupdate\" \"remove\";\n"
                            "SCREENSHOT \"closed.png\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Picture open = readPicture(file("open.png")), zoomed = readPicture(file("zoomed.png")),
                  closed = readPicture(file("closed.png"));
    const Picture before = readPicture(file("before.png")), after = readPicture(file("after.png"));
    ASSERT_EQ(before.width, 256);
    ASSERT_EQ(after.width, 256);
    // The zoom changed the preview...
    EXPECT_GT(share(before.differing(after, 8), 256, 256), 0.3);

    // ...the window shows it whole, right of the stacker and below the menu
    // bar, and shows its new picture in the same place.
    const Spot shown = findInside(open, before);
    ASSERT_TRUE(shown.found()) << "the preview is not in open.png";
    EXPECT_GE(shown.x, 260);
    EXPECT_GE(shown.y, 20);
    const Spot followed = findInside(zoomed, after);
    EXPECT_EQ(followed.x, shown.x);
    EXPECT_EQ(followed.y, shown.y);

    // Closed, the scene is seen where the preview was.
    EXPECT_FALSE(findInside(closed, after).found());
    EXPECT_GT(share(closed.differing(zoomed, 8, shown.x, shown.y, 256, 256), 256, 256), 0.5);
}

TEST_F(WindowTest, FramesWithUnruledPartsAndValuesAreDrawnWithoutFault)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    // The layer type's script with parts whose values a slider or a field
    // cannot hold as they are, and texts that ImGui would read as IDs.
    const std::string resources = file("resources");
    std::filesystem::copy(std::string(EXAMPLES) + "/../resources", resources);
    std::string hml = readFile(resources + "/tlcloud.hml");
    const std::string anchor = "<canvas name=\"canvas\" width=\"256\" height=\"256\"/>";
    const size_t at = hml.find(anchor);
    ASSERT_NE(at, std::string::npos);
    hml.insert(at + anchor.size(),
               "<number name=\"wide\" label=\"Wide ##range %s%n\" min=\"-1e308\" max=\"1e308\" "
               "step=\"1e-300\" value=\"1e308\"/>"
               "<number name=\"free\" label=\"Free\" value=\"-1e308\" step=\"0.5\"/>"
               "<number name=\"flat\" label=\"Flat\" min=\"3\" max=\"3\" step=\"1\"/>"
               "<popup name=\"nothing\" label=\"Nothing\"/>"
               "<color name=\"tint\" label=\"Tint\" value=\"2 -1 0.5\"/>"
               "<button label=\"%s%n ###\"/>"
               "<canvas name=\"unmade\" width=\"8192\" height=\"1\"/>");
    write("resources/tlcloud.hml", hml);
    const ScopedEnv searched("CLOUDVIEW_RESOURCES", resources);
    const Ran r = runScript("sky.scene --size 1024x700",
                            "RUN LAYER 1 \"cloudupdate\" \"showproperties\";\n"
                            "SET LAYER 1 \"wide\" \"nan\";\n"
                            "SET LAYER 1 \"free\" \"-inf\";\n"
                            "SET LAYER 1 \"flat\" 1e300;\n"
                            "SCREENSHOT \"odd.png\";\n"
                            "RUN LAYER 1 \"cloudupdate\" \"remove\";\n"
                            "SCREENSHOT \"gone.png\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readPicture(file("odd.png")).width, 1024);
    EXPECT_EQ(readPicture(file("gone.png")).width, 1024);
}

// Positions below are those of the Cloud Tool as it first opens in a
// 1280 x 900 window: right of the stacker, below the menu bar.
TEST_F(WindowTest, TheToolsSliderDrivesThePreviewLiveAndItsCloseBoxClosesIt)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    startLive("sky.scene --size 1280x900");
    const int cx = 336, cy = 79, size = 256; // the preview canvas
    auto changed = [&](const Picture &a, const Picture &b) {
        return share(a.differing(b, 8, cx, cy, size, size), size, size);
    };
    // A busy machine draws later: a few captures before giving up.
    auto captureWhen = [&](const std::string &name, auto ready) {
        Picture p = capture(name);
        for (int i = 0; i < 4 && !ready(p); ++i)
            p = capture(name);
        return p;
    };
    const Picture plain = capture("plain.png");
    // Clouds > Cloud Tool...
    ASSERT_TRUE(xdoOpening("mousemove --window WID 165 10 click 1", 150, 22, 200, 40))
        << "no Clouds menu";
    xdo("mousemove --window WID 185 33 click 1");
    const Picture open =
        captureWhen("open.png", [&](const Picture &p) { return changed(p, plain) > 0.5; });
    ASSERT_GT(changed(open, plain), 0.5) << "the Cloud Tool did not open where expected";

    // Dragging the Zoom slider: the preview changes while the button is held.
    xdo("mousemove --window WID 460 768 mousedown 1 sleep 0.3 mousemove --window WID 480 768 "
        "sleep 0.3 mousemove --window WID 520 768");
    const Picture dragging =
        captureWhen("dragging.png", [&](const Picture &p) { return changed(p, open) > 0.3; });
    xdo("mouseup 1");
    EXPECT_GT(changed(dragging, open), 0.3);

    // The close box runs the frame's close command, which removes it.
    // (A press and release that a loaded machine delivers within one
    // frame can miss the button: click again while the tool is still up.)
    Picture closed;
    for (int attempt = 0; attempt < 3; ++attempt) {
        xdo("mousemove --window WID 660 38 sleep 0.3 mousedown 1 sleep 0.15 mouseup 1");
        closed = captureWhen("closed.png",
                             [&](const Picture &p) { return changed(p, plain) < 0.05; });
        if (changed(closed, plain) < 0.05)
            break;
    }
    EXPECT_LT(changed(closed, plain), 0.05);
    EXPECT_EQ(readFile(file(".live_err")), "");
}

// The browser as it opens in a 1280 x 800 window, centred.
TEST_F(WindowTest, SaveSceneAsWritesTheNameTypedInTheFolderEnteredInTheFileBrowser)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    std::filesystem::create_directory(file("shots"));
    startLive("sky.scene --size 1280x800");
    // File > Save scene as... (after Save layer and Save layer as...): the
    // name field has the keys.
    ASSERT_TRUE(xdoOpening("mousemove --window WID 25 10 click 1", 10, 22, 200, 120))
        << "no File menu";
    ASSERT_TRUE(xdoOpening("mousemove --window WID 60 124 click 1", 340, 200, 600, 400))
        << "no file browser";
    xdo("type --delay 40 kept");
    // A double click on the list's first entry, the only folder, enters it
    // and keeps the name typed. (Presses held a moment, as a hand does: the
    // window sees each press and release on its own frame.)
    ASSERT_TRUE(xdoOpening("mousemove --window WID 350 245 mousedown 1 sleep 0.1 mouseup 1 "
                           "sleep 0.08 mousedown 1 sleep 0.1 mouseup 1",
                           330, 220, 620, 300))
        << "the folder was not entered";
    xdo("mousemove --window WID 630 563 click 1");
    capture("field.png");
    xdo("key Return");
    for (int i = 0; i < 5 && !std::filesystem::exists(file("shots/kept.scene")); ++i)
        capture("saved.png");
    const std::string saved = readFile(file("shots/kept.scene"));
    EXPECT_NE(saved.find("ADDFEATURELAYER \"Clouds\""), std::string::npos) << saved;
    EXPECT_FALSE(std::filesystem::exists(file("kept.scene")));
    EXPECT_EQ(readFile(file(".live_err")), "");
}
