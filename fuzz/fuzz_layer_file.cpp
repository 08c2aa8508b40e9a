// Layer file reader under libFuzzer: any bytes as a layer file.
//
// Each input is written to a file and read (parse, seed, bake); what was
// read is written out and read again, which must be a fixed point (the
// second text equals the first) and must read without a warning (a file
// the writer wrote is never damaged nor short; the texture budget may be
// reached again, which is no warning about the file), and freeing everything must give every
// heap block back. A read makes at most 16 clouds here, so that a declared
// count near the real cap does not spend seconds baking defaults, and their
// textures may take 64 MiB, so that large texture sizes reach the budget
// (counted as a full bake would take them, whatever smallBake makes).
//
// The reader bakes small clouds only (smallBake), with the gradient table
// as it is: the bake still meets every damaged size and layer count a file
// can hold, but a new seed's table fill (128 K generator draws, the same
// loop whatever the input) and large textures would take most of each run.
// The bake's results are checked by its own tests.
//
// Run: fuzz_layer_file fuzz/corpus/layer_file -max_total_time=30
// (ASAN_OPTIONS=detect_leaks=0: Mesa's own allocations are not ours).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "files/layer_file.h"
#include "headless_gl.h"
#include "hlib.h"
#include "viewer/hvislib/questions.h"
#include "plugin/records.h"
#include "synth/slice_texture.h"
#include "viewer/hlib/heap_debug.h"

namespace {

void smallBake(CloudRecord &cloud)
{
    // Sizes and counts below 1 or beyond the limits reach the bake, which
    // refuses them itself; within them, only small stacks are made.
    const bool refused = cloud.texsize < 1 || cloud.layers < 1 ||
                         cloud.texsize > CLOUD_TEXSIZE_LIMIT || cloud.layers > CLOUD_LAYERS_MAX;
    // Only sizes within the limits are multiplied: far ones overflow.
    if (refused || 2ll * cloud.layers * cloud.texsize * cloud.texsize <= 4096)
        cloudTexturesBuild(cloud);
}

struct Setup {
    HeadlessGL gl{16, 16};
    std::string input, first, second;
    Setup()
    {
        cloudFileCloudLimit = 16;
        host::setReportsPrinted(false);  // counted, not printed for every input
        cloudFileBake = smallBake;
        cloudFileTextureBudget = 64ll << 20;
        // Memory-backed when there is such a folder: each run writes and
        // renames three files, which on a journalled disk costs more than
        // all the rest of a run.
        const char *folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        const std::string base =
            std::string(folder) + "/fuzz_layer_file_" + std::to_string(::getpid());
        input = base + ".in.cloud";
        first = base + ".1.cloud";
        second = base + ".2.cloud";
    }
    ~Setup()
    {
        std::remove(input.c_str());
        std::remove(first.c_str());
        std::remove(second.c_str());
    }
};

std::string readText(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Reads name and writes what it read to out; false when the write failed.
bool readAndWrite(const std::string &name, const std::string &out)
{
    CloudRecord *head = cloudFileRead(name.c_str());
    const bool written = cloudFileWrite(head, out.c_str()) != 0;
    cloudListFree(head);
    return written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup setup;
    const size_t live = hmsc_HeapLiveBlocks();
    {
        std::ofstream out(setup.input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    if (!readAndWrite(setup.input, setup.first))
        std::abort();
    const size_t damaged = host::reportCount(HERR_DAMAGED);
    const size_t generic = host::reportCount(HERR_GENERIC);
    if (!readAndWrite(setup.first, setup.second))
        std::abort();
    if (host::reportCount(HERR_DAMAGED) != damaged || host::reportCount(HERR_GENERIC) != generic) {
        std::fprintf(stderr, "fuzz_layer_file: a written file reads with a warning\n");
        std::abort();
    }
    if (readText(setup.first) != readText(setup.second)) {
        std::fprintf(stderr, "fuzz_layer_file: a written file does not read back the same\n");
        std::abort();
    }
    if (hmsc_HeapLiveBlocks() != live) {
        std::fprintf(stderr, "fuzz_layer_file: heap blocks leaked\n");
        std::abort();
    }
    return 0;
}
