// The web-view engine: handles, scopes, load sessions, lookups, cleartext transfer and
// namespace-change notification.
#include "core/ws/ws.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "core/cred/credutl.h"
#include "core/rgy/rgy.h"
#include "core/store/content_pool.h"
#include "core/store/db.h"
#include "core/view/view_store.h"
#include "core/util/fileutl.h"
#include "core/util/fsys.h"

struct ws_handle_t {
    view_t* view = nullptr;
    unsigned prefs = 0;
    ws_load_observer_t obs;
};

// The registry entry of the VOB the last transfer of a session read from: transfers come
// element by element, mostly from one VOB, which is then opened without the registry.
struct ws_xfer_cache_t {
    rgy_vob_entry_t entry;
    bool valid = false;
};

namespace {

bool same(const tbs_uuid_t& a, const tbs_uuid_t& b) {
    return memcmp(a.bytes, b.bytes, 16) == 0;
}

// The VOB whose replica is `replica`, and the object `oid` names in it.
tbs_status_t find_oid(const tbs_uuid_t& replica, const tbs_oid_t& oid, vob_t** vob,
                      vob_dbid_t* dbid) {
    tbs_status_t st = vob_open_by_uuid(replica, vob);
    return st == TBS_ST_OK ? vob_obj_oid_to_dbid(*vob, oid, dbid) : st;
}

// "/vobs/p/src/a.c" -> "vobs/p/src" and "a.c".
void rel_split(const std::string& pname, std::string* dir, std::string* leaf) {
    size_t slash = pname.find_last_of('/');
    *dir = slash == std::string::npos || slash == 0 ? "" : pname.substr(1, slash - 1);
    *leaf = slash == std::string::npos ? pname : pname.substr(slash + 1);
}

std::string rel_join(const std::string& dir, const std::string& leaf) {
    return "/" + (dir.empty() ? leaf : dir + "/" + leaf);
}

bool at_or_below(const std::string& path, const std::string& scope) {
    return path == scope || scope == "/" || path.rfind(scope + "/", 0) == 0;
}

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
    std::set<std::string> renamed_from;  // record paths reported renamed
    std::set<std::string> reported;      // ancestors of scopes reported already
    int64_t visited = 0;
    int last_rule = -1;                          // the rule of the latest selection
    std::map<std::string, int64_t> vob_numbers;  // the view's number of each VOB seen
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
    rel_split(pname, &info->dir, &info->leaf);
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
        if (vob_obj_get_info(vob, target, &elem) == TBS_ST_OK && same(elem.oid, rec.elem_oid)) {
            info->prev_replica = rec.vob_uuid;
            info->prev_oid = rec.ver_oid;
            if (mtype == VOB_MTYPE_SLINK && rec.target == info->target_leaf) {
                info->prev_oid = info->cur_oid;  // an unchanged link
            }
        }
    }
    if ((info->flags & WS_FLAG_CHECKED_OUT) && !same(info->prev_oid, info->cur_oid))
        info->flags |= WS_FLAG_CO_CHANGED;
    return TBS_ST_OK;
}

