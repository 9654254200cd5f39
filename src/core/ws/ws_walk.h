// What the load engine's two walks share: the running session, and the steps both take
// (report one element, walk a subtree, report a scope's ancestor, report a record the view
// no longer shows). ws_session.cc runs the whole walk and keeps these; ws_journal.cc runs
// the walk over what the VOBs' change journals name.
#ifndef CORE_WS_WS_WALK_H
#define CORE_WS_WS_WALK_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/view/view_store.h"
#include "core/ws/ws_internal.h"

namespace ws_walk {

// The running session: its handle, the observer, and what must be remembered across
// elements (bounded: renames and the scopes' ancestors only).
struct Session {
    Session(ws_handle_t* handle, view_t* v, const vob_view_ctx_t* c) : h(handle), view(v), ctx(c) {}
    ws_handle_t* h;
    view_t* view;
    const vob_view_ctx_t* ctx;
    bool update_in_place = false;  // a snapshot view written by the engine
    bool use_ptime = true;         // its files get their versions' times
    bool stopped = false;
    tbs_status_t failed = TBS_ST_OK;
    int64_t failures = 0;   // elements reported with a failure of their own
    int64_t unapplied = 0;  // snapshot views: changes found and not written (hijacks kept)
    std::set<std::string> renamed_from;  // record paths reported renamed
    std::set<std::string> reported;      // ancestors of scopes reported already
    int64_t visited = 0;
    int last_rule = -1;                          // the rule of the latest selection
    std::map<std::string, int64_t> vob_numbers;  // the view's number of each VOB seen
    std::set<const vob_t*> walked_vobs;          // the VOBs of the elements reported
    // The directory the unvisited pass looked at last: its entries by name.
    std::string cached_dir;
    bool cached_valid = false;
    bool cached_ok = false;
    std::string cached_vob;
    std::map<std::string, vob_dbid_t> cached_entries;

    // The version the view selects, and by which rule, in one evaluation.
    tbs_status_t select(vob_t* vob, vob_dbid_t element, const std::string& pname,
                        vob_dbid_t* version) {
        last_rule = -1;
        if (view->cspec && ctx->select == view_cspec_select_proc) {
            view_cspec_choice_t ch;
            tbs_status_t st =
                view_cspec_select(*view->cspec, vob, element, pname.c_str(), view->uuid, &ch);
            if (st == TBS_ST_OK) {
                *version = ch.version;
                last_rule = ch.rule;
            }
            return st;
        }
        return vob_select_version(vob, element, pname.c_str(), ctx, version);
    }
    tbs_status_t fhandle(vob_t* vob, vob_dbid_t element, vob_dbid_t version, view_fhandle* fh) {
        const std::string key = tbs_uuid_text(vob->uuid);
        auto it = vob_numbers.find(key);
        if (it == vob_numbers.end()) {
            tbs_status_t st = view_make_fhandle(view, vob, element, version, fh);
            if (st == TBS_ST_OK) vob_numbers[key] = static_cast<int64_t>(fh->vob_dbid);
            return st;
        }
        *fh = view_fhandle{};
        fh->view_uuid = view->uuid;
        fh->vob_dbid = static_cast<unsigned long>(it->second);
        fh->elem_dbid = static_cast<unsigned long>(element);
        fh->ver_dbid = static_cast<unsigned long>(version);
        return TBS_ST_OK;
    }

    bool notify(int n) {
        if (n == 1) stopped = true;
        return !stopped;
    }
};

// Reports one element at `pname` (a VOB pathname): its version, what the client holds
// there, and first a rename when the client holds it under a name that no longer has it.
tbs_status_t report(Session& s, vob_t* vob, const std::string& pname, vob_dbid_t target, int mtype,
                    vob_dbid_t version);
// Reports `pname` and everything below it as the view selects it (a name the view selects
// nothing for is reported unvisited when the client holds it).
tbs_status_t walk(Session& s, vob_t* vob, const std::string& pname, vob_dbid_t target, int mtype,
                  int depth);
// A directory on the way from the VOB's root (its tag, `path` then) to a scope, reported
// once per session.
tbs_status_t report_ancestor(Session& s, vob_t* vob, const std::string& path);
// What the client holds at a record, as the unvisited report gives it.
ws_elem_info_t held_info(const view_wso_t& w);
// A name the client holds that the view no longer shows. False once the observer asked to
// stop.
bool report_unvisited(Session& s, const std::string& pname, const ws_elem_info_t& info);
// A record the walk did not reach: reported unvisited unless it was reported renamed or its
// directory still names it (and, with `all_scopes`, it lies within the load rules). False
// once the observer asked to stop.
bool consider_unvisited(Session& s, const view_wso_t& w, bool all_scopes);

// The walk over what the change journals name (ws_journal.cc) -------------------------

// A VOB under the session's scopes, with the change generation and low-water mark its
// snapshot shows.
struct SyncVob {
    vob_t* vob = nullptr;
    int64_t gen = 0;
    int64_t low = 0;
};

// A journal walk made ready: the names to look at and the records to check, found before
// the session reports anything (so that any doubt still leaves the whole walk to run).
class JournalWalk;
struct JournalPlan {
    JournalPlan();
    ~JournalPlan();
    std::unique_ptr<JournalWalk> walk;
    int64_t elements = 0;  // what the journals (and the view's checkouts) named
};

// Whether a session over every load rule (`scopes` as walked, nested ones left out) may
// take the journal walk, and if so the walk made ready: TBS_ST_OK, or TBS_ST_NOT_FOUND with
// `why` saying which condition failed (other statuses are failures to read). `s` and
// `scopes` must outlive the plan.
tbs_status_t plan_journal_walk(Session& s, const std::vector<std::string>& scopes,
                               const std::vector<SyncVob>& vobs, JournalPlan* plan,
                               std::string* why);
// The journal walk: the same reports as the whole walk for every element whose record
// differs from what the view selects, then end-of-unvisited.
tbs_status_t journal_walk(JournalPlan& plan);

}  // namespace ws_walk

#endif
