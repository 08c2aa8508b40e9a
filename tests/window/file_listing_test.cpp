// What the file browser lists and what its OK leads to, without a window.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "file_listing.h"

namespace fs = std::filesystem;
using namespace cloudview::window;

namespace {

class FileListingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/cloudview_listing_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    void touch(const std::string &name) const { std::ofstream(dir + "/" + name) << "x"; }
    void folder(const std::string &name) const { fs::create_directories(dir + "/" + name); }

    std::vector<std::string> names(const std::vector<std::string> &extensions) const
    {
        std::vector<std::string> out;
        for (const FolderEntry &e : listFolder(dir, extensions).entries)
            out.push_back(e.folder ? e.name + "/" : e.name);
        return out;
    }

    std::string dir;
};

} // namespace

TEST_F(FileListingTest, FoldersComeFirstThenMatchingFilesEachByNameIgnoringCase)
{
    for (const char *name : {"b.scene", "A.SCENE", "c.cloud", "notes", ".hidden.scene", "x.scene.bak"})
        touch(name);
    folder("zeta");
    folder("Alpha");
    folder(".git");
    EXPECT_EQ(names({".scene"}),
              (std::vector<std::string>{"Alpha/", "zeta/", "A.SCENE", "b.scene"}));
    EXPECT_EQ(names({}), (std::vector<std::string>{"Alpha/", "zeta/", "A.SCENE", "b.scene",
                                                   "c.cloud", "notes", "x.scene.bak"}));
    // Extensions given without their dot, and several at once.
    EXPECT_EQ(names({"cloud", ".scene"}),
              (std::vector<std::string>{"Alpha/", "zeta/", "A.SCENE", "b.scene", "c.cloud"}));
}

TEST_F(FileListingTest, AFolderThatCannotBeReadGivesAProblemNotEntries)
{
    touch("plain.scene");
    for (const std::string &where : {dir + "/missing", dir + "/plain.scene"}) {
        const FolderListing listing = listFolder(where, {});
        EXPECT_TRUE(listing.entries.empty()) << where;
        EXPECT_NE(listing.problem.find("cannot read " + where), std::string::npos)
            << listing.problem;
    }
    EXPECT_TRUE(listFolder(dir, {}).problem.empty());
}

TEST(FileNames, ExtensionsMatchIgnoringCaseAndAreAddedOnlyWhenMissing)
{
    EXPECT_TRUE(hasExtension("Shot.PNG", {".png"}));
    EXPECT_FALSE(hasExtension(".png", {".png"})); // a hidden name, not a PNG
    EXPECT_FALSE(hasExtension("shot.png.txt", {".png"}));
    EXPECT_TRUE(hasExtension("anything", {}));
    EXPECT_EQ(withExtension("shot", {".png", ".jpg"}), "shot.png");
    EXPECT_EQ(withExtension("shot.JPG", {".png", ".jpg"}), "shot.JPG");
    EXPECT_EQ(withExtension("shot.", {"png"}), "shot.png");
    EXPECT_EQ(withExtension("shot", {}), "shot");
}

TEST(FileNames, PathsAreJoinedNormalisedAndClimbStopsAtTheRoot)
{
    EXPECT_EQ(joinPath("/a/b", "c.scene"), "/a/b/c.scene");
    EXPECT_EQ(joinPath("/a/b", "../c/./d"), "/a/c/d");
    EXPECT_EQ(joinPath("/a/b", "/etc/x"), "/etc/x");
    EXPECT_EQ(joinPath("/a/b", "sub/"), "/a/b/sub");
    EXPECT_EQ(parentFolder("/a/b"), "/a");
    EXPECT_EQ(parentFolder("/a/b/"), "/a");
    EXPECT_EQ(parentFolder("/a"), "/");
    EXPECT_EQ(parentFolder("/"), "/");
}

TEST_F(FileListingTest, OpeningTakesExistingFilesAndEntersFolders)
{
    touch("sky.scene");
    folder("more");
    BrowseOutcome o = resolveChoice(dir, "sky.scene", {".scene"}, false);
    EXPECT_EQ(o.kind, BrowseOutcome::Choose);
    EXPECT_EQ(o.path, dir + "/sky.scene");
    o = resolveChoice(dir, "more", {".scene"}, false);
    EXPECT_EQ(o.kind, BrowseOutcome::EnterFolder);
    EXPECT_EQ(o.path, dir + "/more");
    o = resolveChoice(dir, "..", {".scene"}, false);
    EXPECT_EQ(o.kind, BrowseOutcome::EnterFolder);
    EXPECT_EQ(o.path, fs::path(dir).parent_path().string());
    // Nothing to open: said so, never handed on.
    EXPECT_EQ(resolveChoice(dir, "sky", {".scene"}, false).kind, BrowseOutcome::Problem);
    EXPECT_EQ(resolveChoice(dir, "  ", {".scene"}, false).kind, BrowseOutcome::Problem);
}

TEST_F(FileListingTest, SavingAddsTheExtensionAndAsksBeforeReplacing)
{
    touch("old.png");
    folder("shots");
    folder("trap.png");
    BrowseOutcome o = resolveChoice(dir, " new ", {".png"}, true);
    EXPECT_EQ(o.kind, BrowseOutcome::Choose);
    EXPECT_EQ(o.path, dir + "/new.png");
    o = resolveChoice(dir, "old", {".png"}, true);
    EXPECT_EQ(o.kind, BrowseOutcome::ConfirmReplace);
    EXPECT_EQ(o.path, dir + "/old.png");
    o = resolveChoice(dir, "shots/a", {".png"}, true);
    EXPECT_EQ(o.kind, BrowseOutcome::Choose);
    EXPECT_EQ(o.path, dir + "/shots/a.png");
    // A name that is a folder enters it; one whose file would be a folder,
    // or lie in a folder that is not there, is refused.
    EXPECT_EQ(resolveChoice(dir, "shots", {".png"}, true).kind, BrowseOutcome::EnterFolder);
    o = resolveChoice(dir, "trap", {".png"}, true);
    EXPECT_EQ(o.kind, BrowseOutcome::Problem);
    EXPECT_NE(o.problem.find("is a folder"), std::string::npos) << o.problem;
    o = resolveChoice(dir, "nowhere/a", {".png"}, true);
    EXPECT_EQ(o.kind, BrowseOutcome::Problem);
    EXPECT_NE(o.problem.find("no folder"), std::string::npos) << o.problem;
}
