// The layer types' frames as ImGui windows, one per open frame, with a
// widget per part. Values the user changes reach the layer type as the
// part's command, posted to run after the frame: by then the frame or the
// part may be gone (earlier work may have closed it), so each posted
// command looks for both again first.
#include <imgui.h>
#include <imgui_internal.h> // the active item, to tell a drag from typing
#include <imgui_stdlib.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <unordered_map>

#include "hmllib/script_model.h"
#include "hmllib/script_ui.h"
#include "panels.h"
#include "viewer.h"

namespace cloudview::window {

namespace {

using host::PartKind;

// Where the windows of frames go when they first appear: right of the
// stacker, below the menu bar, each new one a step down and right of the
// last so that none hides another completely.
constexpr float kStackerWidth = 260.0f;
constexpr float kMargin = 10.0f;
constexpr float kCascadeStep = 28.0f;
constexpr int kCascadeSlots = 8;
// Widths of a labelled row's columns.
constexpr float kMaxLabelWidth = 180.0f;
constexpr float kFieldWidth = 230.0f;

struct FrameWindow {
    int slot = 0;
    float top = 0.0f; // where it was placed, for the height it may take
    bool seen = false;
    // A frame with a footer: the heights its scrolling parts and its
    // footer took in the last ImGui frame (0 before the first), and the
    // width the window had then (the user may widen it).
    float bodyHeight = 0.0f, footerHeight = 0.0f, width = 0.0f;
};

// What the window remembers of frames between ImGui frames. Keyed by
// pointer: a frame removed and another made at the same address in the
// same frame only keeps the old one's place.
struct FramesUi {
    std::unordered_map<const HFrame *, FrameWindow> windows;
    // Canvases shown and exposed; one not shown for a frame is forgotten
    // and exposed again when it shows, as a window system does on mapping.
    std::unordered_map<const HCanvas *, bool> exposed;
    const HFrame *top = nullptr; // the most recently shown or raised frame
    // What is being typed into a number field, until the typing ends.
    std::unordered_map<const HFrame *, std::string> typed;
};

FramesUi &framesUi()
{
    static FramesUi ui;
    return ui;
}

// ImGui ends a label's visible text at "##"; a script's text shows whole.
std::string visible(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '#' && !out.empty() && out.back() == '#')
            out += ' ';
        out += c;
    }
    return out;
}

std::string frameTitle(const HFrame *frame)
{
    return frame->label.empty() ? frame->name : frame->label;
}

bool holdsPart(const HFrame *frame, const HFrame *part)
{
    for (const auto &p : frame->parts)
        if (p.get() == part || holdsPart(p.get(), part))
            return true;
    return false;
}

bool isOpen(const HFrame *frame)
{
    const std::vector<HFrame *> open = host::openFrames();
    return std::find(open.begin(), open.end(), frame) != open.end();
}

HFrame *partByLabel(HFrame *frame, const std::string &label)
{
    for (const auto &p : frame->parts) {
        if (p->label == label)
            return p.get();
        if (HFrame *inner = partByLabel(p.get(), label))
            return inner;
    }
    return nullptr;
}

// The word firePart finds the part by: its name, or its label for an
// unnamed part. Empty when that word would find another part first.
std::string fireKey(HFrame *frame, const HFrame *part)
{
    if (!part->name.empty())
        return part->name;
    if (part->label.empty() || host::findPart(frame, part->label) ||
        partByLabel(frame, part->label) != part)
        return "";
    return part->label;
}

void reportFailure(WindowState &state, const HFrame *frame, const std::string &what,
                   const std::string &error)
{
    state.report(frameTitle(frame) + ": " + what + ": " + error);
}

