// cloudupdate and cloudAddcloud as the dialog, the menus and the Delete key
// send them: every action, the popup deciding the current cloud, and the
// working copy shared by every layer.
#include "tool/tool_fixture.h"

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "synth/noise.h"
#include "synth/slice_texture.h"
#include "plugin/cloud_list.h"
#include "tool/dialog.h"
#include "tool/placement.h"
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

// Every texel of a cloud's textures, read back from GL, stack by stack.
std::vector<uint8_t> texels(const CloudRecord &cloud)
{
    std::vector<uint8_t> out;
    for (uint32_t name : textureNames(cloud)) {
        glBindTexture(GL_TEXTURE_2D, name);
        GLint w = 0, h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        std::vector<uint8_t> pixels(size_t(w) * size_t(h));
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, pixels.data());
        out.insert(out.end(), pixels.begin(), pixels.end());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return out;
}

}  // namespace

TEST_F(ToolTest, NumberFieldsWriteTheWorkingCopy)
{
    HLayer *layer = newLayer();
    openDialog();
    const struct {
        const char *part;
        const char *value;
    } edits[] = {{"density", "0.45"},   {"cluster", "0.7"},    {"detail", "3.5"},
                 {"zoom", "20.5"},      {"seed", "1234567"},   {"bottomscale", "1.5"},
                 {"xposition", "-125.5"}, {"yposition", "7"},   {"zposition", "3000"},
                 {"xsize", "1e5"},      {"ysize", "-2500"},    {"zsize", "800"},
                 {"panx", "-7.9"},      {"pany", "12.2"},      {"tslices", "12.9"}};
    for (const auto &e : edits)
        set(layer, e.part, e.value);
    EXPECT_EQ(editCloud.density, 0.45f);
    EXPECT_EQ(editCloud.cluster, 0.7f);
    EXPECT_EQ(editCloud.detail, 3.5f);
    EXPECT_EQ(editCloud.zoom, 20.5f);
    EXPECT_EQ(editCloud.seed, 1234567.0);
    EXPECT_EQ(editCloud.bottomscale, 1.5f);
    EXPECT_EQ(editCloud.xposition, -125.5);
    EXPECT_EQ(editCloud.yposition, 7.0);
    EXPECT_EQ(editCloud.zposition, 3000.0);
    EXPECT_EQ(editCloud.xsize, 1e5);
    EXPECT_EQ(editCloud.ysize, -2500.0);
    EXPECT_EQ(editCloud.zsize, 800.0);
    EXPECT_EQ(editCloud.panx, -7);  // truncated toward zero
    EXPECT_EQ(editCloud.pany, 12);
    EXPECT_EQ(editCloud.layers, 12);
    // "zoom" and "seed" rebuilt the table: the period is the truncated zoom.
    EXPECT_EQ(noiseState.period, 20.0f);
    // Every edit ended with a preview of the new working copy.
    EXPECT_EQ(previewPlanes(cloudLayer(layer)), referencePreview(256, 256));

    set(layer, "pancenter", "");
    EXPECT_EQ(editCloud.panx, 0);
    EXPECT_EQ(editCloud.pany, 0);
}

TEST_F(ToolTest, HeightSlicesAndTextureSizeRules)
{
    HLayer *layer = newLayer();
    openDialog();
    const struct {
        const char *value;
        float stored;
    } heights[] = {{"1", 0.99f}, {"0.999", 0.999f}, {"1.5", 1.5f},
                   // Below 1 as read, 1 as a float: the test is on the number read.
                   {"0.99999999999", 1.0f}};
    for (const auto &h : heights) {
        set(layer, "height", h.value);
        EXPECT_EQ(editCloud.height, h.stored) << h.value;
    }
    const struct {
        const char *value;
        int32_t stored;
    } slices[] = {{"0.7", 1}, {"0", 1}, {"-3", 1}, {"2.9", 2}, {"200", 200}};
    for (const auto &s : slices) {
        set(layer, "cslicex", s.value);
        set(layer, "cslicey", s.value);
        set(layer, "cslicez", s.value);
        EXPECT_EQ(editCloud.xslice, s.stored) << s.value;
        EXPECT_EQ(editCloud.yslice, s.stored) << s.value;
        EXPECT_EQ(editCloud.zslice, s.stored) << s.value;
    }
    set(layer, "tslices", "0.5");
    EXPECT_EQ(editCloud.layers, 0);  // no bound on the texture count

    set(layer, "texturesize", "64");
    EXPECT_EQ(editCloud.texsize, 64);
    update(layer, {"texsize", "12abc"});
    EXPECT_EQ(editCloud.texsize, 12);
    update(layer, {"texsize", "abc"});
    EXPECT_EQ(editCloud.texsize, 0);
    update(layer, {"texsize", "99999999999999"});
    EXPECT_EQ(editCloud.texsize, INT_MAX);
    update(layer, {"cloudcolor", "1", "0.5", "0"});
    EXPECT_EQ(editCloud.red, 1.0f);
    EXPECT_EQ(editCloud.green, 0.5f);
    EXPECT_EQ(editCloud.blue, 0.0f);
    set(layer, "cloudcolor", "0.25 0.75 1");
    EXPECT_EQ(editCloud.red, 0.25f);
    EXPECT_EQ(editCloud.green, 0.75f);
}

