// Message catalog "ireq_lib": the failures of the interaction message channel (building,
// sending and parsing request and response messages, and the message files that carry
// them). Unlike the server catalogs, these texts carry no message prefix.
#ifndef FOUNDATION_CATALOGS_IREQ_LIB_CATALOG_H
#define FOUNDATION_CATALOGS_IREQ_LIB_CATALOG_H

#include "foundation/catalogs/catalogs.h"

// One row per entry, in index order: X(name, number, text). See catalogs.h.
// clang-format off
#define IREQ_LIB_CATALOG(X) \
    X(IREQ_LIB_PARSE_ERROR, 2, "Message parsing error in function %s parsing message %s\n") \
    X(IREQ_LIB_NO_TEMP_NAME, 3, "Unable to allocate a temporary filename for message\n") \
    X(IREQ_LIB_ADD_ELEMENT_FAILED, 4, "Unable to add element %s to message\n") \
    X(IREQ_LIB_WRITE_FILE_FAILED, 5, "Unable to write message file %s\n") \
    X(IREQ_LIB_SERIALIZE_FAILED, 6, "Error allocating or serializing request message for transmission\n") \
    X(IREQ_LIB_READ_FILE_FAILED, 7, "Unable to read message file %s\n") \
    X(IREQ_LIB_DELETE_FILE_FAILED, 8, "Unable to delete message file %s\n") \
    X(IREQ_LIB_NOT_PARSED, 9, "Client message was not parsed correctly\n") \
    X(IREQ_LIB_TIMED_OUT, 10, "Timed out - no user response received within %d seconds\n") \
    X(IREQ_LIB_MISSING_FIELD, 11, "Response message is missing required field %s\n") \
    X(IREQ_LIB_WRONG_SEQID, 12, "Client message had wrong sequence id: Expected %s received %s\n") \
    X(IREQ_LIB_CLIENT_ERROR, 13, "Client message reported error: %s\n")
// clang-format on

// The index of each entry in _ireq_lib_libireq_msg_table.
enum ireq_lib_msg_t : int { IREQ_LIB_CATALOG(IMSG_CATALOG_INDEX) };

#endif
