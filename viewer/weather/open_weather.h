// open_weather.h — how every weather reader opens a file: on disk only,
// GRIB grids kept in the file's own longitudes, so that every reader of
// one file sees the same grid.
#ifndef CLOUDS_VIEWER_WEATHER_OPEN_WEATHER_H
#define CLOUDS_VIEWER_WEATHER_OPEN_WEATHER_H

#include <string>

#include "terrain/gdal_util.h"

namespace weather {

// The file opened read-only. Throws WeatherError naming the file when there
// is none by that name or GDAL cannot read it (GDAL's reason). Call it while
// a terrain::QuietGdal lives, so GDAL's own messages stay off stderr.
terrain::Dataset openWeatherFile(const std::string &file);

// A field's source as GDAL names it (the file, or NETCDF:"file":var),
// opened the same way; null when GDAL cannot.
terrain::Dataset openWeatherSource(const std::string &source);

}  // namespace weather

#endif
