// cmd_merge and vdtool merge: a version of branch "dev" merged into a checkout on main,
// for text files of each merge type, conflicts (written between markers, or nothing with
// -abort), the arrow that the version graph and checkin see, directories, and the errors of
// sources that name nothing or another element.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

class MergeTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        ASSERT_EQ(run({"mkvob", "-tag", "/vobs/p", site_.path() + "/p.vbs"}), 0) << cap_.err;
        ASSERT_EQ(run({"mkbrtype", "dev@/vobs/p"}), 0) << cap_.err;
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        vob_ob_all_cache_action(4);
    }

    tbs_status_t run(const std::vector<std::string>& args) { return run_vdtool(&cap_, args); }
    std::string source(const std::string& data) { return write_file(tmp_ / "src", data); }

    // An element (of `eltype` when given) at "base" on main, "from" on dev, and checked
    // out on main; the checkout's contents (the "to" side) are in the returned file.
    std::string three_sides(const std::string& pname, const std::string& base,
                            const std::string& from, const std::string& to,
                            const std::string& eltype = "") {
        std::vector<std::string> mk{"mkelem", "-ci", "-from", source(base)};
        if (!eltype.empty()) mk.insert(mk.begin() + 1, {"-eltype", eltype});
        mk.push_back(pname);
        EXPECT_EQ(run(mk), 0) << cap_.err;
        EXPECT_EQ(run({"checkout", "-branch", "dev", pname}), 0) << cap_.err;
        EXPECT_EQ(run({"checkin", "-from", source(from), pname}), 0) << cap_.err;
        EXPECT_EQ(run({"checkout", pname}), 0) << cap_.err;
        return write_file(tmp_ / "to", to);
    }
    cmd_merge_args_t merge_args(const std::string& pname, const std::string& to_file) {
        cmd_merge_args_t a;
        a.to = pname;
        a.from = pname + "@@/main/dev/1";
        a.to_file = to_file;
        a.output = tmp_ / "out";
        write_file(a.output, "untouched");
        return a;
    }
    // Whether a merge arrow leads from `from` into the element's checkout.
    bool arrow_from(const std::string& pname, const std::string& from) {
        vob_resolved_t r, f;
        if (vob_resolve_pname(pname.c_str(), nullptr, 0, &r) != 0 ||
            vob_resolve_pname((pname + "@@" + from).c_str(), nullptr, 0, &f) != 0)
            return false;
        std::vector<vob_hlink_info_t> links;
        vob_obj_get_hlinks(r.vob, f.version, &links);
        for (const auto& l : links)
            if (l.type == "Merge" && l.from == f.version && l.to == r.version) return true;
        return false;
    }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
};

// Each side's change lands; the arrow makes the merge visible to the version graph, so a
// second merge and the merge candidates find nothing left to do.
TEST_F(MergeTest, ThreeWayTextMergeRecordsTheArrow) {
    const std::string f = "/vobs/p/a.c";
    const std::string to = three_sides(f, "a\nb\nc\n", "A\nb\nc\n", "a\nb\nC\n");
    cmd_merge_args_t a = merge_args(f, to);
    ASSERT_EQ(cmd_merge(&a), 0) << cap_.text;
    EXPECT_EQ(a.outcome, CMD_MERGE_AUTO);
    EXPECT_EQ(a.conflicts, 0);
    EXPECT_EQ(read_file(a.output), "A\nb\nC\n");
    EXPECT_TRUE(arrow_from(f, "/main/dev/1"));
    std::string base;
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname(f.c_str(), nullptr, 0, &r), 0);
    ASSERT_EQ(vob_ver_get_idstr(r.vob, a.base_version, &base), 0);
    EXPECT_EQ(base, "/main/1");

    cmd_merge_args_t again = merge_args(f, to);
    ASSERT_EQ(cmd_merge(&again), 0) << cap_.text;
    EXPECT_EQ(again.outcome, CMD_MERGE_ALREADY);
    EXPECT_EQ(read_file(again.output), "untouched");

    ASSERT_EQ(run({"checkin", "-from", a.output, f}), 0) << cap_.err;
    cmd_findmerge_args_t fm;
    fm.selector = ".../dev/LATEST";
    fm.pnames = {f};
    ASSERT_EQ(cmd_findmerge(&fm), 0) << cap_.text;
    EXPECT_EQ(fm.candidates, 0);
}

