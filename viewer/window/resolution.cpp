#include "resolution.h"

#include <algorithm>
#include <cmath>

namespace cloudview::window {

void ResolutionGovernor::movingFrameDrawn(double ms)
{
    if (!(ms > 0.0) || !std::isfinite(ms))
        return;
    // Drawing time follows the pixel count, the square of the divisor's
    // inverse. Move halfway toward the divisor that meets the budget so
    // one slow frame does not halve the picture, and keep to quarter steps
    // so the picture does not shimmer between nearly equal sizes.
    const double wanted = movingDivisor_ * std::sqrt(ms / budget_);
    double next = 0.5 * (movingDivisor_ + wanted);
    next = std::round(next * 4.0) / 4.0;
    movingDivisor_ = std::clamp(next, 1.0, kLargestDivisor);
}

void ResolutionGovernor::scaledSize(int width, int height, double divisor, int *w, int *h)
{
    *w = std::max(1, static_cast<int>(std::lround(width / divisor)));
    *h = std::max(1, static_cast<int>(std::lround(height / divisor)));
}

} // namespace cloudview::window
