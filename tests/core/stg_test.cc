// Storage areas: alignment, big blocks, reset.
#include "core/stg/stg.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(Stg, BlocksAreAlignedDistinctAndSurviveGrowth) {
    stg_area_t* a = stg_create_area(2048);
    ASSERT_NE(a, nullptr);
    char* prev = nullptr;
    for (int i = 0; i < 1000; ++i) {
        size_t size = static_cast<size_t>(i % 97 + 1);
        auto* p = static_cast<char*>(stg_alloc(a, size));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
        memset(p, i & 0xff, size);
        if (prev) {
            EXPECT_NE(p, prev);
        }
        prev = p;
    }
    // A block larger than a chunk is served whole.
    auto* big = static_cast<char*>(stg_alloc(a, 1 << 20));
    ASSERT_NE(big, nullptr);
    memset(big, 1, 1 << 20);
    char* s = stg_area_strdup(a, "hello");
    EXPECT_STREQ(s, "hello");
    EXPECT_EQ(stg_area_strdup(a, nullptr), nullptr);
    EXPECT_GT(stg_area_footprint(a), size_t{1} << 20);
    stg_free_area(a);
    EXPECT_LT(stg_area_footprint(a), 1024u);
    EXPECT_STREQ(stg_area_strdup(a, "again"), "again");  // usable after a reset
    stg_delete_area(a);
}

// Resizing keeps a block's bytes whichever way it goes: a small block is copied, a big one
// (a chunk of its own) is resized in place with its footprint following, and the blocks
// around it are untouched.
TEST(Stg, ResizeKeepsTheBytes) {
    stg_area_t* a = stg_create_area(4096);
    ASSERT_NE(a, nullptr);
    auto* small = static_cast<char*>(stg_alloc(a, 16));
    strcpy(small, "small block");
    auto* grown = static_cast<char*>(stg_resize(a, small, 16, 200));
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(grown, "small block");

    auto* big = static_cast<char*>(stg_resize(a, nullptr, 0, 8192));
    ASSERT_NE(big, nullptr);
    memset(big, 'x', 8192);
    char* neighbour = stg_area_strdup(a, "neighbour");
    size_t before = stg_area_footprint(a);
    for (size_t size : {size_t{1} << 16, size_t{64} << 20, size_t{3} << 20}) {
        big = static_cast<char*>(stg_resize(a, big, 8192, size));
        ASSERT_NE(big, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(big) % alignof(std::max_align_t), 0u);
        EXPECT_EQ(big[0], 'x');
        EXPECT_EQ(big[8191], 'x');
        EXPECT_GE(stg_area_footprint(a), before - 8192 + size);
        EXPECT_LT(stg_area_footprint(a), before + size);
    }
    EXPECT_STREQ(neighbour, "neighbour");
    stg_delete_area(a);
}
