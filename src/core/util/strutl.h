// Whole-file reads and writes, and bounded string joins.
#ifndef CORE_UTIL_STRUTL_H
#define CORE_UTIL_STRUTL_H

#include <cstddef>

#include "core/stg/stg.h"
#include "core/tbs/tbs.h"

// Reads the whole file into `area` (NUL terminated; `len`, when given, gets its length).
// With `missing_ok` a file that does not exist reads as the empty text.
tbs_status_t strutl_read(const char* path, bool missing_ok, stg_area_t* area, char** contents,
                         size_t* len = nullptr);

// Replaces the file's contents with `contents` (`len` bytes, or up to the NUL when
// `len` is (size_t)-1). The new contents are written to a temporary file beside the
// target and renamed over it, so a reader sees the old file or the new one, never a mix.
// With `durable` the data is flushed to disk before the rename.
tbs_status_t strutl_write(const char* path, const char* contents, bool durable,
                          size_t len = static_cast<size_t>(-1));

// Joins `count` strings into `buf` of `size` bytes. Fails (TBS_ST_ERR, empty buffer)
// instead of truncating.
tbs_status_t strutl_concat(char* buf, size_t size, int count, ...);

#endif
