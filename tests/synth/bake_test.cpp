// Baking, checked on a real GL context: every texture is read back from GL
// and compared with what its definition says it must hold.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "viewer/hlib/heap_debug.h"
#include "plugin/records.h"
#include "support/gl_env.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"

namespace {

using Bytes = std::vector<unsigned char>;

CloudRecord defaultCloud()
{
    CloudRecord c{};
    cloudRecordSetDefaults(&c);
    return c;
}

Bytes densityOf(const CloudRecord &c)
{
    Bytes image(static_cast<size_t>(c.texsize) * c.texsize);
    cloudDensityImage(c, image.data());
    return image;
}

// The horizontal slice at level lo, pixel by pixel.
Bytes expectedThreshold(const Bytes &image, int lo)
{
    Bytes out(image.size());
    for (size_t p = 0; p < image.size(); ++p)
        out[p] = image[p] > lo ? image[p] - lo : 0;
    return out;
}

// The vertical slice of slab lo..hi, counted per output pixel: how many
// columns of the slab raise a bar over it, 8 each, modulo 256.
Bytes expectedProfile(const Bytes &image, int n, int lo, int hi, bool symmetric)
{
    Bytes out(image.size());
    for (int row = 0; row < n; ++row)
        for (int c = 0; c < n; ++c) {
            int covered = 0;
            for (int r = lo; r <= hi && r < n; ++r) {
                const int len = image[c * n + r] * n / 64;
                if (symmetric) {
                    const int m = std::min(len / 2, n / 2 - 1);
                    covered += m > 0 && row >= n / 2 - m && row < n / 2 + m;
                } else {
                    const int l = std::min(len, n - 1);
                    covered += l > 0 && row >= n - l;
                }
            }
            out[row * n + c] = static_cast<unsigned char>(8 * covered);
        }
    return out;
}

struct BakeTest : ::testing::Test {
    void SetUp() override
    {
        testGL();
        noiseState.offsetX = noiseState.offsetY = 0;
    }
    // Bakes c with its own noise table, as every caller does.
    static void bake(CloudRecord &c)
    {
        noiseTableBuild(c);
        cloudTexturesBuild(c);
    }
    static void checkAgainstImage(const CloudRecord &c)
    {
        const Bytes image = densityOf(c);
        const int n = c.texsize, step = n / c.layers;
        for (int k = 0; k < c.layers; ++k) {
            int w = 0, h = 0;
            EXPECT_EQ(readLuminanceTexture(c.hTextures[k].texName, &w, &h), expectedThreshold(image, k * step))
                << "horizontal " << k;
            EXPECT_EQ(w, n);
            EXPECT_EQ(h, n);
            EXPECT_EQ(readLuminanceTexture(c.vTextures[k].texName),
                      expectedProfile(image, n, k * step, k * step + step, c.symmetric != 0))
                << "vertical " << k;
        }
    }
};

}  // namespace

TEST_F(BakeTest, DensityImageOfTheDefaultCloud)
{
    CloudRecord c = defaultCloud();
    noiseTableBuild(c);
    const Bytes image = densityOf(c);
    const unsigned char row16[] = {0, 5, 12, 18, 21, 20, 17, 14};
    for (int j = 0; j < 8; ++j)
        EXPECT_EQ(image[16 * 32 + j], row16[j]) << j;
    EXPECT_EQ(image[16 * 32 + 16], 68);
    EXPECT_EQ(*std::max_element(image.begin(), image.end()), 77);
    for (int k = 0; k < 32; ++k) {
        EXPECT_EQ(image[k], 0);
        EXPECT_EQ(image[k * 32], 0);
    }
    // The image loop shares sines between pixels; it must agree with the
    // pixel-by-pixel definition everywhere.
    for (int i = 0; i < 32; ++i)
        for (int j = 0; j < 32; ++j)
            ASSERT_EQ(image[i * 32 + j],
                      sliceDensityByte(noiseFractal(j, i, 1, 32, 32, c.cluster, 1.0f - c.height, true)));
}

TEST_F(BakeTest, DensityImageMatchesNoiseFractalWithOctavesAndOffsets)
{
    CloudRecord c = defaultCloud();
    c.texsize = 40;
    c.detail = 4.7f;
    c.zoom = 14.0f;
    c.seed = 235234.0;
    c.height = 0.65f;
    c.cluster = 0.22000003f;
    noiseTableBuild(c);
    noiseState.offsetX = 5;
    noiseState.offsetY = -300;
    const Bytes image = densityOf(c);
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j)
            ASSERT_EQ(image[i * 40 + j],
                      sliceDensityByte(noiseFractal(j, i, 4, 40, 40, c.cluster, 1.0f - c.height, true)))
                << i << "," << j;
}

