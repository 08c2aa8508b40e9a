#include "terrain/shading.h"

#include <algorithm>
#include <cmath>

namespace terrain {

float hillshade(const float n[3])
{
    // Towards the light: azimuth 315 (north-west), altitude 45 degrees.
    const float c = std::sqrt(0.5f);
    const float light[3] = {-c * c, c * c, c};
    return std::max(0.0f, n[0] * light[0] + n[1] * light[1] + n[2] * light[2]);
}

void tintedColour(float fraction, const float normal[3], float rgb[3])
{
    struct Stop {
        float at, r, g, b;
    };
    static const Stop ramp[] = {
        {0.00f, 0.30f, 0.48f, 0.27f}, {0.30f, 0.52f, 0.60f, 0.34f}, {0.55f, 0.70f, 0.64f, 0.44f},
        {0.80f, 0.58f, 0.48f, 0.37f}, {1.00f, 0.90f, 0.90f, 0.88f},
    };
    const float f = std::clamp(std::isfinite(fraction) ? fraction : 0.0f, 0.0f, 1.0f);
    size_t i = 0;
    while (i + 2 < sizeof ramp / sizeof ramp[0] && ramp[i + 1].at < f)
        ++i;
    const Stop &a = ramp[i], &b = ramp[i + 1];
    const float t = (f - a.at) / (b.at - a.at);
    const float shade = 0.45f + 0.75f * hillshade(normal);
    rgb[0] = std::min(1.0f, (a.r + t * (b.r - a.r)) * shade);
    rgb[1] = std::min(1.0f, (a.g + t * (b.g - a.g)) * shade);
    rgb[2] = std::min(1.0f, (a.b + t * (b.b - a.b)) * shade);
}

float drapeShade(const float normal[3]) { return std::min(1.0f, 0.55f + 0.6f * hillshade(normal)); }

}  // namespace terrain
