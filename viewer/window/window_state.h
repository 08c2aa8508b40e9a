// window_state.h — what the window's panels share: the viewer, the work
// they ask for, the stacker's selection and the messages shown.
//
// Panels build their ImGui widgets while a frame is being made and never
// run a layer type's command from there: a command may ask a question,
// and a question draws frames of its own until it is answered. They post
// the command instead; the window runs posted work after the frame.
#ifndef CLOUDS_VIEWER_WINDOW_WINDOW_STATE_H
#define CLOUDS_VIEWER_WINDOW_WINDOW_STATE_H

#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host_types.h"
#include "stacker_icons.h"

namespace cloudview {

class Viewer;

namespace window {

class PostedWork {
public:
    // name: what a person would call the change it may make ("Apply"),
    // for the Edit menu's Undo.
    void post(std::function<void()> work, std::string name = "")
    {
        queue_.push_back({std::move(work), std::move(name)});
    }
    bool empty() const { return queue_.empty(); }
    // Runs what was posted, in order, including work that running it posts.
    // A piece that throws is handed to failed with its message, and the
    // rest still run; done hears each piece's name after it ran. Returns
    // how many ran.
    size_t runAll(const std::function<void(const std::string &)> &failed = {},
                  const std::function<void(const std::string &)> &done = {});

private:
    struct Piece {
        std::function<void()> work;
        std::string name;
    };
    std::deque<Piece> queue_;
};

// A file chosen in the file browser is handed to what asked for it.
using FileChoice = std::function<void(const std::string &path)>;

struct WindowState {
    explicit WindowState(Viewer &v) : viewer(v) {}

    Viewer &viewer;
    PostedWork work;
    // The stacker's selected layer: the target of its type's menus. Null
    // when none is selected or the layer has gone.
    HLayer *selected = nullptr;
    // The last error reports, oldest first.
    std::deque<std::string> messages;
    bool showStacker = true;
    bool showMessages = true;
    bool quitRequested = false;
    // A PNG to capture the whole window into at the end of the next frame.
    std::string screenshotFile;
    // Bumped by anything that may change what the scene draws without the
    // camera moving (commands, statements, layer changes): the scene view
    // draws again when it changes.
    unsigned long changes = 0;
    // Set to ask the file browser to show: its title, the extensions it
    // lists (".scene"; empty for all files), and what to do with the choice.
    struct BrowseRequest {
        std::string title;
        std::vector<std::string> extensions;
        bool saving = false;
        FileChoice chosen;
    };
    std::vector<BrowseRequest> browse;
    // Each layer's own menu, asked for once: a layer type makes a new copy
    // every time it is asked.
    std::map<HLayer *, HMenu *> layerMenus;
    unsigned long layerMenusRemovals = 0;
    // Keys pressed since the last frame, with their modifier bits (GLFW's).
    // Kept apart from ImGui's key state, which only sees a key that is
    // still down when a frame starts and so misses quick taps.
    std::vector<std::pair<int, int>> keysPressed;
    // Whether the key was pressed since the last frame, with Ctrl held or
    // not (and Shift held or not, when asked).
    bool pressed(int key, bool ctrl = false) const;
    bool pressed(int key, bool ctrl, bool shift) const;
    // Asks a question with its answers in the window, waiting for one;
    // returns its index (the last answer is the one Escape gives). The
    // window sets it; a scene script's queued ANSWER answers it first
    // (YES the first answer, NO the last).
    std::function<size_t(const std::string &, const std::vector<std::string> &)> choose;
    // One line for the status bar from the last thing done ("saved sky.cloud").
    std::string status;
    // The stacker's pictures of the layers. The window keeps the viewer
    // longer than this state, so the stacker's canvas goes while the host
    // is still there.
    StackerIcons stackerIcons;

    // The weather panel: the file its times are listed for, and the
    // region and spacing the next opening asks for.
    struct WeatherPanel {
        bool show = false;
        std::string file;
        std::vector<std::time_t> times;  // the file's valid times, earliest first
        std::string problem;             // why the last opening was refused
        char region[96] = "";            // W,S,E,N; empty: the ground's footprint
        float spacing = 0;               // metres; 0: the data's own
    };
    WeatherPanel weather;

    // Reports a message in the messages panel (and keeps the last 50).
    void report(const std::string &message);
};

// The name a layer's type gives it ("sky"), or "the layer" without one.
std::string layerDisplayName(HLayer *layer);

} // namespace window
} // namespace cloudview

#endif
