// statements.h — what each scene-script statement does: one handler per
// keyword, found in one table, so that a new statement is one function and
// one row.
//
// The table gives each statement the number of values it takes and whether
// it belongs to the scene (what `render` carries out: extent, origin,
// view, layers) or is automation (what only `run` carries out: commands,
// saving, writing files). checkStatements looks at every statement of a
// script before any runs; a handler checks its own values and throws
// ViewerError "file:line: problem" for a statement it cannot carry out.
#ifndef CLOUDS_VIEWER_APP_STATEMENTS_H
#define CLOUDS_VIEWER_APP_STATEMENTS_H

#include <string>
#include <vector>

#include "scene_script.h"

namespace cloudview {

class Viewer;

// One statement being carried out, with the helpers that read its values.
struct StatementCall {
    Viewer &viewer;
    const Statement &statement;
    const std::string &file;  // the script, for messages

    const std::string &keyword() const { return statement.tokens[0].text; }
    // "file:line", the prefix of every message about this statement.
    std::string where() const;
    // The value at position i (the keyword is 0) as a finite number.
    double number(size_t i) const;
    // The value at position i as a layer position from 1.
    int layerIndex(size_t i) const;
    // Throws unless the statement holds least..most values after its keyword.
    void expectCount(size_t least, size_t most) const;
    // Throws "file:line: problem" with the missing-";" hint when there is one.
    [[noreturn]] void fail(const std::string &problem) const;
    // The texts of the values from position first on.
    std::vector<std::string> textsFrom(size_t first) const;
};

using StatementHandler = void (*)(const StatementCall &call);

struct StatementKind {
    const char *keyword;
    size_t least, most;  // values after the keyword
    bool scene;          // part of the scene, not automation
    StatementHandler run;
};

// Every statement a scene script may hold, in the order the docs list them.
const std::vector<StatementKind> &statementTable();

// The row for a keyword, or null when no statement has it.
const StatementKind *findStatement(const std::string &keyword);

// "; is a \";\" missing before line N?" when the statement runs on into
// another: an unquoted keyword that starts a later line. Empty otherwise.
std::string missingSemicolonHint(const Statement &statement);

// What undo calls the change a statement made ("cloudupdate apply",
// "Move selection box").
std::string stepName(const Statement &statement);

// Throws ViewerError for the first statement with an unknown keyword, the
// wrong number of values, or no ";" before the next statement.
void checkStatements(const std::vector<Statement> &statements, const std::string &file);

}  // namespace cloudview

#endif
