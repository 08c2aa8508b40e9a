#include "process_memory.h"

#include <fstream>
#include <sstream>

namespace bench {

namespace {

// "VmRSS:\t  123456 kB" gives 123456; -1 when the line is not key's.
double kibibytes(const std::string &line, const std::string &key)
{
    if (line.compare(0, key.size(), key) != 0)
        return -1.0;
    std::istringstream in(line.substr(key.size()));
    double value = -1.0;
    std::string unit;
    in >> value >> unit;
    return in && unit == "kB" ? value : -1.0;
}

}  // namespace

ProcessMemory parseProcStatus(const std::string &text)
{
    ProcessMemory m;
    bool rss = false, hwm = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (const double k = kibibytes(line, "VmRSS:"); k >= 0) {
            m.residentMiB = k / 1024.0;
            rss = true;
        } else if (const double p = kibibytes(line, "VmHWM:"); p >= 0) {
            m.peakResidentMiB = p / 1024.0;
            hwm = true;
        }
    }
    m.known = rss && hwm;
    return m;
}

ProcessMemory processMemory()
{
    std::ifstream in("/proc/self/status");
    std::ostringstream text;
    text << in.rdbuf();
    return parseProcStatus(text.str());
}

void reportProcessMemory(benchmark::State &state)
{
    const ProcessMemory m = processMemory();
    if (!m.known) {
        state.SkipWithError("no /proc/self/status to read the process's memory from");
        return;
    }
    state.counters["rss_mib"] = m.residentMiB;
    state.counters["peak_rss_mib"] = m.peakResidentMiB;
}

}  // namespace bench
