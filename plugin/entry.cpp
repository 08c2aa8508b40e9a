#include "plugin/entry.h"

#include "hlib.h"
#include "hmllib.h"
#include "hvislib.h"
#include "plugin/layer.h"
#include "tolatoollib.h"
#include "tool/commands.h"
#include "tool/placement.h"

HScript *cloudtlScript = nullptr;

namespace {

const char kTypeName[] = "Clouds";
const char kFileKey[] = "cloud";

// The arrange commands act on a layer: from a layer's popup the context is
// that layer, from a scene (a script's RUN SCENE) it is the scene's first
// cloud layer. The host would read a scene as a layer.
int setvisibility(void *, void *context, int32_t, char **, HErrorSlot *)
{
    if (HLayer *layer = cloudLayerOfContext(context))
        tola_ArrangeLayersToggleLayerVisibility(layer);
    return 0;
}

int raisetotop(void *first, void *context, int32_t count, char **strings, HErrorSlot *err)
{
    if (HLayer *layer = cloudLayerOfContext(context))
        tola_ArrangeLayersRaiseToTop(first, layer, count, strings, err);
    return 0;
}

int lowertobottom(void *first, void *context, int32_t count, char **strings, HErrorSlot *err)
{
    if (HLayer *layer = cloudLayerOfContext(context))
        tola_ArrangeLayersLowerToBottom(first, layer, count, strings, err);
    return 0;
}

int deletelayer(void *first, void *context, int32_t count, char **strings, HErrorSlot *err)
{
    if (HLayer *layer = cloudLayerOfContext(context))
        tola_ArrangeLayersDeleteLayer(first, layer, count, strings, err);
    return 0;
}

}  // namespace

const HCommand cloudCommandTable[] = {
    {"setvisibility", setvisibility},
    {"raisetotop", raisetotop},
    {"lowertobottom", lowertobottom},
    {"deletelayer", deletelayer},
    {"cloudcreatemodellayer", cloudcreatemodellayer},
    {"cloudAddcloud", cloudAddcloud},
    {"cloudplace", cloudplace},
    {"CloudCancelPlacement", CloudCancelPlacement},
    {"cloudupdate", cloudupdate},
    {nullptr, nullptr},
};

extern "C" {

int32_t cloudFileTitleIdentify(void)
{
    return -1;
}

HScript *cloudtlLayerInterfaceInit(void)
{
    if (cloudtlScript)
        return cloudtlScript;
    HErrorSlot err = nullptr;
    HScriptRoot *root = hhml_GetTheRoot();
    cloudtlScript = hhml_ParseVa(0, "tlcloud.hml", root ? root->first : nullptr, &err, 1,
                                 cloudCommandTable, 0);
    if (err)
        hvis_ProcessErrorReport(&err);
    return cloudtlScript;
}

const char *cloudtlLayerGetTypeName(void)
{
    return kTypeName;
}

char *cloudtlLayerGetInterfaceFileTypeDef(char **typeName, char **fileKey)
{
    *typeName = hstr_Duplicate(kTypeName);
    *fileKey = hstr_Duplicate(kFileKey);
    return *fileKey;
}

HLayer *cloudtlLayerCreate(void *owner, int32_t mode, int32_t count, char **strings)
{
    return cloudLayerMake(owner, mode, count, strings, false);
}

HLayer *cloudtlLayerOpen(void *owner, int32_t mode, int32_t count, char **strings)
{
    return cloudLayerMake(owner, mode, count, strings, true);
}

void *cloudInstanceExtListGet(void)
{
    return nullptr;
}

}  // extern "C"

int cloudcreatemodellayer(void *, void *context, int32_t count, char **strings, HErrorSlot *)
{
    // Sent from a layer's menu, the context may be the layer: its scene.
    HScene *scene = cloudLayerIsLive(context)
                        ? static_cast<CloudLayer *>(static_cast<HLayer *>(context)->instance)->scene
                        : static_cast<HScene *>(context);
    if (!scene)
        return 0;
    HErrorSlot err = nullptr;
    scene->ops->sceneCreateLayer(scene, count, strings, cloudtlLayerCreate, &err);
    return 0;
}

char *cloudLayerDisplayName(HLayer *hostLayer)
{
    const CloudLayer *layer = static_cast<const CloudLayer *>(hostLayer->instance);
    char buffer[256];
    buffer[0] = '\0';
    hstr_GetNamePart(layer->fileName, buffer, sizeof buffer);
    return hstr_Duplicate(buffer);
}

HMenu *cloudLayerMenu(HLayer *)
{
    HErrorSlot err = nullptr;
    HScene *scene = tola_ViewerGetScene();
    HWindow *window = scene ? scene->ops->sceneGetWindow(scene) : nullptr;
    HMenu *menu = hhml_FindMenu(cloudtlScript, "tlcloudmenu", &err);
    return hhml_MenuExtract(menu, window, &err);
}

void cloudLayerStackerPopup(HLayer *, const char **name, HScript **script)
{
    *name = "tlcloud_stacker_popup";
    *script = cloudtlScript;
}
