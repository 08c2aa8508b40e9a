#include "terrain/streamed_tree.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace terrain {

namespace {

std::vector<int> samplesOf(int from, int to, int stride)
{
    std::vector<int> out;
    for (int i = from; i < to; i += stride)
        out.push_back(i);
    out.push_back(to);
    return out;
}

// The cell of a sorted list of samples that holds s: index a with
// list[a] <= s <= list[a + 1].
size_t cellOf(const std::vector<int> &list, int s)
{
    const auto it = std::upper_bound(list.begin(), list.end(), s);
    const size_t a = it == list.begin() ? 0 : size_t(it - list.begin()) - 1;
    return std::min(a, list.size() - 2);
}

// The largest |z - surface| over the samples of fine that lie in coarse's
// span, the surface being coarse's triangles. Samples hold a border;
// only the span's own count. NaN on either side counts nothing.
float largestDeviation(const TileSamples &coarse, const std::vector<int> &coarseColumns,
                       const std::vector<int> &coarseRows, const TileSamples &fine)
{
    float worst = 0.0f;
    if (coarseColumns.size() < 2 || coarseRows.size() < 2)
        return worst;
    auto coarseAt = [&](int c, int r) {
        return coarse.at(int(std::lower_bound(coarseColumns.begin(), coarseColumns.end(), c) - coarseColumns.begin()),
                         int(std::lower_bound(coarseRows.begin(), coarseRows.end(), r) - coarseRows.begin()));
    };
    for (size_t j = 1; j + 1 < fine.rows.size(); ++j) {
        const int r = fine.rows[j];
        if (r < coarseRows.front() || r > coarseRows.back())
            continue;
        const size_t b = cellOf(coarseRows, r);
        const int ra = coarseRows[b], rb = coarseRows[b + 1];
        const double v = double(r - ra) / double(rb - ra);
        for (size_t i = 1; i + 1 < fine.columns.size(); ++i) {
            const int c = fine.columns[i];
            if (c < coarseColumns.front() || c > coarseColumns.back())
                continue;
            const size_t a = cellOf(coarseColumns, c);
            const int ca = coarseColumns[a], cb = coarseColumns[a + 1];
            const double u = double(c - ca) / double(cb - ca);
            const double h = cellHeight(coarseAt(ca, ra), coarseAt(cb, ra), coarseAt(ca, rb), coarseAt(cb, rb), u, v);
            const double d = std::fabs(double(fine.at(int(i) - 1, int(j) - 1)) - h);
            if (d > worst)  // NaN never is
                worst = float(d);
        }
    }
    return worst;
}

std::vector<int> interior(const std::vector<int> &withBorder)
{
    return std::vector<int>(withBorder.begin() + 1, withBorder.end() - 1);
}

// Every other sample and the last: the level above's samples over a tile.
std::vector<int> everyOther(const std::vector<int> &list)
{
    std::vector<int> out;
    for (size_t i = 0; i < list.size(); i += 2)
        out.push_back(list[i]);
    if (out.back() != list.back())
        out.push_back(list.back());
    return out;
}

}  // namespace

StreamedTree::StreamedTree(const HeightModel &model) : model_(model), levels_(levelGrids(model.width, model.height))
{
}

bool StreamedTree::inside(const TileKey &key) const
{
    if (key.level < 0 || key.level >= levels())
        return false;
    const Level &level = levels_[size_t(key.level)];
    return key.ix >= 0 && key.iy >= 0 && key.ix < level.tilesX && key.iy < level.tilesY;
}

std::vector<TileKey> StreamedTree::children(const TileKey &key) const
{
    std::vector<TileKey> out;
    if (key.level == 0)
        return out;
    for (int cy = 0; cy < 2; ++cy)
        for (int cx = 0; cx < 2; ++cx) {
            const TileKey child{key.level - 1, 2 * key.ix + cx, 2 * key.iy + cy};
            if (inside(child))
                out.push_back(child);
        }
    return out;
}

const StreamedTree::Node *StreamedTree::node(const TileKey &key) const
{
    const auto it = nodes_.find(pack(key));
    return it == nodes_.end() ? nullptr : &it->second;
}

const TileSamples *StreamedTree::samples(const TileKey &key) const
{
    const Node *n = node(key);
    return n ? n->samples.get() : nullptr;
}

