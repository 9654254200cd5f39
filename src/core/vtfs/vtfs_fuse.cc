// Serving a dynamic view through FUSE (see vtfs_fuse.h): libfuse's path-based interface
// over vtfs_view, one operation at a time (the core's caches are not shared between
// threads). Every operation acts for the calling process's user (fuse_get_context), whose
// permissions vtfs_view checks; the kernel's own permission checks are not asked for.
//
// The kernel keeps no names (no entry time-out), so every lookup of a path reaches us and a
// change made elsewhere is seen at the next lookup; a version's bytes are read past the
// page cache (see vtfs.h).
#define FUSE_USE_VERSION 31
#include "core/vtfs/vtfs_fuse.h"

#include <fcntl.h>
#include <fuse.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "core/vtfs/vtfs.h"

namespace {

vtfs_view* g_view = nullptr;

vtfs_caller caller() {
    vtfs_caller c;
    if (fuse_context* ctx = fuse_get_context()) {
        c.uid = ctx->uid;
        c.gid = ctx->gid;
    }
    return c;
}

vtfs_file* file_of(fuse_file_info* fi) {
    return fi ? reinterpret_cast<vtfs_file*>(static_cast<uintptr_t>(fi->fh)) : nullptr;
}

double kernel_cache_seconds() {
    const char* text = getenv("VERDANE_VTFS_CACHE");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const double v = strtod(text, &end);
    return *end || !(v > 0) ? 0 : v > 60 ? 60 : v;
}

void* op_init(fuse_conn_info*, fuse_config* cfg) {
    // By default every lookup of a name reaches the daemon, which looks at the journal
    // first: that is where a change made elsewhere is seen. The attributes a lookup answers
    // then stand for a moment, so the request that follows it (stat after lookup) is not
    // sent again; an open file reads the version it opened whatever happens meanwhile.
    // A site may let the kernel keep names and attributes for a few seconds instead
    // (VERDANE_VTFS_CACHE, seconds, at most 60): far fewer requests, and a change made
    // elsewhere seen within that time rather than at once.
    const double keep = kernel_cache_seconds();
    cfg->entry_timeout = keep;
    cfg->attr_timeout = keep > 1.0 ? keep : 1.0;
    cfg->negative_timeout = 0;
    cfg->use_ino = 0;
    cfg->nullpath_ok = 0;
    cfg->hard_remove = 1;
    return nullptr;
}

int op_getattr(const char* path, struct stat* sb, fuse_file_info*) {
    vtfs_attr a;
    int rc = g_view->getattr(caller(), path, &a);
    if (rc != 0) return rc;
    memset(sb, 0, sizeof *sb);
    sb->st_mode = a.mode;
    sb->st_uid = a.uid;
    sb->st_gid = a.gid;
    sb->st_size = a.size;
    sb->st_nlink = a.nlink;
    sb->st_mtime = sb->st_ctime = sb->st_atime = a.mtime;
    sb->st_blksize = 65536;
    sb->st_blocks = (a.size + 511) / 512;
    return 0;
}

int op_readdir(const char* path, void* buf, fuse_fill_dir_t filler, off_t, fuse_file_info*,
               fuse_readdir_flags) {
    return g_view->readdir(caller(), path, [&](const std::string& name) {
        filler(buf, name.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    });
}

int op_readlink(const char* path, char* buf, size_t size) {
    std::string target;
    int rc = g_view->readlink(caller(), path, &target);
    if (rc != 0) return rc;
    if (size == 0) return -EINVAL;
    snprintf(buf, size, "%s", target.c_str());
    return 0;
}

int op_open(const char* path, fuse_file_info* fi) {
    std::unique_ptr<vtfs_file> f;
    bool direct = false;
    int rc = g_view->open(caller(), path, fi->flags, &f, &direct);
    if (rc != 0) return rc;
    fi->direct_io = direct;
    fi->fh = reinterpret_cast<uintptr_t>(f.release());
    return 0;
}

int op_create(const char* path, mode_t mode, fuse_file_info* fi) {
    std::unique_ptr<vtfs_file> f;
    int rc = g_view->create(caller(), path, mode, fi->flags, &f);
    if (rc != 0) return rc;
    fi->fh = reinterpret_cast<uintptr_t>(f.release());
    return 0;
}

int op_read(const char*, char* buf, size_t size, off_t off, fuse_file_info* fi) {
    return g_view->read(file_of(fi), buf, size, off);
}

int op_write(const char*, const char* buf, size_t size, off_t off, fuse_file_info* fi) {
    return g_view->write(file_of(fi), buf, size, off);
}

int op_release(const char*, fuse_file_info* fi) {
    delete file_of(fi);
    return 0;
}

int op_fsync(const char*, int, fuse_file_info*) {
    // Private files are written straight to their storage; the kernel holds what is
    // written whatever happens to this process.
    return 0;
}

int op_mkdir(const char* path, mode_t mode) {
    return g_view->mkdir(caller(), path, mode);
}

int op_unlink(const char* path) {
    return g_view->unlink(caller(), path);
}

int op_rmdir(const char* path) {
    return g_view->rmdir(caller(), path);
}

int op_rename(const char* from, const char* to, unsigned int flags) {
    if (flags & ~static_cast<unsigned>(RENAME_NOREPLACE)) return -EINVAL;
    return g_view->rename(caller(), from, to, (flags & RENAME_NOREPLACE) != 0);
}

int op_truncate(const char* path, off_t size, fuse_file_info* fi) {
    if (!path) return -EBADF;
    (void)fi;
    return g_view->truncate(caller(), path, size);
}

int op_chmod(const char* path, mode_t mode, fuse_file_info*) {
    return path ? g_view->chmod(caller(), path, mode) : -EBADF;
}

int op_chown(const char*, uid_t, gid_t, fuse_file_info*) {
    return -EPERM;
}

int op_utimens(const char* path, const struct timespec tv[2], fuse_file_info*) {
    if (!path) return -EBADF;
    int64_t t[2] = {-1, -1};
    const int64_t now = static_cast<int64_t>(time(nullptr)) * 1000000000;
    for (int i = 0; tv && i < 2; ++i) {
        if (tv[i].tv_nsec == UTIME_OMIT) continue;
        t[i] = tv[i].tv_nsec == UTIME_NOW
                   ? now
                   : static_cast<int64_t>(tv[i].tv_sec) * 1000000000 + tv[i].tv_nsec;
    }
    if (!tv) t[0] = t[1] = now;
    return g_view->utimens(caller(), path, t[0], t[1]);
}

int op_symlink(const char*, const char*) {
    return -EROFS;
}

int op_link(const char*, const char*) {
    return -EROFS;
}

fuse_operations make_ops() {
    fuse_operations ops{};
    ops.init = op_init;
    ops.getattr = op_getattr;
    ops.readdir = op_readdir;
    ops.readlink = op_readlink;
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
    ops.truncate = op_truncate;
    ops.chmod = op_chmod;
    ops.chown = op_chown;
    ops.utimens = op_utimens;
    ops.symlink = op_symlink;
    ops.link = op_link;
    return ops;
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
    const bool root_mount = geteuid() == 0;
    std::string opts = "fsname=vdview,subtype=vdview";
    if (others_allowed()) opts += ",allow_other";
    const char* argv[] = {"vdviewd", "-o", opts.c_str()};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
    const fuse_operations ops = make_ops();
    fuse* f = fuse_new(&args, &ops, sizeof ops, nullptr);
    if (!f) {
        report(&ready_fd, "unable to set up the file system");
        return 1;
    }
    if (fuse_mount(f, root.c_str()) != 0) {
        fuse_destroy(f);
        report(&ready_fd, "unable to mount at \"" + root + "\"");
        return 1;
    }
    std::string why;
    if (!become_site_account(&why)) {
        fuse_unmount(f);
        fuse_destroy(f);
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
        fuse_unmount(f);
        fuse_destroy(f);
        report(&ready_fd, "unable to write \"" + pid_file + "\"");
        return 1;
    }
    fuse_session* se = fuse_get_session(f);
    fuse_set_signal_handlers(se);
    report(&ready_fd, "ok");
    fprintf(stderr, "vdviewd: serving view \"%s\" at \"%s\"\n", tag, root.c_str());
    const int rc = fuse_loop(f);
    fuse_remove_signal_handlers(se);
    // An account that did not mount cannot unmount: whoever stops the view detaches it.
    if (!dropped) fuse_unmount(f);
    fuse_destroy(f);
    unlink(pid_file.c_str());
    if (!dropped) rmdir(root.c_str());
    fprintf(stderr, "vdviewd: view \"%s\" ended\n", tag);
    return rc == 0 ? 0 : 1;
}
