// Change management in the core: activities and change sets in stream views, deliver and
// rebase through their resumable steps (completed, stopped halfway and cancelled, stopped
// and resumed, raced by two processes), baselines, the checkout policies, and selectors of
// the wrong kind. The site: a VOB /vobs/src (a.c, d/b.c) made the component "src" of the
// project "proj" in the project VOB /vobs/pvob, its integration stream "proj_int" and two
// development streams dev1 and dev2, each with a web view of its own tag.
#include "core/vob/xcm.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/sum/sum_integration.h"
#include "core/sum/sum_xcm.h"
#include "core/view/view.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

const char* const kProject = "project:proj@/vobs/pvob";
const char* const kInt = "stream:proj_int@/vobs/pvob";
const char* const kDev1 = "stream:dev1@/vobs/pvob";
const char* const kDev2 = "stream:dev2@/vobs/pvob";

// What a deliver or rebase reported, in order.
struct Events {
    std::vector<int> phases;
    std::vector<std::string> merged;  // pnames merged
    std::vector<std::string> posts;   // "CHECKOUT <pname>" at each post
    int stop_after_checkouts = -1;    // stop at the post of this many checkouts
    static int progress(void* d, int phase, int64_t, int64_t, const char*) {
        static_cast<Events*>(d)->phases.push_back(phase);
        return 0;
    }
    static int merge(void* d, const cmd_integ_merge_t& m) {
        static_cast<Events*>(d)->merged.push_back(m.pname);
        return 0;
    }
    static int verctl(void* d, int when, const char* action, const char* pname, const char*) {
        Events* e = static_cast<Events*>(d);
        if (when != CMD_VERCTL_POST) return 0;
        e->posts.push_back(std::string(action) + " " + pname);
        return e->stop_after_checkouts >= 0 &&
               static_cast<int>(e->posts.size()) >= e->stop_after_checkouts;
    }
    cmd_integ_callbacks_t table() {
        cmd_integ_callbacks_t cb;
        cb.data = this;
        cb.progress = progress;
        cb.merge = merge;
        cb.verctl = verctl;
        return cb;
    }
};

}  // namespace

class XcmTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        ok({"mkvob", "-tag", "/vobs/src", site_.path() + "/src.vbs"});
        ASSERT_EQ(mkelem_ci("/vobs/src/a.c", false, write_file(tmp_ / "a", "a1\n")), 0) << cap_.err;
        ASSERT_EQ(mkelem_ci("/vobs/src/d", true), 0) << cap_.err;
        ASSERT_EQ(mkelem_ci("/vobs/src/d/b.c", false, write_file(tmp_ / "b", "b1\n")), 0);
        ok({"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.path() + "/pvob.vbs"});
        ok({"mkcomp", "-root", "/vobs/src", "src@/vobs/pvob"});
        ok({"mkproject", "-modcomp", "component:src@/vobs/pvob", "proj@/vobs/pvob"});
        ok({"mkstream", "-in", kProject, "-integration", "proj_int@/vobs/pvob"});
        ok({"mkstream", "-in", kProject, "dev1@/vobs/pvob"});
        ok({"mkstream", "-in", kProject, "dev2@/vobs/pvob"});
        for (const char* v : {"int", "dev1", "dev2"}) {
            const std::string stream =
                std::string(v) == "int" ? kInt : "stream:" + std::string(v) + "@/vobs/pvob";
            ok({"mkview", "-tag", v, "-stream", stream, site_.path() + "/" + v + ".vws"});
        }
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        view_cache_clear();
        vob_ob_all_cache_action(4);
    }

    void ok(const std::vector<std::string>& args) {
        ASSERT_EQ(run_vdtool(&cap_, args), 0) << args[0] << ": " << cap_.err;
    }
    const vob_view_ctx_t* ctx(const char* tag) {
        view_t* v = nullptr;
        return view_open_by_tag(tag, &v) == 0 ? &v->ctx : nullptr;
    }
    // A change in a view: checkout, new contents, checkin.
    tbs_status_t change(const char* view, const std::string& pname, const std::string& data) {
        cmd_checkout_args_t co;
        co.pnames = {pname};
        co.view = ctx(view);
        tbs_status_t st = cmd_checkout(&co);
        if (st != 0) return st;
        cmd_checkin_args_t ci;
        ci.pnames = {pname};
        ci.from = {write_file(tmp_ / "new", data)};
        ci.view = ctx(view);
        return cmd_checkin(&ci);
    }
    // A change made in another view's activity (made when named, else the current one).
    tbs_status_t change_as(const char* view, const std::string& activity, const char* stream,
                           const std::string& pname, const std::string& data) {
        if (!activity.empty()) {
            tbs_status_t st =
                run_vdtool(&cap_, {"mkactivity", "-in", stream, "-view", view, activity});
            if (st != 0) return st;
        }
        return change(view, pname, data);
    }
    // The contents a view selects at `pname`.
    std::string text_in(const char* view, const std::string& pname) {
        vob_resolved_t r;
        if (vob_resolve_pname(pname.c_str(), ctx(view), 0, &r) != 0) return "<none>";
        const std::string dest = tmp_ / "out";
        if (vob_ver_get_cleartext(r.vob, r.version, dest.c_str()) != 0) return "<error>";
        return read_file(dest);
    }
    size_t checkouts_in(const char* view) {
        view_t* v = nullptr;
        vob_t* vob = nullptr;
        std::vector<vob_checkout_info_t> cos;
        view_open_by_tag(view, &v);
        vob_open_by_tag("/vobs/src", &vob);
        vob_ob_view_ckouts(vob, v->uuid, &cos);
        return cos.size();
    }
    vob_t* pvob() {
        vob_t* v = nullptr;
        vob_open_by_tag("/vobs/pvob", &v);
        return v;
    }
    vob_dbid_t id(const char* sel) {
        vob_t* pv = nullptr;
        vob_dbid_t d = 0;
        xcm_resolve(sel, 0, &pv, &d);
        return d;
    }
    // Work in dev1 in its activity "fix": a.c and d/b.c changed.
    void work_in_dev1() {
        ok({"mkactivity", "-in", kDev1, "-headline", "Fix both", "-view", "dev1",
            "fix@/vobs/pvob"});
        ASSERT_EQ(change("dev1", "/vobs/src/a.c", "a2\n"), 0) << cap_.err;
        ASSERT_EQ(change("dev1", "/vobs/src/d/b.c", "b2\n"), 0) << cap_.err;
    }
    tbs_status_t deliver_start(const char* from, Events* ev, const char* view = "int") {
        cmd_deliver_args_t d;
        d.stream = from;
        d.view = view;
        cmd_integ_callbacks_t cb = ev->table();
        d.cb = &cb;
        return cmd_deliver_start(&d);
    }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
};

