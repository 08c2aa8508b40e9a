#include "weather/cover_clouds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace weather {

LevelLook levelLook(CloudLevel level)
{
    // Low clouds white and dense with firm edges; middle ones greyer and
    // softer; high ones thin, bright and finely drawn; convective ones
    // dense, hard-edged and lumpy, in tall boxes.
    switch (level) {
    case CloudLevel::Low:
        return {0.80f, 0.55f, 3, 24, 0.20f, 1.10f, 1.00f, 1.00f, 1.00f, 2, 16, 6, 6, 8};
    case CloudLevel::Boundary:
        return {0.65f, 0.50f, 3, 28, 0.20f, 1.00f, 0.97f, 0.97f, 0.98f, 2, 16, 6, 6, 6};
    case CloudLevel::Middle:
    case CloudLevel::Layer:
        return {0.60f, 0.45f, 2, 32, 0.15f, 1.00f, 0.93f, 0.94f, 0.97f, 2, 16, 6, 6, 8};
    case CloudLevel::High:
        return {0.35f, 0.30f, 2, 64, 0.10f, 0.90f, 1.00f, 1.00f, 1.00f, 2, 16, 6, 6, 6};
    case CloudLevel::Convective:
        return {0.90f, 0.75f, 3, 12, 0.25f, 1.20f, 0.92f, 0.92f, 0.95f, 3, 16, 8, 8, 12};
    case CloudLevel::Total:
        return {0.70f, 0.50f, 3, 24, 0.20f, 1.05f, 0.98f, 0.98f, 1.00f, 2, 16, 6, 6, 8};
    }
    return levelLook(CloudLevel::Middle);
}

namespace {

std::uint64_t mix(std::uint64_t v)
{
    // SplitMix64's finaliser: every input bit reaches every output bit.
    v += 0x9e3779b97f4a7c15ull;
    v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ull;
    v = (v ^ (v >> 27)) * 0x94d049bb133111ebull;
    return v ^ (v >> 31);
}

// A value as the file will hold it: six decimals, so that the layer type
// reads back exactly what it would write again.
float asStored(float v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
    return std::strtof(text, nullptr);
}

double asStored(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", v);
    return std::strtod(text, nullptr);
}

}  // namespace

double cellSeed(CloudLevel level, double x, double y)
{
    const auto whole = [](double v) { return static_cast<std::uint64_t>(std::llround(v)); };
    const std::uint64_t h =
        mix(whole(x) ^ mix(whole(y) ^ mix(static_cast<std::uint64_t>(level) + 1)));
    return static_cast<double>(h % 10000000ull);
}

CloudRecord cellCloud(CloudLevel level, const CellCloud &cell, double exaggeration)
{
    const LevelLook look = levelLook(level);
    const float f = std::clamp(cell.cover / 100.0f, 0.0f, 1.0f);
    CloudRecord c;
    // More cover, more of the box is cloud, and the denser it reads.
    c.cluster = asStored(look.clusterScattered + (look.clusterOvercast - look.clusterScattered) * f);
    c.density = asStored(look.density * (0.55f + 0.45f * f));
    c.detail = look.detail;
    c.zoom = look.zoom;
    c.height = look.height;
    c.layers = look.layers;
    c.texsize = look.texsize;
    c.xslice = look.xslice;
    c.yslice = look.yslice;
    c.zslice = look.zslice;
    c.red = look.red;
    c.green = look.green;
    c.blue = look.blue;
    double base = std::min(cell.base, cell.top), top = std::max(cell.base, cell.top);
    if (top - base < kThinnest)
        top = base + kThinnest;
    const double half = 0.5 * cell.spacing * kCellOverlap;
    c.x = asStored(cell.x);
    c.y = asStored(cell.y);
    c.z = asStored(0.5 * (base + top) * exaggeration);
    c.xsize = asStored(half);
    // Negative as the layer type's own size presets make them.
    c.ysize = -c.xsize;
    c.zsize = asStored(0.5 * (top - base) * exaggeration);
    c.seed = cellSeed(level, cell.x, cell.y);
    return c;
}

std::string layerText(const std::vector<CloudRecord> &clouds)
{
    std::string text = "TOLA_Cloud_Layer_File_V1.1\n" + std::to_string(clouds.size()) +
                       " clouds_in_file\n";
    char line[512];
    for (std::size_t i = 0; i < clouds.size(); ++i) {
        const CloudRecord &c = clouds[i];
        std::snprintf(line, sizeof line,
                      "Cloud_%zu\n%f %f %f %f %f\n%d %d %d %d %d\n%f %f %f %f %f %f\n"
                      "%d %d %d %f %f %f\n%f %f\n",
                      i, double(c.density), double(c.cluster), double(c.detail), double(c.zoom),
                      double(c.height), c.layers, c.panx, c.pany, c.texsize, c.symmetric, c.x, c.y,
                      c.z, c.xsize, c.ysize, c.zsize, c.xslice, c.yslice, c.zslice, double(c.red),
                      double(c.green), double(c.blue), c.seed, double(c.bottomscale));
        text += line;
    }
    return text;
}

}  // namespace weather
