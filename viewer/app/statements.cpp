#include "statements.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <climits>
#include <cstdlib>

#include "hmllib/script_ui.h"
#include "image_io.h"
#include "hvislib.h"
#include "hvislib/questions.h"
#include "layer_files.h"
#include "tolatoollib/camera_moves.h"
#include "tolatoollib/selection.h"
#include "terrain/terrain_settings.h"
#include "terrain_memory.h"
#include "viewer.h"
#include "weather_command.h"

namespace cloudview {

std::string StatementCall::where() const
{
    return file + ":" + std::to_string(statement.line);
}

void StatementCall::fail(const std::string &problem) const
{
    throw ViewerError(where() + ": " + problem + missingSemicolonHint(statement));
}

double StatementCall::number(size_t i) const
{
    const auto &tokens = statement.tokens;
    if (i >= tokens.size())
        fail(keyword() + " needs more values");
    const std::string &text = tokens[i].text;
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v))
        fail("\"" + text + "\" is not a number");
    return v;
}

int StatementCall::layerIndex(size_t i) const
{
    const double v = number(i);
    if (v != std::floor(v) || v < 1 || v > INT_MAX)
        throw ViewerError(where() + ": layer number " + statement.tokens[i].text +
                          " is not a position from 1");
    return static_cast<int>(v);
}

namespace {

void checkCount(const Statement &statement, size_t least, size_t most, const std::string &where)
{
    const size_t n = statement.tokens.size() - 1;
    if (n >= least && n <= most)
        return;
    const std::string takes =
        statement.tokens[0].text + " takes " +
        (least == most       ? std::to_string(least)
         : most == least + 1 ? std::to_string(least) + " or " + std::to_string(most)
                             : std::to_string(least) + " to " + std::to_string(most)) +
        " value" + (most == 1 ? "" : "s");
    const std::string hint = missingSemicolonHint(statement);
    // With the hint the count says little: the next statement's words are in it.
    throw ViewerError(where + ": " + takes + (hint.empty() ? ", not " + std::to_string(n) : hint));
}

}  // namespace

void StatementCall::expectCount(size_t least, size_t most) const
{
    checkCount(statement, least, most, where());
}

std::vector<std::string> StatementCall::textsFrom(size_t first) const
{
    std::vector<std::string> out;
    for (size_t i = first; i < statement.tokens.size(); ++i)
        out.push_back(statement.tokens[i].text);
    return out;
}

namespace {

// "5..90": a documented range as messages give it.
std::string range(double low, double high)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g..%g", low, high);
    return text;
}

void extent(const StatementCall &c)
{
    host::Extent e;
    e.x1 = c.number(1);
    e.x2 = c.number(2);
    e.y1 = c.number(3);
    e.y2 = c.number(4);
    e.z1 = c.number(5);
    e.z2 = c.number(6);
    c.viewer.scene().setExtent(e);
}

void origin(const StatementCall &c)
{
    c.viewer.scene().setOrigin(c.number(1), c.number(2), c.number(3));
}

void view(const StatementCall &c)
{
    const double elevation = c.number(2);
    const double distance = c.statement.tokens.size() > 3 ? c.number(3) : 0.0;
    if (distance < 0)
        c.fail("VIEW needs a distance of 0 or more, not " + c.statement.tokens[3].text);
    // A view from below the horizon (a scene saved while the camera could
    // still go there) opens from the lowest allowed elevation instead.
    const double kept = host::clampElevation(elevation);
    if (kept != elevation) {
        char degrees[32];
        std::snprintf(degrees, sizeof degrees, "%g", kept);
        reportProblem("warning: " + c.where() + ": VIEW elevation " + c.statement.tokens[2].text +
                      " is outside " + range(host::kMinElevation, host::kMaxElevation) +
                      " degrees; the camera looks from " + degrees + " degrees");
    }
    c.viewer.scene().setView(c.number(1), kept, distance);
}

