// The selection box: made from eight corners, moved and scaled as a drag
// does it, calling back after each change with that change's transform,
// freed without leaks, drawn over the scene.
#include "support/gl_env.h"
#include "hlib.h"
#include "hvislib.h"
#include "tolalib.h"
#include "tolatoollib.h"
#include "viewer/hlib/error.h"
#include "viewer/hlib/heap_debug.h"
#include "viewer/tolatoollib/scene.h"
#include "viewer/tolatoollib/selection.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

// A box from (0, 10, 100) to (4, 30, 160), corners in the order a layer
// type gives them: the top face, then the bottom face.
HBaseData *boxCorners(const double lo[3], const double hi[3]) {
    HErrorSlot err = nullptr;
    HBaseData *points = hgda_BaseDataCreate(3, 8, HGDA_FLOAT64, 2, 0, &err);
    if (!points)
        return nullptr;
    const double corners[8][3] = {
        {lo[0], lo[1], hi[2]}, {hi[0], lo[1], hi[2]}, {hi[0], hi[1], hi[2]}, {lo[0], hi[1], hi[2]},
        {lo[0], lo[1], lo[2]}, {hi[0], lo[1], lo[2]}, {hi[0], hi[1], lo[2]}, {lo[0], hi[1], lo[2]}};
    char *data = static_cast<char *>(points->data);
    for (int c = 0; c < 8; ++c)
        for (int i = 0; i < 3; ++i)
            *reinterpret_cast<double *>(data + i * points->rowStep + c * points->columnStep) =
                corners[c][i];
    return points;
}

struct Changes {
    static inline std::vector<void *> objects;
    static inline std::vector<void *> clients;
    static inline std::vector<HPolynomial> transforms;
};

int recordChange(void *object, void *a, void *b, void *c, void *client) {
    Changes::objects.push_back(object);
    Changes::clients.push_back(client);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(c, nullptr);
    HPolynomial *t = tola_SelectBoxGetLastXform(static_cast<HSelector *>(object));
    Changes::transforms.push_back(*t);
    HErrorSlot err = nullptr;
    hfga_PolynomialDelete(t, &err);
    return 0;
}

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Changes::objects.clear();
        Changes::clients.clear();
        Changes::transforms.clear();
        liveBefore = hmsc_HeapLiveBlocks();
    }
    HSelector *makeBox() {
        const double lo[3] = {0, 10, 100}, hi[3] = {4, 30, 160};
        HBaseData *points = boxCorners(lo, hi);
        if (!points)
            return nullptr;
        HErrorSlot err = nullptr;
        HSelMethods *methods = tola_SelNewGetMethods("box", points, 8, &err, 0);
        HSelector *selector = tola_SelNewCreate(scene.hscene(), "Box", methods);
        hgda_BaseDataDelete(points, &err);
        return selector;
    }
    host::Scene scene;
    size_t liveBefore = 0;
};

TEST_F(SelectionTest, ABoxKeepsItsCornersAndIsListedWithItsScene) {
    HSelector *box = makeBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(host::selectorsOf(&scene), std::vector<HSelector *>{box});
    const host::Corners &c = host::selectorCorners(box);
    EXPECT_EQ(c[0], (std::array<double, 3>{0, 10, 160}));
    EXPECT_EQ(c[6], (std::array<double, 3>{4, 30, 100}));
    EXPECT_TRUE(host::selectorRotationAllowed(box));
    tola_SelNewBoxAllowRotations(box, 0);
    EXPECT_FALSE(host::selectorRotationAllowed(box));
    // Before any change the last transform changes nothing.
    HPolynomial *t = tola_SelectBoxGetLastXform(box);
    double p[3] = {1.5, -2, 7};
    hhgl_TransformVertices(p, 1, t);
    EXPECT_EQ(p[0], 1.5);
    EXPECT_EQ(p[2], 7);
    hfga_PolynomialDelete(t, nullptr);
    HErrorSlot err = nullptr;
    tola_SelNewDestroy(box, &err);
    EXPECT_EQ(err, nullptr);
    EXPECT_TRUE(host::selectorsOf(&scene).empty());
    EXPECT_EQ(hmsc_HeapLiveBlocks(), liveBefore);
}

TEST_F(SelectionTest, MovesAndScalesCallBackWithTheTransformOfThatChange) {
    HSelector *box = makeBox();
    int client = 0;
    HErrorSlot err = nullptr;
    hvis_ObjectAddCallback(box, 2, recordChange, &client, &err);
    EXPECT_EQ(err, nullptr);
    host::selectorMove(box, 10, 0, -5);
    host::selectorScale(box, 2, 1, 0.5);
    ASSERT_EQ(Changes::transforms.size(), 2u);
    EXPECT_EQ(Changes::objects[0], box);
    EXPECT_EQ(Changes::clients[1], &client);
    // The move's transform maps the old corners onto the new ones.
    double moved[3] = {0, 10, 160};
    hhgl_TransformVertices(moved, 1, &Changes::transforms[0]);
    EXPECT_EQ(moved[0], 10);
    EXPECT_EQ(moved[2], 155);
    // The scale keeps the centre (12, 20, 125) and stretches about it.
    double corners[6] = {10, 10, 155, 14, 30, 95};
    hhgl_TransformVertices(corners, 2, &Changes::transforms[1]);
    EXPECT_EQ(corners[0], 8);
    EXPECT_EQ(corners[3], 16);
    EXPECT_EQ(corners[1], 10);
    EXPECT_EQ(corners[2], 140);
    EXPECT_EQ(corners[5], 110);
    const host::Corners &c = host::selectorCorners(box);
    EXPECT_EQ(c[0], (std::array<double, 3>{8, 10, 140}));
    EXPECT_EQ(c[6], (std::array<double, 3>{16, 30, 110}));
    tola_SelNewDestroy(box, nullptr);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), liveBefore);
}

