// File and directory helpers of the core.
#ifndef CORE_UTIL_FILEUTL_H
#define CORE_UTIL_FILEUTL_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"

// The core's temporary directory: $VERDANE_TMP when set, else <product>/tmp.
const char* fileutl_get_tmpdir();
void fileutl_reset_tmpdir();

// Creates `path` and its missing parents with `mode` (subject to the umask); an existing
// directory is fine.
tbs_status_t fileutl_mkdir_p(const char* path, mode_t mode);
// A directory only the site's account may enter, for what it keeps from the users of the
// site (uploads, trace, meter and log files): `path` is created with its missing parents as
// 0700 (whatever the umask); an existing one must be a directory (not a link to one) that
// belongs to this process's user, and is narrowed to 0700 when it is wider (an older release
// made it so). TBS_ST_PERMISSION when it belongs to another user.
tbs_status_t fileutl_private_dir(const char* path);
// Removes a file (not a directory).
tbs_status_t fileutl_rm(const char* path);
bool fileutl_exists(const char* path);

// Joins `dir`, "/" and `leaf` into `buf` of `size` bytes; false when it does not fit
// (the buffer then holds the empty string).
bool fileutl_join(char* buf, size_t size, const char* dir, const char* leaf);

// Writes all `n` bytes, retrying after interruptions and short writes; false (errno
// set) when a write fails.
bool fileutl_write_all(int fd, const void* data, size_t n);

// Writes `len` (< size) random characters from [a-zA-Z0-9] and a NUL into `buf`:
// unpredictable names for temporary files.
void fileutl_random_name(char* buf, size_t len);

// Creates a new file in `dir` named `prefix` plus its writer's tag and random characters,
// exclusively, with `mode` (subject to the umask). The tag names the host (its name's
// letters and digits, at most FILEUTL_HOST_TAG_MAX of them) and the process (8 hexadecimal
// digits) that made the file, so that on a file system several hosts share, each host's
// sweeps tell their own writers from another host's; the name holds only letters and
// digits after `prefix`. On success the open descriptor is returned, holding the file's
// writer lock (see below) until it is closed, and `path` (`size` bytes) holds its
// pathname; on failure -1 with errno set.
int fileutl_create_temp(const char* dir, const char* prefix, mode_t mode, char* path, size_t size);
// The same with the name ending in "." and `ext` (none for a null or empty `ext`).
int fileutl_create_temp_ext(const char* dir, const char* prefix, const char* ext, mode_t mode,
                            char* path, size_t size);

// Stale temporary files. A process killed while writing a temporary file leaves it behind,
// and nothing else will ever remove it; sweeps remove such files once they are older than
// FILEUTL_STALE_TEMP_S. Age alone does not prove a writer dead (a writer may be slow, or
// wait on its client), so the rule has two parts:
//
//   - A writer holds flock(LOCK_EX) on its temporary file for as long as it writes it.
//     fileutl_create_temp takes the lock on the descriptor it returns; it lasts until that
//     descriptor (and every duplicate of it) is closed, and the system drops it when the
//     process dies. A writer that closes its temporary file and opens it again later takes
//     the lock again with `fileutl_lock_temp` on the new descriptor.
//   - A sweep removes a file only when its last change is older than the stale age and it
//     can take that lock without waiting; it keeps the lock while it unlinks the file.
//
// The age covers the moment between a file's creation and its writer taking the lock; the
// lock covers writers of any speed. A file nobody holds open and nobody changed for the
// stale age is dead whatever its name says. One more guard where its name says who wrote
// it: a file made by another process of this host that is still running is never removed,
// of whatever age (locks taken on a network file system may not be seen from another host, so
// another host's files are left to the age and the lock alone).
enum { FILEUTL_STALE_TEMP_S = 3600 };
enum { FILEUTL_HOST_TAG_MAX = 20 };

// Whether the temporary file whose name after its prefix is `tagged` was made by another
// process of this host that is still running. Names without a writer's tag give false.
bool fileutl_temp_writer_alive(const char* tagged);

// Takes the writer lock on the temporary file open as `fd`; false (errno set) when
// another holds it.
bool fileutl_lock_temp(int fd);

// Removes from `dir` (not below it) the regular files whose names begin with one of the
// `count` `prefixes` and that are stale by the rule above for `min_age_s` seconds;
// `removed` (may be null) gets how many went. A directory that does not exist holds none.
tbs_status_t fileutl_sweep_temps(const char* dir, const char* const* prefixes, size_t count,
                                 int64_t min_age_s, int* removed);
// The names (sorted) of the files that fileutl_sweep_temps would remove, none removed.
tbs_status_t fileutl_list_stale_temps(const char* dir, const char* const* prefixes, size_t count,
                                      int64_t min_age_s, std::vector<std::string>* names);

// Sweeps run where every request passes (a VOB's open, the registry's first open in a
// process), so they are paced by a stamp file: a sweep is due when `stamp` is missing or was
// last touched FILEUTL_SWEEP_INTERVAL_S ago or more, and a due check touches it, so that of
// the processes that open at once mostly one sweeps. The common path costs one stat.
enum { FILEUTL_SWEEP_INTERVAL_S = FILEUTL_STALE_TEMP_S / 6 };
bool fileutl_sweep_due(const char* stamp);

// Sweeps the site's temporary directory (fileutl_get_tmpdir(): interaction and cancel
// channel files, fetched version contents) and its upload area for stale files, when due by the
// stamp ".sweep-stamp" there. The registry's first open in a process calls it; later calls for the
// same directory do nothing.
void fileutl_sweep_site_temps();

// The free-space reserve: room every write of contents leaves free, so that a full disk
// still lets the site answer (opening a database in WAL mode needs room for its
// shared-memory file, and every command opens one). VERDANE_MIN_FREE_MB sets it in MiB
// (0 turns the check off); the default is FILEUTL_DEFAULT_RESERVE_MB.
enum { FILEUTL_DEFAULT_RESERVE_MB = 64 };
// The reserve in bytes, read from the environment at each call.
uint64_t fileutl_reserve_bytes();

// TBS_ST_OK when writing `bytes` more into the file system holding `dir` leaves the reserve free;
// else ENOSPC (as status), with nothing written.
tbs_status_t fileutl_check_reserve(const char* dir, uint64_t bytes);

// Copies the file `src` to `dst` (created or replaced, with the permission bits of `src`)
// through a buffer of `bufsize` bytes. A failure leaves no partial `dst` behind; the
// caller reports it (this module sits below the message library).
tbs_status_t fileutl_copy(const char* src, const char* dst, size_t bufsize);

// Uncompresses the gzip file `src` into `dst` (created or truncated). On failure `dst`
// may hold partial output; the caller removes it.
tbs_status_t fileutl_gunzip(const char* src, const char* dst);
// Compresses `src` into the gzip file `dst` at `level` (0-9).
tbs_status_t fileutl_gzip(const char* src, const char* dst, int level);

#endif
