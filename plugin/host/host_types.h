/* host_types.h — records that the host and the plug-in share.
 *
 * Every host library header includes this one. The plug-in sees the host
 * only through these declarations; the host's own objects (frames, parts,
 * canvases, menus, scripts, windows) stay opaque handles.
 *
 * Error slot: a pointer-sized value passed by address as the last argument
 * of most host calls. Callers clear it to null before the call; the host
 * leaves it non-null when the call failed. Its value is the host's error
 * record, shown with hvis_ProcessErrorReport.
 */
#ifndef CLOUDS_HOST_TYPES_H
#define CLOUDS_HOST_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void *HErrorSlot;

/* Opaque host objects. */
typedef struct HFrame HFrame;           /* a frame or part of the script UI */
typedef struct HCanvas HCanvas;         /* a canvas (on screen or off screen) */
typedef struct HCanvasContext HCanvasContext;
typedef struct HScript HScript;         /* a parsed script */
typedef struct HMenu HMenu;
typedef struct HWindow HWindow;
typedef struct HSet HSet;               /* a set of strings for a popup list */
typedef struct HFile HFile;             /* a formatted file of hfio_ */
typedef struct HCallOptions HCallOptions;
typedef struct HPolynomial HPolynomial; /* a transform of tola_SelectBoxGetLastXform */
typedef struct HSelector HSelector;     /* an interactive selection box */
typedef struct HSelMethods HSelMethods; /* method set of a selector */

typedef struct HScene HScene;
typedef struct HLayer HLayer;

/* Colour as canvas calls take it: a pixel value (0 here), then the
 * components in 0..1. */
typedef struct HCanvasColor {
    int32_t pixel;
    double red, green, blue;
} HCanvasColor;

/* Colour of a colour button: components and alpha in 0..1, then two flags
 * that the plug-in always sets to 1 and 0. */
typedef struct HButtonColor {
    double red, green, blue, alpha;
    int32_t flag1, flag2;
} HButtonColor;

/* A pointer event as the scene and the layer method table deliver it. */
typedef struct HPointerEvent {
    int32_t code; /* 104: a click */
    int32_t x, y; /* window position in pixels */
} HPointerEvent;

enum { HPOINTER_CLICK = 104, HCANVAS_EXPOSE = 100 };

/* Typed matrix of hgda_: rows × columns elements of one type, each element
 * reached at data + row * rowStep + column * columnStep (steps in bytes). */
typedef struct HBaseData {
    int32_t rows, columns;
    int32_t type;       /* 3: unsigned byte, 10: 64-bit float */
    void *data;
    ptrdiff_t rowStep;
    ptrdiff_t columnStep;
} HBaseData;

enum { HGDA_UINT8 = 3, HGDA_FLOAT64 = 10 };

/* A list of owned strings of hstr_StringListCreate. */
typedef struct HStringList {
    int32_t count;
    char **strings;
} HStringList;

/* Three or more planes of unsigned bytes, each width × height, packed row
 * major, as himg_PixelRectStackCreate makes them. */
typedef struct HPixelRect {
    int32_t width, height;
    int32_t pixelType;
    unsigned char *data;
} HPixelRect;

typedef struct HPixelRectStack {
    int32_t count;
    HPixelRect *planes;
} HPixelRectStack;

/* A raster file of himg_: its band handles in band order. */
typedef struct HBand HBand;
typedef struct HRaster {
    int32_t bandCount;
    HBand **bands;
    void *impl;
} HRaster;

/* Stacker canvas record: the third member is the handle that bitmaps are
 * read for. */
typedef struct HStackerCanvas {
    HCanvas *canvas;
    HWindow *window;
    void *handle;
} HStackerCanvas;

/* Script commands: (first, context, count, strings, error slot). */
typedef int (*HCommandFn)(void *first, void *context, int32_t count, char **strings,
                          HErrorSlot *err);
typedef struct HCommand {
    const char *name;
    HCommandFn fn;
} HCommand;

