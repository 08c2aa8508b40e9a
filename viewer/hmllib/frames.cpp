// Frames, parts, popup sets, menus and running commands.
//
// A frame taken from the script (hhml_PartFind) is the script's own and
// hhml_FrameRemove only hides it, so it can be shown again; a copy
// (hhml_PartDup) is an independent open frame instance (its own values,
// context, source window and displayed flag) and hhml_FrameRemove
// destroys it.
#include "hlib/error.h"
#include "hmllib.h"
#include "hmllib/internal.h"
#include "hmllib/script_ui.h"
#include "tolatoollib.h"
#include "tolatoollib/scene.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace host {
namespace {

std::vector<HFrame *> &displayedFrames() {
    static std::vector<HFrame *> frames;
    return frames;
}

bool isTextKind(PartKind kind) {
    return kind == PartKind::String || kind == PartKind::Choice || kind == PartKind::Popup ||
           kind == PartKind::Label;
}

// Sets a text value; popups and choices select the item of that text.
void setText(HFrame *part, const std::string &text) {
    part->text = text;
    if (part->kind == PartKind::Popup || part->kind == PartKind::Choice) {
        const auto found = std::find(part->items.begin(), part->items.end(), text);
        part->selected = found == part->items.end() ? -1 : int32_t(found - part->items.begin());
    }
}

bool readNumber(const std::string &text, double &value) {
    const char *begin = text.c_str();
    char *end = nullptr;
    errno = 0;
    value = std::strtod(begin, &end);
    while (end && (*end == ' ' || *end == '\t'))
        ++end;
    return end != begin && !*end && errno != ERANGE;
}

std::unique_ptr<HFrame> clonePart(const HFrame &source, HFrame *owner) {
    auto copy = std::make_unique<HFrame>();
    copy->kind = source.kind;
    copy->name = source.name;
    copy->label = source.label;
    copy->command = source.command;
    copy->context = source.context;
    copy->line = source.line;
    copy->column = source.column;
    copy->number = source.number;
    copy->minimum = source.minimum;
    copy->maximum = source.maximum;
    copy->step = source.step;
    copy->ranged = source.ranged;
    copy->text = source.text;
    copy->items = source.items;
    copy->selected = source.selected;
    std::copy(source.color, source.color + 3, copy->color);
    copy->width = source.width;
    copy->height = source.height;
    copy->frame = owner;
    copy->script = source.script;
    copy->closeCommand = source.closeCommand;
    copy->footer = source.footer;
    for (const auto &part : source.parts)
        copy->parts.push_back(clonePart(*part, copy.get()));
    return copy;
}

// The scene whose window a frame or menu belongs to; the viewer's scene
// when the window is unknown or gone.
HScene *sceneOfWindow(HWindow *window) {
    if (window)
        for (Scene *scene : Scene::liveScenes())
            if (scene->window() == window)
                return scene->hscene();
    return tola_ViewerGetScene();
}

HFrame *frameOf(HFrame *part) {
    while (part && part->frame)
        part = part->frame;
    return part;
}

std::string substitute(const std::string &word, const HFrame *part) {
    std::string out;
    for (size_t i = 0; i < word.size();) {
        if (word[i] == '{') {
            const size_t close = word.find('}', i);
            if (close != std::string::npos) {
                const std::string key = word.substr(i + 1, close - i - 1);
                std::string value;
                bool known = true;
                if (key == "value")
                    value = partValueText(part);
                else if (key.rfind("value:", 0) == 0)
                    value = partValueText(findPart(frameOf(const_cast<HFrame *>(part)), key.substr(6)));
                else if (key == "r")
                    value = hml::formatNumber(part->color[0]);
                else if (key == "g")
                    value = hml::formatNumber(part->color[1]);
                else if (key == "b")
                    value = hml::formatNumber(part->color[2]);
                else
                    known = false;
                if (known) {
                    out += value;
                    i = close + 1;
                    continue;
                }
            }
        }
        out += word[i++];
    }
    return out;
}

// The command line being run, outermost first: a frame shown by it
// remembers it.
std::vector<std::string> &runningLines() {
    static std::vector<std::string> lines;
    return lines;
}

CommandResult runWords(HScript *script, const std::vector<std::string> &words, void *context) {
    CommandResult result;
    if (words.empty()) {
        result.error = "empty command";
        return result;
    }
    const HCommand *command = hml::findCommand(script, words[0]);
    if (!command || !command->fn) {
        result.error = "unknown command '" + words[0] + "'";
        return result;
    }
    // The command gets writable copies, as a C caller would make them.
    std::vector<std::vector<char>> storage;
    std::vector<char *> argv;
    for (size_t i = 1; i < words.size(); ++i) {
        storage.emplace_back(words[i].begin(), words[i].end());
        storage.back().push_back('\0');
    }
    for (auto &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::string line;
    for (const std::string &w : words)
        line += (line.empty() ? "" : " ") + (w.find_first_of(" \t") == std::string::npos ? w : "\"" + w + "\"");
    runningLines().push_back(line);
    result.ran = true;
    result.status = command->fn(nullptr, context, int32_t(storage.size()), argv.data(), &result.slot);
    runningLines().pop_back();
    if (result.slot)
        result.error = herr_Message(result.slot);
    return result;
}

HFrame *findPartByLabel(HFrame *frame, const std::string &label) {
    for (const auto &part : frame->parts) {
        if (part->label == label)
            return part.get();
        if (HFrame *inner = findPartByLabel(part.get(), label))
            return inner;
    }
    return nullptr;
}

} // namespace

const char *partKindName(PartKind kind) {
    switch (kind) {
    case PartKind::Frame: return "frame";
    case PartKind::Popup: return "popup";
    case PartKind::Canvas: return "canvas";
    case PartKind::Number: return "number";
    case PartKind::String: return "string";
    case PartKind::Choice: return "choice";
    case PartKind::Color: return "color";
    case PartKind::Button: return "button";
    case PartKind::Label: return "label";
    }
    return "part";
}

namespace hml {

bool splitCommandLine(const std::string &line, std::vector<std::string> &words,
                      std::string *error) {
    words.clear();
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\n' || line[i] == '\r') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string::npos) {
                if (error)
                    *error = "unclosed quote";
                return false;
            }
            word = line.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\n' &&
                   line[i] != '\r')
                word += line[i++];
        }
        words.push_back(word);
    }
    return true;
}

