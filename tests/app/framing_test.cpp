// Framing drawings of a weather layer's size: more than the first feedback
// buffer holds, one after another of other sizes, with pieces joined
// through many primitives.
#include <gtest/gtest.h>

#include "support/gl_box.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "framing.h"
#include "viewer.h"

namespace {

using cloudview::Bounds;
using cloudview::Framing;
using cloudview::frameDrawing;

// side × side boxes of 800 m on a 1 km grid from (x0, y0), 2 to 4 km high.
void grid(int side, double x0, double y0)
{
    for (int i = 0; i < side * side; ++i) {
        const double a[3] = {x0 + 1000.0 * (i % side), y0 + 1000.0 * (i / side), 2000};
        const double b[3] = {a[0] + 800.0, a[1] + 800.0, 4000};
        drawBoxEdges(a, b);
    }
}

Bounds utmScene()
{
    Bounds scene;
    const double lo[3] = {500000, 8900000, 0}, hi[3] = {650000, 9050000, 5000};
    scene.add(lo);
    scene.add(hi);
    return scene;
}

bool sameBits(const Framing &a, const Framing &b)
{
    return a.bounds.empty == b.bounds.empty &&
           std::memcmp(a.bounds.lo, b.bounds.lo, sizeof a.bounds.lo) == 0 &&
           std::memcmp(a.bounds.hi, b.bounds.hi, sizeof a.bounds.hi) == 0 && a.leftOut == b.leftOut;
}

struct FramingTest : ::testing::Test {
    cloudview::Viewer viewer{PLUGIN};  // for its GL context
    void SetUp() override { viewer.gl().makeCurrent(); }
};

TEST_F(FramingTest, DrawingsLargerAndSmallerThanTheLastAreFramedWhole)
{
    const Bounds scene = utmScene();
    auto one = [] {
        glPassThrough(1.0f);
        const double a[3] = {560000, 8960000, 1000}, b[3] = {561000, 8961000, 1500};
        drawBoxEdges(a, b);
    };
    // 22,500 boxes (almost two million floats of feedback), a wild one
    // under a mark of its own, and one partly not a number (GL drops the
    // edges that are).
    auto many = [] {
        glPassThrough(1.0f);
        grid(150, 510000, 8910000);
        glPassThrough(2.0f);
        const double fa[3] = {560000, 8960000, 0}, fb[3] = {561000, 8e7, 10};
        drawBoxEdges(fa, fb);
        glPassThrough(3.0f);
        const double na[3] = {NAN, 8960000, 3000}, nb[3] = {561000, 8961000, 3500};
        drawBoxEdges(na, nb);
    };
    for (bool follow : {false, true}) {
        SCOPED_TRACE(follow ? "the box follows the drawing" : "the box as given");
        const Framing small = frameDrawing(one, scene, follow);
        ASSERT_FALSE(small.bounds.empty);
        EXPECT_NEAR(small.bounds.lo[0], 560000, 1.0);
        EXPECT_NEAR(small.bounds.hi[2], 1500, 1.0);
        EXPECT_TRUE(small.leftOut.empty());

        const Framing large = frameDrawing(many, scene, follow);
        ASSERT_FALSE(large.bounds.empty);
        EXPECT_NEAR(large.bounds.lo[0], 510000, 1.0);
        EXPECT_NEAR(large.bounds.lo[1], 8910000, 1.0);
        EXPECT_NEAR(large.bounds.lo[2], 2000, 1.0);
        EXPECT_NEAR(large.bounds.hi[0], 659800, 1.0);
        EXPECT_NEAR(large.bounds.hi[1], 9059800, 1.0);
        EXPECT_NEAR(large.bounds.hi[2], 4000, 1.0);
        EXPECT_EQ(large.leftOut, (std::vector<int>{2}));
        // Framed again, with the room the first framing left, to the bit.
        EXPECT_TRUE(sameBits(large, frameDrawing(many, scene, follow)));

        const Framing smallAgain = frameDrawing(one, scene, follow);
        EXPECT_TRUE(sameBits(small, smallAgain));
    }
}

TEST_F(FramingTest, APieceJoinedThroughThousandsOfBoxesIsLeftOutWhole)
{
    const Bounds scene = utmScene();
    const Framing f = frameDrawing([] {
        glPassThrough(1.0f);
        grid(40, 520000, 8920000);  // apart: pieces of their own, all kept
        // A chain of boxes, each sharing a corner with the next, the last
        // far beyond reach: one piece, left out with all its boxes.
        glPassThrough(4.0f);
        for (int i = 0; i < 3000; ++i) {
            const double a[3] = {600000.0 + 100.0 * i, 9000000, 0};
            const double b[3] = {a[0] + 100.0, 9000100, 50};
            drawBoxEdges(a, b);
        }
        const double fa[3] = {900000, 9000000, 0}, fb[3] = {9e7, 9000100, 50};
        drawBoxEdges(fa, fb);
        // Touching the chain's first corner, but under another mark: a
        // piece of its own, kept.
        glPassThrough(5.0f);
        const double ka[3] = {599000, 8999000, -100}, kb[3] = {600000, 9000000, 0};
        drawBoxEdges(ka, kb);
    }, scene, false);
    ASSERT_FALSE(f.bounds.empty);
    EXPECT_NEAR(f.bounds.lo[0], 520000, 1.0);
    EXPECT_NEAR(f.bounds.lo[1], 8920000, 1.0);
    EXPECT_NEAR(f.bounds.lo[2], -100, 1.0);
    EXPECT_NEAR(f.bounds.hi[0], 600000, 1.0) << "nothing of the chain is framed";
    EXPECT_NEAR(f.bounds.hi[1], 9000000, 1.0);
    EXPECT_NEAR(f.bounds.hi[2], 4000, 1.0);
    EXPECT_EQ(f.leftOut, (std::vector<int>{4}));
}

}  // namespace
