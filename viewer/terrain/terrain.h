// terrain.h — the scene's ground made from an elevation model: read and
// warped with GDAL (height_model.h), an optional drape (drape.h), a tile
// quadtree whose tiles are built on demand (tile_mesh.h), kept in GL
// buffer objects and drawn each relative to its own origin.
//
// A model of up to kResidentSamples is read whole (tile_tree.h); a larger
// one a tile at a time from its overviews (streamed_tree.h), built once
// when it has none. Tiles' samples and meshes share one memory budget,
// the least recently drawn going first. By default a draw reads what its
// view needs before it draws, so a picture is the same however fast the
// disk; streaming (the window) reads on a thread of its own and draws a
// tile's parent until the tile has arrived.
//
// Scene coordinates are the model's: x, y in its projected system (or the
// UTM zone it was warped to, or pixel units), z its height in metres
// times the exaggeration.
//
// GL: draw builds what it needs in the current context; the same context
// must be current when the Terrain is destroyed. Reading needs no GL.
#ifndef CLOUDS_VIEWER_TERRAIN_TERRAIN_H
#define CLOUDS_VIEWER_TERRAIN_TERRAIN_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "terrain/drape_source.h"
#include "terrain/terrain_error.h"
#include "terrain/height_model.h"
#include "terrain/terrain_settings.h"
#include "terrain/overviews.h"
#include "terrain/streamed_tree.h"
#include "terrain/tile_loader.h"
#include "terrain/tile_tree.h"
#include "tolatoollib/ground.h"

namespace terrain {

class Terrain final : public host::Ground {
public:
    // Reads the model and the drape. Throws TerrainError "file: reason";
    // warnings get one line each.
    // progress is told how far building overviews has come, when a
    // large model needs them (null: a bar on stderr).
    static std::unique_ptr<Terrain> open(const TerrainSettings &settings,
                                         std::vector<std::string> &warnings,
                                         const BuildProgress &progress = nullptr);
    ~Terrain() override;
    Terrain(const Terrain &) = delete;
    Terrain &operator=(const Terrain &) = delete;

    host::Extent extent() const override;
    host::Vec3 localOrigin() const override;
    void draw(const host::Camera &camera, double pixelError) override;
    bool intersect(const double start[3], const double second[3], double *t) const override;
    double surfaceZ(double x, double y) const override;
    void setStreaming(bool streaming, std::function<void()> arrived) override;
    bool pending() const override;

    const TerrainSettings &settings() const { return settings_; }
    // The names to keep for the files it was read from (absolute ones,
    // say, for a scene written elsewhere); nothing is read again.
    void setSettings(const TerrainSettings &settings) { settings_ = settings; }
    const HeightModel &model() const { return model_; }
    bool draped() const { return drape_ != nullptr; }
    // The model's height in metres at a scene position; NaN off it or in a hole.
    double heightAt(double x, double y) const;
    // Longitude and latitude (degrees, WGS 84) of a scene position; false
    // for a model in pixel units.
    bool lonLat(double x, double y, double *lon, double *lat) const;
    // "UTM zone 25S (warped from WGS 84)": the frame the status bar names.
    std::string frameDescription() const;
    // Heights, tree, drape and the vertex data of the built tiles.
    size_t memoryBytes() const;
    size_t tilesDrawn() const { return drawn_; }
    bool streamed() const { return streamed_ != nullptr; }
    // A new budget; what no longer fits goes at the next draw.
    void setMemoryMiB(size_t mib);

private:
    Terrain(const TerrainSettings &settings, HeightModel model, std::unique_ptr<DrapeSource> drape);
    struct Held {
        unsigned vertices = 0, indices = 0;  // buffer objects, 0 until drawn
        int indexCount = 0;
        size_t colourOffset = 0, texCoordOffset = 0;  // in vertices; 0: no texture coordinates
        unsigned texture = 0;    // its drape, 0 until drawn or without one
        std::vector<uint8_t> drape;  // texels read and not yet in GL
        int drapeWidth = 0, drapeHeight = 0;
        size_t meshBytes = 0, sampleBytes = 0;
        uint64_t used = 0;
        double origin[3] = {0, 0, 0};
    };
    TileSpan span(const TileKey &key) const;
    Held &built(const TileKey &key);
    std::vector<TileKey> choose(const host::Camera &camera, double pixelError);
    void arrive(const TileKey &key, std::shared_ptr<TileSamples> samples) const;
    void loadNow(const TileKey &key) const;
    TileRequest request(const TileKey &key) const;
    size_t tileBudget() const;
    void evict();
    static void release(Held &held);

    TerrainSettings settings_;
    HeightModel model_;  // heights only when read whole
    std::unique_ptr<DrapeSource> drape_;  // the draw thread's; null without a drape
    std::unique_ptr<TileTree> tree_;
    // A streamed model: the draw thread's reader (picks, waiting draws),
    // the tree of what arrived, the loading thread when streaming.
    std::string source_;
    std::unique_ptr<ModelReader> reader_;
    mutable std::unique_ptr<StreamedTree> streamed_;
    std::unique_ptr<TileLoader> loader_;
    mutable std::map<TileKey, Held> held_;
    mutable std::string readError_;  // the last tile that could not be read, said once
    uint64_t frame_ = 0;
    size_t drawn_ = 0;
    void *toLonLat_ = nullptr;  // OGRCoordinateTransformationH, null in pixel units
};

}  // namespace terrain

#endif
