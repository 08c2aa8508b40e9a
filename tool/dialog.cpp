#include "tool/dialog.h"

#include <string.h>

#include "hlib.h"
#include "hmllib.h"
#include "hvislib.h"
#include "plugin/entry.h"
#include "synth/noise.h"
#include "synth/noise_grid.h"

namespace {

CloudLayer *cloudLayerOf(HLayer *hostLayer)
{
    return hostLayer ? static_cast<CloudLayer *>(hostLayer->instance) : nullptr;
}

// The tile column the preview shows at canvas position c of size pixels.
// Computed in 64 bits so that a huge texsize cannot overflow; wherever the
// 32-bit product fits, the result is the same.
int32_t previewSample(int32_t texsize, int32_t c, int32_t size)
{
    return static_cast<int32_t>(static_cast<int64_t>(texsize) * c / size);
}

// Fills one canvas row of the three planes from the noise row, whose
// entry k belongs to the k-th distinct sample column; neighbouring pixels
// of one sample take the bytes computed for the first of them.
void fillPreviewRow(const CloudLayer &layer, const double *noise, uint8_t *red, uint8_t *green,
                    uint8_t *blue)
{
    const int32_t width = layer.previewWidth;
    int32_t k = -1;
    int32_t last = 0;
    uint8_t rgb[3] = {0, 0, 0};
    for (int32_t c = 0; c < width; ++c) {
        const int32_t x = previewSample(editCloud.texsize, c, width);
        if (k < 0 || x != last) {
            ++k;
            last = x;
            rgb[0] = noiseColourByte(editCloud.red, noise[k]);
            rgb[1] = noiseColourByte(editCloud.green, noise[k]);
            rgb[2] = noiseColourByte(editCloud.blue, noise[k]);
        }
        red[c] = rgb[0];
        green[c] = rgb[1];
        blue[c] = rgb[2];
    }
}

}  // namespace

// The canvas shows at most texsize × texsize distinct samples: each
// distinct column is evaluated once per distinct row, and a row whose
// sample row equals the previous one is copied.
bool dialogPreviewPlanes(const CloudLayer &layer)
{
    const int32_t width = layer.previewWidth, height = layer.previewHeight;
    const int32_t n = editCloud.texsize;
    int32_t *xs = static_cast<int32_t *>(hmsc_HeapMalloc(sizeof(int32_t) * static_cast<size_t>(width)));
    double *noise = static_cast<double *>(hmsc_HeapMalloc(sizeof(double) * static_cast<size_t>(width)));
    NoiseGrid grid{};
    int32_t count = 0;
    if (xs && noise) {
        for (int32_t c = 0; c < width; ++c) {
            const int32_t x = previewSample(n, c, width);
            if (count == 0 || xs[count - 1] != x)
                xs[count++] = x;
        }
    }
    const bool ready = xs && noise &&
                       noiseGridInit(grid, xs, count, noiseOctaves(editCloud.detail), n, n,
                                     editCloud.cluster, 1.0f - editCloud.height, true);
    if (ready) {
        uint8_t *planes[3] = {static_cast<uint8_t *>(layer.previewRed->data),
                              static_cast<uint8_t *>(layer.previewGreen->data),
                              static_cast<uint8_t *>(layer.previewBlue->data)};
        const size_t rowBytes = static_cast<size_t>(width);
        for (int32_t r = 0; r < height; ++r) {
            const size_t at = static_cast<size_t>(r) * rowBytes;
            const int32_t y = previewSample(n, r, height);
            if (r > 0 && y == previewSample(n, r - 1, height)) {
                for (uint8_t *plane : planes)
                    memcpy(plane + at, plane + at - rowBytes, rowBytes);
                continue;
            }
            noiseGridRow(grid, y, noise);
            fillPreviewRow(layer, noise, planes[0] + at, planes[1] + at, planes[2] + at);
        }
    }
    noiseGridFree(grid);
    hmsc_HeapFree(xs);
    hmsc_HeapFree(noise);
    return ready;
}

