// viewer.h — cloudview's viewer: one scene, one layer-type plug-in loaded
// the way the host loads it, a headless GL context, and what the command
// line and scene scripts ask of them (open layers, render, save, write the
// scene script, run plug-in commands).
#ifndef CLOUDS_VIEWER_APP_VIEWER_H
#define CLOUDS_VIEWER_APP_VIEWER_H

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "export_placement.h"
#include "ground_files.h"
#include "headless_gl.h"
#include "plugin_loader.h"
#include "scene_script.h"
#include "terrain/terrain.h"
#include "weather_command.h"
#include "tolatoollib/scene.h"
#include "undo_history.h"

namespace cloudview {

// A failure to report as "cloudview: <what>" with exit code 2; the message
// names the file and the problem.
struct ViewerError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// How much of a scene script to carry out: all of it (`run`), or only the
// statements that describe the scene (`render`: extent, origin, view,
// layers), none of those that run commands or write files.
enum class ScriptMode { Run, SceneOnly };

// What a window does around a script's statements: show what each changed
// before the next runs, and capture itself. Headless runs have none.
class ScriptPresenter {
public:
    virtual ~ScriptPresenter() = default;
    // After each statement that was carried out.
    virtual void statementDone() = 0;
    // Writes the whole window as a PNG; throws ViewerError on failure.
    virtual void screenshot(const std::string &pngFile) = 0;
};

// How a save of a layer to its file ended.
enum class SaveResult { Saved, Declined, NoFile, Failed };

// Answers the question asked before a save replaces a file that was
// damaged when read (true: replace it). Without one the host asks.
using DamageAnswer = std::function<bool(const std::string &question)>;

struct ScriptOutcome {
    size_t carriedOut = 0;
    size_t skipped = 0;  // automation statements left out in SceneOnly mode
};

// What the viewer remembers of each layer it holds: how it was opened,
// what reading its file warned of, and the texts its layer type saves,
// which give the changed mark and undo without the layer type's help.
struct LayerRecord {
    std::vector<std::string> args;  // its arguments; args[0] its file as given
    // That file made absolute once, from the folder it was named in (the
    // script's, or the user's): where every save of the layer goes,
    // wherever the viewer's folder is later. Empty: no file yet.
    std::string path;
    std::string damage;             // the first warning its reading gave, or ""
    std::string savedText;          // what its file holds, as the type writes it
    std::string text;               // what saving it would write now
    // Holds text its layer type does not know is unsaved: an undo or redo
    // opened it again on text that is not its file's.
    bool unmarked = false;
    UndoHistory history;
};

class Viewer {
public:
    // Draws into target, or into a headless context of its own without one.
    explicit Viewer(const std::string &pluginPath, std::unique_ptr<GLTarget> target = nullptr);
    ~Viewer();  // closes every layer
    Viewer(const Viewer &) = delete;
    Viewer &operator=(const Viewer &) = delete;

    host::Scene &scene() { return scene_; }
    const LayerType &layerType() const { return type_; }
    HScript *script() const { return script_; }
    GLTarget &gl() { return *gl_; }
    ScriptPresenter *presenter() const { return presenter_; }
    void setPresenter(ScriptPresenter *presenter) { presenter_ = presenter; }

    // Opens a layer of the plug-in's type with these arguments (the first
    // is its file). Refuses arguments that a scene script cannot hold.
    HLayer *openLayer(const std::vector<std::string> &args);
    // Makes a new empty layer of the plug-in's type on top of the scene,
    // to be saved to fileName (none: it asks for one when saved).
    HLayer *newLayer(const std::string &fileName = "");
    // Opens a layer file that must exist and be readable.
    HLayer *openLayerFile(const std::string &fileName);
    // The layer at 1-based position n in opening order (layers that
    // commands made come after those opened before them).
    HLayer *layer(int n, const std::string &where) const;
    std::vector<HLayer *> openedLayers() const { return opened_; }
    void closeLayer(HLayer *layer);
    // Closes every layer, bottom first, each asking its own questions.
    void closeAllLayers();

