// The layer file: what the writer puts down byte for byte, what the reader
// makes of good, old, odd and damaged files, the save and scene-script
// entries, and a read under every single allocation failure.
#include <gtest/gtest.h>

#include "support/test_util.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "files/layer_file.h"
#include "hlib.h"
#include "plugin/records.h"
#include "support/gl_env.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"
#include "viewer/hlib/heap_debug.h"
#include "viewer/hvislib/journal.h"
#include "viewer/hvislib/questions.h"

namespace {

const char *const kDefaultLayer =
    "TOLA_Cloud_Layer_File_V1.1\n"
    "1 clouds_in_file\n"
    "Cloud_0\n"
    "0.300000 0.520000 1.000000 41.000000 0.350000\n"
    "10 0 0 32 1\n"
    "0.000000 0.000000 0.000000 20000.000000 -20000.000000 5000.000000\n"
    "50 50 20 1.000000 1.000000 1.000000\n"
    "678269.000000 1.000000\n";

// A folder of its own for each test, removed with everything in it.
class LayerFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        testGL();
        char pattern[] = "/tmp/layer_file_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        liveBefore_ = hmsc_HeapLiveBlocks();
    }
    void TearDown() override
    {
        EXPECT_EQ(hmsc_HeapLiveBlocks(), liveBefore_) << "heap blocks leaked";
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    std::string dir_;
    size_t liveBefore_ = 0;
};

void writeText(const std::string &name, const std::string &text)
{
    std::ofstream out(name, std::ios::binary);
    out << text;
}

std::vector<CloudRecord *> members(CloudRecord *head)
{
    std::vector<CloudRecord *> out;
    for (CloudRecord *c = head; c; c = c->next)
        out.push_back(c);
    return out;
}

// Read a file and keep its clouds as values (textures freed at once).
struct ReadResult {
    std::vector<CloudRecord> clouds;
    std::vector<bool> baked;
};
ReadResult readClouds(const std::string &name)
{
    ReadResult r;
    CloudRecord *head = cloudFileRead(name.c_str());
    for (CloudRecord *c : members(head)) {
        r.clouds.push_back(*c);
        r.baked.push_back(c->hTextures != nullptr && c->vTextures != nullptr);
    }
    cloudListFree(head);
    return r;
}

CloudRecord defaults()
{
    CloudRecord c{};
    cloudRecordSetDefaults(&c);
    return c;
}

// Every stored parameter equal (the link and stacks are not parameters).
void expectSameParameters(const CloudRecord &a, const CloudRecord &b, const std::string &what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(a.density, b.density);
    EXPECT_EQ(a.cluster, b.cluster);
    EXPECT_EQ(a.detail, b.detail);
    EXPECT_EQ(a.zoom, b.zoom);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.layers, b.layers);
    EXPECT_EQ(a.panx, b.panx);
    EXPECT_EQ(a.pany, b.pany);
    EXPECT_EQ(a.xposition, b.xposition);
    EXPECT_EQ(a.yposition, b.yposition);
    EXPECT_EQ(a.zposition, b.zposition);
    EXPECT_EQ(a.xsize, b.xsize);
    EXPECT_EQ(a.ysize, b.ysize);
    EXPECT_EQ(a.zsize, b.zsize);
    EXPECT_EQ(a.xslice, b.xslice);
    EXPECT_EQ(a.yslice, b.yslice);
    EXPECT_EQ(a.zslice, b.zslice);
    EXPECT_EQ(a.texsize, b.texsize);
    EXPECT_EQ(a.symmetric, b.symmetric);
    EXPECT_EQ(a.bottomscale, b.bottomscale);
    EXPECT_EQ(a.seed, b.seed);
    EXPECT_EQ(a.red, b.red);
    EXPECT_EQ(a.green, b.green);
    EXPECT_EQ(a.blue, b.blue);
}

// What six decimals leave of a value, read back into its own type.
float six(float v)
{
    char text[512];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
    return std::strtof(text, nullptr);
}
double six(double v)
{
    char text[512];
    std::snprintf(text, sizeof text, "%f", v);
    return std::strtod(text, nullptr);
}

