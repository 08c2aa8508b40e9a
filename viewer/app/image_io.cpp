#include "image_io.h"

#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace cloudview {

bool hasPngName(const std::string &fileName)
{
    const size_t dot = fileName.find_last_of("./");
    return dot != std::string::npos && fileName[dot] == '.' &&
           strcasecmp(fileName.c_str() + dot, ".png") == 0 && dot > 0 && fileName[dot - 1] != '/';
}

std::string writePNG(const std::string &fileName, const std::vector<uint8_t> &rgba, int width,
                     int height)
{
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return "cannot make a " + std::to_string(width) + "x" + std::to_string(height) + " image";
    }
    cairo_surface_flush(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        uint32_t *row = reinterpret_cast<uint32_t *>(data + static_cast<size_t>(y) * stride);
        const uint8_t *src = rgba.data() + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x)
            row[x] = (uint32_t{src[4 * x]} << 16) | (uint32_t{src[4 * x + 1]} << 8) | src[4 * x + 2];
    }
    cairo_surface_mark_dirty(surface);
    const cairo_status_t status = cairo_surface_write_to_png(surface, fileName.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        return std::string("cannot write PNG: ") + cairo_status_to_string(status);
    return "";
}

std::string writeRGBAsPNG(const std::string &fileName, const std::vector<uint8_t> &rgb, int width,
                          int height)
{
    std::vector<uint8_t> rgba;
    rgba.reserve(rgb.size() / 3 * 4);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
    return writePNG(fileName, rgba, width, height);
}

std::string writePGM(const std::string &fileName, const std::vector<uint8_t> &gray, int width,
                     int height)
{
    FILE *f = std::fopen(fileName.c_str(), "wb");
    if (!f)
        return std::string("cannot write: ") + std::strerror(errno);
    std::fprintf(f, "P5\n%d %d\n255\n", width, height);
    std::fwrite(gray.data(), 1, gray.size(), f);
    const bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || failed)
        return std::string("cannot write: ") + std::strerror(errno);
    return "";
}

}  // namespace cloudview
