// The web-view record (what a copy area holds), load sessions and build sessions.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <set>

#include "core/cred/credutl.h"
#include "core/rgy/rgy.h"
#include "core/store/db.h"
#include "core/view/view.h"
#include "core/view/view_store.h"

namespace {

// "vobs/p/src" + "a.c"; a path splits at its last "/".
void split(const std::string& path, std::string* dir, std::string* leaf) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        dir->clear();
        *leaf = path;
    } else {
        *dir = path.substr(0, slash);
        *leaf = path.substr(slash + 1);
    }
}

std::string strip_slashes(std::string s) {
    while (!s.empty() && s.front() == '/') s.erase(0, 1);
    while (!s.empty() && s.back() == '/') s.pop_back();
    return s;
}

// A record for the object an oid names, from the VOB behind a file handle.
tbs_status_t record_for(view_t* view, const view_fhandle& fh, const char* dir, const char* leaf,
                        const tbs_oid_t& next_oid, view_wso_t* w) {
    w->dir = strip_slashes(dir ? dir : "");
    w->leaf = leaf ? leaf : "";
    if (w->leaf.empty() || w->leaf.find('/') != std::string::npos) return TBS_ST_BAD_NAME;
    std::string vob_text;
    tbs_status_t st =
        view_store_vob_by_number(*view->db, static_cast<int64_t>(fh.vob_dbid), &vob_text);
    if (st != TBS_ST_OK) return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
    tbs_uuid_from_str(vob_text.c_str(), &w->vob_uuid);
    vob_t* vob = nullptr;
    if ((st = vob_open_by_uuid(w->vob_uuid, &vob)) != TBS_ST_OK) return st;
    vob_obj_info_t elem;
    if ((st = vob_obj_get_info(vob, static_cast<vob_dbid_t>(fh.elem_dbid), &elem)) != TBS_ST_OK)
        return st;
    w->elem_oid = elem.oid;
    w->ver_oid = next_oid;
    w->fh = fh;
    w->ftype = elem.mtype == VOB_MTYPE_SLINK ? 5 : elem.mtype == VOB_MTYPE_DIR_ELEMENT ? 2 : 1;
    if (elem.mtype == VOB_MTYPE_SLINK) vob_slink_get_text(vob, elem.dbid, &w->target);
    return TBS_ST_OK;
}

// A record changed while no session is in progress (not by a commit of what a fetch
// reported): the record's sync point no longer says what it holds. Inside the caller's
// writer transaction.
tbs_status_t note_record_change(view_t* view) {
    view_load_session_t cur;
    tbs_status_t st = view_store_get_session(*view->db, &cur);
    if (st != TBS_ST_OK || cur.in_progress) return st;
    return view_store_clear_sync(*view->db, VIEW_SYNC_BASE);
}

// Forgets both sync points: the next fetch walks everything.
tbs_status_t drop_sync_points(view_t* view) {
    tbs_status_t st = view_store_clear_sync(*view->db, VIEW_SYNC_BASE);
    return st == TBS_ST_OK ? view_store_clear_sync(*view->db, VIEW_SYNC_SESSION) : st;
}

}  // namespace

tbs_status_t view_make_fhandle(view_t* view, vob_t* vob, vob_dbid_t element, vob_dbid_t version,
                               view_fhandle* fh) {
    int64_t num = 0;
    const std::string vu = tbs_uuid_text(vob->uuid);
    tbs_status_t st = view_store_vob_number(*view->db, nullptr, vu, &num);
    if (st == TBS_ST_NOT_FOUND) {
        st = view->db->transact(store_txn_kind::write, [&](store_txn& txn) {
            return view_store_vob_number(*view->db, &txn, vu, &num);
        });
    }
    if (st != TBS_ST_OK) return st;
    *fh = view_fhandle{};
    fh->view_uuid = view->uuid;
    fh->vob_dbid = static_cast<unsigned long>(num);
    fh->elem_dbid = static_cast<unsigned long>(element);
    fh->ver_dbid = static_cast<unsigned long>(version);
    return TBS_ST_OK;
}

// Load sessions ---------------------------------------------------------------------------

