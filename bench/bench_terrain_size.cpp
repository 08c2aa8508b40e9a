// The ground at any size: models of 4,096², 16,384² and 65,536² samples
// (made here with GDAL, once, and kept in /tmp), each opened with its first
// full-quality frame, shown in a five-view tour and a 64-view orbit, and
// the 65,536² one orbited by a streaming window. Each case reports the
// process's resident memory (rss_mib, peak_rss_mib), what the ground
// counts against its budget (ground_mib) and the tiles of its last frame.
//
// The models, all Float32, tiled GeoTIFF in UTM zone 25S over the valley
// example's footprint (9,989 m a side), relief of sines from 1,249 m down
// to four samples a wavelength, amplitude halving with the wavelength:
//   4,096²   /tmp/bench_terrain_size_4096.tif   read whole, no overviews
//   16,384²  /tmp/bench_terrain_size_16384.tif  with overviews 2..256
//   65,536²  /tmp/bench_terrain_size_65536.vrt  one 8,192² file
//            (/tmp/bench_terrain_size_tile8192.tif, overviews 2..1024)
//            mosaicked 8 x 8 times, with an overview VRT of each factor
//            2..1024 that GDAL answers from the file's own overviews
// Making them takes about 20 s the first time (1.9 GB in /tmp, most of
// it the 16,384² file and its overviews); BM_MakeModels does it alone,
// and its peak is GDAL's writing cache. All the cases take about 4 min.
//
// Peak RSS is the process's, so a memory case tells its own peak only
// when it runs alone: bench/terrain_sizes.sh runs each case in its own
// process and prints them against the budget plus the fixed cost (the
// scene without terrain), e.g.
//   bench_terrain_size --benchmark_filter='^BM_MakeModels/'
//   bench_terrain_size --benchmark_filter='^BM_SceneWithoutTerrain/'
//   bench_terrain_size --benchmark_filter='^BM_Tour/65536/'
//   bench_terrain_size --benchmark_filter='^BM_Orbit64/65536/1024/'
// BENCH_TERRAIN_SIZE_FRAMES=1 prints each streaming frame on stderr.
//
// Targets: open + first frame <= 2 s each; tour and orbit peak <= budget
// (1,024 MiB, and 96 MiB in one orbit) + the fixed cost; streaming orbit
// median <= 33 ms, no frame over 100 ms.
//
// Measured on 2 cores of a 2.1 GHz x86_64 VM, Mesa llvmpipe, GDAL 3.6.2,
// shared with other builds (load average 5.9 to 7.0), so wall times are
// stretched; cpu is the draw thread's own time. 2026-12-09, all in 157 s:
//   fixed cost, the scene without terrain         peak 130 MiB
//   open + first frame   4,096² 1.17 s    16,384² 0.40 s    65,536² 0.40 s
//   five-view tour       4,096² 5.4 s, peak 404 MiB;  16,384² 6.4 s,
//                        365 MiB;  65,536² 5.1 s, 323 MiB
//   64-view orbit        4,096² 22.4 s, peak 543 MiB;  16,384² 33.0 s,
//                        706 MiB;  65,536² 35.0 s, 606 MiB
//                        (limit 1,024 + 130 MiB: all within)
//   64-view orbit, 65,536², budget 96 MiB: peak 491 MiB, over its limit
//                        of 226 MiB, while the ground counts 84 MiB held
//   streaming orbit 65,536², 179 frames after the first:
//     at 2.5 km  median 16 ms, max 54 ms; 25 frames with tiles pending:
//                median 23 ms, max 48 ms; cpu median 4.9 ms, max 30 ms;
//                first frame 103 ms
//     at 500 m   median 14 ms, max 90 ms; 132 frames with tiles pending:
//                median 16 ms, max 90 ms; cpu median 7.6 ms, max 54 ms;
//                first frame 76 ms
//   Other runs at the same load gave maxima of 136 to 316 ms with the
//   draw thread's own time at most 70 ms: the wall clock's maxima here
//   are the other processes'.
#include <benchmark/benchmark.h>
#include <cpl_conv.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "process_memory.h"
#include "resolution.h"
#include "viewer.h"

