#include "weather/forecast_scene.h"

#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <set>

#include "terrain/gdal_util.h"
#include "weather/number_text.h"
#include "terrain/height_model.h"
#include "weather/layer_heights.h"
#include "weather/valid_time.h"

namespace weather {

namespace {

// A layer of more clouds opens too slowly to edit; cells are coarsened to
// keep each layer under this.
constexpr int kMostClouds = 10000;
// Without a spacing given, at least this many cells lie across the region.
constexpr int kFewestAcross = 16;

std::string kilometres(double metres)
{
    return metres >= 10000 ? numberText(metres / 1000, "%.0f") + " km" : numberText(metres, "%.0f") + " m";
}

std::string fileName(const std::string &path)
{
    return std::filesystem::path(path).filename().string();
}

// The times the cloud fields hold, earliest first.
std::vector<std::time_t> fieldTimes(const WeatherContents &contents)
{
    std::set<std::time_t> times;
    for (const CloudField &f : contents.fields)
        if (f.hasTime)
            times.insert(f.validTime);
    return {times.begin(), times.end()};
}

std::string timeList(const std::vector<std::time_t> &times)
{
    std::string s;
    const std::size_t shown = 8;
    for (std::size_t i = 0; i < times.size() && i < shown; ++i)
        s += (i ? ", " : "") + formatUtc(times[i]);
    if (times.size() > shown)
        s += " and " + std::to_string(times.size() - shown) + " more, to " +
             formatUtc(times.back());
    return s;
}

std::vector<std::time_t> chooseTimes(const WeatherRequest &request, const WeatherContents &contents,
                                     std::vector<std::string> &notes)
{
    const std::vector<std::time_t> times = fieldTimes(contents);
    const std::string file = fileName(request.file);
    if (times.empty()) {
        if (request.time)
            notes.push_back("time: " + file + " gives no time; --time is not used");
        return {0};
    }
    if (request.allTimes)
        return times;
    if (request.time) {
        const std::time_t want = *request.time;
        if (want < times.front() || want > times.back())
            throw WeatherError(file + ": " + formatUtc(want) + " is outside its times: " +
                               timeList(times));
        std::time_t best = times.front();
        for (std::time_t t : times)
            if (std::llabs(static_cast<long long>(t - want)) <
                std::llabs(static_cast<long long>(best - want)))
                best = t;
        if (best != want)
            notes.push_back("time: " + formatUtc(best) + ", the nearest of " +
                            std::to_string(times.size()) + " to " + formatUtc(want));
        else if (times.size() > 1)
            notes.push_back("time: " + formatUtc(best) + ", one of " +
                            std::to_string(times.size()));
        return {best};
    }
    if (times.size() > 1)
        notes.push_back("time: " + formatUtc(times.front()) + ", the first of " +
                        std::to_string(times.size()) + " (" + timeList(times) +
                        "); --time or --all-times for others");
    return {times.front()};
}

std::vector<CloudLevel> chooseLevels(const WeatherRequest &request, const WeatherContents &contents)
{
    std::set<CloudLevel> present;
    for (const CloudField &f : contents.fields)
        present.insert(f.level);
    std::string held;
    for (CloudLevel l : present)
        held += (held.empty() ? "" : ", ") + std::string(levelName(l));
    if (!request.levels.empty()) {
        for (CloudLevel l : request.levels)
            if (!present.count(l))
                throw WeatherError(fileName(request.file) + ": no " + levelName(l) +
                                   " cloud in it; it has " + held);
        return request.levels;
    }
    std::vector<CloudLevel> chosen;
    for (CloudLevel l : {CloudLevel::Low, CloudLevel::Middle, CloudLevel::High})
        if (present.count(l))
            chosen.push_back(l);
    if (chosen.empty())
        chosen.assign(present.begin(), present.end());
    if (chosen.size() > 1)  // the total duplicates the levels it sums
        chosen.erase(std::remove(chosen.begin(), chosen.end(), CloudLevel::Total), chosen.end());
    return chosen;
}

const CloudField *fieldAt(const WeatherContents &contents, CloudLevel level, bool hasTime,
                          std::time_t time)
{
    for (const CloudField &f : contents.fields)
        if (f.level == level && (!hasTime || !f.hasTime || f.validTime == time))
            return &f;
    return nullptr;
}

struct Ground {
    std::string wkt;     // the scene's frame
    Bounds footprint;    // in it
    Region region;       // in degrees
};

Ground readGround(const std::string &model)
{
    Ground g;
    try {
        g.wkt = terrain::sceneFrameWkt(model);
    } catch (const std::exception &e) {
        throw WeatherError(e.what());
    }
    terrain::QuietGdal quiet;
    terrain::Dataset dem(terrain::openRasterFile(model));
    double gt[6];
    if (!dem || GDALGetGeoTransform(dem.get(), gt) != CE_None)
        throw WeatherError(model + ": cannot read its georeferencing");
    const int w = GDALGetRasterXSize(dem.get()), h = GDALGetRasterYSize(dem.get());
    Bounds own;
    own.xmin = std::min({gt[0], gt[0] + w * gt[1], gt[0] + h * gt[2], gt[0] + w * gt[1] + h * gt[2]});
    own.xmax = std::max({gt[0], gt[0] + w * gt[1], gt[0] + h * gt[2], gt[0] + w * gt[1] + h * gt[2]});
    own.ymin = std::min({gt[3], gt[3] + w * gt[4], gt[3] + h * gt[5], gt[3] + w * gt[4] + h * gt[5]});
    own.ymax = std::max({gt[3], gt[3] + w * gt[4], gt[3] + h * gt[5], gt[3] + w * gt[4] + h * gt[5]});
    const char *ownWkt = GDALGetProjectionRef(dem.get());
    g.region = boundsRegion(own, ownWkt ? ownWkt : "");
    g.footprint = regionBounds(g.region, g.wkt);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(ownWkt);
    if (srs && OSRIsProjected(srs) && gt[2] == 0 && gt[4] == 0)
        g.footprint = own;  // the model's own extent, exactly
    OSRDestroySpatialReference(srs);
    return g;
}

// The scene's grid: spacing from the request or the data, coarsened until
// a layer holds at most kMostClouds cells.
SceneGrid chooseGrid(const WeatherRequest &request, const WeatherContents &contents,
                     const Bounds &bounds, const std::string &wkt, const Region &region,
                     std::vector<std::string> &notes)
{
    const double own = cellSizeMetres(contents.grid, 0.5 * (region.south + region.north));
    double spacing = request.spacing > 0 ? request.spacing : std::round(own);
    // A region smaller than a few of the data's cells would hold one or two
    // boxes; its cells are made finer, the cover interpolated between the
    // data's.
    const double side = std::max(bounds.xmax - bounds.xmin, bounds.ymax - bounds.ymin);
    const bool refined = request.spacing <= 0 && spacing > side / kFewestAcross;
    if (refined)
        spacing = std::max(1.0, std::round(side / kFewestAcross));
    const double asked = spacing;
    SceneGrid grid = sceneGrid(bounds, spacing, wkt);
    while (static_cast<double>(grid.width) * grid.height > kMostClouds) {
        const double area = (bounds.xmax - bounds.xmin) * (bounds.ymax - bounds.ymin);
        spacing = std::max(std::ceil(spacing * 1.01), std::ceil(std::sqrt(area / kMostClouds)));
        grid = sceneGrid(bounds, spacing, wkt);
    }
    std::string line = "cells: " + std::to_string(grid.width) + " x " +
                       std::to_string(grid.height) + " of " + kilometres(spacing);
    if (spacing != asked)
        line += " (" + std::string(request.spacing > 0 ? "--spacing " : "the data's ") +
                kilometres(asked) + " coarsened so that a layer holds at most 10,000 clouds)";
    else if (refined)
        line += " (the data's " + kilometres(own) + " cells made finer, so that " +
                std::to_string(kFewestAcross) + " lie across the region)";
    else if (request.spacing <= 0)
        line += ", the data's own cell size";
    notes.push_back(line);
    return grid;
}

WeatherLayer buildLayer(const WeatherRequest &request, const WeatherPlan &plan,
                        const CloudField &field, const std::vector<float> &ground,
                        const std::vector<double> &latitudes)
{
    WeatherLayer layer;
    layer.level = field.level;
    layer.fieldName = field.name;
    layer.name = std::string(levelName(field.level)) +
                 (field.hasTime ? " " + formatUtc(field.validTime) : std::string());
    const SceneGrid &grid = plan.grid;
    const std::vector<float> cover = warpField(readCoverPercent(field, plan.contents.grid),
                                               plan.contents.grid, plan.region, grid);
    const LayerHeights heights = readLayerHeights(plan.contents, field);
    layer.heights = heights.how;
    std::vector<float> base, top;
    if (heights.fromFile) {
        base = warpField(heights.base, plan.contents.grid, plan.region, grid);
        top = warpField(heights.top, plan.contents.grid, plan.region, grid);
    }
    for (int r = 0; r < grid.height; ++r)
        for (int c = 0; c < grid.width; ++c) {
            const std::size_t i = static_cast<std::size_t>(r) * grid.width + c;
            if (!(cover[i] >= request.threshold) || std::isnan(latitudes[i]))
                continue;
            CellCloud cell;
            cell.x = grid.cellX(c);
            cell.y = grid.cellY(r);
            cell.spacing = grid.spacing;
            cell.cover = cover[i];
            const HeightRange etage = etageHeights(field.level, latitudes[i]);
            cell.base = heights.fromFile && std::isfinite(base[i]) ? base[i] : etage.base;
            cell.top = heights.fromFile && std::isfinite(top[i]) ? top[i] : etage.top;
            // A cloud never stands in the ground under it (nor under the sea).
            const double floor = !ground.empty() && std::isfinite(ground[i]) ? ground[i] : 0.0;
            if (cell.base < floor) {
                cell.top += floor - std::min(cell.base, cell.top);
                cell.base = floor;
            }
            layer.clouds.push_back(cellCloud(field.level, cell, request.exaggeration));
        }
    return layer;
}

}  // namespace

std::time_t parseTime(const std::string &text)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    int n = 0;
    const bool dateOnly = std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &n) == 3 &&
                          static_cast<std::size_t>(n) == text.size();
    bool ok = dateOnly;
    if (!ok) {
        char sep = 0;
        n = 0;
        const int got = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d%n", &y, &mo, &d, &sep, &h, &n);
        ok = got == 5 && (sep == 'T' || sep == ' ');
        std::string rest = ok ? text.substr(n) : "";
        if (ok && !rest.empty() && rest[0] == ':') {
            int m = 0;
            ok = std::sscanf(rest.c_str(), ":%2d%n", &mi, &m) == 1;
            rest = rest.substr(m);
        }
        if (ok && !rest.empty() && rest[0] == ':') {
            int sec = 0, m = 0;
            ok = std::sscanf(rest.c_str(), ":%2d%n", &sec, &m) == 1 && sec == 0;
            rest = rest.substr(m);
        }
        ok = ok && (rest.empty() || rest == "Z" || rest == "z" || rest == " UTC" || rest == "UTC");
    }
    if (!ok || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59)
        throw WeatherError("--time " + text + ": not a time; write it as 2011-01-20T12:00Z (UTC)");
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    const std::time_t t = timegm(&tm);
    std::tm back{};
    gmtime_r(&t, &back);
    if (back.tm_mday != d)
        throw WeatherError("--time " + text + ": no such day");
    return t;
}

