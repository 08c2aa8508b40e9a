#include "framing.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <numeric>
#include <vector>

namespace cloudview {

void Bounds::add(const double p[3])
{
    for (int k = 0; k < 3; ++k) {
        if (empty || p[k] < lo[k])
            lo[k] = p[k];
        if (empty || p[k] > hi[k])
            hi[k] = p[k];
    }
    empty = false;
}

void Bounds::add(const Bounds &other)
{
    if (other.empty)
        return;
    add(other.lo);
    add(other.hi);
}

namespace {

// A line, polygon or point as feedback gave it: window coordinates (the
// raw floats, so a vertex shared by two primitives is the same key) and
// the mark given before it.
struct Primitive {
    int mark = 0;
    std::vector<std::array<float, 3>> vertices;
};

// One feedback pass with everything within ±scale of centre kept from
// clipping: the projection divides by scale and a 2 × 2 viewport maps
// clip space to window coordinates 0..2 (depth 0..1).
std::vector<Primitive> feedbackPass(const std::function<void()> &draw, const double centre[3],
                                    double scale)
{
    std::vector<GLfloat> buffer(1 << 18);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glScaled(1.0 / scale, 1.0 / scale, 1.0 / scale);
    glTranslated(-centre[0], -centre[1], -centre[2]);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, 2, 2);

    GLint count = -1;
    while (true) {
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        glPassThrough(0.0f);  // what comes before the first mark
        draw();
        count = glRenderMode(GL_RENDER);
        if (count >= 0 || buffer.size() >= (1u << 26))
            break;
        buffer.resize(buffer.size() * 4);  // overflowed: try again with room
    }

    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();

    std::vector<Primitive> out;
    int mark = 0;
    for (GLint i = 0; i < count;) {
        const GLint token = static_cast<GLint>(buffer[i++]);
        int vertices = 0;
        switch (token) {
        case GL_POINT_TOKEN:
        case GL_BITMAP_TOKEN:
        case GL_DRAW_PIXEL_TOKEN:
        case GL_COPY_PIXEL_TOKEN:
            vertices = 1;
            break;
        case GL_LINE_TOKEN:
        case GL_LINE_RESET_TOKEN:
            vertices = 2;
            break;
        case GL_POLYGON_TOKEN:
            vertices = i < count ? static_cast<int>(buffer[i++]) : 0;
            break;
        case GL_PASS_THROUGH_TOKEN:
            if (i < count)
                mark = static_cast<int>(buffer[i]);
            ++i;
            continue;
        default:
            return out;  // not a token: stop rather than misread
        }
        Primitive p;
        p.mark = mark;
        for (int v = 0; v < vertices && i + 3 <= count; ++v, i += 3)
            p.vertices.push_back({buffer[i], buffer[i + 1], buffer[i + 2]});
        out.push_back(std::move(p));
    }
    return out;
}

// Groups primitives that share a vertex (under the same mark) and calls
// piece(mark, vertices) once for each group.
template <typename Piece>
void connectedPieces(const std::vector<Primitive> &primitives, Piece piece)
{
    std::vector<size_t> parent(primitives.size());
    std::iota(parent.begin(), parent.end(), size_t(0));
    auto root = [&parent](size_t a) {
        while (parent[a] != a)
            a = parent[a] = parent[parent[a]];
        return a;
    };
    // Keyed by the bits, so that NaN vertices join their own primitives.
    using Key = std::array<uint32_t, 4>;
    std::map<Key, size_t> owner;
    for (size_t n = 0; n < primitives.size(); ++n) {
        for (const auto &v : primitives[n].vertices) {
            Key key{};
            std::memcpy(key.data(), v.data(), sizeof(float) * 3);
            key[3] = static_cast<uint32_t>(primitives[n].mark);
            const auto found = owner.emplace(key, n);
            if (!found.second)
                parent[root(n)] = root(found.first->second);
        }
    }
    std::map<size_t, std::vector<size_t>> groups;  // by root, in drawing order of roots
    for (size_t n = 0; n < primitives.size(); ++n)
        groups[root(n)].push_back(n);
    for (const auto &group : groups)
        piece(primitives[group.second.front()].mark, group.second);
}

std::map<int, size_t> countByMark(const std::vector<Primitive> &primitives)
{
    std::map<int, size_t> counts;
    for (const Primitive &p : primitives)
        ++counts[p.mark];
    return counts;
}

// The per-axis median of the finite vertices: where most of the drawing
// is, whatever a few wild pieces do.
bool medianVertex(const std::vector<Primitive> &primitives, const double centre[3],
                  double scale, double out[3])
{
    for (int k = 0; k < 3; ++k) {
        std::vector<double> values;
        for (const Primitive &p : primitives)
            for (const auto &v : p.vertices) {
                const double x = k == 2 ? (2.0 * v[2] - 1.0) : (v[size_t(k)] - 1.0);
                if (std::isfinite(x))
                    values.push_back(x * scale + centre[k]);
            }
        if (values.empty())
            return false;
        std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
        out[k] = values[values.size() / 2];
    }
    return true;
}

}  // namespace