namespace {

// The valley example's footprint (UTM 25S), so that its clouds float over
// every model.
constexpr double kWest = 288776.25, kNorth = 9120760.75, kWidth = 9989.0;
constexpr double kPi = 3.14159265358979323846;
constexpr int kTileSide = 8192;       // the mosaic's one file
constexpr int kMosaicSide = 65536;    // 8 x 8 of it
constexpr double kExaggeration = 3.0;
const char *const kPrefix = "/tmp/bench_terrain_size_";

bool exists(const std::string &file)
{
    return std::ifstream(file).good();
}

std::string utmWkt()
{
    OGRSpatialReference srs;
    srs.importFromEPSG(32725);
    char *wkt = nullptr;
    srs.exportToWkt(&wkt);
    std::string text = wkt;
    CPLFree(wkt);
    return text;
}

// Heights of sines of several scales: each period of `period` samples
// holds waves of 1, 2, 4, ... cycles (down to four samples a wave), the
// amplitude halving with the wavelength, so every level of the quadtree
// has its own detail to refine into. Whole cycles a period make the 8,192²
// file tile seamlessly; `broad` adds hills wider than a period. Rows are
// computed from per-column and per-row tables (the waves are separable),
// so a 16,384² model takes seconds, not minutes.
class Relief {
public:
    Relief(int side, int period, bool broad) : side_(side), broad_(broad)
    {
        cell_ = kWidth / side;
        for (int n = 1; period / n >= 4; n *= 2) {
            Octave o;
            o.amplitude = 30.0 / n;
            const double k = double(octaves_.size());
            const double phase = 0.7 + 1.9 * k, turn = 0.3 + 2.3 * k;
            for (int c = 0; c < side; ++c) {
                const double a = 2 * kPi * n * (c + 0.5) / period;
                o.columns.push_back({std::sin(a + phase), std::sin(a + turn), std::cos(a + turn)});
            }
            for (int r = 0; r < side; ++r) {
                const double b = 2 * kPi * n * (r + 0.5) / period;
                o.rows.push_back({std::cos(b + 1.3 * phase), std::cos(b), std::sin(b)});
            }
            octaves_.push_back(std::move(o));
        }
    }
    void row(int r, float *out) const
    {
        for (int c = 0; c < side_; ++c) {
            const double x = (c + 0.5) * cell_, y = (r + 0.5) * cell_;
            double h = 150.0;
            if (broad_)
                h += 90.0 * std::sin(x * 0.0016) * std::cos(y * 0.0012);
            for (const Octave &o : octaves_) {
                const Wave &u = o.columns[size_t(c)], &v = o.rows[size_t(r)];
                h += o.amplitude * (u[0] * v[0] + 0.5 * (u[1] * v[1] - u[2] * v[2]));
            }
            out[c] = float(h);
        }
    }

private:
    using Wave = std::array<double, 3>;
    struct Octave {
        double amplitude = 0.0;
        std::vector<Wave> columns, rows;
    };
    int side_;
    bool broad_;
    double cell_;
    std::vector<Octave> octaves_;
};

// A tiled Float32 GeoTIFF of the relief, with overviews of factors 2..
// maxFactor (none for 0), made under a temporary name and renamed, so a
// run cut short leaves nothing that looks finished.
void writeModel(const std::string &file, int side, int period, bool broad, int maxFactor)
{
    GDALAllRegister();
    const std::string part = file + ".part.tif";
    char **options = nullptr;
    options = CSLSetNameValue(options, "TILED", "YES");
    options = CSLSetNameValue(options, "BLOCKXSIZE", "256");
    options = CSLSetNameValue(options, "BLOCKYSIZE", "256");
    options = CSLSetNameValue(options, "BIGTIFF", "IF_SAFER");
    GDALDataset *ds = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        part.c_str(), side, side, 1, GDT_Float32, options);
    CSLDestroy(options);
    if (!ds)
        throw std::runtime_error(part + ": " + CPLGetLastErrorMsg());
    const double cell = kWidth / side;
    double gt[6] = {kWest, cell, 0, kNorth, 0, -cell};
    ds->SetGeoTransform(gt);
    OGRSpatialReference srs;
    srs.importFromEPSG(32725);
    ds->SetSpatialRef(&srs);
    const Relief relief(side, period, broad);
    constexpr int kStrip = 256;
    std::vector<float> strip(size_t(side) * kStrip);
    for (int r0 = 0; r0 < side; r0 += kStrip) {
        for (int r = 0; r < kStrip; ++r)
            relief.row(r0 + r, strip.data() + size_t(r) * side);
        if (ds->GetRasterBand(1)->RasterIO(GF_Write, 0, r0, side, kStrip, strip.data(), side, kStrip,
                                           GDT_Float32, 0, 0, nullptr) != CE_None)
            throw std::runtime_error(part + ": " + CPLGetLastErrorMsg());
    }
    std::vector<int> factors;
    for (int f = 2; f <= maxFactor; f *= 2)
        factors.push_back(f);
    if (!factors.empty() && ds->BuildOverviews("AVERAGE", int(factors.size()), factors.data(), 0,
                                               nullptr, nullptr, nullptr) != CE_None)
        throw std::runtime_error(part + ": " + CPLGetLastErrorMsg());
    GDALClose(ds);
    if (std::rename(part.c_str(), file.c_str()) != 0)
        throw std::runtime_error(file + ": cannot rename it from " + part);
}

