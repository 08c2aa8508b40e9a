#include "weather_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "layer_files.h"
#include "terrain/cache_files.h"
#include "viewer.h"
#include "weather/forecast_scene.h"
#include "weather/valid_time.h"

namespace cloudview {

void WeatherOptions::add(CLI::App *command)
{
    command->add_option("-o,--output", out, "the scene to write (OUT.scene); its layers go "
                                            "beside it as OUT-low.cloud, OUT-middle.cloud, ...");
    command->add_option("--terrain", terrain, "an elevation model the clouds stand over");
    command->add_option("--drape", drape, "an image draped over the --terrain model");
    command->add_option("--exaggeration", exaggeration,
                        "heights drawn this many times as high, the ground's and the clouds' "
                        "(default 1)");
    command->add_option("--region", region,
                        "W,S,E,N in degrees (default: the terrain's footprint, or the whole "
                        "field)");
    command->add_option("--time", time, "the valid time wanted, 2011-01-20T12:00Z; the file's "
                                        "nearest is taken");
    command->add_flag("--all-times", allTimes, "one scene for each of the file's times");
    command->add_option("--levels", levels, "cloud levels, low,middle,high (default: those of "
                                            "them the file has)");
    command->add_option("--threshold", threshold, "the cover (percent) a cell needs to hold a "
                                                  "cloud (default 10)");
    command->add_option("--spacing", spacing, "the clouds' cell size in metres (default: the "
                                              "data's own)");
}

namespace {

weather::WeatherRequest requestFor(const std::string &file, const WeatherOptions &options)
{
    weather::WeatherRequest request;
    request.file = file;
    request.terrain = options.terrain;
    request.drape = options.drape;
    request.exaggeration = options.exaggeration;
    if (!options.region.empty())
        request.region = weather::parseRegion(options.region);
    if (!options.time.empty())
        request.time = weather::parseTime(options.time);
    request.allTimes = options.allTimes;
    if (!options.levels.empty())
        request.levels = weather::parseLevels(options.levels);
    request.threshold = options.threshold;
    request.spacing = options.spacing;
    return request;
}

// The options with the scene's ground in place of any given.
WeatherOptions overGround(const Viewer &viewer, WeatherOptions options)
{
    options.terrain.clear();
    options.drape.clear();
    options.exaggeration = 1;
    if (const ::terrain::Terrain *ground = viewer.terrain()) {
        options.terrain = ground->settings().model;
        options.exaggeration = ground->settings().exaggeration;
    }
    return options;
}

// Writes the planned layers into the cache (keeping any already there) and
// opens them.
WeatherLayers openPlanned(Viewer &viewer, const std::string &file, const WeatherOptions &given,
                          const WeatherOptions &options, const weather::WeatherRequest &request,
                          const weather::WeatherPlan &plan)
{

    char number[128];
    std::snprintf(number, sizeof number, "%.17g:%.17g:%.17g:%d", options.exaggeration,
                  options.threshold, options.spacing, options.allTimes ? 1 : 0);
    const std::string key = ::terrain::fileIdentity(file) + "|" + options.time + "|" +
                            options.levels + "|" + options.region + "|" + number + "|" +
                            (options.terrain.empty() ? "" : ::terrain::fileIdentity(options.terrain));
    // A folder for each conversion, so that the layers keep short names
    // (era-low) in the stacker.
    const std::string folder = ::terrain::cacheFolder("weather/" + ::terrain::textHash(key));
    const std::string stem = folder + "/" + std::filesystem::path(file).stem().string();
    std::error_code ec;

    WeatherLayers made;
    made.notes = plan.notes;
    for (const weather::OutputFile &f : weather::weatherFiles(plan, request, stem + ".scene")) {
        if (f.path.size() < 6 || f.path.compare(f.path.size() - 6, 6, ".cloud") != 0)
            continue;  // the scene is this one
        // A layer already there may hold changes saved to it: kept.
        if (!std::filesystem::exists(f.path, ec)) {
            const std::string problem = writeText(f.path, f.text);
            if (!problem.empty())
                throw weather::WeatherError(problem);
        }
        made.files.push_back(f.path);
    }
    if (!viewer.terrain()) {
        const weather::SceneGrid &g = plan.grid;
        double top = 1000;
        for (const weather::WeatherScene &scene : plan.scenes)
            top = std::max(top, std::ceil(scene.top / 1000) * 1000);
        host::Extent e;
        e.x1 = g.west;
        e.x2 = g.west + g.width * g.spacing;
        e.y1 = g.north - g.height * g.spacing;
        e.y2 = g.north;
        e.z1 = 0;
        e.z2 = top;
        // Another time over the same grid keeps the camera where it is, so
        // that times compare from one viewpoint.
        const host::Extent &now = viewer.scene().extent();
        if (now.x1 != e.x1 || now.x2 != e.x2 || now.y1 != e.y1 || now.y2 != e.y2)
            viewer.scene().setExtent(e);
    }
    Viewer::WeatherSet set;
    set.file = file;
    set.options = given;
    set.hasTime = !plan.scenes.empty() && plan.scenes.front().hasTime;
    set.time = plan.scenes.empty() ? 0 : plan.scenes.front().time;
    for (const std::string &layer : made.files)
        set.layers.push_back(viewer.openLayer({layer}));
    viewer.setWeather(std::move(set));
    return made;
}

}  // namespace

WeatherLayers openWeather(Viewer &viewer, const std::string &file, const WeatherOptions &given)
{
    const WeatherOptions options = overGround(viewer, given);
    const weather::WeatherRequest request = requestFor(file, options);
    return openPlanned(viewer, file, given, options, request, weather::planWeather(request));
}

WeatherLayers replaceWeather(Viewer &viewer, const WeatherOptions &given)
{
    if (!viewer.weather())
        throw weather::WeatherError("no weather file is open");
    const Viewer::WeatherSet old = *viewer.weather();
    // Worked out before anything closes: a refusal leaves the scene as it was.
    const WeatherOptions options = overGround(viewer, given);
    const weather::WeatherRequest request = requestFor(old.file, options);
    const weather::WeatherPlan plan = weather::planWeather(request);
    const std::vector<HLayer *> open = viewer.openedLayers();
    for (HLayer *layer : old.layers)
        if (std::find(open.begin(), open.end(), layer) != open.end())
            viewer.closeLayer(layer);
    return openPlanned(viewer, old.file, given, options, request, plan);
}

int writeWeather(const std::string &file, const WeatherOptions &options)
{
    namespace fs = std::filesystem;
    using weather::WeatherError;
    if (options.out.empty())
        throw WeatherError("weather: say where to write the scene with -o OUT.scene, or list the "
                           "file's cloud cover with --list");
    if (options.out.size() < 7 || options.out.compare(options.out.size() - 6, 6, ".scene") != 0)
        throw WeatherError(options.out + ": the scene's name must end in .scene");
    const fs::path folder = fs::path(options.out).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec))
        throw WeatherError(options.out + ": no folder " + folder.string());
    if (!options.drape.empty() && options.terrain.empty())
        throw WeatherError("--drape needs --terrain: a drape lies over a model");
    if (!(options.exaggeration >= 0.01 && options.exaggeration <= 100))
        throw WeatherError("--exaggeration takes a number in 0.01..100");

    const weather::WeatherRequest request = requestFor(file, options);
    const weather::WeatherPlan plan = weather::planWeather(request);
    const std::vector<weather::OutputFile> files = weather::weatherFiles(plan, request, options.out);
    for (const std::string &note : plan.notes)
        std::printf("%s\n", note.c_str());
    for (const weather::OutputFile &f : files) {
        const std::string problem = writeText(f.path, f.text);
        if (!problem.empty())
            throw WeatherError(problem);
    }
    for (std::size_t n = 0; n < plan.scenes.size(); ++n) {
        const weather::WeatherScene &scene = plan.scenes[n];
        std::string what;
        std::size_t clouds = 0;
        for (const weather::WeatherLayer &layer : scene.layers) {
            what += (what.empty() ? "" : ", ") + std::string(weather::levelName(layer.level)) +
                    " " + std::to_string(layer.clouds.size());
            clouds += layer.clouds.size();
        }
        const std::string &path = files[files.size() - plan.scenes.size() + n].path;
        std::printf("wrote %s%s: %zu layer%s, %zu cloud%s (%s)\n", path.c_str(),
                    scene.hasTime ? (", " + weather::formatUtc(scene.time)).c_str() : "",
                    scene.layers.size(), scene.layers.size() == 1 ? "" : "s", clouds,
                    clouds == 1 ? "" : "s", what.c_str());
    }
    return 0;
}

}  // namespace cloudview
