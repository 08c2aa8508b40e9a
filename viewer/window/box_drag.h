// box_drag.h — the selection box's handles and what dragging one does, as
// plain geometry over a camera, so that it can be checked without a window.
//
// The host never rotates a selection box (it only moves and scales it per
// axis), so a box is handled as the axis-aligned bounds of its corners.
//
// Handles: a corner handle at each of the 8 corners, a face handle at the
// centre of each of the 6 faces. Dragging a side face (x or y) moves the
// box in the horizontal plane, so that the point grabbed stays under the
// pointer on the level of the face's centre; dragging the top or bottom
// face moves it along z by the pointer's vertical motion, measured in
// scene units at the face's depth. Dragging a corner scales the box about
// its centre so that the corner follows the pointer on its level (x and y
// factors), or with Shift held follows its vertical motion (z factor).
#ifndef CLOUDS_VIEWER_WINDOW_BOX_DRAG_H
#define CLOUDS_VIEWER_WINDOW_BOX_DRAG_H

#include <array>

#include "tolatoollib/camera.h"
#include "tolatoollib/selection.h"

namespace cloudview::window {

struct Box {
    host::Vec3 low{}, high{};
    host::Vec3 centre() const;
    // Corner i: x from high when bit 0 is set, y when bit 1, z when bit 2.
    host::Vec3 corner(int i) const;
};

// The bounds of a selector's corners.
Box boundsOf(const host::Corners &corners);

enum class HandleKind { Corner, Face };

struct Handle {
    HandleKind kind = HandleKind::Corner;
    // Corner: as Box::corner. Face: axis index / 2, the high side when odd.
    int index = 0;
    host::Vec3 at{};
};

constexpr int kHandleCount = 14;
using Handles = std::array<Handle, kHandleCount>;

// The 8 corner handles, then the 6 face handles.
Handles handlesOf(const Box &box);

// The handle whose window position lies nearest (x, y) and within reach
// pixels of it; -1 when none does (handles behind the eye never do).
int handleNear(const host::Camera &camera, const Handles &handles, double x, double y,
               double reach);

struct BoxChange {
    enum class Kind { None, Move, Scale } kind = Kind::None;
    // The offset of a move, or the factors of a scale about the centre.
    host::Vec3 amount{};
};

// Scale factors are kept in this range: a corner dragged across the
// centre would turn the box inside out.
constexpr double kMinScale = 0.01;
constexpr double kMaxScale = 100.0;

struct BoxDrag {
    host::Camera camera; // the full view's, in the box's frame; fixed for the drag
    Box box;             // the box when the drag started
    Handle handle;
    double pressX = 0.0, pressY = 0.0;
};

// The change that the drag makes with the pointer at (x, y). None when the
// pointer has not moved the box, or where it gives no usable answer (its
// ray runs level with the plane or misses it before the far plane).
BoxChange dragChange(const BoxDrag &drag, double x, double y, bool shift);

// The box after a change, as selectorMove or selectorScale would leave it.
Box changedBox(const Box &box, const BoxChange &change);

} // namespace cloudview::window

#endif
