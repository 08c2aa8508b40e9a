// The noise is a bit-exact contract: the documented draws, gradients and
// densities of the default cloud are checked as they stand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "plugin/records.h"
#include "synth/noise.h"

namespace {

uint32_t bitsOf(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

CloudRecord defaultCloud()
{
    CloudRecord c{};
    cloudRecordSetDefaults(&c);
    return c;
}

struct NoiseTest : ::testing::Test {
    void SetUp() override
    {
        noiseState.offsetX = 0;
        noiseState.offsetY = 0;
        CloudRecord c = defaultCloud();
        noiseTableBuild(c);
    }
};

std::vector<NoiseGradient> tableCopy()
{
    return std::vector<NoiseGradient>(&noiseState.gradients[0][0],
                                      &noiseState.gradients[0][0] + 256 * 256);
}

bool sameTable(const std::vector<NoiseGradient> &t)
{
    return std::memcmp(t.data(), noiseState.gradients, sizeof noiseState.gradients) == 0;
}

}  // namespace

TEST(NoiseGenerator, SeedAndFirstDrawsOfTheDefaultSeed)
{
    noiseSeed(678269.0f);
    EXPECT_EQ(bitsOf(noiseState.randPrev), 0x3DFC9A35u);
    EXPECT_FLOAT_EQ(noiseState.randLast, static_cast<float>(678269.0 * static_cast<double>(1e-7f)));
    EXPECT_NEAR(noiseState.randLast, 0.06782690, 1e-8);
    const double expected[] = {-0.6176642, -0.4820104, -0.0996746, 0.4183151, -0.6813595};
    for (double e : expected)
        EXPECT_NEAR(noiseNext(), e, 5e-8);
}

TEST(NoiseGenerator, SumOfExactlyOneIsNotWrapped)
{
    noiseState.randPrev = 0.5f;
    noiseState.randLast = 0.5f;
    EXPECT_EQ(noiseNext(), 1.0);
    EXPECT_EQ(noiseState.randLast, 1.0f);
    EXPECT_EQ(noiseState.randPrev, 0.5f);
    // The next sum, 1.5, wraps to 0.5.
    EXPECT_EQ(noiseNext(), 0.0);
}

TEST_F(NoiseTest, TableOfTheDefaultCloud)
{
    const auto &g = noiseState.gradients;
    EXPECT_EQ(noiseState.period, 41.0f);
    EXPECT_EQ(g[0][0].gx, -1.0f);
    EXPECT_EQ(g[0][0].gy, -1.0f);
    EXPECT_EQ(g[1][0].gx, -1.0f);
    EXPECT_EQ(g[1][0].gy, 1.0f);
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) {
            ASSERT_EQ(std::fabs(g[i][j].gx), 1.0f);
            ASSERT_EQ(std::fabs(g[i][j].gy), 1.0f);
        }
    for (int k = 0; k <= 41; ++k) {
        EXPECT_EQ(bitsOf(g[41][k].gx), bitsOf(g[0][k].gx));
        EXPECT_EQ(bitsOf(g[41][k].gy), bitsOf(g[0][k].gy));
        EXPECT_EQ(bitsOf(g[k][41].gx), bitsOf(g[k][0].gx));
        EXPECT_EQ(bitsOf(g[k][41].gy), bitsOf(g[k][0].gy));
    }
}

TEST_F(NoiseTest, BuildConsumesExactly131072DrawsColumnByColumn)
{
    const float prev = noiseState.randPrev, last = noiseState.randLast;
    noiseSeed(678269.0f);
    // Cell (0,0) is drawn first, then cell (1,0): the inner loop runs along x.
    const float r1 = static_cast<float>(noiseNext()), r2 = static_cast<float>(noiseNext());
    const float r3 = static_cast<float>(noiseNext()), r4 = static_cast<float>(noiseNext());
    EXPECT_EQ(noiseState.gradients[0][0].gx, r1 < 0 ? -1.0f : 1.0f);
    EXPECT_EQ(noiseState.gradients[0][0].gy, r2 < 0 ? -1.0f : 1.0f);
    EXPECT_EQ(noiseState.gradients[1][0].gx, r3 < 0 ? -1.0f : 1.0f);
    EXPECT_EQ(noiseState.gradients[1][0].gy, r4 < 0 ? -1.0f : 1.0f);
    for (int n = 4; n < 131072; ++n)
        noiseNext();
    EXPECT_EQ(bitsOf(noiseState.randPrev), bitsOf(prev));
    EXPECT_EQ(bitsOf(noiseState.randLast), bitsOf(last));
}

