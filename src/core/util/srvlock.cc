// Lock files held with flock.
#include "core/util/srvlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

tbs_status_t server_lock_set(const char* lock_path, int* handle) {
    *handle = -1;
    int fd = ::open(lock_path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return tbs_errno2status(errno);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? TBS_ST_ERR : tbs_errno2status(err);
    }
    char pid[24];
    int n = snprintf(pid, sizeof pid, "%ld\n", static_cast<long>(getpid()));
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid, static_cast<size_t>(n), 0) < 0) {
        // The pid is only informative; the flock is the lock.
    }
    *handle = fd;
    return TBS_ST_OK;
}

tbs_status_t server_lock_clear(const char*, int handle) {
    if (handle < 0) return tbs_errno2status(EBADF);
    ::flock(handle, LOCK_UN);
    if (::close(handle) != 0) return tbs_errno2status(errno);
    return TBS_ST_OK;
}
