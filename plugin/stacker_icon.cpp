#include "plugin/stacker_icon.h"

#include "hlib.h"
#include "hmllib.h"
#include "plugin/entry.h"
#include "plugin/records.h"

namespace {

constexpr int32_t kIconHeight = 48;

}  // namespace

void stackerTextPosition(int32_t bitmapWidth, int32_t e3, int32_t e4, int32_t *x, int32_t *y)
{
    const int32_t th = e4 - e3;
    *y = kIconHeight / 2 - th / 2 - e3;
    // The gap after the bitmap grows with the font: th - 2 pixels.
    *x = bitmapWidth + th + 4;
}

HCanvas *cloudLayerStackerIcon(HLayer *hostLayer, HStackerCanvas *stacker, int32_t width,
                               HErrorSlot *callerErr)
{
    if (!stacker || (callerErr && *callerErr) || !hostLayer)
        return nullptr;
    CloudLayer *layer = static_cast<CloudLayer *>(hostLayer->instance);
    if (layer->stackerIcon)
        return layer->stackerIcon;

    // The host's errors here are its own to show; the icon is made with
    // whatever it gives.
    HErrorSlot err = nullptr;
    int32_t bw = 0, bh = 0, hotX = 0, hotY = 0;
    HCanvas *bitmap = hhml_CanvasReadXpmFile(stacker->handle, "cloud.bmp", &bw, &bh, &hotX, &hotY,
                                             &err);
    layer->stackerIcon = hhml_CanvasCreateOffScreenCopyVis(stacker->canvas, width, kIconHeight,
                                                           &err);
    HCanvasContext *ctx = hhml_CanvasContextCreate(layer->stackerIcon, &err);
    hhml_CanvasContextSetColorMethod(ctx, 1, &err);

    const HCanvasColor lightGrey{0, 0.9, 0.9, 0.9};
    const HCanvasColor darkGrey{0, 0.4, 0.4, 0.4};
    const HCanvasColor black{0, 0.0, 0.0, 0.0};
    HCanvasColor face{0, 0.0, 0.0, 0.0};
    if (double *rgb = hhml_ButtonFaceColorGet()) {
        face.red = rgb[0];
        face.green = rgb[1];
        face.blue = rgb[2];
        hmsc_HeapFree(rgb);
    }
    hhml_CanvasDrawBevelRect(ctx, 0, 0, 0, 0, width, kIconHeight, 2, &lightGrey, &face, &darkGrey,
                             &err);
    hhml_CanvasContextSetColorMethod(ctx, 0, &err);
    hhml_CanvasCopyArea(ctx, bitmap, 0, 0, bw, bh, 6, 6, &err);
    hhml_CanvasDelete(bitmap, &err);

    char *name = cloudLayerDisplayName(hostLayer);
    hhml_CanvasContextSetFont(ctx, "stackerbold", &err);
    int32_t e1 = 0, e2 = 0, e3 = 0, e4 = 0;
    hhml_CanvasContextGetStringExtents(ctx, name, &e1, &e2, &e3, &e4, &err);
    int32_t x = 0, y = 0;
    stackerTextPosition(bw, e3, e4, &x, &y);
    hhml_CanvasContextSetForeground(ctx, &black, &err);
    hhml_CanvasDrawText(ctx, name, x, y, &err);
    hhml_CanvasContextDelete(ctx, &err);
    hmsc_HeapFree(name);
    return layer->stackerIcon;
}
