// Stale temporary files: a VOB's pool swept when the VOB is opened, the site's temporary
// directory when the registry is first opened; files whose writer still holds their lock,
// fresh files and files of other names are kept.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
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

// On storage several hosts share, a temporary's name says which host and process made it:
// another process of this host still running keeps its files whatever their age and lock;
// once it has ended they go by age and lock, as do another host's files, whose locks this
// host may not see.
TEST_F(TempSweep, NamesTellThisHostsLiveWritersFromOthers) {
    const std::string dir = site_.path() + "/shared";
    ASSERT_EQ(fileutl_mkdir_p(dir.c_str(), 0777), 0);
    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Makes a temporary, lets go of its lock, and stays alive until told.
        ::close(ready[0]);
        ::close(hold[1]);
        char path[512];
        int fd = fileutl_create_temp(dir.c_str(), ".tmp-", 0666, path, sizeof path);
        ssize_t n = fd >= 0 ? write(ready[1], path, strlen(path)) : 0;
        if (fd >= 0) ::close(fd);
        ::close(ready[1]);
        char c;
        n = read(hold[0], &c, 1);
        _exit(n < 0 ? 1 : 0);
    }
    ::close(ready[1]);
    ::close(hold[0]);
    char buf[512] = {};
    ASSERT_GT(read(ready[0], buf, sizeof buf - 1), 0);
    ::close(ready[0]);
    const std::string path = buf;
    const std::string leaf = path.substr(dir.size() + 1 + strlen(".tmp-"));
    for (char c : leaf) EXPECT_TRUE(isalnum(static_cast<unsigned char>(c))) << leaf;
    char pid_hex[16];
    snprintf(pid_hex, sizeof pid_hex, "%08x", static_cast<unsigned>(child));
    EXPECT_NE(leaf.find(pid_hex), std::string::npos) << leaf;
    // The same process tag under another host's name, old and unlocked.
    const std::string other =
        write_file(dir + "/.tmp-otherhost" + std::string(pid_hex) + "abcdefABCDEF", "x");
    age(path, kOld);
    age(other, kOld);

    const char* const prefixes[] = {".tmp-"};
    int removed = -1;
    ASSERT_EQ(fileutl_sweep_temps(dir.c_str(), prefixes, 1, FILEUTL_STALE_TEMP_S, &removed), 0);
    EXPECT_EQ(removed, 1);
    EXPECT_TRUE(fileutl_exists(path.c_str())) << "its writer still runs";
    EXPECT_FALSE(fileutl_exists(other.c_str()));
    EXPECT_TRUE(fileutl_temp_writer_alive(leaf.c_str()));

    ::close(hold[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(fileutl_temp_writer_alive(leaf.c_str()));
    ASSERT_EQ(fileutl_sweep_temps(dir.c_str(), prefixes, 1, FILEUTL_STALE_TEMP_S, &removed), 0);
    EXPECT_EQ(removed, 1);
    EXPECT_FALSE(fileutl_exists(path.c_str()));
}

}  // namespace
