// panels.h — the window's panels, each drawn once per frame inside an
// ImGui frame from the shared window state. None of them runs a command
// while drawing: they post work (window_state.h).
#ifndef CLOUDS_VIEWER_WINDOW_PANELS_H
#define CLOUDS_VIEWER_WINDOW_PANELS_H

#include <ctime>
#include <optional>

#include "canvas_textures.h"
#include "window_state.h"

namespace cloudview::window {

// Every open frame of every script as an ImGui window of its parts.
void drawFrames(WindowState &state, CanvasTextures &textures);
// The layer stacker: one entry per layer, topmost first, with its icon,
// visibility toggle and its type's stacker popup.
void drawStacker(WindowState &state, CanvasTextures &textures);
// The file browser, while state.browse asks for one.
void drawFileBrowser(WindowState &state);
// The main menu bar: File, Edit, View and the layer types' menus. Returns
// its height.
float drawMainMenu(WindowState &state);
// Runs the keys of the scene's actions that are on (Delete for
// "delcloud"), unless a panel has the keyboard.
void runActionKeys(WindowState &state);
// The messages panel: the last error reports.
void drawMessages(WindowState &state);
// The weather panel: the weather file's times, one opening the layers of
// that time in place of those shown; the region and spacing asked for.
void drawWeather(WindowState &state);

// Operations the menus, dropped files and the command line share. Each
// reports its failure in the messages panel and returns whether it worked.
bool openPath(WindowState &state, const std::string &path);
bool openScene(WindowState &state, const std::string &path);
// The elevation model (and drape) as the scene's ground; on failure the
// scene keeps the ground it had.
bool openTerrain(WindowState &state, const std::string &model, const std::string &drape);
// A weather file's cloud cover as layers over the scene's ground, at its
// first time; the weather panel then lists its times. A refusal (a global
// field without a region, say) is reported and kept in the panel.
bool openWeatherFile(WindowState &state, const std::string &path);
// The weather layers shown replaced by those of another time, or of the
// region and spacing the panel holds.
bool showWeather(WindowState &state, std::optional<std::time_t> time);
// Saves the layer to its file. A layer without a file asks for one (the
// file browser); one whose file was damaged when read asks first, with
// Save as... offered.
bool saveLayer(WindowState &state, HLayer *layer);
// Asks for a file name, then writes the layer there; the layer then
// belongs to that file.
void saveLayerAs(WindowState &state, HLayer *layer);
bool saveScene(WindowState &state, const std::string &path);
// Asks for the new layer's file name, then makes it.
void newLayer(WindowState &state);
// Whether the person agrees to drop unsaved changes for `what` ("Quit",
// "Open scene"): asked once, when some layer holds changes.
bool confirmDiscard(WindowState &state, const std::string &what);
// The changed layers' names, "sky, valley"; "" when none.
std::string changedLayerNames(WindowState &state);
// Undoes (redoes) the selected layer's last change.
void undoLayer(WindowState &state, bool redo);

} // namespace cloudview::window

#endif
