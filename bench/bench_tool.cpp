// The cloud tool's costs for the default cloud.
//   BM_PreviewPerPixel  noiseFractal for every pixel of a 512 × 512 canvas:
//                       what the preview would cost computed naively.
//   BM_Preview          the preview as drawn: the same bytes (tested), each
//                       distinct sample computed once.
//   BM_Apply            "apply": free the cloud's textures, assign the
//                       working copy (table build), bake.
//   BM_ChooseCloud      "currentcloud": show the cloud in the dialog,
//                       assign it to the working copy, build its table.
//   BM_Export           the raster export of the working copy to GeoTIFF.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>

#include "files/raster_export.h"
#include "headless_gl.h"
#include "hlib.h"
#include "hmllib.h"
#include "plugin/entry.h"
#include "plugin/records.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"
#include "tool/dialog.h"
#include "tolatoollib/scene.h"

namespace {

HeadlessGL &gl()
{
    static HeadlessGL context(64, 64);
    return context;
}

struct Preview {
    CloudLayer layer{};
    explicit Preview(int size)
    {
        HErrorSlot err = nullptr;
        layer.previewWidth = layer.previewHeight = size;
        layer.previewRed = hgda_BaseDataCreate(size, size, HGDA_UINT8, 3, 0, &err);
        layer.previewGreen = hgda_BaseDataCreate(size, size, HGDA_UINT8, 3, 0, &err);
        layer.previewBlue = hgda_BaseDataCreate(size, size, HGDA_UINT8, 3, 0, &err);
        cloudRecordSetDefaults(&editCloud);
        noiseTableBuild(editCloud);
    }
    ~Preview()
    {
        HErrorSlot err = nullptr;
        for (HBaseData *p : {layer.previewRed, layer.previewGreen, layer.previewBlue})
            hgda_BaseDataDelete(p, &err);
    }
};

void BM_PreviewPerPixel(benchmark::State &state)
{
    Preview p(512);
    auto *red = static_cast<uint8_t *>(p.layer.previewRed->data);
    const int32_t n = editCloud.texsize;
    for (auto _ : state) {
        for (int32_t r = 0; r < 512; ++r)
            for (int32_t c = 0; c < 512; ++c) {
                const double v = noiseFractal(n * c / 512, n * r / 512, 1, n, n, editCloud.cluster,
                                              1.0f - editCloud.height, true);
                red[r * 512 + c] = static_cast<uint8_t>(v * 255.0);
            }
        benchmark::DoNotOptimize(red);
    }
}
BENCHMARK(BM_PreviewPerPixel)->Unit(benchmark::kMicrosecond);

void BM_Preview(benchmark::State &state)
{
    Preview p(512);
    for (auto _ : state)
        benchmark::DoNotOptimize(dialogPreviewPlanes(p.layer));
}
BENCHMARK(BM_Preview)->Unit(benchmark::kMicrosecond);

void BM_Apply(benchmark::State &state)
{
    gl().makeCurrent();
    cloudRecordSetDefaults(&editCloud);
    CloudRecord cloud{};
    cloudRecordAssign(editCloud, &cloud);
    cloudTexturesBuild(cloud);
    for (auto _ : state) {
        cloudTexturesFree(cloud);
        cloudRecordAssign(editCloud, &cloud);
        cloudTexturesBuild(cloud);
    }
    cloudTexturesFree(cloud);
}
BENCHMARK(BM_Apply)->Unit(benchmark::kMicrosecond);

// A real dialog frame from the plug-in's script, for the transfer of a
// cloud's values into its parts.
void BM_ChooseCloud(benchmark::State &state)
{
    HScript *script = cloudtlLayerInterfaceInit();
    HErrorSlot err = nullptr;
    HFrame *frame = hhml_PartDup(hhml_PartFind(script, "cloudtool", &err), &err);
    CloudRecord a{}, b{};
    cloudRecordSetDefaults(&a);
    cloudRecordSetDefaults(&b);
    b.seed = 12345;  // alternating seeds: every choice builds a table
    bool flip = false;
    for (auto _ : state) {
        const CloudRecord &chosen = flip ? a : b;
        flip = !flip;
        dialogShowCloud(&chosen, frame);
        cloudRecordAssign(chosen, &editCloud);
        noiseTableBuild(editCloud);
    }
    hhml_FrameRemove(frame, &err);
}
BENCHMARK(BM_ChooseCloud)->Unit(benchmark::kMicrosecond);

void BM_Export(benchmark::State &state)
{
    cloudRecordSetDefaults(&editCloud);
    noiseTableBuild(editCloud);
    char dir[] = "/tmp/bench_export_XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string file = std::string(dir) + "/cloud.tif";
    for (auto _ : state) {
        unlink(file.c_str());
        unlink((file + ".aux.xml").c_str());
        HErrorSlot err = nullptr;
        if (cloudExportRaster(file.c_str(), &err) != cloudExportWritten) {
            state.SkipWithError("export failed");
            break;
        }
    }
    unlink(file.c_str());
    unlink((file + ".aux.xml").c_str());
    rmdir(dir);
}
BENCHMARK(BM_Export)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