tbs_status_t view_ws_begin_load_session(view_t* view, int kind, const char* session_id,
                                        const char* user, int pid, bool* conflict, int) {
    *conflict = false;
    if (kind == 3) return TBS_ST_OK;  // readers leave the record as it is
    if (tbs_status_t st = view_check_owner(view)) return st;
    return view->db->transact(store_txn_kind::write, [&](store_txn&) -> tbs_status_t {
        view_load_session_t cur;
        tbs_status_t st = view_store_get_session(*view->db, &cur);
        if (st != TBS_ST_OK) return st;
        const std::string id = session_id ? session_id : "";
        if (kind == 4) {
            // A commit ends the fetch session it names; one naming another is a conflict.
            if (cur.in_progress && cur.session_id != id && !id.empty()) *conflict = true;
            // One naming none cannot be told to apply what the fetch in progress read: it
            // brings the record to no sync point.
            if (id.empty()) return view_store_clear_sync(*view->db, VIEW_SYNC_SESSION);
            return TBS_ST_OK;
        }
        if (cur.in_progress) {
            *conflict = true;
            return TBS_ST_OK;
        }
        if ((st = view_store_clear_renames(*view->db)) != TBS_ST_OK) return st;
        if ((st = view_store_clear_sync(*view->db, VIEW_SYNC_SESSION)) != TBS_ST_OK) return st;
        view_load_session_t s;
        s.kind = kind;
        s.session_id = id;
        s.user = user ? user : "";
        s.pid = std::to_string(pid);
        s.started = static_cast<int64_t>(time(nullptr));
        return view_store_set_session(*view->db, s);
    });
}

tbs_status_t view_ws_end_load_session(view_t* view, bool completed) {
    if (tbs_status_t st = view_check_owner(view)) return st;
    store_db& db = *view->db;
    // Uncompleted, the view stays marked as not fully synchronized, and the next fetch
    // walks everything.
    if (!completed)
        return db.transact(store_txn_kind::write,
                           [&](store_txn&) { return drop_sync_points(view); });
    return db.transact(store_txn_kind::write, [&](store_txn&) -> tbs_status_t {
        tbs_status_t st = view_store_apply_renames(db);
        if (st != TBS_ST_OK) return st;
        view_load_session_t cur;
        if ((st = view_store_get_session(db, &cur)) != TBS_ST_OK) return st;
        if (cur.in_progress) {
            // The fetch's point: what its walk read before it began.
            bool present = false;
            view_sync_point_t point;
            if ((st = view_store_get_sync(db, VIEW_SYNC_SESSION, &present, &point)) != TBS_ST_OK)
                return st;
            if (!present)
                st = view_store_clear_sync(db, VIEW_SYNC_BASE);
            else if (point.mode == VIEW_SYNC_RECORD)
                st = view_store_put_sync(db, VIEW_SYNC_BASE, point);
            if (st == TBS_ST_OK) st = view_store_clear_sync(db, VIEW_SYNC_SESSION);
        }
        return st == TBS_ST_OK ? view_store_clear_session(db) : st;
    });
}

tbs_status_t view_ws_note_rename(view_t* view, const std::string& src_dir,
                                 const std::string& src_leaf, const std::string& dst_dir,
                                 const std::string& dst_leaf) {
    return view->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        return view_store_add_rename(*view->db, txn, src_dir, src_leaf, dst_dir, dst_leaf);
    });
}

tbs_status_t view_ws_get_load_session(view_t* view, view_load_session_t* out) {
    return view_store_get_session(*view->db, out);
}

tbs_status_t view_ws_abandon_load_session(view_t* view) {
    if (tbs_status_t st = view_check_owner(view)) return st;
    return view->db->transact(store_txn_kind::write, [&](store_txn&) {
        tbs_status_t st = view_store_clear_renames(*view->db);
        if (st == TBS_ST_OK) st = drop_sync_points(view);
        return st == TBS_ST_OK ? view_store_clear_session(*view->db) : st;
    });
}

tbs_status_t view_ws_drop_load_session(view_t* view) {
    if (tbs_status_t st = view_check_owner(view)) return st;
    return view->db->transact(store_txn_kind::write, [&](store_txn&) {
        tbs_status_t st = view_store_clear_renames(*view->db);
        if (st == TBS_ST_OK) st = view_store_clear_sync(*view->db, VIEW_SYNC_SESSION);
        return st == TBS_ST_OK ? view_store_clear_session(*view->db) : st;
    });
}