// A conflict reaches the user between markers, with no arrow (nothing may be checked in as
// merged); -abort changes nothing; the arrow alone (-ndata) is recorded once resolved.
TEST_F(MergeTest, ConflictsAreLeftForTheUser) {
    const std::string f = "/vobs/p/c.c";
    const std::string to = three_sides(f, "a\nb\nc\n", "a\nB from\nc\n", "a\nB to\nc\n");
    cmd_merge_args_t aborted = merge_args(f, to);
    aborted.abort_on_conflict = true;
    EXPECT_EQ(cmd_merge(&aborted), TBS_ST_MERGE_CONFLICT);
    EXPECT_EQ(read_file(aborted.output), "untouched");

    cmd_merge_args_t a = merge_args(f, to);
    EXPECT_EQ(cmd_merge(&a), TBS_ST_MERGE_CONFLICT);
    EXPECT_EQ(a.outcome, CMD_MERGE_CONFLICT);
    EXPECT_EQ(a.conflicts, 1);
    EXPECT_EQ(read_file(a.output),
              "a\n<<<<<<< /vobs/p/c.c (checked out)\nB to\n"
              "||||||| /vobs/p/c.c@@/main/1 (base)\nb\n=======\nB from\n"
              ">>>>>>> /vobs/p/c.c@@/main/dev/1 (from)\nc\n");
    EXPECT_FALSE(arrow_from(f, "/main/dev/1"));

    EXPECT_EQ(run({"merge", "-to", f, "-ndata", f + "@@/main/dev/1"}), 0) << cap_.err;
    EXPECT_TRUE(arrow_from(f, "/main/dev/1"));
}

// What the element type's merge type makes of one change on each side.
TEST_F(MergeTest, MergeTypes) {
    struct Case {
        const char* mergetype;
        const char* to;  // the checkout's side; "a\nb\nc\n" is the base unchanged
        tbs_status_t status;
        const char* output;
    } cases[] = {
        {"auto", "a\nb\nC\n", 0, "A\nb\nC\n"},
        {"copy", "a\nb\nC\n", 0, "A\nb\nc\n"},
        {"never", "a\nb\nC\n", TBS_ST_NOT_SUPPORTED, "untouched"},
        {"user", "a\nb\nC\n", TBS_ST_MERGE_CONFLICT, nullptr},  // the from-side's change
        {"user", "a\nb\nc\n", 0, "A\nb\nc\n"},  // a copy loses nothing: not the user's
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mergetype) + " " + c.to);
        const std::string type = std::string("t_") + c.mergetype;
        if (run({"mkeltype", "-mergetype", c.mergetype, type + "@/vobs/p"}) != 0) {
            ASSERT_TRUE(contains(cap_.err, "exists")) << cap_.err;
        }
        const std::string f = "/vobs/p/" + type + std::to_string(n++);
        const std::string to = three_sides(f, "a\nb\nc\n", "A\nb\nc\n", c.to, type);
        cmd_merge_args_t a = merge_args(f, to);
        EXPECT_EQ(cmd_merge(&a), c.status) << cap_.text;
        if (c.output)
            EXPECT_EQ(read_file(a.output), c.output);
        else
            EXPECT_TRUE(contains(read_file(a.output), "<<<<<<< "));
    }
}

