// The virtual file system of a dynamic view (see vtfs.h).
#include "core/vtfs/vtfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <set>

#include "core/cred/credutl.h"
#include "core/rgy/rgy.h"
#include "core/store/db.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_acl.h"
#include "core/vob/vob_obj.h"

// What a path names, as the view sees it now.
struct vtfs_view::node {
    enum kind_t {
        SYNTH_DIR,     // "/" or a directory above VOB tags
        VOB_DIR,       // a directory version
        VOB_FILE,      // a file version
        VOB_SLINK,     // a symbolic link
        ELEMENT_DIR,   // "x@@": the element's branches
        BRANCH_DIR,    // "x@@/main": the branch's versions
        PRIVATE_FILE,  // view-private
        PRIVATE_DIR,
    } kind = SYNTH_DIR;
    vob_t* vob = nullptr;
    int64_t element = 0;
    int64_t parent_element = 0;
    int64_t object = 0;           // version, directory version, link or branch
    int64_t content_version = 0;  // whose bytes a file shows (a checkout's predecessor)
    bool checked_out = false;     // a version checked out in this view
    std::string co_user;          // its checkout's user
    std::string owner, group;     // whose the object is, for permission checks
    std::string private_path;     // a private file, or a checked-out file's copy
    std::string branch_path;      // BRANCH_DIR: "/main"
    // ELEMENT_DIR and BRANCH_DIR: the version-extended name the VOB resolves them by
    // ("/vobs/p/a.c@@/main"), which below a directory version's extended name is not the
    // path itself ("/vobs/p/d@@/main/1/a.c/main").
    std::string ext_name;
    vtfs_attr attr;
};

namespace {

// Kernel-visible paths end in names; a trailing "/" never reaches us, but be plain.
std::string parent_of(const std::string& path) {
    size_t at = path.rfind('/');
    return at == 0 || at == std::string::npos ? "/" : path.substr(0, at);
}

std::string leaf_of(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

bool under(const std::string& path, const std::string& dir) {
    return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                           (dir == "/" || path[dir.size()] == '/'));
}

// Users and groups as the system's databases name them. Looking them up reads those
// databases, so answers are kept for a while: a change to them is seen within seconds.
struct id_caches {
    std::map<std::string, uid_t> uids;
    std::map<std::string, gid_t> gids;
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
};

id_caches& ids() {
    static id_caches c;
    const auto now = std::chrono::steady_clock::now();
    if (now - c.since > std::chrono::seconds(10)) c = id_caches();
    return c;
}

uid_t uid_of(const std::string& user) {
    auto& known = ids().uids;
    auto it = known.find(user);
    if (it != known.end()) return it->second;
    struct passwd pw, *res = nullptr;
    char buf[4096];
    uid_t uid = 65534;  // nobody
    if (getpwnam_r(user.c_str(), &pw, buf, sizeof buf, &res) == 0 && res) uid = res->pw_uid;
    return known[user] = uid;
}

gid_t gid_of(const std::string& group) {
    auto& known = ids().gids;
    auto it = known.find(group);
    if (it != known.end()) return it->second;
    struct group gr, *res = nullptr;
    char buf[4096];
    gid_t gid = 65534;
    if (getgrnam_r(group.c_str(), &gr, buf, sizeof buf, &res) == 0 && res) gid = res->gr_gid;
    return known[group] = gid;
}

int errno_of(tbs_status_t st) {
    if (st > 0 && st < 1000) return static_cast<int>(st);  // an errno carried as a status
    switch (st) {
        case TBS_ST_NOT_FOUND:
        case TBS_ST_NAME_NOT_FOUND:
        case TBS_ST_OBJ_NOT_FOUND:
            return ENOENT;
        case TBS_ST_PERMISSION:
            return EACCES;
        case TBS_ST_NOT_DIRECTORY:
            return ENOTDIR;
        case TBS_ST_IS_DIRECTORY:
            return EISDIR;
        case TBS_ST_BAD_NAME:
        case TBS_ST_BAD_SELECTOR:
            return ENOENT;
        case TBS_ST_TOO_LONG:
            return ENAMETOOLONG;
        case TBS_ST_BUSY:
            return EBUSY;
        default:
            return EIO;
    }
}

// The caller as the core knows users; root may do anything. The site's own account is not
// privileged here: its processes serve remote users, and the daemon cannot tell for whom, so
// what they read and write through the view is what anyone may.
struct who_t {
    credutl_creds_t creds{};
    bool known = false;
    bool privileged = false;
};

who_t identify(const vtfs_caller& c) {
    static std::map<uid_t, who_t> known;
    static std::chrono::steady_clock::time_point since;
    const auto now = std::chrono::steady_clock::now();
    if (now - since > std::chrono::seconds(10)) {
        known.clear();
        since = now;
    }
    auto it = known.find(c.uid);
    if (it != known.end()) return it->second;
    who_t w;
    w.privileged = c.uid == 0;
    struct passwd pw, *res = nullptr;
    char buf[4096];
    if (c.uid != geteuid() && getpwuid_r(c.uid, &pw, buf, sizeof buf, &res) == 0 && res)
        w.known = credutl_lookup(res->pw_name, nullptr, &w.creds) == TBS_ST_OK;
    return known[c.uid] = w;
}

// Owner, group and other bits as the core's protections read them; `want` is 4, 2 or 1.
bool may(const who_t& w, const std::string& owner, const std::string& group, int mode, int want) {
    if (w.privileged) return true;
    if (!w.known) return (mode & want) != 0;
    if (owner == w.creds.user) return (mode & (want << 6)) != 0;
    if (group == w.creds.group || credutl_in_group(w.creds, gid_of(group)))
        return (mode & (want << 3)) != 0;
    return (mode & want) != 0;
}

bool may(const who_t& w, const vtfs_view::node& n, int want) {
    // An element a role map protects answers by its access-control list.
    if (n.vob && n.element && !w.privileged) {
        bool decided = false;
        credutl_creds_t anyone{};
        tbs_status_t st = vob_acl_check(n.vob, n.element, w.known ? w.creds : anyone,
                                        want == 4 ? VOB_ACL_READ : VOB_ACL_CHANGE, &decided);
        if (decided || st != TBS_ST_OK) return st == TBS_ST_OK;
    }
    return may(w, n.owner, n.group, static_cast<int>(n.attr.mode & 07777), want);
}

// Makes the directories above a private path; they belong to the view's storage.
int make_parents(const std::string& path) {
    tbs_status_t st = fileutl_mkdir_p(parent_of(path).c_str(), 0755);
    return st == TBS_ST_OK ? 0 : -errno_of(st);
}

void attr_of_stat(const struct stat& sb, vtfs_attr* a) {
    a->mode = sb.st_mode;
    a->size = sb.st_size;
    a->mtime = sb.st_mtime;
    a->nlink = S_ISDIR(sb.st_mode) ? 2 : 1;
}

}  // namespace

