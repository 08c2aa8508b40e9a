#include "plugin/records.h"

#include "synth/noise.h"
#include "synth/slice_texture.h"

CloudRecord editCloud;

CloudRecord *cloudRecordSetDefaults(CloudRecord *r)
{
    r->density = 0.3f;
    r->cluster = 0.52f;
    r->detail = 1.0f;
    r->zoom = 41.0f;
    r->height = 0.35f;
    r->layers = 10;
    r->panx = 0;
    r->pany = 0;
    r->xposition = 0.0;
    r->yposition = 0.0;
    r->zposition = 0.0;
    r->xsize = 20000.0;
    r->ysize = -20000.0;
    r->zsize = 5000.0;
    r->xslice = 50;
    r->yslice = 50;
    r->zslice = 20;
    r->hTextures = nullptr;
    r->vTextures = nullptr;
    r->texsize = 32;
    r->symmetric = 1;
    r->bottomscale = 1.0f;
    r->seed = 678269.0;
    r->red = 1.0f;
    r->green = 1.0f;
    r->blue = 1.0f;
    return r;
}

void cloudRecordAssign(CloudRecord source, CloudRecord *d)
{
    d->density = source.density;
    d->cluster = source.cluster;
    d->detail = source.detail;
    d->zoom = source.zoom;
    d->height = source.height;
    d->layers = source.layers;
    d->panx = source.panx;
    d->pany = source.pany;
    d->xposition = source.xposition;
    d->yposition = source.yposition;
    d->zposition = source.zposition;
    d->xsize = source.xsize;
    d->ysize = source.ysize;
    d->zsize = source.zsize;
    d->xslice = source.xslice;
    d->yslice = source.yslice;
    d->zslice = source.zslice;
    d->texsize = source.texsize;
    d->bottomscale = source.bottomscale;
    d->seed = source.seed;
    d->red = source.red;
    d->green = source.green;
    d->blue = source.blue;
    // Every cloud grows its vertical profiles about the middle row.
    d->symmetric = 1;
    noiseTableBuild(*d);
}

void cloudListFree(CloudRecord *head)
{
    while (head) {
        CloudRecord *next = head->next;  // taken before the record goes
        cloudTexturesFree(*head);
        hmsc_HeapFree(head);
        head = next;
    }
}
