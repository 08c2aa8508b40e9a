#include "weather/raster_grid.h"

#include <cpl_conv.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace weather {

namespace {

// Owns an OGR spatial reference.
struct Srs {
    OGRSpatialReferenceH h = nullptr;
    Srs() : h(OSRNewSpatialReference(nullptr)) {}
    ~Srs() { OSRDestroySpatialReference(h); }
    Srs(const Srs &) = delete;
    Srs &operator=(const Srs &) = delete;
};

// Projected grids: the lon/lat box of points along the grid's edges (the
// corners alone miss the bulge of a curved edge).
bool projectedExtent(const RasterGrid &g, OGRSpatialReferenceH source, RasterGrid &out)
{
    Srs target;
    OSRSetWellKnownGeogCS(target.h, "WGS84");
    OSRSetAxisMappingStrategy(target.h, OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(source, OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH ct = OCTNewCoordinateTransformation(source, target.h);
    if (!ct)
        return false;
    const int n = 32;
    double w = std::numeric_limits<double>::infinity(), s = w, e = -w, no = -w;
    bool any = false;
    for (int side = 0; side < 4; ++side)
        for (int i = 0; i <= n; ++i) {
            const double t = static_cast<double>(i) / n;
            const double px = side < 2 ? t * g.width : (side == 2 ? 0 : g.width);
            const double py = side < 2 ? (side == 0 ? 0 : g.height) : t * g.height;
            double x = g.transform[0] + px * g.transform[1] + py * g.transform[2];
            double y = g.transform[3] + px * g.transform[4] + py * g.transform[5];
            int ok = 0;
            if (OCTTransformEx(ct, 1, &x, &y, nullptr, &ok) && ok) {
                w = std::min(w, x), e = std::max(e, x), s = std::min(s, y), no = std::max(no, y);
                any = true;
            }
        }
    OCTDestroyCoordinateTransformation(ct);
    if (any)
        out.west = w, out.south = s, out.east = e, out.north = no;
    return any;
}

}  // namespace

RasterGrid describeGrid(GDALDatasetH dataset, bool lonLatAxes)
{
    RasterGrid g;
    g.width = GDALGetRasterXSize(dataset);
    g.height = GDALGetRasterYSize(dataset);
    const bool hasTransform = GDALGetGeoTransform(dataset, g.transform) == CE_None;
    const char *wkt = GDALGetProjectionRef(dataset);
    g.wkt = wkt ? wkt : "";
    Srs srs;
    if (!g.wkt.empty() && OSRSetFromUserInput(srs.h, g.wkt.c_str()) == OGRERR_NONE) {
        const char *name = OSRGetName(srs.h);
        g.crsName = name && *name ? name : "unnamed";
        g.geographic = OSRIsGeographic(srs.h);
        char *unit = nullptr;
        if (g.geographic)
            g.cellUnits = "degrees";
        else if (OSRIsProjected(srs.h) && (OSRGetLinearUnits(srs.h, &unit), unit && *unit))
            g.cellUnits = unit;
    } else if (lonLatAxes && hasTransform) {
        g.crsName = "WGS 84";
        g.crsAssumed = true;
        g.geographic = true;
        g.cellUnits = "degrees";
        OSRSetWellKnownGeogCS(srs.h, "WGS84");
        char *text = nullptr;
        OSRExportToWkt(srs.h, &text);
        g.wkt = text ? text : "";
        CPLFree(text);
    } else {
        g.crsName = "none";
    }
    if (!hasTransform)
        return g;
    if (g.geographic && g.transform[2] == 0 && g.transform[4] == 0) {
        const double x0 = g.transform[0], x1 = x0 + g.width * g.transform[1];
        const double y0 = g.transform[3], y1 = y0 + g.height * g.transform[5];
        g.west = std::min(x0, x1), g.east = std::max(x0, x1);
        g.south = std::min(y0, y1), g.north = std::max(y0, y1);
        g.hasExtent = true;
    } else if (g.crsName != "none") {
        // Projected, or a rotated grid in degrees: through the transform.
        g.hasExtent = projectedExtent(g, srs.h, g);
    }
    return g;
}

}  // namespace weather
