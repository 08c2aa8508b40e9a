/* error.h — the host's error records, behind the error slot of every call.
 *
 * A failing host call leaves a record in the caller's slot; the record
 * holds a code and a one-line message such as "sky.cloud: No such file or
 * directory" that hvis_ProcessErrorReport shows.
 *
 * Records live in a fixed ring of the last HERR_RING_SIZE errors owned by
 * the host, so callers never free them and nothing leaks when a caller
 * drops a slot. A slot reads its own error until HERR_RING_SIZE newer
 * errors have been made (then it reads a newer one: report errors when
 * they happen); a value that is not a record reads as a generic message.
 *
 * The plug-in sees only herr_SetCode and the codes (plugin/host/hlib.h);
 * the rest is internal to the stand-in host: the other host folders use it
 * to fill slots, tests use it to read them.
 */
#ifndef CLOUDS_VIEWER_HLIB_ERROR_H
#define CLOUDS_VIEWER_HLIB_ERROR_H

#include "host_export.h"
#include "hlib.h"
#include "host_types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { HERR_RING_SIZE = 16, HERR_MESSAGE_MAX = 512 };

/* herr_Make stores HERR_GENERIC (hlib.h); herr_MakeCode its own code (an
 * errno value where the OS reported the problem). */

/* New record with the formatted message (truncated to HERR_MESSAGE_MAX - 1
 * characters). Never fails and never returns null. */
HOST_API HErrorSlot herr_Make(const char *format, ...) __attribute__((format(printf, 1, 2)));
HOST_API HErrorSlot herr_MakeCode(int32_t code, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

/* Stores a new record in *err when err is non-null; without a slot the
 * error is simply not reported. */
HOST_API void herr_Set(HErrorSlot *err, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
/* herr_SetCode, which the plug-in calls too, is declared in hlib.h. */

/* The record's message; "" for a null slot, a fixed text for a value that
 * is not a record of the ring. */
HOST_API const char *herr_Message(HErrorSlot slot);
/* The record's code; 0 for a null slot, HERR_GENERIC for a value that is
 * not a record of the ring. */
HOST_API int32_t herr_Code(HErrorSlot slot);

#ifdef __cplusplus
}
#endif

#endif
