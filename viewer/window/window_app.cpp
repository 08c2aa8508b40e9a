#include "window_app.h"

#include <GL/gl.h>
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

#include <cstdio>

#include "canvas_textures.h"
#include "dialogs.h"
#include "hvislib.h"
#include "hvislib/questions.h"
#include "image_io.h"
#include "panels.h"
#include "scene_view.h"
#include "selection_handles.h"
#include "view_target.h"
#include "window_state.h"

namespace cloudview::window {

namespace {

std::string glfwProblem;

void rememberGlfwError(int, const char *description) { glfwProblem = description; }

} // namespace

struct WindowApp::Parts {
    explicit Parts(std::unique_ptr<Viewer> v, ViewTarget *t)
        : viewer(std::move(v)), target(t), state(*viewer), view(state, *target),
          handles(state, view)
    {
        view.setOverlay(&handles);
    }
    std::unique_ptr<Viewer> viewer;
    ViewTarget *target; // owned by the viewer
    WindowState state;
    SceneView view;
    SelectionHandles handles;
    CanvasTextures textures;
    Question *question = nullptr;
    bool scripted = false;
};

WindowApp::WindowApp(const WindowOptions &options) : options_(options)
{
    glfwSetErrorCallback(rememberGlfwError);
    if (!glfwInit())
        throw NoDisplay("no display to open a window on (" +
                        (glfwProblem.empty() ? std::string("GLFW could not start") : glfwProblem) +
                        "); cloudview render SCENE -o OUT.png draws without one, or run the "
                        "window under a virtual display: xvfb-run -a cloudview open ...");
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 2);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
    window_ = glfwCreateWindow(options.width, options.height, "Clouds - cloudview", nullptr,
                               nullptr);
    if (!window_) {
        const std::string why = glfwProblem;
        glfwTerminate();
        throw NoDisplay("cannot open a window with an OpenGL 2.1 context (" + why +
                        "); cloudview render SCENE -o OUT.png draws without one");
    }
    glfwMakeContextCurrent(window_);
    glfwSwapInterval(0);
    glfwSetWindowUserPointer(window_, this);
    // Input callbacks set before ImGui's back end starts, which then calls
    // them from its own. Keys: quick taps that ImGui's per-frame key state
    // misses; presses: where they happened (scene_view.h).
    glfwSetKeyCallback(window_, [](GLFWwindow *w, int key, int, int action, int mods) {
        auto *app = static_cast<WindowApp *>(glfwGetWindowUserPointer(w));
        if (action == GLFW_PRESS && app->parts_)
            app->parts_->state.keysPressed.emplace_back(key, mods);
    });
    glfwSetCursorPosCallback(window_, [](GLFWwindow *w, double x, double y) {
        auto *app = static_cast<WindowApp *>(glfwGetWindowUserPointer(w));
        if (app->parts_)
            app->parts_->view.pointerMoved(x, y);
    });
    glfwSetMouseButtonCallback(window_, [](GLFWwindow *w, int button, int action, int) {
        auto *app = static_cast<WindowApp *>(glfwGetWindowUserPointer(w));
        if (app->parts_ && action == GLFW_PRESS)
            app->parts_->view.buttonPressed(button);
    });

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr; // the same layout on every start
    ImGui::StyleColorsDark();
    ImGui_ImplGlfw_InitForOpenGL(window_, true);
    ImGui_ImplOpenGL2_Init();

    try {
        auto target = std::make_unique<ViewTarget>(window_);
        ViewTarget *raw = target.get();
        auto viewer = std::make_unique<Viewer>(
            options.plugin.empty() ? defaultPluginPath() : options.plugin, std::move(target));
        parts_ = std::make_unique<Parts>(std::move(viewer), raw);
    } catch (const std::runtime_error &e) {
        ImGui_ImplOpenGL2_Shutdown();
        ImGui_ImplGlfw_Shutdown();
        ImGui::DestroyContext();
        glfwDestroyWindow(window_);
        glfwTerminate();
        throw ViewerError(e.what());
    }
    parts_->viewer->setPresenter(this);
    // Tiles of a large ground arrive from their own thread: each wakes the
    // idle window to draw it.
    parts_->viewer->setStreamingGround([] { glfwPostEmptyEvent(); });
    // Building a large model's overviews takes a while: the status bar
    // counts it, over the picture as it was.
    parts_->viewer->setGroundProgress([this](const std::string &file, double done) {
        parts_->state.status = done < 1.0 ? file + ": building overviews, " + std::to_string(int(done * 100.0)) + "%"
                                          : file + ": overviews built";
        nestedFrame();
    });
    // A layer type's busy spell (a bake) runs inside one of its calls: show
    // it with a frame of the panels over the picture as it was.
    parts_->viewer->scene().setBusyListener([this](bool busy) {
        if (busy)
            nestedFrame();
    });
    parts_->scripted = !options.script.empty();
    host::setResponder([this](const std::string &q, const std::string &no,
                              const std::string &yes) { return ask(q, no, yes); });
    host::setErrorListener([this](const std::string &m) { parts_->state.report(m); });
    parts_->state.choose = [this](const std::string &q, const std::vector<std::string> &answers) {
        // A script's queued answers come first, as for the layers' questions.
        if (host::pendingAnswers() > 0)
            return hvis_QueryYesNo(q.c_str(), answers.back().c_str(), answers.front().c_str())
                       ? size_t(0)
                       : answers.size() - 1;
        return choose(q, answers);
    };
    glfwSetDropCallback(window_, [](GLFWwindow *w, int count, const char **paths) {
        auto *app = static_cast<WindowApp *>(glfwGetWindowUserPointer(w));
        for (int i = 0; i < count; ++i) {
            const std::string path = paths[i];
            WindowState &state = app->parts_->state;
            state.work.post([&state, path] { openPath(state, path); });
        }
    });
}