vtfs_file::~vtfs_file() {
    if (fd >= 0) close(fd);
}

std::string vtfs_contained_link(const std::string& link_path, const std::string& text) {
    const bool absolute = !text.empty() && text[0] == '/';
    std::vector<std::string> parts;
    std::string dir = parent_of(link_path);
    size_t depth = 0;
    for (size_t at = 1; at < dir.size();) {
        size_t next = dir.find('/', at);
        if (next == std::string::npos) next = dir.size();
        if (next > at) ++depth;
        at = next + 1;
    }
    bool escapes = false;
    auto walk = [&](const std::string& path) {
        for (size_t at = 0; at <= path.size();) {
            size_t next = path.find('/', at);
            if (next == std::string::npos) next = path.size();
            const std::string c = path.substr(at, next - at);
            at = next + 1;
            if (c.empty() || c == ".") continue;
            if (c == "..") {
                escapes |= parts.empty();
                if (!parts.empty()) parts.pop_back();  // ".." at the root stays there
                continue;
            }
            parts.push_back(c);
        }
    };
    if (!absolute) walk(dir);
    walk(text);
    if (!absolute && !escapes) return text;
    std::string out;
    for (size_t i = 0; i < depth; ++i) out += "../";
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
    if (out.empty()) return ".";
    if (out.back() == '/') out.pop_back();
    return out;
}

tbs_status_t vtfs_view::open(const char* tag, std::unique_ptr<vtfs_view>* out) {
    view_t* view = nullptr;
    tbs_status_t st = view_open_by_tag(tag, &view);
    if (st != TBS_ST_OK) return st;
    if (view->kind != VIEW_KIND_DYNAMIC) return TBS_ST_NOT_SUPPORTED;
    rgy_view_entry_t e;
    if ((st = rgy_find_view_by_tag(tag, nullptr, &e)) != TBS_ST_OK) return st;
    std::unique_ptr<vtfs_view> v(new vtfs_view);
    v->view_ = view;
    v->owner_ = e.owner;
    v->cspec_seen_ = view->cspec_text;
    v->logs_show_commits_ = !store_is_postgresql(store_site_location());
    out->swap(v);
    return TBS_ST_OK;
}

vtfs_view::~vtfs_view() = default;

const std::string& vtfs_view::tag() const {
    return view_->tag;
}

// Drops what is cached of `path` and everything below it.
void vtfs_view::forget(const std::string& path) {
    auto it = cache_.lower_bound(path);
    while (it != cache_.end() && under(it->first, path)) it = cache_.erase(it);
    auto lt = listings_.lower_bound(path);
    while (lt != listings_.end() && under(lt->first, path)) lt = listings_.erase(lt);
    auto et = entries_.lower_bound(path);
    while (et != entries_.end() && under(et->first, path)) et = entries_.erase(et);
}

