// Headless GL and the host's GL helpers. The context must be one in which
// the plug-in's fixed-function GL 1.1 drawing works and reads back the right
// way up.
#include "support/gl_env.h"
#include "tolalib.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

namespace {

using Pixel = std::array<int, 4>;

Pixel pixelAt(const std::vector<uint8_t> &rgba, int width, int x, int y) {
    const uint8_t *p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
    return {p[0], p[1], p[2], p[3]};
}

TEST(HeadlessGL, ClearReadsBackDespiteCallersPixelStore) {
    HeadlessGL &gl = testGL();
    glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPixelStorei(GL_PACK_SKIP_ROWS, 3); // must neither shift the rows nor be lost
    const std::vector<uint8_t> rgba = gl.readRGBA();
    GLint skip = -1;
    glGetIntegerv(GL_PACK_SKIP_ROWS, &skip);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    EXPECT_EQ(skip, 3);
    ASSERT_EQ(rgba.size(), size_t(kTestGLWidth) * kTestGLHeight * 4);
    for (auto [x, y] : {std::pair{0, 0}, {kTestGLWidth - 1, kTestGLHeight - 1}}) {
        const Pixel p = pixelAt(rgba, gl.width(), x, y);
        EXPECT_EQ(p[0], 255);
        EXPECT_NEAR(p[1], 128, 1);
        EXPECT_EQ(p[2], 0);
        EXPECT_EQ(p[3], 255);
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(HeadlessGL, CompatibilityProfileDrawsImmediateModeTopRowFirst) {
    HeadlessGL &gl = testGL();
    const char *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    ASSERT_NE(renderer, nullptr);
    EXPECT_NE(std::string(renderer), "");
    GLint mask = 0;
    glGetIntegerv(0x9126 /* GL_CONTEXT_PROFILE_MASK */, &mask);
    glGetError(); // contexts before 3.2 know no profile mask: all compatibility
    EXPECT_EQ(mask & 0x1 /* core */, 0) << renderer;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0, 1, 0);
    glBegin(GL_QUADS); // the top half: y from 0 up to 1 with identity matrices
    glVertex2f(-1, 0);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    glPopAttrib();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    const std::vector<uint8_t> rgba = gl.readRGBA();
    const int middle = gl.height() / 2;
    EXPECT_EQ(pixelAt(rgba, gl.width(), 10, 0), (Pixel{0, 255, 0, 255})) << "top row";
    EXPECT_EQ(pixelAt(rgba, gl.width(), 200, middle - 1), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(pixelAt(rgba, gl.width(), 200, middle), (Pixel{0, 0, 0, 255}));
}

TEST(HeadlessGL, ResizeChangesTheFramebuffer) {
    HeadlessGL &gl = testGL();
    gl.resize(64, 32);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<uint8_t> rgba = gl.readRGBA();
    gl.resize(kTestGLWidth, kTestGLHeight);
    EXPECT_EQ(viewport[2], 64);
    EXPECT_EQ(viewport[3], 32);
    ASSERT_EQ(rgba.size(), 64u * 32u * 4u);
    EXPECT_EQ(pixelAt(rgba, 64, 63, 31), (Pixel{255, 255, 255, 255}));
    EXPECT_THROW(gl.resize(0, 10), std::runtime_error);
    EXPECT_EQ(gl.width(), kTestGLWidth);
}

TEST(HeadlessGL, SecondContextComesAndGoesWithoutHarm) {
    {
        HeadlessGL other(16, 16);
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_EQ(pixelAt(other.readRGBA(), 16, 5, 5), (Pixel{255, 0, 0, 255}));
    }
    EXPECT_THROW(HeadlessGL(-1, 16), std::runtime_error);
    // The shared display must outlive the contexts that are gone.
    HeadlessGL &gl = testGL();
    glClearColor(0, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(pixelAt(gl.readRGBA(), gl.width(), 1, 1), (Pixel{0, 255, 255, 255}));
}

TEST(GLHelpers, BindTextureEXT) {
    testGL();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    hhgl_BindTextureEXT(GL_TEXTURE_2D, texture);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), texture);
    hhgl_BindTextureEXT(GL_TEXTURE_2D, 0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    glDeleteTextures(1, &texture);
}

TEST(GLHelpers, TargetDirectionConventions) {
    const struct {
        double f, e, x, y, z;
    } cases[] = {
        {0, 90, 0, 0, -50},  // from overhead, straight down
        {0, 0, 0, -50, 0},   // eye north of the target, looking south
        {90, 0, -50, 0, 0},  // azimuth turns clockwise: eye east, looking west
        {180, 0, 0, 50, 0},  // eye south, looking north
        {45, 45, -25, -25, -50 * std::sqrt(0.5)},
    };
    for (const auto &c : cases) {
        double position[3] = {1000.0, -2000.0, 300.0};
        hhgl_GetTargetPosition(position, c.f, c.e, 50.0, position); // in place
        EXPECT_NEAR(position[0], c.x, 1e-9) << "f " << c.f << " e " << c.e;
        EXPECT_NEAR(position[1], c.y, 1e-9) << "f " << c.f << " e " << c.e;
        EXPECT_NEAR(position[2], c.z, 1e-9) << "f " << c.f << " e " << c.e;
    }
}

} // namespace
