// Interaction messages: ordered name/value elements with a line-based text form.
//
// A message lives in a storage area its caller owns and frees as a whole. Text form: for
// each element in order, the name, "=", the value with every line break written as the
// two characters backslash and "n", and a line break.
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

// New message holding "MsgProtocol" and "MsgVersion"; null on failure.
ireq_msg_t* ireq_msg_create(stg_area_t* area, const char* protocol, const char* version,
                            int initial_slots);
// 1 when added; 0 on a null argument or when the arrays cannot grow.
int ireq_msg_add_element(ireq_msg_t* msg, const char* name, const char* value);
// 1 and the value of the first element named exactly `name`; else 0 and null.
int ireq_msg_get_element(const ireq_msg_t* msg, const char* name, const char** value);
// Advances `index` and returns the key there; null past the end. Start with -1.
const char* ireq_msg_next_key(const ireq_msg_t* msg, int* index);
// 0 and the text form in `area`; 1 on failure (`text` null).
int ireq_msg_to_string(const ireq_msg_t* msg, stg_area_t* area, char** text);
// The message parsed from its text form, or null.
ireq_msg_t* ireq_msg_from_string(stg_area_t* area, const char* text);

#endif