WindowApp::~WindowApp()
{
    host::setResponder({});
    host::setErrorListener({});
    parts_->viewer->scene().setBusyListener({});
    glfwMakeContextCurrent(window_);
    // Layers go first, while their textures' context lives.
    parts_.reset();
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    glfwDestroyWindow(window_);
    glfwTerminate();
}

Viewer &WindowApp::viewer() { return *parts_->viewer; }
SceneView &WindowApp::sceneView() { return parts_->view; }
WindowState &WindowApp::state() { return parts_->state; }

void WindowApp::open(const std::vector<std::string> &inputs)
{
    Viewer &viewer = *parts_->viewer;
    if (options_.terrainMemory != 0)
        viewer.setTerrainMemory(options_.terrainMemory);
    if (!options_.terrain.empty()) {
        ::terrain::TerrainSettings settings;
        settings.model = options_.terrain;
        settings.drape = options_.drape;
        viewer.openTerrainOverride(settings);
    }
    for (const std::string &input : inputs) {
        if (isLayerFile(input, viewer.layerType()))
            viewer.openLayerFile(input);
        else
            viewer.runScript(input, ScriptMode::SceneOnly);
    }
    viewer.syncLayers();
    const std::vector<HLayer *> layers = viewer.scene().layers();
    if (!layers.empty())
        parts_->state.selected = layers.back();
    ++parts_->state.changes;
}

void WindowApp::nestedFrame()
{
    // The layers are in the middle of a call: show the picture as it was.
    const bool held = parts_->view.held();
    ++nestedDepth_;
    parts_->view.setHeld(true);
    frame();
    parts_->view.setHeld(held);
    --nestedDepth_;
}

bool WindowApp::ask(const std::string &text, const std::string &no, const std::string &yes)
{
    return choose(text, {yes, no}) == 0;
}

size_t WindowApp::choose(const std::string &text, const std::vector<std::string> &answers)
{
    Question q{text, answers};
    Question *outer = parts_->question;
    parts_->question = &q;
    // A script's questions are answered by its ANSWER statements; one it
    // did not answer is shown for a moment and takes the headless default.
    while (!q.answered) {
        nestedFrame();
        if (parts_->scripted && q.framesShown >= 2) {
            std::fprintf(stderr, "cloudview: %s: no ANSWER for \"%s\"; answered \"%s\"\n",
                         options_.script.c_str(), text.c_str(), answers.back().c_str());
            q.answered = true;
            q.answer = answers.size() - 1;
        }
    }
    parts_->question = outer;
    return q.answer;
}

void WindowApp::buildFrame()
{
    Parts &p = *parts_;
    WindowState &state = p.state;
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();

    const float menuHeight = drawMainMenu(state);
    const ImGuiViewport *screen = ImGui::GetMainViewport();
    const float statusHeight = ImGui::GetFrameHeight();
    p.view.setRect(0.0f, menuHeight, screen->Size.x,
                   std::max(1.0f, screen->Size.y - menuHeight - statusHeight));
    if (nestedDepth_ == 0) {
        p.view.handleInput();
        runActionKeys(state);
        if (!ImGui::GetIO().WantCaptureKeyboard && state.pressed(GLFW_KEY_F)) {
            p.viewer->frameContent();
            p.view.cameraMoved();
        }
    }
    p.view.update();

    drawStacker(state, p.textures);
    drawFrames(state, p.textures);
    drawMessages(state);
    drawWeather(state);
    drawFileBrowser(state);

    drawStatusBar(state, p.view);
    if (p.question)
        drawQuestion(state, *p.question);
}

