// Views: creation and removal with their storage and registry entries, lookups by tag, UUID
// and root, dynamic views without a virtual file system, SUM_View; and the vdtool view
// commands: a snapshot view loaded and updated, commands acting through -view, catcs, setcs
// and lsview, refusals and usage errors.
#include "core/view/view.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/sum/sum_view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "core/ws/ws.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

// A site with one VOB holding /vobs/p/src/a.c and b.c, each at /main/1.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        ASSERT_EQ(run({"mkvob", "-tag", "/vobs/p", site_.path() + "/p.vbs"}), 0) << cap_.err;
        ASSERT_EQ(run({"mkelem", "-mkpath", "-ci", "-from", source("a1", "a1"), "-from",
                       source("b1", "b1"), "/vobs/p/src/a.c", "/vobs/p/src/b.c"}),
                  0)
            << cap_.err;
        credutl_creds_t who;
        ASSERT_EQ(credutl_get_creds(&who), 0);
        user_ = who.user;
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        view_cache_clear();
        vob_ob_all_cache_action(4);
    }

    tbs_status_t run(const std::vector<std::string>& args) { return run_vdtool(&cap_, args); }
    std::string source(const std::string& leaf, const std::string& data) {
        return write_file(tmp_ / leaf, data);
    }
    std::string storage(const std::string& tag) const { return site_.path() + "/" + tag + ".vws"; }
    view_t* make_view(const std::string& tag, const std::string& kind, bool sum = false) {
        cmd_mkview_args_t a;
        a.tag = tag;
        a.kind = kind;
        a.sum_view = sum;
        a.storage = storage(tag);
        EXPECT_EQ(cmd_mkview(&a), 0) << cap_.err;
        view_t* v = nullptr;
        EXPECT_EQ(view_open_by_tag(tag.c_str(), &v), 0);
        return v;
    }
    // The version the null view (or `view`) selects at `pname`.
    std::string idstr(const std::string& pname, const view_t* view = nullptr) {
        return ::idstr(pname, view ? &view->ctx : nullptr);
    }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    std::string user_;
    imsg_redirect_table_t saved_{};
};

// Core ------------------------------------------------------------------------------------

TEST_F(ViewTest, CreationMakesStorageAndRegistersTheKind) {
    struct Case {
        const char* tag;
        const char* kind;
        bool sum;
        const char* words;  // the registry's property text
        int view_kind;
    };
    const Case cases[] = {
        {"web", "webview", false, "webview", VIEW_KIND_WEB},
        {"snap", "snapshot", true, "snapshot sumview", VIEW_KIND_SNAPSHOT},
        {"auto", "automatic", false, "automatic", VIEW_KIND_AUTOMATIC},
        {"dyn", "dynamic", false, "", VIEW_KIND_DYNAMIC},
        {"dynsum", "dynamic", true, "sumview", VIEW_KIND_DYNAMIC},
    };
    for (const Case& c : cases) {
        view_t* v = make_view(c.tag, c.kind, c.sum);
        ASSERT_NE(v, nullptr) << c.tag;
        const std::string stg = storage(c.tag);
        EXPECT_TRUE(exists(stg + "/view.db")) << c.tag;
        EXPECT_TRUE(std::filesystem::is_directory(stg + "/root")) << c.tag;
        rgy_view_entry_t e;
        ASSERT_EQ(rgy_find_view_by_tag(c.tag, nullptr, &e), 0) << c.tag;
        EXPECT_EQ(e.properties, c.words) << c.tag;
        EXPECT_EQ(e.storage, stg);
        EXPECT_EQ(e.owner, user_);
        EXPECT_EQ(tbs_uuid_text(e.uuid), tbs_uuid_text(v->uuid));
        EXPECT_EQ(v->kind, c.view_kind) << c.tag;
        EXPECT_EQ(v->sum_view, c.sum) << c.tag;
        EXPECT_EQ(v->root, c.view_kind == VIEW_KIND_DYNAMIC
                               ? std::string(tbs_product_dir()) + "/view/" + c.tag
                               : stg + "/root");
        EXPECT_EQ(v->private_root, stg + "/root");
        std::string cs;
        ASSERT_EQ(view_get_cspec(v, &cs), 0);
        EXPECT_EQ(cs, VIEW_CSPEC_DEFAULT);
    }
    // UUIDs differ from view to view.
    std::vector<rgy_view_entry_t> all;
    ASSERT_EQ(rgy_list_view_tags(nullptr, &all), 0);
    ASSERT_EQ(all.size(), 5u);
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_NE(tbs_uuid_text(all[i].uuid), tbs_uuid_text(all[0].uuid));
}

