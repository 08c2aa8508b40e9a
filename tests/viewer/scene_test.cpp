// The scene as a layer type sees it: the operation table, the camera that
// picking and drawing share, the layer list with feature layers and the
// arrange services, and the journal of what the layer type asked.
#include "support/gl_env.h"
#include "tolatoollib.h"
#include "viewer/hlib/error.h"
#include "viewer/hvislib/journal.h"
#include "viewer/tolatoollib/scene.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// A minimal layer type: a feature layer whose close frees it, as a real
// layer type's close does.
struct FakeType {
    static inline void *lastOwner = nullptr;
    static inline int32_t lastMode = -1;
    static inline Strings lastStrings;
    static inline Strings closed;
};

const char *fakeTypeName() { return "Fake"; }
const char *otherTypeName() { return "Other"; }

void fakeClose(HLayer *layer) {
    FakeType::closed.push_back(static_cast<const char *>(layer->instance));
    tola_FeatureLayerFree(layer);
}

HLayer *makeLayer(const char *id, const char *(*typeName)() = fakeTypeName) {
    HLayer *layer = tola_FeatureLayerCreate();
    layer->instance = const_cast<char *>(id);
    layer->methods->typeName = typeName;
    layer->methods->close = fakeClose;
    return layer;
}

HLayer *fakeCreate(void *owner, int32_t mode, int32_t count, char **strings) {
    FakeType::lastOwner = owner;
    FakeType::lastMode = mode;
    FakeType::lastStrings.assign(strings, strings + count);
    return makeLayer("created");
}

HLayer *failingCreate(void *, int32_t, int32_t, char **) { return nullptr; }

Strings ids(const host::Scene &scene) {
    Strings list;
    for (HLayer *layer : scene.layers())
        list.push_back(static_cast<const char *>(layer->instance));
    return list;
}

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::journalClear();
        FakeType::closed.clear();
        scene.setExtent({0.0, 70.0, 0.0, 14.0, 5.0, 25.0});
        scene.setOrigin(1000.0, -20.0, 3.5);
    }
    void TearDown() override { scene.closeAllLayers(); }
    const HSceneOps &ops() { return *scene.hscene()->ops; }
    host::Scene scene;
};

// ---- Records the plug-in reads back.

TEST_F(SceneTest, ExtentAndOriginComeBackInTableOrder) {
    double e[6];
    ops().sceneGetExtent(scene.hscene(), &e[0], &e[1], &e[2], &e[3], &e[4], &e[5]);
    EXPECT_EQ(std::vector<double>(e, e + 6), (std::vector<double>{0, 70, 0, 14, 5, 25}));
    double x, y, z;
    ops().sceneGetOrigin(scene.hscene(), 0, &x, &y, &z);
    EXPECT_EQ(x, 1000.0);
    EXPECT_EQ(y, -20.0);
    EXPECT_EQ(z, 3.5);
    double q[3] = {7, 7, 7};
    ops().sceneQueryView(scene.hscene(), &q[0], &q[1], &q[2], 0, 0);
    EXPECT_EQ(q[0] + q[1] + q[2], 0.0);
    // The window is the scene's own and maps back to it.
    HWindow *window = ops().sceneGetWindow(scene.hscene());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window, ops().sceneGetWindow(scene.hscene()));
    EXPECT_EQ(window->scene, &scene);
    EXPECT_EQ(host::Scene::fromHScene(scene.hscene()), &scene);
}

TEST_F(SceneTest, ForeignRecordsGetZerosNotCrashes) {
    HScene foreign{scene.hscene()->ops};
    double e[6] = {1, 1, 1, 1, 1, 1};
    ops().sceneGetExtent(&foreign, &e[0], &e[1], &e[2], &e[3], &e[4], &e[5]);
    for (double v : e)
        EXPECT_EQ(v, 0.0);
    ops().sceneRedraw(&foreign, 0, 0, nullptr);
    EXPECT_TRUE(host::journal().empty());
    EXPECT_EQ(host::Scene::fromHScene(&foreign), nullptr);
}

