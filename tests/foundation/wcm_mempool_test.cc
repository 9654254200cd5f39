// WCM_MemPool: flex arrays, joins, room, locked whole-file read-modify-write.
#include "foundation/wcm_mempool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/stg/stg.h"

TEST(WcmMemPool, FlexArraysGrowBySteps) {
    WCM_MemPool pool;
    struct Case {
        unsigned size;
        int initial, growth, index, capacity_after;
    } cases[] = {
        {4, 10, 8, 15, 16},  // fits: same array
        {4, 10, 8, 16, 24},
        {4, 0, 0, 0, 1},
        {8, 3, 1, 100, 101},
    };
    for (const auto& c : cases) {
        auto* a = static_cast<int*>(pool.flex_alloc(c.size, c.initial, c.growth));
        ASSERT_NE(a, nullptr);
        int cap = WCM_MemPool::flex_capacity(a);
        EXPECT_EQ(cap % (c.growth < 1 ? 1 : c.growth), 0);
        for (int i = 0; i < cap && c.size == 4; ++i) a[i] = i;
        void* b = pool.flex_ensure_room(a, c.index);
        EXPECT_EQ(WCM_MemPool::flex_capacity(b), c.capacity_after);
        if (c.index < cap) {
            EXPECT_EQ(b, a);
        }
        if (c.size == 4) {
            for (int i = 0; i < cap; ++i) EXPECT_EQ(static_cast<int*>(b)[i], i);
        }
    }
    EXPECT_EQ(WCM_MemPool::flex_capacity(pool.flex_alloc(4, 10, 8)), 16);
    EXPECT_EQ(WCM_MemPool::flex_data_size(4, 16), 80u);
}

TEST(WcmMemPool, StrcatEnsureRoomRealloc) {
    WCM_MemPool pool;
    EXPECT_STREQ(pool.strcat(3, "a", "bc", ""), "abc");
    EXPECT_STREQ(pool.strcat(0), "");
    EXPECT_STREQ(pool.strcat(-1), "");
    unsigned cap = 0;
    char* buf = pool.ensure_room(nullptr, cap, 10, 64);
    EXPECT_EQ(cap, 75u);
    strcpy(buf, "hello");
    EXPECT_EQ(pool.ensure_room(buf, cap, 69, 64), buf);  // 5 + 69 + 1 fits in 75
    char* grown = pool.ensure_room(buf, cap, 70, 10);
    EXPECT_NE(grown, buf);
    EXPECT_EQ(cap, 86u);
    EXPECT_STREQ(grown, "hello");
    auto* r = static_cast<char*>(pool.realloc(grown, 6, 100));
    EXPECT_STREQ(r, "hello");
    auto* z = static_cast<unsigned char*>(pool.calloc(64));
    for (int i = 0; i < 64; ++i) EXPECT_EQ(z[i], 0);
}

TEST(WcmMemPool, CopyOwnsNothingOfTheOriginal) {
    WCM_MemPool pool;
    for (int i = 0; i < 100; ++i) pool.strdup("some text that fills the area");
    WCM_MemPool copy(pool);
    EXPECT_NE(copy.get_area(), pool.get_area());
    EXPECT_LT(stg_area_footprint(copy.get_area()), stg_area_footprint(pool.get_area()));
    auto* counted = new WCM_MemPool;
    counted->addref();
    counted->release();
    counted->release();  // deletes itself; ASan would report a leak otherwise
}

TEST(WcmMemPool, LockedReadModifyWriteSerialisesProcesses) {
    char tmpl[] = "/tmp/vdweb-pool-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string file = dir + "/counter";
    WCM_MemPool pool;
    ASSERT_TRUE(pool.write_file(file.c_str(), "0", false, -1));
    // Four processes each add 1 five times under the lock; no update may be lost.
    for (int p = 0; p < 4; ++p) {
        if (fork() == 0) {
            WCM_MemPool child;
            for (int i = 0; i < 5; ++i) {
                int handle = -1;
                char* text = child.read_file(file.c_str(), false, true, handle);
                if (!text || handle < 0) _exit(1);
                std::string next = std::to_string(atoi(text) + 1);
                if (!child.write_file(file.c_str(), next.c_str(), false, handle)) _exit(2);
            }
            _exit(0);
        }
    }
    for (int p = 0; p < 4; ++p) {
        int st = 0;
        wait(&st);
        EXPECT_EQ(WEXITSTATUS(st), 0);
    }
    int handle = -1;
    EXPECT_STREQ(pool.read_file(file.c_str(), false, false, handle), "20");
    // A failed read releases the lock it took.
    handle = 7;
    EXPECT_EQ(pool.read_file((dir + "/missing").c_str(), false, true, handle), nullptr);
    EXPECT_EQ(handle, -1);
    int h = pool.lock_file((dir + "/missing").c_str());
    EXPECT_GE(h, 0);
    pool.unlock_file((dir + "/missing").c_str(), h);
    std::system(("rm -rf '" + dir + "'").c_str());
}
