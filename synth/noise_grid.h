/* noise_grid.h — noiseFractal over many rows of the same columns.
 *
 * A picture that samples the noise at a fixed set of columns on many rows
 * (the dialog's preview) computes what depends on a column alone (its
 * fade, and per octave its lattice cell, fraction and weight) once, then
 * each row at the cost of the corner blends. Values match noiseFractal to
 * the bit. Reads the noise state as it is when a row is evaluated (the
 * column tables take the x offset at init).
 */
#ifndef CLOUDS_SYNTH_NOISE_GRID_H
#define CLOUDS_SYNTH_NOISE_GRID_H

#include <stdint.h>

#include "synth/noise.h"

struct NoiseGrid {
    int32_t count;      /* columns */
    int32_t octaves;    /* capped at NOISE_MAX_OCTAVES */
    int32_t height;     /* the tile height the row fade divides by */
    float offset;       /* noiseFractal's offset */
    float base;         /* noiseFractal's base */
    bool fade;          /* edge fade on */
    NoiseAxis *axes;    /* [octave][column], host heap */
    double *fades;      /* [column], host heap */
};

/* Prepares the tables for the columns xs[0 .. count). False, with nothing
 * held, when the host heap has no room. */
bool noiseGridInit(NoiseGrid &grid, const int32_t *xs, int32_t count, int32_t octaves,
                   int32_t width, int32_t height, float offset, float base, bool fade);
/* out[k] = noiseFractal(xs[k], y, octaves, width, height, offset, base, fade). */
void noiseGridRow(const NoiseGrid &grid, int32_t y, double *out);
void noiseGridFree(NoiseGrid &grid);

/* A noise sample as one byte of a colour picture (the preview, the raster
 * export): |v| doubled and clamped at 1, times 255 and the colour
 * component, truncated, low 8 bits. Not a number, or a product beyond the
 * int32 range, gives 0. */
uint8_t noiseColourByte(float component, double v);

#endif
