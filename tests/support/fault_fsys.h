// A file system that fails on command: the system's calls with one armed fault, installed
// for a scope, so that a test can break one step of a store or a write and check what the
// code under test makes of it. Meant for one thread; the scope is made before the work
// starts and ends after it.
#ifndef TESTS_SUPPORT_FAULT_FSYS_H
#define TESTS_SUPPORT_FAULT_FSYS_H

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <utility>

#include "core/util/fsys.h"

enum class fs_op { open, read, write, fsync, syncfs, close, rename, unlink, mkdir };

// Calls of `op` on a path containing `path_part` (for a descriptor, the path it was opened
// with; for a rename, either name) fail with `err` once `skip` such calls have gone
// through. A write fault (write and pwrite) counts bytes instead of calls: it lets `bytes`
// bytes through to such descriptors, then fails as a full disk does, the write that
// reaches the limit coming back short and the next one failing. A fault that fired stays
// armed: a broken disk stays broken.
struct fs_fault {
    fs_op op;
    int err;
    std::string path_part;
    int skip = 0;
    size_t bytes = 0;
};

class FaultFs : public fsys_posix {
public:
    explicit FaultFs(fs_fault f) : f_(std::move(f)) {}
    // How many calls the fault failed: a case whose fault never fired tests nothing.
    int hits() const { return hits_; }

    int open(const char* path, int flags, mode_t mode) override {
        if (fires(fs_op::open, path)) return -1;
        int fd = fsys_posix::open(path, flags, mode);
        if (fd >= 0) paths_[fd] = path;
        return fd;
    }
    ssize_t read(int fd, void* buf, size_t n) override {
        return fires(fs_op::read, path_of(fd)) ? -1 : fsys_posix::read(fd, buf, n);
    }
    ssize_t write(int fd, const void* buf, size_t n) override {
        if (!room(fd, &n)) return -1;
        return counted(fsys_posix::write(fd, buf, n));
    }
    ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) override {
        if (!room(fd, &n)) return -1;
        return counted(fsys_posix::pwrite(fd, buf, n, offset));
    }
    int fsync(int fd) override {
        return fires(fs_op::fsync, path_of(fd)) ? -1 : fsys_posix::fsync(fd);
    }
    int syncfs(int fd) override {
        return fires(fs_op::syncfs, path_of(fd)) ? -1 : fsys_posix::syncfs(fd);
    }
    // A failing close still releases the descriptor, as the system's does.
    int close(int fd) override {
        std::string path = path_of(fd);
        paths_.erase(fd);
        int rc = fsys_posix::close(fd);
        return fires(fs_op::close, path) ? -1 : rc;
    }
    int rename(const char* from, const char* to) override {
        if (strike(matches(fs_op::rename, from) || matches(fs_op::rename, to))) return -1;
        return fsys_posix::rename(from, to);
    }
    int unlink(const char* path) override {
        return fires(fs_op::unlink, path) ? -1 : fsys_posix::unlink(path);
    }
    int mkdir(const char* path, mode_t mode) override {
        return fires(fs_op::mkdir, path) ? -1 : fsys_posix::mkdir(path, mode);
    }

private:
    std::string path_of(int fd) const {
        auto it = paths_.find(fd);
        return it == paths_.end() ? std::string() : it->second;
    }
    bool matches(fs_op op, const std::string& path) const {
        return op == f_.op && !path.empty() && path.find(f_.path_part) != std::string::npos;
    }
    bool fires(fs_op op, const std::string& path) { return strike(matches(op, path)); }
    // Whether a matching call fails (errno set when it does).
    bool strike(bool matching) {
        if (!matching) return false;
        if (passed_ < f_.skip) {
            ++passed_;
            return false;
        }
        ++hits_;
        errno = f_.err;
        return true;
    }
    // Shortens a write to what the disk has room for; false (errno set) when it has none.
    bool room(int fd, size_t* n) {
        counting_ = matches(fs_op::write, path_of(fd));
        if (!counting_) return true;
        if (written_ >= f_.bytes && *n > 0) {
            ++hits_;
            errno = f_.err;
            return false;
        }
        *n = std::min(*n, f_.bytes - written_);
        return true;
    }
    ssize_t counted(ssize_t r) {
        if (counting_ && r > 0) written_ += static_cast<size_t>(r);
        return r;
    }

    fs_fault f_;
    std::map<int, std::string> paths_;
    int passed_ = 0;
    int hits_ = 0;
    size_t written_ = 0;
    bool counting_ = false;
};

// A file system with `free_bytes` left for writers, as statvfs reports it; every other
// call is the system's. Made current for its own lifetime.
class NearlyFullFs : public fsys_posix {
public:
    explicit NearlyFullFs(unsigned long long free_bytes) : free_(free_bytes), scope_(this) {}
    int statvfs(const char* path, struct statvfs* st) override {
        if (fsys_posix::statvfs(path, st) != 0) return -1;
        st->f_frsize = 4096;
        st->f_bavail = static_cast<fsblkcnt_t>(free_ / 4096);
        ++calls_;
        return 0;
    }
    int calls() const { return calls_; }

private:
    unsigned long long free_;
    int calls_ = 0;
    fsys_scope scope_;
};

// A FaultFs made current for the scope.
class ScopedFault {
public:
    explicit ScopedFault(fs_fault f) : fs_(std::move(f)), scope_(&fs_) {}
    int hits() const { return fs_.hits(); }

private:
    FaultFs fs_;
    fsys_scope scope_;
};

#endif
