// A snapshot view's copy of a file, known again: stamps, the check of a copy against its
// record, and what a checkin or checkout from the view does to the copy and its record.
#include "core/ws/ws_copy.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <vector>

#include "core/store/db.h"
#include "core/util/fsys.h"
#include "core/view/view_store.h"
#include "core/vob/vob_obj.h"
#include "core/ws/ws.h"
#include "core/ws/ws_internal.h"

namespace {

// How much older than its stamp a copy's times must be for the stamp to vouch for it: file
// systems keep times with a coarse clock (a scheduler tick, or whole seconds), so a write
// within this much of the stamp may leave every field as it was.
constexpr int64_t kRacyNs = INT64_C(2000000000);

int64_t ns_of(const struct timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * INT64_C(1000000000) + t.tv_nsec;
}

bool vouches(const view_copy_stamp_t& rec, const view_copy_stamp_t& now) {
    return rec.size >= 0 && ws_copy_same_write(rec, now) && rec.ctime_ns == now.ctime_ns &&
           rec.mtime_ns + kRacyNs < rec.taken_ns && rec.ctime_ns + kRacyNs < rec.taken_ns;
}

// The record of the copy of `vob_pname`; false when there is none.
bool record_of(view_t* view, const std::string& vob_pname, view_wso_t* rec) {
    std::string dir, leaf;
    ws_rel_split(vob_pname, &dir, &leaf);
    return view_store_get_wso(*view->db, dir, leaf, rec) == TBS_ST_OK;
}

// The record names `version` of `vob`, as the copy at `path` now holds it.
tbs_status_t record_version(view_t* view, view_wso_t rec, vob_t* vob, vob_dbid_t version,
                            const std::string& path, const view_copy_stamp_t* before) {
    vob_obj_info_t o;
    tbs_status_t st = vob_obj_get_info(vob, version, &o);
    if (st != TBS_ST_OK) return st;
    rec.ver_oid = o.oid;
    rec.fh.ver_dbid = static_cast<unsigned long>(version);
    view_copy_stamp_t now;
    rec.stamp = view_copy_stamp_t{};
    if (ws_copy_stamp(path, &now) && (!before || ws_copy_same_write(*before, now))) rec.stamp = now;
    rec.mtime = rec.stamp.size >= 0 ? rec.stamp.mtime_ns / INT64_C(1000000000) : 0;
    return view->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        return view_store_put_wso(*view->db, txn, rec);
    });
}

std::string free_name_beside(const std::string& path) {
    std::string saved = path + ".hijacked";
    struct stat sb;
    for (int i = 1; fsys_lstat(saved.c_str(), &sb) == 0 && i < 1000; ++i)
        saved = path + ".hijacked." + std::to_string(i);
    return saved;
}

}  // namespace

bool ws_copy_stamp(const std::string& path, view_copy_stamp_t* out) {
    struct stat sb;
    if (fsys_lstat(path.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) return false;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    out->size = static_cast<int64_t>(sb.st_size);
    out->mtime_ns = ns_of(sb.st_mtim);
    out->ctime_ns = ns_of(sb.st_ctim);
    out->ino = static_cast<int64_t>(sb.st_ino);
    out->taken_ns = ns_of(now);
    return true;
}

// The change time is left out: making a copy read-only changes it, and is no write.
bool ws_copy_same_write(const view_copy_stamp_t& a, const view_copy_stamp_t& b) {
    return a.size == b.size && a.mtime_ns == b.mtime_ns && a.ino == b.ino;
}

bool ws_file_sha(const std::string& path, std::string* hex_out) {
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
    *hex_out = hex;
    return true;
}

bool ws_file_has_content(const std::string& path, const std::string& content, int64_t size) {
    struct stat sb;
    if (fsys_stat(path.c_str(), &sb) != 0 || sb.st_size != size) return false;
    if (content.empty()) return size == 0;
    std::string sha;
    return ws_file_sha(path, &sha) && sha == content;
}

bool ws_file_holds_a_version(const std::string& path, vob_t* vob, vob_dbid_t element) {
    struct stat sb;
    std::string sha;
    std::vector<vob_version_info_t> all;
    if (fsys_stat(path.c_str(), &sb) != 0 || !ws_file_sha(path, &sha) ||
        vob_ver_list(vob, element, &all) != TBS_ST_OK)
        return false;
    for (const vob_version_info_t& v : all)
        if (!v.is_dir && v.size == static_cast<int64_t>(sb.st_size) &&
            (v.content == sha || (v.size == 0 && v.content.empty())))
            return true;
    return false;
}

ws_copy_state ws_copy_check(const std::string& path, const view_copy_stamp_t& stamp,
                            const std::string& content, int64_t size) {
    view_copy_stamp_t now;
    struct stat sb;
    if (fsys_lstat(path.c_str(), &sb) != 0) return ws_copy_state::missing;
    if (!ws_copy_stamp(path, &now)) return ws_copy_state::changed;  // not a regular file
    if (vouches(stamp, now)) return ws_copy_state::held;
    return ws_file_has_content(path, content, size) ? ws_copy_state::held : ws_copy_state::changed;
}

tbs_status_t ws_copy_checked_in(view_t* view, const std::string& vob_pname, vob_t* vob,
                                vob_dbid_t version, const view_copy_stamp_t& before) {
    view_wso_t rec;
    if (!record_of(view, vob_pname, &rec)) return TBS_ST_OK;  // never loaded: stays private
    const std::string path = view->root + vob_pname;
    if (chmod(path.c_str(), 0444) != 0) return tbs_errno2status(errno);
    return record_version(view, rec, vob, version, path, &before);
}

tbs_status_t ws_copy_for_checkout(view_t* view, const std::string& vob_pname, vob_t* vob,
                                  vob_dbid_t pred, std::string* saved) {
    saved->clear();
    view_wso_t rec;
    // Neither the user's own file nor a directory (its checkout changes no copy).
    if (!record_of(view, vob_pname, &rec) || rec.ftype != WS_FTYPE_FILE) return TBS_ST_OK;
    const std::string path = view->root + vob_pname;
    vob_version_info_t p;
    tbs_status_t st = vob_ver_get_info(vob, pred, &p);
    if (st != TBS_ST_OK) return st;
    if (ws_file_has_content(path, p.content, p.size))
        return record_version(view, rec, vob, pred, path, nullptr);
    // What the copy holds against what its record says it holds.
    ws_copy_state state = ws_copy_state::missing;
    vob_t* held_vob = nullptr;
    vob_dbid_t held = 0;
    vob_version_info_t h;
    if (ws_find_oid(rec.vob_uuid, rec.ver_oid, &held_vob, &held) == TBS_ST_OK &&
        vob_ver_get_info(held_vob, held, &h) == TBS_ST_OK)
        state = ws_copy_check(path, rec.stamp, h.content, h.size);
    else
        state = ws_copy_check(path, view_copy_stamp_t{}, std::string(), -1);
    // The user's edits of the version checked out are the checkout's data.
    if (state == ws_copy_state::changed && held_vob == vob && held == pred) return TBS_ST_OK;
    if (state == ws_copy_state::changed) {
        const std::string beside = free_name_beside(path);
        if (fsys_rename(path.c_str(), beside.c_str()) != 0) return tbs_errno2status(errno);
        *saved = beside;
    }
    if ((st = vob_ver_get_cleartext(vob, pred, path.c_str(), true)) != TBS_ST_OK) return st;
    return record_version(view, rec, vob, pred, path, nullptr);
}
