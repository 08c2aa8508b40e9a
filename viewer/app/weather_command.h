// weather_command.h — `cloudview weather FILE -o OUT.scene ...`: a weather
// file's cloud cover written as a scene of cloud layers.
#ifndef CLOUDS_VIEWER_APP_WEATHER_COMMAND_H
#define CLOUDS_VIEWER_APP_WEATHER_COMMAND_H

#include <string>

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

}  // namespace cloudview

#endif
