#include "terrain/tile_mesh.h"

#include <algorithm>
#include <cmath>

#include "terrain/shading.h"

namespace terrain {

namespace {

// The unit normal at span sample (i, j) from its neighbours (one-sided at
// the model's edge or beside a hole, flat when both sides are missing).
void normalAt(const HeightModel &m, const TileSamples &s, int i, int j, float out[3])
{
    auto column = [&](int k) { return s.columns[size_t(k + 1)]; };
    auto row = [&](int k) { return s.rows[size_t(k + 1)]; };
    auto slope = [&](int ia, int ja, int ib, int jb, double dist) {
        const float a = s.at(ia, ja), b = s.at(ib, jb);
        return std::isnan(a) || std::isnan(b) || dist == 0.0 ? NAN : double(b - a) / dist;
    };
    double dx = slope(i - 1, j, i + 1, j, m.sampleX(column(i + 1)) - m.sampleX(column(i - 1)));
    if (std::isnan(dx))
        dx = slope(i, j, i + 1, j, m.sampleX(column(i + 1)) - m.sampleX(column(i)));
    if (std::isnan(dx))
        dx = slope(i - 1, j, i, j, m.sampleX(column(i)) - m.sampleX(column(i - 1)));
    double dy = slope(i, j - 1, i, j + 1, m.sampleY(row(j + 1)) - m.sampleY(row(j - 1)));
    if (std::isnan(dy))
        dy = slope(i, j, i, j + 1, m.sampleY(row(j + 1)) - m.sampleY(row(j)));
    if (std::isnan(dy))
        dy = slope(i, j - 1, i, j, m.sampleY(row(j)) - m.sampleY(row(j - 1)));
    const double nx = std::isnan(dx) ? 0.0 : -dx, ny = std::isnan(dy) ? 0.0 : -dy;
    const double len = std::sqrt(nx * nx + ny * ny + 1.0);
    out[0] = float(nx / len);
    out[1] = float(ny / len);
    out[2] = float(1.0 / len);
}

}  // namespace

std::vector<int> withBorder(const std::vector<int> &samples, int stride, int size)
{
    std::vector<int> out;
    out.reserve(samples.size() + 2);
    out.push_back(std::max(0, samples.front() - stride));
    out.insert(out.end(), samples.begin(), samples.end());
    out.push_back(std::min(size - 1, samples.back() + stride));
    return out;
}

TileSamples residentSamples(const HeightModel &m, const TileSpan &span)
{
    const int stride = span.columns.size() > 1 ? span.columns[1] - span.columns[0] : 1;
    TileSamples s;
    s.columns = withBorder(span.columns, stride, m.width);
    s.rows = withBorder(span.rows, stride, m.height);
    s.z.reserve(s.columns.size() * s.rows.size());
    for (int r : s.rows)
        for (int c : s.columns)
            s.z.push_back(m.at(c, r));
    return s;
}

TileMesh buildTileMesh(const HeightModel &m, const TileSpan &span, const TileSamples &samples, bool draped)
{
    TileMesh mesh;
    const int nc = int(span.columns.size()), nr = int(span.rows.size());
    mesh.origin[0] = m.sampleX(span.columns[0]);
    mesh.origin[1] = m.sampleY(span.rows[0]);
    const double x0 = m.sampleX(span.columns.front()), w = m.sampleX(span.columns.back()) - x0;
    const double y0 = m.sampleY(span.rows.front()), h = m.sampleY(span.rows.back()) - y0;
    const float range = m.high > m.low ? m.high - m.low : 1.0f;

    std::vector<char> valid(size_t(nc) * size_t(nr));
    auto addVertex = [&](int c, int r, float z, const float rgb[3]) {
        const double x = m.sampleX(c), y = m.sampleY(r);
        mesh.positions.insert(mesh.positions.end(),
                              {float(x - mesh.origin[0]), float(y - mesh.origin[1]), z});
        mesh.colours.insert(mesh.colours.end(), {rgb[0], rgb[1], rgb[2]});
        if (draped)
            mesh.texCoords.insert(mesh.texCoords.end(), {float((x - x0) / w), float((y - y0) / h)});
    };
    for (int j = 0; j < nr; ++j)
        for (int i = 0; i < nc; ++i) {
            const int c = span.columns[size_t(i)], r = span.rows[size_t(j)];
            const float z = samples.at(i, j);
            valid[size_t(j) * size_t(nc) + size_t(i)] = !std::isnan(z);
            float normal[3], rgb[3];
            normalAt(m, samples, i, j, normal);
            if (draped)
                rgb[0] = rgb[1] = rgb[2] = drapeShade(normal);
            else
                tintedColour((z - m.low) / range, normal, rgb);
            addVertex(c, r, std::isnan(z) ? 0.0f : z, rgb);
        }
    auto index = [nc](int i, int j) { return uint32_t(j * nc + i); };
    auto ok = [&](int i, int j) { return valid[size_t(j) * size_t(nc) + size_t(i)] != 0; };
    for (int j = 0; j + 1 < nr; ++j)
        for (int i = 0; i + 1 < nc; ++i) {
            if (!ok(i, j) || !ok(i + 1, j) || !ok(i, j + 1) || !ok(i + 1, j + 1))
                continue;
            // The diagonal from (column, row) to (column + 1, row + 1).
            mesh.indices.insert(mesh.indices.end(), {index(i, j), index(i + 1, j), index(i + 1, j + 1),
                                                     index(i, j), index(i + 1, j + 1), index(i, j + 1)});
        }

    // Skirts: each side as deep as the tree says a neighbour of any level
    // may leave a gap there.
    auto skirt = [&](int ia, int ja, int ib, int jb, int side) {
        if (!ok(ia, ja) || !ok(ib, jb))
            return;
        const float depth = span.skirt[side];
        const uint32_t a = index(ia, ja), b = index(ib, jb);
        const uint32_t base = uint32_t(mesh.positions.size() / 3);
        for (uint32_t v : {a, b}) {
            const float *p = &mesh.positions[size_t(v) * 3];
            const float *col = &mesh.colours[size_t(v) * 3];
            mesh.positions.insert(mesh.positions.end(), {p[0], p[1], p[2] - depth});
            mesh.colours.insert(mesh.colours.end(), {col[0] * 0.8f, col[1] * 0.8f, col[2] * 0.8f});
            if (draped)
                mesh.texCoords.insert(mesh.texCoords.end(),
                                      {mesh.texCoords[size_t(v) * 2], mesh.texCoords[size_t(v) * 2 + 1]});
        }
        mesh.indices.insert(mesh.indices.end(), {a, b, base + 1, a, base + 1, base});
    };
    for (int i = 0; i + 1 < nc; ++i) {
        skirt(i, 0, i + 1, 0, kFirstRow);
        skirt(i, nr - 1, i + 1, nr - 1, kLastRow);
    }
    for (int j = 0; j + 1 < nr; ++j) {
        skirt(0, j, 0, j + 1, kFirstColumn);
        skirt(nc - 1, j, nc - 1, j + 1, kLastColumn);
    }
    return mesh;
}

}  // namespace terrain
