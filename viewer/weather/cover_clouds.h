// cover_clouds.h — from cloud cover on the scene's grid to the clouds of a
// cloud layer: one cloud a cell whose cover reaches the threshold, its box
// over the cell between the layer's base and top, its look from the cloud
// level and the cover. The text is the layer type's own file format, so
// the layers open, edit and save as any other.
#ifndef CLOUDS_VIEWER_WEATHER_COVER_CLOUDS_H
#define CLOUDS_VIEWER_WEATHER_COVER_CLOUDS_H

#include <string>
#include <vector>

#include "weather/cloud_fields.h"

namespace weather {

// One cloud as the layer file stores it. The float fields are the ones the
// layer type holds as 32-bit floats.
struct CloudRecord {
    float density = 0.3f, cluster = 0.52f, detail = 1.0f, zoom = 41.0f, height = 0.35f;
    int layers = 10, panx = 0, pany = 0, texsize = 32, symmetric = 1;
    double x = 0, y = 0, z = 0, xsize = 0, ysize = 0, zsize = 0;
    int xslice = 50, yslice = 50, zslice = 20;
    float red = 1.0f, green = 1.0f, blue = 1.0f;
    double seed = 678269;
    float bottomscale = 1.0f;
};

// How a cloud level looks: the noise and colour of its clouds, and how
// cluster grows with cover (scattered separate clouds at the threshold,
// a sheet that fills the box at full cover).
struct LevelLook {
    float density, height, detail, zoom;
    float clusterScattered, clusterOvercast;
    float red, green, blue;
    int layers, texsize, xslice, yslice, zslice;
};
LevelLook levelLook(CloudLevel level);

// A cloud's box is this much wider than its cell, so that neighbours merge.
constexpr double kCellOverlap = 1.8;
// No cloud is drawn thinner than this (metres), whatever its base and top.
constexpr double kThinnest = 150.0;

struct CellCloud {
    double x = 0, y = 0;        // the cell's centre, scene units
    double spacing = 0;         // the cell's size
    double base = 0, top = 0;   // metres above mean sea level
    float cover = 0;            // percent
};

// The cloud of one cell; exaggeration multiplies its heights as the ground's.
CloudRecord cellCloud(CloudLevel level, const CellCloud &cell, double exaggeration);

// The seed of the cell at (x, y) of a level: the same cell and level give
// the same seed, whole and below 10,000,000 (exact as a 32-bit float).
double cellSeed(CloudLevel level, double x, double y);

// The layer file: magic, count, then six lines a cloud.
std::string layerText(const std::vector<CloudRecord> &clouds);

}  // namespace weather

#endif
