// The journal walk against the whole walk: after each change in a table, a session that
// looks only at what the change journals name reports exactly what the whole walk reports
// for every element that differs, in the same order, in web views selecting by latest
// version, by label and by branch, and in a snapshot view updated in place; and the sync
// point a session records is the one its fetch read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/ws/ws.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

std::string oid_text(const tbs_uuid_t& replica, const tbs_oid_t& oid) {
    return tbs_uuid_is_null(oid) ? "-" : tbs_uuid_text(replica) + ":" + tbs_uuid_text(oid);
}

std::string fh_text(const view_fhandle& fh) {
    // The view's own UUID left out, so that two views' reports compare.
    return std::to_string(fh.vob_dbid) + "," + std::to_string(fh.elem_dbid) + "," +
           std::to_string(fh.ver_dbid) + "," + std::to_string(fh.gen) + "," +
           std::to_string(fh.flags);
}

std::string path_of(const std::string& dir, const std::string& leaf) {
    return dir.empty() ? leaf : dir + "/" + leaf;
}

// Every field of a report.
std::string record_text(const ws_elem_info_t& i) {
    return path_of(i.dir, i.leaf) + " fh=" + fh_text(i.fh) + " tfh=" + fh_text(i.target_fh) +
           " tleaf=" + i.target_leaf + " status=" + std::to_string(i.status) +
           " ftype=" + std::to_string(i.ftype) + " prev=" + oid_text(i.prev_replica, i.prev_oid) +
           " cur=" + oid_text(i.cur_replica, i.cur_oid) + " mode=" + std::to_string(i.fstat.mode) +
           " size=" + std::to_string(i.fstat.size) + " mtime=" + std::to_string(i.fstat.mtime) +
           " cltxt=" + i.cltxt_name + " hijack=" + i.hijack_saved +
           " flags=" + std::to_string(i.flags) + " rule=" + std::to_string(i.rule);
}

// What a client sees of one session: the reports of everything that differs from what it
// holds, in order, and what a commit of it needs.
struct Client {
    uint64_t session = 0;
    std::vector<std::string> trace;        // changed reports, renames, unvisited, the end
    std::vector<std::string> all_reports;  // paths of every one-element report
    std::vector<ws_elem_info_t> loads;
    std::vector<std::string> unloads;

    static bool unchanged(const ws_elem_info_t& i) {
        return memcmp(i.prev_oid.bytes, i.cur_oid.bytes, 16) == 0 && !tbs_uuid_is_null(i.cur_oid);
    }
    static tbs_status_t begin(void* c, uint64_t id, int*) {
        static_cast<Client*>(c)->session = id;
        return TBS_ST_OK;
    }
    static tbs_status_t one(void* c, const ws_elem_info_t* i, int*) {
        Client* me = static_cast<Client*>(c);
        me->all_reports.push_back(path_of(i->dir, i->leaf));
        if (unchanged(*i)) return TBS_ST_OK;
        me->trace.push_back("one " + record_text(*i));
        me->loads.push_back(*i);
        return TBS_ST_OK;
    }
    static tbs_status_t unvis(void* c, const ws_elem_info_t* i, int state, int*) {
        Client* me = static_cast<Client*>(c);
        me->trace.push_back("unvisited " + std::to_string(state) + " " + record_text(*i));
        me->unloads.push_back(path_of(i->dir, i->leaf));
        return TBS_ST_OK;
    }
    static tbs_status_t end(void* c, int*) {
        static_cast<Client*>(c)->trace.push_back("end");
        return TBS_ST_OK;
    }
    static tbs_status_t ren(void* c, const char* sd, const char* sn, const char* dd, const char* dn,
                            int, int*) {
        static_cast<Client*>(c)->trace.push_back("renamed " + path_of(sd, sn) + " -> " +
                                                 path_of(dd, dn));
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
};

std::string join_lines(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& l : v) s += l + "\n";
    return s;
}

// A view's copy on the server: every path with what it holds.
std::map<std::string, std::string> tree_of(const std::string& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        const std::string rel = it->path().string().substr(root.size());
        if (it->is_symlink())
            out[rel] = "-> " + std::filesystem::read_symlink(it->path()).string();
        else if (it->is_directory())
            out[rel] = "dir";
        else
            out[rel] = read_file(it->path().string());
    }
    return out;
}

}  // namespace

