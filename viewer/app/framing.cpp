#include "framing.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
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

using Vertex = std::array<float, 3>;

// The lines, polygons and points one feedback pass gave, in drawing order:
// their vertices in window coordinates (the raw floats, so a vertex shared
// by two primitives is the same key), primitive n's being vertices
// first[n] up to first[n + 1], and the mark given before each. A weather
// layer draws hundreds of thousands of them: one array for all, not one
// allocation each.
struct Primitives {
    std::vector<int> mark;
    std::vector<size_t> first{0};
    std::vector<Vertex> vertices;

    size_t size() const { return mark.size(); }
    const Vertex *begin(size_t n) const { return vertices.data() + first[n]; }
    const Vertex *end(size_t n) const { return vertices.data() + first[n + 1]; }
};

// The feedback buffer. GL cannot say beforehand how much a drawing gives,
// and an overflow costs a whole drawing again, so a buffer starts with the
// room the last one ended with (the passes of one framing, and the framings
// one after the other, draw much the same), and at first with room for the
// boxes of some fifty thousand clouds: left uninitialised, only what GL
// writes into it takes memory.
class FeedbackBuffer {
public:
    static constexpr size_t kLeast = size_t(1) << 22;
    static constexpr size_t kMost = size_t(1) << 26;  // beyond it nothing is framed

    FeedbackBuffer() : size_(std::min(std::max(lastSize_.load(), kLeast), kMost)) {}
    ~FeedbackBuffer() { lastSize_.store(size_); }
    FeedbackBuffer(const FeedbackBuffer &) = delete;
    FeedbackBuffer &operator=(const FeedbackBuffer &) = delete;

    // Draws in feedback mode until it fits; the number of floats it gave,
    // or -1 when it did not fit in the most room there is.
    GLint capture(const std::function<void()> &draw)
    {
        while (true) {
            if (!data_)
                data_.reset(new GLfloat[size_]);
            glFeedbackBuffer(static_cast<GLsizei>(size_), GL_3D, data_.get());
            glRenderMode(GL_FEEDBACK);
            glPassThrough(0.0f);  // what comes before the first mark
            draw();
            const GLint count = glRenderMode(GL_RENDER);
            if (count >= 0 || size_ >= kMost)
                return count;
            size_ = std::min(size_ * 4, kMost);  // overflowed: again with room
            data_.reset();
        }
    }
    const GLfloat *data() const { return data_.get(); }

private:
    static std::atomic<size_t> lastSize_;
    size_t size_;
    std::unique_ptr<GLfloat[]> data_;
};

std::atomic<size_t> FeedbackBuffer::lastSize_{0};

// Reads what feedback gave into primitives; stops at anything that is not
// a token rather than misread it.
Primitives readFeedback(const GLfloat *buffer, GLint count)
{
    Primitives out;
    if (count <= 0)
        return out;
    // Lines, two vertices after each token, are what layers mostly draw.
    out.mark.reserve(size_t(count) / 7 + 1);
    out.first.reserve(size_t(count) / 7 + 2);
    out.vertices.reserve(size_t(count) / 3);
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
            return out;
        }
        for (int v = 0; v < vertices && i + 3 <= count; ++v, i += 3)
            out.vertices.push_back({buffer[i], buffer[i + 1], buffer[i + 2]});
        out.mark.push_back(mark);
        out.first.push_back(out.vertices.size());
    }
    return out;
}

// One feedback pass with everything within ±scale of centre kept from
// clipping: the projection divides by scale and a 2 × 2 viewport maps
// clip space to window coordinates 0..2 (depth 0..1).
Primitives feedbackPass(const std::function<void()> &draw, const double centre[3], double scale,
                        FeedbackBuffer &buffer)
{
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

    const GLint count = buffer.capture(draw);

    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    return readFeedback(buffer.data(), count);
}

// Which primitive first gave each vertex under its mark: an open-addressed
// table of indices into the primitives, the keys read back from them (a
// tree or a node per vertex costs more than the grouping it serves).
// Vertices are told apart by their bits, so that NaN vertices join their
// own primitives.
class VertexOwners {
public:
    explicit VertexOwners(const Primitives &primitives) : primitives_(primitives)
    {
        size_t room = 16;
        while (room < primitives.vertices.size() + primitives.vertices.size() / 2)
            room *= 2;
        slots_.assign(room, Slot{});
        mask_ = room - 1;
    }

    // The primitive that gave this vertex (index v, of primitive n) first:
    // n itself when none did before.
    size_t claim(size_t v, size_t n)
    {
        const int mark = primitives_.mark[n];
        uint32_t bits[3];
        std::memcpy(bits, primitives_.vertices[v].data(), sizeof bits);
        for (size_t s = hash(bits, mark) & mask_;; s = (s + 1) & mask_) {
            Slot &slot = slots_[s];
            if (slot.owner == kFree) {
                slot.owner = static_cast<uint32_t>(n);
                slot.vertex = static_cast<uint32_t>(v);
                return n;
            }
            if (primitives_.mark[slot.owner] == mark &&
                std::memcmp(primitives_.vertices[slot.vertex].data(), bits, sizeof bits) == 0)
                return slot.owner;
        }
    }

private:
    static constexpr uint32_t kFree = UINT32_MAX;
    struct Slot {
        uint32_t owner = kFree;
        uint32_t vertex = 0;
    };

