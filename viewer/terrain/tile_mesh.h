// tile_mesh.h — one tile's triangles: its samples as vertices relative to
// the tile's own origin (its first sample, z 0) so that 32-bit floats keep
// centimetres at UTM northings, a colour per vertex, texture coordinates
// into the drape when there is one, and a skirt hanging from each edge so
// that a coarser neighbour never shows a crack. Cells with a no-data
// corner are left out, and skirts stop at them.
#ifndef CLOUDS_VIEWER_TERRAIN_TILE_MESH_H
#define CLOUDS_VIEWER_TERRAIN_TILE_MESH_H

#include <cstdint>
#include <vector>

#include "terrain/height_model.h"
#include "terrain/tile_tree.h"

namespace terrain {

struct TileMesh {
    double origin[3] = {0, 0, 0};  // scene position of vertex (0, 0, 0)
    std::vector<float> positions;  // x, y, z per vertex
    std::vector<float> colours;    // r, g, b per vertex
    std::vector<float> texCoords;  // s, t per vertex; empty without a drape
    std::vector<uint32_t> indices; // triangles
    size_t bytes() const
    {
        return (positions.size() + colours.size() + texCoords.size()) * sizeof(float) +
               indices.size() * sizeof(uint32_t);
    }
};

// A tile's heights (scene z, NaN for no data) at its span's columns and
// rows with one more of each on every side, a stride out (the edge sample
// again at the model's edge): the neighbours its normals need.
struct TileSamples {
    std::vector<int> columns, rows;  // the span's, with the border first and last
    std::vector<float> z;            // row by row
    // The drape over the tile's own extent (first to last sample), RGB,
    // row 0 north; empty without one.
    int drapeWidth = 0, drapeHeight = 0;
    std::vector<uint8_t> drape;
    // i, j: 0 the span's first column, row; -1 and size() the border.
    float at(int i, int j) const { return z[size_t(j + 1) * columns.size() + size_t(i + 1)]; }
    size_t bytes() const
    {
        return z.size() * sizeof(float) + (columns.size() + rows.size()) * sizeof(int) + drape.size();
    }
};

// The span's samples with the border, a stride out, kept on the model.
std::vector<int> withBorder(const std::vector<int> &samples, int stride, int size);
// A span's samples from a model in memory.
TileSamples residentSamples(const HeightModel &model, const TileSpan &span);

// The drape's texels for a tile: four a cell each way.
constexpr int kDrapeTexelsPerCell = 4;

// model: the grid (its heights are not read) and the tint's range, scene
// z. draped: texture coordinates over the tile's own extent, from its
// first sample to its last (s east, t south from the north edge), and a
// hillshade grey; otherwise the tint.
TileMesh buildTileMesh(const HeightModel &model, const TileSpan &span, const TileSamples &samples, bool draped);

}  // namespace terrain

#endif
