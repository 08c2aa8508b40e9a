#include "file_listing.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace cloudview::window {

namespace {

std::string lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string dotted(const std::string &extension)
{
    return extension.empty() || extension[0] == '.' ? extension : "." + extension;
}

bool byName(const FolderEntry &a, const FolderEntry &b)
{
    const std::string la = lower(a.name), lb = lower(b.name);
    return la != lb ? la < lb : a.name < b.name;
}

std::string trimmed(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The entry as listed, or false for one left out: hidden, not a folder nor
// a regular file (a broken link), or a file of another kind.
bool listed(const fs::directory_entry &entry, const std::vector<std::string> &extensions,
            FolderEntry &out)
{
    out.name = entry.path().filename().string();
    if (out.name.empty() || out.name[0] == '.')
        return false;
    std::error_code ec;
    out.folder = entry.is_directory(ec);
    if (out.folder)
        return true;
    return entry.is_regular_file(ec) && hasExtension(out.name, extensions);
}

} // namespace

FolderListing listFolder(const std::string &folder, const std::vector<std::string> &extensions)
{
    FolderListing listing;
    const fs::path where = folder.empty() ? fs::path(".") : fs::path(folder);
    std::error_code ec;
    fs::directory_iterator it(where, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        FolderEntry entry;
        if (listed(*it, extensions, entry))
            listing.entries.push_back(std::move(entry));
    }
    if (ec)
        listing.problem = "cannot read " + where.string() + ": " + ec.message();
    // Folders first, each group by name.
    std::stable_sort(listing.entries.begin(), listing.entries.end(),
                     [](const FolderEntry &a, const FolderEntry &b) {
                         return a.folder != b.folder ? a.folder : byName(a, b);
                     });
    return listing;
}

bool hasExtension(const std::string &name, const std::vector<std::string> &extensions)
{
    bool any = false;
    const std::string lowered = lower(name);
    for (const std::string &extension : extensions) {
        const std::string wanted = lower(dotted(extension));
        if (wanted.empty())
            continue;
        any = true;
        if (lowered.size() > wanted.size() &&
            lowered.compare(lowered.size() - wanted.size(), wanted.size(), wanted) == 0)
            return true;
    }
    return !any;
}

std::string withExtension(const std::string &name, const std::vector<std::string> &extensions)
{
    if (name.empty() || hasExtension(name, extensions))
        return name;
    for (const std::string &extension : extensions) {
        const std::string wanted = dotted(extension);
        if (!wanted.empty())
            return name.back() == '.' ? name + wanted.substr(1) : name + wanted;
    }
    return name;
}

std::string parentFolder(const std::string &folder)
{
    std::error_code ec;
    fs::path path = fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec)
        return folder;
    path = path.lexically_normal();
    if (path.has_relative_path() && !path.has_filename())
        path = path.parent_path(); // "/a/b/" lists b; its parent is /a
    return path.has_relative_path() ? path.parent_path().string() : path.string();
}

std::string joinPath(const std::string &folder, const std::string &name)
{
    const fs::path typed(name);
    const fs::path path = typed.is_absolute() ? typed : fs::path(folder) / typed;
    std::string joined = path.lexically_normal().string();
    if (joined.size() > 1 && joined.back() == '/')
        joined.pop_back();
    return joined;
}

BrowseOutcome resolveChoice(const std::string &folder, const std::string &typed,
                            const std::vector<std::string> &extensions, bool saving)
{
    BrowseOutcome outcome;
    const std::string name = trimmed(typed);
    if (name.empty()) {
        outcome.problem = saving ? "type a name for the file" : "choose a file";
        return outcome;
    }
    std::error_code ec;
    std::string path = joinPath(folder, name);
    if (fs::is_directory(path, ec)) {
        outcome.kind = BrowseOutcome::EnterFolder;
        outcome.path = path;
        return outcome;
    }
    if (!saving) {
        if (fs::is_regular_file(path, ec)) {
            outcome.kind = BrowseOutcome::Choose;
            outcome.path = path;
        } else {
            outcome.problem = "no file " + name + " here";
        }
        return outcome;
    }
    path = withExtension(path, extensions);
    const fs::path parent = fs::path(path).parent_path();
    if (fs::is_directory(path, ec)) {
        outcome.problem = fs::path(path).filename().string() + " is a folder";
    } else if (!parent.empty() && !fs::is_directory(parent, ec)) {
        outcome.problem = "no folder " + parent.string();
    } else {
        outcome.kind = fs::exists(path, ec) ? BrowseOutcome::ConfirmReplace : BrowseOutcome::Choose;
        outcome.path = path;
    }
    return outcome;
}

} // namespace cloudview::window