class WsJournal : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(drop_message, nullptr);
        ASSERT_EQ(create_vob("/vobs/p", site_.path() + "/p.vbs"), 0);
        ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob_), 0);
        for (const char* d : {"/vobs/p/src", "/vobs/p/src/sub", "/vobs/p/doc"})
            ASSERT_EQ(mkelem_ci(d, true), 0) << d;
        for (const char* f :
             {"/vobs/p/src/a.c", "/vobs/p/src/b.c", "/vobs/p/src/sub/c.c", "/vobs/p/doc/readme"})
            ASSERT_EQ(mkelem_ci(f, false, write_file(tmp_ / "f", std::string(f) + " 1")), 0) << f;
        for (auto [mtype, name] :
             {std::pair{VOB_MTYPE_LBTYPE, "REL1"}, std::pair{VOB_MTYPE_BRTYPE, "dev"}}) {
            cmd_mktype_args_t t;
            t.mtype = mtype;
            t.name = name;
            t.vob = "/vobs/p";
            ASSERT_EQ(cmd_mktype(&t), 0);
        }
        cmd_mklabel_args_t l;
        l.label = "REL1";
        l.pnames = {"/vobs/p"};
        l.recurse = true;
        ASSERT_EQ(cmd_mklabel(&l), 0);
        web_ = make_view("web", "webview", "element * CHECKEDOUT\nelement * /main/LATEST\n");
        lbl_ = make_view("lbl", "webview", "element * CHECKEDOUT\nelement * REL1\n");
        dev_ = make_view("dev", "webview",
                         "element * CHECKEDOUT\nelement * .../dev/LATEST\n"
                         "element * /main/LATEST -mkbranch dev\n");
        snap_ = make_view("snap", "snapshot", "element * CHECKEDOUT\nelement * /main/LATEST\n");
        snap_full_ =
            make_view("snapfull", "snapshot", "element * CHECKEDOUT\nelement * /main/LATEST\n");
        other_.view_uuid = tbs_uuid_create();
        // Every view brought up to date once.
        for (view_t* v : {web_, lbl_, dev_, snap_, snap_full_}) {
            Client c;
            ASSERT_EQ(fetch(v, &c, WS_PREF_FULL_WALK), 0) << v->tag;
            if (v->kind == VIEW_KIND_WEB) commit(v, c);
        }
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        view_cache_clear();
        vob_ob_all_cache_action(4);
    }

    view_t* make_view(const std::string& tag, const std::string& kind, const std::string& rules) {
        cmd_mkview_args_t a;
        a.tag = tag;
        a.storage = site_.path() + "/" + tag + ".vws";
        a.kind = kind;
        a.cspec = rules + "load /vobs/p\n";
        EXPECT_EQ(cmd_mkview(&a), 0);
        view_t* v = nullptr;
        EXPECT_EQ(view_open_by_tag(tag.c_str(), &v), 0);
        return v;
    }
    tbs_status_t fetch(view_t* v, Client* c, unsigned prefs = 0, ws_load_stats_t* stats = nullptr) {
        ws_handle_t* h = nullptr;
        tbs_status_t st = ws_get_handle(v->root.c_str(), 0, &h);
        if (st != TBS_ST_OK) return st;
        ws_load_observer_t o = c->observer();
        ws_set_load_observer(h, &o);
        ws_set_load_preferences(h, prefs, 1);
        st = ws_load_scopes(h, nullptr, 0);
        if (stats) ws_get_load_stats(h, stats);
        ws_free_handle(h);
        return st;
    }
    void commit(view_t* v, const Client& c) {
        bool conflict = true;
        ASSERT_EQ(view_ws_begin_load_session(v, 4, std::to_string(c.session).c_str(), "", 0,
                                             &conflict, 0),
                  0);
        ASSERT_FALSE(conflict);
        for (const std::string& u : c.unloads)
            view_ws_unload_one_object_ext(v, 0, 0, u.c_str());  // a parent may have taken it
        for (const ws_elem_info_t& i : c.loads) {
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
        }
        ASSERT_EQ(view_ws_end_load_session(v, true), 0);
    }

    // The journal walk of a web view against the whole walk of the same state; the whole
    // walk's session is then committed, which brings the view's sync point forward.
    void compare_web(view_t* v, const std::string& what, bool incremental) {
        Client inc, full;
        ws_load_stats_t stats;
        ASSERT_EQ(fetch(v, &inc, 0, &stats), 0) << what << " in " << v->tag;
        EXPECT_EQ(stats.incremental, incremental)
            << what << " in " << v->tag << ": " << stats.full_walk_reason;
        ASSERT_EQ(fetch(v, &full, WS_PREF_FULL_WALK | WS_PREF_ABORT_INPROGRESS), 0);
        EXPECT_EQ(join_lines(inc.trace), join_lines(full.trace)) << what << " in " << v->tag;
        // Whatever is checked out to the view is reported, changed or not.
        for (const std::string& p : full.all_reports) {
            if (!checked_out_here(v, p)) continue;
            EXPECT_TRUE(std::find(inc.all_reports.begin(), inc.all_reports.end(), p) !=
                        inc.all_reports.end())
                << what << " in " << v->tag << ": " << p;
        }
        commit(v, full);
    }
    // A snapshot view updated by the journal walk against one updated by the whole walk:
    // the same reports and the same files.
    void compare_snapshots(const std::string& what, bool incremental) {
        Client inc, full;
        ws_load_stats_t stats;
        ASSERT_EQ(fetch(snap_, &inc, 0, &stats), 0) << what;
        EXPECT_EQ(stats.incremental, incremental) << what << ": " << stats.full_walk_reason;
        ASSERT_EQ(fetch(snap_full_, &full, WS_PREF_FULL_WALK), 0) << what;
        EXPECT_EQ(join_lines(inc.trace), join_lines(full.trace)) << what << " in snapshots";
        EXPECT_EQ(tree_of(snap_->root), tree_of(snap_full_->root)) << what;
    }
    bool checked_out_here(view_t* v, const std::string& path) {
        vob_resolved_t r;
        if (vob_resolve_pname(("/" + path).c_str(), &v->ctx, VOB_RESOLVE_NOFOLLOW, &r) != 0 ||
            !r.version)
            return false;
        vob_version_info_t info;
        return vob_ver_get_info(r.vob, r.version, &info) == 0 && info.checked_out;
    }

    tbs_status_t checkin(const std::string& p, const std::string& data,
                         const vob_view_ctx_t* view = nullptr) {
        cmd_checkout_args_t co;
        co.pnames = {p};
        co.view = view;
        if (tbs_status_t st = cmd_checkout(&co)) return st;
        cmd_checkin_args_t ci;
        ci.pnames = {p};
        ci.from = {write_file(tmp_ / "ci", data)};
        ci.view = view;
        return cmd_checkin(&ci);
    }
    static tbs_status_t mv(const std::string& from, const std::string& to,
                           const vob_view_ctx_t* view = nullptr) {
        cmd_mv_args_t a;
        a.from = from;
        a.to = to;
        a.view = view;
        return cmd_mv(&a);
    }
    static tbs_status_t ln(const std::string& target, const std::string& link, bool symbolic) {
        cmd_ln_args_t a;
        a.target = target;
        a.link = link;
        a.symbolic = symbolic;
        return cmd_ln(&a);
    }
    static tbs_status_t rmname(const std::string& p) {
        cmd_rmname_args_t a;
        a.pnames = {p};
        a.force = true;
        return cmd_rmname(&a);
    }
    static tbs_status_t checkout(const std::string& p, const vob_view_ctx_t* view,
                                 bool reserved = true) {
        cmd_checkout_args_t a;
        a.pnames = {p};
        a.view = view;
        a.reserved = reserved;
        a.unreserved = !reserved;
        return cmd_checkout(&a);
    }
    static tbs_status_t uncheckout(const std::string& p, const vob_view_ctx_t* view) {
        cmd_uncheckout_args_t a;
        a.pnames = {p};
        a.view = view;
        return cmd_uncheckout(&a);
    }
    tbs_status_t set_rules(view_t* v, const std::string& text) {
        return view_set_cspec(v, VIEW_SETCS_REPLACE, text, nullptr);
    }

    TempHome site_;
    TempDir tmp_;
    vob_t* vob_ = nullptr;
    view_t *web_ = nullptr, *lbl_ = nullptr, *dev_ = nullptr;
    view_t *snap_ = nullptr, *snap_full_ = nullptr;
    vob_view_ctx_t other_;
    imsg_redirect_table_t saved_{};
};