// TERRAIN "dem.tif" [DRAPE "image.tif"] [EXAGGERATION k] [MEMORY mib]: the
// names are taken from the script's directory, where statements run. A
// budget the person chose (command line, menu) outweighs MEMORY.
void terrainStatement(const StatementCall &c)
{
    const auto &tokens = c.statement.tokens;
    terrain::TerrainSettings settings;
    settings.model = tokens[1].text;
    for (size_t i = 2; i < tokens.size(); i += 2) {
        const std::string &word = tokens[i].text;
        if (i + 1 >= tokens.size())
            c.fail("TERRAIN: " + word + " needs a value");
        if (word == "DRAPE" && settings.drape.empty())
            settings.drape = tokens[i + 1].text;
        else if (word == "EXAGGERATION") {
            settings.exaggeration = c.number(i + 1);
            if (!terrain::exaggerationInRange(settings.exaggeration))
                c.fail("TERRAIN: EXAGGERATION takes a number in " +
                       range(terrain::kMinExaggeration, terrain::kMaxExaggeration) + ", not " +
                       tokens[i + 1].text);
        } else if (word == "MEMORY") {
            const double mib = c.number(i + 1);
            if (!terrainMemoryInRange(mib))
                c.fail("TERRAIN: MEMORY takes a whole number of MiB in " + terrainMemoryRange() +
                       ", not " + tokens[i + 1].text);
            settings.memoryMiB = size_t(mib);
        } else
            c.fail("TERRAIN takes a file, then DRAPE \"image\", EXAGGERATION k and MEMORY mib, "
                   "not " + word);
    }
    if (c.viewer.terrainOverridden())
        return;  // the command line's ground stays
    try {
        c.viewer.openTerrain(settings);
    } catch (const ViewerError &e) {
        throw ViewerError(c.where() + ": " + e.what());
    }
}

// WEATHER "file" [TIME "..."] [LEVELS "low middle high"] [REGION "W,S,E,N"]
// [THRESHOLD p] [SPACING m]: the file's cloud cover as cloud layers over the scene's
// ground, as `cloudview weather` makes them.
void weatherStatement(const StatementCall &c)
{
    const auto &tokens = c.statement.tokens;
    WeatherOptions options;
    for (size_t i = 2; i < tokens.size(); i += 2) {
        const std::string &word = tokens[i].text;
        if (i + 1 >= tokens.size())
            c.fail("WEATHER: " + word + " needs a value");
        const std::string &value = tokens[i + 1].text;
        if (word == "TIME")
            options.time = value;
        else if (word == "LEVELS")
            options.levels = value;
        else if (word == "REGION")
            options.region = value;
        else if (word == "THRESHOLD")
            options.threshold = c.number(i + 1);
        else if (word == "SPACING") {
            options.spacing = c.number(i + 1);
            if (options.spacing <= 0)
                c.fail("WEATHER: SPACING takes metres, more than 0, not " + value);
        } else
            c.fail("WEATHER takes a file, then TIME \"...\", LEVELS \"...\", REGION \"W,S,E,N\", "
                   "THRESHOLD p and SPACING m, not " + word);
    }
    try {
        const WeatherLayers made = openWeather(c.viewer, tokens[1].text, options);
        for (const std::string &note : made.notes)
            reportProblem(c.where() + ": " + note);
    } catch (const std::exception &e) {
        // "--time x: ..." as the command line says it; the statement's own words here.
        std::string problem = e.what();
        const std::string option = "with --region W,S,E,N";
        if (const size_t at = problem.find(option); at != std::string::npos)
            problem.replace(at, option.size(), "with REGION \"W,S,E,N\"");
        for (const char *flag : {"--time", "--levels", "--threshold", "--region"})
            if (problem.rfind(flag, 0) == 0) {
                std::string word = flag + 2;
                for (char &ch : word)
                    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                problem = "WEATHER: " + word + problem.substr(std::string(flag).size());
            }
        c.fail(problem);
    }
}