namespace {

// A plane of the preview, or null (no memory, or a canvas without pixels).
HBaseData *previewPlane(const CloudLayer &layer, HErrorSlot *err)
{
    return hgda_BaseDataCreate(layer.previewHeight, layer.previewWidth, HGDA_UINT8, 3, 0, err);
}

}  // namespace

void dialogCloudLabel(char buffer[32], int32_t n)
{
    hfio_Sprintf(buffer, "Cloud %d", n);
}

void dialogOpen(HLayer *hostLayer)
{
    CloudLayer *layer = cloudLayerOf(hostLayer);
    if (!layer)
        return;
    HErrorSlot err = nullptr;
    if (layer->dialog) {
        hhml_FrameDisplay(layer->dialog, &err);
        return;
    }
    HFrame *frame = hhml_PartFind(cloudtlScript, "cloudtool", &err);
    layer->dialog = frame ? hhml_PartDup(frame, &err) : nullptr;
    if (!layer->dialog) {
        // A script without the dialog is the installation's fault; say so
        // instead of doing nothing.
        if (err)
            hvis_ProcessErrorReport(&err);
        return;
    }
    HFrame *dialog = layer->dialog;
    layer->canvasPart = hhml_FrameFindPart(dialog, "canvas", &err);

    HScene *scene = layer->scene;
    hhml_FrameSourceSet(dialog, scene ? scene->ops->sceneGetWindow(scene) : nullptr, &err);
    hhml_FrameContextSet(dialog, hostLayer, &err);
    hhml_FrameDisplay(dialog, &err);

    layer->offscreen = nullptr;
    layer->canvasContext = nullptr;
    layer->canvas = hhml_CanvasCreate(layer->canvasPart, 0, &err);
    hhml_CanvasSetEventHandler(layer->canvas, dialogCanvasEvent, hostLayer, &err);
    hhml_CanvasGetDimensions(layer->canvas, &layer->previewWidth, &layer->previewHeight, &err);

    layer->canvasContext = hhml_CanvasContextCreate(layer->canvas, &err);
    layer->offscreen = hhml_CanvasCreateOffScreenCopyVis(layer->canvas, layer->previewWidth,
                                                         layer->previewHeight, &err);
    layer->offscreenContext = hhml_CanvasContextCreate(layer->offscreen, &err);
    hhml_CanvasContextSetColorMethod(layer->offscreenContext, 1, &err);
    hhml_CanvasContextSetColorMethod(layer->canvasContext, 1, &err);

    layer->previewRed = previewPlane(*layer, &err);
    layer->previewGreen = previewPlane(*layer, &err);
    layer->previewBlue = previewPlane(*layer, &err);

    layer->previewLive = 0;
    dialogCloudListFill(*layer, dialog);
    dialogShowCloud(&editCloud, dialog);
    layer->previewLive = 1;
    noiseTableBuild(editCloud);
    dialogPreviewDraw(hostLayer);
}

void dialogClose(CloudLayer &layer)
{
    if (!layer.dialog)
        return;
    HErrorSlot err = nullptr;
    hhml_FrameRemove(layer.dialog, &err);
    hhml_CanvasDelete(layer.canvas, &err);
    hhml_CanvasDelete(layer.offscreen, &err);
    hhml_CanvasContextDelete(layer.canvasContext, &err);
    hhml_CanvasContextDelete(layer.offscreenContext, &err);
    layer.dialog = nullptr;
    layer.canvasPart = nullptr;
    layer.colorPart = nullptr;
    layer.canvas = layer.offscreen = nullptr;
    layer.canvasContext = layer.offscreenContext = nullptr;
    hgda_BaseDataDelete(layer.previewRed, &err);
    layer.previewRed = nullptr;
    hgda_BaseDataDelete(layer.previewGreen, &err);
    layer.previewGreen = nullptr;
    hgda_BaseDataDelete(layer.previewBlue, &err);
    layer.previewBlue = nullptr;
}

