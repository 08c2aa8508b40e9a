// The layer stacker and the selection box's handles in a real window: what
// they show, and what clicking and dragging them does to the layer.
#include "window_fixture.h"

#include <chrono>
#include <cmath>
#include <sstream>
#include <thread>

#include "support/test_util.h"

namespace {

// The stacker sits at the left under the menu bar: the middle of its
// first entry and of that entry's visibility box, in a 1280 x 800 window.
const std::string kEntry = "140 70", kCheckbox = "17 70";
// The scene view's part of the window that the stacker does not cover.
constexpr int kViewX = 300, kViewY = 120, kViewW = 980, kViewH = 640;
const std::array<int, 3> kWhite{255, 255, 255}, kFaceHandle{255, 110, 20};

size_t inView(const Picture &p, std::array<int, 3> colour, int tolerance)
{
    return p.near(colour, tolerance, kViewX, kViewY, kViewW, kViewH);
}

// The middle of the view's pixels near a colour, and the rightmost one.
struct Spread {
    int midX = 0, midY = 0, rightX = -1, rightY = 0;
};
Spread spreadOf(const Picture &p, std::array<int, 3> colour, int tolerance)
{
    long sx = 0, sy = 0, n = 0;
    Spread s;
    for (int y = kViewY; y < kViewY + kViewH; ++y)
        for (int x = kViewX; x < kViewX + kViewW; ++x)
            if (p.near(colour, tolerance, x, y, 1, 1)) {
                sx += x;
                sy += y;
                ++n;
                if (x > s.rightX)
                    s.rightX = x, s.rightY = y;
            }
    if (n > 0)
        s.midX = int(sx / n), s.midY = int(sy / n);
    return s;
}

bool iconAt(const Picture &shot, const Picture &icon, int x, int y)
{
    if (x + icon.width > shot.width || y + icon.height > shot.height)
        return false;
    for (int j = 0; j < icon.height; ++j)
        for (int i = 0; i < icon.width; ++i) {
            const auto a = shot.at(x + i, y + j), b = icon.at(i, j);
            for (int c = 0; c < 3; ++c)
                if (std::abs(a[c] - b[c]) > 2)
                    return false;
        }
    return true;
}

// Whether the icon's picture appears in the shot's top-left corner.
bool findIcon(const Picture &shot, const Picture &icon)
{
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 60; ++x)
            if (iconAt(shot, icon, x, y))
                return true;
    return false;
}

std::vector<double> numbers(const std::string &line)
{
    std::istringstream in(line);
    std::vector<double> out;
    for (double v; in >> v;)
        out.push_back(v);
    return out;
}

class StackerWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        copyExample("sky.scene");
        copyExample("sky.cloud");
    }
    void click(const std::string &at, int button = 1)
    {
        xdo("mousemove --window WID " + at + " click " + std::to_string(button));
    }
};

} // namespace