void addFeatureLayer(const StatementCall &c)
{
    const std::string &type = c.statement.tokens[1].text;
    if (type != c.viewer.layerType().typeName)
        throw ViewerError(c.where() + ": unknown layer type \"" + type + "\"");
    const std::vector<std::string> args = c.textsFrom(2);
    // A missing file would open as a new, empty layer, and WRITESCENE would
    // then save it: a misspelt name must stop the script instead.
    if (!args.empty()) {
        try {
            requireReadableFile(args[0], "layer file");
        } catch (const ViewerError &e) {
            throw ViewerError(c.where() + ": " + e.what());
        }
    }
    c.viewer.openLayer(args);
}

void answer(const StatementCall &c)
{
    const std::string &a = c.statement.tokens[1].text;
    if (a != "YES" && a != "NO")
        throw ViewerError(c.where() + ": ANSWER takes YES or NO, not " + a);
    host::pushAnswer(a == "YES");
}

void run(const StatementCall &c)
{
    const auto &tokens = c.statement.tokens;
    void *context = nullptr;
    size_t command = 2;
    if (tokens[1].text == "LAYER") {
        context = c.viewer.layer(c.layerIndex(2), c.where());
        command = 3;
    } else if (tokens[1].text == "SCENE") {
        context = c.viewer.scene().hscene();
    } else {
        throw ViewerError(c.where() + ": RUN takes LAYER n or SCENE, not " + tokens[1].text);
    }
    if (command >= tokens.size())
        throw ViewerError(c.where() + ": RUN needs a command");
    c.viewer.gl().makeCurrent();
    const host::CommandResult r = host::runCommand(c.viewer.script(), tokens[command].text,
                                                   context, c.textsFrom(command + 1));
    c.viewer.syncLayers();
    if (!r.ran)
        throw ViewerError(c.where() + ": " + r.error);
}

// SAVE LAYER n; saves to the layer's file, SAVE LAYER n "file"; under a
// new name that the layer then keeps. A layer read with damage is saved
// over its file only when an ANSWER YES; says so.
void save(const StatementCall &c)
{
    if (c.statement.tokens[1].text != "LAYER")
        throw ViewerError(c.where() + ": SAVE takes LAYER n, and a new file name or none");
    HLayer *layer = c.viewer.layer(c.layerIndex(2), c.where());
    const std::string &n = c.statement.tokens[2].text;
    if (c.statement.tokens.size() > 3) {
        try {
            c.viewer.saveLayerAs(layer, c.statement.tokens[3].text);
        } catch (const ViewerError &e) {
            throw ViewerError(c.where() + ": " + e.what());
        }
        return;
    }
    const LayerRecord *record = c.viewer.record(layer);
    if (record && record->path.empty())
        throw ViewerError(c.where() + ": layer " + n + " has no file yet; SAVE LAYER " + n +
                          " \"file\"; names one");
    const std::string question = c.viewer.damageQuestion(layer);
    switch (c.viewer.saveLayer(layer)) {
    case SaveResult::Saved:
        return;
    case SaveResult::Declined:
        throw ViewerError(c.where() + ": " + question + " Not saved: no ANSWER YES; came first");
    default:
        throw ViewerError(c.where() + ": layer " + n + " could not be saved");
    }
}

void undoRedo(const StatementCall &c)
{
    if (c.statement.tokens[1].text != "LAYER")
        throw ViewerError(c.where() + ": " + c.keyword() + " takes LAYER n");
    HLayer *layer = c.viewer.layer(c.layerIndex(2), c.where());
    try {
        if (c.keyword() == "UNDO")
            c.viewer.undo(layer);
        else
            c.viewer.redo(layer);
    } catch (const ViewerError &e) {
        throw ViewerError(c.where() + ": layer " + c.statement.tokens[2].text + ": " + e.what());
    }
}