TEST_F(SceneTest, StateRequestsAreCountedAndJournaled) {
    HScene *h = scene.hscene();
    ops().sceneRedraw(h, 0, 0, nullptr);
    ops().sceneRedraw(h, 0, 0, nullptr);
    ops().sceneActionOn(h, "delcloud");
    EXPECT_TRUE(scene.actionOn("delcloud"));
    EXPECT_FALSE(scene.actionOn("DelCloud")); // names are exact
    ops().sceneActionOff(h, "delcloud");
    ops().sceneActionOff(h, "delcloud"); // off twice stays off
    std::vector<bool> heard;
    scene.setBusyListener([&heard](bool busy) { heard.push_back(busy); });
    ops().sceneSetBusy(h, 1);
    EXPECT_TRUE(scene.busy());
    ops().sceneSetBusy(h, 1); // no change, nothing to hear
    ops().sceneSetBusy(h, 0);
    scene.setBusyListener({});
    EXPECT_EQ(heard, (std::vector<bool>{true, false}));
    ops().sceneInteractionBegin(h, 0);
    ops().sceneInteractionBegin(h, 0);
    ops().sceneInteractionEnd(h, 0);
    EXPECT_EQ(scene.interactionDepth(), 1);
    ops().sceneInteractionEnd(h, 0);
    ops().sceneInteractionEnd(h, 0); // never below zero
    EXPECT_EQ(scene.interactionDepth(), 0);
    EXPECT_EQ(scene.redrawCount(), 2u);
    EXPECT_FALSE(scene.busy());
    EXPECT_TRUE(scene.actions().empty());
    EXPECT_EQ(host::journal(),
              (Strings{"sceneRedraw", "sceneRedraw", "sceneActionOn: delcloud",
                       "sceneActionOff: delcloud", "sceneActionOff: delcloud", "sceneSetBusy: 1",
                       "sceneSetBusy: 1", "sceneSetBusy: 0", "sceneInteractionBegin", "sceneInteractionBegin",
                       "sceneInteractionEnd", "sceneInteractionEnd", "sceneInteractionEnd"}));
}

// ---- Pointer event callbacks.

struct Hits {
    std::vector<std::string> calls;
};
Hits hits;

int recordA(void *client, HPointerEvent *e) {
    hits.calls.push_back("A" + std::to_string(e->code) + "@" + std::to_string(e->x) + "," +
                         std::to_string(e->y) + (client ? "+" : ""));
    return 1;
}

int recordB(void *, HPointerEvent *e) {
    hits.calls.push_back("B" + std::to_string(e->code));
    return 0;
}

host::Scene *removingScene = nullptr;
int removeA(void *client, HPointerEvent *) {
    hits.calls.push_back("remover");
    removingScene->removeEventCallback(recordA, client);
    return 1;
}

TEST_F(SceneTest, EventCallbacksAddRemoveAndDispatchInOrder) {
    hits.calls.clear();
    int client = 0;
    ops().sceneAddEventCallback(scene.hscene(), recordA, &client);
    ops().sceneAddEventCallback(scene.hscene(), recordB, nullptr);
    EXPECT_EQ(scene.dispatchEvent({HPOINTER_CLICK, 12, 34}), 1);
    EXPECT_EQ(hits.calls, (Strings{"A104@12,34+", "B104"}));

    hits.calls.clear();
    ops().sceneRemoveEventCallback(scene.hscene(), recordA, nullptr); // wrong client: kept
    EXPECT_EQ(scene.eventCallbackCount(), 2u);
    ops().sceneRemoveEventCallback(scene.hscene(), recordA, &client);
    EXPECT_EQ(scene.dispatchEvent({7, 0, 0}), 0);
    EXPECT_EQ(hits.calls, (Strings{"B7"}));
}

