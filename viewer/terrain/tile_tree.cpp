#include "terrain/tile_tree.h"

#include "terrain/tile_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace terrain {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

std::vector<int> TileTree::samples(int from, int to, int stride) const
{
    std::vector<int> out;
    for (int i = from; i < to; i += stride)
        out.push_back(i);
    out.push_back(to);
    return out;
}

TileTree::TileTree(const HeightModel &model) : model_(model)
{
    for (const LevelGrid &grid : levelGrids(model.width, model.height)) {
        Level level;
        level.stride = grid.stride;
        level.tilesX = grid.tilesX;
        level.tilesY = grid.tilesY;
        levels_.push_back(level);
    }
    const int cellsX = model.width - 1, cellsY = model.height - 1;

    // Leaves: heights straight from the model.
    Level &leaves = levels_[0];
    const size_t leafCount = size_t(leaves.tilesX) * size_t(leaves.tilesY);
    leaves.low.assign(leafCount, NAN);
    leaves.high.assign(leafCount, NAN);
    leaves.error.assign(leafCount, 0.0f);
    for (int ty = 0; ty < leaves.tilesY; ++ty)
        for (int tx = 0; tx < leaves.tilesX; ++tx) {
            const int c0 = tx * kCellsPerTile, c1 = std::min(c0 + kCellsPerTile, cellsX);
            const int r0 = ty * kCellsPerTile, r1 = std::min(r0 + kCellsPerTile, cellsY);
            float lo = INFINITY, hi = -INFINITY;
            for (int r = r0; r <= r1; ++r) {
                const float *row = &model.heights[size_t(r) * size_t(model.width)];
                for (int c = c0; c <= c1; ++c) {
                    const float h = row[c];
                    if (h < lo)
                        lo = h;
                    if (h > hi)
                        hi = h;
                }
            }
            const size_t i = size_t(ty) * size_t(leaves.tilesX) + size_t(tx);
            if (lo <= hi) {
                leaves.low[i] = lo;
                leaves.high[i] = hi;
            }
        }

    // Parents: bounds from the children; the error is the parent mesh's
    // largest deviation at its children's samples plus their own largest.
    for (size_t L = 1; L < levels_.size(); ++L) {
        Level &level = levels_[L];
        const Level &below = levels_[L - 1];
        const size_t count = size_t(level.tilesX) * size_t(level.tilesY);
        level.low.assign(count, NAN);
        level.high.assign(count, NAN);
        level.error.assign(count, 0.0f);
        for (int ty = 0; ty < level.tilesY; ++ty)
            for (int tx = 0; tx < level.tilesX; ++tx) {
                const size_t i = size_t(ty) * size_t(level.tilesX) + size_t(tx);
                float lo = INFINITY, hi = -INFINITY, childError = 0.0f;
                for (int cy = 2 * ty; cy <= 2 * ty + 1 && cy < below.tilesY; ++cy)
                    for (int cx = 2 * tx; cx <= 2 * tx + 1 && cx < below.tilesX; ++cx) {
                        const size_t j = size_t(cy) * size_t(below.tilesX) + size_t(cx);
                        if (std::isnan(below.low[j]))
                            continue;
                        lo = std::min(lo, below.low[j]);
                        hi = std::max(hi, below.high[j]);
                        childError = std::max(childError, below.error[j]);
                    }
                if (!(lo <= hi))
                    continue;
                level.low[i] = lo;
                level.high[i] = hi;
                const TileSpan coarse = span({int(L), tx, ty});
                const int c0 = coarse.columns.front(), c1 = coarse.columns.back();
                const int r0 = coarse.rows.front(), r1 = coarse.rows.back();
                const std::vector<int> fineCols = samples(c0, c1, below.stride);
                const std::vector<int> fineRows = samples(r0, r1, below.stride);
                float deviation = 0.0f;
                size_t a = 0;
                for (int r : fineRows) {
                    while (a + 2 < coarse.rows.size() && coarse.rows[a + 1] <= r)
                        ++a;
                    const int ra = coarse.rows[a], rb = coarse.rows[a + 1];
                    const double v = double(r - ra) / double(rb - ra);
                    size_t b = 0;
                    for (int c : fineCols) {
                        while (b + 2 < coarse.columns.size() && coarse.columns[b + 1] <= c)
                            ++b;
                        const int ca = coarse.columns[b], cb = coarse.columns[b + 1];
                        const double u = double(c - ca) / double(cb - ca);
                        const double h = cellHeight(model.at(ca, ra), model.at(cb, ra),
                                                    model.at(ca, rb), model.at(cb, rb), u, v);
                        const double d = std::fabs(double(model.at(c, r)) - h);
                        if (d > deviation)  // NaN never is
                            deviation = float(d);
                    }
                }
                level.error[i] = deviation + childError;
            }
    }
    for (size_t L = 0; L < levels_.size(); ++L)
        measureEdges(int(L));
    edgesMeasured_ = true;
    compareHoles();
}

