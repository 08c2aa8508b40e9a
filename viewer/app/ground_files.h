// ground_files.h — how a scene names the files its ground reads.
//
// A plain file is kept by its absolute name and written relative to the
// script that saves the scene, as layer files are. A file inside an
// archive on disk ("/vsizip/dem.zip/dem.tif") keeps GDAL's prefix and its
// member: an archive named relative is taken from the directory it was
// named in (a script's own) and written relative to the next script; one
// named absolute is written as it was given. Any other name GDAL knows (a
// URL, "/vsicurl/...") is kept and written exactly as given.
#ifndef CLOUDS_VIEWER_APP_GROUND_FILES_H
#define CLOUDS_VIEWER_APP_GROUND_FILES_H

#include <string>

namespace cloudview {

class GroundFile {
public:
    GroundFile() = default;
    // The name a script or a command line gave, taken from the current
    // directory. Archives are looked for on disk: make it after the file
    // opened.
    explicit GroundFile(const std::string &given);

    bool empty() const { return open_.empty(); }
    // A name that opens it from any directory.
    const std::string &openName() const { return open_; }
    // The file on disk that holds it: the file itself, or its archive; ""
    // for a name that is no file on this machine.
    const std::string &diskFile() const { return disk_; }
    bool inArchive() const { return !disk_.empty() && disk_ != open_; }
    // How a scene script in folder (absolute) names it.
    std::string nameFrom(const std::string &folder) const;

private:
    enum class Kind { Plain, RelativeArchive, AsGiven };
    Kind kind_ = Kind::AsGiven;
    std::string open_, disk_;
    // A relative archive's name is before_ + the archive's name + after_:
    // "/vsizip/" and "/dem.tif", or with GDAL's braces "/vsizip/{" and
    // "}/dem.tif".
    std::string before_, after_;
};

}  // namespace cloudview

#endif