TEST_F(WsJournal, ReportsWhatTheWholeWalkReports) {
    struct Case {
        const char* what;
        std::function<tbs_status_t()> change;
        std::vector<view_t*> whole = {};  // views that must walk everything after it
    };
    const Case cases[] = {
        {"checkin of a file", [&] { return checkin("/vobs/p/src/a.c", "a 2"); }},
        {"mkelem of a file", [&] { return mkelem_ci("/vobs/p/src/new.c"); }},
        {"mkelem of a directory and a file in it",
         [&] {
             tbs_status_t st = mkelem_ci("/vobs/p/src/nd", true);
             return st ? st : mkelem_ci("/vobs/p/src/nd/inner.c");
         }},
        {"mv within a directory", [&] { return mv("/vobs/p/src/b.c", "/vobs/p/src/b2.c"); }},
        {"mv across directories",
         [&] { return mv("/vobs/p/doc/readme", "/vobs/p/src/sub/readme"); }},
        {"mv of a directory", [&] { return mv("/vobs/p/src/nd", "/vobs/p/doc/nd"); }},
        {"rmname of a file", [&] { return rmname("/vobs/p/src/new.c"); }},
        {"rmname of a directory", [&] { return rmname("/vobs/p/doc/nd"); }},
        {"symbolic link", [&] { return ln("../src/a.c", "/vobs/p/doc/link", true); }},
        {"hard link", [&] { return ln("/vobs/p/src/a.c", "/vobs/p/doc/a-too.c", false); }},
        {"checkin of a file with two names", [&] { return checkin("/vobs/p/doc/a-too.c", "a 3"); }},
        {"label moved",
         [&] {
             cmd_mklabel_args_t l;
             l.label = "REL1";
             l.pnames = {"/vobs/p/src/a.c", "/vobs/p/src/sub"};
             l.replace = true;
             return cmd_mklabel(&l);
         }},
        {"label removed",
         [&] {
             cmd_mklabel_args_t l;
             l.label = "REL1";
             l.pnames = {"/vobs/p/src/sub/c.c"};
             return cmd_rmlabel(&l);
         }},
        {"checkout in this view", [&] { return checkout("/vobs/p/src/a.c", &web_->ctx); }},
        {"checkin in this view",
         [&] {
             cmd_checkin_args_t ci;
             ci.pnames = {"/vobs/p/src/a.c"};
             ci.from = {write_file(tmp_ / "ci", "a 4")};
             ci.view = &web_->ctx;
             return cmd_checkin(&ci);
         }},
        {"checkout in another view", [&] { return checkout("/vobs/p/src/b2.c", &other_, false); }},
        {"uncheckout in another view", [&] { return uncheckout("/vobs/p/src/b2.c", &other_); }},
        {"checkout and uncheckout in this view",
         [&] {
             // Its directory's labelled version has the element under its first name.
             tbs_status_t st = checkout("/vobs/p/src/b.c", &lbl_->ctx);
             return st ? st : uncheckout("/vobs/p/src/b.c", &lbl_->ctx);
         }},
        {"checkout kept in this view", [&] { return checkout("/vobs/p/src/sub/c.c", &dev_->ctx); }},
        {"branch made and checked in on it",
         [&] {
             cmd_mkbranch_args_t b;
             b.pnames = {"/vobs/p/src/b2.c"};
             b.branch_type = "dev";
             b.checkout = false;
             tbs_status_t st = cmd_mkbranch(&b);
             return st ? st : checkin("/vobs/p/src/b2.c@@/main/dev/LATEST", "b on dev");
         }},
        {"directory checked in with renamed entries",
         [&] {
             tbs_status_t st = checkout("/vobs/p/src", nullptr);
             if (!st) st = mv("/vobs/p/src/a.c", "/vobs/p/src/a2.c");
             if (!st) st = mv("/vobs/p/src/b2.c", "/vobs/p/src/b.c");
             if (st) return st;
             cmd_checkin_args_t ci;
             ci.pnames = {"/vobs/p/src"};
             return cmd_checkin(&ci);
         }},
        {"directory checked out in this view with renamed entries",
         [&] {
             tbs_status_t st = checkout("/vobs/p/doc", &web_->ctx);
             return st ? st : mv("/vobs/p/doc/link", "/vobs/p/doc/link2", &web_->ctx);
         }},
        {"config spec rule change",
         [&] {
             return set_rules(lbl_,
                              "element * CHECKEDOUT\nelement * REL1\n"
                              "element * /main/LATEST\nload /vobs/p\n");
         },
         {lbl_}},
        {"load rule change",
         [&] {
             return set_rules(web_,
                              "element * CHECKEDOUT\nelement * /main/LATEST\n"
                              "load /vobs/p/src\nload /vobs/p/doc\n");
         },
         {web_}},
        {"nested load rules",
         [&] {
             return set_rules(dev_,
                              "element * CHECKEDOUT\nelement * .../dev/LATEST\n"
                              "element * /main/LATEST\nload /vobs/p/src/sub\nload /vobs/p/src\n");
         },
         {dev_}},
        {"mkelem above the load rules", [&] { return mkelem_ci("/vobs/p/top.c"); }},
        {"mkelem inside a nested load rule", [&] { return mkelem_ci("/vobs/p/src/sub/d.c"); }},
        {"load rule's directory renamed",
         [&] { return mv("/vobs/p/doc", "/vobs/p/docs"); },
         {web_}},
        {"load rule's directory named again",
         [&] { return mv("/vobs/p/docs", "/vobs/p/doc"); },
         {web_}},
        {"trimmed journal",
         [&] {
             tbs_status_t st = checkin("/vobs/p/src/sub/d.c", "d 2");
             return st ? st : vob_change_trim(vob_, 0);
         },
         {web_, lbl_, dev_, snap_}},
        {"after the trim", [&] { return checkin("/vobs/p/src/sub/d.c", "d 3"); }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.change(), 0) << c.what;
        for (view_t* v : {web_, lbl_, dev_}) {
            const bool whole = std::find(c.whole.begin(), c.whole.end(), v) != c.whole.end();
            compare_web(v, c.what, !whole);
        }
        const bool whole = std::find(c.whole.begin(), c.whole.end(), snap_) != c.whole.end();
        compare_snapshots(c.what, !whole);
    }
}

