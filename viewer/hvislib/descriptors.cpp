// Descriptor columns: a band's named table of values by pixel value, kept
// with the raster (hlib/raster.h does the keeping).
#include "hvislib.h"
#include "hlib/raster.h"

extern "C" {

HOST_API void hvis_WriteHdscColumn(HBand *band, HBaseData *column, const char *name,
                                   int32_t entries, HErrorSlot *err) {
    host::writeDescriptorColumn(band, column, name, entries, err);
}

} // extern "C"