// A stream view records its checkouts in its current activity and refuses them without
// one; an uncheckout takes the version out of the change set, a move puts it in another
// activity of the stream, and an activity of another stream cannot be set.
TEST_F(XcmTest, ChangeSetsFollowTheViewsActivity) {
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/src/a.c"};
    co.view = ctx("dev1");
    EXPECT_EQ(cmd_checkout(&co), TBS_ST_NO_ACTIVITY);
    EXPECT_EQ(checkouts_in("dev1"), 0u);

    work_in_dev1();
    SUM_Activity fix, other;
    ASSERT_EQ(SUM_Activity::construct_from_selector("activity:fix@/vobs/pvob", &fix), 0);
    std::vector<cmd_cs_entry_t> cs;
    ASSERT_EQ(fix.change_set(&cs), 0);
    std::vector<std::string> got;
    for (const cmd_cs_entry_t& e : cs) got.push_back(e.pname + "@@" + e.idstr);
    // The checkouts are the versions: dev1/1 of each (the branch's version 0 is the base).
    EXPECT_EQ(got, (std::vector<std::string>{"/vobs/src/a.c@@/main/dev1/1",
                                             "/vobs/src/d/b.c@@/main/dev1/1"}));

    co.view = ctx("dev1");
    ASSERT_EQ(cmd_checkout(&co), 0) << cap_.err;
    bool has = false;
    EXPECT_EQ(fix.has_checkouts(&has), 0);
    EXPECT_TRUE(has);
    cmd_uncheckout_args_t u;
    u.pnames = co.pnames;
    u.view = ctx("dev1");
    ASSERT_EQ(cmd_uncheckout(&u), 0) << cap_.err;
    ASSERT_EQ(fix.change_set(&cs), 0);
    EXPECT_EQ(cs.size(), 2u);

    ok({"mkactivity", "-in", kDev1, "later@/vobs/pvob"});
    ASSERT_EQ(cmd_mvact("/vobs/src/a.c@@/main/dev1/1", ctx("dev1"), "activity:later@/vobs/pvob"), 0)
        << cap_.err;
    ASSERT_EQ(SUM_Activity::construct_from_selector("activity:later@/vobs/pvob", &other), 0);
    ASSERT_EQ(other.change_set(&cs), 0);
    ASSERT_EQ(cs.size(), 1u);
    EXPECT_EQ(cs[0].pname, "/vobs/src/a.c");

    ok({"mkactivity", "-in", kDev2, "elsewhere@/vobs/pvob"});
    EXPECT_EQ(run_vdtool(&cap_, {"setactivity", "-view", "dev1", "activity:elsewhere@/vobs/pvob"}),
              TBS_ST_BAD_ACTIVITY);
}

