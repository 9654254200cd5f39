// Server locks: advisory locks that coordinate separate processes through a lock file.
//
// The lock is an exclusive `flock` on the named file, so a process that dies releases it
// with its descriptors; no stale lock survives a crash. The file holds the owner's
// process id for diagnosis.
#ifndef CORE_UTIL_SRVLOCK_H
#define CORE_UTIL_SRVLOCK_H

#include "core/tbs/tbs.h"

// Tries once to take the lock named by `lock_path` (created when missing). On success
// `handle` receives a handle of 0 or more; a lock held elsewhere gives TBS_ST_ERR.
tbs_status_t server_lock_set(const char* lock_path, int* handle);
// Releases a lock taken with `server_lock_set`.
tbs_status_t server_lock_clear(const char* lock_path, int handle);

#endif
