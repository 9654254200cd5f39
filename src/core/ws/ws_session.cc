// The web-view engine's load sessions: a walk of what the view selects under the load
// scopes against the record of what the client holds, reported element by element to the
// observer (visited, then unvisited, then renames), and snapshot views updated in place.
// Each session reads its VOBs' change generations first and stores them as its sync point;
// it walks everything here, or takes the journal walk (ws_journal.cc) when the record's
// sync point allows.

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "core/cred/credutl.h"
#include "core/rgy/rgy.h"
#include "core/store/db.h"
#include "core/util/fileutl.h"
#include "core/util/fsys.h"
#include "core/ws/ws_copy.h"
#include "core/ws/ws_walk.h"

using ws_walk::Session;

namespace {

tbs_status_t version_facts(vob_t* vob, vob_dbid_t version, ws_elem_info_t* info) {
    vob_obj_info_t o;
    tbs_status_t st = vob_obj_get_info(vob, version, &o);
    if (st != TBS_ST_OK) return st;
    info->cur_replica = vob->uuid;
    info->cur_oid = o.oid;
    vob_version_info_t v;
    if ((st = vob_ver_get_info(vob, version, &v)) != TBS_ST_OK) return st;
    info->fstat.size = v.size;
    info->fstat.mtime = v.created;
    info->fstat.mode = v.is_dir ? 0775 : (v.checked_out ? 0664 : 0444);
    if (!v.is_dir) info->cltxt_name = v.content.empty() ? "empty" : v.content;
    if (v.checked_out) info->flags |= WS_FLAG_CHECKED_OUT;
    return TBS_ST_OK;
}

// Fills an element's information record for `pname` (a VOB pathname).
tbs_status_t make_info(Session& s, vob_t* vob, const std::string& pname, vob_dbid_t target,
                       int mtype, vob_dbid_t version, ws_elem_info_t* info) {
    *info = ws_elem_info_t{};
    ws_rel_split(pname, &info->dir, &info->leaf);
    tbs_status_t st = s.fhandle(vob, target, version, &info->fh);
    if (st != TBS_ST_OK) return st;
    if (mtype == VOB_MTYPE_SLINK) {
        info->ftype = WS_FTYPE_SLINK;
        info->flags |= WS_FLAG_SLINK;
        vob_slink_get_text(vob, target, &info->target_leaf);
        vob_obj_info_t o;
        if ((st = vob_obj_get_info(vob, target, &o)) != TBS_ST_OK) return st;
        info->cur_replica = vob->uuid;
        info->cur_oid = o.oid;
        vob_resolved_t t;
        if (vob_resolve_pname(pname.c_str(), s.ctx, 0, &t) == TBS_ST_OK && t.element)
            s.fhandle(t.vob, t.element, t.version, &info->target_fh);
        info->fstat.mode = 0777;
    } else {
        info->ftype = mtype == VOB_MTYPE_DIR_ELEMENT ? WS_FTYPE_DIR : WS_FTYPE_FILE;
        if ((st = version_facts(vob, version, info)) != TBS_ST_OK) return st;
        info->rule = s.last_rule;
    }
    view_wso_t rec;
    if (view_store_get_wso(*s.view->db, info->dir, info->leaf, &rec) == TBS_ST_OK) {
        vob_obj_info_t elem;
        if (vob_obj_get_info(vob, target, &elem) == TBS_ST_OK &&
            ws_same_uuid(elem.oid, rec.elem_oid)) {
            info->prev_replica = rec.vob_uuid;
            info->prev_oid = rec.ver_oid;
            if (mtype == VOB_MTYPE_SLINK && rec.target == info->target_leaf) {
                info->prev_oid = info->cur_oid;  // an unchanged link
            }
        }
    }
    if ((info->flags & WS_FLAG_CHECKED_OUT) && !ws_same_uuid(info->prev_oid, info->cur_oid))
        info->flags |= WS_FLAG_CO_CHANGED;
    return TBS_ST_OK;
}

// Whether the file a snapshot view holds for an element was changed there by hand: it does
// not hold the version its record names (ws_copy.h decides), nor any other version of the
// element: the one being loaded (it was checked in from this very file), or one an update
// killed part way had written without recording it. A copy holding a version's bytes holds
// nothing of the user's that the VOB does not keep.
bool hijacked(Session& s, vob_t* vob, const std::string& path, const ws_elem_info_t& info) {
    if (info.ftype != WS_FTYPE_FILE || (info.flags & WS_FLAG_CHECKED_OUT) ||
        tbs_uuid_is_null(info.prev_oid))
        return false;
    vob_dbid_t prev = 0;
    vob_version_info_t v;
    if (vob_obj_oid_to_dbid(vob, info.prev_oid, &prev) != TBS_ST_OK ||
        vob_ver_get_info(vob, prev, &v) != TBS_ST_OK)
        return false;
    view_wso_t rec;
    if (view_store_get_wso(*s.view->db, info.dir, info.leaf, &rec) != TBS_ST_OK) return false;
    if (ws_copy_check(path, rec.stamp, v.content, v.size) != ws_copy_state::changed) return false;
    return !ws_file_holds_a_version(path, vob, v.element);
}

// Writes a snapshot view's copy of one element and records it. A hijacked file is kept
// (the default), saved beside under a new name (0x20), or overwritten (0x60).
tbs_status_t update_in_place(Session& s, vob_t* vob, ws_elem_info_t& info, vob_dbid_t target,
                             vob_dbid_t version) {
    const std::string path = s.view->root + ws_rel_join(info.dir, info.leaf);
    tbs_status_t st = TBS_ST_OK;
    // A checked-out file's copy is the checkout's data, being edited: never overwritten.
    struct stat existing;
    const bool keep_checkout = info.ftype == WS_FTYPE_FILE && (info.flags & WS_FLAG_CHECKED_OUT) &&
                               fsys_lstat(path.c_str(), &existing) == 0 &&
                               S_ISREG(existing.st_mode);
    if (hijacked(s, vob, path, info)) {
        info.flags |= WS_FLAG_HIJACKED;
        const unsigned mode = s.h->prefs & 0x60;
        if (mode == 0) {
            ++s.unapplied;  // kept: neither the file nor the record changes
            info.kept_hijacked = true;
            return TBS_ST_OK;
        }
        if (mode == 0x20) {
            std::string saved = path + ".hijacked";
            for (int i = 1; access(saved.c_str(), F_OK) == 0 && i < 1000; ++i)
                saved = path + ".hijacked." + std::to_string(i);
            if (fsys_rename(path.c_str(), saved.c_str()) != 0) return tbs_errno2status(errno);
            info.hijack_saved = saved.substr(saved.find_last_of('/') + 1);
        }
    }
    if (info.ftype == WS_FTYPE_DIR) {
        st = fileutl_mkdir_p(path.c_str(), 0775);
    } else if (info.ftype == WS_FTYPE_SLINK) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (symlink(info.target_leaf.c_str(), path.c_str()) != 0) st = tbs_errno2status(errno);
    } else if (keep_checkout) {
        chmod(path.c_str(), 0664);
    } else {
        st = fileutl_mkdir_p(s.view->root.c_str(), 0775);
        std::string parent = path.substr(0, path.find_last_of('/'));
        if (st == TBS_ST_OK) st = fileutl_mkdir_p(parent.c_str(), 0775);
        // Flushed before it takes the old copy's place: the record written next must not
        // outlive the bytes it names.
        if (st == TBS_ST_OK) st = vob_ver_get_cleartext(vob, version, path.c_str(), true);
        if (st == TBS_ST_OK) {
            chmod(path.c_str(), info.flags & WS_FLAG_CHECKED_OUT ? 0664 : 0444);
            if (s.use_ptime) {
                struct timeval tv[2] = {{static_cast<time_t>(info.fstat.mtime), 0},
                                        {static_cast<time_t>(info.fstat.mtime), 0}};
                utimes(path.c_str(), tv);
            }
        }
    }
    if (st != TBS_ST_OK) return st;
    view_wso_t w;
    w.dir = info.dir;
    w.leaf = info.leaf;
    w.vob_uuid = vob->uuid;
    vob_obj_info_t elem;
    if ((st = vob_obj_get_info(vob, target, &elem)) != TBS_ST_OK) return st;
    w.elem_oid = elem.oid;
    w.ver_oid = info.ftype == WS_FTYPE_SLINK ? tbs_uuid_null() : info.cur_oid;
    w.ftype = info.ftype;
    w.fh = info.fh;
    w.target = info.target_leaf;
    // Stamped after its mode and times are set: what the next update knows it by.
    if (info.ftype == WS_FTYPE_FILE && ws_copy_stamp(path, &w.stamp))
        w.mtime = w.stamp.mtime_ns / INT64_C(1000000000);
    return s.view->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        return view_store_put_wso(*s.view->db, txn, w);
    });
}

}  // namespace