// Fires the part with the value after the frame, if frame and part are
// still shown then.
void postFire(WindowState &state, HFrame *frame, HFrame *part, const std::string &value)
{
    state.work.post([&state, frame, part, value] {
        if (!isOpen(frame) || !holdsPart(frame, part))
            return;
        const std::string key = fireKey(frame, part);
        if (key.empty()) {
            reportFailure(state, frame, part->label,
                          "another part has the same label; its command cannot be told apart");
            return;
        }
        const host::CommandResult r = host::firePart(frame, key, value);
        if (!r.error.empty())
            reportFailure(state, frame, key, r.error);
        state.viewer.syncLayers();
    }, part->kind == host::PartKind::Button ? part->label : "Set " + part->label);
}

void postClose(WindowState &state, HFrame *frame)
{
    state.work.post([&state, frame] {
        if (!isOpen(frame))
            return;
        const std::string title = frameTitle(frame); // the frame may go with the command
        const host::CommandResult r = host::closeFrame(frame);
        if (!r.error.empty())
            state.report(title + ": closing: " + r.error);
        state.viewer.syncLayers();
    });
}

// A canvas with a handler hears once that it is on screen, after the
// frame that first shows it.
void exposeWhenFirstShown(WindowState &state, const HFrame *part, HCanvas *canvas)
{
    auto [entry, isNew] = framesUi().exposed.try_emplace(canvas, true);
    entry->second = true;
    if (!isNew || !canvas->handler)
        return;
    state.work.post([part, canvas] {
        if (host::canvasOfPart(part) == canvas)
            host::sendCanvasEvent(canvas, HCANVAS_EXPOSE);
    });
}

// Numbers.

bool sliderFits(const HFrame *part)
{
    const double limit = DBL_MAX / 4.0; // keeps max - min finite
    return part->ranged && std::isfinite(part->number) && std::isfinite(part->minimum) &&
           std::isfinite(part->maximum) && part->minimum <= part->maximum &&
           std::fabs(part->minimum) <= limit && std::fabs(part->maximum) <= limit;
}

// Decimals that show x exactly enough (0 for whole numbers, at most 6).
int decimalsOf(double x)
{
    double scaled = std::fabs(x);
    for (int d = 0; d < 6; ++d, scaled *= 10.0)
        if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * std::max(1.0, scaled))
            return d;
    return 6;
}

bool steps(const HFrame *part)
{
    return part->step > 0.0 && std::isfinite(part->step);
}

int numberDecimals(const HFrame *part)
{
    const int d = decimalsOf(part->step);
    return part->ranged ? std::max(d, decimalsOf(part->minimum)) : d;
}

std::string numberFormat(const HFrame *part)
{
    if (!steps(part))
        return "%.10g";
    return "%." + std::to_string(numberDecimals(part)) + "f";
}

// The slider's value moved to the nearest step from the minimum, written
// with the step's decimals so that 0.15 reaches the layer type as 0.15.
double snapped(const HFrame *part, double value)
{
    if (steps(part)) {
        const double n = std::round((value - part->minimum) / part->step);
        const double onStep = part->minimum + n * part->step;
        if (std::isfinite(onStep)) {
            char text[64];
            std::snprintf(text, sizeof text, "%.*f", numberDecimals(part), onStep);
            value = std::strtod(text, nullptr);
        }
    }
    return std::clamp(value, part->minimum, part->maximum);
}

// While dragging, ImGui prints the value under the pointer, which lies
// between steps; the slider shows the stepped value it sent instead (a
// format without a conversion is printed as it stands).
std::string sliderFormat(const HFrame *part, ImGuiID id)
{
    if (!steps(part) || ImGui::GetActiveID() != id || ImGui::TempInputIsActive(id))
        return numberFormat(part);
    char shown[512];
    std::snprintf(shown, sizeof shown, "%.*f", numberDecimals(part), part->number);
    return shown;
}

void numberSlider(WindowState &state, HFrame *frame, HFrame *part)
{
    double value = part->number;
    const std::string format = sliderFormat(part, ImGui::GetID("##v"));
    if (ImGui::SliderScalar("##v", ImGuiDataType_Double, &value, &part->minimum, &part->maximum,
                            format.c_str(), ImGuiSliderFlags_AlwaysClamp)) {
        value = snapped(part, value);
        if (value != part->number)
            postFire(state, frame, part, host::numberText(value));
    }
}

