// Merge candidates (cmd_findmerge and vdtool findmerge) over one VOB whose elements stand
// in every relation to a branch "dev": changed on dev alone (trivial), changed on both
// (not trivial), merged back through a merge arrow, merged and then changed again (the
// base found through the arrow), a directory, and untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

// One callback call, its versions as id strings ("/main/dev/1").
struct Found {
    std::string pname, to, from, base;
    int mtype = 0;
    bool trivial = false;
    int64_t distance = 0;
    bool operator==(const Found&) const = default;
};

struct Collector {
    std::vector<Found> found;
    int ends = 0;
    static void proc(void* data, const char* pname, vob_t* vob, vob_dbid_t to, vob_dbid_t from,
                     vob_dbid_t base, int mtype, int trivial, int64_t distance) {
        Collector* c = static_cast<Collector*>(data);
        if (!vob) {
            ++c->ends;
            return;
        }
        auto id = [vob](vob_dbid_t v) {
            std::string s;
            return vob_ver_get_idstr(vob, v, &s) == 0 ? s : "?";
        };
        c->found.push_back({pname, id(to), id(from), id(base), mtype, trivial != 0, distance});
    }
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << f.pname << " to " << f.to << " from " << f.from << " base " << f.base
              << (f.trivial ? " trivial" : "") << " +" << f.distance;
}

const int FILE_EL = VOB_MTYPE_FILE_ELEMENT;
const int DIR_EL = VOB_MTYPE_DIR_ELEMENT;

}  // namespace

class FindmergeTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        ASSERT_EQ(run({"mkvob", "-tag", "/vobs/p", site_.path() + "/p.vbs"}), 0) << cap_.err;
        ASSERT_EQ(run({"mkbrtype", "dev@/vobs/p"}), 0) << cap_.err;
        for (const char* f : {"trivial.c", "both.c", "merged.c", "again.c", "same.c"})
            make_file(std::string("/vobs/p/") + f, "1\n");
        ASSERT_EQ(run({"mkdir", "/vobs/p/d"}), 0) << cap_.err;
        ASSERT_EQ(run({"checkin", "/vobs/p/d"}), 0) << cap_.err;  // d@@/main/1

        on_dev("/vobs/p/trivial.c", "dev\n");
        on_dev("/vobs/p/both.c", "dev\n");
        on_main("/vobs/p/both.c", "main\n");
        on_dev("/vobs/p/merged.c", "dev\n");
        merge_in("/vobs/p/merged.c", "/main/dev/1", "merged\n");
        on_dev("/vobs/p/again.c", "dev\n");
        merge_in("/vobs/p/again.c", "/main/dev/1", "merged\n");
        on_dev("/vobs/p/again.c", "dev 2\n");
        on_dev("/vobs/p/d", "");
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        vob_ob_all_cache_action(4);
    }

    tbs_status_t run(const std::vector<std::string>& args) { return run_vdtool(&cap_, args); }
    std::string source(const std::string& data) { return write_file(tmp_ / "src", data); }
    void make_file(const std::string& pname, const std::string& data) {
        ASSERT_EQ(run({"mkelem", "-ci", "-from", source(data), pname}), 0) << cap_.err;
    }
    // A new version on dev (made from the version main selects the first time); a
    // directory is checked in unchanged.
    void on_dev(const std::string& pname, const std::string& data) {
        ASSERT_EQ(run({"checkout", "-branch", "dev", pname}), 0) << cap_.err;
        if (data.empty())
            ASSERT_EQ(run({"checkin", pname}), 0) << cap_.err;
        else
            ASSERT_EQ(run({"checkin", "-from", source(data), pname}), 0) << cap_.err;
    }
    void on_main(const std::string& pname, const std::string& data) {
        ASSERT_EQ(run({"checkout", pname}), 0) << cap_.err;
        ASSERT_EQ(run({"checkin", "-from", source(data), pname}), 0) << cap_.err;
    }
    // A new main version that records the merge of `from` with a merge arrow.
    void merge_in(const std::string& pname, const std::string& from, const std::string& data) {
        ASSERT_EQ(run({"checkout", pname}), 0) << cap_.err;
        ASSERT_EQ(run({"mkhlink", "Merge", pname + "@@" + from, pname}), 0) << cap_.err;
        ASSERT_EQ(run({"checkin", "-from", source(data), pname}), 0) << cap_.err;
    }

    tbs_status_t find(cmd_findmerge_args_t a, Collector* c) {
        a.callback = Collector::proc;
        a.callback_data = c;
        return cmd_findmerge(&a);
    }
    static cmd_findmerge_args_t from_selector(const std::string& sel,
                                              std::vector<std::string> pnames = {}) {
        cmd_findmerge_args_t a;
        a.selector = sel;
        a.pnames = std::move(pnames);
        return a;
    }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
};