void close(const StatementCall &c)
{
    if (c.statement.tokens[1].text != "LAYER")
        throw ViewerError(c.where() + ": CLOSE takes LAYER n");
    c.viewer.closeLayer(c.viewer.layer(c.layerIndex(2), c.where()));
}

void writeScene(const StatementCall &c)
{
    try {
        c.viewer.writeScene(c.statement.tokens[1].text);
    } catch (const ViewerError &e) {
        throw ViewerError(c.where() + ": " + e.what());
    }
}

void render(const StatementCall &c)
{
    const auto &tokens = c.statement.tokens;
    int w = 1280, h = 720;
    if (tokens.size() == 4) {
        w = static_cast<int>(c.number(2));
        h = static_cast<int>(c.number(3));
    } else if (tokens.size() != 2) {
        throw ViewerError(c.where() + ": RENDER takes a file, or a file, a width and a height");
    }
    if (w < 1 || h < 1 || w > 8192 || h > 8192)
        throw ViewerError(c.where() + ": image size " + std::to_string(w) + "x" +
                          std::to_string(h) + " is outside 1..8192");
    c.viewer.render(tokens[1].text, w, h);
}

// The open frame of a layer that holds the part: the frame a person would
// be editing (the most recently shown first).
HFrame *layerFrameWithPart(const StatementCall &c, HLayer *layer, const std::string &part)
{
    const std::vector<HFrame *> frames = host::openFrames();
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        if ((*it)->frameContext == layer && host::findPart(*it, part))
            return *it;
    throw ViewerError(c.where() + ": layer " + c.statement.tokens[2].text +
                      " has no open frame with a part \"" + part + "\"");
}

// SET LAYER n "part" value...; PRINT LAYER n "part"; PREVIEW LAYER n "file"
// all name a layer the same way.
HLayer *namedLayer(const StatementCall &c)
{
    if (c.statement.tokens[1].text != "LAYER")
        throw ViewerError(c.where() + ": " + c.keyword() + " takes LAYER n");
    return c.viewer.layer(c.layerIndex(2), c.where());
}

void set(const StatementCall &c)
{
    HLayer *layer = namedLayer(c);
    const std::string &part = c.statement.tokens[3].text;
    HFrame *frame = layerFrameWithPart(c, layer, part);
    // A colour is given as three numbers, any other value as one word.
    std::string value;
    for (const std::string &word : c.textsFrom(4))
        value += (value.empty() ? "" : " ") + word;
    HFrame *target = host::findPart(frame, part);
    if (target->kind == host::PartKind::Popup || target->kind == host::PartKind::Choice) {
        if (std::find(target->items.begin(), target->items.end(), value) == target->items.end())
            throw ViewerError(c.where() + ": \"" + part + "\" has no item \"" + value + "\"");
    }
    c.viewer.gl().makeCurrent();
    const host::CommandResult r = host::firePart(frame, part, value);
    c.viewer.syncLayers();
    if (!r.ran && !r.error.empty())
        throw ViewerError(c.where() + ": " + part + ": " + r.error);
}

void print(const StatementCall &c)
{
    HLayer *layer = namedLayer(c);
    const std::string &part = c.statement.tokens[3].text;
    HFrame *frame = layerFrameWithPart(c, layer, part);
    std::printf("%s\n", host::partValueText(host::findPart(frame, part)).c_str());
    std::fflush(stdout);
}

// The first canvas part of a frame that shows a canvas.
HCanvas *frameCanvas(HFrame *frame)
{
    for (const auto &part : frame->parts) {
        if (HCanvas *canvas = host::canvasOfPart(part.get()))
            return canvas;
        if (HCanvas *inner = frameCanvas(part.get()))
            return inner;
    }
    return nullptr;
}