// Reports one element; renames first when it was recorded under a name that no longer
// holds it.
tbs_status_t ws_walk::report(Session& s, vob_t* vob, const std::string& pname, vob_dbid_t target,
                             int mtype, vob_dbid_t version) {
    ws_elem_info_t info;
    tbs_status_t st = make_info(s, vob, pname, target, mtype, version, &info);
    if (st != TBS_ST_OK) {
        info.status = st;
    } else if (tbs_uuid_is_null(info.prev_oid)) {
        vob_obj_info_t elem;
        std::vector<view_wso_t> recs;
        if (vob_obj_get_info(vob, target, &elem) == TBS_ST_OK &&
            view_store_find_elem(*s.view->db, tbs_uuid_text(elem.oid), &recs) == TBS_ST_OK) {
            for (const view_wso_t& r : recs) {
                std::string old = ws_rel_join(r.dir, r.leaf);
                if (old == pname || s.renamed_from.count(old)) continue;
                vob_resolved_t now;
                bool still = vob_resolve_pname(old.c_str(), s.ctx, VOB_RESOLVE_NOFOLLOW, &now) ==
                                 TBS_ST_OK &&
                             (now.element == target || now.dbid == target);
                if (still) continue;
                s.renamed_from.insert(old);
                if (!s.update_in_place)
                    view_ws_note_rename(s.view, r.dir, r.leaf, info.dir, info.leaf);
                if (s.h->obs.renamed) {
                    int n = 0;
                    s.h->obs.renamed(s.h->obs.ctx, r.dir.c_str(), r.leaf.c_str(), info.dir.c_str(),
                                     info.leaf.c_str(), 0, &n);
                    if (!s.notify(n)) return TBS_ST_OK;
                }
                info.prev_replica = r.vob_uuid;
                info.prev_oid = r.ver_oid;
                if (s.update_in_place) {
                    // The copy and its record move to the new name, still holding what they
                    // held (a directory's copy takes what is below it along: each of those
                    // is met at its new name and its record moved in turn).
                    fsys_rename((s.view->root + old).c_str(), (s.view->root + pname).c_str());
                    view_wso_t moved = r;
                    moved.dir = info.dir;
                    moved.leaf = info.leaf;
                    s.view->db->transact(store_txn_kind::write, [&](store_txn& txn) {
                        view_store_delete_wso(*s.view->db, r.dir, r.leaf);
                        return view_store_put_wso(*s.view->db, txn, moved);
                    });
                }
                break;
            }
        }
    }
    ++s.visited;
    if (s.update_in_place && info.status == TBS_ST_OK &&
        (!ws_same_uuid(info.prev_oid, info.cur_oid) || tbs_uuid_is_null(info.cur_oid))) {
        info.status = update_in_place(s, vob, info, target, version);
        if (info.status == TBS_ST_OK && s.h->obs.object_adding) {
            int n = 0;
            s.h->obs.object_adding(s.h->obs.ctx, &info, &n);
            if (!s.notify(n)) return TBS_ST_OK;
        }
    }
    if (info.status != TBS_ST_OK) ++s.failures;
    s.walked_vobs.insert(vob);
    if (s.h->obs.one_element) {
        int n = 0;
        s.h->obs.one_element(s.h->obs.ctx, &info, &n);
        s.notify(n);
    }
    return TBS_ST_OK;
}

