#include "terrain/height_model.h"

#include <cpl_conv.h>
#include <gdal_alg.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

int utmEpsg(double lon, double lat)
{
    if (std::isfinite(lon))
        lon = std::remainder(lon, 360.0);
    int zone = static_cast<int>(std::floor((lon + 180.0) / 6.0)) + 1;
    zone = std::min(60, std::max(1, zone));
    return (lat < 0.0 ? 32700 : 32600) + zone;
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
Dataset warped(GDALDatasetH source, const std::string &file, const std::string &dstWkt,
              const std::vector<std::string> &grid = {})
{
    std::vector<std::string> args = {"-of", "VRT", "-r", "bilinear", "-ot", "Float32", "-dstalpha",
                                     "-et", "0.125"};
    args.insert(args.end(), grid.begin(), grid.end());
    if (!dstWkt.empty())
        args.insert(args.end(), {"-t_srs", dstWkt});
    GDALDatasetH vrt = gdalWarp(source, std::move(args));
    if (!vrt)
        throw TerrainError(file + ": cannot warp the model to a metric grid (" + lastGdalError() + ")");
    return Dataset(vrt);
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

ModelReader::ModelReader(const std::string &file, std::vector<std::string> &warnings) : file_(file)
{
    registerGdal();
    QuietGdal quiet;
    source_.reset(openRasterFile(file));
    if (!source_)
        throw TerrainError(unreadableMessage(file));
    const int bands = GDALGetRasterCount(source_.get());
    if (bands < 1 || GDALGetRasterXSize(source_.get()) < 2 || GDALGetRasterYSize(source_.get()) < 2)
        throw TerrainError(file + ": not an elevation model (it needs a band of at least 2 x 2 samples)");
    if (bands > 1)
        warnings.push_back(file + ": has " + std::to_string(bands) +
                           " bands; band 1 is taken for the heights");

    double gt[6];
    const bool georeferenced = GDALGetGeoTransform(source_.get(), gt) == CE_None;
    OGRSpatialReferenceH srs = GDALGetSpatialRef(source_.get());
    GDALDatasetH read = source_.get();
    if (!georeferenced) {
        warnings.push_back(file + ": has no georeferencing; it is used in pixel units (x the column, "
                                  "y minus the row)");
        header_.frameName = "pixel units";
    } else if (srs && OSRIsGeographic(srs)) {
        header_.warpedFrom = srsName(srs);
        warpWkt_ = utmWktOf(source_.get(), gt);
        warp_ = warped(source_.get(), file, warpWkt_);
        read = warp_.get();
    } else if (gt[2] != 0.0 || gt[4] != 0.0) {
        header_.warpedFrom = srsName(srs) + ", rotated";
        warp_ = warped(source_.get(), file, "");
        read = warp_.get();
    }
    if (georeferenced) {
        GDALGetGeoTransform(read, header_.geoTransform);
        OGRSpatialReferenceH frame = GDALGetSpatialRef(read);
        header_.wkt = frame ? srsWkt(frame) : "";
        header_.frameName = frame ? srsName(frame) : "unnamed coordinate system";
    }
    header_.width = GDALGetRasterXSize(read);
    header_.height = GDALGetRasterYSize(read);

    // Heights stored scaled (an Int16 band in decimetres, say) are metres
    // only once the band's scale and offset are applied: GDAL leaves that
    // to the reader, and a warp carries the raw values (the scale is
    // linear, so warping first changes nothing).
    GDALRasterBandH first = GDALGetRasterBand(source_.get(), 1);
    int hasScale = 0, hasOffset = 0;
    scale_ = GDALGetRasterScale(first, &hasScale);
    offset_ = GDALGetRasterOffset(first, &hasOffset);
    if (!hasScale)
        scale_ = 1.0;
    if (!hasOffset)
        offset_ = 0.0;

    // The warp's alpha band (the last, Float32 like the heights, which
    // GDAL then does not take as the mask), else the band's own mask.
    GDALRasterBandH band = GDALGetRasterBand(read, 1);
    const int count = GDALGetRasterCount(read);
    GDALRasterBandH last = GDALGetRasterBand(read, count);
    GDALRasterBandH alpha = count > 1 && GDALGetRasterColorInterpretation(last) == GCI_AlphaBand ? last : nullptr;
    const bool masked = alpha || !(GDALGetMaskFlags(band) & GMF_ALL_VALID);
    levels_.push_back({band, alpha ? alpha : masked ? GDALGetMaskBand(band) : nullptr, header_.width,
                       header_.height, 1.0});
    // A warp's own overviews are GDAL's guess (often a single one); its
    // levels are warped from the source's overviews instead (rasterFor).
    for (int k = 0; !warp_ && k < GDALGetOverviewCount(band); ++k) {
        GDALRasterBandH o = GDALGetOverview(band, k);
        if (!o)
            continue;
        GDALRasterBandH m = nullptr;
        if (alpha)
            m = k < GDALGetOverviewCount(alpha) ? GDALGetOverview(alpha, k) : nullptr;
        else if (masked)
            m = GDALGetMaskBand(o);
        if (masked && !m)
            continue;  // an overview without its mask would draw holes as heights
        const int w = GDALGetRasterBandXSize(o), h = GDALGetRasterBandYSize(o);
        levels_.push_back({o, m, w, h, double(header_.width) / double(w)});
    }
    std::sort(levels_.begin() + 1, levels_.end(),
              [](const Raster &a, const Raster &b) { return a.factor < b.factor; });
}

ModelReader::~ModelReader() = default;

const ModelReader::Raster &ModelReader::rasterFor(int level) const
{
    if (warp_ && level > 0)
        if (const Raster *r = warpedLevel(level))
            return *r;
    // The coarsest raster no coarser than the level: an exact overview
    // when the model has one of that factor.
    const double want = std::ldexp(1.0, level) * 1.01;
    const Raster *best = &levels_[0];
    for (const Raster &r : levels_)
        if (r.factor <= want)
            best = &r;
    return *best;
}

namespace {

std::string number(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

}  // namespace

const ModelReader::Raster *ModelReader::warpedLevel(int level) const
{
    auto found = warpedLevels_.find(level);
    if (found != warpedLevels_.end())
        return found->second.band ? &found->second : nullptr;
    Raster &r = warpedLevels_[level];
    // The source's overview no coarser than the level, warped onto the
    // model's grid at the level's spacing: what the level would read from
    // a warp of the whole source, at the cost of the overview.
    const double factor = std::ldexp(1.0, level);
    GDALRasterBandH sourceBand = GDALGetRasterBand(source_.get(), 1);
    const int sourceWidth = GDALGetRasterXSize(source_.get());
    int overview = -1;
    for (int k = 0; k < GDALGetOverviewCount(sourceBand); ++k) {
        GDALRasterBandH o = GDALGetOverview(sourceBand, k);
        if (o && double(sourceWidth) / GDALGetRasterBandXSize(o) <= factor * 1.01)
            overview = k;
    }
    if (overview < 0)
        return nullptr;
    const std::string option = "OVERVIEW_LEVEL=" + std::to_string(overview);
    const char *options[] = {option.c_str(), nullptr};
    QuietGdal quiet;
    Dataset reduced(GDALOpenEx(file_.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, options, nullptr));
    if (!reduced)
        return nullptr;
    const double *gt = header_.geoTransform;
    const int w = int(std::ceil(header_.width / factor)), h = int(std::ceil(header_.height / factor));
    try {
        r.owner = warped(reduced.get(), file_, warpWkt_,
                         {"-te", number(gt[0]), number(gt[3] + header_.height * gt[5]),
                          number(gt[0] + header_.width * gt[1]), number(gt[3]), "-ts", std::to_string(w),
                          std::to_string(h)});
    } catch (const TerrainError &) {
        return nullptr;  // the warp of the whole source serves it
    }
    r.source = std::move(reduced);
    r.band = GDALGetRasterBand(r.owner.get(), 1);
    r.mask = GDALGetRasterBand(r.owner.get(), GDALGetRasterCount(r.owner.get()));
    r.width = w;
    r.height = h;
    r.factor = double(header_.width) / double(w);
    return &r;
}

void ModelReader::read(int level, const std::vector<int> &columns, const std::vector<int> &rows,
                       float *out) const
{
    const Raster &r = rasterFor(level);
    // A model sample's centre, in the raster's pixels: the two pixels on
    // either side and the weight of the second. The raster is the band
    // itself (factor 1: the sample exactly) or an overview, interpolated
    // bilinearly, so a value depends only on where the sample stands and
    // the level, and the tiles that share a sample read the same value.
    struct Place {
        int a, b;
        double t;
    };
    auto place = [](int sample, int size, int modelSize) {
        const double u = (double(sample) + 0.5) * double(size) / double(modelSize) - 0.5;
        if (u <= 0.0)
            return Place{0, 0, 0.0};
        if (u >= double(size - 1))
            return Place{size - 1, size - 1, 0.0};
        const int a = int(std::floor(u));
        const double t = u - a;
        return Place{a, t > 0.0 ? a + 1 : a, t};
    };
    std::vector<Place> across, down;
    for (int c : columns)
        across.push_back(place(c, r.width, header_.width));
    for (int row : rows)
        down.push_back(place(row, r.height, header_.height));
    const int p0 = across.front().a, p1 = across.back().b;
    const int q0 = down.front().a, q1 = down.back().b;
    const int w = p1 - p0 + 1, h = q1 - q0 + 1;
    if (double(w) * double(h) > kMaxWindowSamples)
        throw TerrainError(file_ + ": too large to read without overviews (" + std::to_string(header_.width) +
                           " x " + std::to_string(header_.height) + " samples)");
    std::vector<float> values(size_t(w) * size_t(h));
    QuietGdal quiet;
    if (GDALRasterIO(r.band, GF_Read, p0, q0, w, h, values.data(), w, h, GDT_Float32, 0, 0) != CE_None)
        throw TerrainError(file_ + ": cannot read its heights (" + lastGdalError() + ")");
    if (r.mask) {
        std::vector<unsigned char> mask(values.size());
        if (GDALRasterIO(r.mask, GF_Read, p0, q0, w, h, mask.data(), w, h, GDT_Byte, 0, 0) != CE_None)
            throw TerrainError(file_ + ": cannot read where it has data (" + lastGdalError() + ")");
        for (size_t i = 0; i < values.size(); ++i)
            if (mask[i] == 0)
                values[i] = std::numeric_limits<float>::quiet_NaN();
    }
    const bool scaled = scale_ != 1.0 || offset_ != 0.0;
    auto at = [&](int p, int q) { return values[size_t(q - q0) * size_t(w) + size_t(p - p0)]; };
    float *o = out;
    for (const Place &y : down)
        for (const Place &x : across) {
            double v;
            if (x.t == 0.0 && y.t == 0.0) {
                v = at(x.a, y.a);
            } else {
                // Holes weigh nothing: the pixels with data share the weight,
                // and a place among no data at all is no data.
                const double wx[2] = {1.0 - x.t, x.t}, wy[2] = {1.0 - y.t, y.t};
                const int px[2] = {x.a, x.b}, py[2] = {y.a, y.b};
                double sum = 0.0, weight = 0.0;
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 2; ++i) {
                        const double f = wx[i] * wy[j];
                        const float z = at(px[i], py[j]);
                        if (f > 0.0 && std::isfinite(z)) {
                            sum += f * double(z);
                            weight += f;
                        }
                    }
                v = weight > 0.0 ? sum / weight : NAN;
            }
            // NaN in a float band is no data whatever the band says.
            if (!std::isfinite(v))
                *o++ = std::numeric_limits<float>::quiet_NaN();
            else
                *o++ = scaled ? static_cast<float>(v * scale_ + offset_) : static_cast<float>(v);
        }
}

bool ModelReader::range(float *low, float *high) const
{
    QuietGdal quiet;
    double minMax[2];
    const Raster &coarsest = levels_.back();
    if (GDALComputeRasterMinMax(coarsest.band, TRUE, minMax) != CE_None || !std::isfinite(minMax[0]))
        return false;
    double a = minMax[0] * scale_ + offset_, b = minMax[1] * scale_ + offset_;
    *low = float(std::min(a, b));
    *high = float(std::max(a, b));
    return true;
}

HeightModel readHeightModel(const std::string &file, std::vector<std::string> &warnings)
{
    return readHeightModel(ModelReader(file, warnings));
}

HeightModel readHeightModel(const ModelReader &reader)
{
    HeightModel model = reader.header();
    std::vector<int> columns(size_t(model.width)), rows(size_t(model.height));
    for (int i = 0; i < model.width; ++i)
        columns[size_t(i)] = i;
    for (int i = 0; i < model.height; ++i)
        rows[size_t(i)] = i;
    model.heights.resize(size_t(model.width) * size_t(model.height));
    reader.read(0, columns, rows, model.heights.data());

    bool any = false;
    for (float v : model.heights) {
        if (std::isnan(v))
            continue;
        model.low = any ? std::min(model.low, v) : v;
        model.high = any ? std::max(model.high, v) : v;
        any = true;
    }
    if (!any)
        throw TerrainError(reader.file() + ": every sample is no data; there is no ground to draw");
    return model;
}

}  // namespace terrain
