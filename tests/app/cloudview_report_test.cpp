// What cloudview tells its user: the summary line of each command, the
// layer file's warnings, refusals (damaged input to convert, a render that
// is not a PNG, a layer file a script names but that does not exist), the
// usage on usage errors, and scenes that `render` only draws.
#include <gtest/gtest.h>

#include "support/test_util.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Said {
    int code = -1;
    std::string out, err;
};

std::string slurp(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class CloudviewSays : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/cloudview_says_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::ofstream(dir + "/sky.cloud") << readFile(EXAMPLES "/sky.cloud");
        // A typo of O for 0 in the second cloud's x position.
        std::string typo = readFile(EXAMPLES "/sky.cloud");
        size_t at = typo.find("Cloud_1");
        for (int line = 0; line < 3; ++line)  // name, shape, layers: then positions
            at = typo.find('\n', at) + 1;
        typo.replace(at, 1, "O");
        std::ofstream(dir + "/typo.cloud") << typo;
        typoText = typo.substr(at, typo.find(' ', at) - at);
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    Said cloudview(const std::string &args)
    {
        const std::string out = dir + "/.out", err = dir + "/.err";
        const int status = std::system(
            (std::string(CLOUDVIEW) + " " + args + " >" + out + " 2>" + err).c_str());
        Said r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }
    std::string file(const std::string &name) const { return dir + "/" + name; }
    bool exists(const std::string &name) const { return std::ifstream(file(name)).good(); }

    std::string dir, typoText;
};

}  // namespace

