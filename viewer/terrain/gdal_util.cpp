#include "terrain/gdal_util.h"

#include <sys/stat.h>

#include <cpl_error.h>
#include <gdal_utils.h>

#include <cstdio>
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

GDALDatasetH openRasterFile(const std::string &file)
{
    struct stat st;
    if (file.empty() || ::stat(file.c_str(), &st) != 0)
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
