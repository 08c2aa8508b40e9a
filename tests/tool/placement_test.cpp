// Placement by click, picking clouds with the pointer and the layer's
// handling of both, driven through the real scene: clicks delivered as
// the host delivers them.
#include "tool/tool_fixture.h"

#include <cmath>
#include <cstring>

#include "hmllib.h"
#include "plugin/cloud_list.h"
#include "tool/placement.h"
#include "viewer/hlib/heap_debug.h"
#include "viewer/hvislib/journal.h"
#include "viewer/tolatoollib/selection.h"

namespace {

bool journalHas(const std::string &entry)
{
    for (const std::string &e : host::journal())
        if (e == entry)
            return true;
    return false;
}

int placementFramesShown()
{
    int n = 0;
    for (HFrame *frame : host::openFrames())
        n += frame->name == "cloudplacement";
    return n;
}

struct PlacementTest : ToolTest {
    void SetUp() override
    {
        ToolTest::SetUp();
        // Looking straight down on the middle of the extent from 10 km: the
        // centre of the view lies over (50000, 50000).
        scene.setViewport(1280, 720);
        scene.setView(0, 90, 10000);
    }

    // A small cloud (cheap to bake) with that centre and half-extents.
    CloudRecord *addCloudAt(HLayer *layer, double x, double y, double z, double sx, double sy,
                            double sz)
    {
        editCloud.texsize = 8;
        editCloud.layers = 2;
        editCloud.xposition = x;
        editCloud.yposition = y;
        editCloud.zposition = z;
        editCloud.xsize = sx;
        editCloud.ysize = sy;
        editCloud.zsize = sz;
        return cloudListAddFromEdit(cloudLayer(layer));
    }

    int32_t pick(HLayer *layer, int x = 640, int y = 360, int32_t code = HPOINTER_CLICK)
    {
        HPointerEvent event{code, x, y};
        return layer->methods->pointerEvent(layer, &event);
    }
};

}  // namespace

// ---- Picking.

TEST_F(PlacementTest, PickTakesTheCloudNearestTheRayStart)
{
    HLayer *layer = newLayer();
    CloudRecord *low = addCloudAt(layer, 50000, 50000, 1000, 500, 500, 100);
    CloudRecord *high = addCloudAt(layer, 50000, 50000, 2000, 500, 500, 100);
    addCloudAt(layer, 90000, 90000, 2000, 500, 500, 100);  // off the ray
    cloudLayer(layer).current = low;
    host::journalClear();
    EXPECT_EQ(pick(layer), 1);
    EXPECT_EQ(selectedCloud, high);
    EXPECT_EQ(selectionState, 2);
    EXPECT_EQ(cloudLayer(layer).current, high);
    EXPECT_TRUE(scene.actionOn("delcloud"));
    EXPECT_TRUE(journalHas("sceneActionOn: delcloud"));
}

TEST_F(PlacementTest, AtEqualDistanceTheEarlierCloudInTheListWins)
{
    HLayer *layer = newLayer();
    // The same top face at z 2100, so the ray meets both at the same point.
    CloudRecord *first = addCloudAt(layer, 49900, 50000, 2000, 500, 500, 100);
    addCloudAt(layer, 50100, 50000, 2000, 500, 500, 100);
    EXPECT_EQ(pick(layer), 1);
    EXPECT_EQ(selectedCloud, first);
}

TEST_F(PlacementTest, NegativeHalfExtentsAreBoxesToo)
{
    HLayer *layer = newLayer();
    CloudRecord *cloud = addCloudAt(layer, 50000, 50000, 1500, -500, -20000, 300);
    EXPECT_EQ(pick(layer), 1);
    EXPECT_EQ(selectedCloud, cloud);
}

TEST_F(PlacementTest, AMissEndsTheSelectionAndKeepsTheCurrentCloud)
{
    HLayer *layer = newLayer();
    CloudRecord *cloud = addCloudAt(layer, 50000, 50000, 2000, 500, 500, 100);
    CloudRecord *other = addCloudAt(layer, 10000, 10000, 2000, 500, 500, 100);
    ASSERT_EQ(pick(layer), 1);
    cloudLayer(layer).current = other;
    EXPECT_EQ(pick(layer, 10, 10), 0);
    EXPECT_EQ(selectedCloud, nullptr);
    EXPECT_EQ(selectionState, 0);
    EXPECT_FALSE(scene.actionOn("delcloud"));
    EXPECT_EQ(cloudLayer(layer).current, other);
    EXPECT_EQ(cloudLayer(layer).selector, nullptr);
    (void)cloud;
}

