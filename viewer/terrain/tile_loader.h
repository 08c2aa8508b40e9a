// tile_loader.h — reads tiles' samples for a streamed ground on a thread
// of its own, so the window never waits for the disk. The thread opens
// the model itself (GDAL's handles are not shared between threads).
//
// The draw thread says each frame which tiles it wants, most needed
// first (want replaces what it asked before and has not been started),
// and takes what has been read.
#ifndef CLOUDS_VIEWER_TERRAIN_TILE_LOADER_H
#define CLOUDS_VIEWER_TERRAIN_TILE_LOADER_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "terrain/drape_source.h"
#include "terrain/height_model.h"
#include "terrain/tile_mesh.h"
#include "terrain/tile_tree.h"

namespace terrain {

struct TileRequest {
    TileKey key;
    std::vector<int> columns, rows;  // with the border; none: the heights are in memory
    double extent[4] = {0, 0, 0, 0};  // west, south, east, north: the first to the last sample
    int drapeWidth = 0, drapeHeight = 0;  // texels; 0 without a drape
};

// Reads a request's samples as scene z (heights times exaggeration), and
// its drape when it asks for one. reader may be null when it asks for no
// samples, drape when it asks for no drape.
std::shared_ptr<TileSamples> readTile(const ModelReader *reader, DrapeSource *drape, const TileRequest &request,
                                      double exaggeration);

class TileLoader {
public:
    // open: the name to read the model through ("": requests ask for no
    // samples); drape: the image, "" for none; ready is called from the
    // loading thread after each tile (to wake a waiting window).
    struct Sources {
        std::string model, drape, modelWkt;
        double geoTransform[6] = {0, 1, 0, 0, 0, -1};
        int width = 0, height = 0;
        double exaggeration = 1.0;
    };
    TileLoader(const Sources &sources, std::function<void()> ready);
    ~TileLoader();
    TileLoader(const TileLoader &) = delete;
    TileLoader &operator=(const TileLoader &) = delete;

    void want(std::vector<TileRequest> requests);
    struct Result {
        TileKey key;
        std::shared_ptr<TileSamples> samples;  // null when it could not be read
        std::string error;
    };
    // At most limit of the tiles read since the last call.
    std::vector<Result> take(size_t limit);
    // Tiles asked for, being read or read and not yet taken.
    bool busy() const;

private:
    static constexpr size_t kReadAhead = 32;
    void run(Sources sources);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TileRequest> queue_;
    std::vector<Result> done_;
    bool working_ = false, stop_ = false;
    std::function<void()> ready_;
    std::thread thread_;
};

}  // namespace terrain

#endif
