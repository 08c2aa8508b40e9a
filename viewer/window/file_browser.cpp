// The file browser: a modal over the window for the oldest request in
// state.browse. The choice is handed on as posted work, after the frame,
// since what asked for a file may run a layer type's command with it.
#include <imgui.h>
#include <imgui_stdlib.h>

#include <filesystem>
#include <system_error>

#include "file_listing.h"
#include "panels.h"

namespace cloudview::window {

namespace {

constexpr const char *kPopupId = "###filebrowser";

struct BrowserUi {
    bool open = false;          // the modal shows the front request
    std::string folder;         // kept from one request to the next
    std::string listedFolder;   // what listing is of
    FolderListing listing;
    std::string name;           // the name field
    std::string problem;        // why OK did nothing
    std::string replacing;      // the existing file OK would replace, while asking
    bool focusName = false;     // typing goes to the name field as the modal opens
};

BrowserUi &browserUi()
{
    static BrowserUi ui;
    return ui;
}

std::string startFolder()
{
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    return ec ? std::string("/") : here.string();
}

void enterFolder(BrowserUi &ui, const std::string &folder)
{
    ui.folder = folder;
    ui.problem.clear();
    ui.replacing.clear();
}

void begin(BrowserUi &ui)
{
    ui.open = true;
    if (ui.folder.empty())
        ui.folder = startFolder();
    ui.listedFolder.clear(); // files may have come or gone since
    ui.name.clear();
    ui.problem.clear();
    ui.replacing.clear();
    ui.focusName = true;
}

// Ends the front request, handing the path on unless it was cancelled.
void finish(WindowState &state, BrowserUi &ui, const std::string *path)
{
    FileChoice chosen = std::move(state.browse.front().chosen);
    state.browse.erase(state.browse.begin());
    if (path && chosen)
        state.work.post([chosen, file = *path] { chosen(file); });
    ui.open = false;
    ImGui::CloseCurrentPopup();
}

void accept(WindowState &state, BrowserUi &ui)
{
    const WindowState::BrowseRequest &request = state.browse.front();
    const BrowseOutcome outcome =
        resolveChoice(ui.folder, ui.name, request.extensions, request.saving);
    switch (outcome.kind) {
    case BrowseOutcome::EnterFolder:
        enterFolder(ui, outcome.path);
        ui.name.clear();
        break;
    case BrowseOutcome::Choose: finish(state, ui, &outcome.path); break;
    case BrowseOutcome::ConfirmReplace: ui.replacing = outcome.path; break;
    case BrowseOutcome::Problem: ui.problem = outcome.problem; break;
    }
}

void header(BrowserUi &ui)
{
    if (ImGui::Button("Up"))
        enterFolder(ui, parentFolder(ui.folder));
    ImGui::SameLine();
    ImGui::AlignTextToFramePadding();
    ImGui::TextWrapped("%s", ui.folder.c_str());
}

// One entry of the list; returns whether it was double-clicked.
bool entryRow(const FolderEntry &entry, bool selected)
{
    if (entry.folder)
        ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(0.55f, 0.8f, 1.0f, 1.0f));
    const std::string shown = entry.folder ? entry.name + "/" : entry.name;
    const bool clicked = ImGui::Selectable(shown.c_str(), selected,
                                           ImGuiSelectableFlags_AllowDoubleClick);
    if (entry.folder)
        ImGui::PopStyleColor();
    return clicked && ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left);
}

void entryList(WindowState &state, BrowserUi &ui, float height)
{
    const WindowState::BrowseRequest &request = state.browse.front();
    if (ui.listedFolder != ui.folder) {
        ui.listing = listFolder(ui.folder, request.extensions);
        ui.listedFolder = ui.folder;
    }
    ImGui::BeginChild("##entries", ImVec2(0.0f, height), true);
    if (!ui.listing.problem.empty())
        ImGui::TextWrapped("%s", ui.listing.problem.c_str());
    std::string enter;
    bool pick = false;
    for (size_t i = 0; i < ui.listing.entries.size(); ++i) {
        const FolderEntry &entry = ui.listing.entries[i];
        ImGui::PushID(static_cast<int>(i));
        const bool twice = entryRow(entry, entry.name == ui.name);
        // A folder clicked while saving keeps the name typed for the file.
        if (ImGui::IsItemClicked(ImGuiMouseButton_Left) && !(entry.folder && request.saving)) {
            ui.name = entry.name;
            ui.problem.clear();
            ui.replacing.clear();
        }
        if (twice && entry.folder)
            enter = entry.name;
        pick = pick || (twice && !entry.folder);
        ImGui::PopID();
    }
    ImGui::EndChild();
    // After the list: entering a folder replaces the entries listed. The
    // name of a file to save stays for the folder entered.
    if (!enter.empty()) {
        enterFolder(ui, joinPath(ui.folder, enter));
        if (!request.saving)
            ui.name.clear();
    } else if (pick) {
        accept(state, ui);
    }
}

