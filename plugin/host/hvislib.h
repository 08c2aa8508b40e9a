/* hvislib.h — the host's viewer support: error reports, questions, the
 * linked-list manager, descriptor columns and object callbacks. */
#ifndef CLOUDS_HVISLIB_H
#define CLOUDS_HVISLIB_H

#include "host_export.h"
#include "host_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Shows the error held in the slot. */
HOST_API void hvis_ProcessErrorReport(HErrorSlot *err);
/* The one-line text hvis_ProcessErrorReport shows for the slot's error, for
 * a layer type that also shows it in its own frame; "" for an empty slot.
 * The text belongs to the host. */
HOST_API const char *hvis_ErrorReportText(const HErrorSlot *err);
/* Asks a question with two answers; nonzero means the second (yes). */
HOST_API int32_t hvis_QueryYesNo(const char *question, const char *no, const char *yes);

/* Lists of records whose first field is the link to the next record.
 * head is the address of the list's head pointer. */
HOST_API void hvis_llmAdd(void *head, void *record, int32_t kind, int32_t flags);
HOST_API void hvis_llmDelete(void *head, void *record);
HOST_API int32_t hvis_llmCount(void *head);

/* Writes rows 0 .. entries - 1 of the column's first column (type 10: reals,
 * type 3: integers) as the band's descriptor column of that name, replacing
 * one of the same name. The band must be of a raster that himg_LayerStackOpen
 * opened for "Descriptor_Table"; its close stores the tables. */
HOST_API void hvis_WriteHdscColumn(HBand *band, HBaseData *column, const char *name,
                                   int32_t entries, HErrorSlot *err);
HOST_API void hvis_ObjectAddCallback(void *object, int32_t kind, HObjectCallbackFn fn,
                                     void *client, HErrorSlot *err);

#ifdef __cplusplus
}
#endif

#endif
