// fake_scene.h — a scene and a host layer for draw tests: the scene's
// operation table records sceneActionOff and sceneGetOrigin calls and
// answers the origin it is given; every other operation is null, which the
// draw must never need.
#ifndef CLOUDS_TESTS_RENDER_FAKE_SCENE_H
#define CLOUDS_TESTS_RENDER_FAKE_SCENE_H

#include <string>
#include <type_traits>
#include <vector>

#include "host_types.h"
#include "plugin/records.h"

struct FakeScene {
    HScene scene;  // first, so that an HScene * is a FakeScene *
    double origin[3] = {0.0, 0.0, 0.0};
    std::vector<std::string> calls;  // "sceneActionOff delcloud", "sceneGetOrigin 0"

    FakeScene() : scene{&table()} {}

    static FakeScene &of(HScene *s) { return *reinterpret_cast<FakeScene *>(s); }

    static void actionOff(HScene *s, const char *name)
    {
        of(s).calls.push_back(std::string("sceneActionOff ") + name);
    }
    static void getOrigin(HScene *s, int32_t which, double *x, double *y, double *z)
    {
        FakeScene &f = of(s);
        f.calls.push_back("sceneGetOrigin " + std::to_string(which));
        *x = f.origin[0];
        *y = f.origin[1];
        *z = f.origin[2];
    }
    static const HSceneOps &table()
    {
        static HSceneOps ops = [] {
            HSceneOps o{};
            o.sceneActionOff = actionOff;
            o.sceneGetOrigin = getOrigin;
            return o;
        }();
        return ops;
    }
};

// The scene record sits at the start, so the table's callbacks find the rest.
static_assert(std::is_standard_layout<FakeScene>::value, "FakeScene must start with its HScene");

// A visible CloudLayer in a fake scene, with its host layer record.
struct FakeLayer {
    FakeScene scene;
    CloudLayer layer{};
    HLayerMethods methods{};
    HLayer host{};

    FakeLayer()
    {
        layer.scene = &scene.scene;
        layer.visible = 1;
        layer.previewWidth = 1;
        layer.previewHeight = 1;
        host.instance = &layer;
        host.methods = &methods;
    }
    FakeLayer(const FakeLayer &) = delete;
    FakeLayer &operator=(const FakeLayer &) = delete;
};

#endif