// Whether the file a snapshot view holds for an element was changed there by hand (it is
// not what the loaded version wrote): it is hijacked.
// Whether a file holds exactly a content of the pool (named by its SHA-256; "" is empty).
bool file_has_content(const std::string& path, const std::string& content, int64_t size) {
    struct stat sb;
    if (fsys_stat(path.c_str(), &sb) != 0 || sb.st_size != size) return false;
    if (content.empty()) return size == 0;
    int fd = fsys_open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    bool ok = md && EVP_DigestInit_ex(md, EVP_sha256(), nullptr) == 1;
    std::vector<unsigned char> buf(64 * 1024);
    for (ssize_t n; ok && (n = fsys_read(fd, buf.data(), buf.size())) != 0;) {
        if (n < 0)
            ok = false;
        else
            ok = EVP_DigestUpdate(md, buf.data(), static_cast<size_t>(n)) == 1;
    }
    fsys_close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    ok = ok && EVP_DigestFinal_ex(md, digest, &len) == 1;
    EVP_MD_CTX_free(md);
    if (!ok) return false;
    char hex[2 * EVP_MAX_MD_SIZE + 1];
    for (unsigned int i = 0; i < len; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return content == hex;
}

bool hijacked(Session& s, vob_t* vob, const std::string& path, const ws_elem_info_t& info) {
    if (info.ftype != WS_FTYPE_FILE || (info.flags & WS_FLAG_CHECKED_OUT) ||
        tbs_uuid_is_null(info.prev_oid))
        return false;
    struct stat sb;
    if (fsys_lstat(path.c_str(), &sb) != 0) return false;
    vob_dbid_t prev = 0;
    vob_version_info_t v;
    if (vob_obj_oid_to_dbid(vob, info.prev_oid, &prev) != TBS_ST_OK ||
        vob_ver_get_info(vob, prev, &v) != TBS_ST_OK)
        return false;
    // The time the copy was written with, as recorded; else the version's own.
    int64_t written = v.created;
    view_wso_t rec;
    if (view_store_get_wso(*s.view->db, info.dir, info.leaf, &rec) == TBS_ST_OK && rec.mtime != 0)
        written = rec.mtime;
    if (S_ISREG(sb.st_mode) && sb.st_size == v.size && static_cast<int64_t>(sb.st_mtime) == written)
        return false;
    // A copy that already holds the version being loaded (it was checked in from this very
    // file) is not hijacked either.
    vob_dbid_t cur = 0;
    vob_version_info_t c;
    if (S_ISREG(sb.st_mode) && vob_obj_oid_to_dbid(vob, info.cur_oid, &cur) == TBS_ST_OK &&
        vob_ver_get_info(vob, cur, &c) == TBS_ST_OK && file_has_content(path, c.content, c.size))
        return false;
    return true;
}

// Writes a snapshot view's copy of one element and records it. A hijacked file is kept
// (the default), saved beside under a new name (0x20), or overwritten (0x60).
tbs_status_t update_in_place(Session& s, vob_t* vob, ws_elem_info_t& info, vob_dbid_t target,
                             vob_dbid_t version) {
    const std::string path = s.view->root + rel_join(info.dir, info.leaf);
    tbs_status_t st = TBS_ST_OK;
    // A checked-out file's copy is the checkout's data, being edited: never overwritten.
    struct stat existing;
    const bool keep_checkout = info.ftype == WS_FTYPE_FILE && (info.flags & WS_FLAG_CHECKED_OUT) &&
                               fsys_lstat(path.c_str(), &existing) == 0 &&
                               S_ISREG(existing.st_mode);
    if (hijacked(s, vob, path, info)) {
        info.flags |= WS_FLAG_HIJACKED;
        const unsigned mode = s.h->prefs & 0x60;
        if (mode == 0) return TBS_ST_OK;  // kept: neither the file nor the record changes
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
        if (st == TBS_ST_OK) st = vob_ver_get_cleartext(vob, version, path.c_str());
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
    struct stat written;
    if (info.ftype == WS_FTYPE_FILE && fsys_stat(path.c_str(), &written) == 0)
        w.mtime = static_cast<int64_t>(written.st_mtime);
    return s.view->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        return view_store_put_wso(*s.view->db, txn, w);
    });
}

