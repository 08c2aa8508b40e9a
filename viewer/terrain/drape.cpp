#include "terrain/drape.h"

#include <gdal_utils.h>

#include <algorithm>
#include <cmath>

#include "terrain/drape_colours.h"
#include "terrain/gdal_util.h"
#include "terrain/terrain_error.h"
#include "terrain/terrain_settings.h"

namespace terrain {

namespace {

Footprint modelFootprint(const HeightModel &model)
{
    return footprintOf(model.geoTransform, model.width, model.height);
}

// The colour bands warped onto the footprint: Float32 with an alpha band
// last.
Dataset onFootprint(GDALDatasetH colours, const HeightModel &model, int width, int height,
                    const std::string &file)
{
    const Footprint f = modelFootprint(model);
    std::vector<std::string> args = {"-of", "MEM", "-ot", "Float32", "-r", "bilinear", "-dstalpha",
                                     "-ts", std::to_string(width), std::to_string(height),
                                     "-te", exactArg(f.west), exactArg(f.south), exactArg(f.east), exactArg(f.north)};
    if (!model.wkt.empty())
        args.insert(args.end(), {"-t_srs", model.wkt});
    Dataset out(gdalWarp(colours, std::move(args)));
    if (!out)
        throw TerrainError(file + ": cannot warp it onto the model (" + lastGdalError() + ")");
    return out;
}

}  // namespace

Dataset openDrapeImage(const std::string &file, std::vector<std::string> &warnings)
{
    registerGdal();
    Dataset image(openRasterFile(file));
    if (!image)
        throw TerrainError(unreadableMessage(file));
    if (GDALGetRasterCount(image.get()) < 1)
        throw TerrainError(file + ": not an image (it has no raster band)");
    double gt[6];
    if (GDALGetGeoTransform(image.get(), gt) != CE_None)
        warnings.push_back(file + ": has no georeferencing; it is stretched over the model's footprint");
    return image;
}

DrapeImage readDrape(const std::string &file, const HeightModel &model, std::vector<std::string> &warnings)
{
    QuietGdal quiet;
    Dataset image = openDrapeImage(file, warnings);

    const int longest = std::max(model.width, model.height);
    const int side = std::min(kMaxDrapeSide, std::max(64, 4 * longest));
    DrapeImage drape;
    drape.width = std::max(1, int(std::lround(double(side) * model.width / longest)));
    drape.height = std::max(1, int(std::lround(double(side) * model.height / longest)));
    Dataset colours = colourBands(image.get(), file, modelFootprint(model), model.wkt);
    const ColourStretch stretch = ColourStretch::of(colours.get());
    Dataset warpedImage = onFootprint(colours.get(), model, drape.width, drape.height, file);

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
    std::vector<float> values(n * size_t(bands));
    std::vector<const float *> planes;
    for (int b = 0; b < bands; ++b) {
        planes.push_back(values.data() + n * size_t(b));
        if (GDALRasterIO(GDALGetRasterBand(warpedImage.get(), b + 1), GF_Read, 0, 0, drape.width,
                         drape.height, values.data() + n * size_t(b), drape.width, drape.height,
                         GDT_Float32, 0, 0) != CE_None)
            throw TerrainError(file + ": cannot read it (" + lastGdalError() + ")");
    }
    packRgb(planes.data(), bands, alpha.data(), n, stretch, drape.rgb.data());
    return drape;
}

}  // namespace terrain
