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

#include "terrain/height_model.h"
#include "terrain/tile_mesh.h"
#include "terrain/tile_tree.h"

namespace terrain {

struct TileRequest {
    TileKey key;
    std::vector<int> columns, rows;  // with the border
};

// Reads a request's samples as scene z (heights times exaggeration).
std::shared_ptr<TileSamples> readTile(const ModelReader &reader, const TileRequest &request, double exaggeration);

class TileLoader {
public:
    // open: the name to read the model through; ready is called from the
    // loading thread after each tile (to wake a waiting window).
    TileLoader(const std::string &open, double exaggeration, std::function<void()> ready);
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
    void run(std::string open, double exaggeration);

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
