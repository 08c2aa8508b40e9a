// height_model.h — an elevation model read with GDAL: band 1 of any
// raster GDAL opens, as 32-bit floats on a north-up grid in metres.
//
// - No-data samples (the band's no-data value, NaN, or land outside the
//   source after a warp) become NaN: holes, never heights.
// - A model in geographic coordinates (degrees) is warped, bilinearly, to
//   the UTM zone of its centre (WGS 84, EPSG:326zz north of the equator,
//   327zz south); a rotated or sheared grid is warped north-up in its own
//   coordinate system. Either way GDAL's warped VRT does it.
// - A model without georeferencing is used in pixel units: x = column,
//   y = -row, so north (row 0) stays up.
// - Samples stand at pixel centres; the footprint (extent) is the grid's
//   outer edges, as gdalinfo gives the corners.
//
// readHeightModel reads the whole band, 4 bytes a sample (a 4096 × 4096
// model takes 64 MiB); a ModelReader reads windows of it at a level of
// detail, from the model's overviews, for models too large for that.
#ifndef CLOUDS_VIEWER_TERRAIN_HEIGHT_MODEL_H
#define CLOUDS_VIEWER_TERRAIN_HEIGHT_MODEL_H

#include <gdal.h>

#include <map>
#include <string>
#include <vector>

#include "terrain/gdal_util.h"

namespace terrain {

struct HeightModel {
    int width = 0, height = 0;             // samples per row, rows
    double geoTransform[6] = {0, 1, 0, 0, 0, -1};  // GDAL's: north up (gt[2] = gt[4] = 0)
    std::vector<float> heights;            // row 0 north, NaN for no data
    std::string wkt;                       // the coordinate system, "" for pixel units
    std::string frameName;                 // "UTM zone 25S (WGS 84)", "pixel units", ...
    std::string warpedFrom;                // "" or the source's frame when it was warped
    float low = 0.0f, high = 0.0f;         // lowest and highest heights

    float at(int column, int row) const { return heights[size_t(row) * size_t(width) + size_t(column)]; }
    double sampleX(double column) const { return geoTransform[0] + (column + 0.5) * geoTransform[1]; }
    double sampleY(double row) const { return geoTransform[3] + (row + 0.5) * geoTransform[5]; }
};

// Reads the model. Throws TerrainError "file: reason" when GDAL cannot read
// it or every sample is no data; appends one line per warning ("file: has
// no georeferencing; ...", "file: has N bands; ...") to warnings.
HeightModel readHeightModel(const std::string &file, std::vector<std::string> &warnings);
class ModelReader;
// The same through a reader already open.
HeightModel readHeightModel(const ModelReader &reader);

// One thread's handle on a model (GDAL's handles are not shared between
// threads): opens it as readHeightModel does, then reads samples at a
// level of detail. Level L stands for every 2^L-th sample; its values come
// from the model's overview of that factor (the band itself at level 0,
// the nearest finer overview when the model has none of that factor).
class ModelReader {
public:
    // Throws TerrainError "file: reason"; warnings as readHeightModel.
    ModelReader(const std::string &file, std::vector<std::string> &warnings);
    ~ModelReader();
    ModelReader(const ModelReader &) = delete;
    ModelReader &operator=(const ModelReader &) = delete;

    // The model's grid and frame; no heights, low and high unset.
    const HeightModel &header() const { return header_; }
    const std::string &file() const { return file_; }
    // Heights in metres (scale and offset applied, NaN for no data) at
    // every pair of the model columns and rows given (ascending), row by
    // row, into out. A sample's value depends only on its column, row and
    // the level. Throws TerrainError when GDAL cannot read it.
    void read(int level, const std::vector<int> &columns, const std::vector<int> &rows, float *out) const;
    // How many overviews the model has (for a warped model, its source).
    int overviewCount() const
    {
        return warp_ ? GDALGetOverviewCount(GDALGetRasterBand(source_.get(), 1)) : int(levels_.size()) - 1;
    }
    // Lowest and highest height from the coarsest overview (GDAL's
    // approximate statistics); false when it has no data at all.
    bool range(float *low, float *high) const;

    // A window beyond this many samples is refused: a model that large
    // is read through overviews.
    static constexpr double kMaxWindowSamples = 268435456.0;

private:
    struct Raster {
        GDALRasterBandH band = nullptr, mask = nullptr;  // mask: 0 where no data; null: all valid
        int width = 0, height = 0;
        double factor = 1.0;
        Dataset source, owner;  // a warped level's source overview and warp
    };
    const Raster &rasterFor(int level) const;
    const Raster *warpedLevel(int level) const;

    std::string file_;
    Dataset source_, warp_;
    HeightModel header_;
    double scale_ = 1.0, offset_ = 0.0;
    std::vector<Raster> levels_;  // the band, then its overviews finest first
    std::string warpWkt_;         // a model in degrees: the UTM zone it is warped to
    mutable std::map<int, Raster> warpedLevels_;  // by level; a null band: none
};

// The EPSG code of the WGS 84 UTM zone of a longitude and latitude
// (degrees): 326zz north of the equator, 327zz south of it. Longitudes
// past the antimeridian (0..360 grids) count as their -180..180 equivalents.
int utmEpsg(double lon, double lat);

// The coordinate system, as WKT, of a scene over the model in file: a
// model in degrees means the UTM zone readHeightModel warps it to, any
// other its own system. Reads only the header. Throws TerrainError
// "file: reason" when GDAL cannot read it or it has no georeferencing or
// no coordinate system.
std::string sceneFrameWkt(const std::string &file);

// "file: not a raster GDAL can read (GDAL's reason)" after a failed
// GDALOpen: shared with the drape's reader.
std::string unreadableMessage(const std::string &file);

}  // namespace terrain

#endif
