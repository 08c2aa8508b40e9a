// framing.h — where the layers draw: the scene-space bounds of whatever a
// draw call produces, caught with GL's feedback mode. The viewer uses it to
// point the camera at a layer's content without knowing the layer type.
#ifndef CLOUDS_VIEWER_APP_FRAMING_H
#define CLOUDS_VIEWER_APP_FRAMING_H

#include <functional>

namespace cloudview {

struct Bounds {
    double lo[3] = {0, 0, 0};
    double hi[3] = {0, 0, 0};
    bool empty = true;
    void add(const double p[3]);
};

// Runs draw (which issues GL calls in scene coordinates) in feedback mode
// and returns the bounds of the vertices it produced. Needs a current
// context; leaves matrices, viewport and render mode as they were.
Bounds drawnBounds(const std::function<void()> &draw);

}  // namespace cloudview

#endif