    // The layers a weather file's cover was last opened as (a WEATHER
    // statement, File > Open weather...), with what made them, so that
    // another time or region can replace them.
    struct WeatherSet {
        std::string file;
        WeatherOptions options;  // as asked; the ground is the scene's
        bool hasTime = false;
        std::time_t time = 0;    // the valid time shown
        std::vector<HLayer *> layers;
    };
    void setWeather(WeatherSet set) { weather_ = std::move(set); }
    const std::optional<WeatherSet> &weather() const { return weather_; }

    // Makes the scene's ground the elevation model (and drape) of the
    // settings, whose file names are taken from the current directory (an
    // open name of its present files keeps the name the scene gave); the
    // scene's extent becomes the model's. Warnings are reported as the
    // host reports errors ("cloudview: warning: ..."). On failure throws
    // ViewerError "file: reason" and keeps the ground it had.
    void openTerrain(const ::terrain::TerrainSettings &settings);
    // The ground the command line names: opened now, and TERRAIN
    // statements of scripts run afterwards leave it in place.
    void openTerrainOverride(const ::terrain::TerrainSettings &settings);
    bool terrainOverridden() const { return terrainOverride_; }
    // The ground's memory budget in MiB, as the person chose it (the
    // command line, the window's menu): the live ground takes it now, any
    // ground opened later takes it too, whatever a TERRAIN statement says.
    // Throws ViewerError naming the range for a budget outside it.
    void setTerrainMemory(size_t mib);
    // The budget a ground opened now gets unless its statement names one:
    // the chosen one, else the live ground's, else the default.
    size_t terrainMemory() const;
    bool terrainMemoryChosen() const { return chosenMemory_ != 0; }
    // Back to the flat grid (the extent stays).
    void closeTerrain();
    // A window's ground reads large models on a thread of its own and
    // calls arrived as pieces come in (to wake the window); without it
    // every draw waits for what its view needs.
    void setStreamingGround(std::function<void()> arrived);
    // Told how far building a large model's overviews has come (the file,
    // 0 to 1), a hundred times at most, besides the terminal's bar.
    void setGroundProgress(std::function<void(const std::string &, double)> progress)
    {
        groundProgress_ = std::move(progress);
    }
    const ::terrain::Terrain *terrain() const { return terrain_.get(); }
    // The camera is moving: the ground may be drawn coarser.
    void setMoving(bool moving);

    // Runs a scene script from its own directory. Every statement is checked
    // before the first one runs.
    ScriptOutcome runScript(const std::string &fileName, ScriptMode mode = ScriptMode::Run);
    ScriptOutcome execute(const std::vector<Statement> &statements, const std::string &fileName,
                          ScriptMode mode = ScriptMode::Run);

