/* presets.h — the cloud tool's named presets.
 *
 * Five look presets ("Pink Fluff", "Bubble Mist", "Turquoise Mist",
 * "Blue Mist", "Smooth Violet") set density, cluster, detail, zoom,
 * height, seed and colour; three size presets ("Full", "Medium", "Small")
 * set the half-extents from the scene's extent: the whole scene width, two
 * thirds of it or half of it, with a half-height of 0.2, 0.1 or 1/15 of
 * the larger full width. Names are compared without regard to case; a
 * name that matches none (or null) changes nothing.
 */
#ifndef CLOUDS_TOOL_PRESETS_H
#define CLOUDS_TOOL_PRESETS_H

#include "plugin/records.h"

/* Applies the named preset to cloud. The layer's scene extent is queried
 * on every call, whatever the name. */
void cloudApplyPreset(const CloudLayer &layer, CloudRecord &cloud, const char *name);

#endif
