#include "scene_script.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace cloudview {

bool quotable(const std::string &text)
{
    return text.find_first_of("\"\n\r") == std::string::npos;
}

std::vector<Statement> parseSceneScript(const std::string &text, const std::string &fileName)
{
    std::vector<Statement> statements;
    Statement current;
    int line = 1;
    auto fail = [&](int at, const std::string &what) {
        throw ScriptError(fileName + ":" + std::to_string(at) + ": " + what);
    };
    auto add = [&](Token token, int at) {
        if (current.tokens.empty())
            current.line = at;
        token.line = at;
        current.tokens.push_back(std::move(token));
    };
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '#') {
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else if (c == ';') {
            if (current.tokens.empty())
                fail(line, "empty statement");
            statements.push_back(std::move(current));
            current = Statement{};
            ++i;
        } else if (c == '"') {
            const size_t end = text.find_first_of("\"\n", i + 1);
            if (end == std::string::npos || text[end] == '\n')
                fail(line, "string not closed on its line");
            add(Token{text.substr(i + 1, end - i - 1), true, line}, line);
            i = end + 1;
        } else {
            size_t end = i;
            while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
                   text[end] != ';' && text[end] != '"' && text[end] != '#')
                ++end;
            add(Token{text.substr(i, end - i), false, line}, line);
            i = end;
        }
    }
    if (!current.tokens.empty())
        fail(current.line, "statement \"" + current.tokens[0].text + "\" has no closing ;");
    return statements;
}

std::vector<Statement> readSceneScript(const std::string &fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw ScriptError(fileName + ": cannot open scene script");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw ScriptError(fileName + ": cannot read scene script");
    return parseSceneScript(text.str(), fileName);
}

}  // namespace cloudview
