// terrain_models.h — elevation models the terrain tests make with GDAL,
// so that every height is known exactly, and the temporary folder they go
// in.
#ifndef CLOUDS_TESTS_TERRAIN_TERRAIN_MODELS_H
#define CLOUDS_TESTS_TERRAIN_TERRAIN_MODELS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ModelSpec {
    int width = 129, height = 129;
    double west = 500000.0, north = 9000000.0;  // the top-left corner
    double cell = 100.0;                        // metres (or degrees) a sample
    int epsg = 32725;                           // 0: no georeferencing
    int bands = 1;
    bool hasNoData = false;
    double noData = -9999.0;
    // The height at a sample's column and row.
    std::function<double(int column, int row)> heightAt = [](int, int) { return 0.0; };
};

// Writes the model as a Float32 GeoTIFF and returns its name.
std::string writeModel(const std::string &file, const ModelSpec &spec);
// A 3-band 8-bit image over a footprint, in a system, all one colour.
std::string writeImage(const std::string &file, double west, double north, double cell, int size,
                       int epsg, unsigned char r, unsigned char g, unsigned char b);

// A 3-band 8-bit image whose north half is one colour and south half
// another, so that a picture tells which way up it was laid.
std::string writeTwoHalvesImage(const std::string &file, double west, double north, double cell, int size,
                                int epsg, const unsigned char northRgb[3], const unsigned char southRgb[3]);

// Writes the files into a new zip archive, each under its member's name,
// as GDAL writes archives; returns the archive's name.
std::string writeZip(const std::string &zip,
                     const std::vector<std::pair<std::string, std::string>> &memberAndFile);

// A fresh folder under /tmp for one test.
std::string scratchFolder();

// Drape red by hue: shading and skirts darken it, nothing else makes it.
bool drapeRed(const uint8_t *p);
// Deterministic rough relief (octaves of ridged value noise down to a few
// samples, needles on the lines leaf tiles meet on), metres, for a model's
// column and row.
double rugged(int column, int row);
// Pixels of a picture (RGBA, eye over the model, no roll) that are not
// drape red below the highest drape pixel of their column, with ground a
// few pixels to their left and right: background seen through the ground.
size_t holesInGround(const std::vector<uint8_t> &rgba, int width, int height);

#endif
