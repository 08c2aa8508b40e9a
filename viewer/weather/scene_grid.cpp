#include "weather/scene_grid.h"

#include <cpl_conv.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "terrain/gdal_util.h"
#include "terrain/height_model.h"
#include "weather/cloud_fields.h"

namespace weather {

namespace {

constexpr double kMetresPerDegree = 6371008.8 * M_PI / 180.0;
const float kNone = std::numeric_limits<float>::quiet_NaN();

struct Srs {
    explicit Srs(const std::string &definition) : h(OSRNewSpatialReference(nullptr))
    {
        OSRSetAxisMappingStrategy(h, OAMS_TRADITIONAL_GIS_ORDER);
        if (OSRSetFromUserInput(h, definition.c_str()) != OGRERR_NONE)
            throw WeatherError("cannot read the coordinate system " + definition.substr(0, 60));
        OSRSetAxisMappingStrategy(h, OAMS_TRADITIONAL_GIS_ORDER);
    }
    ~Srs() { OSRDestroySpatialReference(h); }
    Srs(const Srs &) = delete;
    Srs &operator=(const Srs &) = delete;
    OGRSpatialReferenceH h;
};

struct Transform {
    Transform(const Srs &from, const Srs &to) : h(OCTNewCoordinateTransformation(from.h, to.h))
    {
        if (!h)
            throw WeatherError("cannot transform between the data's and the scene's coordinates");
    }
    ~Transform() { OCTDestroyCoordinateTransformation(h); }
    Transform(const Transform &) = delete;
    Transform &operator=(const Transform &) = delete;
    OGRCoordinateTransformationH h;
};

std::string wktOf(OGRSpatialReferenceH srs)
{
    char *wkt = nullptr;
    OSRExportToWkt(srs, &wkt);
    std::string text = wkt ? wkt : "";
    CPLFree(wkt);
    return text;
}

terrain::Dataset memoryRaster(int width, int height, const double transform[6],
                              const std::string &srs, const std::vector<float> &values)
{
    GDALDriverH mem = GDALGetDriverByName("MEM");
    terrain::Dataset ds(GDALCreate(mem, "", width, height, 1, GDT_Float32, nullptr));
    if (!ds)
        throw WeatherError("cannot hold a " + std::to_string(width) + " x " +
                           std::to_string(height) + " field in memory");
    GDALSetGeoTransform(ds.get(), const_cast<double *>(transform));
    if (!srs.empty())
        GDALSetProjection(ds.get(), srs.c_str());
    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    GDALSetRasterNoDataValue(band, std::numeric_limits<double>::quiet_NaN());
    if (GDALRasterIO(band, GF_Write, 0, 0, width, height, const_cast<float *>(values.data()),
                     width, height, GDT_Float32, 0, 0) != CE_None)
        throw WeatherError("cannot hold the field in memory: " + terrain::lastGdalError());
    return ds;
}

std::vector<float> readAll(GDALDatasetH ds, int width, int height)
{
    std::vector<float> out(static_cast<std::size_t>(width) * height, kNone);
    if (GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Read, 0, 0, width, height, out.data(), width,
                     height, GDT_Float32, 0, 0) != CE_None)
        throw WeatherError("cannot read the warped field: " + terrain::lastGdalError());
    return out;
}

std::vector<std::string> sceneArgs(const SceneGrid &scene, const char *resampling)
{
    using terrain::exactArg;
    return {"-of", "MEM", "-ot", "Float32", "-t_srs", scene.wkt, "-te", exactArg(scene.west),
            exactArg(scene.north - scene.height * scene.spacing),
            exactArg(scene.west + scene.width * scene.spacing), exactArg(scene.north), "-ts",
            std::to_string(scene.width), std::to_string(scene.height), "-r", resampling,
            "-dstnodata", "nan", "-q"};
}

// WGS 84 longitude/latitude with longitudes counted about the region's
// centre, so that a region past 180 or across the date line keeps them.
std::string wrappedLonLat(const Region &region)
{
    return "+proj=longlat +datum=WGS84 +lon_wrap=" +
           terrain::exactArg(0.5 * (region.west + region.east)) + " +no_defs";
}

}  // namespace

