// CF NetCDF: GDAL opens each variable as a subdataset NETCDF:"file":var,
// one band per step of its extra dimensions (time), the variable's
// attributes as band metadata and the time's value as NETCDF_DIM_<dim>.
#include <cpl_string.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "terrain/gdal_util.h"
#include "weather/source_fields.h"
#include "weather/valid_time.h"

namespace weather {

namespace {

std::string meta(GDALMajorObjectH object, const std::string &key)
{
    const char *v = GDALGetMetadataItem(object, key.c_str(), nullptr);
    return v ? v : "";
}

std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool contains(const std::string &text, const char *word) { return text.find(word) != std::string::npos; }

// Whether a variable is cloud cover, and of which level: by CF standard
// name, or by ERA5's short names, which come without one.
bool cloudVariable(const std::string &var, const std::string &standardName,
                   const std::string &longName, CloudLevel &level)
{
    const std::string v = lower(var);
    if (v == "tcc" || v == "lcc" || v == "mcc" || v == "hcc") {
        level = v == "tcc" ? CloudLevel::Total
                : v == "lcc" ? CloudLevel::Low
                : v == "mcc" ? CloudLevel::Middle
                             : CloudLevel::High;
        return true;
    }
    if (standardName == "cloud_area_fraction") {
        level = CloudLevel::Total;
        return true;
    }
    if (standardName != "cloud_area_fraction_in_atmosphere_layer")
        return false;
    // Which layer, CF leaves to the variable: its names say it, or not.
    const std::string words = v + " " + lower(longName);
    level = contains(words, "low")                               ? CloudLevel::Low
            : contains(words, "medium") || contains(words, "mid") ? CloudLevel::Middle
            : contains(words, "high")                            ? CloudLevel::High
            : contains(words, "convective")                      ? CloudLevel::Convective
            : contains(words, "boundary")                        ? CloudLevel::Boundary
                                                                 : CloudLevel::Layer;
    return true;
}

// The band's time: the extra dimension whose units count "... since ...".
bool bandTime(GDALDatasetH dataset, GDALRasterBandH band, std::time_t &t)
{
    char **items = GDALGetMetadata(band, nullptr);
    for (int i = 0; items && items[i]; ++i) {
        const std::string item = items[i];
        const std::size_t eq = item.find('=');
        if (item.rfind("NETCDF_DIM_", 0) != 0 || eq == std::string::npos)
            continue;
        const std::string dim = item.substr(11, eq - 11);
        const std::optional<std::time_t> when =
            cfTime(std::strtod(item.c_str() + eq + 1, nullptr), meta(dataset, dim + "#units"));
        if (when) {
            t = *when;
            return true;
        }
    }
    return false;
}

// Longitude and latitude coordinate variables, which GDAL reads as a grid
// in degrees without naming a coordinate system.
bool lonLatAxes(GDALDatasetH dataset)
{
    char **items = GDALGetMetadata(dataset, nullptr);
    for (int i = 0; items && items[i]; ++i) {
        const std::string item = lower(items[i]);
        if (contains(item, "#units=degree") && (contains(item, "north") || contains(item, "_n")))
            return true;
    }
    return false;
}

// The cover units of a variable: its units attribute, or its values when it
// has none. Any other units text cannot be told.
CoverUnits variableUnits(GDALRasterBandH band, const std::string &units, double scale,
                         double offset, const std::string &what)
{
    if (!units.empty()) {
        if (const std::optional<CoverUnits> u = parseCoverUnits(units))
            return *u;
        throw WeatherError(what + ": cannot tell the units of cloud cover \"" + units +
                           "\" (neither percent nor a fraction)");
    }
    double range[2] = {0, 0};
    if (GDALComputeRasterMinMax(band, FALSE, range) != CE_None)
        throw WeatherError(what + ": " + terrain::lastGdalError());
    const double a = range[0] * scale + offset, b = range[1] * scale + offset;
    if (const std::optional<CoverUnits> u = unitsFromRange(std::min(a, b), std::max(a, b)))
        return *u;
    throw WeatherError(what + ": cannot tell the units of cloud cover: it names none, and its "
                              "values " + std::to_string(std::min(a, b)) + " to " +
                       std::to_string(std::max(a, b)) + " are neither fractions nor percent");
}

void readVariable(GDALDatasetH ds, const std::string &source, WeatherContents &contents)
{
    const int bands = GDALGetRasterCount(ds);
    if (bands < 1)
        return;
    GDALRasterBandH first = GDALGetRasterBand(ds, 1);
    std::string var = meta(first, "NETCDF_VARNAME");
    if (var.empty())
        var = source.substr(source.rfind(':') + 1);
    CloudLevel level = CloudLevel::Layer;
    if (!cloudVariable(var, meta(first, "standard_name"), meta(first, "long_name"), level)) {
        contents.others.push_back(var);
        return;
    }
    const double scale = GDALGetRasterScale(first, nullptr);
    const double offset = GDALGetRasterOffset(first, nullptr);
    const CoverUnits units =
        variableUnits(first, meta(first, "units"), scale, offset, contents.file + ": " + var);
    if (contents.fields.empty())
        contents.grid = describeGrid(ds, lonLatAxes(ds));
    for (int b = 1; b <= bands; ++b) {
        CloudField f;
        f.level = level;
        f.source = source;
        f.band = b;
        f.name = var;
        f.units = units;
        f.scale = scale;
        f.offset = offset;
        f.hasTime = bandTime(ds, GDALGetRasterBand(ds, b), f.validTime);
        contents.fields.push_back(f);
    }
}

}  // namespace

void readNetcdfFields(GDALDatasetH dataset, WeatherContents &contents)
{
    char **subdatasets = GDALGetMetadata(dataset, "SUBDATASETS");
    if (CSLCount(subdatasets) == 0) {
        // One variable: GDAL opened it directly.
        readVariable(dataset, contents.file, contents);
        return;
    }
    for (int i = 1;; ++i) {
        const char *name =
            CSLFetchNameValue(subdatasets, ("SUBDATASET_" + std::to_string(i) + "_NAME").c_str());
        if (!name)
            break;
        // The name is GDAL's own, made from a file already checked to lie on
        // disk, so it is opened as it stands.
        terrain::Dataset sub(
            GDALOpenEx(name, GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
        if (!sub)
            throw WeatherError(contents.file + ": " + name + ": " + terrain::lastGdalError());
        readVariable(sub.get(), name, contents);
    }
}

}  // namespace weather