// The view's and each seen VOB's write-ahead log. Every commit writes its log with
// write(2), which moves the file's modification time; the kernel's clock for those times is coarse,
// so a file changed within the last moments could change again unseen within the same tick and is
// not to be trusted yet.
std::vector<vtfs_view::file_sig> vtfs_view::signatures(bool* settled) const {
    // A checkpoint only copies into the database what the log already showed, and this
    // process's own connection keeps each log in place: the logs are what to watch.
    if (!logs_show_commits_) {
        *settled = false;
        return {};
    }
    std::vector<std::string> files = {view_->storage + "/view.db-wal"};
    for (const seen_t& s : seen_) files.push_back(s.vob->storage + "/vob.db-wal");
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t now_ns = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    const int64_t kSettle = 100 * 1000000;
    *settled = true;
    std::vector<file_sig> out;
    for (const std::string& f : files) {
        file_sig sig;
        struct stat sb;
        if (stat(f.c_str(), &sb) == 0) {
            sig.ino = sb.st_ino;
            sig.size = sb.st_size;
            sig.mtime_ns =
                static_cast<int64_t>(sb.st_mtim.tv_sec) * 1000000000 + sb.st_mtim.tv_nsec;
            *settled &= now_ns - sig.mtime_ns > kSettle;
        }
        out.push_back(sig);
    }
    return out;
}

// Before each operation: a config spec changed by another process, and the elements each
// VOB's journal names since it was last read, drop what they may have changed. Nothing is
// asked of the databases while their files are as they were at the last settled look.
void vtfs_view::refresh() {
    bool settled = false;
    std::vector<file_sig> sigs = signatures(&settled);
    if (settled_ && sigs == sigs_) return;
    if (view_reload_cspec(view_, nullptr) == TBS_ST_OK && view_->cspec_text != cspec_seen_) {
        cache_.clear();
        listings_.clear();
        entries_.clear();
        cspec_seen_ = view_->cspec_text;
    }
    for (seen_t& s : seen_) {
        int64_t gen = 0, low = 0;
        if (vob_change_state(s.vob, &gen, &low) != TBS_ST_OK || gen == s.gen) continue;
        std::vector<vob_dbid_t> elems;
        const int64_t kMax = 4096;
        bool all = low > s.gen ||
                   vob_changes_since(s.vob, s.gen, gen, kMax + 1, &elems) != TBS_ST_OK ||
                   static_cast<int64_t>(elems.size()) > kMax;
        std::set<vob_dbid_t> touched(elems.begin(), elems.end());
        std::vector<std::string> dropped;
        for (const auto& [path, n] : cache_) {
            if (n->vob != s.vob) continue;
            if (all || touched.count(n->element) || touched.count(n->parent_element))
                dropped.push_back(path);
        }
        for (const std::string& p : dropped) forget(p);
        // Whether a name is listed depends on what the view selects of its element, which
        // any change may move: listings are cheap to make again.
        listings_.clear();
        entries_.clear();
        s.gen = gen;
    }
    sigs_ = std::move(sigs);
    settled_ = settled;
}

int vtfs_view::resolve(const char* path_in, const node** out) {
    const std::string path = path_in && *path_in ? path_in : "/";
    auto it = cache_.find(path);
    if (it != cache_.end()) {
        *out = it->second.get();
        return 0;
    }
    auto n = std::make_unique<node>();
    int rc = lookup(path, n.get());
    if (rc != 0) return rc;
    if (n->vob) {
        bool known = false;
        for (const seen_t& s : seen_) known |= s.vob == n->vob;
        int64_t gen = 0, low = 0;
        // A VOB first met is watched from its current generation on, and the name looked
        // up again after that, so what is cached is at least as fresh as the generation.
        if (!known && vob_change_state(n->vob, &gen, &low) == TBS_ST_OK) {
            seen_.push_back({n->vob, gen});
            n = std::make_unique<node>();
            if ((rc = lookup(path, n.get())) != 0) return rc;
        }
    }
    *out = n.get();
    cache_[path] = std::move(n);
    return 0;
}

// A plain name whose directory is known: looked up among that directory version's entries
// and seen in the version the view selects, without walking the path from the VOB's root
// again. TBS_ST_NOT_SUPPORTED when the directory is not known (the caller then resolves
// the whole path).
tbs_status_t vtfs_view::lookup_in_parent(const std::string& path, vob_resolved_t* r) {
    *r = vob_resolved_t{};
    const std::string parent = parent_of(path);
    // Below a directory version named with "@@", names are the elements themselves.
    const bool in_version = parent.find(TBS_VER_EXT) != std::string::npos;
    if (leaf_of(path).find(TBS_VER_EXT) != std::string::npos) return TBS_ST_NOT_SUPPORTED;
    auto pit = cache_.find(parent);
    if (pit == cache_.end() || pit->second->kind != node::VOB_DIR) return TBS_ST_NOT_SUPPORTED;
    const node& dir = *pit->second;
    r->vob = dir.vob;
    r->parent_element = dir.element;
    r->parent_version = dir.object;
    auto eit = entries_.find(parent);
    if (eit == entries_.end()) {
        std::vector<vob_dir_entry_t> list;
        tbs_status_t st = vob_dir_list(dir.vob, dir.object, &list);
        if (st != TBS_ST_OK) return st;
        std::map<std::string, vob_dir_entry_t> by_name;
        for (vob_dir_entry_t& e : list) by_name.emplace(e.name, std::move(e));
        eit = entries_.emplace(parent, std::move(by_name)).first;
    }
    auto e = eit->second.find(leaf_of(path));
    if (e == eit->second.end()) return TBS_ST_NAME_NOT_FOUND;
    r->leaf = e->first;
    if (e->second.mtype == VOB_MTYPE_SLINK) {
        r->dbid = e->second.target;
        r->mtype = VOB_MTYPE_SLINK;
        return TBS_ST_OK;
    }
    if (in_version) {
        r->element = r->dbid = e->second.target;
        r->mtype = e->second.mtype;
        r->extended = true;
        return TBS_ST_OK;
    }
    vob_dbid_t version = 0;
    tbs_status_t st =
        vob_select_version(dir.vob, e->second.target, path.c_str(), &view_->ctx, &version);
    if (st != TBS_ST_OK) return st;
    if (!version) return TBS_ST_NAME_NOT_FOUND;
    r->element = e->second.target;
    r->dbid = r->version = version;
    r->mtype = VOB_MTYPE_VERSION;  // or a directory version: the version's facts say which
    return TBS_ST_OK;
}

