#include "panels.h"

namespace cloudview::window {

void drawFileBrowser(WindowState &) {}

} // namespace cloudview::window
