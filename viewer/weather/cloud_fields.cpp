#include "weather/cloud_fields.h"

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
