// The web-view engine: load sessions over a web view compared with what its client holds,
// commits that move the record forward, session states, snapshot views updated in place,
// and namespace changes reported to the update handlers.
#include "core/ws/ws.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

// What a client sees of one session, and what it would commit.
struct Client {
    uint64_t session = 0;
    std::vector<ws_elem_info_t> visited;  // changed ones only
    std::vector<ws_elem_info_t> unchanged;
    std::vector<std::string> unvisited;
    std::vector<std::string> renamed;  // "src_dir/src -> dst_dir/dst"
    bool end_unvisited = false;
    int stop_after = -1;  // stop the session after this many elements

    static std::string path(const std::string& dir, const std::string& leaf) {
        return dir.empty() ? leaf : dir + "/" + leaf;
    }
    static tbs_status_t begin(void* c, uint64_t id, int*) {
        static_cast<Client*>(c)->session = id;
        return TBS_ST_OK;
    }
    static tbs_status_t one(void* c, const ws_elem_info_t* info, int* notify) {
        Client* me = static_cast<Client*>(c);
        bool same = memcmp(info->prev_oid.bytes, info->cur_oid.bytes, 16) == 0 &&
                    !tbs_uuid_is_null(info->cur_oid);
        (same ? me->unchanged : me->visited).push_back(*info);
        if (me->stop_after >= 0 &&
            static_cast<int>(me->visited.size() + me->unchanged.size()) >= me->stop_after)
            *notify = 1;
        return TBS_ST_OK;
    }
    static tbs_status_t unvis(void* c, const ws_elem_info_t* info, int state, int*) {
        EXPECT_EQ(state, 1);
        static_cast<Client*>(c)->unvisited.push_back(path(info->dir, info->leaf));
        return TBS_ST_OK;
    }
    static tbs_status_t end(void* c, int*) {
        static_cast<Client*>(c)->end_unvisited = true;
        return TBS_ST_OK;
    }
    static tbs_status_t ren(void* c, const char* sd, const char* sn, const char* dd, const char* dn,
                            int, int*) {
        static_cast<Client*>(c)->renamed.push_back(path(sd, sn) + " -> " + path(dd, dn));
        return TBS_ST_OK;
    }
    ws_load_observer_t observer() {
        ws_load_observer_t o;
        o.ctx = this;
        o.begin_session = begin;
        o.one_element = one;
        o.unvisited = unvis;
        o.end_unvisited = end;
        o.renamed = ren;
        return o;
    }
    std::vector<std::string> visited_paths() const {
        std::vector<std::string> out;
        for (const ws_elem_info_t& i : visited) out.push_back(path(i.dir, i.leaf));
        return out;
    }
};

}  // namespace

class WsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(drop_message, nullptr);
        ASSERT_EQ(create_vob("/vobs/p", site_.path() + "/p.vbs"), 0);
        mkdir_elem("/vobs/p/src");
        mkfile("/vobs/p/src/a.c", "a1");
        mkfile("/vobs/p/src/b.c", "b1");
        mkdir_elem("/vobs/p/doc");
        mkfile("/vobs/p/doc/readme", "r1");
        web_ = make_view("web", "webview");
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        view_cache_clear();
        vob_ob_all_cache_action(4);
    }

    void mkdir_elem(const std::string& p) { ASSERT_EQ(mkelem_ci(p, true), 0) << p; }
    void mkfile(const std::string& p, const std::string& data) {
        std::string src = tmp_ / "src";
        write_file(src, data);
        ASSERT_EQ(mkelem_ci(p, false, src), 0) << p;
    }
    void change(const std::string& p, const std::string& data) {
        cmd_checkout_args_t co;
        co.pnames = {p};
        ASSERT_EQ(cmd_checkout(&co), 0);
        std::string src = tmp_ / "src";
        write_file(src, data);
        cmd_checkin_args_t ci;
        ci.pnames = {p};
        ci.from = {src};
        ASSERT_EQ(cmd_checkin(&ci), 0);
    }
    view_t* make_view(const std::string& tag, const std::string& kind) {
        cmd_mkview_args_t a;
        a.tag = tag;
        a.storage = site_.path() + "/" + tag + ".vws";
        a.kind = kind;
        a.cspec = "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/p\n";
        EXPECT_EQ(cmd_mkview(&a), 0);
        view_t* v = nullptr;
        EXPECT_EQ(view_open_by_tag(tag.c_str(), &v), 0);
        return v;
    }
    // One session; `scopes` empty loads every load rule.
    tbs_status_t fetch(view_t* v, Client* c, std::vector<const char*> scopes = {},
                       unsigned prefs = 0) {
        ws_handle_t* h = nullptr;
        tbs_status_t st = ws_get_handle(v->root.c_str(), 0, &h);
        if (st != TBS_ST_OK) return st;
        ws_load_observer_t o = c->observer();
        ws_set_load_observer(h, &o);
        ws_set_load_preferences(h, prefs, 1);
        st = ws_load_scopes(h, scopes.data(), static_cast<int>(scopes.size()));
        ws_free_handle(h);
        return st;
    }
    // What the client does after applying a session: confirm its loads and unloads.
    void commit(view_t* v, const Client& c) {
        bool conflict = true;
        ASSERT_EQ(view_ws_begin_load_session(v, 4, std::to_string(c.session).c_str(), "", 0,
                                             &conflict, 0),
                  0);
        ASSERT_FALSE(conflict);
        for (const std::string& u : c.unvisited)
            ASSERT_EQ(view_ws_unload_one_object_ext(v, 0, 0, u.c_str()), 0) << u;
        for (const ws_elem_info_t& i : c.visited) {
            int state = 0, flags = 0;
            if (i.ftype == WS_FTYPE_SLINK)
                ASSERT_EQ(view_ws_load_one_slink(v, tbs_uuid_null(), i.fh, i.dir.c_str(),
                                                 i.leaf.c_str(), i.target_fh, i.target_leaf.c_str(),
                                                 2178, 0, 0, i.cur_oid, &state, &flags),
                          0);
            else
                ASSERT_EQ(
                    view_ws_load_one_object(v, tbs_uuid_null(), i.fh, i.dir.c_str(), i.leaf.c_str(),
                                            2178, 0, 0, i.cur_oid, &state, &flags),
                    0);
            EXPECT_EQ(state, VIEW_WSO_STATE_LOADED);
        }
        ASSERT_EQ(view_ws_end_load_session(v, true), 0);
    }

    TempHome site_;
    TempDir tmp_;
    view_t* web_ = nullptr;
    imsg_redirect_table_t saved_{};
};

TEST_F(WsFixture, FirstLoadThenNothingChangedThenOneCheckin) {
    Client first;
    ASSERT_EQ(fetch(web_, &first), 0);
    EXPECT_EQ(first.visited_paths(),
              (std::vector<std::string>{"vobs/p", "vobs/p/doc", "vobs/p/doc/readme", "vobs/p/src",
                                        "vobs/p/src/a.c", "vobs/p/src/b.c"}));
    EXPECT_TRUE(first.end_unvisited);
    for (const ws_elem_info_t& i : first.visited) {
        EXPECT_TRUE(tbs_uuid_is_null(i.prev_oid));
        EXPECT_EQ(i.rule, 1);  // selected by "element * /main/LATEST"
    }
    // The fetch alone changes nothing: the same session again finds everything new, and
    // the view reports the session in progress.
    ws_handle_t* h = nullptr;
    ASSERT_EQ(ws_get_handle(web_->root.c_str(), 0, &h), 0);
    int state = 0;
    ASSERT_EQ(ws_ok_to_load(h, &state), 0);
    EXPECT_EQ(state, 1);
    ws_free_handle(h);
    commit(web_, first);
    int64_t loaded = 0;
    ASSERT_EQ(view_ws_count(web_, &loaded), 0);
    EXPECT_EQ(loaded, 6);

    // Nothing changed: the whole walk finds every element as the client holds it (the
    // journal walk, which the next sessions take, does not report them at all).
    Client second;
    ASSERT_EQ(fetch(web_, &second, {}, WS_PREF_FULL_WALK), 0);
    EXPECT_TRUE(second.visited.empty());
    EXPECT_TRUE(second.unvisited.empty());
    EXPECT_EQ(second.unchanged.size(), 6u);
    commit(web_, second);

    // A checkin made elsewhere shows as one visited element with its new version.
    change("/vobs/p/src/a.c", "a2");
    Client third;
    ASSERT_EQ(fetch(web_, &third), 0);
    ASSERT_EQ(third.visited_paths(), (std::vector<std::string>{"vobs/p/src/a.c"}));
    std::string prev, cur;
    ASSERT_EQ(ws_get_idstr(third.visited[0].prev_replica, third.visited[0].prev_oid, &prev), 0);
    ASSERT_EQ(ws_get_idstr(third.visited[0].cur_replica, third.visited[0].cur_oid, &cur), 0);
    EXPECT_EQ(prev, "/main/1");
    EXPECT_EQ(cur, "/main/2");
    // Its cleartext comes by transfer.
    std::string dest = tmp_ / "x";
    ASSERT_EQ(ws_xfer_recvfile(true, third.visited[0].cur_replica, third.visited[0].cur_oid,
                               dest.c_str(), nullptr),
              0);
    EXPECT_EQ(read_file(dest), "a2");
}