TEST_F(SceneTest, ACallbackRemovedDuringDispatchIsNotCalled) {
    hits.calls.clear();
    removingScene = &scene;
    int client = 0;
    scene.addEventCallback(removeA, &client);
    scene.addEventCallback(recordA, &client);
    EXPECT_EQ(scene.dispatchEvent({HPOINTER_CLICK, 1, 2}), 1);
    EXPECT_EQ(hits.calls, (Strings{"remover"}));
    EXPECT_EQ(scene.eventCallbackCount(), 1u);
    scene.removeEventCallback(removeA, &client);
}

// ---- Layers.

TEST_F(SceneTest, CreateLayerCallsTheEntryPointWithTheSceneAsOwner) {
    char first[] = "sky.cloud", second[] = "x";
    char *strings[] = {first, second};
    HErrorSlot err = nullptr;
    HLayer *layer =
        ops().sceneCreateLayer(scene.hscene(), 2, strings, fakeCreate, &err);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(err, nullptr);
    EXPECT_EQ(FakeType::lastOwner, scene.hscene());
    EXPECT_EQ(tola_GetScenePtrFromLayer(FakeType::lastOwner), scene.hscene());
    EXPECT_EQ(FakeType::lastMode, 0);
    EXPECT_EQ(FakeType::lastStrings, (Strings{"sky.cloud", "x"}));
    EXPECT_EQ(scene.layers(), std::vector<HLayer *>{layer});
    EXPECT_EQ(host::journal(), Strings{"sceneCreateLayer"});

    EXPECT_EQ(ops().sceneCreateLayer(scene.hscene(), 0, nullptr, failingCreate, &err), nullptr);
    EXPECT_NE(err, nullptr);
    EXPECT_EQ(scene.layers().size(), 1u);
}

TEST_F(SceneTest, FindLayerByTypeTakesTheFirstExactMatch) {
    scene.addLayer(makeLayer("other", otherTypeName));
    HLayer *first = makeLayer("first");
    scene.addLayer(first);
    scene.addLayer(makeLayer("second"));
    HLayer *bare = tola_FeatureLayerCreate(); // no type name yet
    scene.addLayer(bare);
    EXPECT_EQ(ops().sceneFindLayerByType(scene.hscene(), "Fake"), first);
    EXPECT_EQ(ops().sceneFindLayerByType(scene.hscene(), "fake"), nullptr);
    EXPECT_EQ(ops().sceneFindLayerByType(scene.hscene(), "Fak"), nullptr);
    EXPECT_EQ(ops().sceneFindLayerByType(scene.hscene(), nullptr), nullptr);
    scene.removeLayer(bare);
    tola_FeatureLayerFree(bare);
}

TEST_F(SceneTest, ClosingAllLayersClosesEachInOrderAndEmptiesTheList) {
    for (const char *id : {"a", "b", "c"})
        scene.addLayer(makeLayer(id));
    scene.closeAllLayers();
    EXPECT_EQ(FakeType::closed, (Strings{"a", "b", "c"}));
    EXPECT_TRUE(scene.layers().empty());
}

TEST_F(SceneTest, FeatureLayerHasHostDefaultsAndFreeingUnlistsIt) {
    HLayer *layer = tola_FeatureLayerCreate();
    ASSERT_NE(layer->methods, nullptr);
    EXPECT_EQ(layer->instance, nullptr);
    const HLayerMethods &m = *layer->methods;
    for (const void *entry : {(const void *)m.close, (const void *)m.draw, (const void *)m.typeName,
                              (const void *)m.save, (const void *)m.menu, (const void *)m.drawPass,
                              (const void *)m.drawOverlay})
        EXPECT_EQ(entry, nullptr);
    ASSERT_NE(m.hostSetName, nullptr);
    ASSERT_NE(m.hostGetExtent, nullptr);
    ASSERT_NE(m.hostIsVisible, nullptr);
    EXPECT_EQ(m.hostIsVisible(layer), 1); // outside any scene
    m.hostSetName(layer, "Sky");
    EXPECT_EQ(host::featureLayerName(layer), "Sky");

    scene.addLayer(layer);
    double box[6];
    m.hostGetExtent(layer, box);
    EXPECT_EQ(box[1], 70.0);
    EXPECT_EQ(box[5], 25.0);
    scene.setLayerVisible(layer, false);
    EXPECT_EQ(m.hostIsVisible(layer), 0);

    host::Scene second;
    second.addLayer(layer);
    tola_FeatureLayerFree(layer); // leaves no dangling entry in either scene
    EXPECT_TRUE(scene.layers().empty());
    EXPECT_TRUE(second.layers().empty());
    EXPECT_FALSE(host::isFeatureLayer(layer));
    tola_FeatureLayerFree(layer); // a second free is ignored
}

