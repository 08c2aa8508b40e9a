// Reading an hml script with pugixml into the model of script_model.h.
//
// Every problem is an error that names the file, the line and column of
// the element (or of pugixml's error offset) and what is wrong: unknown
// elements and attributes, missing names, duplicate names, numbers that do
// not read, and commands that the command table does not hold. A script
// with any error is not returned at all, so a layer type never runs with
// half its UI.
#include "hlib/error.h"
#include "hmllib.h"
#include "hmllib/internal.h"
#include "hmllib/script_ui.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>

#ifndef CLOUDS_RESOURCE_DIR
#define CLOUDS_RESOURCE_DIR "resources"
#endif

namespace host {
namespace {

std::string configuredPath; // setScriptPath; "" for the default

std::vector<std::string> splitDirectories(const std::string &list) {
    std::vector<std::string> dirs;
    std::string::size_type begin = 0;
    while (begin <= list.size()) {
        const std::string::size_type end = std::min(list.find(':', begin), list.size());
        if (end > begin)
            dirs.push_back(list.substr(begin, end - begin));
        begin = end + 1;
    }
    return dirs;
}

bool readable(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return bool(in);
}

// Thrown inside the parser only; hhml_ParseVa turns it into the slot.
struct ScriptError {
    std::string message;
};

class Reader {
public:
    Reader(std::string path, std::string text, const std::vector<HCommand> &commands)
        : path_(std::move(path)), text_(std::move(text)), commands_(commands) {
        for (size_t i = 0; i < text_.size(); ++i)
            if (text_[i] == '\n')
                newlines_.push_back(i);
    }

    std::unique_ptr<HScript> read();

private:
    // Line and column (from 1) of a byte offset, and of the '<' that opens
    // an element (offset_debug points at its name).
    void locate(ptrdiff_t offset, int &line, int &column) const;
    ptrdiff_t offsetOf(const pugi::xml_node &node) const {
        ptrdiff_t offset = node.offset_debug();
        if (offset > 0 && size_t(offset) <= text_.size() && text_[size_t(offset) - 1] == '<')
            --offset;
        return offset;
    }
    [[noreturn]] void fail(ptrdiff_t offset, const std::string &what) const;
    [[noreturn]] void fail(const pugi::xml_node &node, const std::string &what) const {
        fail(offsetOf(node), what);
    }

    void checkAttributes(const pugi::xml_node &node, std::initializer_list<const char *> allowed);
    std::string required(const pugi::xml_node &node, const char *attribute);
    double number(const pugi::xml_node &node, const char *attribute, double fallback);
    int32_t size(const pugi::xml_node &node, const char *attribute, int32_t fallback);
    CommandContext context(const pugi::xml_node &node);
    std::string command(const pugi::xml_node &node, const char *attribute, bool needed);
    std::vector<std::string> items(const pugi::xml_node &node);
    void color(const pugi::xml_node &node, double rgb[3]);

    std::unique_ptr<HFrame> frame(const pugi::xml_node &node, HScript *script);
    std::unique_ptr<HFrame> part(const pugi::xml_node &node, HFrame *owner);
    std::unique_ptr<HMenu> menu(const pugi::xml_node &node, HScript *script, bool popup);
    Action action(const pugi::xml_node &node);