TEST_F(StackerWindowTest, ShowsTheLayersIconPixelForPixel)
{
    const Ran r = runScript("sky.scene --size 1280x800",
                            "ICON LAYER 1 \"icon.png\" 216;\nSCREENSHOT \"shot.png\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const Picture icon = readPicture(file("icon.png"));
    ASSERT_EQ(icon.width, 216);
    EXPECT_TRUE(findIcon(readPicture(file("shot.png")), icon));
}

TEST_F(StackerWindowTest, ItsVisibilityBoxHidesAndShowsTheLayer)
{
    startLive("sky.scene --size 1280x800");
    const auto cloudsShown = [](const Picture &p) { return inView(p, kWhite, 8) > 500; };
    const Picture shown = captureWhen("shown.png", cloudsShown);
    ASSERT_TRUE(cloudsShown(shown)) << "the white cloud is not drawn";

    click(kCheckbox);
    const Picture hidden =
        captureWhen("hidden.png", [](const Picture &p) { return inView(p, kWhite, 8) < 20; });
    EXPECT_LT(inView(hidden, kWhite, 8), 20u) << "the clouds are still drawn";
    // The ground is still there.
    EXPECT_GT(inView(hidden, shown.at(kViewX + 10, kViewY + kViewH - 10), 4), 10000u);

    click(kCheckbox);
    EXPECT_TRUE(cloudsShown(captureWhen("again.png", cloudsShown))) << "they did not come back";
}

TEST_F(StackerWindowTest, APickedCloudGetsHandlesAndDraggingAFaceMovesIt)
{
    const std::string original = readFile(file("sky.cloud"));
    startLive("sky.scene --size 1280x800");
    const Picture before =
        captureWhen("before.png", [](const Picture &p) { return inView(p, kWhite, 8) > 500; });
    EXPECT_EQ(inView(before, kFaceHandle, 30), 0u);

    // A click on the white cloud picks it: the layer frames it with the
    // selection box, whose handles the window draws.
    const Spread white = spreadOf(before, kWhite, 8);
    click(std::to_string(white.midX) + " " + std::to_string(white.midY));
    const auto handlesShown = [](const Picture &p) { return inView(p, kFaceHandle, 30) > 100; };
    const Picture picked = captureWhen("picked.png", handlesShown);
    ASSERT_TRUE(handlesShown(picked)) << "no handles after a click at " << white.midX << " "
                                      << white.midY;

    // The rightmost face handle is a side's: a drag moves the cloud along
    // the ground. Its middle is a handle's radius left of its edge.
    const Spread handles = spreadOf(picked, kFaceHandle, 30);
    xdo("mousemove --window WID " + std::to_string(handles.rightX - 4) + " " +
        std::to_string(handles.rightY) + " mousedown 1 mousemove_relative --sync 60 30 mouseup 1");
    const Picture moved = captureWhen("moved.png", [&](const Picture &p) {
        return p.differing(picked, 30, kViewX, kViewY, kViewW, kViewH) > 1000;
    });
    EXPECT_GT(moved.differing(picked, 30, kViewX, kViewY, kViewW, kViewH), 1000u);

    // Selected in the stacker, the layer saves with its one cloud moved.
    click(kEntry);
    xdo("key --window WID ctrl+s");
    std::string saved = original;
    for (int tries = 0; tries < 40 && saved == original; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        saved = readFile(file("sky.cloud"));
    }
    const std::vector<std::string> was = splitLines(original), now = splitLines(saved);
    ASSERT_EQ(was.size(), now.size());
    int changed = 0;
    for (size_t i = 0; i < was.size(); ++i) {
        if (was[i] == now[i])
            continue;
        ++changed;
        // The cloud's position and half-extents: moved, not resized.
        const std::vector<double> a = numbers(was[i]), b = numbers(now[i]);
        ASSERT_EQ(a.size(), 6u) << was[i];
        ASSERT_EQ(b.size(), 6u) << now[i];
        EXPECT_GT(std::hypot(b[0] - a[0], b[1] - a[1]), 100.0) << now[i];
        for (size_t k = 2; k < 6; ++k)
            EXPECT_NEAR(b[k], a[k], 1e-3) << was[i] << " / " << now[i];
    }
    EXPECT_EQ(changed, 1);
}

TEST_F(StackerWindowTest, CtrlZUndoesABoxDragAndGivesTheCloudItsSixNumbersBack)
{
    const std::string original = readFile(file("sky.cloud"));
    startLive("sky.scene --size 1280x800");
    const Picture before =
        captureWhen("before.png", [](const Picture &p) { return inView(p, kWhite, 8) > 500; });
    const Spread white = spreadOf(before, kWhite, 8);
    click(std::to_string(white.midX) + " " + std::to_string(white.midY));
    const auto handlesShown = [](const Picture &p) { return inView(p, kFaceHandle, 30) > 100; };
    const Picture picked = captureWhen("picked.png", handlesShown);
    ASSERT_TRUE(handlesShown(picked));
    const Spread handles = spreadOf(picked, kFaceHandle, 30);
    xdo("mousemove --window WID " + std::to_string(handles.rightX - 4) + " " +
        std::to_string(handles.rightY) + " mousedown 1 mousemove_relative --sync 60 30 mouseup 1");
    const Picture moved = captureWhen("moved.png", [&](const Picture &p) {
        return p.differing(picked, 30, kViewX, kViewY, kViewW, kViewH) > 1000;
    });
    // The stacker's entry carries the changed mark after its name.
    EXPECT_GT(moved.near({255, 200, 60}, 40, 260, 50, 14, 40), 5u) << "no changed mark";

    // Saved moved, then Ctrl+Z and saved again: the file is the original,
    // byte for byte, its cloud's centre and half-extents as they were.
    xdo("key --window WID ctrl+s");
    std::string saved = original;
    for (int tries = 0; tries < 40 && saved == original; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        saved = readFile(file("sky.cloud"));
    }
    ASSERT_NE(saved, original) << "the drag moved no cloud";
    xdo("key --window WID ctrl+z");
    const Picture undone = capture("undone.png");
    EXPECT_LT(undone.differing(before, 30, kViewX + 200, kViewY, kViewW - 200, kViewH), 3000u)
        << "the clouds stand where they stood";
    EXPECT_GT(undone.near({255, 200, 60}, 40, 260, 50, 14, 40), 5u) << "unsaved after the undo";
    xdo("key --window WID ctrl+s");
    std::string back = saved;
    for (int tries = 0; tries < 40 && back == saved; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        back = readFile(file("sky.cloud"));
    }
    EXPECT_EQ(back, original);
    const Picture clean = capture("clean.png");
    EXPECT_LT(clean.near({255, 200, 60}, 40, 260, 50, 14, 40), 5u) << "the mark stays";
}