std::vector<std::string> referencedParts(const std::string &line) {
    std::vector<std::string> names;
    const std::string opening = "{value:";
    for (size_t at = line.find(opening); at != std::string::npos; at = line.find(opening, at + 1)) {
        const size_t close = line.find('}', at);
        if (close != std::string::npos)
            names.push_back(line.substr(at + opening.size(), close - at - opening.size()));
    }
    return names;
}

std::string formatNumber(double value) {
    char buffer[40];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value)
            break;
    }
    return buffer;
}

const HCommand *findCommand(const HScript *script, const std::string &name) {
    if (!script)
        return nullptr;
    for (const HCommand &command : script->commands)
        if (command.name && name == command.name)
            return &command;
    return nullptr;
}

void closeOpenFrame(const HFrame *frame) {
    auto &frames = displayedFrames();
    frames.erase(std::remove(frames.begin(), frames.end(), frame), frames.end());
}

void destroyCopy(HFrame *frame) {
    closeOpenFrame(frame);
    detachCanvases(frame);
    if (frame->script) {
        auto &copies = frame->script->copies;
        copies.erase(std::remove(copies.begin(), copies.end(), frame), copies.end());
    }
    delete frame;
}

} // namespace hml

std::vector<HFrame *> openFrames() { return displayedFrames(); }

HFrame *findOpenFrame(const std::string &name, void *context) {
    const auto &frames = displayedFrames();
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        if ((*it)->name == name && (!context || (*it)->frameContext == context))
            return *it;
    return nullptr;
}

HFrame *findPart(HFrame *frame, const std::string &name) {
    if (!frame || name.empty())
        return nullptr;
    for (const auto &part : frame->parts) {
        if (part->name == name)
            return part.get();
        if (HFrame *inner = findPart(part.get(), name))
            return inner;
    }
    return nullptr;
}

