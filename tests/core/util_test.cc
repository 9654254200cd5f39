// File helpers: atomic whole-file writes (also under faults of the file system), bounded
// joins, the string encoding pair, locks, gzip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/stg/stg.h"
#include "core/util/fileutl.h"
#include "core/util/srvlock.h"
#include "core/util/strutl.h"
#include "support/fault_fsys.h"
#include "support/temp_dir.h"

TEST(Strutl, WriteReplacesWholeFileAndReadReturnsIt) {
    TempDir dir;
    std::string f = dir / "data";
    stg_area_t* area = stg_create_area(2048);
    char* got = nullptr;
    EXPECT_NE(strutl_read(f.c_str(), false, area, &got), 0);  // missing
    ASSERT_EQ(strutl_read(f.c_str(), true, area, &got), 0);   // missing reads as empty
    EXPECT_STREQ(got, "");
    ASSERT_EQ(strutl_write(f.c_str(), "first version, longer", true), 0);
    chmod(f.c_str(), 0640);
    ASSERT_EQ(strutl_write(f.c_str(), "second", false), 0);
    size_t len = 0;
    ASSERT_EQ(strutl_read(f.c_str(), false, area, &got, &len), 0);
    EXPECT_STREQ(got, "second");
    EXPECT_EQ(len, 6u);
    struct stat st;
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // mode of the replaced file kept
    // No temporary file is left beside it.
    EXPECT_EQ(std::system(("test $(ls -A '" + dir.path() + "' | wc -l) -eq 1").c_str()), 0);
    stg_delete_area(area);
}

// A whole-file write or a copy that meets a fault fails with the failing call's status and
// leaves the directory as it was: the replaced file whole, no temporary, no partial copy.
TEST(Strutl, FailedWritesLeaveTheDirectoryAsItWas) {
    struct Case {
        const char* name;
        fs_fault fault;
        bool copy;  // fileutl_copy onto "data", else strutl_write of it
    };
    const Case cases[] = {
        {"write: disk full", {fs_op::write, ENOSPC, "/data-dir/", 0, 5000}, false},
        {"write: not flushed", {fs_op::fsync, EIO, "/data-dir/"}, false},
        {"write: not closed", {fs_op::close, EIO, "/data-dir/"}, false},
        {"write: rename fails", {fs_op::rename, EIO, "/data-dir/"}, false},
        {"copy: disk full", {fs_op::write, ENOSPC, "/data-dir/", 0, 5000}, true},
        {"copy: not closed", {fs_op::close, EIO, "/data-dir/"}, true},
    };
    TempDir dir;
    const std::string sub = dir / "data-dir";
    ASSERT_EQ(mkdir(sub.c_str(), 0777), 0);
    const std::string data = sub + "/data", src = dir / "src";
    const std::string big(20000, 'x');
    std::ofstream(src) << big;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(data);
        if (!c.copy) {
            ASSERT_EQ(strutl_write(data.c_str(), "old", true), 0);
        }
        tbs_status_t st;
        int hits = 0;
        {
            ScopedFault fault(c.fault);
            st = c.copy ? fileutl_copy(src.c_str(), data.c_str(), 4096)
                        : strutl_write(data.c_str(), big.c_str(), true);
            hits = fault.hits();
        }
        EXPECT_EQ(st, tbs_errno2status(c.fault.err));
        EXPECT_GT(hits, 0);
        std::vector<std::string> left;
        for (const auto& e : std::filesystem::directory_iterator(sub))
            left.push_back(e.path().filename().string());
        EXPECT_EQ(left, c.copy ? std::vector<std::string>{} : std::vector<std::string>{"data"});
        if (!c.copy) {
            std::ifstream in(data);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
        }
    }
}

