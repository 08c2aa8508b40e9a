#include "synth/noise.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "plugin/records.h"

NoiseState noiseState = {4.0f, 0, 0};
bool noiseTableDrawsAll = false;

namespace {

NoiseGenerator generator = {0.0f, 0.0f};

// The gradient table with what it was built from and how far it is drawn.
// Columns 0 .. drawn - 1 hold their draws, wrapped; the other columns hold
// whatever an earlier build left there and are never read before they are
// drawn. resume is the generator's state after the drawn columns, so that
// drawing can go on from there whatever has happened to the generator since.
struct Table {
    NoiseGradientTable cells;
    bool built;         // a build has happened; before it the table is all zero
    uint32_t seedBits;  // the seed as a float, bit for bit
    int32_t period;     // the whole period p the wrap is for
    int32_t drawn;      // columns drawn, 0..256
    NoiseGenerator resume;
};
Table table = {{}, false, 0, 0, 256, {0.0f, 0.0f}};

// Set by a build: the generator belongs to it and stands, as documented,
// after the whole table's draws, which is table.resume once every column
// is drawn. Cleared by anything that gives the generator other values.
bool generatorAtBuildEnd = false;

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

double step(NoiseGenerator &g)
{
    double c = static_cast<double>(g.randPrev) + static_cast<double>(g.randLast);
    if (c > 1.0)
        c -= 1.0;
    g.randPrev = g.randLast;
    g.randLast = static_cast<float>(c);
    return 2.0 * c - 1.0;
}

// Cells with index p repeat those with index 0, so one octave tiles every
// 256 pixels without a seam. Applied to each column j as it is drawn: for
// j < p, cell (p, j) takes cell (0, j); column p takes cells (k, 0) for k =
// 0..p from column 0, drawn before it, whose cell (p, 0) already holds cell
// (0, 0). The result is the table-wide wrap's, after which cells (0, p),
// (p, 0) and (p, p) all hold cell (0, 0).
void wrapColumn(int32_t j)
{
    const int32_t p = table.period;
    NoiseGradient(*g)[256] = table.cells;
    if (j < p) {
        g[p][j] = g[0][j];
    } else if (j == p) {
        for (int32_t k = 0; k <= p; ++k)
            g[k][p] = g[k][0];
    }
}

// Draws the columns up to (not including) column end, 512 draws each in
// the order of a whole build.
void drawColumns(int32_t end)
{
    if (end > 256)
        end = 256;
    if (end <= table.drawn)
        return;
    NoiseGenerator g = table.resume;
    for (int32_t j = table.drawn; j < end; ++j) {
        for (int32_t i = 0; i < 256; ++i) {
            const float r1 = static_cast<float>(step(g));
            const float r2 = static_cast<float>(step(g));
            table.cells[i][j].gx = signOf(r1);
            table.cells[i][j].gy = signOf(r2);
        }
        wrapColumn(j);
    }
    table.resume = g;
    table.drawn = end;
}

// Brings the generator to where a whole build leaves it, if it is still
// the last build's.
void generatorToBuildEnd()
{
    if (!generatorAtBuildEnd)
        return;
    drawColumns(256);
    generator = table.resume;
    generatorAtBuildEnd = false;
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
    generator.randPrev = 0.123341f;
    generator.randLast = static_cast<float>(static_cast<double>(seed) * static_cast<double>(1e-7f));
    generatorAtBuildEnd = false;
}

double noiseNext(void)
{
    generatorToBuildEnd();
    return step(generator);
}

NoiseGenerator noiseGeneratorGet(void)
{
    generatorToBuildEnd();
    return generator;
}

void noiseGeneratorSet(NoiseGenerator g)
{
    generator = g;
    generatorAtBuildEnd = false;
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
    const int32_t p = static_cast<int32_t>(noiseState.period);

    // The table in place is kept, with the columns drawn so far, when it is
    // this seed's and wrapped for this period (a layer of clouds sharing one
    // seed, the dialog's many rebuilds). Otherwise it starts undrawn.
    if (!(table.built && table.seedBits == floatBits(seed) && table.period == p)) {
        table.built = true;
        table.seedBits = floatBits(seed);
        table.period = p;
        table.drawn = 0;
        table.resume = generator;
    }
    generatorAtBuildEnd = true;
    if (noiseTableDrawsAll)
        drawColumns(256);
}

const NoiseGradientTable &noiseGradients(void)
{
    drawColumns(256);
    return table.cells;
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
    const int i = ax.cell, j = ay.cell;
    // Columns j and j + 1 are read; every drawn column is drawn in full, so
    // the x cells need nothing more.
    if (j + 2 > table.drawn)
        drawColumns(j + 2);
    const NoiseGradientTable &g = table.cells;
    const NoiseGradient g00 = g[i][j];
    const NoiseGradient g01 = g[i][j + 1];
    const NoiseGradient g10 = g[i + 1][j];
    const NoiseGradient g11 = g[i + 1][j + 1];

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
