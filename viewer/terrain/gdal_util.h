// gdal_util.h — small owners and helpers around GDAL's C API for the
// terrain's readers: a dataset that closes itself, GDAL's messages kept
// off stderr while a reader works, the last GDAL error as text.
#ifndef CLOUDS_VIEWER_TERRAIN_GDAL_UTIL_H
#define CLOUDS_VIEWER_TERRAIN_GDAL_UTIL_H

#include <gdal.h>

#include <string>
#include <vector>

namespace terrain {

// Owns a GDALDatasetH; closes it when it goes.
class Dataset {
public:
    Dataset() = default;
    explicit Dataset(GDALDatasetH handle) : handle_(handle) {}
    ~Dataset() { reset(); }
    Dataset(const Dataset &) = delete;
    Dataset &operator=(const Dataset &) = delete;
    Dataset(Dataset &&other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Dataset &operator=(Dataset &&other) noexcept;
    void reset(GDALDatasetH handle = nullptr);
    GDALDatasetH get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    GDALDatasetH handle_ = nullptr;
};

// While one lives, GDAL's errors and warnings are kept (lastGdalError)
// instead of printed: the readers report in their own words.
class QuietGdal {
public:
    QuietGdal();
    ~QuietGdal();
    QuietGdal(const QuietGdal &) = delete;
    QuietGdal &operator=(const QuietGdal &) = delete;
};

// Opens a raster that lies on disk (a file, or a folder for formats that
// are folders, or a file inside an archive on disk: "/vsizip/dem.zip/dem.tif",
// "/vsitar/", "/vsigzip/"), read-only; null when there is none by that name
// or GDAL cannot read it (lastGdalError then says why). Names that GDAL
// would take for something else are never opened: "MEM:::DATAPOINTER=..."
// reads whatever memory it names, "/vsicurl/..." fetches from the network,
// and a scene script or a command line names files.
GDALDatasetH openRasterFile(const std::string &file);

// The prefix of GDAL's name for a file inside an archive on this machine
// ("/vsizip/" for "/vsizip/dem.zip/dem.tif"), "" for any other name. An
// archive that is itself reached through the network is not on this
// machine: "/vsizip//vsicurl/..." gives "".
std::string localArchivePrefix(const std::string &name);

// Whether a file by this name lies on this machine for openRasterFile: a
// plain path that exists, or an archive member GDAL finds.
bool localRasterExists(const std::string &name);

// GDAL's last error message, "unknown reason" when it left none.
std::string lastGdalError();

// gdalwarp's library call on one source, to a dataset in memory (a VRT
// when args ask for one); null with lastGdalError set when it fails.
GDALDatasetH gdalWarp(GDALDatasetH source, std::vector<std::string> args);

// A number as an argument to GDAL's utilities, every digit kept.
std::string exactArg(double v);

// Registers GDAL's drivers once.
void registerGdal();

}  // namespace terrain

#endif
