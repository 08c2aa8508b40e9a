// script_ui.h — the viewer's and the tests' side of the script UI: where
// scripts are found, which frames are open, and running a part's command
// as if the user had changed the part. The layer types' side is hmllib.h.
//
// Commands. A part's command attribute is a command line: words separated
// by blanks, a word in double quotes may hold blanks. Firing a part first
// sets its value, then substitutes in each word {value} (the part's value
// as text) and {r} {g} {b} (a colour part's components), and calls the
// command table entry named by the first word with (first = null, the
// context, the number of further words, those words, an error slot). The
// context is the frame's context (hhml_FrameContextSet) or, for parts
// marked context="scene", the scene of the frame's source window.
//
// Search path for scripts and other resources: the directories given to
// setScriptPath (':' separated); without one, those of the environment
// variable CLOUDVIEW_RESOURCES; without it, the source tree's resources
// folder. A name holding a '/' is used as it stands.
#ifndef CLOUDS_VIEWER_HMLLIB_SCRIPT_UI_H
#define CLOUDS_VIEWER_HMLLIB_SCRIPT_UI_H

#include "host_export.h"
#include "host_types.h"
#include "script_model.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// "" restores the default.
HOST_API void setScriptPath(const std::string &directories);
HOST_API std::vector<std::string> scriptPath();
// Text extents that hhml_CanvasContextGetStringExtents gives instead of
// measuring, so that a test controls a layer type's text layout; null
// measures again.
struct TextExtentsOverride {
    bool active = false;
    int32_t values[4] = {0, 0, 0, 0};
};
HOST_API TextExtentsOverride &textExtentsOverride();
HOST_API void setTextExtentsForTests(const int32_t values[4]);

// The path of a resource found on the search path; "" when none.
HOST_API std::string findResource(const std::string &name);

// Destroys a parsed script with its frames, copies and menus (those frames
// stop being open). Layer types never free their script; tests and the
// viewer's shutdown do.
HOST_API void freeScript(HScript *script);

// Frames shown with hhml_FrameDisplay and not removed, the most recently
// shown (or raised) last.
HOST_API std::vector<HFrame *> openFrames();
// The most recently shown open frame of that name, and with that context
// unless context is null; null when there is none.
HOST_API HFrame *findOpenFrame(const std::string &name, void *context = nullptr);
// A part of a frame by name, null when missing (no error slot).
HOST_API HFrame *findPart(HFrame *frame, const std::string &name);

// A part's value as the {value} substitution gives it: numbers in the
// shortest form that reads back the same ("0.6", "256"), texts as they
// are, colours as "r g b".
HOST_API std::string partValueText(const HFrame *part);
// A number as {value} gives it: the shortest text that reads back the same.
HOST_API std::string numberText(double value);
// Sets a part's value from text: a number, a text (a popup or choice also
// selects the item of that text, if any), a colour "r g b". False (and
// nothing changed) for a text that does not fit the kind, or a part
// without a value (button, canvas, frame).
HOST_API bool setPartValue(HFrame *part, const std::string &value, std::string *error = nullptr);

struct CommandResult {
    bool ran = false;           // a command function was called
    int status = 0;             // what it returned
    HErrorSlot slot = nullptr;  // its error slot after the call
    std::string error;          // why nothing ran, else the slot's message
};

// Sets the named part's value (ignored for buttons) and runs its command;
// a part without a command only takes the value. The part may also be
// named by its label, for unnamed buttons.
HOST_API CommandResult firePart(HFrame *frame, const std::string &part, const std::string &value);
// The frame whose part's command is running (the innermost, when one
// command fires another part), null outside firePart: what a service the
// command calls may look at to learn what the user acted on.
HOST_API HFrame *firingFrame();
// Runs the command of that name from the script's table with the words
// as arguments.
HOST_API CommandResult runCommand(HScript *script, const std::string &name, void *context,
                                  const std::vector<std::string> &args);
// Runs a command line (quoted words allowed, no substitution).
HOST_API CommandResult runCommandLine(HScript *script, const std::string &line, void *context);
// Runs a frame's close command (its close attribute) as the window's
// close box does; a frame without one is removed (hhml_FrameRemove).
HOST_API CommandResult closeFrame(HFrame *frame);

// A menu or popup menu by name; null when missing.
HOST_API HMenu *findMenu(HScript *script, const std::string &name);
// An item of a menu by name, or else by label; null when missing.
HOST_API const MenuItem *findMenuItem(const HMenu *menu, const std::string &nameOrLabel);
// Runs an item's command: with the given context (the layer a stacker
// popup is shown for), or the scene's for items marked context="scene".
HOST_API CommandResult fireMenuItem(HMenu *menu, const std::string &nameOrLabel, void *context);
// An action by name; null when missing.
HOST_API const Action *findAction(HScript *script, const std::string &name);

// Canvases: the most recent live canvas made on a part, live counts (a
// layer type must delete what it made), and delivering an event of a type
// (100: expose) to a canvas's handler, with the first int32 of the event
// record holding the type. False when the canvas has no handler.
HOST_API HCanvas *canvasOfPart(const HFrame *part);
HOST_API size_t liveCanvasCount();
HOST_API size_t liveCanvasContextCount();
HOST_API bool sendCanvasEvent(HCanvas *canvas, int32_t type);
// A canvas pixel's red, green and blue bytes; black outside the canvas.
HOST_API std::array<uint8_t, 3> canvasPixel(const HCanvas *canvas, int32_t x, int32_t y);
// The whole canvas as packed RGB rows (three bytes a pixel, row 0 first).
HOST_API std::vector<uint8_t> canvasRGB(const HCanvas *canvas);

} // namespace host

#endif
