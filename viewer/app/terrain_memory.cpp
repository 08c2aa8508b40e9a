#include "terrain_memory.h"

#include <cmath>
#include <cstdlib>

#include "terrain/terrain_settings.h"
#include "viewer.h"

namespace cloudview {

bool terrainMemoryInRange(double mib)
{
    return std::floor(mib) == mib && mib >= double(::terrain::kMinMemoryMiB) &&
           mib <= double(::terrain::kMaxMemoryMiB);
}

std::string terrainMemoryRange()
{
    return std::to_string(::terrain::kMinMemoryMiB) + ".." +
           std::to_string(::terrain::kMaxMemoryMiB) + " MiB";
}

size_t parseTerrainMemory(const std::string &text)
{
    // Digits only: strtod would take " 512", "0x200" or "5e2" as well,
    // none of which anyone means as a budget on a command line.
    const bool digits = !text.empty() && text.size() <= 9 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const double mib = digits ? std::strtod(text.c_str(), nullptr) : -1.0;
    if (!terrainMemoryInRange(mib))
        throw ViewerError("--terrain-memory " + text + ": the ground's memory is a whole number of "
                          "MiB in " + terrainMemoryRange());
    return size_t(mib);
}

std::string terrainMemoryLabel(size_t mib)
{
    if (mib >= 1024 && mib % 1024 == 0)
        return std::to_string(mib / 1024) + " GiB";
    return std::to_string(mib) + " MiB";
}

}  // namespace cloudview
