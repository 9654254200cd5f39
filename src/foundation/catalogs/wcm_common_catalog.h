// Message catalog "wcm_common": the messages shared by the request layer: error and
// warning headings, page templates, session data files, and the labels of the dump that
// names request parameters whose text could not be converted to the server's character set.
#ifndef FOUNDATION_CATALOGS_WCM_COMMON_CATALOG_H
#define FOUNDATION_CATALOGS_WCM_COMMON_CATALOG_H

#include "foundation/catalogs/catalogs.h"

// One row per entry, in index order: X(name, number, text). See catalogs.h.
// clang-format off
#define WCM_COMMON_CATALOG(X) \
    X(WCM_COMMON_INTERNAL_OP_FAILED, 5001, "VDSRV5001: The internal operation \"%s\" failed. Please contact Verdane customer support.\n") \
    X(WCM_COMMON_ERROR_HEADING, 5002, "VDSRV5002: An error occurred while processing this request:") \
    X(WCM_COMMON_WARNING_HEADING, 5003, "VDSRV5003: The request succeeded, but a warning occurred:") \
    X(WCM_COMMON_ERROR_TITLE, 5004, "VDSRV5004: Verdane Error") \
    X(WCM_COMMON_WARNING_TITLE, 5005, "VDSRV5005: Verdane Warning") \
    X(WCM_COMMON_OPEN_TEMPLATE_FAILED, 5006, "VDSRV5006: Unable to open the page template file \"%s\": %s\n") \
    X(WCM_COMMON_TEMPLATE_BAD_MACRO, 5007, "VDSRV5007: Bad macro syntax in page template file: \"%s\"\n") \
    X(WCM_COMMON_CREATE_SESSION_DIR_FAILED, 5008, "VDSRV5008: Unable to create session storage directory \"%s\": %s\n") \
    X(WCM_COMMON_TEMPLATE_NESTED_TOO_DEEP, 5009, "VDSRV5009: Internal error: too many nested includes at \"%s\"\n") \
    X(WCM_COMMON_READ_TEMPLATE_FAILED, 5010, "VDSRV5010: Error reading template input: %s\n") \
    X(WCM_COMMON_LOCATE_DIR_FAILED, 5011, "VDSRV5011: Unable to locate directory \"%s\"\n") \
    X(WCM_COMMON_SAVE_SESSION_FAILED, 5012, "VDSRV5012: Unable to save session data in \"%s\"\n") \
    X(WCM_COMMON_INTERNAL_ERROR, 5013, "VDSRV5013: Internal error: %s\n") \
    X(WCM_COMMON_UNSUPPORTED_CHARACTERS, 5014, "VDSRV5014: Error: One or more characters in the string is not supported by the server's operating system.") \
    X(WCM_COMMON_PARAM_NAME_LABEL, 5015, "VDSRV5015: Parameter Name: ") \
    X(WCM_COMMON_PARAM_TYPE_LABEL, 5016, "VDSRV5016: Parameter Type: ") \
    X(WCM_COMMON_PARAM_VALUE_LABEL, 5017, "VDSRV5017: Parameter Value: ") \
    X(WCM_COMMON_ERROR_DESCRIPTION_LABEL, 5018, "VDSRV5018: Error Description: ") \
    X(WCM_COMMON_NAME_UNCONVERTED_LABEL, 5019, "VDSRV5019: Name Unconverted: ") \
    X(WCM_COMMON_VALUE_UNCONVERTED_LABEL, 5020, "VDSRV5020: Value Unconverted: ") \
    X(WCM_COMMON_BAD_CHARACTER_OFFSET, 5021, "VDSRV5021: Character at byte offset %s is unavailable") \
    X(WCM_COMMON_GET_PROCESS_CREDENTIALS_FAILED, 5022, "VDSRV5022: Unable to get process credentials.\n") \
    X(WCM_COMMON_REMOVE_SESSION_FILE_FAILED, 5023, "VDSRV5023: Unable to remove session data file \"%s\": %s.\n") \
    X(WCM_COMMON_CREATE_SESSION_FILE_FAILED, 5024, "VDSRV5024: Unable to create session data file \"%s\": %s.\n") \
    X(WCM_COMMON_LOCK_SESSION_FILE_FAILED, 5025, "VDSRV5025: Unable to lock session data file \"%s\".\n") \
    X(WCM_COMMON_RESTORE_SESSION_FILE_FAILED, 5026, "VDSRV5026: Unable to restore preserved session data file \"%s\": %s.\n") \
    X(WCM_COMMON_RENAME_SESSION_FILE_FAILED, 5027, "VDSRV5027: Unable to rename session data file \"%s\": %s.\n")
// clang-format on

// The index of each entry in _wcm_lib_msg_table.
enum wcm_common_msg_t : int { WCM_COMMON_CATALOG(IMSG_CATALOG_INDEX) };

#endif
