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

// The heights of pressures at many cells (a whole grid), through each
// cell's own profile of the file's pressure levels, taken one level at a
// time: GDAL decodes a whole GRIB message to read any of it, so each level
// is read once, whole, and only the levels nearest each cell's pressure on
// either side are kept. Gives the same heights as profileHeight on each
// cell's profile, and the ICAO atmosphere's where fewer than two levels
// have a height at a cell.
class PressureHeights {
public:
    explicit PressureHeights(std::vector<double> pascals);

    // One level's heights, cell by cell; NaN where it has none. A second
    // level at the same pressure is left out.
    void addLevel(double levelPascals, const std::vector<double> &heights);

    // Metres, cell by cell; NaN where the pressure is NaN or not positive.
    std::vector<double> heights() const;

private:
    struct Level {
        float pascals = 0;  // 0: none yet
        float height = 0;
    };
    std::vector<double> pascals_;
    // Per cell, by pressure: the nearest and next levels of lower pressure
    // (higher up), and the nearest and next of the same or higher pressure.
    std::vector<Level> lower_, lower2_, higher_, higher2_;
};

}  // namespace weather

#endif
