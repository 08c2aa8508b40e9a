// The cloud tool's commands under libFuzzer: any bytes as a short session.
//
// The input is read as up to 8 lines; a line is words separated by blanks.
// "=part value..." sets a part of the dialog without sending its command
// (so that the actions read what the fuzzer chose); "add" sends
// cloudAddcloud; any other line is a cloudupdate action and its arguments,
// sent with the scene as context for the actions the menus send that way
// and with the layer otherwise, as the dialog does. Every input starts
// from one layer with its dialog open and three clouds.
//
// After each command: the current cloud is one of the layer's or none,
// and the cloud list in the dialog has one label per cloud. Texture sizes
// and counts are held small between commands so that a bake stays cheap;
// the bake's limits have their own tests, and the preview canvas is
// 32 × 32 instead of the dialog's 256 × 256. Exports go to a scratch folder
// whatever path the input names.
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
#include "plugin/entry.h"
#include "plugin/records.h"
#include "tolatoollib/scene.h"

namespace {

struct Setup {
    HeadlessGL gl{16, 16};
    host::Scene scene;
    HScript *script = nullptr;
    std::string scratch;
    Setup()
    {
        host::setViewerScene(&scene);
        host::setDefaultAnswer(true);
        scratch = "/tmp/fuzz_commands_" + std::to_string(::getpid());
        std::system(("mkdir -p " + scratch).c_str());
        // The plug-in's own script with a 32 x 32 preview canvas: the
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
        hml.replace(at, canvas.size(), "width=\"32\" height=\"32\"");
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

void check(HLayer *hostLayer)
{
    const CloudLayer &layer = *static_cast<const CloudLayer *>(hostLayer->instance);
    size_t count = 0;
    bool currentFound = layer.current == nullptr;
    for (const CloudRecord *c = layer.clouds; c; c = c->next) {
        ++count;
        currentFound = currentFound || c == layer.current;
    }
    if (!currentFound) {
        std::fprintf(stderr, "fuzz_commands: the current cloud is not in the list\n");
        std::abort();
    }
    const HFrame *popup = layer.dialog ? host::findPart(layer.dialog, "currentcloud") : nullptr;
    if (popup && popup->items.size() != count) {
        std::fprintf(stderr, "fuzz_commands: the cloud list shows %zu labels for %zu clouds\n",
                     popup->items.size(), count);
        std::abort();
    }
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
    HLayer *layer = cloudtlLayerCreate(setup.scene.hscene(), 0, 0, nullptr);
    setup.scene.addLayer(layer);
    void *scene = setup.scene.hscene();
    // Small clouds to start from: two textures of 16 x 16 a stack each,
    // added before the dialog opens so that only its opening draws a preview.
    editCloud.texsize = 16;
    editCloud.layers = 2;
    for (int i = 0; i < 3; ++i)
        host::runCommand(setup.script, "cloudAddcloud", scene, {});
    host::runCommand(setup.script, "cloudupdate", scene, {"showproperties"});

    const std::string text(reinterpret_cast<const char *>(data), size);
    size_t at = 0;
    for (int n = 0; n < 8 && at <= text.size(); ++n) {
        const size_t end = text.find('\n', at);
        const std::string line =
            text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() + 1 : end + 1;
        std::vector<std::string> w = words(line);
        if (w.empty() || w[0].empty())
            continue;
        if (editCloud.texsize > 64 || editCloud.texsize < -64)
            editCloud.texsize = 64;
        if (editCloud.layers > 16)
            editCloud.layers = 16;
        CloudLayer &cloudLayer = *static_cast<CloudLayer *>(layer->instance);
        if (w[0][0] == '=') {
            std::string value;
            for (size_t k = 1; k < w.size(); ++k)
                value += (k > 1 ? " " : "") + w[k];
            host::setPartValue(host::findPart(cloudLayer.dialog, w[0].substr(1)), value);
        } else if (w[0] == "add") {
            host::runCommand(setup.script, "cloudAddcloud", scene, {});
        } else {
            if (w[0] == "savetoimg" && w.size() > 1) {
                for (char &c : w[1])
                    c = c == '/' ? '_' : c;
                w[1] = setup.scratch + "/" + w[1];
            }
            const std::string action = w[0];
            w.erase(w.begin());
            host::runCommand(setup.script, "cloudupdate",
                             sentWithScene(action) ? scene : static_cast<void *>(layer),
                             [&] {
                                 std::vector<std::string> args{action};
                                 args.insert(args.end(), w.begin(), w.end());
                                 return args;
                             }());
        }
        check(layer);
    }
    setup.scene.closeAllLayers();
    cloudRecordSetDefaults(&editCloud);
    return 0;
}
