#include "ground_files.h"

#include <filesystem>

#include "layer_files.h"
#include "terrain/gdal_util.h"

namespace cloudview {

namespace {

namespace fs = std::filesystem;

std::string absoluteName(const std::string &path)
{
    std::error_code ec;
    return fs::absolute(path, ec).lexically_normal().string();
}

// The length of the archive's name at the start of rest: its first
// leading part that is a file ("a/dem.zip" of "a/dem.zip/dem.tif"), all
// of rest when none is (a gzipped file has no member).
size_t archiveLength(const std::string &rest)
{
    std::error_code ec;
    for (size_t end = rest.find('/', 1);; end = rest.find('/', end + 1)) {
        if (fs::is_regular_file(rest.substr(0, end), ec))
            return end == std::string::npos ? rest.size() : end;
        if (end == std::string::npos)
            return rest.size();
    }
}

}  // namespace

GroundFile::GroundFile(const std::string &given)
{
    open_ = given;
    if (given.empty())
        return;
    const std::string prefix = ::terrain::localArchivePrefix(given);
    if (prefix.empty()) {
        // GDAL's other names are no paths: "/vsicurl/x" made absolute is
        // itself, but "http://host/x" would become "/here/http:/host/x".
        if (given.compare(0, 4, "/vsi") == 0 || given.find("://") != std::string::npos)
            return;
        kind_ = Kind::Plain;
        open_ = disk_ = absoluteName(given);
        return;
    }
    // "{archive}/member" is GDAL's way to name an archive whatever its name.
    const bool braced = given.compare(prefix.size(), 1, "{") == 0;
    const size_t start = prefix.size() + (braced ? 1 : 0);
    const std::string rest = given.substr(start);
    const size_t length = braced ? rest.find('}') : archiveLength(rest);
    if (length == std::string::npos || length == 0)
        return;
    const std::string archive = rest.substr(0, length);
    if (archive.compare(0, 4, "/vsi") == 0)
        return;  // an archive in an archive: written as given
    if (archive[0] == '/') {
        disk_ = absoluteName(archive);
        return;
    }
    kind_ = Kind::RelativeArchive;
    before_ = given.substr(0, start);
    after_ = rest.substr(length);
    disk_ = absoluteName(archive);
    open_ = before_ + disk_ + after_;
}

std::string GroundFile::nameFrom(const std::string &folder) const
{
    switch (kind_) {
    case Kind::Plain:
        return cloudview::nameFrom(folder, open_);
    case Kind::RelativeArchive:
        return before_ + cloudview::nameFrom(folder, disk_) + after_;
    case Kind::AsGiven:
        break;
    }
    return open_;
}

}  // namespace cloudview