std::string xmlEscaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string baseName(const std::string &file)
{
    return file.substr(file.rfind('/') + 1);
}

// A VRT of side² samples: the tile file 8 x 8 times, each copy's DstRect
// scaled by 1/factor; overviews (file names) listed in its band.
void writeMosaic(const std::string &file, int factor, const std::string &tile,
                 const std::vector<std::string> &overviews)
{
    const int side = kMosaicSide / factor, step = kTileSide / factor;
    const double cell = kWidth / side;
    char geo[160];
    std::snprintf(geo, sizeof geo, "%.17g, %.17g, 0, %.17g, 0, %.17g", kWest, cell, kNorth, -cell);
    std::string xml = "<VRTDataset rasterXSize=\"" + std::to_string(side) + "\" rasterYSize=\"" +
                      std::to_string(side) + "\">\n  <SRS>" + xmlEscaped(utmWkt()) +
                      "</SRS>\n  <GeoTransform>" + geo +
                      "</GeoTransform>\n  <VRTRasterBand dataType=\"Float32\" band=\"1\">\n";
    for (const std::string &o : overviews)
        xml += "    <Overview><SourceFilename relativeToVRT=\"1\">" + baseName(o) +
               "</SourceFilename><SourceBand>1</SourceBand></Overview>\n";
    for (int j = 0; j < kMosaicSide / kTileSide; ++j)
        for (int i = 0; i < kMosaicSide / kTileSide; ++i)
            xml += "    <SimpleSource><SourceFilename relativeToVRT=\"1\">" + baseName(tile) +
                   "</SourceFilename><SourceBand>1</SourceBand>"
                   "<SourceProperties RasterXSize=\"8192\" RasterYSize=\"8192\" DataType=\"Float32\" "
                   "BlockXSize=\"256\" BlockYSize=\"256\"/>"
                   "<SrcRect xOff=\"0\" yOff=\"0\" xSize=\"8192\" ySize=\"8192\"/><DstRect xOff=\"" +
                   std::to_string(i * step) + "\" yOff=\"" + std::to_string(j * step) + "\" xSize=\"" +
                   std::to_string(step) + "\" ySize=\"" + std::to_string(step) + "\"/></SimpleSource>\n";
    xml += "  </VRTRasterBand>\n</VRTDataset>\n";
    const std::string part = file + ".part";
    std::ofstream(part) << xml;
    if (std::rename(part.c_str(), file.c_str()) != 0)
        throw std::runtime_error(file + ": cannot write it");
}

// The model of that many samples a side, made when missing.
std::string model(int side)
{
    const std::string prefix = kPrefix;
    if (side == kMosaicSide) {
        const std::string file = prefix + "65536.vrt";
        if (exists(file))
            return file;
        const std::string tile = prefix + "tile8192.tif";
        if (!exists(tile))
            writeModel(tile, kTileSide, kTileSide, false, 1024);
        std::vector<std::string> overviews;
        for (int f = 2; f <= 1024; f *= 2) {
            overviews.push_back(prefix + "65536_ov" + std::to_string(f) + ".vrt");
            writeMosaic(overviews.back(), f, tile, {});
        }
        writeMosaic(file, 1, tile, overviews);  // last: its being there says all are
        return file;
    }
    const std::string file = prefix + std::to_string(side) + ".tif";
    if (!exists(file))
        writeModel(file, side, side / 8, true, side > 4096 ? 256 : 0);
    return file;
}

terrain::TerrainSettings settingsFor(int side)
{
    terrain::TerrainSettings settings;
    settings.model = model(side);
    settings.exaggeration = kExaggeration;
    return settings;
}

// CPU time, ms, of the calling thread: the drawing's own work, which a
// machine busy with other processes does not stretch as it stretches the
// wall clock (the loader's and the rasteriser's threads are not in it).
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The tiles of the last frame, and what the ground counts against its
// budget (ground_mib), to set beside what the process holds.
void reportTiles(benchmark::State &state, const cloudview::Viewer &viewer)
{
    if (const terrain::Terrain *t = viewer.terrain()) {
        state.counters["tiles"] = double(t->tilesDrawn());
        state.counters["ground_mib"] = double(t->memoryBytes()) / (1024.0 * 1024.0);
    }
}

