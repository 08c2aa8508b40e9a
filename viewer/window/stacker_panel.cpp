// The layer stacker: the scene's layers, topmost first, each as the
// picture its type draws for it, with a visibility box, its type's popup
// on a right click, and drags onto the top or bottom entry to raise or
// lower it. Everything it changes goes through the layer type's commands.
#include <imgui.h>

#include <algorithm>
#include <cstdint>

#include "hmllib/script_model.h"
#include "hmllib/script_ui.h"
#include "panels.h"
#include "viewer.h"

namespace cloudview::window {

namespace {

constexpr float kPanelWidth = 276.0f; // room for the changed mark
constexpr float kEntryHeight = float(StackerIcons::kHeight);
constexpr const char *kPayload = "cloudview/layer";
const ImU32 kSelectedFrame = IM_COL32(255, 200, 60, 255);

// A layer as work posted now will find it: the same layer only while it
// is listed and none has left the scene since (a new layer may have the
// address of one that went).
struct LayerRef {
    HLayer *layer = nullptr;
    unsigned long removals = 0;

    static LayerRef of(WindowState &state, HLayer *layer)
    {
        return {layer, state.viewer.scene().layerRemovals()};
    }
    HLayer *get(WindowState &state) const
    {
        const host::Scene &scene = state.viewer.scene();
        return scene.layerRemovals() == removals && scene.contains(layer) ? layer : nullptr;
    }
};

// The layer's stacker popup and the script that holds it (the viewer's
// layer type's script when the layer names none).
HMenu *popupMenuOf(WindowState &state, HLayer *layer, HScript **script)
{
    const char *name = nullptr;
    *script = nullptr;
    if (layer->methods && layer->methods->stackerPopup)
        layer->methods->stackerPopup(layer, &name, script);
    if (!*script)
        *script = state.viewer.script();
    return *script && name ? host::findMenu(*script, name) : nullptr;
}

void finishCommand(WindowState &state, const std::string &what, const host::CommandResult &r)
{
    if (!r.ran || !r.error.empty())
        state.report(what + ": " + (r.error.empty() ? "did not run" : r.error));
    state.viewer.syncLayers();
    ++state.changes;
}

// Runs a command of the layer's type with the layer as its context.
void postLayerCommand(WindowState &state, LayerRef ref, const std::string &command)
{
    state.work.post([&state, ref, command] {
        HLayer *layer = ref.get(state);
        if (!layer)
            return;
        HScript *script = nullptr;
        popupMenuOf(state, layer, &script);
        finishCommand(state, command, host::runCommand(script, command, layer, {}));
    }, command);
}

// Runs an item of the layer's popup: its name, or its label without one.
void postPopupItem(WindowState &state, LayerRef ref, const std::string &item)
{
    state.work.post([&state, ref, item] {
        HLayer *layer = ref.get(state);
        if (!layer)
            return;
        HScript *script = nullptr;
        HMenu *menu = popupMenuOf(state, layer, &script);
        if (!menu) {
            state.report(item + ": the layer's menu has gone");
            return;
        }
        finishCommand(state, item, host::fireMenuItem(menu, item, layer));
    }, item);
}

void entryPopup(WindowState &state, HLayer *layer)
{
    if (!ImGui::BeginPopupContextItem("##popup"))
        return;
    HScript *script = nullptr;
    HMenu *menu = popupMenuOf(state, layer, &script);
    if (!menu) {
        ImGui::TextDisabled("%s has no menu", layerDisplayName(layer).c_str());
        ImGui::EndPopup();
        return;
    }
    if (!menu->label.empty()) {
        ImGui::TextDisabled("%s", menu->label.c_str());
        ImGui::Separator();
    }
    for (const host::MenuItem &item : menu->items) {
        if (item.separator)
            ImGui::Separator();
        else if (ImGui::MenuItem(item.label.c_str()))
            postPopupItem(state, LayerRef::of(state, layer),
                          item.name.empty() ? item.label : item.name);
    }
    ImGui::EndPopup();
}

// Dragging an entry onto the topmost one raises it to the top, onto the
// bottom one lowers it to the bottom: the only moves the host's arranging
// commands make.
void entryDragAndDrop(WindowState &state, HLayer *layer, bool top, bool bottom)
{
    if (ImGui::BeginDragDropSource()) {
        const LayerRef ref = LayerRef::of(state, layer);
        ImGui::SetDragDropPayload(kPayload, &ref, sizeof ref);
        ImGui::TextUnformatted(layerDisplayName(layer).c_str());
        ImGui::EndDragDropSource();
    }
    if (!(top || bottom) || !ImGui::BeginDragDropTarget())
        return;
    if (const ImGuiPayload *payload = ImGui::AcceptDragDropPayload(kPayload)) {
        LayerRef dropped;
        std::copy_n(static_cast<const char *>(payload->Data), sizeof dropped,
                    reinterpret_cast<char *>(&dropped));
        if (dropped.layer != layer)
            postLayerCommand(state, dropped, top ? "raisetotop" : "lowertobottom");
    }
    ImGui::EndDragDropTarget();
}

// The layer's icon, or its name when its type draws none, over the
// entry's rectangle. Drawn, not laid out: a widget over the entry would
// compete with it for the pointer.
void entryPicture(WindowState &state, CanvasTextures &textures, HLayer *layer, ImVec2 min,
                  ImVec2 max)
{
    std::string problem;
    HCanvas *icon = state.stackerIcons.iconOf(state.viewer.scene(), layer, &problem);
    if (!problem.empty())
        state.report(layerDisplayName(layer) + ": " + problem);
    ImDrawList *list = ImGui::GetWindowDrawList();
    if (const unsigned texture = textures.texture(icon)) {
        // Pixel for pixel when it fits, as the type drew it.
        const float fit = std::min({1.0f, (max.x - min.x) / float(icon->width),
                                    (max.y - min.y) / float(icon->height)});
        list->AddImage(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(texture)), min,
                       ImVec2(min.x + float(icon->width) * fit, min.y + float(icon->height) * fit));
        return;
    }
    const std::string name = layerDisplayName(layer);
    const float y = min.y + (max.y - min.y - ImGui::GetTextLineHeight()) * 0.5f;
    list->AddText(ImVec2(min.x + ImGui::GetStyle().FramePadding.x, y),
                  ImGui::GetColorU32(ImGuiCol_Text), name.c_str());
}

void drawEntry(WindowState &state, CanvasTextures &textures, HLayer *layer, bool top,
               bool bottom)
{
    ImGui::PushID(layer);
    const ImVec2 start = ImGui::GetCursorPos();
    ImGui::SetCursorPosY(start.y + (kEntryHeight - ImGui::GetFrameHeight()) * 0.5f);
    bool visible = state.viewer.scene().layerVisible(layer);
    if (ImGui::Checkbox("##visible", &visible))
        postLayerCommand(state, LayerRef::of(state, layer), "setvisibility");
    if (ImGui::IsItemHovered())
        ImGui::SetTooltip("Show or hide %s", layerDisplayName(layer).c_str());

    ImGui::SameLine();
    ImGui::SetCursorPosY(start.y);
    const bool selected = state.selected == layer;
    if (ImGui::Selectable("##entry", selected, 0,
                          ImVec2(float(StackerIcons::kWidth), kEntryHeight)))
        state.selected = layer;
    if (ImGui::IsItemClicked(ImGuiMouseButton_Right))
        state.selected = layer;
    const ImVec2 min = ImGui::GetItemRectMin(), max = ImGui::GetItemRectMax();
    entryPopup(state, layer);
    entryDragAndDrop(state, layer, top, bottom);
    entryPicture(state, textures, layer, min, max);
    // The changed mark: the entry reads "sky *" while its layer holds what
    // its file does not.
    if (state.viewer.changed(layer)) {
        const float y = min.y + (max.y - min.y - ImGui::GetTextLineHeight()) * 0.5f;
        ImGui::GetWindowDrawList()->AddText(ImVec2(max.x + 6.0f, y), kSelectedFrame, "*");
        if (ImGui::IsItemHovered())
            ImGui::SetTooltip("%s has unsaved changes", layerDisplayName(layer).c_str());
    }
    // The frame stays outside the picture, which is shown as drawn.
    if (selected)
        ImGui::GetWindowDrawList()->AddRect(ImVec2(min.x - 2.5f, min.y - 2.5f),
                                            ImVec2(max.x + 2.5f, max.y + 2.5f), kSelectedFrame,
                                            0.0f, 0, 2.0f);
    ImGui::PopID();
}

} // namespace

void drawStacker(WindowState &state, CanvasTextures &textures)
{
    if (!state.showStacker)
        return;
    const ImGuiViewport *screen = ImGui::GetMainViewport();
    // Under the main menu bar, above the status bar.
    const float top = ImGui::GetFrameHeight();
    const float room = std::max(kEntryHeight * 2.0f, screen->Size.y - 2.0f * top);
    ImGui::SetNextWindowPos(ImVec2(screen->Pos.x, screen->Pos.y + top), ImGuiCond_Appearing);
    ImGui::SetNextWindowSizeConstraints(ImVec2(kPanelWidth, 0.0f), ImVec2(kPanelWidth, room));
    if (ImGui::Begin("Layers", &state.showStacker,
                     ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings)) {
        std::vector<HLayer *> layers = state.viewer.scene().layers();
        std::reverse(layers.begin(), layers.end()); // topmost first
        if (layers.empty())
            ImGui::TextDisabled("No layers");
        for (size_t i = 0; i < layers.size(); ++i)
            drawEntry(state, textures, layers[i], i == 0, i + 1 == layers.size());
    }
    ImGui::End();
}

} // namespace cloudview::window