std::string utmFrameWkt(double lon, double lat)
{
    return wktOf(Srs("EPSG:" + std::to_string(terrain::utmEpsg(lon, lat))).h);
}

Bounds regionBounds(const Region &region, const std::string &wkt)
{
    Srs lonlat(wrappedLonLat(region));
    Srs scene(wkt);
    Transform t(lonlat, scene);
    Bounds b;
    if (!OCTTransformBounds(t.h, region.west, region.south, region.east, region.north, &b.xmin,
                            &b.ymin, &b.xmax, &b.ymax, 21))
        throw WeatherError("the region " + regionText(region) +
                           " cannot be drawn in the scene's coordinates");
    return b;
}

Region boundsRegion(const Bounds &bounds, const std::string &wkt)
{
    Srs scene(wkt);
    Srs lonlat("EPSG:4326");
    Transform t(scene, lonlat);
    Region r;
    if (!OCTTransformBounds(t.h, bounds.xmin, bounds.ymin, bounds.xmax, bounds.ymax, &r.west,
                            &r.south, &r.east, &r.north, 21))
        throw WeatherError("the terrain's footprint has no longitude and latitude");
    if (r.east <= r.west)
        r.east += 360;  // GDAL gives a footprint across the date line as west > east
    return r;
}

double cellSizeMetres(const RasterGrid &grid, double latitude)
{
    const double dx = std::hypot(grid.transform[1], grid.transform[4]);
    const double dy = std::hypot(grid.transform[2], grid.transform[5]);
    if (!grid.geographic)
        return std::sqrt(dx * dy);
    const double c = std::max(std::cos(latitude * M_PI / 180.0), 0.05);
    return kMetresPerDegree * std::sqrt(dx * dy * c);
}

SceneGrid sceneGrid(const Bounds &bounds, double spacing, const std::string &wkt)
{
    SceneGrid g;
    g.wkt = wkt;
    g.spacing = spacing;
    g.width = std::max(1, static_cast<int>(std::ceil((bounds.xmax - bounds.xmin) / spacing - 1e-9)));
    g.height = std::max(1, static_cast<int>(std::ceil((bounds.ymax - bounds.ymin) / spacing - 1e-9)));
    // Whole metres, so that cloud centres are short numbers in the files.
    g.west = std::round(0.5 * (bounds.xmin + bounds.xmax) - 0.5 * g.width * spacing);
    g.north = std::round(0.5 * (bounds.ymin + bounds.ymax) + 0.5 * g.height * spacing);
    return g;
}

