#include "tool/placement.h"

#include "hlib.h"
#include "hmllib.h"
#include "hvislib.h"
#include "tolalib.h"
#include "tolatoollib.h"
#include "tool/dialog.h"
#include "plugin/cloud_list.h"
#include "plugin/entry.h"
#include "plugin/layer.h"
#include "synth/noise.h"

#include <cmath>

CloudRecord *selectedCloud = nullptr;
int32_t selectionState = 0;

namespace {

CloudLayer *cloudLayerOfHost(void *hostLayer)
{
    HLayer *layer = static_cast<HLayer *>(hostLayer);
    return layer ? static_cast<CloudLayer *>(layer->instance) : nullptr;
}

// The cloud's box in scene coordinates: low is centre - half-extent, high
// centre + half-extent, each plus the origin. With a negative half-extent
// "low" is the larger coordinate on that axis.
void cloudCorners(const CloudRecord &cloud, const double origin[3], double low[3], double high[3])
{
    const double centre[3] = {cloud.xposition, cloud.yposition, cloud.zposition};
    const double half[3] = {cloud.xsize, cloud.ysize, cloud.zsize};
    for (int axis = 0; axis < 3; ++axis) {
        low[axis] = centre[axis] - half[axis] + origin[axis];
        high[axis] = centre[axis] + half[axis] + origin[axis];
    }
}

// One selection box in the whole viewer: a box left in another layer would
// frame a cloud that is no longer the picked one, and its drag would move it.
void dropOtherBoxes(const CloudLayer *keep)
{
    for (CloudLayer *l = cloudLayersLive(); l; l = l->nextLive) {
        if (l == keep || !l->selector)
            continue;
        HErrorSlot err = nullptr;
        tola_SelNewDestroy(l->selector, &err);
        l->selector = nullptr;
        if (HScene *scene = l->scene) {
            scene->ops->sceneActionOff(scene, "delcloud");
            scene->ops->sceneRedraw(scene, 0, 0, &err);
        }
    }
}

// The placement frame is one for all layers, and a click must place into
// one layer only.
void endOtherPlacements(const CloudLayer *keep)
{
    for (CloudLayer *l = cloudLayersLive(); l; l = l->nextLive)
        if (l != keep && l->placementDialog && l->host)
            cloudPlacementEnd(l->host);
}

}  // namespace

int cloudplace(void *, void *context, int32_t, char **, HErrorSlot *)
{
    // From a layer's own tool the context is that layer; from a menu or a
    // script it may be a scene, whose first cloud layer places.
    HLayer *hostLayer = nullptr;
    if (context) {
        hostLayer = cloudLayerOfContext(context);
    } else if (HScene *scene = tola_ViewerGetScene()) {
        hostLayer = cloudLayerOfContext(scene);
    }
    CloudLayer *layer = cloudLayerOfHost(hostLayer);
    // The handler is removed from the layer's own scene when placement
    // ends; without one it could never be removed, so placement does not
    // start.
    if (!layer || !layer->scene || layer->placementDialog)
        return 0;
    endOtherPlacements(layer);
    HErrorSlot err = nullptr;
    layer->placementDialog = hhml_PartFind(cloudtlScript, "cloudplacement", &err);
    if (!layer->placementDialog) {
        hvis_ProcessErrorReport(&err);
        return 0;
    }
    HErrorSlot ignored = nullptr;
    hhml_FrameSourceSet(layer->placementDialog, layer->scene->ops->sceneGetWindow(layer->scene),
                        &ignored);
    hhml_FrameContextSet(layer->placementDialog, hostLayer, &ignored);
    hhml_FrameDisplay(layer->placementDialog, &ignored);
    // Registered with the scene the end of placement removes it from.
    layer->scene->ops->sceneAddEventCallback(layer->scene, placementClickEvent, hostLayer);
    layer->scene->ops->sceneInteractionBegin(layer->scene, 0);
    return 0;
}

