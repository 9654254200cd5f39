// Serving a dynamic view through FUSE (see vtfs_fuse.h): libfuse's low-level interface
// over vtfs_view, one request at a time (the core's caches are not shared between threads).
// Every request acts for the calling process's user (fuse_req_ctx), whose permissions
// vtfs_view checks; the kernel's own permission checks are not asked for.
//
// Inodes. The kernel knows a file by the inode a lookup answers. A name showing a version
// is one inode per (name, version): when a checkin makes the name show another version, the
// next lookup answers a new inode, and a handle open on the old one still reads all of its
// version, with its size. A version's bytes never change, so the kernel keeps its cached
// pages between opens. Other names (directories, links, checkouts, private files) are one
// inode per name. An inode lives until the kernel forgets it.
//
// The kernel keeps no names by default (no entry time-out), so every lookup of a path
// reaches us and a change made elsewhere is seen at the next lookup.
#define FUSE_USE_VERSION 34
#include "core/vtfs/vtfs_fuse.h"

#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "core/vtfs/vtfs.h"

namespace {

vtfs_view* g_view = nullptr;
double g_entry_timeout = 0;
double g_attr_timeout = 1.0;

struct inode_t {
    std::string path;
    vtfs_content content;
    vtfs_attr attr;  // as last answered (a version's never changes)
    uint64_t nlookup = 0;
};

std::unordered_map<fuse_ino_t, inode_t> g_inodes;
std::map<std::pair<std::string, std::string>, fuse_ino_t> g_by_name;  // (path, content) -> ino
fuse_ino_t g_next_ino = FUSE_ROOT_ID + 1;

std::string content_key(const vtfs_content& c) {
    return c.vob ? tbs_uuid_text(c.vob->uuid) + ":" + std::to_string(c.version) : std::string();
}

vtfs_caller caller(fuse_req_t req) {
    vtfs_caller c;
    if (const fuse_ctx* ctx = fuse_req_ctx(req)) {
        c.uid = ctx->uid;
        c.gid = ctx->gid;
    }
    return c;
}

vtfs_file* file_of(fuse_file_info* fi) {
    return fi ? reinterpret_cast<vtfs_file*>(static_cast<uintptr_t>(fi->fh)) : nullptr;
}

inode_t* inode_of(fuse_ino_t ino) {
    auto it = g_inodes.find(ino);
    return it == g_inodes.end() ? nullptr : &it->second;
}

// The path of `name` in the directory `parent`; empty when either is not acceptable.
std::string child_path(fuse_ino_t parent, const char* name) {
    const inode_t* dir = inode_of(parent);
    if (!dir || !name || !*name || strchr(name, '/') || strcmp(name, ".") == 0 ||
        strcmp(name, "..") == 0)
        return std::string();
    return dir->path == "/" ? "/" + std::string(name) : dir->path + "/" + name;
}

void to_stat(fuse_ino_t ino, const vtfs_attr& a, struct stat* sb) {
    memset(sb, 0, sizeof *sb);
    sb->st_ino = ino;
    sb->st_mode = a.mode;
    sb->st_uid = a.uid;
    sb->st_gid = a.gid;
    sb->st_size = a.size;
    sb->st_nlink = a.nlink;
    sb->st_mtime = sb->st_ctime = sb->st_atime = a.mtime;
    sb->st_blksize = 65536;
    sb->st_blocks = (a.size + 511) / 512;
}

// Answers a lookup of `path`: the inode of what it shows now, counted once more.
void reply_entry(fuse_req_t req, const std::string& path) {
    vtfs_attr a;
    vtfs_content c;
    int rc = g_view->getattr(caller(req), path.c_str(), &a, &c);
    if (rc != 0) {
        fuse_reply_err(req, -rc);
        return;
    }
    const auto key = std::make_pair(path, content_key(c));
    fuse_ino_t ino = 0;
    auto it = g_by_name.find(key);
    if (it != g_by_name.end()) {
        ino = it->second;
    } else {
        ino = g_next_ino++;
        g_by_name[key] = ino;
        g_inodes[ino].path = path;
        g_inodes[ino].content = c;
    }
    inode_t& node = g_inodes[ino];
    node.attr = a;
    ++node.nlookup;
    fuse_entry_param e{};
    e.ino = ino;
    e.attr_timeout = g_attr_timeout;
    e.entry_timeout = g_entry_timeout;
    to_stat(ino, a, &e.attr);
    fuse_reply_entry(req, &e);
}

void drop(fuse_ino_t ino, uint64_t n) {
    auto it = g_inodes.find(ino);
    if (it == g_inodes.end() || ino == FUSE_ROOT_ID) return;
    it->second.nlookup = it->second.nlookup > n ? it->second.nlookup - n : 0;
    if (it->second.nlookup) return;
    g_by_name.erase({it->second.path, content_key(it->second.content)});
    g_inodes.erase(it);
}

// Inodes named by `from` (or below it) are named by `to` after a rename.
void renamed(const std::string& from, const std::string& to) {
    std::vector<std::pair<std::pair<std::string, std::string>, fuse_ino_t>> moved;
    for (auto it = g_by_name.lower_bound({from, ""}); it != g_by_name.end();) {
        const std::string& p = it->first.first;
        if (p != from && p.compare(0, from.size() + 1, from + "/") != 0) break;
        moved.push_back({{to + p.substr(from.size()), it->first.second}, it->second});
        it = g_by_name.erase(it);
    }
    for (auto& [key, ino] : moved) {
        g_inodes[ino].path = key.first;
        g_by_name[key] = ino;
    }
}

void op_init(void*, fuse_conn_info*) {}

void op_lookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
    const std::string path = child_path(parent, name);
    if (path.empty()) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    reply_entry(req, path);
}

