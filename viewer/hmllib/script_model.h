// script_model.h — what a parsed hml script is made of, for the viewer's
// window (which draws frames, menus and canvases) and for tests.
//
// The C interface (hmllib.h) hands these out as opaque handles: HScript,
// HFrame (a frame or one of its parts), HMenu, HSet, HCanvas and
// HCanvasContext are the records below. Read them freely; change values
// through hmllib.h or script_ui.h so that the rules hold (a string value
// stays valid until the next set, a popup's text follows its selection).
//
// Ownership: a script owns its frames, menus and actions, and the copies
// hhml_PartDup made of its frames until hhml_FrameRemove destroys them.
// Canvases and contexts live until hhml_CanvasDelete and
// hhml_CanvasContextDelete; a canvas outlives the part it was made on
// (its part becomes null when that frame is destroyed).
#ifndef CLOUDS_VIEWER_HMLLIB_SCRIPT_MODEL_H
#define CLOUDS_VIEWER_HMLLIB_SCRIPT_MODEL_H

#include "host_export.h"
#include "host_types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace host {

enum class PartKind { Frame, Popup, Canvas, Number, String, Choice, Color, Button, Label };

// Whose context a command carries: the target's (the frame's context for
// a frame's parts, the object a menu is shown for, for menu items) or the
// scene of the frame's or menu's window (the viewer's scene without one).
enum class CommandContext { Target, Scene };

// The element name of a kind ("popup", "number", ...; "frame").
HOST_API const char *partKindName(PartKind kind);

struct MenuItem {
    std::string name;    // "" when the item has none
    std::string label;   // the text shown
    std::string command; // command line; "" for a separator
    CommandContext context = CommandContext::Target;
    bool separator = false;
};

// <action name key command>: a command the window runs on a key while the
// scene has the action switched on (sceneActionOn).
struct Action {
    std::string name;
    std::string label; // what menus call it ("Delete cloud"); the name when empty
    std::string key;
    std::string command;
    CommandContext context = CommandContext::Target;
};

} // namespace host

struct HFrame {
    host::PartKind kind = host::PartKind::Frame;
    std::string name;    // "" for an unnamed part
    std::string label;   // a frame's title, a part's label
    std::string command; // command line run when the part fires; "" for none
    host::CommandContext context = host::CommandContext::Target;
    int line = 0, column = 0; // where the element stands in its file

    // Values, by kind.
    double number = 0.0;                         // number
    double minimum = 0.0, maximum = 0.0;         // number, when ranged
    double step = 0.0;                           // number; 0: free
    bool ranged = false;                         // number: min and max given
    std::string text;                            // string, choice, popup, label
    std::vector<std::string> items;              // choice, popup
    int32_t selected = -1;                       // index in items, -1 for none
    double color[3] = {1.0, 1.0, 1.0};           // color
    int32_t width = 256, height = 256;           // canvas

    // A frame's parts in file order; a part's frame.
    std::vector<std::unique_ptr<HFrame>> parts;
    HFrame *frame = nullptr;

    // Frame state.
    HScript *script = nullptr;
    std::string closeCommand;   // run when the user closes the frame's window
    // The first of the parts kept in view at the foot of the frame's
    // window, under those that scroll; "" for none.
    std::string footer;
    bool copy = false;          // made by hhml_PartDup
    bool displayed = false;
    void *frameContext = nullptr; // hhml_FrameContextSet
    HWindow *source = nullptr;    // hhml_FrameSourceSet
    // The command line that was running when the frame was first shown:
    // what shows it again (the viewer reopens a layer in place on undo).
    std::string shownBy;

    std::string scratch; // a number part's value as text, for string reads
};

struct HMenu {
    std::string name;
    std::string label;
    bool popup = false;          // a <popup-menu>, else a <menu>
    std::vector<host::MenuItem> items;
    HScript *script = nullptr;
    HWindow *window = nullptr;   // set on hhml_MenuExtract's copies
    int line = 0, column = 0;
};

struct HScript {
    std::string path;                              // the file it was read from
    std::vector<HCommand> commands;                // the table, without its end pair
    std::vector<std::unique_ptr<HFrame>> frames;   // top-level frames in file order
    std::vector<std::unique_ptr<HMenu>> menus;     // menus and popup menus
    std::vector<host::Action> actions;
    std::vector<std::unique_ptr<HMenu>> extracted; // hhml_MenuExtract's copies
    std::vector<HFrame *> copies;                  // live hhml_PartDup copies
};

struct HSet {
    std::vector<std::string> strings;
};

struct _cairo_surface; // cairo_surface_t

namespace host {

// Destroys a cairo surface (cairo_surface_destroy).
struct SurfaceRelease {
    HOST_API void operator()(_cairo_surface *surface) const;
};
using Surface = std::unique_ptr<_cairo_surface, SurfaceRelease>;

} // namespace host

// A canvas: a cairo image surface of width × height pixels
// (CAIRO_FORMAT_RGB24), row 0 at the top, owned by the canvas. The surface
// is the one place its pixels live: draw into it with cairo (flush before
// touching its data, mark it dirty after), read it with host::canvasPixel
// or host::canvasRGB (script_ui.h).
struct HCanvas {
    int32_t width = 0, height = 0;
    host::Surface surface;
    HFrame *part = nullptr; // the canvas part it shows; null off screen
    bool offscreen = false;
    HCanvasEventFn handler = nullptr;
    void *client = nullptr;
};

struct HCanvasContext {
    HCanvas *canvas = nullptr; // null once the canvas is deleted
    int32_t colorMethod = 0;
    int32_t lineWidth = 1;
    HCanvasColor foreground{0, 0.0, 0.0, 0.0};
    std::string font;
};

#endif
