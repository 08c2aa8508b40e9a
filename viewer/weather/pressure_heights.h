// pressure_heights.h — the height (metres above mean sea level) at which
// the air has a given pressure: through a forecast's own geopotential
// heights on pressure levels, or through the ICAO standard atmosphere when
// a file has none.
#ifndef CLOUDS_VIEWER_WEATHER_PRESSURE_HEIGHTS_H
#define CLOUDS_VIEWER_WEATHER_PRESSURE_HEIGHTS_H

#include <utility>
#include <vector>

namespace weather {

// Height of a pressure (Pa) in the ICAO standard atmosphere: 288.15 K and
// 101325 Pa at sea level, cooling 6.5 K per km to 11 km, isothermal at
// 216.65 K above (the same formula past 20 km). Pressures above 101325 Pa
// give heights below sea level; NaN for a pressure that is not positive.
double icaoHeight(double pascals);

// Height at a pressure in a profile of (pressure Pa, height m) levels, in
// any order, interpolated linearly in ln(p); outside the profile,
// extrapolated from its two nearest levels. Levels without a positive
// pressure and a height are left out, as is a second level at the same
// pressure. NaN when fewer than two levels remain, or for a pressure that
// is not positive.
double profileHeight(const std::vector<std::pair<double, double>> &profile, double pascals);

// The geopotential heights a file gives on its pressure levels, over a run
// of cells (a row of the grid, say).
struct PressureLevels {
    std::vector<double> pascals;               // each level's pressure
    std::vector<std::vector<double>> heights;  // [level][cell]; NaN where none
};

// The height of each cell's pressure through that cell's own profile (the
// levels with a height there), or through the ICAO atmosphere where fewer
// than two levels have one. NaN where the pressure is NaN or not positive.
std::vector<double> heightsOfPressures(const std::vector<double> &pascals,
                                       const PressureLevels &levels);

}  // namespace weather

#endif
