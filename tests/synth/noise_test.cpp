// The noise is a bit-exact contract: the documented draws, gradients and
// densities of the default cloud are checked as they stand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "plugin/records.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"

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
    return std::vector<NoiseGradient>(&noiseGradients()[0][0], &noiseGradients()[0][0] + 256 * 256);
}

bool sameTable(const std::vector<NoiseGradient> &t)
{
    return std::memcmp(t.data(), noiseGradients(), sizeof(NoiseGradientTable)) == 0;
}

}  // namespace

TEST(NoiseGenerator, SeedAndFirstDrawsOfTheDefaultSeed)
{
    noiseSeed(678269.0f);
    const NoiseGenerator g = noiseGeneratorGet();
    EXPECT_EQ(bitsOf(g.randPrev), 0x3DFC9A35u);
    EXPECT_FLOAT_EQ(g.randLast, static_cast<float>(678269.0 * static_cast<double>(1e-7f)));
    EXPECT_NEAR(g.randLast, 0.06782690, 1e-8);
    const double expected[] = {-0.6176642, -0.4820104, -0.0996746, 0.4183151, -0.6813595};
    for (double e : expected)
        EXPECT_NEAR(noiseNext(), e, 5e-8);
}

TEST(NoiseGenerator, SumOfExactlyOneIsNotWrapped)
{
    noiseGeneratorSet({0.5f, 0.5f});
    EXPECT_EQ(noiseNext(), 1.0);
    EXPECT_EQ(noiseGeneratorGet().randLast, 1.0f);
    EXPECT_EQ(noiseGeneratorGet().randPrev, 0.5f);
    // The next sum, 1.5, wraps to 0.5.
    EXPECT_EQ(noiseNext(), 0.0);
}

TEST_F(NoiseTest, TableOfTheDefaultCloud)
{
    const auto &g = noiseGradients();
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
    const NoiseGenerator end = noiseGeneratorGet();
    noiseSeed(678269.0f);
    // Cell (0,0) is drawn first, then cell (1,0): the inner loop runs along x.
    const float r1 = static_cast<float>(noiseNext()), r2 = static_cast<float>(noiseNext());
    const float r3 = static_cast<float>(noiseNext()), r4 = static_cast<float>(noiseNext());
    EXPECT_EQ(noiseGradients()[0][0].gx, r1 < 0 ? -1.0f : 1.0f);
    EXPECT_EQ(noiseGradients()[0][0].gy, r2 < 0 ? -1.0f : 1.0f);
    EXPECT_EQ(noiseGradients()[1][0].gx, r3 < 0 ? -1.0f : 1.0f);
    EXPECT_EQ(noiseGradients()[1][0].gy, r4 < 0 ? -1.0f : 1.0f);
    for (int n = 4; n < 131072; ++n)
        noiseNext();
    EXPECT_EQ(bitsOf(noiseGeneratorGet().randPrev), bitsOf(end.randPrev));
    EXPECT_EQ(bitsOf(noiseGeneratorGet().randLast), bitsOf(end.randLast));
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
    const NoiseGenerator end = noiseGeneratorGet();

    noiseGeneratorSet({0.25f, 0.25f});
    noiseTableBuild(a);  // rebuild
    EXPECT_TRUE(sameTable(fresh));
    EXPECT_EQ(bitsOf(noiseGeneratorGet().randPrev), bitsOf(end.randPrev));
    EXPECT_EQ(bitsOf(noiseGeneratorGet().randLast), bitsOf(end.randLast));
    EXPECT_EQ(noiseState.period, 41.0f);

    // Same seed, another period: the wrap moves, so the table is made anew.
    a.zoom = 20.0f;
    noiseTableBuild(a);
    EXPECT_EQ(noiseState.period, 20.0f);
    for (int k = 0; k <= 20; ++k)
        EXPECT_EQ(noiseGradients()[20][k].gx, noiseGradients()[0][k].gx);
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
    EXPECT_EQ(noiseGradients()[17][200].gx, 1.0f);
    EXPECT_EQ(noiseGradients()[255][255].gy, 1.0f);
}

// ---- Tables drawn as evaluation reads them ----
//
// A build draws nothing until something reads the table; whatever reads it
// must see what a whole build gives. Each check compares the lazy table with
// one drawn in full at its build (noiseTableDrawsAll).

