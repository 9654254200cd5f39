// A snapshot view's update under faults of the file system: an update that cannot write a
// copy fails and names it, and leaves every copy either as it was or holding the new
// version, with its record naming the version whose bytes it holds; no temporary file stays
// in the view, and the next update, once the fault is gone, brings every copy up to date
// without taking any for a hijack.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/view/view.h"
#include "core/view/view_store.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "support/core_fixture.h"
#include "support/fault_fsys.h"
#include "support/temp_dir.h"

namespace {

struct FaultCase {
    const char* name;
    fs_fault fault;
};

// "src/.tmp-" names the temporary files an update writes copies through, beside the copies;
// "p.vbs/pool" the VOB's content pool the versions are read from.
const FaultCase kCases[] = {
    {"TemporaryNotCreated", {fs_op::open, ENOSPC, "src/.tmp-"}},
    {"DiskFullInTheFirstCopy", {fs_op::write, ENOSPC, "src/.tmp-", 0, 100000}},
    {"DiskFullInTheSecondCopy", {fs_op::write, ENOSPC, "src/.tmp-", 0, 300000}},
    {"FlushFails", {fs_op::fsync, EIO, "src/.tmp-"}},
    {"SecondFlushFails", {fs_op::fsync, EIO, "src/.tmp-", 1}},
    {"CloseFails", {fs_op::close, EIO, "src/.tmp-"}},
    {"RenameFails", {fs_op::rename, EIO, "src/.tmp-"}},
    {"SecondRenameFails", {fs_op::rename, EIO, "src/.tmp-", 1}},
    {"ContentUnreadable", {fs_op::read, EIO, "p.vbs/pool"}},
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

// A snapshot view loading /vobs/p, whose two files have a newer version than the one loaded.
class SnapshotFault : public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        ASSERT_EQ(run({"mkvob", "-tag", "/vobs/p", site_.path() + "/p.vbs"}), 0) << cap_.err;
        ASSERT_EQ(run({"mkview", "-tag", "snap", "-snapshot", site_.path() + "/snap.vws"}), 0)
            << cap_.err;
        ASSERT_EQ(view_open_by_tag("snap", &view_), 0);
        const std::string cs = write_file(tmp_ / "cs", "element * /main/LATEST\nload /vobs/p\n");
        ASSERT_EQ(run({"setcs", "-tag", "snap", cs}), 0) << cap_.err;
        for (size_t i = 0; i < leaves_.size(); ++i) {
            old_.push_back(random_bytes(50 * 1024, static_cast<unsigned>(i + 1)));
            new_.push_back(random_bytes(200 * 1024, static_cast<unsigned>(i + 11)));
            ASSERT_EQ(run({"mkelem", "-mkpath", "-ci", "-from", write_file(tmp_ / "o", old_[i]),
                           pname(i)}),
                      0)
                << cap_.err;
        }
        ASSERT_EQ(run({"update", "-tag", "snap"}), 0) << cap_.err;
        for (size_t i = 0; i < leaves_.size(); ++i) {
            ASSERT_EQ(run({"co", "-nc", pname(i)}), 0) << cap_.err;
            ASSERT_EQ(run({"ci", "-nc", "-from", write_file(tmp_ / "n", new_[i]), pname(i)}), 0)
                << cap_.err;
        }
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        view_cache_clear();
        vob_ob_all_cache_action(4);
    }

    tbs_status_t run(const std::vector<std::string>& args) { return run_vdtool(&cap_, args); }
    std::string pname(size_t i) const { return "/vobs/p/src/" + leaves_[i]; }
    std::string copy(size_t i) const { return view_->root + pname(i); }
    // The bytes of the version the view's record says the copy of file `i` holds.
    std::string recorded_bytes(size_t i) {
        view_wso_t w;
        if (view_store_get_wso(*view_->db, "vobs/p/src", leaves_[i], &w) != 0) return "<none>";
        vob_resolved_t r;
        vob_dbid_t version = 0;
        if (vob_resolve_pname(pname(i).c_str(), nullptr, 0, &r) != 0 ||
            vob_obj_oid_to_dbid(r.vob, w.ver_oid, &version) != 0 ||
            vob_ver_get_cleartext(r.vob, version, (tmp_ / "rec").c_str()) != 0)
            return "<error>";
        return read_file(tmp_ / "rec");
    }
    std::vector<std::string> temporaries() const {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(view_->root + "/vobs/p/src"))
            if (e.path().filename().string().rfind(".tmp-", 0) == 0)
                found.push_back(e.path().string());
        return found;
    }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
    view_t* view_ = nullptr;
    const std::vector<std::string> leaves_ = {"a.c", "b.c"};
    std::vector<std::string> old_, new_;
};

TEST_P(SnapshotFault, EachCopyIsOldOrNewAndTheRecordSaysWhich) {
    const FaultCase& c = GetParam();
    tbs_status_t st;
    int hits = 0;
    {
        ScopedFault fault(c.fault);
        st = run({"update", "-tag", "snap"});
        hits = fault.hits();
    }
    ASSERT_GT(hits, 0) << "the fault never fired";
    EXPECT_NE(st, 0);
    EXPECT_TRUE(contains(cap_.err, "Unable to update view \"snap\"")) << cap_.err;
    for (size_t i = 0; i < leaves_.size(); ++i) {
        SCOPED_TRACE(leaves_[i]);
        const std::string held = read_file(copy(i));
        const bool is_new = held == new_[i];
        EXPECT_TRUE(is_new || held == old_[i]) << "a copy holds neither version";
        EXPECT_TRUE(recorded_bytes(i) == held) << "the record names another version";
        const std::string name = "\"vobs/p/src/" + leaves_[i] + "\"";
        EXPECT_EQ(contains(cap_.out, "Loaded " + name), is_new) << cap_.text;
        EXPECT_EQ(contains(cap_.err, "Unable to load " + name), !is_new) << cap_.text;
    }
    EXPECT_EQ(temporaries(), std::vector<std::string>{});

    ASSERT_EQ(run({"update", "-tag", "snap"}), 0) << cap_.text;
    EXPECT_FALSE(contains(cap_.text, "hijacked")) << cap_.text;
    for (size_t i = 0; i < leaves_.size(); ++i) {
        EXPECT_TRUE(read_file(copy(i)) == new_[i]) << leaves_[i];
        EXPECT_TRUE(recorded_bytes(i) == new_[i]) << leaves_[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, SnapshotFault, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& i) {
                             return std::string(i.param.name);
                         });

}  // namespace