void preview(const StatementCall &c)
{
    HLayer *layer = namedLayer(c);
    const std::string &file = c.statement.tokens[3].text;
    try {
        requirePngName(file);
    } catch (const ViewerError &e) {
        throw ViewerError(c.where() + ": " + e.what());
    }
    HCanvas *canvas = nullptr;
    const std::vector<HFrame *> frames = host::openFrames();
    for (auto it = frames.rbegin(); it != frames.rend() && !canvas; ++it)
        if ((*it)->frameContext == layer)
            canvas = frameCanvas(*it);
    if (!canvas)
        throw ViewerError(c.where() + ": layer " + c.statement.tokens[2].text +
                          " shows no canvas in an open frame");
    const std::vector<uint8_t> rgb = host::canvasRGB(canvas);
    const std::string problem = writeRGBAsPNG(file, rgb, canvas->width, canvas->height);
    if (!problem.empty())
        throw ViewerError(c.where() + ": " + file + ": " + problem);
}

// CLICK x y: positions are whole pixels from the top left of the view.
void click(const StatementCall &c)
{
    const double x = c.number(1), y = c.number(2);
    if (x != std::floor(x) || y != std::floor(y) || std::fabs(x) > 1e9 || std::fabs(y) > 1e9)
        throw ViewerError(c.where() + ": CLICK takes whole pixel positions");
    c.viewer.click(static_cast<int>(x), static_cast<int>(y));
}

// The selection box a person would drag: the newest one shown.
HSelector *shownSelection(const StatementCall &c)
{
    const std::vector<HSelector *> boxes = host::selectorsOf(&c.viewer.scene());
    if (boxes.empty())
        throw ViewerError(c.where() + ": " + c.keyword() + ": no selection box is shown");
    return boxes.back();
}

void moveSelection(const StatementCall &c)
{
    const double dx = c.number(1), dy = c.number(2), dz = c.number(3);
    HSelector *box = shownSelection(c);
    c.viewer.gl().makeCurrent();
    host::selectorMove(box, dx, dy, dz);
}

void scaleSelection(const StatementCall &c)
{
    const double sx = c.number(1), sy = c.number(2), sz = c.number(3);
    if (sx == 0 || sy == 0 || sz == 0)
        throw ViewerError(c.where() + ": SCALESELECTION cannot scale by 0");
    HSelector *box = shownSelection(c);
    c.viewer.gl().makeCurrent();
    host::selectorScale(box, sx, sy, sz);
}

// ACTION "name": as the action's key would, and only while it is on.
void action(const StatementCall &c)
{
    const std::string &name = c.statement.tokens[1].text;
    const host::Action *found = host::findAction(c.viewer.script(), name);
    if (!found)
        throw ViewerError(c.where() + ": no action \"" + name + "\" in the layer type's script");
    if (!c.viewer.scene().actionOn(name))
        throw ViewerError(c.where() + ": action \"" + name + "\" is off");
    c.viewer.gl().makeCurrent();
    // Keys reach the scene, not a layer: the scene is the context either way.
    const host::CommandResult r =
        host::runCommandLine(c.viewer.script(), found->command, c.viewer.scene().hscene());
    c.viewer.syncLayers();
    if (!r.ran)
        throw ViewerError(c.where() + ": " + r.error);
}

// ICON LAYER n "file.png" width
void icon(const StatementCall &c)
{
    HLayer *layer = namedLayer(c);
    const double width = c.number(4);
    if (width != std::floor(width) || width < 1 || width > 4096)
        throw ViewerError(c.where() + ": ICON takes a whole width of 1..4096 pixels");
    try {
        c.viewer.writeIcon(layer, c.statement.tokens[3].text, static_cast<int>(width));
    } catch (const ViewerError &e) {
        throw ViewerError(c.where() + ": " + e.what());
    }
}

void screenshot(const StatementCall &c)
{
    ScriptPresenter *window = c.viewer.presenter();
    if (!window)
        c.fail("SCREENSHOT captures the window: run the script in it with cloudview open SCENE "
               "--script FILE (RENDER draws the scene headless)");
    const std::string &file = c.statement.tokens[1].text;
    if (!hasPngName(file))
        c.fail(file + ": screenshots are written as PNG only; name the image *.png");
    try {
        window->screenshot(file);
    } catch (const ViewerError &e) {
        throw ViewerError(c.where() + ": " + e.what());
    }
}

}  // namespace

