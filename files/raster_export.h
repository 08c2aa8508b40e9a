/* raster_export.h — the dialog's working copy as a three-band picture.
 *
 * The picture is editCloud's noise tile (texsize × texsize samples, edge
 * fade off) in the cloud's colour, mirrored into four quadrants: 2·texsize
 * pixels on each side, symmetric about both middle lines. Bands 1 to 3
 * hold red, green and blue as unsigned bytes and are named after the file
 * ("<file>(:Layer_1)" ...); each has a "Contrast" column of 256 entries
 * rising linearly from 0 to 1. The host writes it (a GeoTIFF here).
 *
 * The noise is read as the dialog left it (table, period, pan offsets):
 * the export does not rebuild it.
 */
#ifndef CLOUDS_FILES_RASTER_EXPORT_H
#define CLOUDS_FILES_RASTER_EXPORT_H

#include "host_types.h"

enum CloudExportResult {
    cloudExportWritten = 0,  /* the file is complete */
    cloudExportDeclined = 1, /* the file existed and the user kept it: nothing written */
    cloudExportFailed = 2,   /* the host's error is in the slot; the user's file is untouched */
};

/* Exports editCloud to fileName. err may be null; otherwise it is cleared
 * first and receives the host's error when a step fails. An existing file
 * is replaced only when the user agrees, and only by a complete picture. */
CloudExportResult cloudExportRaster(const char *fileName, HErrorSlot *err);

#endif
