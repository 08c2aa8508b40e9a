// window_app.h — `cloudview open`: the viewer as a desktop program. A GLFW
// window with an OpenGL 2.1 compatibility context, Dear ImGui panels over
// the scene view, and the viewer drawing the scene into the view's own
// framebuffer. It runs the layer type's frames, menus, questions and
// pointer events as the host would, and knows nothing of any layer type.
#ifndef CLOUDS_VIEWER_WINDOW_WINDOW_APP_H
#define CLOUDS_VIEWER_WINDOW_WINDOW_APP_H

#include <memory>
#include <string>
#include <vector>

#include "viewer.h"

struct GLFWwindow;

namespace cloudview::window {

struct WindowOptions {
    std::string plugin;               // the layer plug-in
    std::vector<std::string> inputs;  // scene scripts and layer files to open
    std::string script;               // statements to run in the window, then quit
    std::string terrain, drape;       // the ground the command line names ("" none)
    size_t terrainMemory = 0;         // its memory budget, MiB (0: as the scene says)
    int width = 1280, height = 800;   // the window's size
    // Idle, wait for input rather than draw (off for measuring frames).
    bool waitWhenIdle = true;
};

// No display to open a window on: cloudview exits 2 with this message.
struct NoDisplay : ViewerError {
    using ViewerError::ViewerError;
};

class WindowApp final : public ScriptPresenter {
public:
    // Opens the window and loads the plug-in. Throws NoDisplay without a
    // display, ViewerError for anything else that stops it.
    explicit WindowApp(const WindowOptions &options);
    ~WindowApp() override;
    WindowApp(const WindowApp &) = delete;
    WindowApp &operator=(const WindowApp &) = delete;

    // Opens the inputs, then runs the script or lets the person work until
    // they quit; closes every layer (each asking its own question) and
    // returns the exit code.
    int run();

    // One frame: events, panels, the scene, the swap, then posted work.
    void frame();
    Viewer &viewer();
    class SceneView &sceneView();
    struct WindowState &state();
    // Opens scene scripts (their scene statements) and layer files; the
    // topmost layer becomes the stacker's selection. Throws ViewerError.
    void open(const std::vector<std::string> &inputs);

    // ScriptPresenter: each statement's changes are drawn before the next.
    void statementDone() override;
    void screenshot(const std::string &pngFile) override;

private:
    struct Parts;
    bool ask(const std::string &question, const std::string &no, const std::string &yes);
    size_t choose(const std::string &question, const std::vector<std::string> &answers);
    // The title with the changed mark: "Clouds - cloudview *".
    void showTitle();
    void buildFrame();
    // A frame drawn while a layer type's call is under way (its question,
    // its busy spell): no input is acted on, no posted work runs.
    void nestedFrame();
    void quit();

    WindowOptions options_;
    GLFWwindow *window_ = nullptr;
    std::unique_ptr<Parts> parts_;
    int nestedDepth_ = 0;
    bool groundPending() const;
    int quietFrames_ = 0;           // frames in a row where nothing happened
    float lastMouse_[2] = {0, 0};
    unsigned long lastChanges_ = 0;
    std::string title_;
};

} // namespace cloudview::window

#endif
