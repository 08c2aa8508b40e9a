#include "synth/slice_texture.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "hlib.h"
#include "plugin/records.h"
#include "synth/noise.h"
#include "tolalib.h"

namespace {

bool bakeable(const CloudRecord &cloud)
{
    if (cloud.texsize < 1 || cloud.texsize > sliceTextureMaxSize() || cloud.layers < 1 ||
        cloud.layers > CLOUD_LAYERS_MAX)
        return false;
    const long long n = cloud.texsize;
    return 2ll * cloud.layers * n * n <= CLOUD_TEXTURE_BYTES_MAX;
}

void freeStacks(CloudRecord &cloud)
{
    hmsc_HeapFree(cloud.hTextures);
    hmsc_HeapFree(cloud.vTextures);
    cloud.hTextures = nullptr;
    cloud.vTextures = nullptr;
}

}  // namespace

int32_t sliceTextureMaxSize(void)
{
    static int32_t maxSize = 0;
    if (maxSize == 0) {
        GLint glMax = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &glMax);
        // Without a context GL answers nothing; fall back on the 1.1 minimum.
        if (glMax < 64)
            return 64;
        maxSize = glMax < CLOUD_TEXSIZE_LIMIT ? glMax : CLOUD_TEXSIZE_LIMIT;
    }
    return maxSize;
}

int64_t cloudTexturesBytes(const CloudRecord &cloud)
{
    if (!bakeable(cloud))
        return 0;
    const int64_t n = cloud.texsize;
    const int64_t pages = (n * n + CLOUD_TEXTURE_PAGE - 1) / CLOUD_TEXTURE_PAGE;
    return 2 * static_cast<int64_t>(cloud.layers) * pages * CLOUD_TEXTURE_PAGE;
}

unsigned char sliceDensityByte(double v)
{
    const double a = std::fabs(v);
    if (std::isnan(a))
        return 0;
    if (a >= 1.0)
        return 255;
    return static_cast<unsigned char>(static_cast<int32_t>(256.0 * a) & 0xff);
}

void cloudDensityImage(const CloudRecord &cloud, unsigned char *image)
{
    const int32_t n = cloud.texsize;
    // The per-column tables hold CLOUD_TEXSIZE_LIMIT columns.
    if (n < 1 || n > CLOUD_TEXSIZE_LIMIT)
        return;
    const int32_t octaves = noiseOctaves(cloud.detail);
    const float offset = cloud.cluster;
    const float base = 1.0f - cloud.height;
    // Everything that depends on the column alone (fade, and per octave the
    // lattice cell, fraction and weight) is computed once per column; the
    // same for rows. The sums match noiseFractal to the bit.
    static double fadeColumn[CLOUD_TEXSIZE_LIMIT];
    static NoiseAxis columnAxis[NOISE_MAX_OCTAVES][CLOUD_TEXSIZE_LIMIT];
    float frequency[NOISE_MAX_OCTAVES];
    float f = 1.0f;
    for (int32_t o = 0; o < octaves; ++o) {
        frequency[o] = f;
        f = noiseNextFrequency(f);
    }
    for (int32_t j = 0; j < n; ++j) {
        fadeColumn[j] = noiseFadeColumn(j, n);
        const double xf = static_cast<float>(j);
        for (int32_t o = 0; o < octaves; ++o)
            columnAxis[o][j] = noiseAxis(noiseTruncToInt(xf * frequency[o]), noiseState.offsetX);
    }
    NoiseAxis rowAxis[NOISE_MAX_OCTAVES];
    for (int32_t i = 0; i < n; ++i) {
        const float fadeRow = noiseFadeRow(i, n);
        const double yf = static_cast<float>(i);
        for (int32_t o = 0; o < octaves; ++o)
            rowAxis[o] = noiseAxis(noiseTruncToInt(yf * frequency[o]), noiseState.offsetY);
        unsigned char *row = image + static_cast<size_t>(i) * n;
        for (int32_t j = 0; j < n; ++j) {
            float sum = 0.0f;
            for (int32_t o = 0; o < octaves; ++o)
                sum = noiseOctaveAdd(sum, noiseGradientAt(columnAxis[o][j], rowAxis[o]), o + 1);
            const double shaped = noiseShape(sum, -offset, base);
            row[j] = sliceDensityByte(noiseFadeApply(fadeColumn[j], fadeRow, shaped));
        }
    }
}