// Reports one element; renames first when it was recorded under a name that no longer
// holds it.
tbs_status_t report(Session& s, vob_t* vob, const std::string& pname, vob_dbid_t target, int mtype,
                    vob_dbid_t version) {
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
                std::string old = rel_join(r.dir, r.leaf);
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
                    fsys_rename((s.view->root + old).c_str(), (s.view->root + pname).c_str());
                    s.view->db->transact(store_txn_kind::write, [&](store_txn&) {
                        return view_store_delete_wso(*s.view->db, r.dir, r.leaf);
                    });
                }
                break;
            }
        }
    }
    ++s.visited;
    if (s.update_in_place && info.status == TBS_ST_OK &&
        (!same(info.prev_oid, info.cur_oid) || tbs_uuid_is_null(info.cur_oid))) {
        info.status = update_in_place(s, vob, info, target, version);
        if (info.status == TBS_ST_OK && s.h->obs.object_adding) {
            int n = 0;
            s.h->obs.object_adding(s.h->obs.ctx, &info, &n);
            if (!s.notify(n)) return TBS_ST_OK;
        }
    }
    if (s.h->obs.one_element) {
        int n = 0;
        s.h->obs.one_element(s.h->obs.ctx, &info, &n);
        s.notify(n);
    }
    return TBS_ST_OK;
}

// What the client holds at a record, as the unvisited report gives it.
ws_elem_info_t held_info(const view_wso_t& w) {
    ws_elem_info_t info;
    info.dir = w.dir;
    info.leaf = w.leaf;
    info.fh = w.fh;
    info.ftype = w.ftype;
    info.prev_replica = w.vob_uuid;
    info.prev_oid = w.ver_oid;
    return info;
}