// A typed number is read when the typing ends, and its command sent then:
// half a number ("1" of "1500") reaches nobody. Text that is not a whole
// number ("fab", "12e3x") is refused with a message; the part keeps its
// value rather than its leading digits.
void numberField(WindowState &state, HFrame *frame, HFrame *part)
{
    char shown[512];
    std::snprintf(shown, sizeof shown, numberFormat(part).c_str(), part->number);
    std::string text = shown;
    auto &typed = framesUi().typed;
    if (ImGui::InputText("##v", &text))
        typed[part] = text;
    if (!ImGui::IsItemDeactivatedAfterEdit())
        return;
    const auto found = typed.find(part);
    if (found == typed.end())
        return;
    const std::string entered = found->second;
    typed.erase(found);
    char *end = nullptr;
    const double value = std::strtod(entered.c_str(), &end);
    while (end && (*end == ' ' || *end == '\t'))
        ++end;
    if (end == entered.c_str() || *end || !std::isfinite(value)) {
        reportFailure(state, frame, part->label,
                      "\"" + entered + "\" is not a number; it keeps " + shown);
        return;
    }
    host::setPartValue(part, host::numberText(value));
    postFire(state, frame, part, host::numberText(value));
}

// Texts and choices.

void stringField(WindowState &state, HFrame *frame, HFrame *part)
{
    std::string text = part->text;
    if (ImGui::InputText("##v", &text))
        host::setPartValue(part, text);
    // A message longer than its field is shown whole beneath it.
    if (!ImGui::IsItemActive() && ImGui::CalcTextSize(part->text.c_str()).x >
                                      ImGui::GetItemRectSize().x - ImGui::GetStyle().FramePadding.x * 2.0f)
        ImGui::TextWrapped("%s", part->text.c_str());
    if (ImGui::IsItemDeactivatedAfterEdit() && !part->command.empty())
        postFire(state, frame, part, part->text);
}

void choiceCombo(WindowState &state, HFrame *frame, HFrame *part)
{
    if (!ImGui::BeginCombo("##v", visible(part->text).c_str()))
        return;
    for (size_t i = 0; i < part->items.size(); ++i) {
        ImGui::PushID(static_cast<int>(i));
        const bool chosen = static_cast<int32_t>(i) == part->selected;
        if (ImGui::Selectable(visible(part->items[i]).c_str(), chosen))
            postFire(state, frame, part, part->items[i]);
        if (chosen)
            ImGui::SetItemDefaultFocus();
        ImGui::PopID();
    }
    ImGui::EndCombo();
}

float colourComponent(double c)
{
    return std::isfinite(c) ? static_cast<float>(std::clamp(c, 0.0, 1.0)) : 0.0f;
}

void colourButton(WindowState &state, HFrame *frame, HFrame *part)
{
    float rgb[3] = {colourComponent(part->color[0]), colourComponent(part->color[1]),
                    colourComponent(part->color[2])};
    if (!ImGui::ColorEdit3("##v", rgb, ImGuiColorEditFlags_NoInputs | ImGuiColorEditFlags_NoLabel))
        return;
    char text[96];
    std::snprintf(text, sizeof text, "%.6g %.6g %.6g", rgb[0], rgb[1], rgb[2]);
    postFire(state, frame, part, text);
}

// Parts without a row label.

void labelText(const HFrame *part)
{
    ImGui::TextWrapped("%s", (part->text.empty() ? part->label : part->text).c_str());
}

// A button's text value, when its layer type set one, is its label.
std::string buttonText(const HFrame *part)
{
    return visible(!part->text.empty()    ? part->text
                   : part->label.empty() ? part->name
                                         : part->label);
}

