// The cloud tool's commands under libFuzzer: any bytes as a short session.
//
// The input is read as up to 8 lines; a line is words separated by blanks.
// "=part value..." sets a part of the first layer's dialog without sending
// its command (so that the actions read what the fuzzer chose); "add" sends
// cloudAddcloud; "click x y" is a click in the scene (a placement click
// while a layer places, a pick otherwise); "^C command args..." runs any
// command of the command table, C choosing its context: '0' the scene, '1'
// the first layer, '2' the second, anything else none; any other line is a
// cloudupdate action and its arguments, sent with the scene as context for
// the actions the Delete key and scripts send that way and with the first
// layer otherwise. Every input starts from two layers of two clouds, the
// first with its dialog open and placing clouds, a cloud of the second
// picked and framed.
//
// After each command, for every layer still open: the current cloud is one
// of its own or none, and its dialog lists one label per cloud. Across the
// scene: one selection box at most, in the layer of the picked cloud; the
// picked cloud is one an open layer holds; one layer places at most.
// Texture sizes and counts are held small between commands so that a bake
// stays cheap; the bake's limits have their own tests, and the preview
// canvas is 8 × 8 instead of the dialog's 256 × 256. Exports go to a
// scratch folder whatever path the input names, one an input.
//
// Run: fuzz_commands fuzz/corpus/commands -max_total_time=30
// (ASAN_OPTIONS=detect_leaks=0: Mesa's own allocations are not ours).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "headless_gl.h"
#include "hmllib/script_ui.h"
#include "hvislib/questions.h"
#include "plugin/cloud_list.h"
#include "plugin/entry.h"
#include "plugin/layer.h"
#include "plugin/records.h"
#include "tool/placement.h"
#include "tolatoollib/scene.h"
#include "tolatoollib/selection.h"

namespace {

struct Setup {
    HeadlessGL gl{16, 16};
    host::Scene scene;
    HScript *script = nullptr;
    std::string scratch;
    Setup()
    {
        host::setViewerScene(&scene);
        // GDAL lists a raster's folder when it opens one, and the scratch
        // folder fills with exports: probing for the files beside it is
        // enough.
        setenv("GDAL_DISABLE_READDIR_ON_OPEN", "TRUE", 1);
        host::setDefaultAnswer(true);
        // Exports go to memory where the machine has it: on a disk each one
        // waits for its writes.
        const char *base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        scratch = std::string(base) + "/fuzz_commands_" + std::to_string(::getpid());
        std::system(("mkdir -p " + scratch).c_str());
        // The plug-in's own script with an 8 x 8 preview canvas: the
        // preview's pixel loops are the same for any size, and a small one
        // leaves the time to the commands.
        std::ifstream in(host::findResource("tlcloud.hml"));
        std::stringstream text;
        text << in.rdbuf();
        std::string hml = text.str();
        const std::string canvas = "width=\"256\" height=\"256\"";
        const size_t at = hml.find(canvas);
        if (at == std::string::npos)
            std::abort();
        hml.replace(at, canvas.size(), "width=\"8\" height=\"8\"");
        std::ofstream(scratch + "/tlcloud.hml") << hml;
        host::setScriptPath(scratch);
        script = cloudtlLayerInterfaceInit();
        if (!script)
            std::abort();
    }
    ~Setup()
    {
        scene.closeAllLayers();
        std::system(("rm -rf " + scratch).c_str());
    }
};

std::vector<std::string> words(const std::string &line)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < line.size()) {
        const size_t end = line.find(' ', at);
        const size_t stop = end == std::string::npos ? line.size() : end;
        // The plug-in reads C strings: a word ends at its first NUL, and the
        // harness must decide context and paths on what the plug-in reads.
        if (stop > at)
            out.push_back(line.substr(at, stop - at).c_str());
        at = stop + 1;
    }
    return out;
}

bool sentWithScene(const std::string &action)
{
    return action == "showproperties" || action == "hideall" || action == "delselected";
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_commands: %s\n", what);
    std::abort();
}

void checkLayer(HLayer *hostLayer)
{
    const CloudLayer &layer = *static_cast<const CloudLayer *>(hostLayer->instance);
    size_t count = 0;
    bool currentFound = layer.current == nullptr;
    for (const CloudRecord *c = layer.clouds; c; c = c->next) {
        ++count;
        currentFound = currentFound || c == layer.current;
    }
    if (!currentFound)
        fail("the current cloud is not in the list");
    const HFrame *popup = layer.dialog ? host::findPart(layer.dialog, "currentcloud") : nullptr;
    if (popup && popup->items.size() != count) {
        std::fprintf(stderr, "fuzz_commands: the cloud list shows %zu labels for %zu clouds\n",
                     popup->items.size(), count);
        std::abort();
    }
    if (layer.selector && !cloudListHolds(layer, selectedCloud))
        fail("a selection box frames a cloud that is not the picked one");
}

