// Framing a large layer: what the viewer does on opening a layer, on F and
// on a render without a distance. The layer is a weather layer's size:
// 10,000 small clouds on a 100 × 100 grid at UTM coordinates, the boxes
// of every cloud caught in feedback and split into pieces.
//   BM_FrameLayerAlone   the layer shown alone: the box follows the drawing
//                        (an extra coarse pass finds where it lies).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "viewer.h"

namespace {

// The layer file, written as a weather layer's cloud a cell would be.
std::string writeLayer(int side)
{
    const std::string name = (std::filesystem::temp_directory_path() /
                              ("bench_framing_" + std::to_string(::getpid()) + ".cloud"))
                                 .string();
    std::ofstream out(name);
    out << "TOLA_Cloud_Layer_File_V1.1\n" << side * side << " clouds_in_file\n";
    char line[256];
    for (int i = 0; i < side * side; ++i) {
        const double x = 571895.275098 + 1041.0 * (i % side);
        const double y = 5541231.398065 - 1041.0 * (i / side);
        std::snprintf(line, sizeof line,
                      "Cloud_%d\n0.700000 1.050000 3.000000 24.000000 0.500000\n"
                      "4 0 0 16 1\n%f %f 4500.000000 936.900000 -936.900000 2500.000000\n"
                      "6 6 8 0.980000 0.980000 1.000000\n%f 1.000000\n",
                      i, x, y, double(1000 + 7919 * i % 6400000));
        out << line;
    }
    if (!out)
        std::fprintf(stderr, "bench_framing: cannot write %s\n", name.c_str());
    return name;
}

void BM_FrameLayerAlone(benchmark::State &state)
{
    const std::string file = writeLayer(100);
    cloudview::Viewer viewer(PLUGIN);
    viewer.openLayerFile(file);  // bakes every cloud: outside the timing
    std::filesystem::remove(file);
    viewer.frameContent();       // the first pass sets up GL state once
    for (auto _ : state) {
        viewer.frameContent();
        benchmark::DoNotOptimize(viewer.scene().camera().distance);
    }
    state.counters["clouds"] = 100 * 100;
}
BENCHMARK(BM_FrameLayerAlone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
