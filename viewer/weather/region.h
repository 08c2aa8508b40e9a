// region.h — the longitude/latitude box a user asks clouds for, and how
// it meets the data's extent: longitudes counted 0..360 or -180..180 on
// either side, and boxes across the date line.
#ifndef CLOUDS_VIEWER_WEATHER_REGION_H
#define CLOUDS_VIEWER_WEATHER_REGION_H

#include <optional>
#include <string>

#include "weather/raster_grid.h"

namespace weather {

// Degrees. east > west always; east - west at most 360. A box across the
// date line given as 170,-10,-170,10 holds west 170, east 190.
struct Region {
    double west = 0, south = 0, east = 0, north = 0;
};

// "W,S,E,N" in degrees; throws WeatherError saying what is wrong.
Region parseRegion(const std::string &text);

// "-30,30,40,70".
std::string regionText(const Region &region);

// The data's own extent as a region (west may lie past 180).
Region dataRegion(const RasterGrid &grid);

// The part of the data's extent a region covers, in the region's own
// longitudes; nothing when they do not meet.
std::optional<Region> overlap(const Region &region, const RasterGrid &grid);

// Whether the grid spans every longitude (a global field).
bool spansAllLongitudes(const RasterGrid &grid);

}  // namespace weather

#endif