namespace {

struct WholeBuild {
    std::vector<NoiseGradient> table;
    NoiseGenerator end;
};

// The table and generator end state of a build drawn in full.
WholeBuild wholeBuild(const CloudRecord &c)
{
    noiseTableDrawsAll = true;
    noiseTableBuild(c);
    noiseTableDrawsAll = false;
    return {tableCopy(), noiseGeneratorGet()};
}

CloudRecord cloudWith(double seed, float zoom)
{
    CloudRecord c = defaultCloud();
    c.seed = seed;
    c.zoom = zoom;
    return c;
}

// Another seed's table in place, drawn in full: the next build starts
// undrawn, and a cell read before it is drawn would show that seed's value.
void buildAnotherTable()
{
    noiseTableBuild(cloudWith(99.0, 7.0f));
    noiseGradients();
}

struct LazyTable : ::testing::Test {
    void SetUp() override
    {
        noiseTableDrawsAll = false;
        noiseState.offsetX = 0;
        noiseState.offsetY = 0;
    }
    void TearDown() override
    {
        noiseTableDrawsAll = false;
        noiseState.offsetX = 0;
        noiseState.offsetY = 0;
    }
};

const CloudRecord kTableCases[] = {
    cloudWith(678269.0, 41.0f), cloudWith(31337.0, 12.75f), cloudWith(5.0, 0.0f),
    cloudWith(-42.0, 255.0f),   cloudWith(1e300, 200.0f),   cloudWith(678269.0, 1.0f),
    cloudWith(678269.0, 254.9f),
};

}  // namespace

TEST_F(LazyTable, ReadingTheTableDrawsWhatAWholeBuildDraws)
{
    for (const CloudRecord &c : kTableCases) {
        SCOPED_TRACE(::testing::Message() << "seed " << c.seed << " zoom " << c.zoom);
        const WholeBuild whole = wholeBuild(c);

        // Nothing read before the whole table is asked for.
        buildAnotherTable();
        noiseTableBuild(c);
        EXPECT_TRUE(sameTable(whole.table));

        // A few columns read first (a default bake's), the rest later.
        buildAnotherTable();
        noiseTableBuild(c);
        for (int y = 0; y < 32; ++y)
            noiseGradient2(y, y);
        EXPECT_TRUE(sameTable(whole.table));
        EXPECT_EQ(bitsOf(noiseGeneratorGet().randPrev), bitsOf(whole.end.randPrev));
        EXPECT_EQ(bitsOf(noiseGeneratorGet().randLast), bitsOf(whole.end.randLast));
    }
}

TEST_F(LazyTable, TheGeneratorReadsAsAfterTheWholeBuild)
{
    for (const CloudRecord &c : kTableCases) {
        SCOPED_TRACE(::testing::Message() << "seed " << c.seed << " zoom " << c.zoom);
        const WholeBuild whole = wholeBuild(c);
        const double next[3] = {noiseNext(), noiseNext(), noiseNext()};

        // Read first: the generator stands where the whole build leaves it.
        buildAnotherTable();
        noiseTableBuild(c);
        const NoiseGenerator g = noiseGeneratorGet();
        EXPECT_EQ(bitsOf(g.randPrev), bitsOf(whole.end.randPrev));
        EXPECT_EQ(bitsOf(g.randLast), bitsOf(whole.end.randLast));

        // Drawn first, after part of the table was read: the draws go on
        // from the end of the table.
        buildAnotherTable();
        noiseTableBuild(c);
        noiseGradient2(200, 5);
        for (double d : next)
            EXPECT_EQ(noiseNext(), d);
        EXPECT_TRUE(sameTable(whole.table));
    }
}

TEST_F(LazyTable, AGeneratorGivenOtherValuesLeavesTheTableItsOwnDraws)
{
    const CloudRecord c = cloudWith(31337.0, 12.75f);
    const WholeBuild whole = wholeBuild(c);

    buildAnotherTable();
    noiseTableBuild(c);
    noiseGradient2(10, 10);
    // The dialog's reseed: the generator starts again, the table stays.
    noiseSeed(678269.0f);
    EXPECT_NEAR(noiseNext(), -0.6176642, 5e-8);
    noiseGeneratorSet({0.5f, 0.5f});
    EXPECT_EQ(noiseNext(), 1.0);
    EXPECT_TRUE(sameTable(whole.table));
    EXPECT_EQ(noiseGeneratorGet().randLast, 1.0f);  // the values given, not the build's

    // A rebuild of the same cloud keeps the table and gives the build's end.
    noiseTableBuild(c);
    EXPECT_TRUE(sameTable(whole.table));
    EXPECT_EQ(bitsOf(noiseGeneratorGet().randLast), bitsOf(whole.end.randLast));
}