CloudRecord rounded(const CloudRecord &c)
{
    CloudRecord r = c;
    for (float *f : {&r.density, &r.cluster, &r.detail, &r.zoom, &r.height, &r.bottomscale,
                     &r.red, &r.green, &r.blue})
        *f = six(*f);
    for (double *d : {&r.xposition, &r.yposition, &r.zposition, &r.xsize, &r.ysize, &r.zsize,
                      &r.seed})
        *d = six(*d);
    r.symmetric = 1;
    return r;
}

// Three clouds unlike the defaults and unlike each other.
std::vector<CloudRecord> sampleClouds()
{
    std::vector<CloudRecord> v(3, defaults());
    v[0].density = 0.123456789f;
    v[0].cluster = 0.61f;
    v[0].detail = 3.0f;
    v[0].zoom = 17.5f;
    v[0].height = 0.42f;
    v[0].layers = 4;
    v[0].panx = -12;
    v[0].pany = 30;
    v[0].texsize = 8;
    v[0].xposition = 12345.6789012;
    v[0].yposition = -0.0000004;
    v[0].zposition = 1500.25;
    v[0].xsize = 300.5;
    v[0].ysize = -412.1234567;
    v[0].zsize = 99.0;
    v[0].xslice = 3;
    v[0].yslice = 4;
    v[0].zslice = 5;
    v[0].seed = 4242.4242424;
    v[0].bottomscale = 0.75f;
    v[0].red = 0.9f;
    v[0].green = 0.1f;
    v[0].blue = 0.333333333f;
    v[1].seed = 1.0;
    v[1].texsize = 16;
    v[1].layers = 16;
    v[1].symmetric = 0;  // written as held, read back as 1
    v[2].xposition = -98765.4321;
    v[2].zoom = 255.0f;
    v[2].texsize = 4;
    v[2].layers = 1;
    for (size_t i = 0; i + 1 < v.size(); ++i)
        v[i].next = &v[i + 1];
    v.back().next = nullptr;
    return v;
}

}  // namespace

// ---- Writing ----

TEST_F(LayerFile, DefaultCloudIsWrittenAsTheEightDocumentedLines)
{
    CloudRecord c = defaults();
    c.next = nullptr;
    const std::string name = path("default.cloud");
    EXPECT_NE(cloudFileWrite(&c, name.c_str()), 0);
    EXPECT_EQ(readFile(name), kDefaultLayer);
}

TEST_F(LayerFile, EmptyLayerWritesExactlyTwoLines)
{
    const std::string name = path("empty.cloud");
    EXPECT_NE(cloudFileWrite(nullptr, name.c_str()), 0);
    EXPECT_EQ(readFile(name), "TOLA_Cloud_Layer_File_V1.1\n0 clouds_in_file\n");
    // Read back: no blocks, no clouds.
    EXPECT_EQ(cloudFileRead(name.c_str()), nullptr);
}

TEST_F(LayerFile, WriterFailsWithoutAFileAndReportsWhy)
{
    CloudRecord c = defaults();
    c.next = nullptr;
    HErrorSlot err = nullptr;
    EXPECT_EQ(cloudFileWrite(&c, path("no/such/folder.cloud").c_str(), &err), 0);
    EXPECT_NE(err, nullptr);
    EXPECT_EQ(cloudFileWrite(&c, nullptr), 0);
}

// ---- Reading ----

TEST_F(LayerFile, RoundTripKeepsOrderSixDecimalsAndSigns)
{
    std::vector<CloudRecord> written = sampleClouds();
    const std::string first = path("first.cloud"), second = path("second.cloud");
    ASSERT_NE(cloudFileWrite(written.data(), first.c_str()), 0);

    CloudRecord *head = cloudFileRead(first.c_str());
    const std::vector<CloudRecord *> read = members(head);
    ASSERT_EQ(read.size(), written.size());
    for (size_t i = 0; i < read.size(); ++i) {
        expectSameParameters(*read[i], rounded(written[i]), "cloud " + std::to_string(i));
        EXPECT_NE(read[i]->hTextures, nullptr) << "cloud " << i << " not baked";
        EXPECT_NE(read[i]->vTextures, nullptr) << "cloud " << i << " not baked";
    }
    EXPECT_EQ(read[0]->ysize, -412.123457);
    EXPECT_EQ(read[1]->symmetric, 1);

    // What was read writes the same text again, and reads the same again.
    ASSERT_NE(cloudFileWrite(head, second.c_str()), 0);
    cloudListFree(head);
    const std::string text = readFile(second);
    std::string expected = readFile(first);
    const size_t sym = expected.find("16 0 0 16 0\n");  // cloud 1's symmetric 0 ...
    ASSERT_NE(sym, std::string::npos);
    expected.replace(sym, 12, "16 0 0 16 1\n");          // ... reads back as 1
    EXPECT_EQ(text, expected);
}