// Buttons in a row share a line while they fit.
void flowAfterButton(const std::string &text)
{
    const ImGuiStyle &style = ImGui::GetStyle();
    const float width = ImGui::CalcTextSize(text.c_str()).x + style.FramePadding.x * 2.0f;
    const float lastRight = ImGui::GetItemRectMax().x;
    const float limit = ImGui::GetWindowPos().x + ImGui::GetWindowContentRegionMax().x;
    if (lastRight + style.ItemSpacing.x + width <= limit)
        ImGui::SameLine();
}

void button(WindowState &state, HFrame *frame, HFrame *part, bool afterButton)
{
    const std::string text = buttonText(part);
    if (afterButton)
        flowAfterButton(text);
    if (ImGui::Button(text.c_str()))
        postFire(state, frame, part, "");
}

void canvasImage(WindowState &state, CanvasTextures &textures, HFrame *part)
{
    HCanvas *canvas = host::canvasOfPart(part);
    const float width = static_cast<float>(canvas ? canvas->width : std::max(1, part->width));
    const float height = static_cast<float>(canvas ? canvas->height : std::max(1, part->height));
    const float room = ImGui::GetContentRegionAvail().x;
    // Centred on whole pixels: the texture shows its pixels one to one.
    if (room > width)
        ImGui::SetCursorPosX(std::floor(ImGui::GetCursorPosX() + (room - width) * 0.5f));
    const unsigned texture = textures.texture(canvas);
    if (texture) {
        ImGui::Image(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(texture)),
                     ImVec2(width, height));
        exposeWhenFirstShown(state, part, canvas);
    } else {
        // The layer type has not made the canvas (yet): its place, empty.
        ImGui::Dummy(ImVec2(width, height));
        ImGui::GetWindowDrawList()->AddRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax(),
                                            ImGui::GetColorU32(ImGuiCol_Border));
    }
}

// Rows.

bool hasRowLabel(PartKind kind)
{
    return kind == PartKind::Number || kind == PartKind::String || kind == PartKind::Choice ||
           kind == PartKind::Popup || kind == PartKind::Color;
}

float labelColumnWidth(const HFrame *frame)
{
    float widest = 0.0f;
    for (const auto &part : frame->parts)
        if (hasRowLabel(part->kind) && !part->label.empty())
            widest = std::max(widest, ImGui::CalcTextSize(visible(part->label).c_str()).x);
    return std::min(widest, kMaxLabelWidth) + ImGui::GetStyle().ItemSpacing.x * 2.0f;
}

void valueWidget(WindowState &state, HFrame *frame, HFrame *part)
{
    switch (part->kind) {
    case PartKind::Number:
        if (sliderFits(part))
            numberSlider(state, frame, part);
        else
            numberField(state, frame, part);
        break;
    case PartKind::String: stringField(state, frame, part); break;
    case PartKind::Choice:
    case PartKind::Popup: choiceCombo(state, frame, part); break;
    case PartKind::Color: colourButton(state, frame, part); break;
    default: break;
    }
}

// A value part: its label on the left, its widget filling the rest.
void labelledRow(WindowState &state, HFrame *frame, HFrame *part, float labelColumn)
{
    if (!part->label.empty()) {
        const float rowStart = ImGui::GetCursorPosX();
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted(visible(part->label).c_str());
        ImGui::SameLine(rowStart + labelColumn);
    }
    if (part->kind != PartKind::Color)
        ImGui::SetNextItemWidth(-FLT_MIN);
    valueWidget(state, frame, part);
}

// Draws the group's parts from first up to (not including) last.
void drawParts(WindowState &state, CanvasTextures &textures, HFrame *frame, HFrame *group,
               size_t first = 0, size_t last = SIZE_MAX)
{
    const float labelColumn = labelColumnWidth(group);
    bool afterButton = false;
    for (size_t i = first; i < std::min(last, group->parts.size()); ++i) {
        HFrame *part = group->parts[i].get();
        ImGui::PushID(part);
        switch (part->kind) {
        case PartKind::Label:
            // A label between parts heads the parts after it.
            if (i > first) {
                ImGui::Spacing();
                ImGui::Separator();
            }
            labelText(part);
            break;
        case PartKind::Button: button(state, frame, part, afterButton); break;
        case PartKind::Canvas: canvasImage(state, textures, part); break;
        case PartKind::Frame:
            labelText(part);
            ImGui::Indent();
            drawParts(state, textures, frame, part);
            ImGui::Unindent();
            break;
        default: labelledRow(state, frame, part, labelColumn); break;
        }
        afterButton = part->kind == PartKind::Button;
        ImGui::PopID();
    }
}

