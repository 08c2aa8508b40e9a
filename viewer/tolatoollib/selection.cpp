// The selection box: corners kept as the layer type gave them (in the
// scene's drawing frame), changed only by moves and per-axis scales, so
// that each change is one HPolynomial in that same frame.
#include "tolatoollib/selection.h"

#include "hlib.h"
#include "hlib/error.h"
#include "hvislib.h"
#include "tolalib.h"
#include "tolatoollib.h"
#include "tolatoollib/scene.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

struct HSelMethods {
    host::Corners corners;
};

struct HSelector {
    host::Scene *scene = nullptr;
    std::string name;
    host::Corners corners{};
    HPolynomial last{{1.0, 1.0, 1.0}, {0.0, 0.0, 0.0}};
    bool rotations = true;
    struct Callback {
        HObjectCallbackFn fn;
        void *client;
    };
    std::vector<Callback> callbacks;
};

namespace host {
namespace {

std::vector<HSelector *> &liveSelectors() {
    static std::vector<HSelector *> list;
    return list;
}

// Applies a change to the corners, keeps it as the last one and tells
// every callback. A callback may destroy the selector: the list of
// callbacks is copied first and the selector looked up again after each.
void applyChange(HSelector *selector, const HPolynomial &change) {
    for (auto &corner : selector->corners)
        for (int i = 0; i < 3; ++i)
            corner[i] = change.scale[i] * corner[i] + change.offset[i];
    selector->last = change;
    const std::vector<HSelector::Callback> callbacks = selector->callbacks;
    for (const HSelector::Callback &c : callbacks) {
        if (!isSelector(selector))
            return;
        c.fn(selector, nullptr, nullptr, nullptr, c.client);
    }
    if (isSelector(selector) && selector->scene)
        selector->scene->requestRedraw();
}

} // namespace

std::vector<HSelector *> selectorsOf(const Scene *scene) {
    std::vector<HSelector *> list;
    for (HSelector *s : liveSelectors())
        if (s->scene == scene)
            list.push_back(s);
    return list;
}

bool isSelector(const void *object) {
    const auto &list = liveSelectors();
    return object && std::find(list.begin(), list.end(), object) != list.end();
}

const Corners &selectorCorners(const HSelector *selector) { return selector->corners; }

bool selectorRotationAllowed(const HSelector *selector) { return selector->rotations; }

void selectorMove(HSelector *selector, double dx, double dy, double dz) {
    if (!isSelector(selector))
        return;
    applyChange(selector, {{1.0, 1.0, 1.0}, {dx, dy, dz}});
}

void selectorScale(HSelector *selector, double sx, double sy, double sz) {
    if (!isSelector(selector))
        return;
    const double s[3] = {sx, sy, sz};
    HPolynomial change{};
    for (int i = 0; i < 3; ++i) {
        // The centre from two opposite corners (0 and 6), which stays put.
        const double centre = 0.5 * (selector->corners[0][i] + selector->corners[6][i]);
        change.scale[i] = s[i];
        change.offset[i] = centre - s[i] * centre;
    }
    applyChange(selector, change);
}

void selectorsForgetScene(const Scene *scene) {
    for (HSelector *s : liveSelectors())
        if (s->scene == scene)
            s->scene = nullptr;
}

void drawSelectors(const Scene *scene) {
    const std::vector<HSelector *> list = selectorsOf(scene);
    if (list.empty())
        return;
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT | GL_POINT_BIT |
                 GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
    // Always in front: the box is a tool, not part of the scene.
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    static const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                     {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const HSelector *s : list) {
        glLineWidth(2.0f);
        glColor3f(1.0f, 0.85f, 0.1f);
        glBegin(GL_LINES);
        for (const auto &e : edges) {
            glVertex3dv(s->corners[size_t(e[0])].data());
            glVertex3dv(s->corners[size_t(e[1])].data());
        }
        glEnd();
        glPointSize(7.0f);
        glColor3f(1.0f, 1.0f, 1.0f);
        glBegin(GL_POINTS);
        for (const auto &corner : s->corners)
            glVertex3dv(corner.data());
        glEnd();
    }
    glPopAttrib();
}

} // namespace host

