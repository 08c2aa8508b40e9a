// GRIB: GDAL gives one band per message, described by GRIB_ELEMENT (the
// quantity), GRIB_SHORT_NAME (the level: "0-LCY" low cloud layer) and
// GRIB_VALID_TIME (seconds since 1970, UTC).
#include <cpl_string.h>

#include <cstdlib>
#include <map>
#include <string>

#include "weather/source_fields.h"

namespace weather {

namespace {

std::string meta(GDALRasterBandH band, const char *key)
{
    const char *v = GDALGetMetadataItem(band, key, nullptr);
    return v ? v : "";
}

// The cloud layer a TCDC band's level names; nothing for other levels
// (TCDC on pressure levels, say), which the listing names as others.
bool gribLevel(const std::string &shortName, CloudLevel &level)
{
    static const std::map<std::string, CloudLevel> levels = {
        {"LCY", CloudLevel::Low},         {"MCY", CloudLevel::Middle},
        {"HCY", CloudLevel::High},        {"BCY", CloudLevel::Boundary},
        {"CCY", CloudLevel::Convective},  {"EATM", CloudLevel::Total}};
    const std::size_t dash = shortName.rfind('-');
    const auto it = levels.find(dash == std::string::npos ? shortName : shortName.substr(dash + 1));
    if (it == levels.end())
        return false;
    level = it->second;
    return true;
}

}  // namespace

void readGribFields(GDALDatasetH dataset, WeatherContents &contents)
{
    // Other quantities counted per element, in the order first met.
    std::vector<std::pair<std::string, int>> others;
    const int bands = GDALGetRasterCount(dataset);
    for (int b = 1; b <= bands; ++b) {
        GDALRasterBandH band = GDALGetRasterBand(dataset, b);
        const std::string element = meta(band, "GRIB_ELEMENT");
        const std::string shortName = meta(band, "GRIB_SHORT_NAME");
        CloudLevel level = CloudLevel::Layer;
        if (element == "TCDC" && gribLevel(shortName, level)) {
            CloudField f;
            f.level = level;
            f.source = contents.file;
            f.band = b;
            f.name = element + " " + shortName;
            const std::string valid = meta(band, "GRIB_VALID_TIME");
            if (!valid.empty()) {
                f.hasTime = true;
                f.validTime = static_cast<std::time_t>(std::strtoll(valid.c_str(), nullptr, 10));
            }
            const std::string unit = meta(band, "GRIB_UNIT");
            const std::optional<CoverUnits> units = parseCoverUnits(unit);
            if (!units)
                throw WeatherError(contents.file + ": band " + std::to_string(b) + " (" + f.name +
                                   "): cannot tell the units of cloud cover \"" + unit +
                                   "\" (neither percent nor a fraction)");
            f.units = *units;
            contents.fields.push_back(f);
            continue;
        }
        const std::string name = element.empty() ? "band " + std::to_string(b) : element;
        auto it = others.begin();
        while (it != others.end() && it->first != name)
            ++it;
        if (it == others.end())
            others.emplace_back(name, 1);
        else
            ++it->second;
    }
    for (const auto &[name, n] : others)
        contents.others.push_back(n == 1 ? name : name + " (" + std::to_string(n) + " levels)");
    contents.grid = describeGrid(dataset, false);
}

}  // namespace weather
