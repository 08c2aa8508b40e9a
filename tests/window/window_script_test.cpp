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