// The whole flow: a deliver with its progress phases, merges and completion; a baseline of
// the integration stream, recommended; a rebase of dev2 to it, after which dev2's view (the
// same handle, opened before) selects the delivered contents.
TEST_F(XcmTest, DeliverBaselineAndRebaseCarryWorkAcrossStreams) {
    work_in_dev1();
    // A new element, made in the stream's view: it and its directory's new name go on the
    // stream's branch, so the view sees them.
    cmd_mkelem_args_t mk;
    mk.pnames = {"/vobs/src/d/new.c"};
    mk.from = {write_file(tmp_ / "n", "n1\n")};
    mk.view = ctx("dev1");
    mk.checkin = true;
    mk.ci_parent = true;
    ASSERT_EQ(cmd_utl_mkelem(&mk), 0) << cap_.err;
    EXPECT_EQ(text_in("dev1", "/vobs/src/d/new.c"), "n1\n");
    EXPECT_EQ(idstr("/vobs/src/d", ctx("dev1")), "/main/dev1/1");
    EXPECT_EQ(text_in("int", "/vobs/src/d/new.c"), "<none>");
    EXPECT_EQ(text_in("dev2", "/vobs/src/a.c"), "a1\n");  // opens dev2 before the rebase
    // Merge candidates of the activity in the integration view: both elements, trivial.
    cmd_findmerge_args_t fm;
    fm.kind = CMD_FINDMERGE_ACTIVITIES;
    fm.activities = {"activity:fix@/vobs/pvob"};
    fm.view = ctx("int");
    fm.pnames = {"/vobs/src"};
    fm.output = "NUL";
    ASSERT_EQ(cmd_findmerge(&fm), 0) << cap_.err;
    EXPECT_EQ(fm.candidates, 3);  // a.c, d, b.c (new.c is not in the view yet)
    Events ev;
    ASSERT_EQ(deliver_start(kDev1, &ev), 0) << cap_.err;
    EXPECT_EQ(ev.phases, (std::vector<int>{3, 4, 5, 6, 7, 7, 7, 7, 8, 9}));
    SUM_Stream dev1;
    ASSERT_EQ(SUM_Stream::construct_from_selector(kDev1, &dev1), 0);
    SUM_Deliver d;
    ASSERT_EQ(SUM_Deliver::restart(dev1, 0, &d), 0);
    SUM_String state;
    ASSERT_EQ(d.op_state_string(&state), 0);
    EXPECT_EQ(state.str(), "prepared");
    d.set_callback_data(&ev);
    d.set_merge_cb(Events::merge);
    ASSERT_EQ(d.do_deliver(), 0) << cap_.err;
    // Parents first: the directory brings the new name before the new element is merged.
    EXPECT_EQ(ev.merged, (std::vector<std::string>{"/vobs/src/d", "/vobs/src/a.c",
                                                   "/vobs/src/d/b.c", "/vobs/src/d/new.c"}));
    ASSERT_EQ(d.op_state_string(&state), 0);
    EXPECT_EQ(state.str(), "merged");
    view_t* iv = nullptr;
    ASSERT_EQ(view_open_by_tag("int", &iv), 0);
    EXPECT_EQ(read_file(iv->root + "/vobs/src/a.c"), "a2\n");  // the merge, for the checkin
    ASSERT_EQ(d.complete(), 0) << cap_.err;
    EXPECT_EQ(checkouts_in("int"), 0u);
    EXPECT_EQ(idstr("/vobs/src/a.c", ctx("int")), "/main/proj_int/1");
    EXPECT_EQ(text_in("int", "/vobs/src/d/b.c"), "b2\n");
    EXPECT_EQ(text_in("int", "/vobs/src/d/new.c"), "n1\n");
    // Nothing is left to deliver.
    EXPECT_EQ(deliver_start(kDev1, &ev), TBS_ST_NO_WORK);
    ASSERT_EQ(cmd_findmerge(&fm), 0) << cap_.err;
    EXPECT_EQ(fm.candidates, 0);

    ok({"mkbl", "-stream", kInt, "-recommend", "BL1"});
    ok({"lsbl", "-stream", kInt});
    EXPECT_TRUE(contains(cap_.out,
                         "baseline \"BL1\"  component \"src\"  incremental  INITIAL  4 "
                         "versions  (recommended)"))
        << cap_.out;
    // dev2's copy area loads d alone: its load rules outlive the stream's new spec.
    {
        view_t* v = nullptr;
        std::string spec;
        ASSERT_EQ(view_open_by_tag("dev2", &v), 0);
        ASSERT_EQ(view_get_cspec(v, &spec), 0);
        spec.replace(spec.find("load /vobs/src\n"), 15, "load /vobs/src/d\n");
        ASSERT_EQ(view_set_cspec(v, VIEW_SETCS_REPLACE, spec, nullptr), 0) << cap_.err;
    }
    ok({"rebase", "-view", "dev2", "-complete"});
    EXPECT_EQ(text_in("dev2", "/vobs/src/a.c"), "a2\n");
    EXPECT_EQ(text_in("dev2", "/vobs/src/d/b.c"), "b2\n");
    EXPECT_EQ(text_in("dev2", "/vobs/src/d/new.c"), "n1\n");
    std::string cspec;
    view_t* dev2 = nullptr;
    ASSERT_EQ(view_open_by_tag("dev2", &dev2), 0);
    ASSERT_EQ(view_get_cspec(dev2, &cspec), 0);
    EXPECT_TRUE(contains(cspec, "element /vobs/src/... BL1 -mkbranch dev2\n")) << cspec;
    EXPECT_TRUE(contains(cspec, "load /vobs/src/d\n") && !contains(cspec, "load /vobs/src\n"))
        << cspec;
    SUM_Stream s2;
    std::vector<SUM_Baseline> found;
    ASSERT_EQ(SUM_Stream::construct_from_selector(kDev2, &s2), 0);
    ASSERT_EQ(s2.foundation_baselines(&found), 0);
    ASSERT_EQ(found.size(), 1u);
    SUM_String name;
    found[0].name(&name);
    EXPECT_EQ(name.str(), "BL1");
}

