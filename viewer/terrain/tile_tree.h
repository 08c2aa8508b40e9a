// tile_tree.h — the quadtree of tiles over a height model, the choice of
// tiles for a view, and rays against the model's surface.
//
// A tile of level L takes every 2^L-th sample (the in-memory pyramid: the
// nearest-neighbour overview GDAL would build) over 64 × 2^L cells, so a
// tile always has at most 65 × 65 samples; level 0 holds the model's own
// samples and the single root covers the whole model. A tile's last row and
// column are the model's edge when it reaches it, so every level meets the
// edge exactly.
//
// Each tile knows its lowest and highest height and its geometric error:
// how far (scene units, vertically) its surface may lie from the model's.
// The error is built from the leaves up: a parent's is its own largest
// deviation from its children's samples plus the largest of theirs.
//
// Holes: a tile leaves out a cell of its own with a no-data corner, which
// at a coarse level is a hole the wrong size (much larger, or none at all
// where the no-data sample falls between its samples). A tile whose holes
// are not the model's own is refined until the coarse cell it would
// misdraw is under a pixel, so holes keep their size at every distance.
//
// Skirts: where a tile meets a neighbour of another level the two edges
// differ by at most the sum of their deviations from the model's own edge
// there. A tile's skirt on a side hangs its own edge's deviation plus the
// largest deviation of any tile that can be drawn across that side (the
// neighbour of its level, the neighbour's descendants along the side and
// its ancestors short of the one the two share), so whichever edge is
// higher covers the gap down to the lower one whatever the levels.
//
// The surface between samples is two triangles a cell, split along the
// diagonal from (column, row) to (column + 1, row + 1); drawing, rays and
// heightAt all use that split. A cell with a no-data corner is a hole.
#ifndef CLOUDS_VIEWER_TERRAIN_TILE_TREE_H
#define CLOUDS_VIEWER_TERRAIN_TILE_TREE_H

#include <cstdint>
#include <vector>

#include "terrain/height_model.h"
#include "terrain/terrain_settings.h"
#include "terrain/tile_geometry.h"
#include "tolatoollib/camera.h"

namespace terrain {

struct TileKey {
    int level = 0, ix = 0, iy = 0;
    bool operator<(const TileKey &o) const
    {
        return level != o.level ? level < o.level : iy != o.iy ? iy < o.iy : ix < o.ix;
    }
    bool operator==(const TileKey &o) const { return level == o.level && ix == o.ix && iy == o.iy; }
};

// A tile's place in the model: its sample columns and rows (the stride
// pattern of its level, ending on the tile's last sample) and its box.
struct TileSpan {
    std::vector<int> columns, rows;
    float low = 0, high = 0;  // heights; NaN when the tile holds no data
    float error = 0;          // geometric error, scene units
    // Skirt depth (scene units) below the first row, the last row, the
    // first column and the last column.
    float skirt[4] = {0, 0, 0, 0};
};

// A tile's sides, in the order of TileSpan::skirt.
enum TileSide { kFirstRow = 0, kLastRow = 1, kFirstColumn = 2, kLastColumn = 3 };

class TileTree {
public:
    // heights: scene z (already exaggerated). The model must outlive the tree.
    explicit TileTree(const HeightModel &model);

    int levels() const { return int(levels_.size()); }
    TileSpan span(const TileKey &key) const;
    // The tiles that draw the model for this camera: refined until a tile's
    // error projects to at most pixelError pixels, those wholly outside the
    // view or without data left out.
    std::vector<TileKey> select(const host::Camera &camera, double pixelError) const;
    // The first meeting t >= 0 of start + t (second - start) with the
    // model's full-resolution surface.
    bool intersect(const double start[3], const double second[3], double *t) const;
    // The surface's z at a scene position; NaN off the model or in a hole.
    double heightAt(double x, double y) const;
    size_t memoryBytes() const;

private:
    struct Level {
        int stride = 1, tilesX = 0, tilesY = 0;
        std::vector<float> low, high, error;  // per tile, row-major
        // Four per tile, by TileSide: the largest deviation of the tile's
        // edge from the model's own samples on it, and the largest of that
        // over the tile and its descendants along the side.
        std::vector<float> edge, edgeBelow;
        // Per tile: whether its holes differ from the model's own.
        std::vector<char> misdrawsHoles;
    };
    int first(int index, const Level &level) const { return index * kCellsPerTile * level.stride; }
    std::vector<int> samples(int from, int to, int stride) const;
    void measureEdges(int L);
    void compareHoles();
    float skirtDepth(const TileKey &key, int side) const;
    void box(const TileKey &key, double lo[3], double hi[3]) const;
    void refine(const TileKey &key, const host::Camera &camera, const Frustum &frustum,
                double pixelError, std::vector<TileKey> &out) const;
    bool intersectTile(const TileKey &key, const double start[3], const double dir[3], double *t) const;
    bool intersectCells(const TileKey &key, const double start[3], const double dir[3], double tIn,
                        double tOut, double *t) const;

    static constexpr int kCellsPerTile = kTileCells;
    const HeightModel &model_;
    std::vector<Level> levels_;  // levels_[L]: level L, 0 the finest
    bool edgesMeasured_ = false;
};

}  // namespace terrain

#endif
