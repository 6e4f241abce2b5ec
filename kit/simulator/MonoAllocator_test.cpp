#include "simulator/MonoAllocator.h"

#include <gtest/gtest.h>

namespace {

using Simulator::MonoAllocator;

TEST(MonoAllocator, FirstFitReusesGapsAndKeepsStaticBlocksAcrossReleases) {
    MonoAllocator allocator;
    allocator.setArena(3, 67);  // aligned up to 8..67: 59 bytes
    uint64_t a = 0, b = 0, c = 0, d = 0;
    ASSERT_TRUE(allocator.allocate(10, false, a));
    ASSERT_TRUE(allocator.allocate(8, true, b));
    EXPECT_EQ(a, 8u);
    EXPECT_EQ(b, 24u);
    EXPECT_EQ(allocator.freeBytes(), 59u - 24u);
    EXPECT_FALSE(allocator.allocate(36, false, c));
    EXPECT_FALSE(allocator.allocate(0, false, c));
    ASSERT_TRUE(allocator.free(a));
    EXPECT_FALSE(allocator.free(a));
    ASSERT_TRUE(allocator.allocate(16, false, c));
    EXPECT_EQ(c, 8u);  // the freed gap
    ASSERT_TRUE(allocator.allocate(30, false, d));
    EXPECT_EQ(d, 32u);

    allocator.releaseDynamic();
    EXPECT_EQ(allocator.freeBytes(), 59u - 8u);
    EXPECT_TRUE(allocator.staticBelow(25));
    EXPECT_FALSE(allocator.staticBelow(24));
}

// A new arena (another program) keeps the blocks outside it reserved but
// counts only its own space; an arena that ends before it begins is empty.
TEST(MonoAllocator, ArenasMoveWithThePrograms) {
    MonoAllocator allocator;
    allocator.setArena(0, 64);
    uint64_t low = 0, high = 0, next = 0;
    ASSERT_TRUE(allocator.allocate(8, true, low));
    ASSERT_TRUE(allocator.allocate(56, true, high));
    EXPECT_EQ(allocator.freeBytes(), 0u);
    EXPECT_FALSE(allocator.allocate(1, false, next));

    allocator.setArena(9, 40);  // from 16: the block at 8 lies below it
    EXPECT_EQ(allocator.freeBytes(), 0u);
    ASSERT_TRUE(allocator.free(high));
    EXPECT_EQ(allocator.freeBytes(), 24u);
    ASSERT_TRUE(allocator.allocate(24, false, next));
    EXPECT_EQ(next, 16u);  // an exact fit up to the end
    EXPECT_TRUE(allocator.staticBelow(16));

    allocator.setArena(48, 40);
    EXPECT_EQ(allocator.freeBytes(), 0u);
    EXPECT_FALSE(allocator.allocate(8, false, next));
}

}  // namespace
