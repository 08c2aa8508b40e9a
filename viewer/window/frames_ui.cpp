#include "panels.h"

namespace cloudview::window {

void drawFrames(WindowState &, CanvasTextures &) {}

} // namespace cloudview::window
