#include "tool/tool_fixture.h"

#include <cmath>
#include <cstdlib>

#include "plugin/entry.h"
#include "support/gl_env.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"
#include "viewer/hvislib/journal.h"
#include "viewer/hvislib/questions.h"

void ToolTest::SetUp()
{
    testGL();
    host::setViewerScene(&scene);
    host::clearAnswers();
    host::journalClear();
    script = cloudtlLayerInterfaceInit();
    ASSERT_NE(script, nullptr);
    char pattern[] = "/tmp/tool_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
}

void ToolTest::TearDown()
{
    scene.closeAllLayers();
    host::setViewerScene(nullptr);
    host::setResponder(nullptr);
    host::clearAnswers();
    std::system(("rm -rf " + dir).c_str());
}

HLayer *ToolTest::newLayer()
{
    HLayer *layer = cloudtlLayerCreate(scene.hscene(), 0, 0, nullptr);
    EXPECT_NE(layer, nullptr);
    scene.addLayer(layer);
    return layer;
}

CloudLayer &ToolTest::cloudLayer(HLayer *layer)
{
    return *static_cast<CloudLayer *>(layer->instance);
}

host::CommandResult ToolTest::update(HLayer *layer, const std::vector<std::string> &args)
{
    return host::runCommand(script, "cloudupdate", layer, args);
}

host::CommandResult ToolTest::sceneCommand(const std::string &name,
                                           const std::vector<std::string> &args)
{
    return host::runCommand(script, name, scene.hscene(), args);
}

host::CommandResult ToolTest::set(HLayer *layer, const std::string &part, const std::string &value)
{
    host::CommandResult r = host::firePart(dialog(layer), part, value);
    EXPECT_TRUE(r.error.empty() || r.ran) << part << ": " << r.error;
    return r;
}

std::string ToolTest::value(HLayer *layer, const std::string &part)
{
    return host::partValueText(host::findPart(dialog(layer), part));
}

std::vector<CloudRecord *> ToolTest::clouds(HLayer *layer)
{
    std::vector<CloudRecord *> list;
    for (CloudRecord *c = cloudLayer(layer).clouds; c; c = c->next)
        list.push_back(c);
    return list;
}

std::vector<std::string> ToolTest::popupItems(HLayer *layer)
{
    HFrame *popup = host::findPart(dialog(layer), "currentcloud");
    return popup ? popup->items : std::vector<std::string>{};
}

std::vector<uint8_t> previewPlanes(const CloudLayer &layer)
{
    std::vector<uint8_t> rgb;
    const size_t n = size_t(layer.previewWidth) * size_t(layer.previewHeight);
    const HBaseData *planes[3] = {layer.previewRed, layer.previewGreen, layer.previewBlue};
    for (size_t i = 0; i < n; ++i)
        for (const HBaseData *p : planes)
            rgb.push_back(static_cast<const uint8_t *>(p->data)[i]);
    return rgb;
}

namespace {

// Written from the definition, apart from the code under test: |v|
// doubled, clamped at 1, times 255 and the component, truncated (a value
// that is not a number or leaves int32 gives 0), low 8 bits.
uint8_t colourByte(float component, double v)
{
    double a = std::fabs(v) * 2.0;
    if (a > 1.0)
        a = 1.0;
    const double p = component * (a * 255.0);
    if (!(p > -2147483649.0 && p < 2147483648.0))
        return 0;
    return static_cast<uint8_t>(static_cast<int32_t>(p) & 0xff);
}

}  // namespace

std::vector<uint8_t> referencePreview(int width, int height)
{
    noiseState.offsetX = editCloud.panx;
    noiseState.offsetY = editCloud.pany;
    const int32_t n = editCloud.texsize;
    const int32_t octaves = noiseTruncToInt(editCloud.detail);
    std::vector<uint8_t> rgb;
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const int32_t x = int32_t(int64_t(n) * c / width);
            const int32_t y = int32_t(int64_t(n) * r / height);
            const double v = noiseFractal(x, y, octaves, n, n, editCloud.cluster,
                                          1.0f - editCloud.height, true);
            rgb.push_back(colourByte(editCloud.red, v));
            rgb.push_back(colourByte(editCloud.green, v));
            rgb.push_back(colourByte(editCloud.blue, v));
        }
    return rgb;
}

std::vector<uint32_t> textureNames(const CloudRecord &cloud)
{
    std::vector<uint32_t> names;
    if (cloud.hTextures && cloud.vTextures)
        for (int k = 0; k < cloud.layers; ++k) {
            names.push_back(cloud.hTextures[k].texName);
            names.push_back(cloud.vTextures[k].texName);
        }
    return names;
}

