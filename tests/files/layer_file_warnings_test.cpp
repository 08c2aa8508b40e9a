// The layer file reader's warnings: damage, a short file, a file that is
// not a layer file. Each is one report through the host, with its text; a
// good file reads without one; and watching for them never changes what is
// read (compared against the plain formatted reads, line by line).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "files/layer_file.h"
#include "hlib.h"
#include "plugin/records.h"
#include "support/gl_env.h"
#include "viewer/hvislib/journal.h"
#include "viewer/hvislib/questions.h"

namespace {

const char *const kTwoClouds =
    "TOLA_Cloud_Layer_File_V1.1\n"
    "2 clouds_in_file\n"
    "Cloud_0\n"
    "0.550000 1.000000 1.000000 14.000000 0.370000\n"
    "4 0 0 8 1\n"
    "30000.000000 62000.000000 5200.000000 16000.000000 -13000.000000 2600.000000\n"
    "5 5 2 1.000000 0.800000 0.900000\n"
    "12938.000000 1.000000\n"
    "Cloud_1\n"
    "0.400000 0.480000 1.000000 41.000000 0.350000\n"
    "4 0 0 8 1\n"
    "68000.000000 40000.000000 4600.000000 18000.000000 -15000.000000 2800.000000\n"
    "5 5 2 1.000000 1.000000 1.000000\n"
    "777.000000 1.000000\n";

// The text with the first `what` replaced by `with`.
std::string replaced(std::string text, const std::string &what, const std::string &with)
{
    const size_t at = text.find(what);
    if (at != std::string::npos)
        text.replace(at, what.size(), with);
    return text;
}

// The parameters as the reader always read them: one formatted read per
// line, straight from the C library, without baking.
std::vector<CloudRecord> plainRead(const std::string &name)
{
    std::vector<CloudRecord> out;
    FILE *f = std::fopen(name.c_str(), "r");
    if (!f)
        return out;
    char word[100];
    if (std::fscanf(f, "%99s", word) != 1)
        word[0] = '\0';
    const bool v10 = std::string(word) == "TOLA_Cloud_Layer_File_V1.0";
    int n = 0;
    if (std::fscanf(f, "%d", &n) == 1)
        std::fscanf(f, "%99s", word);
    else
        n = 0;
    for (int i = 0; i < n && i < 50; ++i) {
        CloudRecord c{};
        cloudRecordSetDefaults(&c);
        std::fscanf(f, "%99s", word);
        std::fscanf(f, "%f %f %f %f %f\n", &c.density, &c.cluster, &c.detail, &c.zoom, &c.height);
        std::fscanf(f, "%d %d %d %d %d\n", &c.layers, &c.panx, &c.pany, &c.texsize, &c.symmetric);
        std::fscanf(f, "%lf %lf %lf %lf %lf %lf\n", &c.xposition, &c.yposition, &c.zposition,
                    &c.xsize, &c.ysize, &c.zsize);
        std::fscanf(f, "%d %d %d %f %f %f\n", &c.xslice, &c.yslice, &c.zslice, &c.red, &c.green,
                    &c.blue);
        std::fscanf(f, "%lf %f\n", &c.seed, &c.bottomscale);
        c.symmetric = 1;
        if (v10)
            c.cluster = 1.0f - c.cluster;
        out.push_back(c);
    }
    std::fclose(f);
    return out;
}

// Bit for bit, so that a nan read the same way compares equal.
template <typename T>
bool same(T a, T b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameParameters(const CloudRecord &a, const CloudRecord &b)
{
    return same(a.density, b.density) && same(a.cluster, b.cluster) && same(a.detail, b.detail) &&
           same(a.zoom, b.zoom) && same(a.height, b.height) && a.layers == b.layers &&
           a.panx == b.panx && a.pany == b.pany && a.texsize == b.texsize &&
           a.symmetric == b.symmetric && same(a.xposition, b.xposition) &&
           same(a.yposition, b.yposition) && same(a.zposition, b.zposition) &&
           same(a.xsize, b.xsize) && same(a.ysize, b.ysize) && same(a.zsize, b.zsize) &&
           a.xslice == b.xslice && a.yslice == b.yslice && a.zslice == b.zslice &&
           same(a.red, b.red) && same(a.green, b.green) && same(a.blue, b.blue) &&
           same(a.seed, b.seed) && same(a.bottomscale, b.bottomscale);
}

class LayerFileWarnings : public ::testing::Test {
protected:
    void SetUp() override
    {
        testGL();
        char pattern[] = "/tmp/layer_warnings_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        host::setReportsPrinted(false);
    }
    void TearDown() override
    {
        host::setReportsPrinted(true);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    // Writes the text, reads it, and returns the reports it made (without
    // the journal's "error: " prefix); the clouds read go to *clouds.
    std::vector<std::string> read(const std::string &text, std::vector<CloudRecord> *clouds = nullptr,
                                  const std::string &name = "t.cloud")
    {
        file_ = dir_ + "/" + name;
        std::ofstream(file_, std::ios::binary) << text;
        host::journalClear();
        CloudRecord *head = cloudFileRead(file_.c_str());
        for (CloudRecord *c = head; c; c = c->next)
            if (clouds)
                clouds->push_back(*c);
        cloudListFree(head);
        std::vector<std::string> reports;
        for (const std::string &entry : host::journal())
            if (entry.rfind("error: ", 0) == 0)
                reports.push_back(entry.substr(7));
        return reports;
    }
    // The reader's reports name the file as it was given.
    std::string named(const std::string &message, const std::string &name = "t.cloud") const
    {
        return dir_ + "/" + name + ": " + message;
    }

    std::string dir_, file_;
};

using Strings = std::vector<std::string>;

}  // namespace

TEST_F(LayerFileWarnings, GoodFilesReadWithoutAWord)
{
    EXPECT_EQ(read(kTwoClouds), Strings{});
    // CR LF line ends, no line feed at the end, V1.0, blanks and tabs.
    std::string crlf;
    for (char c : std::string(kTwoClouds))
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(read(crlf), Strings{});
    EXPECT_EQ(read(std::string(kTwoClouds).substr(0, std::string(kTwoClouds).size() - 1)), Strings{});
    EXPECT_EQ(read(replaced(kTwoClouds, "_V1.1", "_V1.0")), Strings{});
    EXPECT_EQ(read(replaced(kTwoClouds, "0.550000 1.000000", "0.55\t\t1")), Strings{});
    // What the writer writes for values outside every range reads back too.
    EXPECT_EQ(read(replaced(kTwoClouds, "0.550000 1.000000 1.000000", "nan -inf 1e30")), Strings{});
    // No blocks at all, and a layer file without clouds.
    EXPECT_EQ(read("TOLA_Cloud_Layer_File_V1.1\n0 clouds_in_file\n"), Strings{});
}

TEST_F(LayerFileWarnings, AValueThatDoesNotConvertIsNamedWithItsBlockAndText)
{
    const size_t damaged = host::reportCount(HERR_DAMAGED);
    EXPECT_EQ(read(replaced(kTwoClouds, "68000.000000", "6800O.000000")),
              Strings{named("Cloud_1: xposition \"6800O.000000\" is not a number; the values "
                            "after it may be wrong")});
    EXPECT_EQ(host::reportCount(HERR_DAMAGED), damaged + 1);

    // The block as written, a word from the start, an integer with a
    // fraction, the last field of a block, a sign alone.
    EXPECT_EQ(read(replaced(replaced(kTwoClouds, "Cloud_0", "cloud-zero"), "1.000000 1.000000 14",
                            "1.000000 abc 14")),
              Strings{named("cloud-zero: detail \"abc\" is not a number; the values after it may "
                            "be wrong")});
    EXPECT_EQ(read(replaced(kTwoClouds, "4 0 0 8 1", "4 0 0 8.5 1")),
              Strings{named("Cloud_0: texsize \"8.5\" is not a number; the values after it may be "
                            "wrong")});
    EXPECT_EQ(read(replaced(kTwoClouds, "777.000000 1.000000", "777.000000 1,0")),
              Strings{named("Cloud_1: bottomscale \"1,0\" is not a number; the values after it "
                            "may be wrong")});
    EXPECT_EQ(read(replaced(kTwoClouds, "5 5 2 1.000000 0.8", "5 - 2 1.000000 0.8")),
              Strings{named("Cloud_0: yslice \"-\" is not a number; the values after it may be "
                            "wrong")});
    EXPECT_EQ(read(replaced(kTwoClouds, "2 clouds_in_file", "two clouds_in_file")),
              Strings{named("cloud count \"two\" is not a number; the values after it may be "
                            "wrong")});
}

TEST_F(LayerFileWarnings, OnlyTheFirstDamageIsReported)
{
    // Everything after a typo reads out of step: one report, not dozens.
    const Strings reports = read(replaced(replaced(kTwoClouds, "30000.000000", "3OOOO.000000"),
                                          "777.000000", "x77"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], named("Cloud_0: xposition \"3OOOO.000000\" is not a number; the values "
                                "after it may be wrong"));
}

TEST_F(LayerFileWarnings, ALongBadValueIsQuotedShort)
{
    const std::string word(200, '7');
    const Strings reports = read(replaced(kTwoClouds, "12938.000000", word + "x"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], named("Cloud_0: seed \"" + std::string(60, '7') +
                                "...\" is not a number; the values after it may be wrong"));
}

TEST_F(LayerFileWarnings, AFileThatEndsEarlySaysHowFarItGot)
{
    std::string text = replaced(kTwoClouds, "2 clouds_in_file", "5 clouds_in_file");
    EXPECT_EQ(read(text), Strings{named("ends after 2 of 5 declared clouds; read as 5 clouds, the "
                                        "rest at their defaults")});
    // Cut inside the second block.
    text = std::string(kTwoClouds).substr(0, std::string(kTwoClouds).find("5 5 2 1.000000 1.000000"));
    EXPECT_EQ(read(text), Strings{named("ends after 1 of 2 declared clouds; read as 2 clouds, the "
                                        "rest at their defaults")});
    EXPECT_EQ(read("TOLA_Cloud_Layer_File_V1.1\n1 clouds_in_file\n"),
              Strings{named("ends after 0 of 1 declared clouds; read as 1 cloud, the rest at "
                            "their defaults")});
    // The warnings are not damage: convert goes on.
    const size_t damaged = host::reportCount(HERR_DAMAGED);
    read(text);
    EXPECT_EQ(host::reportCount(HERR_DAMAGED), damaged);
}

TEST_F(LayerFileWarnings, AFileThatIsNotALayerFileIsNamedByItsFirstLine)
{
    const size_t damaged = host::reportCount(HERR_DAMAGED);
    EXPECT_EQ(read("# Clouds\n\nProcedurally generated volumetric clouds 3.\n", nullptr, "README.md"),
              Strings{named("not a layer file (first line \"# Clouds\"); read as version 1.1, 0 "
                            "clouds",
                            "README.md")});
    EXPECT_EQ(host::reportCount(HERR_DAMAGED), damaged);  // the count's "Clouds" is no news
    EXPECT_EQ(read(""), Strings{named("not a layer file (it is empty); read as version 1.1, 0 clouds")});
    EXPECT_EQ(read("\n\n  \x01PNG\r\n"),
              Strings{named("not a layer file (first line \"?PNG\"); read as version 1.1, 0 clouds")});
    // A newer writer's magic with blocks that still read: one cloud, one warning.
    EXPECT_EQ(read(replaced(replaced(kTwoClouds, "_V1.1", "_V1.2"), "2 clouds", "1 clouds")),
              Strings{named("not a layer file (first line \"TOLA_Cloud_Layer_File_V1.2\"); read as "
                            "version 1.1, 1 cloud")});
}

// Watching for damage reads field by field; what it reads must be what the
// plain line-by-line reads give, for damaged and odd input alike.
TEST_F(LayerFileWarnings, WarningsNeverChangeWhatIsRead)
{
    const std::string inputs[] = {
        kTwoClouds,
        replaced(kTwoClouds, "30000.000000", "3OOOO.000000"),
        replaced(kTwoClouds, "0.550000 1.000000", "0.550000 oops"),
        replaced(kTwoClouds, "4 0 0 8 1", "4 0 0 8.5 1"),
        replaced(kTwoClouds, "4 0 0 8 1", "4 0 0 8"),          // a field missing
        replaced(kTwoClouds, "4 0 0 8 1", "4 0 0 8 1 9 9"),    // fields too many
        replaced(kTwoClouds, "12938.000000 1.000000", "-x 1e"),
        replaced(kTwoClouds, "5 5 2 1.000000 0.8", "5 5 2 1.5e 0.8"),
        replaced(kTwoClouds, "2 clouds_in_file", "2x clouds_in_file"),
        replaced(kTwoClouds, "2 clouds_in_file", "7 clouds_in_file"),
        replaced(kTwoClouds, "_V1.1", "_V1.0"),
        "hello 1 clouds_in_file Cloud_0 0.5 0.6 0.7",
    };
    for (const std::string &text : inputs) {
        std::vector<CloudRecord> clouds;
        read(text, &clouds);
        const std::vector<CloudRecord> want = plainRead(file_);
        ASSERT_EQ(clouds.size(), want.size()) << text;
        for (size_t i = 0; i < want.size(); ++i)
            EXPECT_TRUE(sameParameters(clouds[i], want[i])) << "cloud " << i << " of\n" << text;
    }
}
