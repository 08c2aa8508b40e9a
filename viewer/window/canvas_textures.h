// canvas_textures.h — script canvases shown as GL textures in the window.
// A canvas's pixels live in its cairo surface; the texture follows them:
// each frame that shows a canvas compares its pixels with what was last
// uploaded and uploads again when they differ. Textures of canvases not
// shown for a frame are deleted, so a deleted canvas leaves nothing behind.
#ifndef CLOUDS_VIEWER_WINDOW_CANVAS_TEXTURES_H
#define CLOUDS_VIEWER_WINDOW_CANVAS_TEXTURES_H

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "host_types.h"

namespace cloudview::window {

class CanvasTextures {
public:
    CanvasTextures() = default;
    ~CanvasTextures(); // needs the window's context current
    CanvasTextures(const CanvasTextures &) = delete;
    CanvasTextures &operator=(const CanvasTextures &) = delete;

    // The texture showing the canvas now (0 for a null or empty canvas).
    unsigned texture(const HCanvas *canvas);
    // How many uploads have been made, for tests of "updated when changed".
    unsigned long uploads() const { return uploads_; }
    // Drops the textures of canvases not asked for since the last call.
    void endFrame();

private:
    struct Entry {
        unsigned name = 0;
        int width = 0, height = 0;
        std::vector<uint8_t> pixels; // what was uploaded, RGB
        bool used = false;
    };
    std::unordered_map<const HCanvas *, Entry> entries_;
    unsigned long uploads_ = 0;
};

} // namespace cloudview::window

#endif