// A deliver stopped between a checkout and its record (as a process killed there would
// leave it) and then cancelled by a fresh process: no checkout remains, the integration
// stream selects what it did before, nothing new was checked in, and the stream can
// deliver again. The second time, stopped after its merges, a fresh process completes it.
TEST_F(XcmTest, InterruptedDeliverCancelsOrResumesCleanly) {
    work_in_dev1();
    Events ev;
    ev.stop_after_checkouts = 1;
    ASSERT_EQ(deliver_start(kDev1, &ev), 0) << cap_.err;
    const cmd_integ_callbacks_t cb = ev.table();
    EXPECT_EQ(cmd_integ_run(pvob(), id(kDev1), &cb), TBS_ST_INTERRUPTED);
    EXPECT_EQ(checkouts_in("int"), 1u);

    view_cache_clear();
    vob_ob_all_cache_action(4);
    ASSERT_EQ(run_vdtool(&cap_, {"deliver", "-stream", kDev1, "-cancel"}), 0) << cap_.err;
    EXPECT_EQ(checkouts_in("int"), 0u);
    EXPECT_EQ(idstr("/vobs/src/a.c", ctx("int")), "/main/1");
    vob_resolved_t r;
    std::vector<vob_version_info_t> versions;
    ASSERT_EQ(vob_resolve_pname("/vobs/src/a.c", nullptr, 0, &r), 0);
    ASSERT_EQ(vob_ver_list(r.vob, r.element, &versions), 0);
    for (const vob_version_info_t& v : versions) EXPECT_NE(v.branch_path, "/main/proj_int/1");
    bool busy = true;
    SUM_Stream dev1;
    ASSERT_EQ(SUM_Stream::construct_from_selector(kDev1, &dev1), 0);
    ASSERT_EQ(dev1.deliver_in_progress(&busy), 0);
    EXPECT_FALSE(busy);

    Events again;
    again.stop_after_checkouts = 3;  // two checkouts, then the first checkin's post
    ASSERT_EQ(deliver_start(kDev1, &again), 0) << cap_.err;
    const cmd_integ_callbacks_t cb2 = again.table();
    ASSERT_EQ(cmd_integ_run(pvob(), id(kDev1), &cb2), 0) << cap_.err;
    EXPECT_EQ(cmd_integ_complete(pvob(), id(kDev1), &cb2), TBS_ST_INTERRUPTED);
    view_cache_clear();
    vob_ob_all_cache_action(4);
    EXPECT_EQ(run_vdtool(&cap_, {"deliver", "-stream", kDev1, "-cancel"}), TBS_ST_INVALID);
    ASSERT_EQ(run_vdtool(&cap_, {"deliver", "-stream", kDev1, "-complete"}), 0) << cap_.err;
    EXPECT_EQ(text_in("int", "/vobs/src/a.c"), "a2\n");
    EXPECT_EQ(text_in("int", "/vobs/src/d/b.c"), "b2\n");
    EXPECT_EQ(checkouts_in("int"), 0u);
}