TEST_F(ViewTest, RefusedCreationLeavesNothingBehind) {
    make_view("taken", "webview");
    ASSERT_EQ(::mkdir((site_.path() + "/occupied").c_str(), 0755), 0);
    struct Case {
        const char* tag;
        const char* storage;  // below the site; "" for a relative one
        const char* kind;
        const char* cspec;
        tbs_status_t st;
        const char* why;  // in the error text
    };
    const Case cases[] = {
        {"v1", "/v1.vws", "webview", "element * /main/LATEST\nbogus rule\n", TBS_ST_INVALID,
         "line 2"},
        {"v2", "/v2.vws", "snapshot", "load\n", TBS_ST_INVALID, "line 1"},
        {"v3", "/v3.vws", "weird", "", TBS_ST_BAD_REQUEST, "Unknown view kind"},
        {"v4", "", "webview", "", TBS_ST_BAD_REQUEST, ""},
        {"v5", "/occupied", "webview", "", tbs_errno2status(EEXIST), "already exists"},
        {"taken", "/v6.vws", "webview", "", TBS_ST_EXISTS, "already exists"},
    };
    for (const Case& c : cases) {
        cap_ = Captured{};
        cmd_mkview_args_t a;
        a.tag = c.tag;
        a.storage = c.storage[0] ? site_.path() + c.storage : "rel.vws";
        a.kind = c.kind;
        a.cspec = c.cspec;
        EXPECT_EQ(cmd_mkview(&a), c.st) << c.tag;
        EXPECT_TRUE(contains(cap_.err, c.why)) << c.tag << "\n" << cap_.err;
        if (c.storage[0] && std::string(c.storage) != "/occupied") {
            EXPECT_FALSE(exists(site_.path() + c.storage)) << c.tag;
        }
        rgy_view_entry_t e;
        tbs_status_t found = rgy_find_view_by_tag(c.tag, nullptr, &e);
        if (std::string(c.tag) == "taken") {
            ASSERT_EQ(found, 0);
            EXPECT_EQ(e.storage, storage("taken"));  // the first view keeps its entry
        } else {
            EXPECT_NE(found, 0) << c.tag;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(site_.path() + "/occupied"));
}

TEST_F(ViewTest, RemovalIsRefusedWhileTheViewHasCheckouts) {
    view_t* w = make_view("w", "webview");
    const tbs_uuid_t uuid = w->uuid;
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/p/src/a.c"};
    co.view = &w->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0);
    // A checkout of another view (here the null view's) does not hold this one.
    ASSERT_EQ(run({"co", "/vobs/p/src/b.c"}), 0) << cap_.err;

    cap_ = Captured{};
    EXPECT_EQ(cmd_rmview("w"), TBS_ST_CHECKED_OUT);
    EXPECT_TRUE(contains(cap_.err, "still has checkouts")) << cap_.err;
    EXPECT_TRUE(exists(storage("w") + "/view.db"));
    view_t* again = nullptr;
    ASSERT_EQ(view_open_by_tag("w", &again), 0);

    cmd_uncheckout_args_t unco;
    unco.pnames = {"/vobs/p/src/a.c"};
    unco.view = &again->ctx;
    ASSERT_EQ(cmd_uncheckout(&unco), 0);
    ASSERT_EQ(cmd_rmview("w"), 0);
    EXPECT_FALSE(exists(storage("w")));
    rgy_view_entry_t e;
    EXPECT_NE(rgy_find_view_by_tag("w", nullptr, &e), 0);
    view_t* gone = nullptr;
    EXPECT_NE(view_open_by_tag("w", &gone), 0);
    EXPECT_NE(view_open_by_uuid(uuid, &gone), 0);
    EXPECT_NE(view_open_by_root((storage("w") + "/root").c_str(), &gone), 0);
    EXPECT_EQ(cmd_rmview("w"), TBS_ST_NOT_FOUND);
    // The tag and storage may be used again.
    EXPECT_NE(make_view("w", "snapshot"), nullptr);
}

// A view is removed by its owner or the site's administrator, never by another user.
TEST_F(ViewTest, OnlyItsOwnerRemovesAView) {
    ASSERT_NE(make_view("root-view", "webview"), nullptr);
    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    cap_ = Captured{};
    EXPECT_EQ(cmd_rmview("root-view"), TBS_ST_PERMISSION);
    EXPECT_TRUE(contains(cap_.err, "only its owner")) << cap_.err;
    EXPECT_TRUE(exists(storage("root-view") + "/view.db"));
    ASSERT_NE(make_view("own-view", "webview"), nullptr);
    EXPECT_EQ(cmd_rmview("own-view"), 0);
    credutl_reset_creds();
    EXPECT_EQ(cmd_rmview("root-view"), 0);  // the administrator may
    EXPECT_FALSE(exists(storage("root-view")));
}

TEST_F(ViewTest, LookupsByTagUuidAndRoot) {
    view_t* a = make_view("alpha", "webview");
    view_t* b = make_view("beta", "snapshot");
    ASSERT_TRUE(a && b);
    view_t* v = nullptr;
    ASSERT_EQ(view_open_by_uuid(b->uuid, &v), 0);
    EXPECT_EQ(v, b);
    for (const std::string& path : {a->root, a->root + "/", a->root + "/vobs/p/src/a.c"}) {
        ASSERT_EQ(view_open_by_root(path.c_str(), &v), 0) << path;
        EXPECT_EQ(v, a) << path;
    }
    // A name that merely begins like a root is not inside it.
    for (const std::string& path : {a->root + "x", storage("alpha"), std::string("/vobs/p")})
        EXPECT_EQ(view_open_by_root(path.c_str(), &v), TBS_ST_NOT_FOUND) << path;

    tbs_uuid_t u{};
    std::string tag;
    ASSERT_EQ(cmd_utl_get_view_info((b->root + "/vobs/p").c_str(), &u, &tag), 0);
    EXPECT_EQ(tag, "beta");
    EXPECT_EQ(tbs_uuid_text(u), tbs_uuid_text(b->uuid));
    ASSERT_EQ(cmd_utl_get_view_tag(a->uuid, &tag), 0);
    EXPECT_EQ(tag, "alpha");

    EXPECT_NE(view_open_by_tag("gamma", &v), 0);
    EXPECT_NE(view_open_by_uuid(tbs_uuid_create(), &v), 0);
    EXPECT_NE(cmd_utl_get_view_tag(tbs_uuid_create(), &tag), 0);
    // Lookups open the view afresh once the cache is cleared.
    const std::string a_uuid = tbs_uuid_text(a->uuid);
    view_cache_clear();
    ASSERT_EQ(view_open_by_tag("alpha", &v), 0);
    EXPECT_EQ(tbs_uuid_text(v->uuid), a_uuid);
}

