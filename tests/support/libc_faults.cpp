// One-shot failures of rename and fclose (libc_faults.h).
#include "support/libc_faults.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string renameSuffix;
int renameError = 0;
int fcloseError = 0;

template <typename Fn> Fn next(const char *name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

} // namespace

namespace faults {

void failRename(const char *suffix, int error) {
    renameSuffix = suffix;
    renameError = error;
}
void failFclose(int error) { fcloseError = error; }
void clear() {
    renameError = 0;
    fcloseError = 0;
}

} // namespace faults

extern "C" int rename(const char *from, const char *to) {
    static auto real = next<int (*)(const char *, const char *)>("rename");
    const size_t length = to ? std::strlen(to) : 0;
    if (renameError && length >= renameSuffix.size() &&
        renameSuffix.compare(0, std::string::npos, to + length - renameSuffix.size()) == 0) {
        errno = renameError;
        renameError = 0;
        return -1;
    }
    return real(from, to);
}

extern "C" int fclose(FILE *stream) {
    static auto real = next<int (*)(FILE *)>("fclose");
    const int result = real(stream);
    if (fcloseError && result == 0) {
        errno = fcloseError;
        fcloseError = 0;
        return EOF;
    }
    return result;
}