TEST_F(SceneTest, ArrangeServicesActOnTheContextLayer) {
    for (const char *id : {"a", "b", "c"})
        scene.addLayer(makeLayer(id));
    const std::vector<HLayer *> layers = scene.layers();
    HErrorSlot err = nullptr;
    EXPECT_EQ(tola_ArrangeLayersRaiseToTop(nullptr, layers[0], 0, nullptr, &err), 0);
    EXPECT_EQ(ids(scene), (Strings{"b", "c", "a"}));
    EXPECT_EQ(tola_ArrangeLayersLowerToBottom(nullptr, layers[2], 0, nullptr, &err), 0);
    EXPECT_EQ(ids(scene), (Strings{"c", "b", "a"}));
    EXPECT_EQ(tola_ArrangeLayersToggleLayerVisibility(layers[1]), 0);
    EXPECT_FALSE(scene.layerVisible(layers[1]));
    EXPECT_EQ(tola_ArrangeLayersToggleLayerVisibility(layers[1]), 0);
    EXPECT_TRUE(scene.layerVisible(layers[1]));
    EXPECT_EQ(scene.layerRemovals(), 0u); // moving a layer is no removal
    EXPECT_EQ(tola_ArrangeLayersDeleteLayer(nullptr, layers[1], 0, nullptr, &err), 0);
    EXPECT_EQ(FakeType::closed, Strings{"b"});
    EXPECT_EQ(ids(scene), (Strings{"c", "a"}));
    EXPECT_EQ(scene.layerRemovals(), 1u);
    EXPECT_EQ(err, nullptr);
    EXPECT_EQ(scene.redrawCount(), 5u);
    EXPECT_EQ(host::journal(),
              (Strings{"arrange: raise to top", "arrange: lower to bottom",
                       "arrange: toggle visibility", "arrange: toggle visibility",
                       "arrange: delete layer"}));
}

TEST_F(SceneTest, ArrangeRefusesContextsThatAreNoListedLayer) {
    scene.addLayer(makeLayer("a"));
    HLayer *stray = makeLayer("stray"); // alive, but in no scene
    int notALayer = 0;
    for (void *context : {(void *)stray, (void *)&notALayer, (void *)nullptr}) {
        HErrorSlot err = nullptr;
        EXPECT_EQ(tola_ArrangeLayersRaiseToTop(nullptr, context, 0, nullptr, &err), -1);
        EXPECT_NE(err, nullptr);
        err = nullptr;
        EXPECT_EQ(tola_ArrangeLayersDeleteLayer(nullptr, context, 0, nullptr, &err), -1);
        EXPECT_NE(std::string(herr_Message(err)).find("not a layer"), std::string::npos);
        EXPECT_EQ(tola_ArrangeLayersToggleLayerVisibility(context), -1);
    }
    EXPECT_TRUE(FakeType::closed.empty());
    EXPECT_EQ(ids(scene), Strings{"a"});
    EXPECT_EQ(scene.redrawCount(), 0u);
    fakeClose(stray);
}

TEST_F(SceneTest, ViewerSceneIsSettableAndForgottenWithTheScene) {
    host::setViewerScene(&scene);
    EXPECT_EQ(tola_ViewerGetScene(), scene.hscene());
    {
        host::Scene other;
        host::setViewerScene(&other);
        EXPECT_EQ(tola_ViewerGetScene(), other.hscene());
    }
    EXPECT_EQ(tola_ViewerGetScene(), nullptr);
    EXPECT_EQ(host::viewerScene(), nullptr);
}

// ---- Camera, picking and the ray test.

