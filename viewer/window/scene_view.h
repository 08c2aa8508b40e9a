// scene_view.h — the scene in the window: camera navigation with the
// mouse, clicks handed to the scene, the pointer's scene point, and the
// scene drawn into its own framebuffer at the resolution the governor
// picks, shown behind the panels.
//
// Mouse: left drag orbits, right or middle drag pans, the wheel zooms; a
// left press and release without a drag is a click (a pointer event of
// code 104 for the layers). Drags that start on one of the overlay's
// handles (the selection box) belong to the overlay.
#ifndef CLOUDS_VIEWER_WINDOW_SCENE_VIEW_H
#define CLOUDS_VIEWER_WINDOW_SCENE_VIEW_H

#include <chrono>
#include <string>

#include "resolution.h"
#include "tolatoollib/camera.h"
#include "view_target.h"
#include "window_state.h"

struct ImDrawList;

namespace cloudview::window {

// Something drawn over the scene that takes drags of its own.
class ViewOverlay {
public:
    virtual ~ViewOverlay() = default;
    // A left press at a view position (pixels from the view's top-left):
    // true when the overlay takes the drag that follows.
    virtual bool press(double x, double y) = 0;
    virtual void drag(double x, double y) = 0;
    virtual void release(double x, double y) = 0;
    // Draws over the scene; origin is the view's top-left in the window.
    virtual void draw(ImDrawList *list, float originX, float originY) = 0;
};

class SceneView {
public:
    SceneView(WindowState &state, ViewTarget &target);

    // Where the view lies in the window's framebuffer, in pixels.
    void setRect(float x, float y, float width, float height);
    int width() const { return width_; }
    int height() const { return height_; }
    void setOverlay(ViewOverlay *overlay) { overlay_ = overlay; }

    // The window's pointer events as they come, in window coordinates. A
    // press and the motion after it may both arrive before the next frame,
    // which then sees only where the pointer ended: presses are taken
    // where they happened.
    void pointerMoved(double x, double y);
    void buttonPressed(int button);

    // Mouse and keys of this frame (inside an ImGui frame).
    void handleInput();
    // Draws the scene when anything it shows may have changed, at reduced
    // resolution while the camera moves. Inside an ImGui frame: the
    // picture goes to the background draw list.
    void update();
    // Draws the still picture at full resolution now, with depth for
    // picking, unless the last drawing was one.
    void drawStill();

    bool moving() const;
    // Held, update() shows the last picture without drawing the scene: the
    // layers are in the middle of a change.
    void setHeld(bool held) { held_ = held; }
    bool held() const { return held_; }
    // The last drawing: its size and how long it took.
    int drawnWidth() const { return drawnW_; }
    int drawnHeight() const { return drawnH_; }
    double lastDrawMs() const { return lastDrawMs_; }
    ResolutionGovernor &governor() { return governor_; }
    // Marks the camera as moving now (what a drag does), for scripted
    // motion.
    void cameraMoved();
    // The scene point under the pointer, as the status bar shows it.
    std::string pointerText() const;
    // A click at a view position, as the scene takes it (after a full
    // picture, so that picking sees what is shown).
    void click(int x, int y);

private:
    struct Signature {
        host::Camera camera;
        unsigned long redraws = 0, changes = 0;
        int width = 0, height = 0;
        bool operator==(const Signature &o) const;
    };
    Signature signature(int w, int h) const;
    void draw(int w, int h, bool still);
    void orbit(double dx, double dy);
    void pan(double dx, double dy);
    void zoom(double steps);
    bool inside(double x, double y) const; // a view position within the view

    WindowState &state_;
    ViewTarget &target_;
    ViewOverlay *overlay_ = nullptr;
    bool held_ = false;
    ResolutionGovernor governor_;
    float x_ = 0, y_ = 0;
    int width_ = 1, height_ = 1;
    Signature drawn_;
    bool drawnStill_ = false;
    int drawnW_ = 0, drawnH_ = 0;
    double lastDrawMs_ = 0;
    std::chrono::steady_clock::time_point lastMove_{};

    enum class Drag { None, Pending, Orbit, Pan, Overlay } drag_ = Drag::None;
    int dragButton_ = -1;
    double pressX_ = 0, pressY_ = 0, lastX_ = 0, lastY_ = 0;
    double pointerX_ = -1, pointerY_ = -1;
    struct PointerAt {
        bool seen = false;
        double x = 0, y = 0; // window coordinates
    };
    PointerAt presses_[3]; // since the last frame, by button
    PointerAt lastMotion_;
};

} // namespace cloudview::window

#endif
