// The scene and its operation table. The table's functions are thin: each
// finds the Scene behind the record, journals what changes state, and
// calls the C++ method that does the work, so the viewer and layer types
// go through one implementation.
#include "tolatoollib/scene.h"
#include "tolatoollib/camera_moves.h"
#include "tolatoollib/selection.h"
#include "hlib/error.h"
#include "hvislib/journal.h"
#include "tolatoollib.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace host {
namespace {

std::vector<Scene *> &registry() {
    static std::vector<Scene *> scenes;
    return scenes;
}

Scene *currentScene = nullptr;

// ---- The operation table. A record that is not a live Scene's (a foreign
// or destroyed scene) gets no effect and zeroed outputs.

void opRedraw(HScene *h, int32_t, int32_t, HErrorSlot *) {
    if (Scene *s = Scene::fromHScene(h)) {
        journalAdd("sceneRedraw");
        s->requestRedraw();
    }
}

void opPickPoint(HScene *h, int32_t wx, int32_t wy, double *x, double *y, double *z) {
    double point[3] = {0.0, 0.0, 0.0};
    if (Scene *s = Scene::fromHScene(h))
        s->pickPoint(wx, wy, point);
    if (x)
        *x = point[0];
    if (y)
        *y = point[1];
    if (z)
        *z = point[2];
}

HLayer *opFindLayerByType(HScene *h, const char *type) {
    Scene *s = Scene::fromHScene(h);
    return s ? s->findLayerByType(type) : nullptr;
}

HWindow *opGetWindow(HScene *h) {
    Scene *s = Scene::fromHScene(h);
    return s ? s->window() : nullptr;
}

void opAddEventCallback(HScene *h, HSceneEventFn fn, void *client) {
    if (Scene *s = Scene::fromHScene(h)) {
        journalAdd("sceneAddEventCallback");
        s->addEventCallback(fn, client);
    }
}

// The view query reports nothing the host keeps: zeros.
void opQueryView(HScene *, double *a, double *b, double *c, int32_t, int32_t) {
    for (double *out : {a, b, c})
        if (out)
            *out = 0.0;
}

void opSetBusy(HScene *h, int32_t busy) {
    if (Scene *s = Scene::fromHScene(h)) {
        journalAdd("sceneSetBusy: " + std::to_string(busy));
        s->setBusy(busy != 0);
    }
}

void opInteractionBegin(HScene *h, int32_t) {
    if (Scene *s = Scene::fromHScene(h)) {
        journalAdd("sceneInteractionBegin");
        s->interactionBegin();
    }
}

void opInteractionEnd(HScene *h, int32_t) {
    if (Scene *s = Scene::fromHScene(h)) {
        journalAdd("sceneInteractionEnd");
        s->interactionEnd();
    }
}

void opRemoveEventCallback(HScene *h, HSceneEventFn fn, void *client) {
    if (Scene *s = Scene::fromHScene(h)) {
        journalAdd("sceneRemoveEventCallback");
        s->removeEventCallback(fn, client);
    }
}

// In the drawing frame: what a layer type adds to its positions is where
// they are drawn.
void opGetOrigin(HScene *h, int32_t, double *x, double *y, double *z) {
    Vec3 origin{0.0, 0.0, 0.0};
    if (Scene *s = Scene::fromHScene(h))
        for (size_t i = 0; i < 3; ++i)
            origin[i] = s->origin()[i] - s->frameOffset()[i];
    if (x)
        *x = origin[0];
    if (y)
        *y = origin[1];
    if (z)
        *z = origin[2];
}

// The owner given to the entry point is the scene's record, as for layers
// the viewer opens itself; tola_GetScenePtrFromLayer relies on that.
HLayer *opCreateLayer(HScene *h, int32_t count, char **strings, HLayerCreateFn create,
                      HErrorSlot *err) {
    Scene *s = Scene::fromHScene(h);
    if (!s) {
        herr_Set(err, "create layer: not a scene of this viewer");
        return nullptr;
    }
    journalAdd("sceneCreateLayer");
    if (!create) {
        herr_Set(err, "create layer: no create entry point");
        return nullptr;
    }
    HLayer *layer = create(s->hscene(), 0, count, strings);
    if (!layer) {
        herr_Set(err, "create layer: the layer type made no layer");
        return nullptr;
    }
    s->addLayer(layer);
    return layer;
}

void opActionOn(HScene *h, const char *name) {
    if (Scene *s = Scene::fromHScene(h)) {
        const std::string action = name ? name : "";
        journalAdd("sceneActionOn: " + action);
        s->setAction(action, true);
    }
}

void opActionOff(HScene *h, const char *name) {
    if (Scene *s = Scene::fromHScene(h)) {
        const std::string action = name ? name : "";
        journalAdd("sceneActionOff: " + action);
        s->setAction(action, false);
    }
}

void opGetExtent(HScene *h, double *e1, double *e2, double *e3, double *e4, double *e5,
                 double *e6) {
    Extent e{0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    if (Scene *s = Scene::fromHScene(h))
        e = s->extent();
    const double values[6] = {e.x1, e.x2, e.y1, e.y2, e.z1, e.z2};
    double *outs[6] = {e1, e2, e3, e4, e5, e6};
    for (int i = 0; i < 6; ++i)
        if (outs[i])
            *outs[i] = values[i];
}

int32_t opRayHitsBox(const double start[3], const double second[3], const double low[3],
                     const double high[3], double hit[3]) {
    if (!start || !second || !low || !high)
        return 0;
    double point[3];
    if (!rayHitsBox(start, second, low, high, point))
        return 0;
    // The rays layer types test are pick rays of the current scene: its
    // ground in front of the box hides it.
    if (Scene *s = viewerScene()) {
        const double d = std::sqrt((point[0] - start[0]) * (point[0] - start[0]) +
                                   (point[1] - start[1]) * (point[1] - start[1]) +
                                   (point[2] - start[2]) * (point[2] - start[2]));
        if (s->groundHides(start, second, d))
            return 0;
    }
    if (hit)
        std::memcpy(hit, point, sizeof point);
    return 1;
}

void opPickRay(HScene *h, int32_t wx, int32_t wy, double start[3], double second[3]) {
    double a[3] = {0.0, 0.0, 0.0}, b[3] = {0.0, 0.0, 0.0};
    if (Scene *s = Scene::fromHScene(h))
        s->frameCamera().windowToRay(wx, wy, a, b);
    if (start)
        std::memcpy(start, a, sizeof a);
    if (second)
        std::memcpy(second, b, sizeof b);
}

const HSceneOps sceneOps = {
    opRedraw,           opPickPoint,         opFindLayerByType,     opGetWindow,
    opAddEventCallback, opQueryView,         opSetBusy,             opInteractionBegin,
    opInteractionEnd,   opRemoveEventCallback, opGetOrigin,         opCreateLayer,
    opActionOn,         opActionOff,         opGetExtent,           opRayHitsBox,
    opPickRay,
};

// A round grid spacing (1, 2 or 5 times a power of ten) giving about ten
// cells over the span.
double gridStep(double span) {
    if (!(span > 0.0))
        return 1.0;
    const double rough = span / 10.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * power >= rough)
            return factor * power;
    return 10.0 * power;
}

} // namespace

