#include "weather/cloud_fields.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "terrain/gdal_util.h"
#include "weather/source_fields.h"

namespace weather {

const char *levelName(CloudLevel level)
{
    switch (level) {
    case CloudLevel::Low: return "low";
    case CloudLevel::Middle: return "middle";
    case CloudLevel::High: return "high";
    case CloudLevel::Boundary: return "boundary";
    case CloudLevel::Convective: return "convective";
    case CloudLevel::Total: return "total";
    case CloudLevel::Layer: return "layer";
    }
    return "layer";
}

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

std::string join(const std::vector<std::string> &items)
{
    // A full GFS file holds some 60 quantities: the first few say enough.
    const std::size_t shown = 12;
    std::string s;
    for (std::size_t i = 0; i < items.size() && i < shown; ++i)
        s += (s.empty() ? "" : ", ") + items[i];
    if (items.size() > shown)
        s += " and " + std::to_string(items.size() - shown) + " more";
    return s.empty() ? "nothing GDAL reads as a raster band" : s;
}

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

GDALDatasetH openWeatherSource(const std::string &source)
{
    terrain::registerGdal();
    KeepGribLongitudes keep;
    const std::string file = sourceFile(source);
    if (file == source)
        return terrain::openRasterFile(source);
    // The variable's file must lie on this machine, as any other source's.
    return terrain::localRasterExists(file)
               ? GDALOpenEx(source.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr)
               : nullptr;
}

std::vector<float> readCoverPercent(const CloudField &field, const RasterGrid &grid)
{
    terrain::QuietGdal quiet;
    terrain::Dataset dataset(openWeatherSource(field.source));
    GDALRasterBandH band = dataset && field.band <= GDALGetRasterCount(dataset.get())
                               ? GDALGetRasterBand(dataset.get(), field.band)
                               : nullptr;
    if (!band || GDALGetRasterXSize(dataset.get()) != grid.width ||
        GDALGetRasterYSize(dataset.get()) != grid.height)
        throw WeatherError(field.source + ": cannot read " + field.name + " again: " +
                           terrain::lastGdalError());
    std::vector<double> raw(static_cast<std::size_t>(grid.width) * grid.height);
    if (GDALRasterIO(band, GF_Read, 0, 0, grid.width, grid.height, raw.data(), grid.width,
                     grid.height, GDT_Float64, 0, 0) != CE_None)
        throw WeatherError(field.source + ": cannot read " + field.name + ": " +
                           terrain::lastGdalError());
    int hasNoData = 0;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    const double toPercent = field.units == CoverUnits::Fraction ? 100.0 : 1.0;
    std::vector<float> out(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const double v = (raw[i] * field.scale + field.offset) * toPercent;
        // GRIB marks missing values with huge numbers as well as nodata.
        const bool missing = (hasNoData && raw[i] == noData) || !std::isfinite(v) || v < -1 ||
                             v > 101;
        out[i] = missing ? std::numeric_limits<float>::quiet_NaN()
                         : static_cast<float>(std::clamp(v, 0.0, 100.0));
    }
    return out;
}

WeatherContents findCloudFields(const std::string &file)
{
    terrain::registerGdal();
    terrain::QuietGdal quiet;
    if (!terrain::localRasterExists(file))
        throw WeatherError(file + ": no such file");
    terrain::Dataset dataset(openWeatherSource(file));
    if (!dataset) {
        // GDAL leaves no message when no driver knows the file at all.
        const char *reason = CPLGetLastErrorMsg();
        throw WeatherError(file + ": cannot read it: " +
                           (reason && *reason ? std::string(reason)
                                              : std::string("not a raster format GDAL reads")));
    }
    WeatherContents contents;
    contents.file = file;
    GDALDriverH driver = GDALGetDatasetDriver(dataset.get());
    contents.format = driver ? GDALGetDriverShortName(driver) : "";
    if (contents.format == "GRIB")
        readGribFields(dataset.get(), contents);
    else if (contents.format == "netCDF")
        readNetcdfFields(dataset.get(), contents);
    else
        readSingleBandField(dataset.get(), contents);
    if (contents.fields.empty())
        throw WeatherError(file + ": no cloud cover in it; it holds: " + join(contents.others));
    return contents;
}

}  // namespace weather
