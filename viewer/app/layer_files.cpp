#include "layer_files.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "hlib.h"
#include "hlib/error.h"
#include "hlib/file_redirect.h"
#include "hvislib.h"
#include "scene_script.h"
#include "viewer.h"

namespace cloudview {

namespace {

// A file of its own in the temporary folder, removed with the object.
class TempFile {
public:
    TempFile()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "cloudview-line-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd < 0)
            throw ViewerError("cannot make a temporary file in " +
                              std::filesystem::temp_directory_path().string());
        ::close(fd);
        path_ = pattern;
    }
    ~TempFile() { ::unlink(path_.c_str()); }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

} // namespace

std::string featureLine(HLayer *layer, const std::string &savePath)
{
    if (!layer->methods || !layer->methods->writeFeatureLine)
        return "";
    TempFile temp;
    HErrorSlot err = nullptr;
    // Opened before the layer's own save is redirected: only that one is.
    HFile *out = hfio_Open(temp.path().c_str(), "w", &err);
    if (!out)
        throw ViewerError(temp.path() + ": cannot write");
    if (savePath.empty()) {
        host::WriteCapture kept(host::WriteCapture::Told::Unsaved);
        layer->methods->writeFeatureLine(layer, out);
    } else {
        host::WriteRedirect to(savePath);
        layer->methods->writeFeatureLine(layer, out);
    }
    if (!hfio_Close(out, &err))
        throw ViewerError(herr_Message(err));
    return readText(temp.path());
}

std::vector<std::string> featureLineArgs(const std::string &line)
{
    try {
        const std::vector<Statement> statements = parseSceneScript(line, "layer line");
        if (statements.size() != 1 || statements[0].tokens.size() < 2)
            return {};
        std::vector<std::string> args;
        for (size_t i = 2; i < statements[0].tokens.size(); ++i)
            args.push_back(statements[0].tokens[i].text);
        return args;
    } catch (const ScriptError &) {
        return {};
    }
}

std::string withFirstArgument(const std::string &line, const std::string &file)
{
    std::vector<Statement> statements;
    try {
        statements = parseSceneScript(line, "layer line");
    } catch (const ScriptError &) {
        return line;
    }
    if (statements.size() != 1 || statements[0].tokens.size() < 3 ||
        statements[0].tokens[2].text == file)
        return line;
    // The layout the layer types write: a tab, the keyword, each value
    // quoted and followed by a blank, then ";".
    const std::vector<Token> &tokens = statements[0].tokens;
    std::string out = "\t" + tokens[0].text + " \"" + tokens[1].text + "\" \"" + file + "\" ";
    for (size_t i = 3; i < tokens.size(); ++i)
        out += "\"" + tokens[i].text + "\" ";
    return out + ";\n";
}

bool sameFile(const std::string &a, const std::string &b)
{
    std::error_code ec;
    return !a.empty() && !b.empty() && (a == b || std::filesystem::equivalent(a, b, ec));
}

std::string nameFrom(const std::string &folder, const std::string &path)
{
    const std::filesystem::path relative =
        std::filesystem::path(path).lexically_relative(std::filesystem::path(folder));
    return relative.empty() ? path : relative.string();
}

std::string damageWords(const std::string &report, const std::string &file)
{
    std::string words = report;
    if (!file.empty() && words.compare(0, file.size() + 2, file + ": ") == 0)
        words.erase(0, file.size() + 2);
    if (const size_t rest = words.find("; "); rest != std::string::npos)
        words.erase(rest);
    return words;
}

std::string damageQuestionFor(const LayerRecord &record)
{
    if (record.damage.empty())
        return "";
    const std::string file = record.args.empty() ? "the layer's file" : record.args[0];
    return file + " was damaged when read (" + record.damage +
           "). Saving replaces it with what was read. Save anyway?";
}

std::string writeText(const std::string &path, const std::string &text)
{
    HErrorSlot err = nullptr;
    HFile *out = hfio_Open(path.c_str(), "w", &err);
    if (!out)
        return herr_Message(err);
    if (!text.empty())
        hfio_Fprintf(out, "%s", text.c_str());
    if (!hfio_Close(out, &err))
        return herr_Message(err);
    return "";
}

std::string readText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void reportProblem(const std::string &message)
{
    HErrorSlot err = herr_Make("%s", message.c_str());
    hvis_ProcessErrorReport(&err);
}

} // namespace cloudview