TEST_F(WsFixture, RemovedNamesAreUnvisitedAndMovesAreRenames) {
    Client first;
    ASSERT_EQ(fetch(web_, &first), 0);
    commit(web_, first);

    cmd_rmname_args_t rm;
    rm.pnames = {"/vobs/p/src/b.c"};
    ASSERT_EQ(cmd_rmname(&rm), 0);
    cmd_mv_args_t mv;
    mv.from = "/vobs/p/doc/readme";
    mv.to = "/vobs/p/src/README";
    ASSERT_EQ(cmd_mv(&mv), 0);

    Client c;
    ASSERT_EQ(fetch(web_, &c), 0);
    EXPECT_EQ(c.unvisited, (std::vector<std::string>{"vobs/p/src/b.c"}));
    EXPECT_EQ(c.renamed, (std::vector<std::string>{"vobs/p/doc/readme -> vobs/p/src/README"}));
    // The directories changed, and the moved element arrives at its new name with what
    // the client already holds of it.
    std::vector<std::string> paths = c.visited_paths();
    EXPECT_NE(std::find(paths.begin(), paths.end(), "vobs/p/src"), paths.end());
    for (const ws_elem_info_t& i : c.unchanged) {
        if (i.leaf == "README") {
            EXPECT_FALSE(tbs_uuid_is_null(i.prev_oid));
        }
    }
    commit(web_, c);
    Client after;
    ASSERT_EQ(fetch(web_, &after), 0);
    EXPECT_TRUE(after.visited.empty()) << after.visited_paths().front();
    EXPECT_TRUE(after.unvisited.empty()) << after.unvisited.front();
    EXPECT_TRUE(after.renamed.empty());
}

TEST_F(WsFixture, SubsetOfScopesVisitsOnlyThatSubset) {
    Client c;
    ASSERT_EQ(fetch(web_, &c, {"/vobs/p/doc"}), 0);
    EXPECT_EQ(c.visited_paths(),
              (std::vector<std::string>{"vobs/p", "vobs/p/doc", "vobs/p/doc/readme"}));
    commit(web_, c);
    // A full session then loads the rest, and unvisits nothing.
    Client all;
    ASSERT_EQ(fetch(web_, &all), 0);
    EXPECT_EQ(all.visited_paths(),
              (std::vector<std::string>{"vobs/p/src", "vobs/p/src/a.c", "vobs/p/src/b.c"}));
    EXPECT_TRUE(all.unvisited.empty());
}

TEST_F(WsFixture, SessionInProgressRefusesASecondUntilAbandoned) {
    Client begun;
    ASSERT_EQ(fetch(web_, &begun), 0);  // never committed: the client went away
    ws_handle_t* h = nullptr;
    ASSERT_EQ(ws_get_handle(web_->root.c_str(), 0, &h), 0);
    int64_t start = 0;
    char who[64], pid[32];
    ASSERT_EQ(ws_get_load_info(h, 0, &start, 0, who, sizeof who, pid, sizeof pid), 0);
    EXPECT_GT(start, 0);
    EXPECT_EQ(std::string(pid), std::to_string(getpid()));
    ws_free_handle(h);

    Client second;
    EXPECT_EQ(fetch(web_, &second), TBS_ST_VIEW_CONFLICT);
    EXPECT_TRUE(second.visited.empty());
    // A commit naming another session conflicts too.
    bool conflict = false;
    ASSERT_EQ(view_ws_begin_load_session(web_, 4, "999999", "", 0, &conflict, 0), 0);
    EXPECT_TRUE(conflict);
    // Abandoning on request: the new session runs, and the record is still empty because
    // the first fetch changed nothing.
    Client third;
    ASSERT_EQ(fetch(web_, &third, {}, WS_PREF_ABORT_INPROGRESS), 0);
    EXPECT_EQ(third.visited.size(), 6u);
    int64_t loaded = -1;
    ASSERT_EQ(view_ws_count(web_, &loaded), 0);
    EXPECT_EQ(loaded, 0);
}

