#include "viewer.h"

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "framing.h"
#include "hlib.h"
#include "hlib/error.h"
#include "hlib/file_redirect.h"
#include "hvislib.h"
#include "hvislib/questions.h"
#include "hmllib.h"
#include "hvislib.h"
#include "hmllib/script_ui.h"
#include "image_io.h"
#include "layer_files.h"
#include "statements.h"
#include "terrain_memory.h"
#include "tolatoollib/camera_moves.h"
#include "tolatoollib/selection.h"

namespace cloudview {

namespace {

// Runs a script from its directory and comes back, whatever happens.
class DirectoryScope {
public:
    explicit DirectoryScope(const std::string &file)
    {
        char here[PATH_MAX];
        if (!getcwd(here, sizeof here))
            throw ViewerError("cannot read the current directory");
        previous_ = here;
        const size_t slash = file.find_last_of('/');
        if (slash != std::string::npos) {
            const std::string dir = slash == 0 ? "/" : file.substr(0, slash);
            if (chdir(dir.c_str()) != 0)
                throw ViewerError(file + ": cannot enter its directory " + dir);
        }
    }
    ~DirectoryScope()
    {
        if (chdir(previous_.c_str()) != 0)
            std::abort();  // every later relative path would be wrong
    }

private:
    std::string previous_;
};

}  // namespace

void requireReadableFile(const std::string &file, const std::string &what)
{
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec))
        throw ViewerError(file + ": is a directory, not a " + what);
    if (!std::ifstream(file))
        throw ViewerError(file + ": cannot open " + what);
}

void requirePngName(const std::string &file)
{
    if (!hasPngName(file))
        throw ViewerError(file + ": renders are written as PNG only; name the image *.png");
}