std::string numberText(double value) { return hml::formatNumber(value); }

std::string partValueText(const HFrame *part) {
    if (!part)
        return "";
    switch (part->kind) {
    case PartKind::Number: return hml::formatNumber(part->number);
    case PartKind::Color:
        return hml::formatNumber(part->color[0]) + " " + hml::formatNumber(part->color[1]) + " " +
               hml::formatNumber(part->color[2]);
    default: return isTextKind(part->kind) || part->kind == PartKind::Button ? part->text : "";
    }
}

bool setPartValue(HFrame *part, const std::string &value, std::string *error) {
    auto refuse = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!part)
        return refuse("no part");
    switch (part->kind) {
    case PartKind::Number: {
        double number;
        if (!readNumber(value, number))
            return refuse("'" + value + "' is not a number");
        part->number = number;
        return true;
    }
    case PartKind::Color: {
        std::istringstream in(value);
        double rgb[3];
        std::string rest;
        if (!(in >> rgb[0] >> rgb[1] >> rgb[2]) || (in >> rest))
            return refuse("'" + value + "' is not a colour \"r g b\"");
        std::copy(rgb, rgb + 3, part->color);
        return true;
    }
    default:
        // A button's text, when set, is shown as its label.
        if (!isTextKind(part->kind) && part->kind != PartKind::Button)
            return refuse(std::string("a ") + partKindName(part->kind) + " part holds no value");
        setText(part, value);
        return true;
    }
}

namespace {
HFrame *firing = nullptr;

// Sets the firing frame for one command and puts the outer one back.
class Firing {
public:
    explicit Firing(HFrame *frame) : outer_(firing) { firing = frame; }
    ~Firing() { firing = outer_; }
    Firing(const Firing &) = delete;
    Firing &operator=(const Firing &) = delete;

private:
    HFrame *outer_;
};
}  // namespace

HFrame *firingFrame() { return firing; }

CommandResult firePart(HFrame *frame, const std::string &partName, const std::string &value) {
    CommandResult result;
    HFrame *part = findPart(frame, partName);
    if (!part && frame)
        part = findPartByLabel(frame, partName);
    if (!part) {
        result.error = "no part '" + partName + "' in frame '" + (frame ? frame->name : "") + "'";
        return result;
    }
    if (part->kind != PartKind::Button && !setPartValue(part, value, &result.error))
        return result;
    if (part->command.empty())
        return result;
    std::vector<std::string> words;
    if (!hml::splitCommandLine(part->command, words, &result.error))
        return result;
    for (size_t i = 1; i < words.size(); ++i)
        words[i] = substitute(words[i], part);
    HFrame *owner = frameOf(part);
    void *context = part->context == CommandContext::Scene
                        ? static_cast<void *>(sceneOfWindow(owner->source))
                        : owner->frameContext;
    Firing firing(owner);
    return runWords(part->script, words, context);
}

CommandResult runCommand(HScript *script, const std::string &name, void *context,
                         const std::vector<std::string> &args) {
    std::vector<std::string> words{name};
    words.insert(words.end(), args.begin(), args.end());
    return runWords(script, words, context);
}

CommandResult runCommandLine(HScript *script, const std::string &line, void *context) {
    CommandResult result;
    std::vector<std::string> words;
    if (!hml::splitCommandLine(line, words, &result.error))
        return result;
    return runWords(script, words, context);
}

CommandResult closeFrame(HFrame *frame) {
    CommandResult result;
    if (!frame) {
        result.error = "no frame";
        return result;
    }
    if (frame->closeCommand.empty()) {
        hhml_FrameRemove(frame, nullptr);
        return result;
    }
    return runCommandLine(frame->script, frame->closeCommand, frame->frameContext);
}

HMenu *findMenu(HScript *script, const std::string &name) {
    if (!script)
        return nullptr;
    for (const auto &menu : script->menus)
        if (menu->name == name)
            return menu.get();
    return nullptr;
}