// A name the client holds that the view no longer shows: a view updated in place loses its
// copy, and the observer hears of it. False once the observer asked to stop.
bool report_unvisited(Session& s, const std::string& pname, const ws_elem_info_t& info) {
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

tbs_status_t walk(Session& s, vob_t* vob, const std::string& pname, vob_dbid_t target, int mtype,
                  int depth) {
    if (s.stopped) return TBS_ST_OK;
    if (depth > 512) return tbs_errno2status(ELOOP);
    vob_dbid_t version = 0;
    if (mtype != VOB_MTYPE_SLINK) {
        tbs_status_t st = s.select(vob, target, pname, &version);
        if (st != TBS_ST_OK) return st;
        if (version == 0) {
            // Not visible in this view: what the client holds of it goes.
            std::string dir, leaf;
            rel_split(pname, &dir, &leaf);
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
    std::string path = vob->tag;
    if (!s.reported.count(path) && r.vob_path != "/") {
        vob_dbid_t root_version = 0;
        if ((st = s.select(vob, vob->root_element, path, &root_version)) != TBS_ST_OK) return st;
        s.reported.insert(path);
        if (root_version && (st = report(s, vob, path, vob->root_element, VOB_MTYPE_DIR_ELEMENT,
                                         root_version)) != TBS_ST_OK)
            return st;
    }
    size_t pos = 1;
    while (r.vob_path != "/" && (pos = r.vob_path.find('/', pos)) != std::string::npos) {
        std::string up = vob->tag + r.vob_path.substr(0, pos);
        ++pos;
        if (s.reported.count(up)) continue;
        s.reported.insert(up);
        vob_resolved_t a;
        if ((st = vob_resolve_pname(up.c_str(), s.ctx, 0, &a)) != TBS_ST_OK) return st;
        if ((st = report(s, vob, up, a.element, VOB_MTYPE_DIR_ELEMENT, a.version)) != TBS_ST_OK)
            return st;
    }
    int mtype = r.mtype == VOB_MTYPE_SLINK         ? VOB_MTYPE_SLINK
                : r.mtype == VOB_MTYPE_DIR_VERSION ? VOB_MTYPE_DIR_ELEMENT
                                                   : VOB_MTYPE_FILE_ELEMENT;
    return walk(s, vob, r.vob_path == "/" ? vob->tag : scope,
                mtype == VOB_MTYPE_SLINK ? r.dbid : r.element, mtype, 0);
}

// Whether a recorded name is still what the view shows there: its directory (listed once
// for all its names) still binds it to the same element. Whether the view still selects a
// version of it was settled by the walk.
bool still_loaded(Session& s, const view_wso_t& w, bool all_scopes) {
    const std::string pname = rel_join(w.dir, w.leaf);
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
        return same(r.vob->uuid, w.vob_uuid) && static_cast<vob_dbid_t>(w.fh.elem_dbid) == id;
    }
    auto it = s.cached_entries.find(w.leaf);
    return it != s.cached_entries.end() && s.cached_vob == tbs_uuid_text(w.vob_uuid) &&
           static_cast<vob_dbid_t>(w.fh.elem_dbid) == it->second;
}

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
            const std::string pname = rel_join(w.dir, w.leaf);
            if (!all_scopes) {
                bool in = false;
                for (const std::string& sc : scopes) in |= at_or_below(pname, sc);
                if (!in) continue;
            }
            if (s.renamed_from.count(pname) || still_loaded(s, w, all_scopes)) continue;
            ws_elem_info_t info = held_info(w);
            // Whether the element is still checked out to the view (its checkout stays).
            vob_t* vob = nullptr;
            vob_dbid_t elem = 0;
            if (find_oid(w.vob_uuid, w.elem_oid, &vob, &elem) == TBS_ST_OK) {
                std::vector<vob_checkout_info_t> cos;
                vob_ob_next_ckouts(vob, elem, &cos);
                for (const vob_checkout_info_t& c : cos)
                    if (same(c.view_uuid, s.view->uuid)) info.flags |= WS_FLAG_CHECKED_OUT;
            }
            if (!report_unvisited(s, pname, info)) return TBS_ST_OK;
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

std::string normalize_scope(const view_t* view, const char* scope) {
    return view_pname_to_vob(view, scope);
}

std::mutex g_handlers_mu;
ws_update_handlers_t g_handlers;

}  // namespace

// Handles ---------------------------------------------------------------------------------

tbs_status_t ws_get_handle(const char* view_root, int, ws_handle_t** handle) {
    view_t* v = nullptr;
    tbs_status_t st = view_open_by_root(view_root, &v);
    if (st != TBS_ST_OK) return st;
    if (v->kind == VIEW_KIND_DYNAMIC) return TBS_ST_NO_VTFS;
    auto* h = new ws_handle_t;
    h->view = v;
    *handle = h;
    return TBS_ST_OK;
}

void ws_free_handle(ws_handle_t* handle) {
    delete handle;
}

view_t* ws_get_view_handle(ws_handle_t* handle, int) {
    return handle ? handle->view : nullptr;
}

tbs_uuid_t ws_get_view_uuid(ws_handle_t* handle) {
    return handle ? handle->view->uuid : tbs_uuid_null();
}

int ws_get_text_mode(ws_handle_t*) {
    return 0;
}

tbs_status_t ws_get_scopes(ws_handle_t* handle, std::vector<std::string>* scopes) {
    *scopes = view_cspec_load_rules(*handle->view->cspec);
    return TBS_ST_OK;
}

namespace {

tbs_status_t set_scopes(ws_handle_t* h, std::vector<std::string> scopes, bool keep_existing) {
    std::string text;
    tbs_status_t st = view_get_cspec(h->view, &text);
    if (st != TBS_ST_OK) return st;
    view_cspec_t spec;
    if ((st = view_cspec_parse(text.c_str(), &spec, nullptr)) != TBS_ST_OK) return st;
    std::string out;
    for (const view_cspec_rule_t& r : spec.rules)
        if (r.kind != VIEW_RULE_LOAD || keep_existing) out += r.text + "\n";
    for (const std::string& sc : scopes) {
        std::string p = normalize_scope(h->view, sc.c_str());
        if (p.find('"') != std::string::npos || p.find('\n') != std::string::npos)
            return TBS_ST_BAD_NAME;
        out += "load \"" + p + "\"\n";
    }
    return view_set_cspec(h->view, VIEW_SETCS_REPLACE, out, nullptr);
}

}  // namespace

tbs_status_t ws_add_scopes(ws_handle_t* handle, const char* const* scopes, int count, int) {
    std::vector<std::string> add(scopes, scopes + count);
    return set_scopes(handle, add, true);
}

tbs_status_t ws_replace_scopes(ws_handle_t* handle, const char* const* scopes, int count, int) {
    std::vector<std::string> all(scopes, scopes + count);
    return set_scopes(handle, all, false);
}

int ws_get_num_loaded(ws_handle_t* handle) {
    int64_t n = 0;
    view_ws_count(handle->view, &n);
    return static_cast<int>(n);
}

tbs_status_t ws_set_load_preferences(ws_handle_t* handle, unsigned word, int) {
    handle->prefs = word;
    return TBS_ST_OK;
}

tbs_status_t ws_set_ptime_prop(ws_handle_t* handle, bool use_ptime) {
    return view_set_prop(handle->view, "ptime", use_ptime ? "1" : "0");
}

void ws_set_load_observer(ws_handle_t* handle, const ws_load_observer_t* observer) {
    handle->obs = observer ? *observer : ws_load_observer_t{};
}

tbs_status_t ws_ok_to_load(ws_handle_t* handle, int* state) {
    view_load_session_t s;
    tbs_status_t st = view_ws_get_load_session(handle->view, &s);
    if (st == TBS_ST_OK) *state = s.in_progress ? 1 : 0;
    return st;
}

tbs_status_t ws_get_load_info(ws_handle_t* handle, int, int64_t* start, int, char* who,
                              size_t who_size, char* pid, size_t pid_size) {
    view_load_session_t s;
    tbs_status_t st = view_ws_get_load_session(handle->view, &s);
    if (st != TBS_ST_OK) return st;
    if (!s.in_progress) return TBS_ST_NOT_FOUND;
    if (start) *start = s.started;
    if (who && who_size) snprintf(who, who_size, "%s", s.user.c_str());
    if (pid && pid_size) snprintf(pid, pid_size, "%s", s.pid.c_str());
    return TBS_ST_OK;
}

// Sessions --------------------------------------------------------------------------------

tbs_status_t ws_load_scopes(ws_handle_t* handle, const char* const* scopes, int count) {
    view_t* view = handle->view;
    Session s(handle, view, &view->ctx);
    // Snapshot and automatic views hold their copy on the server: the engine writes it.
    const bool server_copy = view->kind == VIEW_KIND_SNAPSHOT || view->kind == VIEW_KIND_AUTOMATIC;
    s.update_in_place =
        server_copy && !(handle->prefs & (WS_PREF_NO_UPDATE_IN_PLACE | WS_PREF_PREVIEW));
    std::string ptime;
    s.use_ptime = view_get_prop(view, "ptime", &ptime) != TBS_ST_OK || ptime != "0";
    const bool all = count == 0;
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) list.push_back(normalize_scope(view, scopes[i]));
    if (all) list = view_cspec_load_rules(*view->cspec);
    // A scope inside another one is walked with it.
    std::vector<std::string> walk_list;
    for (const std::string& a : list) {
        bool inside = false;
        for (const std::string& b : list) inside |= a != b && at_or_below(a, b);
        if (!inside && std::find(walk_list.begin(), walk_list.end(), a) == walk_list.end())
            walk_list.push_back(a);
    }

    // The session: one at a time per view, left in progress until a commit ends it.
    int64_t session_id = 0;
    tbs_status_t st = view->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        return txn.next_id("load_session", &session_id);
    });
    if (st != TBS_ST_OK) return st;
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
    for (const std::string& sc : walk_list) {
        if (s.stopped) break;
        if ((st = visit_scope(s, sc)) != TBS_ST_OK) return st;
    }
    if (!s.stopped &&
        (st = unvisited_pass(s, all ? std::vector<std::string>{} : list, all)) != TBS_ST_OK)
        return st;
    // A snapshot view is its own client: its record is current now.
    if (s.update_in_place) view_ws_end_load_session(view, !s.stopped);
    if (server_copy && !s.update_in_place) view_ws_abandon_load_session(view);
    return s.stopped ? TBS_ST_INTERRUPTED : TBS_ST_OK;
}