TEST_F(LayerFile, DefaultLayerReadsAsTheDefaults)
{
    const std::string name = path("default.cloud");
    writeText(name, kDefaultLayer);
    const ReadResult r = readClouds(name);
    ASSERT_EQ(r.clouds.size(), 1u);
    expectSameParameters(r.clouds[0], defaults(), "default cloud");
    EXPECT_TRUE(r.baked[0]);
}

TEST_F(LayerFile, VersionsAndMagic)
{
    const std::string body =
        " 1 clouds_in_file\nCloud_0\n"
        "0.300000 0.480000 1.000000 41.000000 0.350000\n"
        "10 0 0 32 0\n"
        "0.000000 0.000000 0.000000 20000.000000 -20000.000000 5000.000000\n"
        "50 50 20 1.000000 1.000000 1.000000\n"
        "678269.000000 1.000000\n";
    // V1.0 stores the complement of cluster.
    writeText(path("v10.cloud"), "TOLA_Cloud_Layer_File_V1.0\n" + body);
    ReadResult r = readClouds(path("v10.cloud"));
    ASSERT_EQ(r.clouds.size(), 1u);
    EXPECT_EQ(r.clouds[0].cluster, 1.0f - 0.48f);
    EXPECT_NEAR(r.clouds[0].cluster, 0.52f, 1e-6f);
    // A symmetric of 0 in the file still reads as 1.
    EXPECT_EQ(r.clouds[0].symmetric, 1);

    // V1.1 and any foreign first word: cluster as written.
    for (const char *magic : {"TOLA_Cloud_Layer_File_V1.1", "TOLA_Cloud_Layer_File_V1.0x",
                              "tola_cloud_layer_file_v1.0", "hello"}) {
        writeText(path("other.cloud"), std::string(magic) + "\n" + body);
        r = readClouds(path("other.cloud"));
        ASSERT_EQ(r.clouds.size(), 1u) << magic;
        EXPECT_EQ(r.clouds[0].cluster, 0.48f) << magic;
        EXPECT_EQ(r.clouds[0].symmetric, 1) << magic;
    }
}

TEST_F(LayerFile, BlockNamesAreNotLookedAt)
{
    CloudRecord a = defaults(), b = defaults();
    a.seed = 11.0;
    b.seed = 22.0;
    a.next = &b;
    b.next = nullptr;
    const std::string good = path("good.cloud"), odd = path("odd.cloud");
    ASSERT_NE(cloudFileWrite(&a, good.c_str()), 0);
    std::string text = readFile(good);
    text.replace(text.find("Cloud_0"), 7, "Cloud_3");
    text.replace(text.find("Cloud_1"), 7, "Claud_O");
    writeText(odd, text);
    const ReadResult r = readClouds(odd);
    ASSERT_EQ(r.clouds.size(), 2u);
    EXPECT_EQ(r.clouds[0].seed, 11.0);  // file order, whatever the names say
    EXPECT_EQ(r.clouds[1].seed, 22.0);
}

TEST_F(LayerFile, MissingBlocksReadAsDefaults)
{
    std::string text = kDefaultLayer;
    text.replace(text.find("1 clouds_in_file"), 16, "3 clouds_in_file");
    text.replace(text.find("678269.000000"), 13, "5.000000");
    writeText(path("short.cloud"), text);
    const ReadResult r = readClouds(path("short.cloud"));
    ASSERT_EQ(r.clouds.size(), 3u);
    EXPECT_EQ(r.clouds[0].seed, 5.0);
    expectSameParameters(r.clouds[1], defaults(), "missing block 1");
    expectSameParameters(r.clouds[2], defaults(), "missing block 2");
    EXPECT_TRUE(r.baked[1] && r.baked[2]);

    // A block cut short keeps the defaults of what is missing.
    writeText(path("cut.cloud"), "TOLA_Cloud_Layer_File_V1.1\n1 clouds_in_file\nCloud_0\n"
                                 "0.5 0.6 2.0\n");
    const ReadResult cut = readClouds(path("cut.cloud"));
    ASSERT_EQ(cut.clouds.size(), 1u);
    CloudRecord want = defaults();
    want.density = 0.5f;
    want.cluster = 0.6f;
    want.detail = 2.0f;
    expectSameParameters(cut.clouds[0], want, "cut block");
}

