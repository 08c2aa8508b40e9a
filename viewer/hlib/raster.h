// raster.h — what lies behind the raster handles of himg_ (HRaster, HBand),
// for the descriptor-column service of hvislib and for tests. Internal to
// the stand-in host.
#ifndef CLOUDS_VIEWER_HLIB_RASTER_H
#define CLOUDS_VIEWER_HLIB_RASTER_H

#include "host_export.h"
#include "host_types.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace host {

// A band's descriptor column as it will be stored: reals (type 10) or
// integers (type 3) by row.
struct DescriptorColumn {
    std::string name;
    bool real = true;
    std::vector<double> values;
};

// Stores (or replaces) a named column of a band of a raster opened for its
// descriptor tables; the raster's close writes it. False with the slot set
// when the band or the column cannot take it.
bool writeDescriptorColumn(HBand *band, const HBaseData *column, const char *name,
                           int32_t entries, HErrorSlot *err);

// Where a created raster lies: GDAL's geotransform and the coordinate
// system as WKT.
struct RasterPlacement {
    double geoTransform[6] = {0, 1, 0, 0, 0, 1};
    std::string wkt;
};

// Asked once for each raster himg_LayerStackCreate makes (file, width,
// height); true with the placement to georeference it, false to write it
// without. Exports cannot say where they lie themselves: the viewer that
// knows the scene answers for them.
using RasterPlacer = std::function<bool(const std::string &file, int32_t width, int32_t height,
                                        RasterPlacement &placement)>;

// Installs the placer for as long as it lives: the newest live scope's
// placer answers. Scopes may end in any order (two viewers, say).
class HOST_API RasterPlacerScope {
public:
    explicit RasterPlacerScope(RasterPlacer placer);
    ~RasterPlacerScope();
    RasterPlacerScope(const RasterPlacerScope &) = delete;
    RasterPlacerScope &operator=(const RasterPlacerScope &) = delete;
};

// Raster handles made and not yet closed (a caller must close each).
HOST_API size_t liveRasterCount();

} // namespace host

#endif
