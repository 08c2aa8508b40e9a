// String services of the host. Every string handed out comes from the host
// heap, so the plug-in frees it with hmsc_HeapFree and leak counts see it.
#include "hlib.h"
#include "hlib/error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

char *heapCopy(const char *text, size_t length) {
    char *copy = static_cast<char *>(hmsc_HeapMalloc(length + 1));
    if (copy) {
        std::memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Formats into buffer, at most limit bytes with the NUL; returns the length
// stored, or -1 (and "") when the format itself could not be expanded.
// truncated tells whether text was cut.
int32_t boundedFormat(char *buffer, size_t limit, const char *format, va_list args,
                      bool &truncated) {
    truncated = false;
    int wanted = std::vsnprintf(buffer, limit, format, args);
    if (wanted < 0) {
        buffer[0] = '\0';
        return -1;
    }
    if (size_t(wanted) >= limit) {
        truncated = true;
        return int32_t(limit - 1);
    }
    return wanted;
}

} // namespace

extern "C" {

HOST_API char *hstr_Duplicate(const char *text) {
    return text ? heapCopy(text, std::strlen(text)) : nullptr;
}

// The base name without its last extension: "/data/sky.v2.cloud" gives
// "sky.v2". A leading dot starts a name, not an extension (".clouds" stays
// ".clouds"), and a path ending in '/' names nothing.
HOST_API char *hstr_GetNamePart(const char *path, char *buffer, int32_t size) {
    if (!buffer || size <= 0)
        return buffer;
    if (!path)
        path = "";
    const char *slash = std::strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    size_t length = std::strlen(name);
    const char *dot = std::strrchr(name, '.');
    if (dot && dot != name)
        length = size_t(dot - name);
    if (length > size_t(size) - 1)
        length = size_t(size) - 1;
    std::memmove(buffer, name, length);
    buffer[length] = '\0';
    return buffer;
}

HOST_API int32_t hstr_Eqic(const char *a, const char *b) {
    if (!a || !b)
        return a == b;
    for (; *a && *b; ++a, ++b)
        if (lowerAscii(*a) != lowerAscii(*b))
            return 0;
    return *a == *b;
}

HOST_API int32_t hstr_Sprintf(char *buffer, const char *format, HErrorSlot *err, ...) {
    if (!buffer || !format) {
        herr_Set(err, "hstr_Sprintf: no buffer or no format");
        return -1;
    }
    va_list args;
    va_start(args, err);
    bool truncated;
    int32_t length = boundedFormat(buffer, HSTR_SPRINTF_MAX, format, args, truncated);
    va_end(args);
    if (length < 0)
        herr_Set(err, "hstr_Sprintf: cannot format \"%.60s\"", format);
    else if (truncated)
        herr_Set(err, "hstr_Sprintf: text longer than %d bytes was cut", HSTR_SPRINTF_MAX - 1);
    return length;
}

HOST_API HStringList *hstr_StringListCreate(int32_t count, HErrorSlot *err) {
    if (count < 0) {
        herr_Set(err, "hstr_StringListCreate: negative count %d", int(count));
        return nullptr;
    }
    auto *list = static_cast<HStringList *>(hmsc_HeapMalloc(sizeof(HStringList)));
    auto *strings = static_cast<char **>(hmsc_HeapMalloc(size_t(count) * sizeof(char *)));
    if (!list || !strings) {
        hmsc_HeapFree(list);
        hmsc_HeapFree(strings);
        herr_Set(err, "hstr_StringListCreate: out of memory for %d strings", int(count));
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i)
        strings[i] = nullptr;
    list->count = count;
    list->strings = strings;
    return list;
}

// flags has no meaning here; the plug-in always passes 0.
HOST_API char *hstr_StringCat(int32_t, const char *a, const char *b) {
    if (!a)
        a = "";
    if (!b)
        b = "";
    size_t lengthA = std::strlen(a), lengthB = std::strlen(b);
    char *joined = static_cast<char *>(hmsc_HeapMalloc(lengthA + lengthB + 1));
    if (joined) {
        std::memcpy(joined, a, lengthA);
        std::memcpy(joined + lengthA, b, lengthB + 1);
    }
    return joined;
}

HOST_API void hstr_StringListDelete(HStringList *list, HErrorSlot *) {
    if (!list)
        return;
    if (list->strings)
        for (int32_t i = 0; i < list->count; ++i)
            hmsc_HeapFree(list->strings[i]);
    hmsc_HeapFree(list->strings);
    hmsc_HeapFree(list);
}

} // extern "C"

