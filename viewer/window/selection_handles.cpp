#include "selection_handles.h"

namespace cloudview::window {

bool SelectionHandles::press(double, double) { return false; }
void SelectionHandles::drag(double, double) {}
void SelectionHandles::release(double, double) {}
void SelectionHandles::draw(ImDrawList *, float, float) {}

} // namespace cloudview::window
