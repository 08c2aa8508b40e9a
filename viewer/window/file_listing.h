// file_listing.h — what the file browser shows and what its OK means,
// apart from drawing it: a folder's entries filtered by extension, and
// what a typed or chosen name leads to. Nothing here throws: unreadable
// folders and odd names come back as a problem to show.
#ifndef CLOUDS_VIEWER_WINDOW_FILE_LISTING_H
#define CLOUDS_VIEWER_WINDOW_FILE_LISTING_H

#include <string>
#include <vector>

namespace cloudview::window {

struct FolderEntry {
    std::string name;
    bool folder = false;
};

struct FolderListing {
    // Folders, then files with one of the extensions (all files for no
    // extensions), each by name ignoring case; hidden (dot) entries left out.
    std::vector<FolderEntry> entries;
    // Why the folder could not be read (all of it or the rest of it).
    std::string problem;
};

FolderListing listFolder(const std::string &folder, const std::vector<std::string> &extensions);

// Whether the name ends in one of the extensions (".png" or "png"),
// ignoring case; true for every name when there are none.
bool hasExtension(const std::string &name, const std::vector<std::string> &extensions);
// The name with the first extension added unless it has one already.
std::string withExtension(const std::string &name, const std::vector<std::string> &extensions);

// The folder above, as an absolute path (the root stays the root).
std::string parentFolder(const std::string &folder);
// A name typed in a folder: absolute names stand as they are; the result
// is normalised ("a/./b/../c" is "a/c").
std::string joinPath(const std::string &folder, const std::string &name);

// What OK does with the name in the browser's field.
struct BrowseOutcome {
    enum Kind { EnterFolder, Choose, ConfirmReplace, Problem } kind = Problem;
    std::string path;    // the folder to enter or the file chosen
    std::string problem; // for Problem
};
BrowseOutcome resolveChoice(const std::string &folder, const std::string &name,
                            const std::vector<std::string> &extensions, bool saving);

} // namespace cloudview::window

#endif
