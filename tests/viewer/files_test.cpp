// Formatted files, above all the promise of a save: the old file stays as
// it was until the new one is complete, and no temporary file is left.
#include "hlib.h"
#include "viewer/hlib/error.h"
#include "viewer/hlib/heap_debug.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using Names = std::set<std::string>;

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "clouds-files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        name = (dir / "layer.cloud").string();
        write(name, "old\n");
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string read(const std::string &file) {
        std::ostringstream text;
        text << std::ifstream(file).rdbuf();
        return text.str();
    }
    static void write(const std::string &file, const char *text) { std::ofstream(file) << text; }
    // Everything in the folder, so that a stray temporary file shows.
    Names listing() const {
        Names names;
        for (const auto &entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }
    HFile *openToReplace() {
        HErrorSlot err = nullptr;
        HFile *out = hfio_Open(name.c_str(), "w", &err);
        EXPECT_NE(out, nullptr) << herr_Message(err);
        return out;
    }

    fs::path dir;
    std::string name; // dir/layer.cloud, holding "old\n" at the start
};

// Lowers the soft file size limit for its lifetime; SIGXFSZ is ignored so
// that an oversized write fails with EFBIG instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
        savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedHandler_);
    }

private:
    rlimit saved_;
    void (*savedHandler_)(int);
};

TEST_F(Files, WriteThenScanBack) {
    HFile *out = openToReplace();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(hfio_Fprintf(out, "%d %s\n", 3, "cumulus"), 10);
    EXPECT_EQ(hfio_Fprintf(out, "%d %s\n", -12, "stratus"), 12);
    HErrorSlot err = nullptr;
    EXPECT_EQ(hfio_Close(out, &err), 1) << herr_Message(err);
    EXPECT_EQ(read(name), "3 cumulus\n-12 stratus\n");

    HFile *in = hfio_Open(name.c_str(), "r", &err);
    ASSERT_NE(in, nullptr) << herr_Message(err);
    int number = 0;
    char word[32] = "";
    EXPECT_EQ(hfio_Fscanf(in, "%d %31s\n", &number, word), 2);
    EXPECT_EQ(hfio_Fscanf(in, "%d %31s\n", &number, word), 2);
    EXPECT_EQ(number, -12);
    EXPECT_STREQ(word, "stratus");
    EXPECT_EQ(hfio_Fscanf(in, "%d %31s\n", &number, word), EOF);
    EXPECT_EQ(hfio_Close(in, &err), 1);
    EXPECT_EQ(err, nullptr);
    EXPECT_EQ(listing(), Names{"layer.cloud"});
}

TEST_F(Files, OldFileStaysUntilCloseReplacesIt) {
    ASSERT_EQ(chmod(name.c_str(), 0640), 0);
    HFile *out = openToReplace();
    ASSERT_NE(out, nullptr);
    hfio_Fprintf(out, "new\n");
    EXPECT_EQ(read(name), "old\n") << "readers see the old file while the new one is written";
    EXPECT_EQ(hfio_Close(out, nullptr), 1);
    EXPECT_EQ(read(name), "new\n");
    struct stat info;
    ASSERT_EQ(stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "a replaced file keeps its permissions";
}

// A link names the file to replace, it is not the file: the target is
// written (beside itself, so the rename stays in its folder) and every link
// on the way stays a link.
TEST_F(Files, ASaveThroughLinksReplacesTheirTargetAndKeepsTheLinks) {
    fs::create_directory(dir / "real");
    write((dir / "real" / "sky.cloud").string(), "old\n");
    fs::create_symlink("real/sky.cloud", dir / "hop.cloud");  // relative to its folder
    fs::create_symlink(dir / "hop.cloud", dir / "link.cloud");
    const std::string link = (dir / "link.cloud").string();
    HErrorSlot err = nullptr;
    HFile *out = hfio_Open(link.c_str(), "w", &err);
    ASSERT_NE(out, nullptr) << herr_Message(err);
    hfio_Fprintf(out, "new\n");
    ASSERT_EQ(hfio_Close(out, &err), 1) << herr_Message(err);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_symlink(dir / "hop.cloud"));
    EXPECT_EQ(read((dir / "real" / "sky.cloud").string()), "new\n");
    EXPECT_EQ(listing(), (Names{"hop.cloud", "layer.cloud", "link.cloud", "real"}));
    Names real;
    for (const auto &entry : fs::directory_iterator(dir / "real"))
        real.insert(entry.path().filename().string());
    EXPECT_EQ(real, Names{"sky.cloud"}) << "no temporary file left beside the target";

    // A link to a file that is not there yet makes it where the link points.
    fs::create_symlink("real/new.cloud", dir / "dangling.cloud");
    out = hfio_Open((dir / "dangling.cloud").c_str(), "w", &err);
    ASSERT_NE(out, nullptr) << herr_Message(err);
    hfio_Fprintf(out, "made\n");
    ASSERT_EQ(hfio_Close(out, &err), 1) << herr_Message(err);
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.cloud"));
    EXPECT_EQ(read((dir / "real" / "new.cloud").string()), "made\n");

    // A loop of links is refused, naming the file, and nothing is written.
    fs::create_symlink("loop2.cloud", dir / "loop1.cloud");
    fs::create_symlink("loop1.cloud", dir / "loop2.cloud");
    EXPECT_EQ(hfio_Open((dir / "loop1.cloud").c_str(), "w", &err), nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find((dir / "loop1.cloud").string()),
              std::string::npos)
        << herr_Message(err);
}

