// weather_command.h — `cloudview weather FILE -o OUT.scene ...`: a weather
// file's cloud cover written as a scene of cloud layers.
#ifndef CLOUDS_VIEWER_APP_WEATHER_COMMAND_H
#define CLOUDS_VIEWER_APP_WEATHER_COMMAND_H

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace cloudview {

struct WeatherOptions {
    std::string out, terrain, drape, region, time, levels;
    double exaggeration = 1, threshold = 10, spacing = 0;
    bool allTimes = false;
    void add(CLI::App *command);
};

// Writes the layer files and the scene, and says what it wrote on standard
// output; 0 when written. Throws weather::WeatherError (nothing written)
// when the request or the file is refused.
int writeWeather(const std::string &file, const WeatherOptions &options);

class Viewer;

struct WeatherLayers {
    std::vector<std::string> notes;  // what was chosen, a line each
    std::vector<std::string> files;  // the layers opened, in order
};

// A weather file's cloud cover as layers of the viewer's scene, over its
// ground (its exaggeration too), as the command line writes them; without
// a ground the scene's extent becomes the clouds' grid. The layer files
// live in the cache ($XDG_CACHE_HOME/cloudview/weather), named by the
// file, its size and time, the options and the ground: opening the same
// again reopens them, with any changes saved to them since. Throws
// weather::WeatherError (nothing opened) when refused.
WeatherLayers openWeather(Viewer &viewer, const std::string &file, const WeatherOptions &options);

// The last weather layers closed (each asking its own questions) and the
// same file opened again with these options (another time, region...).
// When refused, the old layers stay.
WeatherLayers replaceWeather(Viewer &viewer, const WeatherOptions &options);

}  // namespace cloudview

#endif
