// Whole-file reads, atomic whole-file writes, bounded joins and the string encoding pair.
#include "core/util/strutl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/util/fileutl.h"
#include "core/util/fsys.h"

tbs_status_t strutl_read(const char* path, bool missing_ok, stg_area_t* area, char** contents,
                         size_t* len) {
    *contents = nullptr;
    if (len) *len = 0;
    int fd = fsys_open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT && missing_ok) {
            *contents = static_cast<char*>(stg_alloc(area, 1));
            if (!*contents) return tbs_errno2status(ENOMEM);
            **contents = '\0';
            return TBS_ST_OK;
        }
        return tbs_errno2status(errno);
    }
    struct stat st;
    if (fsys_fstat(fd, &st) != 0) {
        int err = errno;
        fsys_close(fd);
        return tbs_errno2status(err);
    }
    // The file may grow while it is read; read what is there, growing the copy as needed.
    size_t cap = static_cast<size_t>(st.st_size) + 1;
    char* buf = static_cast<char*>(stg_alloc(area, cap + 1));
    size_t used = 0;
    while (buf) {
        if (used == cap) {
            char* bigger = static_cast<char*>(stg_alloc(area, cap * 2 + 1));
            if (!bigger) {
                buf = nullptr;
                break;
            }
            memcpy(bigger, buf, used);
            buf = bigger;
            cap *= 2;
        }
        ssize_t n = fsys_read(fd, buf + used, cap - used);
        if (n < 0) {
            int err = errno;
            fsys_close(fd);
            return tbs_errno2status(err);
        }
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    fsys_close(fd);
    if (!buf) return tbs_errno2status(ENOMEM);
    buf[used] = '\0';
    *contents = buf;
    if (len) *len = used;
    return TBS_ST_OK;
}

tbs_status_t strutl_write(const char* path, const char* contents, bool durable, size_t len) {
    if (!contents) contents = "";
    if (len == static_cast<size_t>(-1)) len = strlen(contents);
    std::string dir(path);
    size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
    std::string tmp(dir.size() + 32, '\0');
    int fd = fileutl_create_temp(dir.c_str(), ".wr", 0666, tmp.data(), tmp.size());
    if (fd < 0) return tbs_errno2status(errno);
    tmp.resize(strlen(tmp.c_str()));
    tbs_status_t st = TBS_ST_OK;
    if (!fileutl_write_all(fd, contents, len)) st = tbs_errno2status(errno);
    // Keep the mode of the file being replaced.
    struct stat old;
    if (st == TBS_ST_OK && fsys_stat(path, &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    if (st == TBS_ST_OK && durable && fsys_fsync(fd) != 0) st = tbs_errno2status(errno);
    if (fsys_close(fd) != 0 && st == TBS_ST_OK) st = tbs_errno2status(errno);
    if (st == TBS_ST_OK && fsys_rename(tmp.c_str(), path) != 0) st = tbs_errno2status(errno);
    if (st != TBS_ST_OK) fsys_unlink(tmp.c_str());
    return st;
}

tbs_status_t strutl_concat(char* buf, size_t size, int count, ...) {
    if (!buf || size == 0) return TBS_ST_ERR;
    size_t used = 0;
    va_list ap;
    va_start(ap, count);
    tbs_status_t st = TBS_ST_OK;
    for (int i = 0; i < count; ++i) {
        const char* s = va_arg(ap, const char*);
        if (!s) continue;
        size_t n = strlen(s);
        if (n >= size - used) {
            st = TBS_ST_ERR;
            break;
        }
        memcpy(buf + used, s, n);
        used += n;
    }
    va_end(ap);
    buf[st == TBS_ST_OK ? used : 0] = '\0';
    return st;
}

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

tbs_status_t fail_empty(char* buf, size_t size) {
    if (buf && size) buf[0] = '\0';
    return TBS_ST_ERR;
}

}  // namespace

tbs_status_t strutl_extract_head(const char* text, char* buf, size_t size) {
    if (!text || !buf) return fail_empty(buf, size);
    const size_t n = strlen(text);
    const size_t marker = sizeof STRUTL_EXTRACT_MARKER - 1;
    // Compare without forming 2n + marker + 1, which could wrap for absurd n.
    if (size <= marker || (size - marker - 1) / 2 < n) return fail_empty(buf, size);
    memcpy(buf, STRUTL_EXTRACT_MARKER, marker);
    char* out = buf + marker;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        *out++ = kHexDigits[c >> 4];
        *out++ = kHexDigits[c & 0xf];
    }
    *out = '\0';
    return TBS_ST_OK;
}

tbs_status_t strutl_extract_tail(const char* text, char* buf, size_t size) {
    if (!text || !buf || size == 0) return fail_empty(buf, size);
    const size_t marker = sizeof STRUTL_EXTRACT_MARKER - 1;
    if (strncmp(text, STRUTL_EXTRACT_MARKER, marker) != 0) return fail_empty(buf, size);
    const char* in = text + marker;
    const size_t n = strlen(in);
    if (n % 2 != 0 || n / 2 >= size) return fail_empty(buf, size);
    for (size_t i = 0; i < n / 2; ++i) {
        int hi = hex_value(in[2 * i]);
        int lo = hex_value(in[2 * i + 1]);
        if (hi < 0 || lo < 0 || (hi | lo) == 0) return fail_empty(buf, size);
        buf[i] = static_cast<char>(hi << 4 | lo);
    }
    buf[n / 2] = '\0';
    return TBS_ST_OK;
}
