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
    // A scene replaces the one shown: its layers go first, each asking
    // whether to keep its changes.
    state.selected = nullptr;
    state.viewer.closeAllLayers();
    state.viewer.scene().camera().distance = 0.0; // frame the new scene
    return openPath(state, path);
}

bool openTerrain(WindowState &state, const std::string &model, const std::string &drape)
{
    ::terrain::TerrainSettings settings;
    settings.model = model;
    settings.drape = drape;
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
    if (!state.viewer.saveLayer(layer)) {
        state.report("could not save " + layerDisplayName(layer));
        return false;
    }
    state.status = "saved " + layerDisplayName(layer);
    return true;
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
    try {
        state.selected = state.viewer.newLayer();
        ++state.changes;
    } catch (const std::exception &e) {
        state.report(e.what());
    }
}

} // namespace cloudview::window
