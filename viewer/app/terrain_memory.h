// terrain_memory.h — the ground's memory budget as people give and read
// it: MiB, whole, within the range the ground takes.
#ifndef CLOUDS_VIEWER_APP_TERRAIN_MEMORY_H
#define CLOUDS_VIEWER_APP_TERRAIN_MEMORY_H

#include <cstddef>
#include <string>

namespace cloudview {

// A whole number of MiB the ground takes.
bool terrainMemoryInRange(double mib);
// "64..1048576 MiB", for messages.
std::string terrainMemoryRange();
// The value of --terrain-memory; throws ViewerError naming the option and
// the range for anything else.
size_t parseTerrainMemory(const std::string &text);
// "512 MiB", "1 GiB", "1536 MiB": as a menu shows it.
std::string terrainMemoryLabel(size_t mib);

}  // namespace cloudview

#endif