// Windows.

float widestCanvas(const HFrame *frame)
{
    float widest = 0.0f;
    for (const auto &part : frame->parts) {
        if (part->kind == PartKind::Canvas) {
            const HCanvas *canvas = host::canvasOfPart(part.get());
            widest = std::max(widest, static_cast<float>(canvas ? canvas->width : part->width));
        } else if (part->kind == PartKind::Frame) {
            widest = std::max(widest, widestCanvas(part.get()) + ImGui::GetStyle().IndentSpacing);
        }
    }
    return widest;
}

float windowWidth(const HFrame *frame)
{
    const ImGuiStyle &style = ImGui::GetStyle();
    const float content = std::max(labelColumnWidth(frame) + kFieldWidth, widestCanvas(frame));
    return content + style.WindowPadding.x * 2.0f + style.ScrollbarSize;
}

int freeSlot(const FramesUi &ui)
{
    for (int slot = 0;; ++slot) {
        const bool taken = std::any_of(ui.windows.begin(), ui.windows.end(),
                                       [slot](const auto &w) { return w.second.slot == slot; });
        if (!taken || slot >= kCascadeSlots)
            return slot % kCascadeSlots;
    }
}

// Places a frame's window the first time it shows: its width from its
// parts, its height fitted to them.
FrameWindow placeNewWindow(WindowState &state, const HFrame *frame)
{
    FrameWindow w;
    w.slot = freeSlot(framesUi());
    const ImGuiViewport *screen = ImGui::GetMainViewport();
    const float left = screen->WorkPos.x + (state.showStacker ? kStackerWidth : 0.0f) + kMargin;
    w.top = screen->WorkPos.y + kMargin + w.slot * kCascadeStep;
    ImGui::SetNextWindowPos(ImVec2(left + w.slot * kCascadeStep, w.top), ImGuiCond_Always);
    ImGui::SetNextWindowSize(ImVec2(windowWidth(frame), 0.0f), ImGuiCond_Always);
    return w;
}

// The tallest a frame's window may be: it stays above the status bar.
float mostHeight(const FrameWindow &w)
{
    const ImGuiViewport *screen = ImGui::GetMainViewport();
    const float bottom = screen->Pos.y + screen->Size.y - ImGui::GetFrameHeight() - kMargin;
    return std::max(120.0f, bottom - w.top);
}

// Keeps a tall frame's window above the status bar; its parts scroll.
void limitHeight(const FrameWindow &w)
{
    ImGui::SetNextWindowSizeConstraints(ImVec2(160.0f, 60.0f), ImVec2(FLT_MAX, mostHeight(w)));
}

// Where the frame's footer starts among its parts; none: its part count.
size_t footerStart(const HFrame *frame)
{
    size_t i = 0;
    while (i < frame->parts.size() &&
           (frame->footer.empty() || frame->parts[i]->name != frame->footer))
        ++i;
    return i;
}

// A frame with a footer: the window fits its parts up to the screen's
// room, as any frame's does, but only the parts above the footer scroll,
// so what the footer holds (the buttons that act on the fields and what
// they will do) stays in view however tall the frame. Heights are those
// measured in the last ImGui frame; the first is drawn at full height.
void sizeFooterWindow(const FrameWindow &w)
{
    const ImGuiStyle &style = ImGui::GetStyle();
    const float chrome = ImGui::GetFrameHeight() + style.WindowPadding.y * 2.0f +
                         style.ItemSpacing.y * 2.0f + 1.0f;
    const float content = w.bodyHeight > 0.0f ? w.bodyHeight + w.footerHeight + chrome : FLT_MAX;
    ImGui::SetNextWindowSize(ImVec2(w.width, std::min(content, mostHeight(w))), ImGuiCond_Always);
}

