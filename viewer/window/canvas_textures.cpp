#include "canvas_textures.h"

#include <GL/gl.h>

#include "hmllib/script_model.h"
#include "hmllib/script_ui.h"

namespace cloudview::window {

CanvasTextures::~CanvasTextures()
{
    for (auto &[canvas, entry] : entries_)
        glDeleteTextures(1, &entry.name);
}

unsigned CanvasTextures::texture(const HCanvas *canvas)
{
    if (!canvas || canvas->width < 1 || canvas->height < 1)
        return 0;
    Entry &e = entries_[canvas];
    e.used = true;
    std::vector<uint8_t> rgb = host::canvasRGB(canvas);
    if (e.name && e.width == canvas->width && e.height == canvas->height && e.pixels == rgb)
        return e.name;
    if (!e.name)
        glGenTextures(1, &e.name);
    glBindTexture(GL_TEXTURE_2D, e.name);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, canvas->width, canvas->height, 0, GL_RGB,
                 GL_UNSIGNED_BYTE, rgb.data());
    glPopClientAttrib();
    // Canvases are pictures made pixel by pixel (the preview's blocks, an
    // icon's text): show them crisp.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    e.width = canvas->width;
    e.height = canvas->height;
    e.pixels = std::move(rgb);
    ++uploads_;
    return e.name;
}

void CanvasTextures::endFrame()
{
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (!it->second.used) {
            glDeleteTextures(1, &it->second.name);
            it = entries_.erase(it);
        } else {
            it->second.used = false;
            ++it;
        }
    }
}

} // namespace cloudview::window
