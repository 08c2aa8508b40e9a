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
// Limits: the whole band is read into memory, 4 bytes a sample (a
// 4096 × 4096 model takes 64 MiB).
#ifndef CLOUDS_VIEWER_TERRAIN_HEIGHT_MODEL_H
#define CLOUDS_VIEWER_TERRAIN_HEIGHT_MODEL_H

#include <string>
#include <vector>

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