void drawWithFooter(WindowState &state, CanvasTextures &textures, HFrame *frame, FrameWindow &w,
                    size_t footer)
{
    const ImGuiStyle &style = ImGui::GetStyle();
    const float footerRoom = w.footerHeight > 0.0f ? w.footerHeight
                                                   : ImGui::GetFrameHeightWithSpacing() * 3.0f;
    if (ImGui::BeginChild("parts", ImVec2(0.0f, -(footerRoom + style.ItemSpacing.y + 1.0f)))) {
        drawParts(state, textures, frame, frame, 0, footer);
        w.bodyHeight = ImGui::GetCursorPosY();
    }
    ImGui::EndChild();
    ImGui::Separator();
    const float top = ImGui::GetCursorPosY();
    drawParts(state, textures, frame, frame, footer);
    w.footerHeight = ImGui::GetCursorPosY() - top;
    w.width = ImGui::GetWindowWidth();
}

// Window titles: the frame's, with the layer's name when several open
// frames have the same one (each layer shows its own copy of a frame).
std::string windowTitle(WindowState &state, const HFrame *frame,
                        const std::map<std::string, int> &titleCounts)
{
    std::string title = visible(frameTitle(frame));
    const auto count = titleCounts.find(frameTitle(frame));
    HLayer *layer = static_cast<HLayer *>(frame->frameContext);
    if (count != titleCounts.end() && count->second > 1 && state.viewer.scene().contains(layer))
        title += " - " + visible(layerDisplayName(layer));
    char id[48];
    std::snprintf(id, sizeof id, "###frame%p", static_cast<const void *>(frame));
    return title + id;
}

void drawFrameWindow(WindowState &state, CanvasTextures &textures, HFrame *frame,
                     const std::string &title, bool raise)
{
    FramesUi &ui = framesUi();
    const bool isNew = ui.windows.count(frame) == 0;
    if (isNew)
        ui.windows[frame] = placeNewWindow(state, frame);
    FrameWindow &w = ui.windows[frame];
    w.seen = true;
    if (!isNew && raise)
        ImGui::SetNextWindowFocus();
    limitHeight(w);
    const size_t footer = footerStart(frame);
    if (footer < frame->parts.size()) {
        if (w.width <= 0.0f)
            w.width = windowWidth(frame);
        sizeFooterWindow(w);
    }
    bool open = true;
    if (ImGui::Begin(title.c_str(), &open)) {
        if (footer < frame->parts.size())
            drawWithFooter(state, textures, frame, w, footer);
        else
            drawParts(state, textures, frame, frame);
    }
    ImGui::End();
    // The close box asks the layer type, which closes the frame or not.
    if (!open)
        postClose(state, frame);
}

void forgetClosed(FramesUi &ui)
{
    for (auto it = ui.windows.begin(); it != ui.windows.end();) {
        if (!it->second.seen) {
            it = ui.windows.erase(it);
        } else {
            it->second.seen = false;
            ++it;
        }
    }
    for (auto it = ui.exposed.begin(); it != ui.exposed.end();) {
        if (!it->second) {
            it = ui.exposed.erase(it);
        } else {
            it->second = false;
            ++it;
        }
    }
}

} // namespace

void drawFrames(WindowState &state, CanvasTextures &textures)
{
    FramesUi &ui = framesUi();
    const std::vector<HFrame *> frames = host::openFrames();
    std::map<std::string, int> titleCounts;
    for (const HFrame *frame : frames)
        ++titleCounts[frameTitle(frame)];
    const HFrame *top = frames.empty() ? nullptr : frames.back();
    for (HFrame *frame : frames)
        drawFrameWindow(state, textures, frame, windowTitle(state, frame, titleCounts),
                        frame == top && top != ui.top);
    ui.top = top;
    forgetClosed(ui);
}

} // namespace cloudview::window
