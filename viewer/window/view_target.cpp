#define GL_GLEXT_PROTOTYPES 1
#include "view_target.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GLFW/glfw3.h>

#include <stdexcept>
#include <string>

namespace cloudview::window {

ViewTarget::ViewTarget(GLFWwindow *window) : window_(window)
{
    glfwMakeContextCurrent(window_);
    glGenFramebuffers(1, &framebuffer_);
    glGenTextures(1, &colour_);
    glGenRenderbuffers(1, &depth_);
    try {
        allocate(64, 64);
    } catch (...) {
        destroy();
        throw;
    }
}

ViewTarget::~ViewTarget() { destroy(); }

void ViewTarget::destroy()
{
    if (!framebuffer_)
        return;
    glfwMakeContextCurrent(window_);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteTextures(1, &colour_);
    glDeleteRenderbuffers(1, &depth_);
    framebuffer_ = colour_ = depth_ = 0;
}

void ViewTarget::allocate(int width, int height)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    if (width < 1 || height < 1 || width > largest || height > largest)
        throw std::runtime_error("scene view: framebuffer size " + std::to_string(width) + "x" +
                                 std::to_string(height) + " outside 1.." +
                                 std::to_string(largest));
    glBindTexture(GL_TEXTURE_2D, colour_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (glGetError() == GL_OUT_OF_MEMORY || status != GL_FRAMEBUFFER_COMPLETE)
        throw std::runtime_error("scene view: cannot make a " + std::to_string(width) + "x" +
                                 std::to_string(height) + " framebuffer");
    capacityW_ = width_ = width;
    capacityH_ = height_ = height;
    glViewport(0, 0, width, height);
}

void ViewTarget::resize(int width, int height)
{
    makeCurrent();
    if (width > capacityW_ || height > capacityH_)
        allocate(std::max(width, capacityW_), std::max(height, capacityH_));
    width_ = width;
    height_ = height;
    glViewport(0, 0, width, height);
}

void ViewTarget::makeCurrent()
{
    if (glfwGetCurrentContext() != window_)
        glfwMakeContextCurrent(window_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
}

void ViewTarget::release()
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

namespace {

// Reads from this framebuffer, then binds back whatever was bound for reading.
template <typename Read> auto readingFrom(GLuint framebuffer, Read read)
{
    GLint previous = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    auto result = read();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(previous));
    return result;
}

} // namespace

std::vector<uint8_t> ViewTarget::readRGBA()
{
    return readingFrom(framebuffer_, [this] { return readBoundRGBA(width_, height_); });
}

std::vector<float> ViewTarget::readDepth()
{
    return readingFrom(framebuffer_, [this] { return readBoundDepth(width_, height_); });
}

void ViewTarget::drawnRegion(float topLeft[2], float bottomRight[2]) const
{
    // GL's rows start at the bottom: the top of the picture is at v = h / H.
    topLeft[0] = 0.0f;
    topLeft[1] = static_cast<float>(height_) / static_cast<float>(capacityH_);
    bottomRight[0] = static_cast<float>(width_) / static_cast<float>(capacityW_);
    bottomRight[1] = 0.0f;
}

} // namespace cloudview::window
