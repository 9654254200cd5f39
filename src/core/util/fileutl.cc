// File and directory helpers: temporary directory and files, paths, gzip.
#include "core/util/fileutl.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "core/util/fsys.h"

namespace {
std::string g_tmpdir;

// Closes a descriptor on scope exit.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) fsys_close(fd);
    }
};

}  // namespace

bool fileutl_write_all(int fd, const void* data, size_t n) {
    auto* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = fsys_write(fd, p, n);
        if (w < 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

const char* fileutl_get_tmpdir() {
    if (g_tmpdir.empty()) {
        const char* t = getenv("VERDANE_TMP");
        g_tmpdir = (t && *t) ? t : std::string(tbs_product_dir()) + "/tmp";
    }
    return g_tmpdir.c_str();
}

void fileutl_reset_tmpdir() {
    g_tmpdir.clear();
}

tbs_status_t fileutl_mkdir_p(const char* path, mode_t mode) {
    if (!path || !*path) return tbs_errno2status(EINVAL);
    std::string p(path);
    struct stat st;
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i != p.size() && p[i] != '/') continue;
        std::string part = p.substr(0, i);
        if (fsys_mkdir(part.c_str(), mode) == 0) continue;
        int err = errno;
        if (err == EEXIST && fsys_stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
        return tbs_errno2status(err == EEXIST ? ENOTDIR : err);
    }
    return TBS_ST_OK;
}

tbs_status_t fileutl_private_dir(const char* path) {
    tbs_status_t st = fileutl_mkdir_p(path, 0700);
    if (st != TBS_ST_OK) return st;
    struct stat info;
    if (fsys_lstat(path, &info) != 0) return tbs_errno2status(errno);
    if (!S_ISDIR(info.st_mode)) return tbs_errno2status(ENOTDIR);
    if (info.st_uid != geteuid()) return TBS_ST_PERMISSION;
    // Also what the umask took from a directory just made: 0700 exactly.
    if ((info.st_mode & 07777) != 0700 && chmod(path, 0700) != 0) return tbs_errno2status(errno);
    return TBS_ST_OK;
}

tbs_status_t fileutl_rm(const char* path) {
    if (fsys_unlink(path) == 0) return TBS_ST_OK;
    return tbs_errno2status(errno);
}

tbs_status_t fileutl_copy(const char* src, const char* dst, size_t bufsize) {
    tbs_status_t st = TBS_ST_OK;
    int in = fsys_open(src, O_RDONLY | O_CLOEXEC);
    int out = -1;
    struct stat info;
    if (in < 0 || fsys_fstat(in, &info) != 0) {
        st = tbs_errno2status(errno);
    } else {
        // A copy is as large as its source: it must leave the free-space reserve free.
        std::string dir(dst);
        size_t slash = dir.rfind('/');
        dir = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
        st = fileutl_check_reserve(dir.c_str(), static_cast<uint64_t>(info.st_size));
        if (st == TBS_ST_OK) {
            out = fsys_open(dst, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, info.st_mode & 07777);
            if (out < 0) st = tbs_errno2status(errno);
        }
    }
    std::vector<char> buf(bufsize > 0 ? bufsize : 8192);
    while (st == TBS_ST_OK) {
        ssize_t n = fsys_read(in, buf.data(), buf.size());
        if (n < 0) st = tbs_errno2status(errno);
        if (n <= 0) break;
        if (!fileutl_write_all(out, buf.data(), static_cast<size_t>(n)))
            st = tbs_errno2status(errno);
    }
    if (out >= 0 && fsys_close(out) != 0 && st == TBS_ST_OK) st = tbs_errno2status(errno);
    if (in >= 0) fsys_close(in);
    if (st != TBS_ST_OK && out >= 0) fsys_unlink(dst);
    return st;
}

bool fileutl_exists(const char* path) {
    struct stat st;
    return path && fsys_stat(path, &st) == 0;
}

bool fileutl_join(char* buf, size_t size, const char* dir, const char* leaf) {
    int n = snprintf(buf, size, "%s/%s", dir, leaf);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        if (size) buf[0] = '\0';
        return false;
    }
    return true;
}

