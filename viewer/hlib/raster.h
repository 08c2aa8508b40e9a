// raster.h — what lies behind the raster handles of himg_ (HRaster, HBand),
// for the descriptor-column service of hvislib and for tests. Internal to
// the stand-in host.
#ifndef CLOUDS_VIEWER_HLIB_RASTER_H
#define CLOUDS_VIEWER_HLIB_RASTER_H

#include "host_export.h"
#include "host_types.h"

#include <cstddef>
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

// Raster handles made and not yet closed (a caller must close each).
HOST_API size_t liveRasterCount();

} // namespace host

#endif
