// Drawing on a real GL context: what the draw leaves in the framebuffer,
// the GL state it leaves behind, and what it asks of the scene.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "fake_scene.h"
#include "plugin/records.h"
#include "render/layer_draw.h"
#include "support/gl_env.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"
#include "tolalib.h"

namespace {

// Read before any test can draw: the flag is set when the code is loaded.
const int32_t firstDrawPendingAtLoad = firstDrawPending;

using Bytes = std::vector<unsigned char>;
using RGB = std::array<int, 3>;

const float kClear[3] = {0.2f, 0.4f, 0.6f};
const RGB kClearBytes = {51, 102, 153};

// An orthographic view of x 0..256, y 0..256 over the 256 × 256
// framebuffer, looking down -z, depth cleared.
void setUpView()
{
    testGL();
    glViewport(0, 0, kTestGLWidth, kTestGLHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 256.0, 0.0, 256.0, -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(kClear[0], kClear[1], kClear[2], 1.0f);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

RGB pixel(int x, int y)
{
    unsigned char p[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

Bytes framebuffer()
{
    Bytes out(static_cast<size_t>(kTestGLWidth) * kTestGLHeight * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kTestGLWidth, kTestGLHeight, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}

// GL_LINEAR sampling of a square luminance texture at (s, t), 0..1, away
// from the border (s runs along a row, t down the rows).
double sample(const Bytes &texels, int n, double s, double t)
{
    const double u = s * n - 0.5, v = t * n - 0.5;
    const int i = static_cast<int>(std::floor(u)), j = static_cast<int>(std::floor(v));
    const double a = u - i, b = v - j;
    auto at = [&](int col, int row) { return texels[static_cast<size_t>(row) * n + col] / 255.0; };
    return (1 - a) * (1 - b) * at(i, j) + a * (1 - b) * at(i + 1, j) + (1 - a) * b * at(i, j + 1) +
           a * b * at(i + 1, j + 1);
}

CloudRecord cloudAt(double x, double y, double z, double hx, double hy, double hz)
{
    CloudRecord c{};
    cloudRecordSetDefaults(&c);
    c.xposition = x;
    c.yposition = y;
    c.zposition = z;
    c.xsize = hx;
    c.ysize = hy;
    c.zsize = hz;
    return c;
}

void bake(CloudRecord &c)
{
    noiseTableBuild(c);
    cloudTexturesBuild(c);
}

// The state a draw may touch, as GL reports it.
struct GLState {
    std::vector<GLboolean> enables;
    GLboolean depthMask = 0;
    GLint blendSrc = 0, blendDst = 0, binding = 0, envMode = 0, depthFunc = 0;
    std::array<GLfloat, 4> colour{};
    bool operator==(const GLState &o) const
    {
        return enables == o.enables && depthMask == o.depthMask && blendSrc == o.blendSrc &&
               blendDst == o.blendDst && binding == o.binding && envMode == o.envMode &&
               depthFunc == o.depthFunc && colour == o.colour;
    }
};

GLState glState()
{
    GLState s;
    for (GLenum cap : {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_CULL_FACE, GL_LIGHTING, GL_STENCIL_TEST,
                       GL_FOG, GL_ALPHA_TEST, GL_DEPTH_TEST, GL_BLEND})
        s.enables.push_back(glIsEnabled(cap));
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
    glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
    glGetIntegerv(GL_BLEND_DST, &s.blendDst);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.binding);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &s.envMode);
    glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
    glGetFloatv(GL_CURRENT_COLOR, s.colour.data());
    return s;
}

void expectNear(const RGB &got, const RGB &want, int tolerance, const std::string &where)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got[i], want[i], tolerance) << where << " channel " << i;
}

}  // namespace

TEST(Draw, FlagIsSetAtLoad)
{
    EXPECT_EQ(firstDrawPendingAtLoad, 1);
}

// Two z planes (entries 0 and 1) over a clear colour; the x and y planes
// stand edge-on to the view and cover nothing. Every sampled pixel is the
// screen blend of colour × density × shade × texel, plane after plane.
TEST(Draw, PixelsAreTheScreenBlendOfShadedTexels)
{
    setUpView();
    FakeLayer fake;
    fake.scene.origin[0] = 1000.0;
    fake.scene.origin[1] = 2000.0;
    // x 0..256 and y 256..0 (a negative half-extent) once the origin is added.
    CloudRecord c = cloudAt(128.0 - 1000.0, 128.0 - 2000.0, 0.0, 128.0, -128.0, 10.0);
    c.texsize = 8;
    c.layers = 2;
    c.height = 0.8f;
    c.density = 0.9f;
    c.red = 1.0f;
    c.green = 0.75f;
    c.blue = 0.5f;
    c.xslice = 3;
    c.yslice = 3;
    c.zslice = 1;
    bake(c);
    ASSERT_NE(c.hTextures, nullptr);
    fake.layer.clouds = &c;

    int n = 0;
    const Bytes low = readLuminanceTexture(c.hTextures[0].texName, &n);
    const Bytes high = readLuminanceTexture(c.hTextures[1].texName, &n);
    ASSERT_EQ(n, 8);
    bool anyCloud = false;
    for (unsigned char b : low)
        anyCloud = anyCloud || b > 40;
    ASSERT_TRUE(anyCloud) << "the test cloud is too thin to see";

    // Elevation 60: the view direction's z part is sin 60 of its length.
    EXPECT_EQ(layerDrawPass(&fake.host, 0.0, 0.0, 0.0, 0, 60.0, 0.0, 0), 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const double position[3] = {0.0, 0.0, 0.0};
    double v[3];
    hhgl_GetTargetPosition(position, 0.0, 60.0, 1.0, v);
    const double shade = std::fabs(v[2]) / std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    const float base[3] = {c.red * c.density, c.green * c.density, c.blue * c.density};

    const double x0 = 0.0, x1 = 256.0, y0 = 256.0, y1 = 0.0;
    for (int py = 20; py <= 236; py += 24) {
        for (int px = 20; px <= 236; px += 24) {
            const double x = px + 0.5, y = py + 0.5;
            // z planes: s runs along y, t along x.
            const double s = 0.001 + 0.998 * (y - y0) / (y1 - y0);
            const double t = 0.001 + 0.998 * (x - x0) / (x1 - x0);
            RGB want{};
            for (int ch = 0; ch < 3; ++ch) {
                double d = kClearBytes[ch] / 255.0;
                for (const Bytes *tex : {&low, &high}) {
                    const double src = static_cast<float>(base[ch] * shade) * sample(*tex, n, s, t);
                    d = src + d * (1.0 - src);
                }
                want[ch] = static_cast<int>(std::lround(d * 255.0));
            }
            expectNear(pixel(px, py), want, 3,
                       "pixel " + std::to_string(px) + "," + std::to_string(py));
        }
    }
    cloudTexturesFree(c);
}

TEST(Draw, LeavesTheGLStateAsItFoundIt)
{
    setUpView();
    // Baking sets texture state of its own: bake first.
    FakeLayer fake;
    CloudRecord c = cloudAt(128.0, 128.0, 0.0, 64.0, 64.0, 10.0);
    c.texsize = 8;
    c.layers = 2;
    c.xslice = c.yslice = c.zslice = 2;
    bake(c);
    fake.layer.clouds = &c;

    // A state unlike the draw's own in every respect it sets.
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glEnable(GL_CULL_FACE);
    glEnable(GL_FOG);
    glEnable(GL_TEXTURE_1D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LEQUAL);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    const GLState before = glState();
    ASSERT_EQ(before.binding, static_cast<GLint>(texture));
    ASSERT_EQ(before.envMode, GL_REPLACE);
    layerDraw(&fake.host, 0.0, 0.0, 0.0, 0, 45.0, 45.0, 0);
    EXPECT_TRUE(glState() == before) << "after a slice draw";
    layerDrawBoxes(&fake.host, 0.0, 0.0, 0.0, 0, 45.0, 45.0, 0);
    EXPECT_TRUE(glState() == before) << "after a box draw";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    cloudTexturesFree(c);
    glDeleteTextures(1, &texture);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_1D);
    glDepthFunc(GL_LESS);
    glBlendFunc(GL_ONE, GL_ZERO);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

// Boxes only: lines in the cloud's full colour (not scaled by density,
// not blended), nothing inside; the flag lasts one draw. A cloud that has
// no textures still shows its box.
TEST(Draw, BoxesOnlyDrawsOutlinesOnceInFullColour)
{
    setUpView();
    FakeLayer fake;
    fake.scene.origin[2] = 5.0;
    // Edges on pixel centres: x 40.5..200.5, y 60.5..180.5.
    CloudRecord c = cloudAt(120.5, 120.5, -5.0, 80.0, -60.0, 10.0);
    c.texsize = 0;  // not bakeable
    c.density = 0.3f;
    c.red = 1.0f;
    c.green = 0.0f;
    c.blue = 0.2f;
    bake(c);
    ASSERT_EQ(c.hTextures, nullptr);
    fake.layer.clouds = &c;

    EXPECT_EQ(layerDrawBoxes(&fake.host, 0.0, 0.0, 0.0, 0, 90.0, 0.0, 0), 0);
    EXPECT_EQ(fake.layer.boxOnly, 0);
    const RGB full = {255, 0, 51};
    expectNear(pixel(120, 60), full, 1, "bottom edge");
    expectNear(pixel(120, 180), full, 1, "top edge");
    expectNear(pixel(40, 120), full, 1, "left edge");
    expectNear(pixel(200, 120), full, 1, "right edge");
    expectNear(pixel(120, 120), kClearBytes, 0, "inside");
    expectNear(pixel(20, 20), kClearBytes, 0, "outside");

    // The next draw is a slice draw again: this cloud has nothing to show.
    glClear(GL_COLOR_BUFFER_BIT);
    const Bytes cleared = framebuffer();
    EXPECT_EQ(layerDraw(&fake.host, 0.0, 0.0, 0.0, 0, 90.0, 0.0, 0), 1);
    EXPECT_EQ(framebuffer(), cleared);
}

// The first draw of the process switches "delcloud" off, even for an
// invisible layer; an invisible layer draws nothing, asks nothing else and
// keeps a pending box request for its next visible draw.
TEST(Draw, FirstDrawTurnsDelcloudOffOnceAndInvisibleLayersDrawNothing)
{
    setUpView();
    firstDrawPending = 1;  // as when the plug-in has just been loaded
    FakeLayer fake;
    // Box edges on pixel centres: x and y 28.5..228.5.
    CloudRecord c = cloudAt(128.5, 128.5, 0.0, 100.0, 100.0, 10.0);
    c.texsize = 8;
    c.layers = 2;
    c.density = 1.0f;
    c.xslice = c.yslice = c.zslice = 2;
    bake(c);
    fake.layer.clouds = &c;
    fake.layer.visible = 0;
    const Bytes cleared = framebuffer();

    EXPECT_EQ(layerDrawBoxes(&fake.host, 0.0, 0.0, 0.0, 0, 90.0, 0.0, 0), 0);
    EXPECT_EQ(fake.scene.calls, std::vector<std::string>{"sceneActionOff delcloud"});
    EXPECT_EQ(firstDrawPending, 0);
    EXPECT_EQ(fake.layer.boxOnly, 1);
    EXPECT_EQ(layerDraw(&fake.host, 0.0, 0.0, 0.0, 0, 90.0, 0.0, 0), 1);
    EXPECT_EQ(layerDrawPass(&fake.host, 0.0, 0.0, 0.0, 0, 90.0, 0.0, 0), 1);
    EXPECT_EQ(fake.scene.calls, std::vector<std::string>{"sceneActionOff delcloud"});
    EXPECT_EQ(framebuffer(), cleared);

    // Another layer's first draw does not switch it off again.
    FakeLayer other;
    layerDraw(&other.host, 0.0, 0.0, 0.0, 0, 90.0, 0.0, 0);
    EXPECT_EQ(other.scene.calls, std::vector<std::string>{"sceneGetOrigin 0"});

    // Shown again: the pending box request is served, then cleared.
    fake.layer.visible = 1;
    fake.scene.calls.clear();
    EXPECT_EQ(layerDraw(&fake.host, 0.0, 0.0, 0.0, 0, 90.0, 0.0, 0), 1);
    EXPECT_EQ(fake.scene.calls, std::vector<std::string>{"sceneGetOrigin 0"});
    EXPECT_EQ(fake.layer.boxOnly, 0);
    const RGB white = {255, 255, 255};
    expectNear(pixel(128, 28), white, 1, "box edge");
    expectNear(pixel(128, 128), kClearBytes, 0, "box inside");
    cloudTexturesFree(c);
}

// A layer without clouds draws nothing.
TEST(Draw, EmptyLayerDrawsNothing)
{
    setUpView();
    FakeLayer fake;
    const Bytes cleared = framebuffer();
    EXPECT_EQ(layerDraw(&fake.host, 0.0, 0.0, 0.0, 0, 90.0, 0.0, 0), 1);
    EXPECT_EQ(framebuffer(), cleared);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A slice count from a damaged file (two thousand million planes) must not
// stall the frame: the family is drawn with CLOUD_SLICES_MAX planes. The
// quads are counted in feedback mode.
TEST(Draw, HugeSliceCountsAreCapped)
{
    testGL();
    FakeLayer f;
    CloudRecord c = cloudAt(0, 0, 0, 1, 1, 1);
    c.layers = 2;
    c.texsize = 4;
    c.zslice = INT32_MAX;
    c.yslice = -1;
    c.xslice = 0;
    bake(c);
    f.layer.clouds = &c;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2, 2, -2, 2, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    std::vector<GLfloat> buffer(1 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    layerDraw(&f.host, 0, 0, 0, 0, 90.0, 0.0, 0);
    const GLint count = glRenderMode(GL_RENDER);
    ASSERT_GE(count, 0);
    int polygons = 0;
    for (GLint i = 0; i < count;) {
        if (static_cast<GLint>(buffer[i]) == GL_POLYGON_TOKEN) {
            ++polygons;
            i += 2 + 3 * static_cast<GLint>(buffer[i + 1]);
        } else {
            FAIL() << "unexpected feedback token " << buffer[i];
        }
    }
    // Mesa feeds each quad back as two triangles.
    EXPECT_EQ(polygons, 2 * (CLOUD_SLICES_MAX + 1));
    cloudTexturesFree(c);
}