// What a merge from dev brings into main, however dev's versions are named: the branch
// (searched from the elements that have it), a label on the same versions (from the
// elements that carry it), and another view that selects dev (a walk of every name).
TEST_F(FindmergeTest, CandidatesFromBranchLabelAndViewAgree) {
    // Steps from the base: dev/1 is two from main/1 (through dev/0).
    const std::vector<Found> want = {
        {"/vobs/p/trivial.c", "/main/1", "/main/dev/1", "/main/1", FILE_EL, true, 2},
        {"/vobs/p/both.c", "/main/2", "/main/dev/1", "/main/1", FILE_EL, false, 2},
        // Merged once (the arrow from dev/1), changed on dev since: the base is dev/1.
        {"/vobs/p/again.c", "/main/2", "/main/dev/2", "/main/dev/1", FILE_EL, false, 1},
        {"/vobs/p/d", "/main/1", "/main/dev/1", "/main/1", DIR_EL, true, 2},
    };
    auto sorted = [](std::vector<Found> v) {
        std::sort(v.begin(), v.end(),
                  [](const Found& x, const Found& y) { return x.pname < y.pname; });
        return v;
    };

    Collector branch;
    ASSERT_EQ(find(from_selector(".../dev/LATEST"), &branch), 0) << cap_.text;
    EXPECT_EQ(sorted(branch.found), sorted(want));
    EXPECT_EQ(branch.ends, 1);

    ASSERT_EQ(run({"mklbtype", "REL1@/vobs/p"}), 0) << cap_.err;
    for (const char* f : {"trivial.c", "both.c", "merged.c", "again.c", "d"})
        ASSERT_EQ(run({"mklabel", "REL1", std::string("/vobs/p/") + f + "@@/main/dev/LATEST"}), 0)
            << cap_.err;
    Collector label;
    ASSERT_EQ(find(from_selector("REL1"), &label), 0) << cap_.text;
    EXPECT_EQ(sorted(label.found), sorted(want));

    cmd_mkview_args_t mv;
    mv.tag = "devview";
    mv.storage = site_.path() + "/devview.vws";
    mv.cspec = "element * .../dev/LATEST\nelement * /main/LATEST\n";
    ASSERT_EQ(cmd_mkview(&mv), 0) << cap_.text;
    cmd_findmerge_args_t a;
    a.kind = CMD_FINDMERGE_VIEW;
    a.from_view = "devview";
    Collector view;
    ASSERT_EQ(find(a, &view), 0) << cap_.text;
    EXPECT_EQ(sorted(view.found), sorted(want));
}

// The search roots and flags: one element, a directory alone, nothing to merge, one
// element's version named outright.
TEST_F(FindmergeTest, RootsFlagsAndSources) {
    struct Case {
        const char* what;
        cmd_findmerge_args_t args;
        std::vector<std::string> pnames;  // found, in order
    };
    cmd_findmerge_args_t dirs = from_selector(".../dev/LATEST");
    dirs.dir_only = true;
    std::vector<Case> cases = {
        {"one element", from_selector(".../dev/LATEST", {"/vobs/p/both.c"}), {"/vobs/p/both.c"}},
        {"already merged", from_selector(".../dev/LATEST", {"/vobs/p/merged.c"}), {}},
        {"untouched", from_selector(".../dev/LATEST", {"/vobs/p/same.c"}), {}},
        {"directories only", dirs, {"/vobs/p/d"}},
        {"below a directory", from_selector(".../dev/LATEST", {"/vobs/p/d"}), {"/vobs/p/d"}},
        {"a branch nobody has", from_selector(".../nobranch/LATEST"), {}},
        {"an older main version", from_selector("/main/1", {"/vobs/p/both.c"}), {}},
        {"one version named", from_selector("/vobs/p/same.c@@/main/0"), {}},
        {"one version named, not merged",
         from_selector("/vobs/p/both.c@@/main/dev/1"),
         {"/vobs/p/both.c"}},
    };
    for (Case& c : cases) {
        Collector got;
        ASSERT_EQ(find(c.args, &got), 0) << c.what << ": " << cap_.text;
        std::vector<std::string> names;
        for (const Found& f : got.found) names.push_back(f.pname);
        EXPECT_EQ(names, c.pnames) << c.what;
        EXPECT_EQ(got.ends, 1) << c.what;
    }
}

