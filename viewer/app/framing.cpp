#include "framing.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
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

namespace {

// One feedback pass with everything within ±scale kept from clipping: the
// projection divides by scale and a 2 × 2 viewport maps clip space to
// window coordinates 0..2 (depth 0..1), which are mapped back.
Bounds feedbackPass(const std::function<void()> &draw, double scale)
{
    std::vector<GLfloat> buffer(1 << 18);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glScaled(1.0 / scale, 1.0 / scale, 1.0 / scale);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, 2, 2);

    GLint count = -1;
    while (true) {
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
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

    Bounds bounds;
    auto vertex = [&](GLint at) {
        const double p[3] = {(buffer[at] - 1.0) * scale, (buffer[at + 1] - 1.0) * scale,
                             (2.0 * buffer[at + 2] - 1.0) * scale};
        bounds.add(p);
    };
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
            vertices = static_cast<int>(buffer[i++]);
            break;
        case GL_PASS_THROUGH_TOKEN:
            ++i;
            continue;
        default:
            return bounds;  // not a token: stop rather than misread
        }
        for (int v = 0; v < vertices && i + 3 <= count; ++v, i += 3)
            vertex(i);
    }
    return bounds;
}

}  // namespace

Bounds drawnBounds(const std::function<void()> &draw)
{
    // A coarse pass to find the magnitude, then a fine one sized to it.
    Bounds coarse = feedbackPass(draw, 1e9);
    if (coarse.empty)
        return coarse;
    double extent = 1.0;
    for (int k = 0; k < 3; ++k)
        extent = std::max({extent, std::fabs(coarse.lo[k]), std::fabs(coarse.hi[k])});
    return feedbackPass(draw, extent * 1.5);
}

}  // namespace cloudview