TEST_F(PlacementTest, OtherEventCodesChangeNothing)
{
    HLayer *layer = newLayer();
    CloudRecord *cloud = addCloudAt(layer, 50000, 50000, 2000, 500, 500, 100);
    ASSERT_EQ(pick(layer), 1);
    EXPECT_EQ(pick(layer, 10, 10, 105), 0);
    EXPECT_EQ(selectedCloud, cloud);
    EXPECT_EQ(selectionState, 2);
    EXPECT_EQ(layer->methods->pointerEvent(layer, nullptr), 0);
}

TEST_F(PlacementTest, ThePickAddsTheSceneOriginToTheClouds)
{
    HLayer *layer = newLayer();
    scene.setOrigin(1000, 0, 0);
    // Centred 1000 west of the ray: the origin moves it onto the ray.
    CloudRecord *cloud = addCloudAt(layer, 49000, 50000, 2000, 200, 200, 100);
    EXPECT_EQ(pick(layer), 1);
    EXPECT_EQ(selectedCloud, cloud);
    EXPECT_EQ(cloudLayer(layer).origin[0], 1000.0);
    scene.setOrigin(0, 0, 0);
    EXPECT_EQ(pick(layer), 0);
}

TEST_F(PlacementTest, DegenerateCloudsAreNeverPickedAndDoNotCrash)
{
    HLayer *layer = newLayer();
    addCloudAt(layer, NAN, 50000, 2000, 500, 500, 100);
    addCloudAt(layer, 50000, 50000, 2500, 0, 0, 0);
    addCloudAt(layer, 50000, 50000, 3000, 500, 500, NAN);
    CloudRecord *good = addCloudAt(layer, 50000, 50000, 1000, 500, 500, 100);
    EXPECT_EQ(pick(layer), 1);
    EXPECT_EQ(selectedCloud, good);
}

TEST_F(PlacementTest, SceneClicksReachThePickAndPointDistanceIsEuclidean)
{
    HLayer *layer = newLayer();
    CloudRecord *cloud = addCloudAt(layer, 50000, 50000, 2000, 500, 500, 100);
    EXPECT_TRUE(scene.click(640, 360));
    EXPECT_EQ(selectedCloud, cloud);
    EXPECT_FALSE(scene.click(2000, 360));  // outside the view
    EXPECT_EQ(selectedCloud, cloud);
    const double a[3] = {1, 2, 3}, b[3] = {4, 6, 15};
    EXPECT_EQ(pointDistance(a, b), 13.0);
    EXPECT_EQ(pointDistance(b, a), 13.0);
}

TEST_F(PlacementTest, ClosingTheLayerOfThePickedCloudClearsTheSelection)
{
    HLayer *keep = newLayer();
    HLayer *gone = newLayer();
    addCloudAt(keep, 10000, 10000, 2000, 500, 500, 100);
    addCloudAt(gone, 50000, 50000, 2000, 500, 500, 100);
    ASSERT_EQ(pick(gone), 1);
    gone->methods->close(gone);
    scene.removeLayer(gone);
    EXPECT_EQ(selectedCloud, nullptr);
    EXPECT_EQ(selectionState, 0);
    EXPECT_FALSE(scene.click(640, 360));  // the other layer has nothing there
}

// ---- Placement.

TEST_F(PlacementTest, CloudplaceShowsTheFrameOnceAndCancelEndsIt)
{
    HLayer *layer = newLayer();
    sceneCommand("cloudplace", {});
    sceneCommand("cloudplace", {});
    EXPECT_EQ(placementFramesShown(), 1);
    EXPECT_EQ(scene.eventCallbackCount(), 1u);
    EXPECT_EQ(scene.interactionDepth(), 1);
    HFrame *frame = cloudLayer(layer).placementDialog;
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->frameContext, layer);
    host::runCommand(script, "CloudCancelPlacement", layer, {});
    EXPECT_EQ(placementFramesShown(), 0);
    EXPECT_EQ(scene.eventCallbackCount(), 0u);
    EXPECT_EQ(scene.interactionDepth(), 0);
    EXPECT_EQ(cloudLayer(layer).placementDialog, nullptr);
    sceneCommand("cloudplace", {});
    EXPECT_EQ(placementFramesShown(), 1);
    EXPECT_EQ(scene.eventCallbackCount(), 1u);
}