Framing frameDrawing(const std::function<void()> &draw, const Bounds &given, bool followDrawing)
{
    Framing framing;
    Bounds scene = given;
    double centre[3] = {0, 0, 0};
    double side = 1.0;
    for (int k = 0; k < 3 && !scene.empty; ++k) {
        centre[k] = 0.5 * (scene.lo[k] + scene.hi[k]);
        side = std::max(side, scene.hi[k] - scene.lo[k]);
    }
    if (followDrawing && !scene.empty) {
        // Coarsely (within a million kilometres), where the drawing lies.
        double middle[3];
        if (medianVertex(feedbackPass(draw, centre, 1e9), centre, 1e9, middle)) {
            for (int k = 0; k < 2; ++k) {
                scene.lo[k] += middle[k] - centre[k];
                scene.hi[k] += middle[k] - centre[k];
                centre[k] = middle[k];
            }
        }
    }
    const double reach = kFramingReach * side;
    // Everything that may be framed is caught unclipped; a piece that runs
    // beyond gets vertices on the clipping boundary, which lie out of reach.
    const double scale = 0.5 * side + reach + side;
    const std::vector<Primitive> primitives = feedbackPass(draw, centre, scale);

    auto note = [&framing](int mark) {
        if (std::find(framing.leftOut.begin(), framing.leftOut.end(), mark) ==
            framing.leftOut.end())
            framing.leftOut.push_back(mark);
    };
    connectedPieces(primitives, [&](int mark, const std::vector<size_t> &members) {
        Bounds piece;
        bool keep = true;
        for (size_t n : members) {
            for (const auto &v : primitives[n].vertices) {
                const double p[3] = {(v[0] - 1.0) * scale + centre[0],
                                     (v[1] - 1.0) * scale + centre[1],
                                     (2.0 * v[2] - 1.0) * scale + centre[2]};
                for (int k = 0; k < 3; ++k) {
                    const double lo = scene.empty ? centre[k] : scene.lo[k];
                    const double hi = scene.empty ? centre[k] : scene.hi[k];
                    if (!std::isfinite(p[k]) || p[k] < lo - reach || p[k] > hi + reach)
                        keep = false;
                }
                if (keep)
                    piece.add(p);
            }
        }
        if (keep)
            framing.bounds.add(piece);
        else
            note(mark);
    });

    // A piece wholly beyond the boundary leaves nothing in the pass above.
    // A pass that shrinks every finite vertex onto the centre counts it.
    // (GL drops what is not finite in every pass: it cannot be framed, and
    // it is not seen to be named.)
    const std::map<int, size_t> near = countByMark(primitives);
    for (const auto &wide : countByMark(feedbackPass(draw, centre, INFINITY))) {
        const auto found = near.find(wide.first);
        if (found == near.end() || found->second < wide.second)
            note(wide.first);
    }
    std::sort(framing.leftOut.begin(), framing.leftOut.end());
    return framing;
}

}  // namespace cloudview
