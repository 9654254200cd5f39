// The system's file calls and the process-wide current implementation.
#include "core/util/fsys.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {
// Constant-initialized, so that it is usable before any dynamic initializer has run.
constinit fsys_posix g_posix;
}  // namespace

namespace fsys_detail {
constinit std::atomic<fsys*> current{&g_posix};
}

int fsys_posix::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

ssize_t fsys_posix::read(int fd, void* buf, size_t n) {
    ssize_t r;
    do r = ::read(fd, buf, n);
    while (r < 0 && errno == EINTR);
    return r;
}

ssize_t fsys_posix::write(int fd, const void* buf, size_t n) {
    ssize_t w;
    do w = ::write(fd, buf, n);
    while (w < 0 && errno == EINTR);
    return w;
}

ssize_t fsys_posix::pwrite(int fd, const void* buf, size_t n, off_t offset) {
    ssize_t w;
    do w = ::pwrite(fd, buf, n, offset);
    while (w < 0 && errno == EINTR);
    return w;
}

int fsys_posix::fsync(int fd) {
    return ::fsync(fd);
}

int fsys_posix::syncfs(int fd) {
    return ::syncfs(fd);
}

int fsys_posix::statvfs(const char* path, struct statvfs* st) {
    return ::statvfs(path, st);
}

int fsys_posix::close(int fd) {
    return ::close(fd);
}

int fsys_posix::fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}

int fsys_posix::stat(const char* path, struct stat* st) {
    return ::stat(path, st);
}

int fsys_posix::lstat(const char* path, struct stat* st) {
    return ::lstat(path, st);
}

int fsys_posix::rename(const char* from, const char* to) {
    return ::rename(from, to);
}

int fsys_posix::unlink(const char* path) {
    return ::unlink(path);
}

int fsys_posix::mkdir(const char* path, mode_t mode) {
    return ::mkdir(path, mode);
}

fsys_scope::fsys_scope(fsys* f) : saved_(fsys_detail::current.exchange(f)) {}

fsys_scope::~fsys_scope() {
    fsys_detail::current.store(saved_, std::memory_order_release);
}
