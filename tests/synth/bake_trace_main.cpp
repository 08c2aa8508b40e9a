// A bake and a free of one small cloud, for the GL call trace test: run
// under apitrace, its calls between the first glGenTextures and the last
// glDeleteTextures are the bake's and the free's alone.
#include <cstdio>
#include <exception>

#include "headless_gl.h"
#include "plugin/records.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"

int main()
{
    try {
        HeadlessGL gl(16, 16);
        sliceTextureMaxSize();  // asks GL once, before the traced bake
        CloudRecord c{};
        cloudRecordSetDefaults(&c);
        c.texsize = 4;
        c.layers = 2;
        noiseTableBuild(c);
        cloudTexturesBuild(c);
        cloudTexturesFree(c);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bake_trace: %s\n", e.what());
        return 2;
    }
    return 0;
}