void op_forget(fuse_req_t req, fuse_ino_t ino, uint64_t n) {
    drop(ino, n);
    fuse_reply_none(req);
}

void op_forget_multi(fuse_req_t req, size_t count, fuse_forget_data* forgets) {
    for (size_t i = 0; i < count; ++i) drop(forgets[i].ino, forgets[i].nlookup);
    fuse_reply_none(req);
}

void op_getattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
    inode_t* node = inode_of(ino);
    if (!node) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    vtfs_attr a;
    vtfs_content c;
    int rc = g_view->getattr(caller(req), node->path.c_str(), &a, &c);
    // An inode of an earlier version keeps that version's attributes.
    if (node->content.vob && !(c == node->content)) {
        a = node->attr;
        rc = 0;
    }
    if (rc != 0) {
        fuse_reply_err(req, -rc);
        return;
    }
    if (!node->content.vob) node->attr = a;
    struct stat sb;
    to_stat(ino, a, &sb);
    fuse_reply_attr(req, &sb, g_attr_timeout);
}

void op_setattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int to_set, fuse_file_info*) {
    inode_t* node = inode_of(ino);
    if (!node) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const vtfs_caller who = caller(req);
    const char* path = node->path.c_str();
    int rc = 0;
    if (to_set & (FUSE_SET_ATTR_UID | FUSE_SET_ATTR_GID)) rc = -EPERM;
    if (rc == 0 && (to_set & FUSE_SET_ATTR_SIZE)) rc = g_view->truncate(who, path, attr->st_size);
    if (rc == 0 && (to_set & FUSE_SET_ATTR_MODE)) rc = g_view->chmod(who, path, attr->st_mode);
    if (rc == 0 && (to_set & (FUSE_SET_ATTR_ATIME | FUSE_SET_ATTR_MTIME))) {
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        auto ns = [](const struct timespec& t) {
            return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
        };
        const int64_t at = !(to_set & FUSE_SET_ATTR_ATIME)      ? -1
                           : (to_set & FUSE_SET_ATTR_ATIME_NOW) ? ns(now)
                                                                : ns(attr->st_atim);
        const int64_t mt = !(to_set & FUSE_SET_ATTR_MTIME)      ? -1
                           : (to_set & FUSE_SET_ATTR_MTIME_NOW) ? ns(now)
                                                                : ns(attr->st_mtim);
        rc = g_view->utimens(who, path, at, mt);
    }
    if (rc != 0) {
        fuse_reply_err(req, -rc);
        return;
    }
    op_getattr(req, ino, nullptr);
}

