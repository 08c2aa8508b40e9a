// Feature layers and the arrange-layer services.
//
// A feature layer is the host's layer record for a layer type: the record,
// its own method table and the host's bookkeeping, allocated together so
// one free releases all of it. The layer type fills its own entries of the
// table; the host's entries (hostSetName, hostGetExtent, hostIsVisible)
// get harmless defaults that answer from the scene holding the layer.
//
// Allocated with new, not from the host heap: the record is the host's,
// and the heap's counters track what layer types allocate.
#include "hlib/error.h"
#include "hvislib/journal.h"
#include "tolatoollib.h"
#include "tolatoollib/scene.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct FeatureLayer {
    HLayer layer; // first: the HLayer * handed out is this record's address
    HLayerMethods methods;
    std::string name;
};

std::vector<FeatureLayer *> &liveLayers() {
    static std::vector<FeatureLayer *> layers;
    return layers;
}

FeatureLayer *findFeature(const HLayer *layer) {
    for (FeatureLayer *feature : liveLayers())
        if (&feature->layer == layer)
            return feature;
    return nullptr;
}

void hostSetName(HLayer *layer, const char *name) {
    if (FeatureLayer *feature = findFeature(layer))
        feature->name = name ? name : "";
}

// The extent of the scene holding the layer; zeros outside any scene.
void hostGetExtent(HLayer *layer, double box[6]) {
    if (!box)
        return;
    host::Extent e{0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    if (host::Scene *scene = host::Scene::holding(layer))
        e = scene->extent();
    const double values[6] = {e.x1, e.x2, e.y1, e.y2, e.z1, e.z2};
    std::copy(values, values + 6, box);
}

// The scene's visibility flag; a layer outside any scene counts as visible.
int32_t hostIsVisible(HLayer *layer) {
    host::Scene *scene = host::Scene::holding(layer);
    return !scene || scene->layerVisible(layer) ? 1 : 0;
}

// The context of an arrange command is the layer it acts on; anything that
// is not a layer of a live scene is refused through the slot.
host::Scene *arrangeScene(void *context, const char *what, HErrorSlot *err) {
    host::Scene *scene = host::Scene::holding(static_cast<HLayer *>(context));
    if (!scene)
        herr_Set(err, "%s: the context is not a layer of the scene", what);
    return scene;
}

} // namespace

namespace host {

bool isFeatureLayer(const HLayer *layer) { return layer && findFeature(layer) != nullptr; }

std::string featureLayerName(const HLayer *layer) {
    const FeatureLayer *feature = findFeature(layer);
    return feature ? feature->name : std::string();
}

} // namespace host

extern "C" {

HOST_API HLayer *tola_FeatureLayerCreate(void) {
    auto *feature = new FeatureLayer{};
    feature->layer.instance = nullptr;
    feature->layer.methods = &feature->methods;
    feature->methods.hostSetName = hostSetName;
    feature->methods.hostGetExtent = hostGetExtent;
    feature->methods.hostIsVisible = hostIsVisible;
    liveLayers().push_back(feature);
    return &feature->layer;
}

// Also takes the layer out of every scene, so a layer that closes itself
// leaves no dangling entry behind. A record the host did not make (or
// freed already) is left alone.
HOST_API void tola_FeatureLayerFree(HLayer *layer) {
    FeatureLayer *feature = findFeature(layer);
    if (!feature)
        return;
    for (host::Scene *scene : host::Scene::liveScenes())
        scene->removeLayer(layer);
    auto &layers = liveLayers();
    layers.erase(std::remove(layers.begin(), layers.end(), feature), layers.end());
    delete feature;
}

HOST_API int32_t tola_ArrangeLayersToggleLayerVisibility(void *context) {
    host::Scene *scene = arrangeScene(context, "toggle visibility", nullptr);
    if (!scene)
        return -1;
    host::journalAdd("arrange: toggle visibility");
    scene->toggleVisibility(static_cast<HLayer *>(context));
    scene->requestRedraw();
    return 0;
}

HOST_API int32_t tola_ArrangeLayersRaiseToTop(void *, void *context, int32_t, char **,
                                              HErrorSlot *err) {
    host::Scene *scene = arrangeScene(context, "raise to top", err);
    if (!scene)
        return -1;
    host::journalAdd("arrange: raise to top");
    scene->raiseToTop(static_cast<HLayer *>(context));
    scene->requestRedraw();
    return 0;
}

HOST_API int32_t tola_ArrangeLayersLowerToBottom(void *, void *context, int32_t, char **,
                                                 HErrorSlot *err) {
    host::Scene *scene = arrangeScene(context, "lower to bottom", err);
    if (!scene)
        return -1;
    host::journalAdd("arrange: lower to bottom");
    scene->lowerToBottom(static_cast<HLayer *>(context));
    scene->requestRedraw();
    return 0;
}

// The layer's close frees it (and so takes it out of the scene); a layer
// without a close, or one that stays listed, is taken out here.
HOST_API int32_t tola_ArrangeLayersDeleteLayer(void *, void *context, int32_t, char **,
                                               HErrorSlot *err) {
    host::Scene *scene = arrangeScene(context, "delete layer", err);
    if (!scene)
        return -1;
    host::journalAdd("arrange: delete layer");
    auto *layer = static_cast<HLayer *>(context);
    if (scene->layerCloser() && scene->contains(layer)) {
        scene->layerCloser()(layer);
        scene->requestRedraw();
        return 0;
    }
    const bool hasClose = layer->methods && layer->methods->close;
    if (hasClose)
        layer->methods->close(layer);
    if (scene->contains(layer)) {
        scene->removeLayer(layer);
        if (!hasClose)
            tola_FeatureLayerFree(layer);
    }
    scene->requestRedraw();
    return 0;
}

} // extern "C"
