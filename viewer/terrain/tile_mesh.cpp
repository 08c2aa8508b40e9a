#include "terrain/tile_mesh.h"

#include <algorithm>
#include <cmath>

#include "terrain/shading.h"

namespace terrain {

namespace {

// The unit normal at a sample from its neighbours a stride away (one-sided
// at the edge or beside a hole, flat when both sides are missing).
void normalAt(const HeightModel &m, int c, int r, int stride, float out[3])
{
    auto slope = [&](int ca, int ra, int cb, int rb, double dist) {
        const float a = m.at(ca, ra), b = m.at(cb, rb);
        return std::isnan(a) || std::isnan(b) || dist == 0.0 ? NAN : double(b - a) / dist;
    };
    const int cl = std::max(0, c - stride), cr = std::min(m.width - 1, c + stride);
    const int ru = std::max(0, r - stride), rd = std::min(m.height - 1, r + stride);
    double dx = slope(cl, r, cr, r, m.sampleX(cr) - m.sampleX(cl));
    if (std::isnan(dx))
        dx = slope(c, r, cr, r, m.sampleX(cr) - m.sampleX(c));
    if (std::isnan(dx))
        dx = slope(cl, r, c, r, m.sampleX(c) - m.sampleX(cl));
    double dy = slope(c, ru, c, rd, m.sampleY(rd) - m.sampleY(ru));
    if (std::isnan(dy))
        dy = slope(c, r, c, rd, m.sampleY(rd) - m.sampleY(r));
    if (std::isnan(dy))
        dy = slope(c, ru, c, r, m.sampleY(r) - m.sampleY(ru));
    const double nx = std::isnan(dx) ? 0.0 : -dx, ny = std::isnan(dy) ? 0.0 : -dy;
    const double len = std::sqrt(nx * nx + ny * ny + 1.0);
    out[0] = float(nx / len);
    out[1] = float(ny / len);
    out[2] = float(1.0 / len);
}

}  // namespace

TileMesh buildTileMesh(const HeightModel &m, const TileSpan &span, bool draped)
{
    TileMesh mesh;
    const int nc = int(span.columns.size()), nr = int(span.rows.size());
    const int stride = nc > 1 ? span.columns[1] - span.columns[0] : 1;
    mesh.origin[0] = m.sampleX(span.columns[0]);
    mesh.origin[1] = m.sampleY(span.rows[0]);
    const double x0 = m.geoTransform[0], w = m.width * m.geoTransform[1];
    const double y0 = m.geoTransform[3], h = m.height * m.geoTransform[5];
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
            const float z = m.at(c, r);
            valid[size_t(j) * size_t(nc) + size_t(i)] = !std::isnan(z);
            float normal[3], rgb[3];
            normalAt(m, c, r, stride, normal);
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