/* Pointer event callbacks of the scene: callback(client data, event). */
typedef int (*HSceneEventFn)(void *client, HPointerEvent *event);

/* Canvas event handler: handler(value, event, client data). */
typedef void (*HCanvasEventFn)(void *value, void *event, void *client);

/* Object callback: (object, three values, client data). */
typedef int (*HObjectCallbackFn)(void *object, void *a, void *b, void *c, void *client);

/* Layer create entry point as sceneCreateLayer takes it. */
typedef HLayer *(*HLayerCreateFn)(void *owner, int32_t mode, int32_t count, char **strings);

/* ---- Scene record and its operations, in table order. ---- */
typedef struct HSceneOps {
    void (*sceneRedraw)(HScene *s, int32_t a, int32_t b, HErrorSlot *err);
    void (*scenePickPoint)(HScene *s, int32_t wx, int32_t wy, double *x, double *y, double *z);
    HLayer *(*sceneFindLayerByType)(HScene *s, const char *type);
    HWindow *(*sceneGetWindow)(HScene *s);
    void (*sceneAddEventCallback)(HScene *s, HSceneEventFn fn, void *client);
    void (*sceneQueryView)(HScene *s, double *a, double *b, double *c, int32_t d, int32_t e);
    void (*sceneSetBusy)(HScene *s, int32_t busy);
    void (*sceneInteractionBegin)(HScene *s, int32_t flags);
    void (*sceneInteractionEnd)(HScene *s, int32_t flags);
    void (*sceneRemoveEventCallback)(HScene *s, HSceneEventFn fn, void *client);
    void (*sceneGetOrigin)(HScene *s, int32_t which, double *x, double *y, double *z);
    HLayer *(*sceneCreateLayer)(HScene *s, int32_t count, char **strings, HLayerCreateFn create,
                                HErrorSlot *err);
    void (*sceneActionOn)(HScene *s, const char *name);
    void (*sceneActionOff)(HScene *s, const char *name);
    void (*sceneGetExtent)(HScene *s, double *e1, double *e2, double *e3, double *e4, double *e5,
                           double *e6);
    int32_t (*sceneRayHitsBox)(const double start[3], const double second[3], const double low[3],
                               const double high[3], double hit[3]);
    void (*scenePickRay)(HScene *s, int32_t wx, int32_t wy, double start[3], double second[3]);
} HSceneOps;

struct HScene {
    const HSceneOps *ops;
};

/* ---- Host layer record and its method table. ----
 * The plug-in overwrites its own entries; the host's entries lie between
 * them and keep what tola_FeatureLayerCreate put there. */
typedef int32_t (*HLayerDrawFn)(HLayer *layer, double a, double b, double c, int32_t d, double e,
                                double f, int32_t g);

typedef struct HLayerMethods {
    void (*close)(HLayer *layer);
    void (*hostSetName)(HLayer *layer, const char *name);
    HLayerDrawFn draw;
    HLayerDrawFn drawBoxes;
    int32_t (*pointerEvent)(HLayer *layer, HPointerEvent *event);
    const char *(*typeName)(void);
    int32_t (*save)(HLayer *layer);
    HCanvas *(*stackerIcon)(HLayer *layer, HStackerCanvas *stacker, int32_t width,
                            HErrorSlot *err);
    void (*hostGetExtent)(HLayer *layer, double box[6]);
    void (*writeFeatureLine)(HLayer *layer, HFile *stream);
    char *(*displayName)(HLayer *layer);
    HMenu *(*menu)(HLayer *layer);
    void (*stackerPopup)(HLayer *layer, const char **name, HScript **script);
    int32_t (*hostIsVisible)(HLayer *layer);
    HLayerDrawFn drawPass;
    HLayerDrawFn drawOverlay; /* set to null by layer types without an overlay */
} HLayerMethods;

struct HLayer {
    void *instance;          /* the layer type's own record */
    HLayerMethods *methods;  /* this layer's own copy of the table */
};

#ifdef __cplusplus
}
#endif

#endif