Scene::Scene() : window_{this} {
    record.ops = &sceneOps;
    setExtent(extent_);
    registry().push_back(this);
}

Scene::~Scene() {
    selectorsForgetScene(this);
    auto &scenes = registry();
    scenes.erase(std::remove(scenes.begin(), scenes.end(), this), scenes.end());
    if (currentScene == this)
        currentScene = nullptr;
}

Scene *Scene::fromHScene(const HScene *scene) {
    if (!scene)
        return nullptr;
    for (Scene *s : registry())
        if (&s->record == scene)
            return s;
    return nullptr;
}

Scene *Scene::holding(const HLayer *layer) {
    if (!layer)
        return nullptr;
    for (Scene *s : registry())
        if (s->contains(layer))
            return s;
    return nullptr;
}

std::vector<Scene *> Scene::liveScenes() { return registry(); }

void Scene::setExtent(const Extent &extent) {
    extent_ = extent;
    camera_.target = {0.5 * (extent.x1 + extent.x2), 0.5 * (extent.y1 + extent.y2), extent.z1};
}

void Scene::setOrigin(double x, double y, double z) { origin_ = {x, y, z}; }

void Scene::setView(double azimuth, double elevation, double distance) {
    camera_.azimuth = azimuth;
    camera_.elevation = clampElevation(elevation);
    camera_.distance = distance;
}

