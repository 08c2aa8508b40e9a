// Long orbit drags with real X input over an elevation model at UTM
// coordinates and over the flat grid: the camera stops above the
// horizon and over the ground, so the sky stays on top.
#include <filesystem>
#include <string>

#include "window_fixture.h"

namespace {

bool sky(const std::array<int, 3> &p) { return p[2] > p[0] + 40 && p[2] > p[1]; }

// The share of sky pixels along a row of the view, right of the stacker.
double skyAlong(const Picture &p, int y)
{
    int n = 0, skies = 0;
    for (int x = 400; x < p.width - 40; x += 4, ++n)
        skies += sky(p.at(x, y));
    return n ? double(skies) / n : 0.0;
}

class CameraWindowTest : public WindowTest {
protected:
    // Drags the pointer from the middle of the view by dy pixels, in steps
    // a hand would make.
    void dragUpDown(int dy)
    {
        std::string steps;
        const int step = dy / 6;
        for (int i = 0; i < 6; ++i)
            steps += "mousemove_relative --sync -- 0 " + std::to_string(step) + " sleep 0.15 ";
        xdo("mousemove --window WID 900 " + std::to_string(dy < 0 ? 740 : 80) +
            " mousedown 1 sleep 0.2 " + steps + "sleep 0.2 mouseup 1");
    }
    // Drags far upward (toward the horizon and below), then far downward
    // (past straight down), checking the picture after each.
    void orbitFarBothWays(const std::string &name)
    {
        const int viewTop = 40, viewBottom = 760;
        dragUpDown(-660);
        Picture low = capture(name + "_low.png");
        ASSERT_EQ(low.width, 1280);
        EXPECT_GT(skyAlong(low, viewTop + 4), 0.8) << name << ": sky at the top";
        EXPECT_LT(skyAlong(low, viewBottom - 4), 0.2) << name << ": ground at the bottom";
        dragUpDown(-660); // further down is still no further
        Picture lower = capture(name + "_lower.png");
        EXPECT_GT(skyAlong(lower, viewTop + 4), 0.8) << name;
        EXPECT_LT(skyAlong(lower, viewBottom - 4), 0.2) << name;
        dragUpDown(660);
        dragUpDown(660);
        Picture high = capture(name + "_high.png");
        EXPECT_LT(skyAlong(high, viewBottom - 4), 0.2) << name << ": looking down on the ground";
    }
};

TEST_F(CameraWindowTest, LongDragsOverTerrainKeepTheSkyOnTop)
{
    for (const char *f : {"valley.scene", "valley.cloud", "olinda_dem_utm25s.tif", "olinda_l7_rgb.tif"})
        std::filesystem::copy_file(std::string(EXAMPLES) + "/" + f, file(f));
    startLive("valley.scene --size 1280x800");
    orbitFarBothWays("valley");
}

TEST_F(CameraWindowTest, LongDragsOverTheGridKeepTheSkyOnTop)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    startLive("sky.scene --size 1280x800");
    orbitFarBothWays("sky");
}

} // namespace
