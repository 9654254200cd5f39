// Files of the interaction channel: names for request and response files in the core's
// temporary directory, and whole-file reads, writes and removals.
//
// The two sides of an exchange are different processes that meet only through these
// files, so a writer always writes under a temporary name beside the target and renames
// it into place: a reader sees no file or the whole file, never part of one. Files are
// made readable by the site's account only (answers may carry credentials), and neither
// reads nor writes follow a symbolic link at the final name.
#ifndef INTERACT_IREQ_FILE_H
#define INTERACT_IREQ_FILE_H

#include <cstddef>

#include "core/stg/stg.h"

#define IREQ_TEMP_PREFIX "qlmx_ireq"
#define IREQ_TEMP_EXT "msg"
// Suffix of the name a file is written under before it is renamed into place.
#define IREQ_WRITE_SUFFIX "_temp"
// Longest name, in characters, a file is written under (the path and the suffix).
constexpr size_t IREQ_WRITE_PATH_MAX = 260;
// Largest file a read accepts; channel messages are a few lines.
constexpr size_t IREQ_READ_MAX = 1 << 20;

// Reserves a fresh name "qlmx_ireq<random>.msg" in the core's temporary directory (made
// when missing) and writes it into `buf` (`size` bytes). The file is created exclusively
// to claim the name and removed again, so the name is free for the writer that follows.
// 0 on success; 1 (and the empty string in a non-empty buffer) when no name could be made,
// for instance when it does not fit `size`.
int ireq_temp_filename(char* buf, size_t size);

// 0 with the whole file in `area` (NUL terminated) in `*text`; 0 with null `*text` when
// there is no file or it is empty; 1 when it cannot be read (including a symbolic link,
// something other than a regular file, or more than IREQ_READ_MAX bytes).
int ireq_read_file(const char* path, stg_area_t* area, char** text);

// Writes `text` to `path` + "_temp" and renames that onto `path`. 1 on failure (a null
// argument, a temporary name longer than IREQ_WRITE_PATH_MAX, any I/O error), leaving no
// temporary file behind.
int ireq_write_file(const char* path, const char* text);

// Removes the file when it exists; 1 when it still exists afterwards or `path` is null.
int ireq_delete_file(const char* path);

// 1 when something exists at `path` (a symbolic link counts as itself), else 0.
int ireq_file_exists(const char* path);

#endif
