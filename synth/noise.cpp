#include "synth/noise.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "plugin/records.h"

NoiseState noiseState = {4.0f, 0, 0, 0.0f, 0.0f, {}};

namespace {

// What the table in place was built from, so that reloading the same
// cloud (a layer of clouds sharing one seed, the dialog's many rebuilds)
// only restores the generator instead of drawing 131,072 values again.
struct TableKey {
    bool valid = false;
    uint32_t seedBits = 0;
    int32_t period = 0;
    float randPrev = 0.0f;
    float randLast = 0.0f;
};
TableKey builtFor;

uint32_t floatBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// A draw of exactly 0 (or NaN from a NaN seed) has no sign; it counts as +1.
float signOf(float r)
{
    return r < 0.0f ? -1.0f : 1.0f;
}

void fillTable()
{
    for (int j = 0; j < 256; ++j) {
        for (int i = 0; i < 256; ++i) {
            float r1 = static_cast<float>(noiseNext());
            float r2 = static_cast<float>(noiseNext());
            noiseState.gradients[i][j].gx = signOf(r1);
            noiseState.gradients[i][j].gy = signOf(r2);
        }
    }
}

// Row p repeats row 0 and column p column 0, so one octave tiles every 256
// pixels without a seam.
void wrapTable(int p)
{
    NoiseGradient (*g)[256] = noiseState.gradients;
    for (int k = 0; k <= p; ++k) {
        g[p][k] = g[0][k];
        g[k][p] = g[k][0];
    }
    g[0][p] = g[0][0];
    g[p][0] = g[0][0];
    g[p][p] = g[0][0];
}

}  // namespace

float noiseSeedAsFloat(double seed)
{
    // Beyond the float range the conversion is not defined; infinity is
    // what it gives on IEEE machines.
    if (seed > FLT_MAX)
        return INFINITY;
    if (seed < -FLT_MAX)
        return -INFINITY;
    return static_cast<float>(seed);
}

