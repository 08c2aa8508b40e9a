#include "weather/pressure_heights.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace weather {

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ICAO standard atmosphere (Doc 7488).
const double kSeaLevelPressure = 101325.0;    // Pa
const double kSeaLevelTemperature = 288.15;   // K
const double kLapseRate = 0.0065;             // K/m
const double kTropopause = 11000.0;           // m
const double kGasConstant = 287.05287;        // J/(kg K), dry air
const double kGravity = 9.80665;              // m/s^2

double tropopauseTemperature() { return kSeaLevelTemperature - kLapseRate * kTropopause; }

double tropopausePressure()
{
    // From the troposphere's own law, so that both layers meet exactly.
    return kSeaLevelPressure * std::pow(tropopauseTemperature() / kSeaLevelTemperature,
                                        kGravity / (kGasConstant * kLapseRate));
}

// Height at p along levels sorted by rising pressure (falling height),
// at least two of them, no two at the same pressure.
double heightAlong(const std::vector<std::pair<double, double>> &levels, double pascals)
{
    // The pair of neighbouring levels around p, or the end pair nearest it.
    std::size_t upper = 1;
    while (upper + 1 < levels.size() && levels[upper].first < pascals)
        ++upper;
    const auto &[p0, h0] = levels[upper - 1];
    const auto &[p1, h1] = levels[upper];
    const double t = std::log(pascals / p0) / std::log(p1 / p0);
    // Weighted so that a level's own pressure gives its height exactly.
    return (1 - t) * h0 + t * h1;
}

bool usable(double pascals, double height)
{
    return std::isfinite(pascals) && pascals > 0 && std::isfinite(height);
}

void sortLevels(std::vector<std::pair<double, double>> &levels)
{
    std::stable_sort(levels.begin(), levels.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    levels.erase(std::unique(levels.begin(), levels.end(),
                             [](const auto &a, const auto &b) { return a.first == b.first; }),
                 levels.end());
}

}  // namespace

double icaoHeight(double pascals)
{
    if (!(pascals > 0) || !std::isfinite(pascals))
        return kNaN;
    const double pTropopause = tropopausePressure();
    if (pascals >= pTropopause)
        return kSeaLevelTemperature / kLapseRate *
               (1 - std::pow(pascals / kSeaLevelPressure, kGasConstant * kLapseRate / kGravity));
    return kTropopause +
           kGasConstant * tropopauseTemperature() / kGravity * std::log(pTropopause / pascals);
}

double profileHeight(const std::vector<std::pair<double, double>> &profile, double pascals)
{
    if (!(pascals > 0) || !std::isfinite(pascals))
        return kNaN;
    std::vector<std::pair<double, double>> levels;
    for (const auto &[p, h] : profile)
        if (usable(p, h))
            levels.emplace_back(p, h);
    sortLevels(levels);
    return levels.size() < 2 ? kNaN : heightAlong(levels, pascals);
}

std::vector<double> heightsOfPressures(const std::vector<double> &pascals,
                                       const PressureLevels &levels)
{
    // Levels in rising pressure once; each cell then keeps those it has a
    // height on, already in order.
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < levels.pascals.size() && k < levels.heights.size(); ++k)
        if (std::isfinite(levels.pascals[k]) && levels.pascals[k] > 0)
            order.push_back(k);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return levels.pascals[a] < levels.pascals[b];
    });

    std::vector<double> heights(pascals.size(), kNaN);
    std::vector<std::pair<double, double>> profile;
    for (std::size_t i = 0; i < pascals.size(); ++i) {
        const double p = pascals[i];
        if (!(p > 0) || !std::isfinite(p))
            continue;
        profile.clear();
        for (const std::size_t k : order) {
            const double h = i < levels.heights[k].size() ? levels.heights[k][i] : kNaN;
            if (usable(levels.pascals[k], h) &&
                (profile.empty() || profile.back().first != levels.pascals[k]))
                profile.emplace_back(levels.pascals[k], h);
        }
        heights[i] = profile.size() < 2 ? icaoHeight(p) : heightAlong(profile, p);
    }
    return heights;
}

}  // namespace weather