    // Renders the scene: frames the layers' content first when the camera
    // distance is 0 or less.
    std::vector<uint8_t> renderRGBA(int width, int height);
    // Draws the scene into the target at that size and leaves it there;
    // keepDepthForPicking then lets picks find what this frame drew.
    void drawScene(int width, int height);
    void keepDepthForPicking();
    void render(const std::string &pngFile, int width, int height);
    void frameContent();
    // A pointer click at a window position of the current view: the last
    // render's size (1280 x 720 before any), with the camera a render would
    // use. Delivered as the scene delivers clicks; whether anything took it.
    bool click(int x, int y);
    // Writes the scene script. Each layer's line names its file relative to
    // the script's folder (absolute when no relative name reaches it), and
    // each layer is saved as it writes its line; a layer read with damage
    // asks first and, answered No, keeps its file as it was.
    void writeScene(const std::string &fileName);
    // Saves the layer to its file (its record's, wherever the viewer's
    // folder is now), asking first when its reading warned of damage.
    // Failed: its type could not save it and reported why.
    SaveResult saveLayer(HLayer *layer, const DamageAnswer &answer = {});
    // Writes the layer to path and makes that its file: the layer is opened
    // again from there in its place, its undo history kept. Returns the
    // layer that now stands there. Naming its own file, it is a save of it
    // (a damaged file asks first). Throws ViewerError.
    HLayer *saveLayerAs(HLayer *layer, const std::string &path);
    // The question to ask before saving over the file of a layer whose
    // reading warned of damage, naming it; "" for a layer read clean.
    std::string damageQuestion(HLayer *layer) const;
    const LayerRecord *record(HLayer *layer) const;
    // Whether the layer holds what its file does not (the changed mark).
    bool changed(HLayer *layer) const;
    bool anyChanged() const;
    // After something that may have changed layers: each layer whose text
    // changed gets an undo step with that name ("Apply").
    void noteChanges(const std::string &name);
    // Takes the layer's last change back (or does it again), by opening the
    // layer again in its place on the text before (after) it; its frames
    // are shown again with the values they held. Returns the layer that
    // now stands there. Throws ViewerError when there is nothing to undo or
    // the layer has no file to be opened from.
    HLayer *undo(HLayer *layer);
    HLayer *redo(HLayer *layer);
    // The layer's stacker icon, as the stacker would ask for it at that
    // width, written as a PNG. Throws ViewerError when the layer type gives
    // none or the file cannot be written.
    void writeIcon(HLayer *layer, const std::string &pngFile, int width);
    // After a plug-in command: layers it made join the opening order, layers
    // it closed leave it.
    void syncLayers();

private:
    void drawLayers(bool boxesOnly);
    // The layer's text as its type saves it, written nowhere.
    std::string layerText(HLayer *layer);
    // Starts remembering a layer the viewer opened or was given.
    LayerRecord &remember(HLayer *layer, std::vector<std::string> args,
                          const std::vector<std::string> &reports);
    HLayer *restore(HLayer *layer, const std::string &text);
    // Closes the layer (without its question) and opens it again with args,
    // reading text instead of its file, where it stood; path is its file
    // from then on (absolute).
    HLayer *reopen(HLayer *layer, std::vector<std::string> args, std::string text,
                   std::string path);
    // The one way a layer's text reaches the file it stands for: the file
    // its record keeps, the damage question first where its reading warned
    // of damage (answer, or the host's question), then write(file) (false:
    // it failed and reported why), and the layer marked saved. A closing
    // layer (null) has nothing left to mark.
    SaveResult saveThroughGate(HLayer *layer, LayerRecord &record,
                               const std::function<bool(const std::string &file)> &write,
                               const DamageAnswer &answer);
    // The layer's type saves it to file instead of the name it holds.
    bool saveTo(HLayer *layer, const std::string &file);
    // After a save: what the file holds now is the saved state when it is
    // what the layer would write.
    void noteSaved(HLayer *layer);
    void drawSky();
    // Throws ViewerError when fileName is an open layer's file or the
    // ground's model or drape: writing a scene script there loses them.
    void refuseOverwritingSceneData(const std::string &fileName) const;

    host::Scene scene_;
    std::unique_ptr<GLTarget> gl_;
    std::unique_ptr<::terrain::Terrain> terrain_;  // the scene borrows it
    // Its files as the scene names them; the terrain's settings hold their
    // open names.
    GroundFile modelFile_, drapeFile_;
    bool terrainOverride_ = false;
    std::optional<WeatherSet> weather_;
    size_t chosenMemory_ = 0;  // MiB; 0: none chosen, scenes say
    std::function<void()> groundArrived_;  // set: the ground streams
    std::function<void(const std::string &, double)> groundProgress_;
    // The cloud tool's exports lie in the scene's coordinate system.
    ExportPlacement exportPlacement_{[this] { return terrain_ ? terrain_->model().wkt : std::string(); }};
    ScriptPresenter *presenter_ = nullptr;
    LayerType type_;
    HScript *script_ = nullptr;
    std::vector<HLayer *> opened_;
    std::map<HLayer *, LayerRecord> records_;
    int viewWidth_ = 1280, viewHeight_ = 720;  // the last render's size
};

// Throws ViewerError "file: cannot open <what>" unless file is a readable
// file (a directory is refused too).
void requireReadableFile(const std::string &file, const std::string &what);

// Throws ViewerError unless the file name ends in .png (any case).
void requirePngName(const std::string &file);

// Whether a path names a layer file of the plug-in rather than a scene
// script: by its extension, the type's file key.
bool isLayerFile(const std::string &path, const LayerType &type);

}  // namespace cloudview

#endif