// Directory merge: the names dev added, removed and renamed since the base are made in the
// checked-out directory; two elements taking one name leave the directory as it was.
TEST_F(MergeTest, DirectoryMerge) {
    ASSERT_EQ(run({"mkdir", "/vobs/p/d"}), 0) << cap_.err;
    for (const char* leaf : {"keep.c", "gone.c", "old.c"})
        ASSERT_EQ(run({"mkelem", "-ci", "-from", source("x\n"), std::string("/vobs/p/d/") + leaf}),
                  0)
            << cap_.err;
    ASSERT_EQ(run({"checkin", "/vobs/p/d"}), 0) << cap_.err;
    ASSERT_EQ(run({"checkout", "-branch", "dev", "/vobs/p/d"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkelem", "-ci", "-from", source("new\n"), "/vobs/p/d/new.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"rmname", "/vobs/p/d/gone.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"mv", "/vobs/p/d/old.c", "/vobs/p/d/renamed.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"checkin", "/vobs/p/d"}), 0) << cap_.err;
    ASSERT_EQ(run({"checkout", "/vobs/p/d"}), 0) << cap_.err;  // main, through the spec-less view

    ASSERT_EQ(run({"merge", "-to", "/vobs/p/d", "/vobs/p/d@@/main/dev/LATEST"}), 0) << cap_.err;
    std::vector<vob_dir_entry_t> names;
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/d", nullptr, 0, &r), 0);
    ASSERT_EQ(vob_dir_list(r.vob, r.version, &names), 0);
    std::vector<std::string> leaves;
    for (const auto& e : names) leaves.push_back(e.name);
    std::sort(leaves.begin(), leaves.end());
    EXPECT_EQ(leaves, (std::vector<std::string>{"keep.c", "new.c", "renamed.c"}));
    ASSERT_EQ(run({"checkin", "/vobs/p/d"}), 0) << cap_.err;

    // Both sides make "clash.c", as different elements.
    ASSERT_EQ(run({"checkout", "-branch", "dev", "/vobs/p/d"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkelem", "-ci", "-from", source("dev\n"), "/vobs/p/d/clash.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"checkin", "/vobs/p/d"}), 0) << cap_.err;
    ASSERT_EQ(run({"checkout", "/vobs/p/d"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkelem", "-ci", "-from", source("main\n"), "/vobs/p/d/clash.c"}), 0)
        << cap_.err;
    cmd_merge_args_t a;
    a.to = "/vobs/p/d";
    a.from = ".../dev/LATEST";
    EXPECT_EQ(cmd_merge(&a), TBS_ST_MERGE_CONFLICT) << cap_.text;
    EXPECT_EQ(a.conflicts, 2);  // each element that would take the name
    ASSERT_EQ(vob_resolve_pname("/vobs/p/d", nullptr, 0, &r), 0);
    ASSERT_EQ(vob_dir_list(r.vob, r.version, &names), 0);
    EXPECT_EQ(names.size(), 4u);  // keep, new, renamed and main's own clash.c
    EXPECT_FALSE(arrow_from("/vobs/p/d", "/main/dev/2"));
}

// Sources and targets that do not fit.
TEST_F(MergeTest, BadSourcesAndTargets) {
    const std::string f = "/vobs/p/e.c";
    const std::string to = three_sides(f, "a\n", "b\n", "a\n");
    ASSERT_EQ(run({"mkelem", "-ci", "-from", source("o\n"), "/vobs/p/other.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkelem", "-ci", "-from", source("o\n"), "/vobs/p/notout.c"}), 0) << cap_.err;
    struct Case {
        const char* to;
        const char* from;
        tbs_status_t status;
    } cases[] = {
        {"/vobs/p/e.c", "/vobs/p/other.c@@/main/1", TBS_ST_INVALID},  // another element
        {"/vobs/p/e.c", ".../nosuch/LATEST", TBS_ST_NOT_FOUND},       // selects nothing
        {"/vobs/p/e.c", "/vobs/p/e.c@@/main/9", TBS_ST_NAME_NOT_FOUND},
        {"/vobs/p/e.c", "bad selector", TBS_ST_BAD_SELECTOR},
        {"/vobs/p/notout.c", "/vobs/p/notout.c@@/main/0", TBS_ST_NOT_CHECKED_OUT},
        {"/vobs/p/nosuch.c", "/vobs/p/e.c@@/main/dev/1", TBS_ST_NAME_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.to) + " <- " + c.from);
        cmd_merge_args_t a = merge_args(c.to, to);
        a.from = c.from;
        EXPECT_EQ(cmd_merge(&a), c.status) << cap_.text;
        EXPECT_EQ(read_file(a.output), "untouched");
    }
}