TEST_F(WsFixture, StoppedSessionEndsAtOnce) {
    Client c;
    c.stop_after = 2;
    EXPECT_EQ(fetch(web_, &c), TBS_ST_INTERRUPTED);
    EXPECT_EQ(c.visited.size(), 2u);
    EXPECT_FALSE(c.end_unvisited);
}

TEST_F(WsFixture, CheckoutsSeenThroughTheirView) {
    Client first;
    ASSERT_EQ(fetch(web_, &first), 0);
    commit(web_, first);
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/p/src/a.c"};
    co.view = &web_->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0);
    Client c;
    ASSERT_EQ(fetch(web_, &c), 0);
    ASSERT_EQ(c.visited_paths(), (std::vector<std::string>{"vobs/p/src/a.c"}));
    EXPECT_EQ(c.visited[0].flags & (WS_FLAG_CHECKED_OUT | WS_FLAG_CO_CHANGED),
              unsigned(WS_FLAG_CHECKED_OUT | WS_FLAG_CO_CHANGED));
    EXPECT_EQ(c.visited[0].rule, 0);  // CHECKEDOUT
    // Another web view does not see it.
    view_t* other = make_view("other", "webview");
    Client o;
    ASSERT_EQ(fetch(other, &o), 0);
    for (const ws_elem_info_t& i : o.visited) EXPECT_EQ(i.flags & WS_FLAG_CHECKED_OUT, 0u);
}

TEST_F(WsFixture, SnapshotViewIsUpdatedInPlace) {
    view_t* snap = make_view("snap", "snapshot");
    Client c;
    ASSERT_EQ(fetch(snap, &c), 0);
    EXPECT_EQ(read_file(snap->root + "/vobs/p/src/a.c"), "a1");
    EXPECT_EQ(read_file(snap->root + "/vobs/p/doc/readme"), "r1");
    change("/vobs/p/src/a.c", "a2");
    cmd_rmname_args_t rm;
    rm.pnames = {"/vobs/p/src/b.c"};
    ASSERT_EQ(cmd_rmname(&rm), 0);
    Client again;
    ASSERT_EQ(fetch(snap, &again), 0);
    EXPECT_EQ(again.visited_paths(), (std::vector<std::string>{"vobs/p/src", "vobs/p/src/a.c"}));
    EXPECT_EQ(read_file(snap->root + "/vobs/p/src/a.c"), "a2");
    EXPECT_FALSE(std::filesystem::exists(snap->root + "/vobs/p/src/b.c"));
    Client quiet_run;
    ASSERT_EQ(fetch(snap, &quiet_run), 0);
    EXPECT_TRUE(quiet_run.visited.empty());
    EXPECT_TRUE(quiet_run.unvisited.empty());
}

namespace {

struct Seen {
    std::vector<std::string> names;
};

tbs_status_t on_name(void* ctx, ws_handle_t*, int op, const char* dir, const char* leaf) {
    static_cast<Seen*>(ctx)->names.push_back(std::to_string(op) + ":" + dir + "/" + leaf);
    return TBS_ST_OK;
}

}  // namespace

TEST_F(WsFixture, NamespaceChangesThroughAWebViewReachTheUpdateHandlers) {
    Seen seen;
    ws_update_handlers_t h;
    h.ctx = &seen;
    h.update_name = on_name;
    ws_update_handlers_t previous;
    ws_vob_op_set_update_handlers(&h, &previous);
    auto in_view = [&](auto& args) { args.view = &web_->ctx; };
    cmd_mv_args_t mv;
    mv.from = "/vobs/p/src/a.c";
    mv.to = "/vobs/p/src/c.c";
    in_view(mv);
    ASSERT_EQ(cmd_mv(&mv), 0);
    cmd_rmname_args_t rm;
    rm.pnames = {"/vobs/p/src/b.c"};
    in_view(rm);
    ASSERT_EQ(cmd_rmname(&rm), 0);
    cmd_ln_args_t ln;
    ln.target = "c.c";
    ln.link = "/vobs/p/src/l";
    ln.symbolic = true;
    in_view(ln);
    ASSERT_EQ(cmd_ln(&ln), 0);
    cmd_mkelem_args_t mk;
    mk.pnames = {"/vobs/p/src/n.c"};
    mk.checkin = true;
    in_view(mk);
    ASSERT_EQ(cmd_utl_mkelem(&mk), 0);
    // The same change in the null view reaches nobody.
    cmd_rmname_args_t quiet_rm;
    quiet_rm.pnames = {"/vobs/p/src/n.c"};
    ASSERT_EQ(cmd_rmname(&quiet_rm), 0);
    ws_vob_op_set_update_handlers(&previous, nullptr);
    EXPECT_EQ(seen.names,
              (std::vector<std::string>{"1:vobs/p/src/a.c", "1:vobs/p/src/c.c", "2:vobs/p/src/b.c",
                                        "3:vobs/p/src/l", "4:vobs/p/src/n.c"}));
}

