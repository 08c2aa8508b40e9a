// cache_files.h — where the viewer keeps what it derives from a user's
// files (overviews of a model, layers of a forecast), and the names that
// tell one version of a file from the next.
#ifndef CLOUDS_VIEWER_TERRAIN_CACHE_FILES_H
#define CLOUDS_VIEWER_TERRAIN_CACHE_FILES_H

#include <string>

namespace terrain {

// $XDG_CACHE_HOME/cloudview/<what> (~/.cache/cloudview/<what>; under /tmp
// without a home), made when missing. Whoever writes there says so when
// it cannot.
std::string cacheFolder(const std::string &what);

// A file's absolute path, size and modification time: an edited file is
// another file to a cache.
std::string fileIdentity(const std::string &file);

// Sixteen hex digits from a text, for a cache entry's name.
std::string textHash(const std::string &text);

}  // namespace terrain

#endif