bool isLayerFile(const std::string &path, const LayerType &type)
{
    const std::string suffix = "." + type.fileKey;
    return path.size() > suffix.size() &&
           path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

Viewer::Viewer(const std::string &pluginPath, std::unique_ptr<GLTarget> target)
{
    host::setViewerScene(&scene_);
    // Layers bake their textures as they open: a context must be current.
    gl_ = target ? std::move(target) : std::make_unique<HeadlessGL>(64, 64);
    gl_->makeCurrent();
    try {
        type_ = loadLayerType(pluginPath);
    } catch (const PluginError &e) {
        throw ViewerError(e.what());
    }
    script_ = type_.interfaceInit();
    // A layer its type deletes (the stacker popup's Delete layer) closes as
    // every other: its changes are asked about and saved to its own file.
    scene_.setLayerCloser([this](HLayer *layer) { closeLayer(layer); });
    scene_.camera().distance = 0.0;  // frame the content unless told otherwise
}

Viewer::~Viewer()
{
    closeAllLayers();
    closeTerrain();
    host::setViewerScene(nullptr);
}

void Viewer::openTerrain(const ::terrain::TerrainSettings &settings)
{
    std::vector<std::string> warnings;
    std::unique_ptr<::terrain::Terrain> opened;
    ::terrain::TerrainSettings asked = settings;
    if (chosenMemory_ != 0)
        asked.memoryMiB = chosenMemory_;
    ::terrain::BuildProgress progress;
    if (groundProgress_)
        progress = [this, terminal = ::terrain::terminalProgress(asked.model), name = asked.model,
                    shown = -1](double done) mutable {
            terminal(done);
            if (int(done * 100.0) != shown) {
                shown = int(done * 100.0);
                groundProgress_(name, done);
            }
            return true;
        };
    try {
        opened = ::terrain::Terrain::open(asked, warnings, progress);
    } catch (const ::terrain::TerrainError &e) {
        throw ViewerError(e.what());
    }
    // Kept by names that open from anywhere: scripts run from their own
    // directories, and a scene written elsewhere names the files relative
    // to itself. A file the ground already has (the model again, under a
    // new drape) keeps the name the scene first gave it.
    const auto named = [this](const std::string &name, const GroundFile &now) {
        return terrain_ && !name.empty() && name == now.openName() ? now : GroundFile(name);
    };
    GroundFile model = named(settings.model, modelFile_);
    GroundFile drape = named(settings.drape, drapeFile_);
    ::terrain::TerrainSettings kept = asked;
    kept.memoryMiB = opened->settings().memoryMiB;
    kept.model = model.openName();
    kept.drape = drape.openName();
    for (const std::string &w : warnings) {
        HErrorSlot err = herr_Make("warning: %s", w.c_str());
        hvis_ProcessErrorReport(&err);
    }
    closeTerrain();
    terrain_ = std::move(opened);
    if (groundArrived_)
        terrain_->setStreaming(true, groundArrived_);
    terrain_->setSettings(kept);
    modelFile_ = std::move(model);
    drapeFile_ = std::move(drape);
    scene_.setGround(terrain_.get());
}

void Viewer::openTerrainOverride(const ::terrain::TerrainSettings &settings)
{
    openTerrain(settings);
    terrainOverride_ = true;
}

void Viewer::setTerrainMemory(size_t mib)
{
    if (!terrainMemoryInRange(double(mib)))
        throw ViewerError("terrain memory " + std::to_string(mib) + " MiB is outside " +
                          terrainMemoryRange());
    chosenMemory_ = mib;
    if (terrain_)
        terrain_->setMemoryMiB(mib);
}

size_t Viewer::terrainMemory() const
{
    if (chosenMemory_ != 0)
        return chosenMemory_;
    return terrain_ ? terrain_->settings().memoryMiB : ::terrain::kDefaultMemoryMiB;
}

void Viewer::setStreamingGround(std::function<void()> arrived)
{
    groundArrived_ = std::move(arrived);
    if (terrain_)
        terrain_->setStreaming(bool(groundArrived_), groundArrived_);
}

void Viewer::closeTerrain()
{
    if (!terrain_)
        return;
    scene_.setGround(nullptr);
    gl_->makeCurrent();  // its tiles live in this context
    terrain_.reset();
    modelFile_ = GroundFile();
    drapeFile_ = GroundFile();
}

void Viewer::setMoving(bool moving)
{
    scene_.setGroundPixelError(moving ? ::terrain::kMovingPixelError : ::terrain::kStillPixelError);
}

void Viewer::closeAllLayers()
{
    gl_->makeCurrent();
    for (HLayer *layer : std::vector<HLayer *>(opened_))
        closeLayer(layer);
    scene_.closeAllLayers();
    opened_.clear();
    weather_.reset();
}

HLayer *Viewer::openLayer(const std::vector<std::string> &args)
{
    for (const std::string &a : args)
        if (!quotable(a))
            throw ViewerError("\"" + a + "\": a layer argument with a double quote or a line "
                              "break cannot be written into a scene script");
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    gl_->makeCurrent();
    host::ReportRecorder reports;
    HLayer *layer = type_.open(scene_.hscene(), 0, static_cast<int32_t>(argv.size()), argv.data());
    if (!layer)
        throw ViewerError((args.empty() ? std::string("layer") : args[0]) +
                          ": the plug-in could not open the layer");
    scene_.addLayer(layer);
    opened_.push_back(layer);
    remember(layer, args, reports.messages());
    return layer;
}

HLayer *Viewer::newLayer(const std::string &fileName)
{
    if (!fileName.empty() && !quotable(fileName))
        throw ViewerError("\"" + fileName + "\": a layer file name with a double quote or a "
                          "line break cannot be written into a scene script");
    gl_->makeCurrent();
    std::vector<char *> argv;
    if (!fileName.empty())
        argv.push_back(const_cast<char *>(fileName.c_str()));
    HLayer *layer = type_.create(scene_.hscene(), 0, static_cast<int32_t>(argv.size()),
                                 argv.empty() ? nullptr : argv.data());
    if (!layer)
        throw ViewerError("the plug-in could not make a new " + type_.typeName + " layer");
    scene_.addLayer(layer);
    opened_.push_back(layer);
    remember(layer, fileName.empty() ? std::vector<std::string>{}
                                     : std::vector<std::string>{fileName}, {});
    return layer;
}

HLayer *Viewer::openLayerFile(const std::string &fileName)
{
    requireReadableFile(fileName, "layer file");
    return openLayer({fileName});
}

HLayer *Viewer::layer(int n, const std::string &where) const
{
    if (n < 1 || static_cast<size_t>(n) > opened_.size())
        throw ViewerError(where + ": no layer " + std::to_string(n) + " (" +
                          std::to_string(opened_.size()) + " open)");
    return opened_[n - 1];
}

namespace {

// The layer's file as its user named it, for questions and reports.
std::string fileOf(const LayerRecord &r)
{
    return r.args.empty() ? "the new layer" : r.args[0];
}

void reportNoFile(const LayerRecord &r)
{
    reportProblem(fileOf(r) + ": not saved: the layer has no file (Save layer as... names one)");
}

}  // namespace

void Viewer::closeLayer(HLayer *layer)
{
    opened_.erase(std::remove(opened_.begin(), opened_.end(), layer), opened_.end());
    gl_->makeCurrent();
    // The layer type asks its own question only about changes it knows of;
    // text an undo brought back is the viewer's to ask about.
    if (const LayerRecord *r = record(layer); r && r->unmarked && r->text != r->savedText) {
        if (hvis_QueryYesNo(("Save the changes to " + fileOf(*r) + "?").c_str(), "No", "Yes") &&
            saveLayer(layer) == SaveResult::NoFile)
            reportNoFile(*r);
    }
    LayerRecord record;
    if (auto found = records_.find(layer); found != records_.end()) {
        record = std::move(found->second);
        records_.erase(found);
    }
    if (layer->methods && layer->methods->close) {
        // What the layer saves as it closes is held until it is known that
        // it may replace its file: a file read with damage asks first.
        bool saved = false;
        std::string text;
        {
            host::WriteCapture held(host::WriteCapture::Told::Saved);
            layer->methods->close(layer);
            saved = held.written();
            text = held.text();
        }
        const auto write = [&text](const std::string &path) {
            const std::string problem = writeText(path, text);
            if (!problem.empty())
                reportProblem(problem);
            return problem.empty();
        };
        if (saved && saveThroughGate(nullptr, record, write, {}) == SaveResult::NoFile)
            reportNoFile(record);
    }
    scene_.removeLayer(layer);
}

ScriptOutcome Viewer::runScript(const std::string &fileName, ScriptMode mode)
{
    requireReadableFile(fileName, "scene script");
    std::vector<Statement> statements;
    try {
        statements = readSceneScript(fileName);
    } catch (const ScriptError &e) {
        throw ViewerError(e.what());
    }
    DirectoryScope scope(fileName);
    return execute(statements, fileName, mode);
}

ScriptOutcome Viewer::execute(const std::vector<Statement> &statements, const std::string &file,
                              ScriptMode mode)
{
    checkStatements(statements, file);
    ScriptOutcome outcome;
    for (const Statement &s : statements) {
        const StatementKind *kind = findStatement(s.tokens[0].text);
        if (mode == ScriptMode::SceneOnly && !kind->scene) {
            ++outcome.skipped;
            continue;
        }
        kind->run(StatementCall{*this, s, file});
        ++outcome.carriedOut;
        syncLayers();
        noteChanges(stepName(s));
        if (presenter_)
            presenter_->statementDone();
    }
    return outcome;
}

void Viewer::syncLayers()
{
    // Commands may make layers (a new cloud layer) or close them (delete
    // from the stacker popup): keep opening order for those that stay and
    // number the new ones after them.
    std::vector<HLayer *> kept;
    for (HLayer *layer : opened_)
        if (scene_.contains(layer))
            kept.push_back(layer);
    for (HLayer *layer : scene_.layers())
        if (std::find(kept.begin(), kept.end(), layer) == kept.end())
            kept.push_back(layer);
    opened_ = kept;
    for (auto it = records_.begin(); it != records_.end();)
        it = scene_.contains(it->first) ? std::next(it) : records_.erase(it);
    // A layer its type made (a new layer from its menu) tells its
    // arguments only in the line it writes into a scene script.
    for (HLayer *layer : opened_)
        if (!records_.count(layer))
            remember(layer, featureLineArgs(featureLine(layer, "")), {});
}

void Viewer::drawLayers(bool boxesOnly)
{
    const host::Camera &c = scene_.camera();
    for (HLayer *layer : scene_.layers()) {
        if (!scene_.layerVisible(layer) || !layer->methods)
            continue;
        HLayerDrawFn draw = boxesOnly ? layer->methods->drawBoxes : layer->methods->draw;
        if (draw)
            draw(layer, 0.0, 0.0, 0.0, 0, c.elevation, c.azimuth, 0);
    }
}

void Viewer::frameContent()
{
    gl_->makeCurrent();
    host::Camera &camera = scene_.camera();
    camera.elevation = host::clampElevation(camera.elevation);
    const host::Extent &e = scene_.extent();
    // Layers draw in the scene's drawing frame; the scene's box is taken
    // there too, and the bounds brought back to scene coordinates.
    const host::Vec3 &o = scene_.frameOffset();
    Bounds scene;
    {
        const double a[3] = {e.x1 - o[0], e.y1 - o[1], e.z1 - o[2]};
        const double b[3] = {e.x2 - o[0], e.y2 - o[1], e.z2 - o[2]};
        scene.add(a);
        scene.add(b);
    }
    // Each layer's boxes under a mark of its own (its place in the list,
    // from 1), so that one drawn out of all reason can be named.
    const std::vector<HLayer *> layers = scene_.layers();
    const Framing framing = frameDrawing([this, &layers] {
        const host::Camera &c = scene_.camera();
        for (size_t n = 0; n < layers.size(); ++n) {
            HLayer *layer = layers[n];
            if (!scene_.layerVisible(layer) || !layer->methods || !layer->methods->drawBoxes)
                continue;
            glPassThrough(static_cast<GLfloat>(n + 1));
            layer->methods->drawBoxes(layer, 0.0, 0.0, 0.0, 0, c.elevation, c.azimuth, 0);
        }
    }, scene, !terrain_);
    if (!framing.leftOut.empty()) {
        std::string names;
        for (size_t i = 0; i < framing.leftOut.size(); ++i) {
            const int mark = framing.leftOut[i];
            if (mark < 1 || static_cast<size_t>(mark) > layers.size())
                continue;
            const LayerRecord *r = record(layers[static_cast<size_t>(mark - 1)]);
            names += std::string(names.empty() ? "" : ", ") +
                     (r && !r->args.empty() ? r->args[0] : "layer " + std::to_string(mark));
        }
        char reach[32];
        std::snprintf(reach, sizeof reach, "%g", kFramingReach);
        reportProblem("warning: " + names + ": left out of the view's framing: it draws more "
                      "than " + reach + " scene sizes outside the scene (a damaged file?)");
    }
    Bounds b = framing.bounds;
    for (int k = 0; k < 3 && !b.empty; ++k) {
        b.lo[k] += o[size_t(k)];
        b.hi[k] += o[size_t(k)];
    }
    // The ground always frames: the elevation model's whole box.
    if (terrain_) {
        const host::Extent t = terrain_->extent();
        const double low[3] = {t.x1, t.y1, t.z1}, high[3] = {t.x2, t.y2, t.z2};
        b.add(low);
        b.add(high);
    }
    if (b.empty) {
        const double ground[3] = {std::min(e.x1, e.x2), std::min(e.y1, e.y2), e.z1};
        const double top[3] = {std::max(e.x1, e.x2), std::max(e.y1, e.y2), e.z1};
        b.add(ground);
        b.add(top);
    }
    // The nearest eye, on the camera's line of sight through the centre of
    // the content, from which every corner of the bounds is in view.
    camera.target = {(b.lo[0] + b.hi[0]) / 2, (b.lo[1] + b.hi[1]) / 2, (b.lo[2] + b.hi[2]) / 2};
    const host::Vec3 f = camera.forward(), r = camera.right(), u = camera.up();
    const double aspect = static_cast<double>(camera.width) / std::max(1, camera.height);
    const double tanY = std::tan(camera.fovY * M_PI / 360.0);
    const double tanX = tanY * aspect;
    double distance = 1.0;
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {(corner & 1 ? b.hi[0] : b.lo[0]) - camera.target[0],
                             (corner & 2 ? b.hi[1] : b.lo[1]) - camera.target[1],
                             (corner & 4 ? b.hi[2] : b.lo[2]) - camera.target[2]};
        auto dot = [&p](const host::Vec3 &v) { return p[0] * v[0] + p[1] * v[1] + p[2] * v[2]; };
        distance = std::max({distance, std::fabs(dot(r)) / tanX - dot(f),
                             std::fabs(dot(u)) / tanY - dot(f)});
    }
    camera.distance = distance * 1.08;
    scene_.keepCameraAboveGround();
}

