// vdtool's administration and inspection commands over one VOB: version trees with merge
// arrows, removal of arrows, hyperlinks and branches, type renames and copies, checkout
// reservation, element types, locks, type lists, comparisons, searches and space, and the
// build-server commands this server answers as unavailable.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmdsyn/cmdsyn.h"
#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

class VdtoolAdminTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
                 {"mkvob", "-tag", "/vobs/p", site_.path() + "/p.vbs"},
                 {"mkbrtype", "dev@/vobs/p"},
                 {"mklbtype", "REL1@/vobs/p"},
                 {"mkelem", "-ci", "-from", source("one\n"), "/vobs/p/a.c"},
                 {"checkout", "-branch", "dev", "/vobs/p/a.c"},
                 {"checkin", "-from", source("two\n"), "/vobs/p/a.c"},
                 {"checkout", "-branch", "dev", "/vobs/p/a.c"},
                 {"checkin", "-from", source("three\n"), "/vobs/p/a.c"},
                 {"checkout", "/vobs/p/a.c"},
                 {"mkhlink", "Merge", "/vobs/p/a.c@@/main/dev/2", "/vobs/p/a.c"},
                 {"checkin", "-from", source("three\n"), "/vobs/p/a.c"},
                 {"mklabel", "REL1", "/vobs/p/a.c@@/main/dev/1"},
             })
            ASSERT_EQ(run(line), 0) << cap_.err;
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        view_cache_clear();
        vob_ob_all_cache_action(4);
    }
    tbs_status_t run(const std::vector<std::string>& args) { return run_vdtool(&cap_, args); }
    // A file holding `data`, one per distinct content.
    std::string source(const std::string& data) {
        return write_file(tmp_ / ("src." + std::to_string(std::hash<std::string>()(data))), data);
    }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
};

// The version tree shows the arrow; rmmerge takes it away, and the tree and the merge
// search see that; the hyperlink form removes a link by its id.
TEST_F(VdtoolAdminTest, VersionTreeAndMergeArrows) {
    ASSERT_EQ(run({"lsvt", "/vobs/p/a.c"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "/vobs/p/a.c@@/main/dev/1 (REL1)\n")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "/vobs/p/a.c@@/main/dev/2 -> /vobs/p/a.c@@/main/2\n"))
        << cap_.out;
    ASSERT_EQ(run({"rmmerge", "/vobs/p/a.c@@/main/dev/2", "/vobs/p/a.c@@/main/2"}), 0) << cap_.err;
    ASSERT_EQ(run({"lsvtree", "/vobs/p/a.c"}), 0);
    EXPECT_FALSE(contains(cap_.out, "->")) << cap_.out;
    EXPECT_EQ(run({"rmmerge", "/vobs/p/a.c@@/main/dev/2", "/vobs/p/a.c@@/main/2"}),
              TBS_ST_NOT_FOUND);

    ASSERT_EQ(run({"mkhlink", "Merge", "/vobs/p/a.c@@/main/dev/1", "/vobs/p/a.c@@/main/1"}), 0);
    const std::string made = cap_.out.substr(cap_.out.find('"') + 1);
    const std::string link = made.substr(0, made.find('"')) + "@/vobs/p";
    ASSERT_EQ(run({"rmhlink", link}), 0) << cap_.err;
    EXPECT_NE(run({"rmhlink", link}), 0) << "removed once";
    EXPECT_NE(run({"rmhlink", "Merge@x@/vobs/p"}), 0);
}

