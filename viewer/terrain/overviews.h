// overviews.h — overviews for a model too large to read whole: GDAL's
// reduced copies of the band (the average of each block of 2, 4, 8, ...
// samples a side), which the ground reads its distant tiles from.
//
// A model that has none gets them built once, down to a raster of at most
// kTileSamples samples a side, into "FILE.ovr" beside it (GDAL's own
// place, which gdalinfo and QGIS find too), or, when its folder cannot be
// written, into the user's cache folder ($XDG_CACHE_HOME or ~/.cache,
// "cloudview/overviews"), as a VRT of the model carrying them. Building
// reads the whole model once: minutes for tens of gigabytes.
#ifndef CLOUDS_VIEWER_TERRAIN_OVERVIEWS_H
#define CLOUDS_VIEWER_TERRAIN_OVERVIEWS_H

#include <functional>
#include <string>

namespace terrain {

// Called with the share done, 0 to 1; false stops the build.
using BuildProgress = std::function<bool(double)>;

struct OverviewSource {
    std::string open;  // the name to read the model through: file, or the cache's VRT of it
    std::string said;  // one line when they were built (or found in the cache), else ""
};

// The model's source with overviews. file is the model as named (a
// degrees model gets them on its source, which its warp then reads).
// Throws TerrainError "file: reason" when they cannot be built.
OverviewSource withOverviews(const std::string &file, const BuildProgress &progress);

// A progress bar on stderr: "building overviews [######....] 45%".
BuildProgress terminalProgress(const std::string &file);

}  // namespace terrain

#endif