std::vector<float> warpField(const std::vector<float> &values, const RasterGrid &grid,
                             const Region &region, const SceneGrid &scene)
{
    terrain::registerGdal();
    terrain::QuietGdal quiet;
    const double fieldCell = cellSizeMetres(grid, 0.5 * (region.south + region.north));
    const char *resampling = scene.spacing > fieldCell ? "average" : "bilinear";
    terrain::Dataset source;
    if (grid.geographic && grid.transform[2] == 0 && grid.transform[4] == 0) {
        // Cut the region out with two cells to spare, on the field's own
        // cell lattice, each column taken from the field's column at the
        // same longitude modulo a turn.
        const double dx = grid.transform[1], dy = grid.transform[5];
        const double x0 = grid.transform[0], y0 = grid.transform[3];
        const double lonFirst = x0 + std::floor((region.west - x0) / dx - 2) * dx;
        const int columns = static_cast<int>(std::ceil((region.east - lonFirst) / dx)) + 2;
        const bool global = spansAllLongitudes(grid);
        std::vector<float> cut(static_cast<std::size_t>(columns) * grid.height, kNone);
        for (int i = 0; i < columns; ++i) {
            const double lon = lonFirst + (i + 0.5) * dx;
            long j = std::lround(std::floor((lon - x0) / dx));
            if (global) {
                j = ((j % grid.width) + grid.width) % grid.width;
            } else {
                for (double shift : {-360.0, 360.0})
                    if (j < 0 || j >= grid.width) {
                        const long k = std::lround(std::floor((lon + shift - x0) / dx));
                        if (k >= 0 && k < grid.width)
                            j = k;
                    }
                if (j < 0 || j >= grid.width)
                    continue;
            }
            for (int r = 0; r < grid.height; ++r)
                cut[static_cast<std::size_t>(r) * columns + i] =
                    values[static_cast<std::size_t>(r) * grid.width + j];
        }
        const double transform[6] = {lonFirst, dx, 0, y0, 0, dy};
        source = memoryRaster(columns, grid.height, transform, "", cut);
        // Longitudes wrapped about the region's centre, so that the
        // warper's inverse points land on the cut's own longitudes.
        std::vector<std::string> args = sceneArgs(scene, resampling);
        args.insert(args.begin(), {"-s_srs", wrappedLonLat(region)});
        terrain::Dataset out(terrain::gdalWarp(source.get(), args));
        if (!out)
            throw WeatherError("cannot warp the field onto the scene's grid: " +
                               terrain::lastGdalError());
        return readAll(out.get(), scene.width, scene.height);
    }
    source = memoryRaster(grid.width, grid.height, grid.transform,
                          grid.wkt.empty() ? wktOf(Srs("EPSG:4326").h) : grid.wkt, values);
    terrain::Dataset out(terrain::gdalWarp(source.get(), sceneArgs(scene, resampling)));
    if (!out)
        throw WeatherError("cannot warp the field onto the scene's grid: " +
                           terrain::lastGdalError());
    return readAll(out.get(), scene.width, scene.height);
}

std::vector<double> cellLatitudes(const SceneGrid &grid, const Region &region)
{
    const std::size_t n = static_cast<std::size_t>(grid.width) * grid.height;
    std::vector<double> x(n), y(n);
    for (int r = 0; r < grid.height; ++r)
        for (int c = 0; c < grid.width; ++c) {
            x[static_cast<std::size_t>(r) * grid.width + c] = grid.cellX(c);
            y[static_cast<std::size_t>(r) * grid.width + c] = grid.cellY(r);
        }
    Srs scene(grid.wkt), lonlat("EPSG:4326");
    std::vector<double> lat(n, 45.0);
    OGRCoordinateTransformationH t = OCTNewCoordinateTransformation(scene.h, lonlat.h);
    if (!t)
        return lat;
    std::vector<int> ok(n);
    OCTTransformEx(t, static_cast<int>(n), x.data(), y.data(), nullptr, ok.data());
    OCTDestroyCoordinateTransformation(t);
    const double margin = 1e-9;
    for (std::size_t i = 0; i < n; ++i) {
        const double lon = x[i] + 360.0 * std::ceil((region.west - margin - x[i]) / 360.0);
        const bool inside = ok[i] && y[i] >= region.south - margin &&
                            y[i] <= region.north + margin && lon <= region.east + margin;
        lat[i] = inside ? y[i] : std::numeric_limits<double>::quiet_NaN();
    }
    return lat;
}

std::vector<float> groundHighest(const std::string &model, const SceneGrid &scene)
{
    terrain::registerGdal();
    terrain::QuietGdal quiet;
    terrain::Dataset dem(terrain::openRasterFile(model));
    if (!dem)
        throw WeatherError(model + ": cannot read it: " + terrain::lastGdalError());
    GDALRasterBandH band = GDALGetRasterBand(dem.get(), 1);
    int hasScale = 0, hasOffset = 0;
    const double scale = GDALGetRasterScale(band, &hasScale);
    const double offset = GDALGetRasterOffset(band, &hasOffset);
    terrain::Dataset out(terrain::gdalWarp(dem.get(), sceneArgs(scene, "max")));
    if (!out)
        throw WeatherError(model + ": cannot take its heights under the clouds: " +
                           terrain::lastGdalError());
    std::vector<float> heights = readAll(out.get(), scene.width, scene.height);
    for (float &h : heights)
        if (std::isfinite(h))
            h = static_cast<float>(h * scale + offset);
    return heights;
}

}  // namespace weather