TEST(Strutl, ConcatFailsInsteadOfTruncating) {
    char buf[8];
    EXPECT_EQ(strutl_concat(buf, sizeof buf, 3, "ab", "cd", "efg"), 0);
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_NE(strutl_concat(buf, sizeof buf, 2, "abcd", "efgh"), 0);
    EXPECT_STREQ(buf, "");
    char small[4];
    EXPECT_FALSE(fileutl_join(small, sizeof small, "ab", "c"));
    EXPECT_TRUE(fileutl_join(buf, sizeof buf, "ab", "c"));
    EXPECT_STREQ(buf, "ab/c");
}

TEST(Strutl, ExtractPairRoundTripsWithinItsBounds) {
    const std::string texts[] = {"", "a", "MsgType=Message\nA=x\\ny\n",
                                 "\x01\x7f\x80\xff=\r\t~H:", std::string(1000, 'z')};
    for (const std::string& t : texts) {
        // Exactly the stated bound, with a guard byte after it that must stay untouched.
        std::vector<char> enc(STRUTL_EXTRACT_HEAD_SIZE(t.size()) + 1, '#');
        ASSERT_EQ(strutl_extract_head(t.c_str(), enc.data(), enc.size() - 1), 0) << t;
        EXPECT_EQ(enc.back(), '#');
        std::string e = enc.data();
        EXPECT_EQ(e.find_first_of("\n\r"), std::string::npos);
        std::vector<char> dec(STRUTL_EXTRACT_TAIL_SIZE(e.size()) + 1, '#');
        ASSERT_EQ(strutl_extract_tail(e.c_str(), dec.data(), dec.size() - 1), 0) << e;
        EXPECT_EQ(dec.back(), '#');
        EXPECT_EQ(std::string(dec.data()), t);
        // One byte fewer than the encoding needs fails instead of cutting it.
        EXPECT_EQ(strutl_extract_head(t.c_str(), enc.data(), e.size()), TBS_ST_ERR);
        EXPECT_STREQ(enc.data(), "");
        EXPECT_EQ(strutl_extract_tail(e.c_str(), dec.data(), t.size()), TBS_ST_ERR);
    }
    char dec[8];
    ASSERT_EQ(strutl_extract_tail("~H:4A6b", dec, sizeof dec), 0);  // either case of digit
    EXPECT_STREQ(dec, "Jk");
}

TEST(Strutl, ExtractTailRejectsWhatTheEncoderCannotWrite) {
    const char* const malformed[] = {"",        "~H",      "4142",     "~h:4142",
                                     "~H:414",  "~H:41x2", "~H:41 42", "~H:4100",
                                     "~H:0041", "~H:-1",   "~H:\n4142"};
    for (const char* m : malformed) {
        char dec[64];
        memset(dec, '#', sizeof dec);
        EXPECT_EQ(strutl_extract_tail(m, dec, sizeof dec), TBS_ST_ERR) << m;
        EXPECT_STREQ(dec, "") << m;
    }
    char dec[4];
    EXPECT_EQ(strutl_extract_tail(nullptr, dec, sizeof dec), TBS_ST_ERR);
    EXPECT_EQ(strutl_extract_tail("~H:41", dec, 0), TBS_ST_ERR);
    EXPECT_EQ(strutl_extract_head(nullptr, dec, sizeof dec), TBS_ST_ERR);
}

TEST(Srvlock, SecondHolderIsRefusedUntilRelease) {
    TempDir dir;
    std::string lock = dir / "x.pid";
    int h1 = -1, h2 = -1;
    ASSERT_EQ(server_lock_set(lock.c_str(), &h1), 0);
    EXPECT_GE(h1, 0);
    EXPECT_NE(server_lock_set(lock.c_str(), &h2), 0);
    // Another process is refused too.
    pid_t pid = fork();
    if (pid == 0) {
        int h = -1;
        _exit(server_lock_set(lock.c_str(), &h) == 0 ? 1 : 0);
    }
    int wst = 0;
    waitpid(pid, &wst, 0);
    EXPECT_EQ(WEXITSTATUS(wst), 0);
    ASSERT_EQ(server_lock_clear(lock.c_str(), h1), 0);
    ASSERT_EQ(server_lock_set(lock.c_str(), &h2), 0);
    server_lock_clear(lock.c_str(), h2);
}

