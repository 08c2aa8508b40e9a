#include "plugin/cloud_list.h"

#include "hlib.h"
#include "hvislib.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"
#include "tool/dialog.h"

CloudRecord *cloudListAddFromEdit(CloudLayer &layer)
{
    CloudRecord *cloud = static_cast<CloudRecord *>(hmsc_HeapMalloc(sizeof(CloudRecord)));
    if (!cloud)
        return nullptr;
    cloud->next = nullptr;
    cloud->hTextures = nullptr;
    cloud->vTextures = nullptr;
    cloudRecordAssign(editCloud, cloud);
    hvis_llmAdd(&layer.clouds, cloud, 3, 0);
    layer.current = cloud;
    // A cloud added or deleted is a change to save like any other: without
    // this the layer would close without asking and lose it.
    layer.dirty = 1;
    noiseTableBuild(*cloud);
    cloudTexturesBuild(*cloud);
    return cloud;
}

void cloudListDeleteCurrent(CloudLayer &layer)
{
    CloudRecord *gone = layer.current;
    if (!gone)
        return;
    hvis_llmDelete(&layer.clouds, gone);
    cloudTexturesFree(*gone);
    hmsc_HeapFree(gone);
    layer.dirty = 1;

    layer.previewLive = 0;
    layer.current = layer.clouds;
    dialogCloudListFill(layer, layer.dialog);
    if (layer.current)
        cloudRecordAssign(*layer.current, &editCloud);
    dialogShowCloud(&editCloud, layer.dialog);
    noiseTableBuild(editCloud);
    layer.previewLive = 1;
}

bool cloudListHolds(const CloudLayer &layer, const CloudRecord *cloud)
{
    for (const CloudRecord *c = layer.clouds; c; c = c->next)
        if (c == cloud)
            return true;
    return false;
}