TEST_F(BakeTest, DefaultCloudTexturesReadBackFromGL)
{
    CloudRecord c = defaultCloud();
    bake(c);
    ASSERT_NE(c.hTextures, nullptr);
    ASSERT_NE(c.vTextures, nullptr);
    checkAgainstImage(c);
    for (int k = 0; k < c.layers; ++k) {
        EXPECT_EQ(c.hTextures[k].pixels, nullptr);
        EXPECT_EQ(c.hTextures[k].bitsPerPixel, 8);
        EXPECT_EQ(c.vTextures[k].texWidth, 32);
        // Names are made in the order h0, v0, h1, v1, ...
        EXPECT_LT(c.hTextures[k].texName, c.vTextures[k].texName);
        if (k + 1 < c.layers) {
            EXPECT_LT(c.vTextures[k].texName, c.hTextures[k + 1].texName);
        }
    }
    // Texture parameters and the state the bake leaves behind.
    glBindTexture(GL_TEXTURE_2D, c.vTextures[3].texName);
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_CLAMP);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &value);
    EXPECT_TRUE(value == GL_LUMINANCE || value == GL_LUMINANCE8) << value;
    glBindTexture(GL_TEXTURE_2D, 0);

    cloudTexturesBuild(c);  // existing stacks are reused
    checkAgainstImage(c);
    cloudTexturesFree(c);
    EXPECT_EQ(c.hTextures, nullptr);
    EXPECT_EQ(c.vTextures, nullptr);
}

TEST_F(BakeTest, BakeLeavesTexturingOffAndUnbound)
{
    CloudRecord c = defaultCloud();
    glEnable(GL_TEXTURE_2D);
    bake(c);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    cloudTexturesFree(c);
}

TEST_F(BakeTest, SlabsWhenTexsizeIsNotAMultipleOfLayers)
{
    for (int layers : {8, 40, 1, 3, 32}) {
        CloudRecord c = defaultCloud();
        c.layers = layers;
        bake(c);
        ASSERT_NE(c.hTextures, nullptr) << layers;
        checkAgainstImage(c);
        if (layers == 40) {  // step 0: full image and column 0 everywhere
            const Bytes first = readLuminanceTexture(c.vTextures[0].texName);
            EXPECT_EQ(readLuminanceTexture(c.hTextures[39].texName), densityOf(c));
            EXPECT_EQ(readLuminanceTexture(c.vTextures[39].texName), first);
        }
        cloudTexturesFree(c);
    }
}

TEST_F(BakeTest, OtherSizesAndBottomProfiles)
{
    CloudRecord c = defaultCloud();
    c.texsize = 20;  // not a power of two
    c.detail = 3.0f;
    c.symmetric = 0;
    bake(c);
    checkAgainstImage(c);
    cloudTexturesFree(c);
    c.texsize = 1;
    c.layers = 1;
    bake(c);
    ASSERT_NE(c.hTextures, nullptr);
    EXPECT_EQ(readLuminanceTexture(c.hTextures[0].texName), Bytes{0});
    cloudTexturesFree(c);
}

TEST(SliceFill, ProfileCapsAndWraps)
{
    const int n = 32;
    Bytes image(n * n, 0), out(n * n);
    image[5 * n + 0] = 255;  // L = 127
    sliceFillProfile(n, n, image.data(), out.data(), 0, 0, 0);
    for (int row = 0; row < n; ++row)
        EXPECT_EQ(out[row * n + 5], row >= 1 ? 8 : 0) << row;  // capped to 31 rows
    sliceFillProfile(n, n, image.data(), out.data(), 0, 0, 1);
    for (int row = 0; row < n; ++row)
        EXPECT_EQ(out[row * n + 5], row >= 1 && row <= 30 ? 8 : 0) << row;  // m capped to 15
    // 32 columns covering one pixel wrap it to 0.
    std::fill(image.begin(), image.end(), 255);
    sliceFillProfile(n, n, image.data(), out.data(), 0, 31, 1);
    EXPECT_EQ(out[16 * n + 3], 0);
    sliceFillProfile(n, n, image.data(), out.data(), 0, 30, 1);
    EXPECT_EQ(out[16 * n + 3], 248);
    // A zero byte adds nothing.
    std::fill(image.begin(), image.end(), 0);
    sliceFillProfile(n, n, image.data(), out.data(), 0, 31, 1);
    EXPECT_EQ(out, Bytes(n * n, 0));
}

