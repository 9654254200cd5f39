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
