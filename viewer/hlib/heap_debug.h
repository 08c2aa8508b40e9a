/* heap_debug.h — test seam of the host heap (hmsc_HeapMalloc/hmsc_HeapFree).
 *
 * Leak checks: every block the plug-in keeps comes from the host heap, so
 * hmsc_HeapLiveBlocks before and after an operation proves it gave back
 * what it took (LeakSanitizer cannot: Mesa's own allocations drown it).
 *
 * Failure walks: count the allocation attempts of an operation with
 * hmsc_HeapAllocationCount, then repeat it with hmsc_HeapFailAfter(1..N) so
 * that each of its allocations fails once, and check each failure is
 * handled.
 *
 * Not part of plugin/host: the plug-in never sees these.
 */
#ifndef CLOUDS_VIEWER_HLIB_HEAP_DEBUG_H
#define CLOUDS_VIEWER_HLIB_HEAP_DEBUG_H

#include "host_export.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Blocks allocated and not yet freed. */
HOST_API size_t hmsc_HeapLiveBlocks(void);
/* n >= 1: the n-th allocation attempt from now returns null, once; later
 * ones succeed again. 0 (or a negative n) disarms a pending failure. */
HOST_API void hmsc_HeapFailAfter(long n);
/* Allocation attempts since the library was loaded, failed ones included. */
HOST_API unsigned long hmsc_HeapAllocationCount(void);

#ifdef __cplusplus
}
#endif

#endif
