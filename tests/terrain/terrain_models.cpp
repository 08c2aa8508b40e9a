#include "terrain/terrain_models.h"

#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <stdlib.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

void georeference(GDALDataset *ds, double west, double north, double cell, int epsg)
{
    if (epsg == 0)
        return;
    double gt[6] = {west, cell, 0.0, north, 0.0, -cell};
    ds->SetGeoTransform(gt);
    OGRSpatialReference srs;
    srs.importFromEPSG(epsg);
    ds->SetSpatialRef(&srs);
}

}  // namespace

std::string writeModel(const std::string &file, const ModelSpec &spec)
{
    GDALAllRegister();
    GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDataset *ds = driver->Create(file.c_str(), spec.width, spec.height, spec.bands, GDT_Float32, nullptr);
    if (!ds)
        throw std::runtime_error(file + ": cannot create the test model");
    georeference(ds, spec.west, spec.north, spec.cell, spec.epsg);
    std::vector<float> values(size_t(spec.width) * size_t(spec.height));
    for (int r = 0; r < spec.height; ++r)
        for (int c = 0; c < spec.width; ++c)
            values[size_t(r) * size_t(spec.width) + size_t(c)] = float(spec.heightAt(c, r));
    for (int b = 1; b <= spec.bands; ++b) {
        GDALRasterBand *band = ds->GetRasterBand(b);
        if (spec.hasNoData)
            band->SetNoDataValue(spec.noData);
        if (band->RasterIO(GF_Write, 0, 0, spec.width, spec.height, values.data(), spec.width, spec.height,
                           GDT_Float32, 0, 0) != CE_None)
            throw std::runtime_error(file + ": cannot write the test model");
    }
    GDALClose(ds);
    return file;
}

std::string writeTwoHalvesImage(const std::string &file, double west, double north, double cell, int size,
                                int epsg, const unsigned char northRgb[3], const unsigned char southRgb[3])
{
    GDALAllRegister();
    GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDataset *ds = driver->Create(file.c_str(), size, size, 3, GDT_Byte, nullptr);
    if (!ds)
        throw std::runtime_error(file + ": cannot create the test image");
    georeference(ds, west, north, cell, epsg);
    std::vector<unsigned char> values(size_t(size) * size_t(size));
    for (int k = 0; k < 3; ++k) {
        for (int r = 0; r < size; ++r)
            std::fill_n(values.begin() + ptrdiff_t(r) * size, size, r < size / 2 ? northRgb[k] : southRgb[k]);
        ds->GetRasterBand(k + 1)->RasterIO(GF_Write, 0, 0, size, size, values.data(), size, size, GDT_Byte,
                                           0, 0);
    }
    GDALClose(ds);
    return file;
}

std::string writeImage(const std::string &file, double west, double north, double cell, int size,
                       int epsg, unsigned char r, unsigned char g, unsigned char b)
{
    const unsigned char colour[3] = {r, g, b};
    return writeTwoHalvesImage(file, west, north, cell, size, epsg, colour, colour);
}

std::string scratchFolder()
{
    char pattern[] = "/tmp/terrain_test_XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("cannot make a scratch folder");
    return pattern;
}

std::string writeZip(const std::string &zip,
                     const std::vector<std::pair<std::string, std::string>> &memberAndFile)
{
    for (const auto &[member, file] : memberAndFile) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const std::string name = "/vsizip/" + zip + "/" + member;
        VSILFILE *out = VSIFOpenL(name.c_str(), "wb");
        if (!out || bytes.empty() || VSIFWriteL(bytes.data(), 1, bytes.size(), out) != bytes.size())
            throw std::runtime_error(name + ": cannot write the test archive");
        VSIFCloseL(out);
    }
    return zip;
}

// Drape red by hue: shading and skirts darken it, nothing else makes it.
bool drapeRed(const uint8_t *p) { return p[0] >= 60 && p[0] > 2 * p[1] + 20 && p[0] > 2 * p[2] + 20; }

static double lattice(int x, int y, int seed)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return double(h & 0xffffff) / double(0xffffff);
}

// Deterministic rough relief: octaves of value noise on the sample grid,
// down to a few samples, with sharp ridges.
static double valueNoise(double x, double y, int seed)
{
    const int ix = int(std::floor(x)), iy = int(std::floor(y));
    const double fx = x - ix, fy = y - iy;
    const double a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    const double c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

// Rough relief with needles here and there on the lines leaf tiles meet
// on: a fine tile holds a needle its coarser neighbour's edge cuts off.
double rugged(int column, int row)
{
    if ((column % 64 == 0 || row % 64 == 0) && lattice(column, row, 99) < 0.004)
        return 800.0 + 1400.0 * lattice(column, row, 98);
    double h = 0.0, amplitude = 1400.0, period = 256.0;
    for (int octave = 0; octave < 7; ++octave) {
        const double n = valueNoise(column / period, row / period, octave);
        h += amplitude * (1.0 - std::fabs(2.0 * n - 1.0));  // ridges
        amplitude *= 0.5;
        period *= 0.5;
    }
    return h;
}

// Per column of the picture, every pixel from the highest ground pixel
// down is ground: with the eye over the model and no roll, a lower ray
// meets the ground nearer, so anything else there is background seen
// through the ground. Returns how many such pixels there are.
size_t holesInGround(const std::vector<uint8_t> &rgba, int width, int height)
{
    auto red = [&](int x, int y) { return x >= 0 && x < width && drapeRed(&rgba[(size_t(y) * width + x) * 4]); };
    // Ground within a few pixels on either side: a crack, not the sky
    // beside a needle thinner than a pixel that stands above the land.
    auto enclosed = [&](int x, int y) {
        bool left = false, right = false;
        for (int d = 1; d <= 4; ++d) {
            left = left || red(x - d, y);
            right = right || red(x + d, y);
        }
        return left && right;
    };
    size_t holes = 0;
    for (int x = 0; x < width; ++x) {
        int y = 0;
        while (y < height && !red(x, y))
            ++y;
        for (; y < height; ++y)
            holes += !red(x, y) && enclosed(x, y);
    }
    return holes;
}

