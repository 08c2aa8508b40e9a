// Camera math. Everything is built from the eye and the three unit axes, so
// the matrices, the pick ray and the window projection agree exactly.
#include "tolatoollib/camera.h"

#include <algorithm>
#include <cmath>

namespace host {
namespace {

constexpr double kRadians = M_PI / 180.0;

double dot(const Vec3 &a, const Vec3 &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vec3 cross(const Vec3 &a, const Vec3 &b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Half the tangents of the field of view: the view-space x and y extent
// of the frustum at depth 1.
void frustumSlopes(const Camera &c, double &tx, double &ty) {
    ty = std::tan(0.5 * c.fovY * kRadians);
    const double aspect = c.height > 0 ? double(c.width) / double(c.height) : 1.0;
    tx = ty * aspect;
}

} // namespace

Vec3 Camera::eye() const {
    const double az = azimuth * kRadians, el = elevation * kRadians;
    return {target[0] + distance * std::cos(el) * std::sin(az),
            target[1] + distance * std::cos(el) * std::cos(az),
            target[2] + distance * std::sin(el)};
}

Vec3 Camera::forward() const {
    const double az = azimuth * kRadians, el = elevation * kRadians;
    return {-std::cos(el) * std::sin(az), -std::cos(el) * std::cos(az), -std::sin(el)};
}

// From the azimuth alone, so looking straight down still has a right.
Vec3 Camera::right() const {
    const double az = azimuth * kRadians;
    return {-std::cos(az), std::sin(az), 0.0};
}

Vec3 Camera::up() const { return cross(right(), forward()); }

void Camera::fitClipPlanes(const Extent &e) {
    const Vec3 centre{0.5 * (e.x1 + e.x2), 0.5 * (e.y1 + e.y2), 0.5 * (e.z1 + e.z2)};
    const double dx = e.x2 - e.x1, dy = e.y2 - e.y1, dz = e.z2 - e.z1;
    const double radius = 0.5 * std::sqrt(dx * dx + dy * dy + dz * dz);
    const Vec3 eyePoint = eye();
    const Vec3 toCentre{centre[0] - eyePoint[0], centre[1] - eyePoint[1], centre[2] - eyePoint[2]};
    const double reach = std::sqrt(dot(toCentre, toCentre));
    // Clouds may stand out of the extent; a margin of one more radius
    // keeps them inside the frustum.
    // The land drawn around the extent reaches four widths further.
    const double far = std::max(reach + 10.0 * radius, 2.0 * std::fabs(distance) + 1.0);
    // The target (what was framed or turned about) is always in view,
    // even far from the extent: a layer alone at UTM positions.
    const double near = std::max(std::min(reach - 2.0 * radius, 0.5 * std::fabs(distance)),
                                 far * 1.0e-4);
    // Planes that are not finite would make every depth NaN and the
    // picture empty: the last sound ones stay instead.
    if (std::isfinite(far) && std::isfinite(near) && near > 0.0 && near < far) {
        farPlane = far;
        nearPlane = near;
    }
}

Matrix4 Camera::viewMatrix() const {
    const Vec3 r = right(), u = up(), f = forward(), p = eye();
    return {r[0], u[0], -f[0], 0.0,
            r[1], u[1], -f[1], 0.0,
            r[2], u[2], -f[2], 0.0,
            -dot(r, p), -dot(u, p), dot(f, p), 1.0};
}

Matrix4 Camera::projectionMatrix() const {
    double tx, ty;
    frustumSlopes(*this, tx, ty);
    const double n = nearPlane, f = farPlane;
    Matrix4 m{};
    m[0] = 1.0 / tx;
    m[5] = 1.0 / ty;
    m[10] = (f + n) / (n - f);
    m[11] = -1.0;
    m[14] = 2.0 * f * n / (n - f);
    return m;
}

void Camera::windowToRay(double wx, double wy, double start[3], double second[3]) const {
    double tx, ty;
    frustumSlopes(*this, tx, ty);
    const double ndcX = width > 0 ? 2.0 * wx / width - 1.0 : 0.0;
    const double ndcY = height > 0 ? 1.0 - 2.0 * wy / height : 0.0;
    const Vec3 r = right(), u = up(), f = forward(), p = eye();
    for (int i = 0; i < 3; ++i) {
        // The direction that reaches view depth 1 through this pixel.
        const double d = f[i] + ndcX * tx * r[i] + ndcY * ty * u[i];
        start[i] = p[i] + nearPlane * d;
        second[i] = p[i] + farPlane * d;
    }
}

bool Camera::worldToWindow(const double point[3], double *wx, double *wy, double *depth) const {
    const Vec3 p = eye();
    const Vec3 v{point[0] - p[0], point[1] - p[1], point[2] - p[2]};
    const double z = dot(v, forward());
    if (!(z > 0.0))
        return false;
    double tx, ty;
    frustumSlopes(*this, tx, ty);
    const double ndcX = dot(v, right()) / (z * tx);
    const double ndcY = dot(v, up()) / (z * ty);
    if (wx)
        *wx = 0.5 * (ndcX + 1.0) * width;
    if (wy)
        *wy = 0.5 * (1.0 - ndcY) * height;
    if (depth) {
        const Matrix4 m = projectionMatrix();
        const double ndcZ = (m[10] * -z + m[14]) / z;
        *depth = 0.5 * (ndcZ + 1.0);
    }
    return true;
}

bool pickGround(const Camera &camera, double groundZ, double wx, double wy, double out[3]) {
    double start[3], second[3];
    camera.windowToRay(wx, wy, start, second);
    const double dz = second[2] - start[2];
    const double t = dz != 0.0 ? (groundZ - start[2]) / dz : -1.0;
    if (!(t >= 0.0)) {
        out[0] = second[0];
        out[1] = second[1];
        out[2] = groundZ;
        return false;
    }
    for (int i = 0; i < 3; ++i)
        out[i] = start[i] + t * (second[i] - start[i]);
    out[2] = groundZ; // exact, whatever the rounding of the line above
    return true;
}

bool rayHitsBox(const double start[3], const double second[3], const double cornerA[3],
                const double cornerB[3], double hit[3]) {
    double tNear = 0.0; // the ray begins at its start
    double tFar = INFINITY;
    for (int i = 0; i < 3; ++i) {
        const double lo = std::min(cornerA[i], cornerB[i]);
        const double hi = std::max(cornerA[i], cornerB[i]);
        const double d = second[i] - start[i];
        // A box or ray with a NaN in it meets nothing (the comparisons
        // below would let it meet everything at the ray's start).
        if (!(lo <= hi) || std::isnan(start[i]) || std::isnan(d))
            return false;
        if (d == 0.0) {
            if (start[i] < lo || start[i] > hi)
                return false;
            continue;
        }
        double t1 = (lo - start[i]) / d, t2 = (hi - start[i]) / d;
        if (t1 > t2)
            std::swap(t1, t2);
        tNear = std::max(tNear, t1);
        tFar = std::min(tFar, t2);
        if (tNear > tFar)
            return false;
    }
    for (int i = 0; i < 3; ++i)
        hit[i] = start[i] + tNear * (second[i] - start[i]);
    return true;
}

} // namespace host
