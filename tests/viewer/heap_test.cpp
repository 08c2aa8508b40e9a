// The heap's counters are what leak and failure tests elsewhere stand on.
#include "hlib.h"
#include "viewer/hlib/heap_debug.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Heap, LiveBlocksFollowMallocAndFree) {
    const size_t before = hmsc_HeapLiveBlocks();
    std::set<void *> blocks = {hmsc_HeapMalloc(16), hmsc_HeapMalloc(0), hmsc_HeapMalloc(0)};
    EXPECT_EQ(blocks.size(), 3u) << "zero-size blocks are distinct";
    EXPECT_EQ(blocks.count(nullptr), 0u);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), before + 3);
    hmsc_HeapFree(nullptr);
    for (void *block : blocks)
        hmsc_HeapFree(block);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), before);
}

TEST(Heap, FailAfterFailsTheNthAttemptOnce) {
    const size_t live = hmsc_HeapLiveBlocks();
    const unsigned long count = hmsc_HeapAllocationCount();
    hmsc_HeapFailAfter(3);
    void *blocks[4];
    for (void *&block : blocks)
        block = hmsc_HeapMalloc(8);
    EXPECT_TRUE(blocks[0] && blocks[1] && blocks[3]) << "a failure must not stay armed";
    EXPECT_EQ(blocks[2], nullptr);
    EXPECT_EQ(hmsc_HeapAllocationCount(), count + 4) << "failed attempts count too";
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live + 3);
    for (void *block : blocks)
        hmsc_HeapFree(block);

    hmsc_HeapFailAfter(1);
    hmsc_HeapFailAfter(0);
    void *block = hmsc_HeapMalloc(8);
    EXPECT_NE(block, nullptr) << "0 disarms";
    hmsc_HeapFree(block);
}

// The pattern other suites use: count an operation's allocations, then make
// each one fail in turn and check nothing leaks and the failure is handled.
TEST(Heap, FailureWalkOverStringList) {
    auto operation = [](HErrorSlot *err) {
        HStringList *list = hstr_StringListCreate(2, err);
        if (!list)
            return false;
        bool complete = true;
        for (int i = 0; i < 2; ++i)
            complete = (list->strings[i] = hstr_Duplicate("layer")) && complete;
        hstr_StringListDelete(list, err);
        return complete;
    };
    const size_t live = hmsc_HeapLiveBlocks();
    const unsigned long start = hmsc_HeapAllocationCount();
    HErrorSlot err = nullptr;
    ASSERT_TRUE(operation(&err));
    const long attempts = long(hmsc_HeapAllocationCount() - start);
    EXPECT_EQ(attempts, 4);
    for (long n = 1; n <= attempts; ++n) {
        hmsc_HeapFailAfter(n);
        EXPECT_FALSE(operation(&err)) << "allocation " << n;
        EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << "allocation " << n;
    }
}

} // namespace