tbs_status_t view_ws_get_sync_base(view_t* view, bool* present, view_sync_point_t* out) {
    return view_store_get_sync(*view->db, VIEW_SYNC_BASE, present, out);
}

tbs_status_t view_ws_set_session_sync(view_t* view, const view_sync_point_t* point) {
    return view->db->transact(store_txn_kind::write, [&](store_txn&) {
        return point ? view_store_put_sync(*view->db, VIEW_SYNC_SESSION, *point)
                     : view_store_clear_sync(*view->db, VIEW_SYNC_SESSION);
    });
}

// Records ---------------------------------------------------------------------------------

tbs_status_t view_ws_load_one_object(view_t* view, const tbs_oid_t&, const view_fhandle& fh,
                                     const char* dir, const char* leaf, int, int, int,
                                     const tbs_oid_t& next_oid, int* state, int* flags) {
    view_wso_t w;
    tbs_status_t st = record_for(view, fh, dir, leaf, next_oid, &w);
    if (st != TBS_ST_OK) return st;
    if (w.ftype == 5) return TBS_ST_BAD_REQUEST;
    st = view->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        // A directory loaded as something else no longer holds what was below it.
        view_wso_t old;
        if (view_store_get_wso(*view->db, w.dir, w.leaf, &old) == TBS_ST_OK && old.ftype == 2 &&
            w.ftype != 2) {
            tbs_status_t s =
                view_store_delete_below(*view->db, w.dir.empty() ? w.leaf : w.dir + "/" + w.leaf);
            if (s != TBS_ST_OK) return s;
        }
        tbs_status_t s = note_record_change(view);
        return s == TBS_ST_OK ? view_store_put_wso(*view->db, txn, w) : s;
    });
    if (st != TBS_ST_OK) return st;
    if (state) *state = VIEW_WSO_STATE_LOADED;
    if (flags) {
        *flags = 0;
        vob_t* vob = nullptr;
        vob_checkout_info_t co;
        if (vob_open_by_uuid(w.vob_uuid, &vob) == TBS_ST_OK) {
            std::vector<vob_checkout_info_t> cos;
            vob_ob_next_ckouts(vob, static_cast<vob_dbid_t>(fh.elem_dbid), &cos);
            for (const vob_checkout_info_t& c : cos)
                if (memcmp(c.view_uuid.bytes, view->uuid.bytes, 16) == 0) *flags |= 0x20;
        }
    }
    return TBS_ST_OK;
}

tbs_status_t view_ws_load_one_slink(view_t* view, const tbs_oid_t&, const view_fhandle& fh,
                                    const char* dir, const char* leaf, const view_fhandle&,
                                    const char*, int, int, int, const tbs_oid_t& next_oid,
                                    int* state, int* flags) {
    view_wso_t w;
    tbs_status_t st = record_for(view, fh, dir, leaf, next_oid, &w);
    if (st != TBS_ST_OK) return st;
    if (w.ftype != 5) return TBS_ST_BAD_REQUEST;
    st = view->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        tbs_status_t s = note_record_change(view);
        return s == TBS_ST_OK ? view_store_put_wso(*view->db, txn, w) : s;
    });
    if (st != TBS_ST_OK) return st;
    if (state) *state = VIEW_WSO_STATE_LOADED;
    if (flags) *flags = 0;
    return TBS_ST_OK;
}