TEST_F(PlacementTest, CloudplaceWithoutACloudLayerDoesNothing)
{
    EXPECT_TRUE(sceneCommand("cloudplace", {}).ran);
    EXPECT_EQ(placementFramesShown(), 0);
    EXPECT_EQ(scene.eventCallbackCount(), 0u);
}

TEST_F(PlacementTest, AClickAddsACloudStandingOnThePickedPoint)
{
    HLayer *layer = newLayer();
    sceneCommand("cloudplace", {});
    editCloud.texsize = 8;
    editCloud.layers = 2;
    editCloud.zsize = 400;
    editCloud.red = 0.25f;
    double px, py, pz;
    scene.hscene()->ops->scenePickPoint(scene.hscene(), 700, 300, &px, &py, &pz);
    host::journalClear();
    ASSERT_TRUE(scene.click(700, 300));
    const std::vector<CloudRecord *> list = clouds(layer);
    ASSERT_EQ(list.size(), 1u);
    const CloudRecord &cloud = *list[0];
    EXPECT_EQ(cloud.xposition, px);
    EXPECT_EQ(cloud.yposition, py);
    EXPECT_EQ(cloud.zposition, pz + 400);
    EXPECT_EQ(pz, 0.0);  // on the ground
    EXPECT_EQ(cloud.red, 0.25f);  // no dialog: editCloud's colour stays
    EXPECT_EQ(cloudLayer(layer).current, list[0]);
    EXPECT_EQ(cloudLayer(layer).dirty, 1);
    EXPECT_NE(cloud.hTextures, nullptr);
    EXPECT_TRUE(journalHas("sceneSetBusy: 1"));
    EXPECT_TRUE(journalHas("sceneSetBusy: 0"));
    EXPECT_TRUE(journalHas("sceneRedraw"));
    EXPECT_FALSE(scene.busy());
    // Every click adds one more; the pick never sees them.
    ASSERT_TRUE(scene.click(100, 100));
    EXPECT_EQ(clouds(layer).size(), 2u);
    EXPECT_EQ(selectedCloud, nullptr);
}

TEST_F(PlacementTest, WithTheDialogOpenThePlacedCloudTakesTheButtonsColour)
{
    HLayer *layer = newLayer();
    openDialog();
    sceneCommand("cloudplace", {});
    editCloud.texsize = 8;
    editCloud.layers = 2;
    HErrorSlot err = nullptr;
    HFrame *button = hhml_FrameFindPart(dialog(layer), "cloudcolor", &err);
    ASSERT_NE(button, nullptr);
    HButtonColor colour{0.2, 0.4, 0.6, 1.0, 1, 0};
    hhml_SetButtonColor(button, &colour, 1);
    ASSERT_TRUE(scene.click(640, 360));
    ASSERT_EQ(clouds(layer).size(), 1u);
    EXPECT_EQ(clouds(layer)[0]->red, 0.2f);
    EXPECT_EQ(clouds(layer)[0]->green, 0.4f);
    EXPECT_EQ(clouds(layer)[0]->blue, 0.6f);
    EXPECT_EQ(editCloud.green, 0.4f);
    EXPECT_EQ(popupItems(layer), (std::vector<std::string>{"Cloud 1"}));
}

TEST_F(PlacementTest, OtherCodesAndSkyClicksPlaceNothing)
{
    HLayer *layer = newLayer();
    sceneCommand("cloudplace", {});
    HPointerEvent other{105, 640, 360};
    EXPECT_EQ(placementClickEvent(layer, &other), 1);
    EXPECT_EQ(placementClickEvent(layer, nullptr), 0);
    scene.setView(0, 2, 10000);  // the top of the view is sky
    EXPECT_FALSE(scene.click(640, 0));
    EXPECT_FALSE(scene.click(-1, 400));
    EXPECT_TRUE(clouds(layer).empty());
    EXPECT_EQ(cloudLayer(layer).dirty, 0);
}