namespace {

// Whether Apply would write into the cloud what it holds already.
bool sameValues(const CloudRecord &a, const CloudRecord &b)
{
    return a.density == b.density && a.cluster == b.cluster && a.detail == b.detail &&
           a.zoom == b.zoom && a.height == b.height && a.layers == b.layers &&
           a.panx == b.panx && a.pany == b.pany && a.xposition == b.xposition &&
           a.yposition == b.yposition && a.zposition == b.zposition && a.xsize == b.xsize &&
           a.ysize == b.ysize && a.zsize == b.zsize && a.xslice == b.xslice &&
           a.yslice == b.yslice && a.zslice == b.zslice && a.texsize == b.texsize &&
           a.bottomscale == b.bottomscale && a.seed == b.seed && a.red == b.red &&
           a.green == b.green && a.blue == b.blue;
}

// Whether the dialog has the number part and it shows another value.
bool shownDiffers(const CloudLayer &layer, const char *name, double value)
{
    HErrorSlot err = nullptr;
    return hhml_FrameFindPart(layer.dialog, name, &err) && dialogGetNumber(&layer, name) != value;
}

}  // namespace

void dialogShowWorkingState(CloudLayer &layer)
{
    if (!layer.dialog)
        return;
    HErrorSlot err = nullptr;
    HFrame *line = hhml_FrameFindPart(layer.dialog, "workingstate", &err);
    HFrame *load = hhml_FrameFindPart(layer.dialog, "loadcurrent", &err);
    if (!line && !load)
        return;
    int32_t n = 1;
    const CloudRecord *c = layer.clouds;
    for (; c && c != layer.current; c = c->next)
        ++n;
    char label[32] = "";
    if (c)
        dialogCloudLabel(label, n);
    char text[HFIO_SPRINTF_MAX];
    if (!c)
        hfio_Sprintf(text, "Fields: working copy (no cloud chosen)");
    else if (sameValues(editCloud, *c))
        hfio_Sprintf(text, "Fields: %s's values", label);
    else
        hfio_Sprintf(text, "Fields: working copy, not %s's values", label);
    // A size preset changes the working copy's sizes without writing the
    // size fields: the line says when Apply would write sizes not shown.
    char full[HFIO_SPRINTF_MAX];
    const char *shown = text;
    if (shownDiffers(layer, "xsize", editCloud.xsize) ||
        shownDiffers(layer, "ysize", editCloud.ysize) ||
        shownDiffers(layer, "zsize", editCloud.zsize)) {
        hfio_Sprintf(full, "%s; Apply writes half-sizes %.10g x %.10g x %.10g, not those shown",
                     text, editCloud.xsize, editCloud.ysize, editCloud.zsize);
        shown = full;
    }
    char button[HFIO_SPRINTF_MAX];
    hfio_Sprintf(button, c ? "Load %s" : "Load cloud", label);
    if (line)
        hhml_StringPartValueSet(line, shown, &err);
    if (load)
        hhml_StringPartValueSet(load, button, &err);
}

void dialogPreviewDraw(HLayer *hostLayer)
{
    CloudLayer *layer = cloudLayerOf(hostLayer);
    if (layer && layer->previewLive)
        dialogShowWorkingState(*layer);
    if (!layer || !layer->previewLive || !layer->dialog || !layer->canvasContext ||
        !layer->previewRed || !layer->previewGreen || !layer->previewBlue)
        return;
    HErrorSlot err = nullptr;
    hhml_CanvasContextSetLineWidth(layer->canvasContext, 1, &err);
    noiseState.offsetX = editCloud.panx;
    noiseState.offsetY = editCloud.pany;
    if (!dialogPreviewPlanes(*layer))
        return;
    hhml_CanvasShowRGBPixrect(layer->canvasContext, layer->previewRed, layer->previewGreen,
                              layer->previewBlue, 0, 0, 0, 0, layer->previewWidth,
                              layer->previewHeight, 0, 0, &err);
}

void dialogCanvasEvent(void *, void *event, void *client)
{
    if (event && *static_cast<const int32_t *>(event) == HCANVAS_EXPOSE)
        dialogPreviewDraw(static_cast<HLayer *>(client));
}

HErrorSlot dialogSetNumber(HFrame *frame, const char *name, double value)
{
    HErrorSlot err = nullptr;
    if (HFrame *part = hhml_FrameFindPart(frame, name, &err))
        hhml_NumberPartValueSet(part, value, &err);
    return err;
}

