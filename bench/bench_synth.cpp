// Noise table builds, density images and full bakes of the default cloud.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <vector>

#include "headless_gl.h"
#include "plugin/records.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"

namespace {

CloudRecord defaultCloud()
{
    CloudRecord c{};
    cloudRecordSetDefaults(&c);
    return c;
}

void BM_TableBuildFresh(benchmark::State &state)
{
    CloudRecord c = defaultCloud();
    for (auto _ : state) {
        c.seed += 1.0;  // a new seed every time: nothing to reuse
        noiseTableBuild(c);
        benchmark::DoNotOptimize(noiseGradients()[255][255]);  // every column drawn
    }
}
BENCHMARK(BM_TableBuildFresh);

// What a default cloud's bake draws of a fresh table: the columns that rows
// 0..31 reach at zoom 41 (0..5 of 256).
void BM_TableBuildFreshDefaultBakeColumns(benchmark::State &state)
{
    CloudRecord c = defaultCloud();
    for (auto _ : state) {
        c.seed += 1.0;
        noiseTableBuild(c);
        benchmark::DoNotOptimize(noiseGradient2(31, 31));
    }
}
BENCHMARK(BM_TableBuildFreshDefaultBakeColumns);

void BM_TableRebuildSameSeed(benchmark::State &state)
{
    CloudRecord c = defaultCloud();
    noiseTableBuild(c);
    for (auto _ : state) {
        noiseTableBuild(c);
        benchmark::DoNotOptimize(noiseGeneratorGet().randLast);
    }
}
BENCHMARK(BM_TableRebuildSameSeed);

void BM_DensityImagePixelByPixel(benchmark::State &state)
{
    CloudRecord c = defaultCloud();
    noiseTableBuild(c);
    std::vector<unsigned char> image(32 * 32);
    for (auto _ : state) {
        for (int i = 0; i < 32; ++i)
            for (int j = 0; j < 32; ++j)
                image[i * 32 + j] = sliceDensityByte(
                    noiseFractal(j, i, noiseOctaves(c.detail), 32, 32, c.cluster, 1.0f - c.height, true));
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(BM_DensityImagePixelByPixel);

void BM_DensityImage(benchmark::State &state)
{
    CloudRecord c = defaultCloud();
    noiseTableBuild(c);
    std::vector<unsigned char> image(32 * 32);
    for (auto _ : state) {
        cloudDensityImage(c, image.data());
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(BM_DensityImage);

void BM_BakeDefaultCloud(benchmark::State &state)
{
    HeadlessGL gl(64, 64);
    CloudRecord c = defaultCloud();
    noiseTableBuild(c);
    for (auto _ : state) {
        cloudTexturesBuild(c);
        cloudTexturesFree(c);
    }
    glFinish();
}
BENCHMARK(BM_BakeDefaultCloud);

}  // namespace

BENCHMARK_MAIN();
