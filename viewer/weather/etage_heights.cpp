// The WMO étages of cloud (International Cloud Atlas): low cloud from near
// the ground to 2 km; middle and high cloud lie higher the warmer the
// troposphere, so each has a polar, a temperate and a tropical range.
#include <cmath>
#include <string>

#include "weather/layer_heights.h"

namespace weather {

namespace {

struct Bands {
    HeightRange polar, temperate, tropical;
};

const Bands kMiddle = {{2000, 4000}, {2000, 7000}, {2000, 8000}};
const Bands kHigh = {{3000, 8000}, {5000, 13000}, {6000, 18000}};

HeightRange inBand(const Bands &bands, double latitude)
{
    const double a = std::fabs(latitude);
    if (a >= 66.5)
        return bands.polar;
    if (a <= 23.5)
        return bands.tropical;
    return bands.temperate;
}

std::string metres(const HeightRange &r)
{
    return std::to_string(static_cast<long>(r.base)) + "-" + std::to_string(static_cast<long>(r.top)) +
           " m";
}

}  // namespace

HeightRange etageHeights(CloudLevel level, double latitude)
{
    switch (level) {
    case CloudLevel::Low: return {300, 2000};
    case CloudLevel::High: return inBand(kHigh, latitude);
    case CloudLevel::Convective: return {600, 9000};  // towering cumulus and cumulonimbus
    case CloudLevel::Boundary: return {100, 1000};
    case CloudLevel::Total: return {1000, 3000};
    case CloudLevel::Middle:
    case CloudLevel::Layer: break;
    }
    return inBand(kMiddle, latitude);
}

std::string etageText(CloudLevel level)
{
    std::string text = std::string("WMO étage defaults (") + levelName(level) + " ";
    if (level == CloudLevel::Middle || level == CloudLevel::Layer || level == CloudLevel::High) {
        const Bands &b = level == CloudLevel::High ? kHigh : kMiddle;
        text += metres(b.polar) + " polar, " + metres(b.temperate) + " temperate, " +
                metres(b.tropical) + " tropical";
    } else {
        text += metres(etageHeights(level, 0));
    }
    return text + ")";
}

}  // namespace weather
