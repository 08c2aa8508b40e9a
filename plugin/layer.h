/* layer.h — making a cloud layer (new, or read from its file) and closing
 * it.
 *
 * A layer hangs on a host layer record made by the host's feature-layer
 * service: the record's instance slot holds the CloudLayer and its method
 * table gets the plug-in's callbacks. Making a layer also resets the
 * dialog's working copy to the defaults, sized from the scene's extent.
 */
#ifndef CLOUDS_PLUGIN_LAYER_H
#define CLOUDS_PLUGIN_LAYER_H

#include "host_types.h"
#include "plugin/records.h"

/* Create (fromFile false) or open (fromFile true: the first string names
 * the file to read). Returns null only when the host cannot make a layer
 * record or its heap has no room for the layer and copies of its
 * arguments. */
HLayer *cloudLayerMake(void *owner, int32_t mode, int32_t count, char **strings, bool fromFile);

/* Default half-extents of a new cloud from the scene's extent: 5/7 of the
 * extent's x and y widths, halved, and a tenth of the larger width for z.
 * Writes editCloud's sizes and the layer's defaultHalfSize. */
void cloudLayerDefaultSize(CloudLayer &layer);

void cloudLayerClose(HLayer *hostLayer);

/* Whether the value is the host layer record of a cloud layer that is
 * open: commands use it to tell a layer from a scene in their context. */
bool cloudLayerIsLive(const void *hostLayer);
/* The cloud layer a command's context stands for: a live cloud layer is
 * itself, anything else is taken for a scene, whose first cloud layer it
 * is (null without one, or without a context). */
HLayer *cloudLayerOfContext(void *context);
/* The open cloud layers, newest first, linked through nextLive: the
 * selection box and placement are one at a time across all of them. */
CloudLayer *cloudLayersLive();
/* The open layer whose list holds the cloud; null for none. */
CloudLayer *cloudLayerHolding(const CloudRecord *cloud);

#endif
