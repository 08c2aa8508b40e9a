#include "terrain/tile_loader.h"

#include "terrain/terrain_error.h"

#include <algorithm>

namespace terrain {

std::shared_ptr<TileSamples> readTile(const ModelReader *reader, DrapeSource *drape, const TileRequest &request,
                                      double exaggeration)
{
    auto samples = std::make_shared<TileSamples>();
    if (!request.columns.empty()) {
        samples->columns = request.columns;
        samples->rows = request.rows;
        samples->z.resize(request.columns.size() * request.rows.size());
        reader->read(request.key.level, request.columns, request.rows, samples->z.data());
        if (exaggeration != 1.0) {
            const float k = float(exaggeration);
            for (float &z : samples->z)
                z *= k;
        }
    }
    if (drape && request.drapeWidth > 0) {
        // A read that fails leaves the tile grey: the ground is still drawn.
        const double *e = request.extent;
        drape->read(e[0], e[1], e[2], e[3], request.drapeWidth, request.drapeHeight, samples->drape);
        samples->drapeWidth = request.drapeWidth;
        samples->drapeHeight = request.drapeHeight;
    }
    return samples;
}

TileLoader::TileLoader(const Sources &sources, std::function<void()> ready)
    : ready_(std::move(ready)), thread_(&TileLoader::run, this, sources)
{
}

TileLoader::~TileLoader()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TileLoader::want(std::vector<TileRequest> requests)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.assign(std::make_move_iterator(requests.begin()), std::make_move_iterator(requests.end()));
    }
    wake_.notify_all();
}

std::vector<TileLoader::Result> TileLoader::take(size_t limit)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Result> out;
    const size_t n = std::min(limit, done_.size());
    out.assign(std::make_move_iterator(done_.begin()), std::make_move_iterator(done_.begin() + long(n)));
    done_.erase(done_.begin(), done_.begin() + long(n));
    if (n > 0)
        wake_.notify_all();
    return out;
}

bool TileLoader::busy() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return working_ || !queue_.empty() || !done_.empty();
}

void TileLoader::run(Sources sources)
{
    std::unique_ptr<ModelReader> reader;
    std::unique_ptr<DrapeSource> drape;
    std::string openError;
    try {
        std::vector<std::string> ignored;  // the draw thread said them at open
        if (!sources.model.empty())
            reader = std::make_unique<ModelReader>(sources.model, ignored);
        if (!sources.drape.empty())
            drape = std::make_unique<DrapeSource>(sources.drape, sources.modelWkt, sources.geoTransform,
                                                  sources.width, sources.height, ignored);
    } catch (const TerrainError &e) {
        openError = e.what();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        // Read ahead of the draw thread by a few frames' worth at most: what
        // it has not taken yet is memory the budget does not see.
        wake_.wait(lock, [this] { return stop_ || (!queue_.empty() && done_.size() < kReadAhead); });
        if (stop_)
            return;
        TileRequest request = std::move(queue_.front());
        queue_.pop_front();
        // Asked for again before the draw thread took it.
        if (std::any_of(done_.begin(), done_.end(), [&](const Result &r) { return r.key == request.key; }))
            continue;
        working_ = true;
        lock.unlock();
        Result result{request.key, nullptr, openError};
        if (openError.empty()) {
            try {
                result.samples = readTile(reader.get(), drape.get(), request, sources.exaggeration);
            } catch (const TerrainError &e) {
                result.error = e.what();
            }
        }
        lock.lock();
        done_.push_back(std::move(result));
        working_ = false;
        if (ready_)
            ready_();
    }
}

}  // namespace terrain
