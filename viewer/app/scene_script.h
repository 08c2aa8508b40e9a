// scene_script.h — reading the scene script: statements of words and
// double-quoted strings ended by ";", "#" to the end of a line a comment.
// Strings hold any character but a double quote and a line break; there is
// no escaping, so that the layer lines that plug-ins write read back as
// they were written.
#ifndef CLOUDS_VIEWER_APP_SCENE_SCRIPT_H
#define CLOUDS_VIEWER_APP_SCENE_SCRIPT_H

#include <stdexcept>
#include <string>
#include <vector>

namespace cloudview {

struct Token {
    std::string text;
    bool quoted = false;
    int line = 0;  // where it stands
};

struct Statement {
    int line = 0;               // line of the first token
    std::vector<Token> tokens;  // tokens[0] is the keyword
};

struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Splits text into statements. Throws ScriptError "file:line: problem".
std::vector<Statement> parseSceneScript(const std::string &text, const std::string &fileName);

// Reads and parses a file. Throws ScriptError naming the file.
std::vector<Statement> readSceneScript(const std::string &fileName);

// Whether a string can stand in double quotes in a scene script.
bool quotable(const std::string &text);

}  // namespace cloudview

#endif