// Makes every model that is missing, timed: run it alone first, so that
// GDAL's writing cache is no other case's peak.
void BM_MakeModels(benchmark::State &state)
{
    for (auto _ : state)
        for (int side : {4096, 16384, kMosaicSide})
            benchmark::DoNotOptimize(model(side));
    bench::reportProcessMemory(state);
}
BENCHMARK(BM_MakeModels)->Unit(benchmark::kSecond)->Iterations(1);

// The fixed cost: the valley's clouds over the flat grid, still frames.
void BM_SceneWithoutTerrain(benchmark::State &state)
{
    cloudview::Viewer viewer{PLUGIN};
    viewer.openLayerFile(EXAMPLES "/valley.cloud");
    viewer.scene().setView(200, 22, 0);
    double azimuth = 200;
    for (auto _ : state) {
        azimuth += 7.0;
        viewer.scene().camera().azimuth = azimuth;
        viewer.drawScene(1280, 720);
    }
    bench::reportProcessMemory(state);
}
BENCHMARK(BM_SceneWithoutTerrain)->Unit(benchmark::kMillisecond)->Iterations(10);

// Opening the model and drawing its first full-quality frame, framed
// whole, as `cloudview render` would. Argument: samples a side.
void BM_OpenFirstFrame(benchmark::State &state)
{
    const terrain::TerrainSettings settings = settingsFor(int(state.range(0)));
    cloudview::Viewer viewer{PLUGIN};
    viewer.openLayerFile(EXAMPLES "/valley.cloud");
    viewer.setMoving(false);
    for (auto _ : state) {
        state.PauseTiming();
        viewer.closeTerrain();
        viewer.scene().setView(200, 22, 0);
        state.ResumeTiming();
        viewer.openTerrainOverride(settings);
        viewer.drawScene(1280, 720);
    }
    reportTiles(state, viewer);
    bench::reportProcessMemory(state);
}
BENCHMARK(BM_OpenFirstFrame)->Arg(4096)->Arg(16384)->Arg(kMosaicSide)->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The tour a scene script takes: TERRAIN, the clouds, then five views,
// each rendered to a PNG at 1280 x 720 (framed whole, far, near, steep,
// low over the middle).
std::string tourScript(int side)
{
    const std::string file = kPrefix + std::string("tour_") + std::to_string(side) + ".scene";
    const std::string png = kPrefix + std::string("tour_") + std::to_string(side) + "_";
    std::ofstream out(file);
    out << "TERRAIN \"" << model(side) << "\" EXAGGERATION " << kExaggeration << ";\n"
        << "ADDFEATURELAYER \"Clouds\" \"" EXAMPLES "/valley.cloud\";\n";
    const char *views[] = {"200 22", "110 35 6000", "20 15 2500", "300 60 900", "250 8 400"};
    int n = 0;
    for (const char *view : views)
        out << "VIEW " << view << ";\nRENDER \"" << png << ++n << ".png\" 1280 720;\n";
    return file;
}

void BM_Tour(benchmark::State &state)
{
    const std::string script = tourScript(int(state.range(0)));
    std::unique_ptr<cloudview::Viewer> viewer;
    for (auto _ : state) {
        viewer.reset();
        viewer = std::make_unique<cloudview::Viewer>(PLUGIN);
        viewer->runScript(script);
    }
    reportTiles(state, *viewer);
    bench::reportProcessMemory(state);
    state.counters["budget_mib"] = double(terrain::kDefaultMemoryMiB);
}
BENCHMARK(BM_Tour)->Arg(4096)->Arg(16384)->Arg(kMosaicSide)->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// 64 still, full-quality views around the middle at 2.5 km, elevation
// 22°, each a new one: every frame waits for the tiles it needs, and the
// ones it no longer needs must go within the budget. Arguments: samples
// a side, the budget in MiB (the default, and one a view's tiles only
// just fit in, so that tiles come and go all the way round).
void BM_Orbit64(benchmark::State &state)
{
    terrain::TerrainSettings settings = settingsFor(int(state.range(0)));
    settings.memoryMiB = size_t(state.range(1));
    cloudview::Viewer viewer{PLUGIN};
    viewer.openTerrainOverride(settings);
    viewer.openLayerFile(EXAMPLES "/valley.cloud");
    viewer.setMoving(false);
    for (auto _ : state)
        for (int i = 0; i < 64; ++i) {
            viewer.scene().setView(i * 360.0 / 64, 22, 2500);
            viewer.drawScene(1280, 720);
        }
    reportTiles(state, viewer);
    bench::reportProcessMemory(state);
    state.counters["budget_mib"] = double(settings.memoryMiB);
}
BENCHMARK(BM_Orbit64)->Args({4096, 1024})->Args({16384, 1024})->Args({kMosaicSide, 1024})
    ->Args({kMosaicSide, 96})->Unit(benchmark::kMillisecond)->Iterations(1);

