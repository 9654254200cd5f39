// Composite baselines in the core: members added, replaced and removed, the refusals (the
// baseline itself, its own component, cycles, clashes in a closure, another project VOB,
// a member that is not one), validation that changes nothing, closures, and what a stream
// founded on a composite selects. The site: VOBs /vobs/src (a.c) and /vobs/lib (l.c, at
// /main/2 on its main branch since the components' initial baselines), components "src" and "lib"
// and the rootless "sys", "mid" and "top" in the project VOB /vobs/pvob, the project "proj" with
// all five and its integration stream.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/view/view.h"
#include "core/vob/xcm.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

const char* const kInt = "stream:proj_int@/vobs/pvob";

std::string bl(const std::string& name) {
    return "baseline:" + name + "@/vobs/pvob";
}

}  // namespace

class XcmCompositeTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        ok({"mkvob", "-tag", "/vobs/src", site_.path() + "/src.vbs"});
        ok({"mkvob", "-tag", "/vobs/lib", site_.path() + "/lib.vbs"});
        ASSERT_EQ(mkelem_ci("/vobs/src/a.c", false, write_file(tmp_ / "a", "a1\n")), 0);
        ASSERT_EQ(mkelem_ci("/vobs/lib/l.c", false, write_file(tmp_ / "l", "l1\n")), 0);
        ok({"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.path() + "/pvob.vbs"});
        ok({"mkcomp", "-root", "/vobs/src", "src@/vobs/pvob"});
        ok({"mkcomp", "-root", "/vobs/lib", "lib@/vobs/pvob"});
        for (const char* c : {"sys", "mid", "top"})
            ok({"mkcomp", "-nroot", std::string(c) + "@/vobs/pvob"});
        // l.c moves on past the initial baseline.
        cmd_checkout_args_t co;
        co.pnames = {"/vobs/lib/l.c"};
        ASSERT_EQ(cmd_checkout(&co), 0) << cap_.text;
        cmd_checkin_args_t ci;
        ci.pnames = {"/vobs/lib/l.c"};
        ci.from = {write_file(tmp_ / "l", "l2\n")};
        ASSERT_EQ(cmd_checkin(&ci), 0) << cap_.text;
        ok({"mkproject", "-modcomp",
            "component:src@/vobs/pvob,component:lib@/vobs/pvob,component:sys@/vobs/pvob,"
            "component:mid@/vobs/pvob,component:top@/vobs/pvob",
            "proj@/vobs/pvob"});
        ok({"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "proj_int@/vobs/pvob"});
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        view_cache_clear();
        vob_ob_all_cache_action(4);
    }

    void ok(const std::vector<std::string>& args) {
        ASSERT_EQ(run_vdtool(&cap_, args), 0) << args[0] << ": " << cap_.err;
    }
    vob_t* pvob() {
        vob_t* v = nullptr;
        vob_open_by_tag("/vobs/pvob", &v);
        return v;
    }
    vob_dbid_t id(const std::string& sel) {
        vob_t* pv = nullptr;
        vob_dbid_t d = 0;
        xcm_resolve(sel.c_str(), 0, &pv, &d);
        return d;
    }
    // A composite of `component` in the integration stream with these members.
    tbs_status_t composite(const std::string& name, const std::string& component,
                           const std::vector<std::string>& members) {
        cmd_bl_deps_args_t a;
        a.stream = kInt;
        a.basename = name;
        a.component = "component:" + component + "@/vobs/pvob";
        for (const std::string& m : members) a.add.push_back(bl(m));
        return cmd_chbl_deps(&a);
    }
    tbs_status_t edit(const std::string& name, const std::vector<std::string>& add,
                      const std::vector<std::string>& remove, bool validate_only = false) {
        cmd_bl_deps_args_t a;
        a.baseline = bl(name);
        for (const std::string& m : add) a.add.push_back(bl(m));
        for (const std::string& m : remove) a.remove.push_back(bl(m));
        a.validate_only = validate_only;
        return cmd_chbl_deps(&a);
    }
    // Names of the direct members, or with `closure`, of the closure.
    std::string members(const std::string& name, bool closure = false) {
        std::vector<vob_dbid_t> ids;
        if (closure)
            xcm_baseline_closure(pvob(), {id(bl(name))}, &ids);
        else
            xcm_baseline_members(pvob(), id(bl(name)), &ids);
        std::string out;
        for (vob_dbid_t b : ids) {
            xcm_obj_t o;
            xcm_get_obj(pvob(), b, &o);
            out += (out.empty() ? "" : " ") + o.name;
        }
        return out;
    }
    int64_t cfg_gen(const char* stream) {
        xcm_stream_info_t s;
        xcm_get_stream(pvob(), id(stream), &s);
        return s.cfg_gen;
    }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
};

// A stream founded on a composite selects what its members label, read through vdtool and
// a view; a new member replaces the one of its component, and the stream's configuration
// moves on with it.
TEST_F(XcmCompositeTest, StreamFoundedOnACompositeSeesItsMembers) {
    // l.c changed in the integration stream, and baselines of that.
    ok({"mkview", "-tag", "int", "-stream", kInt, site_.path() + "/int.vws"});
    ok({"mkactivity", "-in", kInt, "-view", "int", "work@/vobs/pvob"});
    view_t* v = nullptr;
    ASSERT_EQ(view_open_by_tag("int", &v), 0);
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/lib/l.c"};
    co.view = &v->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0) << cap_.text;
    cmd_checkin_args_t ci;
    ci.pnames = {"/vobs/lib/l.c"};
    ci.from = {write_file(tmp_ / "l", "l3\n")};
    ci.view = &v->ctx;
    ASSERT_EQ(cmd_checkin(&ci), 0) << cap_.text;
    ok({"mkbl", "-stream", kInt, "-full", "cur"});  // cur_src, cur_lib
    ok({"mkbl", "-stream", kInt, "-adepends_on", bl("src_INITIAL") + "," + bl("lib_INITIAL"),
        "-component", "component:sys@/vobs/pvob", "sys1"});
    EXPECT_EQ(members("sys1"), "src_INITIAL lib_INITIAL");
    ok({"lsbl", "-stream", kInt});
    EXPECT_TRUE(contains(cap_.out, "baseline \"sys1\"")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out,
                         "depends on: baseline:src_INITIAL@vob:/vobs/pvob "
                         "baseline:lib_INITIAL@vob:/vobs/pvob"))
        << cap_.out;

    ok({"mkstream", "-in", "project:proj@/vobs/pvob", "-baseline", bl("sys1"), "dev@/vobs/pvob"});
    ok({"mkview", "-tag", "dev", "-stream", "stream:dev@/vobs/pvob", site_.path() + "/dev.vws"});
    ASSERT_EQ(view_open_by_tag("dev", &v), 0);
    EXPECT_EQ(idstr("/vobs/lib/l.c", &v->ctx), "/main/1");
    EXPECT_EQ(idstr("/vobs/src/a.c", &v->ctx), "/main/1");

    // The newer baseline of lib takes lib_INITIAL's place; the view follows.
    const int64_t gen = cfg_gen("stream:dev@/vobs/pvob");
    ok({"chbl", "-adepends_on", bl("cur_lib"), bl("sys1")});
    EXPECT_EQ(members("sys1"), "src_INITIAL cur_lib");
    EXPECT_GT(cfg_gen("stream:dev@/vobs/pvob"), gen);
    view_cache_clear();
    ASSERT_EQ(view_open_by_tag("dev", &v), 0);
    EXPECT_EQ(idstr("/vobs/lib/l.c", &v->ctx), "/main/proj_int/1");
    std::string spec;
    ASSERT_EQ(xcm_stream_cspec(pvob(), id("stream:dev@/vobs/pvob"), &spec), 0);
    EXPECT_FALSE(contains(spec, "load \n")) << spec;  // rootless components load nothing

    ok({"chbl", "-ddepends_on", bl("cur_lib"), bl("sys1")});
    EXPECT_EQ(members("sys1"), "src_INITIAL");
}

