/* entry.h — what the host finds in libtlcloud.so by name, the script
 * command table and the small layer callbacks.
 *
 * The seven entry points below are the library's only exported symbols
 * (plugin/exports.map). The parsed script "tlcloud.hml" is kept for the
 * life of the process and shared by every cloud layer.
 */
#ifndef CLOUDS_PLUGIN_ENTRY_H
#define CLOUDS_PLUGIN_ENTRY_H

#include "host_types.h"

#define CLOUD_EXPORT __attribute__((visibility("default")))

extern "C" {
CLOUD_EXPORT int32_t cloudFileTitleIdentify(void);
CLOUD_EXPORT HScript *cloudtlLayerInterfaceInit(void);
CLOUD_EXPORT const char *cloudtlLayerGetTypeName(void);
CLOUD_EXPORT char *cloudtlLayerGetInterfaceFileTypeDef(char **typeName, char **fileKey);
CLOUD_EXPORT HLayer *cloudtlLayerCreate(void *owner, int32_t mode, int32_t count, char **strings);
CLOUD_EXPORT HLayer *cloudtlLayerOpen(void *owner, int32_t mode, int32_t count, char **strings);
CLOUD_EXPORT void *cloudInstanceExtListGet(void);
}

/* The parsed script, null until a parse succeeds. */
extern HScript *cloudtlScript;
/* The command table handed to the script parser, ended by two nulls. */
extern const HCommand cloudCommandTable[];

char *cloudLayerDisplayName(HLayer *layer);
HMenu *cloudLayerMenu(HLayer *layer);
void cloudLayerStackerPopup(HLayer *layer, const char **name, HScript **script);

int cloudcreatemodellayer(void *first, void *scene, int32_t count, char **strings, HErrorSlot *err);

#endif
