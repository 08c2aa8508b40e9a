/* hlib.h — the host's base library: heap, strings, formatted files, typed
 * matrices, raster layer stacks, call options and transforms.
 *
 * Every block the plug-in keeps comes from hmsc_HeapMalloc and goes back
 * through hmsc_HeapFree; strings made by hstr_ are heap blocks too.
 */
#ifndef CLOUDS_HLIB_H
#define CLOUDS_HLIB_H

#include "host_export.h"
#include "host_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Error records. herr_SetCode stores in *err (nothing happens without a
 * slot) a new record holding the code and the formatted message, which
 * hvis_ProcessErrorReport then shows. Codes are errno values where the
 * system reported the problem, else one of these. HERR_DAMAGED says that
 * the data read were damaged, so that saving what was read would make the
 * damage permanent: a caller may refuse to save over it. HERR_LIMIT says
 * that a limit of the reader was reached (what was read is sound, but not
 * all of it is in use). */
enum { HERR_GENERIC = -1, HERR_DAMAGED = -2, HERR_LIMIT = -3 };
HOST_API void herr_SetCode(HErrorSlot *err, int32_t code, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
/* herr_Set: the same with HERR_GENERIC, for the plug-in's own reports
 * through hvis_ProcessErrorReport. */
HOST_API void herr_Set(HErrorSlot *err, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

/* Heap. */
HOST_API void *hmsc_HeapMalloc(size_t size);
HOST_API void hmsc_HeapFree(void *block);

/* Strings. hstr_Duplicate and hstr_StringCat return new heap strings. */
HOST_API char *hstr_Duplicate(const char *text);
HOST_API char *hstr_GetNamePart(const char *path, char *buffer, int32_t size);
HOST_API int32_t hstr_Eqic(const char *a, const char *b);
/* hstr_Sprintf has no size argument: it writes at most HSTR_SPRINTF_MAX
 * bytes, the NUL included, truncates longer text and then sets *err. It
 * returns the length stored. */
enum { HSTR_SPRINTF_MAX = 500 };
HOST_API int32_t hstr_Sprintf(char *buffer, const char *format, HErrorSlot *err, ...);
HOST_API HStringList *hstr_StringListCreate(int32_t count, HErrorSlot *err);
HOST_API char *hstr_StringCat(int32_t flags, const char *a, const char *b);
HOST_API void hstr_StringListDelete(HStringList *list, HErrorSlot *err);

/* Formatted files. Mode "r" reads; mode "w" writes a new file that replaces
 * the named one only when hfio_Close succeeds. hfio_Close returns nonzero
 * on success. */
HOST_API HFile *hfio_Open(const char *name, const char *mode, HErrorSlot *err);
HOST_API int32_t hfio_Fprintf(HFile *file, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
HOST_API int32_t hfio_Fscanf(HFile *file, const char *format, ...)
    __attribute__((format(scanf, 2, 3)));
HOST_API int32_t hfio_Close(HFile *file, HErrorSlot *err);
HOST_API int32_t hfio_FileExists(const char *name, HErrorSlot *err);
HOST_API int32_t hfio_FileUnlink(const char *name, HErrorSlot *err);
/* hfio_Sprintf has no size argument: it writes at most HFIO_SPRINTF_MAX
 * bytes, the NUL included, and truncates longer text silently. It returns
 * the length stored. */
enum { HFIO_SPRINTF_MAX = 256 };
HOST_API int32_t hfio_Sprintf(char *buffer, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

/* Typed matrices (rows, columns, type, layout, flags). */
HOST_API HBaseData *hgda_BaseDataCreate(int32_t rows, int32_t columns, int32_t type,
                                        int32_t layout, int32_t flags, HErrorSlot *err);
HOST_API void hgda_BaseDataDelete(HBaseData *data, HErrorSlot *err);

/* Raster layer stacks.
 *
 * Pixel rectangle stacks: planes of width × height unsigned bytes (pixel
 * type 3), each plane's pixel (row r, column c) at data[r * width + c],
 * zero when made. Sides run from 1 to HIMG_MAX_SIDE, stacks hold 1 to
 * HIMG_MAX_PLANES planes; every block comes from the host heap.
 *
 * Raster files: GeoTIFF only (a name ending ".tif" or ".tiff"). A raster
 * is named by a string list with one name per band, "<file>(:<band>)"; the
 * file is the part before the last "(:", the whole name is the band's
 * description. himg_LayerStackCreate writes the raster under a temporary
 * name beside the file, and its himg_LayerStackClose renames it over the
 * file only when everything was written: a failed step removes the
 * temporary at once, leaves any old file as it was, and the later close
 * only releases the handle (returning 0). Close every raster handle.
 *
 * himg_LayerStackCreate(names, format, pixelType, width, height, options):
 * format HIMG_GEOTIFF, pixel type 3, one band per name. himg_LayerStackOpen
 * opens an existing raster; with HINT_OPEN_FOR "Descriptor_Table" its
 * bands take descriptor columns (hvis_WriteHdscColumn), which its close
 * stores beside the file in "<file>.aux.xml" (written under a temporary
 * name and renamed too). Both take over the options record, report through
 * its error slot, and return null without a record (there is no slot to
 * report to).
 *
 * himg_LayerStackChangeOptions(raster, err, key, value): one key and its
 * value per call (a 0 after them is allowed and ignored); key
 * HIMG_SUMMARIES takes 0 to 7; bit 1 makes the close compute each band's
 * minimum, maximum, mean and standard deviation and store them with the
 * raster; bits 2 and 4 are accepted and ignored (summaries this host does
 * not keep). The default is 0. */
enum {
    HIMG_MAX_SIDE = 16384,
    HIMG_MAX_PLANES = 256,
    HIMG_GEOTIFF = 1,
    HIMG_SUMMARIES = 25,
    HIMG_SUMMARY_STATISTICS = 1
};
HOST_API HPixelRectStack *himg_PixelRectStackCreate(int32_t planes, int32_t width,
                                                    int32_t height, int32_t pixelType,
                                                    HErrorSlot *err);
HOST_API void himg_PixelRectStackDelete(HPixelRectStack *stack, HErrorSlot *err);
HOST_API HRaster *himg_LayerStackCreate(HStringList *names, int32_t format, int32_t pixelType,
                                        int32_t width, int32_t height, HCallOptions *options);
/* Writes plane k of the stack into band k at (row, column); each plane must
 * hold at least width × height pixels, its own width being the row step. */
HOST_API int32_t himg_LayerStackWrite(HRaster *raster, int32_t row, int32_t column,
                                      int32_t width, int32_t height, HPixelRectStack *planes,
                                      HErrorSlot *err);
HOST_API int32_t himg_LayerStackChangeOptions(HRaster *raster, HErrorSlot *err, ...);
HOST_API int32_t himg_LayerStackClose(HRaster *raster, HErrorSlot *err);
HOST_API HRaster *himg_LayerStackOpen(HStringList *names, HCallOptions *options);

/* Call options bound to an error slot; key/value pairs end with 0. Key
 * HINT_OPEN_FOR takes a string. The service a record is passed to frees
 * it; hint_Free frees one that was never passed on. */
enum { HINT_OPEN_FOR = 8 };
HOST_API HCallOptions *hint_GetInit(HErrorSlot *err, ...);
HOST_API void hint_Free(HCallOptions *options);

/* Transforms. */
HOST_API void hfga_PolynomialDelete(HPolynomial *transform, HErrorSlot *err);

#ifdef __cplusplus
}
#endif

#endif
