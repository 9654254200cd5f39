// The core's own message catalog: one row of name, message number and text per message.
//
// Unlike the web layer's catalogs, this one is addressed by message number, not index
// (imsg_core_error looks the number up), so each name's value is its message number. The
// web layer and stored texts know these messages by number: a row's number and text never
// change, a row is never removed, and the numbers ascend (checked where the catalog is
// built, in core_catalog.cc).
#ifndef CORE_IMSG_IMSG_CORE_CATALOG_H
#define CORE_IMSG_IMSG_CORE_CATALOG_H

// Rows X(name, number, text), sorted by number.
// clang-format off
#define IMSG_CORE_CATALOG(X) \
    X(IMSG_CORE_GENERIC_ERROR, 1, "Error: %s\n") \
    X(IMSG_CORE_GENERIC_WARNING, 2, "Warning: %s\n") \
    X(IMSG_CORE_OPEN_FAILED, 18, "Unable to open file \"%s\": %s.\n") \
    X(IMSG_CORE_CREATE_FAILED, 19, "Unable to create file \"%s\": %s.\n") \
    X(IMSG_CORE_READ_FAILED, 20, "Error reading \"%s\": %s.\n") \
    X(IMSG_CORE_WRITE_FAILED, 21, "Error writing \"%s\": %s.\n") \
    X(IMSG_CORE_REMOVE_FAILED, 22, "Unable to remove \"%s\": %s.\n") \
    X(IMSG_CORE_RENAME_FAILED, 23, "Unable to rename \"%s\" to \"%s\": %s.\n") \
    X(IMSG_CORE_MKDIR_FAILED, 24, "Unable to create directory \"%s\": %s.\n") \
    X(IMSG_CORE_ACCESS_FAILED, 25, "Unable to access \"%s\": %s.\n") \
    X(IMSG_CORE_COPY_FAILED, 26, "Unable to copy \"%s\" to \"%s\": %s.\n") \
    X(IMSG_CORE_NO_FILE_HANDLE, 38, "No file handle is recorded for \"%s\".\n") \
    X(IMSG_CORE_OP_FAILED, 46, "Operation \"%s\" failed: %s.\n") \
    X(IMSG_CORE_OP_FAILED_ON, 47, "Operation \"%s\" failed on \"%s\": %s.\n") \
    X(IMSG_CORE_NO_RESERVE, 60, "Not enough free space in \"%s\" to store %llu bytes and keep the reserve of %llu MiB free (VERDANE_MIN_FREE_MB).\n") \
    X(IMSG_CORE_ILLEGAL_OPTION, 61, "Illegal option \"%s\": not allowed here.\n") \
    X(IMSG_CORE_CHDIR_FAILED, 62, "Unable to change directory to \"%s\": %s.\n") \
    X(IMSG_CORE_CLIENT_TOO_OLD, 158, "The client's protocol version %d is older than the oldest version this server supports (%d).\n") \
    X(IMSG_CORE_CLIENT_TOO_NEW, 159, "The client's protocol version %d is newer than the newest version this server supports (%d).\n")
// clang-format on

#define IMSG_CORE_ENUMERATOR(name, number, text) name = number,
enum imsg_core_msg_t : int { IMSG_CORE_CATALOG(IMSG_CORE_ENUMERATOR) };

#endif
