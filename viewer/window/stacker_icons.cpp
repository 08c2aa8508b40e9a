#include "stacker_icons.h"

#include "hlib/error.h"
#include "hmllib.h"
#include "tolatoollib/scene.h"

namespace cloudview::window {

namespace {

bool live(HCanvas *canvas)
{
    HErrorSlot err = nullptr;
    hhml_CanvasGetDimensions(canvas, nullptr, nullptr, &err);
    return err == nullptr;
}

} // namespace

HCanvas *StackerIcons::stackerCanvas()
{
    if (!canvas_) {
        HErrorSlot err = nullptr;
        canvas_ = hhml_CanvasCreateOffScreenCopyVis(nullptr, kWidth, kHeight, &err);
    }
    return canvas_;
}

HCanvas *StackerIcons::iconOf(host::Scene &scene, HLayer *layer, std::string *problem)
{
    // After any layer has gone, a layer at a known address may be a new
    // one, and the icon kept for the old one deleted with it.
    if (scene.layerRemovals() != removals_) {
        icons_.clear();
        removals_ = scene.layerRemovals();
    }
    // A type that deleted an icon it gave is asked again.
    if (auto it = icons_.find(layer); it != icons_.end()) {
        if (!it->second || live(it->second))
            return it->second;
        icons_.erase(it);
    }
    HCanvas *&icon = icons_[layer];
    if (!layer || !layer->methods || !layer->methods->stackerIcon)
        return icon;
    HCanvas *canvas = stackerCanvas();
    if (!canvas) {
        if (problem)
            *problem = "cannot make the stacker's canvas";
        return icon;
    }
    HStackerCanvas stacker{canvas, scene.window(), nullptr};
    HErrorSlot err = nullptr;
    icon = layer->methods->stackerIcon(layer, &stacker, kWidth, &err);
    if (!icon && problem)
        *problem = err ? herr_Message(err) : "the layer gave no stacker icon";
    return icon;
}

void StackerIcons::release()
{
    icons_.clear();
    if (canvas_) {
        HErrorSlot err = nullptr;
        hhml_CanvasDelete(canvas_, &err);
        canvas_ = nullptr;
    }
}

} // namespace cloudview::window