// Returns whether Enter was pressed in the field.
bool nameField(const WindowState::BrowseRequest &request, BrowserUi &ui)
{
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted("Name");
    ImGui::SameLine();
    std::string kinds;
    for (const std::string &extension : request.extensions)
        kinds += (kinds.empty() ? "" : " ") + extension;
    const float hintWidth =
        kinds.empty() ? 0.0f : ImGui::CalcTextSize(kinds.c_str()).x + ImGui::GetStyle().ItemSpacing.x;
    ImGui::SetNextItemWidth(-hintWidth - 1.0f);
    if (ui.focusName) {
        ImGui::SetKeyboardFocusHere();
        ui.focusName = false;
    }
    const bool entered = ImGui::InputText("##name", &ui.name, ImGuiInputTextFlags_EnterReturnsTrue);
    if (ImGui::IsItemEdited()) {
        ui.problem.clear();
        ui.replacing.clear();
    }
    if (!kinds.empty()) {
        ImGui::SameLine();
        ImGui::TextDisabled("%s", kinds.c_str());
    }
    return entered;
}

void buttons(WindowState &state, BrowserUi &ui, bool entered)
{
    const ImVec2 size(100.0f, 0.0f);
    if (!ui.replacing.empty()) {
        ImGui::TextWrapped("%s exists. Replace it?", ui.replacing.c_str());
        const std::string path = ui.replacing;
        if (ImGui::Button("Replace", size))
            finish(state, ui, &path);
        else {
            ImGui::SameLine();
            if (ImGui::Button("Back", size))
                ui.replacing.clear();
        }
        return;
    }
    if (!ui.problem.empty())
        ImGui::TextColored(ImVec4(1.0f, 0.45f, 0.4f, 1.0f), "%s", ui.problem.c_str());
    ImGui::BeginDisabled(ui.name.empty());
    const bool ok = ImGui::Button("OK", size) || (entered && !ui.name.empty());
    ImGui::EndDisabled();
    ImGui::SameLine();
    const bool escape = !ImGui::IsAnyItemActive() &&
                        ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false);
    if (ImGui::Button("Cancel", size) || escape)
        finish(state, ui, nullptr);
    else if (ok)
        accept(state, ui);
}

void browserContents(WindowState &state, BrowserUi &ui)
{
    const WindowState::BrowseRequest &request = state.browse.front();
    header(ui);
    // Below the list: the name, a line for a problem or a question, buttons.
    const float footer = ImGui::GetFrameHeightWithSpacing() * 2.0f +
                         ImGui::GetTextLineHeightWithSpacing();
    entryList(state, ui, -footer);
    if (!ui.open)
        return; // a double-clicked file was chosen
    const bool entered = nameField(request, ui);
    buttons(state, ui, entered);
}

} // namespace

void drawFileBrowser(WindowState &state)
{
    if (state.browse.empty())
        return;
    BrowserUi &ui = browserUi();
    if (!ui.open) {
        begin(ui);
        ImGui::OpenPopup(kPopupId);
    }
    const ImGuiViewport *screen = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(screen->GetCenter(), ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(640.0f, 440.0f), ImGuiCond_Appearing);
    bool keep = true;
    const std::string title = state.browse.front().title + kPopupId;
    if (!ImGui::BeginPopupModal(title.c_str(), &keep)) {
        // The close box cancels; a modal ImGui closed otherwise opens again.
        if (!keep) {
            state.browse.erase(state.browse.begin());
        }
        ui.open = false;
        return;
    }
    browserContents(state, ui);
    ImGui::EndPopup();
}

} // namespace cloudview::window
