// Any other raster: a one-band cover field or cloud mask (a satellite
// product as GeoTIFF, say). Nothing marks such a band as cloud, so its
// units, or failing them its values, decide: cover lies in 0..1 or 0..100,
// never below 0. A height model reaches below 0 or above 100 and is refused.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "terrain/gdal_util.h"
#include "weather/number_text.h"
#include "weather/source_fields.h"

namespace weather {

namespace {

// Whether the band or the file says it is cloud, so that values outside
// both ranges are unknown units rather than something else.
bool saysCloud(GDALRasterBandH band, const std::string &file)
{
    std::string words = file + " ";
    if (const char *d = GDALGetDescription(band))
        words += d;
    char **items = GDALGetMetadata(band, nullptr);
    for (int i = 0; items && items[i]; ++i)
        words += std::string(" ") + items[i];
    std::transform(words.begin(), words.end(), words.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return words.find("cloud") != std::string::npos;
}

}  // namespace

void readSingleBandField(GDALDatasetH dataset, WeatherContents &contents)
{
    const int bands = GDALGetRasterCount(dataset);
    GDALRasterBandH band = bands >= 1 ? GDALGetRasterBand(dataset, 1) : nullptr;
    const char *type = band ? GDALGetDataTypeName(GDALGetRasterDataType(band)) : "";
    if (bands != 1) {
        contents.others.push_back(std::to_string(bands) + " bands" +
                                  (bands ? std::string(" of ") + type : std::string()));
        return;
    }
    const char *unitText = GDALGetRasterUnitType(band);
    const std::string unit = unitText ? unitText : "";
    const double scale = GDALGetRasterScale(band, nullptr);
    const double offset = GDALGetRasterOffset(band, nullptr);
    std::string held = std::string("1 band of ") + type + (unit.empty() ? "" : ", in " + unit);
    std::optional<CoverUnits> units = parseCoverUnits(unit);
    if (!units) {
        if (!unit.empty() && !saysCloud(band, contents.file)) {
            contents.others.push_back(held);
            return;
        }
        double range[2] = {0, 0};
        if (GDALComputeRasterMinMax(band, FALSE, range) != CE_None)
            throw WeatherError(contents.file + ": " + terrain::lastGdalError());
        const double a = range[0] * scale + offset, b = range[1] * scale + offset;
        const double lo = std::min(a, b), hi = std::max(a, b);
        units = unit.empty() ? unitsFromRange(lo, hi) : std::nullopt;
        held += ", values " + numberText(lo) + " to " + numberText(hi);
        if (!units && saysCloud(band, contents.file))
            throw WeatherError(contents.file + ": cannot tell the units of its cloud cover: " +
                               held + " are neither a fraction (0 to 1) nor percent (0 to 100)" +
                               (unit.empty() ? "" : " and \"" + unit + "\" is neither"));
        if (!units) {
            contents.others.push_back(held);
            return;
        }
    }
    CloudField f;
    f.level = CloudLevel::Total;
    f.source = contents.file;
    f.band = 1;
    f.name = "band 1";
    f.units = *units;
    f.scale = scale;
    f.offset = offset;
    contents.fields.push_back(f);
    contents.grid = describeGrid(dataset, false);
}

}  // namespace weather