// The sync point a commit brings the record to is what its fetch read: a change made
// between the fetch and its commit is still found by the next session.
TEST_F(WsJournal, CommitRecordsTheGenerationItsFetchRead) {
    int64_t read_gen = 0, low = 0;
    ASSERT_EQ(vob_change_state(vob_, &read_gen, &low), 0);
    Client fetched;
    ASSERT_EQ(fetch(web_, &fetched), 0);
    ASSERT_EQ(checkin("/vobs/p/src/a.c", "between"), 0);
    int64_t now = 0;
    ASSERT_EQ(vob_change_state(vob_, &now, &low), 0);
    ASSERT_GT(now, read_gen);
    commit(web_, fetched);
    bool present = false;
    view_sync_point_t base;
    ASSERT_EQ(view_ws_get_sync_base(web_, &present, &base), 0);
    ASSERT_TRUE(present);
    ASSERT_EQ(base.gens.size(), 1u);
    EXPECT_EQ(base.gens[0].gen, read_gen);
    Client next;
    ws_load_stats_t stats;
    ASSERT_EQ(fetch(web_, &next, 0, &stats), 0);
    EXPECT_TRUE(stats.incremental) << stats.full_walk_reason;
    ASSERT_EQ(next.loads.size(), 1u);
    EXPECT_EQ(next.loads[0].leaf, "a.c");
}

