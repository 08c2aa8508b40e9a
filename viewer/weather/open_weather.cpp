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

// The file a field's source lies in: a NetCDF variable's name is
// NETCDF:"file":var, which is no path on disk; any other source is a file.
std::string sourceFile(const std::string &source)
{
    const std::string prefix = "NETCDF:\"";
    const std::size_t end = source.rfind("\":");
    if (source.compare(0, prefix.size(), prefix) != 0 || end == std::string::npos ||
        end < prefix.size())
        return source;
    return source.substr(prefix.size(), end - prefix.size());
}

}  // namespace

terrain::Dataset openWeatherSource(const std::string &source)
{
    terrain::registerGdal();
    KeepGribLongitudes keep;
    const std::string file = sourceFile(source);
    if (file == source)
        return terrain::Dataset(terrain::openRasterFile(source));
    // The variable's file must lie on this machine, as any other source's.
    return terrain::Dataset(terrain::localRasterExists(file)
                                ? GDALOpenEx(source.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                             nullptr, nullptr, nullptr)
                                : nullptr);
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