const MenuItem *findMenuItem(const HMenu *menu, const std::string &nameOrLabel) {
    if (!menu)
        return nullptr;
    for (const MenuItem &item : menu->items)
        if (!item.separator && !item.name.empty() && item.name == nameOrLabel)
            return &item;
    for (const MenuItem &item : menu->items)
        if (!item.separator && item.label == nameOrLabel)
            return &item;
    return nullptr;
}

CommandResult fireMenuItem(HMenu *menu, const std::string &nameOrLabel, void *context) {
    const MenuItem *item = findMenuItem(menu, nameOrLabel);
    if (!item) {
        CommandResult result;
        result.error = "no item '" + nameOrLabel + "' in menu '" + (menu ? menu->name : "") + "'";
        return result;
    }
    void *target = item->context == CommandContext::Scene
                       ? static_cast<void *>(sceneOfWindow(menu->window))
                       : context;
    return runCommandLine(menu->script, item->command, target);
}

const Action *findAction(HScript *script, const std::string &name) {
    if (!script)
        return nullptr;
    for (const Action &action : script->actions)
        if (action.name == name)
            return &action;
    return nullptr;
}

} // namespace host

using host::PartKind;

extern "C" {

HOST_API HFrame *hhml_PartFind(HScript *script, const char *name, HErrorSlot *err) {
    if (script && name)
        for (const auto &frame : script->frames)
            if (frame->name == name)
                return frame.get();
    herr_Set(err, "%s: no frame '%s'", script ? script->path.c_str() : "(no script)",
             name ? name : "(null)");
    return nullptr;
}

HOST_API HFrame *hhml_PartDup(HFrame *frame, HErrorSlot *err) {
    if (!frame || frame->kind != PartKind::Frame) {
        herr_Set(err, "copy frame: not a frame");
        return nullptr;
    }
    HFrame *copy = host::clonePart(*frame, nullptr).release();
    copy->copy = true;
    if (copy->script)
        copy->script->copies.push_back(copy);
    return copy;
}

HOST_API HMenu *hhml_FindMenu(HScript *script, const char *name, HErrorSlot *err) {
    HMenu *menu = script && name ? host::findMenu(script, name) : nullptr;
    if (!menu)
        herr_Set(err, "%s: no menu '%s'", script ? script->path.c_str() : "(no script)",
                 name ? name : "(null)");
    return menu;
}

// One copy per menu and window, kept by the script: asking again gives
// the same menu, and nothing is left for the caller to free.
HOST_API HMenu *hhml_MenuExtract(HMenu *menu, HWindow *window, HErrorSlot *err) {
    if (!menu || !menu->script) {
        herr_Set(err, "extract menu: no menu");
        return nullptr;
    }
    if (menu->window == window)
        return menu;
    HScript *script = menu->script;
    for (const auto &copy : script->extracted)
        if (copy->name == menu->name && copy->window == window)
            return copy.get();
    auto copy = std::make_unique<HMenu>(*menu);
    copy->window = window;
    script->extracted.push_back(std::move(copy));
    return script->extracted.back().get();
}

HOST_API HFrame *hhml_FrameFindPart(HFrame *frame, const char *name, HErrorSlot *err) {
    HFrame *part = name ? host::findPart(frame, name) : nullptr;
    if (!part)
        herr_Set(err, "frame '%s': no part '%s'", frame ? frame->name.c_str() : "(null)",
                 name ? name : "(null)");
    return part;
}

HOST_API void hhml_FrameSourceSet(HFrame *frame, HWindow *window, HErrorSlot *err) {
    if (!frame || frame->kind != PartKind::Frame)
        return herr_Set(err, "frame source: not a frame");
    frame->source = window;
}

// Shows the frame, or raises it when it is shown already.
HOST_API void hhml_FrameDisplay(HFrame *frame, HErrorSlot *err) {
    if (!frame || frame->kind != PartKind::Frame)
        return herr_Set(err, "display frame: not a frame");
    host::hml::closeOpenFrame(frame);
    host::displayedFrames().push_back(frame);
    if (!frame->displayed && !host::runningLines().empty())
        frame->shownBy = host::runningLines().front();
    frame->displayed = true;
}

HOST_API void hhml_FrameContextSet(HFrame *frame, void *context, HErrorSlot *err) {
    if (!frame || frame->kind != PartKind::Frame)
        return herr_Set(err, "frame context: not a frame");
    frame->frameContext = context;
}

HOST_API void hhml_FrameRemove(HFrame *frame, HErrorSlot *err) {
    if (!frame || frame->kind != PartKind::Frame)
        return herr_Set(err, "remove frame: not a frame");
    if (frame->copy)
        return host::hml::destroyCopy(frame);
    host::hml::closeOpenFrame(frame);
    frame->displayed = false;
    frame->frameContext = nullptr;
    frame->source = nullptr;
}

HOST_API double hhml_NumberPartValueGet(HFrame *part, HErrorSlot *err) {
    if (part && part->kind == PartKind::Number)
        return part->number;
    if (part && host::isTextKind(part->kind))
        return std::strtod(part->text.c_str(), nullptr);
    herr_Set(err, "number value: '%s' is not a number part", part ? part->name.c_str() : "(null)");
    return 0.0;
}

HOST_API void hhml_NumberPartValueSet(HFrame *part, double value, HErrorSlot *err) {
    if (part && part->kind == PartKind::Number) {
        part->number = value;
    } else if (part && host::isTextKind(part->kind)) {
        host::setText(part, host::hml::formatNumber(value));
    } else {
        herr_Set(err, "number value: '%s' is not a number part",
                 part ? part->name.c_str() : "(null)");
    }
}

HOST_API const char *hhml_StringPartValueGet(HFrame *part, HErrorSlot *err) {
    if (part && host::isTextKind(part->kind))
        return part->text.c_str();
    if (part && (part->kind == PartKind::Number || part->kind == PartKind::Color)) {
        part->scratch = host::partValueText(part);
        return part->scratch.c_str();
    }
    herr_Set(err, "string value: '%s' holds no text", part ? part->name.c_str() : "(null)");
    return nullptr;
}

HOST_API void hhml_StringPartValueSet(HFrame *part, const char *text, HErrorSlot *err) {
    std::string why;
    if (!host::setPartValue(part, text ? text : "", &why))
        herr_Set(err, "string value of '%s': %s", part ? part->name.c_str() : "(null)",
                 why.c_str());
}

HOST_API void hhml_SetButtonColor(HFrame *part, const HButtonColor *color, int32_t) {
    if (!part || !color)
        return;
    part->color[0] = color->red;
    part->color[1] = color->green;
    part->color[2] = color->blue;
}

HOST_API void hhml_GetButtonColor(HFrame *part, double rgb[3]) {
    if (part && rgb)
        std::copy(part->color, part->color + 3, rgb);
}

HOST_API HSet *hhci_NewSet(int32_t, int32_t, HErrorSlot *) { return new HSet; }

HOST_API void hhml_SetAddString(HSet *set, const char *text, HErrorSlot *err) {
    if (!set)
        return herr_Set(err, "set: no set");
    set->strings.push_back(text ? text : "");
}

// The popup takes over the set, also when it refuses it, so a set handed
// over never leaks. A selected index outside the items selects the first
// item (none in an empty list).
HOST_API void hhml_PopupListReplaceItems(HFrame *popup, HSet *set, int32_t, int32_t, int32_t,
                                         int32_t selected, HErrorSlot *err) {
    if (!popup || (popup->kind != PartKind::Popup && popup->kind != PartKind::Choice)) {
        delete set;
        return herr_Set(err, "popup items: '%s' is not a popup",
                        popup ? popup->name.c_str() : "(null)");
    }
    popup->items = set ? std::move(set->strings) : std::vector<std::string>();
    delete set;
    const int32_t count = int32_t(popup->items.size());
    popup->selected = count == 0 ? -1 : (selected >= 0 && selected < count ? selected : 0);
    popup->text = popup->selected >= 0 ? popup->items[size_t(popup->selected)] : "";
}

} // extern "C"
