// The list manager threads caller records through their first field; the
// plug-in's cloud list depends on tail order and on safe unlinking.
#include "hvislib.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Record {
    Record *next;
    int id;
};
using Ids = std::vector<int>;

class List : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) {
            // Garbage links: adding must not trust what the record holds.
            records[i] = Record{&records[(i + 2) % 4], i + 1};
            hvis_llmAdd(&head, &records[i], 0, 0);
        }
    }
    Ids ids() const {
        Ids order;
        for (Record *r = head; r; r = r->next)
            order.push_back(r->id);
        return order;
    }
    Record records[4];
    Record *head = nullptr;
};

TEST_F(List, AddAppendsAtTheTailOnce) {
    EXPECT_EQ(ids(), (Ids{1, 2, 3, 4}));
    EXPECT_EQ(hvis_llmCount(&head), 4);
    hvis_llmAdd(&head, &records[1], 0, 0); // a member again would close a cycle
    EXPECT_EQ(ids(), (Ids{1, 2, 3, 4}));
}

TEST_F(List, DeleteUnlinksAnyPositionAndOnlyMembers) {
    Record stranger{nullptr, 99};
    hvis_llmDelete(&head, &stranger);
    EXPECT_EQ(ids(), (Ids{1, 2, 3, 4}));
    hvis_llmDelete(&head, &records[0]);
    EXPECT_EQ(head, &records[1]);
    hvis_llmDelete(&head, &records[2]);
    hvis_llmDelete(&head, &records[3]);
    EXPECT_EQ(ids(), (Ids{2}));
    hvis_llmDelete(&head, &records[1]);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(hvis_llmCount(&head), 0);
    EXPECT_EQ(hvis_llmCount(nullptr), 0);
}

TEST_F(List, DeleteWhileWalking) {
    // Removing the record in hand must still let the walk go on.
    for (Record *r = head; r; r = r->next)
        if (r->id % 2 == 1)
            hvis_llmDelete(&head, r);
    EXPECT_EQ(ids(), (Ids{2, 4}));
    hvis_llmAdd(&head, &records[0], 0, 0);
    EXPECT_EQ(ids(), (Ids{2, 4, 1}));
}

} // namespace