// Levels decide: a composite's own member of a component hides what deeper members bring,
// and two deeper members of one component are refused until the composite names its own.
TEST_F(XcmCompositeTest, ClosuresAndTheirClashes) {
    ok({"mkbl", "-stream", kInt, "-full", "cur"});
    ASSERT_EQ(composite("sys1", "sys", {"src_INITIAL", "lib_INITIAL"}), 0) << cap_.text;
    ASSERT_EQ(composite("mid1", "mid", {"cur_lib"}), 0) << cap_.text;
    ASSERT_EQ(composite("top1", "top", {"sys1"}), 0) << cap_.text;
    EXPECT_EQ(members("top1", true), "top1 sys1 src_INITIAL lib_INITIAL");

    EXPECT_EQ(edit("top1", {"mid1"}, {}), TBS_ST_INVALID);  // lib_INITIAL against cur_lib
    EXPECT_TRUE(contains(cap_.err, "\"lib_INITIAL\" and \"cur_lib\"")) << cap_.err;
    EXPECT_EQ(members("top1"), "sys1");
    ASSERT_EQ(edit("top1", {"mid1", "cur_lib"}, {}), 0) << cap_.err;
    EXPECT_EQ(members("top1", true), "top1 cur_lib sys1 mid1 src_INITIAL");

    // An edit below is checked against every composite above it.
    EXPECT_EQ(edit("top1", {}, {"cur_lib"}), TBS_ST_INVALID);
    EXPECT_EQ(edit("sys1", {"cur_src"}, {}), 0) << cap_.err;
    EXPECT_EQ(members("top1", true), "top1 cur_lib sys1 mid1 cur_src");
}