// Requests the core refuses, each with its status.
TEST_F(XcmTest, PoliciesAndWrongSelectorsAreRefused) {
    work_in_dev1();
    // Checkouts in the activity delivered: refused by the default policy.
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/src/a.c"};
    co.view = ctx("dev1");
    ASSERT_EQ(cmd_checkout(&co), 0) << cap_.err;
    Events ev;
    EXPECT_EQ(deliver_start(kDev1, &ev), TBS_ST_HAS_CHKOUTS);
    // A rebase of a view with checkouts likewise; to the baseline it has, nothing to do.
    ok({"mkbl", "-stream", kInt, "-full", "BL0"});
    cmd_rebase_args_t mine;
    mine.view = "dev1";
    mine.baselines = {"baseline:BL0@/vobs/pvob"};
    EXPECT_EQ(cmd_rebase_start(&mine), TBS_ST_HAS_CHKOUTS);
    mine.baselines = {"baseline:src_INITIAL@/vobs/pvob"};
    EXPECT_EQ(cmd_rebase_start(&mine), TBS_ST_NO_WORK);
    // A baseline that is not from the project.
    ok({"mkproject", "-modcomp", "component:src@/vobs/pvob", "other@/vobs/pvob"});
    ok({"mkstream", "-in", "project:other@/vobs/pvob", "-integration", "other_int@/vobs/pvob"});
    ok({"mkbl", "-stream", "stream:other_int@/vobs/pvob", "-full", "OTHER1"});
    cmd_rebase_args_t rb;
    rb.view = "dev2";
    rb.baselines = {"baseline:OTHER1@/vobs/pvob"};
    EXPECT_EQ(cmd_rebase_start(&rb), TBS_ST_INVALID);
    EXPECT_TRUE(contains(cap_.err, "not from the stream's project")) << cap_.err;

    // Selectors of the wrong kind.
    struct Case {
        const char* selector;
        tbs_status_t want;
    } cases[] = {
        {"activity:fix@/vobs/pvob", TBS_ST_BAD_SELECTOR},
        {"baseline:src_INITIAL@/vobs/pvob", TBS_ST_BAD_SELECTOR},
        {"stream:nosuch@/vobs/pvob", TBS_ST_NAME_NOT_FOUND},
        {"stream:dev1@/vobs/src", TBS_ST_NAME_NOT_FOUND},
        {"stream:@/vobs/pvob", TBS_ST_BAD_SELECTOR},
    };
    for (const Case& c : cases) {
        SUM_Stream s;
        EXPECT_EQ(SUM_Stream::construct_from_selector(c.selector, &s), c.want) << c.selector;
        EXPECT_TRUE(s.is_null());
    }
    rb.baselines = {kDev1};
    EXPECT_EQ(cmd_rebase_start(&rb), TBS_ST_BAD_SELECTOR);
    cmd_deliver_args_t d;
    d.stream = "activity:fix@/vobs/pvob";
    d.view = "int";
    EXPECT_EQ(cmd_deliver_start(&d), TBS_ST_BAD_SELECTOR);
    d.stream = kDev1;
    d.view = "dev2";  // not a view of the target
    EXPECT_EQ(cmd_deliver_start(&d), TBS_ST_BAD_STREAM);
}