TEST_F(PlacementTest, ClosingTheLayerDuringPlacementRemovesTheHandlerFirst)
{
    HLayer *layer = newLayer();
    sceneCommand("cloudplace", {});
    ASSERT_EQ(scene.eventCallbackCount(), 1u);
    layer->methods->close(layer);
    scene.removeLayer(layer);
    EXPECT_EQ(scene.eventCallbackCount(), 0u);
    EXPECT_EQ(scene.interactionDepth(), 0);
    EXPECT_EQ(placementFramesShown(), 0);
    EXPECT_FALSE(scene.click(640, 360));  // reaches nothing freed
}

// ---- Fitting with the selection box.

namespace {

HSelector *shownBox(host::Scene &scene)
{
    const std::vector<HSelector *> boxes = host::selectorsOf(&scene);
    return boxes.size() == 1 ? boxes[0] : nullptr;
}

}  // namespace

TEST_F(PlacementTest, ThePickedCloudIsFramedByTheEightCornersOfItsBox)
{
    HLayer *layer = newLayer();
    scene.setOrigin(1000, 0, 0);
    addCloudAt(layer, 49000, 50000, 2000, 300, -200, 100);
    ASSERT_EQ(pick(layer), 1);
    HSelector *box = shownBox(scene);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box, reinterpret_cast<HSelector *>(cloudLayer(layer).selector));
    EXPECT_FALSE(host::selectorRotationAllowed(box));
    // Low corner (49700, 50200, 1900), high (50300, 49800, 2100) with the
    // origin; the top face first, then the bottom, each x0y0 x1y0 x1y1 x0y1.
    const host::Corners expected = {{{49700, 50200, 2100}, {50300, 50200, 2100},
                                     {50300, 49800, 2100}, {49700, 49800, 2100},
                                     {49700, 50200, 1900}, {50300, 50200, 1900},
                                     {50300, 49800, 1900}, {49700, 49800, 1900}}};
    EXPECT_EQ(host::selectorCorners(box), expected);
    // A new pick replaces the box.
    ASSERT_EQ(pick(layer), 1);
    EXPECT_EQ(host::selectorsOf(&scene).size(), 1u);
}

TEST_F(PlacementTest, ScalingTheBoxByTwoDoublesTheHalfExtentsAndKeepsTheCentre)
{
    HLayer *layer = newLayer();
    openDialog();
    CloudRecord *cloud = addCloudAt(layer, 50000, 50000, 2000, 500, 250, 100);
    ASSERT_EQ(pick(layer), 1);
    cloudLayer(layer).dirty = 0;
    host::selectorScale(shownBox(scene), 2, 2, 2);
    EXPECT_EQ(cloud->xsize, 1000);
    EXPECT_EQ(cloud->ysize, 500);
    EXPECT_EQ(cloud->zsize, 200);
    EXPECT_EQ(cloud->xposition, 50000);
    EXPECT_EQ(cloud->yposition, 50000);
    EXPECT_EQ(cloud->zposition, 2000);
    EXPECT_EQ(cloudLayer(layer).dirty, 1);
    // The working copy and the dialog follow.
    EXPECT_EQ(editCloud.xsize, 1000);
    EXPECT_EQ(std::stod(value(layer, "xsize")), 1000.0);
}

TEST_F(PlacementTest, MovingTheBoxMovesOnlyAlongTheMove)
{
    HLayer *layer = newLayer();
    CloudRecord *cloud = addCloudAt(layer, 50000, 50000, 2000, 500, -20000, 100);
    ASSERT_EQ(pick(layer), 1);
    host::selectorMove(shownBox(scene), 10, 0, 0);
    EXPECT_EQ(cloud->xposition, 50010);
    EXPECT_EQ(cloud->yposition, 50000);
    EXPECT_EQ(cloud->zposition, 2000);
    EXPECT_EQ(cloud->xsize, 500);
    EXPECT_EQ(cloud->ysize, -20000);  // negative, and unchanged
    EXPECT_EQ(cloud->zsize, 100);
}