void fileutl_random_name(char* buf, size_t len) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char rnd[64];
    size_t done = 0;
    while (done < len) {
        size_t want = len - done < sizeof rnd ? len - done : sizeof rnd;
        ssize_t got = getrandom(rnd, want, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            abort();
        }
        for (ssize_t i = 0; i < got; ++i) buf[done++] = kChars[rnd[i] % 62];
    }
    buf[len] = '\0';
}

int fileutl_create_temp(const char* dir, const char* prefix, mode_t mode, char* path, size_t size) {
    return fileutl_create_temp_ext(dir, prefix, nullptr, mode, path, size);
}

namespace {

constexpr size_t kPidDigits = 8, kRandomChars = 12;

// This host's tag in temporary names: the letters and digits of its name.
const std::string& host_tag() {
    static const std::string tag = [] {
        char name[256] = {};
        std::string t;
        if (gethostname(name, sizeof name - 1) == 0)
            for (const char* c = name; *c && t.size() < FILEUTL_HOST_TAG_MAX; ++c)
                if (isalnum(static_cast<unsigned char>(*c))) t += *c;
        return t.empty() ? std::string("host") : t;
    }();
    return tag;
}

}  // namespace

bool fileutl_temp_writer_alive(const char* tagged) {
    if (!tagged) return false;
    size_t len = strcspn(tagged, ".");
    const std::string& host = host_tag();
    if (len != host.size() + kPidDigits + kRandomChars ||
        strncmp(tagged, host.c_str(), host.size()) != 0)
        return false;
    char digits[kPidDigits + 1] = {};
    memcpy(digits, tagged + host.size(), kPidDigits);
    char* end = nullptr;
    unsigned long pid = strtoul(digits, &end, 16);
    if (*end || pid == 0 || pid > static_cast<unsigned long>(INT32_MAX)) return false;
    // A process's own files are judged by their locks alone, which it sees.
    if (static_cast<pid_t>(pid) == getpid()) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

int fileutl_create_temp_ext(const char* dir, const char* prefix, const char* ext, mode_t mode,
                            char* path, size_t size) {
    const bool has_ext = ext && *ext;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char leaf[kRandomChars + 1];
        fileutl_random_name(leaf, kRandomChars);
        int n =
            snprintf(path, size, "%s/%s%s%08x%s%s%s", dir, prefix, host_tag().c_str(),
                     static_cast<unsigned>(getpid()), leaf, has_ext ? "." : "", has_ext ? ext : "");
        if (n < 0 || static_cast<size_t>(n) >= size) {
            errno = ENAMETOOLONG;
            return -1;
        }
        int fd = fsys_open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            // Fresh and just made by us: nobody else can hold its lock yet.
            fileutl_lock_temp(fd);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

// The gzip side of these two is zlib's own file, read and written by zlib outside the file
// system seam; the plain side goes through it.
tbs_status_t fileutl_gunzip(const char* src, const char* dst) {
    gzFile in = gzopen(src, "rb");
    if (!in) return tbs_errno2status(errno ? errno : EIO);
    Fd out;
    out.fd = fsys_open(dst, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out.fd < 0) {
        int err = errno;
        gzclose(in);
        return tbs_errno2status(err);
    }
    gzbuffer(in, 64 * 1024);
    // On the heap when used: a static per-thread buffer would be laid out, and cleared, for
    // every thread of every process that links this file.
    std::vector<char> block(64 * 1024);
    char* const buf = block.data();
    const size_t buf_size = block.size();
    tbs_status_t st = TBS_ST_OK;
    bool first = true;
    for (;;) {
        int n = gzread(in, buf, static_cast<unsigned>(buf_size));
        if (first && n >= 0 && gzdirect(in)) {
            st = TBS_ST_ERR;  // not gzip data: zlib would copy it through unchanged
            break;
        }
        first = false;
        if (n < 0) {
            st = TBS_ST_ERR;  // corrupt or truncated compressed data
            break;
        }
        if (n == 0) {
            // gzread returns 0 both at a clean end and at a truncated stream.
            int zerr = Z_OK;
            gzerror(in, &zerr);
            if (zerr != Z_OK && zerr != Z_STREAM_END) st = TBS_ST_ERR;
            break;
        }
        if (!fileutl_write_all(out.fd, buf, static_cast<size_t>(n))) {
            st = tbs_errno2status(errno);
            break;
        }
    }
    if (gzclose(in) != Z_OK && st == TBS_ST_OK) st = TBS_ST_ERR;
    int fd = out.fd;
    out.fd = -1;
    if (fsys_close(fd) != 0 && st == TBS_ST_OK) st = tbs_errno2status(errno);
    return st;
}

tbs_status_t fileutl_gzip(const char* src, const char* dst, int level) {
    Fd in;
    in.fd = fsys_open(src, O_RDONLY | O_CLOEXEC);
    if (in.fd < 0) return tbs_errno2status(errno);
    char mode[8];
    snprintf(mode, sizeof mode, "wb%d", level < 0 ? 6 : level > 9 ? 9 : level);
    gzFile out = gzopen(dst, mode);
    if (!out) return tbs_errno2status(errno ? errno : EIO);
    std::vector<char> block(64 * 1024);  // on the heap when used, as in fileutl_gunzip
    char* const buf = block.data();
    const size_t buf_size = block.size();
    tbs_status_t st = TBS_ST_OK;
    for (;;) {
        ssize_t n = fsys_read(in.fd, buf, buf_size);
        if (n < 0) {
            st = tbs_errno2status(errno);
            break;
        }
        if (n == 0) break;
        if (gzwrite(out, buf, static_cast<unsigned>(n)) != n) {
            st = TBS_ST_ERR;
            break;
        }
    }
    if (gzclose(out) != Z_OK && st == TBS_ST_OK) st = TBS_ST_ERR;
    return st;
}

bool fileutl_lock_temp(int fd) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EINTR) return false;
    }
}