TEST_F(LayerFile, AFieldThatDoesNotConvertKeepsItsDefaultAndStopsItsLine)
{
    writeText(path("bad.cloud"), "TOLA_Cloud_Layer_File_V1.1\n1 clouds_in_file\nCloud_0\n"
                                 "0.5 oops 1.0 41.0 0.35\n"
                                 "4 0 0 8 1\n");
    const ReadResult r = readClouds(path("bad.cloud"));
    ASSERT_EQ(r.clouds.size(), 1u);
    CloudRecord want = defaults();
    want.density = 0.5f;  // the rest stays at its defaults: every later
                          // conversion stops at "oops"
    expectSameParameters(r.clouds[0], want, "bad field");
}

TEST_F(LayerFile, CountsThatDeclareNothing)
{
    for (const char *count : {"0", "-5", "many", ""}) {
        writeText(path("none.cloud"),
                  std::string("TOLA_Cloud_Layer_File_V1.1\n") + count +
                      " clouds_in_file\nCloud_0\n0.5 0.5 1 41 0.35\n");
        EXPECT_EQ(cloudFileRead(path("none.cloud").c_str()), nullptr) << "count " << count;
    }
    writeText(path("empty.cloud"), "");
    EXPECT_EQ(cloudFileRead(path("empty.cloud").c_str()), nullptr);
    EXPECT_EQ(cloudFileRead(path("missing.cloud").c_str()), nullptr);
}