// Profiles of random images, any shape (an image row becomes an output
// column, so only min(width, height) of them land), slabs reaching outside
// the image, both bar kinds, against the bars added 8 at a time pixel by
// pixel; the last size is taller than any texture a bake makes.
TEST(SliceFill, ProfilesOfAnyShapeAreTheirBarsAddedPixelByPixel)
{
    struct Shape {
        int width, height, lo, hi;
    };
    const Shape shapes[] = {{32, 32, 0, 3},   {32, 32, 27, 30}, {32, 32, 28, 32},
                            {16, 40, -5, 20}, {40, 16, 0, 39},  {1, 1, 0, 0},
                            {7, 3, 2, 2},     {64, 64, 0, 63},  {8, 1100, 0, 7}};
    std::srand(7);
    for (const Shape &sh : shapes) {
        for (int symmetric = 0; symmetric < 2; ++symmetric) {
            SCOPED_TRACE(::testing::Message() << sh.width << " x " << sh.height << " slab " << sh.lo
                                              << ".." << sh.hi << " symmetric " << symmetric);
            const size_t size = static_cast<size_t>(sh.width) * sh.height;
            Bytes image(size), out(size, 0xAA), expected(size, 0);
            for (unsigned char &b : image)
                b = static_cast<unsigned char>(std::rand() % 4 == 0 ? 255 : std::rand() & 0xff);
            const int columns = std::min(sh.width, sh.height);
            for (int c = 0; c < columns; ++c)
                for (int r = std::max(sh.lo, 0); r <= sh.hi && r < sh.width; ++r) {
                    const int L = image[static_cast<size_t>(c) * sh.width + r] * sh.width / 64;
                    int first, last;
                    if (symmetric) {
                        const int m = std::min(L / 2, sh.width / 2 - 1);
                        if (m <= 0)
                            continue;
                        first = sh.height / 2 - m;
                        last = sh.height / 2 + m - 1;
                    } else {
                        const int l = std::min(L, sh.width - 1);
                        if (l <= 0)
                            continue;
                        first = sh.height - l;
                        last = sh.height - 1;
                    }
                    for (int row = std::max(first, 0); row <= std::min(last, sh.height - 1); ++row) {
                        unsigned char &px = expected[static_cast<size_t>(row) * sh.width + c];
                        px = static_cast<unsigned char>(px + 8);
                    }
                }
            sliceFillProfile(sh.width, sh.height, image.data(), out.data(), sh.lo, sh.hi, symmetric);
            EXPECT_EQ(out, expected);
        }
    }
}

TEST(DensityImage, SizesBeyondItsTablesWriteNothing)
{
    CloudRecord c = defaultCloud();
    c.texsize = CLOUD_TEXSIZE_LIMIT + 1;
    Bytes image(4, 7);  // far too small: AddressSanitizer would see a write
    cloudDensityImage(c, image.data());
    EXPECT_EQ(image, Bytes(4, 7));
}

TEST(SliceFill, ThresholdLevels)
{
    const Bytes image = {0, 1, 3, 4, 77, 255};
    Bytes out(image.size());
    sliceFillThreshold(6, 1, image.data(), out.data(), 0);
    EXPECT_EQ(out, image);
    sliceFillThreshold(6, 1, image.data(), out.data(), 3);
    EXPECT_EQ(out, (Bytes{0, 0, 0, 1, 74, 252}));
}

TEST(DensityByte, MagnitudesOutsideTheUnitRange)
{
    EXPECT_EQ(sliceDensityByte(0.0), 0);
    EXPECT_EQ(sliceDensityByte(-0.26624), 68);
    EXPECT_EQ(sliceDensityByte(0.999999), 255);
    EXPECT_EQ(sliceDensityByte(1.0), 255);
    EXPECT_EQ(sliceDensityByte(-7.5), 255);
    EXPECT_EQ(sliceDensityByte(INFINITY), 255);
    EXPECT_EQ(sliceDensityByte(NAN), 0);
}

