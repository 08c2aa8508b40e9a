// cloud_fields.h — what a weather file holds of cloud cover: the fields
// (one per cloud level and valid time), the grid they lie on, and the
// names of everything else in the file, for a listing and for the steps
// that turn cover into cloud layers.
//
// Reads GRIB 1/2 (TCDC bands), CF NetCDF (cloud_area_fraction variables or
// ERA5's tcc/lcc/mcc/hcc) and any one-band raster (a cover field or a cloud
// mask). Files on disk only. A GFS 2.5° file: 144 x 73 cells, six levels.
#ifndef CLOUDS_VIEWER_WEATHER_CLOUD_FIELDS_H
#define CLOUDS_VIEWER_WEATHER_CLOUD_FIELDS_H

#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "weather/cover_units.h"
#include "weather/raster_grid.h"

namespace weather {

// A file that holds no cloud cover, cannot be read, or whose cover cannot
// be understood; the message names the file.
class WeatherError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class CloudLevel { Low, Middle, High, Boundary, Convective, Total, Layer };

// "low", "middle", "high", "boundary", "convective", "total", "layer".
const char *levelName(CloudLevel level);

struct CloudField {
    CloudLevel level = CloudLevel::Total;
    std::string source;         // the dataset to open: the file, or NETCDF:"file":var
    int band = 1;               // GDAL's band in source, from 1
    std::string name;           // the file's own name for it: "TCDC 0-LCY", "tcc"
    bool hasTime = false;       // a single GeoTIFF usually says no time
    std::time_t validTime = 0;  // UTC
    CoverUnits units = CoverUnits::Percent;
    double scale = 1;           // value = raw * scale + offset, in units
    double offset = 0;
};

struct WeatherContents {
    std::string file;
    std::string format;                 // GDAL's driver: "GRIB", "netCDF", "GTiff"
    std::vector<CloudField> fields;     // in the file's order
    RasterGrid grid;                    // of the cloud fields
    std::vector<std::string> others;    // everything else, short: "HGT (27 bands)"
};

// The cloud cover in a file on disk; throws WeatherError when there is none
// ("dem.tif: no cloud cover in it; it holds: ..."), when GDAL cannot read
// the file (its reason), or when a field's units cannot be told.
WeatherContents findCloudFields(const std::string &file);

// A field's values in percent, on its grid (row-major), NaN where the file
// has none. Throws WeatherError naming the file when it cannot be read.
std::vector<float> readCoverPercent(const CloudField &field, const RasterGrid &grid);

}  // namespace weather

#endif