void Viewer::drawSky()
{
    // Haze at the horizon deepening to blue overhead; below the horizon the
    // haze the distant land fades into.
    const host::Camera camera = scene_.viewCamera();
    const host::Vec3 eye = camera.eye(), f = camera.forward();
    const double flat = std::hypot(f[0], f[1]);
    double horizon = 1.0;  // in normalised device y
    if (flat > 1e-9) {
        const double far = 0.99 * camera.farPlane;
        const double point[3] = {eye[0] + f[0] / flat * far, eye[1] + f[1] / flat * far, eye[2]};
        double wx = 0, wy = 0;
        if (camera.worldToWindow(point, &wx, &wy))
            horizon = std::clamp(1.0 - 2.0 * wy / camera.height, -1.0, 1.0);
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_QUADS);
    glColor3f(0.50f, 0.66f, 0.82f);
    glVertex2d(-1.0, -1.0);
    glVertex2d(1.0, -1.0);
    glVertex2d(1.0, horizon);
    glVertex2d(-1.0, horizon);
    glVertex2d(-1.0, horizon);
    glVertex2d(1.0, horizon);
    glColor3f(0.13f, 0.30f, 0.55f);
    glVertex2d(1.0, 1.0);
    glVertex2d(-1.0, 1.0);
    glEnd();
    glColor3f(1.0f, 1.0f, 1.0f);
}