TEST_F(BakeTest, HeightOutsideTheUnitRangeBakesDefinedBytes)
{
    CloudRecord c = defaultCloud();
    c.height = 3.0f;  // base -2: |v| far above 1 in places, NaN in others
    noiseTableBuild(c);
    const Bytes image = densityOf(c);
    for (int i = 1; i < 32; ++i)
        for (int j = 1; j < 32; ++j) {
            const double v = noiseFractal(j, i, 1, 32, 32, c.cluster, 1.0f - c.height, true);
            const unsigned char expected = std::isnan(v) ? 0 : std::fabs(v) >= 1.0 ? 255 : 0xff & int(256 * std::fabs(v));
            ASSERT_EQ(image[i * 32 + j], expected);
        }
}

TEST_F(BakeTest, SizesThatCannotBeBakedLeaveNoTextures)
{
    const size_t live = hmsc_HeapLiveBlocks();
    struct Case {
        int texsize, layers;
    } cases[] = {{0, 10}, {-32, 10}, {32, 0}, {32, -1}, {1 << 20, 10},
                 {sliceTextureMaxSize() + 1, 1}, {32, CLOUD_LAYERS_MAX + 1}, {32, INT32_MAX},
                 {1024, 33}};  // 66 MiB of textures: over the budget
    for (const Case &k : cases) {
        CloudRecord c = defaultCloud();
        c.texsize = k.texsize;
        c.layers = k.layers;
        bake(c);
        EXPECT_EQ(c.hTextures, nullptr) << k.texsize << " " << k.layers;
        EXPECT_EQ(c.vTextures, nullptr);
        cloudTexturesFree(c);  // harmless on null stacks
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
    }
    // Just inside every limit: baked.
    CloudRecord big = defaultCloud();
    big.texsize = 1024;
    big.layers = 32;
    bake(big);
    EXPECT_NE(big.hTextures, nullptr);
    cloudTexturesFree(big);
    EXPECT_GE(sliceTextureMaxSize(), 64);
    EXPECT_LE(sliceTextureMaxSize(), CLOUD_TEXSIZE_LIMIT);
}

TEST_F(BakeTest, AtRestABakedCloudHoldsOnlyItsTwoStacks)
{
    CloudRecord c = defaultCloud();
    noiseTableBuild(c);
    const size_t live = hmsc_HeapLiveBlocks();
    const unsigned long before = hmsc_HeapAllocationCount();
    cloudTexturesBuild(c);
    // image, two stacks, one pixel buffer per slice
    EXPECT_EQ(hmsc_HeapAllocationCount() - before, 3u + 2u * c.layers);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live + 2);
    cloudTexturesFree(c);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
}

TEST_F(BakeTest, EveryAllocationOfABakeMayFail)
{
    CloudRecord c = defaultCloud();
    c.layers = 4;
    noiseTableBuild(c);
    const Bytes image = densityOf(c);
    const size_t live = hmsc_HeapLiveBlocks();
    const int allocations = 3 + 2 * c.layers;
    for (int nth = 1; nth <= allocations; ++nth) {
        hmsc_HeapFailAfter(nth);
        cloudTexturesBuild(c);
        hmsc_HeapFailAfter(0);
        if (nth <= 3) {  // the image or a stack array: nothing baked
            EXPECT_EQ(c.hTextures, nullptr) << nth;
            EXPECT_EQ(c.vTextures, nullptr) << nth;
        } else {  // one slice: name 0, size 0, the others baked
            const int slice = nth - 4;  // h0, v0, h1, v1, ...
            ASSERT_NE(c.hTextures, nullptr);
            const SliceTexture &failed =
                slice % 2 == 0 ? c.hTextures[slice / 2] : c.vTextures[slice / 2];
            EXPECT_EQ(failed.texName, 0u) << nth;
            EXPECT_EQ(failed.texWidth, 0);
            EXPECT_EQ(failed.texHeight, 0);
            EXPECT_EQ(failed.pixels, nullptr);
            const SliceTexture &other =
                slice % 2 == 0 ? c.vTextures[slice / 2] : c.hTextures[slice / 2];
            EXPECT_NE(other.texName, 0u);
            EXPECT_EQ(readLuminanceTexture(c.hTextures[c.layers - 1].texName),
                      nth == allocations - 1 ? Bytes{} : expectedThreshold(image, 24));
        }
        cloudTexturesFree(c);
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << nth;
    }
}