namespace {

// Counts over rectangles of a grid in constant time.
class AreaCounts {
public:
    AreaCounts(int width, int height) : width_(width + 1), sums_(size_t(width + 1) * size_t(height + 1), 0) {}
    // Called once per cell, row by row, column by column.
    void add(int column, int row, bool counted)
    {
        sums_[at(column + 1, row + 1)] = uint32_t(counted) + sums_[at(column, row + 1)] +
                                         sums_[at(column + 1, row)] - sums_[at(column, row)];
    }
    // Cells in columns c0..c1 and rows r0..r1, inclusive.
    uint32_t count(int c0, int r0, int c1, int r1) const
    {
        return sums_[at(c1 + 1, r1 + 1)] - sums_[at(c0, r1 + 1)] - sums_[at(c1 + 1, r0)] + sums_[at(c0, r0)];
    }

private:
    size_t at(int column, int row) const { return size_t(row) * size_t(width_) + size_t(column); }
    int width_;
    std::vector<uint32_t> sums_;
};

}  // namespace

void TileTree::compareHoles()
{
    for (Level &level : levels_)
        level.misdrawsHoles.assign(size_t(level.tilesX) * size_t(level.tilesY), 0);
    if (std::none_of(model_.heights.begin(), model_.heights.end(), [](float h) { return std::isnan(h); }))
        return;
    const int w = model_.width, h = model_.height;
    AreaCounts noData(w, h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            noData.add(c, r, std::isnan(model_.at(c, r)));
    for (size_t L = 1; L < levels_.size(); ++L) {
        Level &level = levels_[L];
        const Level &below = levels_[L - 1];
        for (int ty = 0; ty < level.tilesY; ++ty)
            for (int tx = 0; tx < level.tilesX; ++tx) {
                const size_t i = size_t(ty) * size_t(level.tilesX) + size_t(tx);
                if (std::isnan(level.low[i]))
                    continue;
                bool differs = false;
                for (int cy = 2 * ty; cy <= 2 * ty + 1 && cy < below.tilesY; ++cy)
                    for (int cx = 2 * tx; cx <= 2 * tx + 1 && cx < below.tilesX; ++cx)
                        differs = differs || below.misdrawsHoles[size_t(cy) * size_t(below.tilesX) + size_t(cx)];
                const TileSpan s = span({int(L), tx, ty});
                for (size_t b = 0; !differs && b + 1 < s.rows.size(); ++b)
                    for (size_t a = 0; !differs && a + 1 < s.columns.size(); ++a) {
                        const int c0 = s.columns[a], c1 = s.columns[a + 1];
                        const int r0 = s.rows[b], r1 = s.rows[b + 1];
                        const bool drawn = !std::isnan(model_.at(c0, r0)) && !std::isnan(model_.at(c1, r0)) &&
                                           !std::isnan(model_.at(c0, r1)) && !std::isnan(model_.at(c1, r1));
                        // Drawn, the model has no hole in it; left out, it
                        // is no data through and through (inside a large
                        // void). A cell between is refined even where its
                        // fine cells would all be left out too: a pattern
                        // too rare to pay a second count for.
                        const uint32_t missing = noData.count(c0, r0, c1, r1);
                        differs = drawn ? missing > 0
                                        : missing != uint32_t(c1 - c0 + 1) * uint32_t(r1 - r0 + 1);
                    }
                level.misdrawsHoles[i] = differs;
            }
    }
}

void TileTree::measureEdges(int L)
{
    Level &level = levels_[size_t(L)];
    const size_t count = size_t(level.tilesX) * size_t(level.tilesY);
    level.edge.assign(4 * count, 0.0f);
    level.edgeBelow.assign(4 * count, 0.0f);
    if (L == 0)
        return;  // the model's own samples
    // The tile's edge through (fixed, coarse[k]) against every sample
    // between: along an edge both triangle splits are the same straight
    // line between two coarse samples.
    auto deviation = [&](const std::vector<int> &coarse, auto height) {
        float worst = 0.0f;
        for (size_t k = 0; k + 1 < coarse.size(); ++k) {
            const int a = coarse[k], b = coarse[k + 1];
            const double ha = height(a), hb = height(b);
            for (int i = a + 1; i < b; ++i) {
                const double d = std::fabs(double(height(i)) - (ha + (hb - ha) * double(i - a) / double(b - a)));
                if (d > worst)  // NaN never is
                    worst = float(d);
            }
        }
        return worst;
    };
    const Level &below = levels_[size_t(L - 1)];
    for (int ty = 0; ty < level.tilesY; ++ty)
        for (int tx = 0; tx < level.tilesX; ++tx) {
            const size_t i = size_t(ty) * size_t(level.tilesX) + size_t(tx);
            if (std::isnan(level.low[i]))
                continue;
            const TileSpan s = span({L, tx, ty});
            float *edge = &level.edge[4 * i];
            const int r0 = s.rows.front(), r1 = s.rows.back();
            const int c0 = s.columns.front(), c1 = s.columns.back();
            edge[kFirstRow] = deviation(s.columns, [&](int c) { return model_.at(c, r0); });
            edge[kLastRow] = deviation(s.columns, [&](int c) { return model_.at(c, r1); });
            edge[kFirstColumn] = deviation(s.rows, [&](int r) { return model_.at(c0, r); });
            edge[kLastColumn] = deviation(s.rows, [&](int r) { return model_.at(c1, r); });
            // The children along each side: those whose own side lies on it.
            float *worst = &level.edgeBelow[4 * i];
            std::copy(edge, edge + 4, worst);
            for (int cy = 2 * ty; cy <= 2 * ty + 1 && cy < below.tilesY; ++cy)
                for (int cx = 2 * tx; cx <= 2 * tx + 1 && cx < below.tilesX; ++cx) {
                    const float *child = &below.edgeBelow[4 * (size_t(cy) * size_t(below.tilesX) + size_t(cx))];
                    const bool onSide[4] = {cy == 2 * ty, cy == 2 * ty + 1 || cy + 1 == below.tilesY,
                                            cx == 2 * tx, cx == 2 * tx + 1 || cx + 1 == below.tilesX};
                    for (int side = 0; side < 4; ++side)
                        if (onSide[side])
                            worst[side] = std::max(worst[side], child[side]);
                }
        }
}

float TileTree::skirtDepth(const TileKey &key, int side) const
{
    const Level &level = levels_[size_t(key.level)];
    const size_t i = size_t(key.iy) * size_t(level.tilesX) + size_t(key.ix);
    // A little below the deepest gap, against pinholes where edges meet.
    const float margin = float(0.5 * std::fabs(model_.geoTransform[1]) * level.stride);
    const float own = level.edge[4 * i + size_t(side)] + margin;
    static const int dx[4] = {0, 0, -1, 1}, dy[4] = {-1, 1, 0, 0}, opposite[4] = {1, 0, 3, 2};
    TileKey across{key.level, key.ix + dx[side], key.iy + dy[side]};
    if (across.ix < 0 || across.iy < 0 || across.ix >= level.tilesX || across.iy >= level.tilesY)
        return own;  // the model's edge
    const int back = opposite[side];
    float other = level.edgeBelow[4 * (size_t(across.iy) * size_t(level.tilesX) + size_t(across.ix)) +
                                  size_t(back)];
    TileKey self = key;
    for (int L = key.level + 1; L < levels(); ++L) {
        self = {L, self.ix / 2, self.iy / 2};
        across = {L, across.ix / 2, across.iy / 2};
        if (self == across)
            break;
        const Level &up = levels_[size_t(L)];
        other = std::max(other, up.edge[4 * (size_t(across.iy) * size_t(up.tilesX) + size_t(across.ix)) +
                                        size_t(back)]);
    }
    return own + other;
}

TileSpan TileTree::span(const TileKey &key) const
{
    const Level &level = levels_[size_t(key.level)];
    const int c0 = first(key.ix, level), r0 = first(key.iy, level);
    const int c1 = std::min(c0 + kCellsPerTile * level.stride, model_.width - 1);
    const int r1 = std::min(r0 + kCellsPerTile * level.stride, model_.height - 1);
    TileSpan s;
    s.columns = samples(c0, c1, level.stride);
    s.rows = samples(r0, r1, level.stride);
    const size_t i = size_t(key.iy) * size_t(level.tilesX) + size_t(key.ix);
    s.low = level.low[i];
    s.high = level.high[i];
    s.error = level.error[i];
    if (edgesMeasured_)
        for (int side = 0; side < 4; ++side)
            s.skirt[side] = skirtDepth(key, side);
    return s;
}

void TileTree::box(const TileKey &key, double lo[3], double hi[3]) const
{
    const Level &level = levels_[size_t(key.level)];
    const int c0 = first(key.ix, level), r0 = first(key.iy, level);
    const int c1 = std::min(c0 + kCellsPerTile * level.stride, model_.width - 1);
    const int r1 = std::min(r0 + kCellsPerTile * level.stride, model_.height - 1);
    const double xa = model_.sampleX(c0), xb = model_.sampleX(c1);
    const double ya = model_.sampleY(r0), yb = model_.sampleY(r1);
    const size_t i = size_t(key.iy) * size_t(level.tilesX) + size_t(key.ix);
    lo[0] = std::min(xa, xb);
    hi[0] = std::max(xa, xb);
    lo[1] = std::min(ya, yb);
    hi[1] = std::max(ya, yb);
    lo[2] = level.low[i];
    hi[2] = level.high[i];
}

std::vector<TileKey> TileTree::select(const host::Camera &camera, double pixelError) const
{
    std::vector<TileKey> out;
    refine({levels() - 1, 0, 0}, camera, Frustum(camera), pixelError, out);
    return out;
}

void TileTree::refine(const TileKey &key, const host::Camera &camera, const Frustum &frustum, double pixelError,
                      std::vector<TileKey> &out) const
{
    const Level &level = levels_[size_t(key.level)];
    if (key.ix >= level.tilesX || key.iy >= level.tilesY)
        return;
    double lo[3], hi[3];
    box(key, lo, hi);
    if (std::isnan(lo[2]) || frustum.outside(lo, hi))
        return;  // no data at all, or out of view
    const double distance = distanceToBox(camera, lo, hi);
    const size_t i = size_t(key.iy) * size_t(level.tilesX) + size_t(key.ix);
    const double pixels = pixelsAt(camera, level.error[i], distance);
    // A tile that misdraws a hole may stand only where a hole of two of its
    // cells across is under a pixel.
    const bool holesFit =
        !level.misdrawsHoles[i] ||
        (distance > 0.0 && pixelsAt(camera, 2.0 * level.stride * std::fabs(model_.geoTransform[1]), distance) <= 1.0);
    if (key.level == 0 || (pixels <= pixelError && holesFit)) {
        out.push_back(key);
        return;
    }
    for (int cy = 0; cy < 2; ++cy)
        for (int cx = 0; cx < 2; ++cx)
            refine({key.level - 1, 2 * key.ix + cx, 2 * key.iy + cy}, camera, frustum, pixelError, out);
}

bool TileTree::intersect(const double start[3], const double second[3], double *t) const
{
    const double dir[3] = {second[0] - start[0], second[1] - start[1], second[2] - start[2]};
    return intersectTile({levels() - 1, 0, 0}, start, dir, t);
}

bool TileTree::intersectTile(const TileKey &key, const double start[3], const double dir[3],
                             double *t) const
{
    const Level &level = levels_[size_t(key.level)];
    if (key.ix >= level.tilesX || key.iy >= level.tilesY)
        return false;
    double lo[3], hi[3], tIn, tOut;
    box(key, lo, hi);
    if (std::isnan(lo[2]) || !rayBox(start, dir, lo, hi, &tIn, &tOut))
        return false;
    if (key.level == 0)
        return intersectCells(key, start, dir, tIn, tOut, t);
    // Children nearest first; a hit before the next child's entry ends it.
    struct Child {
        TileKey key;
        double tIn;
    };
    std::vector<Child> children;
    for (int cy = 0; cy < 2; ++cy)
        for (int cx = 0; cx < 2; ++cx) {
            const TileKey child{key.level - 1, 2 * key.ix + cx, 2 * key.iy + cy};
            const Level &below = levels_[size_t(child.level)];
            if (child.ix >= below.tilesX || child.iy >= below.tilesY)
                continue;
            double clo[3], chi[3], a, b;
            box(child, clo, chi);
            if (!std::isnan(clo[2]) && rayBox(start, dir, clo, chi, &a, &b))
                children.push_back({child, a});
        }
    std::sort(children.begin(), children.end(),
              [](const Child &a, const Child &b) { return a.tIn < b.tIn; });
    double best = INFINITY;
    for (const Child &child : children) {
        if (child.tIn > best)
            break;
        double hit;
        if (intersectTile(child.key, start, dir, &hit) && hit < best)
            best = hit;
    }
    if (best == INFINITY)
        return false;
    *t = best;
    return true;
}

bool TileTree::intersectCells(const TileKey &key, const double start[3], const double dir[3],
                              double tIn, double tOut, double *t) const
{
    // The cells under the ray's stretch inside this tile.
    const double gx = model_.geoTransform[1], gy = model_.geoTransform[5];
    auto column = [&](double x) { return (x - model_.geoTransform[0]) / gx - 0.5; };
    auto row = [&](double y) { return (y - model_.geoTransform[3]) / gy - 0.5; };
    const double xa = start[0] + tIn * dir[0], xb = start[0] + tOut * dir[0];
    const double ya = start[1] + tIn * dir[1], yb = start[1] + tOut * dir[1];
    const Level &level = levels_[0];
    const int c0 = first(key.ix, level), r0 = first(key.iy, level);
    const int c1 = std::min(c0 + kCellsPerTile, model_.width - 1);
    const int r1 = std::min(r0 + kCellsPerTile, model_.height - 1);
    const int ca = std::max(c0, int(std::floor(std::min(column(xa), column(xb)))) - 1);
    const int cb = std::min(c1 - 1, int(std::floor(std::max(column(xa), column(xb)))) + 1);
    const int ra = std::max(r0, int(std::floor(std::min(row(ya), row(yb)))) - 1);
    const int rb = std::min(r1 - 1, int(std::floor(std::max(row(ya), row(yb)))) + 1);
    double best = INFINITY;
    for (int r = ra; r <= rb; ++r)
        for (int c = ca; c <= cb; ++c) {
            rayCell(start, dir, model_.sampleX(c), model_.sampleY(r), model_.sampleX(c + 1), model_.sampleY(r + 1),
                    model_.at(c, r), model_.at(c + 1, r), model_.at(c, r + 1), model_.at(c + 1, r + 1), &best);
        }
    if (best == INFINITY)
        return false;
    *t = best;
    return true;
}

double TileTree::heightAt(double x, double y) const
{
    const double fc = (x - model_.geoTransform[0]) / model_.geoTransform[1] - 0.5;
    const double fr = (y - model_.geoTransform[3]) / model_.geoTransform[5] - 0.5;
    if (!(fc >= 0.0 && fr >= 0.0 && fc <= model_.width - 1 && fr <= model_.height - 1))
        return kNaN;
    const int c = std::min(int(fc), model_.width - 2), r = std::min(int(fr), model_.height - 2);
    const double h = cellHeight(model_.at(c, r), model_.at(c + 1, r), model_.at(c, r + 1),
                                model_.at(c + 1, r + 1), fc - c, fr - r);
    return h;
}

size_t TileTree::memoryBytes() const
{
    size_t bytes = 0;
    for (const Level &level : levels_)
        bytes += (level.low.size() + level.high.size() + level.error.size() + level.edge.size() +
                  level.edgeBelow.size()) *
                     sizeof(float) +
                 level.misdrawsHoles.size();
    return bytes;
}

}  // namespace terrain
