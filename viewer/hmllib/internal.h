// internal.h — helpers the hmllib sources share; not for other folders.
#ifndef CLOUDS_VIEWER_HMLLIB_INTERNAL_H
#define CLOUDS_VIEWER_HMLLIB_INTERNAL_H

#include "hmllib/script_model.h"

#include <string>
#include <vector>

namespace host {
namespace hml {

// Splits a command line into words; a word in double quotes may hold
// blanks (no escapes). False with a reason for an unclosed quote.
bool splitCommandLine(const std::string &line, std::vector<std::string> &words,
                      std::string *error);
// The part names a command line refers to with {value:NAME}.
std::vector<std::string> referencedParts(const std::string &line);
// The shortest "%.*g" text that reads back as the same double.
std::string formatNumber(double value);
const HCommand *findCommand(const HScript *script, const std::string &name);
// Forgets canvases' references to the parts of a frame about to go.
void detachCanvases(const HFrame *frame);
// Takes a frame out of the list of open frames.
void closeOpenFrame(const HFrame *frame);
// Destroys a copy made by hhml_PartDup: out of the open list and the
// script's copies, canvases detached.
void destroyCopy(HFrame *frame);

} // namespace hml
} // namespace host

#endif
