// Unique names beside a target file (temp_name.h).
#include "hlib/temp_name.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace host {
namespace {

// Unpredictable enough to make collisions rare; exclusive creation makes
// them harmless.
uint64_t nextSuffixBits() {
    static std::atomic<uint64_t> state{uint64_t(::getpid()) << 32 ^
                                       uint64_t(std::time(nullptr))};
    uint64_t z = state.fetch_add(0x9E3779B97F4A7C15ull) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull; // splitmix64
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace

int makeBeside(const std::string &target, const std::function<int(const std::string &)> &make,
               std::string &made) {
    static const char letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t bits = nextSuffixBits();
        std::string name = target + ".";
        for (int i = 0; i < 6; ++i, bits /= 62)
            name += letters[bits % 62];
        const int code = make(name);
        if (code == 0) {
            made = std::move(name);
            return 0;
        }
        if (code != EEXIST)
            return code;
    }
    return EEXIST;
}

// open() rather than mkstemp() so that the new file gets the usual
// 0666 & ~umask, not mkstemp's 0600.
int createBeside(const std::string &target, std::string &made) {
    int fd = -1;
    const int code = makeBeside(
        target,
        [&fd](const std::string &name) {
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return fd >= 0 ? 0 : errno;
        },
        made);
    if (code != 0) {
        errno = code;
        return -1;
    }
    return fd;
}

} // namespace host
