/* slice_texture.h — bakes a cloud's density into two stacks of 8-bit
 * luminance textures.
 *
 * The density image is texsize × texsize bytes of noiseFractal (faded at
 * the edges, 256 × |v|). From it, entry k of the horizontal stack keeps the
 * density above level k × step (step = texsize / layers), and entry k of
 * the vertical stack is a side view of image columns k × step .. k × step +
 * step: each density byte raises a bar, centred on the middle row, whose
 * length grows with the density. Only the GL texture names are kept: the
 * pixel buffers and the density image are freed right after the upload.
 *
 * Limits: a cloud whose texsize is below 1 or above sliceTextureMaxSize(),
 * whose layers is below 1 or above CLOUD_LAYERS_MAX, or whose stacks would
 * hold more than CLOUD_TEXTURE_BYTES_MAX bytes (2 × layers × texsize²)
 * gets no textures (both stacks stay null); so does a cloud whose density
 * image or stack arrays cannot be allocated. Drawing treats null stacks as nothing to
 * draw. A slice whose pixel buffer cannot be allocated keeps texture name 0
 * and size 0, and the bake goes on.
 *
 * Density bytes: trunc(256 × |v|), 255 when |v| is 1 or more (a cloud
 * height outside 0..1), 0 when v is not a number.
 *
 * Typical values: texsize 32, layers 10, 20 textures of 1 KiB on the GPU.
 * Needs a current GL context.
 */
#ifndef CLOUDS_SYNTH_SLICE_TEXTURE_H
#define CLOUDS_SYNTH_SLICE_TEXTURE_H

#include <stdint.h>

struct CloudRecord;

struct SliceTexture {
    unsigned char *pixels;  /* texWidth × texHeight bytes while building, else null */
    uint32_t texName;       /* GL texture name; 0 when the pixel buffer failed */
    int32_t texWidth;       /* 0 when the pixel buffer failed */
    int32_t texHeight;      /* 0 when the pixel buffer failed */
    int32_t bitsPerPixel;   /* always 8 */
};

enum SliceKind { threshold = 0, profile = 1 };

/* 1024 × 1024 and 256 layers are far beyond what reads as a cloud (32 and
 * 10 by default); the byte budget, 64 MiB, keeps one cloud from a damaged
 * file or a slip in the dialog from taking gigabytes of GL memory. */
enum { CLOUD_TEXSIZE_LIMIT = 1024, CLOUD_LAYERS_MAX = 256 };
#define CLOUD_TEXTURE_BYTES_MAX (64ll << 20)

/* GL memory a bake of the cloud takes, counted as drivers keep small
 * textures: each of its 2 × layers textures takes texsize² bytes rounded up
 * to whole pages of CLOUD_TEXTURE_PAGE bytes (a page at least). A default
 * cloud takes 20 pages, 80 KiB; 0 for a cloud that gets no textures. */
enum { CLOUD_TEXTURE_PAGE = 4096 };
int64_t cloudTexturesBytes(const CloudRecord &cloud);

/* The largest texsize a bake accepts: CLOUD_TEXSIZE_LIMIT or the GL
 * implementation's maximum texture size, whichever is smaller. Asked of GL
 * once per process. */
int32_t sliceTextureMaxSize(void);

/* Bakes both stacks of the cloud with the noise state as it is. */
void cloudTexturesBuild(CloudRecord &cloud);
/* Deletes the 2 × layers textures and frees both stacks; null stacks are
 * left alone. */
void cloudTexturesFree(CloudRecord &cloud);

/* The density image of the cloud, texsize × texsize bytes, row major.
 * Writes nothing unless 1 ≤ texsize ≤ CLOUD_TEXSIZE_LIMIT. */
void cloudDensityImage(const CloudRecord &cloud, unsigned char *image);
/* Density byte of a noise value. */
unsigned char sliceDensityByte(double v);

void sliceTextureInit(SliceTexture &slice, const unsigned char *image, int32_t width,
                      int32_t height, int32_t lo, int32_t hi, SliceKind kind, int32_t symmetric);
void sliceFillThreshold(int32_t width, int32_t height, const unsigned char *image,
                        unsigned char *out, int32_t lo);
void sliceFillProfile(int32_t width, int32_t height, const unsigned char *image,
                      unsigned char *out, int32_t lo, int32_t hi, int32_t symmetric);
void sliceTextureUpload(SliceTexture &slice);

#endif