TEST_F(CloudviewSays, EachCommandEndsWithOneLineOfWhatItDid)
{
    Said r = cloudview("render " + file("sky.cloud") + " -o " + file("a.png") + " --size 64x48");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "wrote " + file("a.png") + ": 64x48 PNG, " +
                         std::to_string(readFile(file("a.png")).size()) + " bytes\n");
    EXPECT_EQ(r.err, "");

    r = cloudview("textures " + file("sky.cloud") + " -o " + file("tex"));
    ASSERT_EQ(r.code, 0) << r.err;
    // Five clouds of 16 layers, two stacks each.
    EXPECT_EQ(r.out, "wrote 160 textures of 5 clouds to " + file("tex") + "\n");

    r = cloudview("convert " + file("sky.cloud") + " -o " + file("copy.cloud"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "converted 5 clouds from " + file("sky.cloud") + " to " + file("copy.cloud") +
                         " (version 1.1)\n");

    std::ofstream(file("job.scene")) << "VIEW 200 12;\nADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                                        "RENDER \"job.png\" 16 12;\n";
    r = cloudview("run " + file("job.scene"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "ran " + file("job.scene") + ": 3 statements\n");
}

TEST_F(CloudviewSays, ADamagedValueIsAWarningThatConvertRefuses)
{
    const std::string warning = "cloudview: " + file("typo.cloud") + ": Cloud_1: xposition \"" +
                                typoText + "\" is not a number; the values after it may be wrong\n";
    ASSERT_EQ(typoText, "O8000.000000");

    Said r = cloudview("render " + file("typo.cloud") + " -o " + file("t.png") + " --size 32x24");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, warning);
    r = cloudview("textures " + file("typo.cloud") + " -o " + file("tex"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, warning);

    // Saving would make the damage permanent: the output stays as it was,
    // whether it is another file, absent, or the input itself.
    std::ofstream(file("old.cloud")) << "keep me";
    r = cloudview("convert " + file("typo.cloud") + " -o " + file("old.cloud"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, warning + "cloudview: " + file("typo.cloud") + ": damaged, not converted (" +
                         file("old.cloud") + " left as it was); correct the value named above first\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(file("old.cloud")), "keep me");
    EXPECT_EQ(cloudview("convert " + file("typo.cloud") + " -o " + file("new.cloud")).code, 2);
    EXPECT_FALSE(exists("new.cloud"));
    const std::string before = readFile(file("typo.cloud"));
    EXPECT_EQ(cloudview("convert " + file("typo.cloud") + " -o " + file("typo.cloud")).code, 2);
    EXPECT_EQ(readFile(file("typo.cloud")), before);
}

TEST_F(CloudviewSays, ShortAndForeignFilesConvertWithOneWarning)
{
    std::ofstream(file("README.md")) << "# Clouds\n\nProcedurally generated clouds.\n";
    Said r = cloudview("convert " + file("README.md") + " -o " + file("readme.cloud"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "cloudview: " + file("README.md") +
                         ": not a layer file (first line \"# Clouds\"); read as version 1.1, 0 clouds\n");
    EXPECT_EQ(readFile(file("readme.cloud")), "TOLA_Cloud_Layer_File_V1.1\n0 clouds_in_file\n");

    std::string text = readFile(EXAMPLES "/sky.cloud");
    text = text.substr(0, text.find("Cloud_2"));
    std::ofstream(file("short.cloud")) << text;
    r = cloudview("convert " + file("short.cloud") + " -o " + file("long.cloud"));
    EXPECT_EQ(r.code, 0) << r.err;
    // Said once, naming the input, though the output is read too.
    EXPECT_EQ(r.err, "cloudview: " + file("short.cloud") +
                         ": ends after 2 of 5 declared clouds; read as 5 clouds, the rest at their "
                         "defaults\n");
    EXPECT_NE(readFile(file("long.cloud")).find("5 clouds_in_file\n"), std::string::npos);
}

TEST_F(CloudviewSays, AScriptsMissingLayerFileIsAnErrorAndNothingIsWritten)
{
    std::ofstream(file("job.scene")) << "EXTENT 0 1 0 1 0 1;\n"
                                        "ADDFEATURELAYER \"Clouds\" \"skye.cloud\" ;\n"
                                        "WRITESCENE \"out.scene\";\n";
    for (const std::string &command : {"run " + file("job.scene"),
                                       "render " + file("job.scene") + " -o " + file("x.png")}) {
        const Said r = cloudview(command);
        EXPECT_EQ(r.code, 2) << command;
        EXPECT_EQ(r.err, "cloudview: " + file("job.scene") + ":2: skye.cloud: cannot open layer file\n")
            << command;
    }
    EXPECT_FALSE(exists("skye.cloud"));
    EXPECT_FALSE(exists("out.scene"));
    EXPECT_FALSE(exists("x.png"));
}

TEST_F(CloudviewSays, RendersArePngOnly)
{
    Said r = cloudview("render " + file("sky.cloud") + " -o " + file("out.jpg"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "cloudview: " + file("out.jpg") +
                         ": renders are written as PNG only; name the image *.png\n");
    EXPECT_FALSE(exists("out.jpg"));
    EXPECT_EQ(cloudview("render " + file("sky.cloud") + " -o " + file("png")).code, 2);
    EXPECT_EQ(cloudview("render " + file("sky.cloud") + " -o " + file("UP.PNG") + " --size 8x8").code, 0);

    std::ofstream(file("jpg.scene")) << "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\nRENDER \"a.jpg\";\n";
    r = cloudview("run " + file("jpg.scene"));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("a.jpg: renders are written as PNG only"), std::string::npos) << r.err;
    EXPECT_FALSE(exists("a.jpg"));
}

// render draws what the scene describes, as run's RENDER would, and
// leaves every statement that writes a file to run.
TEST_F(CloudviewSays, RenderOfAScriptOnlyDraws)
{
    const std::string before = readFile(file("sky.cloud"));
    std::ofstream(file("job.scene")) << "EXTENT 0 120000 0 100000 0 6000;\n"
                                        "ORIGIN 500 -300 0;\n"
                                        "VIEW 200 12;\n"
                                        "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                                        "RUN SCENE \"cloudupdate\" \"showproperties\";\n"
                                        "RENDER \"inner.png\" 48 32;\n"
                                        "SAVE LAYER 1;\n"
                                        "WRITESCENE \"written.scene\";\n";
    Said r = cloudview("render " + file("job.scene") + " -o " + file("outer.png") + " --size 48x32");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(exists("inner.png"));
    EXPECT_FALSE(exists("written.scene"));
    EXPECT_EQ(readFile(file("sky.cloud")), before);
    EXPECT_EQ(r.out, "wrote " + file("outer.png") + ": 48x32 PNG, " +
                         std::to_string(readFile(file("outer.png")).size()) + " bytes (4 statements of " +
                         file("job.scene") +
                         " not carried out: render draws the scene; cloudview run carries them out)\n");

    r = cloudview("run " + file("job.scene"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(file("inner.png")), readFile(file("outer.png")));
}

TEST_F(CloudviewSays, UsageErrorsNameTheProblemAndPrintTheUsage)
{
    Said r = cloudview("rendr " + file("sky.cloud"));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("cloudview: unknown command \"rendr\" (commands: render, run, textures, "
                          "convert, export, icon, open, weather)\n",
                          0),
              0u)
        << r.err;
    EXPECT_NE(r.err.find("Usage: cloudview"), std::string::npos) << r.err;
    r = cloudview("--plugin x.so rendr");
    EXPECT_NE(r.err.find("unknown command \"rendr\""), std::string::npos) << r.err;

    r = cloudview("render " + file("sky.cloud"));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("cloudview: --output is required\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Usage: render"), std::string::npos) << r.err;
    EXPECT_EQ(cloudview("").code, 1);
    EXPECT_EQ(cloudview("--help").code, 0);
}

TEST_F(CloudviewSays, AMissingSemicolonIsNamedAndNothingRuns)
{
    std::ofstream(file("typo.scene")) << "EXTENT 0 100000 0 100000 0 3000;\n"
                                         "WRITESCENE \"first.scene\";\n"
                                         "# the view\n\n\n"
                                         "VIEW 45 30\n"
                                         "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n";
    Said r = cloudview("run " + file("typo.scene"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "cloudview: " + file("typo.scene") +
                         ":6: VIEW takes 2 or 3 values; is a \";\" missing before line 7?\n");
    EXPECT_FALSE(exists("first.scene"));  // checked before the first statement runs

    std::ofstream(file("run.scene")) << "ADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                                        "RUN LAYER 1 \"cloudupdate\" \"apply\"\n"
                                        "  SAVE LAYER 1;\n";
    r = cloudview("run " + file("run.scene"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "cloudview: " + file("run.scene") +
                         ":2: RUN runs on into the next statement; is a \";\" missing before line 3?\n");
}

TEST_F(CloudviewSays, ViewSizeAndFoldersAreTakenAsWritten)
{
    // --view AZ,EL frames the layers as VIEW AZ EL does.
    std::ofstream(file("view.scene")) << "VIEW 45 30;\nADDFEATURELAYER \"Clouds\" \"sky.cloud\";\n"
                                         "RENDER \"scene.png\" 40 30;\n";
    ASSERT_EQ(cloudview("run " + file("view.scene")).code, 0);
    Said r = cloudview("render " + file("sky.cloud") + " -o " + file("flag.png") +
                       " --view 45,30 --size 40X30");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(file("flag.png")), readFile(file("scene.png")));
    EXPECT_EQ(cloudview("render " + file("sky.cloud") + " -o " + file("x.png") + " --view 45").code, 2);
    EXPECT_EQ(cloudview("render " + file("sky.cloud") + " -o " + file("x.png") + " --view 45,30,").code, 2);

    r = cloudview("textures " + file("sky.cloud") + " -o " + file("a/b/c"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(exists("a/b/c/cloud_4_v_15.pgm"));
    r = cloudview("textures " + file("sky.cloud") + " -o " + file("sky.cloud/t"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "cloudview: " + file("sky.cloud/t") +
                         ": cannot make the output folder: Not a directory\n");
}
