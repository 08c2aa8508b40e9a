// Camera moves. The eye is kept clear of the ground by raising the
// elevation rather than by moving the target: what the person looks at
// stays where it is, and the camera slides up over a hill behind it.
#include "tolatoollib/camera_moves.h"

#include <algorithm>
#include <cmath>

namespace host {
namespace {

// Share of the eye's distance it keeps above the surface.
constexpr double kClearanceShare = 0.02;

// The surface under the eye of camera with the given elevation, plus the
// clearance, less the eye's height: positive when the eye is too low.
double shortfall(const Camera &camera, double elevation,
                 const std::function<double(double, double)> &surfaceZ) {
    Camera trial = camera;
    trial.elevation = elevation;
    const Vec3 eye = trial.eye();
    const double surface = surfaceZ(eye[0], eye[1]);
    if (!std::isfinite(surface))
        return -1.0; // nothing known under it: nothing to keep clear of
    return surface + eyeClearance(camera) - eye[2];
}

} // namespace

double clampElevation(double elevation) {
    if (std::isnan(elevation))
        return kMinElevation;
    return std::clamp(elevation, kMinElevation, kMaxElevation);
}

void orbitCamera(Camera &camera, double dx, double dy, int viewHeight) {
    const double perPixel = kOrbitDegreesPerViewHeight / std::max(1, viewHeight);
    camera.azimuth = std::fmod(camera.azimuth - dx * perPixel, 360.0);
    if (camera.azimuth < 0.0)
        camera.azimuth += 360.0;
    camera.elevation = clampElevation(camera.elevation + dy * perPixel);
}

double eyeClearance(const Camera &camera) { return kClearanceShare * std::fabs(camera.distance); }

bool keepEyeAbove(Camera &camera, const std::function<double(double, double)> &surfaceZ) {
    const double elevation = clampElevation(camera.elevation);
    bool changed = elevation != camera.elevation;
    camera.elevation = elevation;
    // A distance of 0 asks for framing; there is no eye to place yet.
    if (!(camera.distance > 0.0) || !std::isfinite(camera.distance) ||
        !std::isfinite(camera.target[0]) || !std::isfinite(camera.target[1]) ||
        !std::isfinite(camera.target[2]))
        return changed;
    if (!(shortfall(camera, elevation, surfaceZ) > 0.0))
        return changed;
    // The lowest elevation that clears the surface: step up a degree at a
    // time (the surface under the eye changes as it rises), then narrow
    // the last step down.
    double low = elevation, high = -1.0;
    for (double trial = std::min(elevation + 1.0, kMaxElevation);; trial = std::min(trial + 1.0, kMaxElevation)) {
        if (!(shortfall(camera, trial, surfaceZ) > 0.0)) {
            high = trial;
            break;
        }
        low = trial;
        if (trial >= kMaxElevation)
            break;
    }
    if (high < 0.0) {
        // Even straight down the eye is under the surface (the target is
        // inside a hill): back the eye up until it clears.
        camera.elevation = kMaxElevation;
        const double surface = surfaceZ(camera.target[0], camera.target[1]);
        camera.distance = (surface - camera.target[2]) / (1.0 - kClearanceShare);
        return true;
    }
    for (int i = 0; i < 30; ++i) {
        const double middle = 0.5 * (low + high);
        (shortfall(camera, middle, surfaceZ) > 0.0 ? low : high) = middle;
    }
    camera.elevation = high;
    return true;
}

} // namespace host
