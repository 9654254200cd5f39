// Files of the interaction channel.
#include "interact/ireq_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/util/fileutl.h"
#include "core/util/fsys.h"

namespace {

constexpr mode_t kFileMode = 0600;

// Closes the descriptor when the scope ends.
struct ScopedFd {
    int fd = -1;
    ~ScopedFd() {
        if (fd >= 0) fsys_close(fd);
    }
};

// The owner of the directory holding `path`, or -1 when it cannot be read.
long dir_owner(const char* path) {
    std::string dir(path);
    const size_t slash = dir.find_last_of('/');
    dir.resize(slash == std::string::npos ? 0 : slash);
    struct stat st;
    if (fsys_stat(dir.empty() ? "." : dir.c_str(), &st) != 0) return -1;
    return static_cast<long>(st.st_uid);
}

// Whether a file owned by `uid` may be a peer's: our own, or, for a root process, the
// account a trigger program runs as, which owns the directory the two meet in.
bool peer_owner(const char* path, uid_t uid) {
    return uid == geteuid() || (geteuid() == 0 && static_cast<long>(uid) == dir_owner(path));
}

}  // namespace

int ireq_temp_filename(char* buf, size_t size) {
    if (!buf || size == 0) return 1;
    buf[0] = '\0';
    const char* dir = fileutl_get_tmpdir();
    if (fileutl_mkdir_p(dir, 0777) != 0) return 1;
    int fd = fileutl_create_temp_ext(dir, IREQ_TEMP_PREFIX, IREQ_TEMP_EXT, kFileMode, buf, size);
    if (fd < 0) {
        buf[0] = '\0';
        return 1;
    }
    fsys_close(fd);
    if (buf[0]) fsys_unlink(buf);
    for (char* p = buf; *p; ++p)
        if (*p == '\\') *p = '/';
    return 0;
}

int ireq_read_file(const char* path, stg_area_t* area, char** text) {
    if (text) *text = nullptr;
    if (!path || !area || !text) return 1;
    ScopedFd f;
    f.fd = fsys_open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (f.fd < 0) return errno == ENOENT ? 0 : 1;
    struct stat st;
    if (fsys_fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return 1;
    std::string data;
    char chunk[4096];
    for (;;) {
        ssize_t n = fsys_read(f.fd, chunk, sizeof chunk);
        if (n < 0) return 1;
        if (n == 0) break;
        if (data.size() + static_cast<size_t>(n) > IREQ_READ_MAX) return 1;
        data.append(chunk, static_cast<size_t>(n));
    }
    if (data.empty()) return 0;
    *text = stg_area_strndup(area, data.data(), data.size());
    return *text ? 0 : 1;
}

int ireq_write_file(const char* path, const char* text) {
    if (!path || !*path || !text) return 1;
    char tmp[IREQ_WRITE_PATH_MAX + 1];
    int n = snprintf(tmp, sizeof tmp, "%s%s", path, IREQ_WRITE_SUFFIX);
    if (n < 0 || static_cast<size_t>(n) >= sizeof tmp) return 1;
    // A leftover from an earlier failed write (or anything planted there) is removed, and
    // the temporary file is then created exclusively, so the write never goes through a
    // link to another file.
    if (fsys_unlink(tmp) != 0 && errno != ENOENT) return 1;
    // Like every temporary file of the site, a message never eats into the free-space reserve.
    std::string dir(path);
    dir.resize(dir.find_last_of('/') == std::string::npos ? 0 : dir.find_last_of('/'));
    if (fileutl_check_reserve(dir.empty() ? "." : dir.c_str(), strlen(text)) != TBS_ST_OK) return 1;
    ScopedFd f;
    f.fd = fsys_open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    if (f.fd < 0) return 1;
    bool ok = fileutl_write_all(f.fd, text, strlen(text));
    // A root process answering a program that runs as another account leaves the answer to
    // the account that owns the meeting directory, which alone may read it.
    if (ok && geteuid() == 0) {
        const long owner = dir_owner(path);
        ok = owner <= 0 || fchown(f.fd, static_cast<uid_t>(owner), static_cast<gid_t>(-1)) == 0;
    }
    ok = fsys_close(f.fd) == 0 && ok;
    f.fd = -1;
    ok = ok && fsys_rename(tmp, path) == 0;
    if (!ok) fsys_unlink(tmp);
    return ok ? 0 : 1;
}

namespace {

bool marker_path(const char* path, char* out, size_t size) {
    if (!path || !*path) return false;
    int n = snprintf(out, size, "%s%s", path, IREQ_WAIT_SUFFIX);
    return n > 0 && static_cast<size_t>(n) < size;
}

}  // namespace

int ireq_wait_begin(const char* path) {
    char marker[IREQ_WRITE_PATH_MAX + 1];
    if (!marker_path(path, marker, sizeof marker)) return -1;
    int fd = fsys_open(marker, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    if (fd < 0) return -1;
    if (!fileutl_lock_temp(fd)) {  // fresh and ours: only a failing system refuses
        fsys_close(fd);
        fsys_unlink(marker);
        return -1;
    }
    return fd;
}

void ireq_wait_end(const char* path, int fd) {
    char marker[IREQ_WRITE_PATH_MAX + 1];
    if (fd < 0) return;
    if (marker_path(path, marker, sizeof marker)) fsys_unlink(marker);
    fsys_close(fd);
}

int ireq_is_awaited(const char* path) {
    char marker[IREQ_WRITE_PATH_MAX + 1];
    if (!marker_path(path, marker, sizeof marker)) return 0;
    ScopedFd f;
    f.fd = fsys_open(marker, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (f.fd < 0) return 0;
    struct stat st;
    if (fsys_fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || !peer_owner(marker, st.st_uid))
        return 0;
    // The waiter holds the lock: taking it must fail. A marker whose lock is free was left by
    // a process that is gone.
    return fileutl_lock_temp(f.fd) ? 0 : 1;
}

int ireq_delete_file(const char* path) {
    if (!path) return 1;
    // Once the unlink has taken the file away, a file found there afterwards is the peer's
    // next message (it writes as soon as it sees this one gone), not a failed delete.
    if (fsys_unlink(path) == 0 || errno == ENOENT) return 0;
    return ireq_file_exists(path);
}

int ireq_file_exists(const char* path) {
    struct stat st;
    return path && fsys_lstat(path, &st) == 0 ? 1 : 0;
}
