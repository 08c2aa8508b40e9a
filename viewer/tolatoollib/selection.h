// selection.h — the host's interactive selection box.
//
// A layer type asks for one with the eight corners of a box (a 3 × 8
// matrix of 64-bit floats: tola_SelNewGetMethods, then tola_SelNewCreate)
// in the scene's drawing frame, where it draws (Scene::frameOffset; over
// a ground that is not scene coordinates, so whatever projects the
// corners uses Scene::frameCamera). The box is shown in its scene as a
// wireframe with a handle at each corner. The viewer (or a person dragging a handle) moves and scales it;
// rotation is never offered, so every change is a per-axis scale followed
// by a move, p' = scale * p + offset, and two opposite corners describe the
// changed box. After each change every kind-2 callback added with
// hvis_ObjectAddCallback is called as fn(selector, 0, 0, 0, client), and
// tola_SelectBoxGetLastXform hands out a copy of that change's transform
// (identity before the first change), a host heap block freed with
// hfga_PolynomialDelete.
//
// A method set is a host heap block that tola_SelNewCreate adopts and
// frees, also when it cannot make the selector. Selectors are host heap
// blocks too, freed by tola_SelNewDestroy; one that outlives its scene is
// kept, detached, until then.
#ifndef CLOUDS_VIEWER_TOLATOOLLIB_SELECTION_H
#define CLOUDS_VIEWER_TOLATOOLLIB_SELECTION_H

#include "host_export.h"
#include "host_types.h"

#include <array>
#include <vector>

// p' = scale * p + offset on each axis.
struct HPolynomial {
    double scale[3];
    double offset[3];
};

namespace host {

class Scene;

using Corners = std::array<std::array<double, 3>, 8>;

// The live selectors shown in a scene, oldest first.
HOST_API std::vector<HSelector *> selectorsOf(const Scene *scene);
HOST_API bool isSelector(const void *object);
HOST_API const Corners &selectorCorners(const HSelector *selector);
HOST_API bool selectorRotationAllowed(const HSelector *selector);
// A change as a drag makes it: a move by (dx, dy, dz), or a scale by
// (sx, sy, sz) about the box's centre. Calls the change callbacks.
HOST_API void selectorMove(HSelector *selector, double dx, double dy, double dz);
HOST_API void selectorScale(HSelector *selector, double sx, double sy, double sz);
// Detaches the scene's selectors from it; the scene calls this as it goes.
HOST_API void selectorsForgetScene(const Scene *scene);
// The scene's selectors as wireframes with corner handles, in the current
// GL context and camera; restores the GL state it changes.
HOST_API void drawSelectors(const Scene *scene);

} // namespace host

#endif
