// Status codes and their texts, errno mapping, UUIDs and product directories.
//
// Every call of the core returns a `tbs_status_t`; 0 is success. Codes 1 .. 999 are
// operating-system errno values carried unchanged; 1000 and above are the core's own;
// 100000 and above are the web protocol's codes, which the core only names.
#ifndef CORE_TBS_TBS_H
#define CORE_TBS_TBS_H

#include <cstddef>
#include <cstdint>
#include <string>

typedef int32_t tbs_status_t;

// Every status the core, the web layer and the protocol name: one row each of name, number
// and text, kept sorted by number. Numbers travel on the wire and sit in stored files, so
// a row's number never changes; 1 .. 999 are errno values and have no rows. Expand with
// a macro X(name, number, text).
#define TBS_STATUS_TABLE(X)                                                                     \
    X(TBS_ST_ERR, 1001, "Error")           /* general failure */                                \
    X(TBS_ST_NOT_FOUND, 1002, "Not found") /* name or object not found */                       \
    X(TBS_ST_NAME_NOT_FOUND, 1003,                                                              \
      "No such file or directory in the view")      /* pathname does not resolve */             \
    X(TBS_ST_EXISTS, 1004, "Object already exists") /* a name, object or row exists already */  \
    X(TBS_ST_INVALID, 1005, "Invalid argument")     /* bad argument or misuse of a handle */    \
    X(TBS_ST_LOCKED, 1006, "Object is locked")                                                  \
    X(TBS_ST_CHECKED_OUT, 1007,                                                                 \
      "Element is already checked out") /* already checked out in this view, or still in use */ \
    X(TBS_ST_NOT_CHECKED_OUT, 1008, "Element is not checked out")                               \
    X(TBS_ST_RESERVED, 1009, "Checkout is reserved by another view")                            \
    X(TBS_ST_NOT_LATEST, 1010,                                                                  \
      "Version is not the latest on its branch") /* checkout or checkin not from the latest     \
                                                    version */                                  \
    X(TBS_ST_BAD_NAME, 1011, "Name is not valid")                                               \
    X(TBS_ST_DAMAGED, 1012,                                                                     \
      "Storage area is damaged")             /* the file is not a database, or is corrupt */    \
    X(TBS_ST_BUSY, 1013, "Database is busy") /* a lock was not had within the busy timeout */   \
    X(TBS_ST_IDENTICAL, 1014, "Content is identical to its predecessor")                        \
    X(TBS_ST_NOT_DIRECTORY, 1015, "Not a directory")                                            \
    X(TBS_ST_IS_DIRECTORY, 1016, "Is a directory")                                              \
    X(TBS_ST_TYPE_NOT_FOUND, 1017, "Type not found")                                            \
    X(TBS_ST_NOT_SUPPORTED, 1018, "Operation not supported")                                    \
    X(TBS_ST_BAD_SELECTOR, 1019, "Object selector is not valid")                                \
    X(TBS_ST_IN_USE, 1020, "Object is still in use") /* a type or branch still in use */        \
    X(TBS_ST_TOO_LONG, 1021, "Text is too long")     /* a text beyond its limit */              \
    X(TBS_ST_NOT_ELEMENT, 1022, "Not an element")                                               \
    X(TBS_ST_NO_VTFS, 1023,                                                                     \
      "VTFS is not configured") /* dynamic views need a virtual file system */                  \
    X(TBS_ST_VIEW_CONFLICT, 1024, "Another load session holds the view")                        \
    X(TBS_ST_TRIGGER_FAILED, 1025, "Operation cancelled by a trigger")                          \
    X(TBS_ST_MERGE_CONFLICT, 1026, "Merge has conflicts for the user to resolve")               \
    X(TBS_ST_WARNING, 1033, "Warning")                /* succeeded with a warning */            \
    X(TBS_ST_OBJ_NOT_FOUND, 1052, "Object not found") /* object id names nothing */             \
    X(TBS_ST_INTERRUPTED, 1055, "Operation cancelled")                                          \
    X(TBS_ST_PERMISSION, 1063, "Permission denied") /* permission or identity denied */         \
    X(TBS_ST_BAD_REQUEST, 1072,                                                                 \
      "Request does not match the operation") /* request does not fit the operation */          \
    X(TBS_ST_LOGIN_REQUIRED, 100001, "Login required")                                          \
    X(TBS_ST_SESSION_EXPIRED, 100002, "Session expired")                                        \
    X(TBS_ST_CS_OUT_OF_STEP, 100003, "Config spec is out of step with the stream")              \
    X(TBS_ST_OP_IN_PROGRESS, 100004, "Operation already in progress")                           \
    X(TBS_ST_NO_OP_IN_PROGRESS, 100005, "No operation in progress")                             \
    X(TBS_ST_MERGE_FROM_LATEST, 100006, "Merge from the latest version required")               \
    X(TBS_ST_CLIENT_TOO_OLD, 100007, "Client protocol version is too old for this server")      \
    X(TBS_ST_UNRECOGNIZED_RPC, 100008, "Unrecognized RPC request or protocol version")          \
    X(TBS_ST_VERSION_NOT_LATEST, 100009, "Version is not the latest on its branch")             \
    X(TBS_ST_VERSION_DISCORDANCE, 100010, "Version discordance")                                \
    X(TBS_ST_VOB_REFORMATTED, 100011, "VOB was reformatted")                                    \
    X(TBS_ST_REQUEST_CANCELLED, 100012, "Request cancelled")                                    \
    X(TBS_ST_IREQ_FAILED, 100013, "Interaction request failed")                                 \
    X(TBS_ST_IREQ_NO_RESPONSE, 100014, "Interaction response not received")                     \
    X(TBS_ST_NOT_WEB_VIEW, 100015, "View is not a web view")                                    \
    X(TBS_ST_COPY_AREA_INVALID, 100016, "Copy area is not valid")                               \
    X(TBS_ST_VIEW_STATE_CHANGED, 100017, "View state has changed")                              \
    X(TBS_ST_CREDENTIALS_REQUIRED, 100018, "Credentials required")                              \
    X(TBS_ST_ELEM_NOT_MASTERED, 100019, "Element is not mastered locally")                      \
    X(TBS_ST_BRTYPE_NOT_MASTERED, 100020, "Branch type is not mastered locally")                \
    X(TBS_ST_BAD_STREAM, 100021, "Stream is not valid")                                         \
    X(TBS_ST_BAD_ACTIVITY, 100022, "Activity is not valid")                                     \
    X(TBS_ST_NOT_CONVERTIBLE, 100023,                                                           \
      "Request text cannot be converted to the server's character set")                         \
    X(TBS_ST_HAS_CHKOUTS, 100024, "Activities have checkouts")                                  \
    X(TBS_ST_NO_WORK, 100025, "Nothing to do")                                                  \
    X(TBS_ST_NO_ACTIVITY, 100026, "The view has no current activity")

