#include "terrain/tile_loader.h"

#include "terrain/terrain_error.h"

namespace terrain {

std::shared_ptr<TileSamples> readTile(const ModelReader &reader, const TileRequest &request, double exaggeration)
{
    auto samples = std::make_shared<TileSamples>();
    samples->columns = request.columns;
    samples->rows = request.rows;
    samples->z.resize(request.columns.size() * request.rows.size());
    reader.read(request.key.level, request.columns, request.rows, samples->z.data());
    if (exaggeration != 1.0) {
        const float k = float(exaggeration);
        for (float &z : samples->z)
            z *= k;
    }
    return samples;
}

TileLoader::TileLoader(const std::string &open, double exaggeration, std::function<void()> ready)
    : ready_(std::move(ready)), thread_(&TileLoader::run, this, open, exaggeration)
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
    return out;
}

bool TileLoader::busy() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return working_ || !queue_.empty() || !done_.empty();
}

void TileLoader::run(std::string open, double exaggeration)
{
    std::unique_ptr<ModelReader> reader;
    std::string openError;
    try {
        std::vector<std::string> ignored;  // the draw thread said them at open
        reader = std::make_unique<ModelReader>(open, ignored);
    } catch (const TerrainError &e) {
        openError = e.what();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        TileRequest request = std::move(queue_.front());
        queue_.pop_front();
        working_ = true;
        lock.unlock();
        Result result{request.key, nullptr, openError};
        if (reader) {
            try {
                result.samples = readTile(*reader, request, exaggeration);
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