int placementClickEvent(void *client, HPointerEvent *event)
{
    if (!event)
        return 0;
    if (event->code != HPOINTER_CLICK)
        return 1;
    HLayer *hostLayer = static_cast<HLayer *>(client);
    CloudLayer *layer = cloudLayerOfHost(hostLayer);
    if (!layer || !layer->scene)
        return 1;
    HScene *scene = layer->scene;
    double px = 0.0, py = 0.0, pz = 0.0;
    scene->ops->scenePickPoint(scene, event->x, event->y, &px, &py, &pz);
    scene->ops->sceneSetBusy(scene, 1);
    // Standing on the clicked point: for a positive zsize the bottom face
    // lies on it. The pick is a scene point and is kept as it comes.
    editCloud.xposition = px;
    editCloud.yposition = py;
    editCloud.zposition = pz + editCloud.zsize;
    layer->dirty = 1;
    HErrorSlot err = nullptr;
    if (layer->dialog) {
        layer->colorPart = hhml_FrameFindPart(layer->dialog, "cloudcolor", &err);
        if (layer->colorPart) {
            double rgb[3] = {editCloud.red, editCloud.green, editCloud.blue};
            hhml_GetButtonColor(layer->colorPart, rgb);
            editCloud.red = static_cast<float>(rgb[0]);
            editCloud.green = static_cast<float>(rgb[1]);
            editCloud.blue = static_cast<float>(rgb[2]);
        }
    }
    layer->current = cloudListAddFromEdit(*layer);
    layer->previewLive = 0;
    dialogCloudListFill(*layer, layer->dialog);
    dialogShowCloud(&editCloud, layer->dialog);
    layer->previewLive = 1;
    noiseTableBuild(editCloud);
    dialogPreviewDraw(hostLayer);
    scene->ops->sceneSetBusy(scene, 0);
    scene->ops->sceneRedraw(scene, 0, 0, &err);
    return 1;
}