TEST_F(ViewTest, DynamicViewsNeedAVirtualFileSystem) {
    // As where no /dev/fuse can be opened.
    setenv("VERDANE_VTFS", "off", 1);
    struct Restore {
        ~Restore() { unsetenv("VERDANE_VTFS"); }
    } restore;
    make_view("dyn", "dynamic");
    view_t* snap = make_view("snap", "snapshot");
    const std::string dyn_root = std::string(tbs_product_dir()) + "/view/dyn";
    std::string root;
    EXPECT_EQ(tbs_view_root("dyn", &root), TBS_ST_NO_VTFS);
    EXPECT_EQ(root, dyn_root);
    EXPECT_EQ(view_start_dynamic("dyn"), TBS_ST_NO_VTFS);
    ws_handle_t* h = nullptr;
    EXPECT_EQ(ws_get_handle(dyn_root.c_str(), 0, &h), TBS_ST_NO_VTFS);
    ASSERT_EQ(tbs_view_root("snap", &root), 0);
    EXPECT_EQ(root, snap->root);
    EXPECT_EQ(view_start_dynamic("snap"), 0);
    EXPECT_NE(tbs_view_root("none", &root), 0);

    SUM_View dyn;
    ASSERT_EQ(SUM_View::construct_from_tag("dyn", &dyn), 0);
    SUM_String sroot;
    EXPECT_EQ(dyn.view_root(&sroot), TBS_ST_NO_VTFS);
    EXPECT_EQ(sroot.str(), dyn_root);
    EXPECT_EQ(dyn.start(), TBS_ST_NO_VTFS);
    EXPECT_EQ(dyn.end(), TBS_ST_NO_VTFS);
    EXPECT_EQ(run({"startview", "dyn"}), TBS_ST_NO_VTFS);
    EXPECT_TRUE(contains(cap_.err, "switched off")) << cap_.err;

    // Commands told to act in it fail the same way.
    EXPECT_EQ(run({"checkout", "-view", "dyn", "/vobs/p/src/a.c"}), TBS_ST_NO_VTFS);
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/1");
}

TEST_F(ViewTest, SumViewAccessors) {
    struct Case {
        const char* tag;
        const char* kind;
        bool sum, web, snapshot, automatic;
    };
    const Case cases[] = {
        {"w", "webview", true, true, false, false},
        {"s", "snapshot", false, false, true, false},
        {"a", "automatic", false, false, false, true},
    };
    for (const Case& c : cases) {
        view_t* v = make_view(c.tag, c.kind, c.sum);
        ASSERT_NE(v, nullptr);
        SUM_View by_uuid, by_root, by_inside, by_tag;
        ASSERT_EQ(SUM_View::construct_from_uuid(v->uuid, &by_uuid), 0);
        ASSERT_EQ(SUM_View::construct_from_view_root(v->root.c_str(), &by_root), 0);
        ASSERT_EQ(SUM_View::construct_from_view_root((v->root + "/vobs/p").c_str(), &by_inside), 0);
        ASSERT_EQ(SUM_View::construct_from_tag(c.tag, &by_tag), 0);
        for (const SUM_View* sv : {&by_uuid, &by_root, &by_inside, &by_tag}) {
            SUM_String tag, root;
            SUM_Uuid uuid;
            view_t* handle = nullptr;
            bool sum = !c.sum, web = !c.web, snapshot = !c.snapshot, automatic = !c.automatic;
            ASSERT_EQ(sv->tag(&tag), 0);
            ASSERT_EQ(sv->uuid(&uuid), 0);
            ASSERT_EQ(sv->view_root(&root), 0);
            ASSERT_EQ(sv->handle(&handle), 0);
            ASSERT_EQ(sv->is_sum_view(&sum), 0);
            ASSERT_EQ(sv->is_web_view(&web), 0);
            ASSERT_EQ(sv->is_snapshot_view(&snapshot), 0);
            ASSERT_EQ(sv->is_automatic_view(&automatic), 0);
            EXPECT_EQ(tag.str(), c.tag);
            EXPECT_EQ(uuid.string().str(), tbs_uuid_text(v->uuid));
            EXPECT_EQ(root.str(), v->root);
            EXPECT_EQ(handle, v);
            EXPECT_EQ(sum, c.sum) << c.tag;
            EXPECT_EQ(web, c.web) << c.tag;
            EXPECT_EQ(snapshot, c.snapshot) << c.tag;
            EXPECT_EQ(automatic, c.automatic) << c.tag;
            EXPECT_EQ(sv->start(), 0);
        }
    }

    // The null view, and lookups that find nothing, which leave the object as it was.
    SUM_View null_view;
    EXPECT_TRUE(null_view.is_null());
    SUM_String s;
    bool yes = false;
    view_t* handle = nullptr;
    EXPECT_EQ(null_view.tag(&s), TBS_ST_BAD_REQUEST);
    EXPECT_EQ(null_view.view_root(&s), TBS_ST_BAD_REQUEST);
    EXPECT_EQ(null_view.handle(&handle), TBS_ST_BAD_REQUEST);
    EXPECT_EQ(null_view.is_web_view(&yes), TBS_ST_BAD_REQUEST);
    EXPECT_EQ(null_view.start(), TBS_ST_BAD_REQUEST);
    EXPECT_NE(SUM_View::construct_from_uuid(tbs_uuid_create(), &null_view), 0);
    EXPECT_NE(SUM_View::construct_from_tag("nope", &null_view), 0);
    EXPECT_NE(SUM_View::construct_from_view_root("/nowhere", &null_view), 0);
    EXPECT_EQ(SUM_View::construct_from_view_root("relative", &null_view), TBS_ST_BAD_REQUEST);
    EXPECT_EQ(SUM_View::construct_from_uuid(tbs_uuid_null(), &null_view), TBS_ST_BAD_REQUEST);
    EXPECT_TRUE(null_view.is_null());

    // A copy outlives its view's removal and says so instead of handing out a stale handle.
    SUM_View w;
    ASSERT_EQ(SUM_View::construct_from_tag("w", &w), 0);
    SUM_View copy = w;
    ASSERT_EQ(cmd_rmview("w"), 0);
    EXPECT_NE(copy.handle(&handle), 0);
    ASSERT_EQ(copy.tag(&s), 0);
    EXPECT_EQ(s.str(), "w");
}

