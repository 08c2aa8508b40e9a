#include "weather/weather_files.h"

#include <gdal.h>
#include <ogr_srs_api.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

std::string weatherTempDir()
{
    char pattern[] = "/tmp/weather_test_XXXXXX";
    return mkdtemp(pattern) ? pattern : "/tmp";
}

std::string writeNetcdf(const std::string &dir, const std::string &name, const std::string &cdl)
{
    const std::string text = dir + "/" + name + ".cdl", nc = dir + "/" + name + ".nc";
    std::ofstream(text) << cdl;
    const std::string command = "ncgen -o '" + nc + "' '" + text + "'";
    return std::system(command.c_str()) == 0 ? nc : "";
}

std::string writeOneBand(const std::string &file, const char *type,
                         const std::function<double(int, int)> &valueAt, const std::string &units,
                         const std::string &description)
{
    GDALAllRegister();
    const int n = 16;
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), file.c_str(), n, n, 1,
                                 GDALGetDataTypeByName(type), nullptr);
    double transform[6] = {290000.0, 1000.0, 0, 9120000.0, 0, -1000.0};
    GDALSetGeoTransform(ds, transform);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 32725);
    GDALSetSpatialRef(ds, srs);
    OSRDestroySpatialReference(srs);
    std::vector<double> values(n * n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            values[r * n + c] = valueAt(c, r);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    if (!units.empty())
        GDALSetRasterUnitType(band, units.c_str());
    if (!description.empty())
        GDALSetDescription(band, description.c_str());
    const CPLErr written = GDALRasterIO(band, GF_Write, 0, 0, n, n, values.data(), n, n, GDT_Float64, 0, 0);
    GDALClose(ds);
    return written == CE_None ? file : "";
}

std::string writeLonLatField(const std::string &file, double west, double north, double cell,
                             int cols, int rows, const std::function<double(int, int)> &valueAt,
                             const std::string &units)
{
    GDALAllRegister();
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), file.c_str(), cols, rows, 1,
                                 GDT_Float32, nullptr);
    double transform[6] = {west, cell, 0, north, 0, -cell};
    GDALSetGeoTransform(ds, transform);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 4326);
    GDALSetSpatialRef(ds, srs);
    OSRDestroySpatialReference(srs);
    std::vector<double> values(static_cast<size_t>(cols) * rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            values[static_cast<size_t>(r) * cols + c] = valueAt(c, r);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    if (!units.empty())
        GDALSetRasterUnitType(band, units.c_str());
    const CPLErr written =
        GDALRasterIO(band, GF_Write, 0, 0, cols, rows, values.data(), cols, rows, GDT_Float64, 0, 0);
    GDALClose(ds);
    return written == CE_None ? file : "";
}

namespace {

std::uint64_t bigEndian(const std::string &bytes, std::size_t at, int n)
{
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

}  // namespace

std::string copyGribMessages(const std::string &from, const std::string &to,
                             const std::vector<int> &messages, const std::map<int, std::map<int, int>> &edits)
{
    std::ifstream in(from, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Section 0: "GRIB", two reserved octets, discipline, edition 2, then
    // the message's length in eight octets.
    std::vector<std::string> all;
    for (std::size_t at = 0; at + 16 <= bytes.size();) {
        if (bytes.compare(at, 4, "GRIB") || bytes[at + 7] != 2)
            return "";
        const std::uint64_t length = bigEndian(bytes, at + 8, 8);
        if (length < 16 || at + length > bytes.size())
            return "";
        all.push_back(bytes.substr(at, length));
        at += length;
    }
    std::ofstream out(to, std::ios::binary);
    for (const int m : messages) {
        if (m < 1 || m > static_cast<int>(all.size()))
            return "";
        std::string message = all[m - 1];
        const auto changed = edits.find(m);
        if (changed != edits.end()) {
            // Sections after the first: four octets of length, one of number.
            for (std::size_t at = 16; at + 5 <= message.size();) {
                const std::uint64_t length = bigEndian(message, at, 4);
                if (length < 5 || at + length > message.size())
                    return "";
                if (message[at + 4] == 4) {
                    for (const auto &[octet, value] : changed->second) {
                        if (octet < 6 || static_cast<std::uint64_t>(octet) > length)
                            return "";
                        message[at + octet - 1] = static_cast<char>(value);
                    }
                    break;
                }
                at += length;
            }
        }
        out << message;
    }
    return out ? to : "";
}
