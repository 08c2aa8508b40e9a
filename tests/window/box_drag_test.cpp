// The selection box's handles and their drags, as geometry over a camera:
// which handle a press takes, and the move or scale a drag makes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "box_drag.h"

using namespace cloudview::window;

namespace {

// The default camera, looking north-east at the middle of the default
// extent, on an 800 x 600 view.
host::Camera viewCamera(double elevation = 30.0)
{
    host::Camera c;
    c.elevation = elevation;
    c.width = 800;
    c.height = 600;
    c.fitClipPlanes(host::Extent{});
    return c;
}

const Box kBox{{40000.0, 42000.0, 1000.0}, {60000.0, 55000.0, 3000.0}};

// A drag of handle i (corners 0..7, faces 8..13) from its own position.
BoxDrag dragOf(const host::Camera &c, int i)
{
    BoxDrag drag{c, kBox, handlesOf(kBox)[size_t(i)], 0.0, 0.0};
    EXPECT_TRUE(c.worldToWindow(drag.handle.at.data(), &drag.pressX, &drag.pressY));
    return drag;
}

// The window position of a scene point.
std::array<double, 2> at(const host::Camera &c, const host::Vec3 &p)
{
    std::array<double, 2> w{};
    EXPECT_TRUE(c.worldToWindow(p.data(), &w[0], &w[1]));
    return w;
}

} // namespace

TEST(BoxHandles, APressTakesTheNearestHandleWithinReach)
{
    const host::Camera c = viewCamera();
    const Handles h = handlesOf(kBox);
    EXPECT_EQ(h[13].at, (host::Vec3{50000.0, 48500.0, 3000.0})); // the top face
    EXPECT_EQ(h[6].at, (host::Vec3{40000.0, 55000.0, 3000.0}));
    const auto top = at(c, h[13].at);
    EXPECT_EQ(handleNear(c, h, top[0] + 5.0, top[1] - 3.0, 8.0), 13);
    EXPECT_EQ(handleNear(c, h, top[0] + 30.0, top[1] + 30.0, 8.0), -1);
    // Turned away, the box lies behind the eye: no handle anywhere.
    host::Camera away = c;
    away.azimuth = 45.0;
    away.distance = 1000.0;
    away.target = {30000.0, 30000.0, 0.0};
    for (int y = 0; y < 600; y += 10)
        for (int x = 0; x < 800; x += 10)
            ASSERT_EQ(handleNear(away, h, x, y, 8.0), -1);
}

TEST(BoxDrags, ASideFaceMovesTheBoxSoTheGrabbedPointFollowsOnItsLevel)
{
    const host::Camera c = viewCamera();
    const BoxDrag drag = dragOf(c, 9); // high x
    const host::Vec3 &p = drag.handle.at;
    const auto to = at(c, {p[0] + 3000.0, p[1] - 1500.0, p[2]});
    const BoxChange change = dragChange(drag, to[0], to[1], false);
    ASSERT_EQ(change.kind, BoxChange::Kind::Move);
    EXPECT_NEAR(change.amount[0], 3000.0, 1.0);
    EXPECT_NEAR(change.amount[1], -1500.0, 1.0);
    EXPECT_EQ(change.amount[2], 0.0);
    EXPECT_EQ(dragChange(drag, drag.pressX, drag.pressY, false).kind, BoxChange::Kind::None);
}

TEST(BoxDrags, TheTopFaceRisesAsFarAsThePointerAtItsDepth)
{
    for (double elevation : {10.0, 30.0, 60.0}) {
        SCOPED_TRACE(elevation);
        const host::Camera c = viewCamera(elevation);
        const BoxDrag drag = dragOf(c, 13);
        const BoxChange change = dragChange(drag, drag.pressX, drag.pressY - 20.0, false);
        ASSERT_EQ(change.kind, BoxChange::Kind::Move);
        EXPECT_EQ(change.amount[0], 0.0);
        const host::Vec3 &p = drag.handle.at;
        const auto moved = at(c, {p[0], p[1], p[2] + change.amount[2]});
        EXPECT_NEAR(moved[1], drag.pressY - 20.0, 1.0); // under the pointer
    }
    // Looking straight down the rise is bounded, not divided by nothing.
    const BoxDrag down = dragOf(viewCamera(90.0), 12);
    const BoxChange change = dragChange(down, down.pressX, down.pressY + 10.0, false);
    EXPECT_LT(change.amount[2], 0.0);
    EXPECT_GT(change.amount[2], -100000.0);
}