TEST_F(WsFixture, HijackedSnapshotFilesAreKeptSavedOrOverwritten) {
    view_t* snap = make_view("snap", "snapshot");
    Client c;
    ASSERT_EQ(fetch(snap, &c), 0);
    const std::string file = snap->root + "/vobs/p/src/a.c";
    std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    write_file(file, "edited by hand");
    change("/vobs/p/src/a.c", "a2");
    struct Case {
        unsigned prefs;
        std::string content;
        bool saved;
    } cases[] = {{0, "edited by hand", false}, {0x20, "a2", true}};
    for (const Case& k : cases) {
        Client u;
        ASSERT_EQ(fetch(snap, &u, {}, k.prefs), 0);
        bool flagged = false;
        for (const ws_elem_info_t& i : u.visited)
            if (i.leaf == "a.c") flagged = (i.flags & WS_FLAG_HIJACKED) != 0;
        EXPECT_TRUE(flagged) << k.prefs;
        EXPECT_EQ(read_file(file), k.content) << k.prefs;
        EXPECT_EQ(std::filesystem::exists(file + ".hijacked"), k.saved) << k.prefs;
    }
    EXPECT_EQ(read_file(file + ".hijacked"), "edited by hand");
}

TEST_F(WsFixture, LookupsThroughAView) {
    cmd_ln_args_t ln;
    ln.target = "src/a.c";
    ln.link = "/vobs/p/link";
    ln.symbolic = true;
    ASSERT_EQ(cmd_ln(&ln), 0);
    vob_resolved_t r;
    for (std::string path : {std::string("vobs/p/src/a.c"), web_->root + "/vobs/p/src/a.c",
                             std::string("/vobs/p/link")}) {
        ASSERT_EQ(cmd_resolve_ws_obj(web_, path.c_str(), 0, &r), 0) << path;
        EXPECT_EQ(r.vob_path, "/src/a.c") << path;  // a link is followed
    }
    EXPECT_EQ(cmd_resolve_ws_obj(web_, (web_->root + "/../x/vobs/p/src/a.c").c_str(), 0, &r),
              TBS_ST_NAME_NOT_FOUND);
    std::string text;
    ASSERT_EQ(cmd_utl_lookup_slink("/vobs/p/link", &web_->ctx, &text), 0);
    EXPECT_EQ(text, "src/a.c");
    ws_handle_t* h = nullptr;
    ASSERT_EQ(ws_get_handle(web_->root.c_str(), 0, &h), 0);
    ws_lookup_t l;
    ASSERT_EQ(ws_lookup_ext(h, "vobs/p/src/b.c", 1, 0, true, &l), 0);
    EXPECT_EQ(l.rule, 1);
    char rule[256];
    ASSERT_EQ(view_spec_rule_format(web_, l.rule, rule, sizeof rule), 0);
    EXPECT_STREQ(rule, "element * /main/LATEST");
    std::string real;
    ASSERT_EQ(ws_lookup_realpath(h, "vobs/p/link", &real), 0);
    EXPECT_EQ(real, "/vobs/p/src/a.c");
    ws_free_handle(h);
    ASSERT_EQ(cmd_resolve_obj_long("lbtype:NONE@/vobs/p", nullptr, 0, &r), TBS_ST_NAME_NOT_FOUND);
    ASSERT_EQ(cmd_resolve_obj_long("brtype:main@/vobs/p", nullptr, 0, &r), 0);
    EXPECT_EQ(r.mtype, VOB_MTYPE_BRTYPE);
}

