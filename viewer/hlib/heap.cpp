// The host heap: malloc/free plus the counters of heap_debug.h. Counters are
// atomics because the viewer may bake on worker threads.
#include "hlib.h"
#include "hlib/heap_debug.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<size_t> liveBlocks{0};
std::atomic<unsigned long> attempts{0};
// Attempts left before the armed failure; 0 when disarmed.
std::atomic<long> failCountdown{0};

// Counts one attempt against an armed failure; true when this is the one.
bool consumeFailure() {
    long left = failCountdown.load();
    while (left > 0 && !failCountdown.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

} // namespace

extern "C" {

HOST_API void *hmsc_HeapMalloc(size_t size) {
    attempts.fetch_add(1);
    if (consumeFailure())
        return nullptr;
    // A zero size still gets a block of its own, so that callers can tell
    // success from failure by the pointer alone.
    void *block = std::malloc(size ? size : 1);
    if (block)
        liveBlocks.fetch_add(1);
    return block;
}

HOST_API void hmsc_HeapFree(void *block) {
    if (!block)
        return;
    liveBlocks.fetch_sub(1);
    std::free(block);
}

HOST_API size_t hmsc_HeapLiveBlocks(void) { return liveBlocks.load(); }

HOST_API void hmsc_HeapFailAfter(long n) { failCountdown.store(n > 0 ? n : 0); }

HOST_API unsigned long hmsc_HeapAllocationCount(void) { return attempts.load(); }

} // extern "C"