TEST_F(LayerFile, CrLfReadsLikeLf)
{
    std::vector<CloudRecord> clouds = sampleClouds();
    ASSERT_NE(cloudFileWrite(clouds.data(), path("lf.cloud").c_str()), 0);
    std::string crlf;
    for (char ch : readFile(path("lf.cloud"))) {
        if (ch == '\n')
            crlf += '\r';
        crlf += ch;
    }
    writeText(path("crlf.cloud"), crlf);
    const ReadResult lf = readClouds(path("lf.cloud"));
    const ReadResult dos = readClouds(path("crlf.cloud"));
    ASSERT_EQ(lf.clouds.size(), 3u);
    ASSERT_EQ(dos.clouds.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        expectSameParameters(dos.clouds[i], lf.clouds[i], "cloud " + std::to_string(i));
}

// Words longer than the 99 characters kept are read past whole: the magic,
// the word after the count and a block name.
TEST_F(LayerFile, LongWordsAreReadPastWhole)
{
    const std::string text = kDefaultLayer;
    for (size_t length : {98u, 99u, 100u, 101u, 198u, 300u, 5000u}) {
        const std::string word(length, 'w');
        std::string t = text;
        t.replace(t.find("Cloud_0"), 7, word);
        t.replace(t.find("clouds_in_file"), 14, word);
        t.replace(0, std::strlen("TOLA_Cloud_Layer_File_V1.1"), word);
        t.replace(t.find("678269.000000"), 13, "77.000000");
        writeText(path("long.cloud"), t);
        const ReadResult r = readClouds(path("long.cloud"));
        ASSERT_EQ(r.clouds.size(), 1u) << "word of " << length;
        CloudRecord want = defaults();
        want.seed = 77.0;
        expectSameParameters(r.clouds[0], want, "word of " + std::to_string(length));
    }
}

TEST_F(LayerFile, HugeCountsAreCapped)
{
    EXPECT_EQ(cloudFileCloudLimit, CLOUD_FILE_MAX_CLOUDS);
    const int32_t saved = cloudFileCloudLimit;
    cloudFileCloudLimit = 5;
    std::string text = kDefaultLayer;
    text.replace(text.find("1 clouds_in_file"), 16, "2147483647 clouds_in_file");
    writeText(path("huge.cloud"), text);
    const ReadResult r = readClouds(path("huge.cloud"));
    cloudFileCloudLimit = saved;
    // Up to the cap the declared count holds: one block read, four defaults.
    ASSERT_EQ(r.clouds.size(), 5u);
    for (const CloudRecord &c : r.clouds)
        expectSameParameters(c, defaults(), "capped");

    // A count at the cap is not cut.
    cloudFileCloudLimit = 3;
    text = kDefaultLayer;
    text.replace(text.find("1 clouds_in_file"), 16, "3 clouds_in_file");
    writeText(path("three.cloud"), text);
    const ReadResult three = readClouds(path("three.cloud"));
    cloudFileCloudLimit = saved;
    EXPECT_EQ(three.clouds.size(), 3u);
}

// Values that cannot be baked or drawn are kept as read, so that a save
// gives them back unchanged; the cloud simply has no textures.
TEST_F(LayerFile, UnusableValuesAreKeptAsRead)
{
    const std::string blocks[] = {
        "0.3 0.52 1 41 0.35\n0 0 0 32 1\n0 0 0 1 1 1\n0 -1 2 1 1 1\n1 1\n",        // layers 0
        "0.3 0.52 1 41 0.35\n10 0 0 -8 1\n0 0 0 1 1 1\n50 50 20 1 1 1\n1 1\n",     // texsize -8
        "0.3 0.52 1 41 0.35\n10 0 0 1000000 1\n0 0 0 1 1 1\n50 50 20 1 1 1\n1 1\n", // too large
        "0.3 0.52 1e30 -41 7\n99999 0 0 32 1\n0 0 0 1 1 1\n50 50 20 1 1 1\n1 1\n",  // layers huge
    };
    std::string text = "TOLA_Cloud_Layer_File_V1.1\n4 clouds_in_file\n";
    for (int i = 0; i < 4; ++i)
        text += "Cloud_" + std::to_string(i) + "\n" + blocks[i];
    writeText(path("odd.cloud"), text);

    CloudRecord *head = cloudFileRead(path("odd.cloud").c_str());
    const std::vector<CloudRecord *> read = members(head);
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[0]->layers, 0);
    EXPECT_EQ(read[0]->xslice, 0);
    EXPECT_EQ(read[0]->yslice, -1);
    EXPECT_EQ(read[1]->texsize, -8);
    EXPECT_EQ(read[2]->texsize, 1000000);
    EXPECT_EQ(read[3]->layers, 99999);
    EXPECT_EQ(read[3]->detail, 1e30f);
    for (CloudRecord *c : read) {
        EXPECT_EQ(c->hTextures, nullptr);
        EXPECT_EQ(c->vTextures, nullptr);
    }
    ASSERT_NE(cloudFileWrite(head, path("again.cloud").c_str()), 0);
    cloudListFree(head);
    const std::string again = readFile(path("again.cloud"));
    EXPECT_NE(again.find("0 0 0 32 1\n"), std::string::npos);
    EXPECT_NE(again.find("0 -1 2 1.000000 1.000000 1.000000\n"), std::string::npos);
    EXPECT_NE(again.find("10 0 0 -8 1\n"), std::string::npos);
    EXPECT_NE(again.find("10 0 0 1000000 1\n"), std::string::npos);
    EXPECT_NE(again.find("99999 0 0 32 1\n"), std::string::npos);
    EXPECT_NE(again.find("-41.000000 7.000000\n"), std::string::npos);
}

// Every allocation of a two-cloud read fails once in turn: the read never
// crashes, returns at most what it could make (a record that cannot be
// allocated ends it), and freeing what it returned gives every block back.
TEST_F(LayerFile, EveryAllocationFailureOfAReadIsSurvived)
{
    std::string text = "TOLA_Cloud_Layer_File_V1.1\n2 clouds_in_file\n";
    for (int i = 0; i < 2; ++i)
        text += "Cloud_" + std::to_string(i) +
                "\n0.3 0.52 1 41 0.35\n2 0 0 4 1\n0 0 0 1 1 1\n1 1 1 1 1 1\n" +
                std::to_string(100 + i) + " 1\n";
    const std::string name = path("two.cloud");
    writeText(name, text);

    const unsigned long start = hmsc_HeapAllocationCount();
    CloudRecord *head = cloudFileRead(name.c_str());
    const unsigned long attempts = hmsc_HeapAllocationCount() - start;
    ASSERT_EQ(members(head).size(), 2u);
    cloudListFree(head);
    ASSERT_GT(attempts, 4u);

    bool sawOne = false, sawNone = false;
    for (unsigned long n = 1; n <= attempts; ++n) {
        const size_t live = hmsc_HeapLiveBlocks();
        hmsc_HeapFailAfter(static_cast<long>(n));
        head = cloudFileRead(name.c_str());
        hmsc_HeapFailAfter(0);
        const std::vector<CloudRecord *> got = members(head);
        EXPECT_LE(got.size(), 2u) << "failing allocation " << n;
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i]->seed, 100.0 + i) << "failing allocation " << n;
        sawOne = sawOne || got.size() == 1;
        sawNone = sawNone || got.empty();
        cloudListFree(head);
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << "failing allocation " << n;
    }
    EXPECT_TRUE(sawOne) << "no failure ended the read after the first cloud";
    EXPECT_TRUE(sawNone) << "no failure left the read empty";
}

