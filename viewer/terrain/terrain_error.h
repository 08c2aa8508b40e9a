// terrain_error.h — a terrain that cannot be made: the message names the
// file and the reason ("dem.tif: not a raster GDAL can read (...)").
#ifndef CLOUDS_VIEWER_TERRAIN_TERRAIN_ERROR_H
#define CLOUDS_VIEWER_TERRAIN_TERRAIN_ERROR_H

#include <stdexcept>

namespace terrain {

struct TerrainError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace terrain

#endif
