// weather_files.h — weather files the tests make: NetCDF from CDL text
// through ncgen, one-band GeoTIFFs through GDAL, in a fresh folder.
#ifndef CLOUDS_TESTS_WEATHER_WEATHER_FILES_H
#define CLOUDS_TESTS_WEATHER_WEATHER_FILES_H

#include <functional>
#include <map>
#include <string>
#include <vector>

// A new folder under /tmp for one test's files.
std::string weatherTempDir();

// Writes the CDL text and makes dir/name.nc from it with ncgen; "" when
// ncgen fails (the test then fails on the missing file).
std::string writeNetcdf(const std::string &dir, const std::string &name, const std::string &cdl);

// A 16 x 16 one-band GeoTIFF in UTM zone 25 S near Olinda (northings near
// 9,120,000), 1 km cells, the value at each cell from valueAt; units and a
// band description when not empty.
std::string writeOneBand(const std::string &file, const char *type,
                         const std::function<double(int column, int row)> &valueAt,
                         const std::string &units = "", const std::string &description = "");

// A one-band Float32 GeoTIFF in WGS 84 degrees: cols x rows cells of
// `cell` degrees from the west and north edges given, the value at each
// cell from valueAt, in units.
std::string writeLonLatField(const std::string &file, double west, double north, double cell,
                             int cols, int rows,
                             const std::function<double(int column, int row)> &valueAt,
                             const std::string &units = "%");

// A GRIB 2 file of some of another's messages (from 1, GDAL's band numbers
// for a file of one field per message), in the order given, with octets of
// their product definition (section 4, counted from 1 as GRIB does)
// changed where edits names a message: {message, {{octet, value}}}. ""
// when `from` is not such a file.
std::string copyGribMessages(const std::string &from, const std::string &to,
                             const std::vector<int> &messages,
                             const std::map<int, std::map<int, int>> &edits = {});

#endif
