#include "terrain/cache_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>

namespace terrain {

std::string cacheFolder(const std::string &what)
{
    const char *xdg = std::getenv("XDG_CACHE_HOME");
    const char *home = std::getenv("HOME");
    const std::string base = xdg && *xdg ? xdg : home && *home ? std::string(home) + "/.cache" : "/tmp";
    const std::string folder = base + "/cloudview/" + what;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

std::string fileIdentity(const std::string &file)
{
    char *absolute = realpath(file.c_str(), nullptr);
    std::string key = absolute ? absolute : file;
    std::free(absolute);
    struct stat st {};
    ::stat(file.c_str(), &st);
    return key + ":" + std::to_string(st.st_size) + ":" + std::to_string(st.st_mtime);
}

std::string textHash(const std::string &text)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016zx", std::hash<std::string>()(text));
    return hex;
}

}  // namespace terrain