    static size_t hash(const uint32_t bits[3], int mark)
    {
        uint64_t h = (uint64_t(bits[0]) << 32 | bits[1]) * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t(bits[2]) << 32 | uint32_t(mark)) * 0xC2B2AE3D27D4EB4Full;
        h ^= h >> 31;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 29;
        return static_cast<size_t>(h);
    }

    const Primitives &primitives_;
    std::vector<Slot> slots_;
    size_t mask_ = 0;
};

// Groups primitives that share a vertex (under the same mark) and calls
// piece(mark, members, count) once for each group, the members in drawing
// order, the groups in the order of the index of their roots.
template <typename Piece>
void connectedPieces(const Primitives &primitives, Piece piece)
{
    const size_t count = primitives.size();
    std::vector<size_t> parent(count);
    std::iota(parent.begin(), parent.end(), size_t(0));
    auto root = [&parent](size_t a) {
        while (parent[a] != a)
            a = parent[a] = parent[parent[a]];
        return a;
    };
    {
        VertexOwners owners(primitives);
        for (size_t n = 0; n < count; ++n)
            for (size_t v = primitives.first[n]; v < primitives.first[n + 1]; ++v) {
                const size_t owner = owners.claim(v, n);
                if (owner != n)
                    parent[root(n)] = root(owner);
            }
    }
    // The members sorted by their root (counting), each root's in drawing
    // order.
    std::vector<size_t> start(count + 1, 0);
    for (size_t n = 0; n < count; ++n)
        ++start[(parent[n] = root(n)) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<size_t> members(count);
    {
        std::vector<size_t> next(start.begin(), start.end() - 1);
        for (size_t n = 0; n < count; ++n)
            members[next[parent[n]]++] = n;
    }
    for (size_t r = 0; r < count; ++r)
        if (start[r] != start[r + 1])
            piece(primitives.mark[members[start[r]]], &members[start[r]], start[r + 1] - start[r]);
}

std::map<int, size_t> countByMark(const Primitives &primitives)
{
    std::map<int, size_t> counts;
    // Marks come in runs: one look-up a run.
    for (size_t n = 0; n < primitives.size();) {
        size_t end = n + 1;
        while (end < primitives.size() && primitives.mark[end] == primitives.mark[n])
            ++end;
        counts[primitives.mark[n]] += end - n;
        n = end;
    }
    return counts;
}

// The per-axis median of the finite vertices: where most of the drawing
// is, whatever a few wild pieces do.
bool medianVertex(const Primitives &primitives, const double centre[3], double scale,
                  double out[3])
{
    std::vector<double> values;
    values.reserve(primitives.vertices.size());
    for (int k = 0; k < 3; ++k) {
        values.clear();
        for (const Vertex &v : primitives.vertices) {
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
    FeedbackBuffer buffer;
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
        if (medianVertex(feedbackPass(draw, centre, 1e9, buffer), centre, 1e9, middle)) {
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
    const Primitives primitives = feedbackPass(draw, centre, scale, buffer);

    auto note = [&framing](int mark) {
        if (std::find(framing.leftOut.begin(), framing.leftOut.end(), mark) ==
            framing.leftOut.end())
            framing.leftOut.push_back(mark);
    };
    connectedPieces(primitives, [&](int mark, const size_t *members, size_t count) {
        Bounds piece;
        for (size_t m = 0; m < count; ++m) {
            for (const Vertex *v = primitives.begin(members[m]); v != primitives.end(members[m]);
                 ++v) {
                const double p[3] = {((*v)[0] - 1.0) * scale + centre[0],
                                     ((*v)[1] - 1.0) * scale + centre[1],
                                     (2.0 * (*v)[2] - 1.0) * scale + centre[2]};
                for (int k = 0; k < 3; ++k) {
                    const double lo = scene.empty ? centre[k] : scene.lo[k];
                    const double hi = scene.empty ? centre[k] : scene.hi[k];
                    if (!std::isfinite(p[k]) || p[k] < lo - reach || p[k] > hi + reach) {
                        note(mark);  // one vertex out of reach leaves the whole piece out
                        return;
                    }
                }
                piece.add(p);
            }
        }
        framing.bounds.add(piece);
    });

    // A piece wholly beyond the boundary leaves nothing in the pass above.
    // A pass that shrinks every finite vertex onto the centre counts it.
    // (GL drops what is not finite in every pass: it cannot be framed, and
    // it is not seen to be named.)
    const std::map<int, size_t> near = countByMark(primitives);
    for (const auto &wide : countByMark(feedbackPass(draw, centre, INFINITY, buffer))) {
        const auto found = near.find(wide.first);
        if (found == near.end() || found->second < wide.second)
            note(wide.first);
    }
    std::sort(framing.leftOut.begin(), framing.leftOut.end());
    return framing;
}

}  // namespace cloudview
