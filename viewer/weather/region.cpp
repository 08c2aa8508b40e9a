#include "weather/region.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "weather/cloud_fields.h"

#include "weather/number_text.h"

namespace weather {

Region parseRegion(const std::string &text)
{
    std::vector<double> v;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        char *end = nullptr;
        const double x = std::strtod(item.c_str(), &end);
        if (item.empty() || *end != '\0' || !std::isfinite(x))
            throw WeatherError("--region " + text + ": \"" + item + "\" is not a number of degrees");
        v.push_back(x);
    }
    if (v.size() != 4)
        throw WeatherError("--region " + text + ": takes four numbers W,S,E,N in degrees");
    Region r{v[0], v[1], v[2], v[3]};
    if (r.south < -90 || r.north > 90 || r.south >= r.north)
        throw WeatherError("--region " + text +
                           ": south and north must lie in -90..90, south below north");
    if (r.west < -180 || r.west > 360 || r.east < -180 || r.east > 360)
        throw WeatherError("--region " + text + ": longitudes lie in -180..360");
    if (r.east <= r.west)
        r.east += 360;  // across the date line (or the 0/360 seam)
    if (r.east - r.west > 360)
        throw WeatherError("--region " + text + ": spans more than 360 degrees of longitude");
    return r;
}

std::string regionText(const Region &region)
{
    double east = region.east;
    if (east > 180 && region.west <= 180 && east - 360 >= -180 && region.west > east - 360)
        east -= 360;  // as a user would write a box across the date line
    return numberText(region.west) + "," + numberText(region.south) + "," + numberText(east) + "," +
           numberText(region.north);
}

Region dataRegion(const RasterGrid &grid)
{
    // Cells centred on a pole reach past it on paper only.
    return Region{grid.west, std::max(grid.south, -90.0), grid.east, std::min(grid.north, 90.0)};
}

bool spansAllLongitudes(const RasterGrid &grid)
{
    return grid.hasExtent && grid.geographic && grid.east - grid.west >= 360 - 1e-6;
}

std::optional<Region> overlap(const Region &region, const RasterGrid &grid)
{
    if (!grid.hasExtent)
        return region;
    const Region data = dataRegion(grid);
    const double south = std::max(region.south, data.south);
    const double north = std::min(region.north, data.north);
    if (south >= north)
        return std::nullopt;
    if (spansAllLongitudes(grid))
        return Region{region.west, south, region.east, north};
    // The data's longitudes shifted by whole turns to meet the region's.
    for (double shift : {0.0, -360.0, 360.0, -720.0, 720.0}) {
        const double west = std::max(region.west, grid.west + shift);
        const double east = std::min(region.east, grid.east + shift);
        if (west < east)
            return Region{west, south, east, north};
    }
    return std::nullopt;
}

}  // namespace weather