// Works out what `path` names. Directories above the VOB tags are made up from the tags;
// below a tag the VOB's own resolution (with this view's selection) decides, and a name it
// does not know may be a view-private file.
int vtfs_view::lookup(const std::string& path, node* n) {
    n->attr.uid = uid_of(owner_);
    n->attr.gid = getegid();
    n->owner = owner_;
    if (path.size() > VOB_MAX_PNAME) return -ENAMETOOLONG;
    std::vector<rgy_vob_entry_t> tags;
    if (vob_tags_.empty() || path == "/") {
        if (rgy_list_vob_tags(nullptr, &tags) == TBS_ST_OK) {
            vob_tags_.clear();
            for (const rgy_vob_entry_t& t : tags) vob_tags_.push_back(t.tag);
        }
    }
    bool in_vob = false;
    if (path == "/") {
        n->kind = node::SYNTH_DIR;
        n->attr.mode = S_IFDIR | 0555;
        n->attr.nlink = 2;
        n->attr.uid = 0;
        n->attr.gid = 0;
        return 0;
    }
    for (const std::string& t : vob_tags_) {
        if (under(path, t)) in_vob = true;
        if (!in_vob && under(t, path)) {
            n->kind = node::SYNTH_DIR;
            n->attr.mode = S_IFDIR | 0555;
            n->attr.nlink = 2;
            n->attr.uid = 0;
            n->attr.gid = 0;
            return 0;
        }
    }
    if (!in_vob) {
        // A VOB made since the tags were read.
        if (rgy_list_vob_tags(nullptr, &tags) != TBS_ST_OK) return -EIO;
        std::vector<std::string> now;
        for (const rgy_vob_entry_t& t : tags) now.push_back(t.tag);
        if (now == vob_tags_) return -ENOENT;
        vob_tags_ = now;
        return lookup(path, n);
    }
    // One read of the VOB for all the questions a name asks of a known directory: one
    // snapshot, one lock.
    store_txn snapshot;
    auto dir = cache_.find(parent_of(path));
    if (dir == cache_.end() && path.find(TBS_VER_EXT) != std::string::npos) {
        // An extended name is resolved through its directory's (the kernel looks names up
        // one by one; other callers may not).
        const node* up = nullptr;
        if (resolve(parent_of(path).c_str(), &up) == 0) dir = cache_.find(parent_of(path));
    }
    if (dir != cache_.end() && dir->second->vob &&
        dir->second->vob->db->begin(store_txn_kind::read, &snapshot) != TBS_ST_OK)
        snapshot = store_txn();
    vob_resolved_t r;
    tbs_status_t st = lookup_in_parent(path, &r);
    if (st == TBS_ST_OK && r.extended &&
        (r.mtype == VOB_MTYPE_FILE_ELEMENT || r.mtype == VOB_MTYPE_DIR_ELEMENT)) {
        // An element met below a directory version: what it is named by in its VOB.
        std::string pname;
        st = vob_elem_get_pname(r.vob, r.element, &pname);
        n->ext_name = pname + TBS_VER_EXT;
    }
    if (st == TBS_ST_NOT_SUPPORTED) {
        // Below an element or a branch, the VOB resolves its extended name.
        std::string pname = path;
        if (dir != cache_.end() && !dir->second->ext_name.empty())
            pname = dir->second->ext_name + "/" + leaf_of(path);
        st = vob_resolve_pname(pname.c_str(), &view_->ctx, VOB_RESOLVE_NOFOLLOW, &r);
        if (st == TBS_ST_OK && (r.mtype == VOB_MTYPE_BRANCH || r.mtype == VOB_MTYPE_FILE_ELEMENT ||
                                r.mtype == VOB_MTYPE_DIR_ELEMENT))
            n->ext_name = pname;
    }
    n->private_path = view_->private_root + path;
    if (st != TBS_ST_OK) {
        if (path.find(TBS_VER_EXT) != std::string::npos) return -errno_of(st);
        struct stat sb;
        if (lstat(n->private_path.c_str(), &sb) != 0) return -errno_of(st);
        if (!S_ISREG(sb.st_mode) && !S_ISDIR(sb.st_mode)) return -ENOENT;
        n->kind = S_ISDIR(sb.st_mode) ? node::PRIVATE_DIR : node::PRIVATE_FILE;
        n->vob = r.vob;
        n->parent_element = r.parent_element;
        attr_of_stat(sb, &n->attr);
        return 0;
    }
    n->vob = r.vob;
    n->element = r.element;
    n->parent_element = r.parent_element;
    n->object = r.dbid;
    vob_obj_info_t elem;
    if (r.element && vob_obj_get_info(r.vob, r.element, &elem) == TBS_ST_OK) {
        n->owner = elem.owner;
        n->group = elem.group;
        n->attr.uid = uid_of(elem.owner);
        n->attr.gid = gid_of(elem.group);
    }
    const mode_t perm = static_cast<mode_t>(elem.mode & 0777);
    switch (r.mtype) {
        case VOB_MTYPE_DIR_VERSION:
        case VOB_MTYPE_VERSION: {
            vob_version_info_t v;
            if ((st = vob_ver_get_info(r.vob, r.dbid, &v)) != TBS_ST_OK) return -errno_of(st);
            n->attr.mtime = v.created;
            n->checked_out = v.checked_out && !r.extended;
            if (v.is_dir) {
                n->kind = node::VOB_DIR;
                n->attr.mode = S_IFDIR | (n->checked_out ? perm : (perm & ~0222));
                n->attr.nlink = 2;
                return 0;
            }
            n->kind = node::VOB_FILE;
            n->content_version = r.dbid;
            n->attr.size = v.size;
            n->attr.mode = S_IFREG | (n->checked_out ? perm : (perm & ~0222));
            if (v.checked_out && v.content.empty() && v.predecessor) {
                vob_version_info_t pred;
                if (vob_ver_get_info(r.vob, v.predecessor, &pred) == TBS_ST_OK)
                    n->attr.size = pred.size;
                n->content_version = v.predecessor;
            }
            if (!n->checked_out) return 0;
            std::vector<vob_checkout_info_t> cos;
            if (vob_ob_next_ckouts(r.vob, r.element, &cos) == TBS_ST_OK)
                for (const vob_checkout_info_t& c : cos)
                    if (c.dbid == r.dbid) n->co_user = c.user;
            n->attr.uid = uid_of(n->co_user);
            struct stat sb;
            if (lstat(n->private_path.c_str(), &sb) == 0 && S_ISREG(sb.st_mode)) {
                n->attr.size = sb.st_size;
                n->attr.mtime = sb.st_mtime;
            }
            return 0;
        }
        case VOB_MTYPE_SLINK: {
            std::string text;
            if ((st = vob_slink_get_text(r.vob, r.dbid, &text)) != TBS_ST_OK) return -errno_of(st);
            vob_obj_info_t o;
            if (vob_obj_get_info(r.vob, r.dbid, &o) == TBS_ST_OK) {
                n->attr.mtime = o.created;
                n->attr.uid = uid_of(o.owner);
                n->attr.gid = gid_of(o.group);
            }
            n->kind = node::VOB_SLINK;
            n->attr.mode = S_IFLNK | 0777;
            n->attr.size = static_cast<int64_t>(vtfs_contained_link(path, text).size());
            return 0;
        }
        case VOB_MTYPE_FILE_ELEMENT:
        case VOB_MTYPE_DIR_ELEMENT:
        case VOB_MTYPE_BRANCH: {
            n->kind = r.mtype == VOB_MTYPE_BRANCH ? node::BRANCH_DIR : node::ELEMENT_DIR;
            // Readable is searchable here: these directories hold names only.
            n->attr.mode = S_IFDIR | (perm & 0444) | ((perm & 0444) >> 2);
            n->attr.nlink = 2;
            n->attr.mtime = elem.created;
            if (n->ext_name.empty()) n->ext_name = path;
            if (r.mtype == VOB_MTYPE_BRANCH) {
                // The branch path is what follows "@@" in the name.
                n->branch_path =
                    n->ext_name.substr(n->ext_name.find(TBS_VER_EXT) + TBS_VER_EXT_LEN);
            }
            return 0;
        }
        default:
            return -ENOENT;
    }
}

