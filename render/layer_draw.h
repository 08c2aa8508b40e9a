/* layer_draw.h — draws a cloud layer in the host's OpenGL scene.
 *
 * Each cloud is three families of blended, textured quads through its box:
 * planes of constant z from the horizontal stack, then planes of constant y
 * and of constant x from the vertical stack. A family is tinted by the
 * cloud's colour times its density and shaded by how closely the view
 * direction follows the family's axis. Blending is (ONE, ONE_MINUS_SRC_COLOR)
 * with depth testing on and depth writes off: clouds brighten what lies
 * behind them and hide nothing. When the host asks for boxes only, each
 * cloud is drawn as the wire outline of its box in its full colour.
 *
 * GL state: everything the draw changes is saved with glPushAttrib(0xFFFFF)
 * and restored with glPopAttrib in layerDraw, in one place.
 *
 * Limits: a family whose slice count is 0 or negative draws no quads, and
 * one whose count is above CLOUD_SLICES_MAX is drawn with that many (a
 * count from a damaged file must not stall the viewer for minutes); a
 * cloud without texture stacks (texsize or layers that could not be baked,
 * or a failed bake) draws nothing in slice mode, though its box still draws
 * in box mode.
 *
 * Typical values: slices 50/50/20, so 51 + 51 + 21 = 123 quads per cloud,
 * one texture bind each. Nothing is allocated while drawing. Needs the
 * scene's GL context current.
 */
#ifndef CLOUDS_RENDER_LAYER_DRAW_H
#define CLOUDS_RENDER_LAYER_DRAW_H

#include <stdint.h>

#include "host_types.h"

struct CloudRecord;
struct CloudLayer;

/* 1 when the plug-in is loaded; cleared by the first layerDraw of the
 * process (any layer, visible or not), which tells the scene to switch off
 * its "delcloud" action. */
extern int32_t firstDrawPending;

/* Most planes drawn for one family of a cloud. */
enum { CLOUD_SLICES_MAX = 4096 };

/* The layer method table's draw entries. Only the host layer, e (view
 * elevation, degrees) and f (view azimuth, degrees) are used; the other
 * arguments are passed through by the wrappers unchanged.
 * layerDraw: draws the layer (slices, or boxes once after layerDrawBoxes);
 * returns 1. layerDrawBoxes: sets boxOnly, calls layerDraw, returns 0.
 * layerDrawPass: calls layerDraw and returns its result. */
int32_t layerDraw(HLayer *hostLayer, double a, double b, double c, int32_t d, double e, double f,
                  int32_t g);
int32_t layerDrawBoxes(HLayer *hostLayer, double a, double b, double c, int32_t d, double e,
                       double f, int32_t g);
int32_t layerDrawPass(HLayer *hostLayer, double a, double b, double c, int32_t d, double e,
                      double f, int32_t g);

/* One cloud as slices, with the GL state layerDraw set up. viewDir: three
 * doubles, only their ratios matter. */
void cloudDrawSlices(const CloudRecord &cloud, const double viewDir[3], const CloudLayer &layer);
/* One cloud's box outline in its full colour; leaves blending and
 * texturing off for the rest of the draw. */
void cloudDrawBox(const CloudRecord &cloud, const CloudLayer &layer);

#endif