TEST_F(PlacementTest, ABoxChangeWritesThePositionBackWithoutTheOrigin)
{
    HLayer *layer = newLayer();
    scene.setOrigin(1000, 0, 300);
    scene.setView(0, 90, 10000);
    // Framed at scene x 1000, off the view's centre: pick it through a
    // window position over it.
    CloudRecord *cloud = addCloudAt(layer, 49000, 50000, 2000, 500, 500, 100);
    ASSERT_EQ(pick(layer), 1);
    EXPECT_EQ(host::selectorCorners(shownBox(scene))[0][0], 49500);
    host::selectorMove(shownBox(scene), 0, 0, 50);
    EXPECT_EQ(cloud->xposition, 49000);
    EXPECT_EQ(cloud->zposition, 2050);
    // Scaled about the box's centre in scene coordinates, origin included.
    host::selectorScale(shownBox(scene), 1, 1, 2);
    EXPECT_EQ(cloud->zposition, 2050);
    EXPECT_EQ(cloud->zsize, 200);
}

TEST_F(PlacementTest, ABoxThatCannotBeMadeLeavesNoSelection)
{
    HLayer *layer = newLayer();
    addCloudAt(layer, 50000, 50000, 2000, 500, 500, 100);
    const size_t live = hmsc_HeapLiveBlocks();
    const unsigned long before = hmsc_HeapAllocationCount();
    ASSERT_EQ(pick(layer), 1);
    const long attempts = long(hmsc_HeapAllocationCount() - before);
    ASSERT_GT(attempts, 0);
    cloudSelectionEnd(cloudLayer(layer));
    for (long n = 1; n <= attempts; ++n) {
        hmsc_HeapFailAfter(n);
        pick(layer);
        hmsc_HeapFailAfter(0);
        const bool framed = cloudLayer(layer).selector != nullptr;
        EXPECT_EQ(selectionState, framed ? 2 : 0) << n;
        EXPECT_EQ(scene.actionOn("delcloud"), framed) << n;
        EXPECT_EQ(selectedCloud != nullptr, framed) << n;
        cloudSelectionEnd(cloudLayer(layer));
        selectedCloud = nullptr;
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << n;
    }
}

// ---- Two cloud layers: one selection box, the key and the box reach the
// picked cloud's own layer.

TEST_F(PlacementTest, WithTwoLayersOneBoxShowsAndTheDeleteKeyFindsThePickedCloudsLayer)
{
    HLayer *first = newLayer();  // the scene's first cloud layer
    HLayer *second = newLayer();
    CloudRecord *low = addCloudAt(first, 50000, 50000, 1000, 500, 500, 100);
    CloudRecord *high = addCloudAt(second, 50000, 50000, 2000, 500, 500, 100);
    addCloudAt(second, 10000, 10000, 2000, 500, 500, 100);
    const auto boxIn = [](HLayer *layer) { return cloudLayer(layer).selector != nullptr; };

    ASSERT_EQ(pick(second), 1);
    ASSERT_EQ(pick(first), 1);  // the box moves to the first layer's cloud
    EXPECT_EQ(selectedCloud, low);
    EXPECT_TRUE(boxIn(first));
    EXPECT_FALSE(boxIn(second));
    EXPECT_EQ(host::selectorsOf(&scene).size(), 1u);

    // Choosing a cloud in the other layer's tool while one is framed moves
    // the box there.
    openDialog();
    update(second, {"showproperties"});
    ASSERT_NE(dialog(second), nullptr);
    set(second, "currentcloud", "Cloud 1");
    EXPECT_EQ(selectedCloud, high);
    EXPECT_TRUE(boxIn(second));
    EXPECT_FALSE(boxIn(first));
    EXPECT_EQ(host::selectorsOf(&scene).size(), 1u);

    // A miss in one layer leaves no box in any.
    ASSERT_EQ(pick(first), 1);
    EXPECT_EQ(pick(second, 10, 10), 0);
    EXPECT_EQ(selectedCloud, nullptr);
    EXPECT_TRUE(host::selectorsOf(&scene).empty());
    EXPECT_FALSE(scene.actionOn("delcloud"));

    // The Delete key, sent with the scene, deletes from the second layer.
    ASSERT_EQ(pick(second), 1);
    ASSERT_EQ(selectedCloud, high);
    sceneCommand("cloudupdate", {"delselected"});
    EXPECT_EQ(clouds(first), std::vector<CloudRecord *>{low});
    EXPECT_EQ(clouds(second).size(), 1u);
    EXPECT_NE(clouds(second)[0], high);
    EXPECT_EQ(selectedCloud, nullptr);
    EXPECT_TRUE(host::selectorsOf(&scene).empty());
    EXPECT_FALSE(scene.actionOn("delcloud"));
    // "apply" after it frames nothing.
    update(second, {"apply"});
    EXPECT_TRUE(host::selectorsOf(&scene).empty());

    // Deleting in one layer's tool while the other layer shows the box
    // takes the box away; the picked cloud stays picked, and goes with the
    // key, leaving no box behind.
    CloudRecord *picked = addCloudAt(second, 50000, 50000, 2000, 500, 500, 100);
    ASSERT_EQ(pick(second), 1);
    ASSERT_EQ(selectedCloud, picked);
    ASSERT_EQ(value(first, "currentcloud"), "Cloud 1");
    update(first, {"deletecloud"});
    EXPECT_TRUE(clouds(first).empty());
    EXPECT_EQ(selectedCloud, picked);
    EXPECT_TRUE(host::selectorsOf(&scene).empty());
    sceneCommand("cloudupdate", {"delselected"});
    EXPECT_EQ(clouds(second).size(), 1u);
    EXPECT_NE(clouds(second)[0], picked);
    EXPECT_TRUE(host::selectorsOf(&scene).empty());
    EXPECT_EQ(cloudLayer(second).selector, nullptr);
}

