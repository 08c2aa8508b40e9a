// The error ring: slot values are addresses inside a static array, so they
// can be told apart from anything else a caller might leave in a slot, and
// making an error never allocates (it must work when the heap has failed).
#include "hlib/error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

struct ErrorRecord {
    int32_t code;
    char message[HERR_MESSAGE_MAX];
};

ErrorRecord ring[HERR_RING_SIZE];
unsigned nextRecord = 0;
std::mutex ringLock;

HErrorSlot makeRecord(int32_t code, const char *format, va_list args) {
    std::lock_guard<std::mutex> hold(ringLock);
    ErrorRecord &record = ring[nextRecord];
    nextRecord = (nextRecord + 1) % HERR_RING_SIZE;
    record.code = code;
    if (!format || std::vsnprintf(record.message, sizeof record.message, format, args) < 0)
        std::strcpy(record.message, "host error");
    return &record;
}

const ErrorRecord *findRecord(HErrorSlot slot) {
    // Compare as integers: relational comparison of unrelated pointers is
    // not ordered by the language, and a foreign value is what we must detect.
    auto value = reinterpret_cast<uintptr_t>(slot);
    auto first = reinterpret_cast<uintptr_t>(&ring[0]);
    auto end = reinterpret_cast<uintptr_t>(&ring[HERR_RING_SIZE]);
    if (value < first || value >= end || (value - first) % sizeof(ErrorRecord) != 0)
        return nullptr;
    return &ring[(value - first) / sizeof(ErrorRecord)];
}

} // namespace

extern "C" {

HOST_API HErrorSlot herr_Make(const char *format, ...) {
    va_list args;
    va_start(args, format);
    HErrorSlot slot = makeRecord(HERR_GENERIC, format, args);
    va_end(args);
    return slot;
}

HOST_API HErrorSlot herr_MakeCode(int32_t code, const char *format, ...) {
    va_list args;
    va_start(args, format);
    HErrorSlot slot = makeRecord(code, format, args);
    va_end(args);
    return slot;
}

HOST_API void herr_Set(HErrorSlot *err, const char *format, ...) {
    if (!err)
        return;
    va_list args;
    va_start(args, format);
    *err = makeRecord(HERR_GENERIC, format, args);
    va_end(args);
}

HOST_API void herr_SetCode(HErrorSlot *err, int32_t code, const char *format, ...) {
    if (!err)
        return;
    va_list args;
    va_start(args, format);
    *err = makeRecord(code, format, args);
    va_end(args);
}

HOST_API const char *herr_Message(HErrorSlot slot) {
    if (!slot)
        return "";
    const ErrorRecord *record = findRecord(slot);
    return record ? record->message : "unknown host error";
}

HOST_API int32_t herr_Code(HErrorSlot slot) {
    if (!slot)
        return 0;
    const ErrorRecord *record = findRecord(slot);
    return record ? record->code : HERR_GENERIC;
}

} // extern "C"
