// Entry points and the layer lifecycle against the stand-in host: a real
// scene, the script parser, the question responder and the call journal.
#include <gtest/gtest.h>

#include "support/test_util.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "files/layer_file.h"
#include "hlib.h"
#include "plugin/entry.h"
#include "plugin/layer.h"
#include "plugin/records.h"
#include "render/layer_draw.h"
#include "support/gl_env.h"
#include "tool/placement.h"
#include "viewer/hlib/heap_debug.h"
#include "viewer/hvislib/journal.h"
#include "viewer/hvislib/questions.h"
#include "viewer/tolatoollib/scene.h"

namespace {

bool contains(const std::vector<std::string> &v, const std::string &entry)
{
    for (const std::string &e : v)
        if (e == entry)
            return true;
    return false;
}

struct LayerTest : ::testing::Test {
    host::Scene scene;
    std::string dir;

    void SetUp() override
    {
        testGL();
        host::setViewerScene(&scene);
        host::clearAnswers();
        host::journalClear();
        char pattern[] = "/tmp/layer_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        host::setViewerScene(nullptr);
        std::system(("rm -rf " + dir).c_str());
    }
    HLayer *open(const std::string &file)
    {
        char *argv[] = {const_cast<char *>(file.c_str())};
        return cloudtlLayerOpen(scene.hscene(), 0, 1, argv);
    }
    static CloudLayer &cloudLayer(HLayer *l) { return *static_cast<CloudLayer *>(l->instance); }
};

}  // namespace

TEST_F(LayerTest, EntryPointsAndSmallCallbacks)
{
    EXPECT_EQ(cloudFileTitleIdentify(), -1);
    EXPECT_EQ(cloudInstanceExtListGet(), nullptr);
    EXPECT_STREQ(cloudtlLayerGetTypeName(), "Clouds");
    HScript *script = cloudtlLayerInterfaceInit();
    ASSERT_NE(script, nullptr) << "tlcloud.hml did not parse";
    EXPECT_EQ(cloudtlLayerInterfaceInit(), script);

    char *name = nullptr, *key = nullptr;
    char *result = cloudtlLayerGetInterfaceFileTypeDef(&name, &key);
    EXPECT_STREQ(name, "Clouds");
    EXPECT_STREQ(key, "cloud");
    EXPECT_EQ(result, key);
    char *name2 = nullptr, *key2 = nullptr;
    cloudtlLayerGetInterfaceFileTypeDef(&name2, &key2);
    EXPECT_NE(name, name2);  // fresh copies the host may free
    for (char *p : {name, key, name2, key2})
        hmsc_HeapFree(p);

    HLayer *layer = open(dir + "/some/where/sky.cloud");
    char *display = cloudLayerDisplayName(layer);
    char *again = cloudLayerDisplayName(layer);
    EXPECT_STREQ(display, "sky");
    EXPECT_NE(display, again);
    hmsc_HeapFree(display);
    hmsc_HeapFree(again);
    const char *popup = nullptr;
    HScript *popupScript = nullptr;
    layer->methods->stackerPopup(layer, &popup, &popupScript);
    EXPECT_STREQ(popup, "tlcloud_stacker_popup");
    EXPECT_EQ(popupScript, script);
    EXPECT_NE(layer->methods->menu(layer), nullptr);
    layer->methods->close(layer);
}

TEST_F(LayerTest, MethodTableOfANewLayer)
{
    HLayer *layer = cloudtlLayerCreate(scene.hscene(), 7, 0, nullptr);
    ASSERT_NE(layer, nullptr);
    const HLayerMethods &m = *layer->methods;
    EXPECT_EQ(m.close, cloudLayerClose);
    EXPECT_EQ(m.draw, layerDraw);
    EXPECT_EQ(m.drawBoxes, layerDrawBoxes);
    EXPECT_EQ(m.drawPass, layerDrawPass);
    EXPECT_EQ(m.drawOverlay, nullptr);
    EXPECT_EQ(m.displayName, cloudLayerDisplayName);
    EXPECT_EQ(m.menu, cloudLayerMenu);
    EXPECT_EQ(m.stackerPopup, cloudLayerStackerPopup);
    EXPECT_EQ(m.typeName, cloudtlLayerGetTypeName);
    EXPECT_EQ(m.save, cloudLayerSave);
    EXPECT_EQ(m.writeFeatureLine, cloudLayerWriteFeatureLine);
    EXPECT_NE(m.hostIsVisible, nullptr);  // the host's own entries are kept

    const CloudLayer &l = cloudLayer(layer);
    EXPECT_EQ(l.scene, scene.hscene());
    EXPECT_EQ(l.owner, scene.hscene());
    EXPECT_EQ(l.mode, 7);
    EXPECT_EQ(l.fileName, nullptr);
    EXPECT_EQ(l.argCount, 0);
    EXPECT_EQ(l.args, nullptr);
    EXPECT_EQ(l.visible, 1);
    EXPECT_EQ(l.dirty, 0);
    EXPECT_EQ(l.previewWidth, 1);
    EXPECT_EQ(l.clouds, nullptr);
    EXPECT_TRUE(contains(host::journal(), "sceneActionOff: delcloud"));
    layer->methods->close(layer);
}

