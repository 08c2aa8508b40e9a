#include "support/test_util.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <unistd.h>

std::string readFile(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string runCapture(const std::string &command)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

CommandRun runWithErrors(const std::string &command, const std::string &errFile)
{
    CommandRun r;
    FILE *pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int status = pipe ? pclose(pipe) : -1;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = readFile(errFile);
    return r;
}

std::vector<std::string> apitraceCalls(const std::string &program, const std::string &arguments)
{
    if (std::system("command -v apitrace >/dev/null") != 0) {
        ADD_FAILURE() << "apitrace is not installed";
        return {};
    }
    char dir[] = "/tmp/apitrace_XXXXXX";
    if (!mkdtemp(dir)) {
        ADD_FAILURE() << "no temporary folder";
        return {};
    }
    const std::string trace = std::string(dir) + "/calls.trace";
    // In a sanitizer build the tracer is preloaded ahead of the ASan
    // runtime, which ASan must be told to accept.
    const char *asan = std::getenv("ASAN_OPTIONS");
    const std::string env =
        "ASAN_OPTIONS='" + std::string(asan ? asan : "") + ":verify_asan_link_order=0' ";
    const int status = std::system(
        (env + "apitrace trace --api egl -o " + trace + " " + program + " " + arguments +
         " >/dev/null 2>&1")
            .c_str());
    std::vector<std::string> calls =
        splitLines(runCapture("apitrace dump --call-nos=no " + trace + " 2>/dev/null"));
    std::system(("rm -rf " + std::string(dir)).c_str());
    if (status != 0) {
        ADD_FAILURE() << program << " " << arguments << " failed under apitrace";
        return {};
    }
    return calls;
}