// Lookups ---------------------------------------------------------------------------------

tbs_status_t ws_lookup_ext(ws_handle_t* handle, const char* path, int follow, int, bool,
                           ws_lookup_t* out) {
    *out = ws_lookup_t{};
    std::string pname = view_pname_to_vob(handle->view, path);
    tbs_status_t st = vob_resolve_pname(pname.c_str(), &handle->view->ctx,
                                        follow ? 0 : VOB_RESOLVE_NOFOLLOW, &out->r);
    if (st != TBS_ST_OK) return st;
    if (out->r.element && out->r.version) {
        vob_version_info_t v;
        if (vob_ver_get_info(out->r.vob, out->r.version, &v) == TBS_ST_OK)
            out->checked_out = v.checked_out;
        view_cspec_choice_t ch;
        if (view_cspec_select(*handle->view->cspec, out->r.vob, out->r.element, pname.c_str(),
                              handle->view->uuid, &ch) == TBS_ST_OK)
            out->rule = ch.rule;
    }
    return TBS_ST_OK;
}

tbs_status_t ws_lookup_pn(ws_handle_t* handle, const char* path, ws_lookup_t* out) {
    return ws_lookup_ext(handle, path, 1, 0, false, out);
}

tbs_status_t ws_lookup_realpath(ws_handle_t* handle, const char* path, std::string* real) {
    ws_lookup_t l;
    tbs_status_t st = ws_lookup_pn(handle, path, &l);
    if (st != TBS_ST_OK) return st;
    *real = l.r.vob->tag + (l.r.vob_path == "/" ? "" : l.r.vob_path);
    return TBS_ST_OK;
}