std::string stepName(const Statement &statement)
{
    const auto &t = statement.tokens;
    const std::string &k = t[0].text;
    if (k == "RUN") {
        std::string name;
        for (size_t i = t[1].text == "LAYER" ? 3 : 2; i < t.size(); ++i)
            name += (name.empty() ? "" : " ") + t[i].text;
        return name;
    }
    if (k == "SET" && t.size() > 3)
        return "Set " + t[3].text;
    if (k == "MOVESELECTION")
        return "Move selection box";
    if (k == "SCALESELECTION")
        return "Resize selection box";
    if (k == "CLICK")
        return "Click in the scene";
    if (k == "ACTION" && t.size() > 1)
        return t[1].text;
    return k;
}

const std::vector<StatementKind> &statementTable()
{
    // Scene statements first, then automation; least and most count the
    // values after the keyword.
    static const std::vector<StatementKind> table = {
        {"TERRAIN", 1, 7, true, terrainStatement},
        {"WEATHER", 1, 11, true, weatherStatement},
        {"EXTENT", 6, 6, true, extent},
        {"ORIGIN", 3, 3, true, origin},
        {"VIEW", 2, 3, true, view},
        {"ADDFEATURELAYER", 1, 1000, true, addFeatureLayer},
        {"ANSWER", 1, 1, false, answer},
        {"RUN", 2, 1000, false, run},
        {"SAVE", 2, 3, false, save},
        {"UNDO", 2, 2, false, undoRedo},
        {"REDO", 2, 2, false, undoRedo},
        {"CLOSE", 2, 2, false, close},
        {"WRITESCENE", 1, 1, false, writeScene},
        {"RENDER", 1, 3, false, render},
        {"SET", 3, 6, false, set},
        {"PRINT", 3, 3, false, print},
        {"PREVIEW", 3, 3, false, preview},
        {"CLICK", 2, 2, false, click},
        {"MOVESELECTION", 3, 3, false, moveSelection},
        {"SCALESELECTION", 3, 3, false, scaleSelection},
        {"ACTION", 1, 1, false, action},
        {"ICON", 4, 4, false, icon},
        {"SCREENSHOT", 1, 1, false, screenshot},
    };
    return table;
}

const StatementKind *findStatement(const std::string &keyword)
{
    for (const StatementKind &kind : statementTable())
        if (keyword == kind.keyword)
            return &kind;
    return nullptr;
}

std::string missingSemicolonHint(const Statement &statement)
{
    const auto &tokens = statement.tokens;
    for (size_t i = 1; i < tokens.size(); ++i)
        if (!tokens[i].quoted && tokens[i].line > tokens[i - 1].line &&
            findStatement(tokens[i].text))
            return "; is a \";\" missing before line " + std::to_string(tokens[i].line) + "?";
    return "";
}

void checkStatements(const std::vector<Statement> &statements, const std::string &file)
{
    for (const Statement &s : statements) {
        const StatementKind *kind = findStatement(s.tokens[0].text);
        if (!kind)
            throw ViewerError(file + ":" + std::to_string(s.line) + ": unknown statement \"" +
                              s.tokens[0].text + "\"");
        // Counts are checked here, with the hint, for every statement: a
        // RUN's or an ADDFEATURELAYER's count does not show that it ran on.
        const std::string where = file + ":" + std::to_string(s.line);
        checkCount(s, kind->least, kind->most, where);
        const std::string hint = missingSemicolonHint(s);
        if (!hint.empty())
            throw ViewerError(where + ": " + s.tokens[0].text + " runs on into the next statement" +
                              hint);
    }
}

}  // namespace cloudview
