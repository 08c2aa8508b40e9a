// The main menu bar, the scene's action keys and the messages panel.
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <cctype>
#include <map>

#include "hmllib/script_model.h"
#include "hmllib/script_ui.h"
#include "panels.h"
#include "terrain_memory.h"
#include "viewer.h"

namespace cloudview::window {

namespace {

// The GLFW key an action's key name stands for; 0 for a name it does not
// know. Names are X's: "Delete", "BackSpace", "F5", a letter or a digit.
int keyCode(const std::string &name)
{
    static const std::map<std::string, int> named = {
        {"Delete", GLFW_KEY_DELETE}, {"BackSpace", GLFW_KEY_BACKSPACE},
        {"Insert", GLFW_KEY_INSERT}, {"Escape", GLFW_KEY_ESCAPE},
        {"Return", GLFW_KEY_ENTER},  {"space", GLFW_KEY_SPACE},
        {"Home", GLFW_KEY_HOME},     {"End", GLFW_KEY_END},
    };
    if (auto it = named.find(name); it != named.end())
        return it->second;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
        return std::toupper(static_cast<unsigned char>(name[0])); // GLFW uses ASCII
    if (name.size() >= 2 && name[0] == 'F' && name.find_first_not_of("0123456789", 1) == std::string::npos) {
        const int n = std::stoi(name.substr(1));
        if (n >= 1 && n <= 25)
            return GLFW_KEY_F1 + n - 1;
    }
    return 0;
}

// Runs a command line of the layer type's script in a context, after the
// frame, and shows what went wrong.
// name: what Undo calls the change.
void postCommand(WindowState &state, const std::string &line, void *context,
                 const std::string &name)
{
    state.work.post([&state, line, context] {
        const host::CommandResult r = host::runCommandLine(state.viewer.script(), line, context);
        if (!r.ran || !r.error.empty())
            state.report(line + ": " + (r.error.empty() ? "did not run" : r.error));
        state.viewer.syncLayers();
    }, name);
}

// The context an action or item runs in: the scene, or the selected layer.
void *contextFor(WindowState &state, host::CommandContext context)
{
    if (context == host::CommandContext::Scene)
        return state.viewer.scene().hscene();
    return state.selected;
}

// Forgets the selection once its layer has gone.
void checkSelection(WindowState &state)
{
    if (state.selected && !state.viewer.scene().contains(state.selected))
        state.selected = nullptr;
}

void browse(WindowState &state, const std::string &title, std::vector<std::string> extensions,
            bool saving, FileChoice chosen)
{
    state.browse.push_back({title, std::move(extensions), saving, std::move(chosen)});
}

void fileMenu(WindowState &state)
{
    if (!ImGui::BeginMenu("File"))
        return;
    Viewer &viewer = state.viewer;
    const std::string layerExtension = "." + viewer.layerType().fileKey;
    if (ImGui::MenuItem("Open scene..."))
        browse(state, "Open scene", {".scene"}, false,
               [&state](const std::string &path) { openScene(state, path); });
    if (ImGui::MenuItem("Add layer file..."))
        browse(state, "Add layer file", {layerExtension}, false,
               [&state](const std::string &path) { openPath(state, path); });
    if (ImGui::MenuItem(("New " + viewer.layerType().typeName + " layer").c_str()))
        state.work.post([&state] { newLayer(state); });
    ImGui::Separator();
    const std::string saveLabel =
        state.selected ? "Save layer " + layerDisplayName(state.selected) : "Save layer";
    if (ImGui::MenuItem(saveLabel.c_str(), "Ctrl+S", false, state.selected != nullptr)) {
        HLayer *layer = state.selected;
        state.work.post([&state, layer] { saveLayer(state, layer); });
    }
    if (ImGui::MenuItem("Save layer as...", nullptr, false, state.selected != nullptr))
        saveLayerAs(state, state.selected);
    if (ImGui::MenuItem("Save scene as...")) {
        // The title says that the changed layers are saved with it.
        const std::string changed = changedLayerNames(state);
        browse(state,
               changed.empty() ? "Save scene (each layer is saved to its file)"
                               : "Save scene (also saves the changed layers: " + changed + ")",
               {".scene"}, true, [&state](const std::string &path) { saveScene(state, path); });
    }
    if (ImGui::MenuItem("Screenshot..."))
        browse(state, "Screenshot", {".png"}, true,
               [&state](const std::string &path) { state.screenshotFile = path; });
    // The ground: below the items that were there before it, so that
    // their places in the menu stay.
    ImGui::Separator();
    if (ImGui::MenuItem("Open terrain..."))
        browse(state, "Open terrain (an elevation model)", {}, false,
               [&state](const std::string &path) { openTerrain(state, path, ""); });
    if (ImGui::MenuItem("Drape image...", nullptr, false, viewer.terrain() != nullptr))
        browse(state, "Drape an image over the terrain", {}, false, [&state](const std::string &path) {
            if (const ::terrain::Terrain *t = state.viewer.terrain())
                openTerrain(state, t->settings().model, path);
        });
    if (ImGui::MenuItem("Open weather..."))
        browse(state, "Open weather (GRIB, NetCDF or GeoTIFF cloud cover)", {}, false,
               [&state](const std::string &path) { openWeatherFile(state, path); });
    ImGui::Separator();
    if (ImGui::MenuItem("Quit", "Ctrl+Q"))
        state.quitRequested = true;
    ImGui::EndMenu();
}

void editMenu(WindowState &state)
{
    if (!ImGui::BeginMenu("Edit"))
        return;
    const LayerRecord *record = state.selected ? state.viewer.record(state.selected) : nullptr;
    const std::string undo = record ? record->history.undoName() : "";
    const std::string redo = record ? record->history.redoName() : "";
    if (ImGui::MenuItem(undo.empty() ? "Undo" : ("Undo " + undo).c_str(), "Ctrl+Z", false,
                        !undo.empty()))
        state.work.post([&state] { undoLayer(state, false); });
    if (ImGui::MenuItem(redo.empty() ? "Redo" : ("Redo " + redo).c_str(), "Ctrl+Shift+Z", false,
                        !redo.empty()))
        state.work.post([&state] { undoLayer(state, true); });
    ImGui::Separator();
    bool any = false;
    if (HScript *script = state.viewer.script()) {
        for (const host::Action &action : script->actions) {
            const bool on = state.viewer.scene().actionOn(action.name);
            void *context = contextFor(state, action.context);
            const std::string &label = action.label.empty() ? action.name : action.label;
            if (ImGui::MenuItem(label.c_str(), action.key.c_str(), false, on && context))
                postCommand(state, action.command, context, label);
            any = true;
        }
    }
    if (!any)
        ImGui::MenuItem("(no actions)", nullptr, false, false);
    ImGui::EndMenu();
}

// The ground's memory budget: a few sizes from a small laptop's to a
// workstation's, and the one in force when it is none of them (from the
// command line or a scene). Without a ground it is the next ground's.
void terrainMemoryMenu(WindowState &state)
{
    if (!ImGui::BeginMenu("Terrain memory"))
        return;
    static constexpr size_t kChoices[] = {256, 512, 1024, 2048, 4096, 8192};
    const size_t now = state.viewer.terrainMemory();
    const auto choice = [&state, now](size_t mib) {
        if (!ImGui::MenuItem(terrainMemoryLabel(mib).c_str(), nullptr, mib == now) || mib == now)
            return;
        state.viewer.setTerrainMemory(mib);  // a choice of the list: always in range
        state.status = "terrain memory " + terrainMemoryLabel(mib) +
                       (state.viewer.terrain() ? "" : " (for the next terrain)");
        ++state.changes;
    };
    bool listed = false;
    for (const size_t mib : kChoices) {
        if (!listed && mib > now) {
            // Where it falls in the list, so that the sizes read in order.
            choice(now);
            listed = true;
        }
        listed = listed || mib == now;
        choice(mib);
    }
    if (!listed)
        choice(now);
    ImGui::EndMenu();
}

void viewMenu(WindowState &state)
{
    if (!ImGui::BeginMenu("View"))
        return;
    if (ImGui::MenuItem("Frame all", "F")) {
        state.viewer.frameContent();
        ++state.changes;
    }
    if (ImGui::MenuItem("Reset view")) {
        host::Camera &c = state.viewer.scene().camera();
        c.azimuth = 225.0;
        c.elevation = 30.0;
        c.distance = 0.0; // framed on the next drawing
        ++state.changes;
    }
    ImGui::Separator();
    ImGui::MenuItem("Layer stacker", nullptr, &state.showStacker);
    ImGui::MenuItem("Messages", nullptr, &state.showMessages);
    ImGui::Separator();
    terrainMemoryMenu(state);
    ImGui::EndMenu();
}

void menuItems(WindowState &state, HMenu *menu, void *target)
{
    for (const host::MenuItem &item : menu->items) {
        if (item.separator) {
            ImGui::Separator();
            continue;
        }
        void *context = item.context == host::CommandContext::Scene
                            ? state.viewer.scene().hscene()
                            : target;
        if (ImGui::MenuItem(item.label.c_str(), nullptr, false, context != nullptr))
            postCommand(state, item.command, context, item.label);
    }
}

// Each layer type's menus: the selected layer's own (its menu entry), or
// the script's menus with only their scene items on when no layer of the
// type is selected.
void layerTypeMenus(WindowState &state)
{
    // A layer's address may come back as a new layer's once it has gone:
    // forget every menu when any layer leaves.
    std::map<HLayer *, HMenu *> &layerMenus = state.layerMenus;
    if (state.viewer.scene().layerRemovals() != state.layerMenusRemovals) {
        layerMenus.clear();
        state.layerMenusRemovals = state.viewer.scene().layerRemovals();
    }
    HLayer *layer = state.selected;
    if (layer && layer->methods && layer->methods->menu) {
        HMenu *&menu = layerMenus[layer];
        if (!menu)
            menu = layer->methods->menu(layer);
        if (menu && ImGui::BeginMenu(menu->label.empty() ? menu->name.c_str() : menu->label.c_str())) {
            menuItems(state, menu, layer);
            ImGui::EndMenu();
        }
        return;
    }
    HScript *script = state.viewer.script();
    if (!script)
        return;
    for (const auto &menu : script->menus) {
        if (menu->popup)
            continue;
        if (ImGui::BeginMenu(menu->label.empty() ? menu->name.c_str() : menu->label.c_str())) {
            menuItems(state, menu.get(), nullptr);
            ImGui::EndMenu();
        }
    }
}

} // namespace

float drawMainMenu(WindowState &state)
{
    checkSelection(state);
    // Escape leaves an open menu (a question's modal keeps its own Escape).
    if (state.pressed(GLFW_KEY_ESCAPE))
        ImGui::ClosePopupsExceptModals();
    float height = 0.0f;
    if (ImGui::BeginMainMenuBar()) {
        fileMenu(state);
        editMenu(state);
        viewMenu(state);
        layerTypeMenus(state);
        height = ImGui::GetWindowSize().y;
        ImGui::EndMainMenuBar();
    }
    if (state.pressed(GLFW_KEY_Q, true))
        state.quitRequested = true;
    if (state.pressed(GLFW_KEY_S, true) && state.selected) {
        HLayer *layer = state.selected;
        state.work.post([&state, layer] { saveLayer(state, layer); });
    }
    // Not while a field has the keyboard: its own Ctrl+Z undoes typing.
    if (!ImGui::GetIO().WantTextInput && state.selected) {
        if (state.pressed(GLFW_KEY_Z, true, false))
            state.work.post([&state] { undoLayer(state, false); });
        if (state.pressed(GLFW_KEY_Z, true, true))
            state.work.post([&state] { undoLayer(state, true); });
    }
    return height;
}

void runActionKeys(WindowState &state)
{
    if (ImGui::GetIO().WantCaptureKeyboard)
        return;
    HScript *script = state.viewer.script();
    if (!script)
        return;
    for (const host::Action &action : script->actions) {
        const int key = keyCode(action.key);
        if (!key || !state.viewer.scene().actionOn(action.name) ||
            !state.pressed(key))
            continue;
        if (void *context = contextFor(state, action.context))
            postCommand(state, action.command, context,
                        action.label.empty() ? action.name : action.label);
    }
}

void drawMessages(WindowState &state)
{
    if (!state.showMessages || state.messages.empty())
        return;
    const ImGuiViewport *screen = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(ImVec2(screen->Size.x - 10.0f, screen->Size.y - 40.0f),
                            ImGuiCond_Appearing, ImVec2(1.0f, 1.0f));
    ImGui::SetNextWindowSize(ImVec2(520.0f, 150.0f), ImGuiCond_Appearing);
    if (ImGui::Begin("Messages", &state.showMessages)) {
        if (ImGui::SmallButton("Clear"))
            state.messages.clear();
        ImGui::Separator();
        ImGui::BeginChild("##lines");
        for (const std::string &m : state.messages)
            ImGui::TextWrapped("%s", m.c_str());
        if (ImGui::GetScrollY() >= ImGui::GetScrollMaxY())
            ImGui::SetScrollHereY(1.0f);
        ImGui::EndChild();
    }
    ImGui::End();
}

} // namespace cloudview::window
