// process_memory.h — the memory a benchmark reports: the process's own
// resident set as the kernel counts it, now and at its peak, rather than
// sums the code keeps (which miss what the allocator, GL driver and GDAL
// hold, and may count what was already freed).
#ifndef CLOUDS_BENCH_PROCESS_MEMORY_H
#define CLOUDS_BENCH_PROCESS_MEMORY_H

#include <benchmark/benchmark.h>

#include <string>

namespace bench {

struct ProcessMemory {
    double residentMiB = 0.0;      // VmRSS
    double peakResidentMiB = 0.0;  // VmHWM: the most since the process began
    bool known = false;            // both were read
};

// The two from the text of a /proc/<pid>/status file.
ProcessMemory parseProcStatus(const std::string &text);
// This process's, from /proc/self/status; not known where there is none.
ProcessMemory processMemory();

// Sets the counters rss_mib and peak_rss_mib; the peak is the process's,
// so a case that wants its own runs before those that take more.
void reportProcessMemory(benchmark::State &state);

}  // namespace bench

#endif