double distance3(const double a[3], const double b[3]) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

TEST(Camera, EyeFollowsAzimuthAndElevation) {
    host::Camera c;
    c.target = {0, 0, 0};
    c.distance = 100;
    c.azimuth = 0;
    c.elevation = 0;
    host::Vec3 eye = c.eye();
    EXPECT_NEAR(eye[1], 100, 1e-9); // north of the target, looking south
    EXPECT_NEAR(c.forward()[1], -1, 1e-12);
    EXPECT_NEAR(c.right()[0], -1, 1e-12); // looking south, west is to the right
    EXPECT_NEAR(c.up()[2], 1, 1e-12);
    c.azimuth = 90;
    eye = c.eye();
    EXPECT_NEAR(eye[0], 100, 1e-9); // east
    c.elevation = 90;
    eye = c.eye();
    EXPECT_NEAR(eye[2], 100, 1e-9);
    EXPECT_NEAR(std::fabs(c.up()[0]) + std::fabs(c.up()[1]), 1, 1e-9); // still a screen up
}

TEST(Camera, MatricesMapTheTargetToTheViewCentre) {
    host::Camera c;
    c.target = {5000, -300, 12};
    c.azimuth = 225;
    c.elevation = 30;
    c.distance = 20000;
    c.width = 640;
    c.height = 480;
    c.fitClipPlanes({0, 10000, -1000, 1000, 0, 100});
    const host::Matrix4 v = c.viewMatrix(), p = c.projectionMatrix();
    // Column-major: eye space of the target lies on -z at the distance.
    double eyeSpace[4];
    for (int r = 0; r < 4; ++r)
        eyeSpace[r] = v[r] * c.target[0] + v[4 + r] * c.target[1] + v[8 + r] * c.target[2] + v[12 + r];
    EXPECT_NEAR(eyeSpace[0], 0, 1e-6);
    EXPECT_NEAR(eyeSpace[1], 0, 1e-6);
    EXPECT_NEAR(eyeSpace[2], -20000, 1e-6);
    double clip[4];
    for (int r = 0; r < 4; ++r)
        clip[r] = p[r] * eyeSpace[0] + p[4 + r] * eyeSpace[1] + p[8 + r] * eyeSpace[2] + p[12 + r] * 1.0;
    EXPECT_NEAR(clip[0] / clip[3], 0, 1e-9);
    EXPECT_NEAR(clip[1] / clip[3], 0, 1e-9);
    double wx, wy, depth;
    ASSERT_TRUE(c.worldToWindow(c.target.data(), &wx, &wy, &depth));
    EXPECT_NEAR(wx, 320, 1e-6);
    EXPECT_NEAR(wy, 240, 1e-6);
    EXPECT_NEAR(depth, 0.5 * (clip[2] / clip[3] + 1), 1e-9);
    EXPECT_GT(depth, 0.0);
    EXPECT_LT(depth, 1.0);
    const host::Vec3 behind = {c.eye()[0] - c.forward()[0], c.eye()[1] - c.forward()[1],
                               c.eye()[2] - c.forward()[2]};
    EXPECT_FALSE(c.worldToWindow(behind.data(), &wx, &wy));
}

TEST(Camera, RayThroughAWindowPositionProjectsBackToIt) {
    host::Camera c;
    c.width = 800;
    c.height = 600;
    c.fitClipPlanes({});
    for (auto [x, y] : {std::pair{0.0, 0.0}, {799.0, 10.0}, {123.0, 456.0}}) {
        double start[3], second[3], wx, wy;
        c.windowToRay(x, y, start, second);
        for (const double *point : {start, second}) {
            ASSERT_TRUE(c.worldToWindow(point, &wx, &wy));
            EXPECT_NEAR(wx, x, 1e-6);
            EXPECT_NEAR(wy, y, 1e-6);
        }
        EXPECT_GT(distance3(second, c.eye().data()), distance3(start, c.eye().data()));
    }
    // Top of the window is up in the scene: looking level, y = 0 lies above.
    c.elevation = 0;
    double top[3], far[3], bottom[3];
    c.windowToRay(400, 0, top, far);
    c.windowToRay(400, 600, bottom, far);
    EXPECT_GT(top[2], bottom[2]);
}

