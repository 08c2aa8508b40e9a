// camera.h — the viewer's camera: where the eye is, the matrices that
// fixed-function GL draws the scene with, and the mapping between window
// positions and scene rays that picking uses. Rendering and picking share
// these functions so a click lands where the pixel was drawn.
//
// Conventions (the same as hhgl_GetTargetPosition):
// - Scene axes: x east, y north, z up; units are scene units (metres).
// - azimuth (degrees) turns clockwise from +y (north) toward +x (east) and
//   names the side the eye sits on: the eye is at
//   target + distance * (cos el sin az, cos el cos az, sin el).
//   azimuth 0 puts the eye north of the target looking south; 225 looks
//   north-east from the south-west.
// - elevation (degrees) rises from the horizon: 0 looks level, 90 looks
//   straight down (the screen's up then points along the azimuth's
//   horizontal view direction, so there is no degenerate pose).
// - Screen right is (-cos az, sin az, 0) at every elevation; screen up is
//   right × forward.
// - Window positions are in pixels with (0, 0) the top-left corner and y
//   growing downward, as pointer events give them; (width/2, height/2) is
//   the centre of the view. Positions are continuous (no half-pixel shift).
// - Matrices are column-major double[16] for glLoadMatrixd: element (row r,
//   column c) at m[4 * c + r]. The projection is gluPerspective's with the
//   vertical field of view fovY (35 degrees by default).
//
// Typical values: distance 150000 over an extent of 100 km, near and far
// planes fitted to the extent by fitClipPlanes.
#ifndef CLOUDS_VIEWER_TOLATOOLLIB_CAMERA_H
#define CLOUDS_VIEWER_TOLATOOLLIB_CAMERA_H

#include "host_export.h"

#include <array>

namespace host {

using Vec3 = std::array<double, 3>;
using Matrix4 = std::array<double, 16>;

// The scene's box in scene coordinates. Pairs may come in either order;
// the ground lies at z1. Defaults: 100 km square, 3 km high.
struct Extent {
    double x1 = 0.0, x2 = 100000.0; // x pair
    double y1 = 0.0, y2 = 100000.0; // y pair
    double z1 = 0.0, z2 = 3000.0;   // z pair; z1 is the ground
};

struct HOST_API Camera {
    double azimuth = 225.0;                  // degrees, see above
    double elevation = 30.0;                 // degrees above the horizon
    double distance = 150000.0;              // eye to target
    Vec3 target{50000.0, 50000.0, 0.0};      // the point looked at
    int width = 800, height = 600;           // viewport in pixels
    double fovY = 35.0;                      // vertical field of view, degrees
    double nearPlane = 100.0;                // view depth of the near plane
    double farPlane = 1.0e6;                 // view depth of the far plane

    Vec3 eye() const;
    Vec3 forward() const; // unit vector from the eye toward the target
    Vec3 right() const;   // unit screen right
    Vec3 up() const;      // unit screen up

    // Near and far planes that hold the whole extent (with a margin of
    // its own size) and the target in front of the eye, near kept above
    // far / 10000. Planes that would not be finite leave them as they were.
    void fitClipPlanes(const Extent &extent);

    Matrix4 viewMatrix() const;
    Matrix4 projectionMatrix() const;

    // The view ray through a window position: start on the near plane,
    // second on the far plane.
    void windowToRay(double wx, double wy, double start[3], double second[3]) const;
    // Window position of a scene point, and its window depth (0 at the near
    // plane, 1 at the far plane) when depth is given. False for a point at
    // or behind the eye's plane (nothing is written then).
    bool worldToWindow(const double point[3], double *wx, double *wy,
                       double *depth = nullptr) const;
};

// The point where the view ray through (wx, wy) meets the ground z = z1.
// When the ray does not come down to the ground (at or above the horizon)
// the far-plane point of the ray, dropped onto the ground, stands in and
// the result is false.
HOST_API bool pickGround(const Camera &camera, double groundZ, double wx, double wy,
                         double out[3]);

// Slab test of the ray from start through second against the box spanned
// by two corners given in any order. On a hit, writes the nearest point of
// the box on the ray at t >= 0 (start itself when it lies inside) and
// returns true. A ray whose two points coincide hits when its start lies
// in the box.
HOST_API bool rayHitsBox(const double start[3], const double second[3], const double cornerA[3],
                         const double cornerB[3], double hit[3]);

} // namespace host

#endif