// Edits the core refuses, each leaving the members as they were, and validation that
// checks an edit without making it.
TEST_F(XcmCompositeTest, RefusedAndValidatedEdits) {
    ASSERT_EQ(composite("sys1", "sys", {"src_INITIAL"}), 0) << cap_.text;
    ASSERT_EQ(composite("top1", "top", {"sys1"}), 0) << cap_.text;
    struct Case {
        const char* what;
        std::string baseline;
        std::vector<std::string> add, remove;
        tbs_status_t want;
    };
    const Case cases[] = {
        {"itself", "sys1", {"sys1"}, {}, TBS_ST_INVALID},
        {"its own component", "sys1", {"sys_INITIAL"}, {}, TBS_ST_INVALID},
        {"a cycle", "sys1", {"top1"}, {}, TBS_ST_INVALID},
        {"two of one component", "sys1", {"lib_INITIAL", "lib_INITIAL"}, {}, TBS_ST_INVALID},
        {"not a member", "sys1", {}, {"lib_INITIAL"}, TBS_ST_NOT_FOUND},
        {"no such baseline", "sys1", {"nothing"}, {}, TBS_ST_NAME_NOT_FOUND},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(edit(c.baseline, c.add, c.remove), c.want) << c.what << ": " << cap_.text;
        EXPECT_EQ(members("sys1"), "src_INITIAL") << c.what;
    }
    // A member of another project VOB.
    ok({"mkvob", "-tag", "/vobs/pvob2", "-ucmproject", site_.path() + "/pvob2.vbs"});
    ok({"mkcomp", "-root", "/vobs/lib", "lib2@/vobs/pvob2"});
    cmd_bl_deps_args_t other;
    other.baseline = bl("sys1");
    other.add = {"baseline:lib2_INITIAL@/vobs/pvob2"};
    EXPECT_EQ(cmd_chbl_deps(&other), TBS_ST_INVALID);

    EXPECT_EQ(edit("sys1", {"lib_INITIAL"}, {}, true), 0) << cap_.err;
    EXPECT_EQ(members("sys1"), "src_INITIAL");
    EXPECT_EQ(edit("sys1", {"top1"}, {}, true), TBS_ST_INVALID);
    cmd_bl_deps_args_t fresh;
    fresh.stream = kInt;
    fresh.basename = "mid1";
    fresh.component = "component:mid@/vobs/pvob";
    fresh.add = {bl("lib_INITIAL")};
    fresh.validate_only = true;
    ASSERT_EQ(cmd_chbl_deps(&fresh), 0) << cap_.err;
    EXPECT_EQ(fresh.result, 0);
    EXPECT_EQ(fresh.members.size(), 1u);
    EXPECT_EQ(id(bl("mid1")), 0);

    // With several rootless components in the project a new composite names its own.
    fresh.component.clear();
    fresh.validate_only = false;
    EXPECT_EQ(cmd_chbl_deps(&fresh), TBS_ST_INVALID);
    // A locked baseline is not changed.
    ok({"lock", bl("sys1")});
    EXPECT_NE(edit("sys1", {"lib_INITIAL"}, {}), 0);
    EXPECT_EQ(members("sys1"), "src_INITIAL");
}

// A deliver of a composite made in a development stream brings what its members made in
// that stream label; members from elsewhere (the foundation's) bring nothing.
TEST_F(XcmCompositeTest, DeliverOfACompositeBringsItsMembersWork) {
    const char* const dev = "stream:dev@/vobs/pvob";
    ok({"mkview", "-tag", "int", "-stream", kInt, site_.path() + "/int.vws"});
    ok({"mkstream", "-in", "project:proj@/vobs/pvob", "dev@/vobs/pvob"});
    ok({"mkview", "-tag", "dev", "-stream", dev, site_.path() + "/dev.vws"});
    ok({"mkactivity", "-in", dev, "-view", "dev", "work@/vobs/pvob"});
    view_t* v = nullptr;
    ASSERT_EQ(view_open_by_tag("dev", &v), 0);
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/lib/l.c"};
    co.view = &v->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0) << cap_.text;
    cmd_checkin_args_t ci;
    ci.pnames = {"/vobs/lib/l.c"};
    ci.from = {write_file(tmp_ / "l", "from dev\n")};
    ci.view = &v->ctx;
    ASSERT_EQ(cmd_checkin(&ci), 0) << cap_.text;
    ok({"mkbl", "-stream", dev, "d1"});  // d1_lib only: src did not change
    ok({"mkbl", "-stream", dev, "-component", "component:sys@/vobs/pvob", "-adepends_on",
        bl("d1_lib") + "," + bl("src_INITIAL"), "D1"});
    ok({"deliver", "-stream", dev, "-to", "int", "-baselines", bl("D1"), "-complete"});
    view_t* iv = nullptr;
    ASSERT_EQ(view_open_by_tag("int", &iv), 0);
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/lib/l.c", &iv->ctx, 0, &r), 0);
    ASSERT_EQ(vob_ver_get_cleartext(r.vob, r.version, (tmp_ / "out").c_str()), 0);
    EXPECT_EQ(read_file(tmp_ / "out"), "from dev\n");
    EXPECT_EQ(idstr("/vobs/src/a.c", &iv->ctx), "/main/1");
}