void dialogCloudListFill(CloudLayer &layer, HFrame *frame)
{
    if (!frame)
        return;
    HErrorSlot err = nullptr;
    HFrame *popup = hhml_FrameFindPart(frame, "currentcloud", &err);
    HSet *set = hhci_NewSet(0, 0, &err);
    int32_t selected = 0;
    int32_t n = 1;
    for (CloudRecord *c = layer.clouds; c; c = c->next, ++n) {
        char label[32];
        dialogCloudLabel(label, n);
        hhml_SetAddString(set, label, &err);
        if (c == layer.current)
            selected = n - 1;
    }
    if (popup)
        hhml_PopupListReplaceItems(popup, set, 0, 0, 0, selected, &err);
}

void dialogSelectCloud(CloudLayer &layer, CloudRecord *cloud)
{
    if (!cloud)
        return;
    layer.current = cloud;
    int32_t n = 1;
    for (CloudRecord *c = layer.clouds; c; c = c->next, ++n) {
        if (c != cloud)
            continue;
        HErrorSlot err = nullptr;
        HFrame *popup = layer.dialog ? hhml_FrameFindPart(layer.dialog, "currentcloud", &err)
                                     : nullptr;
        if (popup) {
            char label[32];
            dialogCloudLabel(label, n);
            hhml_StringPartValueSet(popup, label, &err);
        }
        return;
    }
}

void dialogShowCloud(const CloudRecord *cloud, HFrame *frame)
{
    if (!frame || !cloud)
        return;
    HErrorSlot err = nullptr;
    char text[32];
    hfio_Sprintf(text, "%d", cloud->texsize);
    if (HFrame *part = hhml_FrameFindPart(frame, "texturesize", &err))
        hhml_StringPartValueSet(part, text, &err);
    if (HFrame *part = hhml_FrameFindPart(frame, "cloudcolor", &err)) {
        const HButtonColor colour = {cloud->red, cloud->green, cloud->blue, 1.0, 1, 0};
        hhml_SetButtonColor(part, &colour, 1);
    }
    const struct {
        const char *part;
        double value;
    } numbers[] = {
        {"xposition", cloud->xposition}, {"yposition", cloud->yposition},
        {"zposition", cloud->zposition}, {"xsize", cloud->xsize},
        {"ysize", cloud->ysize},         {"zsize", cloud->zsize},
        {"cslicex", double(cloud->xslice)}, {"cslicey", double(cloud->yslice)},
        {"cslicez", double(cloud->zslice)}, {"density", cloud->density},
        {"height", cloud->height},       {"zoom", cloud->zoom},
        {"cluster", cloud->cluster},     {"detail", cloud->detail},
        {"seed", cloud->seed},           {"bottomscale", cloud->bottomscale},
    };
    for (const auto &n : numbers)
        dialogSetNumber(frame, n.part, n.value);
    noiseSeed(noiseSeedAsFloat(cloud->seed));
    noiseSetPeriod(cloud->zoom);
}

CloudRecord *dialogFindCloudByLabel(CloudLayer &layer, const char *text)
{
    if (!text)
        return nullptr;
    int32_t n = 1;
    for (CloudRecord *c = layer.clouds; c; c = c->next, ++n) {
        char label[32];
        dialogCloudLabel(label, n);
        if (strcmp(label, text) == 0) {
            layer.current = c;
            return c;
        }
    }
    return nullptr;
}

namespace {

HFrame *dialogPart(const CloudLayer *layer, const char *name)
{
    if (!layer || !layer->dialog)
        return nullptr;
    HErrorSlot err = nullptr;
    return hhml_FrameFindPart(layer->dialog, name, &err);
}

}  // namespace

const char *dialogGetString(const CloudLayer *layer, const char *name)
{
    HFrame *part = dialogPart(layer, name);
    HErrorSlot err = nullptr;
    return part ? hhml_StringPartValueGet(part, &err) : nullptr;
}

double dialogGetNumber(const CloudLayer *layer, const char *name)
{
    HFrame *part = dialogPart(layer, name);
    HErrorSlot err = nullptr;
    return part ? hhml_NumberPartValueGet(part, &err) : 0.0;
}