TEST(Fileutl, GzipRoundTripAndCorruptInputFails) {
    TempDir dir;
    std::string plain = dir / "plain", gz = dir / "plain.gz", out = dir / "out";
    {
        std::ofstream f(plain, std::ios::binary);
        for (int i = 0; i < 100000; ++i) f << "line " << i << "\n";
    }
    ASSERT_EQ(fileutl_gzip(plain.c_str(), gz.c_str(), 6), 0);
    ASSERT_EQ(fileutl_gunzip(gz.c_str(), out.c_str()), 0);
    EXPECT_EQ(std::system(("cmp -s '" + plain + "' '" + out + "'").c_str()), 0);
    // Truncate the compressed file: uncompressing must fail, not succeed with less.
    ASSERT_EQ(truncate(gz.c_str(), 2000), 0);
    EXPECT_NE(fileutl_gunzip(gz.c_str(), out.c_str()), 0);
}

// A private directory is made 0700 whatever the umask, an older one left wider is narrowed,
// and one that is no directory of this process's user is refused, never used or changed.
TEST(Fileutl, PrivateDirIsTheOwnersAlone) {
    TempDir dir;
    const mode_t saved = umask(0);
    mkdir((dir / "wide").c_str(), 0777);
    mkdir((dir / "target").c_str(), 0755);
    symlink((dir / "target").c_str(), (dir / "link").c_str());
    std::ofstream(dir / "file") << "x";
    const bool root = geteuid() == 0;
    if (root) {
        mkdir((dir / "theirs").c_str(), 0777);
        if (chown((dir / "theirs").c_str(), 65534, 65534) != 0) ADD_FAILURE() << "chown";
    }
    struct Case {
        const char* name;
        bool ok;
    } cases[] = {
        {"new/and/parents", true}, {"wide", true},    {"link", false},
        {"file", false},           {"theirs", !root},  // made by this test only as root; otherwise
                                                       // it is simply new
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.name;
        struct stat before;
        const bool existed = lstat(path.c_str(), &before) == 0;
        EXPECT_EQ(fileutl_private_dir(path.c_str()) == TBS_ST_OK, c.ok);
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        // Refused: left exactly as it was.
        const mode_t want = c.ok ? (S_IFDIR | 0700) : existed ? before.st_mode : st.st_mode;
        EXPECT_EQ(st.st_mode, want);
    }
    struct stat parent;
    ASSERT_EQ(stat((dir / "new").c_str(), &parent), 0);
    EXPECT_EQ(parent.st_mode & 07777, 0700u);
    struct stat target;
    ASSERT_EQ(stat((dir / "target").c_str(), &target), 0);
    EXPECT_EQ(target.st_mode & 07777, 0755u);  // not narrowed through the link
    umask(saved);
}

TEST(Fileutl, CreateTempIsExclusiveAndUnpredictable) {
    TempDir dir;
    char p1[256], p2[256];
    int fd1 = fileutl_create_temp(dir.path().c_str(), "up", 0600, p1, sizeof p1);
    int fd2 = fileutl_create_temp(dir.path().c_str(), "up", 0600, p2, sizeof p2);
    ASSERT_GE(fd1, 0);
    ASSERT_GE(fd2, 0);
    EXPECT_STRNE(p1, p2);
    close(fd1);
    close(fd2);
    char tiny[8];
    EXPECT_EQ(fileutl_create_temp(dir.path().c_str(), "up", 0600, tiny, sizeof tiny), -1);
    EXPECT_EQ(fileutl_mkdir_p((dir / "a/b/c").c_str(), 0777), 0);
    EXPECT_EQ(fileutl_mkdir_p((dir / "a/b/c").c_str(), 0777), 0);             // existing is fine
    EXPECT_NE(fileutl_mkdir_p((std::string(p1) + "/sub").c_str(), 0777), 0);  // under a file
}
