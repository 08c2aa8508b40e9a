// layer_files.h — what the viewer does with a layer's text and file
// without its layer type's help: the text it saves and the line it writes
// into a scene script, taken without touching its file; the damage
// question; the file name a scene script gives it.
#ifndef CLOUDS_VIEWER_APP_LAYER_FILES_H
#define CLOUDS_VIEWER_APP_LAYER_FILES_H

#include <string>
#include <vector>

#include "host_types.h"

namespace cloudview {

struct LayerRecord;

// The line the layer's type writes into a scene script. The save the type
// makes while writing it goes to savePath, or with none is kept from its
// file (the layer keeps its unsaved-changes mark).
std::string featureLine(HLayer *layer, const std::string &savePath);

// The arguments of a line a layer type wrote ("ADDFEATURELAYER" "type"
// args... ;); empty when it holds none or does not read.
std::vector<std::string> featureLineArgs(const std::string &line);

// The line again with its first argument replaced by file.
std::string withFirstArgument(const std::string &line, const std::string &file);

// Whether two names are the same file: the same name, or names that reach
// one existing file (through links too). False when either is empty.
bool sameFile(const std::string &a, const std::string &b);

// How a scene script in folder names path: relative when a relative name
// reaches it, else absolute.
std::string nameFrom(const std::string &folder, const std::string &path);

// "sky.cloud was damaged when read (Cloud_1: zoom "4I" is not a number).
// Saving replaces it with what was read. Save anyway?"; "" when the layer's
// reading warned of nothing.
std::string damageQuestionFor(const LayerRecord &record);

// The words of a read warning without its file name and its afterthought:
// "sky.cloud: Cloud_1: zoom "4I" is not a number; the values after it may
// be wrong" gives "Cloud_1: zoom "4I" is not a number".
std::string damageWords(const std::string &report, const std::string &file);

// Writes text to path as the host's files do (under a temporary name,
// renamed when complete). Returns "" or the problem, naming the file.
std::string writeText(const std::string &path, const std::string &text);
// The file's bytes; "" when it cannot be read.
std::string readText(const std::string &path);

// Reports a problem as the host's error reports do (the messages panel).
void reportProblem(const std::string &message);

} // namespace cloudview

#endif
