// ground.h — what the scene asks of a ground that is not its flat grid:
// an elevation model (see terrain/terrain.h) or anything else that draws
// opaque land. The scene borrows it (setGround); whoever made it owns it
// and must take it away from the scene before destroying it.
//
// Coordinates: scene coordinates (x east, y north, z up, metres) for
// everything the ground reports and takes.
#ifndef CLOUDS_VIEWER_TOLATOOLLIB_GROUND_H
#define CLOUDS_VIEWER_TOLATOOLLIB_GROUND_H

#include "tolatoollib/camera.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace host {

class Ground {
public:
    virtual ~Ground() = default;
    // The ground's footprint and height range: what the scene's extent
    // becomes when the ground is set.
    virtual Extent extent() const = 0;
    // A point near the middle of the ground, whole metres, that the scene
    // draws relative to so that vertices stay small.
    virtual Vec3 localOrigin() const = 0;
    // Draws the ground with depth written. camera is in scene coordinates;
    // the projection is loaded; the ground loads its own modelview from
    // camera (each piece relative to an origin of its own) and leaves the
    // modelview as it found it. pixelError: how far (pixels) the drawn
    // surface may stray from the model on screen.
    virtual void draw(const Camera &camera, double pixelError) = 0;
    // The first meeting, t >= 0, of the ray start + t (second - start) with
    // the ground's surface; false when the ray misses it.
    virtual bool intersect(const double start[3], const double second[3], double *t) const = 0;
    // Streaming (a window): a draw never waits for pieces read from disk,
    // drawing coarser ones until they arrive, and arrived is called (from
    // any thread) as each does. Otherwise (the default) a draw waits for
    // every piece its view needs, so a picture is the same every time.
    virtual void setStreaming(bool streaming, std::function<void()> arrived) { (void)streaming; (void)arrived; }
    // Pieces asked for and not yet drawn: draw again soon.
    virtual bool pending() const { return false; }
    // The surface's scene z under (x, y); NaN where the ground has none
    // (off its footprint, in a hole). By default the first meeting of a
    // ray straight down from far above.
    virtual double surfaceZ(double x, double y) const {
        const Extent e = extent();
        const double low = std::min(e.z1, e.z2), high = std::max(e.z1, e.z2);
        const double span = high - low + 1.0;
        const double start[3] = {x, y, high + span}, second[3] = {x, y, low - span};
        double t = 0.0;
        if (!intersect(start, second, &t))
            return std::numeric_limits<double>::quiet_NaN();
        return start[2] + t * (second[2] - start[2]);
    }
};

} // namespace host

#endif
