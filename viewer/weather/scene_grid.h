// scene_grid.h — the grid clouds stand on: square cells in the scene's
// coordinate system (the terrain's, or the UTM zone of the region's
// centre), and the fields of a weather file warped onto it with GDAL.
#ifndef CLOUDS_VIEWER_WEATHER_SCENE_GRID_H
#define CLOUDS_VIEWER_WEATHER_SCENE_GRID_H

#include <string>
#include <vector>

#include "weather/raster_grid.h"
#include "weather/region.h"

namespace weather {

struct Bounds {
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
};

struct SceneGrid {
    std::string wkt;
    double west = 0, north = 0;  // outer edges, scene units
    double spacing = 1;
    int width = 0, height = 0;
    double cellX(int column) const { return west + (column + 0.5) * spacing; }
    double cellY(int row) const { return north - (row + 0.5) * spacing; }
};

// The WGS 84 UTM zone of a point, as WKT.
std::string utmFrameWkt(double lon, double lat);

// The region's footprint in a coordinate system (densified edges).
Bounds regionBounds(const Region &region, const std::string &wkt);

// A footprint in a coordinate system as a longitude/latitude box.
Region boundsRegion(const Bounds &bounds, const std::string &wkt);

// The size (metres) of a field's cell at a latitude: the square with the
// cell's area, for cells in degrees as for projected ones.
double cellSizeMetres(const RasterGrid &grid, double latitude);

// Cells of that spacing over the bounds, centred on them.
SceneGrid sceneGrid(const Bounds &bounds, double spacing, const std::string &wkt);

// A field (values on grid, row-major, NaN where it has none) warped onto
// the scene's grid: averaged where the scene's cells are coarser than the
// field's, bilinear where they are finer. A field in degrees is first cut
// to the region with its longitudes rewrapped, so fields counted 0..360
// and regions across the date line read alike.
std::vector<float> warpField(const std::vector<float> &values, const RasterGrid &grid,
                             const Region &region, const SceneGrid &scene);

// The latitude of every cell's centre (row-major), NaN for a cell whose
// centre lies outside the region (a corner of the region's box in the
// scene's frame).
std::vector<double> cellLatitudes(const SceneGrid &grid, const Region &region);

// The highest ground of an elevation model in each cell of the scene's
// grid (metres, NaN where it has none).
std::vector<float> groundHighest(const std::string &model, const SceneGrid &scene);

}  // namespace weather

#endif
