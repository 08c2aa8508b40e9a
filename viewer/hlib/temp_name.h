// temp_name.h — unique names beside a target file, for writers that build
// a file under another name and rename it over the target when complete.
//
// A name is "<target>.XXXXXX" with six random letters or digits; it lies in
// the target's folder, so the final rename never crosses file systems.
// Internal to the stand-in host.
#ifndef CLOUDS_VIEWER_HLIB_TEMP_NAME_H
#define CLOUDS_VIEWER_HLIB_TEMP_NAME_H

#include <functional>
#include <string>

namespace host {

// Tries fresh names with make(name) until one is made; make returns 0 on
// success or an errno value, and EEXIST asks for another name. Returns 0
// and the name made, or the first other errno (EEXIST after 100 tries).
int makeBeside(const std::string &target, const std::function<int(const std::string &)> &make,
               std::string &made);

// Creates "<target>.XXXXXX" exclusively for writing, with the usual
// 0666 & ~umask permissions; returns the descriptor, or -1 with errno set.
int createBeside(const std::string &target, std::string &made);

} // namespace host

#endif