std::vector<uint8_t> Viewer::renderRGBA(int width, int height)
{
    drawScene(width, height);
    keepDepthForPicking();
    return gl_->readRGBA();
}

void Viewer::keepDepthForPicking()
{
    scene_.setLastFrame(scene_.viewCamera(), gl_->readDepth());
}

void Viewer::drawScene(int width, int height)
{
    gl_->makeCurrent();
    if (gl_->width() != width || gl_->height() != height)
        gl_->resize(width, height);
    glViewport(0, 0, width, height);
    scene_.setViewport(width, height);
    viewWidth_ = width;
    viewHeight_ = height;
    if (!(scene_.camera().distance > 0.0))
        frameContent();
    // Whatever set the camera (a script, a saved scene, a move), it never
    // draws from under the ground.
    scene_.keepCameraAboveGround();

    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawSky();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    scene_.setupCamera();
    scene_.drawGround();
    drawLayers(false);
    host::drawSelectors(&scene_);
    glFinish();
}

bool Viewer::click(int x, int y)
{
    gl_->makeCurrent();
    scene_.setViewport(viewWidth_, viewHeight_);
    if (!(scene_.camera().distance > 0.0))
        frameContent();
    // A placed cloud is baked during the click.
    const bool taken = scene_.click(x, y);
    syncLayers();
    return taken;
}

