// scene.h — the viewer's scene as the host serves it to layer types.
//
// A Scene holds the extent, the origin, the camera and viewport, the
// ordered list of host layers with a host-side visibility flag each, the
// pointer event callbacks, the actions switched on by name, a busy flag,
// the interaction depth, a count of redraw requests and the window that
// owns frames and menus. Its first member is the HScene record handed to
// layer types; the record's operation table (HSceneOps) reaches this
// Scene again through Scene::fromHScene. The host knows nothing of any
// layer type: it goes through each layer's method table only.
//
// Layer order: layers() lists the bottom layer first, which is also the
// drawing order; a new layer goes on top (the end).
//
// Scene operations called through the table are journaled (see
// hvislib/journal.h) when they change state; the C++ methods below are the
// viewer's own and are not.
//
// One Scene is the viewer's current scene (setViewerScene), the one that
// tola_ViewerGetScene returns. A Scene destroyed while current stops being
// current. Destroying a Scene does not close its layers (that calls into
// layer types, which may be unloaded already): call closeAllLayers first.
#ifndef CLOUDS_VIEWER_TOLATOOLLIB_SCENE_H
#define CLOUDS_VIEWER_TOLATOOLLIB_SCENE_H

#include "host_export.h"
#include "host_types.h"
#include "tolatoollib/camera.h"
#include "tolatoollib/ground.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace host {
class Scene;
}

// The window that owns a scene's frames and menus; sceneGetWindow returns
// the scene's own, which lives as long as the scene.
struct HWindow {
    host::Scene *scene;
};

namespace host {

class HOST_API Scene {
public:
    HScene record; // first member: what layer types receive as the scene

    Scene();
    ~Scene();
    Scene(const Scene &) = delete;
    Scene &operator=(const Scene &) = delete;

    // The Scene whose record this is; null for any other value.
    static Scene *fromHScene(const HScene *scene);
    // The live scene whose list holds the layer; null when none does.
    static Scene *holding(const HLayer *layer);
    static std::vector<Scene *> liveScenes();

    HScene *hscene() { return &record; }
    HWindow *window() { return &window_; }

    // Setting the extent points the camera's target at the centre of its
    // ground (x and y centres, z1).
    void setExtent(const Extent &extent);
    const Extent &extent() const { return extent_; }
    void setOrigin(double x, double y, double z);
    const Vec3 &origin() const { return origin_; }

    // The ground, when it is not the flat grid: borrowed, never owned; null
    // gives the grid back. Setting one makes its extent the scene's and
    // its local origin the drawing frame's (see frameOffset); the frame
    // goes back to the scene's origin of coordinates with null.
    void setGround(Ground *ground);
    Ground *ground() const { return ground_; }
    // Where the drawing frame's (0, 0, 0) lies in scene coordinates. GL
    // draws in that frame (scene coordinates minus the offset) so that
    // vertices stay small at UTM coordinates: the origin served to layer
    // types and the pick ray are given in it, while pick points and the
    // extent stay in scene coordinates. Zero without a ground.
    const Vec3 &frameOffset() const { return frameOffset_; }
    // How far (pixels) the ground may stray from its model on screen:
    // small for a still view, larger while the camera moves.
    void setGroundPixelError(double pixels) { groundPixelError_ = pixels; }
    double groundPixelError() const { return groundPixelError_; }

    Camera &camera() { return camera_; }
    const Camera &camera() const { return camera_; }
    // The elevation is brought into the range camera moves keep to (see
    // camera_moves.h); whoever takes it from a person says so.
    void setView(double azimuth, double elevation, double distance);
    // The surface's scene z under (x, y): the ground's, or the extent's
    // floor z1 off the ground, in its holes and without one.
    double surfaceZ(double x, double y) const;
    // Keeps the camera's elevation in range and its eye above the surface
    // under it (see keepEyeAbove); true when the camera changed.
    bool keepCameraAboveGround();
    void setViewport(int width, int height);
    // The camera with its clip planes fitted to the extent: what drawing
    // and picking use.
    Camera viewCamera() const;
    // The view camera in the drawing frame (its target less frameOffset):
    // what GL's matrices and the selection box's screen positions use.
    Camera frameCamera() const;
    // The view ray through a window position in scene coordinates, and the
    // parameter (0 at start, 1 at second) where it first meets the ground;
    // false when there is no ground under it.
    bool groundHit(double wx, double wy, double start[3], double second[3], double *t) const;
    // Whether a pick ray served to a layer type (drawing frame) meets the
    // ground before it reaches a hit point at distance hitDistance from
    // its start: the ground in front hides what lies behind it.
    bool groundHides(const double start[3], const double second[3], double hitDistance) const;

    // Layers. Each returns false when the layer is null, already in the
    // list (add) or not in it (the others), and changes nothing then.
    std::vector<HLayer *> layers() const;
    bool addLayer(HLayer *layer);
    bool removeLayer(HLayer *layer);
    // Moves a listed layer to position index of the drawing order (0 is the
    // bottom; past the end means the top), keeping its visibility.
    bool placeLayer(HLayer *layer, size_t index);
    size_t layerPosition(const HLayer *layer) const { return indexOf(layer); }
    bool contains(const HLayer *layer) const;
    bool raiseToTop(HLayer *layer);
    bool lowerToBottom(HLayer *layer);
    bool toggleVisibility(HLayer *layer);
    bool setLayerVisible(HLayer *layer, bool visible);
    bool layerVisible(const HLayer *layer) const; // false when not in the list
    // How many times a layer has left the list. A freed layer's address
    // may come back as a new layer's: what is kept per layer outside the
    // scene is stale once this changes.
    unsigned long layerRemovals() const { return removals_; }
    // The first layer, bottom first, whose typeName() equals type exactly.
    HLayer *findLayerByType(const char *type) const;
    // Calls methods->close of every layer in list order (close frees the
    // layer and takes it out of the list). A layer without a close method,
    // or one that stays listed after it, is taken out; a feature layer
    // among those is freed.
    void closeAllLayers();
    // Who closes a layer that a layer type asks to delete (the viewer: it
    // asks its questions and saves to the file it keeps for the layer).
    // Without one the layer's own close does.
    void setLayerCloser(std::function<void(HLayer *)> closer) { layerCloser_ = std::move(closer); }
    const std::function<void(HLayer *)> &layerCloser() const { return layerCloser_; }

