// File and directory helpers of the core.
#ifndef CORE_UTIL_FILEUTL_H
#define CORE_UTIL_FILEUTL_H

#include <sys/types.h>

#include <cstddef>

#include "core/tbs/tbs.h"

// The core's temporary directory: $VERDANE_TMP when set, else <product>/tmp.
const char* fileutl_get_tmpdir();
void fileutl_reset_tmpdir();

// Creates `path` and its missing parents with `mode` (subject to the umask); an existing
// directory is fine.
tbs_status_t fileutl_mkdir_p(const char* path, mode_t mode);
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

// Creates a new file in `dir` named `prefix` plus random characters, exclusively, with
// `mode` (subject to the umask). On success the open descriptor is returned and `path`
// (`size` bytes) holds its pathname; on failure -1 with errno set.
int fileutl_create_temp(const char* dir, const char* prefix, mode_t mode, char* path, size_t size);
// The same with the name ending in "." and `ext` (none for a null or empty `ext`).
int fileutl_create_temp_ext(const char* dir, const char* prefix, const char* ext, mode_t mode,
                            char* path, size_t size);

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
