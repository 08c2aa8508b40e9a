// The drape read a tile at a time from a large image: an 8192 x 8192 RGB
// GeoTIFF with overviews (made here with GDAL, kept in /tmp between runs)
// over the valley example's footprint. A 256 x 256 tile at the image's own
// resolution, and tiles 8 and 32 times coarser (from the overviews); read
// as the image lies and warped into another datum's UTM zone. Tiles move
// over the image so that GDAL's block cache does not serve them all.
// Targets: a 256 x 256 tile <= 10 ms as the image lies, <= 40 ms warped;
// opening <= 20 ms (each reading thread opens its own).
#include <benchmark/benchmark.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <cpl_string.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "terrain/drape_source.h"

namespace {

constexpr int kSide = 8192;
constexpr double kWest = 288776.25, kNorth = 9120760.75, kCell = 1.25;

const std::string &bigImage()
{
    static const std::string file = [] {
        const std::string name = "/tmp/bench_drape_8192.tif";
        GDALAllRegister();
        if (GDALDataset *old = GDALDataset::Open(name.c_str(), GDAL_OF_RASTER)) {
            const bool ready = old->GetRasterXSize() == kSide && old->GetRasterBand(1)->GetOverviewCount() == 5;
            GDALClose(old);
            if (ready)
                return name;
        }
        CPLStringList options;
        options.SetNameValue("TILED", "YES");
        options.SetNameValue("INTERLEAVE", "PIXEL");
        GDALDataset *ds = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
            name.c_str(), kSide, kSide, 3, GDT_Byte, options.List());
        double gt[6] = {kWest, kCell, 0, kNorth, 0, -kCell};
        ds->SetGeoTransform(gt);
        OGRSpatialReference srs;
        srs.importFromEPSG(32725);
        ds->SetSpatialRef(&srs);
        constexpr int kRows = 256;
        std::vector<unsigned char> rows(size_t(kSide) * kRows * 3);
        int bands[3] = {1, 2, 3};
        for (int r0 = 0; r0 < kSide; r0 += kRows) {
            for (int r = 0; r < kRows; ++r)
                for (int c = 0; c < kSide; ++c) {
                    unsigned char *p = &rows[(size_t(r) * kSide + size_t(c)) * 3];
                    const int y = r0 + r;
                    p[0] = (unsigned char)(128 + 100 * std::sin(c * 0.01) * std::cos(y * 0.013));
                    p[1] = (unsigned char)((c ^ y) & 0xff);
                    p[2] = (unsigned char)(128 + 90 * std::sin((c + y) * 0.002));
                }
            if (ds->RasterIO(GF_Write, 0, r0, kSide, kRows, rows.data(), kSide, kRows, GDT_Byte, 3, bands, 3,
                             size_t(kSide) * 3, 1, nullptr) != CE_None)
                throw std::runtime_error(name + ": cannot write the benchmark's image");
        }
        int levels[5] = {2, 4, 8, 16, 32};
        ds->BuildOverviews("AVERAGE", 5, levels, 0, nullptr, nullptr, nullptr);
        GDALClose(ds);
        return name;
    }();
    return file;
}

std::string wktOf(int epsg)
{
    OGRSpatialReference srs;
    srs.importFromEPSG(epsg);
    char *wkt = nullptr;
    srs.exportToWkt(&wkt);
    std::string text = wkt;
    CPLFree(wkt);
    return text;
}

// A model over the image's footprint: 4096 samples of 2.5 m, in UTM 25S
// of WGS 84 (the image's own frame) or of SIRGAS 2000 (warped).
terrain::DrapeSource openOver(int epsg)
{
    const double gt[6] = {kWest, 2 * kCell, 0, kNorth, 0, -2 * kCell};
    std::vector<std::string> warnings;
    return terrain::DrapeSource(bigImage(), wktOf(epsg), gt, kSide / 2, kSide / 2, warnings);
}

// GDAL's block cache smaller than the image, as in a viewer that reads
// the model and other tiles too: a tile's blocks are read from the file.
struct SmallCache {
    SmallCache() { GDALSetCacheMax64(64ll << 20); }
} smallCache;

void BM_DrapeOpen(benchmark::State &state)
{
    bigImage();
    for (auto _ : state) {
        terrain::DrapeSource drape = openOver(int(state.range(0)));
        benchmark::DoNotOptimize(drape.empty());
    }
}
BENCHMARK(BM_DrapeOpen)->Arg(32725)->Arg(31985)->Unit(benchmark::kMillisecond);

// Arguments: the system of the model (32725: the image's own, 31985:
// warped) and how many image pixels a texel spans (1, 8, 32).
void BM_DrapeTile256(benchmark::State &state)
{
    terrain::DrapeSource drape = openOver(int(state.range(0)));
    const int pixelsPerTexel = int(state.range(1));
    const double side = 256.0 * pixelsPerTexel * kCell;
    // Tiles half a tile off the image's grid of tiles, row by row.
    const int across = std::max(1, int(kSide * kCell / side) - 1);
    const double shift = across > 1 ? 0.5 : 0.0;
    std::vector<uint8_t> rgb;
    int k = 0;
    for (auto _ : state) {
        const int i = k % across, j = (k / across) % across;
        ++k;
        const double x0 = kWest + side * (i + shift), y1 = kNorth - side * (j + shift);
        if (!drape.read(x0, y1 - side, x0 + side, y1, 256, 256, rgb))
            state.SkipWithError(drape.lastError().c_str());
        benchmark::DoNotOptimize(rgb.data());
    }
}
BENCHMARK(BM_DrapeTile256)
    ->Args({32725, 1})->Args({32725, 8})->Args({32725, 32})
    ->Args({31985, 1})->Args({31985, 8})->Args({31985, 32})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
