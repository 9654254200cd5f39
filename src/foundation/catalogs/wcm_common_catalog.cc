// Message catalog "wcm_common": the messages shared by the request layer: error and
// warning headings, page templates, session data files, and the labels of the dump that
// names request parameters whose text could not be converted to the server's character set.
//
// Callers address entries by index, so an entry is never moved or removed; the numbers
// ascend, and a retired message leaves only a gap in them.

#include <cstdint>
#include <iterator>

#include "foundation/catalogs/catalogs.h"

// clang-format off
static const char* const wcm_common_texts[] = {
    /* 0 */ "VDSRV5001: The internal operation \"%s\" failed. Please contact Verdane customer support.\n",
    /* 1 */ "VDSRV5002: An error occurred while processing this request:",
    /* 2 */ "VDSRV5003: The request succeeded, but a warning occurred:",
    /* 3 */ "VDSRV5004: Verdane Error",
    /* 4 */ "VDSRV5005: Verdane Warning",
    /* 5 */ "VDSRV5006: Unable to open the page template file \"%s\": %s\n",
    /* 6 */ "VDSRV5007: Bad macro syntax in page template file: \"%s\"\n",
    /* 7 */ "VDSRV5008: Unable to create session storage directory \"%s\": %s\n",
    /* 8 */ "VDSRV5009: Internal error: too many nested includes at \"%s\"\n",
    /* 9 */ "VDSRV5010: Error reading template input: %s\n",
    /* 10 */ "VDSRV5011: Unable to locate directory \"%s\"\n",
    /* 11 */ "VDSRV5012: Unable to save session data in \"%s\"\n",
    /* 12 */ "VDSRV5013: Internal error: %s\n",
    /* 13 */ "VDSRV5014: Error: One or more characters in the string is not supported by the server's operating system.",
    /* 14 */ "VDSRV5015: Parameter Name: ",
    /* 15 */ "VDSRV5016: Parameter Type: ",
    /* 16 */ "VDSRV5017: Parameter Value: ",
    /* 17 */ "VDSRV5018: Error Description: ",
    /* 18 */ "VDSRV5019: Name Unconverted: ",
    /* 19 */ "VDSRV5020: Value Unconverted: ",
    /* 20 */ "VDSRV5021: Character at byte offset %s is unavailable",
    /* 21 */ "VDSRV5022: Unable to get process credentials.\n",
    /* 22 */ "VDSRV5023: Unable to remove session data file \"%s\": %s.\n",
    /* 23 */ "VDSRV5024: Unable to create session data file \"%s\": %s.\n",
    /* 24 */ "VDSRV5025: Unable to lock session data file \"%s\".\n",
    /* 25 */ "VDSRV5026: Unable to restore preserved session data file \"%s\": %s.\n",
    /* 26 */ "VDSRV5027: Unable to rename session data file \"%s\": %s.\n",
};
// clang-format on

static const uint16_t wcm_common_numbers[] = {
    5001, 5002, 5003, 5004, 5005, 5006, 5007, 5008, 5009, 5010,  // 0
    5011, 5012, 5013, 5014, 5015, 5016, 5017, 5018, 5019, 5020,  // 10
    5021, 5022, 5023, 5024, 5025, 5026, 5027,                    // 20
};

static_assert(std::size(wcm_common_texts) == 27);
static_assert(std::size(wcm_common_numbers) == std::size(wcm_common_texts));

extern "C" const imsg_catalog_t _wcm_lib_msg_table = {
    "lib_tvx", "wcm_common", 100, 27, wcm_common_texts, wcm_common_numbers,
};
