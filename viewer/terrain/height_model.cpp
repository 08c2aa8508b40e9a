#include "terrain/height_model.h"

#include <cpl_conv.h>
#include <gdal_alg.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "terrain/gdal_util.h"
#include "terrain/terrain_error.h"

namespace terrain {

std::string unreadableMessage(const std::string &file)
{
    if (!localRasterExists(file))
        return file + ": not a raster GDAL can read (no such file)";
    // GDAL says nothing when no driver knows the file: say that instead of
    // "unknown reason".
    const char *why = CPLGetLastErrorMsg();
    return file + ": not a raster GDAL can read (" +
           (why && *why ? std::string(why) : std::string("no raster format GDAL knows")) + ")";
}

namespace {

std::string srsName(OGRSpatialReferenceH srs)
{
    const char *name = srs ? OSRGetName(srs) : nullptr;
    return name && *name ? name : "unnamed coordinate system";
}

std::string srsWkt(OGRSpatialReferenceH srs)
{
    char *wkt = nullptr;
    const char *options[] = {"FORMAT=WKT2_2018", nullptr};
    if (OSRExportToWktEx(srs, &wkt, options) != OGRERR_NONE) {
        CPLFree(wkt);
        return "";
    }
    std::string text = wkt ? wkt : "";
    CPLFree(wkt);
    return text;
}

// The WGS 84 UTM zone of a longitude and latitude (degrees): 326zz north
// of the equator, 327zz south of it. Longitudes past the antimeridian
// (0..360 grids) are taken as their -180..180 equivalents.
int utmEpsg(double lon, double lat)
{
    if (std::isfinite(lon))
        lon = std::remainder(lon, 360.0);
    int zone = static_cast<int>(std::floor((lon + 180.0) / 6.0)) + 1;
    zone = std::min(60, std::max(1, zone));
    return (lat < 0.0 ? 32700 : 32600) + zone;
}

// The WKT of the UTM zone a model in degrees is warped to: the zone of
// its centre, taken in the model's own axis order (GDAL's rasters give x
// as longitude).
std::string utmWktOf(GDALDatasetH source, const double gt[6])
{
    const double cx = gt[0] + 0.5 * GDALGetRasterXSize(source) * gt[1] +
                      0.5 * GDALGetRasterYSize(source) * gt[2];
    const double cy = gt[3] + 0.5 * GDALGetRasterXSize(source) * gt[4] +
                      0.5 * GDALGetRasterYSize(source) * gt[5];
    OGRSpatialReferenceH utm = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(utm, utmEpsg(cx, cy));
    const std::string wkt = srsWkt(utm);
    OSRDestroySpatialReference(utm);
    return wkt;
}

// The model warped north up into dstWkt (empty: its own system) as a
// warped VRT (gdalwarp -of VRT), bilinear, with an alpha band after the
// heights marking where the source had data: land outside the source
// becomes no data, never 0.
Dataset warped(GDALDatasetH source, const std::string &file, const std::string &dstWkt)
{
    std::vector<std::string> args = {"-of", "VRT", "-r", "bilinear", "-ot", "Float32", "-dstalpha",
                                     "-et", "0.125"};
    if (!dstWkt.empty())
        args.insert(args.end(), {"-t_srs", dstWkt});
    GDALDatasetH vrt = gdalWarp(source, std::move(args));
    if (!vrt)
        throw TerrainError(file + ": cannot warp the model to a metric grid (" + lastGdalError() + ")");
    return Dataset(vrt);
}

// Band 1 as floats with NaN wherever the band's mask (no-data value,
// alpha band, internal mask) says there is no data.
std::vector<float> readBand(GDALDatasetH dataset, const std::string &file)
{
    const int w = GDALGetRasterXSize(dataset), h = GDALGetRasterYSize(dataset);
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    std::vector<float> heights(size_t(w) * size_t(h));
    if (GDALRasterIO(band, GF_Read, 0, 0, w, h, heights.data(), w, h, GDT_Float32, 0, 0) != CE_None)
        throw TerrainError(file + ": cannot read its heights (" + lastGdalError() + ")");
    // The warp's alpha band (the last, Float32 like the heights, which
    // GDAL then does not take as the mask), else the band's own mask.
    const int count = GDALGetRasterCount(dataset);
    GDALRasterBandH last = GDALGetRasterBand(dataset, count);
    GDALRasterBandH maskBand = nullptr;
    if (count > 1 && GDALGetRasterColorInterpretation(last) == GCI_AlphaBand)
        maskBand = last;
    else if (!(GDALGetMaskFlags(band) & GMF_ALL_VALID))
        maskBand = GDALGetMaskBand(band);
    if (maskBand) {
        std::vector<unsigned char> mask(heights.size());
        if (GDALRasterIO(maskBand, GF_Read, 0, 0, w, h, mask.data(), w, h, GDT_Byte, 0, 0) != CE_None)
            throw TerrainError(file + ": cannot read where it has data (" + lastGdalError() + ")");
        for (size_t i = 0; i < heights.size(); ++i)
            if (mask[i] == 0)
                heights[i] = std::numeric_limits<float>::quiet_NaN();
    }
    // A no-data value the mask missed (NaN in a float band is no data
    // whatever the band says).
    for (float &v : heights)
        if (!std::isfinite(v))
            v = std::numeric_limits<float>::quiet_NaN();
    return heights;
}

}  // namespace

std::string sceneFrameWkt(const std::string &file)
{
    registerGdal();
    QuietGdal quiet;
    Dataset source(openRasterFile(file));
    if (!source)
        throw TerrainError(unreadableMessage(file));
    double gt[6];
    OGRSpatialReferenceH srs = GDALGetSpatialRef(source.get());
    if (GDALGetGeoTransform(source.get(), gt) != CE_None || !srs)
        throw TerrainError(file + ": has no coordinate system (a scene over it is in pixel units)");
    return OSRIsGeographic(srs) ? utmWktOf(source.get(), gt) : srsWkt(srs);
}

HeightModel readHeightModel(const std::string &file, std::vector<std::string> &warnings)
{
    registerGdal();
    QuietGdal quiet;
    Dataset source(openRasterFile(file));
    if (!source)
        throw TerrainError(unreadableMessage(file));
    const int bands = GDALGetRasterCount(source.get());
    if (bands < 1 || GDALGetRasterXSize(source.get()) < 2 || GDALGetRasterYSize(source.get()) < 2)
        throw TerrainError(file + ": not an elevation model (it needs a band of at least 2 x 2 samples)");
    if (bands > 1)
        warnings.push_back(file + ": has " + std::to_string(bands) +
                           " bands; band 1 is taken for the heights");

    HeightModel model;
    double gt[6];
    const bool georeferenced = GDALGetGeoTransform(source.get(), gt) == CE_None;
    OGRSpatialReferenceH srs = GDALGetSpatialRef(source.get());
    Dataset warp;
    GDALDatasetH read = source.get();
    if (!georeferenced) {
        warnings.push_back(file + ": has no georeferencing; it is used in pixel units (x the column, "
                                  "y minus the row)");
        model.frameName = "pixel units";
    } else if (srs && OSRIsGeographic(srs)) {
        model.warpedFrom = srsName(srs);
        warp = warped(source.get(), file, utmWktOf(source.get(), gt));
        read = warp.get();
    } else if (gt[2] != 0.0 || gt[4] != 0.0) {
        model.warpedFrom = srsName(srs) + ", rotated";
        warp = warped(source.get(), file, "");
        read = warp.get();
    }
    if (georeferenced) {
        GDALGetGeoTransform(read, model.geoTransform);
        OGRSpatialReferenceH frame = GDALGetSpatialRef(read);
        model.wkt = frame ? srsWkt(frame) : "";
        model.frameName = frame ? srsName(frame) : "unnamed coordinate system";
    }
    model.width = GDALGetRasterXSize(read);
    model.height = GDALGetRasterYSize(read);
    model.heights = readBand(read, file);
    // Heights stored scaled (an Int16 band in decimetres, say) are metres
    // only once the band's scale and offset are applied: GDAL leaves that
    // to the reader, and a warp carries the raw values (the scale is
    // linear, so warping first changes nothing).
    GDALRasterBandH first = GDALGetRasterBand(source.get(), 1);
    int hasScale = 0, hasOffset = 0;
    const double scale = GDALGetRasterScale(first, &hasScale);
    const double offset = GDALGetRasterOffset(first, &hasOffset);
    if ((hasScale && scale != 1.0) || (hasOffset && offset != 0.0))
        for (float &v : model.heights)
            if (!std::isnan(v))
                v = static_cast<float>(double(v) * (hasScale ? scale : 1.0) + (hasOffset ? offset : 0.0));

    bool any = false;
    for (float v : model.heights) {
        if (std::isnan(v))
            continue;
        model.low = any ? std::min(model.low, v) : v;
        model.high = any ? std::max(model.high, v) : v;
        any = true;
    }
    if (!any)
        throw TerrainError(file + ": every sample is no data; there is no ground to draw");
    return model;
}

}  // namespace terrain
