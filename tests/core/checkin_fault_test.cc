// Checkin under faults of the file system: a checkin whose contents cannot be stored fails
// with the failing call's status and a message naming the contents, makes no version for
// any of its pathnames (atomic or not), leaves no temporary file in the pool and the VOB
// consistent, and keeps the checkouts, so that the same checkin succeeds once the fault is
// gone.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/store/content_pool.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "support/core_fixture.h"
#include "support/fault_fsys.h"
#include "support/temp_dir.h"

namespace {

struct FaultCase {
    const char* name;
    fs_fault fault;
    bool atomic;
};

// Paths: ".tmp-" names the pool's temporary files, "p.vbs/pool" the pool directory and
// everything in it, "p.vbs/pool/" its subdirectories and files.
const FaultCase kCases[] = {
    {"TemporaryNotCreated", {fs_op::open, ENOSPC, ".tmp-"}, false},
    {"DiskFullInTheContent", {fs_op::write, ENOSPC, ".tmp-", 0, 100000}, false},
    {"FsyncFails", {fs_op::fsync, EIO, ".tmp-"}, false},
    {"SecondContentNotFlushed", {fs_op::fsync, EIO, ".tmp-", 1}, false},
    {"SubdirectoryNotMade", {fs_op::mkdir, ENOSPC, "p.vbs/pool/"}, false},
    {"RenameFails", {fs_op::rename, EIO, ".tmp-"}, false},
    {"RenameFindsNoRoom", {fs_op::rename, ENOSPC, ".tmp-"}, false},
    {"DirectoryNotFlushed", {fs_op::fsync, EIO, "p.vbs/pool", 2}, false},
    {"AtomicDiskFullInTheContent", {fs_op::write, ENOSPC, ".tmp-", 0, 100000}, true},
    {"AtomicFlushFails", {fs_op::syncfs, EIO, "p.vbs/pool"}, true},
    {"AtomicSubdirectoryNotMade", {fs_op::mkdir, ENOSPC, "p.vbs/pool/"}, true},
    {"AtomicRenameFails", {fs_op::rename, EIO, ".tmp-"}, true},
    {"AtomicSecondFlushFails", {fs_op::syncfs, EIO, "p.vbs/pool", 1}, true},
};

// Names the case in failure reports instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class CheckinFault : public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &out_);
        ASSERT_EQ(create_vob("/vobs/p", site_.path() + "/p.vbs"), 0);
        ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob_), 0);
        for (size_t i = 0; i < pnames_.size(); ++i) {
            ASSERT_EQ(mkelem_ci(pnames_[i], false, write_file(tmp_ / "v1", "first\n" + pnames_[i])),
                      0);
            cmd_checkout_args_t co;
            co.pnames = {pnames_[i]};
            ASSERT_EQ(cmd_checkout(&co), 0) << out_.text;
            data_.push_back(random_bytes(300 * 1024, static_cast<unsigned>(i + 1)));
            from_.push_back(write_file(tmp_ / ("new" + std::to_string(i)), data_[i]));
        }
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        vob_ob_all_cache_action(4);
    }

    // Problems vob_check finds, and temporary files in the pool, as one line each.
    std::vector<std::string> damage() {
        std::vector<std::string> problems;
        EXPECT_EQ(vob_check(vob_, &problems), 0);
        for (const auto& e : std::filesystem::directory_iterator(vob_->pool->dir()))
            if (e.path().filename().string().rfind(".tmp-", 0) == 0)
                problems.push_back("temporary " + e.path().string());
        return problems;
    }

    TempHome site_;
    TempDir tmp_;
    Captured out_;
    imsg_redirect_table_t saved_{};
    vob_t* vob_ = nullptr;
    const std::vector<std::string> pnames_ = {"/vobs/p/a.c", "/vobs/p/b.c"};
    std::vector<std::string> data_, from_;
};

TEST_P(CheckinFault, FailsCleanlyAndCanBeRetried) {
    const FaultCase& c = GetParam();
    cmd_checkin_args_t ci;
    ci.pnames = pnames_;
    ci.from = from_;
    ci.atomic = c.atomic;
    out_ = Captured{};
    tbs_status_t st;
    int hits = 0;
    {
        ScopedFault fault(c.fault);
        st = cmd_checkin(&ci);
        hits = fault.hits();
    }
    EXPECT_EQ(st, tbs_errno2status(c.fault.err));
    EXPECT_GT(hits, 0);
    EXPECT_TRUE(contains(out_.err, "Unable to store the contents of \"")) << out_.err;
    EXPECT_TRUE(contains(out_.err, tbs_strerror(st))) << out_.err;
    EXPECT_TRUE(ci.versions.empty());
    for (const std::string& p : pnames_) {
        EXPECT_EQ(idstr(p + "@@/main/LATEST"), "/main/1") << p;
        EXPECT_EQ(idstr(p), "/main/CHECKEDOUT") << p;
    }
    EXPECT_EQ(damage(), std::vector<std::string>{});

    ASSERT_EQ(cmd_checkin(&ci), TBS_ST_OK) << out_.text;
    for (size_t i = 0; i < pnames_.size(); ++i) {
        EXPECT_EQ(idstr(pnames_[i]), "/main/2");
        EXPECT_TRUE(cleartext(pnames_[i], tmp_ / "out") == data_[i]) << pnames_[i];
    }
    EXPECT_EQ(damage(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Faults, CheckinFault, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
