#include "terrain/gdal_util.h"

#include <cpl_error.h>

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

std::string lastGdalError()
{
    const char *message = CPLGetLastErrorMsg();
    return message && *message ? message : "unknown reason";
}

void registerGdal()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

}  // namespace terrain