TEST_F(NoiseTest, WholePartOfZoomAndSeedAsFloatDecideTheTable)
{
    const auto reference = tableCopy();
    CloudRecord c = defaultCloud();
    c.zoom = 41.9f;
    noiseTableBuild(c);
    EXPECT_EQ(noiseState.period, 41.0f);
    EXPECT_TRUE(sameTable(reference));
    c.seed = 678269.01;  // the same 32-bit float
    noiseTableBuild(c);
    EXPECT_TRUE(sameTable(reference));
    c.seed = 678270.0;
    noiseTableBuild(c);
    EXPECT_FALSE(sameTable(reference));
}

TEST_F(NoiseTest, RebuildEqualsAFreshBuild)
{
    CloudRecord a = defaultCloud();
    CloudRecord b = defaultCloud();
    b.seed = 12934.0;
    b.zoom = 14.0f;

    noiseTableBuild(b);
    noiseTableBuild(a);  // fresh: the table in place was b's
    const auto fresh = tableCopy();
    const float prev = noiseState.randPrev, last = noiseState.randLast;

    noiseState.randPrev = noiseState.randLast = 0.25f;
    noiseTableBuild(a);  // rebuild
    EXPECT_TRUE(sameTable(fresh));
    EXPECT_EQ(bitsOf(noiseState.randPrev), bitsOf(prev));
    EXPECT_EQ(bitsOf(noiseState.randLast), bitsOf(last));
    EXPECT_EQ(noiseState.period, 41.0f);

    // Same seed, another period: the wrap moves, so the table is made anew.
    a.zoom = 20.0f;
    noiseTableBuild(a);
    EXPECT_EQ(noiseState.period, 20.0f);
    for (int k = 0; k <= 20; ++k)
        EXPECT_EQ(noiseState.gradients[20][k].gx, noiseState.gradients[0][k].gx);
}

TEST_F(NoiseTest, DocumentedValuesOfTheDefaultCloud)
{
    EXPECT_NEAR(noiseGradient2(16, 16), 0.39726, 5e-6);
    EXPECT_NEAR(noiseFractal(16, 16, 1, 32, 32, 0.52f, 0.65f, true), 0.26624, 5e-6);
    EXPECT_NEAR(noiseFractal(16, 16, 1, 32, 32, 0.52f, 0.65f, false), 0.26624, 5e-6);
    EXPECT_NEAR(noiseFadeColumn(16, 32) * noiseFadeRow(16, 32), 0.9999994, 5e-8);
}

TEST_F(NoiseTest, GradientLatticeWrapAndOffsets)
{
    EXPECT_EQ(noiseGradient2(0, 0), 0.0);
    for (int x : {0, 7, 100, 255})
        for (int y : {0, 13, 200}) {
            EXPECT_EQ(noiseGradient2(x + 256, y), noiseGradient2(x, y));
            EXPECT_EQ(noiseGradient2(x, y - 512), noiseGradient2(x, y));
        }
    EXPECT_EQ(noiseGradient2(-1, 5), noiseGradient2(255, 5));
    EXPECT_EQ(noiseGradient2(INT32_MIN, INT32_MAX), noiseGradient2(0, 255));

    const double shifted = noiseGradient2(20, 30);
    noiseState.offsetX = -4;
    noiseState.offsetY = 256 + 10;
    EXPECT_EQ(noiseGradient2(24, 20), shifted);
    noiseState.offsetX = INT32_MAX;  // sum wraps like two's complement
    EXPECT_EQ(noiseGradient2(1, 20), noiseGradient2(INT32_MIN + 1, 20));
}

TEST_F(NoiseTest, ThreeOctavesSampleXThreeXNineX)
{
    const int x = 11, y = 5;
    const float sum1 = static_cast<float>(noiseGradient2(x, y) / 2.0);
    const float sum2 = static_cast<float>(sum1 + noiseGradient2(3 * x, 3 * y) / 4.0);
    const float sum3 = static_cast<float>(sum2 + noiseGradient2(9 * x, 9 * y) / 6.0);
    EXPECT_EQ(noiseFractal(x, y, 3, 32, 32, 0.52f, 0.65f, false), noiseShape(sum3, -0.52f, 0.65f));
}

TEST_F(NoiseTest, ShapingAndFade)
{
    // No octave: the sum stays 0.
    const double none = 1.0 - std::pow(static_cast<double>(0.65f), static_cast<double>(0.52f));
    EXPECT_EQ(noiseFractal(5, 9, 0, 32, 32, 0.52f, 0.65f, false), none);
    EXPECT_EQ(noiseFractal(5, 9, -3, 32, 32, 0.52f, 0.65f, false), none);
    EXPECT_EQ(noiseShape(-2.0f, 0.0f, 0.65f), 0.0);
    EXPECT_TRUE(std::isnan(noiseShape(NAN, 0.0f, 0.65f)));
    // Base 0: 1 wherever the shifted sum is positive, 0 where it is not.
    EXPECT_EQ(noiseShape(0.1f, 0.0f, 0.0f), 1.0);
    EXPECT_EQ(noiseShape(0.0f, 0.0f, 0.0f), 0.0);
    for (int k = 0; k < 32; ++k) {
        EXPECT_EQ(noiseFractal(0, k, 1, 32, 32, 0.52f, 0.65f, true), 0.0);
        EXPECT_EQ(noiseFractal(k, 0, 1, 32, 32, 0.52f, 0.65f, true), 0.0);
    }
    EXPECT_GT(noiseFadeColumn(31, 32), 0.0);
    EXPECT_NEAR(noiseFadeColumn(31, 32), 3.14 / 32, 0.01);
}