ws_elem_info_t ws_walk::held_info(const view_wso_t& w) {
    ws_elem_info_t info;
    info.dir = w.dir;
    info.leaf = w.leaf;
    info.fh = w.fh;
    info.ftype = w.ftype;
    info.prev_replica = w.vob_uuid;
    info.prev_oid = w.ver_oid;
    return info;
}

// A view updated in place loses its copy, and the observer hears of it.
bool ws_walk::report_unvisited(Session& s, const std::string& pname, const ws_elem_info_t& info) {
    if (s.update_in_place) {
        std::error_code ec;
        std::filesystem::remove_all(s.view->root + pname, ec);
        view_ws_unload_one_object_ext(s.view, 0, 0, pname.c_str());
    }
    if (!s.h->obs.unvisited) return true;
    int n = 0;
    s.h->obs.unvisited(s.h->obs.ctx, &info, 1, &n);
    return s.notify(n);
}

tbs_status_t ws_walk::walk(Session& s, vob_t* vob, const std::string& pname, vob_dbid_t target,
                           int mtype, int depth) {
    if (s.stopped) return TBS_ST_OK;
    if (depth > 512) return tbs_errno2status(ELOOP);
    vob_dbid_t version = 0;
    if (mtype != VOB_MTYPE_SLINK) {
        tbs_status_t st = s.select(vob, target, pname, &version);
        if (st != TBS_ST_OK) return st;
        if (version == 0) {
            // Not visible in this view: what the client holds of it goes.
            std::string dir, leaf;
            ws_rel_split(pname, &dir, &leaf);
            view_wso_t rec;
            if (view_store_get_wso(*s.view->db, dir, leaf, &rec) == TBS_ST_OK) {
                s.renamed_from.insert(pname);  // reported here, not again below
                report_unvisited(s, pname, held_info(rec));
            }
            return TBS_ST_OK;
        }
    }
    tbs_status_t st = report(s, vob, pname, target, mtype, version);
    if (st != TBS_ST_OK || mtype != VOB_MTYPE_DIR_ELEMENT) return st;
    std::vector<vob_dir_entry_t> entries;
    if ((st = vob_dir_list(vob, version, &entries)) != TBS_ST_OK) return st;
    for (const vob_dir_entry_t& e : entries) {
        if (s.stopped) break;
        if ((st = walk(s, vob, pname + "/" + e.name, e.target, e.mtype, depth + 1)) != TBS_ST_OK)
            return st;
    }
    return TBS_ST_OK;
}

