// Draw submission of layers of default clouds (slices 50/50/20: 123
// textured quads each) on the headless context.
//   BM_DrawSubmit   the GL calls of the draw alone: the queued work is
//                   finished outside the timed region after every draw.
//   BM_DrawFinished the draw and glFinish: what a frame costs llvmpipe,
//                   rasterising included (128 × 128 pixels, the cloud
//                   filling most of them).
// Per-cloud figures are the time divided by the items (clouds) per second.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <vector>

#include "headless_gl.h"
#include "plugin/records.h"
#include "render/layer_draw.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"

namespace {

void noAction(HScene *, const char *) {}
void zeroOrigin(HScene *, int32_t, double *x, double *y, double *z)
{
    *x = *y = *z = 0.0;
}

struct Bench {
    HeadlessGL gl{128, 128};
    HSceneOps ops{};
    HScene scene{&ops};
    CloudLayer layer{};
    HLayer host{};
    std::vector<CloudRecord> clouds;

    explicit Bench(int count) : clouds(static_cast<size_t>(count))
    {
        ops.sceneActionOff = noAction;
        ops.sceneGetOrigin = zeroOrigin;
        layer.scene = &scene;
        layer.visible = 1;
        host.instance = &layer;
        for (size_t i = 0; i < clouds.size(); ++i) {
            cloudRecordSetDefaults(&clouds[i]);
            clouds[i].next = i + 1 < clouds.size() ? &clouds[i + 1] : nullptr;
            noiseTableBuild(clouds[i]);
            cloudTexturesBuild(clouds[i]);
        }
        layer.clouds = clouds.data();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-25000.0, 25000.0, -25000.0, 25000.0, -100000.0, 100000.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        // A view from above and aside, so that every family is shaded.
        glRotated(-60.0, 1.0, 0.0, 0.0);
        glRotated(30.0, 0.0, 0.0, 1.0);
    }
    ~Bench()
    {
        for (CloudRecord &c : clouds)
            cloudTexturesFree(c);
    }
    void draw() { layerDraw(&host, 0.0, 0.0, 0.0, 0, 30.0, 30.0, 0); }
};

void BM_DrawSubmit(benchmark::State &state)
{
    Bench bench(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        bench.draw();
        state.PauseTiming();
        glFinish();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DrawSubmit)->Arg(1)->Arg(10)->Arg(100);

void BM_DrawFinished(benchmark::State &state)
{
    Bench bench(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        bench.draw();
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DrawFinished)->Arg(1)->Arg(10)->Arg(100);

}  // namespace

BENCHMARK_MAIN();
