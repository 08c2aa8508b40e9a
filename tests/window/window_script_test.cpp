// The window run by scene scripts: what it shows, what it writes.
#include "window_fixture.h"

#include "support/test_util.h"

TEST_F(WindowTest, WithoutADisplayItSaysHowToDoWithoutOne)
{
    const std::string out = file("nodisplay.err");
    const int status = std::system(("env -u DISPLAY " + std::string(CLOUDVIEW) + " open " +
                                    EXAMPLES + "/sky.scene 2>" + out)
                                       .c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string said = readFile(out);
    EXPECT_EQ(splitLines(said).size(), 1u) << said;
    EXPECT_NE(said.find("cloudview render"), std::string::npos) << said;
    EXPECT_NE(said.find("xvfb-run"), std::string::npos) << said;
}

TEST_F(WindowTest, OpensTheSkySceneWithItsCloudsAndWritesTheWholeWindow)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    const Ran r = runScript("sky.scene --size 1280x800", "SCREENSHOT \"shot.png\";\n");
    ASSERT_EQ(r.code, 0) << r.err;
    const Picture shot = readPicture(file("shot.png"));
    ASSERT_EQ(shot.width, 1280);
    ASSERT_EQ(shot.height, 800);
    // The menu bar on top, and the clouds: the white cloud's bright pixels
    // over the darker ground.
    EXPECT_GT(shot.near({255, 255, 255}, 20, 0, 100, 1280, 600), 500u);
}

namespace {

size_t cloudLines(const std::string &layerFile)
{
    size_t n = 0;
    for (const std::string &line : splitLines(readFile(layerFile)))
        n += line.rfind("Cloud_", 0) == 0;
    return n;
}

const char *kDeleteFirstCloud = "RUN LAYER 1 \"cloudupdate\" \"showproperties\";\n"
                                "SET LAYER 1 \"currentcloud\" \"Cloud 1\";\n"
                                "SET LAYER 1 \"delete\";\n";

} // namespace

TEST_F(WindowTest, QuittingClosesEachLayerWithItsQuestionAnsweredByTheScript)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    const Ran yes = runScript("sky.scene", std::string(kDeleteFirstCloud) + "ANSWER YES;\n");
    ASSERT_EQ(yes.code, 0) << yes.err;
    EXPECT_EQ(cloudLines(file("sky.cloud")), 4u);

    // Unanswered, the question takes the answer a headless run gives, and
    // the window says so.
    const Ran unanswered = runScript("sky.scene", kDeleteFirstCloud);
    ASSERT_EQ(unanswered.code, 0) << unanswered.err;
    EXPECT_EQ(cloudLines(file("sky.cloud")), 4u);
    EXPECT_NE(unanswered.err.find("no ANSWER for \"Save Cloud Layer sky.cloud?\""),
              std::string::npos)
        << unanswered.err;
}

TEST_F(WindowTest, AFailingStatementStopsTheScriptButTheWindowStillClosesItsLayers)
{
    copyExample("sky.scene");
    copyExample("sky.cloud");
    const Ran r = runScript("sky.scene", std::string(kDeleteFirstCloud) +
                                             "ANSWER YES;\nSET LAYER 7 \"density\" 0.5;\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("script.scene:5: no layer 7"), std::string::npos) << r.err;
    EXPECT_EQ(cloudLines(file("sky.cloud")), 4u); // the answer given still counts

    const Ran bad = runScript("sky.scene", "SCREENSHOT \"shot.jpg\";\n");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("PNG"), std::string::npos) << bad.err;
}
