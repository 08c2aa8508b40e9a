// The window driven by real X input (xdotool) as a person would drive it.
#include "window_fixture.h"

#include "support/test_util.h"

namespace {

// The centre of the pixels near a colour inside a rectangle; false when
// fewer than min lie there.
bool centreOf(const Picture &p, std::array<int, 3> colour, int tolerance, int x, int y, int w,
              int h, size_t min, int *cx, int *cy)
{
    size_t n = 0;
    double sx = 0, sy = 0;
    for (int j = y; j < y + h && j < p.height; ++j)
        for (int i = x; i < x + w && i < p.width; ++i) {
            const auto a = p.at(i, j);
            if (std::abs(a[0] - colour[0]) <= tolerance && std::abs(a[1] - colour[1]) <= tolerance &&
                std::abs(a[2] - colour[2]) <= tolerance) {
                ++n;
                sx += i;
                sy += j;
            }
        }
    if (n < min)
        return false;
    *cx = static_cast<int>(sx / n);
    *cy = static_cast<int>(sy / n);
    return true;
}

size_t cloudsIn(const std::string &layerFile)
{
    size_t n = 0;
    for (const std::string &line : splitLines(readFile(layerFile)))
        n += line.rfind("Cloud_", 0) == 0;
    return n;
}

} // namespace

TEST_F(WindowTest, AClickPicksACloudDeleteDeletesItADragTurnsTheViewAndQuittingAsksToSave)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    const size_t before = cloudsIn(file("sky.cloud"));
    ASSERT_EQ(before, 5u);
    startLive("sky.scene --size 1280x800");
    // The view lies between the menu bar and the status bar; the stacker
    // panel covers its left side.
    const int viewTop = 40, viewBottom = 760, viewLeft = 300;
    const Picture opened = capture("opened.png");
    ASSERT_EQ(opened.width, 1280);
    int x = 0, y = 0;
    ASSERT_TRUE(centreOf(opened, {255, 255, 255}, 16, viewLeft, viewTop, 1280 - viewLeft,
                         viewBottom - viewTop, 200, &x, &y))
        << "no white cloud in opened.png";

    // A click on the white cloud picks it: the selection box appears
    // around it.
    xdo("mousemove --window WID " + std::to_string(x) + " " + std::to_string(y) +
        " click 1");
    const Picture picked = capture("picked.png");
    EXPECT_GT(picked.differing(opened, 40, x - 200, y - 150, 400, 300), 200u)
        << "no selection box around the picked cloud";

    // Delete deletes the picked cloud: no white cloud any more.
    xdo("windowfocus --sync WID key Delete");
    const Picture deleted = capture("deleted.png");
    auto white = [&](const Picture &p) {
        return p.near({255, 255, 255}, 16, viewLeft, viewTop, 1280 - viewLeft,
                      viewBottom - viewTop);
    };
    EXPECT_LT(white(deleted), white(opened) / 3);

    // A drag in an empty part of the view turns the camera.
    // (Pauses between the steps, as a hand makes them: a press, moves and
    // a release all within one frame would read as a click.)
    xdo("mousemove --window WID 900 700 mousedown 1 sleep 0.2 mousemove_relative --sync 60 0 "
        "sleep 0.2 mousemove_relative --sync 60 0 sleep 0.2 mousemove_relative --sync 60 0 "
        "sleep 0.2 mouseup 1");
    const Picture turned = capture("turned.png");
    EXPECT_GT(turned.differing(deleted, 40, viewLeft, viewTop, 1280 - viewLeft,
                               viewBottom - viewTop),
              5000u);

    // Quitting asks once whether to quit with the change unsaved (Y:
    // Quit); then the layer closes, asking whether to save its change.
    xdo("windowfocus --sync WID key ctrl+q");
    const Picture asked = capture("asked.png");
    EXPECT_GT(asked.differing(turned, 40, 400, 300, 480, 200), 1000u) << "no question shown";
    xdo("windowfocus --sync WID key y");
    const Picture save = capture("save.png");
    EXPECT_GT(save.differing(turned, 40, 400, 300, 480, 200), 1000u) << "no second question";
    xdo("windowfocus --sync WID key y");
    EXPECT_EQ(waitLive(30), 0) << readFile(file(".live_err"));
    EXPECT_EQ(cloudsIn(file("sky.cloud")), before - 1);
}