namespace {

// Opens `path` holding its writer lock when it is stale: a regular file its writer's name
// does not show alive, unchanged for `min_age_s`, whose lock is free. The descriptor (to
// close), or -1 when the file is not stale; `held` gets the locked file's status.
int lock_if_stale(const std::string& path, const char* tagged, int64_t min_age_s, time_t now,
                  struct stat* held) {
    if (fileutl_temp_writer_alive(tagged)) return -1;
    struct stat before;
    if (fsys_lstat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return -1;
    if (static_cast<int64_t>(now - before.st_mtime) < min_age_s) return -1;
    int fd = fsys_open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (fileutl_lock_temp(fd) && fsys_fstat(fd, held) == 0 &&
        static_cast<int64_t>(now - held->st_mtime) >= min_age_s)
        return fd;
    fsys_close(fd);
    return -1;
}

// Removes `path` when it is stale. The lock is held across the unlink, and the name must
// still lead to the file locked, so a file that a writer renamed or replaced meanwhile is
// left alone.
bool remove_if_stale(const std::string& path, const char* tagged, int64_t min_age_s, time_t now) {
    struct stat held, now_named;
    int fd = lock_if_stale(path, tagged, min_age_s, now, &held);
    if (fd < 0) return false;
    const bool removed = fsys_lstat(path.c_str(), &now_named) == 0 &&
                         now_named.st_ino == held.st_ino && now_named.st_dev == held.st_dev &&
                         fsys_unlink(path.c_str()) == 0;
    fsys_close(fd);
    return removed;
}

// Calls `fn` with the name and the part after its prefix of each entry of `dir` whose name
// begins with one of the `count` `prefixes`.
template <class Fn>
tbs_status_t each_temp(const char* dir, const char* const* prefixes, size_t count, Fn fn) {
    if (!dir || (count && !prefixes)) return tbs_errno2status(EINVAL);
    DIR* d = ::opendir(dir);
    if (!d) return errno == ENOENT ? TBS_ST_OK : tbs_errno2status(errno);
    while (struct dirent* e = ::readdir(d)) {
        for (size_t i = 0; i < count; ++i) {
            if (strncmp(e->d_name, prefixes[i], strlen(prefixes[i])) == 0) {
                fn(e->d_name, e->d_name + strlen(prefixes[i]));
                break;
            }
        }
    }
    ::closedir(d);
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t fileutl_sweep_temps(const char* dir, const char* const* prefixes, size_t count,
                                 int64_t min_age_s, int* removed) {
    if (removed) *removed = 0;
    const time_t now = ::time(nullptr);
    int n = 0;
    tbs_status_t st = each_temp(dir, prefixes, count, [&](const char* name, const char* tagged) {
        if (remove_if_stale(std::string(dir) + "/" + name, tagged, min_age_s, now)) ++n;
    });
    if (removed) *removed = n;
    return st;
}

tbs_status_t fileutl_list_stale_temps(const char* dir, const char* const* prefixes, size_t count,
                                      int64_t min_age_s, std::vector<std::string>* names) {
    names->clear();
    const time_t now = ::time(nullptr);
    tbs_status_t st = each_temp(dir, prefixes, count, [&](const char* name, const char* tagged) {
        struct stat held;
        int fd = lock_if_stale(std::string(dir) + "/" + name, tagged, min_age_s, now, &held);
        if (fd < 0) return;
        fsys_close(fd);
        names->push_back(name);
    });
    std::sort(names->begin(), names->end());
    return st;
}

bool fileutl_sweep_due(const char* stamp) {
    struct stat st;
    if (fsys_stat(stamp, &st) == 0 && ::time(nullptr) - st.st_mtime < FILEUTL_SWEEP_INTERVAL_S)
        return false;
    int fd = fsys_open(stamp, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::futimens(fd, nullptr);
        fsys_close(fd);
    }
    return true;
}

void fileutl_sweep_site_temps() {
    // The web layer's temporary files: interaction-request and cancel channel files and
    // fetched version contents in the temporary directory, uploaded bodies in its upload
    // area.
    static const char* const kChannels[] = {"qlmx_ireq", "qlmx_cancel_", "qlmx_cltxt_"};
    static const char* const kUploads[] = {"QLMX"};
    static std::mutex mu;
    static std::string swept;
    std::lock_guard<std::mutex> lock(mu);
    const std::string dir = fileutl_get_tmpdir();
    if (swept == dir) return;
    swept = dir;
    if (!fileutl_sweep_due((dir + "/.sweep-stamp").c_str())) return;
    fileutl_sweep_temps(dir.c_str(), kChannels, std::size(kChannels), FILEUTL_STALE_TEMP_S,
                        nullptr);
    fileutl_sweep_temps((dir + "/QLMXuploadtmp").c_str(), kUploads, 1, FILEUTL_STALE_TEMP_S,
                        nullptr);
}

uint64_t fileutl_reserve_bytes() {
    uint64_t mb = FILEUTL_DEFAULT_RESERVE_MB;
    if (const char* v = getenv("VERDANE_MIN_FREE_MB"); v && *v) {
        char* end = nullptr;
        errno = 0;
        unsigned long long n = strtoull(v, &end, 10);
        // A value that does not read as a number keeps the default rather than no reserve.
        if (errno == 0 && end && *end == '\0' && v[0] != '-') mb = n;
    }
    return mb > (UINT64_MAX >> 20) ? UINT64_MAX : mb << 20;
}

tbs_status_t fileutl_check_reserve(const char* dir, uint64_t bytes) {
    if (!dir || !*dir) return tbs_errno2status(EINVAL);
    const uint64_t reserve = fileutl_reserve_bytes();
    if (reserve == 0) return TBS_ST_OK;
    struct statvfs vfs;
    // A file system that cannot say how full it is is not refused: the write itself will
    // tell.
    if (fsys_statvfs(dir, &vfs) != 0) return TBS_ST_OK;
    // What an unprivileged writer may use; the blocks kept for root are the system's own
    // reserve.
    const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    const uint64_t avail = static_cast<uint64_t>(vfs.f_bavail) * unit;
    if (avail < reserve || avail - reserve < bytes) return tbs_errno2status(ENOSPC);
    return TBS_ST_OK;
}
