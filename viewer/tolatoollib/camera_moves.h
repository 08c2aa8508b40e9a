// camera_moves.h — the ways a person moves the camera (orbit, and the
// limits every move respects): the elevation stays between a few degrees
// above the horizon and straight down, and the eye stays above the
// surface beneath it, so the view is always of the ground from above.
#ifndef CLOUDS_VIEWER_TOLATOOLLIB_CAMERA_MOVES_H
#define CLOUDS_VIEWER_TOLATOOLLIB_CAMERA_MOVES_H

#include "host_export.h"
#include "tolatoollib/camera.h"

#include <functional>

namespace host {

// The elevations (degrees above the horizon) a camera may take. Below a
// few degrees the ground fills the view edge-on and any hill hides it.
constexpr double kMinElevation = 5.0;
constexpr double kMaxElevation = 90.0;
// A drag across the whole height of the view turns the camera this far.
constexpr double kOrbitDegreesPerViewHeight = 120.0;

// The elevation brought into kMinElevation..kMaxElevation (a NaN becomes
// the lowest).
HOST_API double clampElevation(double elevation);

// Turns the camera for a pointer drag of (dx, dy) pixels in a view
// viewHeight pixels high: right turns the eye to the left of the scene,
// down raises it. The elevation stays within its range.
HOST_API void orbitCamera(Camera &camera, double dx, double dy, int viewHeight);

// How far above the surface the eye keeps: a small share of its distance,
// so a close view may come down low and a far one keeps clear of hills.
HOST_API double eyeClearance(const Camera &camera);

// Brings the camera's elevation into range and, where the eye is closer
// to the surface below it than eyeClearance (surfaceZ gives the surface's
// scene z under a position), raises the elevation just enough; when even
// looking straight down is too low, lengthens the distance. Returns true
// when it changed anything.
HOST_API bool keepEyeAbove(Camera &camera, const std::function<double(double, double)> &surfaceZ);

} // namespace host

#endif