// A checkout in the searching view is the to-version: what was merged into it (an arrow
// to the checkout) counts, and its predecessor's history too.
TEST_F(FindmergeTest, CheckedOutVersionIsTheTarget) {
    ASSERT_EQ(run({"checkout", "/vobs/p/both.c"}), 0) << cap_.err;
    Collector before;
    ASSERT_EQ(find(from_selector(".../dev/LATEST", {"/vobs/p/both.c"}), &before), 0);
    ASSERT_EQ(before.found.size(), 1u);
    EXPECT_EQ(before.found[0].to, "/main/CHECKEDOUT");
    EXPECT_EQ(before.found[0].base, "/main/1");
    ASSERT_EQ(run({"mkhlink", "Merge", "/vobs/p/both.c@@/main/dev/1", "/vobs/p/both.c"}), 0)
        << cap_.err;
    Collector after;
    ASSERT_EQ(find(from_selector(".../dev/LATEST", {"/vobs/p/both.c"}), &after), 0);
    EXPECT_TRUE(after.found.empty());
}

TEST_F(FindmergeTest, RefusalsStillEndTheRun) {
    struct Case {
        const char* what;
        cmd_findmerge_args_t args;
        tbs_status_t st;
    };
    cmd_findmerge_args_t acts;
    acts.kind = CMD_FINDMERGE_ACTIVITIES;
    acts.activities = {"activity:fix@/vobs/pvob"};
    cmd_findmerge_args_t no_view;
    no_view.kind = CMD_FINDMERGE_VIEW;
    no_view.from_view = "nosuchview";
    std::vector<Case> cases = {
        {"activities of a missing project VOB", acts, TBS_ST_NAME_NOT_FOUND},
        {"empty selector", from_selector(""), TBS_ST_BAD_SELECTOR},
        {"selector with options", from_selector("REL1 -nocheckout"), TBS_ST_BAD_SELECTOR},
        {"CHECKEDOUT", from_selector("CHECKEDOUT"), TBS_ST_BAD_SELECTOR},
        {"source view missing", no_view, TBS_ST_NOT_FOUND},
        {"root missing", from_selector(".../dev/LATEST", {"/vobs/p/nothing.c"}),
         TBS_ST_NAME_NOT_FOUND},
    };
    for (Case& c : cases) {
        Collector got;
        cap_ = Captured{};
        tbs_status_t st = find(c.args, &got);
        EXPECT_NE(st, 0) << c.what;
        if (c.st != TBS_ST_NOT_FOUND) {
            EXPECT_EQ(st, c.st) << c.what << ": " << cap_.text;
        }
        EXPECT_FALSE(cap_.err.empty()) << c.what;
        EXPECT_TRUE(got.found.empty()) << c.what;
        EXPECT_EQ(got.ends, 1) << c.what;
    }
}

TEST_F(FindmergeTest, VdtoolPrintsOneLinePerCandidate) {
    ASSERT_EQ(
        run({"findmerge", "-flatest", "dev", "-print", "/vobs/p/trivial.c", "/vobs/p/both.c"}), 0)
        << cap_.err;
    EXPECT_EQ(cap_.out,
              "/vobs/p/trivial.c: to /main/1, from /main/dev/1, base /main/1, trivial\n"
              "/vobs/p/both.c: to /main/2, from /main/dev/1, base /main/1\n");
    ASSERT_EQ(run({"findmerge", "-fversion", "/main/LATEST", "/vobs/p"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "No merge candidates.\n");
    ASSERT_EQ(run({"findmerge", "-directory", "-ftag", "nosuchview"}), TBS_ST_NOT_FOUND)
        << cap_.text;
    struct Usage {
        std::vector<std::string> line;
    };
    for (const Usage& u :
         std::vector<Usage>{{{"findmerge", "/vobs/p"}},
                            {{"findmerge", "-flatest", "dev", "-fversion", "REL1"}},
                            {{"findmerge", "-flatest", "dev", "-bogus"}},
                            {{"findmerge", "-flatest", "dev", "relative/a.c"}}}) {
        EXPECT_EQ(run(u.line), 1072) << u.line.back();
        EXPECT_TRUE(contains(cap_.err, "Usage: findmerge")) << cap_.err;
    }
}
