// Headless GL through EGL. The framebuffer-object entry points are fetched
// with eglGetProcAddress: libGL need not export anything beyond GL 1.x.
#include "headless_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

namespace {

struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
};

template <typename Fn> void load(Fn &fn, const char *name) {
    fn = reinterpret_cast<Fn>(eglGetProcAddress(name));
    if (!fn)
        throw std::runtime_error(std::string("headless GL: no entry point ") + name);
}

const FramebufferCalls &fbo() {
    static FramebufferCalls calls;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        FramebufferCalls c;
        load(c.genFramebuffers, "glGenFramebuffers");
        load(c.deleteFramebuffers, "glDeleteFramebuffers");
        load(c.bindFramebuffer, "glBindFramebuffer");
        load(c.genRenderbuffers, "glGenRenderbuffers");
        load(c.deleteRenderbuffers, "glDeleteRenderbuffers");
        load(c.bindRenderbuffer, "glBindRenderbuffer");
        load(c.renderbufferStorage, "glRenderbufferStorage");
        load(c.framebufferRenderbuffer, "glFramebufferRenderbuffer");
        load(c.checkFramebufferStatus, "glCheckFramebufferStatus");
        calls = c;
    });
    return calls;
}

std::string eglFailure(const char *step) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", unsigned(eglGetError()));
    return std::string("headless GL: ") + step + " failed (EGL error " + code + ")";
}

bool hasExtension(const char *list, const char *name) {
    if (!list)
        return false;
    const size_t length = std::strlen(name);
    for (const char *at = std::strstr(list, name); at; at = std::strstr(at + 1, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    return false;
}

// eglInitialize/eglTerminate are not counted by EGL: the first terminate
// would pull the display from under every other context. Count here.
std::mutex displayLock;
EGLDisplay sharedDisplay = EGL_NO_DISPLAY;
int displayUsers = 0;

EGLDisplay acquireDisplay() {
    std::lock_guard<std::mutex> hold(displayLock);
    if (displayUsers > 0) {
        ++displayUsers;
        return sharedDisplay;
    }
    EGLDisplay display = EGL_NO_DISPLAY;
    const char *clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay && hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless"))
        display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (display == EGL_NO_DISPLAY)
            throw std::runtime_error(eglFailure("opening an EGL display"));
        if (!eglInitialize(display, &major, &minor))
            throw std::runtime_error(eglFailure("eglInitialize"));
    }
    sharedDisplay = display;
    displayUsers = 1;
    return display;
}

void releaseDisplay() {
    std::lock_guard<std::mutex> hold(displayLock);
    if (--displayUsers == 0) {
        eglTerminate(sharedDisplay);
        sharedDisplay = EGL_NO_DISPLAY;
    }
}

EGLContext createContext(EGLDisplay display) {
    if (!eglBindAPI(EGL_OPENGL_API))
        throw std::runtime_error(eglFailure("eglBindAPI(EGL_OPENGL_API)"));
    const char *extensions = eglQueryString(display, EGL_EXTENSIONS);
    if (!hasExtension(extensions, "EGL_KHR_surfaceless_context"))
        throw std::runtime_error("headless GL: the EGL display lacks EGL_KHR_surfaceless_context");

    const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint found = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &found) || found < 1) {
        if (!hasExtension(extensions, "EGL_KHR_no_config_context"))
            throw std::runtime_error(eglFailure("choosing an OpenGL config"));
        config = EGL_NO_CONFIG_KHR;
    }
    const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                    EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, compatibility);
    // EGL before 1.5 without EGL_KHR_create_context knows no profile
    // attribute; its contexts are compatibility ones anyway.
    if (context == EGL_NO_CONTEXT)
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT)
        throw std::runtime_error(eglFailure("creating a compatibility-profile context"));
    return context;
}

} // namespace

HeadlessGL::HeadlessGL(int width, int height) {
    try {
        display_ = acquireDisplay();
        displayHeld_ = true;
        context_ = createContext(display_);
        if (!eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_))
            throw std::runtime_error(eglFailure("eglMakeCurrent"));
        const FramebufferCalls &gl = fbo();
        gl.genFramebuffers(1, &framebuffer_);
        gl.genRenderbuffers(1, &colour_);
        gl.genRenderbuffers(1, &depth_);
        gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        allocateStorage(width, height);
        gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
        GLenum status = gl.checkFramebufferStatus(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%04X", unsigned(status));
            throw std::runtime_error(std::string("headless GL: framebuffer incomplete (") + code +
                                     ")");
        }
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
    } catch (...) {
        release();
        throw;
    }
}

HeadlessGL::~HeadlessGL() { release(); }

void HeadlessGL::release() {
    if (context_) {
        if (eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
            const FramebufferCalls &gl = fbo();
            gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
            if (framebuffer_)
                gl.deleteFramebuffers(1, &framebuffer_);
            GLuint buffers[2] = {colour_, depth_};
            gl.deleteRenderbuffers(2, buffers);
        }
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display_, context_);
        context_ = nullptr;
    }
    framebuffer_ = colour_ = depth_ = 0;
    if (displayHeld_) {
        releaseDisplay();
        displayHeld_ = false;
    }
    display_ = nullptr;
}

void HeadlessGL::allocateStorage(int width, int height) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    if (width < 1 || height < 1 || width > largest || height > largest)
        throw std::runtime_error("headless GL: framebuffer size " + std::to_string(width) + "x" +
                                 std::to_string(height) + " outside 1.." +
                                 std::to_string(largest));
    const FramebufferCalls &gl = fbo();
    gl.bindRenderbuffer(GL_RENDERBUFFER, colour_);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, depth_);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, 0);
    if (glGetError() == GL_OUT_OF_MEMORY)
        throw std::runtime_error("headless GL: out of memory for a " + std::to_string(width) +
                                 "x" + std::to_string(height) + " framebuffer");
    width_ = width;
    height_ = height;
    glViewport(0, 0, width, height);
}

void HeadlessGL::resize(int width, int height) {
    makeCurrent();
    allocateStorage(width, height);
}

void HeadlessGL::makeCurrent() {
    if (!eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_))
        throw std::runtime_error(eglFailure("eglMakeCurrent"));
    fbo().bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
}

namespace {

// Reads from this framebuffer, then binds back whatever was bound for reading.
template <typename Read> auto readingFrom(GLuint framebuffer, Read read) {
    GLint previous = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    fbo().bindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    auto result = read();
    fbo().bindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(previous));
    return result;
}

} // namespace

std::vector<uint8_t> HeadlessGL::readRGBA() {
    return readingFrom(framebuffer_, [this] { return readBoundRGBA(width_, height_); });
}

std::vector<float> HeadlessGL::readDepth() {
    return readingFrom(framebuffer_, [this] { return readBoundDepth(width_, height_); });
}

std::vector<uint8_t> readLuminanceTexture(unsigned name, int *width, int *height)
{
    glBindTexture(GL_TEXTURE_2D, name);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    std::vector<uint8_t> out(static_cast<size_t>(w) * static_cast<size_t>(h));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!out.empty())
        glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, out.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    if (width)
        *width = w;
    if (height)
        *height = h;
    return out;
}
