// The window driven by real X input (xdotool) as a person would drive it.
#include "window_fixture.h"

#include "support/test_util.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

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

// Another program whose windows come and go without pause, as a program
// being torn down takes its windows away: a child process until killed.
pid_t churnWindows()
{
    const pid_t child = fork();
    if (child != 0)
        return child;
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        _exit(1);
    for (;;) {
        Window w[256];
        for (Window &one : w) {
            one = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 8, 8, 0, 0, 0);
            XMapWindow(d, one);
        }
        XFlush(d);
        for (Window one : w)
            XDestroyWindow(d, one);
        XSync(d, False);
        usleep(500); // room for the other clients
    }
}

} // namespace

TEST_F(WindowTest, ItsWindowIsFoundAndDrivenWhileOtherWindowsComeAndGo)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    const pid_t churn = churnWindows();
    ASSERT_GT(churn, 0);
    startLive("sky.scene --size 800x600");
    // Driven while they still come and go: the File menu opens.
    if (!liveWindow.empty())
        EXPECT_TRUE(xdoOpening("mousemove --window WID 25 10 click 1", 10, 22, 200, 120))
            << "no File menu";
    kill(churn, SIGKILL);
    waitpid(churn, nullptr, 0);
    ASSERT_FALSE(liveWindow.empty());
    EXPECT_EQ(capture("opened.png").width, 800);
}

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

// Two cloud layers: the second layer's own tool, opened from its stacker
// popup, and the layer menu with the second layer selected, act on the
// second layer only.
TEST_F(WindowTest, WithTwoLayersTheSecondLayersToolAndMenuAddToTheSecondLayer)
{
    copyExample("sky.cloud");
    const std::vector<std::string> sky = splitLines(readFile(file("sky.cloud")));
    // The second layer: the first cloud of the example alone.
    std::string second = sky[0] + "\n1 clouds_in_file\n";
    for (size_t i = 2; i < 8; ++i)
        second += sky[i] + "\n";
    write("second.cloud", second);
    write("two.scene", "EXTENT 0 100000 0 100000 0 1500;\nVIEW 200 12;\n"
                       "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                       "ADDFEATURELAYER \"Clouds\" \"second.cloud\";\n");
    const std::string first = readFile(file("sky.cloud"));
    const auto waitForClouds = [&](size_t n) {
        for (int tries = 0; tries < 40 && cloudsIn(file("second.cloud")) != n; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        return cloudsIn(file("second.cloud"));
    };
    startLive("two.scene --size 1280x800");
    // The stacker lists the topmost layer first: the second layer's entry,
    // its popup's last item opens its tool.
    ASSERT_TRUE(xdoOpening("mousemove --window WID 140 70 click 3", 140, 75, 200, 120))
        << "no popup";
    xdo("mousemove --window WID 190 178 click 1");
    capture("tool.png");
    // The tool's buttons stay at its foot, below the fields that scroll:
    // scrolling the fields to their end leaves them where they were.
    xdo("mousemove --window WID 470 500 click --repeat 40 --delay 20 5");
    capture("scrolled.png");
    xdo("mousemove --window WID 465 729 click 1");  // "Add cloud"
    capture("added.png");
    xdo("key --window WID ctrl+s");
    EXPECT_EQ(waitForClouds(2), 2u) << "the tool's Add cloud did not reach the second layer";
    EXPECT_EQ(readFile(file("sky.cloud")), first);

    // Clouds ▸ Place clouds with the second layer selected, and a click on
    // the ground.
    ASSERT_TRUE(xdoOpening("mousemove --window WID 165 10 click 1", 150, 22, 200, 40))
        << "no Clouds menu";
    xdo("mousemove --window WID 185 50 click 1");
    capture("placing.png");
    xdo("mousemove --window WID 1000 650 click 1");
    capture("placed.png");
    xdo("key --window WID ctrl+s");
    EXPECT_EQ(waitForClouds(3), 3u) << "the placement did not reach the second layer";
    EXPECT_EQ(readFile(file("sky.cloud")), first);

    // Through the focused window, not sent to it: a key sent to a window
    // that closes on its press is never released, and repeats into the
    // next test's window.
    xdo("windowfocus --sync WID key ctrl+q");
    EXPECT_EQ(waitLive(30), 0) << readFile(file(".live_err"));
    EXPECT_EQ(readFile(file("sky.cloud")), first);
}
