#include "window_state.h"

#include "hlib.h"

#include <exception>

namespace cloudview::window {

size_t PostedWork::runAll(const std::function<void(const std::string &)> &failed,
                          const std::function<void(const std::string &)> &done)
{
    size_t ran = 0;
    while (!queue_.empty()) {
        Piece next = std::move(queue_.front());
        queue_.pop_front();
        try {
            next.work();
        } catch (const std::exception &e) {
            if (!failed)
                throw;
            failed(e.what());
        }
        if (done)
            done(next.name);
        ++ran;
    }
    return ran;
}

void WindowState::report(const std::string &message)
{
    messages.push_back(message);
    while (messages.size() > 50)
        messages.pop_front();
    showMessages = true;
}

bool WindowState::pressed(int key, bool ctrl) const
{
    constexpr int kCtrlBit = 0x0002; // GLFW_MOD_CONTROL
    for (const auto &[k, mods] : keysPressed)
        if (k == key && ((mods & kCtrlBit) != 0) == ctrl)
            return true;
    return false;
}

bool WindowState::pressed(int key, bool ctrl, bool shift) const
{
    constexpr int kShiftBit = 0x0001, kCtrlBit = 0x0002; // GLFW_MOD_SHIFT, GLFW_MOD_CONTROL
    for (const auto &[k, mods] : keysPressed)
        if (k == key && ((mods & kCtrlBit) != 0) == ctrl && ((mods & kShiftBit) != 0) == shift)
            return true;
    return false;
}

std::string layerDisplayName(HLayer *layer)
{
    std::string shown = "the layer";
    if (layer && layer->methods && layer->methods->displayName) {
        if (char *name = layer->methods->displayName(layer)) {
            if (*name)
                shown = name;
            hmsc_HeapFree(name);
        }
    }
    return shown;
}

} // namespace cloudview::window
