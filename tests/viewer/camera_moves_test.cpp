// Orbiting and the limits every camera move keeps: never below the
// lowest elevation, never past straight down, the eye never under the
// surface beneath it.
#include <gtest/gtest.h>

#include <cmath>

#include "tolatoollib/camera_moves.h"

namespace {

using host::Camera;

// A round hill 2000 high and 20000 across around (0, 0) on flat ground at 0.
double hill(double x, double y)
{
    const double r = std::hypot(x, y) / 10000.0;
    return r < 1.0 ? 2000.0 * (1.0 - r * r) : 0.0;
}

double shortfall(const Camera &c, double (*surface)(double, double))
{
    const host::Vec3 eye = c.eye();
    return surface(eye[0], eye[1]) + host::eyeClearance(c) - eye[2];
}

TEST(CameraMoves, ADragAcrossTheViewIsASensibleTurnThatStopsAboveTheHorizon)
{
    Camera c;
    c.elevation = 22.0;
    // 150 pixels up in a 600-pixel view: 30 degrees lower, held at the floor.
    host::orbitCamera(c, 0.0, -150.0, 600);
    EXPECT_DOUBLE_EQ(c.elevation, host::kMinElevation);
    c.elevation = 22.0;
    host::orbitCamera(c, 0.0, -60.0, 600);
    EXPECT_NEAR(c.elevation, 10.0, 1e-9);
    // A whole view's height is a bounded turn, whatever the window's size.
    for (int height : {300, 800, 2000}) {
        c.azimuth = 200.0;
        host::orbitCamera(c, -height, 0.0, height);
        EXPECT_NEAR(c.azimuth, 200.0 + host::kOrbitDegreesPerViewHeight, 1e-9);
        EXPECT_GE(host::kOrbitDegreesPerViewHeight, 90.0);
        EXPECT_LE(host::kOrbitDegreesPerViewHeight, 180.0);
    }
    // Many long drags either way keep the range; the azimuth stays 0..360.
    c = Camera();
    for (int i = 0; i < 50; ++i) {
        host::orbitCamera(c, 997.0 * (i % 3 - 1), (i % 2 ? 1.0 : -1.0) * 700.0 * i, 500);
        EXPECT_GE(c.elevation, host::kMinElevation);
        EXPECT_LE(c.elevation, host::kMaxElevation);
        EXPECT_GE(c.azimuth, 0.0);
        EXPECT_LT(c.azimuth, 360.0);
    }
    EXPECT_EQ(host::clampElevation(-0.5), host::kMinElevation);
    EXPECT_EQ(host::clampElevation(95.0), host::kMaxElevation);
    EXPECT_EQ(host::clampElevation(NAN), host::kMinElevation);
}

TEST(CameraMoves, TheEyeRisesJustOverAHillBehindTheTarget)
{
    Camera c;
    c.target = {0.0, 12000.0, 0.0}; // north of the hill, looking at flat ground
    c.azimuth = 180.0;               // the eye stands south, over the hill
    c.elevation = host::kMinElevation;
    c.distance = 12000.0;
    ASSERT_GT(shortfall(c, hill), 0.0) << "the eye starts inside the hill";
    EXPECT_TRUE(host::keepEyeAbove(c, hill));
    EXPECT_LE(shortfall(c, hill), 1e-6);
    EXPECT_DOUBLE_EQ(c.distance, 12000.0);
    EXPECT_DOUBLE_EQ(c.target[1], 12000.0) << "what is looked at stays";
    // The lowest such elevation: a little lower puts the eye back in.
    Camera lower = c;
    lower.elevation -= 0.01;
    EXPECT_GT(shortfall(lower, hill), 0.0);
    // Once clear, nothing moves.
    const Camera kept = c;
    EXPECT_FALSE(host::keepEyeAbove(c, hill));
    EXPECT_EQ(c.elevation, kept.elevation);
}

TEST(CameraMoves, ATargetInsideTheHillBacksTheEyeOutStraightAbove)
{
    Camera c;
    c.target = {0.0, 0.0, 100.0}; // under the summit
    c.elevation = 40.0;
    c.distance = 500.0;
    EXPECT_TRUE(host::keepEyeAbove(c, hill));
    EXPECT_DOUBLE_EQ(c.elevation, host::kMaxElevation);
    EXPECT_LE(shortfall(c, hill), 1e-6);
    EXPECT_GT(c.distance, 1900.0);
}

TEST(CameraMoves, FlatGroundAndFramingLeaveAGoodCameraAlone)
{
    auto flat = [](double, double) { return 0.0; };
    Camera c;
    c.elevation = 12.0;
    EXPECT_FALSE(host::keepEyeAbove(c, flat));
    EXPECT_EQ(c.elevation, 12.0);
    // Below the floor the elevation comes up; a pending framing (distance
    // 0) is not touched otherwise.
    c.elevation = -30.0;
    c.distance = 0.0;
    EXPECT_TRUE(host::keepEyeAbove(c, flat));
    EXPECT_EQ(c.elevation, host::kMinElevation);
    EXPECT_EQ(c.distance, 0.0);
    // Nothing known under the eye (off a model): nothing to keep clear of.
    c.distance = 1000.0;
    c.target[2] = -5000.0;
    EXPECT_FALSE(host::keepEyeAbove(c, [](double, double) { return double(NAN); }));
}

} // namespace
