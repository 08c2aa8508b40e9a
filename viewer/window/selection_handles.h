// selection_handles.h — the selection boxes' handles in the scene view:
// drawn over the scene, dragged to move or scale a box (box_drag.h). A
// drag shows the box it would make as a ghost and changes the real box
// once, on release, so the layer that owns it rebuilds only once.
#ifndef CLOUDS_VIEWER_WINDOW_SELECTION_HANDLES_H
#define CLOUDS_VIEWER_WINDOW_SELECTION_HANDLES_H

#include "box_drag.h"
#include "scene_view.h"

namespace cloudview::window {

// How far from a handle, in pixels, a press still takes it.
constexpr double kHandleReach = 8.0;

class SelectionHandles final : public ViewOverlay {
public:
    SelectionHandles(WindowState &state, SceneView &view) : state_(state), view_(view) {}
    bool press(double x, double y) override;
    void drag(double x, double y) override;
    void release(double x, double y) override;
    void draw(ImDrawList *list, float originX, float originY) override;

    bool dragging() const { return selector_ != nullptr; }

private:
    // The scene's camera in the drawing frame as the full view shows it:
    // while the camera moves, the scene's own has the reduced drawing size.
    host::Camera viewCamera() const;
    bool dragStillValid() const;

    WindowState &state_;
    SceneView &view_;
    HSelector *selector_ = nullptr; // the box being dragged
    BoxDrag drag_;
    BoxChange change_;
};

} // namespace cloudview::window

#endif