int vtfs_view::getattr(const vtfs_caller&, const char* path, vtfs_attr* out,
                       vtfs_content* content) {
    refresh();
    const node* n = nullptr;
    int rc = resolve(path, &n);
    if (rc != 0) return rc;
    *out = n->attr;
    if (content) {
        *content = vtfs_content{};
        if (n->kind == node::VOB_FILE && !n->checked_out) *content = {n->vob, n->content_version};
    }
    // Private files change under open handles: their size and time are read each time.
    struct stat sb;
    if (n->kind == node::PRIVATE_FILE || n->kind == node::PRIVATE_DIR) {
        if (lstat(n->private_path.c_str(), &sb) != 0) {
            forget(path);
            return resolve(path, &n) == 0 ? (*out = n->attr, 0) : -ENOENT;
        }
        attr_of_stat(sb, out);
    } else if (n->checked_out && n->kind == node::VOB_FILE &&
               lstat(n->private_path.c_str(), &sb) == 0) {
        out->size = sb.st_size;
        out->mtime = sb.st_mtime;
    }
    return 0;
}

int vtfs_view::readdir(const vtfs_caller& who, const char* path_in,
                       const std::function<void(const std::string&)>& fill) {
    refresh();
    const std::string path = path_in && *path_in ? path_in : "/";
    const node* n = nullptr;
    int rc = resolve(path.c_str(), &n);
    if (rc != 0) return rc;
    if (!S_ISDIR(n->attr.mode)) return -ENOTDIR;
    if (n->kind != node::SYNTH_DIR && !may(identify(who), *n, 4)) return -EACCES;
    fill(".");
    fill("..");
    std::set<std::string> names;
    auto add = [&](const std::string& name) {
        if (!name.empty() && names.insert(name).second) fill(name);
    };
    switch (n->kind) {
        case node::SYNTH_DIR: {
            const std::string prefix = path == "/" ? "/" : path + "/";
            for (const std::string& t : vob_tags_)
                if (t.size() > prefix.size() && t.compare(0, prefix.size(), prefix) == 0)
                    add(t.substr(prefix.size(), t.find('/', prefix.size()) - prefix.size()));
            return 0;
        }
        case node::VOB_DIR: {
            auto listed = listings_.find(path);
            if (listed == listings_.end()) {
                std::vector<vob_dir_entry_t> entries;
                tbs_status_t st = vob_dir_list(n->vob, n->object, &entries);
                if (st != TBS_ST_OK) return -errno_of(st);
                const std::string prefix = path == "/" ? "/" : path + "/";
                std::vector<std::string> visible;
                for (const vob_dir_entry_t& e : entries) {
                    // A name whose element the view selects no version of is not there.
                    if (e.mtype != VOB_MTYPE_SLINK) {
                        vob_dbid_t v = 0;
                        const std::string child = prefix + e.name;
                        if (vob_select_version(n->vob, e.target, child.c_str(), &view_->ctx, &v) !=
                                TBS_ST_OK ||
                            !v)
                            continue;
                    }
                    visible.push_back(e.name);
                }
                listed = listings_.emplace(path, std::move(visible)).first;
            }
            for (const std::string& name : listed->second) add(name);
            break;
        }
        case node::ELEMENT_DIR:
        case node::BRANCH_DIR: {
            std::vector<vob_version_info_t> versions;
            tbs_status_t st = vob_ver_list(n->vob, n->element, &versions);
            if (st != TBS_ST_OK) return -errno_of(st);
            const std::string base = n->kind == node::ELEMENT_DIR ? "" : n->branch_path;
            for (const vob_version_info_t& v : versions) {
                const std::string& bp = v.branch_path;
                if (bp == base) {
                    if (!v.checked_out) add(std::to_string(v.number));
                    add("LATEST");
                } else if (bp.size() > base.size() + 1 && bp.compare(0, base.size(), base) == 0 &&
                           bp[base.size()] == '/') {
                    add(bp.substr(base.size() + 1,
                                  bp.find('/', base.size() + 1) - base.size() - 1));
                }
            }
            return 0;
        }
        case node::PRIVATE_DIR:
            break;
        default:
            return -ENOTDIR;
    }
    // Private names below a directory: view-private files and directories.
    DIR* d = opendir((view_->private_root + path).c_str());
    if (!d) return 0;
    while (struct dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || names.count(name)) continue;
        struct stat sb;
        const std::string p = view_->private_root + (path == "/" ? "" : path) + "/" + name;
        // A checked-out file's copy is listed under its element's name already; a copy
        // left by a checkout that ended shows nothing.
        const node* child = nullptr;
        const std::string cp = (path == "/" ? "" : path) + "/" + name;
        if (lstat(p.c_str(), &sb) == 0 && resolve(cp.c_str(), &child) == 0 &&
            (child->kind == node::PRIVATE_FILE || child->kind == node::PRIVATE_DIR))
            add(name);
    }
    closedir(d);
    return 0;
}

