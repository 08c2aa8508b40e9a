/* cloud_list.h — adding a cloud to a layer from the dialog's working copy
 * and deleting the layer's current cloud.
 *
 * Both mark the layer dirty, so that closing asks to save a layer whose
 * clouds were added or deleted. Both rebuild the shared noise table;
 * adding bakes textures, so it needs the scene's GL context.
 */
#ifndef CLOUDS_PLUGIN_CLOUD_LIST_H
#define CLOUDS_PLUGIN_CLOUD_LIST_H

#include "plugin/records.h"

/* Appends a baked copy of editCloud and makes it current. Null, with the
 * list and current unchanged, when the heap has no room. */
CloudRecord *cloudListAddFromEdit(CloudLayer &layer);

/* Unlinks and frees the current cloud with its textures; the list head
 * (not a neighbour) becomes current and is copied into editCloud and
 * shown. Does nothing without a current cloud. */
void cloudListDeleteCurrent(CloudLayer &layer);

/* Whether the cloud is one of the layer's own. */
bool cloudListHolds(const CloudLayer &layer, const CloudRecord *cloud);

#endif
