#include "weather/layer_heights.h"
namespace weather {
HeightRange etageHeights(CloudLevel level, double)
{
    switch (level) {
    case CloudLevel::Low: return {300, 2000};
    case CloudLevel::High: return {5000, 13000};
    case CloudLevel::Convective: return {600, 9000};
    default: return {2000, 7000};
    }
}
LayerHeights readLayerHeights(const WeatherContents &, const CloudField &field)
{
    LayerHeights h;
    h.how = std::string("WMO etage defaults for ") + levelName(field.level);
    return h;
}
}