// ---- The layer's save and scene-script entries ----

namespace {

struct TestLayer {
    CloudLayer layer{};
    HLayerMethods methods{};
    HLayer host{};
    std::vector<std::string> argText;
    std::vector<char *> argPointers;

    explicit TestLayer(const std::string *fileName, std::vector<std::string> args = {})
        : argText(std::move(args))
    {
        layer.fileName = fileName ? const_cast<char *>(fileName->c_str()) : nullptr;
        for (std::string &a : argText)
            argPointers.push_back(a.data());
        layer.argCount = static_cast<int32_t>(argPointers.size());
        layer.args = argPointers.empty() ? nullptr : argPointers.data();
        layer.visible = 1;
        host.instance = &layer;
        host.methods = &methods;
    }
};

std::string featureLine(TestLayer &t, const std::string &streamName)
{
    HErrorSlot err = nullptr;
    HFile *stream = hfio_Open(streamName.c_str(), "w", &err);
    EXPECT_NE(stream, nullptr);
    if (!stream)
        return {};
    cloudLayerWriteFeatureLine(&t.host, stream);
    EXPECT_NE(hfio_Close(stream, &err), 0);
    return readFile(streamName);
}

std::vector<std::string> errorReports()
{
    std::vector<std::string> out;
    for (const std::string &entry : host::journal())
        if (entry.rfind("error: ", 0) == 0)
            out.push_back(entry);
    return out;
}

}  // namespace

TEST_F(LayerFile, SaveWritesTheLayerAndClearsDirty)
{
    const std::string name = path("sky.cloud");
    TestLayer t(&name);
    CloudRecord c = defaults();
    c.next = nullptr;
    t.layer.clouds = &c;
    t.layer.dirty = 1;
    EXPECT_NE(cloudLayerSave(&t.host), 0);
    EXPECT_EQ(t.layer.dirty, 0);
    EXPECT_EQ(readFile(name), kDefaultLayer);
}

TEST_F(LayerFile, SaveWithoutAFileNameWritesNothingAndSaysSo)
{
    TestLayer t(nullptr);
    t.layer.dirty = 1;
    host::journalClear();
    EXPECT_EQ(cloudLayerSave(&t.host), 0);
    EXPECT_EQ(t.layer.dirty, 1);
    ASSERT_EQ(errorReports().size(), 1u);
    EXPECT_NE(errorReports()[0].find("no file name"), std::string::npos) << errorReports()[0];
}

// A save that cannot be opened, or whose writing fails, returns 0, leaves
// the old file as it was, keeps the layer dirty and tells the user.
TEST_F(LayerFile, FailedSavesAreReportedAndKeepTheOldFileAndDirty)
{
    // Beside a 250-character name there is no room for the temporary file.
    const std::string name = path(std::string(250, 'n'));
    writeText(name, "old contents\n");
    TestLayer t(&name);
    CloudRecord c = defaults();
    c.next = nullptr;
    t.layer.clouds = &c;
    t.layer.dirty = 1;
    host::journalClear();
    EXPECT_EQ(cloudLayerSave(&t.host), 0);
    EXPECT_EQ(t.layer.dirty, 1);
    EXPECT_EQ(readFile(name), "old contents\n");
    std::vector<std::string> reports = errorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(std::string(250, 'n')), std::string::npos) << reports[0];

    // Writing fails at close: the file size limit stops the data.
    const std::string small = path("small.cloud");
    writeText(small, "old contents\n");
    TestLayer u(&small);
    std::vector<CloudRecord> many(200, defaults());
    for (size_t i = 0; i + 1 < many.size(); ++i)
        many[i].next = &many[i + 1];
    many.back().next = nullptr;
    u.layer.clouds = many.data();
    u.layer.dirty = 1;
    host::journalClear();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const int32_t result = cloudLayerSave(&u.host);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(u.layer.dirty, 1);
    EXPECT_EQ(readFile(small), "old contents\n");
    reports = errorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("small.cloud"), std::string::npos) << reports[0];
    // Nothing was left behind beside it.
    EXPECT_EQ(std::system(("test $(ls '" + dir_ + "' | wc -l) -eq 2").c_str()), 0);
}