// Whatever leaves the record other than a completed commit of a fetch made it leaves the
// next session to walk everything.
TEST_F(WsJournal, WhatTheRecordMayNotReflectDropsTheSyncPoint) {
    struct Case {
        const char* what;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"a session abandoned",
         [&] {
             Client c;
             ASSERT_EQ(fetch(web_, &c), 0);
             ASSERT_EQ(view_ws_abandon_load_session(web_), 0);
         }},
        {"a session ended uncompleted, then committed",
         [&] {
             Client c;
             ASSERT_EQ(fetch(web_, &c), 0);
             ASSERT_EQ(view_ws_end_load_session(web_, false), 0);
             commit(web_, c);
         }},
        {"a session stopped by its observer",
         [&] {
             Client c;
             ws_handle_t* h = nullptr;
             ASSERT_EQ(ws_get_handle(web_->root.c_str(), 0, &h), 0);
             ws_load_observer_t o = c.observer();
             o.one_element = [](void*, const ws_elem_info_t*, int* notify) -> tbs_status_t {
                 *notify = 1;
                 return TBS_ST_OK;
             };
             ws_set_load_observer(h, &o);
             ws_set_load_preferences(h, WS_PREF_FULL_WALK, 1);
             EXPECT_EQ(ws_load_scopes(h, nullptr, 0), TBS_ST_INTERRUPTED);
             ws_free_handle(h);
             commit(web_, c);
         }},
        {"a commit naming no session",
         [&] {
             Client c;
             ASSERT_EQ(fetch(web_, &c), 0);
             bool conflict = true;
             ASSERT_EQ(view_ws_begin_load_session(web_, 4, "", "", 0, &conflict, 0), 0);
             ASSERT_FALSE(conflict);
             ASSERT_EQ(view_ws_end_load_session(web_, true), 0);
         }},
        {"a record changed outside a session",
         [&] { ASSERT_EQ(view_ws_unload_one_object_ext(web_, 0, 0, "vobs/p/src/a.c"), 0); }},
        {"a record invalidated",
         [&] { ASSERT_EQ(view_ws_invalidate_object(web_, "vobs/p/src/b.c", 0), 0); }},
    };
    for (const Case& c : cases) {
        c.act();
        Client after;
        ws_load_stats_t stats;
        ASSERT_EQ(fetch(web_, &after, WS_PREF_ABORT_INPROGRESS, &stats), 0) << c.what;
        EXPECT_FALSE(stats.incremental) << c.what;
        commit(web_, after);
        // Committed completed, the next session takes the journal walk again.
        Client again;
        ASSERT_EQ(fetch(web_, &again, 0, &stats), 0) << c.what;
        EXPECT_TRUE(stats.incremental) << c.what << ": " << stats.full_walk_reason;
        EXPECT_TRUE(again.trace == std::vector<std::string>{"end"}) << c.what;
        commit(web_, again);
    }
}

