#include "panels.h"

namespace cloudview::window {

void drawStacker(WindowState &, CanvasTextures &) {}

} // namespace cloudview::window
