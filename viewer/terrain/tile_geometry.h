// tile_geometry.h — the geometry both ground trees share: the surface
// between samples, rays against boxes and triangles, the view's frustum
// and how large a length looks on screen.
#ifndef CLOUDS_VIEWER_TERRAIN_TILE_GEOMETRY_H
#define CLOUDS_VIEWER_TERRAIN_TILE_GEOMETRY_H

#include <vector>

#include "tolatoollib/camera.h"

namespace terrain {

// A level of the tile quadtree over a model: every stride-th sample, in
// tiles of kTileCells × stride cells. Level 0 the model's own samples;
// the last level a single tile over the whole model.
struct LevelGrid {
    int stride = 1, tilesX = 0, tilesY = 0;
};
std::vector<LevelGrid> levelGrids(int width, int height);

// Triangle-split interpolation in a cell with corners h00 (column, row),
// h10 (column + 1), h01 (row + 1), h11 at fractions u, v in 0..1: the
// diagonal runs from (column, row) to (column + 1, row + 1).
double cellHeight(double h00, double h10, double h01, double h11, double u, double v);

// Slab test of the ray start + t dir against a box: the range of t >= 0
// inside it.
bool rayBox(const double start[3], const double dir[3], const double lo[3], const double hi[3], double *tIn,
            double *tOut);
// Moller-Trumbore; t along dir from start, t >= 0.
bool rayTriangle(const double o[3], const double d[3], const double p0[3], const double p1[3], const double p2[3],
                 double *t);

// The nearer meeting of a ray with a cell's two triangles (corners at x0
// or x1, y0 or y1, heights h00 at (x0, y0), h10 at (x1, y0), ...), split
// as cellHeight splits it; a cell with a NaN corner is a hole. Lowers
// *best when the meeting is nearer.
void rayCell(const double start[3], const double dir[3], double x0, double y0, double x1, double y1, double h00,
             double h10, double h01, double h11, double *best);

// The six planes (a x + b y + c z + d >= 0 inside) of a camera's view.
struct Frustum {
    double planes[6][4];
    explicit Frustum(const host::Camera &camera);
    bool outside(const double lo[3], const double hi[3]) const;
};

// The eye's distance to a box, 0 inside it.
double distanceToBox(const host::Camera &camera, const double lo[3], const double hi[3]);
// Pixels a length across the view takes at a distance; infinite at 0
// for a positive length.
double pixelsAt(const host::Camera &camera, double length, double distance);

}  // namespace terrain

#endif