TEST_F(ToolTest, ActionsShortOfArgumentsChangeNothing)
{
    HLayer *layer = newLayer();
    openDialog();
    addCloud();
    const CloudRecord before = editCloud;
    const int visible = cloudLayer(layer).visible;
    update(layer, {"texsize"});
    update(layer, {"cloudcolor", "0.5", "0.5"});
    update(layer, {"savetoimg"});
    update(layer, {"nosuchaction", "1"});
    update(layer, {});
    sceneCommand("cloudupdate", {"hideall"});
    EXPECT_EQ(editCloud.texsize, before.texsize);
    EXPECT_EQ(editCloud.red, before.red);
    EXPECT_EQ(editCloud.green, before.green);
    EXPECT_EQ(editCloud.blue, before.blue);
    EXPECT_EQ(cloudLayer(layer).visible, visible);
    EXPECT_EQ(value(layer, "savelabel"), "");
}

TEST_F(ToolTest, ApplyBakesTheCurrentCloudAnewAndMarksTheLayerDirty)
{
    HLayer *layer = newLayer();
    openDialog();
    addCloud();
    addCloud();
    CloudLayer &l = cloudLayer(layer);
    l.dirty = 0;  // as if saved after adding
    set(layer, "currentcloud", "Cloud 1");
    CloudRecord *first = clouds(layer)[0];
    const std::vector<uint32_t> old = textureNames(*first);
    set(layer, "density", "0.8");
    set(layer, "tslices", "4");
    set(layer, "seed", "777");
    const unsigned long redraws = scene.redrawCount();
    set(layer, "apply", "");
    EXPECT_EQ(l.dirty, 1);
    EXPECT_EQ(first->density, 0.8f);
    EXPECT_EQ(first->seed, 777.0);
    EXPECT_EQ(first->layers, 4);
    EXPECT_GT(scene.redrawCount(), redraws);
    const std::vector<uint32_t> baked = textureNames(*first);
    ASSERT_EQ(baked.size(), 8u);
    for (uint32_t name : baked)
        EXPECT_TRUE(glIsTexture(name));
    for (uint32_t name : old) {
        if (std::find(baked.begin(), baked.end(), name) == baked.end()) {
            EXPECT_FALSE(glIsTexture(name)) << "texture " << name << " was not deleted";
        }
    }
    // The second cloud was not touched.
    EXPECT_EQ(clouds(layer)[1]->density, 0.3f);

    // The bake is offset by the pan, x by panx and y by pany: the same
    // textures as a bake of the same record with those offsets.
    set(layer, "tslices", "2");
    set(layer, "texturesize", "16");
    set(layer, "panx", "3");
    set(layer, "pany", "-11");
    set(layer, "apply", "");
    CloudRecord reference = *first;
    reference.next = nullptr;
    reference.hTextures = reference.vTextures = nullptr;
    noiseTableBuild(reference);
    noiseState.offsetX = 3;
    noiseState.offsetY = -11;
    cloudTexturesBuild(reference);
    EXPECT_EQ(texels(*first), texels(reference));
    cloudTexturesFree(reference);
}

TEST_F(ToolTest, WithoutCloudsOnlyThePreviewIsRedrawn)
{
    HLayer *layer = newLayer();
    openDialog();
    EXPECT_TRUE(popupItems(layer).empty());
    EXPECT_EQ(host::findPart(dialog(layer), "currentcloud")->selected, -1);
    const CloudRecord before = editCloud;
    for (const char *action : {"apply", "deletecloud", "currentcloud"}) {
        editCloud.seed = 5;  // a different preview each time
        update(layer, {action});
        EXPECT_EQ(previewPlanes(cloudLayer(layer)), referencePreview(256, 256)) << action;
        editCloud = before;
    }
    EXPECT_EQ(cloudLayer(layer).dirty, 0);
    EXPECT_EQ(cloudLayer(layer).current, nullptr);
}