TEST_F(SceneTest, PickUnderTheWindowCentreLandsOnTheTargetOnTheGround) {
    scene.setExtent({0, 100000, 0, 100000, 0, 3000});
    scene.setViewport(1280, 720);
    scene.setView(225, 30, 150000);
    double x, y, z;
    ops().scenePickPoint(scene.hscene(), 640, 360, &x, &y, &z);
    EXPECT_NEAR(x, 50000, 1e-6);
    EXPECT_NEAR(y, 50000, 1e-6);
    EXPECT_EQ(z, 0.0);
    // Lower in the window is nearer the eye (south-west of the target).
    ops().scenePickPoint(scene.hscene(), 640, 700, &x, &y, &z);
    EXPECT_LT(x, 50000);
    EXPECT_LT(y, 50000);
    // The pick ray's start comes first and both points lie on the ray
    // through the same ground point.
    double start[3], second[3];
    ops().scenePickRay(scene.hscene(), 640, 360, start, second);
    const host::Vec3 eye = scene.viewCamera().eye();
    EXPECT_LT(distance3(start, eye.data()), distance3(second, eye.data()));
    const double t = (0 - start[2]) / (second[2] - start[2]);
    EXPECT_NEAR(start[0] + t * (second[0] - start[0]), 50000, 1e-6);
}

TEST_F(SceneTest, PickAboveTheHorizonStaysOnTheGround) {
    scene.setViewport(400, 400);
    scene.setView(0, 5, 1000); // nearly level: the top of the window shows sky
    double x, y, z;
    ops().scenePickPoint(scene.hscene(), 200, 0, &x, &y, &z);
    EXPECT_EQ(z, scene.extent().z1);
    EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
}

TEST(RayHitsBox, NearestHitWithCornersInAnyOrder) {
    const double start[3] = {-10, 1, 1}, second[3] = {0, 1, 1};
    const double low[3] = {0, 0, 0}, high[3] = {4, 2, 3};
    double hit[3];
    ASSERT_TRUE(host::rayHitsBox(start, second, low, high, hit));
    EXPECT_EQ(hit[0], 0);
    EXPECT_EQ(hit[1], 1);
    // Swapped corners, and mixed: low in x, high in y (a negative half-extent).
    const double mixedA[3] = {4, 0, 3}, mixedB[3] = {0, 2, 0};
    double again[3];
    ASSERT_TRUE(host::rayHitsBox(start, second, high, low, again));
    EXPECT_EQ(again[0], 0);
    ASSERT_TRUE(host::rayHitsBox(start, second, mixedA, mixedB, again));
    EXPECT_EQ(again[0], 0);
    // Beyond the second point still counts: it is a ray, not a segment.
    const double shortSecond[3] = {-9, 1, 1};
    EXPECT_TRUE(host::rayHitsBox(start, shortSecond, low, high, again));
}

TEST(RayHitsBox, MissesBehindBesideAndParallel) {
    const double low[3] = {0, 0, 0}, high[3] = {4, 2, 3};
    double hit[3] = {7, 7, 7};
    const double away[3] = {-10, 1, 1}, awaySecond[3] = {-20, 1, 1};
    EXPECT_FALSE(host::rayHitsBox(away, awaySecond, low, high, hit));
    const double beside[3] = {-10, 5, 1}, besideSecond[3] = {0, 5, 1};
    EXPECT_FALSE(host::rayHitsBox(beside, besideSecond, low, high, hit));
    const double diagonal[3] = {-10, 0, 0}, diagonalSecond[3] = {0, 10, 0};
    EXPECT_FALSE(host::rayHitsBox(diagonal, diagonalSecond, low, high, hit));
    EXPECT_EQ(hit[0], 7); // untouched on a miss
}

