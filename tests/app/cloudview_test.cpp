// cloudview from the outside: exit codes, messages, files written.
#include <gtest/gtest.h>

#include "support/test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Outcome {
    int code = -1;
    std::string err;
};

Outcome cloudview(const std::string &args)
{
    // One file per test process: suites of other builds may run at the same time.
    const std::string errFile = "/tmp/cloudview_test_err_" + std::to_string(::getpid()) + ".txt";
    const int status = std::system((std::string(CLOUDVIEW) + " " + args + " >/dev/null 2>" + errFile).c_str());
    Outcome r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errFile);
    std::ostringstream s;
    s << in.rdbuf();
    r.err = s.str();
    std::remove(errFile.c_str());
    return r;
}

struct CloudviewTest : ::testing::Test {
    std::string dir;
    void SetUp() override
    {
        char pattern[] = "/tmp/cloudview_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
};

// Width and height from a PNG's header.
std::pair<int, int> pngSize(const std::string &file)
{
    const std::string data = readFile(file);
    if (data.size() < 24 || data.compare(1, 3, "PNG") != 0)
        return {0, 0};
    auto be = [&](size_t at) {
        return (static_cast<unsigned char>(data[at]) << 24) | (static_cast<unsigned char>(data[at + 1]) << 16) |
               (static_cast<unsigned char>(data[at + 2]) << 8) | static_cast<unsigned char>(data[at + 3]);
    };
    return {static_cast<int>(be(16)), static_cast<int>(be(20))};
}

}  // namespace

TEST_F(CloudviewTest, RendersTheExampleSceneAndALayerFile)
{
    Outcome r = cloudview("render " EXAMPLES "/sky.scene -o " + dir + "/sky.png --size 320x180");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(pngSize(dir + "/sky.png"), std::make_pair(320, 180));
    r = cloudview("render " EXAMPLES "/sky.cloud -o " + dir + "/layer.png --size 64x48 --view 10,45,0");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(pngSize(dir + "/layer.png"), std::make_pair(64, 48));
}

TEST_F(CloudviewTest, FailuresExitTwoWithOneLineNamingTheFile)
{
    const std::string png = " -o " + dir + "/x.png";
    Outcome r = cloudview("render " + dir + "/missing.scene" + png);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(splitLines(r.err).size(), 1u);
    EXPECT_NE(r.err.find(dir + "/missing.scene"), std::string::npos) << r.err;

    r = cloudview("render " EXAMPLES "/sky.cloud --size 12" + png);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--size 12"), std::string::npos) << r.err;
    r = cloudview("render " EXAMPLES "/sky.cloud --size 0x10" + png);
    EXPECT_EQ(r.code, 2);
    r = cloudview("render " EXAMPLES "/sky.cloud --view 10,95,0" + png);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--view"), std::string::npos) << r.err;
    // Below the horizon the ground would hang over the sky.
    r = cloudview("render " EXAMPLES "/sky.cloud --view 10,-0.5" + png);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--view 10,-0.5: the elevation must be in 5..90 degrees"),
              std::string::npos)
        << r.err;
    r = cloudview("--plugin " + dir + "/none.so render " EXAMPLES "/sky.cloud" + png);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find(dir + "/none.so"), std::string::npos) << r.err;
    r = cloudview("run " + dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("is a directory"), std::string::npos) << r.err;
    r = cloudview("textures " + dir + "/missing.cloud -o " + dir + "/t");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(splitLines(r.err).size(), 1u);

    std::ofstream(dir + "/bad.scene") << "EXTENT 0 1 0 1 0;\n";
    r = cloudview("run " + dir + "/bad.scene");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("bad.scene:1:"), std::string::npos) << r.err;
    std::ofstream(dir + "/view.scene") << "# a camera behind its eye\n\nVIEW 10 30 -1;\n";
    r = cloudview("run " + dir + "/view.scene");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("view.scene:3: VIEW needs a distance of 0 or more, not -1"),
              std::string::npos)
        << r.err;
    std::ofstream(dir + "/word.scene") << "EXTENT 0 1 0 one 0 1;\n";
    r = cloudview("run " + dir + "/word.scene");
    EXPECT_NE(r.err.find("word.scene:1: \"one\" is not a number"), std::string::npos) << r.err;

    EXPECT_EQ(cloudview("render").code, 1);
    EXPECT_EQ(cloudview("frobnicate").code, 1);
    EXPECT_EQ(cloudview("render --help").code, 0);
}

TEST_F(CloudviewTest, RefusesLayerNamesAScriptCannotHold)
{
    const std::string name = dir + "/a\"b.cloud";
    std::ofstream(name) << readFile(EXAMPLES "/sky.cloud");
    const Outcome r = cloudview("render '" + name + "' -o " + dir + "/x.png");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("double quote"), std::string::npos) << r.err;
}

