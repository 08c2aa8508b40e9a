/* noise.h — seeded two-dimensional gradient noise, shaped into a density.
 *
 * One process-wide state holds a 256 × 256 table of diagonal gradients,
 * filled from a cloud's seed by a small additive lagged generator, the
 * noise period (lattice cells across 256 pixels, the cloud's zoom) and a
 * pixel offset (the dialog's pan). Evaluation reads the table as it is:
 * whoever evaluates noise for a cloud builds its table first.
 *
 * Exactness: every value here is reproducible to the bit. Each step keeps
 * the precision written beside it (float where float, double where
 * double); float-to-int conversions truncate toward zero.
 *
 * Limits: the period is kept in 0 ≤ period < 256 where it enters the
 * state (noiseSetPeriod): a negative or NaN zoom reads as 0 (noise 0
 * everywhere), 256 or more as the largest float below 256. Within the
 * range nothing changes.
 *
 * Typical values: zoom 41 (lookups use rows and columns 0..41), seed
 * 678269, one octave, 32 × 32 pixels per tile.
 */
#ifndef CLOUDS_SYNTH_NOISE_H
#define CLOUDS_SYNTH_NOISE_H

#include <stdint.h>

struct CloudRecord;

struct NoiseGradient {
    float gx, gy;
};

struct NoiseState {
    float period;                          /* 4.0 until the first build */
    int32_t offsetX;                       /* pixel offset in x, from the dialog's pan */
    int32_t offsetY;                       /* pixel offset in y */
    float randPrev;                        /* older generator value */
    float randLast;                        /* newer generator value */
    NoiseGradient gradients[256][256];     /* [i][j]: i along x, j along y */
};

extern NoiseState noiseState;

/* Resets the generator (table and period untouched). */
void noiseSeed(float seed);
/* The next draw in [-1, 1]; advances the generator. */
double noiseNext(void);
/* Sets the period, kept inside the table (see Limits). */
void noiseSetPeriod(float period);
/* Loads the cloud's noise: period = trunc(zoom), generator reseeded from
 * the seed as a float, table refilled and wrapped. A rebuild for the seed
 * and whole period of the table in place restores the generator state
 * that the build left and skips the fill. */
void noiseTableBuild(const CloudRecord &cloud);
/* One octave at an integer pixel. */
double noiseGradient2(int32_t x, int32_t y);

/* noiseGradient2 in two halves: what depends on x alone and on y alone
 * (lattice cell, fraction, cubic weight) and the corner blend. Image loops
 * compute the halves once per column and once per row. */
struct NoiseAxis {
    int32_t cell;   /* lattice index */
    float frac;     /* position inside the cell, [0, 1) */
    double weight;  /* 3 frac^2 - 2 frac^3 */
};
NoiseAxis noiseAxis(int32_t coordinate, int32_t offset);
double noiseGradientAt(const NoiseAxis &x, const NoiseAxis &y);

/* One step of the octave sum: octave n (from 1) adds g / (2n), rounded to
 * a float; the frequency triples, rounded to a float. */
inline float noiseOctaveAdd(float sum, double g, int32_t n)
{
    return static_cast<float>(sum + g * 1.0 / (2.0 * n));
}
inline float noiseNextFrequency(float frequency)
{
    return static_cast<float>(frequency * 3.0);
}
/* 1 - base^max(value - floor, 0). */
double noiseShape(float value, float floor, float base);
/* The shaped density at pixel (x, y); fade multiplies by the edge fade
 * sin(3.14 x / width) sin(3.14 y / height). At most NOISE_MAX_OCTAVES
 * octaves are summed. */
double noiseFractal(int32_t x, int32_t y, int32_t octaves, int32_t width, int32_t height,
                    float offset, float base, bool fade);

/* The pieces of noiseFractal, for callers that evaluate whole images: the
 * fade of a column depends only on x and the fade of a row only on y, so
 * they are worth computing once per column and once per row. */
double noiseFractalUnfaded(int32_t x, int32_t y, int32_t octaves, float offset, float base);
double noiseFadeColumn(int32_t x, int32_t width);
float noiseFadeRow(int32_t y, int32_t height);
double noiseFractalFaded(int32_t x, int32_t y, int32_t octaves, float offset, float base,
                         double fadeColumn, float fadeRow);
inline double noiseFadeApply(double fadeColumn, float fadeRow, double shaped)
{
    return fadeColumn * fadeRow * static_cast<float>(shaped);
}

/* Octave count for a cloud's detail: truncated toward zero, at most
 * NOISE_MAX_OCTAVES. Beyond about twenty octaves the coordinates leave the
 * 32-bit range and every further octave samples one fixed cell (the pan's),
 * so a larger detail only adds the same small term again and again while
 * costing a pass per pixel each; the cap bounds that cost. Without a pan
 * that cell's noise is 0 and nothing changes; with one, a detail above 32
 * differs by a few density units from the uncapped sum. */
enum { NOISE_MAX_OCTAVES = 32 };
int32_t noiseOctaves(float detail);

/* A seed as the generator takes it: the 64-bit value rounded to a float,
 * and ±infinity beyond the float range. */
float noiseSeedAsFloat(double seed);

/* Float-to-int truncation as the x86 conversion does it: toward zero, and
 * INT32_MIN for values outside the int32 range or not a number. */
int32_t noiseTruncToInt(double value);

#endif
