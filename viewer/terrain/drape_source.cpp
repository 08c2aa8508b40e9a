#include "terrain/drape_source.h"

#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "terrain/drape.h"
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

// The most pixels a side of the warp (a virtual grid, nothing is held
// for it) may have.
constexpr double kMaxWarpSide = 1 << 20;

bool northUp(const double gt[6]) { return gt[1] > 0.0 && gt[2] == 0.0 && gt[4] == 0.0 && gt[5] < 0.0; }

bool overlaps(const Footprint &a, const Footprint &b)
{
    return a.west < b.east && b.west < a.east && a.south < b.north && b.south < a.north;
}

// Owns a coordinate transformation; none between a system and itself.
class Transformation {
public:
    Transformation(OGRSpatialReferenceH from, OGRSpatialReferenceH to)
        : handle_(from && to ? OCTNewCoordinateTransformation(from, to) : nullptr), identity_(!from || !to)
    {
    }
    ~Transformation()
    {
        if (handle_)
            OCTDestroyCoordinateTransformation(handle_);
    }
    Transformation(const Transformation &) = delete;
    Transformation &operator=(const Transformation &) = delete;
    // In place; ok[i] false for a point that has no place in the target.
    void apply(std::vector<double> &xs, std::vector<double> &ys, std::vector<int> &ok) const
    {
        ok.assign(xs.size(), identity_ ? 1 : 0);
        if (handle_)
            OCTTransformEx(handle_, int(xs.size()), xs.data(), ys.data(), nullptr, ok.data());
        for (size_t i = 0; i < xs.size(); ++i)
            ok[i] = ok[i] && std::isfinite(xs[i]) && std::isfinite(ys[i]);
    }
    bool usable() const { return identity_ || handle_; }

private:
    OGRCoordinateTransformationH handle_;
    bool identity_;
};

// Where an image lies in the model's system and how fine it is there.
struct Placement {
    bool bounded = false;  // false: GDAL cannot say where; taken as overlapping
    Footprint bounds;      // its bounding box, from points along its edges
    double pixel = 0.0;    // the side of a square as large as one of its pixels
                           // at the model's centre; 0 when GDAL cannot say
};

// imageSrs null: the image is in the model's system (perhaps rotated).
// Points of the image that have no place in the model's system (a world
// image's far side in a UTM zone) are left out of the bounds, and the
// pixel size is taken where the model is, so that neither is thrown by
// them. (OCTTransformBounds and GDAL's own choice of a warp's resolution
// would do as much but take tens of milliseconds.)
Placement place(GDALDatasetH image, OGRSpatialReferenceH imageSrs, OGRSpatialReferenceH modelSrs,
                double centreX, double centreY)
{
    Placement out;
    double gt[6], inverse[6];
    GDALGetGeoTransform(image, gt);
    if (!GDALInvGeoTransform(gt, inverse))
        return out;
    const Transformation toModel(imageSrs, modelSrs), toImage(modelSrs, imageSrs);
    if (!toModel.usable())
        return out;
    const auto geo = [&gt](double column, double row, std::vector<double> &xs, std::vector<double> &ys) {
        xs.push_back(gt[0] + column * gt[1] + row * gt[2]);
        ys.push_back(gt[3] + column * gt[4] + row * gt[5]);
    };
    const int w = GDALGetRasterXSize(image), h = GDALGetRasterYSize(image);
    constexpr int kSteps = 20;
    std::vector<double> xs, ys;
    std::vector<int> ok;
    for (int k = 0; k <= kSteps; ++k) {
        const double t = double(k) / kSteps;
        geo(t * w, 0.0, xs, ys);
        geo(t * w, h, xs, ys);
        geo(0.0, t * h, xs, ys);
        geo(w, t * h, xs, ys);
    }
    toModel.apply(xs, ys, ok);
    out.bounds = {INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (size_t i = 0; i < xs.size(); ++i)
        if (ok[i]) {
            out.bounds = {std::min(out.bounds.west, xs[i]), std::min(out.bounds.south, ys[i]),
                          std::max(out.bounds.east, xs[i]), std::max(out.bounds.north, ys[i])};
            out.bounded = true;
        }

    std::vector<double> cx = {centreX}, cy = {centreY};
    if (!toImage.usable())
        return out;
    toImage.apply(cx, cy, ok);
    if (!ok[0])
        return out;
    const double column = inverse[0] + cx[0] * inverse[1] + cy[0] * inverse[2];
    const double row = inverse[3] + cx[0] * inverse[4] + cy[0] * inverse[5];
    xs.clear();
    ys.clear();
    geo(column, row, xs, ys);
    geo(column + 1.0, row, xs, ys);
    geo(column, row + 1.0, xs, ys);
    toModel.apply(xs, ys, ok);
    if (!ok[0] || !ok[1] || !ok[2])
        return out;
    const double area = std::fabs((xs[1] - xs[0]) * (ys[2] - ys[0]) - (xs[2] - xs[0]) * (ys[1] - ys[0]));
    out.pixel = std::isfinite(area) && area > 0.0 ? std::sqrt(area) : 0.0;
    return out;
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
    QuietGdal quiet;
    image_ = openDrapeImage(file, warnings);
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
        const Placement placed = place(colours_.get(), sameSystem ? nullptr : imageSrs.get(), modelSrs.get(),
                                       0.5 * (model.west + model.east), 0.5 * (model.south + model.north));
        empty_ = placed.bounded && !overlaps(placed.bounds, model);
        // Only the model's footprint is ever read: a warp of just that
        // serves an image far larger than the model (a whole continent
        // in degrees) as well, at the image's own resolution there.
        std::vector<std::string> args = {"-of", "VRT", "-r", "bilinear", "-dstalpha", "-te",
                                         exactArg(model.west), exactArg(model.south), exactArg(model.east),
                                         exactArg(model.north)};
        if (!sameSystem)
            args.insert(args.end(), {"-t_srs", modelWkt});
        // A whole number of pixels across the footprint: gdalwarp rounds
        // the count and keeps the resolution, which would pull the warp's
        // east and south edges in off the model's.
        if (placed.pixel > 0.0) {
            const auto across = [&placed](double extent) {
                return extent / std::clamp(std::ceil(extent / placed.pixel), 1.0, double(kMaxWarpSide));
            };
            args.insert(args.end(), {"-tr", exactArg(across(model.east - model.west)),
                                     exactArg(across(model.north - model.south))});
        }
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