double pointDistance(const double a[3], const double b[3])
{
    const double dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

int32_t layerPickEvent(HLayer *hostLayer, HPointerEvent *event)
{
    if (!event || event->code != HPOINTER_CLICK)
        return 0;
    CloudLayer *layer = cloudLayerOfHost(hostLayer);
    if (!layer || !layer->scene)
        return 0;
    HScene *scene = layer->scene;
    double start[3] = {0.0, 0.0, 0.0}, second[3] = {0.0, 0.0, 0.0};
    scene->ops->scenePickRay(scene, event->x, event->y, start, second);
    selectedCloud = nullptr;
    double best = 0.0;
    scene->ops->sceneGetOrigin(scene, 0, &layer->origin[0], &layer->origin[1], &layer->origin[2]);
    for (CloudRecord *cloud = layer->clouds; cloud; cloud = cloud->next) {
        double low[3], high[3], hit[3];
        cloudCorners(*cloud, layer->origin, low, high);
        if (!scene->ops->sceneRayHitsBox(start, second, low, high, hit))
            continue;
        const double d = pointDistance(hit, start);
        // Strictly nearer only: at equal distance the earlier cloud stays.
        if (!selectedCloud || d < best) {
            best = d;
            selectedCloud = cloud;
        }
    }
    if (!selectedCloud) {
        // Nothing is picked any more, in any layer.
        dropOtherBoxes(layer);
        cloudSelectionEnd(*layer);
        return 0;
    }
    CloudRecord *picked = selectedCloud;
    if (cloudSelectionBoxMake(*picked, *layer))
        selectionState = 2;
    layer->previewLive = 0;
    layer->current = picked;
    dialogSelectCloud(*layer, picked);
    layer->previewLive = 1;
    dialogPreviewDraw(hostLayer);
    return 1;
}

void cloudPlacementEnd(HLayer *hostLayer)
{
    CloudLayer *layer = static_cast<CloudLayer *>(hostLayer->instance);
    HErrorSlot err = nullptr;
    hhml_FrameRemove(layer->placementDialog, &err);
    if (HScene *scene = layer->scene) {
        scene->ops->sceneRemoveEventCallback(scene, placementClickEvent, hostLayer);
        scene->ops->sceneInteractionEnd(scene, 0);
    }
    layer->placementDialog = nullptr;
}

int CloudCancelPlacement(void *, void *context, int32_t, char **, HErrorSlot *)
{
    if (!context)
        return 0;
    if (cloudLayerIsLive(context)) {
        HLayer *hostLayer = static_cast<HLayer *>(context);
        if (cloudLayerOfHost(hostLayer)->placementDialog)
            cloudPlacementEnd(hostLayer);
        return 0;
    }
    // A scene: whichever of its layers is placing stops.
    for (CloudLayer *l = cloudLayersLive(); l; l = l->nextLive)
        if (l->placementDialog && l->host && l->scene == static_cast<HScene *>(context))
            cloudPlacementEnd(l->host);
    return 0;
}

void cloudSelectionEndEverywhere(CloudLayer &layer)
{
    dropOtherBoxes(&layer);
    cloudSelectionEnd(layer);
}

void cloudSelectionForget()
{
    dropOtherBoxes(nullptr);
    selectedCloud = nullptr;
    selectionState = 0;
}

bool cloudSelectionBoxMake(const CloudRecord &cloud, CloudLayer &layer)
{
    HErrorSlot err = nullptr;
    if (layer.selector) {
        tola_SelNewDestroy(layer.selector, &err);
        layer.selector = nullptr;
    }
    dropOtherBoxes(&layer);
    HScene *scene = layer.scene;
    if (!scene)
        return false;
    scene->ops->sceneActionOn(scene, "delcloud");

    double lo[3], hi[3];
    cloudCorners(cloud, layer.origin, lo, hi);
    // The top face, then the bottom face, each walked x0y0 x1y0 x1y1 x0y1.
    const double corners[8][3] = {
        {lo[0], lo[1], hi[2]}, {hi[0], lo[1], hi[2]}, {hi[0], hi[1], hi[2]}, {lo[0], hi[1], hi[2]},
        {lo[0], lo[1], lo[2]}, {hi[0], lo[1], lo[2]}, {hi[0], hi[1], lo[2]}, {lo[0], hi[1], lo[2]},
    };
    HBaseData *points = hgda_BaseDataCreate(3, 8, HGDA_FLOAT64, 2, 0, &err);
    if (points) {
        char *data = static_cast<char *>(points->data);
        for (int c = 0; c < 8; ++c)
            for (int axis = 0; axis < 3; ++axis)
                *reinterpret_cast<double *>(data + axis * points->rowStep +
                                            c * points->columnStep) = corners[c][axis];
        HSelMethods *methods = tola_SelNewGetMethods("box", points, 8, &err, 0);
        layer.selector = tola_SelNewCreate(scene, "CloudSelector", methods);
        if (layer.selector) {
            tola_SelNewBoxAllowRotations(layer.selector, 0);
            hvis_ObjectAddCallback(layer.selector, 2, cloudSelectionBoxChanged, &layer, &err);
        }
        hgda_BaseDataDelete(points, &err);
    }
    // Without a box nothing is framed: no selection at all, rather than a
    // "delcloud" that deletes a cloud the user cannot see picked.
    const bool framed = layer.selector != nullptr;
    if (!framed) {
        cloudSelectionEnd(layer);
        selectedCloud = nullptr;
    }
    scene->ops->sceneSetBusy(scene, 0);
    scene->ops->sceneRedraw(scene, 0, 0, &err);
    return framed;
}

void cloudSelectionEnd(CloudLayer &layer)
{
    selectionState = 0;
    HErrorSlot err = nullptr;
    if (layer.selector)
        tola_SelNewDestroy(layer.selector, &err);
    if (HScene *scene = layer.scene)
        scene->ops->sceneActionOff(scene, "delcloud");
    layer.selector = nullptr;
}

int cloudSelectionBoxChanged(void *selector, void *, void *, void *, void *client)
{
    CloudLayer *layer = static_cast<CloudLayer *>(client);
    // The box frames the picked cloud, which need not be the current one: a
    // cloud added or placed since the pick is current, yet stays where it is.
    CloudRecord *cloud =
        layer && selectedCloud && cloudListHolds(*layer, selectedCloud) ? selectedCloud : nullptr;
    if (!cloud)
        return 0;
    layer->dirty = 1;
    HPolynomial *transform = tola_SelectBoxGetLastXform(static_cast<HSelector *>(selector));
    const double *o = layer->origin;
    double high[3] = {cloud->xposition + cloud->xsize + o[0], cloud->yposition + cloud->ysize + o[1],
                      cloud->zposition + cloud->zsize + o[2]};
    double low[3] = {cloud->xposition - cloud->xsize + o[0], cloud->yposition - cloud->ysize + o[1],
                     cloud->zposition - cloud->zsize + o[2]};
    hhgl_TransformVertices(high, 1, transform);
    hhgl_TransformVertices(low, 1, transform);
    double *sizes[3] = {&cloud->xsize, &cloud->ysize, &cloud->zsize};
    double *centres[3] = {&cloud->xposition, &cloud->yposition, &cloud->zposition};
    for (int axis = 0; axis < 3; ++axis) {
        *sizes[axis] = (high[axis] - low[axis]) * 0.5;
        *centres[axis] = (low[axis] + high[axis]) * 0.5 - o[axis];
    }
    // The dialog follows the cloud that moved, under its own label.
    cloudRecordAssign(*cloud, &editCloud);
    layer->previewLive = 0;
    dialogSelectCloud(*layer, cloud);
    dialogShowCloud(&editCloud, layer->dialog);
    layer->previewLive = 1;
    dialogShowWorkingState(*layer);
    HErrorSlot err = nullptr;
    hfga_PolynomialDelete(transform, &err);
    if (HScene *scene = layer->scene)
        scene->ops->sceneRedraw(scene, 0, 0, &err);
    return 0;
}