TEST_F(PlacementTest, TheBoxMovesThePickedCloudNotTheOneAddedSince)
{
    HLayer *layer = newLayer();
    openDialog();
    CloudRecord *picked = addCloudAt(layer, 50000, 50000, 2000, 500, 500, 100);
    ASSERT_EQ(pick(layer), 1);
    host::runCommand(script, "cloudAddcloud", layer, {});  // the new cloud is current
    CloudRecord *added = clouds(layer).back();
    ASSERT_NE(added, picked);
    const CloudRecord before = *added;
    host::selectorMove(shownBox(scene), 100, 0, 0);
    EXPECT_EQ(picked->xposition, 50100);
    EXPECT_EQ(added->xposition, before.xposition);
    // The dialog now shows the moved cloud, under its own label.
    EXPECT_EQ(cloudLayer(layer).current, picked);
    EXPECT_EQ(value(layer, "currentcloud"), "Cloud 1");
    EXPECT_EQ(std::stod(value(layer, "xposition")), 50100.0);
}

TEST_F(PlacementTest, EveryCommandTakesTheSceneOrALayerAsContext)
{
    HLayer *first = newLayer();
    HLayer *second = newLayer();
    // Placement started from the second layer's tool places there, and
    // only one layer places at a time.
    editCloud.texsize = 8;
    editCloud.layers = 2;
    host::runCommand(script, "cloudplace", first, {});
    host::runCommand(script, "cloudplace", second, {});
    EXPECT_EQ(cloudLayer(first).placementDialog, nullptr);
    ASSERT_NE(cloudLayer(second).placementDialog, nullptr);
    EXPECT_EQ(scene.eventCallbackCount(), 1u);
    EXPECT_TRUE(scene.click(640, 360));
    EXPECT_TRUE(clouds(first).empty());
    EXPECT_EQ(clouds(second).size(), 1u);
    // Ending it from the scene ends the second layer's placement.
    sceneCommand("CloudCancelPlacement", {});
    EXPECT_EQ(cloudLayer(second).placementDialog, nullptr);
    EXPECT_EQ(scene.eventCallbackCount(), 0u);
    EXPECT_EQ(placementFramesShown(), 0);
    EXPECT_TRUE(host::runCommand(script, "CloudCancelPlacement", first, {}).ran);

    // The arrange commands given the scene act on its first cloud layer.
    sceneCommand("setvisibility", {});
    EXPECT_FALSE(scene.layerVisible(first));
    EXPECT_TRUE(scene.layerVisible(second));
    host::runCommand(script, "setvisibility", second, {});
    EXPECT_FALSE(scene.layerVisible(second));
    sceneCommand("raisetotop", {});
    EXPECT_EQ(scene.layers().back(), first);
    // Now the second is the scene's first cloud layer in drawing order.
    sceneCommand("deletelayer", {});
    EXPECT_FALSE(scene.contains(second));
    EXPECT_TRUE(scene.contains(first));
    sceneCommand("lowertobottom", {});
    EXPECT_EQ(scene.layers().front(), first);
}