TEST(RayHitsBox, StartInsideHitsAtTheStart) {
    const double low[3] = {0, 0, 0}, high[3] = {4, 2, 3};
    const double start[3] = {1, 1, 1}, second[3] = {1, 1, 5};
    double hit[3];
    ASSERT_TRUE(host::rayHitsBox(start, second, low, high, hit));
    EXPECT_EQ(hit[2], 1);
    host::Scene scene; // the table's entry is the same test
    EXPECT_EQ(scene.hscene()->ops->sceneRayHitsBox(start, second, high, low, hit), 1);
}

// ---- Drawing.

TEST_F(SceneTest, GroundDrawsUnderTheTargetAndRestoresState) {
    HeadlessGL &gl = testGL();
    scene.setExtent({0, 100000, 0, 100000, 0, 3000});
    scene.setViewport(gl.width(), gl.height());
    scene.setView(200, 10, 150000); // the top of the view shows sky
    glClearColor(0, 0, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    scene.setupCamera();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    scene.drawGround();
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    GLfloat color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[2], 0.3f);
    glDisable(GL_BLEND);
    const std::vector<uint8_t> rgba = gl.readRGBA();
    const uint8_t *centre = &rgba[(size_t(gl.height() / 2) * gl.width() + gl.width() / 2) * 4];
    EXPECT_GT(centre[1], centre[2]); // greenish ground, not the blue clear colour
    const uint8_t *top = &rgba[size_t(gl.width() / 2) * 4]; // row 0 is the top
    EXPECT_GT(top[2], 100); // above the horizon the clear colour stays
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// ---- Picking against the last drawn frame, and click delivery.

// Draws the ground and, when given, a horizontal square at height top over
// the middle of the extent, and hands the scene the frame's depth.
void drawFrame(host::Scene &scene, double top = -1.0) {
    HeadlessGL &gl = testGL();
    scene.setViewport(gl.width(), gl.height());
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene.setupCamera();
    scene.drawGround();
    if (top >= 0.0) {
        glEnable(GL_DEPTH_TEST);
        glBegin(GL_QUADS);
        glVertex3d(40000, 40000, top);
        glVertex3d(60000, 40000, top);
        glVertex3d(60000, 60000, top);
        glVertex3d(40000, 60000, top);
        glEnd();
        glDisable(GL_DEPTH_TEST);
    }
    glFinish();
    scene.setLastFrame(scene.viewCamera(), gl.readDepth());
}

struct PickTest : SceneTest {
    void SetUp() override {
        SceneTest::SetUp();
        scene.setExtent({0, 100000, 0, 100000, 0, 3000});
        scene.setView(225, 30, 150000);
    }
};

TEST_F(PickTest, GroundInTheLastFrameIsTheExactPlaneMeeting) {
    drawFrame(scene);
    ASSERT_TRUE(scene.hasLastFrame());
    for (double wy : {128.0, 200.0, 250.0}) {
        double picked[3], exact[3];
        ASSERT_TRUE(scene.pickPoint(100, wy, picked));
        ASSERT_TRUE(host::pickGround(scene.viewCamera(), 0.0, 100, wy, exact));
        EXPECT_EQ(picked[0], exact[0]);
        EXPECT_EQ(picked[1], exact[1]);
        EXPECT_EQ(picked[2], 0.0);
    }
}

TEST_F(PickTest, ASurfaceAboveTheGroundIsFoundFromTheDepth) {
    drawFrame(scene, 2500.0);
    double p[3];
    ASSERT_TRUE(scene.pickPoint(128, 128, p));
    // On the square, not on the ground behind it; depth precision at this
    // distance is a few scene units.
    EXPECT_NEAR(p[2], 2500.0, 50.0);
    EXPECT_GT(p[0], 40000);
    EXPECT_LT(p[0], 60000);
    // The table's entry gives the same point.
    double x, y, z;
    ops().scenePickPoint(scene.hscene(), 128, 128, &x, &y, &z);
    EXPECT_EQ(z, p[2]);
}

TEST_F(PickTest, SkyAndPositionsOutsideTheViewHaveNoPoint) {
    scene.setView(200, 3, 150000);  // the top of the view shows sky
    drawFrame(scene);
    double p[3];
    EXPECT_FALSE(scene.pickPoint(128, 0, p));
    EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]));
    EXPECT_TRUE(scene.pickPoint(128, 250, p));
    EXPECT_FALSE(scene.pickPoint(-1, 250, p));
    EXPECT_FALSE(scene.pickPoint(128, 256, p));
    // Without a frame the ground plane alone decides.
    scene.clearLastFrame();
    EXPECT_FALSE(scene.pickPoint(128, 0, p));
    EXPECT_TRUE(scene.pickPoint(128, 250, p));
}

