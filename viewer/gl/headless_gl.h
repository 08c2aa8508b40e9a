// headless_gl.h — an OpenGL context without a window, for tests and for
// cloudview's headless rendering.
//
// Mesa's surfaceless EGL platform (llvmpipe: no GPU, no display server)
// with a compatibility-profile context, since the plug-in draws with GL 1.1
// fixed-function calls (glBegin, glPushAttrib, GL_LUMINANCE textures).
// Surfaceless means no default framebuffer: drawing goes to a framebuffer
// object of RGBA8 colour and 24-bit depth, bound for drawing and reading.
//
// One instance owns one context; the display is shared by all instances
// and terminated with the last one. Not copyable, not movable.
#ifndef CLOUDS_VIEWER_GL_HEADLESS_GL_H
#define CLOUDS_VIEWER_GL_HEADLESS_GL_H

#include <cstdint>
#include <vector>

#include "gl_target.h"

class HeadlessGL final : public GLTarget {
public:
    // Creates the context, makes it current and binds a width × height
    // framebuffer with the viewport covering it. Throws std::runtime_error
    // naming the step that failed.
    HeadlessGL(int width, int height);
    ~HeadlessGL();
    HeadlessGL(const HeadlessGL &) = delete;
    HeadlessGL &operator=(const HeadlessGL &) = delete;

    int width() const override { return width_; }
    int height() const override { return height_; }
    // The framebuffer object, for code that binds others and comes back.
    unsigned framebuffer() const { return framebuffer_; }

    // New framebuffer size (contents undefined), viewport reset to cover it.
    // Throws std::runtime_error for a size GL cannot hold.
    void resize(int width, int height) override;
    // Makes this context current on the calling thread and binds its
    // framebuffer. Throws std::runtime_error on failure.
    void makeCurrent() override;
    // This framebuffer's colour buffer (whatever framebuffer is bound),
    // width × height × 4 bytes, row 0 the top of the image. Needs this
    // context current.
    std::vector<uint8_t> readRGBA() override;
    // The depth buffer as window depths in 0..1, GL's row order (bottom
    // row first).
    std::vector<float> readDepth() override;

private:
    void allocateStorage(int width, int height);
    void release();

    void *display_ = nullptr; // EGLDisplay
    void *context_ = nullptr; // EGLContext
    unsigned framebuffer_ = 0, colour_ = 0, depth_ = 0;
    int width_ = 0, height_ = 0;
    bool displayHeld_ = false;
};

// The level-0 image of a 2D luminance texture of the current context,
// width × height bytes, row 0 first; its size in width and height when
// given. Leaves no texture bound.
std::vector<uint8_t> readLuminanceTexture(unsigned name, int *width = nullptr,
                                          int *height = nullptr);

#endif