TileSpan StreamedTree::span(const TileKey &key) const
{
    const Level &level = levels_[size_t(key.level)];
    const int c0 = key.ix * kTileCells * level.stride, r0 = key.iy * kTileCells * level.stride;
    TileSpan s;
    s.columns = samplesOf(c0, std::min(c0 + kTileCells * level.stride, model_.width - 1), level.stride);
    s.rows = samplesOf(r0, std::min(r0 + kTileCells * level.stride, model_.height - 1), level.stride);
    const Node *n = node(key);
    if (!n)
        return s;
    s.low = n->low;
    s.high = n->high;
    s.error = n->error;
    // Whatever can be drawn across a side (the neighbour of this level,
    // its descendants, its ancestors short of the one the two share) errs
    // at most as its nearest known ancestor says; the two edges then lie
    // within the sum of the errors of each other.
    const float margin = float(0.5 * std::fabs(model_.geoTransform[1]) * level.stride);
    static const int dx[4] = {0, 0, -1, 1}, dy[4] = {-1, 1, 0, 0};
    for (int side = 0; side < 4; ++side) {
        TileKey self = key, across{key.level, key.ix + dx[side], key.iy + dy[side]};
        float other = 0.0f;
        bool known = false;
        if (inside(across)) {
            for (int L = key.level; L < levels() && !(self == across); ++L) {
                if (const Node *a = node(across)) {
                    other = std::max(other, a->error);
                    known = true;
                }
                self = {L + 1, self.ix / 2, self.iy / 2};
                across = {L + 1, across.ix / 2, across.iy / 2};
            }
            if (!known)
                other = n->error;
        }
        s.skirt[side] = n->error + other + margin;
    }
    return s;
}

void StreamedTree::box(const TileKey &key, const Node &n, double lo[3], double hi[3]) const
{
    const int stride = levels_[size_t(key.level)].stride;
    const int c0 = key.ix * kTileCells * stride, r0 = key.iy * kTileCells * stride;
    const double xa = model_.sampleX(c0), xb = model_.sampleX(std::min(c0 + kTileCells * stride, model_.width - 1));
    const double ya = model_.sampleY(r0), yb = model_.sampleY(std::min(r0 + kTileCells * stride, model_.height - 1));
    lo[0] = std::min(xa, xb);
    hi[0] = std::max(xa, xb);
    lo[1] = std::min(ya, yb);
    hi[1] = std::max(ya, yb);
    // The finer surfaces lie within the error of this one.
    lo[2] = double(n.low) - n.error;
    hi[2] = double(n.high) + n.error;
}

