// The window's frame times over the bundled example scene: a scripted
// orbit of 300 frames at 1280 x 720 (the camera turning as a drag turns
// it, so the view draws at its moving resolution), then 300 still frames
// (the picture kept, only the panels drawn) and 300 still frames that each
// draw the scene again at full resolution. Needs a display: run under
// xvfb-run -a -s "-screen 0 1600x1000x24".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "scene_view.h"
#include "window_app.h"
#include "window_state.h"

namespace {

using cloudview::window::WindowApp;

WindowApp &app()
{
    static std::unique_ptr<WindowApp> instance = [] {
        cloudview::window::WindowOptions options;
        options.plugin = PLUGIN;
        options.width = 1280;
        options.height = 720;
        options.waitWhenIdle = false;
        auto a = std::make_unique<WindowApp>(options);
        a->open({EXAMPLES "/sky.scene"});
        for (int i = 0; i < 5; ++i)
            a->frame();
        return a;
    }();
    return *instance;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

enum class Kind { Orbit, Still, StillRedraw };

void runFrames(benchmark::State &state, Kind kind)
{
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no display: run under xvfb-run");
        return;
    }
    WindowApp &a = app();
    std::vector<double> ms;
    for (auto _ : state) {
        ms.clear();
        for (int i = 0; i < 300; ++i) {
            if (kind == Kind::Orbit) {
                a.viewer().scene().camera().azimuth += 1.2;
                a.sceneView().cameraMoved();
            } else if (kind == Kind::StillRedraw) {
                ++a.state().changes;
            }
            const auto start = std::chrono::steady_clock::now();
            a.frame();
            ms.push_back(std::chrono::duration<double, std::milli>(
                             std::chrono::steady_clock::now() - start)
                             .count());
        }
        if (kind != Kind::Orbit)
            continue;
        // Let the view settle before the still runs.
        for (int i = 0; i < 20 && a.sceneView().moving(); ++i) {
            a.frame();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    state.counters["median_ms"] = percentile(ms, 0.5);
    state.counters["p95_ms"] = percentile(ms, 0.95);
    state.counters["fps_median"] = 1000.0 / percentile(ms, 0.5);
    if (kind == Kind::Orbit) {
        state.counters["divisor"] = a.sceneView().governor().divisor(true);
        state.counters["draw_w"] = a.sceneView().drawnWidth();
        state.counters["draw_h"] = a.sceneView().drawnHeight();
    }
}

void BM_WindowOrbit300Frames(benchmark::State &s) { runFrames(s, Kind::Orbit); }
void BM_WindowStill300Frames(benchmark::State &s) { runFrames(s, Kind::Still); }
void BM_WindowStillRedraw300Frames(benchmark::State &s) { runFrames(s, Kind::StillRedraw); }

BENCHMARK(BM_WindowOrbit300Frames)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowStill300Frames)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowStillRedraw300Frames)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
