// Opening layer files (cloudFileRead: parse, seed and bake every cloud) of
// default-sized clouds:
//   BM_ReadDistinctSeeds/N  N clouds, each with its own seed: every cloud
//                           draws the columns of its gradient table that its
//                           bake reads (6 of 256 at the defaults).
//   BM_ReadSharedSeed/N     N clouds with one seed and zoom: the table is
//                           drawn once and reused.
//   ...WholeTables/N        the same with every table drawn in full at its
//                           build (noiseTableDrawsAll), as opening did before
//                           tables were drawn lazily: the baseline to compare
//                           with in the same run.
// Freeing the clouds (textures and records) is left out of the timing.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "files/layer_file.h"
#include "hlib.h"
#include "headless_gl.h"
#include "plugin/records.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"

namespace {

HeadlessGL &context()
{
    static HeadlessGL gl(16, 16);
    return gl;
}

// Writes a file of count clouds spread over a scene; distinct gives every
// cloud its own seed.
std::string makeFile(int count, bool distinct)
{
    std::vector<CloudRecord> clouds(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        CloudRecord &c = clouds[static_cast<size_t>(i)];
        cloudRecordSetDefaults(&c);
        c.next = i + 1 < count ? &clouds[static_cast<size_t>(i) + 1] : nullptr;
        c.xposition = 1000.0 * (i % 100);
        c.yposition = 1000.0 * (i / 100);
        if (distinct)
            c.seed = 678269.0 + 7.0 * i;
    }
    const std::string name = "/tmp/bench_files_" + std::to_string(::getpid()) + "_" +
                             std::to_string(count) + (distinct ? "_distinct" : "_shared") +
                             ".cloud";
    if (!cloudFileWrite(clouds.data(), name.c_str()))
        std::fprintf(stderr, "bench_files: cannot write %s\n", name.c_str());
    return name;
}

void readFile(benchmark::State &state, bool distinct, bool wholeTables = false)
{
    context().makeCurrent();
    noiseTableDrawsAll = wholeTables;
    const int count = static_cast<int>(state.range(0));
    const std::string name = makeFile(count, distinct);
    for (auto _ : state) {
        CloudRecord *head = cloudFileRead(name.c_str());
        state.PauseTiming();
        glFinish();
        cloudListFree(head);
        state.ResumeTiming();
    }
    std::remove(name.c_str());
    noiseTableDrawsAll = false;
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_ReadDistinctSeeds(benchmark::State &state) { readFile(state, true); }
void BM_ReadDistinctSeedsWholeTables(benchmark::State &state) { readFile(state, true, true); }
void BM_ReadSharedSeed(benchmark::State &state) { readFile(state, false); }
void BM_ReadSharedSeedWholeTables(benchmark::State &state) { readFile(state, false, true); }

BENCHMARK(BM_ReadDistinctSeeds)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDistinctSeedsWholeTables)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSharedSeed)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSharedSeedWholeTables)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
