// The file system under the core: the operating system's file calls behind one narrow
// interface, so that tests can put faults (a failing fsync, a full disk, a refused rename)
// under the code that stores contents and writes files, and see what that code makes of
// them.
//
// Every call keeps the contract of the system call it is named after: -1 (or, for read and
// write, a short count) with errno set on failure. The system's implementation, fsys_posix,
// retries a read or write that a signal interrupted, so callers never see EINTR from those;
// it never retries close, whose descriptor is gone either way.
//
// One implementation is current for the whole process, and the core's file calls go
// through it. fsys_scope makes another current for its lifetime and then restores the one
// before; scopes nest and end in the reverse order. The swap is atomic, but nothing waits
// for calls already under way through the old one: a test installs its implementation
// before it starts the work that is to meet it and ends the scope once that work is done.
// A child process keeps the implementation that was current when it was forked.
//
// A call costs one load of the current pointer and one virtual call; nothing allocates.
#ifndef CORE_UTIL_FSYS_H
#define CORE_UTIL_FSYS_H

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <atomic>
#include <cstddef>

class fsys {
public:
    virtual ~fsys() = default;

    virtual int open(const char* path, int flags, mode_t mode) = 0;
    virtual ssize_t read(int fd, void* buf, size_t n) = 0;
    virtual ssize_t write(int fd, const void* buf, size_t n) = 0;
    virtual ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) = 0;
    virtual int fsync(int fd) = 0;
    // Flushes the whole file system that holds `fd`.
    virtual int syncfs(int fd) = 0;
    virtual int close(int fd) = 0;
    virtual int fstat(int fd, struct stat* st) = 0;
    virtual int stat(const char* path, struct stat* st) = 0;
    virtual int lstat(const char* path, struct stat* st) = 0;
    virtual int rename(const char* from, const char* to) = 0;
    virtual int unlink(const char* path) = 0;
    virtual int mkdir(const char* path, mode_t mode) = 0;
    // The room of the file system holding `path`.
    virtual int statvfs(const char* path, struct statvfs* st) = 0;
};

// The system's calls. A fault injector derives from it and overrides only the calls it
// breaks.
class fsys_posix : public fsys {
public:
    int open(const char* path, int flags, mode_t mode) override;
    ssize_t read(int fd, void* buf, size_t n) override;
    ssize_t write(int fd, const void* buf, size_t n) override;
    ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) override;
    int fsync(int fd) override;
    int syncfs(int fd) override;
    int close(int fd) override;
    int fstat(int fd, struct stat* st) override;
    int stat(const char* path, struct stat* st) override;
    int lstat(const char* path, struct stat* st) override;
    int rename(const char* from, const char* to) override;
    int unlink(const char* path) override;
    int mkdir(const char* path, mode_t mode) override;
    int statvfs(const char* path, struct statvfs* st) override;
};

namespace fsys_detail {
extern std::atomic<fsys*> current;
}

// The implementation in force: the system's unless a scope installed another.
inline fsys* fsys_current() {
    return fsys_detail::current.load(std::memory_order_acquire);
}

// Makes `f` (not null; it must outlive the scope) the current implementation.
class fsys_scope {
public:
    explicit fsys_scope(fsys* f);
    ~fsys_scope();
    fsys_scope(const fsys_scope&) = delete;
    fsys_scope& operator=(const fsys_scope&) = delete;

private:
    fsys* saved_;
};

inline int fsys_open(const char* path, int flags, mode_t mode = 0) {
    return fsys_current()->open(path, flags, mode);
}
inline ssize_t fsys_read(int fd, void* buf, size_t n) {
    return fsys_current()->read(fd, buf, n);
}
inline ssize_t fsys_write(int fd, const void* buf, size_t n) {
    return fsys_current()->write(fd, buf, n);
}
inline ssize_t fsys_pwrite(int fd, const void* buf, size_t n, off_t offset) {
    return fsys_current()->pwrite(fd, buf, n, offset);
}
inline int fsys_fsync(int fd) {
    return fsys_current()->fsync(fd);
}
inline int fsys_syncfs(int fd) {
    return fsys_current()->syncfs(fd);
}
inline int fsys_close(int fd) {
    return fsys_current()->close(fd);
}
inline int fsys_fstat(int fd, struct stat* st) {
    return fsys_current()->fstat(fd, st);
}
inline int fsys_stat(const char* path, struct stat* st) {
    return fsys_current()->stat(path, st);
}
inline int fsys_lstat(const char* path, struct stat* st) {
    return fsys_current()->lstat(path, st);
}
inline int fsys_rename(const char* from, const char* to) {
    return fsys_current()->rename(from, to);
}
inline int fsys_unlink(const char* path) {
    return fsys_current()->unlink(path);
}
inline int fsys_mkdir(const char* path, mode_t mode) {
    return fsys_current()->mkdir(path, mode);
}
inline int fsys_statvfs(const char* path, struct statvfs* st) {
    return fsys_current()->statvfs(path, st);
}

#endif