void op_readlink(fuse_req_t req, fuse_ino_t ino) {
    inode_t* node = inode_of(ino);
    std::string target;
    int rc = node ? g_view->readlink(caller(req), node->path.c_str(), &target) : -ENOENT;
    if (rc != 0)
        fuse_reply_err(req, -rc);
    else
        fuse_reply_readlink(req, target.c_str());
}

// A directory's names, read once at its opening and handed out in pieces.
struct dir_handle {
    std::vector<std::string> names;
};

void op_opendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    inode_t* node = inode_of(ino);
    if (!node) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    auto d = std::make_unique<dir_handle>();
    int rc = g_view->readdir(caller(req), node->path.c_str(),
                             [&](const std::string& n) { d->names.push_back(n); });
    if (rc != 0) {
        fuse_reply_err(req, -rc);
        return;
    }
    fi->fh = reinterpret_cast<uintptr_t>(d.release());
    fuse_reply_open(req, fi);
}

void op_readdir(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
    auto* d = reinterpret_cast<dir_handle*>(static_cast<uintptr_t>(fi->fh));
    std::vector<char> buf(size);
    size_t used = 0;
    for (size_t i = static_cast<size_t>(off < 0 ? 0 : off); d && i < d->names.size(); ++i) {
        // A name's inode is the lookup's to answer; readers skip entries numbered 0.
        struct stat sb {};
        sb.st_ino = static_cast<ino_t>(i + 1);
        const size_t need = fuse_add_direntry(req, buf.data() + used, size - used,
                                              d->names[i].c_str(), &sb, static_cast<off_t>(i + 1));
        if (need > size - used) break;
        used += need;
    }
    fuse_reply_buf(req, buf.data(), used);
}

void op_releasedir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    delete reinterpret_cast<dir_handle*>(static_cast<uintptr_t>(fi->fh));
    fuse_reply_err(req, 0);
}

void op_open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    inode_t* node = inode_of(ino);
    if (!node) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    std::unique_ptr<vtfs_file> f;
    bool fixed = false;
    int rc = g_view->open(caller(req), node->path.c_str(), fi->flags, &f, &fixed,
                          node->content.vob ? &node->content : nullptr);
    if (rc != 0) {
        fuse_reply_err(req, -rc);
        return;
    }
    // An inode of a version always holds that version's bytes: its pages stay good.
    fi->keep_cache = fixed && node->content.vob;
    fi->fh = reinterpret_cast<uintptr_t>(f.release());
    if (fuse_reply_open(req, fi) != 0) delete file_of(fi);
}

void op_create(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode,
               fuse_file_info* fi) {
    const std::string path = child_path(parent, name);
    if (path.empty()) {
        fuse_reply_err(req, EINVAL);
        return;
    }
    std::unique_ptr<vtfs_file> f;
    int rc = g_view->create(caller(req), path.c_str(), mode, fi->flags, &f);
    vtfs_attr a;
    if (rc == 0) rc = g_view->getattr(caller(req), path.c_str(), &a);
    if (rc != 0) {
        fuse_reply_err(req, -rc);
        return;
    }
    const auto key = std::make_pair(path, std::string());
    fuse_ino_t ino = g_by_name.count(key) ? g_by_name[key] : g_next_ino++;
    g_by_name[key] = ino;
    inode_t& node = g_inodes[ino];
    node.path = path;
    node.attr = a;
    ++node.nlookup;
    fuse_entry_param e{};
    e.ino = ino;
    e.attr_timeout = g_attr_timeout;
    e.entry_timeout = g_entry_timeout;
    to_stat(ino, a, &e.attr);
    fi->fh = reinterpret_cast<uintptr_t>(f.release());
    if (fuse_reply_create(req, &e, fi) != 0) delete file_of(fi);
}

void op_read(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
    std::vector<char> buf(size);
    int n = g_view->read(file_of(fi), buf.data(), size, off);
    if (n < 0)
        fuse_reply_err(req, -n);
    else
        fuse_reply_buf(req, buf.data(), static_cast<size_t>(n));
}