std::vector<CloudLevel> parseLevels(const std::string &text)
{
    std::vector<CloudLevel> levels;
    std::string word;
    const auto take = [&] {
        if (word.empty())
            return;
        bool found = false;
        for (CloudLevel l : {CloudLevel::Low, CloudLevel::Middle, CloudLevel::High,
                             CloudLevel::Boundary, CloudLevel::Convective, CloudLevel::Total,
                             CloudLevel::Layer})
            if (word == levelName(l)) {
                if (std::find(levels.begin(), levels.end(), l) == levels.end())
                    levels.push_back(l);
                found = true;
            }
        if (!found)
            throw WeatherError("--levels: \"" + word +
                               "\" is not a cloud level (low, middle, high, boundary, "
                               "convective, total, layer)");
        word.clear();
    };
    for (char ch : text) {
        if (ch == ',' || ch == ' ')
            take();
        else
            word += ch;
    }
    take();
    if (levels.empty())
        throw WeatherError("--levels: names no cloud level");
    return levels;
}

WeatherPlan planWeather(const WeatherRequest &request)
{
    if (!(request.threshold >= 0 && request.threshold <= 100))
        throw WeatherError("--threshold " + numberText(request.threshold) +
                           ": a cover in percent, 0..100");
    if (!(request.spacing >= 0) || !std::isfinite(request.spacing))
        throw WeatherError("--spacing " + numberText(request.spacing) + ": metres, more than 0");
    WeatherPlan plan;
    plan.contents = findCloudFields(request.file);
    const RasterGrid &grid = plan.contents.grid;
    const std::string file = fileName(request.file);
    if (!grid.hasExtent)
        throw WeatherError(file + ": its grid has no longitude and latitude; clouds cannot be "
                                  "placed");
    const std::vector<std::time_t> times = chooseTimes(request, plan.contents, plan.notes);
    const std::vector<CloudLevel> levels = chooseLevels(request, plan.contents);

    std::optional<Ground> ground;
    if (!request.terrain.empty())
        ground = readGround(request.terrain);
    Region asked = request.region ? *request.region
                 : ground         ? ground->region
                                  : dataRegion(grid);
    const std::optional<Region> met = overlap(asked, grid);
    if (!met)
        throw WeatherError((request.region ? "the region " : "the terrain's footprint ") +
                           regionText(asked) + " lies outside " + file + "'s data, " +
                           regionText(dataRegion(grid)));
    plan.region = request.region || ground ? asked : *met;
    if (plan.region.east - plan.region.west > 90 || plan.region.north - plan.region.south > 90)
        throw WeatherError(file + ": its data span " + regionText(plan.region) +
                           "; a scene holds a region up to 90 degrees across: choose one with "
                           "--region W,S,E,N");
    const std::string wkt =
        ground ? ground->wkt
               : utmFrameWkt(0.5 * (plan.region.west + plan.region.east),
                             0.5 * (plan.region.south + plan.region.north));
    const Bounds bounds =
        ground && !request.region ? ground->footprint : regionBounds(plan.region, wkt);
    plan.grid = chooseGrid(request, plan.contents, bounds, wkt, plan.region, plan.notes);
    std::vector<float> floor;
    if (ground)
        floor = groundHighest(request.terrain, plan.grid);
    const std::vector<double> latitudes = cellLatitudes(plan.grid, plan.region);

    const bool timed = !fieldTimes(plan.contents).empty();
    for (std::time_t t : times) {
        WeatherScene scene;
        scene.hasTime = timed;
        scene.time = t;
        for (CloudLevel level : levels) {
            const CloudField *field = fieldAt(plan.contents, level, scene.hasTime, t);
            if (!field)
                continue;  // a level missing at this time: no layer
            scene.layers.push_back(buildLayer(request, plan, *field, floor, latitudes));
            for (const CloudRecord &c : scene.layers.back().clouds)
                scene.top = std::max(scene.top, c.z + std::abs(c.zsize));
        }
        plan.scenes.push_back(std::move(scene));
    }
    return plan;
}

