#include "weather/cloud_fields.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "terrain/gdal_util.h"
#include "weather/open_weather.h"
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

}  // namespace

std::vector<float> readCoverPercent(const CloudField &field, const RasterGrid &grid)
{
    terrain::QuietGdal quiet;
    terrain::Dataset dataset = openWeatherSource(field.source);
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
    terrain::QuietGdal quiet;
    terrain::Dataset dataset = openWeatherFile(file);
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
