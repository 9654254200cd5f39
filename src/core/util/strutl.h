// Whole-file reads and writes, bounded string joins, and the reversible string encoding pair.
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

// The reversible string encoding pair, used for texts that pass between processes through
// files (answers to interaction requests). The encoded form is the marker "~H:" followed
// by two lower-case hexadecimal digits per byte of the text, so it is plain ASCII without
// line breaks, whatever the text holds. Encoding a text of n bytes takes 2n + 3 characters
// and a NUL: at most STRUTL_EXTRACT_HEAD_SIZE(n) bytes. Decoding takes at most
// STRUTL_EXTRACT_TAIL_SIZE(n) bytes for an input of n characters.
#define STRUTL_EXTRACT_MARKER "~H:"
#define STRUTL_EXTRACT_HEAD_SIZE(n) (2 * (n) + 4)
#define STRUTL_EXTRACT_TAIL_SIZE(n) (2 * (n) + 1)

// Encodes the NUL-terminated `text` into `buf` (`size` bytes). Fails with TBS_ST_ERR (and
// the empty string in a non-empty buffer) for a null argument or a buffer too small.
tbs_status_t strutl_extract_head(const char* text, char* buf, size_t size);
// Decodes the encoded form `text` into `buf` (`size` bytes); hexadecimal digits of either
// case are accepted. Input that is not an encoded form (no marker, an odd number of
// digits or a non-hexadecimal one, an encoded NUL) fails with TBS_ST_ERR, as does a buffer
// too small; `buf` then holds the empty string. Nothing is read past the input's NUL or
// written past `size`.
tbs_status_t strutl_extract_tail(const char* text, char* buf, size_t size);

#endif
