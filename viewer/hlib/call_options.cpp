// Call options: key/value pairs read once into a heap record.
#include "hlib.h"
#include "hlib/call_options.h"
#include "hlib/error.h"

#include <cstdarg>

extern "C" {

// A key whose value type is unknown cannot be skipped in a va_list, so an
// unknown key fails the whole record rather than misreading the rest.
HOST_API HCallOptions *hint_GetInit(HErrorSlot *err, ...) {
    char *openFor = nullptr;
    va_list args;
    va_start(args, err);
    for (;;) {
        const int32_t key = va_arg(args, int32_t);
        if (key == 0)
            break;
        if (key != HINT_OPEN_FOR) {
            va_end(args);
            hmsc_HeapFree(openFor);
            herr_Set(err, "call options: unknown option %d", int(key));
            return nullptr;
        }
        const char *value = va_arg(args, const char *);
        hmsc_HeapFree(openFor);
        openFor = hstr_Duplicate(value ? value : "");
        if (!openFor) {
            va_end(args);
            herr_Set(err, "call options: out of memory");
            return nullptr;
        }
    }
    va_end(args);
    auto *options = static_cast<HCallOptions *>(hmsc_HeapMalloc(sizeof(HCallOptions)));
    if (!options) {
        hmsc_HeapFree(openFor);
        herr_Set(err, "call options: out of memory");
        return nullptr;
    }
    options->err = err;
    options->openFor = openFor;
    return options;
}

HOST_API void hint_Free(HCallOptions *options) {
    if (!options)
        return;
    hmsc_HeapFree(options->openFor);
    hmsc_HeapFree(options);
}

} // extern "C"