double Scene::surfaceZ(double x, double y) const {
    const double z = ground_ ? ground_->surfaceZ(x, y) : NAN;
    return std::isfinite(z) ? z : extent_.z1;
}

bool Scene::keepCameraAboveGround() {
    return keepEyeAbove(camera_, [this](double x, double y) { return surfaceZ(x, y); });
}

void Scene::setViewport(int width, int height) {
    camera_.width = width;
    camera_.height = height;
}

Camera Scene::viewCamera() const {
    Camera fitted = camera_;
    fitted.fitClipPlanes(extent_);
    return fitted;
}

Camera Scene::frameCamera() const {
    Camera framed = viewCamera();
    for (size_t i = 0; i < 3; ++i)
        framed.target[i] -= frameOffset_[i];
    return framed;
}

void Scene::setGround(Ground *ground) {
    ground_ = ground;
    frameOffset_ = ground ? ground->localOrigin() : Vec3{0.0, 0.0, 0.0};
    if (ground)
        setExtent(ground->extent());
}

bool Scene::groundHit(double wx, double wy, double start[3], double second[3], double *t) const {
    viewCamera().windowToRay(wx, wy, start, second);
    return ground_ && ground_->intersect(start, second, t);
}

bool Scene::groundHides(const double start[3], const double second[3], double hitDistance) const {
    if (!ground_)
        return false;
    double a[3], b[3], t;
    for (size_t i = 0; i < 3; ++i) {
        a[i] = start[i] + frameOffset_[i];
        b[i] = second[i] + frameOffset_[i];
    }
    if (!ground_->intersect(a, b, &t))
        return false;
    const double length = std::sqrt((b[0] - a[0]) * (b[0] - a[0]) + (b[1] - a[1]) * (b[1] - a[1]) +
                                    (b[2] - a[2]) * (b[2] - a[2]));
    return t * length < hitDistance;
}

size_t Scene::indexOf(const HLayer *layer) const {
    for (size_t i = 0; i < layers_.size(); ++i)
        if (layers_[i].layer == layer)
            return i;
    return layers_.size();
}

std::vector<HLayer *> Scene::layers() const {
    std::vector<HLayer *> list;
    for (const LayerEntry &entry : layers_)
        list.push_back(entry.layer);
    return list;
}

bool Scene::addLayer(HLayer *layer) {
    if (!layer || contains(layer))
        return false;
    layers_.push_back({layer, true});
    return true;
}

bool Scene::removeLayer(HLayer *layer) {
    const size_t i = indexOf(layer);
    if (!layer || i == layers_.size())
        return false;
    layers_.erase(layers_.begin() + long(i));
    ++removals_;
    return true;
}

bool Scene::placeLayer(HLayer *layer, size_t index) {
    const size_t i = indexOf(layer);
    if (!layer || i == layers_.size())
        return false;
    const LayerEntry entry = layers_[i];
    layers_.erase(layers_.begin() + long(i));
    layers_.insert(layers_.begin() + long(std::min(index, layers_.size())), entry);
    return true;
}

bool Scene::contains(const HLayer *layer) const {
    return layer && indexOf(layer) != layers_.size();
}

bool Scene::raiseToTop(HLayer *layer) {
    const size_t i = indexOf(layer);
    if (!layer || i == layers_.size())
        return false;
    const LayerEntry entry = layers_[i];
    layers_.erase(layers_.begin() + long(i));
    layers_.push_back(entry);
    return true;
}

