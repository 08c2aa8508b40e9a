// image_io.h — writing what the viewer reads back from GL: RGBA frames as
// PNG (through cairo), luminance textures as binary PGM.
#ifndef CLOUDS_VIEWER_APP_IMAGE_IO_H
#define CLOUDS_VIEWER_APP_IMAGE_IO_H

#include <cstdint>
#include <string>
#include <vector>

namespace cloudview {

// Whether a file name ends in ".png" (any case): renders are PNG only, and
// a PNG under another extension would mislead whoever opens it.
bool hasPngName(const std::string &fileName);

// rgba: width × height × 4 bytes, row 0 the top. Returns "" or the problem.
std::string writePNG(const std::string &fileName, const std::vector<uint8_t> &rgba, int width,
                     int height);
// rgb: width × height × 3 bytes (a canvas's pixels), row 0 the top, written
// opaque. Returns "" or the problem.
std::string writeRGBAsPNG(const std::string &fileName, const std::vector<uint8_t> &rgb, int width,
                          int height);
// gray: width × height bytes, row 0 first. Returns "" or the problem.
std::string writePGM(const std::string &fileName, const std::vector<uint8_t> &gray, int width,
                     int height);

}  // namespace cloudview

#endif
