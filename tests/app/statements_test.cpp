// The statement table and the checks made before a script runs.
#include <gtest/gtest.h>

#include "scene_script.h"
#include "statements.h"
#include "viewer.h"

using namespace cloudview;

namespace {

std::string checkMessage(const std::string &text)
{
    try {
        checkStatements(parseSceneScript(text, "s.scene"), "s.scene");
    } catch (const ViewerError &e) {
        return e.what();
    }
    return "fine";
}

}  // namespace

TEST(Statements, EveryKeywordHasOneRowWithItsCounts)
{
    for (const StatementKind &kind : statementTable()) {
        EXPECT_EQ(findStatement(kind.keyword), &kind) << kind.keyword;
        EXPECT_LE(kind.least, kind.most) << kind.keyword;
        EXPECT_NE(kind.run, nullptr) << kind.keyword;
    }
    EXPECT_EQ(findStatement("VEIW"), nullptr);
    EXPECT_EQ(findStatement("view"), nullptr);  // keywords are upper case
    // What render carries out: the scene, nothing that runs or writes.
    for (const char *scene : {"EXTENT", "ORIGIN", "VIEW", "ADDFEATURELAYER"})
        EXPECT_TRUE(findStatement(scene)->scene) << scene;
    for (const char *automation : {"ANSWER", "RUN", "SAVE", "CLOSE", "WRITESCENE", "RENDER",
                                   "SET", "PRINT", "PREVIEW", "CLICK", "MOVESELECTION",
                                   "SCALESELECTION", "ACTION"})
        EXPECT_FALSE(findStatement(automation)->scene) << automation;
}

TEST(Statements, TokensKnowTheirLines)
{
    const auto s = parseSceneScript("VIEW 1\n\n  2 \"x\"\n;", "t");
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].tokens[0].line, 1);
    EXPECT_EQ(s[0].tokens[1].line, 1);
    EXPECT_EQ(s[0].tokens[2].line, 3);
    EXPECT_EQ(s[0].tokens[3].line, 3);
}

TEST(Statements, AMissingSemicolonIsHintedOnlyWhereAKeywordStartsALine)
{
    auto hint = [](const std::string &text) {
        return missingSemicolonHint(parseSceneScript(text, "h")[0]);
    };
    EXPECT_EQ(hint("VIEW 1 2\nRENDER \"a.png\";"), "; is a \";\" missing before line 2?");
    EXPECT_EQ(hint("RUN LAYER 1\n\"cloudupdate\"\n\"apply\"\n\nSAVE LAYER 1;"),
              "; is a \";\" missing before line 5?");
    // Statements may span lines; quoted words and keywords within a line
    // are values.
    EXPECT_EQ(hint("RUN LAYER 1\n  \"cloudupdate\" \"density\"\n  0.5;"), "");
    EXPECT_EQ(hint("RUN SCENE \"x\" SAVE;"), "");
    EXPECT_EQ(hint("RUN SCENE \"x\"\n\"SAVE\";"), "");
    EXPECT_EQ(hint("RUN SCENE \"x\"\nsave;"), "");
}

TEST(Statements, ScriptsAreCheckedWholeBeforeAnyRuns)
{
    EXPECT_EQ(checkMessage("EXTENT 0 1 0 1 0 1;\nVIEW 1 2;\nADDFEATURELAYER \"Clouds\" \"a\";\n"
                           "RUN LAYER 1 \"cloudupdate\" \"apply\";\nRENDER \"x.png\" 4 4;"),
              "fine");
    EXPECT_EQ(checkMessage("VIEW 1 2;\n\nVEIW 1 2;"), "s.scene:3: unknown statement \"VEIW\"");
    EXPECT_EQ(checkMessage("EXTENT 0 1 0 1 0;"), "s.scene:1: EXTENT takes 6 values, not 5");
    EXPECT_EQ(checkMessage("VIEW 1;"), "s.scene:1: VIEW takes 2 or 3 values, not 1");
    EXPECT_EQ(checkMessage("RENDER;"), "s.scene:1: RENDER takes 1 to 3 values, not 0");
    EXPECT_EQ(checkMessage("ANSWER YES NO;"), "s.scene:1: ANSWER takes 1 value, not 2");
    EXPECT_EQ(checkMessage("ORIGIN 1 2 3\nVIEW 1 2;"),
              "s.scene:1: ORIGIN takes 3 values; is a \";\" missing before line 2?");
    EXPECT_EQ(checkMessage("ADDFEATURELAYER \"Clouds\" \"a.cloud\"\nRENDER \"x.png\";"),
              "s.scene:1: ADDFEATURELAYER runs on into the next statement; is a \";\" missing "
              "before line 2?");
}
