/* placement.h — placing clouds by clicking in the scene, and the cloud
 * picked with the pointer.
 *
 * selectedCloud is the cloud last picked in the scene (framed by the
 * selection box), or null; selectionState is 2 while it is framed, else 0.
 * Both are shared by every cloud layer.
 */
#ifndef CLOUDS_TOOL_PLACEMENT_H
#define CLOUDS_TOOL_PLACEMENT_H

#include "host_types.h"
#include "plugin/records.h"

extern CloudRecord *selectedCloud;
extern int32_t selectionState;

int cloudplace(void *first, void *context, int32_t count, char **strings, HErrorSlot *err);
int CloudCancelPlacement(void *first, void *context, int32_t count, char **strings,
                         HErrorSlot *err);
int placementClickEvent(void *hostLayer, HPointerEvent *event);
/* The layer's pick entry: selects the cloud whose box the view ray through
 * the click meets nearest its start (the earlier in the list at equal
 * distance), makes it current and frames it; a miss ends the selection.
 * 1 when a cloud was picked. */
int32_t layerPickEvent(HLayer *hostLayer, HPointerEvent *event);
double pointDistance(const double a[3], const double b[3]);
/* Frames cloud with a new selection box (the old one goes, in this layer
 * and any other) and switches the scene's "delcloud" action on. When the host can make no box, ends
 * the selection instead (selectedCloud null, state 0, "delcloud" off) and
 * returns false. */
bool cloudSelectionBoxMake(const CloudRecord &cloud, CloudLayer &layer);
/* cloudSelectionEnd, and the box goes too when another layer shows it:
 * the picked cloud stays picked. */
void cloudSelectionEndEverywhere(CloudLayer &layer);
/* No cloud picked in any layer: every layer's box goes. */
void cloudSelectionForget();
/* Removes the selection box, switches "delcloud" off; selectionState 0. */
void cloudSelectionEnd(CloudLayer &layer);
/* The selection box's change callback: moves and resizes the picked cloud
 * by the box's last transform and makes it the dialog's cloud. */
int cloudSelectionBoxChanged(void *selector, void *, void *, void *, void *client);

/* Ends placement mode of the layer: removes the frame, the click handler
 * and the interaction. */
void cloudPlacementEnd(HLayer *hostLayer);

#endif
