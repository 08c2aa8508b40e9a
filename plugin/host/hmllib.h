/* hmllib.h — the host's script UI: scripts, frames and their parts, menus,
 * popup sets and canvases. Every call takes a trailing error slot except
 * the two button-colour calls and hhml_ButtonFaceColorGet. */
#ifndef CLOUDS_HMLLIB_H
#define CLOUDS_HMLLIB_H

#include "host_export.h"
#include "host_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The root record; its first member goes to the parser. */
typedef struct HScriptRoot {
    void *first;
} HScriptRoot;

HOST_API HScriptRoot *hhml_GetTheRoot(void);
/* (flags, file, root member, error slot, then key/value pairs ending with
 * 0; key 1 gives a command table ended by a pair of nulls). */
HOST_API HScript *hhml_ParseVa(int32_t flags, const char *file, void *rootMember,
                               HErrorSlot *err, ...);
HOST_API HFrame *hhml_PartFind(HScript *script, const char *name, HErrorSlot *err);
HOST_API HFrame *hhml_PartDup(HFrame *frame, HErrorSlot *err);
HOST_API HMenu *hhml_FindMenu(HScript *script, const char *name, HErrorSlot *err);
HOST_API HMenu *hhml_MenuExtract(HMenu *menu, HWindow *window, HErrorSlot *err);

/* Frames and parts. */
HOST_API HFrame *hhml_FrameFindPart(HFrame *frame, const char *name, HErrorSlot *err);
HOST_API void hhml_FrameSourceSet(HFrame *frame, HWindow *window, HErrorSlot *err);
HOST_API void hhml_FrameDisplay(HFrame *frame, HErrorSlot *err);
HOST_API void hhml_FrameContextSet(HFrame *frame, void *context, HErrorSlot *err);
HOST_API void hhml_FrameRemove(HFrame *frame, HErrorSlot *err);
HOST_API double hhml_NumberPartValueGet(HFrame *part, HErrorSlot *err);
HOST_API void hhml_NumberPartValueSet(HFrame *part, double value, HErrorSlot *err);
/* The returned text belongs to the part. */
HOST_API const char *hhml_StringPartValueGet(HFrame *part, HErrorSlot *err);
HOST_API void hhml_StringPartValueSet(HFrame *part, const char *text, HErrorSlot *err);
HOST_API void hhml_SetButtonColor(HFrame *part, const HButtonColor *color, int32_t redraw);
HOST_API void hhml_GetButtonColor(HFrame *part, double rgb[3]);
HOST_API HSet *hhci_NewSet(int32_t a, int32_t b, HErrorSlot *err);
HOST_API void hhml_SetAddString(HSet *set, const char *text, HErrorSlot *err);
/* The popup takes over the set. */
HOST_API void hhml_PopupListReplaceItems(HFrame *popup, HSet *set, int32_t a, int32_t b,
                                         int32_t c, int32_t selected, HErrorSlot *err);

/* Canvases. */
HOST_API HCanvas *hhml_CanvasCreate(HFrame *part, int32_t flags, HErrorSlot *err);
HOST_API void hhml_CanvasGetDimensions(HCanvas *canvas, int32_t *width, int32_t *height,
                                       HErrorSlot *err);
HOST_API void hhml_CanvasSetEventHandler(HCanvas *canvas, HCanvasEventFn handler, void *client,
                                         HErrorSlot *err);
HOST_API HCanvas *hhml_CanvasCreateOffScreenCopyVis(HCanvas *canvas, int32_t width,
                                                    int32_t height, HErrorSlot *err);
HOST_API HCanvasContext *hhml_CanvasContextCreate(HCanvas *canvas, HErrorSlot *err);
HOST_API void hhml_CanvasContextSetColorMethod(HCanvasContext *ctx, int32_t method,
                                               HErrorSlot *err);
HOST_API void hhml_CanvasContextSetLineWidth(HCanvasContext *ctx, int32_t width,
                                             HErrorSlot *err);
HOST_API void hhml_CanvasShowRGBPixrect(HCanvasContext *ctx, HBaseData *red, HBaseData *green,
                                        HBaseData *blue, int32_t a, int32_t b, int32_t c,
                                        int32_t d, int32_t width, int32_t height, int32_t dx,
                                        int32_t dy, HErrorSlot *err);
HOST_API void hhml_CanvasDelete(HCanvas *canvas, HErrorSlot *err);
HOST_API void hhml_CanvasContextDelete(HCanvasContext *ctx, HErrorSlot *err);

/* Icon drawing. */
HOST_API HCanvas *hhml_CanvasReadXpmFile(void *handle, const char *file, int32_t *width,
                                         int32_t *height, int32_t *hotX, int32_t *hotY,
                                         HErrorSlot *err);
/* A new heap block of three doubles (red, green, blue); the caller frees it. */
HOST_API double *hhml_ButtonFaceColorGet(void);
HOST_API void hhml_CanvasDrawBevelRect(HCanvasContext *ctx, int32_t a, int32_t b, int32_t x,
                                       int32_t y, int32_t width, int32_t height, int32_t bevel,
                                       const HCanvasColor *light, const HCanvasColor *face,
                                       const HCanvasColor *dark, HErrorSlot *err);
HOST_API void hhml_CanvasCopyArea(HCanvasContext *ctx, HCanvas *source, int32_t sx, int32_t sy,
                                  int32_t width, int32_t height, int32_t dx, int32_t dy,
                                  HErrorSlot *err);
HOST_API void hhml_CanvasContextSetFont(HCanvasContext *ctx, const char *font, HErrorSlot *err);
HOST_API void hhml_CanvasContextGetStringExtents(HCanvasContext *ctx, const char *text,
                                                 int32_t *e1, int32_t *e2, int32_t *e3,
                                                 int32_t *e4, HErrorSlot *err);
HOST_API void hhml_CanvasContextSetForeground(HCanvasContext *ctx, const HCanvasColor *color,
                                              HErrorSlot *err);
HOST_API void hhml_CanvasDrawText(HCanvasContext *ctx, const char *text, int32_t x, int32_t y,
                                  HErrorSlot *err);

#ifdef __cplusplus
}
#endif

#endif
