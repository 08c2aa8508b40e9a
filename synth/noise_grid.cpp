#include "synth/noise_grid.h"

#include "hlib.h"

namespace {

// The per-octave frequencies as noiseFractal steps through them.
void frequencies(int32_t octaves, float *out)
{
    float f = 1.0f;
    for (int32_t o = 0; o < octaves; ++o) {
        out[o] = f;
        f = noiseNextFrequency(f);
    }
}

}  // namespace

bool noiseGridInit(NoiseGrid &grid, const int32_t *xs, int32_t count, int32_t octaves,
                   int32_t width, int32_t height, float offset, float base, bool fade)
{
    grid = NoiseGrid{};
    if (octaves < 0)
        octaves = 0;
    if (octaves > NOISE_MAX_OCTAVES)
        octaves = NOISE_MAX_OCTAVES;
    if (count < 0)
        count = 0;
    const size_t columns = static_cast<size_t>(count);
    // One spare entry keeps both blocks non-empty for zero columns or octaves.
    grid.axes = static_cast<NoiseAxis *>(
        hmsc_HeapMalloc(sizeof(NoiseAxis) * (columns * static_cast<size_t>(octaves) + 1)));
    grid.fades = static_cast<double *>(hmsc_HeapMalloc(sizeof(double) * (columns + 1)));
    if (!grid.axes || !grid.fades) {
        noiseGridFree(grid);
        return false;
    }
    grid.count = count;
    grid.octaves = octaves;
    grid.height = height;
    grid.offset = offset;
    grid.base = base;
    grid.fade = fade;

    float frequency[NOISE_MAX_OCTAVES];
    frequencies(octaves, frequency);
    for (int32_t k = 0; k < count; ++k) {
        grid.fades[k] = noiseFadeColumn(xs[k], width);
        const double xf = static_cast<float>(xs[k]);
        for (int32_t o = 0; o < octaves; ++o)
            grid.axes[static_cast<size_t>(o) * columns + k] =
                noiseAxis(noiseTruncToInt(xf * frequency[o]), noiseState.offsetX);
    }
    return true;
}

void noiseGridRow(const NoiseGrid &grid, int32_t y, double *out)
{
    float frequency[NOISE_MAX_OCTAVES];
    frequencies(grid.octaves, frequency);
    NoiseAxis rowAxis[NOISE_MAX_OCTAVES];
    const double yf = static_cast<float>(y);
    for (int32_t o = 0; o < grid.octaves; ++o)
        rowAxis[o] = noiseAxis(noiseTruncToInt(yf * frequency[o]), noiseState.offsetY);
    const float fadeRow = noiseFadeRow(y, grid.height);
    const size_t columns = static_cast<size_t>(grid.count);

    for (int32_t k = 0; k < grid.count; ++k) {
        float sum = 0.0f;
        for (int32_t o = 0; o < grid.octaves; ++o)
            sum = noiseOctaveAdd(
                sum, noiseGradientAt(grid.axes[static_cast<size_t>(o) * columns + k], rowAxis[o]),
                o + 1);
        const double shaped = noiseShape(sum, -grid.offset, grid.base);
        out[k] = grid.fade ? noiseFadeApply(grid.fades[k], fadeRow, shaped) : shaped;
    }
}

void noiseGridFree(NoiseGrid &grid)
{
    hmsc_HeapFree(grid.axes);
    hmsc_HeapFree(grid.fades);
    grid.axes = nullptr;
    grid.fades = nullptr;
    grid.count = 0;
}

uint8_t noiseColourByte(float component, double v)
{
    double a = (v < 0.0 ? -v : v) * 2.0;  // a NaN stays NaN, and so gives 0 below
    if (a > 1.0)
        a = 1.0;
    a = a * 255.0;
    return static_cast<uint8_t>(noiseTruncToInt(component * a) & 0xff);
}
