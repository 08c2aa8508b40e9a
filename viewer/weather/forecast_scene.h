// forecast_scene.h — a weather file's cloud cover as scenes of cloud
// layers: which time and levels, which region and grid, and for each level
// the clouds; then the scene script and layer files that hold them.
// Everything is worked out before anything is written, so a refused
// request leaves no file behind.
#ifndef CLOUDS_VIEWER_WEATHER_FORECAST_SCENE_H
#define CLOUDS_VIEWER_WEATHER_FORECAST_SCENE_H

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "weather/cloud_fields.h"
#include "weather/cover_clouds.h"
#include "weather/region.h"
#include "weather/scene_grid.h"

namespace weather {

struct WeatherRequest {
    std::string file;
    std::string terrain, drape;  // optional: the ground the clouds stand over
    double exaggeration = 1;
    std::optional<Region> region;
    std::optional<std::time_t> time;
    bool allTimes = false;
    std::vector<CloudLevel> levels;  // none: low, middle and high, those the file has
    double threshold = 10;           // percent
    double spacing = 0;              // metres; 0: the data's own cell size
};

struct WeatherLayer {
    CloudLevel level = CloudLevel::Low;
    std::string name;       // "low 2011-01-15 12:00 UTC"
    std::string fieldName;  // "TCDC 0-LCY"
    std::string heights;    // where the heights came from, one line
    std::vector<CloudRecord> clouds;
};

struct WeatherScene {
    bool hasTime = false;
    std::time_t time = 0;
    std::vector<WeatherLayer> layers;
    double top = 0;  // the highest cloud top, scene units
};

struct WeatherPlan {
    WeatherContents contents;
    Region region;
    SceneGrid grid;
    std::vector<std::string> notes;  // what was chosen for the user, a line each
    std::vector<WeatherScene> scenes;
};

// Throws WeatherError saying what is wrong with the request or the file.
WeatherPlan planWeather(const WeatherRequest &request);

struct OutputFile {
    std::string path, text;
};

// The layer files, then the scene scripts, of a plan written as outScene
// ("OUT.scene": OUT-low.cloud ...; with every time, OUT-2011-01-20T12.scene
// and OUT-2011-01-20T12-low.cloud ...).
std::vector<OutputFile> weatherFiles(const WeatherPlan &plan, const WeatherRequest &request,
                                     const std::string &outScene);

// "2011-01-20T12:00Z", "2011-01-20T12Z", "2011-01-20 12:00", "2011-01-20":
// UTC. Throws WeatherError for anything else.
std::time_t parseTime(const std::string &text);

// "low,middle,high" (or blanks between); throws WeatherError for a word
// that names no level.
std::vector<CloudLevel> parseLevels(const std::string &text);

}  // namespace weather

#endif