TEST(BoxDrags, ACornerScalesAboutTheCentreSoTheCornerFollowsThePointer)
{
    const host::Camera c = viewCamera();
    const BoxDrag drag = dragOf(c, 3); // high x, high y, low z
    const host::Vec3 &p = drag.handle.at;
    const auto to = at(c, {p[0] + 5000.0, p[1] - 1300.0, p[2]});
    const BoxChange change = dragChange(drag, to[0], to[1], false);
    ASSERT_EQ(change.kind, BoxChange::Kind::Scale);
    EXPECT_NEAR(change.amount[0], 15000.0 / 10000.0, 1e-4);
    EXPECT_NEAR(change.amount[1], 5200.0 / 6500.0, 1e-4);
    EXPECT_EQ(change.amount[2], 1.0);
    const Box scaled = changedBox(kBox, change);
    EXPECT_NEAR(scaled.high[0], p[0] + 5000.0, 1.0);
    EXPECT_EQ(scaled.centre(), kBox.centre());

    // Dragged across the centre it flattens, never turns inside out.
    const auto across = at(c, {kBox.low[0] - 20000.0, kBox.low[1] - 20000.0, p[2]});
    EXPECT_EQ(dragChange(drag, across[0], across[1], false).amount[0], kMinScale);
}

TEST(BoxDrags, WithShiftACornerScalesTheHeightOnly)
{
    const BoxDrag drag = dragOf(viewCamera(), 7); // high x, y and z
    const BoxChange up = dragChange(drag, drag.pressX + 40.0, drag.pressY - 15.0, true);
    ASSERT_EQ(up.kind, BoxChange::Kind::Scale);
    EXPECT_EQ(up.amount[0], 1.0);
    EXPECT_EQ(up.amount[1], 1.0);
    EXPECT_GT(up.amount[2], 1.0);
    EXPECT_EQ(dragChange(drag, drag.pressX, drag.pressY + 400.0, true).amount[2], kMinScale);
}

TEST(BoxDrags, PointersThatGiveNoAnswerChangeNothing)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const BoxDrag side = dragOf(viewCamera(), 8);
    EXPECT_EQ(dragChange(side, nan, side.pressY, false).kind, BoxChange::Kind::None);
    // High above the horizon the ray never comes down to the face's level.
    EXPECT_EQ(dragChange(side, side.pressX, -2000.0, false).kind, BoxChange::Kind::None);
    // Level with the eye, the ray through the middle row runs along it.
    host::Camera level = viewCamera(0.0);
    level.target[2] = 2000.0;
    const BoxDrag flat = dragOf(level, 9);
    EXPECT_EQ(dragChange(flat, flat.pressX + 30.0, 300.0, false).kind, BoxChange::Kind::None);
    // A box of no height has no height to scale.
    BoxDrag thin = dragOf(viewCamera(), 4);
    thin.box.low[2] = thin.box.high[2];
    EXPECT_EQ(dragChange(thin, thin.pressX, thin.pressY - 30.0, true).kind, BoxChange::Kind::None);
}

namespace {

// A view over an elevation model in UTM zone 25 south, as a terrain scene
// frames it: its box in scene coordinates and the first cloud's box.
struct UtmView {
    host::Extent extent{280000.0, 304000.0, 9103000.0, 9127000.0, 0.0, 80.0};
    Box box{{290600.0, 9116400.0, 740.0}, {293400.0, 9118600.0, 1060.0}};
};

// The camera of that view with the model's heights drawn `exaggeration`
// times as high, shifted with everything else by `offset` (the drawing
// frame's origin, or nothing for scene coordinates).
host::Camera utmCamera(const UtmView &v, double exaggeration, const host::Vec3 &offset)
{
    host::Extent e = v.extent;
    e.z2 *= exaggeration;
    host::Camera c;
    c.azimuth = 200.0;
    c.elevation = 22.0;
    c.distance = 30000.0;
    c.width = 980;
    c.height = 640;
    c.target = {292000.0, 9115000.0, 0.0};
    c.fitClipPlanes(e);
    for (int i = 0; i < 3; ++i)
        c.target[size_t(i)] -= offset[size_t(i)];
    return c;
}

Box shifted(const Box &b, const host::Vec3 &offset)
{
    Box out = b;
    for (int i = 0; i < 3; ++i) {
        out.low[size_t(i)] -= offset[size_t(i)];
        out.high[size_t(i)] -= offset[size_t(i)];
    }
    return out;
}

} // namespace

