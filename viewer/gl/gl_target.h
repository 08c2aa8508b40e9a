// gl_target.h — where the viewer draws: a GL context with a framebuffer of
// a size, made current on demand and read back. The headless context and
// the window's scene view are the two kinds; the viewer draws the same way
// into either.
#ifndef CLOUDS_VIEWER_GL_GL_TARGET_H
#define CLOUDS_VIEWER_GL_GL_TARGET_H

#include <cstdint>
#include <vector>

class GLTarget {
public:
    virtual ~GLTarget() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    // New framebuffer size (contents undefined), viewport covering it.
    // Throws std::runtime_error for a size GL cannot hold.
    virtual void resize(int width, int height) = 0;
    // Makes the context current on the calling thread with this target's
    // framebuffer bound for drawing and reading.
    virtual void makeCurrent() = 0;
    // The colour buffer, width × height × 4 bytes, row 0 the top of the
    // image. Needs the context current.
    virtual std::vector<uint8_t> readRGBA() = 0;
    // The depth buffer as window depths in 0..1, GL's row order (bottom
    // row first).
    virtual std::vector<float> readDepth() = 0;
};

// Reads width × height pixels from the bound read framebuffer, whatever
// pixel-store state the caller left: RGBA with row 0 the top, and depth in
// GL's row order.
std::vector<uint8_t> readBoundRGBA(int width, int height);
std::vector<float> readBoundDepth(int width, int height);

#endif
