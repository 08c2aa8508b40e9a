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

// draped: texture coordinates over the model's footprint (s east, t
// south from the north edge) and a hillshade grey; otherwise the tint.
TileMesh buildTileMesh(const HeightModel &model, const TileSpan &span, bool draped);

}  // namespace terrain

#endif