TEST_F(WsFixture, CheckoutThroughAViewAppliesTheSelectingRule) {
    cmd_mktype_args_t t;
    t.mtype = VOB_MTYPE_BRTYPE;
    t.name = "dev";
    t.vob = "/vobs/p";
    ASSERT_EQ(cmd_mktype(&t), 0);
    cmd_mkview_args_t a;
    a.tag = "devview";
    a.storage = site_.path() + "/devview.vws";
    a.cspec =
        "element * CHECKEDOUT\n"
        "element * .../dev/LATEST\n"
        "element /vobs/p/doc/... /main/LATEST -nocheckout\n"
        "element * /main/LATEST -mkbranch dev\n"
        "load /vobs/p\n";
    ASSERT_EQ(cmd_mkview(&a), 0);
    view_t* v = nullptr;
    ASSERT_EQ(view_open_by_tag("devview", &v), 0);
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/p/src/a.c"};
    co.view = &v->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0);
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/src/a.c", &v->ctx, 0, &r), 0);
    std::string id;
    ASSERT_EQ(vob_ver_get_idstr(r.vob, r.version, &id), 0);
    EXPECT_EQ(id, "/main/dev/CHECKEDOUT");
    // The web view without the rule still sees main.
    ASSERT_EQ(vob_resolve_pname("/vobs/p/src/a.c", &web_->ctx, 0, &r), 0);
    ASSERT_EQ(vob_ver_get_idstr(r.vob, r.version, &id), 0);
    EXPECT_EQ(id, "/main/1");
    co.pnames = {"/vobs/p/doc/readme"};
    EXPECT_EQ(cmd_checkout(&co), TBS_ST_NOT_SUPPORTED);
}

TEST_F(WsFixture, SnapshotFilesWithoutVersionTimesAreNotTakenForHijacked) {
    view_t* snap = make_view("snap", "snapshot");
    ws_handle_t* h = nullptr;
    ASSERT_EQ(ws_get_handle(snap->root.c_str(), 0, &h), 0);
    ASSERT_EQ(ws_set_ptime_prop(h, false), 0);
    ws_free_handle(h);
    // New versions carry a time long past, so a copy written now differs from it.
    cmd_setevent_args_t ev;
    ev.time = 1000000000;
    ASSERT_EQ(cmd_setevent(&ev), 0);
    change("/vobs/p/src/a.c", "a2");
    Client c;
    ASSERT_EQ(fetch(snap, &c), 0);
    const std::string file = snap->root + "/vobs/p/src/a.c";
    struct stat sb;
    ASSERT_EQ(stat(file.c_str(), &sb), 0);
    EXPECT_NE(sb.st_mtime, 1000000000);  // written now, not at the version's time
    change("/vobs/p/src/a.c", "a3");
    cmd_setevent_args_t reset;
    reset.reset = 1;
    ASSERT_EQ(cmd_setevent(&reset), 0);
    Client u;
    ASSERT_EQ(fetch(snap, &u), 0);
    for (const ws_elem_info_t& i : u.visited) EXPECT_EQ(i.flags & WS_FLAG_HIJACKED, 0u) << i.leaf;
    EXPECT_EQ(read_file(file), "a3");
}

TEST_F(WsFixture, SnapshotCopiesAreEditedCheckedInAndRestored) {
    view_t* snap = make_view("snap", "snapshot");
    Client first;
    ASSERT_EQ(fetch(snap, &first), 0);
    const std::string file = snap->root + "/vobs/p/src/a.c";
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/p/src/a.c"};
    co.view = &snap->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0);
    ASSERT_EQ(access(file.c_str(), W_OK), 0);  // writable for the checkout
    write_file(file, "edited in the view");
    // An update while checked out leaves the edits alone.
    Client during;
    ASSERT_EQ(fetch(snap, &during), 0);
    EXPECT_EQ(read_file(file), "edited in the view");
    // Checkin takes the view's copy when no contents file is named.
    cmd_checkin_args_t ci;
    ci.pnames = {"/vobs/p/src/a.c"};
    ci.view = &snap->ctx;
    ASSERT_EQ(cmd_checkin(&ci), 0);
    EXPECT_EQ(cleartext("/vobs/p/src/a.c", tmp_ / "out"), "edited in the view");
    Client after;
    ASSERT_EQ(fetch(snap, &after), 0);
    for (const ws_elem_info_t& i : after.visited)
        EXPECT_EQ(i.flags & WS_FLAG_HIJACKED, 0u) << i.leaf;
    EXPECT_EQ(read_file(file), "edited in the view");

    // Cancelling a checkout puts the version back, keeping the edits beside when asked.
    ASSERT_EQ(cmd_checkout(&co), 0);
    write_file(file, "second edit");
    cmd_uncheckout_args_t un;
    un.pnames = {"/vobs/p/src/a.c"};
    un.view = &snap->ctx;
    un.keep = true;
    ASSERT_EQ(cmd_uncheckout_with_pop(&un), 0);
    EXPECT_EQ(read_file(file), "edited in the view");
    EXPECT_EQ(read_file(file + ".keep"), "second edit");
}