tbs_status_t ws_walk::report_ancestor(Session& s, vob_t* vob, const std::string& path) {
    if (s.reported.count(path)) return TBS_ST_OK;
    tbs_status_t st;
    if (path == vob->tag) {
        vob_dbid_t root_version = 0;
        if ((st = s.select(vob, vob->root_element, path, &root_version)) != TBS_ST_OK) return st;
        s.reported.insert(path);
        return root_version
                   ? report(s, vob, path, vob->root_element, VOB_MTYPE_DIR_ELEMENT, root_version)
                   : TBS_ST_OK;
    }
    s.reported.insert(path);
    vob_resolved_t a;
    if ((st = vob_resolve_pname(path.c_str(), s.ctx, 0, &a)) != TBS_ST_OK) return st;
    // Selected again here, so that the report names the rule that selected it.
    vob_dbid_t version = 0;
    if ((st = s.select(vob, a.element, path, &version)) != TBS_ST_OK) return st;
    return version ? report(s, vob, path, a.element, VOB_MTYPE_DIR_ELEMENT, version) : TBS_ST_OK;
}

namespace {

// A scope and the directories above it up to its VOB's root (each reported once).
tbs_status_t visit_scope(Session& s, const std::string& scope) {
    vob_resolved_t r;
    tbs_status_t st = vob_resolve_pname(scope.c_str(), s.ctx, VOB_RESOLVE_NOFOLLOW, &r);
    if (st == TBS_ST_NAME_NOT_FOUND) return TBS_ST_OK;  // its names go as unvisited
    if (st != TBS_ST_OK) return st;
    vob_t* vob = r.vob;
    // The whole walk reads one snapshot of the VOB: consistent, and without a lock taken
    // and dropped for every statement. (Only the view's database is written meanwhile.)
    store_txn snapshot;
    if (vob->db->begin(store_txn_kind::read, &snapshot) != TBS_ST_OK) snapshot = store_txn();
    if (r.vob_path != "/" && (st = ws_walk::report_ancestor(s, vob, vob->tag)) != TBS_ST_OK)
        return st;
    size_t pos = 1;
    while (r.vob_path != "/" && (pos = r.vob_path.find('/', pos)) != std::string::npos) {
        std::string up = vob->tag + r.vob_path.substr(0, pos);
        ++pos;
        if ((st = ws_walk::report_ancestor(s, vob, up)) != TBS_ST_OK) return st;
    }
    int mtype = r.mtype == VOB_MTYPE_SLINK         ? VOB_MTYPE_SLINK
                : r.mtype == VOB_MTYPE_DIR_VERSION ? VOB_MTYPE_DIR_ELEMENT
                                                   : VOB_MTYPE_FILE_ELEMENT;
    return ws_walk::walk(s, vob, r.vob_path == "/" ? vob->tag : scope,
                         mtype == VOB_MTYPE_SLINK ? r.dbid : r.element, mtype, 0);
}

// Whether a recorded name is still what the view shows there: its directory (listed once
// for all its names) still binds it to the same element. Whether the view still selects a
// version of it was settled by the walk.
bool still_loaded(Session& s, const view_wso_t& w, bool all_scopes) {
    const std::string pname = ws_rel_join(w.dir, w.leaf);
    if (all_scopes && s.view->cspec &&
        view_cspec_in_load_scope(*s.view->cspec, pname.c_str()) == VIEW_LOAD_OUT)
        return false;
    if (!s.cached_valid || w.dir != s.cached_dir) {
        s.cached_valid = true;
        s.cached_dir = w.dir;
        s.cached_ok = false;
        s.cached_entries.clear();
        vob_resolved_t d;
        if (vob_resolve_pname(("/" + w.dir).c_str(), s.ctx, 0, &d) == TBS_ST_OK &&
            d.mtype == VOB_MTYPE_DIR_VERSION) {
            std::vector<vob_dir_entry_t> entries;
            if (vob_dir_list(d.vob, d.version, &entries) == TBS_ST_OK) {
                s.cached_ok = true;
                s.cached_vob = tbs_uuid_text(d.vob->uuid);
                for (const vob_dir_entry_t& e : entries) s.cached_entries[e.name] = e.target;
            }
        }
    }
    if (!s.cached_ok) {
        // Not a directory of a VOB (a VOB's root under its tag's parent): look it up alone.
        vob_resolved_t r;
        if (vob_resolve_pname(pname.c_str(), s.ctx, VOB_RESOLVE_NOFOLLOW, &r) != TBS_ST_OK)
            return false;
        vob_dbid_t id = r.mtype == VOB_MTYPE_SLINK ? r.dbid : r.element;
        return ws_same_uuid(r.vob->uuid, w.vob_uuid) &&
               static_cast<vob_dbid_t>(w.fh.elem_dbid) == id;
    }
    auto it = s.cached_entries.find(w.leaf);
    return it != s.cached_entries.end() && s.cached_vob == tbs_uuid_text(w.vob_uuid) &&
           static_cast<vob_dbid_t>(w.fh.elem_dbid) == it->second;
}

}  // namespace

