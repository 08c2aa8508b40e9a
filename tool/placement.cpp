#include "tool/placement.h"

#include "hlib.h"
#include "hmllib.h"
#include "hvislib.h"
#include "tolalib.h"
#include "tolatoollib.h"
#include "tool/dialog.h"

CloudRecord *selectedCloud = nullptr;
int32_t selectionState = 0;

// Placement by click arrives with the cloud tool; until then the command
// starts nothing and a click adds nothing.
int cloudplace(void *, void *, int32_t, char **, HErrorSlot *)
{
    return 0;
}

int placementClickEvent(void *, HPointerEvent *event)
{
    return event ? 1 : 0;
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
    HLayer *hostLayer = static_cast<HLayer *>(context);
    if (hostLayer && static_cast<CloudLayer *>(hostLayer->instance)->placementDialog)
        cloudPlacementEnd(hostLayer);
    return 0;
}

void cloudSelectionBoxMake(const CloudRecord &cloud, CloudLayer &layer)
{
    HErrorSlot err = nullptr;
    if (layer.selector) {
        tola_SelNewDestroy(layer.selector, &err);
        layer.selector = nullptr;
    }
    HScene *scene = layer.scene;
    if (!scene)
        return;
    scene->ops->sceneActionOn(scene, "delcloud");

    const double lo[3] = {cloud.xposition - cloud.xsize + layer.origin[0],
                          cloud.yposition - cloud.ysize + layer.origin[1],
                          cloud.zposition - cloud.zsize + layer.origin[2]};
    const double hi[3] = {cloud.xposition + cloud.xsize + layer.origin[0],
                          cloud.yposition + cloud.ysize + layer.origin[1],
                          cloud.zposition + cloud.zsize + layer.origin[2]};
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
        tola_SelNewBoxAllowRotations(layer.selector, 0);
        hvis_ObjectAddCallback(layer.selector, 2, cloudSelectionBoxChanged, &layer, &err);
        hgda_BaseDataDelete(points, &err);
    }
    scene->ops->sceneSetBusy(scene, 0);
    scene->ops->sceneRedraw(scene, 0, 0, &err);
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
    CloudRecord *cloud = layer ? layer->current : nullptr;
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
    cloudRecordAssign(*cloud, &editCloud);
    layer->previewLive = 0;
    dialogShowCloud(&editCloud, layer->dialog);
    layer->previewLive = 1;
    HErrorSlot err = nullptr;
    hfga_PolynomialDelete(transform, &err);
    if (HScene *scene = layer->scene)
        scene->ops->sceneRedraw(scene, 0, 0, &err);
    return 0;
}