    // Pointer event callbacks, called in the order they were added. The
    // same pair may be added twice and is then called twice; removing
    // takes out the first registration of the pair.
    void addEventCallback(HSceneEventFn fn, void *client);
    bool removeEventCallback(HSceneEventFn fn, void *client);
    size_t eventCallbackCount() const { return callbacks_.size(); }
    // Delivers the event to every callback registered when dispatch starts
    // and still registered when its turn comes; returns how many returned
    // nonzero.
    int dispatchEvent(const HPointerEvent &event);

    // The scene point under a window position. With a ground it is the
    // ground's surface where the view ray first meets it; elsewhere (and
    // without a ground) the nearest surface drawn
    // there in the last frame (its depth, see setLastFrame), and on the
    // ground exactly the view ray's meeting point with the plane z = z1,
    // since depth read-back is too coarse at scene distances. Without a
    // frame, the ground plane alone. False where only sky lies under the
    // position or the position is outside the view; out then holds the
    // far end of the ray dropped onto the ground, so it is never garbage.
    bool pickPoint(double wx, double wy, double out[3]) const;
    // What the last drawn frame left for picking: the camera it was drawn
    // with (its viewport gives the size) and its window depths, GL row
    // order, width × height values. It serves picks only while the view
    // camera is still the one it was drawn with; clearLastFrame forgets it.
    void setLastFrame(const Camera &camera, std::vector<float> depth);
    void clearLastFrame() { frameDepth_.clear(); }
    bool hasLastFrame() const;
    // A pointer click at a window position. While any event callback is
    // registered (a layer type's placement mode) the click goes to the
    // callbacks, and only when a scene point lies under it; otherwise to
    // each visible layer's pointerEvent entry, topmost first, until one
    // returns nonzero. Clicks outside the view reach nothing. Returns
    // whether anything took it.
    bool click(int x, int y);
    // The layer whose pointer entry took the last click; null when none
    // did (or the callbacks took it), or once that layer has left.
    HLayer *clickTaker() const { return contains(clickTaker_) ? clickTaker_ : nullptr; }

    // Actions switched on by name ("delcloud").
    void setAction(const std::string &name, bool on);
    bool actionOn(const std::string &name) const;
    const std::set<std::string> &actions() const { return actions_; }

    // The listener hears every change of the flag as it happens, so that a
    // window can show a layer type's busy spell while it lasts.
    void setBusy(bool busy);
    bool busy() const { return busy_; }
    void setBusyListener(std::function<void(bool busy)> listener) { busyListener_ = std::move(listener); }
    // Begin adds one, end takes one away (never below 0).
    void interactionBegin() { ++interaction_; }
    void interactionEnd();
    int interactionDepth() const { return interaction_; }
    void requestRedraw() { ++redraws_; }
    unsigned long redrawCount() const { return redraws_; }

    // Fixed-function GL, in the current context. setupCamera sets the
    // viewport to the camera's size and loads the projection and modelview
    // matrices of frameCamera (modelview left current). drawGround draws a
    // dark green-grey ground over the extent at z1 with a lighter grid of
    // about ten lines per side at round spacings, or, with a ground, the
    // ground and the land around it at z1; it restores the GL state it
    // changes.
    void setupCamera() const;
    void drawGround() const;

private:
    struct LayerEntry {
        HLayer *layer;
        bool visible;
    };
    struct Callback {
        HSceneEventFn fn;
        void *client;
    };
    size_t indexOf(const HLayer *layer) const; // layers_.size() when absent

    HWindow window_;
    Extent extent_;
    Vec3 origin_{0.0, 0.0, 0.0};
    Ground *ground_ = nullptr;
    Vec3 frameOffset_{0.0, 0.0, 0.0};
    double groundPixelError_ = 2.0;
    Camera camera_;
    std::vector<LayerEntry> layers_;
    std::vector<Callback> callbacks_;
    std::set<std::string> actions_;
    Camera frameCamera_;
    std::vector<float> frameDepth_;
    HLayer *clickTaker_ = nullptr;
    bool busy_ = false;
    std::function<void(bool)> busyListener_;
    std::function<void(HLayer *)> layerCloser_;
    int interaction_ = 0;
    unsigned long redraws_ = 0;
    unsigned long removals_ = 0;
};

// The scene tola_ViewerGetScene returns; null to have none.
HOST_API void setViewerScene(Scene *scene);
HOST_API Scene *viewerScene();

// Feature layers (tola_FeatureLayerCreate): whether a layer is one that is
// still alive, and the name its host-owned hostSetName entry last stored.
HOST_API bool isFeatureLayer(const HLayer *layer);
HOST_API std::string featureLayerName(const HLayer *layer);

} // namespace host

#endif
