// Message catalog "ireq_lib": the failures of the interaction message channel (building,
// sending and parsing request and response messages, and the message files that carry
// them). Unlike the server catalogs, these texts carry no message prefix.
//
// Callers address entries by index, so an entry is never moved or removed; the numbers
// ascend, and a retired message leaves only a gap in them.

#include <cstdint>
#include <iterator>

#include "foundation/catalogs/catalogs.h"

// clang-format off
static const char* const ireq_lib_texts[] = {
    /* 0 */ "Message parsing error in function %s parsing message %s\n",
    /* 1 */ "Unable to allocate a temporary filename for message\n",
    /* 2 */ "Unable to add element %s to message\n",
    /* 3 */ "Unable to write message file %s\n",
    /* 4 */ "Error allocating or serializing request message for transmission\n",
    /* 5 */ "Unable to read message file %s\n",
    /* 6 */ "Unable to delete message file %s\n",
    /* 7 */ "Client message was not parsed correctly\n",
    /* 8 */ "Timed out - no user response received within %d seconds\n",
    /* 9 */ "Response message is missing required field %s\n",
    /* 10 */ "Client message had wrong sequence id: Expected %s received %s\n",
    /* 11 */ "Client message reported error: %s\n",
};
// clang-format on

static const uint16_t ireq_lib_numbers[] = {
    2,  3,  4, 5, 6, 7, 8, 9, 10, 11,  // 0
    12, 13,                            // 10
};

static_assert(std::size(ireq_lib_texts) == 12);
static_assert(std::size(ireq_lib_numbers) == std::size(ireq_lib_texts));

extern "C" const imsg_catalog_t _ireq_lib_libireq_msg_table = {
    "libireq_lib", "ireq_lib", 1, 12, ireq_lib_texts, ireq_lib_numbers,
};