TEST_F(Files, FailedWriteKeepsOldFile) {
    HFile *out = openToReplace();
    ASSERT_NE(out, nullptr);
    HErrorSlot err = nullptr;
    {
        FileSizeLimit limit(4096); // writes past 4 KiB fail, as on a full disk
        for (int line = 0; line < 1000; ++line)
            hfio_Fprintf(out, "%04d of a new file that will not fit\n", line);
        EXPECT_EQ(hfio_Close(out, &err), 0);
    }
    EXPECT_EQ(herr_Message(err), name + ": cannot write: " + std::strerror(EFBIG));
    EXPECT_EQ(read(name), "old\n");
    EXPECT_EQ(listing(), Names{"layer.cloud"});
}

TEST_F(Files, FailedRenameLeavesTargetAndNoTemporary) {
    HFile *out = openToReplace();
    ASSERT_NE(out, nullptr);
    hfio_Fprintf(out, "new\n");
    // The target turns into a folder while the save is under way: the
    // rename must fail and touch neither.
    fs::remove(name);
    fs::create_directory(name);
    write(name + "/inside", "kept\n");
    HErrorSlot err = nullptr;
    EXPECT_EQ(hfio_Close(out, &err), 0);
    EXPECT_NE(std::string(herr_Message(err)).find(name + ": cannot replace"), std::string::npos)
        << herr_Message(err);
    EXPECT_EQ(read(name + "/inside"), "kept\n");
    EXPECT_EQ(listing(), Names{"layer.cloud"});
}

TEST_F(Files, FailuresNameTheFileAndTheCause) {
    fs::create_directory(dir / "folder");
    const struct {
        std::string name;
        const char *mode, *cause;
    } cases[] = {
        {(dir / "missing/layer.cloud").string(), "w", std::strerror(ENOENT)},
        {(dir / "missing.cloud").string(), "r", std::strerror(ENOENT)},
        {(dir / "folder").string(), "w", std::strerror(EISDIR)},
        {name, "a", "mode"},
    };
    for (const auto &c : cases) {
        HErrorSlot err = nullptr;
        EXPECT_EQ(hfio_Open(c.name.c_str(), c.mode, &err), nullptr) << c.name;
        const std::string message = herr_Message(err);
        EXPECT_NE(message.find(c.name), std::string::npos) << message;
        EXPECT_NE(message.find(c.cause), std::string::npos) << message;
    }
    HErrorSlot err = nullptr;
    EXPECT_EQ(hfio_Close(nullptr, &err), 0);
    EXPECT_NE(err, nullptr);
    EXPECT_EQ(hfio_Fprintf(nullptr, "%d", 1), -1);
    EXPECT_EQ(listing(), (Names{"folder", "layer.cloud"}));
}

TEST_F(Files, EveryAllocationOfASaveMayFail) {
    const size_t live = hmsc_HeapLiveBlocks();
    auto save = [&](HErrorSlot *err) {
        HFile *out = hfio_Open(name.c_str(), "w", err);
        return out && hfio_Fprintf(out, "new\n") == 4 && hfio_Close(out, err);
    };
    const unsigned long start = hmsc_HeapAllocationCount();
    HErrorSlot err = nullptr;
    ASSERT_TRUE(save(&err)) << herr_Message(err);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << "a closed file gives back its blocks";
    const long attempts = long(hmsc_HeapAllocationCount() - start);
    write(name, "old\n");
    for (long n = 1; n <= attempts; ++n) {
        err = nullptr;
        hmsc_HeapFailAfter(n);
        EXPECT_FALSE(save(&err)) << "allocation " << n;
        EXPECT_NE(err, nullptr) << "allocation " << n;
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << "allocation " << n;
        EXPECT_EQ(read(name), "old\n") << "allocation " << n;
        EXPECT_EQ(listing(), Names{"layer.cloud"}) << "allocation " << n;
    }
}

TEST_F(Files, ExistsAndUnlink) {
    HErrorSlot err = nullptr;
    EXPECT_NE(hfio_FileExists(name.c_str(), &err), 0);
    EXPECT_NE(hfio_FileUnlink(name.c_str(), &err), 0);
    EXPECT_EQ(hfio_FileExists(name.c_str(), &err), 0);
    EXPECT_EQ(err, nullptr) << "absence is an answer, not an error";
    EXPECT_EQ(hfio_FileUnlink(name.c_str(), &err), 0);
    EXPECT_EQ(herr_Code(err), ENOENT);
}

TEST(FileSprintf, NeverWritesBeyondItsLimit) {
    char buffer[HFIO_SPRINTF_MAX + 64];
    std::memset(buffer, '#', sizeof buffer);
    const std::string longText(3 * HFIO_SPRINTF_MAX, 'y');
    EXPECT_EQ(hfio_Sprintf(buffer, "%s%d", longText.c_str(), 42), HFIO_SPRINTF_MAX - 1);
    EXPECT_EQ(std::string(buffer), longText.substr(0, HFIO_SPRINTF_MAX - 1));
    for (size_t i = HFIO_SPRINTF_MAX; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], '#') << "byte " << i;
    EXPECT_EQ(hfio_Sprintf(buffer, "%s/%s.tif", "/data", "sky"), 13);
}

} // namespace