// Every kind of handle, at UTM northings near 9,000,000, with the heights
// drawn as they are or exaggerated, in scene coordinates and in a drawing
// frame centred on the model: the same drags make the same changes.
TEST(BoxDrags, EveryHandleWorksAtUtmCoordinatesInAnyFrameAndExaggeration)
{
    const UtmView v;
    for (double exaggeration : {1.0, 5.0, 50.0})
        for (const host::Vec3 &offset :
             {host::Vec3{0.0, 0.0, 0.0}, host::Vec3{292000.0, 9115000.0, 0.0}}) {
            SCOPED_TRACE(::testing::Message() << "exaggeration " << exaggeration << ", offset "
                                              << offset[0] << " " << offset[1]);
            const host::Camera c = utmCamera(v, exaggeration, offset);
            const Box box = shifted(v.box, offset);
            const Handles h = handlesOf(box);
            // Each of the 14 handles is on screen and a press there takes it.
            for (int i = 0; i < kHandleCount; ++i) {
                double x, y;
                ASSERT_TRUE(c.worldToWindow(h[size_t(i)].at.data(), &x, &y)) << i;
                ASSERT_TRUE(x > 0 && x < c.width && y > 0 && y < c.height) << i << ": " << x
                                                                            << " " << y;
                EXPECT_EQ(handleNear(c, h, x + 2.0, y - 2.0, 8.0), i);
            }
            const auto dragOfHandle = [&](int i) {
                BoxDrag d{c, box, h[size_t(i)], 0.0, 0.0};
                c.worldToWindow(d.handle.at.data(), &d.pressX, &d.pressY);
                return d;
            };

            // A side face: the grabbed point follows the pointer on its level.
            const BoxDrag side = dragOfHandle(8); // low x
            const host::Vec3 &s = side.handle.at;
            const auto to = at(c, {s[0] - 700.0, s[1] + 400.0, s[2]});
            const BoxChange move = dragChange(side, to[0], to[1], false);
            ASSERT_EQ(move.kind, BoxChange::Kind::Move);
            EXPECT_NEAR(move.amount[0], -700.0, 0.5);
            EXPECT_NEAR(move.amount[1], 400.0, 0.5);
            EXPECT_EQ(move.amount[2], 0.0);

            // The top face rises as far as the pointer does at its depth.
            const BoxDrag top = dragOfHandle(13);
            const BoxChange rise = dragChange(top, top.pressX, top.pressY - 20.0, false);
            ASSERT_EQ(rise.kind, BoxChange::Kind::Move);
            const host::Vec3 &t = top.handle.at;
            EXPECT_NEAR(at(c, {t[0], t[1], t[2] + rise.amount[2]})[1], top.pressY - 20.0, 1.0);
            EXPECT_GT(rise.amount[2], 0.0);

            // A corner scales x and y about the centre so the corner follows.
            const BoxDrag corner = dragOfHandle(3); // high x, high y, low z
            const host::Vec3 &k = corner.handle.at;
            const auto out = at(c, {k[0] + 1400.0, k[1] + 550.0, k[2]});
            const BoxChange scale = dragChange(corner, out[0], out[1], false);
            ASSERT_EQ(scale.kind, BoxChange::Kind::Scale);
            EXPECT_NEAR(scale.amount[0], 2.0, 1e-3);
            EXPECT_NEAR(scale.amount[1], 1.5, 1e-3);
            EXPECT_EQ(scale.amount[2], 1.0);

            // With Shift, the height alone.
            const BoxDrag high = dragOfHandle(7);
            const BoxChange taller = dragChange(high, high.pressX, high.pressY - 20.0, true);
            ASSERT_EQ(taller.kind, BoxChange::Kind::Scale);
            EXPECT_EQ(taller.amount[0], 1.0);
            EXPECT_EQ(taller.amount[1], 1.0);
            EXPECT_GT(taller.amount[2], 1.0);
        }
}