bool Scene::lowerToBottom(HLayer *layer) {
    const size_t i = indexOf(layer);
    if (!layer || i == layers_.size())
        return false;
    const LayerEntry entry = layers_[i];
    layers_.erase(layers_.begin() + long(i));
    layers_.insert(layers_.begin(), entry);
    return true;
}

bool Scene::toggleVisibility(HLayer *layer) {
    const size_t i = indexOf(layer);
    if (!layer || i == layers_.size())
        return false;
    layers_[i].visible = !layers_[i].visible;
    return true;
}

bool Scene::setLayerVisible(HLayer *layer, bool visible) {
    const size_t i = indexOf(layer);
    if (!layer || i == layers_.size())
        return false;
    layers_[i].visible = visible;
    return true;
}

bool Scene::layerVisible(const HLayer *layer) const {
    const size_t i = indexOf(layer);
    return layer && i != layers_.size() && layers_[i].visible;
}

HLayer *Scene::findLayerByType(const char *type) const {
    if (!type)
        return nullptr;
    for (const LayerEntry &entry : layers_) {
        const HLayerMethods *methods = entry.layer->methods;
        if (!methods || !methods->typeName)
            continue;
        const char *name = methods->typeName();
        if (name && std::strcmp(name, type) == 0)
            return entry.layer;
    }
    return nullptr;
}

void Scene::closeAllLayers() {
    // A close may free other layers or change the list: walk a snapshot
    // and close only what is still listed.
    for (HLayer *layer : layers()) {
        if (!contains(layer))
            continue;
        if (layer->methods && layer->methods->close)
            layer->methods->close(layer);
        if (contains(layer)) {
            removeLayer(layer);
            if (isFeatureLayer(layer) && !(layer->methods && layer->methods->close))
                tola_FeatureLayerFree(layer);
        }
    }
}

void Scene::addEventCallback(HSceneEventFn fn, void *client) {
    if (fn)
        callbacks_.push_back({fn, client});
}

bool Scene::removeEventCallback(HSceneEventFn fn, void *client) {
    for (size_t i = 0; i < callbacks_.size(); ++i) {
        if (callbacks_[i].fn == fn && callbacks_[i].client == client) {
            callbacks_.erase(callbacks_.begin() + long(i));
            return true;
        }
    }
    return false;
}

int Scene::dispatchEvent(const HPointerEvent &event) {
    // A callback may remove itself or others (placement ends on a click):
    // call from a snapshot, skipping pairs no longer registered.
    const std::vector<Callback> snapshot = callbacks_;
    int handled = 0;
    for (const Callback &callback : snapshot) {
        const bool registered =
            std::any_of(callbacks_.begin(), callbacks_.end(), [&](const Callback &c) {
                return c.fn == callback.fn && c.client == callback.client;
            });
        if (!registered)
            continue;
        HPointerEvent copy = event; // a callback may write into its event
        if (callback.fn(callback.client, &copy))
            ++handled;
    }
    return handled;
}

void Scene::setLastFrame(const Camera &camera, std::vector<float> depth) {
    const size_t size = size_t(std::max(camera.width, 0)) * size_t(std::max(camera.height, 0));
    if (depth.size() != size || size == 0) {
        frameDepth_.clear();
        return;
    }
    frameCamera_ = camera;
    frameDepth_ = std::move(depth);
}

// A frame drawn from another view says nothing about this one.
static bool sameView(const Camera &a, const Camera &b) {
    return a.azimuth == b.azimuth && a.elevation == b.elevation && a.distance == b.distance &&
           a.target == b.target && a.width == b.width && a.height == b.height &&
           a.fovY == b.fovY && a.nearPlane == b.nearPlane && a.farPlane == b.farPlane;
}

bool Scene::hasLastFrame() const {
    return !frameDepth_.empty() && sameView(frameCamera_, viewCamera());
}

