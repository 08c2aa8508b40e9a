// Raster services until the GDAL ones land: every call fails with a reason.
#include "hlib.h"
#include "hlib/error.h"

extern "C" {
HOST_API HPixelRectStack *himg_PixelRectStackCreate(int32_t, int32_t, int32_t, int32_t, HErrorSlot *err)
{ herr_Set(err, "raster: not available"); return nullptr; }
HOST_API void himg_PixelRectStackDelete(HPixelRectStack *, HErrorSlot *) {}
HOST_API HRaster *himg_LayerStackCreate(HStringList *, int32_t, int32_t, int32_t, int32_t, HCallOptions *) { return nullptr; }
HOST_API int32_t himg_LayerStackWrite(HRaster *, int32_t, int32_t, int32_t, int32_t, HPixelRectStack *, HErrorSlot *) { return 0; }
HOST_API int32_t himg_LayerStackChangeOptions(HRaster *, HErrorSlot *, ...) { return 0; }
HOST_API int32_t himg_LayerStackClose(HRaster *, HErrorSlot *) { return 0; }
HOST_API HRaster *himg_LayerStackOpen(HStringList *, HCallOptions *) { return nullptr; }
HOST_API HCallOptions *hint_GetInit(HErrorSlot *, ...) { return nullptr; }
}
