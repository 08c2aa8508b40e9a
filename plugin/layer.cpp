#include "plugin/layer.h"

#include <cmath>
#include <cstring>

#include "files/layer_file.h"
#include "hlib.h"
#include "hmllib.h"
#include "hvislib.h"
#include "plugin/entry.h"
#include "render/layer_draw.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"
#include "tolatoollib.h"
#include "tool/dialog.h"
#include "tool/placement.h"
#include "plugin/stacker_icon.h"
#include "plugin/cloud_list.h"

namespace {

void installMethods(HLayerMethods &m)
{
    m.close = cloudLayerClose;
    m.draw = layerDraw;
    m.drawBoxes = layerDrawBoxes;
    m.pointerEvent = layerPickEvent;
    m.typeName = cloudtlLayerGetTypeName;
    m.save = cloudLayerSave;
    m.stackerIcon = cloudLayerStackerIcon;
    m.writeFeatureLine = cloudLayerWriteFeatureLine;
    m.displayName = cloudLayerDisplayName;
    m.menu = cloudLayerMenu;
    m.stackerPopup = cloudLayerStackerPopup;
    m.drawPass = layerDrawPass;
    m.drawOverlay = nullptr;
}

// Copies of the layer's arguments, or null when the heap runs out (nothing
// is kept then).
char **copyArgs(int32_t count, char **strings)
{
    char **args = static_cast<char **>(hmsc_HeapMalloc(sizeof(char *) * static_cast<size_t>(count)));
    if (!args)
        return nullptr;
    for (int32_t i = 0; i < count; ++i) {
        args[i] = hstr_Duplicate(strings[i] ? strings[i] : "");
        if (!args[i]) {
            for (int32_t k = 0; k < i; ++k)
                hmsc_HeapFree(args[k]);
            hmsc_HeapFree(args);
            return nullptr;
        }
    }
    return args;
}

void freeArgs(CloudLayer &layer)
{
    for (int32_t i = 0; i < layer.argCount; ++i)
        hmsc_HeapFree(layer.args[i]);
    hmsc_HeapFree(layer.args);
    layer.args = nullptr;
    layer.argCount = 0;
}

// Every open cloud layer, newest first.
CloudLayer *liveLayers = nullptr;

void forgetLiveLayer(CloudLayer *layer)
{
    for (CloudLayer **link = &liveLayers; *link; link = &(*link)->nextLive)
        if (*link == layer) {
            *link = layer->nextLive;
            return;
        }
}

}  // namespace

bool cloudLayerIsLive(const void *hostLayer)
{
    for (const CloudLayer *l = liveLayers; l; l = l->nextLive)
        if (l->host == hostLayer)
            return true;
    return false;
}

HLayer *cloudLayerOfContext(void *context)
{
    if (!context)
        return nullptr;
    if (cloudLayerIsLive(context))
        return static_cast<HLayer *>(context);
    HScene *scene = static_cast<HScene *>(context);
    return scene->ops->sceneFindLayerByType(scene, "Clouds");
}

CloudLayer *cloudLayersLive()
{
    return liveLayers;
}

CloudLayer *cloudLayerHolding(const CloudRecord *cloud)
{
    if (!cloud)
        return nullptr;
    for (CloudLayer *l = liveLayers; l; l = l->nextLive)
        if (cloudListHolds(*l, cloud))
            return l;
    return nullptr;
}

void cloudLayerDefaultSize(CloudLayer &layer)
{
    HScene *scene = layer.scene;
    double view[3];
    scene->ops->sceneQueryView(scene, &view[0], &view[1], &view[2], 0, 0);
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0, e1 = 0, e2 = 0;
    scene->ops->sceneGetExtent(scene, &x1, &x2, &y1, &y2, &e1, &e2);
    const double wx = std::fabs(x1 - x2) * 0.7142857142857143;
    const double wy = std::fabs(y1 - y2) * 0.7142857142857143;
    editCloud.zsize = 0.1 * (wx > wy ? wx : wy);
    editCloud.xsize = 0.5 * wx;
    editCloud.ysize = 0.5 * wy;
    layer.defaultHalfSize[0] = editCloud.xsize;
    layer.defaultHalfSize[1] = editCloud.ysize;
    layer.defaultHalfSize[2] = editCloud.zsize;
}