namespace {

std::string timeStem(std::time_t t)
{
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    if (tm.tm_min)
        std::strftime(text, sizeof text, "%Y-%m-%dT%H%M", &tm);
    else
        std::strftime(text, sizeof text, "%Y-%m-%dT%H", &tm);
    return text;
}

std::string quoted(const std::string &s)
{
    return "\"" + s + "\"";
}

// How the scene at outScene names a file a user gave: relative to it when
// both lie on this machine's disk.
std::string nameFromScene(const std::string &outScene, const std::string &path)
{
    namespace fs = std::filesystem;
    if (path.rfind("/vsi", 0) == 0)
        return path;
    std::error_code ec;
    const fs::path folder = fs::absolute(fs::path(outScene), ec).parent_path();
    const fs::path target = fs::absolute(fs::path(path), ec);
    const fs::path relative = target.lexically_normal().lexically_relative(folder.lexically_normal());
    return relative.empty() ? target.string() : relative.string();
}

}  // namespace

std::vector<OutputFile> weatherFiles(const WeatherPlan &plan, const WeatherRequest &request,
                                     const std::string &outScene)
{
    std::string stem = outScene;
    if (stem.size() > 6 && stem.compare(stem.size() - 6, 6, ".scene") == 0)
        stem.erase(stem.size() - 6);
    std::vector<OutputFile> layers, scenes;
    for (const WeatherScene &scene : plan.scenes) {
        const std::string sceneStem =
            request.allTimes && scene.hasTime ? stem + "-" + timeStem(scene.time) : stem;
        const std::string scenePath = sceneStem + ".scene";
        std::string text = "# Clouds from " + fileName(request.file) + " (" +
                           plan.contents.format + ")" +
                           (scene.hasTime ? ", valid " + formatUtc(scene.time) : std::string()) +
                           ",\n# over " + regionText(plan.region) + " (W,S,E,N degrees) in cells of " +
                           numberText(plan.grid.spacing, "%.0f") + " m; written by cloudview weather.\n";
        if (!request.terrain.empty()) {
            text += "TERRAIN " + quoted(nameFromScene(scenePath, request.terrain));
            if (!request.drape.empty())
                text += " DRAPE " + quoted(nameFromScene(scenePath, request.drape));
            if (request.exaggeration != 1)
                text += " EXAGGERATION " + numberText(request.exaggeration, "%.17g");
            text += ";\n";
        } else {
            const SceneGrid &g = plan.grid;
            text += "EXTENT " + numberText(g.west, "%.0f") + " " +
                    numberText(g.west + g.width * g.spacing, "%.0f") + " " +
                    numberText(g.north - g.height * g.spacing, "%.0f") + " " +
                    numberText(g.north, "%.0f") + " 0 " +
                    numberText(std::max(1000.0, std::ceil(scene.top / 1000) * 1000), "%.0f") + ";\n";
        }
        text += "VIEW 180 35;\n";
        for (const WeatherLayer &layer : scene.layers) {
            const std::string layerPath = sceneStem + "-" + levelName(layer.level) + ".cloud";
            layers.push_back({layerPath, layerText(layer.clouds)});
            text += "# " + layer.name + ": " + std::to_string(layer.clouds.size()) +
                    (layer.clouds.size() == 1 ? " cloud" : " clouds") + " from " +
                    layer.fieldName + "; " + layer.heights + "\n";
            text += "ADDFEATURELAYER \"Clouds\" " +
                    quoted(fileName(layerPath)) + " ;\n";
        }
        scenes.push_back({scenePath, text});
    }
    layers.insert(layers.end(), scenes.begin(), scenes.end());
    return layers;
}

}  // namespace weather
