// shading.h — the colour of bare ground: a hypsometric tint by height
// (green lowland, tan and brown slopes, grey-white tops, over the model's
// own range) times a hillshade lit from the north-west (azimuth 315°,
// 45° above the horizon), and the hillshade alone to modulate a drape.
#ifndef CLOUDS_VIEWER_TERRAIN_SHADING_H
#define CLOUDS_VIEWER_TERRAIN_SHADING_H

namespace terrain {

// Lambert light on a unit normal from the north-west, in 0..1.
float hillshade(const float normal[3]);
// fraction: 0 at the model's lowest height, 1 at its highest.
void tintedColour(float fraction, const float normal[3], float rgb[3]);
// The grey a drape is multiplied by: light enough to keep the image's
// colours, dark enough on shaded slopes that the relief reads.
float drapeShade(const float normal[3]);

}  // namespace terrain

#endif