bool Scene::pickPoint(double wx, double wy, double out[3]) const {
    const bool framed = hasLastFrame();
    const Camera camera = viewCamera();
    double ground[3];
    const bool onGround = pickGround(camera, extent_.z1, wx, wy, ground);
    std::memcpy(out, ground, sizeof ground);
    if (!(wx >= 0.0 && wy >= 0.0 && wx < camera.width && wy < camera.height))
        return false;
    {
        double a[3], b[3], t;
        if (groundHit(wx, wy, a, b, &t)) {
            for (int i = 0; i < 3; ++i)
                out[i] = a[i] + t * (b[i] - a[i]);
            return true;
        }
    }
    if (!framed)
        return onGround;

    const int column = int(wx), row = camera.height - 1 - int(wy);
    const double depth = frameDepth_[size_t(row) * size_t(camera.width) + size_t(column)];
    if (!(depth < 1.0))
        return false; // nothing drawn: sky
    // View depths (distance along the view axis) of the drawn surface and
    // of the ground; the ground is drawn pushed back by a polygon offset,
    // so a surface not clearly in front of it is the ground itself.
    const double n = camera.nearPlane, f = camera.farPlane;
    const double ndc = 2.0 * depth - 1.0;
    const double surface = 2.0 * f * n / ((f + n) - ndc * (f - n));
    if (onGround) {
        const Vec3 eye = camera.eye(), fw = camera.forward();
        const double groundDepth = (ground[0] - eye[0]) * fw[0] + (ground[1] - eye[1]) * fw[1] +
                                   (ground[2] - eye[2]) * fw[2];
        if (groundDepth <= surface * (1.0 + 1e-3))
            return true;
    }
    // The depth belongs to the pixel's centre: the point is taken on the
    // ray through it, so that it lies on the surface that was drawn there.
    double start[3], second[3];
    camera.windowToRay(column + 0.5, int(wy) + 0.5, start, second);
    const double t = (surface - n) / (f - n);
    for (int i = 0; i < 3; ++i)
        out[i] = start[i] + t * (second[i] - start[i]);
    return true;
}

bool Scene::click(int x, int y) {
    clickTaker_ = nullptr;
    const HPointerEvent event{HPOINTER_CLICK, x, y};
    if (!callbacks_.empty()) {
        double point[3];
        if (!pickPoint(x, y, point))
            return false;
        return dispatchEvent(event) > 0;
    }
    const Camera camera = viewCamera();
    if (x < 0 || y < 0 || x >= camera.width || y >= camera.height)
        return false;
    const std::vector<HLayer *> list = layers();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        HLayer *layer = *it;
        // An earlier layer's pick may have closed others.
        if (!contains(layer) || !layerVisible(layer) || !layer->methods ||
            !layer->methods->pointerEvent)
            continue;
        HPointerEvent copy = event;
        if (layer->methods->pointerEvent(layer, &copy)) {
            clickTaker_ = layer;
            return true;
        }
    }
    return false;
}

void Scene::setAction(const std::string &name, bool on) {
    if (on)
        actions_.insert(name);
    else
        actions_.erase(name);
}

bool Scene::actionOn(const std::string &name) const { return actions_.count(name) != 0; }

void Scene::setBusy(bool busy) {
    const bool changed = busy != busy_;
    busy_ = busy;
    if (changed && busyListener_)
        busyListener_(busy);
}

void Scene::interactionEnd() {
    if (interaction_ > 0)
        --interaction_;
}

