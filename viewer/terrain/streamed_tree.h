// streamed_tree.h — the quadtree over a model too large to hold in
// memory: a tile's samples are read when a view first needs it, at its
// level (from the model's overviews), and may be forgotten again.
//
// Tiles and levels are those of TileTree (tile_tree.h): level L takes
// every 2^L-th sample over 64 × 2^L cells and the root covers the model.
// What the tree knows of a tile comes from the samples that arrived:
// - its heights' range;
// - its error, how far its surface may lie from the model's: at first
//   its roughness, the largest deviation of its samples from the surface
//   of the level above over it (a drawn surface errs less than the next
//   coarser one); raised, when its children arrive, to the largest of
//   their deviation from it plus their own error. Level 0 is the model.
// - whether it has no-data samples: such a tile refines until a hole two
//   of its cells across is under a pixel, like TileTree's tiles whose
//   holes are not the model's.
// A view draws a tile until all its children in view have arrived, then
// the children: it asks for the missing ones, most needed first.
#ifndef CLOUDS_VIEWER_TERRAIN_STREAMED_TREE_H
#define CLOUDS_VIEWER_TERRAIN_STREAMED_TREE_H

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "terrain/height_model.h"
#include "terrain/tile_mesh.h"
#include "terrain/tile_tree.h"

namespace terrain {

class StreamedTree {
public:
    // model: the grid (no heights); it must outlive the tree.
    explicit StreamedTree(const HeightModel &model);

    int levels() const { return int(levels_.size()); }
    // The tile's samples; range, error and skirts as far as they are known.
    TileSpan span(const TileKey &key) const;

    struct Choice {
        std::vector<TileKey> draw;    // all arrived
        std::vector<TileKey> wanted;  // to read, most needed first
        std::vector<TileKey> seen;    // every tile the choice looked at (to keep)
    };
    Choice select(const host::Camera &camera, double pixelError) const;

    // A tile's samples (scene z) arrived, or go.
    void arrive(const TileKey &key, std::shared_ptr<const TileSamples> samples);
    void forget(const TileKey &key);
    bool has(const TileKey &key) const { return nodes_.count(pack(key)) != 0; }
    const TileSamples *samples(const TileKey &key) const;
    size_t tilesHeld() const { return nodes_.size(); }

    // Rays and heights against the full-resolution surface; load reads a
    // tile that has not arrived and hands it to arrive (null: cannot).
    using Load = std::function<void(const TileKey &)>;
    bool intersect(const double start[3], const double second[3], double *t, const Load &load);
    double heightAt(double x, double y, const Load &load);

private:
    using Level = LevelGrid;
    struct Node {
        std::shared_ptr<const TileSamples> samples;
        float low = NAN, high = NAN;  // NaN: no data in it
        float rough = 0, error = 0;
        float deviation = 0;          // from its parent's surface, when the parent was there
        bool holes = false;
    };
    static uint64_t pack(const TileKey &k)
    {
        return (uint64_t(k.level) << 58) | (uint64_t(uint32_t(k.iy)) << 29) | uint64_t(uint32_t(k.ix));
    }
    bool inside(const TileKey &key) const;
    std::vector<TileKey> children(const TileKey &key) const;
    const Node *node(const TileKey &key) const;
    void box(const TileKey &key, const Node &n, double lo[3], double hi[3]) const;
    void refine(const TileKey &key, const host::Camera &camera, const Frustum &frustum, double pixelError,
                Choice &out, std::vector<std::pair<double, TileKey>> &wanted) const;
    float deviationFrom(const TileKey &parent, const TileSamples &fine, const TileKey &key) const;
    void raiseAncestors(TileKey key);
    bool intersectTile(const TileKey &key, const double start[3], const double dir[3], double *t, const Load &load);

    const HeightModel &model_;
    std::vector<Level> levels_;
    std::unordered_map<uint64_t, Node> nodes_;
};

}  // namespace terrain

#endif