void Viewer::render(const std::string &pngFile, int width, int height)
{
    requirePngName(pngFile);
    const std::vector<uint8_t> rgba = renderRGBA(width, height);
    const std::string problem = writePNG(pngFile, rgba, width, height);
    if (!problem.empty())
        throw ViewerError(pngFile + ": " + problem);
}

void Viewer::writeIcon(HLayer *layer, const std::string &pngFile, int width)
{
    requirePngName(pngFile);
    if (width < 1 || width > 4096)
        throw ViewerError("icon width " + std::to_string(width) + " is outside 1..4096");
    if (!layer->methods || !layer->methods->stackerIcon)
        throw ViewerError("the layer type draws no stacker icon");
    HErrorSlot err = nullptr;
    // The stacker's own canvas, which icons are made to match; 48 pixels
    // is the height of a stacker entry.
    HCanvas *stackerCanvas = hhml_CanvasCreateOffScreenCopyVis(nullptr, width, 48, &err);
    if (!stackerCanvas)
        throw ViewerError("cannot make the stacker's canvas");
    HStackerCanvas stacker{stackerCanvas, scene_.window(), nullptr};
    HErrorSlot callerErr = nullptr;
    HCanvas *icon = layer->methods->stackerIcon(layer, &stacker, width, &callerErr);
    hhml_CanvasDelete(stackerCanvas, &err);
    if (!icon)
        throw ViewerError("the layer gave no stacker icon");
    const std::vector<uint8_t> rgb = host::canvasRGB(icon);
    const std::string problem = writeRGBAsPNG(pngFile, rgb, icon->width, icon->height);
    if (!problem.empty())
        throw ViewerError(pngFile + ": " + problem);
}

