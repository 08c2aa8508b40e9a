#include "gl_target.h"

#include <GL/gl.h>

#include <cstring>

namespace {

// Pack state that would shift or swap the rows read back.
void packPlainly()
{
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_PACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_PACK_LSB_FIRST, GL_FALSE);
}

} // namespace

std::vector<uint8_t> readBoundRGBA(int width, int height)
{
    const size_t row = size_t(width) * 4;
    std::vector<uint8_t> pixels(row * size_t(height));
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    packPlainly();
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPopClientAttrib();
    // GL's row 0 is the bottom one.
    std::vector<uint8_t> line(row);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t *a = pixels.data() + size_t(top) * row, *b = pixels.data() + size_t(bottom) * row;
        std::memcpy(line.data(), a, row);
        std::memcpy(a, b, row);
        std::memcpy(b, line.data(), row);
    }
    return pixels;
}

std::vector<float> readBoundDepth(int width, int height)
{
    std::vector<float> depth(size_t(width) * size_t(height));
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    packPlainly();
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    glPopClientAttrib();
    return depth;
}
