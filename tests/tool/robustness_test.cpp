// The cloud tool under failure: every allocation of an editing session
// failing in turn, values without sense, and what a session leaves behind.
#include "tool/tool_fixture.h"

#include <GL/gl.h>

#include <cmath>
#include <limits>

#include "plugin/entry.h"
#include "render/layer_draw.h"
#include "viewer/hlib/heap_debug.h"
#include "viewer/hvislib/journal.h"
#include "viewer/hvislib/questions.h"

namespace {

// One editing session: open the dialog, add, edit, apply, both presets,
// delete, close the dialog, then the layer.
void session(ToolTest &t)
{
    HLayer *layer = cloudtlLayerCreate(t.scene.hscene(), 0, 0, nullptr);
    if (!layer)
        return;  // no room for the layer itself: nothing else to try
    t.scene.addLayer(layer);
    // Parts are fired without checks: under a failed allocation the dialog
    // may be missing, and the point is only that nothing breaks.
    auto fire = [&](const char *part, const char *value) {
        host::firePart(ToolTest::dialog(layer), part, value);
    };
    t.openDialog();
    t.addCloud();
    t.addCloud();
    fire("currentcloud", "Cloud 1");
    fire("density", "0.5");
    fire("apply", "");
    fire("cloudpresets", "Pink Fluff");
    fire("generate", "");
    fire("sizepresets", "Medium");
    fire("generatesize", "");
    fire("delete", "");
    fire("savefile", (t.dir + "/session.tif").c_str());
    fire("savetoimg", "");
    fire("remove", "");
    t.openDialog();
    t.scene.closeAllLayers();
}

}  // namespace

TEST_F(ToolTest, EveryAllocationOfASessionMayFail)
{
    host::setDefaultAnswer(true);  // each export replaces the last one
    session(*this);  // warm up: the script and GL are made once
    const size_t live = hmsc_HeapLiveBlocks();
    const unsigned long start = hmsc_HeapAllocationCount();
    session(*this);
    const unsigned long count = hmsc_HeapAllocationCount() - start;
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
    ASSERT_GT(count, 10u);
    for (unsigned long n = 1; n <= count; ++n) {
        SCOPED_TRACE(n);
        hmsc_HeapFailAfter(long(n));
        session(*this);
        hmsc_HeapFailAfter(0);
        ASSERT_EQ(hmsc_HeapLiveBlocks(), live) << "allocation " << n << " failed: a leak";
    }
}

TEST_F(ToolTest, ASessionLeavesNoTextureBehind)
{
    GLuint probe = 0;
    glGenTextures(1, &probe);
    glDeleteTextures(1, &probe);
    session(*this);
    HLayer *layer = newLayer();
    openDialog();
    for (int i = 0; i < 4; ++i)
        addCloud();
    set(layer, "currentcloud", "Cloud 2");
    set(layer, "tslices", "3");
    set(layer, "apply", "");
    set(layer, "delete", "");
    GLuint highest = 0;
    for (CloudRecord *c : clouds(layer))
        for (uint32_t name : textureNames(*c))
            highest = std::max(highest, name);
    scene.closeAllLayers();
    for (GLuint name = probe; name <= highest + 64; ++name)
        EXPECT_FALSE(glIsTexture(name)) << "texture " << name << " outlived its layer";
}

TEST_F(ToolTest, ValuesWithoutSenseNeverCrashOrHang)
{
    HLayer *layer = newLayer();
    openDialog();
    addCloud();
    const double inf = std::numeric_limits<double>::infinity();
    const char *nan = "nan";
    const struct {
        const char *part;
        std::string value;
    } edits[] = {
        {"tslices", "1e9"},  {"zoom", nan},        {"zoom", "1e30"},    {"detail", "1e9"},
        {"seed", "1e300"},   {"xsize", "inf"},     {"density", nan},    {"height", "-1e30"},
        {"cluster", "inf"},  {"panx", "1e12"},     {"pany", "-1e12"},   {"cslicex", "1e12"},
        {"zposition", nan},  {"bottomscale", nan}, {"tslices", "-4"},   {"detail", "-2"},
    };
    for (const auto &e : edits) {
        SCOPED_TRACE(std::string(e.part) + "=" + e.value);
        set(layer, e.part, e.value);
        for (const char *texsize : {"0", "-7", "2147483647", "100000", "32"}) {
            update(layer, {"texsize", texsize});
            set(layer, "apply", "");
        }
    }
    (void)inf;
    // The layer still draws.
    scene.setViewport(64, 64);
    scene.setupCamera();
    layer->methods->draw(layer, 0.0, 0.0, 0.0, 0, 30.0, 225.0, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ToolTest, CloseQuestionAsTheUserSeesIt)
{
    std::vector<std::string> asked;
    host::setResponder([&](const std::string &q, const std::string &no, const std::string &yes) {
        asked = {q, no, yes};
        return false;
    });
    char name[] = "sky.cloud";
    char *argv[] = {name};
    HLayer *layer = cloudtlLayerCreate(scene.hscene(), 0, 1, argv);
    scene.addLayer(layer);
    openDialog();
    addCloud();
    set(layer, "apply", "");
    scene.closeAllLayers();
    EXPECT_EQ(asked, (std::vector<std::string>{"Save Cloud Layer sky.cloud?", "No", "Yes"}));
}

TEST_F(ToolTest, MakingALayerWithoutASceneDoesNothing)
{
    const size_t live = hmsc_HeapLiveBlocks();
    EXPECT_EQ(cloudcreatemodellayer(nullptr, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
    EXPECT_TRUE(scene.layers().empty());
    EXPECT_EQ(sceneCommand("cloudcreatemodellayer", {}).status, 0);
    EXPECT_EQ(scene.layers().size(), 1u);  // with its scene it does make one
}

TEST_F(ToolTest, AMissingScriptIsReportedAtStart)
{
    HScript *kept = cloudtlScript;
    cloudtlScript = nullptr;
    host::setScriptPath(dir);  // an empty folder
    host::journalClear();
    EXPECT_EQ(cloudtlLayerInterfaceInit(), nullptr);
    bool reported = false;
    for (const std::string &e : host::journal())
        reported = reported || (e.rfind("error: ", 0) == 0 && e.find("tlcloud.hml") != std::string::npos);
    EXPECT_TRUE(reported);

    // A broken script is reported with its line.
    FILE *f = std::fopen((dir + "/tlcloud.hml").c_str(), "w");
    std::fputs("<hml version=\"1\">\n  <frame name=\"cloudtool\">\n</hml>\n", f);
    std::fclose(f);
    host::journalClear();
    EXPECT_EQ(cloudtlLayerInterfaceInit(), nullptr);
    reported = false;
    for (const std::string &e : host::journal())
        reported = reported || (e.find("tlcloud.hml:") != std::string::npos);
    EXPECT_TRUE(reported);
    host::setScriptPath("");
    cloudtlScript = kept;
}
