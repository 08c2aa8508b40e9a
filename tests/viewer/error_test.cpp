// Error records: what a slot holds must stay readable until it is reported,
// and nothing else in a slot may be mistaken for a record.
#include "viewer/hlib/error.h"
#include "viewer/hlib/heap_debug.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(Errors, SetFillsOnlyAGivenSlot) {
    herr_Set(nullptr, "dropped");
    HErrorSlot err = nullptr;
    herr_SetCode(&err, 5, "%s: %d bands", "sky.tif", 3);
    EXPECT_STREQ(herr_Message(err), "sky.tif: 3 bands");
    EXPECT_EQ(herr_Code(err), 5);
    EXPECT_EQ(herr_Code(herr_Make("plain")), HERR_GENERIC);
}

TEST(Errors, RingKeepsTheLastSixteenWithoutHeap) {
    const size_t live = hmsc_HeapLiveBlocks();
    hmsc_HeapFailAfter(1); // making an error must work when the heap has failed
    HErrorSlot slots[HERR_RING_SIZE];
    for (int i = 0; i < HERR_RING_SIZE; ++i)
        slots[i] = herr_Make("error %d", i);
    hmsc_HeapFailAfter(0);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
    EXPECT_EQ(std::set<HErrorSlot>(slots, slots + HERR_RING_SIZE).size(), size_t(HERR_RING_SIZE));
    for (int i = 0; i < HERR_RING_SIZE; ++i)
        EXPECT_EQ(herr_Message(slots[i]), "error " + std::to_string(i));
}

TEST(Errors, ForeignValuesAreNotRecords) {
    int local = 0;
    EXPECT_STREQ(herr_Message(nullptr), "");
    EXPECT_EQ(herr_Code(nullptr), 0);
    EXPECT_STREQ(herr_Message(&local), "unknown host error");
    HErrorSlot inside = static_cast<char *>(herr_Make("x")) + 1; // not at a record's start
    EXPECT_STREQ(herr_Message(inside), "unknown host error");
}

} // namespace
