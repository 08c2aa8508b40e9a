// view_target.h — the scene view's framebuffer in the window's GL context:
// a colour texture (which the window then shows, scaled to the view) and a
// depth buffer. Shrinking keeps the storage and draws into its lower-left
// corner, so that the reduced resolution used while the camera moves does
// not reallocate on every frame.
#ifndef CLOUDS_VIEWER_WINDOW_VIEW_TARGET_H
#define CLOUDS_VIEWER_WINDOW_VIEW_TARGET_H

#include "gl_target.h"

struct GLFWwindow;

namespace cloudview::window {

class ViewTarget final : public GLTarget {
public:
    // Needs the window's context current. Throws std::runtime_error when
    // GL cannot make the framebuffer.
    explicit ViewTarget(GLFWwindow *window);
    ~ViewTarget() override;
    ViewTarget(const ViewTarget &) = delete;
    ViewTarget &operator=(const ViewTarget &) = delete;

    int width() const override { return width_; }
    int height() const override { return height_; }
    void resize(int width, int height) override;
    void makeCurrent() override;
    std::vector<uint8_t> readRGBA() override;
    std::vector<float> readDepth() override;

    // The colour texture and the part of it the last drawing used, as
    // texture coordinates of its top-left and bottom-right corners.
    unsigned texture() const { return colour_; }
    void drawnRegion(float topLeft[2], float bottomRight[2]) const;
    // Back to the window's own framebuffer, for drawing the panels.
    void release();

private:
    void allocate(int width, int height);
    void destroy();

    GLFWwindow *window_;
    unsigned framebuffer_ = 0, colour_ = 0, depth_ = 0;
    int width_ = 0, height_ = 0;            // the size in use
    int capacityW_ = 0, capacityH_ = 0;     // the storage
};

} // namespace cloudview::window

#endif