extern "C" {

HOST_API HSelMethods *tola_SelNewGetMethods(const char *kind, HBaseData *corners, int32_t count,
                                            HErrorSlot *err, int32_t) {
    if (!kind || std::strcmp(kind, "box") != 0) {
        herr_Set(err, "selection: unknown kind '%s'", kind ? kind : "(null)");
        return nullptr;
    }
    if (!corners || count != 8 || corners->rows != 3 || corners->columns < 8 ||
        corners->type != HGDA_FLOAT64 || !corners->data) {
        herr_Set(err, "selection: a box needs 3 x 8 64-bit corners");
        return nullptr;
    }
    void *block = hmsc_HeapMalloc(sizeof(HSelMethods));
    if (!block) {
        herr_Set(err, "selection: out of memory");
        return nullptr;
    }
    HSelMethods *methods = new (block) HSelMethods;
    const char *data = static_cast<const char *>(corners->data);
    for (int c = 0; c < 8; ++c)
        for (int i = 0; i < 3; ++i)
            std::memcpy(&methods->corners[size_t(c)][size_t(i)],
                        data + i * corners->rowStep + c * corners->columnStep, sizeof(double));
    return methods;
}

// Adopts the method set, also when it cannot make the selector.
HOST_API HSelector *tola_SelNewCreate(HScene *scene, const char *name, HSelMethods *methods) {
    host::Scene *s = host::Scene::fromHScene(scene);
    if (!s || !methods) {
        hmsc_HeapFree(methods);
        return nullptr;
    }
    void *block = hmsc_HeapMalloc(sizeof(HSelector));
    if (!block) {
        hmsc_HeapFree(methods);
        return nullptr;
    }
    HSelector *selector = new (block) HSelector;
    selector->scene = s;
    selector->name = name ? name : "";
    selector->corners = methods->corners;
    hmsc_HeapFree(methods);
    host::liveSelectors().push_back(selector);
    s->requestRedraw();
    return selector;
}

HOST_API void tola_SelNewBoxAllowRotations(HSelector *selector, int32_t allow) {
    if (host::isSelector(selector))
        selector->rotations = allow != 0;
}

HOST_API HPolynomial *tola_SelectBoxGetLastXform(HSelector *selector) {
    if (!host::isSelector(selector))
        return nullptr;
    HPolynomial *copy = static_cast<HPolynomial *>(hmsc_HeapMalloc(sizeof(HPolynomial)));
    if (copy)
        *copy = selector->last;
    return copy;
}

HOST_API void tola_SelNewDestroy(HSelector *selector, HErrorSlot *err) {
    if (!host::isSelector(selector)) {
        if (selector)
            herr_Set(err, "selection: not a live selector");
        return;
    }
    auto &list = host::liveSelectors();
    list.erase(std::remove(list.begin(), list.end(), selector), list.end());
    if (selector->scene)
        selector->scene->requestRedraw();
    selector->~HSelector();
    hmsc_HeapFree(selector);
}

HOST_API void hfga_PolynomialDelete(HPolynomial *transform, HErrorSlot *) {
    hmsc_HeapFree(transform);
}

// Kind 2, "after each change", is the only kind the host's objects call.
HOST_API void hvis_ObjectAddCallback(void *object, int32_t kind, HObjectCallbackFn fn,
                                     void *client, HErrorSlot *err) {
    if (!host::isSelector(object)) {
        herr_Set(err, "object callbacks: not a live selector");
        return;
    }
    if (kind != 2 || !fn) {
        herr_Set(err, "object callbacks: kind %d is not served", int(kind));
        return;
    }
    static_cast<HSelector *>(object)->callbacks.push_back({fn, client});
}

} // extern "C"