// A snapshot view's update that keeps a hijacked file has not brought it up to date: the
// next update reports it again. A preview changes nothing, the sync point included.
TEST_F(WsJournal, SnapshotUpdatesLeaveWhatTheyDidNotWriteForTheNext) {
    const std::string file = snap_->root + "/vobs/p/src/a.c";
    std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    write_file(file, "by hand");
    ASSERT_EQ(checkin("/vobs/p/src/a.c", "a 2"), 0);
    for (int round = 0; round < 2; ++round) {
        Client c;
        ASSERT_EQ(fetch(snap_, &c), 0);
        bool flagged = false;
        for (const ws_elem_info_t& i : c.loads)
            flagged |= i.leaf == "a.c" && (i.flags & WS_FLAG_HIJACKED);
        EXPECT_TRUE(flagged) << round;
        EXPECT_EQ(read_file(file), "by hand");
    }

    const std::string other = snap_->root + "/vobs/p/src/b.c";
    Client settle;
    ASSERT_EQ(fetch(snap_, &settle, 0x60), 0);  // the hijack overwritten: up to date again
    ASSERT_EQ(checkin("/vobs/p/src/b.c", "b 2"), 0);
    Client preview;
    ASSERT_EQ(fetch(snap_, &preview, WS_PREF_PREVIEW), 0);
    ASSERT_EQ(preview.loads.size(), 1u);
    EXPECT_EQ(read_file(other), "/vobs/p/src/b.c 1");
    Client update;
    ws_load_stats_t stats;
    ASSERT_EQ(fetch(snap_, &update, 0, &stats), 0);
    EXPECT_TRUE(stats.incremental) << stats.full_walk_reason;
    ASSERT_EQ(update.loads.size(), 1u);
    EXPECT_EQ(update.loads[0].leaf, "b.c");
    EXPECT_EQ(read_file(other), "b 2");
}