void cloudTexturesBuild(CloudRecord &cloud)
{
    if (!bakeable(cloud)) {
        if (cloud.hTextures || cloud.vTextures)
            cloudTexturesFree(cloud);
        return;
    }
    const int32_t n = cloud.texsize;
    unsigned char *image =
        static_cast<unsigned char *>(hmsc_HeapMalloc(static_cast<size_t>(n) * n));
    if (!image) {
        cloudTexturesFree(cloud);
        return;
    }
    const size_t stackBytes = sizeof(SliceTexture) * static_cast<size_t>(cloud.layers);
    if (!cloud.hTextures)
        cloud.hTextures = static_cast<SliceTexture *>(hmsc_HeapMalloc(stackBytes));
    if (cloud.hTextures && !cloud.vTextures)
        cloud.vTextures = static_cast<SliceTexture *>(hmsc_HeapMalloc(stackBytes));
    if (!cloud.hTextures || !cloud.vTextures) {
        // A half-made pair would break the both-or-neither rule of the stacks.
        freeStacks(cloud);
        hmsc_HeapFree(image);
        return;
    }

    cloudDensityImage(cloud, image);

    const int32_t step = n / cloud.layers;
    for (int32_t k = 0; k < cloud.layers; ++k) {
        const int32_t lo = k * step;
        const int32_t hi = lo + step;
        sliceTextureInit(cloud.hTextures[k], image, n, n, lo, hi, threshold, cloud.symmetric);
        sliceTextureInit(cloud.vTextures[k], image, n, n, lo, hi, profile, cloud.symmetric);
    }
    hhgl_BindTextureEXT(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    hmsc_HeapFree(image);
}

void cloudTexturesFree(CloudRecord &cloud)
{
    if (cloud.hTextures && cloud.vTextures) {
        for (int32_t k = 0; k < cloud.layers; ++k) {
            glDeleteTextures(1, &cloud.hTextures[k].texName);
            glDeleteTextures(1, &cloud.vTextures[k].texName);
        }
    }
    freeStacks(cloud);
}

void sliceTextureInit(SliceTexture &slice, const unsigned char *image, int32_t width,
                      int32_t height, int32_t lo, int32_t hi, SliceKind kind, int32_t symmetric)
{
    slice.pixels = nullptr;
    slice.bitsPerPixel = 8;
    unsigned char *pixels = static_cast<unsigned char *>(
        hmsc_HeapMalloc(static_cast<size_t>(width) * static_cast<size_t>(height)));
    if (!pixels) {
        slice.texWidth = 0;
        slice.texHeight = 0;
        slice.texName = 0;
        return;
    }
    slice.texWidth = width;
    slice.texHeight = height;
    slice.pixels = pixels;
    if (kind == threshold)
        sliceFillThreshold(width, height, image, pixels, lo);
    else
        sliceFillProfile(width, height, image, pixels, lo, hi, symmetric);
    sliceTextureUpload(slice);
}

void sliceFillThreshold(int32_t width, int32_t height, const unsigned char *image,
                        unsigned char *out, int32_t lo)
{
    const int64_t level = lo < 0 ? -static_cast<int64_t>(lo) : lo;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t p = 0; p < count; ++p)
        out[p] = image[p] > level ? static_cast<unsigned char>(image[p] - lo) : 0;
}

namespace {

// The bars of image row c, as the rows of output column c they cover
// (first..last, inclusive); false for a bar of no length.
inline bool profileBar(int32_t s, int32_t width, int32_t height, int32_t symmetric,
                       int32_t &first, int32_t &last)
{
    int32_t L = (s * width) / 64;
    if (symmetric) {
        int32_t m = L / 2;
        if (m >= width / 2)
            m = width / 2 - 1;
        if (m <= 0)
            return false;
        first = height / 2 - m;
        last = height / 2 + m - 1;
    } else {
        if (L >= width)
            L = width - 1;
        if (L <= 0)
            return false;
        first = height - L;
        last = height - 1;
    }
    if (first < 0)
        first = 0;
    if (last > height - 1)
        last = height - 1;
    return first <= last;
}

}  // namespace

void sliceFillProfile(int32_t width, int32_t height, const unsigned char *image,
                      unsigned char *out, int32_t lo, int32_t hi, int32_t symmetric)
{
    std::memset(out, 0, static_cast<size_t>(width) * static_cast<size_t>(height));
    // Image row c becomes output column c, which must exist in the output.
    const int32_t columns = height < width ? height : width;
    const int32_t from = lo < 0 ? 0 : lo;
    const int32_t to = hi < width - 1 ? hi : width - 1;  // r <= hi and r < width
    // Every bar adds 8 (wrapping at 256) to each pixel it covers, so a pixel
    // ends as 8 × (bars covering it), modulo 256. Counting the bars through
    // where they start and stop costs one step per bar and per row instead
    // of one per covered pixel: a slab of a 1024-pixel texture has 1,024
    // columns of up to 1,025 bars of up to 1,022 pixels each.
    int32_t delta[CLOUD_TEXSIZE_LIMIT + 1];
    if (height > CLOUD_TEXSIZE_LIMIT) {
        for (int32_t c = 0; c < columns; ++c) {
            for (int32_t r = from; r <= to; ++r) {
                int32_t first, last;
                if (!profileBar(image[static_cast<size_t>(c) * width + r], width, height,
                                symmetric, first, last))
                    continue;
                for (int32_t row = first; row <= last; ++row) {
                    unsigned char &px = out[static_cast<size_t>(row) * width + c];
                    px = static_cast<unsigned char>(px + 8);
                }
            }
        }
        return;
    }
    for (int32_t c = 0; c < columns; ++c) {
        std::memset(delta, 0, sizeof(int32_t) * (static_cast<size_t>(height) + 1));
        bool any = false;
        for (int32_t r = from; r <= to; ++r) {
            int32_t first, last;
            if (!profileBar(image[static_cast<size_t>(c) * width + r], width, height, symmetric,
                            first, last))
                continue;
            ++delta[first];
            --delta[last + 1];
            any = true;
        }
        if (!any)
            continue;
        int32_t bars = 0;
        for (int32_t row = 0; row < height; ++row) {
            bars += delta[row];
            if (bars)
                out[static_cast<size_t>(row) * width + c] = static_cast<unsigned char>(8 * bars);
        }
    }
}

void sliceTextureUpload(SliceTexture &slice)
{
    const GLenum format = GL_LUMINANCE;
    glGenTextures(1, &slice.texName);
    glBindTexture(GL_TEXTURE_2D, slice.texName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, slice.texWidth);
    glTexImage2D(GL_TEXTURE_2D, 0, format, slice.texWidth, slice.texHeight, 0, format,
                 GL_UNSIGNED_BYTE, slice.pixels);
    hmsc_HeapFree(slice.pixels);
    slice.pixels = nullptr;
}
