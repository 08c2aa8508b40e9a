#include "terrain/gdal_util.h"

#include <sys/stat.h>

#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_utils.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace terrain {

Dataset &Dataset::operator=(Dataset &&other) noexcept
{
    if (this != &other) {
        reset(other.handle_);
        other.handle_ = nullptr;
    }
    return *this;
}

void Dataset::reset(GDALDatasetH handle)
{
    if (handle_)
        GDALClose(handle_);
    handle_ = handle;
}

QuietGdal::QuietGdal()
{
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
}

QuietGdal::~QuietGdal() { CPLPopErrorHandler(); }

namespace {

// GDAL's readers of archives and compressed files that take a path on
// disk. Every other "/vsi" name reaches the network (/vsicurl/, /vsis3/,
// ...), memory (/vsimem/), a stream (/vsistdin/) or part of another file.
// /vsi7z/ and /vsirar/ come with newer GDALs; on an older one such a name
// is simply not found.
const char *const kArchivePrefixes[] = {"/vsizip/", "/vsitar/", "/vsigzip/", "/vsi7z/", "/vsirar/"};

bool startsWith(const std::string &name, const char *prefix)
{
    return name.compare(0, std::strlen(prefix), prefix) == 0;
}

// A URL or a driver's connection string rather than a path: GDAL opens
// "http://..." through the network and "MEM:::..." at a raw address.
bool isUrlOrConnection(const std::string &name)
{
    return name.find("://") != std::string::npos || startsWith(name, "MEM:") ||
           startsWith(name, "mem:");
}

// A name one of GDAL's other file systems takes (network, memory, ...).
bool isOtherGdalFileSystem(const std::string &name)
{
    if (!startsWith(name, "/vsi"))
        return false;
    char **prefixes = VSIGetFileSystemsPrefixes();
    bool taken = false;
    for (int i = 0; prefixes && prefixes[i] && !taken; ++i)
        taken = startsWith(name, prefixes[i]);
    CSLDestroy(prefixes);
    return taken;
}

// The archive's own name inside an archive name: "/vsizip/a.zip/b.tif"
// gives "a.zip/b.tif", and GDAL's braces "{a.zip}/b.tif" give "a.zip}/b.tif"
// (only its start matters).
std::string inner(const std::string &name, const std::string &prefix)
{
    std::string rest = name.substr(prefix.size());
    return !rest.empty() && rest[0] == '{' ? rest.substr(1) : rest;
}

}  // namespace

std::string localArchivePrefix(const std::string &name)
{
    for (const char *prefix : kArchivePrefixes) {
        if (!startsWith(name, prefix))
            continue;
        const std::string archive = inner(name, prefix);
        if (archive.empty() || isUrlOrConnection(archive))
            return "";
        // An archive in an archive on disk (a gzipped tar) is on disk too.
        if (startsWith(archive, "/vsi") && localArchivePrefix(archive).empty())
            return "";
        return prefix;
    }
    return "";
}

bool localRasterExists(const std::string &name)
{
    if (name.empty() || isUrlOrConnection(name))
        return false;
    if (!localArchivePrefix(name).empty()) {
        VSIStatBufL st;
        return VSIStatL(name.c_str(), &st) == 0;
    }
    if (isOtherGdalFileSystem(name))
        return false;
    struct stat st;
    return ::stat(name.c_str(), &st) == 0;
}

GDALDatasetH openRasterFile(const std::string &file)
{
    if (!localRasterExists(file))
        return nullptr;
    return GDALOpenEx(file.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
}

std::string lastGdalError()
{
    const char *message = CPLGetLastErrorMsg();
    return message && *message ? message : "unknown reason";
}

GDALDatasetH gdalWarp(GDALDatasetH source, std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    GDALWarpAppOptions *options = GDALWarpAppOptionsNew(argv.data(), nullptr);
    int usageError = 0;
    GDALDatasetH sources[1] = {source};
    GDALDatasetH out = options ? GDALWarp("", nullptr, 1, sources, options, &usageError) : nullptr;
    GDALWarpAppOptionsFree(options);
    return out;
}

std::string exactArg(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

void registerGdal()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

}  // namespace terrain
