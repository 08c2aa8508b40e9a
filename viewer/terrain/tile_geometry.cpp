#include "terrain/tile_geometry.h"

#include <algorithm>
#include <cmath>

#include "terrain/terrain_settings.h"

namespace terrain {

std::vector<LevelGrid> levelGrids(int width, int height)
{
    std::vector<LevelGrid> out;
    const int cellsX = width - 1, cellsY = height - 1;
    for (int stride = 1;; stride *= 2) {
        const int span = kTileCells * stride;
        out.push_back({stride, (cellsX + span - 1) / span, (cellsY + span - 1) / span});
        if (out.back().tilesX <= 1 && out.back().tilesY <= 1)
            return out;
    }
}

double cellHeight(double h00, double h10, double h01, double h11, double u, double v)
{
    if (u >= v)
        return h00 + u * (h10 - h00) + v * (h11 - h10);
    return h00 + u * (h11 - h01) + v * (h01 - h00);
}

bool rayBox(const double start[3], const double dir[3], const double lo[3], const double hi[3], double *tIn,
            double *tOut)
{
    double a = 0.0, b = INFINITY;
    for (int i = 0; i < 3; ++i) {
        if (dir[i] == 0.0) {
            if (start[i] < lo[i] || start[i] > hi[i])
                return false;
            continue;
        }
        double t1 = (lo[i] - start[i]) / dir[i], t2 = (hi[i] - start[i]) / dir[i];
        if (t1 > t2)
            std::swap(t1, t2);
        a = std::max(a, t1);
        b = std::min(b, t2);
        if (a > b)
            return false;
    }
    *tIn = a;
    *tOut = b;
    return true;
}

bool rayTriangle(const double o[3], const double d[3], const double p0[3], const double p1[3], const double p2[3],
                 double *t)
{
    const double e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const double e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    const double p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2], d[0] * e2[1] - d[1] * e2[0]};
    const double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
    if (det == 0.0)
        return false;
    const double inv = 1.0 / det;
    const double s[3] = {o[0] - p0[0], o[1] - p0[1], o[2] - p0[2]};
    const double u = (s[0] * p[0] + s[1] * p[1] + s[2] * p[2]) * inv;
    if (u < -1e-9 || u > 1.0 + 1e-9)
        return false;
    const double q[3] = {s[1] * e1[2] - s[2] * e1[1], s[2] * e1[0] - s[0] * e1[2], s[0] * e1[1] - s[1] * e1[0]};
    const double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) * inv;
    if (v < -1e-9 || u + v > 1.0 + 1e-9)
        return false;
    const double hit = (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) * inv;
    if (!(hit >= 0.0))
        return false;
    *t = hit;
    return true;
}

void rayCell(const double start[3], const double dir[3], double x0, double y0, double x1, double y1, double h00,
             double h10, double h01, double h11, double *best)
{
    if (std::isnan(h00) || std::isnan(h10) || std::isnan(h01) || std::isnan(h11))
        return;
    const double p00[3] = {x0, y0, h00}, p10[3] = {x1, y0, h10}, p01[3] = {x0, y1, h01}, p11[3] = {x1, y1, h11};
    double hit;
    if (rayTriangle(start, dir, p00, p10, p11, &hit) && hit < *best)
        *best = hit;
    if (rayTriangle(start, dir, p00, p11, p01, &hit) && hit < *best)
        *best = hit;
}

Frustum::Frustum(const host::Camera &camera)
{
    // The planes of the combined matrix, in scene coordinates.
    const host::Matrix4 p = camera.projectionMatrix(), v = camera.viewMatrix();
    double m[16];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += p[size_t(4 * k + r)] * v[size_t(4 * c + k)];
            m[4 * c + r] = sum;
        }
    for (int i = 0; i < 3; ++i)
        for (int sign = 0; sign < 2; ++sign) {
            double *plane = planes[2 * i + sign];
            for (int c = 0; c < 4; ++c)
                plane[c] = m[4 * c + 3] + (sign ? -1.0 : 1.0) * m[4 * c + i];
        }
}

bool Frustum::outside(const double lo[3], const double hi[3]) const
{
    for (const double *plane : planes) {
        // The box corner furthest along the plane's normal.
        const double x = plane[0] >= 0 ? hi[0] : lo[0];
        const double y = plane[1] >= 0 ? hi[1] : lo[1];
        const double z = plane[2] >= 0 ? hi[2] : lo[2];
        if (plane[0] * x + plane[1] * y + plane[2] * z + plane[3] < 0.0)
            return true;
    }
    return false;
}

double distanceToBox(const host::Camera &camera, const double lo[3], const double hi[3])
{
    const host::Vec3 eye = camera.eye();
    double d2 = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double e = eye[size_t(i)];
        const double d = e < lo[i] ? lo[i] - e : e > hi[i] ? e - hi[i] : 0.0;
        d2 += d * d;
    }
    return std::sqrt(d2);
}

double pixelsAt(const host::Camera &camera, double length, double distance)
{
    if (distance > 0.0)
        return length * camera.height / (2.0 * distance * std::tan(camera.fovY * M_PI / 360.0));
    return length > 0.0 ? INFINITY : 0.0;
}

}  // namespace terrain
