// stacker_icons.h — the layers' pictures in the stacker. A layer type
// draws a layer's icon to match the stacker's own canvas; a type may make
// a new icon on every request, so each layer is asked once and its answer
// kept. The icons belong to the layer types (a layer's close deletes its
// icon); the stacker's canvas belongs to the window and must be deleted
// while the host is still there.
#ifndef CLOUDS_VIEWER_WINDOW_STACKER_ICONS_H
#define CLOUDS_VIEWER_WINDOW_STACKER_ICONS_H

#include <map>
#include <string>

#include "host_types.h"

namespace host {
class Scene;
}

namespace cloudview::window {

class StackerIcons {
public:
    // An entry's size: icons are asked for at this width, 48 high.
    static constexpr int kWidth = 216;
    static constexpr int kHeight = 48;

    StackerIcons() = default;
    ~StackerIcons() { release(); }
    StackerIcons(const StackerIcons &) = delete;
    StackerIcons &operator=(const StackerIcons &) = delete;

    // The layer's icon; null when its type draws none. problem says why
    // when the type was asked and failed.
    HCanvas *iconOf(host::Scene &scene, HLayer *layer, std::string *problem = nullptr);
    // Deletes the stacker's canvas and forgets every icon.
    void release();

private:
    HCanvas *stackerCanvas();

    HCanvas *canvas_ = nullptr;
    std::map<HLayer *, HCanvas *> icons_;
    unsigned long removals_ = 0; // the scene's layerRemovals() they were asked at
};

} // namespace cloudview::window

#endif
