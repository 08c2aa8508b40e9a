// Formatted files of the host. A file opened for writing is written under a
// temporary name beside its target and renamed over it only when everything
// was written and closed without error: a failed save leaves the old file
// as it was, and a reader never sees half a file.
#include "hlib.h"
#include "hlib/error.h"
#include "hlib/file_redirect.h"
#include "hlib/temp_name.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct HFile {
    FILE *stream;
    char *target; // the name given to hfio_Open
    char *temp;   // where a "w" file is written until hfio_Close; null for "r"
    int writeError; // errno of the first failed hfio_Fprintf, for the message
    char *memory = nullptr; // a captured write's buffer (open_memstream)
    size_t memorySize = 0;
    bool captured = false;
};

namespace {

// The redirections in force (file_redirect.h).
struct Redirects {
    bool capturing = false;
    host::WriteCapture::Told told = host::WriteCapture::Told::Unsaved;
    bool captureWritten = false;
    std::string captureText;
    std::string writePath; // empty: writes go where they are asked to
    bool overridingRead = false;
    std::string readName, readText;
};

Redirects &redirects() {
    static Redirects state;
    return state;
}

void freeFile(HFile *file) {
    hmsc_HeapFree(file->target);
    hmsc_HeapFree(file->temp);
    hmsc_HeapFree(file);
}

void setOsError(HErrorSlot *err, int code, const char *name, const char *what) {
    if (what)
        herr_SetCode(err, code, "%s: %s: %s", name, what, std::strerror(code));
    else
        herr_SetCode(err, code, "%s: %s", name, std::strerror(code));
}

// A file read from the stream that open gives (null, with errno, when it
// cannot); the record and its name come from the host heap.
template <class Open> HFile *readingFile(const char *name, HErrorSlot *err, Open open) {
    auto *file = static_cast<HFile *>(hmsc_HeapMalloc(sizeof(HFile)));
    char *target = hstr_Duplicate(name);
    if (!file || !target) {
        hmsc_HeapFree(file);
        hmsc_HeapFree(target);
        herr_SetCode(err, ENOMEM, "%s: out of memory", name);
        return nullptr;
    }
    FILE *stream = open();
    if (!stream) {
        setOsError(err, errno, name, nullptr);
        hmsc_HeapFree(file);
        hmsc_HeapFree(target);
        return nullptr;
    }
    *file = HFile{stream, target, nullptr, 0};
    return file;
}

HFile *openForReading(const char *name, HErrorSlot *err) {
    return readingFile(name, err, [name] { return std::fopen(name, "r"); });
}

// The file a write to name replaces: name itself, or where its chain of
// symbolic links ends (a link's relative target is taken from the link's
// own folder). Writing there keeps every link a link, and the temporary
// file lies beside the file it replaces. False, with errno, for a loop or a
// link that cannot be read.
bool linkTarget(const std::string &name, std::string &target) {
    target = name;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true; // a file, a folder or nothing yet: written as named
        std::string to(size_t(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(target.c_str(), to.data(), to.size());
        if (n < 0)
            return false;
        to.resize(size_t(n));
        const size_t slash = target.find_last_of('/');
        if (!to.empty() && to[0] != '/' && slash != std::string::npos)
            to = target.substr(0, slash + 1) + to;
        target = to;
    }
    errno = ELOOP;
    return false;
}

HFile *openForWriting(const char *given, HErrorSlot *err) {
    std::string resolved;
    if (!linkTarget(given, resolved)) {
        setOsError(err, errno, given, nullptr);
        return nullptr;
    }
    const char *name = resolved.c_str();
    struct stat old;
    bool replacing = ::stat(name, &old) == 0;
    if (replacing && S_ISDIR(old.st_mode)) {
        setOsError(err, EISDIR, name, nullptr);
        return nullptr;
    }
    size_t tempSize = std::strlen(name) + 8;
    auto *file = static_cast<HFile *>(hmsc_HeapMalloc(sizeof(HFile)));
    char *target = hstr_Duplicate(name);
    char *temp = static_cast<char *>(hmsc_HeapMalloc(tempSize));
    if (!file || !target || !temp) {
        hmsc_HeapFree(file);
        hmsc_HeapFree(target);
        hmsc_HeapFree(temp);
        herr_SetCode(err, ENOMEM, "%s: out of memory", name);
        return nullptr;
    }
    *file = HFile{nullptr, target, temp, 0};
    std::string made;
    int fd = host::createBeside(name, made);
    if (fd < 0) {
        setOsError(err, errno, name, "cannot create a file beside it");
        freeFile(file);
        return nullptr;
    }
    std::memcpy(temp, made.c_str(), made.size() + 1); // the size is fixed: target + ".XXXXXX"
    // A replaced file keeps its permissions.
    if (replacing)
        (void)::fchmod(fd, old.st_mode & 07777);
    file->stream = ::fdopen(fd, "w");
    if (!file->stream) {
        int code = errno;
        ::close(fd);
        ::unlink(temp);
        setOsError(err, code, name, nullptr);
        freeFile(file);
        return nullptr;
    }
    return file;
}

HFile *openCapture(const char *name, HErrorSlot *err) {
    auto *file = static_cast<HFile *>(hmsc_HeapMalloc(sizeof(HFile)));
    char *target = hstr_Duplicate(name ? name : "");
    if (!file || !target) {
        hmsc_HeapFree(file);
        hmsc_HeapFree(target);
        herr_SetCode(err, ENOMEM, "out of memory");
        return nullptr;
    }
    *file = HFile{nullptr, target, nullptr, 0};
    file->captured = true;
    file->stream = open_memstream(&file->memory, &file->memorySize);
    if (!file->stream) {
        setOsError(err, errno, target, nullptr);
        freeFile(file);
        return nullptr;
    }
    return file;
}

HFile *openOverride(const char *name, HErrorSlot *err) {
    const std::string &text = redirects().readText;
    // The text outlives the file: the override is a scope around the open.
    return readingFile(name, err, [&text] {
        return text.empty() ? std::fopen("/dev/null", "r")
                            : fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    });
}

int32_t closeCapture(HFile *file) {
    const bool closed = std::fclose(file->stream) == 0;
    Redirects &r = redirects();
    r.captureWritten = closed;
    r.captureText.assign(file->memory ? file->memory : "", file->memory ? file->memorySize : 0);
    std::free(file->memory);
    freeFile(file);
    return r.told == host::WriteCapture::Told::Saved ? 1 : 0;
}

} // namespace

namespace host {

WriteCapture::WriteCapture(Told told) {
    Redirects &r = redirects();
    r.capturing = true;
    r.told = told;
    r.captureWritten = false;
    r.captureText.clear();
}
WriteCapture::~WriteCapture() { redirects().capturing = false; }
bool WriteCapture::written() const { return redirects().captureWritten; }
const std::string &WriteCapture::text() const { return redirects().captureText; }

WriteRedirect::WriteRedirect(const std::string &path) { redirects().writePath = path; }
WriteRedirect::~WriteRedirect() { redirects().writePath.clear(); }

ReadOverride::ReadOverride(const std::string &name, const std::string &text) {
    Redirects &r = redirects();
    r.overridingRead = true;
    r.readName = name;
    r.readText = text;
}
ReadOverride::~ReadOverride() {
    Redirects &r = redirects();
    r.overridingRead = false;
    r.readName.clear();
    r.readText.clear();
}

} // namespace host

extern "C" {

HOST_API HFile *hfio_Open(const char *name, const char *mode, HErrorSlot *err) {
    const Redirects &r = redirects();
    const bool writing = mode && (!std::strcmp(mode, "w") || !std::strcmp(mode, "wb"));
    const bool reading = mode && (!std::strcmp(mode, "r") || !std::strcmp(mode, "rb"));
    if (writing && r.capturing)
        return openCapture(name, err);
    if (writing && !r.writePath.empty())
        return openForWriting(r.writePath.c_str(), err);
    if (reading && r.overridingRead && name && r.readName == name)
        return openOverride(name, err);
    if (!name || !*name || !mode) {
        if (name && *name)
            herr_Set(err, "%s: no open mode", name);
        else
            herr_Set(err, "cannot open a file: no file name given");
        return nullptr;
    }
    if (!std::strcmp(mode, "r") || !std::strcmp(mode, "rb"))
        return openForReading(name, err);
    if (!std::strcmp(mode, "w") || !std::strcmp(mode, "wb"))
        return openForWriting(name, err);
    herr_Set(err, "%s: unsupported open mode \"%.8s\"", name, mode);
    return nullptr;
}

HOST_API int32_t hfio_Fprintf(HFile *file, const char *format, ...) {
    if (!file || !format)
        return -1;
    va_list args;
    va_start(args, format);
    int written = std::vfprintf(file->stream, format, args);
    va_end(args);
    if (written < 0 && !file->writeError)
        file->writeError = errno;
    return written;
}

HOST_API int32_t hfio_Fscanf(HFile *file, const char *format, ...) {
    if (!file || !format)
        return EOF;
    va_list args;
    va_start(args, format);
    int converted = std::vfscanf(file->stream, format, args);
    va_end(args);
    return converted;
}

// No fsync before the rename: the temporary name protects against failed
// writes and crashes of the viewer, which is what saving a layer needs, not
// against power loss.
HOST_API int32_t hfio_Close(HFile *file, HErrorSlot *err) {
    if (!file) {
        herr_Set(err, "hfio_Close: no file");
        return 0;
    }
    if (file->captured)
        return closeCapture(file);
    if (!file->temp) {
        bool closed = std::fclose(file->stream) == 0;
        if (!closed)
            setOsError(err, errno, file->target, nullptr);
        freeFile(file);
        return closed;
    }
    int code = 0;
    const char *what = nullptr;
    if (std::fflush(file->stream) != 0) {
        code = errno;
        what = "cannot write";
    } else if (std::ferror(file->stream)) {
        code = file->writeError ? file->writeError : EIO;
        what = "cannot write";
    }
    if (std::fclose(file->stream) != 0 && !code) {
        code = errno;
        what = "cannot write";
    }
    if (!code && std::rename(file->temp, file->target) != 0) {
        code = errno;
        what = "cannot replace";
    }
    if (code) {
        ::unlink(file->temp);
        setOsError(err, code, file->target, what);
    }
    freeFile(file);
    return code == 0;
}

HOST_API int32_t hfio_FileExists(const char *name, HErrorSlot *err) {
    if (!name) {
        herr_Set(err, "hfio_FileExists: no file name");
        return 0;
    }
    struct stat info;
    if (::stat(name, &info) == 0)
        return 1;
    // Absence is an answer, not an error; anything else (no permission, a
    // loop of links) means we could not tell.
    if (errno != ENOENT && errno != ENOTDIR)
        setOsError(err, errno, name, nullptr);
    return 0;
}

HOST_API int32_t hfio_FileUnlink(const char *name, HErrorSlot *err) {
    if (!name) {
        herr_Set(err, "hfio_FileUnlink: no file name");
        return 0;
    }
    if (::unlink(name) != 0) {
        setOsError(err, errno, name, "cannot remove");
        return 0;
    }
    return 1;
}

HOST_API int32_t hfio_Sprintf(char *buffer, const char *format, ...) {
    if (!buffer)
        return -1;
    if (!format) {
        buffer[0] = '\0';
        return -1;
    }
    va_list args;
    va_start(args, format);
    int wanted = std::vsnprintf(buffer, HFIO_SPRINTF_MAX, format, args);
    va_end(args);
    if (wanted < 0) {
        buffer[0] = '\0';
        return -1;
    }
    return wanted < HFIO_SPRINTF_MAX ? wanted : HFIO_SPRINTF_MAX - 1;
}

} // extern "C"