TEST_F(ToolTest, ChoosingACloudCopiesItIntoTheWorkingCopy)
{
    HLayer *layer = newLayer();
    openDialog();
    for (int i = 1; i <= 3; ++i) {
        editCloud.zoom = 10.0f * i;
        editCloud.xposition = i;
        addCloud();
    }
    set(layer, "currentcloud", "Cloud 2");
    CloudLayer &l = cloudLayer(layer);
    EXPECT_EQ(l.current, clouds(layer)[1]);
    EXPECT_EQ(editCloud.zoom, 20.0f);
    EXPECT_EQ(value(layer, "xposition"), "2");
    EXPECT_EQ(noiseState.period, 20.0f);
    EXPECT_EQ(previewPlanes(l), referencePreview(256, 256));

    // The popup, not a stored pointer, says which cloud an action acts on.
    l.current = clouds(layer)[2];
    set(layer, "density", "0.9");
    update(layer, {"apply"});
    EXPECT_EQ(clouds(layer)[1]->density, 0.9f);
    EXPECT_EQ(clouds(layer)[2]->density, 0.3f);
}

TEST_F(ToolTest, DefaultsKeepThePositionAndTakeTheLayersSize)
{
    // An extent twice as wide as deep, so that each size has its own default.
    scene.setExtent({0, 140000, 0, 70000, 0, 3000});
    HLayer *layer = newLayer();
    openDialog();
    editCloud.xposition = 10, editCloud.yposition = 20, editCloud.zposition = 30;
    addCloud();
    set(layer, "density", "0.9");
    set(layer, "xsize", "1");
    set(layer, "seed", "777");
    set(layer, "default", "");
    const CloudLayer &l = cloudLayer(layer);
    // The preview shows the default seed's noise, not the last one's.
    const std::vector<uint8_t> shown = previewPlanes(l);
    noiseTableBuild(editCloud);
    EXPECT_EQ(shown, referencePreview(256, 256));
    EXPECT_EQ(editCloud.density, 0.3f);
    EXPECT_EQ(editCloud.xposition, 10.0);
    EXPECT_EQ(editCloud.zposition, 30.0);
    ASSERT_NE(l.defaultHalfSize[0], l.defaultHalfSize[1]);
    EXPECT_EQ(editCloud.xsize, l.defaultHalfSize[0]);
    EXPECT_EQ(editCloud.ysize, l.defaultHalfSize[1]);
    EXPECT_EQ(editCloud.zsize, l.defaultHalfSize[2]);
    EXPECT_EQ(dialogGetNumber(&l, "density"), double(0.3f));
    EXPECT_EQ(dialogGetNumber(&l, "xsize"), l.defaultHalfSize[0]);
}

TEST_F(ToolTest, PresetActions)
{
    HLayer *layer = newLayer();
    openDialog();
    const std::string shownSize = value(layer, "xsize");
    set(layer, "sizepresets", "Small");
    set(layer, "generatesize", "");
    EXPECT_EQ(editCloud.xsize, (100000.0 * 0.5) * 0.5);
    EXPECT_EQ(value(layer, "xsize"), shownSize);  // fields are not rewritten
    // ...so the line beside Apply says which sizes Apply would write.
    EXPECT_EQ(value(layer, "workingstate"),
              "Fields: working copy (no cloud chosen); Apply writes half-sizes 25000 x -25000 x "
              "3333.333333, not those shown");
    set(layer, "cloudpresets", "Blue Mist");
    set(layer, "generate", "");
    EXPECT_EQ(editCloud.seed, 678269.0);
    EXPECT_EQ(editCloud.blue, 0.916028f);
    EXPECT_EQ(dialogGetNumber(&cloudLayer(layer), "xsize"), 25000.0);  // now they are
    EXPECT_EQ(previewPlanes(cloudLayer(layer)), referencePreview(256, 256));

    // Either action takes any of the eight names.
    host::setPartValue(host::findPart(dialog(layer), "cloudpresets"), "Full");
    set(layer, "generate", "");
    EXPECT_EQ(editCloud.xsize, 50000.0);
    host::setPartValue(host::findPart(dialog(layer), "sizepresets"), "pink fluff");
    set(layer, "generatesize", "");
    EXPECT_EQ(editCloud.seed, 12934.0);
}

