#include "weather/field_list.h"
#include "weather/number_text.h"

#include <cmath>
#include <cstdio>

#include "weather/valid_time.h"

namespace weather {

namespace {

// Cell sizes and edges with every digit a GRIB or NetCDF grid gives them.
std::string number(double v)
{
    return numberText(v, "%.10g");
}

std::string fieldLine(const CloudField &f)
{
    char text[256];
    std::snprintf(text, sizeof text, "  %-10s  %-20s  %-14s  %s, band %d\n", levelName(f.level),
                  f.hasTime ? formatUtc(f.validTime).c_str() : "time not given",
                  unitsName(f.units), f.name.c_str(), f.band);
    return text;
}

std::string gridLines(const RasterGrid &g)
{
    std::string s = "grid: " + std::to_string(g.width) + " x " + std::to_string(g.height) +
                    " cells of " + number(std::fabs(g.transform[1])) + " x " +
                    number(std::fabs(g.transform[5])) + " " + g.cellUnits + "\n";
    if (g.geographic && g.transform[2] == 0 && g.transform[4] == 0) {
        // Weather grids are given by their cells' centres: say those too.
        const double x0 = g.transform[0] + g.transform[1] / 2;
        const double y0 = g.transform[3] + g.transform[5] / 2;
        const double x1 = x0 + (g.width - 1) * g.transform[1];
        const double y1 = y0 + (g.height - 1) * g.transform[5];
        s += "cell centres: longitude " + number(std::fmin(x0, x1)) + " to " +
             number(std::fmax(x0, x1)) + ", latitude " + number(std::fmin(y0, y1)) + " to " +
             number(std::fmax(y0, y1)) + "\n";
    }
    if (g.hasExtent)
        s += "extent (W,S,E,N): " + number(g.west) + "," + number(g.south) + "," + number(g.east) +
             "," + number(g.north) + " degrees\n";
    else
        s += "extent: unknown (no coordinate system)\n";
    s += "coordinate system: " + g.crsName +
         (g.crsAssumed ? " (assumed: the file's axes are longitude and latitude)" : "") + "\n";
    return s;
}

}  // namespace

std::string listFields(const WeatherContents &contents)
{
    const std::size_t n = contents.fields.size();
    std::string s = contents.file + ": " + contents.format + ", " + std::to_string(n) +
                    " cloud cover field" + (n == 1 ? "" : "s") + "\n";
    for (const CloudField &f : contents.fields)
        s += fieldLine(f);
    s += gridLines(contents.grid);
    if (!contents.others.empty()) {
        s += "also in the file: ";
        for (std::size_t i = 0; i < contents.others.size(); ++i)
            s += (i ? ", " : "") + contents.others[i];
        s += "\n";
    }
    return s;
}

}  // namespace weather
