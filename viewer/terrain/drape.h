// drape.h — an image laid over the model: warped with GDAL onto the
// model's footprint and coordinate system, as 8-bit RGB.
//
// - Colours as drape_colours.h makes them: bands 1, 2, 3 (or 1 as grey, a
//   palette expanded), values other than 8-bit stretched over the whole
//   image's range.
// - An image without georeferencing is taken to cover the footprint
//   exactly (with a warning); one that does not overlap the model is left
//   out with a warning, and the ground is shaded instead.
// - Size: four texels a model sample, at most kMaxDrapeSide a side.
#ifndef CLOUDS_VIEWER_TERRAIN_DRAPE_H
#define CLOUDS_VIEWER_TERRAIN_DRAPE_H

#include <cstdint>
#include <string>
#include <vector>

#include "terrain/gdal_util.h"
#include "terrain/height_model.h"

namespace terrain {

struct DrapeImage {
    int width = 0, height = 0;  // 0 when there is none
    std::vector<uint8_t> rgb;   // row 0 the footprint's north edge
    bool empty() const { return width == 0; }
};

// The image opened for draping: throws TerrainError when GDAL cannot read
// it or it has no band; one without georeferencing adds its warning.
Dataset openDrapeImage(const std::string &file, std::vector<std::string> &warnings);

// Throws TerrainError when GDAL cannot read the file; warnings as above.
DrapeImage readDrape(const std::string &file, const HeightModel &model,
                     std::vector<std::string> &warnings);

}  // namespace terrain

#endif
