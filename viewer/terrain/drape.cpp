#include "terrain/drape.h"

#include <gdal_utils.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "terrain/gdal_util.h"
#include "terrain/terrain_error.h"
#include "terrain/terrain_settings.h"

namespace terrain {

namespace {

std::string number(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// The image warped (or, without georeferencing, resampled) onto the
// footprint: bands as Float32 with an alpha band last.
Dataset onFootprint(GDALDatasetH image, const HeightModel &model, int width, int height,
                    bool georeferenced, const std::string &file)
{
    const double *gt = model.geoTransform;
    const double xmin = gt[0], xmax = gt[0] + model.width * gt[1];
    const double ymax = gt[3], ymin = gt[3] + model.height * gt[5];
    std::vector<std::string> args = {"-of", "MEM", "-ot", "Float32", "-r", "bilinear", "-dstalpha",
                                     "-ts", std::to_string(width), std::to_string(height)};
    if (georeferenced) {
        args.insert(args.end(), {"-te", number(xmin), number(ymin), number(xmax), number(ymax)});
        if (!model.wkt.empty())
            args.insert(args.end(), {"-t_srs", model.wkt});
    }
    const int bands = GDALGetRasterCount(image);
    const bool palette = GDALGetRasterColorTable(GDALGetRasterBand(image, 1)) != nullptr;
    // The colour bands first (a palette expanded to RGB); an image without
    // georeferencing is given the footprint's corners, so the warp lays it
    // on exactly.
    std::vector<std::string> targs = {"-of", "VRT"};
    if (palette)
        targs.insert(targs.end(), {"-b", "1", "-expand", "rgb"});
    else
        for (int b = 1; b <= (bands >= 3 ? 3 : 1); ++b)
            targs.insert(targs.end(), {"-b", std::to_string(b)});
    if (!georeferenced) {
        targs.insert(targs.end(), {"-a_ullr", number(xmin), number(ymax), number(xmax), number(ymin)});
        if (!model.wkt.empty())
            targs.insert(targs.end(), {"-a_srs", model.wkt});
        args.insert(args.end(), {"-te", number(xmin), number(ymin), number(xmax), number(ymax)});
    }
    std::vector<char *> targv;
    for (std::string &a : targs)
        targv.push_back(a.data());
    targv.push_back(nullptr);
    GDALTranslateOptions *translateOptions = GDALTranslateOptionsNew(targv.data(), nullptr);
    Dataset colours(translateOptions ? GDALTranslate("", image, translateOptions, nullptr) : nullptr);
    GDALTranslateOptionsFree(translateOptions);
    if (!colours)
        throw TerrainError(file + ": cannot read its colours (" + lastGdalError() + ")");
    Dataset out(gdalWarp(colours.get(), std::move(args)));
    if (!out)
        throw TerrainError(file + ": cannot warp it onto the model (" + lastGdalError() + ")");
    return out;
}

}  // namespace

DrapeImage readDrape(const std::string &file, const HeightModel &model, std::vector<std::string> &warnings)
{
    registerGdal();
    QuietGdal quiet;
    Dataset image(openRasterFile(file));
    if (!image)
        throw TerrainError(unreadableMessage(file));
    if (GDALGetRasterCount(image.get()) < 1)
        throw TerrainError(file + ": not an image (it has no raster band)");
    double gt[6];
    const bool georeferenced = GDALGetGeoTransform(image.get(), gt) == CE_None;
    if (!georeferenced)
        warnings.push_back(file + ": has no georeferencing; it is stretched over the model's footprint");
    const bool eightBit = GDALGetRasterDataType(GDALGetRasterBand(image.get(), 1)) == GDT_Byte;

    const int longest = std::max(model.width, model.height);
    const int side = std::min(kMaxDrapeSide, std::max(64, 4 * longest));
    DrapeImage drape;
    drape.width = std::max(1, int(std::lround(double(side) * model.width / longest)));
    drape.height = std::max(1, int(std::lround(double(side) * model.height / longest)));
    Dataset warpedImage = onFootprint(image.get(), model, drape.width, drape.height, georeferenced, file);

    const int bands = GDALGetRasterCount(warpedImage.get()) - 1;  // the last is alpha
    const size_t n = size_t(drape.width) * size_t(drape.height);
    std::vector<unsigned char> alpha(n);
    GDALRasterBandH alphaBand = GDALGetRasterBand(warpedImage.get(), bands + 1);
    if (GDALRasterIO(alphaBand, GF_Read, 0, 0, drape.width, drape.height, alpha.data(), drape.width,
                     drape.height, GDT_Byte, 0, 0) != CE_None)
        throw TerrainError(file + ": cannot read it (" + lastGdalError() + ")");
    if (std::none_of(alpha.begin(), alpha.end(), [](unsigned char a) { return a != 0; })) {
        warnings.push_back(file + ": does not overlap the model; the ground is shaded instead");
        return {};
    }
    drape.rgb.assign(n * 3, 0);
    std::vector<float> values(n);
    for (int b = 0; b < 3; ++b) {
        const int band = std::min(b + 1, bands);
        if (GDALRasterIO(GDALGetRasterBand(warpedImage.get(), band), GF_Read, 0, 0, drape.width,
                         drape.height, values.data(), drape.width, drape.height, GDT_Float32, 0,
                         0) != CE_None)
            throw TerrainError(file + ": cannot read it (" + lastGdalError() + ")");
        float lo = 0.0f, hi = 255.0f;
        if (!eightBit) {
            lo = INFINITY;
            hi = -INFINITY;
            for (size_t i = 0; i < n; ++i)
                if (alpha[i] && std::isfinite(values[i])) {
                    lo = std::min(lo, values[i]);
                    hi = std::max(hi, values[i]);
                }
            if (!(hi > lo))
                hi = lo + 1.0f;
        }
        for (size_t i = 0; i < n; ++i) {
            const float v = (values[i] - lo) / (hi - lo) * 255.0f;
            drape.rgb[i * 3 + size_t(b)] =
                alpha[i] && std::isfinite(v) ? uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f)) : 128;
        }
    }
    return drape;
}

}  // namespace terrain