TEST_F(LayerFile, FeatureLineListsTheArgumentsAndSaves)
{
    const std::string name = path("sky");
    TestLayer t(&name, {"sky"});
    t.layer.dirty = 1;
    EXPECT_EQ(featureLine(t, path("scene1")), "\tADDFEATURELAYER \"Clouds\" \"sky\" ;\n");
    EXPECT_EQ(t.layer.dirty, 0);
    // The layer was saved first (it has no clouds: two lines).
    EXPECT_EQ(readFile(name), "TOLA_Cloud_Layer_File_V1.1\n0 clouds_in_file\n");

    TestLayer none(nullptr);
    EXPECT_EQ(featureLine(none, path("scene2")), "\tADDFEATURELAYER \"Clouds\" ;\n");

    // Arguments go out as they are, without escaping.
    TestLayer odd(&name, {"a b.cloud", "x\"y", "c:\\d"});
    EXPECT_EQ(featureLine(odd, path("scene3")),
              "\tADDFEATURELAYER \"Clouds\" \"a b.cloud\" \"x\"y\" \"c:\\d\" ;\n");
}

TEST_F(LayerFile, FeatureLineOfAFailedSaveKeepsDirty)
{
    const std::string name = path("no/such/folder.cloud");
    TestLayer t(&name, {"sky"});
    t.layer.dirty = 1;
    host::journalClear();
    EXPECT_EQ(featureLine(t, path("scene")), "\tADDFEATURELAYER \"Clouds\" \"sky\" ;\n");
    EXPECT_EQ(t.layer.dirty, 1);
    EXPECT_EQ(errorReports().size(), 1u);
}

// ---- Tables drawn lazily ----

namespace {

// Every texture of every cloud the file gives, read back from GL.
std::vector<std::vector<uint8_t>> bakedTextures(const std::string &name)
{
    std::vector<std::vector<uint8_t>> out;
    CloudRecord *head = cloudFileRead(name.c_str());
    for (CloudRecord *c : members(head)) {
        if (!c->hTextures)
            continue;
        for (int32_t k = 0; k < c->layers; ++k) {
            out.push_back(readLuminanceTexture(c->hTextures[k].texName));
            out.push_back(readLuminanceTexture(c->vTextures[k].texName));
        }
    }
    cloudListFree(head);
    return out;
}

}  // namespace

// Opening draws only the table columns each bake reads; the textures are
// those of tables drawn in full, bit for bit, whatever the seeds, zooms,
// octaves and sizes, with the dialog's last pan in force, and with clouds
// sharing a seed in between.
TEST_F(LayerFile, LazyTablesBakeTheTexturesOfWholeTables)
{
    std::vector<CloudRecord> clouds = sampleClouds();
    const float zooms[] = {41.0f, 0.0f, 3.5f, 97.25f, 128.0f, 41.0f, 255.0f, 12.0f};
    for (int i = 0; i < 8; ++i) {
        CloudRecord c = defaults();
        c.seed = i == 5 ? 678269.0 : 1000.0 + 77.0 * i;  // 5 shares the default's seed
        c.zoom = zooms[i];
        c.detail = static_cast<float>(1 + i % 3);
        c.texsize = i % 2 ? 32 : 16;
        c.layers = 3 + i;
        clouds.push_back(c);
    }
    for (size_t i = 0; i + 1 < clouds.size(); ++i)
        clouds[i].next = &clouds[i + 1];
    clouds.back().next = nullptr;
    const std::string name = path("many.cloud");
    ASSERT_NE(cloudFileWrite(clouds.data(), name.c_str()), 0);

    noiseState.offsetX = -37;
    noiseState.offsetY = 301;
    noiseTableDrawsAll = true;
    const auto whole = bakedTextures(name);
    noiseTableDrawsAll = false;
    const auto lazy = bakedTextures(name);
    noiseState.offsetX = noiseState.offsetY = 0;
    ASSERT_EQ(whole.size(), 2u * (4 + 16 + 1 + 3 + 4 + 5 + 6 + 7 + 8 + 9 + 10));
    EXPECT_TRUE(whole == lazy);
}

