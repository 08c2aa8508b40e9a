// file_redirect.h — the host deciding where a layer type's file goes.
//
// A layer type saves to the file it was opened from, and reads the file it
// is opened on; it has no other way to be written or read. The viewer
// still needs a layer's text without touching its file (undo snapshots, a
// save the user refused), the text written somewhere else (Save layer
// as...), and a layer opened on a text that is not in its file (undo). These
// scopes redirect hfio_Open while they live; one of each at a time.
//
//   WriteCapture  every "w" open writes into a buffer the host keeps;
//                 hfio_Close then tells the writer what `told` says
//                 (Unsaved: 0, so the layer keeps its unsaved-changes mark;
//                 Saved: 1). Nothing on disk changes.
//   WriteRedirect every "w" open writes to `path` instead, as a save would.
//   ReadOverride  every "r" open of `name` reads `text` instead.
//
// Not thread-safe: the host has one UI thread.
#ifndef CLOUDS_VIEWER_HLIB_FILE_REDIRECT_H
#define CLOUDS_VIEWER_HLIB_FILE_REDIRECT_H

#include "host_export.h"

#include <string>

namespace host {

class HOST_API WriteCapture {
public:
    enum class Told { Unsaved, Saved };
    explicit WriteCapture(Told told);
    ~WriteCapture();
    WriteCapture(const WriteCapture &) = delete;
    WriteCapture &operator=(const WriteCapture &) = delete;

    // Whether a file was opened and closed, and what it held at its close.
    bool written() const;
    const std::string &text() const;
};

class HOST_API WriteRedirect {
public:
    explicit WriteRedirect(const std::string &path);
    ~WriteRedirect();
    WriteRedirect(const WriteRedirect &) = delete;
    WriteRedirect &operator=(const WriteRedirect &) = delete;
};

class HOST_API ReadOverride {
public:
    ReadOverride(const std::string &name, const std::string &text);
    ~ReadOverride();
    ReadOverride(const ReadOverride &) = delete;
    ReadOverride &operator=(const ReadOverride &) = delete;
};

} // namespace host

#endif
