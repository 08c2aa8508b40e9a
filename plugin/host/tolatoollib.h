/* tolatoollib.h — the host's scenes, feature layers, layer arranging and
 * interactive selection box. */
#ifndef CLOUDS_TOLATOOLLIB_H
#define CLOUDS_TOLATOOLLIB_H

#include "host_export.h"
#include "host_types.h"

#ifdef __cplusplus
extern "C" {
#endif

HOST_API HLayer *tola_FeatureLayerCreate(void);
HOST_API void tola_FeatureLayerFree(HLayer *layer);
HOST_API HScene *tola_GetScenePtrFromLayer(void *owner);
HOST_API HScene *tola_ViewerGetScene(void);

HOST_API int32_t tola_ArrangeLayersToggleLayerVisibility(void *context);
HOST_API int32_t tola_ArrangeLayersRaiseToTop(void *first, void *context, int32_t count,
                                              char **strings, HErrorSlot *err);
HOST_API int32_t tola_ArrangeLayersLowerToBottom(void *first, void *context, int32_t count,
                                                 char **strings, HErrorSlot *err);
HOST_API int32_t tola_ArrangeLayersDeleteLayer(void *first, void *context, int32_t count,
                                               char **strings, HErrorSlot *err);

/* Selection box: a box from eight corners (a 3 × 8 matrix of doubles). */
HOST_API HSelMethods *tola_SelNewGetMethods(const char *kind, HBaseData *corners,
                                            int32_t count, HErrorSlot *err, int32_t flags);
HOST_API HSelector *tola_SelNewCreate(HScene *scene, const char *name, HSelMethods *methods);
HOST_API void tola_SelNewBoxAllowRotations(HSelector *selector, int32_t allow);
/* The transform of the last change; freed with hfga_PolynomialDelete. */
HOST_API HPolynomial *tola_SelectBoxGetLastXform(HSelector *selector);
HOST_API void tola_SelNewDestroy(HSelector *selector, HErrorSlot *err);

#ifdef __cplusplus
}
#endif

#endif
