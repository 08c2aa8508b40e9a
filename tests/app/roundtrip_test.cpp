// A layer opened through dlopen exactly as cloudview does: drawn, saved,
// written into a scene script, closed, and reopened from that script with
// the same clouds.
#include <gtest/gtest.h>

#include "support/test_util.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <tuple>

#include "hvislib/journal.h"
#include "plugin/records.h"
#include "viewer.h"

using namespace cloudview;

namespace {

struct CloudParams {
    float density, cluster, detail, zoom, height;
    int32_t layers, panx, pany, texsize, symmetric, xslice, yslice, zslice;
    double x, y, z, xs, ys, zs, seed;
    float bottomscale, red, green, blue;
    bool baked;
    auto tied() const
    {
        return std::tie(density, cluster, detail, zoom, height, layers, panx, pany, texsize,
                        symmetric, xslice, yslice, zslice, x, y, z, xs, ys, zs, seed, bottomscale,
                        red, green, blue, baked);
    }
    bool operator==(const CloudParams &o) const { return tied() == o.tied(); }
};

std::vector<CloudParams> cloudsOf(HLayer *layer)
{
    std::vector<CloudParams> out;
    const CloudLayer *l = static_cast<const CloudLayer *>(layer->instance);
    for (const CloudRecord *c = l->clouds; c; c = c->next) {
        const CloudParams p = {c->density, c->cluster, c->detail, c->zoom, c->height, c->layers, c->panx, c->pany,
             c->texsize, c->symmetric, c->xslice, c->yslice, c->zslice, c->xposition,
             c->yposition, c->zposition, c->xsize, c->ysize, c->zsize, c->seed, c->bottomscale,
             c->red, c->green, c->blue, c->hTextures != nullptr};
        out.push_back(p);
    }
    return out;
}

}  // namespace

TEST(RoundTrip, OpenDrawSaveWriteSceneCloseReopen)
{
    char pattern[] = "/tmp/roundtrip_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string layerFile = dir + "/sky.cloud";
    const std::string sceneFile = dir + "/sky.scene";
    {
        std::ofstream(layerFile) << readFile(EXAMPLES "/sky.cloud");
    }

    std::vector<CloudParams> before;
    {
        Viewer viewer(PLUGIN);
        HLayer *layer = viewer.openLayerFile(layerFile);
        before = cloudsOf(layer);
        ASSERT_EQ(before.size(), 5u);
        EXPECT_TRUE(before[0].baked);

        // Drawn: the clouds brighten the dark ground under them.
        viewer.scene().setView(200, 30, 0);
        const std::vector<uint8_t> frame = viewer.renderRGBA(160, 90);
        ASSERT_EQ(frame.size(), 160u * 90u * 4u);
        viewer.scene().setLayerVisible(layer, false);
        const std::vector<uint8_t> bare = viewer.renderRGBA(160, 90);
        viewer.scene().setLayerVisible(layer, true);
        size_t brighter = 0;
        for (size_t i = 0; i < frame.size(); ++i)
            brighter += frame[i] > bare[i] + 8;
        EXPECT_GT(brighter, frame.size() / 20) << "the clouds brighten a good part of the view";
        EXPECT_TRUE(viewer.scene().actionOn("delcloud") == false);

        EXPECT_EQ(viewer.saveLayer(layer), cloudview::SaveResult::Saved);
        viewer.writeScene(sceneFile);
    }
    // The layer beside the scene is named relative to it.
    const std::string script = readFile(sceneFile);
    EXPECT_NE(script.find("\tADDFEATURELAYER \"Clouds\" \"sky.cloud\" ;\n"), std::string::npos)
        << script;
    const std::string saved = readFile(layerFile);
    EXPECT_EQ(saved.rfind("TOLA_Cloud_Layer_File_V1.1\n5 clouds_in_file\nCloud_0\n", 0), 0u);

    {
        Viewer viewer(PLUGIN);
        viewer.runScript(sceneFile);
        ASSERT_EQ(viewer.openedLayers().size(), 1u);
        EXPECT_EQ(cloudsOf(viewer.openedLayers()[0]), before);
        EXPECT_EQ(viewer.saveLayer(viewer.openedLayers()[0]), cloudview::SaveResult::Saved);
    }
    EXPECT_EQ(readFile(layerFile), saved);
    std::system(("rm -rf " + dir).c_str());
}
