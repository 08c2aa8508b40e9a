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
 * Lazy tables: a build draws nothing at once. The table is filled column by
 * column (j, the y index; every column is 256 cells, 512 draws), and a
 * column is drawn the first time an evaluation reads it. A default cloud's
 * bake (32 × 32 pixels at zoom 41) reads columns 0..5 of 256, so a layer of
 * clouds with distinct seeds opens several times faster, and every value
 * read is the one a whole build would have put there. See NoiseState for
 * what that means to a reader of the state. Several octaves, or a pan,
 * reach further columns and draw them as they go; a table is never drawn
 * twice for the same seed and period in a row.
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
typedef NoiseGradient NoiseGradientTable[256][256]; /* [i][j]: i along x, j along y */

/* The part of the noise state that callers set and read directly.
 *
 * The rest of the state, the generator's two values (randPrev, the older,
 * and randLast, the newer) and the gradient table, lives inside noise.cpp
 * and is not a field here on purpose: after a build, the columns of the
 * table that nothing has read yet are not drawn, and the generator stands
 * where the drawn columns left it rather than after all 131,072 draws. A
 * field would show that difference to whoever reads it. Instead:
 *   - evaluation (noiseGradient2, noiseGradientAt and everything built on
 *     them) draws the columns it reads before reading them;
 *   - noiseGradients() and noiseGeneratorGet() first draw whatever the last
 *     build left undrawn, so they read as after a whole build;
 *   - noiseNext() does the same before it draws, so that draws after a
 *     build continue from the end of the table;
 *   - noiseSeed() and noiseGeneratorSet() replace the generator without
 *     touching the table, which keeps its own place in its draws.
 * So every reader sees what the documented whole build gives. */
struct NoiseState {
    float period;                          /* 4.0 until the first build */
    int32_t offsetX;                       /* pixel offset in x, from the dialog's pan */
    int32_t offsetY;                       /* pixel offset in y */
};

extern NoiseState noiseState;

/* The generator's two values. */
struct NoiseGenerator {
    float randPrev;  /* older value; 0 until the first seed */
    float randLast;  /* newer value; 0 until the first seed */
};

/* Resets the generator (table and period untouched). */
void noiseSeed(float seed);
/* The next draw in [-1, 1]; advances the generator. */
double noiseNext(void);
/* The generator as a whole build leaves it (see NoiseState). */
NoiseGenerator noiseGeneratorGet(void);
/* Replaces the generator's values (table and period untouched). */
void noiseGeneratorSet(NoiseGenerator generator);
/* Sets the period, kept inside the table (see Limits). */
void noiseSetPeriod(float period);
/* Loads the cloud's noise: period = trunc(zoom), generator reseeded from
 * the seed as a float, table to be filled and wrapped (drawn lazily, see
 * NoiseState). A rebuild for the seed and whole period of the table in
 * place keeps the columns drawn so far and the generator's end state. */
void noiseTableBuild(const CloudRecord &cloud);
/* The whole gradient table, every column drawn. All zero before the first
 * build; after a build every component is +1 or -1, and the cells with
 * index p (the whole period) repeat those with index 0. */
const NoiseGradientTable &noiseGradients(void);
/* When set, every build draws its whole table at once, as before tables
 * were drawn lazily. The values are the same either way; benchmarks use it
 * as the baseline and tests to compare both. Off by default. */
extern bool noiseTableDrawsAll;
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
