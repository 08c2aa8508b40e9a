#include "weather/open_weather.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include "weather/cloud_fields.h"

namespace weather {

namespace {

// GDAL shifts a GRIB grid that spans 0..360 to -180..180 by default; the
// file's own longitudes are kept here, and rewrapping is left to the step
// that cuts a region. Set for this thread only, while the file opens.
class KeepGribLongitudes {
public:
    KeepGribLongitudes()
    {
        const char *old = CPLGetThreadLocalConfigOption("GRIB_ADJUST_LONGITUDE_RANGE", nullptr);
        had_ = old != nullptr;
        old_ = old ? old : "";
        CPLSetThreadLocalConfigOption("GRIB_ADJUST_LONGITUDE_RANGE", "NO");
    }
    ~KeepGribLongitudes()
    {
        CPLSetThreadLocalConfigOption("GRIB_ADJUST_LONGITUDE_RANGE", had_ ? old_.c_str() : nullptr);
    }
    KeepGribLongitudes(const KeepGribLongitudes &) = delete;
    KeepGribLongitudes &operator=(const KeepGribLongitudes &) = delete;

private:
    bool had_ = false;
    std::string old_;
};

}  // namespace

terrain::Dataset openWeatherSource(const std::string &source)
{
    terrain::registerGdal();
    KeepGribLongitudes keep;
    return terrain::Dataset(terrain::openRasterFile(source));
}

terrain::Dataset openWeatherFile(const std::string &file)
{
    terrain::registerGdal();
    if (!terrain::localRasterExists(file))
        throw WeatherError(file + ": no such file");
    terrain::Dataset dataset = openWeatherSource(file);
    if (!dataset) {
        // GDAL leaves no message when no driver knows the file at all.
        const char *reason = CPLGetLastErrorMsg();
        throw WeatherError(file + ": cannot read it: " +
                           (reason && *reason ? std::string(reason)
                                              : std::string("not a raster format GDAL reads")));
    }
    return dataset;
}

}  // namespace weather
