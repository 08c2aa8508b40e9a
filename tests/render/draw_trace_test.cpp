// The GL calls of a draw, in order, as apitrace records them from a
// separate program (tests/render/draw_trace_main.cpp), compared call by
// call from glPushAttrib to glPopAttrib.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/test_util.h"
#include "tolalib.h"

namespace {

using Lines = std::vector<std::string>;

// The draw's calls: from glPushAttrib to glPopAttrib, both included.
Lines traceDraw(const std::string &mode)
{
    const Lines dump = apitraceCalls(DRAW_TRACE_PROGRAM, mode);
    size_t first = dump.size(), last = dump.size();
    for (size_t i = 0; i < dump.size(); ++i) {
        if (dump[i].rfind("glPushAttrib", 0) == 0 && first == dump.size())
            first = i;
        if (dump[i].rfind("glPopAttrib", 0) == 0)
            last = i;
    }
    if (first == dump.size() || last == dump.size() || last < first) {
        ADD_FAILURE() << "no glPushAttrib .. glPopAttrib in the trace of " << mode;
        return {};
    }
    return Lines(dump.begin() + first, dump.begin() + last + 1);
}

// apitrace prints floats with 7 significant digits, doubles with 16.
std::string f7(float v)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(v));
    return buffer;
}
std::string d16(double v)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.16g", v);
    return buffer;
}

std::string color3f(float r, float g, float b)
{
    return "glColor3f(red = " + f7(r) + ", green = " + f7(g) + ", blue = " + f7(b) + ")";
}
std::string texCoord(const char *s, const char *t)
{
    return std::string("glTexCoord2f(s = ") + s + ", t = " + t + ")";
}
std::string vertex(double x, double y, double z)
{
    return "glVertex3d(x = " + d16(x) + ", y = " + d16(y) + ", z = " + d16(z) + ")";
}
std::string bind(int name)
{
    return "glBindTexture(target = GL_TEXTURE_2D, texture = " + std::to_string(name) + ")";
}

const Lines kPrologue = {
    "glPushAttrib(mask = GL_ALL_ATTRIB_BITS)",
    "glDisable(cap = GL_TEXTURE_1D)",
    "glDisable(cap = GL_CULL_FACE)",
    "glDisable(cap = GL_LIGHTING)",
    "glDisable(cap = GL_STENCIL_TEST)",
    "glDepthMask(flag = GL_FALSE)",
    "glDisable(cap = GL_FOG)",
    "glDisable(cap = GL_ALPHA_TEST)",
    "glEnable(cap = GL_DEPTH_TEST)",
    "glEnable(cap = GL_BLEND)",
    "glEnable(cap = GL_TEXTURE_2D)",
    "glBlendFunc(sfactor = GL_ONE, dfactor = GL_ONE_MINUS_SRC_COLOR)",
};
const Lines kEpilogue = {
    bind(0),
    "glDisable(cap = GL_TEXTURE_2D)",
    "glPopAttrib()",
};

// One textured quad: bind, texture environment, the four corners.
void quad(Lines &out, int name, const std::vector<std::pair<std::string, std::string>> &corners)
{
    out.push_back(bind(name));
    out.push_back("glTexEnvf(target = GL_TEXTURE_ENV, pname = GL_TEXTURE_ENV_MODE, param = GL_MODULATE)");
    out.push_back("glBegin(mode = GL_QUADS)");
    for (const auto &c : corners) {
        out.push_back(c.first);
        out.push_back(c.second);
    }
    out.push_back("glEnd()");
}

// The small cloud of draw_trace_main.cpp: origin (100, 200, 300), centre
// (10, 20, 30), half-extents (4, -2, 1): x 106..114, y 222..218 (a
// negative half-extent runs the box backwards), z 329..331.
const double bx0 = 106, bx1 = 114, by0 = 222, by1 = 218, bz0 = 329, bz1 = 331;

// Baked texture names: horizontal 0 = 1, vertical 0 = 2, horizontal 1 = 3,
// vertical 1 = 4.
int hName(int entry) { return 2 * entry + 1; }
int vName(int entry) { return 2 * entry + 2; }

Lines sliceQuadZ(int name, double p)
{
    Lines out;
    quad(out, name,
         {{texCoord("0.001", "0.001"), vertex(bx0, by0, p)},
          {texCoord("0.999", "0.001"), vertex(bx0, by1, p)},
          {texCoord("0.999", "0.999"), vertex(bx1, by1, p)},
          {texCoord("0.001", "0.999"), vertex(bx1, by0, p)}});
    return out;
}
Lines sliceQuadY(int name, double p)
{
    Lines out;
    quad(out, name,
         {{texCoord("0.001", "0.999"), vertex(bx0, p, bz0)},
          {texCoord("0.001", "0.001"), vertex(bx0, p, bz1)},
          {texCoord("0.999", "0.001"), vertex(bx1, p, bz1)},
          {texCoord("0.999", "0.999"), vertex(bx1, p, bz0)}});
    return out;
}
Lines sliceQuadX(int name, double p)
{
    Lines out;
    quad(out, name,
         {{texCoord("0.001", "0.999"), vertex(p, by0, bz0)},
          {texCoord("0.001", "0.001"), vertex(p, by0, bz1)},
          {texCoord("0.999", "0.001"), vertex(p, by1, bz1)},
          {texCoord("0.999", "0.999"), vertex(p, by1, bz0)}});
    return out;
}

