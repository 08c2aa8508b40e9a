// Pixel rectangle stacks: the planes a raster is filled from. Every block
// is the host heap's, so a caller's leak count sees a stack it kept.
#include "hlib.h"
#include "hlib/error.h"

#include <cstring>

extern "C" {

HOST_API HPixelRectStack *himg_PixelRectStackCreate(int32_t planes, int32_t width,
                                                    int32_t height, int32_t pixelType,
                                                    HErrorSlot *err) {
    if (planes < 1 || planes > HIMG_MAX_PLANES) {
        herr_Set(err, "pixel planes: %d planes asked for; a stack holds 1 to %d", int(planes),
                 int(HIMG_MAX_PLANES));
        return nullptr;
    }
    if (width < 1 || height < 1 || width > HIMG_MAX_SIDE || height > HIMG_MAX_SIDE) {
        herr_Set(err, "pixel planes: size %d x %d; each side must be 1 to %d pixels", int(width),
                 int(height), int(HIMG_MAX_SIDE));
        return nullptr;
    }
    if (pixelType != HGDA_UINT8) {
        herr_Set(err, "pixel planes: pixel type %d; only unsigned bytes (type %d) are kept",
                 int(pixelType), int(HGDA_UINT8));
        return nullptr;
    }
    auto *stack = static_cast<HPixelRectStack *>(hmsc_HeapMalloc(sizeof(HPixelRectStack)));
    auto *rects = static_cast<HPixelRect *>(hmsc_HeapMalloc(sizeof(HPixelRect) * size_t(planes)));
    if (!stack || !rects) {
        hmsc_HeapFree(stack);
        hmsc_HeapFree(rects);
        herr_Set(err, "pixel planes: out of memory for %d planes of %d x %d", int(planes),
                 int(width), int(height));
        return nullptr;
    }
    stack->count = 0;
    stack->planes = rects;
    const size_t bytes = size_t(width) * size_t(height);
    for (int32_t k = 0; k < planes; ++k) {
        auto *data = static_cast<unsigned char *>(hmsc_HeapMalloc(bytes));
        if (!data) {
            himg_PixelRectStackDelete(stack, nullptr);
            herr_Set(err, "pixel planes: out of memory for %d planes of %d x %d", int(planes),
                     int(width), int(height));
            return nullptr;
        }
        std::memset(data, 0, bytes);
        rects[k] = HPixelRect{width, height, pixelType, data};
        stack->count = k + 1;
    }
    return stack;
}

HOST_API void himg_PixelRectStackDelete(HPixelRectStack *stack, HErrorSlot *) {
    if (!stack)
        return;
    for (int32_t k = 0; k < stack->count; ++k)
        hmsc_HeapFree(stack->planes[k].data);
    hmsc_HeapFree(stack->planes);
    hmsc_HeapFree(stack);
}

} // extern "C"