tbs_status_t view_ws_load_objects(view_t* view, const std::vector<view_ws_load_item_t>& items,
                                  std::vector<view_ws_load_result_t>* results) {
    results->assign(items.size(), view_ws_load_result_t{});
    // What each item records, worked out before the transaction: a bad item fails alone.
    std::vector<view_wso_t> records(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const view_ws_load_item_t& it = items[i];
        tbs_status_t st =
            record_for(view, it.fh, it.dir.c_str(), it.leaf.c_str(), it.next_oid, &records[i]);
        if (st == TBS_ST_OK && (records[i].ftype == 5) != it.slink) st = TBS_ST_BAD_REQUEST;
        (*results)[i].status = st;
    }
    tbs_status_t st =
        view->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            tbs_status_t s = note_record_change(view);
            for (size_t i = 0; i < items.size() && s == TBS_ST_OK; ++i) {
                if ((*results)[i].status != TBS_ST_OK) continue;
                const view_wso_t& w = records[i];
                // A directory loaded as something else no longer holds what was below it.
                view_wso_t old;
                if (w.ftype != 2 &&
                    view_store_get_wso(*view->db, w.dir, w.leaf, &old) == TBS_ST_OK &&
                    old.ftype == 2)
                    s = view_store_delete_below(*view->db,
                                                w.dir.empty() ? w.leaf : w.dir + "/" + w.leaf);
                if (s == TBS_ST_OK) s = view_store_put_wso(*view->db, txn, w);
            }
            return s;
        });
    if (st != TBS_ST_OK) return st;
    // Checked out in this view: one question per VOB, not one per element.
    std::map<std::string, std::set<vob_dbid_t>> checked_out;
    for (size_t i = 0; i < items.size(); ++i) {
        view_ws_load_result_t& r = (*results)[i];
        if (r.status != TBS_ST_OK) continue;
        r.state = VIEW_WSO_STATE_LOADED;
        if (items[i].slink) continue;
        const std::string key = tbs_uuid_text(records[i].vob_uuid);
        auto found = checked_out.find(key);
        if (found == checked_out.end()) {
            found = checked_out.emplace(key, std::set<vob_dbid_t>()).first;
            vob_t* vob = nullptr;
            std::vector<vob_checkout_info_t> cos;
            if (vob_open_by_uuid(records[i].vob_uuid, &vob) == TBS_ST_OK &&
                vob_ob_view_ckouts(vob, view->uuid, &cos) == TBS_ST_OK)
                for (const vob_checkout_info_t& c : cos) found->second.insert(c.element);
        }
        if (found->second.count(static_cast<vob_dbid_t>(items[i].fh.elem_dbid))) r.flags |= 0x20;
    }
    return TBS_ST_OK;
}

tbs_status_t view_ws_unload_one_object_ext(view_t* view, int, int, const char* path) {
    std::string p = strip_slashes(path ? path : ""), dir, leaf;
    if (p.empty()) return TBS_ST_BAD_REQUEST;
    split(p, &dir, &leaf);
    return view->db->transact(store_txn_kind::write, [&](store_txn&) -> tbs_status_t {
        tbs_status_t st = view_store_delete_wso(*view->db, dir, leaf);
        if (st == TBS_ST_OK) st = note_record_change(view);
        if (st != TBS_ST_OK) return st;
        return view_store_delete_below(*view->db, p);
    });
}

tbs_status_t view_ws_find(view_t* view, const char* dir, const char* leaf, view_wso_t* out) {
    return view_store_get_wso(*view->db, strip_slashes(dir ? dir : ""), leaf ? leaf : "", out);
}

tbs_status_t view_ws_count(view_t* view, int64_t* count) {
    return view_store_count_wso(*view->db, count);
}

tbs_status_t view_ws_get_unvisited_wsos(view_t* view, view_wso_cursor_t* cursor, int max,
                                        std::vector<view_wso_t>* out) {
    if (max <= 0) max = 4096;
    tbs_status_t st =
        view_store_list_after(*view->db, cursor->dir, cursor->leaf, !cursor->started, max, out);
    if (st == TBS_ST_OK && !out->empty()) {
        cursor->started = true;
        cursor->dir = out->back().dir;
        cursor->leaf = out->back().leaf;
    }
    return st;
}

void view_ws_free_unvisited_wsos(std::vector<view_wso_t>* batch) {
    batch->clear();
    batch->shrink_to_fit();
}

