// The owned doubly linked list that holds SIP channels, calls and payloads.
#include "RDList.h"

#include <gtest/gtest.h>

namespace {

struct Counted
{
    explicit Counted(int *live) : live(live) { ++*live; }
    ~Counted() { --*live; }
    int *live;
};

TEST(RDList, OwnershipOrderAndRemoval)
{
    int live = 0;
    {
        RDList<Counted> list;
        Counted *a = new Counted(&live), *b = new Counted(&live), *c = new Counted(&live);
        list.append(a);
        list.append(b);
        list.append(c);
        list.append(nullptr);
        EXPECT_EQ(list.count(), 3);
        EXPECT_EQ(list.at(0), a);
        EXPECT_EQ(list.at(2), c);
        EXPECT_EQ(list.at(3), nullptr);
        EXPECT_TRUE(list.remove(b)); // middle: deleted
        EXPECT_EQ(live, 2);
        EXPECT_EQ(list.at(1), c);
        EXPECT_EQ(list.head()->next->prev, list.head());
        EXPECT_FALSE(list.remove(b));
        EXPECT_EQ(list.take(a), a); // head: unlinked, not deleted
        EXPECT_EQ(live, 2);
        EXPECT_EQ(list.head()->item, c);
        EXPECT_EQ(list.head()->prev, nullptr);
        delete a;
    }
    EXPECT_EQ(live, 0); // the owning list deleted what it held

    Counted kept(&live);
    {
        RDList<Counted> borrowed(false);
        borrowed.append(&kept);
        EXPECT_TRUE(borrowed.remove(&kept));
        borrowed.append(&kept);
    }
    EXPECT_EQ(live, 1);
}

} // namespace
