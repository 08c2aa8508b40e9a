// Cloud bases and tops from a GRIB forecast. GFS and its kin give, for each
// cloud layer, the pressure at its base and top ("PRES 0-LCBL", "PRES
// 0-LCTL"); a pressure becomes a height through the forecast's own
// geopotential heights on pressure levels at that cell, which follow the
// day's warm and cold air where a standard atmosphere would not.
#include "weather/layer_heights.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "terrain/gdal_util.h"
#include "weather/open_weather.h"

namespace weather {

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string meta(GDALRasterBandH band, const char *key)
{
    const char *v = GDALGetMetadataItem(band, key, nullptr);
    return v ? v : "";
}

// GRIB's level names for a cloud layer's base and top.
struct BaseTopNames {
    const char *base = nullptr, *top = nullptr;
};

BaseTopNames baseTopNames(CloudLevel level)
{
    switch (level) {
    case CloudLevel::Low: return {"0-LCBL", "0-LCTL"};
    case CloudLevel::Middle: return {"0-MCBL", "0-MCTL"};
    case CloudLevel::High: return {"0-HCBL", "0-HCTL"};
    case CloudLevel::Convective: return {"0-CCBL", "0-CCTL"};
    case CloudLevel::Boundary:
    case CloudLevel::Total:
    case CloudLevel::Layer: break;
    }
    return {};
}

// A band of the file, as its messages name it.
struct Band {
    GDALRasterBandH handle = nullptr;
    int number = 0;
    std::string element;  // "PRES", "HGT"
    std::string level;    // "0-LCBL"
    std::string name() const { return element + " " + level; }
};

bool atValidTime(GDALRasterBandH band, const CloudField &field)
{
    const std::string valid = meta(band, "GRIB_VALID_TIME");
    if (valid.empty() || !field.hasTime)
        return valid.empty() && !field.hasTime;
    return static_cast<std::time_t>(std::strtoll(valid.c_str(), nullptr, 10)) == field.validTime;
}

// The pressure (Pa) of an isobaric level, "50000-ISBL"; nothing for others.
std::optional<double> isobaricPascals(const std::string &level)
{
    const std::string suffix = "-ISBL";
    if (level.size() <= suffix.size() || level.compare(level.size() - suffix.size(), suffix.size(), suffix))
        return std::nullopt;
    const std::string digits = level.substr(0, level.size() - suffix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::strtod(digits.c_str(), nullptr);
}

// What the file holds for one field at its valid time.
struct Found {
    std::optional<Band> base, top;
    std::vector<Band> levels;  // HGT on pressure levels
    std::vector<double> levelPascals;
};

// A height straight from the file beats a pressure to be turned into one.
void offer(std::optional<Band> &slot, const Band &band)
{
    if (!slot || (slot->element == "PRES" && band.element == "HGT"))
        slot = band;
}

Found findBands(GDALDatasetH dataset, const CloudField &field, const BaseTopNames &names)
{
    Found found;
    const int count = GDALGetRasterCount(dataset);
    for (int b = 1; b <= count; ++b) {
        Band band;
        band.handle = GDALGetRasterBand(dataset, b);
        band.number = b;
        band.element = meta(band.handle, "GRIB_ELEMENT");
        band.level = meta(band.handle, "GRIB_SHORT_NAME");
        if ((band.element != "PRES" && band.element != "HGT") || !atValidTime(band.handle, field))
            continue;
        if (band.level == names.base)
            offer(found.base, band);
        else if (band.level == names.top)
            offer(found.top, band);
        else if (band.element == "HGT") {
            const std::optional<double> p = isobaricPascals(band.level);
            if (!p || *p <= 0)
                continue;
            bool seen = false;
            for (double q : found.levelPascals)
                seen = seen || q == *p;
            if (!seen) {
                found.levels.push_back(band);
                found.levelPascals.push_back(*p);
            }
        }
    }
    return found;
}

// Reads whole bands, GDAL's missing values (the band's nodata, GRIB's
// 9.999e20) as NaN. GDAL decodes a whole GRIB message to read any row of
// it, so each band is read once.
class BandReader {
public:
    BandReader(const std::string &file, int width, int height) : file_(file), width_(width), height_(height) {}

    std::vector<double> read(const Band &band) const
    {
        std::vector<double> values(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
        if (GDALRasterIO(band.handle, GF_Read, 0, 0, width_, height_, values.data(), width_, height_,
                         GDT_Float64, 0, 0) != CE_None)
            throw WeatherError(file_ + ": band " + std::to_string(band.number) + " (" + band.name() +
                               "): cannot read it: " + terrain::lastGdalError());
        int hasNoData = 0;
        const double noData = GDALGetRasterNoDataValue(band.handle, &hasNoData);
        for (double &v : values)
            if (!std::isfinite(v) || std::fabs(v) >= 1e20 || (hasNoData && v == noData))
                v = kNaN;
        return values;
    }

private:
    std::string file_;
    int width_, height_;
};

// "PRES at 0-LCBL through ...": where one band's heights come from; levels
// names the band's level, or both base and top levels when they share it.
std::string describe(const std::string &element, const std::string &levels, const Found &found)
{
    if (element == "HGT")
        return "HGT at " + levels + " (gpm taken as metres)";
    return "PRES at " + levels +
           (found.levels.size() >= 2
                ? " through the file's HGT on " + std::to_string(found.levels.size()) + " pressure levels"
                : std::string(" through the ICAO standard atmosphere"));
}

std::string describe(const Found &found)
{
    const Band &base = *found.base, &top = *found.top;
    if (base.element == top.element)
        return "base and top: " + describe(base.element, base.level + "/" + top.level, found);
    return "base: " + describe(base.element, base.level, found) +
           "; top: " + describe(top.element, top.level, found);
}

LayerHeights defaults(const CloudField &field, const std::string &why)
{
    LayerHeights h;
    h.how = etageText(field.level) + ": " + why;
    return h;
}

}  // namespace

LayerHeights readLayerHeights(const WeatherContents &contents, const CloudField &field)
{
    const std::string what = std::string(levelName(field.level)) + " cloud";
    if (contents.format != "GRIB")
        return defaults(field, "the file gives no base or top for " + what);
    const BaseTopNames names = baseTopNames(field.level);
    if (!names.base)
        return defaults(field, "GRIB gives no base or top for " + what);

    terrain::QuietGdal quiet;
    const terrain::Dataset dataset = openWeatherFile(contents.file);
    const int width = GDALGetRasterXSize(dataset.get()), height = GDALGetRasterYSize(dataset.get());
    if (width != contents.grid.width || height != contents.grid.height)
        throw WeatherError(contents.file + ": its grid is now " + std::to_string(width) + " x " +
                           std::to_string(height) + " cells, not the " + std::to_string(contents.grid.width) +
                           " x " + std::to_string(contents.grid.height) + " it had when it was read");
    const Found found = findBands(dataset.get(), field, names);
    if (!found.base || !found.top)
        return defaults(field, std::string("the file gives no ") +
                                   (found.base ? "top" : found.top ? "base" : "base or top") + " for " +
                                   what + " at its time");

    LayerHeights result;
    result.fromFile = true;
    result.how = describe(found);
    const std::size_t cells = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    result.base.reserve(cells);
    result.top.reserve(cells);

    const BandReader reader(contents.file, width, height);
    std::vector<double> base = reader.read(*found.base), top = reader.read(*found.top);
    // Pressures become heights; the levels are read once for both.
    std::optional<PressureHeights> baseAt, topAt;
    if (found.base->element == "PRES")
        baseAt.emplace(std::move(base));
    if (found.top->element == "PRES")
        topAt.emplace(std::move(top));
    if (found.levels.size() >= 2 && (baseAt || topAt))
        for (std::size_t k = 0; k < found.levels.size(); ++k) {
            const std::vector<double> heights = reader.read(found.levels[k]);
            for (std::optional<PressureHeights> *at : {&baseAt, &topAt})
                if (*at)
                    (*at)->addLevel(found.levelPascals[k], heights);
        }
    if (baseAt)
        base = baseAt->heights();
    if (topAt)
        top = topAt->heights();

    for (std::size_t i = 0; i < cells; ++i) {
        // A file may give a layer's levels either way round.
        const bool swap = base[i] > top[i];
        result.base.push_back(static_cast<float>(swap ? top[i] : base[i]));
        result.top.push_back(static_cast<float>(swap ? base[i] : top[i]));
    }
    return result;
}

}  // namespace weather
