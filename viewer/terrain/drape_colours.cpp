#include "terrain/drape_colours.h"

#include <gdal_utils.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "terrain/terrain_error.h"

namespace terrain {

Footprint footprintOf(const double geoTransform[6], int width, int height)
{
    const double *gt = geoTransform;
    return {gt[0], gt[3] + height * gt[5], gt[0] + width * gt[1], gt[3]};
}

Dataset colourBands(GDALDatasetH image, const std::string &file, const Footprint &stretchedOnto,
                    const std::string &wkt)
{
    double gt[6];
    const bool georeferenced = GDALGetGeoTransform(image, gt) == CE_None;
    const int bands = GDALGetRasterCount(image);
    const bool palette = GDALGetRasterColorTable(GDALGetRasterBand(image, 1)) != nullptr;
    std::vector<std::string> args = {"-of", "VRT"};
    if (palette)
        // A palette's entries are bytes whatever the indices' type; kept
        // as the indices' type, a 16-bit image's would be stretched again.
        args.insert(args.end(), {"-b", "1", "-expand", "rgb", "-ot", "Byte"});
    else
        for (int b = 1; b <= (bands >= 3 ? 3 : 1); ++b)
            args.insert(args.end(), {"-b", std::to_string(b)});
    if (!georeferenced) {
        const Footprint &f = stretchedOnto;
        args.insert(args.end(), {"-a_ullr", exactArg(f.west), exactArg(f.north), exactArg(f.east), exactArg(f.south)});
        if (!wkt.empty())
            args.insert(args.end(), {"-a_srs", wkt});
    }
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    GDALTranslateOptions *options = GDALTranslateOptionsNew(argv.data(), nullptr);
    Dataset colours(options ? GDALTranslate("", image, options, nullptr) : nullptr);
    GDALTranslateOptionsFree(options);
    if (!colours)
        throw TerrainError(file + ": cannot read its colours (" + lastGdalError() + ")");
    return colours;
}

ColourStretch ColourStretch::of(GDALDatasetH colours)
{
    ColourStretch stretch;
    const int bands = std::min(3, GDALGetRasterCount(colours));
    for (int b = 0; b < bands; ++b) {
        GDALRasterBandH band = GDALGetRasterBand(colours, b + 1);
        if (GDALGetRasterDataType(band) == GDT_Byte)
            continue;
        double minMax[2] = {0.0, 0.0};
        // An image all no data has no range; any stretch shows it (grey).
        if (GDALComputeRasterMinMax(band, TRUE, minMax) != CE_None || !std::isfinite(minMax[0]) ||
            !std::isfinite(minMax[1]))
            minMax[0] = minMax[1] = 0.0;
        stretch.lo_[b] = float(minMax[0]);
        stretch.hi_[b] = minMax[1] > minMax[0] ? float(minMax[1]) : float(minMax[0]) + 1.0f;
    }
    return stretch;
}

uint8_t ColourStretch::byte(int band, float value) const
{
    const float v = (value - lo_[band]) / (hi_[band] - lo_[band]) * 255.0f;
    return std::isfinite(v) ? uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f)) : kNoImageGrey;
}

void packRgb(const float *const planes[], int bands, const unsigned char *valid, size_t n,
             const ColourStretch &stretch, uint8_t *rgb)
{
    for (int c = 0; c < 3; ++c) {
        const int b = std::min(c, bands - 1);
        const float *plane = planes[b];
        for (size_t i = 0; i < n; ++i)
            rgb[i * 3 + size_t(c)] = !valid || valid[i] ? stretch.byte(b, plane[i]) : kNoImageGrey;
    }
}

}  // namespace terrain