TEST_F(SelectionTest, BadRequestsGetNoBoxAndNoLeak) {
    const double lo[3] = {0, 0, 0}, hi[3] = {1, 1, 1};
    HBaseData *points = boxCorners(lo, hi);
    HErrorSlot err = nullptr;
    EXPECT_EQ(tola_SelNewGetMethods("sphere", points, 8, &err, 0), nullptr);
    EXPECT_NE(err, nullptr);
    err = nullptr;
    EXPECT_EQ(tola_SelNewGetMethods("box", points, 4, &err, 0), nullptr);
    EXPECT_EQ(tola_SelNewGetMethods("box", nullptr, 8, &err, 0), nullptr);
    // A method set given to no live scene is freed all the same.
    HSelMethods *methods = tola_SelNewGetMethods("box", points, 8, &err, 0);
    HScene foreign{scene.hscene()->ops};
    EXPECT_EQ(tola_SelNewCreate(&foreign, "Box", methods), nullptr);
    EXPECT_EQ(tola_SelNewCreate(scene.hscene(), "Box", nullptr), nullptr);
    hgda_BaseDataDelete(points, &err);
    // Destroying, transforms and callbacks on what is no selector are harmless.
    int notASelector = 0;
    err = nullptr;
    tola_SelNewDestroy(reinterpret_cast<HSelector *>(&notASelector), &err);
    EXPECT_NE(err, nullptr);
    tola_SelNewDestroy(nullptr, nullptr);
    EXPECT_EQ(tola_SelectBoxGetLastXform(nullptr), nullptr);
    hhgl_TransformVertices(nullptr, 3, nullptr);
    host::selectorMove(nullptr, 1, 1, 1);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), liveBefore);
}

TEST_F(SelectionTest, EveryAllocationMayFail) {
    for (long n = 1; n <= 4; ++n) {
        hmsc_HeapFailAfter(n);
        HSelector *box = makeBox();
        hmsc_HeapFailAfter(0);
        if (box) {
            HPolynomial *t = tola_SelectBoxGetLastXform(box);
            hfga_PolynomialDelete(t, nullptr);
            tola_SelNewDestroy(box, nullptr);
        }
        EXPECT_EQ(hmsc_HeapLiveBlocks(), liveBefore) << "failing allocation " << n;
    }
    HSelector *box = makeBox();
    hmsc_HeapFailAfter(1);
    EXPECT_EQ(tola_SelectBoxGetLastXform(box), nullptr);
    hmsc_HeapFailAfter(0);
    tola_SelNewDestroy(box, nullptr);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), liveBefore);
}

TEST_F(SelectionTest, ABoxOutlivingItsSceneIsDetached) {
    HSelector *box = nullptr;
    {
        host::Scene gone;
        const double lo[3] = {0, 0, 0}, hi[3] = {1, 1, 1};
        HBaseData *points = boxCorners(lo, hi);
        box = tola_SelNewCreate(gone.hscene(), "Box",
                                tola_SelNewGetMethods("box", points, 8, nullptr, 0));
        hgda_BaseDataDelete(points, nullptr);
        ASSERT_NE(box, nullptr);
    }
    host::selectorMove(box, 1, 0, 0);  // no scene to ask for a redraw
    tola_SelNewDestroy(box, nullptr);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), liveBefore);
}

TEST_F(SelectionTest, TheBoxIsDrawnAsAWireframeOverTheScene) {
    HeadlessGL &gl = testGL();
    scene.setExtent({0, 100000, 0, 100000, 0, 3000});
    scene.setViewport(gl.width(), gl.height());
    scene.setView(0, 90, 100000);  // straight down on the middle
    const double lo[3] = {30000, 30000, 0}, hi[3] = {70000, 70000, 2000};
    HBaseData *points = boxCorners(lo, hi);
    HSelector *box = tola_SelNewCreate(scene.hscene(), "Box",
                                       tola_SelNewGetMethods("box", points, 8, nullptr, 0));
    hgda_BaseDataDelete(points, nullptr);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    scene.setupCamera();
    host::drawSelectors(&scene);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    const std::vector<uint8_t> rgba = gl.readRGBA();
    // The box's edges are yellow lines somewhere, its inside stays clear.
    size_t yellow = 0;
    for (size_t i = 0; i < rgba.size(); i += 4)
        yellow += rgba[i] > 200 && rgba[i + 1] > 150 && rgba[i + 2] < 80;
    EXPECT_GT(yellow, 100u);
    const uint8_t *centre = &rgba[(size_t(gl.height() / 2) * gl.width() + gl.width() / 2) * 4];
    EXPECT_EQ(centre[0] + centre[1] + centre[2], 0);
    tola_SelNewDestroy(box, nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