void WindowApp::frame()
{
    Parts &p = *parts_;
    WindowState &state = p.state;
    // Idle, wait for input instead of drawing the same picture again; but
    // not on the frames right after something happened, since ImGui lays
    // out a new window or a hover over two frames.
    const bool idle = options_.waitWhenIdle && !p.scripted && nestedDepth_ == 0 &&
                      state.work.empty() && !p.view.moving() && state.screenshotFile.empty() &&
                      quietFrames_ >= 2 && !groundPending();
    if (idle)
        glfwWaitEventsTimeout(0.25);
    else
        glfwPollEvents();
    if (glfwWindowShouldClose(window_)) {
        // A question waits for its answer before the window may go.
        glfwSetWindowShouldClose(window_, GLFW_FALSE);
        if (nestedDepth_ == 0)
            state.quitRequested = true;
    }
    // ImGui 1.86 sees a key only when it is down as a frame starts: a tap
    // that began and ended since the last frame (the Enter that confirms a
    // field, typed quickly) is shown to it as held for this one frame.
    ImGuiIO &keys = ImGui::GetIO();
    for (const auto &[key, mods] : state.keysPressed)
        if (key >= 0 && key < IM_ARRAYSIZE(keys.KeysDown))
            keys.KeysDown[key] = true;
    buildFrame();
    ImGui::Render();
    for (const auto &[key, mods] : state.keysPressed)
        if (key >= 0 && key < IM_ARRAYSIZE(keys.KeysDown))
            keys.KeysDown[key] = glfwGetKey(window_, key) == GLFW_PRESS;

    int fw = 0, fh = 0;
    glfwGetFramebufferSize(window_, &fw, &fh);
    p.target->release();
    glViewport(0, 0, fw, fh);
    glClearColor(0.1f, 0.1f, 0.12f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    if (!state.screenshotFile.empty()) {
        const std::string file = state.screenshotFile;
        state.screenshotFile.clear();
        glReadBuffer(GL_BACK);
        const std::string problem = writePNG(file, readBoundRGBA(fw, fh), fw, fh);
        if (!problem.empty())
            state.report(file + ": " + problem);
        else
            state.status = "wrote " + file;
    }
    glfwSwapBuffers(window_);
    p.textures.endFrame();
    const ImGuiIO &io = ImGui::GetIO();
    bool active = !state.keysPressed.empty() || io.MousePos.x != lastMouse_[0] ||
                  io.MousePos.y != lastMouse_[1] || ImGui::IsAnyMouseDown() ||
                  io.MouseWheel != 0.0f || state.changes != lastChanges_;
    lastMouse_[0] = io.MousePos.x;
    lastMouse_[1] = io.MousePos.y;
    state.keysPressed.clear();
    // What a person asked for that failed is told in the messages panel;
    // the window goes on.
    if (nestedDepth_ == 0 &&
        state.work.runAll([&state](const std::string &what) { state.report(what); },
                          [&state](const std::string &name) {
                              state.viewer.syncLayers();
                              state.viewer.noteChanges(name);
                          }) > 0) {
        ++state.changes;
        active = true;
    }
    if (nestedDepth_ == 0)
        showTitle();
    lastChanges_ = state.changes;
    quietFrames_ = active ? 0 : quietFrames_ + 1;
}

bool WindowApp::groundPending() const
{
    const host::Ground *ground = parts_->viewer->scene().ground();
    return ground && ground->pending();
}

void WindowApp::showTitle()
{
    const std::string title =
        std::string("Clouds - cloudview") + (parts_->viewer->anyChanged() ? " *" : "");
    if (title != title_)
        glfwSetWindowTitle(window_, title.c_str());
    title_ = title;
}

void WindowApp::statementDone()
{
    // Two frames: ImGui sizes a window that appeared on the frame after.
    ++parts_->state.changes;
    for (int i = 0; i < 3; ++i)
        frame();
}

void WindowApp::screenshot(const std::string &pngFile)
{
    requirePngName(pngFile);
    WindowState &state = parts_->state;
    const size_t reported = state.messages.size();
    // A script's picture is the whole ground at its full quality, as a
    // render's is: the tiles still coming in first.
    while (groundPending())
        frame();
    state.screenshotFile = pngFile;
    frame();
    if (state.messages.size() != reported && !state.messages.empty())
        throw ViewerError(state.messages.back());
}

void WindowApp::quit()
{
    parts_->state.selected = nullptr;
    parts_->viewer->closeAllLayers();
}

int WindowApp::run()
{
    Viewer &viewer = *parts_->viewer;
    int code = 0;
    try {
        open(options_.inputs);
        for (int i = 0; i < 3; ++i)
            frame();
        if (parts_->scripted) {
            const ScriptOutcome outcome = viewer.runScript(options_.script);
            std::printf("ran %s in the window: %zu statement%s\n", options_.script.c_str(),
                        outcome.carriedOut, outcome.carriedOut == 1 ? "" : "s");
        } else {
            // Quitting with unsaved changes asks once first; the layers
            // then ask their own questions as they close.
            while (true) {
                frame();
                if (!parts_->state.quitRequested)
                    continue;
                parts_->state.quitRequested = false;
                if (confirmDiscard(parts_->state, "Quit"))
                    break;
            }
        }
    } catch (const ViewerError &e) {
        std::fprintf(stderr, "cloudview: %s\n", e.what());
        code = 2;
    }
    quit();
    return code;
}

} // namespace cloudview::window
