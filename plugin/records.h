/* records.h — the cloud record, the cloud layer record and the dialog's
 * working copy.
 *
 * A CloudRecord holds every parameter of one cloud, its two slice texture
 * stacks and its link in the layer's list. The layer's list belongs to the
 * host's list manager (records linked through `next`, their first field).
 * `editCloud` is the dialog's working copy: never a list member, never
 * baked.
 *
 * Defaults (cloudRecordSetDefaults): density 0.3, cluster 0.52, detail 1,
 * zoom 41, height 0.35, layers 10, pan 0/0, position 0/0/0, half-extents
 * 20000/-20000/5000, slices 50/50/20, texsize 32, symmetric 1,
 * bottomscale 1, seed 678269, colour 1/1/1.
 */
#ifndef CLOUDS_PLUGIN_RECORDS_H
#define CLOUDS_PLUGIN_RECORDS_H

#include <stdint.h>

#include "hlib.h"

struct SliceTexture;

struct CloudRecord {
    CloudRecord *next;         /* next cloud of the layer; not written by the defaults */
    float density;             /* 0.3: colour scale of the slices */
    float cluster;             /* 0.52: offset added to the noise sum before shaping */
    float detail;              /* 1.0: octaves, truncated */
    float zoom;                /* 41.0: lattice cells across 256 pixels */
    float height;              /* 0.35: shaping base is 1 - height */
    int32_t layers;            /* 10: textures per slice stack */
    int32_t panx;              /* 0: noise offset x in pixels */
    int32_t pany;              /* 0: noise offset y in pixels */
    double xposition;          /* 0.0: centre, scene coordinates without the layer origin */
    double yposition;          /* 0.0 */
    double zposition;          /* 0.0 */
    double xsize;              /* 20000.0: half-extent, may be negative */
    double ysize;              /* -20000.0 */
    double zsize;              /* 5000.0 */
    int32_t xslice;            /* 50: quads across x */
    int32_t yslice;            /* 50 */
    int32_t zslice;            /* 20 */
    SliceTexture *hTextures;   /* null, or `layers` textures drawn across z */
    SliceTexture *vTextures;   /* null, or `layers` textures drawn across x and y */
    int32_t texsize;           /* 32: texture edge in pixels */
    int32_t symmetric;         /* 1: vertical profiles grow about the middle row */
    float bottomscale;         /* 1.0: stored and edited, not used by synthesis */
    double seed;               /* 678269.0: enters the noise as a 32-bit float */
    float red;                 /* 1.0 */
    float green;               /* 1.0 */
    float blue;                /* 1.0 */
};

struct CloudLayer {
    HScene *scene;             /* the scene the layer lives in */
    void *owner;               /* first argument of create/open, kept */
    char *fileName;            /* owned copy of the first string argument, or null */
    int32_t argCount;          /* number of string arguments */
    char **args;               /* owned copies of the string arguments */
    int32_t mode;              /* second argument of create/open, kept */
    void *scriptRoot;          /* hhml_GetTheRoot() at create/open */
    HCanvas *stackerIcon;      /* cached stacker icon, null until asked for */
    int32_t dirty;             /* unsaved changes */
    int32_t visible;           /* 1: drawn */
    int32_t previewLive;       /* the dialog's preview may be redrawn */
    HFrame *dialog;            /* the open "cloudtool" frame, or null */
    HFrame *placementDialog;   /* the open "cloudplacement" frame, or null */
    HFrame *canvasPart;        /* dialog part "canvas" */
    HCanvas *canvas;           /* preview canvas */
    HCanvas *offscreen;        /* off-screen copy of canvas */
    HCanvasContext *canvasContext;
    HCanvasContext *offscreenContext;
    HFrame *colorPart;         /* dialog part "cloudcolor" */
    HBaseData *previewRed;     /* preview planes, previewHeight rows of previewWidth bytes */
    HBaseData *previewGreen;
    HBaseData *previewBlue;
    int32_t previewWidth;      /* 1 until the dialog opens */
    int32_t previewHeight;     /* 1 until the dialog opens */
    CloudRecord *clouds;       /* head of the owned cloud list, null when empty */
    CloudRecord *current;      /* a member of clouds, or null */
    HSelector *selector;       /* box around a picked cloud, or null */
    double origin[3];          /* scene offset added to cloud positions, refreshed per draw */
    double defaultHalfSize[3]; /* half-extents of a new cloud, from the scene extent */
    int32_t boxOnly;           /* 1: the next draw shows boxes only */
    HLayer *host;              /* the host layer record this layer hangs on */
    CloudLayer *nextLive;      /* the next live cloud layer (see cloudLayerIsLive) */
};

/* The dialog's working copy, shared by every cloud layer. */
extern CloudRecord editCloud;

/* Writes every default; `next` is left as it is. Returns record. */
CloudRecord *cloudRecordSetDefaults(CloudRecord *record);

/* Copies every parameter of source into destination, keeps destination's
 * link and texture stacks, sets its `symmetric` to 1, and builds the noise
 * table for it. */
void cloudRecordAssign(CloudRecord source, CloudRecord *destination);

/* Frees every cloud of a list with its textures, following `next`; the
 * list manager is not told. */
void cloudListFree(CloudRecord *head);

#endif