TEST_F(PickTest, AFrameFromAnotherViewIsNotUsed) {
    drawFrame(scene, 2500.0);
    scene.setView(225, 60, 150000);
    EXPECT_FALSE(scene.hasLastFrame());
    double p[3];
    ASSERT_TRUE(scene.pickPoint(128, 128, p));
    EXPECT_EQ(p[2], 0.0);
}

struct ClickLog {
    static inline Strings calls;
    static inline std::vector<std::string> takers;
};

int32_t pickLayer(HLayer *layer, HPointerEvent *e) {
    const std::string id = static_cast<const char *>(layer->instance);
    ClickLog::calls.push_back(id + "@" + std::to_string(e->x) + "," + std::to_string(e->y));
    return std::find(ClickLog::takers.begin(), ClickLog::takers.end(), id) !=
           ClickLog::takers.end();
}

int placeCallback(void *, HPointerEvent *e) {
    ClickLog::calls.push_back("callback" + std::to_string(e->code));
    return 1;
}

TEST_F(PickTest, ClicksGoToVisibleLayersTopmostFirstUntilOneTakesIt) {
    scene.setViewport(256, 256);
    ClickLog::calls.clear();
    ClickLog::takers = {"middle"};
    HLayer *bottom = makeLayer("bottom"), *middle = makeLayer("middle"), *top = makeLayer("top");
    HLayer *hidden = makeLayer("hidden");
    for (HLayer *l : {bottom, middle, top, hidden}) {
        l->methods->pointerEvent = pickLayer;
        scene.addLayer(l);
    }
    scene.setLayerVisible(hidden, false);
    EXPECT_TRUE(scene.click(10, 20));
    EXPECT_EQ(ClickLog::calls, (Strings{"top@10,20", "middle@10,20"}));
    EXPECT_EQ(scene.clickTaker(), middle);

    ClickLog::calls.clear();
    ClickLog::takers.clear();
    EXPECT_FALSE(scene.click(10, 20));
    EXPECT_EQ(scene.clickTaker(), nullptr);
    EXPECT_EQ(ClickLog::calls, (Strings{"top@10,20", "middle@10,20", "bottom@10,20"}));

    ClickLog::calls.clear();
    EXPECT_FALSE(scene.click(-5, 20));
    EXPECT_FALSE(scene.click(10, 256));
    EXPECT_TRUE(ClickLog::calls.empty());
}

TEST_F(PickTest, WhileCallbacksAreRegisteredClicksGoToThemAndNotOnTheSky) {
    scene.setViewport(256, 256);
    scene.setView(200, 3, 150000);
    ClickLog::calls.clear();
    ClickLog::takers = {"layer"};
    HLayer *layer = makeLayer("layer");
    layer->methods->pointerEvent = pickLayer;
    scene.addLayer(layer);
    scene.addEventCallback(placeCallback, nullptr);
    EXPECT_TRUE(scene.click(128, 250));
    EXPECT_EQ(ClickLog::calls, (Strings{"callback104"}));
    ClickLog::calls.clear();
    EXPECT_FALSE(scene.click(128, 0));  // sky: nothing to place on
    EXPECT_FALSE(scene.click(300, 250));
    EXPECT_TRUE(ClickLog::calls.empty());
    scene.removeEventCallback(placeCallback, nullptr);
    EXPECT_TRUE(scene.click(128, 0));  // picking needs no ground
    EXPECT_EQ(ClickLog::calls, (Strings{"layer@128,0"}));
}

} // namespace