void op_write(fuse_req_t req, fuse_ino_t, const char* buf, size_t size, off_t off,
              fuse_file_info* fi) {
    int n = g_view->write(file_of(fi), buf, size, off);
    if (n < 0)
        fuse_reply_err(req, -n);
    else
        fuse_reply_write(req, static_cast<size_t>(n));
}

void op_release(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    delete file_of(fi);
    fuse_reply_err(req, 0);
}

void op_fsync(fuse_req_t req, fuse_ino_t, int, fuse_file_info*) {
    // Private files are written straight to their storage; the kernel holds what is
    // written whatever happens to this process.
    fuse_reply_err(req, 0);
}

void op_mkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode) {
    const std::string path = child_path(parent, name);
    int rc = path.empty() ? -EINVAL : g_view->mkdir(caller(req), path.c_str(), mode);
    if (rc != 0)
        fuse_reply_err(req, -rc);
    else
        reply_entry(req, path);
}

void op_unlink(fuse_req_t req, fuse_ino_t parent, const char* name) {
    const std::string path = child_path(parent, name);
    fuse_reply_err(req, path.empty() ? EINVAL : -g_view->unlink(caller(req), path.c_str()));
}

void op_rmdir(fuse_req_t req, fuse_ino_t parent, const char* name) {
    const std::string path = child_path(parent, name);
    fuse_reply_err(req, path.empty() ? EINVAL : -g_view->rmdir(caller(req), path.c_str()));
}

void op_rename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newparent,
               const char* newname, unsigned int flags) {
    const std::string from = child_path(parent, name), to = child_path(newparent, newname);
    if (from.empty() || to.empty() || (flags & ~static_cast<unsigned>(RENAME_NOREPLACE))) {
        fuse_reply_err(req, EINVAL);
        return;
    }
    int rc = g_view->rename(caller(req), from.c_str(), to.c_str(), (flags & RENAME_NOREPLACE) != 0);
    if (rc == 0) renamed(from, to);
    fuse_reply_err(req, -rc);
}

void op_symlink(fuse_req_t req, const char*, fuse_ino_t, const char*) {
    fuse_reply_err(req, EROFS);
}

void op_link(fuse_req_t req, fuse_ino_t, fuse_ino_t, const char*) {
    fuse_reply_err(req, EROFS);
}

fuse_lowlevel_ops make_ops() {
    fuse_lowlevel_ops ops{};
    ops.init = op_init;
    ops.lookup = op_lookup;
    ops.forget = op_forget;
    ops.forget_multi = op_forget_multi;
    ops.getattr = op_getattr;
    ops.setattr = op_setattr;
    ops.readlink = op_readlink;
    ops.opendir = op_opendir;
    ops.readdir = op_readdir;
    ops.releasedir = op_releasedir;
    ops.open = op_open;
    ops.create = op_create;
    ops.read = op_read;
    ops.write = op_write;
    ops.release = op_release;
    ops.fsync = op_fsync;
    ops.mkdir = op_mkdir;
    ops.unlink = op_unlink;
    ops.rmdir = op_rmdir;
    ops.rename = op_rename;
    ops.symlink = op_symlink;
    ops.link = op_link;
    return ops;
}

// By default every lookup of a name reaches the daemon, which looks at the journal first:
// that is where a change made elsewhere is seen. The attributes a lookup answers then stand
// for a moment, so the request that follows it (stat after lookup) is not sent again. A
// site may let the kernel keep names and attributes for a few seconds instead
// (VERDANE_VTFS_CACHE, seconds, at most 60): far fewer requests, and a change made
// elsewhere seen within that time rather than at once.
double kernel_cache_seconds() {
    const char* text = getenv("VERDANE_VTFS_CACHE");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const double v = strtod(text, &end);
    return *end || !(v > 0) ? 0 : v > 60 ? 60 : v;
}

void report(int* fd, const std::string& text) {
    if (*fd < 0) return;
    const std::string line = text + "\n";
    if (::write(*fd, line.data(), line.size()) < 0) {
        // The starter is gone; it learns the view's state from the mount.
    }
    close(*fd);
    *fd = -1;
}

