#include "tool/presets.h"

#include "hlib.h"
#include "host_types.h"

namespace {

struct SizePreset {
    const char *name;
    double widthFactor;   // share of the scene's width the cloud spans
    double heightFactor;  // half-height as a share of the larger full width
};

// Both factors are the nearest doubles to 2/3 and 1/15: the figures of a
// size preset are exact products with them.
const SizePreset kSizes[] = {
    {"Full", 1.0, 0.2},
    {"Medium", 0.6666666666666666, 0.1},
    {"Small", 0.5, 0.06666666666666667},
};

struct LookPreset {
    const char *name;
    float density, cluster, detail, zoom, height;
    double seed;
    float red, green, blue;
};

// The cluster values sit a step or two above the round decimals (0.16,
// 0.22, 0.48): they are the looks as they were tuned, kept to the bit.
const LookPreset kLooks[] = {
    {"Pink Fluff", 0.75f, 0.16000003f, 1.0f, 41.0f, 0.86f, 12934.0, 1.0f, 0.752941f, 0.796078f},
    {"Bubble Mist", 0.55f, 1.0f, 1.0f, 14.0f, 0.37f, 12938.0, 1.0f, 1.0f, 1.0f},
    {"Turquoise Mist", 0.35f, 0.22000003f, 1.0f, 43.0f, 0.65f, 235234.0, 0.25098f, 0.878431f,
     0.815686f},
    {"Blue Mist", 0.4f, 0.48000002f, 1.0f, 41.0f, 0.35f, 678269.0, 0.083972f, 0.548057f,
     0.916028f},
    {"Smooth Violet", 0.46f, 0.16000003f, 1.0f, 27.0f, 0.86f, 798465.0, 0.933333f, 0.509804f,
     0.933333f},
};

}  // namespace

void cloudApplyPreset(const CloudLayer &layer, CloudRecord &cloud, const char *name)
{
    double e[6] = {0, 0, 0, 0, 0, 0};
    if (HScene *scene = layer.scene)
        scene->ops->sceneGetExtent(scene, &e[0], &e[1], &e[2], &e[3], &e[4], &e[5]);
    if (!name)
        return;

    for (const SizePreset &p : kSizes) {
        if (!hstr_Eqic(name, p.name))
            continue;
        // No absolute values: a reversed extent gives negative half-extents.
        const double x = (e[1] - e[0]) * p.widthFactor;
        const double y = (e[2] - e[3]) * p.widthFactor;
        cloud.zsize = (x > y ? x : y) * p.heightFactor;
        cloud.xsize = x * 0.5;
        cloud.ysize = y * 0.5;
        return;
    }
    for (const LookPreset &p : kLooks) {
        if (!hstr_Eqic(name, p.name))
            continue;
        cloud.density = p.density;
        cloud.cluster = p.cluster;
        cloud.detail = p.detail;
        cloud.zoom = p.zoom;
        cloud.height = p.height;
        cloud.seed = p.seed;
        cloud.red = p.red;
        cloud.green = p.green;
        cloud.blue = p.blue;
        return;
    }
}
