// The call journal. A mutex because the viewer may bake on worker threads
// and a host call made there must not corrupt the vector.
#include "hvislib/journal.h"

#include <mutex>

namespace {

std::mutex journalLock;
std::vector<std::string> &entries() {
    static std::vector<std::string> list;
    return list;
}

} // namespace

namespace host {

std::vector<std::string> journal() {
    std::lock_guard<std::mutex> hold(journalLock);
    return entries();
}

void journalClear() {
    std::lock_guard<std::mutex> hold(journalLock);
    entries().clear();
}

void journalAdd(const std::string &entry) {
    std::lock_guard<std::mutex> hold(journalLock);
    entries().push_back(entry);
}

} // namespace host
