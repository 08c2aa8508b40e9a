// The list manager. Records are the caller's; the list only threads them
// through their first field. Appending at the tail keeps list order equal to
// the order records were added, which is the order a layer file lists them.
#include "hvislib.h"

namespace {

// The link at offset 0 of a record, read and written as a void *.
void *&linkOf(void *record) { return *static_cast<void **>(record); }

} // namespace

extern "C" {

// kind and flags carry nothing the list needs.
HOST_API void hvis_llmAdd(void *head, void *record, int32_t, int32_t) {
    if (!head || !record)
        return;
    void **slot = static_cast<void **>(head);
    while (*slot) {
        // Adding a member again would close the list into a cycle.
        if (*slot == record)
            return;
        slot = &linkOf(*slot);
    }
    linkOf(record) = nullptr;
    *slot = record;
}

// The removed record keeps its link, so a caller that deletes the record it
// is standing on while walking the list can still step to the next one.
HOST_API void hvis_llmDelete(void *head, void *record) {
    if (!head || !record)
        return;
    for (void **slot = static_cast<void **>(head); *slot; slot = &linkOf(*slot)) {
        if (*slot == record) {
            *slot = linkOf(record);
            return;
        }
    }
}

HOST_API int32_t hvis_llmCount(void *head) {
    if (!head)
        return 0;
    int32_t count = 0;
    for (void *record = *static_cast<void **>(head); record; record = linkOf(record))
        ++count;
    return count;
}

} // extern "C"