// A window orbiting the 65,536² model while its tiles stream in: the
// moving pixel error, the resolution governor, a loader thread, every
// frame timed, two degrees a frame so that new ground keeps coming into
// view: the scene's first frame (first_ms, its clouds set up too, its
// ground not there yet), then all the others (median_ms, max_ms) and
// those with tiles pending before or after them (pending_frames,
// streaming_median_ms, streaming_max_ms), and the wakes the loader gave.
// Argument: the camera's distance, m.
void BM_StreamingOrbit65536(benchmark::State &state)
{
    const terrain::TerrainSettings settings = settingsFor(kMosaicSide);
    cloudview::Viewer viewer{PLUGIN};
    std::atomic<int> wakes{0};
    viewer.setStreamingGround([&wakes] { ++wakes; });
    viewer.openTerrainOverride(settings);
    viewer.openLayerFile(EXAMPLES "/valley.cloud");
    viewer.scene().setView(200, 22, double(state.range(0)));
    viewer.setMoving(true);
    cloudview::window::ResolutionGovernor governor;
    std::vector<double> ms, cpu, streaming;  // streaming: the frames tiles were pending around
    int w = 1280, h = 720, frames = 0;
    size_t tiles = 0;
    double firstMs = -1.0;
    double azimuth = 200;
    const bool dump = std::getenv("BENCH_TERRAIN_SIZE_FRAMES") != nullptr;
    for (auto _ : state) {
        azimuth += 2.0;
        viewer.scene().camera().azimuth = azimuth;
        cloudview::window::ResolutionGovernor::scaledSize(1280, 720, governor.divisor(true), &w, &h);
        const bool pendingBefore = viewer.terrain()->pending();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuMs();
        viewer.drawScene(w, h);
        const double took =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        governor.movingFrameDrawn(took);
        const bool pending = pendingBefore || viewer.terrain()->pending();
        const double ownMs = threadCpuMs() - cpuStart;
        ++frames;
        tiles += viewer.terrain()->tilesDrawn();
        if (dump)
            std::fprintf(stderr, "frame %d %dx%d %.1f ms (cpu %.1f)%s, %zu tiles\n", frames, w, h, took,
                         ownMs, pending ? " pending" : "", viewer.terrain()->tilesDrawn());
        if (firstMs < 0) {
            firstMs = took;  // the scene's first frame: the clouds' set-up too
            continue;
        }
        ms.push_back(took);
        cpu.push_back(ownMs);
        if (pending)
            streaming.push_back(took);
    }
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    state.counters["median_ms"] = sorted[sorted.size() / 2];
    state.counters["p95_ms"] = sorted[sorted.size() * 95 / 100];
    state.counters["max_ms"] = sorted.back();
    std::sort(streaming.begin(), streaming.end());
    if (!streaming.empty()) {
        state.counters["streaming_median_ms"] = streaming[streaming.size() / 2];
        state.counters["streaming_max_ms"] = streaming.back();
    }
    state.counters["first_ms"] = firstMs;
    std::sort(cpu.begin(), cpu.end());
    state.counters["cpu_median_ms"] = cpu[cpu.size() / 2];
    state.counters["cpu_max_ms"] = cpu.back();
    state.counters["over_100ms"] = double(std::count_if(ms.begin(), ms.end(), [](double t) { return t > 100.0; }));
    state.counters["pending_frames"] = double(streaming.size());
    state.counters["wakes"] = wakes.load();
    state.counters["drawn_width"] = double(w);
    state.counters["tiles"] = double(tiles) / double(frames);  // a frame, on average
    bench::reportProcessMemory(state);
}
BENCHMARK(BM_StreamingOrbit65536)->Arg(2500)->Arg(500)->Unit(benchmark::kMillisecond)->Iterations(180);

}  // namespace

BENCHMARK_MAIN();
