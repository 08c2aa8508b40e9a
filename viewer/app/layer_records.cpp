// What the viewer keeps of each layer besides the layer itself: its
// arguments and file, what reading it warned of, the text it saves (for
// the changed mark) and its undo history; and what needs them: saving
// under another name, undo and redo. All of it goes through the layer
// type's own entries (save, close, open, the scene-script line), so it
// serves any layer type.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "hlib/file_redirect.h"
#include "hmllib/script_model.h"
#include "hmllib/script_ui.h"
#include "hvislib.h"
#include "hvislib/questions.h"
#include "layer_files.h"
#include "viewer.h"

namespace cloudview {

namespace {

std::string absoluteName(const std::string &file)
{
    if (file.empty())
        return "";
    std::error_code ec;
    const std::filesystem::path made = std::filesystem::absolute(file, ec);
    return ec ? file : made.lexically_normal().string();
}

// A frame a layer showed, to be shown again when the layer is opened anew.
struct ShownFrame {
    std::string name, shownBy;
    HScript *script = nullptr;
    struct Value {
        std::string part, text;
        host::PartKind kind;
    };
    std::vector<Value> values;
};

std::string numberText(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

std::string valueText(const HFrame &part)
{
    switch (part.kind) {
    case host::PartKind::Number:
        return numberText(part.number);
    case host::PartKind::Color:
        return numberText(part.color[0]) + " " + numberText(part.color[1]) + " " +
               numberText(part.color[2]);
    default:
        return part.text;
    }
}

void collectValues(const HFrame &frame, std::vector<ShownFrame::Value> &values)
{
    for (const auto &part : frame.parts) {
        switch (part->kind) {
        case host::PartKind::Number:
        case host::PartKind::Color:
        case host::PartKind::Choice:
        case host::PartKind::Popup:
        case host::PartKind::String:
            if (!part->name.empty())
                values.push_back({part->name, valueText(*part), part->kind});
            break;
        default:
            break;
        }
        collectValues(*part, values);
    }
}

std::vector<ShownFrame> framesOf(HLayer *layer)
{
    std::vector<ShownFrame> shown;
    for (HFrame *frame : host::openFrames()) {
        if (frame->frameContext != layer || frame->shownBy.empty())
            continue;
        ShownFrame f{frame->name, frame->shownBy, frame->script, {}};
        collectValues(*frame, f.values);
        shown.push_back(std::move(f));
    }
    return shown;
}

// Shows the frames again by the commands that showed them, then puts back
// the values they held as a person would type them: the list's choice
// first (it may fill the others), then choices, numbers, colours, texts.
void showAgain(const std::vector<ShownFrame> &frames, HLayer *layer)
{
    for (const ShownFrame &f : frames) {
        host::runCommandLine(f.script, f.shownBy, layer);
        HFrame *frame = nullptr;
        for (HFrame *open : host::openFrames())
            if (open->frameContext == layer && open->name == f.name)
                frame = open;
        if (!frame)
            continue;
        const host::PartKind order[] = {host::PartKind::Popup, host::PartKind::Choice,
                                        host::PartKind::Number, host::PartKind::Color,
                                        host::PartKind::String};
        for (host::PartKind kind : order) {
            for (const ShownFrame::Value &v : f.values) {
                HFrame *part = v.kind == kind ? host::findPart(frame, v.part) : nullptr;
                if (!part || valueText(*part) == v.text)
                    continue;
                const bool listed = std::find(part->items.begin(), part->items.end(), v.text) !=
                                    part->items.end();
                if ((kind == host::PartKind::Popup || kind == host::PartKind::Choice) && !listed)
                    continue;
                // A text with a command would do something (an export):
                // only its text comes back.
                if (kind == host::PartKind::String && !part->command.empty())
                    continue;
                host::firePart(frame, v.part, v.text);
            }
        }
    }
}

} // namespace

LayerRecord &Viewer::remember(HLayer *layer, std::vector<std::string> args,
                              const std::vector<std::string> &reports)
{
    LayerRecord &r = records_[layer];
    r = LayerRecord{};
    r.args = std::move(args);
    r.path = r.args.empty() ? "" : absoluteName(r.args[0]);
    if (!reports.empty())
        r.damage = damageWords(reports.front(), r.args.empty() ? "" : r.args[0]);
    r.text = r.savedText = layerText(layer);
    return r;
}

std::string Viewer::layerText(HLayer *layer)
{
    if (!layer->methods || !layer->methods->save)
        return "";
    gl_->makeCurrent();
    host::WriteCapture capture(host::WriteCapture::Told::Unsaved);
    layer->methods->save(layer);
    return capture.text();
}

const LayerRecord *Viewer::record(HLayer *layer) const
{
    const auto found = records_.find(layer);
    return found == records_.end() ? nullptr : &found->second;
}

bool Viewer::changed(HLayer *layer) const
{
    const LayerRecord *r = record(layer);
    return r && r->text != r->savedText;
}

bool Viewer::anyChanged() const
{
    return std::any_of(opened_.begin(), opened_.end(), [this](HLayer *l) { return changed(l); });
}

std::string Viewer::damageQuestion(HLayer *layer) const
{
    const LayerRecord *r = record(layer);
    return r ? damageQuestionFor(*r) : "";
}

void Viewer::noteChanges(const std::string &name)
{
    for (HLayer *layer : opened_) {
        auto found = records_.find(layer);
        if (found == records_.end())
            continue;
        LayerRecord &r = found->second;
        std::string now = layerText(layer);
        if (now == r.text)
            continue;
        r.history.push(name.empty() ? "Edit" : name, r.text, now);
        r.text = std::move(now);
        // The layer type marks the changes it makes itself.
        r.unmarked = false;
    }
}

void Viewer::noteSaved(HLayer *layer)
{
    auto found = records_.find(layer);
    if (found == records_.end())
        return;
    LayerRecord &r = found->second;
    r.text = layerText(layer);
    if (!r.path.empty() && readText(r.path) == r.text) {
        r.savedText = r.text;
        r.unmarked = false;
        r.damage.clear(); // the file holds what was read now
    }
}

bool Viewer::saveTo(HLayer *layer, const std::string &file)
{
    if (!layer->methods || !layer->methods->save)
        return false;
    gl_->makeCurrent();
    // The name the layer holds may be relative to a folder the viewer has
    // left: its save goes to the file the viewer keeps for it.
    host::WriteRedirect to(file);
    return layer->methods->save(layer) != 0;
}

SaveResult Viewer::saveThroughGate(HLayer *layer, LayerRecord &record,
                                   const std::function<bool(const std::string &)> &write,
                                   const DamageAnswer &answer)
{
    if (record.path.empty())
        return SaveResult::NoFile;
    if (const std::string question = damageQuestionFor(record); !question.empty()) {
        const bool yes =
            answer ? answer(question) : hvis_QueryYesNo(question.c_str(), "No", "Yes") != 0;
        if (!yes)
            return SaveResult::Declined;
    }
    if (!write(record.path))
        return SaveResult::Failed;
    if (layer)
        noteSaved(layer);
    else
        record.damage.clear();
    return SaveResult::Saved;
}

SaveResult Viewer::saveLayer(HLayer *layer, const DamageAnswer &answer)
{
    auto found = records_.find(layer);
    if (found == records_.end() || !layer->methods || !layer->methods->save)
        return SaveResult::Failed;
    return saveThroughGate(
        layer, found->second, [this, layer](const std::string &file) { return saveTo(layer, file); },
        answer);
}

HLayer *Viewer::saveLayerAs(HLayer *layer, const std::string &path)
{
    if (path.empty() || !quotable(path))
        throw ViewerError("\"" + path + "\": a layer file name must be given, without a double "
                          "quote or a line break (scene scripts hold it)");
    auto found = records_.find(layer);
    if (found == records_.end() || !layer->methods || !layer->methods->save)
        throw ViewerError(path + ": the layer cannot be saved");
    const std::string file = absoluteName(path);
    if (!found->second.path.empty() && sameFile(file, found->second.path)) {
        // Its own file under another name: a save, damage question and all.
        switch (saveLayer(layer)) {
        case SaveResult::Saved:
            return layer;
        case SaveResult::Declined:
            throw ViewerError(path + ": " + damageQuestionFor(found->second) +
                              " Not saved: the answer was No");
        default:
            throw ViewerError(path + ": the layer could not be saved there");
        }
    }
    if (!saveTo(layer, file))
        throw ViewerError(path + ": the layer could not be saved there");
    std::vector<std::string> args = found->second.args;
    if (args.empty())
        args.push_back(path);
    else
        args[0] = path;
    const std::string text = readText(file);
    HLayer *now = reopen(layer, args, text, file);
    LayerRecord &r = records_[now];
    r.savedText = r.text;
    r.damage.clear();
    r.unmarked = false;
    return now;
}

HLayer *Viewer::restore(HLayer *layer, const std::string &text)
{
    const LayerRecord &r = records_.at(layer);
    HLayer *now = reopen(layer, r.args, text, r.path);
    LayerRecord &again = records_[now];
    again.unmarked = again.text != again.savedText;
    return now;
}

HLayer *Viewer::undo(HLayer *layer)
{
    auto found = records_.find(layer);
    if (found == records_.end() || !found->second.history.canUndo())
        throw ViewerError("nothing to undo");
    if (found->second.args.empty())
        throw ViewerError("a new layer without a file cannot be undone: Save layer as... first");
    const std::string text = found->second.history.undo();
    return restore(layer, text);
}

HLayer *Viewer::redo(HLayer *layer)
{
    auto found = records_.find(layer);
    if (found == records_.end() || !found->second.history.canRedo())
        throw ViewerError("nothing to redo");
    if (found->second.args.empty())
        throw ViewerError("a new layer without a file cannot be redone: Save layer as... first");
    const std::string text = found->second.history.redo();
    return restore(layer, text);
}

HLayer *Viewer::reopen(HLayer *layer, std::vector<std::string> args, std::string text,
                       std::string path)
{
    LayerRecord kept = std::move(records_.at(layer));
    records_.erase(layer);
    const size_t position = scene_.layerPosition(layer);
    const bool visible = scene_.layerVisible(layer);
    const size_t order = size_t(std::find(opened_.begin(), opened_.end(), layer) - opened_.begin());
    const std::vector<ShownFrame> frames = framesOf(layer);

    gl_->makeCurrent();
    {
        // Its text is kept here: the layer goes without its question.
        host::WriteCapture quiet(host::WriteCapture::Told::Saved);
        if (layer->methods && layer->methods->save)
            layer->methods->save(layer);
        if (layer->methods && layer->methods->close)
            layer->methods->close(layer);
    }
    scene_.removeLayer(layer);
    opened_.erase(std::remove(opened_.begin(), opened_.end(), layer), opened_.end());

    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    HLayer *now = nullptr;
    {
        host::ReadOverride from(args.at(0), text);
        now = type_.open(scene_.hscene(), 0, static_cast<int32_t>(argv.size()), argv.data());
    }
    if (!now)
        throw ViewerError(args[0] + ": the plug-in could not open the layer again");
    scene_.addLayer(now);
    scene_.placeLayer(now, position);
    scene_.setLayerVisible(now, visible);
    opened_.insert(opened_.begin() + long(std::min(order, opened_.size())), now);
    LayerRecord &r = records_[now];
    r = std::move(kept);
    r.args = args;
    // Not args[0] made absolute again: the viewer's folder may have changed
    // since the layer was named (a script from another folder, the user's).
    r.path = std::move(path);
    r.text = layerText(now);
    showAgain(frames, now);
    return now;
}

} // namespace cloudview
