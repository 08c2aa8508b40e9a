// layer_heights.h — how high a cloud field's clouds lie: the base and top
// a forecast gives for its cloud layers, cell by cell, or else the heights
// the WMO gives each étage of cloud at a latitude. Heights are metres above
// mean sea level.
#ifndef CLOUDS_VIEWER_WEATHER_LAYER_HEIGHTS_H
#define CLOUDS_VIEWER_WEATHER_LAYER_HEIGHTS_H

#include <string>
#include <vector>

#include "weather/cloud_fields.h"
#include "weather/pressure_heights.h"

namespace weather {

struct HeightRange {
    double base = 0, top = 0;
};

// The étage of a cloud level at a latitude (degrees), for a file that gives
// no base and top. Low cloud reaches down to 300 m everywhere (the caller
// lifts it onto the ground); middle and high cloud lie higher towards the
// equator, in three bands: polar (|latitude| >= 66.5), temperate, tropical
// (|latitude| <= 23.5). A level of unknown height is taken as middle.
HeightRange etageHeights(CloudLevel level, double latitude);

// One line on the étage of a level: "WMO étage defaults (low 300-2000 m)",
// with the three bands where the latitude matters.
std::string etageText(CloudLevel level);

struct LayerHeights {
    bool fromFile = false;  // false: the caller uses etageHeights, base and top stay empty
    std::string how;        // one line for the user on where the heights come from
    // On the contents' grid (row-major, width x height); NaN where the file
    // gives none for that cell (a GFS file gives none where there is no cloud).
    std::vector<float> base, top;
};

// The base and top of a field's clouds where its file gives them: a GRIB
// file's PRES (Pa) or HGT (gpm, taken as metres) at the field's cloud base
// and top levels, at the field's valid time. Pressures become heights through
// the file's geopotential heights on pressure levels, cell by cell, or
// through the ICAO atmosphere when it has fewer than two levels. Throws
// WeatherError naming the file when GDAL cannot read it.
LayerHeights readLayerHeights(const WeatherContents &contents, const CloudField &field);

}  // namespace weather

#endif
