// The stacker's icons: each layer asked once, asked again when what was
// kept may be stale, and the stacker's canvas deleted with the stacker.
#include <gtest/gtest.h>

#include <vector>

#include "hlib.h"
#include "hmllib.h"
#include "hmllib/script_ui.h"
#include "stacker_icons.h"
#include "tolatoollib.h"
#include "tolatoollib/scene.h"

using cloudview::window::StackerIcons;

namespace {

int asked = 0;
std::vector<HCanvas *> drawn;

// A layer type that draws a new icon on every request.
HCanvas *drawIcon(HLayer *, HStackerCanvas *stacker, int32_t width, HErrorSlot *err)
{
    ++asked;
    EXPECT_NE(stacker->canvas, nullptr);
    EXPECT_EQ(width, StackerIcons::kWidth);
    drawn.push_back(hhml_CanvasCreateOffScreenCopyVis(stacker->canvas, width, 48, err));
    return drawn.back();
}

HCanvas *failIcon(HLayer *, HStackerCanvas *, int32_t, HErrorSlot *err)
{
    ++asked;
    herr_Set(err, "no bitmap for the icon");
    return nullptr;
}

HLayer *addLayer(host::Scene &scene, HCanvas *(*icon)(HLayer *, HStackerCanvas *, int32_t,
                                                      HErrorSlot *))
{
    HLayer *layer = tola_FeatureLayerCreate();
    layer->methods->stackerIcon = icon;
    scene.addLayer(layer);
    return layer;
}

} // namespace

TEST(StackerIcons, EachLayerIsAskedOnceUntilALayerLeavesOrItsIconIsDeleted)
{
    asked = 0;
    const size_t canvases = host::liveCanvasCount();
    host::Scene scene;
    HLayer *a = addLayer(scene, drawIcon), *b = addLayer(scene, drawIcon);
    {
        StackerIcons icons;
        HCanvas *icon = icons.iconOf(scene, a);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icons.iconOf(scene, a), icon);
        EXPECT_NE(icons.iconOf(scene, b), icon);
        EXPECT_EQ(asked, 2);
        // Once b has gone, a's address may be a new layer's.
        tola_FeatureLayerFree(b);
        HCanvas *again = icons.iconOf(scene, a);
        EXPECT_EQ(asked, 3);
        HErrorSlot err = nullptr;
        hhml_CanvasDelete(again, &err);
        EXPECT_NE(icons.iconOf(scene, a), nullptr);
        EXPECT_EQ(asked, 4);
    }
    tola_FeatureLayerFree(a);
    for (HCanvas *icon : drawn) {
        HErrorSlot err = nullptr;
        hhml_CanvasDelete(icon, &err); // the one deleted already is refused
    }
    EXPECT_EQ(host::liveCanvasCount(), canvases); // the stacker's canvas too
}

TEST(StackerIcons, LayersWithoutAnIconGiveNoneAndSayWhyOnce)
{
    host::Scene scene;
    HLayer *plain = addLayer(scene, nullptr), *failing = addLayer(scene, failIcon);
    StackerIcons icons;
    asked = 0;
    std::string problem;
    EXPECT_EQ(icons.iconOf(scene, plain, &problem), nullptr);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(icons.iconOf(scene, failing, &problem), nullptr);
    EXPECT_EQ(problem, "no bitmap for the icon");
    problem.clear();
    EXPECT_EQ(icons.iconOf(scene, failing, &problem), nullptr);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(asked, 1);
    tola_FeatureLayerFree(plain);
    tola_FeatureLayerFree(failing);
}
