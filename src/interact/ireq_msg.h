// Interaction messages: ordered name/value elements with a line-based text form, and the
// delimited-list helpers used for element values that hold several items.
//
// A message lives in a storage area its caller owns and frees as a whole; every string
// handed out by these functions lives in the area it was made in. Text form: for each
// element in order, the name, "=", the value with every line break written as the two
// characters backslash and "n", and a line break. Names are written as they are, so a
// name must hold neither "=" nor a line break to survive the text form; a value holding
// a backslash followed by "n" reads back with a line break there.
#ifndef INTERACT_IREQ_MSG_H
#define INTERACT_IREQ_MSG_H

#include "core/stg/stg.h"

struct ireq_msg_t {
    stg_area_t* area;
    int count;
    int capacity;
    char** keys;
    char** values;
};

#define IREQ_MSG_PROTOCOL "MsgProtocol"
#define IREQ_MSG_VERSION "MsgVersion"
#define IREQ_MSG_CONNECTION "MsgConnection"
#define IREQ_MSG_SEQID "MsgSeqID"
#define IREQ_MSG_TIMEOUT "TimeOut"
#define IREQ_MSG_TYPE "MsgType"
#define IREQ_MSG_ERROR_MESSAGE "ErrorMessage"
#define IREQ_PROTOCOL_KEEPALIVE "PROTOCOL_KEEPALIVE"
#define IREQ_PROTOCOL_KEEPALIVE_VERSION "1.0"
// Values of "MsgType" in responses.
#define IREQ_MSG_TYPE_MESSAGE "Message"
#define IREQ_MSG_TYPE_ERROR "Error"
#define IREQ_MSG_TYPE_KEEPALIVE "KeepAlive"

// Slots a full message grows by.
constexpr int IREQ_MSG_GROWTH = 10;

// New message with room for `initial_slots` elements, holding "MsgProtocol" and
// "MsgVersion"; null on failure.
ireq_msg_t* ireq_msg_create(stg_area_t* area, const char* protocol, const char* version,
                            int initial_slots);
// Appends a copy of `name` and `value`. 1 when added; 0 on a null argument or when the
// arrays cannot grow.
int ireq_msg_add_element(ireq_msg_t* msg, const char* name, const char* value);
// 1 and the value of the first element named exactly `name`; else 0 and null.
int ireq_msg_get_element(const ireq_msg_t* msg, const char* name, const char** value);
// Advances `index` and returns the key there; null past the end. Start with -1.
const char* ireq_msg_next_key(const ireq_msg_t* msg, int* index);
// 0 and the text form in `area`; 1 on failure (`text` null).
int ireq_msg_to_string(const ireq_msg_t* msg, stg_area_t* area, char** text);
// The message parsed from its text form, or null. A line without "=" is a parse error,
// printed as an error message.
ireq_msg_t* ireq_msg_from_string(stg_area_t* area, const char* text);

// Splits `text` at each occurrence of `delimiter` (not empty): n occurrences give n + 1
// items, possibly empty. 0 with the items in `area`; 1 on a bad argument or no memory.
int ireq_msg_delimited_list_to_array(stg_area_t* area, const char* text, const char* delimiter,
                                     char*** array, int* count);
// Joins `count` items with `delimiter` between them; a count below 1 gives the empty
// string. 0 with the text in `area`; 1 on a null argument or item, or no memory.
int ireq_msg_array_to_delimited_list(stg_area_t* area, char* const* array, int count, char** text,
                                     const char* delimiter);

#endif