TEST_F(NoiseTest, ZoomOutsideTheTableStaysInsideIt)
{
    const float bad[] = {-1.0f, -1e30f, 256.0f, 1000.0f, 1e30f, INFINITY, -INFINITY, NAN};
    for (float zoom : bad) {
        CloudRecord c = defaultCloud();
        c.zoom = zoom;
        noiseTableBuild(c);  // AddressSanitizer watches the wrap and the lookups
        EXPECT_GE(noiseState.period, 0.0f) << zoom;
        EXPECT_LT(noiseState.period, 256.0f) << zoom;
        for (int x = 0; x < 256; x += 5)
            EXPECT_FALSE(std::isnan(noiseGradient2(x, 255 - x))) << zoom;
        noiseSetPeriod(zoom);  // the unrounded path of the dialog
        EXPECT_LT(noiseState.period, 256.0f);
        for (int x = 0; x < 256; x += 5)
            EXPECT_FALSE(std::isnan(noiseGradient2(x, x))) << zoom;
    }
    // Negative and NaN zooms make a zero period: noise 0 everywhere.
    CloudRecord c = defaultCloud();
    c.zoom = -5.0f;
    noiseTableBuild(c);
    EXPECT_EQ(noiseGradient2(77, 99), 0.0);
    // In range nothing changes, the unrounded period included.
    noiseSetPeriod(255.5f);
    EXPECT_EQ(noiseState.period, 255.5f);
    noiseSetPeriod(0.0f);
    EXPECT_EQ(noiseState.period, 0.0f);
}

TEST_F(NoiseTest, OctavesFromDetail)
{
    EXPECT_EQ(noiseOctaves(1.0f), 1);
    EXPECT_EQ(noiseOctaves(2.9f), 2);
    EXPECT_EQ(noiseOctaves(-0.5f), 0);
    EXPECT_EQ(noiseOctaves(-1e30f), 0);
    EXPECT_EQ(noiseOctaves(NAN), 0);
    EXPECT_EQ(noiseOctaves(1e30f), NOISE_MAX_OCTAVES);
    EXPECT_EQ(noiseOctaves(INFINITY), NOISE_MAX_OCTAVES);
    // Far octaves leave the int32 range without undefined behaviour.
    EXPECT_FALSE(std::isnan(noiseFractal(255, 255, INT32_MAX, 32, 32, 0.52f, 0.65f, false)));
    EXPECT_EQ(noiseTruncToInt(-2.9), -2);
    EXPECT_EQ(noiseTruncToInt(1e10), INT32_MIN);
    EXPECT_EQ(noiseTruncToInt(NAN), INT32_MIN);
}

TEST_F(NoiseTest, UnroundedPeriodsKeepTheFractionInTheCell)
{
    // The dialog evaluates with its zoom as it is; X may then round up to a
    // whole number (zoom 1.28 at u = 200 does).
    for (float zoom = 0.01f; zoom < 256.0f; zoom += 0.37f) {
        noiseSetPeriod(zoom);
        for (int u = 0; u < 256; ++u) {
            const NoiseAxis a = noiseAxis(u, 0);
            ASSERT_GE(a.frac, 0.0f) << zoom << " " << u;
            ASSERT_LT(a.frac, 1.0f) << zoom << " " << u;
            ASSERT_LE(a.cell + 1, 255) << zoom << " " << u;
        }
    }
    noiseSetPeriod(1.28f);
    EXPECT_LT(noiseAxis(200, 0).frac, 1.0f);
    EXPECT_FALSE(std::isnan(noiseGradient2(200, 100)));
}

TEST_F(NoiseTest, SeedsBeyondTheFloatRange)
{
    EXPECT_EQ(noiseSeedAsFloat(678269.0), 678269.0f);
    EXPECT_EQ(noiseSeedAsFloat(1e300), INFINITY);
    EXPECT_EQ(noiseSeedAsFloat(-1e300), -INFINITY);
    EXPECT_TRUE(std::isnan(noiseSeedAsFloat(NAN)));
    CloudRecord c = defaultCloud();
    c.seed = 1e300;  // every draw is NaN: every component counts as +1
    noiseTableBuild(c);
    EXPECT_EQ(noiseState.gradients[17][200].gx, 1.0f);
    EXPECT_EQ(noiseState.gradients[255][255].gy, 1.0f);
}
