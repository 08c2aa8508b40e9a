// The terrain: opening a 4096 x 4096 model (made here with GDAL), frames at
// 1280 x 720 over it with the valley example's clouds, still and while the
// camera orbits, and the process's resident memory (rss_mib, and
// peak_rss_mib since it began) with the model open and, for the fixed
// cost, in the same scene without it.
// Targets: open <= 2 s, orbiting median >= 30 frames/s, still frame <=
// 150 ms, memory <= 2 x model bytes (64 MiB here; + drape, there is none)
// above the scene without terrain.
#include <benchmark/benchmark.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <cmath>
#include <memory>
#include <vector>

#include <chrono>

#include "process_memory.h"
#include "resolution.h"
#include "viewer.h"

namespace {

constexpr int kSide = 4096;

// Rolling hills over the valley example's footprint (UTM 25S), so that
// its clouds float over them.
const std::string &bigModel()
{
    static const std::string file = [] {
        const std::string name = "/tmp/bench_terrain_4096.tif";
        GDALAllRegister();
        GDALDataset *ds = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
            name.c_str(), kSide, kSide, 1, GDT_Float32, nullptr);
        const double cell = 9989.0 / kSide;
        double gt[6] = {288776.25, cell, 0, 9120760.75, 0, -cell};
        ds->SetGeoTransform(gt);
        OGRSpatialReference srs;
        srs.importFromEPSG(32725);
        ds->SetSpatialRef(&srs);
        std::vector<float> row(kSide);
        for (int r = 0; r < kSide; ++r) {
            for (int c = 0; c < kSide; ++c)
                row[size_t(c)] = float(150.0 + 90.0 * std::sin(c * 0.004) * std::cos(r * 0.003) +
                                       30.0 * std::sin(c * 0.031 + r * 0.017));
            ds->GetRasterBand(1)->RasterIO(GF_Write, 0, r, kSide, 1, row.data(), kSide, 1, GDT_Float32, 0, 0);
        }
        GDALClose(ds);
        return name;
    }();
    return file;
}

struct Scene {
    cloudview::Viewer viewer{PLUGIN};
    explicit Scene(bool withTerrain = true)
    {
        if (withTerrain) {
            terrain::TerrainSettings settings;
            settings.model = bigModel();
            settings.exaggeration = 3.0;
            viewer.openTerrainOverride(settings);
        }
        viewer.openLayerFile(EXAMPLES "/valley.cloud");
        viewer.scene().setView(200, 22, 0);
        viewer.drawScene(1280, 720);  // frames once
    }
};

// The fixed cost: the same clouds over the flat grid, still frames. First
// of all, so that its peak is its own.
void BM_SceneWithoutTerrain(benchmark::State &state)
{
    Scene s(false);
    double azimuth = 200;
    for (auto _ : state) {
        azimuth += 7.0;
        s.viewer.scene().camera().azimuth = azimuth;
        s.viewer.drawScene(1280, 720);
    }
    bench::reportProcessMemory(state);
}
BENCHMARK(BM_SceneWithoutTerrain)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_OpenModel4096(benchmark::State &state)
{
    const std::string &file = bigModel();
    terrain::TerrainSettings settings;
    settings.model = file;
    std::unique_ptr<terrain::Terrain> ground;
    for (auto _ : state) {
        ground.reset();  // one model at a time, as the viewer holds it
        std::vector<std::string> warnings;
        ground = terrain::Terrain::open(settings, warnings);
        benchmark::DoNotOptimize(ground.get());
    }
    bench::reportProcessMemory(state);  // with the last one open
}
BENCHMARK(BM_OpenModel4096)->Unit(benchmark::kMillisecond)->Iterations(3);

// As the window draws while the camera orbits: the resolution governor
// picks the drawing size from the last moving frames; the ground is
// coarser. Argument: the camera's distance (0 frames the whole model).
void BM_OrbitFrame1280x720(benchmark::State &state)
{
    Scene s;
    if (state.range(0) > 0)
        s.viewer.scene().camera().distance = double(state.range(0));
    s.viewer.setMoving(true);
    cloudview::window::ResolutionGovernor governor;
    double azimuth = 200;
    int w = 1280, h = 720;
    for (auto _ : state) {
        azimuth += 1.0;
        s.viewer.scene().camera().azimuth = azimuth;
        cloudview::window::ResolutionGovernor::scaledSize(1280, 720, governor.divisor(true), &w, &h);
        const auto start = std::chrono::steady_clock::now();
        s.viewer.drawScene(w, h);
        governor.movingFrameDrawn(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["tiles"] = double(s.viewer.terrain()->tilesDrawn());
    state.counters["drawn_width"] = double(w);
}
BENCHMARK(BM_OrbitFrame1280x720)->Arg(0)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(60)
    ->Repetitions(3)->ReportAggregatesOnly(true);

// Still, full resolution and full quality (2 px), a new view each time:
// what the first still frame after a move costs. Argument as above.
void BM_StillFrame1280x720(benchmark::State &state)
{
    Scene s;
    if (state.range(0) > 0)
        s.viewer.scene().camera().distance = double(state.range(0));
    s.viewer.setMoving(false);
    double azimuth = 200;
    for (auto _ : state) {
        azimuth += 7.0;  // a new view each time: what a still frame after a move costs
        s.viewer.scene().camera().azimuth = azimuth;
        s.viewer.drawScene(1280, 720);
    }
    state.counters["tiles"] = double(s.viewer.terrain()->tilesDrawn());
    bench::reportProcessMemory(state);
}
BENCHMARK(BM_StillFrame1280x720)->Arg(0)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