// Whether an unprivileged mount may let other users in (fusermount3 reads this file).
bool others_allowed() {
    if (geteuid() == 0) return true;
    std::ifstream in("/etc/fuse.conf");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 16, "user_allow_other") == 0) return true;
    return false;
}

// Root mounts and then serves as the site's account, the owner of the product directory.
bool become_site_account(std::string* why) {
    if (geteuid() != 0) return true;
    struct stat home;
    if (stat(tbs_product_dir(), &home) != 0) {
        *why = std::string("product directory: ") + strerror(errno);
        return false;
    }
    if (home.st_uid == 0) return true;
    if (setgroups(0, nullptr) != 0 || setgid(home.st_gid) != 0 || setuid(home.st_uid) != 0) {
        *why = std::string("unable to become the site's account: ") + strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

int vtfs_serve(const char* tag, int ready_fd) {
    std::unique_ptr<vtfs_view> view;
    tbs_status_t st = vtfs_view::open(tag, &view);
    if (st != TBS_ST_OK) {
        report(&ready_fd, std::string("view \"") + tag + "\": " + tbs_strerror(st));
        return 1;
    }
    view_t* v = nullptr;
    std::string root;
    if ((st = view_open_by_tag(tag, &v)) != TBS_ST_OK ||
        (st = tbs_view_root(tag, &root)) != TBS_ST_OK) {
        report(&ready_fd, std::string("view \"") + tag + "\": " + tbs_strerror(st));
        return 1;
    }
    g_view = view.get();
    g_entry_timeout = kernel_cache_seconds();
    g_attr_timeout = g_entry_timeout > 1.0 ? g_entry_timeout : 1.0;
    g_inodes[FUSE_ROOT_ID].path = "/";
    g_inodes[FUSE_ROOT_ID].nlookup = 1;
    g_by_name[{"/", ""}] = FUSE_ROOT_ID;
    const bool root_mount = geteuid() == 0;
    std::string opts = "fsname=vdview,subtype=vdview";
    if (others_allowed()) opts += ",allow_other";
    const char* argv[] = {"vdviewd", "-o", opts.c_str()};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
    const fuse_lowlevel_ops ops = make_ops();
    fuse_session* se = fuse_session_new(&args, &ops, sizeof ops, nullptr);
    if (!se) {
        report(&ready_fd, "unable to set up the file system");
        return 1;
    }
    if (fuse_session_mount(se, root.c_str()) != 0) {
        fuse_session_destroy(se);
        report(&ready_fd, "unable to mount at \"" + root + "\"");
        return 1;
    }
    std::string why;
    if (!become_site_account(&why)) {
        fuse_session_unmount(se);
        fuse_session_destroy(se);
        report(&ready_fd, why);
        return 1;
    }
    const bool dropped = root_mount && geteuid() != 0;
    const std::string pid_file = v->storage + "/vdviewd.pid";
    const std::string pid_text = std::to_string(getpid()) + "\n";
    int pid_fd = ::open(pid_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = pid_fd >= 0 && fileutl_write_all(pid_fd, pid_text.data(), pid_text.size());
    if (pid_fd >= 0) close(pid_fd);
    if (!written) {
        fuse_session_unmount(se);
        fuse_session_destroy(se);
        report(&ready_fd, "unable to write \"" + pid_file + "\"");
        return 1;
    }
    fuse_set_signal_handlers(se);
    report(&ready_fd, "ok");
    fprintf(stderr, "vdviewd: serving view \"%s\" at \"%s\"\n", tag, root.c_str());
    const int rc = fuse_session_loop(se);
    fuse_remove_signal_handlers(se);
    // An account that did not mount cannot unmount: whoever stops the view detaches it.
    if (!dropped) fuse_session_unmount(se);
    fuse_session_destroy(se);
    unlink(pid_file.c_str());
    if (!dropped) rmdir(root.c_str());
    fprintf(stderr, "vdviewd: view \"%s\" ended\n", tag);
    return rc == 0 ? 0 : 1;
}
