#include "tool/placement.h"

#include "hmllib.h"

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
