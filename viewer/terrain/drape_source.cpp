#include "terrain/drape_source.h"

#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "terrain/height_model.h"
#include "terrain/terrain_error.h"

namespace terrain {

namespace {

using SpatialRef = std::unique_ptr<std::remove_pointer_t<OGRSpatialReferenceH>, void (*)(OGRSpatialReferenceH)>;

SpatialRef noRef() { return SpatialRef(nullptr, OSRDestroySpatialReference); }

// x east, y north whatever the system's own axis order: as rasters give
// them.
SpatialRef gisOrder(OGRSpatialReferenceH srs)
{
    SpatialRef ref(srs, OSRDestroySpatialReference);
    if (ref)
        OSRSetAxisMappingStrategy(ref.get(), OAMS_TRADITIONAL_GIS_ORDER);
    return ref;
}

SpatialRef fromWkt(const std::string &wkt)
{
    if (wkt.empty())
        return noRef();
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    if (OSRSetFromUserInput(srs, wkt.c_str()) != OGRERR_NONE) {
        OSRDestroySpatialReference(srs);
        return noRef();
    }
    return gisOrder(srs);
}

bool northUp(const double gt[6]) { return gt[1] > 0.0 && gt[2] == 0.0 && gt[4] == 0.0 && gt[5] < 0.0; }

bool overlaps(const Footprint &a, const Footprint &b)
{
    return a.west < b.east && b.west < a.east && a.south < b.north && b.south < a.north;
}

// The image's bounding box in the model's system, densified along its
// edges; false when GDAL cannot say (the caller then takes it as
// overlapping: a wrong "no overlap" would lose the drape).
bool boundsIn(GDALDatasetH image, OGRSpatialReferenceH imageSrs, OGRSpatialReferenceH modelSrs, Footprint &out)
{
    double gt[6];
    GDALGetGeoTransform(image, gt);
    const int w = GDALGetRasterXSize(image), h = GDALGetRasterYSize(image);
    Footprint in{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (int corner = 0; corner < 4; ++corner) {
        const double c = (corner & 1) ? w : 0, r = (corner & 2) ? h : 0;
        const double x = gt[0] + c * gt[1] + r * gt[2], y = gt[3] + c * gt[4] + r * gt[5];
        in = {std::min(in.west, x), std::min(in.south, y), std::max(in.east, x), std::max(in.north, y)};
    }
    OGRCoordinateTransformationH transform = OCTNewCoordinateTransformation(imageSrs, modelSrs);
    if (!transform)
        return false;
    const bool ok = OCTTransformBounds(transform, in.west, in.south, in.east, in.north, &out.west, &out.south,
                                       &out.east, &out.north, 21) != 0;
    OCTDestroyCoordinateTransformation(transform);
    return ok && std::isfinite(out.west) && std::isfinite(out.south) && std::isfinite(out.east) &&
           std::isfinite(out.north);
}

// A window edge a rounding error off a whole pixel is on it, so that a
// read at the image's own grid copies its pixels instead of resampling.
double snapped(double pixel)
{
    const double whole = std::round(pixel);
    return std::fabs(pixel - whole) < 1e-6 ? whole : pixel;
}

// The texels [first, last) of a row (or column) of `count` whose centres
// fall on the grid's 0..size, from the rectangle's edge in grid pixels
// and a texel's size in them.
void texelsOnGrid(double edge, double texel, int count, int size, int &first, int &last)
{
    const auto clampToCount = [count](double v) { return int(std::clamp(v, 0.0, double(count))); };
    first = clampToCount(std::ceil(-edge / texel - 0.5));
    last = clampToCount(std::ceil((size - edge) / texel - 0.5));
}

}  // namespace

DrapeSource::DrapeSource(const std::string &file, const std::string &modelWkt, const double modelGeoTransform[6],
                         int modelWidth, int modelHeight, std::vector<std::string> &warnings)
    : file_(file)
{
    registerGdal();
    QuietGdal quiet;
    image_.reset(openRasterFile(file));
    if (!image_)
        throw TerrainError(unreadableMessage(file));
    if (GDALGetRasterCount(image_.get()) < 1)
        throw TerrainError(file + ": not an image (it has no raster band)");
    double imageGt[6];
    const bool georeferenced = GDALGetGeoTransform(image_.get(), imageGt) == CE_None;
    if (!georeferenced)
        warnings.push_back(file + ": has no georeferencing; it is stretched over the model's footprint");
    const Footprint model = footprintOf(modelGeoTransform, modelWidth, modelHeight);
    colours_ = colourBands(image_.get(), file, model, modelWkt);
    stretch_ = ColourStretch::of(colours_.get());
    bands_ = GDALGetRasterCount(colours_.get());

    // An image with no system of its own is taken to be in the model's,
    // as is any image over a model in pixel units.
    GDALGetGeoTransform(colours_.get(), gt_);
    SpatialRef modelSrs = fromWkt(modelWkt);
    OGRSpatialReferenceH own = GDALGetSpatialRef(colours_.get());
    SpatialRef imageSrs = own ? gisOrder(OSRClone(own)) : noRef();
    const char *sameness[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
    const bool sameSystem = !modelSrs || !imageSrs || OSRIsSameEx(imageSrs.get(), modelSrs.get(), sameness);

    if (sameSystem && northUp(gt_)) {
        frame_ = colours_.get();
        empty_ = !overlaps(footprintOf(gt_, GDALGetRasterXSize(frame_), GDALGetRasterYSize(frame_)), model);
    } else {
        Footprint bounds;
        empty_ = !sameSystem && boundsIn(colours_.get(), imageSrs.get(), modelSrs.get(), bounds) &&
                 !overlaps(bounds, model);
        // Only the model's footprint is ever read: a warp of just that
        // also serves an image far larger than the model (a whole
        // continent in degrees) without GDAL sizing the whole of it.
        std::vector<std::string> args = {"-of", "VRT", "-r", "bilinear", "-dstalpha", "-te",
                                         exactArg(model.west), exactArg(model.south), exactArg(model.east),
                                         exactArg(model.north)};
        if (!sameSystem)
            args.insert(args.end(), {"-t_srs", modelWkt});
        if (!empty_) {
            warp_.reset(gdalWarp(colours_.get(), std::move(args)));
            if (!warp_)
                throw TerrainError(file + ": cannot warp it onto the model (" + lastGdalError() + ")");
            frame_ = warp_.get();
            alphaBand_ = GDALGetRasterCount(frame_);
            GDALGetGeoTransform(frame_, gt_);
        }
    }
    if (empty_) {
        warnings.push_back(file + ": does not overlap the model; the ground is shaded instead");
        frame_ = nullptr;
        return;
    }
    frameWidth_ = GDALGetRasterXSize(frame_);
    frameHeight_ = GDALGetRasterYSize(frame_);
}

bool DrapeSource::read(double x0, double y0, double x1, double y1, int width, int height,
                       std::vector<uint8_t> &rgb)
{
    error_.clear();
    if (width <= 0 || height <= 0) {
        rgb.clear();
        error_ = file_ + ": nothing to read (a tile of " + std::to_string(width) + " x " +
                 std::to_string(height) + " texels)";
        return false;
    }
    const size_t n = size_t(width) * size_t(height);
    rgb.assign(n * 3, kNoImageGrey);
    if (empty_) {
        error_ = file_ + ": does not overlap the model";
        return false;
    }
    if (!(x1 > x0) || !(y1 > y0)) {
        error_ = file_ + ": nothing to read (an empty rectangle)";
        return false;
    }

    // The rectangle in the frame's pixels (row 0 north) and the texels
    // whose centres fall on it; the rest stay grey.
    const double px0 = (x0 - gt_[0]) / gt_[1], px1 = (x1 - gt_[0]) / gt_[1];
    const double py0 = (y1 - gt_[3]) / gt_[5], py1 = (y0 - gt_[3]) / gt_[5];
    const double dx = (px1 - px0) / width, dy = (py1 - py0) / height;
    int i0, i1, j0, j1;
    texelsOnGrid(px0, dx, width, frameWidth_, i0, i1);
    texelsOnGrid(py0, dy, height, frameHeight_, j0, j1);
    if (i0 >= i1 || j0 >= j1)
        return true;
    const double wx0 = snapped(std::max(0.0, px0 + i0 * dx));
    const double wx1 = snapped(std::min(double(frameWidth_), px0 + i1 * dx));
    const double wy0 = snapped(std::max(0.0, py0 + j0 * dy));
    const double wy1 = snapped(std::min(double(frameHeight_), py0 + j1 * dy));
    const int xOff = std::min(frameWidth_ - 1, int(std::floor(wx0)));
    const int yOff = std::min(frameHeight_ - 1, int(std::floor(wy0)));
    const int xSize = std::clamp(int(std::ceil(wx1)) - xOff, 1, frameWidth_ - xOff);
    const int ySize = std::clamp(int(std::ceil(wy1)) - yOff, 1, frameHeight_ - yOff);
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_Bilinear;
    extra.bFloatingPointWindowValidity = TRUE;
    extra.dfXOff = wx0;
    extra.dfYOff = wy0;
    extra.dfXSize = std::max(wx1 - wx0, 1e-9);
    extra.dfYSize = std::max(wy1 - wy0, 1e-9);

    QuietGdal quiet;
    // Every band in one read, so that a warp runs once for them all.
    std::vector<int> bandList;
    for (int b = 1; b <= bands_; ++b)
        bandList.push_back(b);
    if (alphaBand_)
        bandList.push_back(alphaBand_);
    std::vector<float> values(n * bandList.size(), 0.0f);
    const size_t first = size_t(j0) * size_t(width) + size_t(i0);
    const int texelsX = i1 - i0, texelsY = j1 - j0;
    if (GDALDatasetRasterIOEx(frame_, GF_Read, xOff, yOff, xSize, ySize, values.data() + first, texelsX, texelsY,
                              GDT_Float32, int(bandList.size()), bandList.data(), sizeof(float),
                              GSpacing(sizeof(float)) * width, GSpacing(sizeof(float) * n), &extra) != CE_None) {
        error_ = file_ + ": cannot read it (" + lastGdalError() + ")";
        return false;
    }
    // Texels off the image stay invalid; on it, the warp's alpha or the
    // image's own mask (no-data value, mask band) says where there is data.
    std::vector<unsigned char> valid(n, 0);
    GDALRasterBandH firstBand = GDALGetRasterBand(frame_, 1);
    if (alphaBand_) {
        const float *alpha = values.data() + n * size_t(bands_);
        for (size_t i = 0; i < n; ++i)
            valid[i] = alpha[i] > 0.0f;
    } else if (!(GDALGetMaskFlags(firstBand) & GMF_ALL_VALID)) {
        if (GDALRasterIOEx(GDALGetMaskBand(firstBand), GF_Read, xOff, yOff, xSize, ySize, valid.data() + first,
                           texelsX, texelsY, GDT_Byte, 1, GSpacing(width), &extra) != CE_None) {
            error_ = file_ + ": cannot read where it has data (" + lastGdalError() + ")";
            return false;
        }
    } else {
        for (int j = j0; j < j1; ++j)
            std::fill_n(valid.begin() + ptrdiff_t(size_t(j) * size_t(width) + size_t(i0)), texelsX, 1);
    }
    const float *planes[3] = {values.data(), values.data() + std::min(1, bands_ - 1) * n,
                              values.data() + std::min(2, bands_ - 1) * n};
    packRgb(planes, bands_, valid.data(), n, stretch_, rgb.data());
    return true;
}

}  // namespace terrain
