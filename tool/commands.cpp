#include "tool/commands.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "files/raster_export.h"
#include "hlib.h"
#include "hmllib.h"
#include "hvislib.h"
#include "plugin/cloud_list.h"
#include "plugin/layer.h"
#include "plugin/records.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"
#include "tool/dialog.h"
#include "tool/placement.h"
#include "tool/presets.h"

namespace {

CloudLayer *cloudLayerOf(HLayer *hostLayer)
{
    return hostLayer ? static_cast<CloudLayer *>(hostLayer->instance) : nullptr;
}

void redrawScene(const CloudLayer &layer)
{
    if (HScene *scene = layer.scene) {
        HErrorSlot err = nullptr;
        scene->ops->sceneRedraw(scene, 0, 0, &err);
    }
}

// Slice counts below 1 would draw nothing and divide by zero later.
int32_t sliceCount(double value)
{
    const int32_t n = noiseTruncToInt(value);
    return n < 1 ? 1 : n;
}

// A leading decimal integer, 0 without one; clamped to the int32 range.
int32_t leadingInteger(const char *text)
{
    errno = 0;
    const long value = strtol(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

// A leading decimal number as a float, 0 without one.
float leadingNumber(const char *text)
{
    return static_cast<float>(strtod(text, nullptr));
}

// Shows editCloud anew after it took the values of the current cloud.
void showCurrent(CloudLayer &layer)
{
    layer.previewLive = 0;
    dialogShowCloud(layer.current, layer.dialog);
    cloudRecordAssign(*layer.current, &editCloud);
    noiseTableBuild(editCloud);
    layer.previewLive = 1;
}

// The Delete key: the picked cloud goes from whichever layer holds it, so
// the key works whatever layer the context stands for.
void deleteSelected(void *context)
{
    CloudLayer *layer = cloudLayerHolding(selectedCloud);
    if (!layer) {
        if (CloudLayer *asked = cloudLayerOf(cloudLayerOfContext(context)))
            if (HScene *scene = asked->scene)
                scene->ops->sceneActionOff(scene, "delcloud");
        return;
    }
    // The box goes with the cloud it frames, whatever the state says.
    if (selectionState != 0 || layer->selector)
        cloudSelectionEnd(*layer);
    layer->current = selectedCloud;
    cloudListDeleteCurrent(*layer);
    selectedCloud = nullptr;
    if (layer->current)
        showCurrent(*layer);
    redrawScene(*layer);
}

// "savetoimg": the message says what happened. A failure shows the host's
// error both as a report and in the dialog.
void saveToImage(CloudLayer &layer, const char *file, HErrorSlot *commandErr)
{
    HErrorSlot local = nullptr;
    HErrorSlot *err = commandErr ? commandErr : &local;
    const CloudExportResult result = cloudExportRaster(file, err);
    char message[HSTR_SPRINTF_MAX];
    HErrorSlot formatErr = nullptr;
    switch (result) {
    case cloudExportWritten:
        hstr_Sprintf(message, "Successfully exported %s", &formatErr, file);
        break;
    case cloudExportDeclined:
        hstr_Sprintf(message, "%s was kept; nothing was written", &formatErr, file);
        break;
    case cloudExportFailed:
        if (*err) {
            hstr_Sprintf(message, "Export failed: %s", &formatErr, hvis_ErrorReportText(err));
            hvis_ProcessErrorReport(err);
        } else {
            hstr_Sprintf(message, "Export of %s failed", &formatErr, file);
        }
        break;
    }
    if (layer.dialog) {
        HErrorSlot partErr = nullptr;
        if (HFrame *label = hhml_FrameFindPart(layer.dialog, "savelabel", &partErr))
            hhml_StringPartValueSet(label, message, &partErr);
    }
}

// The actions that read one part's number into a field of editCloud.
struct NumberAction {
    const char *action;
    const char *part;
    void (*store)(double value);
};

const NumberAction kNumberActions[] = {
    {"density", "density", [](double v) { editCloud.density = static_cast<float>(v); }},
    {"panx", "panx", [](double v) { editCloud.panx = noiseTruncToInt(v); }},
    {"pany", "pany", [](double v) { editCloud.pany = noiseTruncToInt(v); }},
    // A height of exactly 1 would make the shaping base 0: the cloud would
    // vanish, so the dialog's top value stands for 0.99.
    {"height", "height",
     [](double v) { editCloud.height = v == 1.0 ? 0.99f : static_cast<float>(v); }},
    {"cluster", "cluster", [](double v) { editCloud.cluster = static_cast<float>(v); }},
    {"seed", "seed",
     [](double v) {
         editCloud.seed = v;
         noiseTableBuild(editCloud);
     }},
    {"zoom", "zoom",
     [](double v) {
         editCloud.zoom = static_cast<float>(v);
         noiseTableBuild(editCloud);
     }},
    {"detail", "detail", [](double v) { editCloud.detail = static_cast<float>(v); }},
    {"xposition", "xposition", [](double v) { editCloud.xposition = v; }},
    {"yposition", "yposition", [](double v) { editCloud.yposition = v; }},
    {"zposition", "zposition", [](double v) { editCloud.zposition = v; }},
    {"xsize", "xsize", [](double v) { editCloud.xsize = v; }},
    {"ysize", "ysize", [](double v) { editCloud.ysize = v; }},
    {"zsize", "zsize", [](double v) { editCloud.zsize = v; }},
    {"xslice", "cslicex", [](double v) { editCloud.xslice = sliceCount(v); }},
    {"yslice", "cslicey", [](double v) { editCloud.yslice = sliceCount(v); }},
    {"zslice", "cslicez", [](double v) { editCloud.zslice = sliceCount(v); }},
    {"layers", "tslices", [](double v) { editCloud.layers = noiseTruncToInt(v); }},
    {"bottomscale", "bottomscale", [](double v) { editCloud.bottomscale = static_cast<float>(v); }},
};

// Carries out an action on the layer of the dialog that sent it. Returns
// false when the command ends without the final preview redraw.
bool layerAction(HLayer *hostLayer, CloudLayer &layer, const char *action, int32_t count,
                 char **strings, HErrorSlot *err)
{
    for (const NumberAction &a : kNumberActions) {
        if (strcmp(action, a.action) == 0) {
            a.store(dialogGetNumber(&layer, a.part));
            return true;
        }
    }
    // An action sent without the argument it reads changes nothing.
    const char *arg1 = count > 1 ? strings[1] : nullptr;

    if (strcmp(action, "remove") == 0) {
        dialogClose(layer);
    } else if (strcmp(action, "pancenter") == 0) {
        editCloud.panx = 0;
        editCloud.pany = 0;
    } else if (strcmp(action, "texsize") == 0) {
        if (arg1)
            editCloud.texsize = leadingInteger(arg1);
    } else if (strcmp(action, "currentcloud") == 0) {
        if (layer.current) {
            if (selectionState == 2) {
                selectedCloud = layer.current;
                cloudSelectionBoxMake(*selectedCloud, layer);
            }
            layer.previewLive = 0;
            dialogShowCloud(layer.current, layer.dialog);
            cloudRecordAssign(*layer.current, &editCloud);
            layer.previewLive = 1;
            noiseTableBuild(editCloud);
        }
    } else if (strcmp(action, "deletecloud") == 0) {
        if (layer.current) {
            // The shown box goes, in whichever layer shows it.
            if (selectionState != 0)
                cloudSelectionEndEverywhere(layer);
            CloudRecord *gone = layer.current;
            cloudListDeleteCurrent(layer);
            if (gone == selectedCloud)
                selectedCloud = nullptr;
            if (layer.current)
                showCurrent(layer);
            redrawScene(layer);
        }
    } else if (strcmp(action, "apply") == 0) {
        if (layer.current) {
            layer.dirty = 1;
            cloudTexturesFree(*layer.current);
            cloudRecordAssign(editCloud, layer.current);
            noiseState.offsetX = editCloud.panx;
            noiseState.offsetY = editCloud.pany;
            cloudTexturesBuild(*layer.current);
            if (selectedCloud && cloudListHolds(layer, selectedCloud))
                cloudSelectionBoxMake(*selectedCloud, layer);
            redrawScene(layer);
        }
    } else if (strcmp(action, "cloudcolor") == 0) {
        if (count > 3) {
            editCloud.red = leadingNumber(strings[1]);
            editCloud.green = leadingNumber(strings[2]);
            editCloud.blue = leadingNumber(strings[3]);
        }
    } else if (strcmp(action, "default") == 0) {
        layer.previewLive = 0;
        cloudRecordSetDefaults(&editCloud);
        if (layer.current) {
            editCloud.xposition = layer.current->xposition;
            editCloud.yposition = layer.current->yposition;
            editCloud.zposition = layer.current->zposition;
        }
        editCloud.xsize = layer.defaultHalfSize[0];
        editCloud.ysize = layer.defaultHalfSize[1];
        editCloud.zsize = layer.defaultHalfSize[2];
        dialogShowCloud(&editCloud, layer.dialog);
        noiseTableBuild(editCloud);
        // A box made here edits this layer's current cloud when dragged:
        // it may frame only a cloud of this layer.
        if (selectedCloud && cloudListHolds(layer, selectedCloud))
            cloudSelectionBoxMake(*selectedCloud, layer);
        layer.previewLive = 1;
    } else if (strcmp(action, "generate") == 0) {
        layer.previewLive = 0;
        cloudApplyPreset(layer, editCloud, dialogGetString(&layer, "cloudpresets"));
        dialogShowCloud(&editCloud, layer.dialog);
        noiseTableBuild(editCloud);
        layer.previewLive = 1;
    } else if (strcmp(action, "generatesize") == 0) {
        layer.previewLive = 0;
        cloudApplyPreset(layer, editCloud, dialogGetString(&layer, "sizepresets"));
        layer.previewLive = 1;
    } else if (strcmp(action, "savetoimg") == 0) {
        if (arg1)
            saveToImage(layer, arg1, err);
        return false;
    }
    (void)hostLayer;
    return true;
}

}  // namespace

// A layer's own tool and menus send the layer, the Delete key and a
// script's RUN SCENE the scene; every command takes both
// (cloudLayerOfContext).
int cloudupdate(void *, void *context, int32_t count, char **strings, HErrorSlot *err)
{
    const char *action = count > 0 && strings ? strings[0] : nullptr;
    if (!action)
        return 0;
    if (strcmp(action, "showproperties") == 0) {
        if (HLayer *hostLayer = cloudLayerOfContext(context))
            dialogOpen(hostLayer);
        return 0;
    }
    if (strcmp(action, "hideall") == 0) {
        HLayer *hostLayer = cloudLayerOfContext(context);
        CloudLayer *layer = cloudLayerOf(hostLayer);
        if (layer && count > 1) {
            layer->visible = hstr_Eqic(strings[1], "True") ? 0 : 1;
            redrawScene(*layer);
        }
        return 0;
    }
    if (strcmp(action, "delselected") == 0) {
        deleteSelected(context);
        return 0;
    }

    HLayer *hostLayer = cloudLayerOfContext(context);
    CloudLayer *layer = cloudLayerOf(hostLayer);
    if (!layer)
        return 0;
    // The popup, not the stored pointer, says which cloud the dialog is on.
    layer->current =
        layer->dialog ? dialogFindCloudByLabel(*layer, dialogGetString(layer, "currentcloud"))
                      : nullptr;
    if (layerAction(hostLayer, *layer, action, count, strings, err) && layer->previewLive &&
        layer->dialog)
        dialogPreviewDraw(hostLayer);
    return 0;
}

int cloudAddcloud(void *, void *context, int32_t, char **, HErrorSlot *)
{
    HLayer *hostLayer = cloudLayerOfContext(context);
    CloudLayer *layer = cloudLayerOf(hostLayer);
    if (!layer)
        return 0;
    layer->current = cloudListAddFromEdit(*layer);
    if (!layer->current)
        return 0;
    layer->previewLive = 0;
    dialogCloudListFill(*layer, layer->dialog);
    dialogShowCloud(layer->current, layer->dialog);
    layer->previewLive = 1;
    noiseTableBuild(*layer->current);
    dialogPreviewDraw(hostLayer);
    redrawScene(*layer);
    return 0;
}
