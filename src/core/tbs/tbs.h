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

enum : tbs_status_t {
    TBS_ST_OK = 0,
    TBS_ST_ERR = 1001,             // general failure
    TBS_ST_NOT_FOUND = 1002,       // name or object not found
    TBS_ST_NAME_NOT_FOUND = 1003,  // pathname does not resolve
    TBS_ST_WARNING = 1033,         // succeeded with a warning
    TBS_ST_OBJ_NOT_FOUND = 1052,   // object id names nothing
    TBS_ST_INTERRUPTED = 1055,     // operation cancelled
    TBS_ST_PERMISSION = 1063,      // permission or identity denied
    TBS_ST_BAD_REQUEST = 1072,     // request does not fit the operation
};

// Text of a status code; never null. Unknown codes get a generic text.
const char* tbs_strerror(tbs_status_t status);

// Status for an errno value: the errno itself (0 stays 0).
tbs_status_t tbs_errno2status(int err);

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

#endif
