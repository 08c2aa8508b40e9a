#include "box_drag.h"

#include <algorithm>
#include <cmath>

namespace cloudview::window {

namespace {

// Looking nearly straight down, vertical pointer motion says little about
// height; below this share of screen up along z the gain stops growing.
constexpr double kLeastUpZ = 0.2;
constexpr double kLevelSlope = 1e-9;

bool finite(const host::Vec3 &v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Where the view ray through a window position meets the level z, between
// the near and the far plane.
bool rayMeetsLevel(const host::Camera &camera, double wx, double wy, double z, host::Vec3 *out)
{
    double a[3], b[3];
    camera.windowToRay(wx, wy, a, b);
    const double rise = b[2] - a[2];
    const double length = std::hypot(b[0] - a[0], b[1] - a[1], rise);
    // A ray along the level meets it nowhere useful, even where rounding
    // leaves it a trace of slope.
    if (!(std::fabs(rise) > kLevelSlope * length))
        return false;
    const double t = (z - a[2]) / rise;
    if (!(t >= 0.0 && t <= 1.0))
        return false;
    const host::Vec3 hit{a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), z};
    if (!finite(hit))
        return false;
    *out = hit;
    return true;
}

// The horizontal motion of the grabbed point on the level z between the
// press and (x, y).
bool levelMotion(const BoxDrag &drag, double x, double y, double z, host::Vec3 *motion)
{
    host::Vec3 from, to;
    if (!rayMeetsLevel(drag.camera, drag.pressX, drag.pressY, z, &from) ||
        !rayMeetsLevel(drag.camera, x, y, z, &to))
        return false;
    *motion = {to[0] - from[0], to[1] - from[1], 0.0};
    return true;
}

// The vertical motion in scene units that the pointer's motion from the
// press to y stands for at the point's depth; 0 where it says nothing.
double verticalMotion(const BoxDrag &drag, const host::Vec3 &at, double y)
{
    const host::Camera &c = drag.camera;
    const host::Vec3 eye = c.eye(), f = c.forward();
    const double depth =
        (at[0] - eye[0]) * f[0] + (at[1] - eye[1]) * f[1] + (at[2] - eye[2]) * f[2];
    if (!(depth > 0.0) || c.height < 1)
        return 0.0;
    const double perPixel = 2.0 * depth * std::tan(c.fovY * M_PI / 360.0) / c.height;
    const double dz = (drag.pressY - y) * perPixel / std::max(c.up()[2], kLeastUpZ);
    return std::isfinite(dz) ? dz : 0.0;
}

// The factor that takes a corner's offset from the centre to a new one.
double factor(double was, double now)
{
    if (was == 0.0)
        return 1.0;
    const double f = now / was;
    if (std::isnan(f))
        return 1.0;
    return std::clamp(f, kMinScale, kMaxScale);
}

BoxChange moveBy(const host::Vec3 &offset)
{
    if (!finite(offset) || offset == host::Vec3{0.0, 0.0, 0.0})
        return {};
    return {BoxChange::Kind::Move, offset};
}

BoxChange scaleBy(const host::Vec3 &factors)
{
    if (!finite(factors) || factors == host::Vec3{1.0, 1.0, 1.0})
        return {};
    return {BoxChange::Kind::Scale, factors};
}

BoxChange faceDrag(const BoxDrag &drag, double x, double y)
{
    const int axis = drag.handle.index / 2;
    if (axis == 2)
        return moveBy({0.0, 0.0, verticalMotion(drag, drag.handle.at, y)});
    host::Vec3 motion;
    if (!levelMotion(drag, x, y, drag.handle.at[2], &motion))
        return {};
    return moveBy(motion);
}

BoxChange cornerDrag(const BoxDrag &drag, double x, double y, bool shift)
{
    const host::Vec3 c = drag.box.centre(), &corner = drag.handle.at;
    if (shift) {
        const double dz = verticalMotion(drag, corner, y);
        return scaleBy({1.0, 1.0, factor(corner[2] - c[2], corner[2] + dz - c[2])});
    }
    host::Vec3 motion;
    if (!levelMotion(drag, x, y, corner[2], &motion))
        return {};
    return scaleBy({factor(corner[0] - c[0], corner[0] + motion[0] - c[0]),
                    factor(corner[1] - c[1], corner[1] + motion[1] - c[1]), 1.0});
}

} // namespace

host::Vec3 Box::centre() const
{
    return {0.5 * (low[0] + high[0]), 0.5 * (low[1] + high[1]), 0.5 * (low[2] + high[2])};
}

host::Vec3 Box::corner(int i) const
{
    return {(i & 1) ? high[0] : low[0], (i & 2) ? high[1] : low[1], (i & 4) ? high[2] : low[2]};
}

Box boundsOf(const host::Corners &corners)
{
    Box box{corners[0], corners[0]};
    for (const auto &p : corners)
        for (int i = 0; i < 3; ++i) {
            box.low[i] = std::min(box.low[i], p[i]);
            box.high[i] = std::max(box.high[i], p[i]);
        }
    return box;
}

Handles handlesOf(const Box &box)
{
    Handles handles;
    for (int i = 0; i < 8; ++i)
        handles[i] = {HandleKind::Corner, i, box.corner(i)};
    const host::Vec3 c = box.centre();
    for (int face = 0; face < 6; ++face) {
        host::Vec3 at = c;
        const int axis = face / 2;
        at[axis] = (face & 1) ? box.high[axis] : box.low[axis];
        handles[8 + face] = {HandleKind::Face, face, at};
    }
    return handles;
}

int handleNear(const host::Camera &camera, const Handles &handles, double x, double y,
               double reach)
{
    int nearest = -1;
    double best = reach;
    for (int i = 0; i < kHandleCount; ++i) {
        double wx, wy;
        if (!camera.worldToWindow(handles[i].at.data(), &wx, &wy))
            continue;
        const double d = std::hypot(wx - x, wy - y);
        if (d <= best) {
            best = d;
            nearest = i;
        }
    }
    return nearest;
}

BoxChange dragChange(const BoxDrag &drag, double x, double y, bool shift)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return {};
    return drag.handle.kind == HandleKind::Face ? faceDrag(drag, x, y)
                                                : cornerDrag(drag, x, y, shift);
}

Box changedBox(const Box &box, const BoxChange &change)
{
    Box out = box;
    const host::Vec3 c = box.centre();
    for (int i = 0; i < 3; ++i) {
        const double a = change.amount[i];
        if (change.kind == BoxChange::Kind::Move) {
            out.low[i] += a;
            out.high[i] += a;
        } else if (change.kind == BoxChange::Kind::Scale) {
            out.low[i] = c[i] + a * (box.low[i] - c[i]);
            out.high[i] = c[i] + a * (box.high[i] - c[i]);
        }
    }
    return out;
}

} // namespace cloudview::window