    std::string path_, text_;
    std::vector<size_t> newlines_; // offsets of the text's line ends, for locate
    const std::vector<HCommand> &commands_;
};

void Reader::locate(ptrdiff_t offset, int &line, int &column) const {
    const size_t at = offset < 0 ? 0 : std::min(size_t(offset), text_.size());
    const auto before = std::lower_bound(newlines_.begin(), newlines_.end(), at);
    line = int(before - newlines_.begin()) + 1;
    const size_t lineStart = before == newlines_.begin() ? 0 : *(before - 1) + 1;
    column = int(at - lineStart) + 1;
}

void Reader::fail(ptrdiff_t offset, const std::string &what) const {
    int line, column;
    locate(offset, line, column);
    throw ScriptError{path_ + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                      what};
}

void Reader::checkAttributes(const pugi::xml_node &node,
                             std::initializer_list<const char *> allowed) {
    for (const pugi::xml_attribute &a : node.attributes()) {
        const bool known = std::any_of(allowed.begin(), allowed.end(),
                                       [&](const char *name) { return std::strcmp(name, a.name()) == 0; });
        if (!known)
            fail(node, std::string("unknown attribute '") + a.name() + "' of <" + node.name() +
                           ">");
    }
}

std::string Reader::required(const pugi::xml_node &node, const char *attribute) {
    const pugi::xml_attribute a = node.attribute(attribute);
    if (!a || !*a.value())
        fail(node, std::string("<") + node.name() + "> needs a " + attribute);
    return a.value();
}

double Reader::number(const pugi::xml_node &node, const char *attribute, double fallback) {
    const pugi::xml_attribute a = node.attribute(attribute);
    if (!a)
        return fallback;
    const char *text = a.value();
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    while (end && (*end == ' ' || *end == '\t'))
        ++end;
    if (end == text || *end || errno == ERANGE || !std::isfinite(value))
        fail(node, std::string(attribute) + " '" + text + "' is not a number");
    return value;
}

int32_t Reader::size(const pugi::xml_node &node, const char *attribute, int32_t fallback) {
    const pugi::xml_attribute a = node.attribute(attribute);
    if (!a)
        return fallback;
    const double value = number(node, attribute, fallback);
    if (value < 1.0 || value > 8192.0 || value != std::floor(value))
        fail(node, std::string(attribute) + " '" + a.value() +
                       "' is not a whole number of pixels from 1 to 8192");
    return int32_t(value);
}

CommandContext Reader::context(const pugi::xml_node &node) {
    const pugi::xml_attribute a = node.attribute("context");
    if (!a || std::strcmp(a.value(), "target") == 0)
        return CommandContext::Target;
    if (std::strcmp(a.value(), "scene") == 0)
        return CommandContext::Scene;
    fail(node, std::string("context '") + a.value() + "' is neither 'target' nor 'scene'");
}

std::string Reader::command(const pugi::xml_node &node, const char *attribute, bool needed) {
    const pugi::xml_attribute a = node.attribute(attribute);
    if (!a) {
        if (needed)
            fail(node, std::string("<") + node.name() + "> needs a " + attribute);
        return "";
    }
    std::vector<std::string> words;
    std::string why;
    if (!hml::splitCommandLine(a.value(), words, &why))
        fail(node, std::string(attribute) + " '" + a.value() + "': " + why);
    if (words.empty())
        fail(node, std::string(attribute) + " of <" + node.name() + "> is empty");
    bool known = false;
    for (const HCommand &c : commands_)
        known = known || words[0] == c.name;
    if (!known) {
        const pugi::xml_attribute name = node.attribute("name");
        const std::string owner = name ? std::string(" of '") + name.value() + "'" : "";
        fail(node, "unknown command '" + words[0] + "' in <" + node.name() + ">" + owner +
                       ": the command table has no such command");
    }
    return a.value();
}

// Items are separated by '|' when the list holds one, else by blanks.
std::vector<std::string> Reader::items(const pugi::xml_node &node) {
    std::vector<std::string> list;
    const std::string text = node.attribute("items").value();
    if (text.find('|') != std::string::npos) {
        std::string::size_type begin = 0;
        while (begin <= text.size()) {
            const std::string::size_type end = std::min(text.find('|', begin), text.size());
            list.push_back(text.substr(begin, end - begin));
            begin = end + 1;
        }
    } else {
        std::istringstream words(text);
        list.assign(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
    }
    return list;
}

void Reader::color(const pugi::xml_node &node, double rgb[3]) {
    const pugi::xml_attribute a = node.attribute("value");
    if (!a)
        return;
    std::istringstream in(a.value());
    double values[3];
    std::string rest;
    if (!(in >> values[0] >> values[1] >> values[2]) || (in >> rest))
        fail(node, std::string("value '") + a.value() + "' is not three numbers \"r g b\"");
    std::copy(values, values + 3, rgb);
}

std::unique_ptr<HFrame> Reader::part(const pugi::xml_node &node, HFrame *owner) {
    auto p = std::make_unique<HFrame>();
    locate(offsetOf(node), p->line, p->column);
    p->frame = owner;
    p->script = owner->script;
    const std::string element = node.name();
    if (element == "popup") {
        checkAttributes(node, {"name", "label", "items", "command", "context"});
        p->kind = PartKind::Popup;
        p->items = items(node);
        if (!p->items.empty()) {
            p->selected = 0;
            p->text = p->items[0];
        }
    } else if (element == "canvas") {
        checkAttributes(node, {"name", "width", "height"});
        p->kind = PartKind::Canvas;
        p->width = size(node, "width", 256);
        p->height = size(node, "height", 256);
    } else if (element == "number") {
        checkAttributes(node, {"name", "label", "min", "max", "step", "value", "command", "context"});
        p->kind = PartKind::Number;
        p->ranged = node.attribute("min") && node.attribute("max");
        p->minimum = number(node, "min", 0.0);
        p->maximum = number(node, "max", 0.0);
        p->step = number(node, "step", 0.0);
        p->number = number(node, "value", p->ranged ? p->minimum : 0.0);
        if (p->ranged && p->minimum > p->maximum)
            fail(node, "min is greater than max");
        if (p->step < 0.0)
            fail(node, "step is negative");
    } else if (element == "string") {
        checkAttributes(node, {"name", "label", "value", "command", "context"});
        p->kind = PartKind::String;
        p->text = node.attribute("value").value();
    } else if (element == "choice") {
        checkAttributes(node, {"name", "label", "items", "value", "command", "context"});
        p->kind = PartKind::Choice;
        p->items = items(node);
        if (p->items.empty())
            fail(node, "<choice> needs items");
        p->text = node.attribute("value") ? node.attribute("value").value() : p->items[0];
        const auto found = std::find(p->items.begin(), p->items.end(), p->text);
        p->selected = found == p->items.end() ? -1 : int32_t(found - p->items.begin());
    } else if (element == "color") {
        checkAttributes(node, {"name", "label", "value", "command", "context"});
        p->kind = PartKind::Color;
        color(node, p->color);
    } else if (element == "button") {
        checkAttributes(node, {"name", "label", "command", "context"});
        p->kind = PartKind::Button;
        if (!node.attribute("label") && !node.attribute("name"))
            fail(node, "<button> needs a label or a name");
    } else if (element == "label") {
        checkAttributes(node, {"name", "text"});
        p->kind = PartKind::Label;
        p->text = node.attribute("text").value();
    } else {
        fail(node, "unknown part <" + element + "> in frame '" + owner->name + "'");
    }
    p->name = node.attribute("name").value();
    p->label = node.attribute("label").value();
    p->command = command(node, "command", false);
    p->context = context(node);
    if (node.first_child())
        fail(node.first_child(), "<" + element + "> holds nothing");
    return p;
}

std::unique_ptr<HFrame> Reader::frame(const pugi::xml_node &node, HScript *script) {
    checkAttributes(node, {"name", "title", "close", "footer"});
    auto f = std::make_unique<HFrame>();
    locate(offsetOf(node), f->line, f->column);
    f->kind = PartKind::Frame;
    f->script = script;
    f->name = required(node, "name");
    f->label = node.attribute("title").value();
    f->closeCommand = command(node, "close", false);
    f->footer = node.attribute("footer").value();
    for (const pugi::xml_node &child : node.children()) {
        if (child.type() != pugi::node_element)
            fail(child, "frame '" + f->name + "' holds text; it holds parts only");
        std::unique_ptr<HFrame> p = part(child, f.get());
        if (!p->name.empty() && findPart(f.get(), p->name))
            fail(child, "frame '" + f->name + "' has two parts named '" + p->name + "'");
        f->parts.push_back(std::move(p));
    }
    if (!f->footer.empty() &&
        std::none_of(f->parts.begin(), f->parts.end(),
                     [&](const std::unique_ptr<HFrame> &p) { return p->name == f->footer; }))
        fail(node, "frame '" + f->name + "' keeps '" + f->footer +
                       "' at its foot but has no part of that name");
    // A command may show another part's value; that part must exist.
    for (const pugi::xml_node &child : node.children()) {
        for (const std::string &name : hml::referencedParts(child.attribute("command").value()))
            if (!findPart(f.get(), name))
                fail(child, "command '" + std::string(child.attribute("command").value()) +
                                "' refers to a part '" + name + "' that frame '" + f->name +
                                "' does not have");
    }
    return f;
}

std::unique_ptr<HMenu> Reader::menu(const pugi::xml_node &node, HScript *script, bool popup) {
    checkAttributes(node, {"name", "label"});
    auto m = std::make_unique<HMenu>();
    locate(offsetOf(node), m->line, m->column);
    m->popup = popup;
    m->script = script;
    m->name = required(node, "name");
    m->label = node.attribute("label").value();
    for (const pugi::xml_node &child : node.children()) {
        if (child.type() != pugi::node_element)
            fail(child, "menu '" + m->name + "' holds text; it holds items only");
        MenuItem item;
        if (std::strcmp(child.name(), "separator") == 0) {
            checkAttributes(child, {});
            item.separator = true;
        } else if (std::strcmp(child.name(), "item") == 0) {
            checkAttributes(child, {"name", "label", "command", "context"});
            item.name = child.attribute("name").value();
            item.label = required(child, "label");
            item.command = command(child, "command", true);
            item.context = context(child);
        } else {
            fail(child, std::string("unknown element <") + child.name() + "> in menu '" + m->name +
                            "'");
        }
        m->items.push_back(std::move(item));
    }
    return m;
}

Action Reader::action(const pugi::xml_node &node) {
    checkAttributes(node, {"name", "label", "key", "command", "context"});
    Action a;
    a.name = required(node, "name");
    a.label = node.attribute("label").value();
    a.key = node.attribute("key").value();
    a.command = command(node, "command", true);
    a.context = context(node);
    return a;
}

std::unique_ptr<HScript> Reader::read() {
    pugi::xml_document doc;
    const pugi::xml_parse_result result =
        doc.load_buffer(text_.data(), text_.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!result)
        fail(result.offset, std::string("not well-formed XML: ") + result.description());
    const pugi::xml_node root = doc.document_element();
    if (!root)
        fail(0, "no <hml> element");
    if (std::strcmp(root.name(), "hml") != 0)
        fail(root, std::string("the root element is <") + root.name() + ">, not <hml>");
    checkAttributes(root, {"version"});

    auto script = std::make_unique<HScript>();
    script->path = path_;
    script->commands = commands_;
    for (const pugi::xml_node &node : root.children()) {
        if (node.type() != pugi::node_element)
            fail(node, "<hml> holds text; it holds frames, menus and actions only");
        const std::string element = node.name();
        if (element == "frame") {
            std::unique_ptr<HFrame> f = frame(node, script.get());
            for (const auto &other : script->frames)
                if (other->name == f->name)
                    fail(node, "two frames named '" + f->name + "'");
            script->frames.push_back(std::move(f));
        } else if (element == "menu" || element == "popup-menu") {
            std::unique_ptr<HMenu> m = menu(node, script.get(), element == "popup-menu");
            for (const auto &other : script->menus)
                if (other->name == m->name)
                    fail(node, "two menus named '" + m->name + "'");
            script->menus.push_back(std::move(m));
        } else if (element == "action") {
            Action a = action(node);
            for (const Action &other : script->actions)
                if (other.name == a.name)
                    fail(node, "two actions named '" + a.name + "'");
            script->actions.push_back(std::move(a));
        } else {
            fail(node, "unknown element <" + element + "> in <hml>");
        }
    }
    return script;
}

// The root's first member: an address only this library hands out, so
// the parser can tell it was given the root.
char rootToken;
HScriptRoot theRoot{&rootToken};

} // namespace

void setScriptPath(const std::string &directories) { configuredPath = directories; }

std::vector<std::string> scriptPath() {
    if (!configuredPath.empty())
        return splitDirectories(configuredPath);
    if (const char *env = std::getenv("CLOUDVIEW_RESOURCES"); env && *env)
        return splitDirectories(env);
    return {CLOUDS_RESOURCE_DIR};
}

std::string findResource(const std::string &name) {
    if (name.empty())
        return "";
    if (name.find('/') != std::string::npos)
        return readable(name) ? name : "";
    for (const std::string &dir : scriptPath()) {
        const std::string candidate = dir + "/" + name;
        if (readable(candidate))
            return candidate;
    }
    return "";
}

void freeScript(HScript *script) {
    if (!script)
        return;
    while (!script->copies.empty())
        hml::destroyCopy(script->copies.back());
    for (const auto &frame : script->frames) {
        hml::closeOpenFrame(frame.get());
        hml::detachCanvases(frame.get());
    }
    delete script;
}

} // namespace host

extern "C" {

HOST_API HScriptRoot *hhml_GetTheRoot(void) { return &host::theRoot; }

// Options come as key/value pairs ending with key 0. Key 1: the command
// table. Any other key cannot be skipped (its value's type is unknown),
// so it is an error.
HOST_API HScript *hhml_ParseVa(int32_t, const char *file, void *rootMember, HErrorSlot *err, ...) {
    std::vector<HCommand> commands;
    va_list args;
    va_start(args, err);
    for (;;) {
        const int key = va_arg(args, int);
        if (key == 0)
            break;
        if (key != 1) {
            va_end(args);
            herr_Set(err, "%s: unknown parse option %d", file ? file : "(null)", key);
            return nullptr;
        }
        const HCommand *table = va_arg(args, const HCommand *);
        for (; table && table->name; ++table)
            commands.push_back(*table);
    }
    va_end(args);

    if (!file || !*file) {
        herr_Set(err, "parse: no script named");
        return nullptr;
    }
    if (rootMember != host::theRoot.first) {
        herr_Set(err, "%s: not given the script root (hhml_GetTheRoot()->first)", file);
        return nullptr;
    }
    const std::string path = host::findResource(file);
    if (path.empty()) {
        std::string searched;
        for (const std::string &dir : host::scriptPath())
            searched += (searched.empty() ? "" : ":") + dir;
        herr_SetCode(err, ENOENT, "%s: script not found (searched %s)", file, searched.c_str());
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        herr_SetCode(err, EIO, "%s: cannot be read", path.c_str());
        return nullptr;
    }
    try {
        return host::Reader(path, std::move(text), commands).read().release();
    } catch (const host::ScriptError &e) {
        herr_Set(err, "%s", e.message.c_str());
        return nullptr;
    }
}

} // extern "C"
