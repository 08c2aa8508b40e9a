// terrain_settings.h — what a scene says about its ground, and the
// drawing constants of the terrain.
//
// Typical values: a model of a few hundred to a few thousand samples a
// side, exaggeration 1 (heights as they are) to 10 for flat land.
#ifndef CLOUDS_VIEWER_TERRAIN_TERRAIN_SETTINGS_H
#define CLOUDS_VIEWER_TERRAIN_TERRAIN_SETTINGS_H

#include <cstddef>
#include <string>

namespace terrain {

struct TerrainSettings {
    std::string model;          // "": no terrain; the elevation model's file
    std::string drape;          // "": shaded from the relief; an image draped over it
    double exaggeration = 1.0;  // scene z = height in metres times this, in range below
    size_t memoryMiB = 1024;    // what the ground may hold: heights, meshes, drape, GDAL's cache
};

// The exaggerations a ground takes. Below a hundredth the relief is lost in
// the flat land; beyond a hundred times even a low model stands tens of
// kilometres high and a mountain's heights leave any useful clip range.
constexpr double kMinExaggeration = 0.01;
constexpr double kMaxExaggeration = 100.0;
inline bool exaggerationInRange(double k) { return k >= kMinExaggeration && k <= kMaxExaggeration; }

// Samples along a tile's side (64 cells).
constexpr int kTileSamples = 65;
constexpr int kTileCells = kTileSamples - 1;
// Screen-space error, pixels, a tile may show: when the view is still and
// while the camera moves.
constexpr double kStillPixelError = 2.0;
constexpr double kMovingPixelError = 8.0;
// The memory budgets a ground takes, MiB: below 64 a view's own tiles no
// longer fit; the default suits a desktop of 8 GiB or more.
constexpr size_t kMinMemoryMiB = 64;
constexpr size_t kMaxMemoryMiB = 1024 * 1024;
constexpr size_t kDefaultMemoryMiB = 1024;
// Models of at most this many samples (and an eighth of the budget) are
// read whole: their holes, skirts and errors come from every sample.
// Larger ones are read a tile at a time from their overviews.
constexpr double kResidentSamples = 4096.0 * 4096.0;
// Tiles a window takes from its loader a frame, so that frames stay short
// while tiles stream in.
constexpr size_t kTilesPerFrame = 4;
// The largest drape texture side, texels.
constexpr int kMaxDrapeSide = 4096;

}  // namespace terrain

#endif
