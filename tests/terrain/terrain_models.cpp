#include "terrain/terrain_models.h"

#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <stdlib.h>

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
