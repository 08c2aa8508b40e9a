#include <gtest/gtest.h>

#include "scene_script.h"

using namespace cloudview;

TEST(SceneScript, StatementsWordsStringsAndComments)
{
    const auto s = parseSceneScript(
        "EXTENT 0 100 0 50 0 3;  # the box\n"
        "\tADDFEATURELAYER \"Clouds\" \"my sky; #1.cloud\" ;\n"
        "RUN LAYER 1\n  \"cloudupdate\" \"density\";VIEW 1 2;\n",
        "a.scene");
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0].line, 1);
    EXPECT_EQ(s[0].tokens.size(), 7u);
    EXPECT_EQ(s[1].line, 2);
    EXPECT_EQ(s[1].tokens[2].text, "my sky; #1.cloud");
    EXPECT_TRUE(s[1].tokens[2].quoted);
    EXPECT_FALSE(s[1].tokens[0].quoted);
    EXPECT_EQ(s[2].line, 3);
    EXPECT_EQ(s[2].tokens.size(), 5u);
    EXPECT_EQ(s[3].tokens[0].text, "VIEW");
    EXPECT_EQ(s[3].line, 4);
    EXPECT_TRUE(parseSceneScript("# nothing\n\n", "e").empty());
    EXPECT_EQ(parseSceneScript("X \"\";", "e")[0].tokens[1].text, "");
}

TEST(SceneScript, ErrorsNameTheFileAndLine)
{
    auto message = [](const std::string &text) {
        try {
            parseSceneScript(text, "b.scene");
        } catch (const ScriptError &e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("VIEW 1 2;\nEXTENT 1 2\n"), "b.scene:2: statement \"EXTENT\" has no closing ;");
    EXPECT_EQ(message("\n\nADD \"open\n\";"), "b.scene:3: string not closed on its line");
    EXPECT_EQ(message("A;\n ;"), "b.scene:2: empty statement");
    EXPECT_THROW(readSceneScript("/nonexistent/x.scene"), ScriptError);
}

TEST(SceneScript, Quotable)
{
    EXPECT_TRUE(quotable("sky.cloud"));
    EXPECT_TRUE(quotable("with blank and ; # chars"));
    EXPECT_FALSE(quotable("a\"b"));
    EXPECT_FALSE(quotable("a\nb"));
    EXPECT_FALSE(quotable("a\rb"));
}