bool ws_walk::consider_unvisited(Session& s, const view_wso_t& w, bool all_scopes) {
    const std::string pname = ws_rel_join(w.dir, w.leaf);
    if (s.renamed_from.count(pname) || still_loaded(s, w, all_scopes)) return true;
    // A view updated in place has already lost what was below a directory it unloaded (the
    // record read in a batch before that may still name it).
    view_wso_t still;
    if (s.update_in_place && view_store_get_wso(*s.view->db, w.dir, w.leaf, &still) != TBS_ST_OK)
        return true;
    ws_elem_info_t info = held_info(w);
    // Whether the element is still checked out to the view (its checkout stays).
    vob_t* vob = nullptr;
    vob_dbid_t elem = 0;
    if (ws_find_oid(w.vob_uuid, w.elem_oid, &vob, &elem) == TBS_ST_OK) {
        std::vector<vob_checkout_info_t> cos;
        vob_ob_next_ckouts(vob, elem, &cos);
        for (const vob_checkout_info_t& c : cos)
            if (ws_same_uuid(c.view_uuid, s.view->uuid)) info.flags |= WS_FLAG_CHECKED_OUT;
    }
    return report_unvisited(s, pname, info);
}

namespace {

tbs_status_t unvisited_pass(Session& s, const std::vector<std::string>& scopes, bool all_scopes) {
    // One read snapshot of each VOB the walk saw, as the walk itself had.
    std::vector<store_txn> snapshots;
    for (const auto& [uuid, number] : s.vob_numbers) {
        tbs_uuid_t u;
        vob_t* vob = nullptr;
        if (tbs_uuid_from_str(uuid.c_str(), &u) != TBS_ST_OK ||
            vob_open_by_uuid(u, &vob) != TBS_ST_OK)
            continue;
        store_txn txn;
        if (vob->db->begin(store_txn_kind::read, &txn) == TBS_ST_OK)
            snapshots.push_back(std::move(txn));
    }
    view_wso_cursor_t cursor;
    std::vector<view_wso_t> batch;
    for (;;) {
        tbs_status_t st = view_ws_get_unvisited_wsos(s.view, &cursor, 1024, &batch);
        if (st != TBS_ST_OK) return st;
        if (batch.empty()) break;
        for (const view_wso_t& w : batch) {
            if (s.stopped) return TBS_ST_OK;
            if (!all_scopes) {
                const std::string pname = ws_rel_join(w.dir, w.leaf);
                bool in = false;
                for (const std::string& sc : scopes) in |= ws_at_or_below(pname, sc);
                if (!in) continue;
            }
            if (!ws_walk::consider_unvisited(s, w, all_scopes)) return TBS_ST_OK;
        }
        view_ws_free_unvisited_wsos(&batch);
    }
    if (s.h->obs.end_unvisited) {
        int n = 0;
        s.h->obs.end_unvisited(s.h->obs.ctx, &n);
        s.notify(n);
    }
    return TBS_ST_OK;
}

// The whole walk: every scope, then every record.
tbs_status_t full_walk(Session& s, const std::vector<std::string>& walk_list,
                       const std::vector<std::string>& list, bool all) {
    for (const std::string& sc : walk_list) {
        if (s.stopped) break;
        if (tbs_status_t st = visit_scope(s, sc)) return st;
    }
    if (s.stopped) return TBS_ST_OK;
    return unvisited_pass(s, all ? std::vector<std::string>{} : list, all);
}

// The VOBs under a session's scopes, each with a read snapshot held for the whole walk and
// the change generation that snapshot shows.
struct SyncRead {
    std::vector<ws_walk::SyncVob> vobs;
    std::vector<store_txn> snapshots;
    bool complete = true;  // every scope lies in a registered VOB
};

tbs_status_t read_sync(const std::vector<std::string>& scopes, SyncRead* out) {
    std::vector<rgy_vob_entry_t> tags;
    tbs_status_t st = rgy_list_vob_tags(nullptr, &tags);
    if (st != TBS_ST_OK) return st;
    for (const std::string& scope : scopes) {
        // The VOB whose tag is the longest one the scope starts with.
        const rgy_vob_entry_t* best = nullptr;
        for (const rgy_vob_entry_t& e : tags)
            if (ws_at_or_below(scope, e.tag) && (!best || e.tag.size() > best->tag.size()))
                best = &e;
        vob_t* vob = nullptr;
        if (!best || vob_open_entry(*best, &vob) != TBS_ST_OK) {
            out->complete = false;
            continue;
        }
        bool seen = false;
        for (const ws_walk::SyncVob& v : out->vobs) seen |= v.vob == vob;
        if (seen) continue;
        store_txn snapshot;
        if (vob->db->begin(store_txn_kind::read, &snapshot) == TBS_ST_OK)
            out->snapshots.push_back(std::move(snapshot));
        ws_walk::SyncVob v;
        v.vob = vob;
        if ((st = vob_change_state(vob, &v.gen, &v.low)) != TBS_ST_OK) return st;
        out->vobs.push_back(v);
    }
    return TBS_ST_OK;
}

// The sync point a session stores: what a commit of it brings the record to. False when the
// session cannot give one (its commit then drops the record's).
bool sync_point(Session& s, bool all, const std::vector<std::string>& list, const SyncRead& sync,
                view_sync_point_t* point) {
    point->cspec = view_cspec_text(*s.view->cspec);
    point->mode = all ? VIEW_SYNC_RECORD : VIEW_SYNC_KEEP;
    for (const ws_walk::SyncVob& v : sync.vobs) point->gens.push_back({v.vob->uuid, v.gen});
    if (all) return sync.complete;
    // Some of the load rules: sound to keep the record's point only when nothing outside
    // the load rules comes to be recorded.
    for (const std::string& sc : list)
        if (view_cspec_in_load_scope(*s.view->cspec, sc.c_str()) != VIEW_LOAD_IN) return false;
    return true;
}

}  // namespace

