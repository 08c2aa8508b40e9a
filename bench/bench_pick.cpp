// Pointer editing costs.
//   BM_Pick/N            a click that picks among N clouds in one layer: the
//                        ray against every cloud's box, the nearest framed
//                        by a new selection box. Linear in N.
//   BM_PlacementClick    a click in placement mode: pick point, a copy of
//                        the default working cloud appended and baked, the
//                        preview refreshed.
#include <benchmark/benchmark.h>

#include "headless_gl.h"
#include "hlib.h"
#include "plugin/cloud_list.h"
#include "plugin/entry.h"
#include "plugin/records.h"
#include "tolatoollib/scene.h"
#include "tool/placement.h"

namespace {

HeadlessGL &gl()
{
    static HeadlessGL context(64, 64);
    return context;
}

struct PickScene {
    host::Scene scene;
    HLayer *layer = nullptr;
    PickScene()
    {
        gl().makeCurrent();
        host::setViewerScene(&scene);
        cloudtlLayerInterfaceInit();
        scene.setViewport(1280, 720);
        scene.setView(0, 90, 10000);  // straight down on (50000, 50000)
        layer = cloudtlLayerCreate(scene.hscene(), 0, 0, nullptr);
        scene.addLayer(layer);
    }
    ~PickScene()
    {
        scene.closeAllLayers();
        host::setViewerScene(nullptr);
    }
    CloudLayer &cloudLayer() { return *static_cast<CloudLayer *>(layer->instance); }
};

void BM_Pick(benchmark::State &state)
{
    PickScene s;
    CloudLayer &layer = s.cloudLayer();
    // Clouds on a grid over the extent, unbaked (picking reads boxes only);
    // one of them lies under the centre of the view.
    const int n = int(state.range(0));
    CloudRecord **tail = &layer.clouds;
    for (int i = 0; i < n; ++i) {
        auto *cloud = static_cast<CloudRecord *>(hmsc_HeapMalloc(sizeof(CloudRecord)));
        cloudRecordSetDefaults(cloud);
        cloud->next = nullptr;
        cloud->hTextures = cloud->vTextures = nullptr;
        cloud->xposition = (i % 100) * 1000.0 + 500.0;
        cloud->yposition = (i / 100 % 100) * 1000.0 + 500.0;
        cloud->zposition = 2000.0 + (i / 10000) * 10.0;
        cloud->xsize = cloud->ysize = 400.0;
        cloud->zsize = 100.0;
        *tail = cloud;
        tail = &cloud->next;
    }
    HPointerEvent click{HPOINTER_CLICK, 640, 360};
    for (auto _ : state)
        benchmark::DoNotOptimize(s.layer->methods->pointerEvent(s.layer, &click));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Pick)->RangeMultiplier(10)->Range(100, 10000)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

void BM_PlacementClick(benchmark::State &state)
{
    PickScene s;
    CloudLayer &layer = s.cloudLayer();
    cloudplace(nullptr, s.scene.hscene(), 0, nullptr, nullptr);
    for (auto _ : state) {
        s.scene.click(640, 360);
        state.PauseTiming();
        if (!layer.clouds || !layer.clouds->hTextures) {
            state.SkipWithError("the click placed no baked cloud");
            break;
        }
        cloudListDeleteCurrent(layer);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PlacementClick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