// ---- The texture budget of a layer ----

// What a cloud's textures count against the layer's budget: whole pages.
TEST_F(LayerFile, TextureBytesCountWholePages)
{
    CloudRecord c = defaults();
    EXPECT_EQ(cloudTexturesBytes(c), 20 * 4096);  // 32 × 32 is 1 KiB, a page each
    c.texsize = 64;
    c.layers = 2;
    EXPECT_EQ(cloudTexturesBytes(c), 4 * 4096);
    c.texsize = 65;  // 4,225 bytes: two pages
    EXPECT_EQ(cloudTexturesBytes(c), 4 * 2 * 4096);
    c.texsize = 1;
    c.layers = 256;
    EXPECT_EQ(cloudTexturesBytes(c), 512 * 4096);
    c.texsize = 1024;
    c.layers = 32;
    EXPECT_EQ(cloudTexturesBytes(c), 64ll << 20);
    c.layers = 33;  // past the per-cloud bound: no textures, nothing counted
    EXPECT_EQ(cloudTexturesBytes(c), 0);
    c.layers = 0;
    EXPECT_EQ(cloudTexturesBytes(c), 0);

    // The layer budget holds the largest layer a file may declare at the
    // defaults, and no more than 16 clouds of the largest textures.
    EXPECT_EQ(cloudFileTextureBudget, CLOUD_LAYER_TEXTURE_BUDGET);
    EXPECT_LE(CLOUD_FILE_MAX_CLOUDS * cloudTexturesBytes(defaults()), CLOUD_LAYER_TEXTURE_BUDGET);
    EXPECT_EQ(CLOUD_LAYER_TEXTURE_BUDGET / (64ll << 20), 16);
}

// Clouds are baked in file order while their textures fit the budget; the
// others keep their parameters and no textures, and the user is told once.
TEST_F(LayerFile, CloudsPastTheTextureBudgetKeepNoTexturesAndAreReportedOnce)
{
    const std::string big = "0.3 0.52 1 41 0.35\n10 0 0 32 1\n0 0 0 1 1 1\n50 50 20 1 1 1\n";
    const std::string small = "0.3 0.52 1 41 0.35\n1 0 0 4 1\n0 0 0 1 1 1\n50 50 20 1 1 1\n";
    // 80 KiB, 80 KiB, 80 KiB, 8 KiB, 80 KiB against 168 KiB.
    const std::string *blocks[] = {&big, &big, &big, &small, &big};
    std::string text = "TOLA_Cloud_Layer_File_V1.1\n5 clouds_in_file\n";
    for (int i = 0; i < 5; ++i)
        text += "Cloud_" + std::to_string(i) + "\n" + *blocks[i] + std::to_string(10 + i) + " 1\n";
    const std::string name = path("budget.cloud");
    writeText(name, text);

    const int64_t saved = cloudFileTextureBudget;
    cloudFileTextureBudget = 168 * 1024;
    host::journalClear();
    const size_t limits = host::reportCount(HERR_LIMIT);
    const size_t damaged = host::reportCount(HERR_DAMAGED);
    const ReadResult r = readClouds(name);
    cloudFileTextureBudget = saved;
    // A limit reached, not damage: saving what was read loses nothing.
    EXPECT_EQ(host::reportCount(HERR_LIMIT), limits + 1);
    EXPECT_EQ(host::reportCount(HERR_DAMAGED), damaged);

    ASSERT_EQ(r.clouds.size(), 5u);
    const std::vector<bool> baked = {true, true, false, true, false};
    EXPECT_EQ(r.baked, baked);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(r.clouds[i].seed, 10.0 + i);
    EXPECT_EQ(r.clouds[2].texsize, 32);
    const std::vector<std::string> reports = errorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "error: " + name +
                              ": 2 of 5 clouds are not drawn: their textures would take the "
                              "layer past its texture memory budget of 168 KiB");

    // Within the budget nothing is said.
    host::journalClear();
    const ReadResult fits = readClouds(name);
    EXPECT_EQ(fits.baked, std::vector<bool>(5, true));
    EXPECT_TRUE(errorReports().empty());
}
