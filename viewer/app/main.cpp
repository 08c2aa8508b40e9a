// cloudview: loads the cloud layer plug-in as the host does and renders,
// runs, inspects or converts layers and scenes from the command line.
// Exit codes: 0 success, 1 usage error, 2 failure (one line on stderr
// naming the file and the problem).
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <fstream>
#include <iostream>
#include <sstream>

#include "export_command.h"
#include "hlib.h"
#include "hvislib/questions.h"
#include "image_io.h"
#include "plugin/records.h"
#include "synth/slice_texture.h"
#include "tolatoollib/camera_moves.h"
#include "terrain_memory.h"
#include "viewer.h"
#include "weather/cloud_fields.h"
#include "weather/field_list.h"
#include "weather_command.h"
#include "window_app.h"

namespace cloudview {
namespace {

struct Size {
    int width = 1280, height = 720;
};

Size parseSize(const std::string &text)
{
    Size s;
    char x = 0, extra = 0;
    std::istringstream in(text);
    if (!(in >> s.width >> x >> s.height) || (x != 'x' && x != 'X') || in >> extra ||
        s.width < 1 || s.height < 1 || s.width > 8192 || s.height > 8192)
        throw ViewerError("--size " + text + ": expected WxH, each 1..8192");
    return s;
}

struct View {
    double azimuth = 0, elevation = 0, distance = 0;  // distance 0: frame the layers
};

// AZ,EL or AZ,EL,DIST, as VIEW takes them.
View parseView(const std::string &text)
{
    View v;
    char c1 = 0, c2 = 0, extra = 0;
    std::istringstream in(text);
    bool ok = static_cast<bool>(in >> v.azimuth >> c1 >> v.elevation) && c1 == ',';
    if (ok && in >> c2)
        ok = c2 == ',' && static_cast<bool>(in >> v.distance) && !(in >> extra);
    if (!ok || !std::isfinite(v.azimuth) || !std::isfinite(v.elevation) ||
        !std::isfinite(v.distance) || v.distance < 0)
        throw ViewerError("--view " + text +
                          ": expected AZ,EL or AZ,EL,DIST (degrees, degrees, distance >= 0)");
    // Typed here and now, an elevation the camera cannot take is refused
    // rather than quietly changed.
    if (host::clampElevation(v.elevation) != v.elevation) {
        char range[64];
        std::snprintf(range, sizeof range, "%g..%g", host::kMinElevation, host::kMaxElevation);
        throw ViewerError("--view " + text + ": the elevation must be in " + range + " degrees");
    }
    return v;
}

// " (1 cloud)" / "5 clouds": counts in the summary lines.
std::string count(size_t n, const std::string &what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string fileSize(const std::string &file)
{
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(file, ec);
    return ec ? std::string("size unknown") : count(bytes, "byte");
}

// --terrain, --drape and --terrain-memory: the ground for the scene,
// whatever it names.
struct GroundOptions {
    std::string terrain, drape, memory;
    bool memoryGiven = false;  // an empty value is given too, and refused
    void add(CLI::App *command)
    {
        command->add_option("--terrain", terrain,
                            "an elevation model (any raster GDAL reads) as the ground; it replaces "
                            "a TERRAIN of the scene");
        command->add_option("--drape", drape, "an image draped over the --terrain model");
        command->add_option("--terrain-memory", memory,
                            "MiB the ground may hold (" + terrainMemoryRange() +
                                ", default " + std::to_string(::terrain::kDefaultMemoryMiB) +
                                "); it replaces a TERRAIN's MEMORY")
            ->type_name("MIB")
            ->each([this](const std::string &) { memoryGiven = true; });
    }
    // 0 when not given; throws ViewerError (exit 2) outside the range.
    size_t memoryMiB() const { return memoryGiven ? parseTerrainMemory(memory) : 0; }
    // Before anything else is read; usage error (exit 1) for a drape alone.
    void open(Viewer &viewer) const
    {
        if (const size_t mib = memoryMiB())
            viewer.setTerrainMemory(mib);
        if (terrain.empty())
            return;
        ::terrain::TerrainSettings settings;
        settings.model = terrain;
        settings.drape = drape;
        viewer.openTerrainOverride(settings);
    }
};

void render(Viewer &viewer, const std::string &input, const std::string &out,
            const std::string &size, const std::string &view)
{
    // Every argument is checked before anything is opened or drawn.
    requirePngName(out);
    const Size s = size.empty() ? Size{} : parseSize(size);
    const View v = view.empty() ? View{} : parseView(view);
    ScriptOutcome script;
    if (isLayerFile(input, viewer.layerType()))
        viewer.openLayerFile(input);
    else
        script = viewer.runScript(input, ScriptMode::SceneOnly);
    if (!view.empty())
        viewer.scene().setView(v.azimuth, v.elevation, v.distance);
    viewer.render(out, s.width, s.height);
    std::printf("wrote %s: %dx%d PNG, %s", out.c_str(), s.width, s.height, fileSize(out).c_str());
    if (script.skipped > 0)
        std::printf(" (%s of %s not carried out: render draws the scene; cloudview run carries "
                    "them out)",
                    count(script.skipped, "statement").c_str(), input.c_str());
    std::printf("\n");
}

// Makes the folder and those above it, or says why it cannot.
void makeFolder(const std::string &dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!ec && !std::filesystem::is_directory(dir, ec))
        ec = std::make_error_code(std::errc::not_a_directory);
    if (ec)
        throw ViewerError(dir + ": cannot make the output folder: " + ec.message());
}

// These commands know the plug-in's records: they exist to look at what
// the plug-in made (the bake left in GL, the clouds a file held).
const CloudLayer *cloudsOf(HLayer *layer)
{
    return static_cast<const CloudLayer *>(layer->instance);
}

size_t cloudCount(HLayer *layer)
{
    size_t n = 0;
    for (const CloudRecord *c = cloudsOf(layer)->clouds; c; c = c->next)
        ++n;
    return n;
}

void textures(Viewer &viewer, const std::string &input, const std::string &dir)
{
    HLayer *layer = viewer.openLayerFile(input);
    makeFolder(dir);
    viewer.gl().makeCurrent();
    int k = 0;
    size_t written = 0;
    for (const CloudRecord *c = cloudsOf(layer)->clouds; c; c = c->next, ++k) {
        if (!c->hTextures || !c->vTextures)
            continue;
        for (int l = 0; l < c->layers; ++l) {
            const SliceTexture *stacks[2] = {&c->hTextures[l], &c->vTextures[l]};
            const char *kinds[2] = {"h", "v"};
            for (int s = 0; s < 2; ++s) {
                int w = 0, h = 0;
                const std::vector<uint8_t> gray = readLuminanceTexture(stacks[s]->texName, &w, &h);
                const std::string file = dir + "/cloud_" + std::to_string(k) + "_" + kinds[s] +
                                         "_" + std::to_string(l) + ".pgm";
                const std::string problem = writePGM(file, gray, w, h);
                if (!problem.empty())
                    throw ViewerError(file + ": " + problem);
                ++written;
            }
        }
    }
    std::printf("wrote %s of %s to %s\n", count(written, "texture").c_str(),
                count(static_cast<size_t>(k), "cloud").c_str(), dir.c_str());
}

void convert(Viewer &viewer, const std::string &input, const std::string &out)
{
    requireReadableFile(input, "layer file");
    // Read the input as it stands first: its warnings name it, and a file
    // whose values do not convert is not saved, since saving would make the
    // damage permanent (the output is left untouched).
    const size_t damaged = host::reportCount(HERR_DAMAGED);
    HLayer *layer = viewer.openLayerFile(input);
    if (host::reportCount(HERR_DAMAGED) != damaged)
        throw ViewerError(input + ": damaged, not converted (" + out +
                          " left as it was); correct the value named above first");
    const size_t clouds = cloudCount(layer);
    if (input != out) {
        viewer.closeLayer(layer);
        // The layer saves to the file it was opened from: open a copy at the
        // destination and save it there. Its warnings were shown above.
        std::ifstream in(input, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        std::ofstream copy(out, std::ios::binary | std::ios::trunc);
        copy << text.str();
        copy.close();
        if (!copy)
            throw ViewerError(out + ": cannot write");
        host::setReportsPrinted(false);
        try {
            layer = viewer.openLayerFile(out);
        } catch (...) {
            host::setReportsPrinted(true);
            throw;
        }
        host::setReportsPrinted(true);
    }
    // Writing what was read is what convert was asked for: what its
    // reading warned of was said above, and it asks nothing more.
    const auto convertAnyway = [](const std::string &) { return true; };
    if (viewer.saveLayer(layer, convertAnyway) != SaveResult::Saved)
        throw ViewerError(out + ": cannot save the layer");
    std::printf("converted %s from %s to %s (version 1.1)\n", count(clouds, "cloud").c_str(),
                input.c_str(), out.c_str());
}

// The first word that is neither an option nor an option's value: the
// command the user meant, or "" when there is none.
std::string commandWord(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--plugin") {
            ++i;
            continue;
        }
        if (!a.empty() && a[0] == '-')
            continue;
        return a;
    }
    return "";
}

}  // namespace
}  // namespace cloudview

