// export_placement.h — where the cloud tool's exported picture lies: the
// footprint of the cloud it shows, in a coordinate system the scene or the
// command line gives, so that the GeoTIFF opens over its ground in a GIS.
#ifndef CLOUDS_VIEWER_APP_EXPORT_PLACEMENT_H
#define CLOUDS_VIEWER_APP_EXPORT_PLACEMENT_H

#include <functional>
#include <string>

#include "hlib/raster.h"

struct HFrame;

namespace cloudview {

// The geotransform of a width × height picture of the cloud the tool frame
// shows: x from xposition - |xsize| to xposition + |xsize|, y likewise,
// north up. False when frame is not the cloud tool or the footprint is not
// finite and wide.
bool cloudToolFootprint(const HFrame *frame, int width, int height, double geoTransform[6]);

// While one lives, a picture the cloud tool exports is georeferenced over
// the footprint of the tool's cloud in the system wkt() gives at the time
// ("" leaves it without georeferencing). Other rasters are left alone.
class ExportPlacement {
public:
    explicit ExportPlacement(std::function<std::string()> wkt);
    ExportPlacement(const ExportPlacement &) = delete;
    ExportPlacement &operator=(const ExportPlacement &) = delete;

private:
    host::RasterPlacerScope scope_;
};

}  // namespace cloudview

#endif