int vtfs_view::readlink(const vtfs_caller&, const char* path, std::string* target) {
    refresh();
    const node* n = nullptr;
    int rc = resolve(path, &n);
    if (rc != 0) return rc;
    if (n->kind != node::VOB_SLINK) return -EINVAL;
    std::string text;
    tbs_status_t st = vob_slink_get_text(n->vob, n->object, &text);
    if (st != TBS_ST_OK) return -errno_of(st);
    *target = vtfs_contained_link(path, text);
    return 0;
}

int vtfs_view::open(const vtfs_caller& who, const char* path, int flags,
                    std::unique_ptr<vtfs_file>* out, bool* fixed, const vtfs_content* want) {
    refresh();
    const node* n = nullptr;
    int rc = resolve(path, &n);
    if (rc != 0) return rc;
    *fixed = false;
    const int acc = flags & O_ACCMODE;
    const bool writing = acc != O_RDONLY || (flags & O_TRUNC);
    const who_t w = identify(who);
    std::unique_ptr<vtfs_file> f(new vtfs_file);
    switch (n->kind) {
        case node::VOB_FILE: {
            if (writing && !n->checked_out) return -EROFS;
            if (writing && !w.privileged && !(w.known && w.creds.user == n->co_user))
                return -EACCES;
            if (!may(w, *n, 4) && acc != O_WRONLY) return -EACCES;
            struct stat sb;
            const bool has_copy = n->checked_out && lstat(n->private_path.c_str(), &sb) == 0;
            if (writing && !has_copy) {
                // The first write makes the private copy from the checked-out version.
                if ((rc = make_parents(n->private_path)) != 0) return rc;
                tbs_status_t st =
                    vob_ver_get_cleartext(n->vob, n->content_version, n->private_path.c_str());
                if (st != TBS_ST_OK) return -errno_of(st);
                ::chmod(n->private_path.c_str(), 0644);
            }
            if (writing || has_copy) {
                f->fd = ::open(n->private_path.c_str(),
                               (flags & (O_ACCMODE | O_TRUNC | O_APPEND)) | O_CLOEXEC | O_NOFOLLOW);
                if (f->fd < 0) return -errno;
                forget(path);
                break;
            }
            // Bytes the caller saw the name show before a checkin are still its to read.
            const bool earlier =
                want && want->vob && !(*want == vtfs_content{n->vob, n->content_version});
            if (earlier && writing) return -EROFS;
            // The bytes are opened at the first read: a kernel that still holds them cached
            // reads nothing.
            f->vob = earlier ? want->vob : n->vob;
            f->version = earlier ? want->version : n->content_version;
            *fixed = true;
            break;
        }
        case node::PRIVATE_FILE: {
            if (!w.privileged &&
                !may(w, owner_, "", static_cast<int>(n->attr.mode & 0777), writing ? 2 : 4))
                return -EACCES;
            f->fd = ::open(n->private_path.c_str(),
                           (flags & (O_ACCMODE | O_TRUNC | O_APPEND)) | O_CLOEXEC | O_NOFOLLOW);
            if (f->fd < 0) return -errno;
            forget(path);
            break;
        }
        case node::VOB_SLINK:
            return -ELOOP;
        default:
            return -EISDIR;
    }
    out->swap(f);
    return 0;
}

