/* dialog.h — the cloud tool dialog: each layer's copy of the "cloudtool"
 * frame, its live noise preview and the transfer of values between a
 * cloud record and the dialog's parts.
 *
 * The dialog edits one shared working copy, editCloud; the preview shows
 * its noise tile (texsize × texsize samples stretched over the canvas,
 * edge fade on) in the cloud's colour, full colour from |v| = 0.5 on.
 * The canvas size is read once at opening (256 × 256 with the bundled
 * script). A cloud's label is "Cloud %d" with its 1-based list position,
 * computed when needed, never stored.
 *
 * Every function tolerates a closed dialog (null frame) and missing
 * parts: writes are skipped, reads give null or 0.0.
 */
#ifndef CLOUDS_TOOL_DIALOG_H
#define CLOUDS_TOOL_DIALOG_H

#include "host_types.h"
#include "plugin/records.h"

/* Opens the layer's dialog, or only raises it when it is open. */
void dialogOpen(HLayer *hostLayer);
/* Closes the dialog and releases its canvases, contexts and planes;
 * nothing happens while it is closed. */
void dialogClose(CloudLayer &layer);
/* Redraws the preview from editCloud, unless previewLive is 0 or the
 * dialog's canvas or planes are missing. */
void dialogPreviewDraw(HLayer *hostLayer);
/* Says beside Apply whether the fields hold the current cloud's values
 * ("Fields: working copy, not Cloud 1's values"), and names that cloud on
 * the button that loads it ("Load Cloud 1"): the parts "workingstate" and
 * "loadcurrent", when the dialog has them. */
void dialogShowWorkingState(CloudLayer &layer);
/* Computes the preview planes from editCloud and the noise state as they
 * are. False when the heap has no room for the work tables (the planes
 * keep their last picture then). */
bool dialogPreviewPlanes(const CloudLayer &layer);
/* Canvas handler: redraws on an expose event (type 100). */
void dialogCanvasEvent(void *value, void *event, void *client);
/* Sets a number part if the frame has it; returns the error slot. */
HErrorSlot dialogSetNumber(HFrame *frame, const char *name, double value);
/* Rebuilds the "currentcloud" popup: one label per cloud, the current
 * cloud selected (index 0 when there is none). */
void dialogCloudListFill(CloudLayer &layer, HFrame *frame);
/* Makes cloud current and shows its label in the popup. */
void dialogSelectCloud(CloudLayer &layer, CloudRecord *cloud);
/* Writes a cloud's values into the dialog's parts, then seeds the noise
 * generator and sets the period from it (the zoom, not truncated). */
void dialogShowCloud(const CloudRecord *cloud, HFrame *frame);
/* The cloud labelled text (exact comparison), which becomes current;
 * null when no label matches. */
CloudRecord *dialogFindCloudByLabel(CloudLayer &layer, const char *text);
/* A part's value; null or 0.0 when the dialog is closed or the part is
 * missing. The text belongs to the part. */
const char *dialogGetString(const CloudLayer *layer, const char *name);
double dialogGetNumber(const CloudLayer *layer, const char *name);

/* The label of list position n (from 1). */
void dialogCloudLabel(char buffer[32], int32_t n);

#endif
