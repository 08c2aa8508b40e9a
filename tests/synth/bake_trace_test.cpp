// The GL calls of a bake and a free, in order, as apitrace records them
// from a separate program (tests/synth/bake_trace_main.cpp).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::string run(const std::string &command)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::vector<std::string> lines(const std::string &text)
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

std::vector<std::string> upload(int name)
{
    const std::string n = std::to_string(name);
    return {
        "glGenTextures(n = 1, textures = &" + n + ")",
        "glBindTexture(target = GL_TEXTURE_2D, texture = " + n + ")",
        "glTexParameteri(target = GL_TEXTURE_2D, pname = GL_TEXTURE_WRAP_S, param = GL_CLAMP)",
        "glTexParameteri(target = GL_TEXTURE_2D, pname = GL_TEXTURE_WRAP_T, param = GL_CLAMP)",
        "glTexParameteri(target = GL_TEXTURE_2D, pname = GL_TEXTURE_MIN_FILTER, param = GL_LINEAR)",
        "glTexParameteri(target = GL_TEXTURE_2D, pname = GL_TEXTURE_MAG_FILTER, param = GL_LINEAR)",
        "glTexEnvi(target = GL_TEXTURE_ENV, pname = GL_TEXTURE_ENV_MODE, param = GL_MODULATE)",
        "glPixelStorei(pname = GL_UNPACK_ALIGNMENT, param = 1)",
        "glPixelStorei(pname = GL_UNPACK_ROW_LENGTH, param = 4)",
        "glTexImage2D(target = GL_TEXTURE_2D, level = 0, internalformat = GL_LUMINANCE, width = 4, "
        "height = 4, border = 0, format = GL_LUMINANCE, type = GL_UNSIGNED_BYTE, pixels = blob(16))",
    };
}

}  // namespace

TEST(BakeTrace, GLCallsOfABakeAndAFreeInOrder)
{
    ASSERT_EQ(std::system("command -v apitrace >/dev/null"), 0) << "apitrace is not installed";
    char dir[] = "/tmp/bake_trace_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string trace = std::string(dir) + "/bake.trace";
    // Under AddressSanitizer the tracer is preloaded ahead of the ASan
    // runtime, which ASan would otherwise refuse.
    const char *asan = std::getenv("ASAN_OPTIONS");
    const std::string env =
        "ASAN_OPTIONS='" + std::string(asan ? asan : "") + ":verify_asan_link_order=0' ";
    ASSERT_EQ(std::system((env + "apitrace trace --api egl -o " + trace + " " BAKE_TRACE_PROGRAM
                           " >/dev/null 2>&1").c_str()),
              0);
    const std::vector<std::string> dump =
        lines(run("apitrace dump --call-nos=no " + trace + " 2>/dev/null"));
    std::system(("rm -rf " + std::string(dir)).c_str());

    // From the bake's first texture to the free's last delete.
    size_t first = 0, last = 0;
    for (size_t i = 0; i < dump.size(); ++i) {
        if (dump[i].rfind("glGenTextures", 0) == 0 && first == 0)
            first = i + 1;
        if (dump[i].rfind("glDeleteTextures", 0) == 0)
            last = i + 1;
    }
    ASSERT_GT(first, 0u);
    ASSERT_GE(last, first);
    const std::vector<std::string> calls(dump.begin() + (first - 1), dump.begin() + last);

    // Two layers: horizontal 0, vertical 0, horizontal 1, vertical 1.
    std::vector<std::string> expected;
    for (int name = 1; name <= 4; ++name)
        for (const std::string &call : upload(name))
            expected.push_back(call);
    expected.push_back("glBindTexture(target = GL_TEXTURE_2D, texture = 0)");
    expected.push_back("glDisable(cap = GL_TEXTURE_2D)");
    for (int name = 1; name <= 4; ++name)
        expected.push_back("glDeleteTextures(n = 1, textures = &" + std::to_string(name) + ")");
    EXPECT_EQ(calls, expected);
}