// vdtool ----------------------------------------------------------------------------------

TEST_F(ViewTest, SnapshotViewIsLoadedAndUpdatedByVdtool) {
    const std::string stg = storage("snap");
    ASSERT_EQ(run({"mkview", "-tag", "snap", "-snapshot", stg}), 0) << cap_.err;
    rgy_view_entry_t e;
    ASSERT_EQ(rgy_find_view_by_tag("snap", nullptr, &e), 0);
    EXPECT_EQ(cap_.out, "Created view \"snap\" (snapshot) at \"" + stg +
                            "\".\nView uuid: " + tbs_uuid_text(e.uuid) + "\n");
    const std::string root = stg + "/root";

    const std::string cs =
        source("cs", "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/p/src\n");
    ASSERT_EQ(run({"setcs", "-tag", "snap", cs}), 0) << cap_.err;
    ASSERT_EQ(run({"update", "-tag", "snap"}), 0) << cap_.err;
    for (const char* line : {"Loaded \"vobs/p\" version \"/main/1\".\n",
                             "Loaded \"vobs/p/src\" version \"/main/2\".\n",
                             "Loaded \"vobs/p/src/a.c\" version \"/main/1\".\n",
                             "Loaded \"vobs/p/src/b.c\" version \"/main/1\".\n"})
        EXPECT_TRUE(contains(cap_.out, line)) << line << cap_.out;
    EXPECT_EQ(cap_.err, "");
    EXPECT_EQ(read_file(root + "/vobs/p/src/a.c"), "a1");
    EXPECT_EQ(read_file(root + "/vobs/p/src/b.c"), "b1");
    struct stat sb;
    ASSERT_EQ(stat((root + "/vobs/p/src/a.c").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0777, 0444u);  // not checked out: read-only

    // Nothing changed: nothing to report.
    ASSERT_EQ(run({"update", "-tag", "snap"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "");
    EXPECT_EQ(cap_.err, "");

    // Through the view, by view pathnames: a new version, a removed and a moved name.
    const std::string a = root + "/vobs/p/src/a.c", dir = root + "/vobs/p/src";
    ASSERT_EQ(run({"co", "-view", "snap", a}), 0) << cap_.err;
    ASSERT_EQ(run({"ci", "-view", "snap", "-from", source("a2", "a2"), a}), 0) << cap_.err;
    ASSERT_EQ(run({"co", "-view", "snap", dir}), 0) << cap_.err;
    ASSERT_EQ(run({"rmname", "-view", "snap", dir + "/b.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"mv", "-view", "snap", a, dir + "/c.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"ci", "-view", "snap", dir}), 0) << cap_.err;
    ASSERT_EQ(run({"update", "-tag", "snap"}), 0) << cap_.err;
    for (const char* line :
         {"Renamed \"vobs/p/src/a.c\" to \"vobs/p/src/c.c\".\n",
          "Loaded \"vobs/p/src/c.c\" version \"/main/2\".\n", "Unloaded \"vobs/p/src/b.c\".\n"})
        EXPECT_TRUE(contains(cap_.out, line)) << line << cap_.out;
    EXPECT_EQ(read_file(root + "/vobs/p/src/c.c"), "a2");
    EXPECT_FALSE(exists(root + "/vobs/p/src/a.c"));
    EXPECT_FALSE(exists(root + "/vobs/p/src/b.c"));

    // A preview reports what an update would do and changes nothing.
    ASSERT_EQ(run({"co", "/vobs/p/src/c.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"ci", "-from", source("a3", "a3"), "/vobs/p/src/c.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"update", "-tag", "snap", "-preview", "/vobs/p/src/c.c"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out,
              "Loaded \"vobs/p/src/c.c\" version \"/main/3\".\n"
              "Preview only: the view was not changed.\n");
    EXPECT_EQ(read_file(root + "/vobs/p/src/c.c"), "a2");
    ASSERT_EQ(run({"lsview", "-long", "snap"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "  load session: none\n")) << cap_.out;
    ASSERT_EQ(run({"update", "-tag", "snap", root + "/vobs/p/src/c.c"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "Loaded \"vobs/p/src/c.c\" version \"/main/3\".\n");
    EXPECT_EQ(read_file(root + "/vobs/p/src/c.c"), "a3");
}

// An element the engine cannot write fails the update, after the others are loaded.
TEST_F(ViewTest, UpdateFailsWhenACopyCannotBeWritten) {
    view_t* snap = make_view("snap", "snapshot");
    ASSERT_EQ(
        run({"setcs", "-tag", "snap", source("cs", "element * /main/LATEST\nload /vobs/p\n")}), 0)
        << cap_.err;
    const std::string a = snap->root + "/vobs/p/src/a.c";
    ASSERT_EQ(fileutl_mkdir_p((a + "/in-the-way").c_str(), 0755), 0);
    EXPECT_NE(run({"update", "-tag", "snap"}), 0);
    EXPECT_TRUE(contains(cap_.err, "Unable to load \"vobs/p/src/a.c\"")) << cap_.err;
    EXPECT_TRUE(contains(cap_.err, "Unable to update view \"snap\"")) << cap_.err;
    EXPECT_EQ(read_file(snap->root + "/vobs/p/src/b.c"), "b1");
}

TEST_F(ViewTest, ElementCommandsActInTheGivenView) {
    view_t* w = make_view("w", "webview");
    const std::string in_w = w->root + "/vobs/p/src/a.c";
    ASSERT_EQ(run({"checkout", "-view", "w", "-c", "in w", in_w}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/a.c", w), "/main/CHECKEDOUT");
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/1");  // the null view does not see it

    ASSERT_EQ(run({"ls", "/vobs/p/src/a.c"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "/vobs/p/src/a.c@@/main/1\n");
    ASSERT_EQ(run({"ls", "-view", "w", "/vobs/p/src"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "a.c@@/main/CHECKEDOUT\nb.c@@/main/1\n");
    ASSERT_EQ(run({"describe", "-view", "w", in_w}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "in view " + tbs_uuid_text(w->uuid))) << cap_.out;
    ASSERT_EQ(run({"lsco", "-view", "w", in_w}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "(reserved)  view " + tbs_uuid_text(w->uuid))) << cap_.out;

    // The checkout is the view's: the null view has none to check in.
    EXPECT_EQ(run({"checkin", "/vobs/p/src/a.c"}), TBS_ST_NOT_CHECKED_OUT);
    ASSERT_EQ(run({"checkin", "-view", "w", "-from", source("a2", "a2"), in_w}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/2");

    // Namespace changes in the view: the directory's checkout is the view's too.
    ASSERT_EQ(run({"co", "-view", "w", "/vobs/p/src"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkelem", "-view", "w", "-nco", w->root + "/vobs/p/src/n.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkdir", "-view", "w", "-nco", "/vobs/p/src/sub"}), 0) << cap_.err;
    ASSERT_EQ(run({"ln", "-view", "w", "-s", "a.c", w->root + "/vobs/p/src/l"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/n.c", w), "/main/0");
    EXPECT_EQ(idstr("/vobs/p/src/n.c"), "<none>");  // not until the directory is checked in
    ASSERT_EQ(run({"unco", "-view", "w", w->root + "/vobs/p/src"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/n.c", w), "<none>");

    // Failures of the view itself.
    EXPECT_EQ(run({"co", "-view", "nope", "/vobs/p/src/b.c"}), TBS_ST_NOT_FOUND);
    EXPECT_TRUE(contains(cap_.err, "Unable to find view \"nope\"")) << cap_.err;
    EXPECT_EQ(run({"co", "-view", "w", w->root + "/../../p.vbs/x"}), TBS_ST_BAD_REQUEST);
    EXPECT_TRUE(contains(cap_.err, "leaves the view root")) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/b.c", w), "/main/1");
}

TEST_F(ViewTest, CatcsSetcsAndLsview) {
    view_t* w = make_view("w", "webview");
    make_view("s", "snapshot", true);
    ASSERT_EQ(run({"catcs", "-tag", "w"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, VIEW_CSPEC_DEFAULT);

    // A spec with errors is refused with each error's line; the view keeps its spec.
    const std::string bad = source("bad", "element * /main/LATEST\nelemnt * x\n\nload\n");
    EXPECT_EQ(run({"setcs", "-tag", "w", bad}), TBS_ST_INVALID);
    EXPECT_TRUE(contains(cap_.err, "line 2")) << cap_.err;
    EXPECT_TRUE(contains(cap_.err, "line 4")) << cap_.err;
    ASSERT_EQ(run({"catcs", "-tag", "w"}), 0);
    EXPECT_EQ(cap_.out, VIEW_CSPEC_DEFAULT);

    const std::string good =
        "element * CHECKEDOUT\nelement -file * /main/0\nelement * /main/LATEST\nload /vobs/p\n";
    ASSERT_EQ(run({"setcs", "-tag", "w", source("good", good)}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/a.c", w), "/main/0");  // lookups follow the new spec at once
    ASSERT_EQ(run({"setcs", "-tag", "w", "-current"}), 0) << cap_.err;
    ASSERT_EQ(run({"catcs", "-tag", "w"}), 0);
    EXPECT_EQ(cap_.out, good);
    ASSERT_EQ(run({"setcs", "-tag", "w", "-default"}), 0) << cap_.err;
    ASSERT_EQ(run({"catcs", "-tag", "w"}), 0);
    EXPECT_EQ(cap_.out, VIEW_CSPEC_DEFAULT);
    EXPECT_EQ(idstr("/vobs/p/src/a.c", w), "/main/1");
    EXPECT_NE(run({"setcs", "-tag", "w", tmp_ / "missing"}), 0);
    EXPECT_NE(run({"catcs", "-tag", "nope"}), 0);

    ASSERT_EQ(run({"lsview"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "s  snapshot sumview  " + storage("s") + "  " + storage("s") + "/root\n" +
                            "w  webview  " + storage("w") + "  " + storage("w") + "/root\n");

    // A fetch of the web view leaves its session in progress until its client commits.
    ASSERT_EQ(run({"setcs", "-tag", "w", source("good", good)}), 0);
    ws_handle_t* h = nullptr;
    ASSERT_EQ(ws_get_handle(w->root.c_str(), 0, &h), 0);
    ASSERT_EQ(ws_load_scopes(h, nullptr, 0), 0);
    ws_free_handle(h);
    ASSERT_EQ(run({"lsview", "-long", "w"}), 0) << cap_.err;
    for (const std::string& fact : std::vector<std::string>{
             "View tag: w\n", "  kind: webview\n", "  root: " + w->root + "\n",
             "  uuid: " + tbs_uuid_text(w->uuid) + "\n", "  owner: " + user_ + "\n",
             "  loaded objects: 0\n", "  load session: in progress since ", " by " + user_})
        EXPECT_TRUE(contains(cap_.out, fact)) << fact << "\n" << cap_.out;
    EXPECT_FALSE(contains(cap_.out, "View tag: s")) << cap_.out;

    // A snapshot view's record counts what its update loaded.
    ASSERT_EQ(run({"setcs", "-tag", "s", source("good", good)}), 0);
    ASSERT_EQ(run({"update", "-tag", "s"}), 0) << cap_.err;
    ASSERT_EQ(run({"lsview", "-l", "s"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "  loaded objects: 4\n")) << cap_.out;  // p, src, a.c, b.c
    EXPECT_TRUE(contains(cap_.out, "  load session: none\n")) << cap_.out;
    EXPECT_EQ(run({"lsview", "nope"}), TBS_ST_NOT_FOUND);
}

TEST_F(ViewTest, UpdateLoadsSnapshotViewsOnly) {
    make_view("w", "webview");
    make_view("d", "dynamic");
    EXPECT_EQ(run({"update", "-tag", "w"}), TBS_ST_NOT_SUPPORTED);
    EXPECT_TRUE(contains(cap_.err, "is a web view: its client updates it")) << cap_.err;
    EXPECT_EQ(run({"update", "-tag", "d"}), TBS_ST_NOT_SUPPORTED);
    EXPECT_TRUE(contains(cap_.err, "not a snapshot view")) << cap_.err;
    EXPECT_EQ(run({"update", "-tag", "nope"}), TBS_ST_NOT_FOUND);
    // Neither refusal began a session.
    view_t* w = nullptr;
    ASSERT_EQ(view_open_by_tag("w", &w), 0);
    view_load_session_t session;
    ASSERT_EQ(view_ws_get_load_session(w, &session), 0);
    EXPECT_FALSE(session.in_progress);
}

TEST_F(ViewTest, RmviewThroughVdtool) {
    ASSERT_EQ(
        run({"mkview", "-tag", "w", "-sumview", "-cspec",
             source("cs", "element -file * /main/0\nelement * /main/LATEST\n"), storage("w")}),
        0)
        << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "(webview, sumview)")) << cap_.out;
    ASSERT_EQ(run({"catcs", "-tag", "w"}), 0);
    EXPECT_EQ(cap_.out, "element -file * /main/0\nelement * /main/LATEST\n");
    ASSERT_EQ(run({"co", "-view", "w", "-version", "/vobs/p/src/a.c"}), 0) << cap_.err;
    EXPECT_EQ(run({"rmview", "w"}), TBS_ST_CHECKED_OUT);
    EXPECT_TRUE(contains(cap_.err, "Unable to remove view \"w\"")) << cap_.err;
    ASSERT_EQ(run({"unco", "-view", "w", "/vobs/p/src/a.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"rmview", "w"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "Removed view \"w\".\n");
    EXPECT_FALSE(exists(storage("w")));
    // A spec file with errors refuses the view.
    EXPECT_EQ(run({"mkview", "-tag", "x", "-cspec", source("bad", "bogus\n"), storage("x")}),
              TBS_ST_INVALID);
    EXPECT_TRUE(contains(cap_.err, "line 1")) << cap_.err;
    EXPECT_FALSE(exists(storage("x")));
}

TEST_F(ViewTest, UsageErrorsChangeNothing) {
    make_view("w", "webview");
    const std::string stg = storage("v");
    struct Case {
        std::vector<std::string> args;
        const char* why;
    };
    const Case cases[] = {
        {{"mkview", stg}, "Missing -tag"},
        {{"mkview", "-tag", "v", "-snapshot", "-webview", stg}, "one view kind"},
        {{"mkview", "-tag", "v", "v.vws"}, "not absolute: \"v.vws\""},
        {{"mkview", "-tag", "a/b", stg}, "simple name"},
        {{"mkview", "-tag", "..", stg}, "Bad view tag"},
        {{"mkview", "-tag", "v"}, "Missing arguments"},
        {{"mkview", "-tag", "v", "-bogus", stg}, "Unrecognized option \"-bogus\""},
        {{"mkview", "-tag", "v", "-cspec"}, "Option \"-cspec\" needs a value"},
        {{"rmview"}, "Missing arguments"},
        {{"rmview", "w", "x"}, "Too many arguments"},
        {{"lsview", "w", "x"}, "Too many arguments"},
        {{"catcs"}, "Missing -tag"},
        {{"catcs", "-tag", "w", "x"}, "Too many arguments"},
        {{"setcs", "-tag", "w"}, "one of a file, -default or -current"},
        {{"setcs", "-tag", "w", "-default", "-current"}, "one of a file"},
        {{"update", "-preview"}, "Missing -tag"},
        {{"update", "-tag", "w", "vobs/p"}, "not absolute"},
        {{"update", "-tag", "w", "/vobs/p/../q"}, "\"..\""},
        {{"checkout", "-view"}, "Option \"-view\" needs a value"},
        {{"ls", "-view", "w", "vobs/p"}, "not absolute"},
        {{"mklabel", "-view", "w", "REL1", "/vobs/p/src/a.c"}, "Unrecognized option \"-view\""},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        EXPECT_EQ(run(c.args), TBS_ST_BAD_REQUEST) << line;
        EXPECT_TRUE(contains(cap_.err, c.why)) << line << "\n" << cap_.err;
        size_t usage = cap_.err.find("Usage: " + c.args[0] + " ");
        EXPECT_NE(usage, std::string::npos) << line << "\n" << cap_.err;
        EXPECT_EQ(cap_.out, "") << line;
    }
    EXPECT_FALSE(exists(stg));
    std::vector<rgy_view_entry_t> views;
    ASSERT_EQ(rgy_list_view_tags(nullptr, &views), 0);
    EXPECT_EQ(views.size(), 1u);
    ASSERT_EQ(run({"catcs", "-tag", "w"}), 0);
    EXPECT_EQ(cap_.out, VIEW_CSPEC_DEFAULT);
}

TEST_F(ViewTest, UpdateAbandonsASessionLeftInProgressOnlyWhenAsked) {
    view_t* s = make_view("s", "snapshot");
    ASSERT_EQ(run({"setcs", "-tag", "s",
                   source("cs", "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/p\n")}),
              0);
    // An update that died before it ended its session.
    bool conflict = false;
    ASSERT_EQ(view_ws_begin_load_session(s, 1, "1", "someone", 1, &conflict, 0), 0);
    ASSERT_FALSE(conflict);
    EXPECT_EQ(run({"update", "-tag", "s"}), TBS_ST_VIEW_CONFLICT);
    ASSERT_EQ(run({"update", "-tag", "s", "-abort"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "Loaded \"vobs/p/src/a.c\"")) << cap_.out;
    EXPECT_NE(run({"update", "-tag", "s", "-overwrite", "-rename"}), 0);
}

// A snapshot view's copy that a checkin took is known again as that version's copy, however
// close in time and size its writes were: the update that follows brings it the next version
// (or says it kept a hijack, never both), and a checkout and checkin from the view keep the
// other user's change. The copy is written in the second it was loaded, with as many bytes
// as the loaded version, and its times are then set to exactly what the record was taken
// with or to later ones, so that the outcome does not depend on the clock.
TEST_F(ViewTest, SnapshotCopyCheckedInIsNotRevertedByTheNextUpdate) {
    struct Case {
        const char* what;
        long shift_sec;  // the edited copy's times against the ones it was loaded with
    };
    const Case cases[] = {{"same second", 0}, {"later second", 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string tag = std::string("snap") + std::to_string(c.shift_sec);
        view_t* snap = make_view(tag, "snapshot");
        ASSERT_EQ(run({"setcs", "-tag", tag,
                       source("cs",
                              "element * CHECKEDOUT\n"
                              "element * /main/LATEST\nload /vobs/p\n")}),
                  0)
            << cap_.err;
        ASSERT_EQ(run({"update", "-tag", tag}), 0) << cap_.err;
        const std::string a = snap->root + "/vobs/p/src/a.c";
        const std::string before = read_file(a);
        struct stat loaded;
        ASSERT_EQ(stat(a.c_str(), &loaded), 0);
        ASSERT_EQ(run({"co", "-view", tag, "-nc", a}), 0) << cap_.err;
        const std::string mine = before.substr(0, before.size() - 1) + "M";  // same size
        write_file(a, mine);
        struct timespec times[2] = {loaded.st_mtim, loaded.st_mtim};
        times[0].tv_sec += c.shift_sec;
        times[1].tv_sec += c.shift_sec;
        ASSERT_EQ(utimensat(AT_FDCWD, a.c_str(), times, 0), 0);
        ASSERT_EQ(run({"ci", "-view", tag, "-nc", a}), 0) << cap_.err;
        const std::string mine_id = idstr("/vobs/p/src/a.c");
        struct stat after_ci;
        ASSERT_EQ(stat(a.c_str(), &after_ci), 0);
        EXPECT_EQ(after_ci.st_mode & 0777, 0444u) << "a checked-in copy is read-only again";

        // Another user's change.
        ASSERT_EQ(run({"co", "-nc", "/vobs/p/src/a.c"}), 0) << cap_.err;
        const std::string theirs = "T" + mine.substr(1);
        ASSERT_EQ(run({"ci", "-nc", "-from", source("theirs", theirs), "/vobs/p/src/a.c"}), 0)
            << cap_.err;
        const std::string their_id = idstr("/vobs/p/src/a.c");
        ASSERT_NE(their_id, mine_id);

        ASSERT_EQ(run({"update", "-tag", tag}), 0) << cap_.err;
        EXPECT_EQ(read_file(a), theirs);
        EXPECT_TRUE(contains(cap_.out, "Loaded \"vobs/p/src/a.c\" version \"" + their_id + "\".\n"))
            << cap_.out;
        EXPECT_FALSE(contains(cap_.out, "hijacked")) << cap_.out;

        // Checked out and in again from the view: the other user's bytes stay.
        ASSERT_EQ(run({"co", "-view", tag, "-nc", a}), 0) << cap_.err;
        EXPECT_EQ(read_file(a), theirs);
        ASSERT_EQ(run({"ci", "-view", tag, "-nc", "-identical", a}), 0) << cap_.err;
        EXPECT_EQ(cleartext("/vobs/p/src/a.c", tmp_ / "latest"), theirs);
        // Back to the first state for the next case.
        ASSERT_EQ(run({"co", "-nc", "/vobs/p/src/a.c"}), 0) << cap_.err;
        ASSERT_EQ(run({"ci", "-nc", "-from", source("a1", "a1"), "/vobs/p/src/a.c"}), 0)
            << cap_.err;
    }
}

// A copy changed by hand with as many bytes as it had and its times set back to exactly the
// ones it was loaded with is still found hijacked: an update keeps it, says so, and does not
// claim to have loaded the version it did not write.
TEST_F(ViewTest, SnapshotHijackWithTheLoadedTimesIsKept) {
    view_t* snap = make_view("snap", "snapshot");
    ASSERT_EQ(
        run({"setcs", "-tag", "snap", source("cs", "element * /main/LATEST\nload /vobs/p\n")}), 0)
        << cap_.err;
    ASSERT_EQ(run({"update", "-tag", "snap"}), 0) << cap_.err;
    const std::string a = snap->root + "/vobs/p/src/a.c";
    struct stat loaded;
    ASSERT_EQ(stat(a.c_str(), &loaded), 0);
    ASSERT_EQ(chmod(a.c_str(), 0644), 0);
    write_file(a, "zz");
    struct timespec times[2] = {loaded.st_atim, loaded.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, a.c_str(), times, 0), 0);
    ASSERT_EQ(run({"co", "-nc", "/vobs/p/src/a.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"ci", "-nc", "-from", source("a2", "a2"), "/vobs/p/src/a.c"}), 0) << cap_.err;

    ASSERT_EQ(run({"update", "-tag", "snap"}), 0) << cap_.err;
    EXPECT_EQ(read_file(a), "zz");
    EXPECT_TRUE(contains(cap_.text, "Kept hijacked \"vobs/p/src/a.c\"")) << cap_.text;
    EXPECT_FALSE(contains(cap_.out, "Loaded \"vobs/p/src/a.c\"")) << cap_.out;
    // Overwritten on request: then it is loaded.
    ASSERT_EQ(run({"update", "-tag", "snap", "-overwrite"}), 0) << cap_.err;
    EXPECT_EQ(read_file(a), "a2");
    EXPECT_TRUE(contains(cap_.out, "Loaded \"vobs/p/src/a.c\" version \"/main/2\".\n")) << cap_.out;
}

// A checkout from a snapshot view makes the copy hold the version checked out, so that the
// checkin that follows takes only the user's bytes: a copy left behind by a newer version's
// checkin elsewhere is loaded first, the user's edits of the version checked out are kept,
// and edits of an older version are saved beside.
TEST_F(ViewTest, SnapshotCheckoutHoldsTheVersionCheckedOut) {
    struct Case {
        const char* what;
        bool update_first;     // the view loads the newest version before the edit
        const char* edit;      // written into the copy before the checkout (null: none)
        const char* after_co;  // what the copy holds after the checkout
        bool saved_beside;
    };
    const Case cases[] = {
        {"stale copy", false, nullptr, "new", false},
        {"edits of the version checked out", true, "mine", "mine", false},
        {"edits of an older version", false, "mine", "new", true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string tag = "s" + std::to_string(n++);
        view_t* snap = make_view(tag, "snapshot");
        ASSERT_EQ(
            run({"setcs", "-tag", tag,
                 source("cs", "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/p\n")}),
            0)
            << cap_.err;
        ASSERT_EQ(run({"update", "-tag", tag}), 0) << cap_.err;
        ASSERT_EQ(run({"co", "-nc", "/vobs/p/src/b.c"}), 0) << cap_.err;
        ASSERT_EQ(run({"ci", "-nc", "-from", source("new", "new"), "/vobs/p/src/b.c"}), 0)
            << cap_.err;
        if (c.update_first) {
            ASSERT_EQ(run({"update", "-tag", tag}), 0) << cap_.err;
        }
        const std::string b = snap->root + "/vobs/p/src/b.c";
        if (c.edit) {
            ASSERT_EQ(chmod(b.c_str(), 0644), 0);
            write_file(b, c.edit);
        }
        ASSERT_EQ(run({"co", "-view", tag, "-nc", b}), 0) << cap_.err;
        EXPECT_EQ(read_file(b), c.after_co);
        EXPECT_EQ(exists(b + ".hijacked"), c.saved_beside);
        if (c.saved_beside) {
            EXPECT_EQ(read_file(b + ".hijacked"), c.edit);
            EXPECT_TRUE(contains(cap_.err, "Saved hijacked")) << cap_.err;
        }
        ASSERT_EQ(run({"ci", "-view", tag, "-nc", "-identical", b}), 0) << cap_.err;
        EXPECT_EQ(cleartext("/vobs/p/src/b.c", tmp_ / "latest"), c.after_co);
        // Back to the first state for the next case.
        ASSERT_EQ(run({"co", "-nc", "/vobs/p/src/b.c"}), 0) << cap_.err;
        ASSERT_EQ(run({"ci", "-nc", "-from", source("b1", "b1"), "/vobs/p/src/b.c"}), 0)
            << cap_.err;
        // A directory's checkout leaves its copy as it is.
        const std::string dir = snap->root + "/vobs/p/src";
        struct stat before, after;
        ASSERT_EQ(stat(dir.c_str(), &before), 0);
        ASSERT_EQ(run({"co", "-view", tag, "-nc", dir}), 0) << cap_.err;
        ASSERT_EQ(stat(dir.c_str(), &after), 0);
        EXPECT_TRUE(S_ISDIR(after.st_mode));
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_FALSE(exists(dir + ".hijacked"));
        ASSERT_EQ(run({"unco", "-view", tag, dir}), 0) << cap_.err;
    }
}
