// Frame time of the bundled example scene at 1280 × 720 on the headless
// context, the plug-in loaded through dlopen as cloudview loads it.
#include <benchmark/benchmark.h>

#include "viewer.h"

namespace {

void BM_ExampleSceneFrame1280x720(benchmark::State &state)
{
    cloudview::Viewer viewer(PLUGIN);
    viewer.runScript(EXAMPLES "/sky.scene");
    viewer.renderRGBA(1280, 720);  // frames the view once, outside the timing
    for (auto _ : state) {
        auto frame = viewer.renderRGBA(1280, 720);
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_ExampleSceneFrame1280x720)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
