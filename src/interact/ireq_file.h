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

// Removes the file when it exists; 1 when the removal failed and it is still there, or
// `path` is null.
int ireq_delete_file(const char* path);

// 1 when something exists at `path` (a symbolic link counts as itself), else 0.
int ireq_file_exists(const char* path);

// A request waits for its answer under a marker: the response file's name plus
// IREQ_WAIT_SUFFIX, made by the waiting process, which holds the marker's writer lock
// (fileutl_lock_temp) for as long as it waits. An answer is written only where a live
// process of the same user holds such a marker, so a client cannot make the site write a
// file that no request waits for; the lock also keeps sweeps of stale temporaries away.
#define IREQ_WAIT_SUFFIX "_wait"
// Starts the wait for the answer at `path`: makes and locks its marker. The descriptor to
// hand to ireq_wait_end, or -1 when the marker cannot be made.
int ireq_wait_begin(const char* path);
// Ends the wait begun with `fd`: removes the marker and drops its lock.
void ireq_wait_end(const char* path, int fd);
// 1 when a live request waits for an answer at `path`, else 0.
int ireq_is_awaited(const char* path);

#endif