HLayer *cloudLayerMake(void *owner, int32_t mode, int32_t count, char **strings, bool fromFile)
{
    HLayer *hostLayer = tola_FeatureLayerCreate();
    if (!hostLayer)
        return nullptr;
    CloudLayer *layer = static_cast<CloudLayer *>(hmsc_HeapMalloc(sizeof(CloudLayer)));
    if (!layer) {
        tola_FeatureLayerFree(hostLayer);
        return nullptr;
    }
    std::memset(layer, 0, sizeof *layer);
    hostLayer->instance = layer;

    layer->scene = tola_GetScenePtrFromLayer(owner);
    layer->owner = owner;
    const char *first = count > 0 && strings ? strings[0] : nullptr;
    layer->fileName = first ? hstr_Duplicate(first) : nullptr;
    layer->mode = mode;
    layer->scriptRoot = hhml_GetTheRoot();
    layer->visible = 1;
    layer->previewWidth = 1;
    layer->previewHeight = 1;
    // A new layer forgets the pick, so no box may stay framing it.
    cloudSelectionForget();
    if (count > 0 && strings) {
        layer->args = copyArgs(count, strings);
        layer->argCount = layer->args ? count : 0;
    }
    // A layer that lost its file name or an argument would save nowhere or
    // be written back into the scene script wrongly: without the memory for
    // them there is no layer.
    if ((first && !layer->fileName) || (count > 0 && strings && !layer->args)) {
        hmsc_HeapFree(layer->fileName);
        freeArgs(*layer);
        tola_FeatureLayerFree(hostLayer);
        hmsc_HeapFree(layer);
        return nullptr;
    }
    installMethods(*hostLayer->methods);
    layer->host = hostLayer;
    layer->nextLive = liveLayers;
    liveLayers = layer;

    cloudRecordSetDefaults(&editCloud);
    if (layer->scene)
        cloudLayerDefaultSize(*layer);
    noiseTableBuild(editCloud);
    if (fromFile && layer->fileName) {
        layer->clouds = cloudFileRead(layer->fileName);
        layer->current = layer->clouds;
    }
    if (layer->scene)
        layer->scene->ops->sceneActionOff(layer->scene, "delcloud");
    return hostLayer;
}

void cloudLayerClose(HLayer *hostLayer)
{
    CloudLayer *layer = static_cast<CloudLayer *>(hostLayer->instance);
    HErrorSlot err = nullptr;

    if (layer->selector) {
        tola_SelNewDestroy(layer->selector, &err);
        layer->selector = nullptr;
    }
    if (layer->dirty) {
        char question[256];
        // hfio_Sprintf never writes past 256 bytes, so a long file name is
        // cut short instead of overflowing the question.
        hfio_Sprintf(question, "Save Cloud Layer %s?", layer->fileName ? layer->fileName : "");
        if (hvis_QueryYesNo(question, "No", "Yes"))
            cloudLayerSave(hostLayer);
    }
    dialogClose(*layer);
    if (layer->placementDialog)
        cloudPlacementEnd(hostLayer);
    if (selectedCloud && cloudListHolds(*layer, selectedCloud)) {
        selectedCloud = nullptr;
        selectionState = 0;
    }
    forgetLiveLayer(layer);
    // The icon is the layer's own canvas: it goes with the layer.
    if (layer->stackerIcon) {
        hhml_CanvasDelete(layer->stackerIcon, &err);
        layer->stackerIcon = nullptr;
    }
    cloudListFree(layer->clouds);
    hmsc_HeapFree(layer->fileName);
    freeArgs(*layer);
    tola_FeatureLayerFree(hostLayer);
    hmsc_HeapFree(layer);
}
