// source_fields.h — the readers of one kind of file each, behind
// findCloudFields: each fills the fields it finds and names the rest.
#ifndef CLOUDS_VIEWER_WEATHER_SOURCE_FIELDS_H
#define CLOUDS_VIEWER_WEATHER_SOURCE_FIELDS_H

#include <gdal.h>

#include "weather/cloud_fields.h"

namespace weather {

// GRIB 1/2: TCDC bands, their level from GRIB_SHORT_NAME.
void readGribFields(GDALDatasetH dataset, WeatherContents &contents);

// CF NetCDF: the file's variables (subdatasets), or its one variable.
void readNetcdfFields(GDALDatasetH dataset, WeatherContents &contents);

// Any other raster of one band: a cover field or a mask.
void readSingleBandField(GDALDatasetH dataset, WeatherContents &contents);

}  // namespace weather

#endif