TEST_F(ToolTest, HideAllAndRemove)
{
    HLayer *layer = newLayer();
    CloudLayer &l = cloudLayer(layer);
    for (const char *word : {"True", "TRUE", "true"}) {
        l.visible = 1;
        sceneCommand("cloudupdate", {"hideall", word});
        EXPECT_EQ(l.visible, 0) << word;
    }
    for (const char *word : {"False", "yes", ""}) {
        l.visible = 0;
        sceneCommand("cloudupdate", {"hideall", word});
        EXPECT_EQ(l.visible, 1) << word;
    }

    const size_t canvases = host::liveCanvasCount(), contexts = host::liveCanvasContextCount();
    openDialog();
    EXPECT_EQ(host::liveCanvasCount(), canvases + 2);
    EXPECT_EQ(host::liveCanvasContextCount(), contexts + 2);
    host::CommandResult closed = host::closeFrame(dialog(layer));  // the window's close box
    EXPECT_TRUE(closed.ran);
    EXPECT_EQ(l.dialog, nullptr);
    EXPECT_EQ(l.previewRed, nullptr);
    EXPECT_EQ(l.canvas, nullptr);
    EXPECT_EQ(host::liveCanvasCount(), canvases);
    EXPECT_EQ(host::liveCanvasContextCount(), contexts);
    EXPECT_EQ(host::findOpenFrame("cloudtool"), nullptr);
    update(layer, {"remove"});  // closing a closed dialog is harmless

    openDialog();  // a fresh copy
    EXPECT_NE(l.dialog, nullptr);
}

TEST_F(ToolTest, AddingWithTheDialogClosedStillAppends)
{
    HLayer *layer = newLayer();
    editCloud.xposition = 42;
    addCloud();
    addCloud();
    ASSERT_EQ(clouds(layer).size(), 2u);
    CloudLayer &l = cloudLayer(layer);
    EXPECT_EQ(l.current, clouds(layer)[1]);
    EXPECT_EQ(l.current->xposition, 42.0);
    EXPECT_EQ(l.current->symmetric, 1);
    EXPECT_EQ(textureNames(*l.current).size(), 20u);
    EXPECT_EQ(l.dirty, 1);  // closing asks to save the added clouds
    // Without the dialog the popup cannot name a current cloud.
    update(layer, {"density"});
    EXPECT_EQ(l.current, nullptr);
}

TEST_F(ToolTest, DeletingKeepsTheListWalkable)
{
    HLayer *layer = newLayer();
    openDialog();
    for (int i = 0; i < 5; ++i) {
        editCloud.xposition = i;
        addCloud();
    }
    cloudLayer(layer).dirty = 0;  // as if saved
    for (const char *label : {"Cloud 5", "Cloud 1", "Cloud 2"}) {
        set(layer, "currentcloud", label);
        set(layer, "delete", "");
    }
    EXPECT_EQ(cloudLayer(layer).dirty, 1);  // closing asks to save the deletions
    std::vector<double> left;
    for (CloudRecord *c : clouds(layer))
        left.push_back(c->xposition);
    EXPECT_EQ(left, (std::vector<double>{1, 3}));
    EXPECT_EQ(editCloud.xposition, 1.0);  // the head became current and shown
    set(layer, "delete", "");
    set(layer, "delete", "");
    EXPECT_EQ(cloudLayer(layer).clouds, nullptr);
    EXPECT_EQ(cloudLayer(layer).current, nullptr);
    EXPECT_EQ(editCloud.xposition, 3.0);  // the last cloud's values stay
    EXPECT_TRUE(popupItems(layer).empty());
}

TEST_F(ToolTest, DeleteKeyWithoutAPickedCloud)
{
    newLayer();
    host::journalClear();
    sceneCommand("cloudupdate", {"delselected"});
    EXPECT_TRUE(journalHas("sceneActionOff: delcloud"));
    EXPECT_EQ(selectedCloud, nullptr);
}