// Two processes deliver two streams into one integration stream at once: one goes on, the
// other is told a deliver is in progress.
TEST_F(XcmTest, ConcurrentDeliversIntoOneStreamHaveOneWinner) {
    work_in_dev1();
    ok({"mkactivity", "-in", kDev2, "-view", "dev2", "two@/vobs/pvob"});
    ASSERT_EQ(change("dev2", "/vobs/src/d/b.c", "b3\n"), 0) << cap_.err;
    view_cache_clear();
    vob_ob_all_cache_action(4);
    pid_t pids[2];
    const std::string outs[2] = {tmp_ / "one", tmp_ / "two"};
    const char* streams[2] = {kDev1, kDev2};
    for (int i = 0; i < 2; ++i) {
        std::vector<std::string> args = {VDTOOL_PATH, "deliver", "-stream",
                                         streams[i],  "-to",     "int"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 2, outs[i].c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        ASSERT_EQ(posix_spawn(&pids[i], VDTOOL_PATH, &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
    }
    int codes[2];
    for (int i = 0; i < 2; ++i) {
        int status = 0;
        ASSERT_EQ(waitpid(pids[i], &status, 0), pids[i]);
        codes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    EXPECT_EQ((codes[0] == 0) + (codes[1] == 0), 1) << read_file(outs[0]) << read_file(outs[1]);
    const std::string loser = read_file(outs[codes[0] == 0 ? 1 : 0]);
    EXPECT_TRUE(contains(loser, "already in progress")) << loser;
}

// The listings say what the model holds, changes to streams and baselines show in them,
// and usage errors are refused before anything is done.
TEST_F(XcmTest, VdtoolListsAndChangesTheModel) {
    work_in_dev1();
    ok({"lsproject", "-pvob", "/vobs/pvob"});
    EXPECT_TRUE(
        contains(cap_.out, "project \"proj\"  integration stream: stream:proj_int@vob:/vobs/pvob"))
        << cap_.out;
    ok({"lsactivity", "-in", kDev1, "-cset"});
    EXPECT_TRUE(contains(cap_.out,
                         "activity \"fix\"  \"Fix both\"\n"
                         "  /vobs/src/a.c@@/main/dev1/1\n"
                         "  /vobs/src/d/b.c@@/main/dev1/1\n"))
        << cap_.out;
    ok({"mkbl", "-stream", kInt, "-full", "FULL1"});
    ok({"chbl", "-level", "TESTED", "baseline:FULL1@/vobs/pvob"});
    ok({"chstream", "-recommended", "baseline:FULL1@/vobs/pvob", "-readonly", kDev2});
    ok({"lsbl", "-stream", kInt});
    EXPECT_TRUE(
        contains(cap_.out, "baseline \"FULL1\"  component \"src\"  full  TESTED  4 versions\n"))
        << cap_.out;
    ok({"lsstream", "-in", kProject});
    EXPECT_TRUE(contains(cap_.out,
                         "stream \"dev2\" (development, read-only)\n"
                         "  foundation: baseline:src_INITIAL@vob:/vobs/pvob\n"
                         "  recommended: baseline:FULL1@vob:/vobs/pvob\n"))
        << cap_.out;
    // A read-only stream's view takes no checkouts, whatever its activity.
    ok({"mkactivity", "-in", kDev1, "spare@/vobs/pvob"});
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/src/a.c"};
    co.view = ctx("dev2");
    EXPECT_NE(cmd_checkout(&co), 0);
    EXPECT_EQ(checkouts_in("dev2"), 0u);

    const std::vector<std::vector<std::string>> refused = {
        {"mkstream", "-in", kProject, "nameonly"},                 // no project VOB named
        {"mkcomp", "x@/vobs/pvob"},                                // no -root
        {"mkbl", "BL"},                                            // no -stream
        {"chbl", "-level", "SHINY", "baseline:FULL1@/vobs/pvob"},  // no such level
        {"deliver", "-stream", kDev1},                             // no -to view
        {"setactivity", "activity:fix@/vobs/pvob"},                // no -view
        {"mkproject", "-policy", "anything_goes", "p2@/vobs/pvob"},
        // Names a config spec would read otherwise.
        {"mkstream", "-in", kProject, "main@/vobs/pvob"},
        {"mkbl", "-stream", kInt, "-full", "CHECKEDOUT"},
        {"mkbl", "-stream", kInt, "-full", "two words"},
    };
    for (const auto& line : refused) {
        EXPECT_NE(run_vdtool(&cap_, line), 0) << line[0];
        EXPECT_FALSE(cap_.err.empty()) << line[0];
    }
}

// Work changed on both sides: a deliver merges regions each side changed alone, and one
// that both changed otherwise stops the deliver with nothing of it checked in, to be
// cancelled cleanly, or resolved by the user and completed.
TEST_F(XcmTest, DeliverMergesBothSidesAndStopsAtConflicts) {
    ASSERT_EQ(change_as("int", "integ@/vobs/pvob", kInt, "/vobs/src/a.c", "top\na1\n"), 0);
    ASSERT_EQ(change_as("int", "", kInt, "/vobs/src/d/b.c", "b-int\n"), 0);
    ok({"mkactivity", "-in", kDev1, "-view", "dev1", "both@/vobs/pvob"});
    ASSERT_EQ(change("dev1", "/vobs/src/a.c", "a1\nbottom\n"), 0) << cap_.err;
    ok({"deliver", "-stream", kDev1, "-to", "int", "-complete"});
    EXPECT_EQ(text_in("int", "/vobs/src/a.c"), "top\na1\nbottom\n");
    EXPECT_EQ(idstr("/vobs/src/a.c", ctx("int")), "/main/proj_int/2");

    ASSERT_EQ(change("dev1", "/vobs/src/d/b.c", "b-dev\n"), 0) << cap_.err;
    EXPECT_EQ(run_vdtool(&cap_, {"deliver", "-stream", kDev1, "-to", "int"}),
              TBS_ST_MERGE_CONFLICT);
    EXPECT_EQ(text_in("int", "/vobs/src/d/b.c"), "b-int\n");
    view_t* iv = nullptr;
    ASSERT_EQ(view_open_by_tag("int", &iv), 0);
    const std::string copy = iv->root + "/vobs/src/d/b.c";
    EXPECT_TRUE(contains(read_file(copy), "<<<<<<< ")) << read_file(copy);
    ok({"deliver", "-stream", kDev1, "-cancel"});
    EXPECT_EQ(checkouts_in("int"), 0u);
    EXPECT_EQ(idstr("/vobs/src/d/b.c", ctx("int")), "/main/proj_int/1");

    // Again, resolved by the user in the view's copy this time: it is what is checked in.
    EXPECT_EQ(run_vdtool(&cap_, {"deliver", "-stream", kDev1, "-to", "int"}),
              TBS_ST_MERGE_CONFLICT);
    EXPECT_EQ(run_vdtool(&cap_, {"deliver", "-stream", kDev1, "-complete"}), TBS_ST_MERGE_CONFLICT);
    write_file(copy, "b-both\n");
    ok({"deliver", "-stream", kDev1, "-complete"});
    EXPECT_EQ(text_in("int", "/vobs/src/d/b.c"), "b-both\n");
    EXPECT_EQ(checkouts_in("int"), 0u);
}

// A deliver of a baseline of the development stream brings the versions it labels; a
// baseline made elsewhere is refused.
TEST_F(XcmTest, DeliverOfABaselineBringsItsVersions) {
    work_in_dev1();
    ok({"mkbl", "-stream", kDev1, "DEVBL"});
    ASSERT_EQ(change("dev1", "/vobs/src/a.c", "a3, after the baseline\n"), 0) << cap_.err;
    EXPECT_EQ(run_vdtool(&cap_, {"deliver", "-stream", kDev1, "-to", "int", "-baselines",
                                 "baseline:src_INITIAL@/vobs/pvob"}),
              TBS_ST_INVALID);
    ok({"deliver", "-stream", kDev1, "-to", "int", "-baselines", "baseline:DEVBL@/vobs/pvob",
        "-complete"});
    EXPECT_EQ(text_in("int", "/vobs/src/a.c"), "a2\n");
    EXPECT_EQ(text_in("int", "/vobs/src/d/b.c"), "b2\n");
}

// What the object layer answers about streams, views and a rebase driven through it.
TEST_F(XcmTest, ObjectLayerDrivesARebaseAndAnswersForStreams) {
    work_in_dev1();
    SUM_Stream dev1, integ;
    ASSERT_EQ(SUM_Stream::construct_from_selector(kDev1, &dev1), 0);
    ASSERT_EQ(dev1.deliver_stream(&integ), 0);
    SUM_String name;
    ASSERT_EQ(integ.name(&name), 0);
    EXPECT_EQ(name.str(), "proj_int");
    std::vector<SUM_Activity> acts;
    std::vector<bool> cos;
    ASSERT_EQ(dev1.undelivered_activities(integ, &acts, &cos), 0);
    ASSERT_EQ(acts.size(), 1u);
    EXPECT_FALSE(cos[0]);
    std::vector<SUM_View> views;
    ASSERT_EQ(integ.views(&views), 0);
    ASSERT_EQ(views.size(), 1u);
    views[0].tag(&name);
    EXPECT_EQ(name.str(), "int");
    std::vector<SUM_Vob> pvobs;
    ASSERT_EQ(SUM_project_vobs(&pvobs), 0);
    ASSERT_EQ(pvobs.size(), 1u);
    SUM_Folder root;
    std::vector<SUM_XcmObject> contents;
    ASSERT_EQ(SUM_Folder::root_folder(pvobs[0], &root), 0);
    ASSERT_EQ(root.contents(&contents), 0);
    ASSERT_EQ(contents.size(), 1u);
    EXPECT_EQ(contents[0].mtype(), VOB_MTYPE_PROJECT);

    ok({"deliver", "-stream", kDev1, "-to", "int", "-complete"});
    std::vector<SUM_Baseline> made;
    ASSERT_EQ(SUM_Baseline::create(integ, "BL2", false, true, &made), 0) << cap_.err;
    ASSERT_EQ(made.size(), 1u);
    SUM_View dev2;
    ASSERT_EQ(SUM_View::construct_from_tag("dev2", &dev2), 0);
    struct Changes {
        std::vector<std::string> seen;
        static int note(void* d, const char* text) {
            static_cast<Changes*>(d)->seen.push_back(text);
            return 0;
        }
    } changes;
    SUM_Rebase rb;
    ASSERT_EQ(SUM_Rebase::rebase_prepare(dev2, made, Changes::note, Changes::note, &changes, &rb),
              0)
        << cap_.err;
    // The component scanned; no change-set scan, as dev2 changed nothing itself.
    EXPECT_EQ(changes.seen, (std::vector<std::string>{"src"}));
    ASSERT_EQ(rb.do_rebase(), 0) << cap_.err;
    SUM_Activity ia;
    ASSERT_EQ(rb.integration_activity(&ia), 0);
    EXPECT_FALSE(ia.is_null());  // the rebase's activity is current until it ends
    SUM_String state;
    rb.op_state_string(&state);
    EXPECT_EQ(state.str(), "merged");
    ASSERT_EQ(rb.complete(), 0) << cap_.err;
    rb.op_state_string(&state);
    EXPECT_EQ(state.str(), "completed");
    ASSERT_EQ(rb.integration_activity(&ia), 0);
    EXPECT_TRUE(ia.is_null());
    EXPECT_EQ(text_in("dev2", "/vobs/src/a.c"), "a2\n");
}

// A vdtool process killed while it delivers 40 files: a later process cancels the deliver
// cleanly; killed again while completing, a later process completes it whole. Wherever the
// kills land (even after the process ended), what follows must hold.
TEST_F(XcmTest, KilledDeliverIsCancelledOrCompletedByTheNextProcess) {
    ok({"mkactivity", "-in", kDev1, "-view", "dev1", "many@/vobs/pvob"});
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) files.push_back("/vobs/src/d/f" + std::to_string(i) + ".c");
    // The files, made in the integration stream and brought into dev1 by a rebase.
    ok({"mkactivity", "-in", kInt, "-view", "int", "setup@/vobs/pvob"});
    cmd_mkelem_args_t mk;
    mk.pnames = files;
    mk.from.assign(files.size(), write_file(tmp_ / "f", "0\n"));
    mk.view = ctx("int");
    mk.checkin = true;
    ASSERT_EQ(cmd_utl_mkelem(&mk), 0) << cap_.err;
    ok({"mkbl", "-stream", kInt, "-full", "WITH_FILES"});
    ok({"rebase", "-view", "dev1", "-baseline", "baseline:WITH_FILES@/vobs/pvob", "-complete"});
    ok({"setactivity", "-view", "dev1", "activity:many@/vobs/pvob"});
    for (const std::string& f : files) ASSERT_EQ(change("dev1", f, f + " on dev1\n"), 0);
    view_cache_clear();
    vob_ob_all_cache_action(4);
    // Killed `ms` after it starts; with `begun`, not before its operation is recorded (a
    // store on a server takes longer to reach it than SQLite files).
    auto killed_after = [&](std::vector<std::string> args, int ms, bool begun = false) {
        args.insert(args.begin(), VDTOOL_PATH);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, VDTOOL_PATH, &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        usleep(ms * 1000);
        xcm_op_t running;
        int status = 0;
        for (int i = 0; begun && i < 1000 && xcm_get_op(pvob(), id(kDev1), &running) != 0; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) return;  // ended by itself
            usleep(10 * 1000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    };
    std::vector<std::string> before;
    for (const std::string& f : files) before.push_back(idstr(f, ctx("int")));
    killed_after({"deliver", "-stream", kDev1, "-to", "int"}, 150, true);
    ok({"deliver", "-stream", kDev1, "-cancel"});
    EXPECT_EQ(checkouts_in("int"), 0u);
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(idstr(files[i], ctx("int")), before[i]) << files[i];

    killed_after({"deliver", "-stream", kDev1, "-to", "int", "-complete"}, 400, true);
    view_cache_clear();
    vob_ob_all_cache_action(4);
    xcm_op_t op;
    if (xcm_get_op(pvob(), id(kDev1), &op) == 0) ok({"deliver", "-stream", kDev1, "-complete"});
    EXPECT_EQ(checkouts_in("int"), 0u);
    for (const std::string& f : files) EXPECT_EQ(text_in("int", f), f + " on dev1\n") << f;
}
