// test_util.h — small helpers the suites share: whole files, command
// output, and the GL calls of a program as apitrace records them.
#ifndef CLOUDS_TESTS_SUPPORT_TEST_UTIL_H
#define CLOUDS_TESTS_SUPPORT_TEST_UTIL_H

#include <string>
#include <vector>

// The whole file, bytes as they are; "" when it cannot be read.
std::string readFile(const std::string &name);
// Lines without their line feeds; a last line without one counts.
std::vector<std::string> splitLines(const std::string &text);
// What a shell command prints on standard output.
std::string runCapture(const std::string &command);
// A shell command's exit code (-1 when it did not exit), what it printed
// on standard output, and errFile, where the command sends its errors.
struct CommandRun {
    int code = -1;
    std::string out, err;
};
CommandRun runWithErrors(const std::string &command, const std::string &errFile);
// Runs `program arguments` under apitrace (EGL) and returns the trace's
// calls, one line each, without call numbers. Adds a test failure and
// returns nothing when apitrace is missing or the program fails.
std::vector<std::string> apitraceCalls(const std::string &program, const std::string &arguments);

#endif
