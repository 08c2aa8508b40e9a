#include "point_text.h"

#include <cmath>
#include <cstdio>

#include "viewer.h"

namespace cloudview {

std::string pointText(const Viewer &viewer, const double p[3])
{
    char text[320];
    int n = std::snprintf(text, sizeof text, "x %.1f  y %.1f  z %.1f", p[0], p[1], p[2]);
    const ::terrain::Terrain *ground = viewer.terrain();
    if (!ground)
        return text;
    std::string out(text, size_t(n));
    const double height = ground->heightAt(p[0], p[1]);
    if (std::isfinite(height)) {
        std::snprintf(text, sizeof text, "  height %.1f m", height);
        out += text;
    }
    double lon = 0, lat = 0;
    if (ground->lonLat(p[0], p[1], &lon, &lat)) {
        std::snprintf(text, sizeof text, "  %.5f\u00b0%c %.5f\u00b0%c", std::fabs(lat), lat < 0 ? 'S' : 'N',
                      std::fabs(lon), lon < 0 ? 'W' : 'E');
        out += text;
    }
    return out + "  (" + ground->frameDescription() + ")";
}

}  // namespace cloudview
