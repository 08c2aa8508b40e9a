// Script parser under libFuzzer: any bytes as a script file.
//
// Each input is written to a file and parsed with hhml_ParseVa as a layer
// type parses its script at start-up, with a small command table. A parse
// gives a script and no error, or no script and an error with a message;
// a script's frames are then copied, searched part by part and removed,
// and its menus extracted, as layer types use them. Nothing may crash,
// and freeing the script must leave no frame open.
//
// Run: fuzz_hml fuzz/corpus/hml -max_total_time=30
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "hlib.h"
#include "hmllib.h"
#include "viewer/hlib/error.h"
#include "viewer/hmllib/script_ui.h"

namespace {

int ignore(void *, void *, int32_t, char **, HErrorSlot *) { return 0; }

// The commands the bundled script names, so that its variants parse.
const HCommand commands[] = {
    {"cloudupdate", ignore},   {"cloudAddcloud", ignore},        {"cloudplace", ignore},
    {"CloudCancelPlacement", ignore}, {"cloudcreatemodellayer", ignore},
    {"setvisibility", ignore}, {"raisetotop", ignore},           {"lowertobottom", ignore},
    {"deletelayer", ignore},   {nullptr, nullptr},
};

struct Setup {
    std::string path;
    Setup()
    {
        const char *folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        path = std::string(folder) + "/fuzz_hml_" + std::to_string(::getpid()) + ".hml";
    }
    ~Setup() { std::remove(path.c_str()); }
};

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_hml: %s\n", what);
    std::abort();
}

void useScript(HScript *script)
{
    HErrorSlot err = nullptr;
    for (const auto &frame : script->frames) {
        if (frame->name.empty())
            continue;
        HFrame *found = hhml_PartFind(script, frame->name.c_str(), &err);
        HFrame *copy = hhml_PartDup(found, &err);
        if (!copy)
            fail("a frame of a parsed script cannot be copied");
        for (const auto &part : copy->parts) {
            host::partValueText(part.get());
            if (!part->name.empty() && !hhml_FrameFindPart(copy, part->name.c_str(), &err))
                fail("a named part is not found in its frame");
        }
        hhml_FrameDisplay(copy, &err);
        hhml_FrameRemove(copy, &err);
    }
    for (const auto &menu : script->menus)
        if (!menu->name.empty() && !hhml_MenuExtract(hhml_FindMenu(script, menu->name.c_str(), &err),
                                                     nullptr, &err))
            fail("a menu of a parsed script cannot be extracted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup setup;
    {
        std::ofstream out(setup.path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    HErrorSlot err = nullptr;
    HScriptRoot *root = hhml_GetTheRoot();
    HScript *script = hhml_ParseVa(0, setup.path.c_str(), root ? root->first : nullptr, &err, 1,
                                   commands, 0);
    if (!script == !err)
        fail("a parse must give a script or an error, not both or neither");
    if (err && !*herr_Message(err))
        fail("a failed parse gives no message");
    if (script) {
        useScript(script);
        host::freeScript(script);
        if (!host::openFrames().empty())
            fail("frames stay open after their script is freed");
    }
    return 0;
}