StreamedTree::Choice StreamedTree::select(const host::Camera &camera, double pixelError) const
{
    Choice out;
    std::vector<std::pair<double, TileKey>> wanted;
    const TileKey root{levels() - 1, 0, 0};
    if (!node(root))
        out.wanted.push_back(root);
    else
        refine(root, camera, Frustum(camera), pixelError, out, wanted);
    std::stable_sort(wanted.begin(), wanted.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    for (const auto &w : wanted)
        out.wanted.push_back(w.second);
    return out;
}

void StreamedTree::refine(const TileKey &key, const host::Camera &camera, const Frustum &frustum,
                          double pixelError, Choice &out, std::vector<std::pair<double, TileKey>> &wanted) const
{
    const Node &n = *node(key);
    out.seen.push_back(key);
    if (std::isnan(n.low))
        return;  // no data at all
    double lo[3], hi[3];
    box(key, n, lo, hi);
    if (frustum.outside(lo, hi))
        return;
    const double distance = distanceToBox(camera, lo, hi);
    const double pixels = pixelsAt(camera, n.error, distance);
    const int stride = levels_[size_t(key.level)].stride;
    const bool holesFit =
        !n.holes || (distance > 0.0 && pixelsAt(camera, 2.0 * stride * std::fabs(model_.geoTransform[1]), distance) <= 1.0);
    if (key.level == 0 || (pixels <= pixelError && holesFit)) {
        out.draw.push_back(key);
        return;
    }
    // The children in view, judged by this tile's heights until their own
    // arrive; this tile stands in for them until they all have.
    std::vector<TileKey> inView;
    bool missing = false;
    for (const TileKey &child : children(key)) {
        const Node *c = node(child);
        double clo[3], chi[3];
        box(child, n, clo, chi);
        clo[2] = lo[2];
        chi[2] = hi[2];
        if (frustum.outside(clo, chi))
            continue;
        // In view by this tile's heights: a child here is kept even when
        // its own put it out of view, or it would be asked for again.
        if (c)
            out.seen.push_back(child);
        if (c) {
            box(child, *c, clo, chi);
            if (frustum.outside(clo, chi))
                continue;
        } else {
            missing = true;
            wanted.push_back({pixels, child});
        }
        inView.push_back(child);
    }
    if (missing) {
        out.draw.push_back(key);
        return;
    }
    for (const TileKey &child : inView)
        refine(child, camera, frustum, pixelError, out, wanted);
}

float StreamedTree::deviationFrom(const TileKey &parent, const TileSamples &fine, const TileKey &) const
{
    const Node *p = node(parent);
    if (!p || !p->samples)
        return 0.0f;
    return largestDeviation(*p->samples, interior(p->samples->columns), interior(p->samples->rows), fine);
}

void StreamedTree::arrive(const TileKey &key, std::shared_ptr<const TileSamples> samples)
{
    Node n;
    n.samples = std::move(samples);
    const TileSamples &s = *n.samples;
    const std::vector<int> columns = interior(s.columns), rows = interior(s.rows);
    float lo = INFINITY, hi = -INFINITY;
    for (size_t j = 0; j < rows.size(); ++j)
        for (size_t i = 0; i < columns.size(); ++i) {
            const float z = s.at(int(i), int(j));
            if (std::isnan(z)) {
                n.holes = true;
                continue;
            }
            lo = std::min(lo, z);
            hi = std::max(hi, z);
        }
    if (lo <= hi) {
        n.low = lo;
        n.high = hi;
    }
    if (key.level > 0) {
        // The level above's surface over this tile against its samples.
        const std::vector<int> coarseColumns = everyOther(columns), coarseRows = everyOther(rows);
        TileSamples coarse;
        coarse.columns = withBorder(coarseColumns, 0, model_.width);
        coarse.rows = withBorder(coarseRows, 0, model_.height);
        for (int r : coarse.rows)
            for (int c : coarse.columns) {
                const size_t i = size_t(std::lower_bound(columns.begin(), columns.end(), c) - columns.begin());
                const size_t j = size_t(std::lower_bound(rows.begin(), rows.end(), r) - rows.begin());
                coarse.z.push_back(s.at(int(i), int(j)));
            }
        n.rough = largestDeviation(coarse, coarseColumns, coarseRows, s);
    }
    n.error = n.rough;
    if (key.level + 1 < levels())
        n.deviation = deviationFrom({key.level + 1, key.ix / 2, key.iy / 2}, s, key);
    nodes_[pack(key)] = std::move(n);
    // Children already here (this tile came back after it was forgotten).
    for (const TileKey &child : children(key))
        if (auto it = nodes_.find(pack(child)); it != nodes_.end()) {
            it->second.deviation = deviationFrom(key, *it->second.samples, child);
            Node &self = nodes_[pack(key)];
            self.error = std::max(self.error, it->second.deviation + it->second.error);
        }
    raiseAncestors(key);
}

void StreamedTree::raiseAncestors(TileKey key)
{
    while (key.level + 1 < levels()) {
        const Node &child = nodes_.at(pack(key));
        const float through = child.deviation + child.error;
        key = {key.level + 1, key.ix / 2, key.iy / 2};
        auto it = nodes_.find(pack(key));
        if (it == nodes_.end() || it->second.error >= through)
            return;
        it->second.error = through;
    }
}

void StreamedTree::forget(const TileKey &key) { nodes_.erase(pack(key)); }

bool StreamedTree::intersect(const double start[3], const double second[3], double *t, const Load &load)
{
    const double dir[3] = {second[0] - start[0], second[1] - start[1], second[2] - start[2]};
    return intersectTile({levels() - 1, 0, 0}, start, dir, t, load);
}

bool StreamedTree::intersectTile(const TileKey &key, const double start[3], const double dir[3], double *t,
                                 const Load &load)
{
    if (!node(key) && load)
        load(key);
    const Node *n = node(key);
    if (!n || std::isnan(n->low))
        return false;
    double lo[3], hi[3], tIn, tOut;
    box(key, *n, lo, hi);
    if (!rayBox(start, dir, lo, hi, &tIn, &tOut))
        return false;
    if (key.level == 0) {
        // The cells under the ray's stretch inside this tile.
        const TileSamples &s = *n->samples;
        const double gx = model_.geoTransform[1], gy = model_.geoTransform[5];
        auto column = [&](double x) { return (x - model_.geoTransform[0]) / gx - 0.5; };
        auto row = [&](double y) { return (y - model_.geoTransform[3]) / gy - 0.5; };
        const double xa = start[0] + tIn * dir[0], xb = start[0] + tOut * dir[0];
        const double ya = start[1] + tIn * dir[1], yb = start[1] + tOut * dir[1];
        const int c0 = s.columns[1], r0 = s.rows[1];
        const int cells = int(s.columns.size()) - 3, rowsCells = int(s.rows.size()) - 3;
        const int ia = std::max(0, int(std::floor(std::min(column(xa), column(xb)))) - 1 - c0);
        const int ib = std::min(cells - 1, int(std::floor(std::max(column(xa), column(xb)))) + 1 - c0);
        const int ja = std::max(0, int(std::floor(std::min(row(ya), row(yb)))) - 1 - r0);
        const int jb = std::min(rowsCells - 1, int(std::floor(std::max(row(ya), row(yb)))) + 1 - r0);
        double best = INFINITY;
        for (int j = ja; j <= jb; ++j)
            for (int i = ia; i <= ib; ++i) {
                const int c = c0 + i, r = r0 + j;
                rayCell(start, dir, model_.sampleX(c), model_.sampleY(r), model_.sampleX(c + 1), model_.sampleY(r + 1),
                        s.at(i, j), s.at(i + 1, j), s.at(i, j + 1), s.at(i + 1, j + 1), &best);
            }
        if (best == INFINITY)
            return false;
        *t = best;
        return true;
    }
    // Children the ray crosses (by this tile's heights until their own
    // are read), nearest first; a hit before the next one's entry ends it.
    std::vector<std::pair<double, TileKey>> crossed;
    for (const TileKey &child : children(key)) {
        double clo[3], chi[3], a, b;
        box(child, *n, clo, chi);
        clo[2] = lo[2];
        chi[2] = hi[2];
        if (rayBox(start, dir, clo, chi, &a, &b))
            crossed.push_back({a, child});
    }
    std::sort(crossed.begin(), crossed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    double best = INFINITY;
    for (const auto &c : crossed) {
        if (c.first > best)
            break;
        double hit;
        if (intersectTile(c.second, start, dir, &hit, load) && hit < best)
            best = hit;
    }
    if (best == INFINITY)
        return false;
    *t = best;
    return true;
}

double StreamedTree::heightAt(double x, double y, const Load &load)
{
    const double fc = (x - model_.geoTransform[0]) / model_.geoTransform[1] - 0.5;
    const double fr = (y - model_.geoTransform[3]) / model_.geoTransform[5] - 0.5;
    if (!(fc >= 0.0 && fr >= 0.0 && fc <= model_.width - 1 && fr <= model_.height - 1))
        return std::numeric_limits<double>::quiet_NaN();
    const int c = std::min(int(fc), model_.width - 2), r = std::min(int(fr), model_.height - 2);
    TileKey key{0, std::min(c / kTileCells, levels_[0].tilesX - 1), std::min(r / kTileCells, levels_[0].tilesY - 1)};
    if (!node(key) && load)
        load(key);
    // Without load, the finest tile there is.
    while (!node(key) && key.level + 1 < levels())
        key = {key.level + 1, key.ix / 2, key.iy / 2};
    const Node *n = node(key);
    if (!n)
        return std::numeric_limits<double>::quiet_NaN();
    const TileSamples &s = *n->samples;
    const std::vector<int> columns = interior(s.columns), rows = interior(s.rows);
    const size_t a = cellOf(columns, c), b = cellOf(rows, r);
    const double u = (fc - columns[a]) / double(columns[a + 1] - columns[a]);
    const double v = (fr - rows[b]) / double(rows[b + 1] - rows[b]);
    return cellHeight(s.at(int(a), int(b)), s.at(int(a) + 1, int(b)), s.at(int(a), int(b) + 1),
                      s.at(int(a) + 1, int(b) + 1), u, v);
}

}  // namespace terrain