TEST_F(ToolTest, TheWorkingCopyIsSharedByEveryLayer)
{
    HLayer *a = newLayer();
    HLayer *b = newLayer();
    openDialog();  // the scene's commands reach the first cloud layer
    dialogOpen(b);
    ASSERT_NE(dialog(a), nullptr);
    ASSERT_NE(dialog(b), nullptr);
    ASSERT_NE(dialog(a), dialog(b));
    cloudListAddFromEdit(cloudLayer(b));
    dialogCloudListFill(cloudLayer(b), dialog(b));

    set(a, "density", "0.66");
    set(a, "seed", "4711");
    EXPECT_EQ(dialogGetNumber(&cloudLayer(b), "density"), double(0.3f));  // b's field is as it was
    set(b, "apply", "");                    // but b applies what a edited
    EXPECT_EQ(clouds(b)[0]->density, 0.66f);
    EXPECT_EQ(clouds(b)[0]->seed, 4711.0);
    EXPECT_EQ(previewPlanes(cloudLayer(b)), referencePreview(256, 256));
}

TEST_F(ToolTest, DeletingThePickedCloudForgetsIt)
{
    HLayer *layer = newLayer();
    openDialog();
    for (int i = 0; i < 3; ++i) {
        editCloud.xposition = i;
        addCloud();
    }
    CloudLayer &l = cloudLayer(layer);
    // A cloud picked in the scene (picking itself is the selection box's).
    selectedCloud = clouds(layer)[1];
    selectionState = 2;
    host::journalClear();
    sceneCommand("cloudupdate", {"delselected"});
    EXPECT_EQ(selectedCloud, nullptr);
    EXPECT_EQ(selectionState, 0);
    ASSERT_EQ(clouds(layer).size(), 2u);
    EXPECT_EQ(clouds(layer)[1]->xposition, 2.0);
    EXPECT_EQ(l.current, clouds(layer)[0]);
    EXPECT_EQ(editCloud.xposition, 0.0);
    EXPECT_TRUE(journalHas("sceneActionOff: delcloud"));
    EXPECT_TRUE(journalHas("sceneRedraw"));

    // "deletecloud" of another cloud keeps the picked one; of the picked one
    // forgets it.
    selectedCloud = clouds(layer)[1];
    set(layer, "currentcloud", "Cloud 1");
    set(layer, "delete", "");
    EXPECT_EQ(selectedCloud, clouds(layer)[0]);
    set(layer, "currentcloud", "Cloud 1");
    set(layer, "delete", "");
    EXPECT_EQ(selectedCloud, nullptr);
    EXPECT_EQ(l.clouds, nullptr);
    // Nothing is picked any more: "apply" frames nothing.
    addCloud();
    set(layer, "currentcloud", "Cloud 1");
    update(layer, {"apply"});
    EXPECT_TRUE(host::selectorsOf(&scene).empty());
    EXPECT_FALSE(scene.actionOn("delcloud"));
}

TEST_F(ToolTest, CentringThePanRedrawsThePreview)
{
    HLayer *layer = newLayer();
    openDialog();
    set(layer, "panx", "40");
    set(layer, "pany", "-9");
    set(layer, "pancenter", "");
    EXPECT_EQ(editCloud.panx, 0);
    EXPECT_EQ(editCloud.pany, 0);
    EXPECT_EQ(previewPlanes(cloudLayer(layer)), referencePreview(256, 256));
}

TEST_F(ToolTest, EveryCommandTakesTheSceneOrTheLayer)
{
    HLayer *first = newLayer();
    HLayer *second = newLayer();
    // A scene's command sent with a layer acts on that layer.
    update(second, {"showproperties"});
    EXPECT_EQ(dialog(first), nullptr);
    ASSERT_NE(dialog(second), nullptr);
    update(second, {"hideall", "True"});
    EXPECT_EQ(cloudLayer(second).visible, 0);
    EXPECT_EQ(cloudLayer(first).visible, 1);
    const unsigned long redraws = scene.redrawCount();
    host::runCommand(script, "cloudAddcloud", second, {});
    EXPECT_EQ(clouds(second).size(), 1u);
    EXPECT_GT(scene.redrawCount(), redraws);  // the new cloud shows at once
    // A dialog's command sent with the scene acts on its first cloud layer.
    openDialog();
    sceneCommand("cloudupdate", {"density"});
    host::setPartValue(host::findPart(dialog(first), "density"), "0.75");
    sceneCommand("cloudupdate", {"density"});
    EXPECT_EQ(editCloud.density, 0.75f);
    // A new layer from a layer's menu goes into that layer's scene.
    host::runCommand(script, "cloudcreatemodellayer", first, {});
    EXPECT_EQ(scene.layers().size(), 3u);
    // A closed layer is no longer taken for one.
    host::Scene other;
    EXPECT_EQ(host::runCommand(script, "cloudupdate", other.hscene(), {"apply"}).status, 0);
}
