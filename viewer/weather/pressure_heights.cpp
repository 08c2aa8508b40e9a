#include "weather/pressure_heights.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

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

PressureHeights::PressureHeights(std::vector<double> pascals)
    : pascals_(std::move(pascals)), lower_(pascals_.size()), lower2_(pascals_.size()),
      higher_(pascals_.size()), higher2_(pascals_.size())
{
}

namespace {

// Puts a level into the nearest or next slot by closeness, as `closer`
// orders pressures; a level at a pressure already held stays out.
template <class Closer>
void keepNearest(float pascals, float height, float &nearP, float &nearH, float &nextP, float &nextH,
                 Closer closer)
{
    if (pascals == nearP || pascals == nextP)
        return;
    if (nearP == 0 || closer(pascals, nearP)) {
        nextP = nearP;
        nextH = nearH;
        nearP = pascals;
        nearH = height;
    } else if (nextP == 0 || closer(pascals, nextP)) {
        nextP = pascals;
        nextH = height;
    }
}

}  // namespace

void PressureHeights::addLevel(double levelPascals, const std::vector<double> &heights)
{
    if (!(levelPascals > 0) || !std::isfinite(levelPascals))
        return;
    const float q = static_cast<float>(levelPascals);
    for (std::size_t i = 0; i < pascals_.size() && i < heights.size(); ++i) {
        const double p = pascals_[i];
        if (!(p > 0) || !std::isfinite(p) || !std::isfinite(heights[i]))
            continue;
        const float h = static_cast<float>(heights[i]);
        if (q < p)
            keepNearest(q, h, lower_[i].pascals, lower_[i].height, lower2_[i].pascals, lower2_[i].height,
                        [](float a, float b) { return a > b; });
        else
            keepNearest(q, h, higher_[i].pascals, higher_[i].height, higher2_[i].pascals,
                        higher2_[i].height, [](float a, float b) { return a < b; });
    }
}

std::vector<double> PressureHeights::heights() const
{
    std::vector<double> heights(pascals_.size(), kNaN);
    std::vector<std::pair<double, double>> pair(2);
    for (std::size_t i = 0; i < pascals_.size(); ++i) {
        const double p = pascals_[i];
        if (!(p > 0) || !std::isfinite(p))
            continue;
        // The two levels around p, or the two nearest on its one side, in
        // rising pressure as heightAlong takes them.
        const Level *a = nullptr, *b = nullptr;
        if (lower_[i].pascals > 0 && higher_[i].pascals > 0)
            a = &lower_[i], b = &higher_[i];
        else if (lower2_[i].pascals > 0)
            a = &lower2_[i], b = &lower_[i];
        else if (higher2_[i].pascals > 0)
            a = &higher_[i], b = &higher2_[i];
        if (!a) {
            heights[i] = icaoHeight(p);
            continue;
        }
        pair[0] = {a->pascals, a->height};
        pair[1] = {b->pascals, b->height};
        heights[i] = heightAlong(pair, p);
    }
    return heights;
}

}  // namespace weather