TEST_F(LayerTest, DefaultSizesFromTheSceneExtent)
{
    host::Extent e;
    e.x1 = 0;
    e.x2 = 70;
    e.y1 = 0;
    e.y2 = 14;
    scene.setExtent(e);
    HLayer *layer = cloudtlLayerCreate(scene.hscene(), 0, 0, nullptr);
    EXPECT_DOUBLE_EQ(editCloud.xsize, 25.0);
    EXPECT_DOUBLE_EQ(editCloud.ysize, 5.0);
    EXPECT_DOUBLE_EQ(editCloud.zsize, 5.0);
    const CloudLayer &l = cloudLayer(layer);
    EXPECT_EQ(l.defaultHalfSize[0], editCloud.xsize);
    EXPECT_EQ(l.defaultHalfSize[1], editCloud.ysize);
    EXPECT_EQ(l.defaultHalfSize[2], editCloud.zsize);
    EXPECT_EQ(editCloud.density, 0.3f);  // the rest at the defaults
    layer->methods->close(layer);

    std::swap(e.x1, e.x2);
    std::swap(e.y1, e.y2);
    scene.setExtent(e);
    layer = cloudtlLayerCreate(scene.hscene(), 0, 0, nullptr);
    EXPECT_DOUBLE_EQ(editCloud.xsize, 25.0);
    EXPECT_DOUBLE_EQ(editCloud.ysize, 5.0);
    layer->methods->close(layer);
}

TEST_F(LayerTest, OpeningAMissingFileGivesAnEmptyLayer)
{
    HLayer *layer = open(dir + "/missing.cloud");
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(cloudLayer(layer).clouds, nullptr);
    EXPECT_EQ(cloudLayer(layer).current, nullptr);
    EXPECT_STREQ(cloudLayer(layer).fileName, (dir + "/missing.cloud").c_str());
    layer->methods->close(layer);
    EXPECT_TRUE(host::journal().size() >= 1);
    EXPECT_FALSE(contains(host::journal(), "question: Save Cloud Layer " + dir + "/missing.cloud?"));
}

TEST_F(LayerTest, OpenReadsTheCloudsAndCloseFreesEverything)
{
    const std::string file = dir + "/two.cloud";
    CloudRecord a{}, b{};
    cloudRecordSetDefaults(&a);
    cloudRecordSetDefaults(&b);
    a.next = &b;
    b.xposition = 1234.5;
    ASSERT_NE(cloudFileWrite(&a, file.c_str()), 0);

    const size_t live = hmsc_HeapLiveBlocks();
    HLayer *layer = open(file);
    const CloudLayer &l = cloudLayer(layer);
    ASSERT_NE(l.clouds, nullptr);
    EXPECT_EQ(l.current, l.clouds);
    ASSERT_NE(l.clouds->next, nullptr);
    EXPECT_EQ(l.clouds->next->xposition, 1234.5);
    EXPECT_NE(l.clouds->hTextures, nullptr);
    selectedCloud = l.clouds->next;
    selectionState = 2;
    layer->methods->close(layer);
    EXPECT_EQ(selectedCloud, nullptr);  // no dangling pick
    EXPECT_EQ(selectionState, 0);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
}

TEST_F(LayerTest, CloseAsksToSaveOnlyWhenDirty)
{
    const std::string file = dir + "/sky.cloud";
    HLayer *layer = open(file);
    layer->methods->close(layer);
    for (const std::string &entry : host::journal())
        EXPECT_NE(entry.rfind("question:", 0), 0u) << entry;

    layer = open(file);
    cloudLayer(layer).dirty = 1;
    host::pushAnswer(false);
    layer->methods->close(layer);
    EXPECT_TRUE(contains(host::journal(), "question: Save Cloud Layer " + file + "?"));
    EXPECT_FALSE(std::ifstream(file).good());  // "No" writes nothing

    layer = open(file);
    cloudLayer(layer).dirty = 1;
    host::pushAnswer(true);
    layer->methods->close(layer);
    EXPECT_EQ(readFile(file), "TOLA_Cloud_Layer_File_V1.1\n0 clouds_in_file\n");
}

