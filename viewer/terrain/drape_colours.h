// drape_colours.h — how an image's values become a drape's colours, shared
// by the drape read whole over the model (drape.h) and the one read a tile
// at a time (drape_source.h), so both show an image alike.
//
// - Bands: 1, 2, 3 as red, green and blue when the image has three or
//   more; band 1 as grey otherwise; a palette is expanded to RGB first.
// - Values other than 8-bit are stretched from each band's lowest to its
//   highest value over the whole image, so every part of it is coloured
//   the same way wherever it is read.
// - Texels where the image has no data are mid-grey.
#ifndef CLOUDS_VIEWER_TERRAIN_DRAPE_COLOURS_H
#define CLOUDS_VIEWER_TERRAIN_DRAPE_COLOURS_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "terrain/gdal_util.h"

namespace terrain {

// A texel the image does not cover, or covers with no data.
constexpr uint8_t kNoImageGrey = 128;

// A rectangle in the model's frame: x west..east, y south..north.
struct Footprint {
    double west = 0, south = 0, east = 0, north = 0;
};

// The outer edges of a north-up grid (GDAL's geotransform).
Footprint footprintOf(const double geoTransform[6], int width, int height);

// The image's colour bands as a virtual dataset (nothing is read): three
// bands, or one for grey. An image without georeferencing is given
// `stretchedOnto` as its corners and `wkt` as its system, so that it lies
// on them exactly. Throws TerrainError "file: cannot read its colours (...)".
Dataset colourBands(GDALDatasetH image, const std::string &file, const Footprint &stretchedOnto,
                    const std::string &wkt);

// Values to bytes, band by band.
class ColourStretch {
public:
    // The stretch of colourBands' bands: none for 8-bit ones, else from
    // GDAL's approximate lowest and highest values (read from overviews
    // when the image has them, so a huge image costs little).
    static ColourStretch of(GDALDatasetH colours);
    // band 0..2 (a grey image's one band is band 0); a value that is not
    // finite is grey.
    uint8_t byte(int band, float value) const;

private:
    float lo_[3] = {0.0f, 0.0f, 0.0f};
    float hi_[3] = {255.0f, 255.0f, 255.0f};
};

// Packs n texels into rgb (3 bytes each) from `bands` planes of values (1:
// grey, 3: red, green, blue); where valid is given and 0 the texel is grey.
void packRgb(const float *const planes[], int bands, const unsigned char *valid, size_t n,
             const ColourStretch &stretch, uint8_t *rgb);

}  // namespace terrain

#endif
