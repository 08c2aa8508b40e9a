#include <gtest/gtest.h>

#include "resolution.h"

using cloudview::window::ResolutionGovernor;

TEST(ResolutionGovernor, StillIsFullAndMovingSettlesWhereTheBudgetIsMet)
{
    ResolutionGovernor g(16.0);
    EXPECT_EQ(g.divisor(false), 1.0);
    // A renderer whose time follows the pixel count: 64 ms at full size.
    for (int i = 0; i < 30; ++i)
        g.movingFrameDrawn(64.0 / (g.divisor(true) * g.divisor(true)));
    EXPECT_EQ(g.divisor(true), 2.0);
    EXPECT_EQ(g.divisor(false), 1.0);
}

TEST(ResolutionGovernor, StaysWithinItsRangeAndIgnoresNonsense)
{
    ResolutionGovernor g(16.0);
    for (int i = 0; i < 30; ++i)
        g.movingFrameDrawn(1.0e6);
    EXPECT_EQ(g.divisor(true), ResolutionGovernor::kLargestDivisor);
    for (int i = 0; i < 30; ++i)
        g.movingFrameDrawn(0.01);
    EXPECT_EQ(g.divisor(true), 1.0);
    g.movingFrameDrawn(-5.0);
    g.movingFrameDrawn(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(g.divisor(true), 1.0);

    int w = 0, h = 0;
    ResolutionGovernor::scaledSize(1280, 720, 2.5, &w, &h);
    EXPECT_EQ(w, 512);
    EXPECT_EQ(h, 288);
    ResolutionGovernor::scaledSize(1, 1, 4.0, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
}

#include <stdexcept>

#include "window_state.h"

TEST(PostedWork, RunsInOrderIncludingWhatItPostsAndGoesOnAfterAFailure)
{
    cloudview::window::PostedWork work;
    std::string log;
    std::vector<std::string> failures;
    work.post([&] {
        log += "a";
        work.post([&] { log += "c"; });
    });
    work.post([&] {
        log += "b";
        throw std::runtime_error("b failed");
    });
    EXPECT_EQ(work.runAll([&](const std::string &w) { failures.push_back(w); }), 3u);
    EXPECT_EQ(log, "abc");
    EXPECT_EQ(failures, std::vector<std::string>{"b failed"});
    EXPECT_TRUE(work.empty());
}