void append(Lines &out, const Lines &more) { out.insert(out.end(), more.begin(), more.end()); }

// Colour of a family: colour × density × |view component| / |view|, the
// view direction being the host's for azimuth 30 and elevation 30.
float shaded(float colour, int axis)
{
    const double position[3] = {0.0, 0.0, 0.0};
    double v[3];
    hhgl_GetTargetPosition(position, 30.0, 30.0, 1.0, v);
    const float base = colour * 0.5f;
    return static_cast<float>(base * (std::fabs(v[axis]) / std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])));
}
std::string familyColour(int axis)
{
    return color3f(shaded(1.0f, axis), shaded(0.5f, axis), shaded(0.25f, axis));
}

}  // namespace

TEST(DrawTrace, OneSmallCloudCallByCall)
{
    Lines expected = kPrologue;
    // z: one slice, two planes, entries 0 and layers - 1.
    expected.push_back(familyColour(2));
    append(expected, sliceQuadZ(hName(0), bz0));
    append(expected, sliceQuadZ(hName(1), bz1));
    // y: two slices, three planes stepping -2 from by0, entries 0, 0, 1.
    expected.push_back(familyColour(1));
    append(expected, sliceQuadY(vName(0), 222));
    append(expected, sliceQuadY(vName(0), 220));
    append(expected, sliceQuadY(vName(1), 218));
    // x: two slices, three planes stepping 4 from bx0, from the vertical stack.
    expected.push_back(familyColour(0));
    append(expected, sliceQuadX(vName(0), 106));
    append(expected, sliceQuadX(vName(0), 110));
    append(expected, sliceQuadX(vName(1), 114));
    append(expected, kEpilogue);

    EXPECT_EQ(traceDraw("small"), expected);
}

TEST(DrawTrace, BoxOutlineCallByCall)
{
    Lines expected = kPrologue;
    // Full colour, not scaled by the density of 0.5.
    expected.push_back("glColor4f(red = 1, green = 0.5, blue = 0.25, alpha = 1)");
    expected.push_back(bind(0));
    expected.push_back("glDisable(cap = GL_BLEND)");
    expected.push_back("glDisable(cap = GL_TEXTURE_2D)");
    expected.push_back("glBegin(mode = GL_LINES)");
    for (const std::string &v : {vertex(bx1, by0, bz0), vertex(bx1, by0, bz1), vertex(bx1, by1, bz0),
                                 vertex(bx1, by1, bz1), vertex(bx0, by1, bz0), vertex(bx0, by1, bz1)})
        expected.push_back(v);
    expected.push_back("glEnd()");
    expected.push_back("glBegin(mode = GL_LINE_STRIP)");
    for (const std::string &v :
         {vertex(bx0, by0, bz0), vertex(bx1, by0, bz0), vertex(bx1, by1, bz0), vertex(bx0, by1, bz0),
          vertex(bx0, by0, bz0), vertex(bx0, by0, bz1), vertex(bx1, by0, bz1), vertex(bx1, by1, bz1),
          vertex(bx0, by1, bz1), vertex(bx0, by0, bz1)})
        expected.push_back(v);
    expected.push_back("glEnd()");
    append(expected, kEpilogue);

    EXPECT_EQ(traceDraw("boxes"), expected);
}

// zslice 20 over layers 10: plane k shows entry (9 k) / 20.
TEST(DrawTrace, TwentyPlanesOverTenLayersUseTheDocumentedEntries)
{
    const Lines calls = traceDraw("index");
    std::vector<int> entries;
    for (const std::string &call : calls) {
        const std::string prefix = "glBindTexture(target = GL_TEXTURE_2D, texture = ";
        if (call.rfind(prefix, 0) == 0) {
            const int name = std::atoi(call.c_str() + prefix.size());
            if (name != 0) {
                EXPECT_EQ(name % 2, 1) << "a z plane bound a vertical texture: " << call;
                entries.push_back((name - 1) / 2);
            }
        }
    }
    // x and y counts of 0 add no planes.
    const std::vector<int> expected = {0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4,
                                       4, 5, 5, 6, 6, 7, 7, 8, 8, 9};
    EXPECT_EQ(entries, expected);
}

// A cloud without textures draws nothing in slice mode; a slice count of 0
// skips its family, a negative count draws none of its planes, and a count
// of 1 draws the two faces with entries 0 and layers - 1.
TEST(DrawTrace, UnbakedCloudAndZeroOrNegativeCountsDrawNoPlanes)
{
    const Lines calls = traceDraw("edge");
    Lines expected = kPrologue;
    // The second cloud (the first has no stacks): its z family has no
    // planes, its y family none either, its x family two.
    expected.push_back(familyColour(2));
    expected.push_back(familyColour(1));
    expected.push_back(familyColour(0));
    append(expected, sliceQuadX(vName(0), 106));
    append(expected, sliceQuadX(vName(1), 114));
    append(expected, kEpilogue);
    // The second cloud's texture names follow the first's, which has none.
    EXPECT_EQ(calls, expected);
}