tbs_status_t view_ws_is_frozen_object(view_t* view, const char* dir, const char* leaf,
                                      bool* frozen) {
    *frozen = false;
    view_wso_t w;
    tbs_status_t st = view_ws_find(view, dir, leaf, &w);
    if (st == TBS_ST_NOT_FOUND) return TBS_ST_OK;  // the client holds nothing there yet
    if (st != TBS_ST_OK) return st;
    if (w.ftype == 5) return TBS_ST_OK;
    vob_t* vob = nullptr;
    if ((st = vob_open_by_uuid(w.vob_uuid, &vob)) != TBS_ST_OK) return st;
    vob_dbid_t element = 0, selected = 0;
    if ((st = vob_obj_oid_to_dbid(vob, w.elem_oid, &element)) != TBS_ST_OK) return st;
    std::string pname = "/" + (w.dir.empty() ? w.leaf : w.dir + "/" + w.leaf);
    if ((st = vob_select_version(vob, element, pname.c_str(), &view->ctx, &selected)) != TBS_ST_OK)
        return st;
    vob_dbid_t loaded = 0;
    if (tbs_uuid_is_null(w.ver_oid) || vob_obj_oid_to_dbid(vob, w.ver_oid, &loaded) != TBS_ST_OK)
        return TBS_ST_OK;
    *frozen = loaded != selected;
    return TBS_ST_OK;
}

tbs_status_t view_ws_invalidate_object(view_t* view, const char* path, int recurse) {
    std::string p = strip_slashes(path ? path : ""), dir, leaf;
    split(p, &dir, &leaf);
    return view->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        view_wso_t w;
        tbs_status_t st = view_store_get_wso(*view->db, dir, leaf, &w);
        if (st == TBS_ST_OK) st = drop_sync_points(view);  // the next update walks everything
        if (st != TBS_ST_OK) return st;
        w.ver_oid = tbs_uuid_null();  // the next update reloads it
        if ((st = view_store_put_wso(*view->db, txn, w)) != TBS_ST_OK) return st;
        if (!recurse || w.ftype != 2) return TBS_ST_OK;
        return view_store_delete_below(*view->db, p);
    });
}

// Build sessions ---------------------------------------------------------------------------

tbs_status_t view_bld_session_flags(view_t* view, int* flags, int, int64_t* session) {
    if (flags) *flags = 0;
    return view->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        return txn.next_id("build_session", session);
    });
}

tbs_status_t view_set_bhandle(view_t* view, int64_t session, int64_t) {
    return view_set_prop(view, "build_handle", std::to_string(session));
}

tbs_status_t view_bld_session_free(view_t* view, int64_t) {
    return view_set_prop(view, "build_handle", "0");
}

// Cleartext and objects ------------------------------------------------------------------

tbs_status_t view_find_oid(view_t*, const tbs_uuid_t& vob_uuid, const tbs_oid_t& oid, vob_t** vob,
                           vob_dbid_t* dbid) {
    tbs_status_t st = vob_open_by_uuid(vob_uuid, vob);
    if (st != TBS_ST_OK) return st;
    return vob_obj_oid_to_dbid(*vob, oid, dbid);
}

tbs_status_t view_cltxt(view_t* view, const view_fhandle& fh, size_t size, char* path) {
    if (!path || size == 0) return TBS_ST_BAD_REQUEST;
    std::string vob_text;
    tbs_status_t st =
        view_store_vob_by_number(*view->db, static_cast<int64_t>(fh.vob_dbid), &vob_text);
    if (st != TBS_ST_OK) return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
    tbs_uuid_t vu;
    tbs_uuid_from_str(vob_text.c_str(), &vu);
    vob_t* vob = nullptr;
    if ((st = vob_open_by_uuid(vu, &vob)) != TBS_ST_OK) return st;
    // The view's cleartext cache: one file per version, made on first use.
    std::string dir = view->storage + "/cltxt";
    if (mkdir(dir.c_str(), 0775) != 0 && errno != EEXIST) return tbs_errno2status(errno);
    std::string file = dir + "/" + vob_text + "." + std::to_string(fh.ver_dbid);
    struct stat sb;
    if (stat(file.c_str(), &sb) != 0) {
        if ((st = vob_ver_get_cleartext(vob, static_cast<vob_dbid_t>(fh.ver_dbid), file.c_str())) !=
            TBS_ST_OK)
            return st;
    }
    if (file.size() >= size) return TBS_ST_TOO_LONG;
    memcpy(path, file.c_str(), file.size() + 1);
    return TBS_ST_OK;
}
