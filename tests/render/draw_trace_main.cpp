// Draws of small baked clouds, for the GL call trace tests: run under
// apitrace, the calls between glPushAttrib and glPopAttrib are the draw's
// alone. The first argument picks the scene:
//   small  one cloud (texsize 4, layers 2, slices x 2, y 2, z 1), origin
//          (100, 200, 300), view azimuth 30, elevation 30
//   boxes  the same cloud drawn by layerDrawBoxes
//   index  one cloud with zslice 20, layers 10, texsize 16, x and y slices 0
//   edge   a cloud without textures, then one with zslice 0, yslice -1,
//          xslice 1
#include <cstdio>
#include <cstring>
#include <exception>

#include "headless_gl.h"
#include "plugin/records.h"
#include "fake_scene.h"
#include "render/layer_draw.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"

namespace {

void bake(CloudRecord &c)
{
    noiseTableBuild(c);
    cloudTexturesBuild(c);
}

CloudRecord smallCloud()
{
    CloudRecord c{};
    cloudRecordSetDefaults(&c);
    c.texsize = 4;
    c.layers = 2;
    c.xslice = 2;
    c.yslice = 2;
    c.zslice = 1;
    c.density = 0.5f;
    c.red = 1.0f;
    c.green = 0.5f;
    c.blue = 0.25f;
    c.xposition = 10.0;
    c.xsize = 4.0;
    c.yposition = 20.0;
    c.ysize = -2.0;
    c.zposition = 30.0;
    c.zsize = 1.0;
    return c;
}

}  // namespace

int main(int argc, char **argv)
{
    const char *mode = argc > 1 ? argv[1] : "small";
    try {
        HeadlessGL gl(16, 16);
        sliceTextureMaxSize();  // asks GL once, before the traced bake
        FakeLayer fake;
        fake.scene.origin[0] = 100.0;
        fake.scene.origin[1] = 200.0;
        fake.scene.origin[2] = 300.0;
        CloudRecord a = smallCloud();
        CloudRecord b = smallCloud();
        if (!std::strcmp(mode, "small") || !std::strcmp(mode, "boxes")) {
            bake(a);
            fake.layer.clouds = &a;
        } else if (!std::strcmp(mode, "index")) {
            a.texsize = 16;
            a.layers = 10;
            a.zslice = 20;
            a.yslice = 0;
            a.xslice = 0;
            bake(a);
            fake.layer.clouds = &a;
        } else if (!std::strcmp(mode, "edge")) {
            a.texsize = 0;  // not bakeable: no stacks
            bake(a);
            b.zslice = 0;
            b.yslice = -1;
            b.xslice = 1;
            bake(b);
            a.next = &b;
            fake.layer.clouds = &a;
        } else {
            std::fprintf(stderr, "draw_trace: unknown mode %s\n", mode);
            return 1;
        }
        if (!std::strcmp(mode, "boxes"))
            layerDrawBoxes(&fake.host, 0.0, 0.0, 0.0, 0, 30.0, 30.0, 0);
        else
            layerDraw(&fake.host, 0.0, 0.0, 0.0, 0, 30.0, 30.0, 0);
        cloudTexturesFree(a);
        cloudTexturesFree(b);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "draw_trace: %s\n", e.what());
        return 2;
    }
    return 0;
}
