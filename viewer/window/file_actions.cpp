// What the File menu, dropped files and the stacker do with files. Each
// failure goes to the messages panel; nothing here throws.
#include <algorithm>

#include "panels.h"
#include "viewer.h"

namespace cloudview::window {

bool openPath(WindowState &state, const std::string &path)
{
    Viewer &viewer = state.viewer;
    try {
        if (isLayerFile(path, viewer.layerType())) {
            state.selected = viewer.openLayerFile(path);
            state.status = "opened " + path;
        } else {
            viewer.runScript(path, ScriptMode::SceneOnly);
            state.status = "opened scene " + path;
        }
    } catch (const std::exception &e) {
        state.report(e.what());
        return false;
    }
    viewer.syncLayers();
    ++state.changes;
    return true;
}

bool openScene(WindowState &state, const std::string &path)
{
    if (!confirmDiscard(state, "Open scene"))
        return false;
    // A scene replaces the one shown: its layers go first, each asking
    // whether to keep its changes.
    state.selected = nullptr;
    state.viewer.closeAllLayers();
    state.weather = {};  // the panel follows the new scene's weather, if any
    state.viewer.scene().camera().distance = 0.0; // frame the new scene
    return openPath(state, path);
}

namespace {

void browse(WindowState &state, std::string title, std::vector<std::string> extensions,
            FileChoice chosen)
{
    state.browse.push_back({std::move(title), std::move(extensions), true, std::move(chosen)});
}

// A layer that another stands for now (after Save as..., undo) keeps the
// stacker's selection.
void replaced(WindowState &state, HLayer *before, HLayer *now)
{
    if (state.selected == before || !state.selected)
        state.selected = now;
    ++state.changes;
}

} // namespace

bool openTerrain(WindowState &state, const std::string &model, const std::string &drape)
{
    ::terrain::TerrainSettings settings;
    settings.model = model;
    settings.drape = drape;
    settings.memoryMiB = state.viewer.terrainMemory();  // the session's, not the default
    if (const ::terrain::Terrain *now = state.viewer.terrain())
        if (now->settings().model == model)
            settings.exaggeration = now->settings().exaggeration;
    try {
        state.viewer.openTerrain(settings);
    } catch (const std::exception &e) {
        state.report(e.what());  // the scene stays as it was
        return false;
    }
    state.viewer.scene().camera().distance = 0.0;  // frame the new ground
    state.status = "opened terrain " + model + (drape.empty() ? "" : " with " + drape);
    ++state.changes;
    return true;
}

bool saveLayer(WindowState &state, HLayer *layer)
{
    if (!layer)
        return false;
    Viewer &viewer = state.viewer;
    // A damaged file's question offers Save as... besides saving anyway.
    bool saveAs = false;
    DamageAnswer answer;
    if (state.choose)
        answer = [&state, &saveAs](const std::string &question) {
            const size_t chosen = state.choose(question, {"Save anyway", "Save as...", "Cancel"});
            saveAs = chosen == 1;
            return chosen == 0;
        };
    switch (viewer.saveLayer(layer, answer)) {
    case SaveResult::Saved: {
        const LayerRecord *record = viewer.record(layer);
        state.status = "saved " + layerDisplayName(layer) + (record ? " to " + record->path : "");
        return true;
    }
    case SaveResult::NoFile:
        saveLayerAs(state, layer);
        return false;
    case SaveResult::Declined:
        if (saveAs)
            saveLayerAs(state, layer);
        state.status = "not saved " + layerDisplayName(layer);
        return false;
    case SaveResult::Failed:
        break;
    }
    state.report("could not save " + layerDisplayName(layer));
    return false;
}

void saveLayerAs(WindowState &state, HLayer *layer)
{
    if (!layer)
        return;
    Viewer &viewer = state.viewer;
    const unsigned long removals = viewer.scene().layerRemovals();
    browse(state, "Save layer " + layerDisplayName(layer) + " as",
           {"." + viewer.layerType().fileKey},
           [&state, layer, removals](const std::string &path) {
               Viewer &v = state.viewer;
               if (v.scene().layerRemovals() != removals || !v.scene().contains(layer))
                   return; // the layer went while the browser was up
               try {
                   HLayer *now = v.saveLayerAs(layer, path);
                   replaced(state, layer, now);
                   state.status = "saved " + layerDisplayName(now) + " as " + path;
               } catch (const std::exception &e) {
                   state.report(e.what());
               }
           });
}

bool saveScene(WindowState &state, const std::string &path)
{
    try {
        state.viewer.writeScene(path);
    } catch (const std::exception &e) {
        state.report(e.what());
        return false;
    }
    state.status = "wrote scene " + path;
    return true;
}

void newLayer(WindowState &state)
{
    Viewer &viewer = state.viewer;
    browse(state, "New " + viewer.layerType().typeName + " layer: its file",
           {"." + viewer.layerType().fileKey}, [&state](const std::string &path) {
               try {
                   state.selected = state.viewer.newLayer(path);
                   state.status = "new layer " + path;
                   ++state.changes;
               } catch (const std::exception &e) {
                   state.report(e.what());
               }
           });
}

std::string changedLayerNames(WindowState &state)
{
    std::string names;
    for (HLayer *layer : state.viewer.scene().layers())
        if (state.viewer.changed(layer))
            names += (names.empty() ? "" : ", ") + layerDisplayName(layer);
    return names;
}

bool confirmDiscard(WindowState &state, const std::string &what)
{
    const std::string names = changedLayerNames(state);
    if (names.empty() || !state.choose)
        return true;
    const std::string question = "Unsaved changes in " + names + ". " + what +
                                 " anyway? Each changed layer then asks whether to save it.";
    return state.choose(question, {what, "Cancel"}) == 0;
}

void undoLayer(WindowState &state, bool redo)
{
    HLayer *layer = state.selected;
    if (!layer)
        return;
    const LayerRecord *record = state.viewer.record(layer);
    const std::string name =
        record ? (redo ? record->history.redoName() : record->history.undoName()) : "";
    try {
        HLayer *now = redo ? state.viewer.redo(layer) : state.viewer.undo(layer);
        replaced(state, layer, now);
        state.status = (redo ? "redid " : "undid ") + name;
    } catch (const std::exception &e) {
        state.report(layerDisplayName(layer) + ": " + e.what());
    }
}

} // namespace cloudview::window