// A branch goes with its versions and label; not the main branch, not while checked out.
TEST_F(VdtoolAdminTest, RemoveBranch) {
    EXPECT_EQ(run({"rmbranch", "/vobs/p/a.c@@/main"}), TBS_ST_NOT_SUPPORTED);
    ASSERT_EQ(run({"checkout", "-branch", "dev", "/vobs/p/a.c"}), 0);
    EXPECT_EQ(run({"rmbranch", "/vobs/p/a.c@@/main/dev"}), TBS_ST_CHECKED_OUT);
    ASSERT_EQ(run({"uncheckout", "/vobs/p/a.c"}), 0);
    ASSERT_EQ(run({"rmbranch", "-nc", "/vobs/p/a.c@@/main/dev"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "with 3 versions")) << cap_.out;  // dev/0 .. dev/2
    EXPECT_EQ(idstr("/vobs/p/a.c@@/main/dev/1"), "<none>");
    EXPECT_EQ(idstr("/vobs/p/a.c"), "/main/2");
    EXPECT_EQ(cleartext("/vobs/p/a.c", tmp_ / "out"), "three\n");
}

// Renamed label types select by their new name only; copies keep the kind; types by kind.
TEST_F(VdtoolAdminTest, TypesRenamedCopiedAndListed) {
    ASSERT_EQ(run({"rename", "lbtype:REL1@/vobs/p", "REL2"}), 0) << cap_.err;
    view_cspec_t spec;
    std::vector<std::string> errors;
    ASSERT_EQ(view_cspec_parse("element * REL2\n", &spec, &errors), 0);
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/a.c", nullptr, 0, &r), 0);
    view_cspec_choice_t choice;
    ASSERT_EQ(view_cspec_select(spec, r.vob, r.element, "/vobs/p/a.c", tbs_uuid_null(), &choice),
              0);
    EXPECT_EQ(idstr("/vobs/p/a.c@@/main/dev/1"), [&] {
        std::string s;
        vob_ver_get_idstr(r.vob, choice.version, &s);
        return s;
    }());
    EXPECT_EQ(run({"rename", "brtype:main@/vobs/p", "trunk"}), TBS_ST_NOT_SUPPORTED);
    EXPECT_EQ(run({"rename", "lbtype:REL2@/vobs/p", "bad name"}), TBS_ST_BAD_NAME);

    ASSERT_EQ(run({"mkvob", "-tag", "/vobs/q", site_.path() + "/q.vbs"}), 0);
    ASSERT_EQ(run({"cptype", "brtype:dev@/vobs/p", "dev@/vobs/q"}), 0) << cap_.err;
    ASSERT_EQ(run({"lst", "-kind", "brtype", "-invob", "/vobs/q"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "brtype:dev@/vobs/q\n")) << cap_.out;
    EXPECT_EQ(run({"lstype", "-kind", "nosuch"}), TBS_ST_BAD_REQUEST);
}

// Reservation changes hands only when no other view holds the branch reserved.
TEST_F(VdtoolAdminTest, ReserveUnreserveAndElementTypes) {
    cmd_mkview_args_t v;
    v.tag = "other";
    v.storage = site_.path() + "/other.vws";
    ASSERT_EQ(cmd_mkview(&v), 0);
    ASSERT_EQ(run({"checkout", "-unreserved", "/vobs/p/a.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"res", "/vobs/p/a.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"unres", "/vobs/p/a.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"checkout", "-view", "other", "/vobs/p/a.c"}), 0) << cap_.err;
    EXPECT_EQ(run({"reserve", "/vobs/p/a.c"}), TBS_ST_RESERVED);

    ASSERT_EQ(run({"chtype", "text_file", "/vobs/p/a.c"}), 0) << cap_.err;
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/a.c", nullptr, 0, &r), 0);
    vob_type_info_t t;
    ASSERT_EQ(vob_elem_get_type(r.vob, r.element, &t), 0);
    EXPECT_EQ(t.name, "text_file");
    EXPECT_EQ(run({"chtype", "directory", "/vobs/p/a.c"}), TBS_ST_INVALID);
    EXPECT_NE(run({"chtype", "nosuch", "/vobs/p/a.c"}), 0);
}

// Locks, a comparison, a search by name and by version, space; what a build server would
// answer is refused with its reason.
TEST_F(VdtoolAdminTest, InspectionCommands) {
    ASSERT_EQ(run({"lock", "/vobs/p/a.c"}), 0);
    ASSERT_EQ(run({"lslock", "/vobs/p/a.c"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "lock \"/vobs/p/a.c\"")) << cap_.out;
    ASSERT_EQ(run({"diff", "/vobs/p/a.c@@/main/1", "/vobs/p/a.c@@/main/dev/1"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "< one\n> two\n")) << cap_.out;
    ASSERT_EQ(run({"diff", "/vobs/p/a.c@@/main/2", "/vobs/p/a.c@@/main/dev/2"}), 0);
    EXPECT_TRUE(contains(cap_.out, "Files are identical")) << cap_.out;
    ASSERT_EQ(run({"mkelem", "-ci", "-from", source("x\n"), "/vobs/p/b.txt"}), 0);
    ASSERT_EQ(run({"find", "/vobs/p", "-name", "*.c", "-print"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "/vobs/p/a.c\n");
    ASSERT_EQ(run({"find", "/vobs/p", "-version", "REL1"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "/vobs/p/a.c@@/main/dev/1\n");
    ASSERT_EQ(run({"space", "/vobs/p"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "/vobs/p: ")) << cap_.out;
    for (const char* cmd : {"catcr", "lsdo", "mktrigger", "lsclients"}) {
        EXPECT_EQ(run({cmd}), TBS_ST_NOT_SUPPORTED) << cmd;
        EXPECT_TRUE(contains(cap_.err, "vdtool: Error: ")) << cmd;
    }
    ASSERT_EQ(run({"dump", "/vobs/p/a.c"}), 0) << cap_.err;
    EXPECT_FALSE(cap_.out.empty());
}

// A project VOB's components and folders listed; an activity renamed and given a headline.
TEST_F(VdtoolAdminTest, ProjectVobListsAndActivityChanges) {
    for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
             {"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.path() + "/pvob.vbs"},
             {"mkcomp", "-root", "/vobs/p", "src@/vobs/pvob"},
             {"mkfolder", "work@/vobs/pvob"},
             {"mkproject", "-in", "folder:work@/vobs/pvob", "-modcomp", "component:src@/vobs/pvob",
              "proj@/vobs/pvob"},
             {"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "int@/vobs/pvob"},
             {"mkactivity", "-in", "stream:int@/vobs/pvob", "-headline", "old", "act@/vobs/pvob"},
         })
        ASSERT_EQ(run(line), 0) << cap_.err;
    ASSERT_EQ(run({"lscomp", "-pvob", "/vobs/pvob"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "component \"src\"  root directory: /vobs/p\n")) << cap_.out;
    ASSERT_EQ(run({"lsfolder", "-pvob", "/vobs/pvob"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "folder \"work\"  in \"RootFolder\"  (1 item)")) << cap_.out;
    ASSERT_EQ(run({"chact", "-headline", "new", "-name", "renamed", "activity:act@/vobs/pvob"}), 0)
        << cap_.err;
    ASSERT_EQ(run({"lsactivity", "-in", "stream:int@/vobs/pvob"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "renamed")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "new")) << cap_.out;
    EXPECT_EQ(run({"chactivity", "activity:renamed@/vobs/pvob"}), TBS_ST_BAD_REQUEST);
}

// A VOB tag is one new name under the VOB root, never inside another VOB or above it; its
// storage is a plain absolute path, or only the site's own places for a remote user; and
// making or removing VOBs is the site's administrator's.
TEST_F(VdtoolAdminTest, VobNamespaceIsTheAdministrators) {
    const std::string stg = site_.path() + "/n.vbs";
    struct Bad {
        std::vector<std::string> args;
    } const bad[] = {
        {{"mkvob", "-tag", "/", stg}},
        {{"mkvob", "-tag", "/vobs", stg}},
        {{"mkvob", "-tag", "/vobs/p", stg}},
        {{"mkvob", "-tag", "/vobs/p/inner", stg}},
        {{"mkvob", "-tag", "vobs/rel", stg}},
        {{"mkvob", "-tag", "/elsewhere/x", stg}},
        {{"mkvob", "-tag", "/vobs/.hidden", stg}},
        {{"mkvob", "-tag", "/vobs/a b", stg}},
        {{"mkvob", "-tag", "/vobs/n", "relative.vbs"}},
        {{"mkvob", "-tag", "/vobs/n", site_.path() + "/x/../n.vbs"}},
    };
    for (const Bad& b : bad) EXPECT_NE(run(b.args), 0) << b.args[2] << " " << b.args[3];
    ASSERT_EQ(run({"lsvob"}), 0);
    EXPECT_EQ(std::count(cap_.out.begin(), cap_.out.end(), '\n'), 1) << cap_.out;

    // Without a storage the VOB goes to the site's own place.
    ASSERT_EQ(run({"mkvob", "-tag", "/vobs/n"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "\"" + site_.path() + "/vobs/n.vbs\"")) << cap_.out;

    // A remote user's command names no storage path of its own choosing.
    cmdsyn_confine_files(tmp_.path().c_str());
    EXPECT_EQ(run({"mkvob", "-tag", "/vobs/m", tmp_ / "m.vbs"}), TBS_ST_PERMISSION);
    cmdsyn_confine_files(nullptr);

    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    EXPECT_EQ(run({"mkvob", "-tag", "/vobs/mine"}), TBS_ST_PERMISSION);
    EXPECT_TRUE(contains(cap_.err, "Only the site's administrator may make VOBs.")) << cap_.err;
    EXPECT_EQ(run({"rmvob", "/vobs/n"}), TBS_ST_PERMISSION);
    credutl_reset_creds();
    EXPECT_EQ(run({"rmvob", "/vobs/n"}), 0) << cap_.err;
}

// A view is its owner's: another user may neither set its config spec, nor its activity,
// nor check out, make elements or remove it; the owner and the administrator may.
TEST_F(VdtoolAdminTest, ViewsChangeOnlyForTheirOwners) {
    ASSERT_EQ(run({"mkview", "-tag", "mine", "-snapshot", site_.path() + "/mine.vws"}), 0)
        << cap_.err;
    const std::string cs = write_file(tmp_ / "cs", "element * /main/LATEST\nload /vobs/p\n");
    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    const std::vector<std::vector<std::string>> refused = {
        {"setcs", "-tag", "mine", cs},
        {"setcs", "-tag", "mine", "-default"},
        {"checkout", "-view", "mine", "/vobs/p/a.c"},
        {"update", "-tag", "mine"},
        {"rmview", "mine"},
    };
    for (const auto& args : refused) {
        EXPECT_EQ(run(args), TBS_ST_PERMISSION) << args[0] << ": " << cap_.err;
        EXPECT_TRUE(contains(cap_.err, "only its owner or the site's administrator")) << cap_.err;
    }
    // Reading it is everyone's.
    EXPECT_EQ(run({"catcs", "-tag", "mine"}), 0) << cap_.err;
    credutl_reset_creds();
    EXPECT_EQ(run({"setcs", "-tag", "mine", cs}), 0) << cap_.err;
    EXPECT_EQ(run({"rmview", "mine"}), 0) << cap_.err;
}

// A config spec file that does not parse is reported by its lines; a remote user's command
// never sees the text of those lines, which may be what the user may not read.
TEST_F(VdtoolAdminTest, RemoteSetcsErrorsQuoteNoText) {
    ASSERT_EQ(run({"mkview", "-tag", "mine", "-snapshot", site_.path() + "/mine.vws"}), 0)
        << cap_.err;
    const std::string file = write_file(tmp_ / "secret.c", "password = hunter2;\n");
    EXPECT_NE(run({"setcs", "-tag", "mine", file}), 0);
    EXPECT_TRUE(contains(cap_.err, "password")) << cap_.err;  // the administrator's own file
    cmdsyn_confine_files(tmp_.path().c_str());
    EXPECT_NE(run({"setcs", "-tag", "mine", file}), 0);
    cmdsyn_confine_files(nullptr);
    EXPECT_TRUE(contains(cap_.err, "line 1")) << cap_.err;
    EXPECT_FALSE(contains(cap_.err, "password")) << cap_.err;
    EXPECT_FALSE(contains(cap_.err, "hunter2")) << cap_.err;
}