// ---- Allocations that fail.

TEST_F(PlacementTest, EveryAllocationOfAPlacementClickMayFail)
{
    const size_t live = hmsc_HeapLiveBlocks();
    const size_t canvases = host::liveCanvasCount();
    HLayer *probe = newLayer();
    openDialog();
    sceneCommand("cloudplace", {});
    editCloud.texsize = 8;
    editCloud.layers = 2;
    const unsigned long before = hmsc_HeapAllocationCount();
    ASSERT_TRUE(scene.click(640, 360));
    const long attempts = long(hmsc_HeapAllocationCount() - before);
    ASSERT_GT(attempts, 0);
    probe->methods->close(probe);
    scene.removeLayer(probe);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);

    for (long n = 1; n <= attempts; ++n) {
        HLayer *layer = newLayer();
        openDialog();
        sceneCommand("cloudplace", {});
        editCloud.texsize = 8;
        editCloud.layers = 2;
        hmsc_HeapFailAfter(n);
        scene.click(640, 360);
        hmsc_HeapFailAfter(0);
        // The placed cloud is whole or missing, never half made.
        for (CloudRecord *cloud : clouds(layer))
            EXPECT_TRUE(cloud->hTextures == nullptr || cloud->vTextures != nullptr) << n;
        layer->methods->close(layer);
        scene.removeLayer(layer);
        EXPECT_EQ(scene.eventCallbackCount(), 0u) << n;
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << n;
        EXPECT_EQ(host::liveCanvasCount(), canvases) << n;
    }
}

TEST_F(PlacementTest, ABoxChangeWhoseTransformCannotBeMadeLeavesTheCloud)
{
    HLayer *layer = newLayer();
    CloudRecord *cloud = addCloudAt(layer, 50000, 50000, 2000, 500, 500, 100);
    ASSERT_EQ(pick(layer), 1);
    const size_t live = hmsc_HeapLiveBlocks();
    hmsc_HeapFailAfter(1);  // the transform handed to the callback
    host::selectorMove(shownBox(scene), 10, 0, 0);
    hmsc_HeapFailAfter(0);
    EXPECT_EQ(cloud->xposition, 50000);
    EXPECT_EQ(cloud->xsize, 500);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
    // The next change is applied whole.
    host::selectorMove(shownBox(scene), 10, 0, 0);
    EXPECT_EQ(cloud->xposition, 50010);
}

TEST_F(PlacementTest, DeletingInAnotherLayersDialogKeepsThePickedCloudValid)
{
    HLayer *first = newLayer();
    HLayer *second = newLayer();
    addCloudAt(first, 10000, 10000, 2000, 500, 500, 100);
    CloudRecord *picked = addCloudAt(second, 50000, 50000, 2000, 500, 500, 100);
    ASSERT_EQ(pick(second), 1);
    openDialog();  // the first layer's
    ASSERT_NE(dialog(first), nullptr);
    update(first, {"deletecloud"});
    EXPECT_TRUE(clouds(first).empty());
    // The pick still names a cloud that its layer holds.
    ASSERT_EQ(clouds(second).size(), 1u);
    EXPECT_EQ(selectedCloud, picked);
    // Closing the picked cloud's layer while the other stays open clears it.
    second->methods->close(second);
    scene.removeLayer(second);
    EXPECT_EQ(selectedCloud, nullptr);
    EXPECT_EQ(selectionState, 0);
    update(first, {"apply"});  // would frame the picked cloud, were there one
    EXPECT_TRUE(host::selectorsOf(&scene).empty());
}