TEST_F(LazyTable, EvaluationReadsAsFromAWholeTable)
{
    // Every pixel of the tile, at the whole period and at unrounded ones
    // that reach past the wrapped row, with and without a pan.
    struct Case {
        CloudRecord cloud;
        float period;
        int32_t offsetX, offsetY;
    };
    const Case cases[] = {
        {cloudWith(678269.0, 41.0f), 41.0f, 0, 0},
        {cloudWith(678269.0, 41.5f), 41.5f, 0, 0},
        {cloudWith(4242.0, 17.5f), 17.5f, -12, 30},
        {cloudWith(1.0, 3.0f), 200.25f, 7, -300},
        {cloudWith(77.0, 255.0f), 255.0f, 0, 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(::testing::Message() << "seed " << k.cloud.seed << " period " << k.period);
        noiseState.offsetX = k.offsetX;
        noiseState.offsetY = k.offsetY;
        std::vector<double> whole, lazy;
        for (int mode = 0; mode < 2; ++mode) {
            buildAnotherTable();
            noiseTableDrawsAll = mode == 0;
            noiseTableBuild(k.cloud);
            noiseTableDrawsAll = false;
            noiseSetPeriod(k.period);
            std::vector<double> &out = mode == 0 ? whole : lazy;
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x)
                    out.push_back(noiseGradient2(x, y));
        }
        ASSERT_EQ(std::memcmp(whole.data(), lazy.data(), whole.size() * sizeof(double)), 0);
    }
}

TEST_F(LazyTable, DensityImagesAreTheSameBitForBit)
{
    struct Case {
        double seed;
        float zoom, detail;
        int32_t texsize, panx, pany;
    };
    const Case cases[] = {
        {678269.0, 41.0f, 1.0f, 32, 0, 0},   {123.0, 41.9f, 3.0f, 32, 0, 0},
        {555.0, 97.0f, 1.0f, 64, -20, 77},  {9.0, 4.0f, 2.0f, 16, 3, 3},
        {31337.0, 255.0f, 1.0f, 128, 0, 0}, {-8.0, 0.5f, 5.0f, 8, 0, 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(::testing::Message() << "seed " << k.seed << " zoom " << k.zoom);
        CloudRecord c = cloudWith(k.seed, k.zoom);
        c.detail = k.detail;
        c.texsize = k.texsize;
        noiseState.offsetX = k.panx;
        noiseState.offsetY = k.pany;
        const size_t n = static_cast<size_t>(k.texsize) * k.texsize;
        std::vector<unsigned char> whole(n, 1), lazy(n, 2);
        buildAnotherTable();
        noiseTableDrawsAll = true;
        noiseTableBuild(c);
        noiseTableDrawsAll = false;
        cloudDensityImage(c, whole.data());
        buildAnotherTable();
        noiseTableBuild(c);
        cloudDensityImage(c, lazy.data());
        EXPECT_EQ(whole, lazy);
    }
}

// One octave at a period that is not a whole number, as the dialog uses it:
// the table is built for the cloud (wrapped at the whole part of its zoom),
// then the dialog reseeds the generator and sets the period to the zoom as
// it is, and evaluates. Lattice cells past the wrapped row are read (period
// 41.5 at pixel 255 reads rows 41 and 42). The expected values come from a
// separate implementation of the definition (generator, column-by-column
// table, wrap, one octave), not from this code.
TEST_F(LazyTable, UnroundedPeriodAsTheDialogSetsItExactBits)
{
    struct Point {
        int32_t x, y;
        double value;
    };
    struct Case {
        double seed;
        float zoom;
        std::vector<Point> points;
    };
    const Case cases[] = {
        {678269.0, 41.5f,
         {{255, 255, -0x1.2b32bcf88d747p-1},
          {255, 16, 0x1.1ac725f125a00p-3},
          {16, 255, 0x1.d2ffb218fb940p-2},
          {253, 250, 0x1.fbb4e2745e91dp-2},
          {100, 37, 0x1.9056c5f481c90p-4},
          {16, 16, 0x1.5e6bb45800000p-2}}},
        {31337.0, 12.75f,
         {{255, 255, 0x1.14c2d4efc06ecp-1},
          {250, 249, 0x1.70c9ee9316160p-4},
          {21, 203, 0x1.cbca239c04fdbp-4},
          {7, 128, -0x1.600ae2775e000p-2}}},
        // 37.3 is not a short binary fraction: X is rounded to a float.
        {678269.0, 37.3f,
         {{255, 255, -0x1.0db0c2e88cbf2p-2},
          {200, 131, 0x1.28d843afff629p-4},
          {77, 254, 0x1.2de060aeb16c4p-2},
          {3, 5, 0x1.bd0795bb5165cp-3}}},
    };
    for (int mode = 0; mode < 2; ++mode) {
        for (const Case &k : cases) {
            SCOPED_TRACE(::testing::Message() << "zoom " << k.zoom << (mode ? " lazy" : " whole"));
            const CloudRecord c = cloudWith(k.seed, k.zoom);
            buildAnotherTable();
            noiseTableDrawsAll = mode == 0;
            noiseTableBuild(c);
            noiseTableDrawsAll = false;
            EXPECT_EQ(noiseState.period, std::trunc(k.zoom));
            noiseGradient2(16, 16);  // a bake's first columns only
            noiseSeed(noiseSeedAsFloat(c.seed));
            noiseSetPeriod(c.zoom);
            for (const Point &p : k.points)
                EXPECT_EQ(noiseGradient2(p.x, p.y), p.value) << p.x << ", " << p.y;
        }
    }
}