TEST_F(LayerTest, CloseQuestionWithAVeryLongFileName)
{
    const std::string file = dir + "/" + std::string(400, 'n') + ".cloud";
    HLayer *layer = open(file);
    cloudLayer(layer).dirty = 1;
    host::pushAnswer(false);
    layer->methods->close(layer);  // AddressSanitizer watches the 256-byte question
    bool asked = false;
    for (const std::string &e : host::journal())
        if (e.rfind("question: Save Cloud Layer " + dir, 0) == 0) {
            asked = true;
            EXPECT_LE(e.size(), std::string("question: ").size() + 255);
        }
    EXPECT_TRUE(asked);
}

TEST_F(LayerTest, CreateCommandAndFeatureLineWithoutArguments)
{
    HErrorSlot err = nullptr;
    char *argv[] = {nullptr};
    EXPECT_EQ(cloudcreatemodellayer(nullptr, scene.hscene(), 0, argv, &err), 0);
    ASSERT_EQ(scene.layers().size(), 1u);
    HLayer *layer = scene.layers()[0];
    EXPECT_STREQ(layer->methods->typeName(), "Clouds");

    const std::string script = dir + "/scene.txt";
    HFile *out = hfio_Open(script.c_str(), "w", &err);
    layer->methods->writeFeatureLine(layer, out);
    hfio_Close(out, &err);
    EXPECT_EQ(readFile(script), "\tADDFEATURELAYER \"Clouds\" ;\n");
    scene.closeAllLayers();
    EXPECT_TRUE(scene.layers().empty());
}

// A layer either keeps every argument or is not made: a scene script must
// never name it wrongly.
TEST_F(LayerTest, CreateNeverKeepsALayerWithLostArguments)
{
    const std::string file = dir + "/three.cloud";
    char *argv[] = {const_cast<char *>(file.c_str()), const_cast<char *>("b"),
                    const_cast<char *>("c")};
    const std::string expected =
        "\tADDFEATURELAYER \"Clouds\" \"" + file + "\" \"b\" \"c\" ;\n";
    const std::string script = dir + "/scene.txt";
    cloudtlLayerInterfaceInit();
    const size_t live = hmsc_HeapLiveBlocks();
    const unsigned long before = hmsc_HeapAllocationCount();
    HLayer *layer = cloudtlLayerCreate(scene.hscene(), 0, 3, argv);
    layer->methods->close(layer);
    const unsigned long allocations = hmsc_HeapAllocationCount() - before;
    for (unsigned long nth = 1; nth <= allocations; ++nth) {
        hmsc_HeapFailAfter(static_cast<long>(nth));
        layer = cloudtlLayerCreate(scene.hscene(), 0, 3, argv);
        hmsc_HeapFailAfter(0);
        if (layer) {
            HErrorSlot err = nullptr;
            HFile *out = hfio_Open(script.c_str(), "w", &err);
            layer->methods->writeFeatureLine(layer, out);
            hfio_Close(out, &err);
            EXPECT_EQ(readFile(script), expected) << "allocation " << nth;
            layer->methods->close(layer);
        }
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << "allocation " << nth;
    }
}

TEST_F(LayerTest, EveryAllocationOfOpenMayFail)
{
    const std::string file = dir + "/one.cloud";
    CloudRecord a{};
    cloudRecordSetDefaults(&a);
    a.layers = 2;
    ASSERT_NE(cloudFileWrite(&a, file.c_str()), 0);
    cloudtlLayerInterfaceInit();
    const size_t live = hmsc_HeapLiveBlocks();
    const unsigned long before = hmsc_HeapAllocationCount();
    HLayer *layer = open(file);
    layer->methods->close(layer);
    const unsigned long allocations = hmsc_HeapAllocationCount() - before;
    ASSERT_EQ(hmsc_HeapLiveBlocks(), live);
    for (unsigned long nth = 1; nth <= allocations; ++nth) {
        hmsc_HeapFailAfter(static_cast<long>(nth));
        layer = open(file);
        hmsc_HeapFailAfter(0);
        if (layer)
            layer->methods->close(layer);
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << "allocation " << nth;
    }
}