void check(host::Scene &scene)
{
    for (HLayer *layer : scene.layers())
        checkLayer(layer);
    if (host::selectorsOf(&scene).size() > 1)
        fail("more than one selection box");
    if (selectedCloud && !cloudLayerHolding(selectedCloud))
        fail("the picked cloud is in no open layer");
    if (scene.eventCallbackCount() > 1)
        fail("more than one layer places clouds");
}

}  // namespace

// Every input allocates and frees hundreds of small blocks (records, pixel
// buffers, Mesa's texture storage); AddressSanitizer's fill of each new
// block and its quarantine of freed ones cost more than the commands.
extern "C" const char *__asan_default_options()
{
    return "max_malloc_fill_size=0:quarantine_size_mb=16:detect_leaks=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup setup;
    setup.gl.makeCurrent();
    host::Scene &scene = setup.scene;
    scene.setViewport(32, 32);
    scene.setView(0, 90, 10000);
    void *sceneContext = scene.hscene();
    // Small clouds to start from: one texture of 8 x 8 a stack each,
    // added before the dialog opens so that only its opening draws a preview.
    HLayer *layers[2] = {};
    for (HLayer *&layer : layers) {
        layer = cloudtlLayerCreate(scene.hscene(), 0, 0, nullptr);
        scene.addLayer(layer);
        editCloud.texsize = 8;
        editCloud.layers = 1;
        editCloud.xposition = editCloud.yposition = 50000;
        editCloud.xsize = editCloud.ysize = editCloud.zsize = 1000;
        for (int i = 0; i < 2; ++i)
            host::runCommand(setup.script, "cloudAddcloud", layer, {});
    }
    // The second layer is on top: the click picks its first cloud.
    scene.click(16, 16);
    host::runCommand(setup.script, "cloudupdate", layers[0], {"showproperties"});
    host::runCommand(setup.script, "cloudplace", layers[0], {});
    const auto contextOf = [&](char c) -> void * {
        if (c == '0')
            return sceneContext;
        if (c == '1' || c == '2') {
            HLayer *layer = layers[c - '1'];
            return scene.contains(layer) ? layer : nullptr;
        }
        return nullptr;
    };

    const std::string text(reinterpret_cast<const char *>(data), size);
    size_t at = 0;
    bool exported = false;
    for (int n = 0; n < 8 && at <= text.size(); ++n) {
        const size_t end = text.find('\n', at);
        const std::string line =
            text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() + 1 : end + 1;
        std::vector<std::string> w = words(line);
        if (w.empty() || w[0].empty())
            continue;
        // A new layer resets the working copy to its defaults (32 x 32, ten
        // textures a stack): held smaller still, every bake stays cheap.
        if (editCloud.texsize > 8 || editCloud.texsize < -8)
            editCloud.texsize = 8;
        if (editCloud.layers > 2)
            editCloud.layers = 2;
        // Whatever a line sends "savetoimg" to, its file goes to the scratch
        // folder. One export an input: writing a GeoTIFF costs more than
        // all the other commands of an input together.
        bool exportLine = false;
        for (const std::string &word : w)
            exportLine = exportLine || word == "savetoimg";
        if (exportLine && exported)
            continue;
        exported = exported || exportLine;
        for (size_t k = 0; k + 1 < w.size(); ++k)
            if (w[k] == "savetoimg") {
                for (char &c : w[k + 1])
                    c = c == '/' ? '_' : c;
                w[k + 1] = setup.scratch + "/" + w[k + 1];
            }
        HLayer *first = scene.contains(layers[0]) ? layers[0] : nullptr;
        if (w[0][0] == '=') {
            if (!first || !static_cast<CloudLayer *>(first->instance)->dialog)
                continue;
            std::string value;
            for (size_t k = 1; k < w.size(); ++k)
                value += (k > 1 ? " " : "") + w[k];
            host::setPartValue(
                host::findPart(static_cast<CloudLayer *>(first->instance)->dialog, w[0].substr(1)),
                value);
        } else if (w[0] == "add") {
            host::runCommand(setup.script, "cloudAddcloud", first, {});
        } else if (w[0] == "click") {
            const int x = w.size() > 1 ? std::atoi(w[1].c_str()) : 16;
            const int y = w.size() > 2 ? std::atoi(w[2].c_str()) : 16;
            scene.click(x, y);
        } else if (w[0][0] == '^' && w.size() > 1) {
            void *context = contextOf(w[0].size() > 1 ? w[0][1] : ' ');
            const std::string command = w[1];
            host::runCommand(setup.script, command, context,
                             std::vector<std::string>(w.begin() + 2, w.end()));
        } else {
            const std::string action = w[0];
            w.erase(w.begin());
            std::vector<std::string> args{action};
            args.insert(args.end(), w.begin(), w.end());
            host::runCommand(setup.script, "cloudupdate",
                             sentWithScene(action) ? sceneContext : static_cast<void *>(first),
                             args);
        }
        check(scene);
    }
    scene.closeAllLayers();
    cloudRecordSetDefaults(&editCloud);
    return 0;
}
