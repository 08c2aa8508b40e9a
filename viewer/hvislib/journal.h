// journal.h — what the plug-in asked of the host, in order.
//
// A test seam, not a logging system: scene operations that change state,
// questions, error reports and layer arranging append one short line each
// ("sceneRedraw", "sceneActionOff: delcloud", "question: Save Cloud Layer
// sky.cloud?", "error: sky.cloud: No such file or directory"), so a test
// can assert the sequence of host calls an action made. Queries that the
// plug-in makes on every draw (extent, origin, pick ray) are not written.
//
// Unbounded until cleared; tests clear it before the action they check.
#ifndef CLOUDS_VIEWER_HVISLIB_JOURNAL_H
#define CLOUDS_VIEWER_HVISLIB_JOURNAL_H

#include "host_export.h"

#include <string>
#include <vector>

namespace host {

// A copy of the entries, oldest first.
HOST_API std::vector<std::string> journal();
HOST_API void journalClear();
// Appends one entry; the host folders call it, tests may too (markers).
HOST_API void journalAdd(const std::string &entry);

} // namespace host

#endif
