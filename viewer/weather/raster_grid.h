// raster_grid.h — the grid a field lies on, as a listing shows it and as
// the later warp needs it: size, GDAL geotransform, coordinate system, and
// the extent in longitude/latitude.
#ifndef CLOUDS_VIEWER_WEATHER_RASTER_GRID_H
#define CLOUDS_VIEWER_WEATHER_RASTER_GRID_H

#include <gdal.h>

#include <string>

namespace weather {

struct RasterGrid {
    int width = 0;
    int height = 0;
    double transform[6] = {0, 1, 0, 0, 0, -1};  // GDAL's: x0, dx, 0, y0, 0, dy
    std::string wkt;                            // "" when the file names none
    std::string crsName;                        // "WGS 84", "unknown"
    bool geographic = false;                    // cells in degrees
    bool crsAssumed = false;                    // lon/lat axes without a named system
    std::string cellUnits = "units";            // "degrees", "metre", ...
    // Outer edges of the cells in degrees; west may exceed 180 where the
    // file counts longitudes 0..360. Valid when hasExtent.
    bool hasExtent = false;
    double west = 0, south = 0, east = 0, north = 0;
};

// The grid of an open raster. A grid without a coordinate system whose
// axes are degrees of longitude and latitude (NetCDF's lon/lat coordinate
// variables) is taken as WGS 84, and says so.
RasterGrid describeGrid(GDALDatasetH dataset, bool lonLatAxes);

}  // namespace weather

#endif
