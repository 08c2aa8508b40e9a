/* stacker_icon.h — the picture of a cloud layer in the host's layer
 * stacker: a raised button face 48 pixels high, the bitmap "cloud.bmp" at
 * (6, 6) and the layer's name in the font "stackerbold", centred on row 24.
 *
 * Drawn once per layer, on the first request with a stacker canvas, and
 * handed out unchanged from then on (a later width or name changes
 * nothing). The layer's close deletes it.
 */
#ifndef CLOUDS_PLUGIN_STACKER_ICON_H
#define CLOUDS_PLUGIN_STACKER_ICON_H

#include "host_types.h"

/* The layer's icon canvas; null without a stacker canvas or when the
 * caller's error slot already holds an error. */
HCanvas *cloudLayerStackerIcon(HLayer *layer, HStackerCanvas *stacker, int32_t width,
                               HErrorSlot *err);

/* Where the name's baseline starts: x = bw + th + 4 and y = 24 - th / 2 -
 * e3 (integer division), th = e4 - e3 the text's height from the top
 * offset e3 (negative above the baseline) and the bottom offset e4. */
void stackerTextPosition(int32_t bitmapWidth, int32_t e3, int32_t e4, int32_t *x, int32_t *y);

#endif