#define TBS_STATUS_ENUMERATOR(name, number, text) name = number,
enum : tbs_status_t { TBS_ST_OK = 0, TBS_STATUS_TABLE(TBS_STATUS_ENUMERATOR) };

// Text of a status code; never null. Unknown codes get a generic text.
const char* tbs_strerror(tbs_status_t status);

// Status for an errno value: the errno itself (0 stays 0).
tbs_status_t tbs_errno2status(int err);

// The version-extended naming symbol: what joins an element's pathname and a version, a
// branch or nothing ("src/a.c@@/main/3", "src/a.c@@"). Every parser and printer of such
// names uses this one constant.
constexpr char TBS_VER_EXT[] = "@@";
constexpr size_t TBS_VER_EXT_LEN = sizeof TBS_VER_EXT - 1;

// A UUID or object id: 16 bytes, written as 32 lower-case hexadecimal digits.
struct tbs_uuid_t {
    uint8_t bytes[16];
};
typedef tbs_uuid_t tbs_oid_t;

enum { TBS_UUID_STR_SIZE = 33 };  // 32 digits and the terminating NUL

bool tbs_uuid_is_null(const tbs_uuid_t& u);
tbs_uuid_t tbs_uuid_null();
// Fresh random (version 4) UUID.
tbs_uuid_t tbs_uuid_create();
// Writes the 32-digit form into `buf` (at least TBS_UUID_STR_SIZE bytes).
void tbs_uuid_to_str(const tbs_uuid_t& u, char* buf);
// The same 32-digit form as a string.
std::string tbs_uuid_text(const tbs_uuid_t& u);
// Parses exactly 32 hexadecimal digits (either case); anything else fails with
// TBS_ST_ERR and leaves `out` null.
tbs_status_t tbs_uuid_from_str(const char* text, tbs_uuid_t* out);

// Product directories. The product directory is $VERDANE_HOME, or "/opt/verdane" when
// that is unset; the others lie below it.
const char* tbs_product_dir();
const char* tbs_product_config_dir();  // <product>/config
const char* tbs_product_log_dir();     // <product>/log
const char* tbs_product_tool_dir();    // <product>/bin
// Forgets the cached product directory (for tests that switch VERDANE_HOME).
void tbs_reset_product_dir();

// The core's own site settings: lines "name = value" in <config>/site.conf ('#' starts a
// comment line). The value of `name`, blanks around it removed; the empty text when the
// file or the setting is absent. Read afresh at every call: callers ask once per use.
std::string tbs_site_setting(const char* name);

#endif