tbs_status_t ws_get_idstr(const tbs_uuid_t& replica, const tbs_oid_t& oid, std::string* idstr) {
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    tbs_status_t st = find_oid(replica, oid, &vob, &dbid);
    return st == TBS_ST_OK ? vob_ver_get_idstr(vob, dbid, idstr) : st;
}

// Cleartext -------------------------------------------------------------------------------

tbs_status_t ws_xfer_recvfile(bool has_oid, const tbs_uuid_t& replica, const tbs_oid_t& oid,
                              const char* tmpname, ws_xfer_cache_t** cache) {
    if (!has_oid || !tmpname) return TBS_ST_BAD_REQUEST;
    if (cache && !*cache) *cache = new ws_xfer_cache_t;
    ws_xfer_cache_t* c = cache ? *cache : nullptr;
    vob_t* vob = nullptr;
    tbs_status_t st;
    if (c && c->valid && memcmp(c->entry.uuid.bytes, replica.bytes, 16) == 0) {
        st = vob_open_entry(c->entry, &vob);
    } else {
        rgy_vob_entry_t entry;
        st = rgy_find_vob_by_uuid(replica, &entry);
        if (st == TBS_ST_OK) st = vob_open_entry(entry, &vob);
        if (st == TBS_ST_OK && c) {
            c->entry = entry;
            c->valid = true;
        }
    }
    vob_dbid_t dbid = 0;
    if (st == TBS_ST_OK) st = vob_obj_oid_to_dbid(vob, oid, &dbid);
    return st == TBS_ST_OK ? vob_ver_get_cleartext(vob, dbid, tmpname) : st;
}

void ws_xfer_free_cache(ws_xfer_cache_t** cache) {
    if (!cache) return;
    delete *cache;
    *cache = nullptr;
}

tbs_status_t ws_xlate_cltxt_pname(const tbs_uuid_t&, const tbs_oid_t&, std::string*) {
    // Contents live compressed in the pool: there is no readable file to offer instead.
    return TBS_ST_NOT_FOUND;
}

// Namespace changes -----------------------------------------------------------------------

void ws_vob_op_set_update_handlers(const ws_update_handlers_t* handlers,
                                   ws_update_handlers_t* previous) {
    std::lock_guard<std::mutex> lock(g_handlers_mu);
    if (previous) *previous = g_handlers;
    g_handlers = handlers ? *handlers : ws_update_handlers_t{};
}

