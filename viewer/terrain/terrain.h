// terrain.h — the scene's ground made from an elevation model: read and
// warped with GDAL (height_model.h), an optional drape (drape.h), a tile
// quadtree (tile_tree.h) whose tiles are built on demand (tile_mesh.h),
// kept as GL display lists and drawn each relative to its own origin.
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
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "terrain/drape.h"
#include "terrain/terrain_error.h"
#include "terrain/height_model.h"
#include "terrain/terrain_settings.h"
#include "terrain/tile_tree.h"
#include "tolatoollib/ground.h"

namespace terrain {

class Terrain final : public host::Ground {
public:
    // Reads the model and the drape. Throws TerrainError "file: reason";
    // warnings get one line each.
    static std::unique_ptr<Terrain> open(const TerrainSettings &settings,
                                         std::vector<std::string> &warnings);
    ~Terrain() override;
    Terrain(const Terrain &) = delete;
    Terrain &operator=(const Terrain &) = delete;

    host::Extent extent() const override;
    host::Vec3 localOrigin() const override;
    void draw(const host::Camera &camera, double pixelError) override;
    bool intersect(const double start[3], const double second[3], double *t) const override;
    double surfaceZ(double x, double y) const override;

    const TerrainSettings &settings() const { return settings_; }
    // The names to keep for the files it was read from (absolute ones,
    // say, for a scene written elsewhere); nothing is read again.
    void setSettings(const TerrainSettings &settings) { settings_ = settings; }
    const HeightModel &model() const { return model_; }
    bool draped() const { return !drape_.empty(); }
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

private:
    Terrain(const TerrainSettings &settings, HeightModel model, DrapeImage drape);
    struct Built {
        unsigned list = 0;
        size_t bytes = 0;
        uint64_t used = 0;
        double origin[3] = {0, 0, 0};
    };
    Built &tile(const TileKey &key);
    void evict();

    TerrainSettings settings_;
    HeightModel model_;
    DrapeImage drape_;
    std::unique_ptr<TileTree> tree_;
    std::map<TileKey, Built> built_;
    unsigned texture_ = 0;
    uint64_t frame_ = 0;
    size_t drawn_ = 0;
    void *toLonLat_ = nullptr;  // OGRCoordinateTransformationH, null in pixel units
};

}  // namespace terrain

#endif
