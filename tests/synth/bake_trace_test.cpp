// The GL calls of a bake and a free, in order, as apitrace records them
// from a separate program (tests/synth/bake_trace_main.cpp).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace {

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
    const std::vector<std::string> dump = apitraceCalls(BAKE_TRACE_PROGRAM, "");
    ASSERT_FALSE(dump.empty());

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