int32_t noiseTruncToInt(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

void noiseSeed(float seed)
{
    noiseState.randPrev = 0.123341f;
    noiseState.randLast = static_cast<float>(static_cast<double>(seed) * static_cast<double>(1e-7f));
}

double noiseNext(void)
{
    double c = static_cast<double>(noiseState.randPrev) + static_cast<double>(noiseState.randLast);
    if (c > 1.0)
        c -= 1.0;
    noiseState.randPrev = noiseState.randLast;
    noiseState.randLast = static_cast<float>(c);
    return 2.0 * c - 1.0;
}

void noiseSetPeriod(float period)
{
    const float largest = std::nextafter(256.0f, 0.0f);
    if (!(period >= 0.0f))  // negative or NaN
        period = 0.0f;
    else if (period > largest)
        period = largest;
    noiseState.period = period;
}

void noiseTableBuild(const CloudRecord &cloud)
{
    noiseSetPeriod(cloud.zoom);
    const float seed = noiseSeedAsFloat(cloud.seed);
    noiseSeed(seed);
    noiseState.period = std::trunc(noiseState.period);
    const int p = static_cast<int>(noiseState.period);

    if (builtFor.valid && builtFor.seedBits == floatBits(seed) && builtFor.period == p) {
        noiseState.randPrev = builtFor.randPrev;
        noiseState.randLast = builtFor.randLast;
        return;
    }
    fillTable();
    wrapTable(p);
    builtFor = {true, floatBits(seed), p, noiseState.randPrev, noiseState.randLast};
}

NoiseAxis noiseAxis(int32_t coordinate, int32_t offset)
{
    // Low eight bits of the two's-complement sum; unsigned so that no sum overflows.
    const uint32_t u = (static_cast<uint32_t>(coordinate) + static_cast<uint32_t>(offset)) & 255u;
    const double X = static_cast<double>(u) * static_cast<double>(noiseState.period) * 0.00390625;
    // The cell is taken from X as a float, so that the fraction stays in
    // [0, 1) also for an unrounded period, where X may round up to the
    // next whole number. For whole periods X is exact and nothing differs.
    const float Xf = static_cast<float>(X);
    NoiseAxis a;
    a.cell = static_cast<int32_t>(Xf);
    a.frac = Xf - static_cast<float>(a.cell);
    const double f = a.frac;
    a.weight = 3.0 * f * f - 2.0 * f * f * f;
    return a;
}

double noiseGradientAt(const NoiseAxis &ax, const NoiseAxis &ay)
{
    const NoiseState &s = noiseState;
    const int i = ax.cell, j = ay.cell;
    const NoiseGradient g00 = s.gradients[i][j];
    const NoiseGradient g01 = s.gradients[i][j + 1];
    const NoiseGradient g10 = s.gradients[i + 1][j];
    const NoiseGradient g11 = s.gradients[i + 1][j + 1];

    const double fx = ax.frac, fy = ay.frac;
    const double d00 = fx * g00.gx + fy * g00.gy;
    const float d01 = static_cast<float>(fx * g01.gx + (fy - 1.0) * g01.gy);
    const double d10 = (fx - 1.0) * g10.gx + fy * g10.gy;
    const double d11 = (fx - 1.0) * g11.gx + (fy - 1.0) * g11.gy;

    // The x weight is a float, the y weight a double.
    const float sx = static_cast<float>(ax.weight);
    const double sy = ay.weight;

    const double a0 = d00 + sx * (d10 - d00);
    const double a1 = d01 + sx * (d11 - d01);
    return a0 + sy * (a1 - a0);
}

double noiseGradient2(int32_t x, int32_t y)
{
    return noiseGradientAt(noiseAxis(x, noiseState.offsetX), noiseAxis(y, noiseState.offsetY));
}

double noiseShape(float value, float floor, float base)
{
    float d = value - floor;
    if (d < 0.0f)
        d = 0.0f;
    return 1.0 - std::pow(static_cast<double>(base), static_cast<double>(d));
}

double noiseFractalUnfaded(int32_t x, int32_t y, int32_t octaves, float offset, float base)
{
    float sum = 0.0f;
    float frequency = 1.0f;
    const float xf = static_cast<float>(x);
    const float yf = static_cast<float>(y);
    if (octaves > NOISE_MAX_OCTAVES)
        octaves = NOISE_MAX_OCTAVES;
    for (int32_t n = 1; n <= octaves; ++n) {
        const int32_t xa = noiseTruncToInt(static_cast<double>(xf) * frequency);
        const int32_t ya = noiseTruncToInt(static_cast<double>(yf) * frequency);
        sum = noiseOctaveAdd(sum, noiseGradient2(xa, ya), n);
        frequency = noiseNextFrequency(frequency);
    }
    return noiseShape(sum, -offset, base);
}

double noiseFadeColumn(int32_t x, int32_t width)
{
    return std::sin(3.14 * x / width);
}

float noiseFadeRow(int32_t y, int32_t height)
{
    return static_cast<float>(std::sin(3.14 * y / height));
}

double noiseFractalFaded(int32_t x, int32_t y, int32_t octaves, float offset, float base,
                         double fadeColumn, float fadeRow)
{
    const double shaped = noiseFractalUnfaded(x, y, octaves, offset, base);
    return noiseFadeApply(fadeColumn, fadeRow, shaped);
}

double noiseFractal(int32_t x, int32_t y, int32_t octaves, int32_t width, int32_t height,
                    float offset, float base, bool fade)
{
    if (!fade)
        return noiseFractalUnfaded(x, y, octaves, offset, base);
    return noiseFractalFaded(x, y, octaves, offset, base, noiseFadeColumn(x, width),
                             noiseFadeRow(y, height));
}

int32_t noiseOctaves(float detail)
{
    if (!(detail < static_cast<float>(NOISE_MAX_OCTAVES)))
        return std::isnan(detail) ? 0 : NOISE_MAX_OCTAVES;
    if (detail <= 0.0f)
        return 0;
    return static_cast<int32_t>(detail);
}
