// TEMPORARY stand-in until the heights module lands.
#ifndef CLOUDS_VIEWER_WEATHER_LAYER_HEIGHTS_H
#define CLOUDS_VIEWER_WEATHER_LAYER_HEIGHTS_H
#include <string>
#include <vector>
#include "weather/cloud_fields.h"
namespace weather {
struct HeightRange { double base = 0, top = 0; };
HeightRange etageHeights(CloudLevel level, double latitude);
struct LayerHeights {
    bool fromFile = false;
    std::string how;
    std::vector<float> base, top;
};
LayerHeights readLayerHeights(const WeatherContents &contents, const CloudField &field);
}
#endif