int main(int argc, char **argv)
{
    using namespace cloudview;
    CLI::App app{"cloudview: the cloud layer viewer, in a window or headless", "cloudview"};
    app.require_subcommand(1);
    std::string plugin;
    app.add_option("--plugin", plugin, "the layer plug-in (default: libtlcloud.so beside cloudview)");

    std::string input, out, size, view, dir;
    GroundOptions ground;
    CLI::App *renderCmd = app.add_subcommand("render", "render a scene script or a layer file to PNG");
    renderCmd->add_option("input", input, "SCENE or LAYERFILE")->required();
    renderCmd->add_option("-o,--output", out, "the PNG to write")->required();
    renderCmd->add_option("--size", size, "image size WxH (default 1280x720)");
    renderCmd->add_option("--view", view, "camera AZ,EL[,DIST] in degrees, degrees (5..90), scene units; "
                                          "DIST 0 or none frames the layers");
    ground.add(renderCmd);

    CLI::App *runCmd = app.add_subcommand("run", "run a scene script headless");
    runCmd->add_option("script", input, "SCENE")->required();
    ground.add(runCmd);

    CLI::App *texCmd = app.add_subcommand("textures", "write every baked texture as PGM");
    texCmd->add_option("input", input, "LAYERFILE")->required();
    texCmd->add_option("-o,--output", dir, "directory for cloud_<k>_<h|v>_<l>.pgm")->required();

    CLI::App *convCmd = app.add_subcommand("convert", "save a layer file (V1.0 or V1.1) as V1.1");
    convCmd->add_option("input", input, "LAYERFILE")->required();
    convCmd->add_option("-o,--output", out, "the layer file to write")->required();

    int cloud = 0;
    bool overwrite = false;
    CLI::App *exportCmd =
        app.add_subcommand("export", "export one cloud of a layer file as a 3-band GeoTIFF");
    exportCmd->add_option("input", input, "LAYERFILE")->required();
    exportCmd->add_option("--cloud", cloud, "the cloud, from 1 as the cloud tool lists them")
        ->required();
    exportCmd->add_option("-o,--output", out, "the GeoTIFF to write (.tif or .tiff)")->required();
    exportCmd->add_flag("--overwrite", overwrite, "replace OUT when it exists");
    std::string crs;
    exportCmd->add_option("--crs", crs, "georeference the GeoTIFF over the cloud's footprint in this "
                                        "coordinate system: a georeferenced raster, EPSG:n or WKT");

    int iconWidth = 200;
    CLI::App *iconCmd = app.add_subcommand("icon", "write a layer's stacker icon as PNG");
    iconCmd->add_option("input", input, "LAYERFILE")->required();
    iconCmd->add_option("-o,--output", out, "the PNG to write")->required();
    iconCmd->add_option("--width", iconWidth, "the icon's width in pixels (default 200; it is "
                                              "48 high)");

    std::vector<std::string> inputs;
    std::string script;
    CLI::App *openCmd = app.add_subcommand("open", "open scenes and layer files in a window");
    openCmd->add_option("inputs", inputs, "SCENE or LAYERFILE, any number");
    openCmd->add_option("--script", script, "scene-script statements to run in the window, "
                                            "then quit");
    openCmd->add_option("--size", size, "window size WxH (default 1280x800)");
    ground.add(openCmd);

    std::string weatherFile;
    bool weatherList = false;
    CLI::App *weatherCmd =
        app.add_subcommand("weather", "the cloud cover in a weather file (GRIB, NetCDF, GeoTIFF)");
    weatherCmd->add_option("file", weatherFile, "FILE")->required();
    weatherCmd->add_flag("--list", weatherList, "list the cloud fields, their grid and the rest");
    WeatherOptions weatherOpts;
    weatherOpts.add(weatherCmd);

    // CLI11 reads an unknown command as a stray argument and complains that
    // a command is required; name the word instead.
    const std::string word = commandWord(argc, argv);
    bool known = word.empty();
    std::string commands;
    for (const CLI::App *sub : app.get_subcommands({})) {
        known = known || sub->get_name() == word;
        commands += (commands.empty() ? "" : ", ") + sub->get_name();
    }
    if (!known) {
        std::fprintf(stderr, "cloudview: unknown command \"%s\" (commands: %s)\n\n%s", word.c_str(),
                     commands.c_str(), app.help().c_str());
        return 1;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        // The usage of the command that was being read, after the problem.
        const CLI::App *failing = &app;
        for (const CLI::App *sub : app.get_subcommands())
            if (sub->parsed())
                failing = sub;
        std::fprintf(stderr, "cloudview: %s\n\n%s", e.what(), failing->help().c_str());
        return 1;
    }

    if (!ground.drape.empty() && ground.terrain.empty()) {
        std::fprintf(stderr, "cloudview: --drape needs --terrain: a drape lies over a model\n");
        return 1;
    }
    if (weatherCmd->parsed()) {
        // Reading a file needs no plug-in and no ground.
        try {
            if (weatherList) {
                std::fputs(weather::listFields(weather::findCloudFields(weatherFile)).c_str(),
                           stdout);
                return 0;
            }
            return writeWeather(weatherFile, weatherOpts);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "cloudview: %s\n", e.what());
            return 2;
        }
    }
    if (openCmd->parsed()) {
        try {
            window::WindowOptions options;
            options.plugin = plugin;
            options.inputs = inputs;
            options.script = script;
            options.terrain = ground.terrain;
            options.drape = ground.drape;
            options.terrainMemory = ground.memoryMiB();
            if (!size.empty()) {
                const Size s = parseSize(size);
                options.width = s.width;
                options.height = s.height;
            }
            for (const std::string &in : inputs)
                requireReadableFile(in, "scene or layer file");
            if (!script.empty())
                requireReadableFile(script, "scene script");
            window::WindowApp windowApp(options);
            return windowApp.run();
        } catch (const std::exception &e) {
            std::fprintf(stderr, "cloudview: %s\n", e.what());
            return 2;
        }
    }
    try {
        Viewer viewer(plugin.empty() ? defaultPluginPath() : plugin);
        ground.open(viewer);
        if (renderCmd->parsed())
            render(viewer, input, out, size, view);
        else if (runCmd->parsed())
            std::printf("ran %s: %s\n", input.c_str(),
                        count(viewer.runScript(input).carriedOut, "statement").c_str());
        else if (texCmd->parsed())
            textures(viewer, input, dir);
        else if (convCmd->parsed())
            convert(viewer, input, out);
        else if (exportCmd->parsed())
            std::printf("%s\n", exportCloud(viewer, input, cloud, out, overwrite, crs).c_str());
        else if (iconCmd->parsed()) {
            viewer.writeIcon(viewer.openLayerFile(input), out, iconWidth);
            std::printf("wrote %s: the layer's icon, %d pixels wide, %s\n", out.c_str(), iconWidth,
                        fileSize(out).c_str());
        }
    } catch (const ViewerError &e) {
        std::fprintf(stderr, "cloudview: %s\n", e.what());
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cloudview: %s\n", e.what());
        return 2;
    }
    return 0;
}