void ws_vob_op_notify(const tbs_uuid_t& view_uuid, int op, const char* pname, const char* pname2) {
    ws_update_handlers_t h;
    {
        std::lock_guard<std::mutex> lock(g_handlers_mu);
        h = g_handlers;
    }
    if (tbs_uuid_is_null(view_uuid) || (!h.update_name && !h.update_obj && !h.rename_scope)) return;
    view_t* view = nullptr;
    if (view_open_by_uuid(view_uuid, &view) != TBS_ST_OK || view->kind == VIEW_KIND_DYNAMIC) return;
    ws_handle_t* handle = nullptr;
    if (ws_get_handle(view->root.c_str(), 0, &handle) != TBS_ST_OK) return;
    auto name_of = [](const char* p, std::string* dir, std::string* leaf) {
        rel_split(p ? p : "", dir, leaf);
    };
    std::string dir, leaf;
    if (op == WS_VOB_OP_RENAME && pname2) {
        bool scope_renamed = false;
        for (const std::string& sc : view_cspec_load_rules(*view->cspec))
            scope_renamed |= sc == pname;
        if (scope_renamed && h.rename_scope) h.rename_scope(h.ctx, handle, pname, pname2);
        if (h.update_name) {
            name_of(pname, &dir, &leaf);
            h.update_name(h.ctx, handle, op, dir.c_str(), leaf.c_str());
            name_of(pname2, &dir, &leaf);
            h.update_name(h.ctx, handle, op, dir.c_str(), leaf.c_str());
        }
    } else if (h.update_name) {
        name_of(pname, &dir, &leaf);
        h.update_name(h.ctx, handle, op, dir.c_str(), leaf.c_str());
    }
    ws_free_handle(handle);
}

tbs_status_t ws_update_name(ws_handle_t* handle, const char* dir, const char* leaf) {
    view_t* view = handle->view;
    Session s(handle, view, &view->ctx);
    std::string pname = rel_join(dir ? dir : "", leaf ? leaf : "");
    vob_resolved_t r;
    tbs_status_t st = vob_resolve_pname(pname.c_str(), s.ctx, VOB_RESOLVE_NOFOLLOW, &r);
    if (st == TBS_ST_OK) {
        int mtype = r.mtype == VOB_MTYPE_SLINK         ? VOB_MTYPE_SLINK
                    : r.mtype == VOB_MTYPE_DIR_VERSION ? VOB_MTYPE_DIR_ELEMENT
                                                       : VOB_MTYPE_FILE_ELEMENT;
        return walk(s, r.vob, pname, mtype == VOB_MTYPE_SLINK ? r.dbid : r.element, mtype, 0);
    }
    if (st != TBS_ST_NAME_NOT_FOUND) return st;
    // The name went: what the record holds at it (and below) is unvisited.
    return unvisited_pass(s, {pname}, false);
}

tbs_status_t ws_rename_scope(ws_handle_t* handle, const char* from, const char* to) {
    std::vector<std::string> scopes = view_cspec_load_rules(*handle->view->cspec);
    std::string f = view_pname_to_vob(handle->view, from), t = view_pname_to_vob(handle->view, to);
    bool changed = false;
    for (std::string& sc : scopes) {
        if (sc == f) {
            sc = t;
            changed = true;
        } else if (sc.rfind(f + "/", 0) == 0) {
            sc = t + sc.substr(f.size());
            changed = true;
        }
    }
    if (!changed) return TBS_ST_OK;
    std::vector<const char*> ptrs;
    for (const std::string& sc : scopes) ptrs.push_back(sc.c_str());
    return ws_replace_scopes(handle, ptrs.data(), static_cast<int>(ptrs.size()), 1);
}

tbs_status_t ws_update_obj(ws_handle_t* handle, const char* path) {
    std::string p = view_pname_to_vob(handle->view, path), dir, leaf;
    rel_split(p, &dir, &leaf);
    return ws_update_name(handle, dir.c_str(), leaf.c_str());
}

tbs_status_t ws_load_scope_ver(ws_handle_t* handle, const char* path) {
    return ws_update_obj(handle, path);
}