namespace {

// The files named as ground_files.h tells: plain files relative to the
// scene's folder, as its layers are.
void writeTerrainStatement(HFile *out, const std::string &folder, const GroundFile &model,
                           const GroundFile &drape, const ::terrain::TerrainSettings &t)
{
    hfio_Fprintf(out, "TERRAIN \"%s\"", model.nameFrom(folder).c_str());
    if (!drape.empty())
        hfio_Fprintf(out, " DRAPE \"%s\"", drape.nameFrom(folder).c_str());
    if (t.exaggeration != 1.0)
        hfio_Fprintf(out, " EXAGGERATION %.17g", t.exaggeration);
    // Only a budget someone set: scenes that never named one are written
    // back as they were.
    if (t.memoryMiB != ::terrain::kDefaultMemoryMiB)
        hfio_Fprintf(out, " MEMORY %zu", t.memoryMiB);
    hfio_Fprintf(out, ";\n");
}

}  // namespace

void Viewer::refuseOverwritingSceneData(const std::string &fileName) const
{
    const auto refuse = [&fileName](const std::string &what) {
        throw ViewerError(fileName + ": is " + what +
                          "; a scene script written there would replace it (choose another name)");
    };
    if (terrain_ && sameFile(fileName, modelFile_.diskFile()))
        refuse(modelFile_.inArchive() ? "the archive holding the scene's elevation model"
                                      : "the scene's elevation model");
    if (terrain_ && sameFile(fileName, drapeFile_.diskFile()))
        refuse(drapeFile_.inArchive() ? "the archive holding the image draped over the scene's ground"
                                      : "the image draped over the scene's ground");
    for (size_t i = 0; i < opened_.size(); ++i)
        if (const LayerRecord *r = record(opened_[i]); r && sameFile(fileName, r->path))
            refuse("the file of layer " + std::to_string(i + 1));
}

void Viewer::writeScene(const std::string &fileName)
{
    // The layers are saved as the script is written: its own file must
    // not be one of theirs, nor the ground's.
    refuseOverwritingSceneData(fileName);
    HErrorSlot err = nullptr;
    HFile *out = hfio_Open(fileName.c_str(), "w", &err);
    if (!out)
        throw ViewerError(fileName + ": cannot write scene script");
    std::error_code ec;
    const std::string folder =
        std::filesystem::absolute(fileName, ec).lexically_normal().parent_path().string();
    const host::Extent &e = scene_.extent();
    const host::Vec3 &o = scene_.origin();
    const host::Camera &c = scene_.camera();
    if (terrain_)
        writeTerrainStatement(out, folder, modelFile_, drapeFile_, terrain_->settings());
    hfio_Fprintf(out, "EXTENT %.17g %.17g %.17g %.17g %.17g %.17g;\n", e.x1, e.x2, e.y1, e.y2,
                 e.z1, e.z2);
    hfio_Fprintf(out, "ORIGIN %.17g %.17g %.17g;\n", o[0], o[1], o[2]);
    hfio_Fprintf(out, "VIEW %.17g %.17g %.17g;\n", c.azimuth, c.elevation, c.distance);
    gl_->makeCurrent();
    std::vector<std::string> unnamed;
    for (HLayer *layer : scene_.layers()) {
        if (!layer->methods || !layer->methods->writeFeatureLine)
            continue;
        const LayerRecord *r = record(layer);
        if (r && r->path.empty()) {
            // Its line would reopen nothing: it is left out, and said.
            unnamed.push_back("a new " + type_.typeName + " layer");
            continue;
        }
        // The type saves the layer as it writes its line: through the gate
        // to its file, or, answered No, nowhere (its file stays as read).
        std::string line;
        if (auto found = records_.find(layer); found != records_.end()) {
            const auto write = [&line, layer](const std::string &path) {
                line = featureLine(layer, path);
                return true;
            };
            if (saveThroughGate(layer, found->second, write, {}) != SaveResult::Saved)
                line = featureLine(layer, "");
            line = withFirstArgument(line, nameFrom(folder, found->second.path));
        } else {
            line = featureLine(layer, "");
        }
        hfio_Fprintf(out, "%s", line.c_str());
    }
    if (!hfio_Close(out, &err))
        throw ViewerError(fileName + ": " + (err ? herr_Message(err) : "cannot write scene script"));
    if (!unnamed.empty())
        throw ViewerError(fileName + ": written without " + unnamed.front() +
                          ", which has no file yet (save it under a name first)");
}

}  // namespace cloudview
