// Stale temporary files: a VOB's pool swept when the VOB is opened, the site's temporary
// directory when the registry is first opened; files whose writer still holds their lock,
// fresh files and files of other names are kept.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/rgy/rgy.h"
#include "core/store/content_pool.h"
#include "core/util/fileutl.h"
#include "core/vob/vob.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

// Makes `path` look last written `seconds` ago.
void age(const std::string& path, int seconds) {
    struct timeval tv[2];
    gettimeofday(&tv[0], nullptr);
    tv[0].tv_sec -= seconds;
    tv[1] = tv[0];
    ASSERT_EQ(::utimes(path.c_str(), tv), 0) << path;
}

// A writer at work: its own open file description holding the lock.
struct LiveWriter {
    int fd = -1;
    explicit LiveWriter(const std::string& path) {
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        EXPECT_TRUE(fd >= 0 && ::flock(fd, LOCK_EX) == 0) << path;
    }
    ~LiveWriter() {
        if (fd >= 0) ::close(fd);
    }
};

struct Leftover {
    const char* name;
    int age_s;
    bool locked;
    bool kept;
};

class TempSweep : public ::testing::Test {
protected:
    void TearDown() override { vob_ob_all_cache_action(4); }

    // Writes each leftover under `dir`, runs `sweep` with the locked ones held by live
    // writers, and checks which remain.
    template <class Sweep>
    void expect_swept(const std::string& dir, const std::vector<Leftover>& files, Sweep sweep) {
        std::vector<std::unique_ptr<LiveWriter>> writers;
        for (const Leftover& f : files) {
            const std::string path = write_file(dir + "/" + f.name, "partial");
            age(path, f.age_s);
            if (f.locked) writers.push_back(std::make_unique<LiveWriter>(path));
        }
        sweep();
        for (const Leftover& f : files)
            EXPECT_EQ(fileutl_exists((dir + "/" + f.name).c_str()), f.kept) << f.name;
    }

    TempHome site_;
};

constexpr int kOld = 2 * FILEUTL_STALE_TEMP_S;
constexpr int kFresh = 60;

TEST_F(TempSweep, OpeningAVobSweepsItsPool) {
    ASSERT_EQ(create_vob("/vobs/s", site_.path() + "/s.vbs"), 0);
    const std::string pool = site_.path() + "/s.vbs/pool";
    expect_swept(pool,
                 {{".tmp-killed", kOld, false, false},
                  {".tmp-slowwriter", kOld, true, true},
                  {".tmp-fresh", kFresh, false, true},
                  {"notes", kOld, false, true}},
                 [] {
                     vob_t* vob = nullptr;
                     ASSERT_EQ(vob_open_by_tag("/vobs/s", &vob), 0);
                 });
}

// Opens pace their sweeps by the pool's stamp: a reopen soon after a sweep lists nothing, one
// after the interval sweeps again.
TEST_F(TempSweep, SweepsOnOpenArePacedByTheStamp) {
    ASSERT_EQ(create_vob("/vobs/s", site_.path() + "/s.vbs"), 0);
    const std::string pool = site_.path() + "/s.vbs/pool";
    auto reopen = [] {
        vob_ob_all_cache_action(4);
        vob_t* vob = nullptr;
        ASSERT_EQ(vob_open_by_tag("/vobs/s", &vob), 0);
    };
    reopen();
    const std::string killed = write_file(pool + "/.tmp-killed", "partial");
    age(killed, kOld);
    reopen();
    EXPECT_TRUE(fileutl_exists(killed.c_str()));
    age(pool + "/.sweep-stamp", FILEUTL_SWEEP_INTERVAL_S + 1);
    reopen();
    EXPECT_FALSE(fileutl_exists(killed.c_str()));
}

// The contents of a batch wait closed under temporary names until its sync: however long
// the batch takes, no sweep may take them.
TEST_F(TempSweep, WaitingBatchKeepsSweepsAway) {
    ASSERT_EQ(create_vob("/vobs/s", site_.path() + "/s.vbs"), 0);
    vob_t* vob = nullptr;
    ASSERT_EQ(vob_open_by_tag("/vobs/s", &vob), 0);
    const std::string from = write_file(site_.path() + "/from", "batched content");
    std::string sha;
    {
        content_batch batch(vob->pool->dir());
        ASSERT_EQ(vob->pool->put_file(from.c_str(), &sha, nullptr, &batch), 0);
        std::vector<std::string> temps;
        ASSERT_EQ(vob->pool->stale_temporaries(0, &temps), 0);
        ASSERT_EQ(temps.size(), 1u);
        age(vob->pool->dir() + "/" + temps[0], kOld);
        int removed = -1;
        ASSERT_EQ(vob->pool->sweep_temporaries(FILEUTL_STALE_TEMP_S, &removed), 0);
        EXPECT_EQ(removed, 0);
        ASSERT_EQ(batch.sync(), 0);
    }
    EXPECT_EQ(vob->pool->verify(sha.c_str()), 0);
    // Once the batch is done, sweeps go on.
    write_file(vob->pool->dir() + "/.tmp-after", "x");
    age(vob->pool->dir() + "/.tmp-after", kOld);
    int removed = 0;
    ASSERT_EQ(vob->pool->sweep_temporaries(FILEUTL_STALE_TEMP_S, &removed), 0);
    EXPECT_EQ(removed, 1);
}

TEST_F(TempSweep, FirstRegistryOpenSweepsTheSiteTemporaries) {
    const std::string tmp = fileutl_get_tmpdir();
    const std::string uploads = tmp + "/QLMXuploadtmp";
    ASSERT_EQ(fileutl_mkdir_p(uploads.c_str(), 0777), 0);
    std::vector<Leftover> in_tmp = {
        {"qlmx_ireqAbC123.msg", kOld, false, false}, {"qlmx_cancel_42", kOld, false, false},
        {"qlmx_ireqLive.msg", kOld, true, true},     {"qlmx_ireqNew.msg", kFresh, false, true},
        {"QLMXnot-here", kOld, false, true},         {"site.conf", kOld, false, true}};
    std::vector<Leftover> in_uploads = {{"QLMXdead", kOld, false, false},
                                        {"QLMXuploading", kOld, true, true},
                                        {"other", kOld, false, true}};
    expect_swept(uploads, in_uploads, [&] {
        expect_swept(tmp, in_tmp, [] {
            std::vector<rgy_vob_entry_t> tags;
            ASSERT_EQ(rgy_list_vob_tags(nullptr, &tags), 0);
        });
    });
}

// A temporary made by the core carries its writer's lock from the start.
TEST_F(TempSweep, CreatedTemporaryIsLockedUntilClosed) {
    char path[512];
    const std::string dir = site_.path();
    int fd = fileutl_create_temp(dir.c_str(), ".tmp-", 0666, path, sizeof path);
    ASSERT_GE(fd, 0);
    age(path, kOld);
    const char* const prefixes[] = {".tmp-"};
    int removed = -1;
    ASSERT_EQ(fileutl_sweep_temps(dir.c_str(), prefixes, 1, FILEUTL_STALE_TEMP_S, &removed), 0);
    EXPECT_EQ(removed, 0);
    EXPECT_TRUE(fileutl_exists(path));
    ::close(fd);
    ASSERT_EQ(fileutl_sweep_temps(dir.c_str(), prefixes, 1, FILEUTL_STALE_TEMP_S, &removed), 0);
    EXPECT_EQ(removed, 1);
    EXPECT_FALSE(fileutl_exists(path));
}

}  // namespace
