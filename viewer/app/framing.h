// framing.h — where the layers draw: the scene-space bounds of whatever a
// draw call produces, caught with GL's feedback mode. The viewer uses it to
// point the camera at a layer's content without knowing the layer type.
//
// A damaged or absurd layer must not carry the camera off: what is drawn
// is split into connected pieces (vertices joined by the lines and
// polygons through them: a box's outline is one piece), and a piece with
// a vertex far outside the scene is left out. GL itself drops what is not
// finite: it never reaches the bounds.
#ifndef CLOUDS_VIEWER_APP_FRAMING_H
#define CLOUDS_VIEWER_APP_FRAMING_H

#include <functional>
#include <vector>

namespace cloudview {

struct Bounds {
    double lo[3] = {0, 0, 0};
    double hi[3] = {0, 0, 0};
    bool empty = true;
    void add(const double p[3]);
    void add(const Bounds &other);
};

// How far outside the scene, in sizes of the scene (its largest side), a
// piece may lie and still be framed: past the land drawn around the scene
// (four sizes) a cloud hangs over nothing.
constexpr double kFramingReach = 10.0;

struct Framing {
    Bounds bounds;            // of the pieces kept
    std::vector<int> leftOut; // marks under which a piece was left out, each once
};

// Runs draw (which issues GL calls in scene coordinates, and may call
// glPassThrough(mark) before each part it wants named) in feedback mode
// and frames what it drew against the scene's box. followDrawing: the box
// stands where most of the drawing is rather than where it was given (a
// scene whose extent nobody set: a layer file shown alone). Needs a
// current context; leaves matrices, viewport and render mode as they were.
Framing frameDrawing(const std::function<void()> &draw, const Bounds &scene, bool followDrawing);

}  // namespace cloudview

#endif
