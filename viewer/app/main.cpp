// cloudview: loads the cloud layer plug-in as the host does and renders,
// runs, inspects or converts layers and scenes from the command line.
// Exit codes: 0 success, 1 usage error, 2 failure (one line on stderr
// naming the file and the problem).
#include <CLI/CLI.hpp>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "export_command.h"
#include "image_io.h"
#include "plugin/records.h"
#include "synth/slice_texture.h"
#include "viewer.h"

namespace cloudview {
namespace {

struct Size {
    int width = 1280, height = 720;
};

Size parseSize(const std::string &text)
{
    Size s;
    char x = 0, extra = 0;
    std::istringstream in(text);
    if (!(in >> s.width >> x >> s.height) || x != 'x' || in >> extra || s.width < 1 ||
        s.height < 1 || s.width > 8192 || s.height > 8192)
        throw ViewerError("--size " + text + ": expected WxH, each 1..8192");
    return s;
}

void parseView(const std::string &text, host::Scene &scene)
{
    double v[3] = {0, 0, 0};
    char c1 = 0, c2 = 0, extra = 0;
    std::istringstream in(text);
    if (!(in >> v[0] >> c1 >> v[1] >> c2 >> v[2]) || c1 != ',' || c2 != ',' || in >> extra ||
        !std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]) || v[1] < -90 ||
        v[1] > 90 || v[2] < 0)
        throw ViewerError("--view " + text +
                          ": expected AZ,EL,DIST (degrees, degrees -90..90, distance >= 0)");
    scene.setView(v[0], v[1], v[2]);
}

void render(Viewer &viewer, const std::string &input, const std::string &out,
            const std::string &size, const std::string &view)
{
    const Size s = size.empty() ? Size{} : parseSize(size);
    if (isLayerFile(input, viewer.layerType())) {
        viewer.openLayerFile(input);
    } else {
        viewer.runScript(input);
    }
    if (!view.empty())
        parseView(view, viewer.scene());
    viewer.render(out, s.width, s.height);
}

void textures(Viewer &viewer, const std::string &input, const std::string &dir)
{
    HLayer *layer = viewer.openLayerFile(input);
    mkdir(dir.c_str(), 0777);
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw ViewerError(dir + ": cannot make the output directory");
    // This one command knows the plug-in's records: it exists to look at
    // what the bake left in GL.
    const CloudLayer *clouds = static_cast<const CloudLayer *>(layer->instance);
    viewer.gl().makeCurrent();
    int k = 0;
    for (const CloudRecord *c = clouds->clouds; c; c = c->next, ++k) {
        if (!c->hTextures || !c->vTextures)
            continue;
        for (int l = 0; l < c->layers; ++l) {
            const SliceTexture *stacks[2] = {&c->hTextures[l], &c->vTextures[l]};
            const char *kinds[2] = {"h", "v"};
            for (int s = 0; s < 2; ++s) {
                int w = 0, h = 0;
                const std::vector<uint8_t> gray = readLuminanceTexture(stacks[s]->texName, &w, &h);
                const std::string file = dir + "/cloud_" + std::to_string(k) + "_" + kinds[s] +
                                         "_" + std::to_string(l) + ".pgm";
                const std::string problem = writePGM(file, gray, w, h);
                if (!problem.empty())
                    throw ViewerError(file + ": " + problem);
            }
        }
    }
}

void convert(Viewer &viewer, const std::string &input, const std::string &out)
{
    requireReadableFile(input, "layer file");
    // The layer saves to the file it was opened from: open a copy at the
    // destination and save it there.
    if (input != out) {
        std::ifstream in(input, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        std::ofstream copy(out, std::ios::binary | std::ios::trunc);
        copy << text.str();
        copy.close();
        if (!copy)
            throw ViewerError(out + ": cannot write");
    }
    HLayer *layer = viewer.openLayerFile(out);
    if (!viewer.saveLayer(layer))
        throw ViewerError(out + ": cannot save the layer");
}

}  // namespace
}  // namespace cloudview

int main(int argc, char **argv)
{
    using namespace cloudview;
    CLI::App app{"cloudview: the cloud layer viewer, headless"};
    app.require_subcommand(1);
    std::string plugin;
    app.add_option("--plugin", plugin, "the layer plug-in (default: libtlcloud.so beside cloudview)");

    std::string input, out, size, view, dir;
    CLI::App *renderCmd = app.add_subcommand("render", "render a scene script or a layer file to PNG");
    renderCmd->add_option("input", input, "SCENE or LAYERFILE")->required();
    renderCmd->add_option("-o,--output", out, "the PNG to write")->required();
    renderCmd->add_option("--size", size, "image size WxH (default 1280x720)");
    renderCmd->add_option("--view", view, "camera AZ,EL,DIST in degrees, degrees, scene units; "
                                          "DIST 0 frames the layers");

    CLI::App *runCmd = app.add_subcommand("run", "run a scene script headless");
    runCmd->add_option("script", input, "SCENE")->required();

    CLI::App *texCmd = app.add_subcommand("textures", "write every baked texture as PGM");
    texCmd->add_option("input", input, "LAYERFILE")->required();
    texCmd->add_option("-o,--output", dir, "directory for cloud_<k>_<h|v>_<l>.pgm")->required();

    CLI::App *convCmd = app.add_subcommand("convert", "save a layer file (V1.0 or V1.1) as V1.1");
    convCmd->add_option("input", input, "LAYERFILE")->required();
    convCmd->add_option("-o,--output", out, "the layer file to write")->required();

    int cloud = 0;
    bool overwrite = false;
    CLI::App *exportCmd =
        app.add_subcommand("export", "export one cloud of a layer file as a 3-band GeoTIFF");
    exportCmd->add_option("input", input, "LAYERFILE")->required();
    exportCmd->add_option("--cloud", cloud, "the cloud, from 1 as the cloud tool lists them")
        ->required();
    exportCmd->add_option("-o,--output", out, "the GeoTIFF to write (.tif or .tiff)")->required();
    exportCmd->add_flag("--overwrite", overwrite, "replace OUT when it exists");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 1;
    }

    try {
        Viewer viewer(plugin.empty() ? defaultPluginPath() : plugin);
        if (renderCmd->parsed())
            render(viewer, input, out, size, view);
        else if (runCmd->parsed())
            viewer.runScript(input);
        else if (texCmd->parsed())
            textures(viewer, input, dir);
        else if (convCmd->parsed())
            convert(viewer, input, out);
        else if (exportCmd->parsed())
            std::printf("%s\n", exportCloud(viewer, input, cloud, out, overwrite).c_str());
    } catch (const ViewerError &e) {
        std::fprintf(stderr, "cloudview: %s\n", e.what());
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cloudview: %s\n", e.what());
        return 2;
    }
    return 0;
}