void Scene::setupCamera() const {
    const Camera camera = frameCamera();
    glViewport(0, 0, camera.width, camera.height);
    const Matrix4 projection = camera.projectionMatrix();
    const Matrix4 view = camera.viewMatrix();
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(projection.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(view.data());
}

void Scene::drawGround() const {
    // In the drawing frame.
    const Vec3 &o = frameOffset_;
    const double x0 = std::min(extent_.x1, extent_.x2) - o[0], x1 = std::max(extent_.x1, extent_.x2) - o[0];
    const double y0 = std::min(extent_.y1, extent_.y2) - o[1], y1 = std::max(extent_.y1, extent_.y2) - o[1];
    const double z = extent_.z1 - o[2];
    const double step = gridStep(std::max(x1 - x0, y1 - y0));

    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT | GL_POLYGON_BIT |
                 GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT | GL_FOG_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    // The fill sits a little behind the lines so they never z-fight.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 1.0f);
    // Land beyond the extent, hazing into the horizon, so that the scene
    // does not float in the sky.
    const Camera view = viewCamera();
    const GLfloat haze[4] = {0.50f, 0.66f, 0.82f, 1.0f};
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogfv(GL_FOG_COLOR, haze);
    glFogf(GL_FOG_START, static_cast<GLfloat>(view.distance));
    glFogf(GL_FOG_END, static_cast<GLfloat>(view.farPlane));
    // Fog is computed per vertex, so the land is drawn as tiles small
    // enough for the haze to grow smoothly with distance.
    const double wide = 4.0 * std::max(x1 - x0, y1 - y0);
    auto tiles = [z](double ax, double ay, double bx, double by, int n, bool skipInside,
                     double ix0, double iy0, double ix1, double iy1) {
        const double sx = (bx - ax) / n, sy = (by - ay) / n;
        glBegin(GL_QUADS);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                const double tx = ax + i * sx, ty = ay + j * sy;
                if (skipInside && tx >= ix0 && tx + sx <= ix1 && ty >= iy0 && ty + sy <= iy1)
                    continue;
                glVertex3d(tx, ty, z);
                glVertex3d(tx + sx, ty, z);
                glVertex3d(tx + sx, ty + sy, z);
                glVertex3d(tx, ty + sy, z);
            }
        glEnd();
    };
    glColor3f(0.16f, 0.20f, 0.17f);
    tiles(x0 - wide, y0 - wide, x1 + wide, y1 + wide, 36, true, x0, y0, x1, y1);
    if (ground_) {
        // The ground takes the extent's place; the land around it stays,
        // and flat land at z1 fills its holes and the half sample between
        // its edge samples and the footprint's edge. Colour only: a
        // ground read a tile at a time knows its lowest height only
        // roughly, and flat land in front of a valley floor would hide it.
        glDepthMask(GL_FALSE);
        tiles(x0, y0, x1, y1, 16, false, 0, 0, 0, 0);
        glDepthMask(GL_TRUE);
        glDisable(GL_POLYGON_OFFSET_FILL);
        glPopAttrib();
        ground_->draw(viewCamera(), groundPixelError_);
        return;
    }
    glPolygonOffset(0.5f, 0.5f);
    tiles(x0, y0, x1, y1, 16, false, 0, 0, 0, 0);
    glDisable(GL_POLYGON_OFFSET_FILL);

    glLineWidth(1.0f);
    glColor3f(0.30f, 0.36f, 0.31f);
    glBegin(GL_LINES);
    for (double x = std::ceil(x0 / step) * step; x <= x1; x += step) {
        glVertex3d(x, y0, z);
        glVertex3d(x, y1, z);
    }
    for (double y = std::ceil(y0 / step) * step; y <= y1; y += step) {
        glVertex3d(x0, y, z);
        glVertex3d(x1, y, z);
    }
    glEnd();
    // The extent's border, a shade brighter, whatever the spacing.
    glColor3f(0.42f, 0.48f, 0.42f);
    glBegin(GL_LINE_LOOP);
    glVertex3d(x0, y0, z);
    glVertex3d(x1, y0, z);
    glVertex3d(x1, y1, z);
    glVertex3d(x0, y1, z);
    glEnd();
    glPopAttrib();
}

void setViewerScene(Scene *scene) { currentScene = scene; }
Scene *viewerScene() { return currentScene; }

} // namespace host

extern "C" {

HOST_API HScene *tola_ViewerGetScene(void) {
    return host::currentScene ? host::currentScene->hscene() : nullptr;
}

// The host passes the scene's own record as the owner whenever it creates
// or opens a layer (sceneCreateLayer and the viewer's open), so the owner
// is the scene. It is returned as it is, not looked up, so that a layer
// type can also be driven with a scene record the host did not make.
HOST_API HScene *tola_GetScenePtrFromLayer(void *owner) { return static_cast<HScene *>(owner); }

} // extern "C"