int vtfs_view::read(vtfs_file* f, char* buf, size_t size, int64_t offset) {
    if (offset < 0) return -EINVAL;
    if (f->fd >= 0) {
        ssize_t n = pread(f->fd, buf, size, offset);
        return n < 0 ? -errno : static_cast<int>(n);
    }
    const uint64_t off = static_cast<uint64_t>(offset);
    if (!f->stream || off < f->pos) {
        // Back to the start: a stream reads forward only.
        tbs_status_t st = vob_ver_open_content(f->vob, f->version, &f->stream);
        if (st != TBS_ST_OK) return -errno_of(st);
        f->pos = 0;
    }
    char skip[65536];
    while (f->pos < off) {
        size_t got = 0;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof skip, off - f->pos));
        if (f->stream->read(skip, want, &got) != TBS_ST_OK) return -EIO;
        if (got == 0) return 0;
        f->pos += got;
    }
    size_t done = 0;
    while (done < size) {
        size_t got = 0;
        // A damaged content fails its last read: never delivered as good.
        if (f->stream->read(buf + done, size - done, &got) != TBS_ST_OK) return -EIO;
        if (got == 0) break;
        done += got;
        f->pos += got;
    }
    return static_cast<int>(done);
}

int vtfs_view::write(vtfs_file* f, const char* buf, size_t size, int64_t offset) {
    if (f->fd < 0) return -EBADF;
    ssize_t n = pwrite(f->fd, buf, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

// Where a new private name goes: `path` must not name anything, and its directory must be
// checked out in this view (or itself private); the caller must own the view or that
// checkout.
int vtfs_view::private_target(const vtfs_caller& who, const std::string& path, std::string* priv) {
    const std::string leaf = leaf_of(path);
    if (leaf.size() > VOB_MAX_NAME) return -ENAMETOOLONG;
    if (!vob_utl_valid_name(leaf.c_str()) || leaf.find(TBS_VER_EXT) != std::string::npos)
        return -EINVAL;
    const node* parent = nullptr;
    int rc = resolve(parent_of(path).c_str(), &parent);
    if (rc != 0) return rc;
    if (!S_ISDIR(parent->attr.mode)) return -ENOTDIR;
    const bool open_dir =
        (parent->kind == node::VOB_DIR && parent->checked_out) || parent->kind == node::PRIVATE_DIR;
    if (!open_dir) return -EROFS;
    const who_t w = identify(who);
    if (!w.privileged && !(w.known && (w.creds.user == owner_))) return -EACCES;
    const node* existing = nullptr;
    if (resolve(path.c_str(), &existing) == 0) return -EEXIST;
    *priv = view_->private_root + path;
    return make_parents(*priv);
}

int vtfs_view::create(const vtfs_caller& who, const char* path, mode_t mode, int flags,
                      std::unique_ptr<vtfs_file>* out) {
    refresh();
    std::string priv;
    int rc = private_target(who, path, &priv);
    if (rc != 0) return rc;
    std::unique_ptr<vtfs_file> f(new vtfs_file);
    f->fd = ::open(priv.c_str(), (flags & (O_ACCMODE | O_APPEND)) | O_CREAT | O_EXCL | O_CLOEXEC,
                   mode & 0777);
    if (f->fd < 0) return -errno;
    forget(path);
    out->swap(f);
    return 0;
}

int vtfs_view::mkdir(const vtfs_caller& who, const char* path, mode_t mode) {
    refresh();
    std::string priv;
    int rc = private_target(who, path, &priv);
    if (rc != 0) return rc;
    if (::mkdir(priv.c_str(), mode & 0777) != 0) return -errno;
    forget(path);
    return 0;
}

int vtfs_view::unlink(const vtfs_caller& who, const char* path) {
    refresh();
    const node* n = nullptr;
    int rc = resolve(path, &n);
    if (rc != 0) return rc;
    if (n->kind != node::PRIVATE_FILE) return n->kind == node::PRIVATE_DIR ? -EISDIR : -EROFS;
    const who_t w = identify(who);
    if (!w.privileged && !(w.known && w.creds.user == owner_)) return -EACCES;
    if (::unlink(n->private_path.c_str()) != 0) return -errno;
    forget(path);
    return 0;
}

int vtfs_view::rmdir(const vtfs_caller& who, const char* path) {
    refresh();
    const node* n = nullptr;
    int rc = resolve(path, &n);
    if (rc != 0) return rc;
    if (n->kind != node::PRIVATE_DIR) return S_ISDIR(n->attr.mode) ? -EROFS : -ENOTDIR;
    const who_t w = identify(who);
    if (!w.privileged && !(w.known && w.creds.user == owner_)) return -EACCES;
    if (::rmdir(n->private_path.c_str()) != 0) return -errno;
    forget(path);
    return 0;
}

int vtfs_view::rename(const vtfs_caller& who, const char* from, const char* to, bool noreplace) {
    refresh();
    const node* src = nullptr;
    int rc = resolve(from, &src);
    if (rc != 0) return rc;
    if (src->kind != node::PRIVATE_FILE && src->kind != node::PRIVATE_DIR) return -EROFS;
    const std::string src_path = src->private_path;
    const node* dst = nullptr;
    if (resolve(to, &dst) == 0) {
        // Only a private file may be replaced, and only when asked to.
        if (noreplace) return -EEXIST;
        if (dst->kind != node::PRIVATE_FILE && dst->kind != node::PRIVATE_DIR) return -EROFS;
        const std::string dst_path = dst->private_path;
        const who_t w = identify(who);
        if (!w.privileged && !(w.known && w.creds.user == owner_)) return -EACCES;
        if (::rename(src_path.c_str(), dst_path.c_str()) != 0) return -errno;
    } else {
        std::string priv;
        if ((rc = private_target(who, to, &priv)) != 0) return rc;
        if (::rename(src_path.c_str(), priv.c_str()) != 0) return -errno;
    }
    forget(from);
    forget(to);
    return 0;
}

int vtfs_view::truncate(const vtfs_caller& who, const char* path, int64_t size) {
    std::unique_ptr<vtfs_file> f;
    bool keep = false;
    int rc = open(who, path, O_WRONLY, &f, &keep);
    if (rc != 0) return rc;
    if (ftruncate(f->fd, size) != 0) return -errno;
    forget(path);
    return 0;
}

int vtfs_view::chmod(const vtfs_caller& who, const char* path, mode_t mode) {
    refresh();
    const node* n = nullptr;
    int rc = resolve(path, &n);
    if (rc != 0) return rc;
    if (n->kind != node::PRIVATE_FILE && n->kind != node::PRIVATE_DIR) return -EROFS;
    const who_t w = identify(who);
    if (!w.privileged && !(w.known && w.creds.user == owner_)) return -EPERM;
    if (::chmod(n->private_path.c_str(), mode & 0777) != 0) return -errno;
    forget(path);
    return 0;
}

int vtfs_view::utimens(const vtfs_caller& who, const char* path, int64_t atime_ns,
                       int64_t mtime_ns) {
    refresh();
    const node* n = nullptr;
    int rc = resolve(path, &n);
    if (rc != 0) return rc;
    struct stat sb;
    const bool has_file = n->kind == node::PRIVATE_FILE || n->kind == node::PRIVATE_DIR ||
                          (n->checked_out && lstat(n->private_path.c_str(), &sb) == 0);
    if (!has_file) return -EROFS;
    const who_t w = identify(who);
    if (!w.privileged && !(w.known && (w.creds.user == owner_ || w.creds.user == n->co_user)))
        return -EPERM;
    struct timespec ts[2];
    const int64_t t[2] = {atime_ns, mtime_ns};
    for (int i = 0; i < 2; ++i) {
        ts[i].tv_sec = t[i] < 0 ? 0 : t[i] / 1000000000;
        ts[i].tv_nsec = t[i] < 0 ? UTIME_OMIT : t[i] % 1000000000;
    }
    if (utimensat(AT_FDCWD, n->private_path.c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0) return -errno;
    forget(path);
    return 0;
}