TEST_F(CloudviewTest, ConvertsVersionOneZeroToOneOne)
{
    std::ofstream(dir + "/old.cloud") << "TOLA_Cloud_Layer_File_V1.0\r\n1 clouds_in_file\r\nCloud_0\r\n"
                                         "0.300000 0.480000 1.000000 41.000000 0.350000\r\n"
                                         "10 0 0 32 0\r\n"
                                         "0.000000 0.000000 0.000000 20000.000000 -20000.000000 5000.000000\r\n"
                                         "50 50 20 1.000000 1.000000 1.000000\r\n"
                                         "678269.000000 1.000000\r\n";
    const Outcome r = cloudview("convert " + dir + "/old.cloud -o " + dir + "/new.cloud");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(dir + "/new.cloud"),
              "TOLA_Cloud_Layer_File_V1.1\n1 clouds_in_file\nCloud_0\n"
              "0.300000 0.520000 1.000000 41.000000 0.350000\n"
              "10 0 0 32 1\n"
              "0.000000 0.000000 0.000000 20000.000000 -20000.000000 5000.000000\n"
              "50 50 20 1.000000 1.000000 1.000000\n"
              "678269.000000 1.000000\n");
}

TEST_F(CloudviewTest, WritesEveryBakedTextureAsPGM)
{
    std::ofstream(dir + "/one.cloud") << "TOLA_Cloud_Layer_File_V1.1\n2 clouds_in_file\nCloud_0\n"
                                         "0.3 0.52 1 41 0.35\n3 0 0 16 1\n0 0 0 1 1 1\n1 1 1 1 1 1\n678269 1\n"
                                         "Cloud_1\n0.3 0.52 1 41 0.35\n0 0 0 16 1\n0 0 0 1 1 1\n1 1 1 1 1 1\n1 1\n";
    const Outcome r = cloudview("textures " + dir + "/one.cloud -o " + dir + "/tex");
    EXPECT_EQ(r.code, 0) << r.err;
    for (int l = 0; l < 3; ++l)
        for (const char *kind : {"h", "v"}) {
            const std::string pgm =
                readFile(dir + "/tex/cloud_0_" + kind + "_" + std::to_string(l) + ".pgm");
            EXPECT_EQ(pgm.size(), std::string("P5\n16 16\n255\n").size() + 256) << kind << l;
            EXPECT_EQ(pgm.rfind("P5\n16 16\n255\n", 0), 0u);
        }
    // The second cloud has no layers, so nothing to bake and nothing written.
    EXPECT_FALSE(std::ifstream(dir + "/tex/cloud_1_h_0.pgm").good());
}

TEST_F(CloudviewTest, RunsAScriptThatSavesAndWritesTheScene)
{
    std::ofstream(dir + "/sky.cloud") << readFile(EXAMPLES "/sky.cloud");
    std::ofstream(dir + "/job.scene") << "EXTENT 0 1000 0 600 0 10;\n"
                                         "ADDFEATURELAYER \"Clouds\" \"sky.cloud\" ;\n"
                                         "SAVE LAYER 1;\n"
                                         "WRITESCENE \"out.scene\";\n"
                                         "RENDER \"out.png\" 32 24;\n";
    Outcome r = cloudview("run " + dir + "/job.scene");
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string scene = readFile(dir + "/out.scene");
    EXPECT_NE(scene.find("EXTENT 0 1000 0 600 0 10;\n"), std::string::npos) << scene;
    EXPECT_NE(scene.find("\tADDFEATURELAYER \"Clouds\" \"sky.cloud\" ;\n"), std::string::npos);
    EXPECT_EQ(readFile(dir + "/sky.cloud"), readFile(EXAMPLES "/sky.cloud"));
    EXPECT_EQ(pngSize(dir + "/out.png"), std::make_pair(32, 24));

    // Layers that commands make and delete keep the numbering straight.
    std::ofstream(dir + "/made.scene") << "ADDFEATURELAYER \"Clouds\" \"sky.cloud\" ;\n"
                                          "RUN SCENE \"cloudcreatemodellayer\" \"new.cloud\";\n"
                                          "RUN LAYER 1 \"deletelayer\";\n"
                                          "SAVE LAYER 1;\n";
    r = cloudview("run " + dir + "/made.scene");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(dir + "/new.cloud"), "TOLA_Cloud_Layer_File_V1.1\n0 clouds_in_file\n");

    std::ofstream(dir + "/bad.scene") << "ADDFEATURELAYER \"Clouds\" \"sky.cloud\" ;\nSAVE LAYER 2;\n";
    r = cloudview("run " + dir + "/bad.scene");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("bad.scene:2: no layer 2"), std::string::npos) << r.err;
}
