// selection_handles.h — the selection box's handles in the scene view.
#ifndef CLOUDS_VIEWER_WINDOW_SELECTION_HANDLES_H
#define CLOUDS_VIEWER_WINDOW_SELECTION_HANDLES_H

#include "scene_view.h"

namespace cloudview::window {

class SelectionHandles final : public ViewOverlay {
public:
    SelectionHandles(WindowState &state, SceneView &view) : state_(state), view_(view) {}
    bool press(double x, double y) override;
    void drag(double x, double y) override;
    void release(double x, double y) override;
    void draw(ImDrawList *list, float originX, float originY) override;

private:
    WindowState &state_;
    SceneView &view_;
};

} // namespace cloudview::window

#endif
