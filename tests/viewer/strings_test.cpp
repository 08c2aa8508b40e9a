#include "hlib.h"
#include "viewer/hlib/heap_debug.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string namePart(const char *path) {
    char buffer[64];
    EXPECT_EQ(hstr_GetNamePart(path, buffer, sizeof buffer), buffer);
    return buffer;
}

TEST(Strings, NamePartDropsDirectoryAndLastExtension) {
    EXPECT_EQ(namePart("/data/sky/cumulus.cloud"), "cumulus");
    EXPECT_EQ(namePart("sky.v2.cloud"), "sky.v2");
    EXPECT_EQ(namePart("dir.d/plain"), "plain") << "a dot in the directory is no extension";
    EXPECT_EQ(namePart("/home/.clouds"), ".clouds") << "a leading dot starts the name";
    EXPECT_EQ(namePart("/data/sky/"), "");
    EXPECT_EQ(namePart(nullptr), "");
}

TEST(Strings, NamePartTruncatesToTheBuffer) {
    char buffer[16 + 8];
    std::memset(buffer, '#', sizeof buffer);
    hstr_GetNamePart("/a/very_long_layer_file_name.cloud", buffer, 16);
    EXPECT_STREQ(buffer, "very_long_layer");
    for (size_t i = 16; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], '#') << "byte " << i << " beyond the given size";
    hstr_GetNamePart("/a/b.cloud", buffer, 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'e');
}

TEST(Strings, EqicIgnoresAsciiCaseOnly) {
    EXPECT_TRUE(hstr_Eqic("Cloud", "cLOUD"));
    EXPECT_FALSE(hstr_Eqic("Cloud", "Clouds"));
    EXPECT_FALSE(hstr_Eqic("Clouds", "Cloud"));
    EXPECT_FALSE(hstr_Eqic("[", "{")) << "only letters fold";
    EXPECT_FALSE(hstr_Eqic("\xC9t\xE9", "\xE9t\xE9")) << "bytes beyond ASCII compare exactly";
    EXPECT_TRUE(hstr_Eqic(nullptr, nullptr));
    EXPECT_FALSE(hstr_Eqic(nullptr, ""));
}

TEST(Strings, DuplicateAndCatMakeHeapStrings) {
    const size_t live = hmsc_HeapLiveBlocks();
    char *made[] = {hstr_Duplicate("stratus"), hstr_StringCat(0, "sky", ".cloud"),
                    hstr_StringCat(0, nullptr, "b"), hstr_StringCat(0, nullptr, nullptr)};
    EXPECT_STREQ(made[0], "stratus");
    EXPECT_STREQ(made[1], "sky.cloud");
    EXPECT_STREQ(made[2], "b");
    EXPECT_STREQ(made[3], "");
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live + 4);
    for (char *s : made)
        hmsc_HeapFree(s);
    EXPECT_EQ(hstr_Duplicate(nullptr), nullptr);
}

TEST(Strings, SprintfStopsAtItsLimitAndReports) {
    char buffer[HSTR_SPRINTF_MAX + 32];
    HErrorSlot err = nullptr;
    EXPECT_EQ(hstr_Sprintf(buffer, "%s-%d", &err, "cloud", 7), 7);
    EXPECT_STREQ(buffer, "cloud-7");
    EXPECT_EQ(err, nullptr);

    std::memset(buffer, '#', sizeof buffer);
    const std::string longText(2 * HSTR_SPRINTF_MAX, 'x');
    EXPECT_EQ(hstr_Sprintf(buffer, "%s", &err, longText.c_str()), HSTR_SPRINTF_MAX - 1);
    EXPECT_NE(err, nullptr);
    EXPECT_EQ(std::strlen(buffer), size_t(HSTR_SPRINTF_MAX - 1));
    for (size_t i = HSTR_SPRINTF_MAX; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], '#') << "byte " << i;
}

TEST(Strings, StringListOwnsItsStrings) {
    const size_t live = hmsc_HeapLiveBlocks();
    HErrorSlot err = nullptr;
    HStringList *list = hstr_StringListCreate(3, &err);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 3);
    EXPECT_TRUE(!list->strings[0] && !list->strings[1] && !list->strings[2]);
    list->strings[0] = hstr_Duplicate("a.tif");
    list->strings[2] = hstr_Duplicate("c.tif"); // slot 1 stays empty
    hstr_StringListDelete(list, &err);
    EXPECT_EQ(err, nullptr);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
    EXPECT_EQ(hstr_StringListCreate(-1, &err), nullptr);
    EXPECT_NE(err, nullptr);
}

} // namespace
