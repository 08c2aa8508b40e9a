// drape_source.h — an image laid over the model, read a rectangle at a
// time at whatever resolution the caller asks: a tile close up gets the
// image's own pixels, a tile far off gets them from the image's overviews
// (when it has them), so a huge image is never read whole.
//
// The colours are the whole-model drape's (drape_colours.h): one stretch,
// taken once from the whole image, serves every rectangle. An image in
// another coordinate system or grid is put into the model's frame through
// a warped VRT (bilinear), which warps only what a read asks for; one that
// is already in the model's frame, north up, is read as it is.
//
// Threads: GDAL handles are not shared between threads. Each thread that
// reads makes its own DrapeSource from the same arguments; making them on
// several threads at once is safe.
#ifndef CLOUDS_VIEWER_TERRAIN_DRAPE_SOURCE_H
#define CLOUDS_VIEWER_TERRAIN_DRAPE_SOURCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "terrain/drape_colours.h"
#include "terrain/gdal_util.h"

namespace terrain {

class DrapeSource {
public:
    // Opens the image for a model with the given frame (WKT, "" for pixel
    // units), geotransform (north up) and size in samples. Throws
    // TerrainError "file: reason" when GDAL cannot read it. Appends to
    // warnings "file: has no georeferencing; ..." (the image is then
    // stretched over the model's footprint) and "file: does not overlap
    // the model; ..." (the source is then empty()).
    DrapeSource(const std::string &file, const std::string &modelWkt, const double modelGeoTransform[6],
                int modelWidth, int modelHeight, std::vector<std::string> &warnings);
    DrapeSource(DrapeSource &&) = default;
    DrapeSource &operator=(DrapeSource &&) = default;

    // Nothing to drape: the image lies off the model.
    bool empty() const { return empty_; }

    // The texels covering x0..x1 (west..east), y0..y1 (south..north) in
    // the model's frame, width x height of them, RGB, row 0 north, tightly
    // packed; texel (i, j) stands at x0 + (i + 0.5)(x1 - x0) / width,
    // y1 - (j + 0.5)(y1 - y0) / height. Where the image has no data, or
    // does not reach, texels are mid-grey (kNoImageGrey). False when
    // there is nothing to read (empty(), an empty rectangle or size) or
    // GDAL failed (lastError() says why); rgb is then all grey.
    bool read(double x0, double y0, double x1, double y1, int width, int height, std::vector<uint8_t> &rgb);

    // Why the last read failed, "file: reason".
    const std::string &lastError() const { return error_; }

private:
    std::string file_;
    // Declared in the order each refers to the one before: closed in
    // reverse.
    Dataset image_;
    Dataset colours_;  // the colour bands (drape_colours.h)
    Dataset warp_;     // colours_ in the model's frame, when it is not already
    GDALDatasetH frame_ = nullptr;  // what reads read: warp_ or colours_
    double gt_[6] = {0, 1, 0, 0, 0, -1};  // frame_'s, north up
    int frameWidth_ = 0, frameHeight_ = 0;
    int bands_ = 0;       // colour bands: 1 (grey) or 3
    int alphaBand_ = 0;   // the warp's alpha band, 0 when reading colours_
    ColourStretch stretch_;
    bool empty_ = false;
    std::string error_;
};

}  // namespace terrain

#endif