// Sessions --------------------------------------------------------------------------------

tbs_status_t ws_load_scopes(ws_handle_t* handle, const char* const* scopes, int count) {
    view_t* view = handle->view;
    Session s(handle, view, &view->ctx);
    handle->stats = ws_load_stats_t{};
    // Snapshot and automatic views hold their copy on the server: the engine writes it.
    const bool server_copy = view->kind == VIEW_KIND_SNAPSHOT || view->kind == VIEW_KIND_AUTOMATIC;
    s.update_in_place =
        server_copy && !(handle->prefs & (WS_PREF_NO_UPDATE_IN_PLACE | WS_PREF_PREVIEW));
    std::string ptime;
    s.use_ptime = view_get_prop(view, "ptime", &ptime) != TBS_ST_OK || ptime != "0";
    const bool all = count == 0;
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) list.push_back(ws_normalize_scope(view, scopes[i]));
    if (all) list = view_cspec_load_rules(*view->cspec);
    // A scope inside another one is walked with it.
    std::vector<std::string> walk_list;
    for (const std::string& a : list) {
        bool inside = false;
        for (const std::string& b : list) inside |= a != b && ws_at_or_below(a, b);
        if (!inside && std::find(walk_list.begin(), walk_list.end(), a) == walk_list.end())
            walk_list.push_back(a);
    }

    // The session: one at a time per view, left in progress until a commit ends it.
    // Its id is random: a client names it to commit or cancel, and must not be able to reach
    // another view's session by counting.
    const tbs_uuid_t rnd = tbs_uuid_create();
    int64_t session_id = 0;
    for (int i = 8; i < 16; ++i) session_id = (session_id << 8) | rnd.bytes[i];
    session_id &= INT64_C(0x3fffffffffffffff);
    if (session_id == 0) session_id = 1;
    tbs_status_t st = TBS_ST_OK;
    credutl_creds_t who;
    credutl_get_creds(&who);
    bool conflict = false;
    const std::string sid = std::to_string(session_id);
    if ((st = view_ws_begin_load_session(view, 1, sid.c_str(), who.user, getpid(), &conflict, 0)) !=
        TBS_ST_OK)
        return st;
    if (conflict) {
        if (!(handle->prefs & WS_PREF_ABORT_INPROGRESS)) return TBS_ST_VIEW_CONFLICT;
        if ((st = view_ws_abandon_load_session(view)) != TBS_ST_OK) return st;
        if ((st = view_ws_begin_load_session(view, 1, sid.c_str(), who.user, getpid(), &conflict,
                                             0)) != TBS_ST_OK)
            return st;
        if (conflict) return TBS_ST_VIEW_CONFLICT;
    }

    if (handle->obs.begin_session) {
        int n = 0;
        st = handle->obs.begin_session(handle->obs.ctx, static_cast<uint64_t>(session_id), &n);
        if (st != TBS_ST_OK) {
            view_ws_abandon_load_session(view);
            return st;
        }
        s.notify(n);
    }
    // What the walk reads is held still: one snapshot of each VOB under the scopes, taken
    // before anything is read, and its change generation is the session's sync point.
    SyncRead sync;
    if ((st = read_sync(walk_list, &sync)) != TBS_ST_OK) return st;
    view_sync_point_t point;
    const bool recordable = sync_point(s, all, list, sync, &point);
    if ((st = view_ws_set_session_sync(view, recordable ? &point : nullptr)) != TBS_ST_OK)
        return st;
    ws_walk::JournalPlan plan;
    std::string why = "forced by the load preferences";
    if (!all)
        why = "scopes given";
    else if (!(handle->prefs & WS_PREF_FULL_WALK) &&
             (st = ws_walk::plan_journal_walk(s, walk_list, sync.vobs, &plan, &why)) != TBS_ST_OK &&
             st != TBS_ST_NOT_FOUND) {
        view_ws_set_session_sync(view, nullptr);
        return st;
    }

    handle->stats.incremental = plan.walk != nullptr;
    handle->stats.full_walk_reason = plan.walk ? "" : why;
    handle->stats.journalled = plan.elements;
    st = plan.walk ? ws_walk::journal_walk(plan) : full_walk(s, walk_list, list, all);
    handle->stats.reported = s.visited;
    // The sync point holds only for a walk that reported everything it found, and found
    // nothing outside the VOBs whose generations it holds.
    bool complete = st == TBS_ST_OK && !s.stopped && s.failures == 0 && s.unapplied == 0;
    for (const vob_t* v : s.walked_vobs) {
        bool known = false;
        for (const ws_walk::SyncVob& sv : sync.vobs) known |= sv.vob == v;
        complete &= known;
    }
    if (recordable && !complete) view_ws_set_session_sync(view, nullptr);
    sync.snapshots.clear();
    if (st != TBS_ST_OK) return st;
    // A snapshot view is its own client: its record is current now.
    if (s.update_in_place) view_ws_end_load_session(view, !s.stopped);
    if (server_copy && !s.update_in_place) view_ws_drop_load_session(view);
    return s.stopped ? TBS_ST_INTERRUPTED : TBS_ST_OK;
}

// A name that changed under a running update: walked again, or reported unvisited when it
// went.
tbs_status_t ws_update_name(ws_handle_t* handle, const char* dir, const char* leaf) {
    view_t* view = handle->view;
    Session s(handle, view, &view->ctx);
    std::string pname = ws_rel_join(dir ? dir : "", leaf ? leaf : "");
    vob_resolved_t r;
    tbs_status_t st = vob_resolve_pname(pname.c_str(), s.ctx, VOB_RESOLVE_NOFOLLOW, &r);
    if (st == TBS_ST_OK) {
        int mtype = r.mtype == VOB_MTYPE_SLINK         ? VOB_MTYPE_SLINK
                    : r.mtype == VOB_MTYPE_DIR_VERSION ? VOB_MTYPE_DIR_ELEMENT
                                                       : VOB_MTYPE_FILE_ELEMENT;
        return ws_walk::walk(s, r.vob, pname, mtype == VOB_MTYPE_SLINK ? r.dbid : r.element, mtype,
                             0);
    }
    if (st != TBS_ST_NAME_NOT_FOUND) return st;
    // The name went: what the record holds at it (and below) is unvisited.
    return unvisited_pass(s, {pname}, false);
}
