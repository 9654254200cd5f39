// Prompt procedures of the web server: how a core command's question reaches the remote
// user.
//
// Nobody is at a terminal on the server, so each question becomes an interaction request
// ("Vdprompt" 1.0) sent through the interaction channel: the current response carries it
// to the client, the operation waits, and the client's answer comes back as another
// request ("VDW_Vdcore::interaction_response_rpc") that writes the answer file the
// channel is waiting for. Results are the core's answer bits (IMSG_RESP_*); 6 is a
// question that could not be asked or answered, and its reason is printed as an error.
#ifndef INTERACT_VDW_PROMPT_H
#define INTERACT_VDW_PROMPT_H

#include <cstddef>

#include "core/imsg/imsg.h"

#define VDW_PROMPT_PROTOCOL "Vdprompt"
#define VDW_PROMPT_VERSION "1.0"
// Seconds a question waits for its answer.
constexpr int VDW_PROMPT_TIMEOUT = 300;

int vdw_prompt_text(const char* prompt, const char* extra, int multiline, char** text);
int vdw_prompt_file(const char* prompt, char** path);
int vdw_prompt_list(const char* prompt, const char* const* items, int count, int* choice);
int vdw_prompt_proceed(int type, const char* prompt, int answer_mask, int default_mask);
int vdw_prompt_yes_no(int type, const char* prompt, int answer_mask, int default_mask);
int vdw_prompt_password(const char* prompt, char** password);

// The six procedures in the core's order.
const imsg_prompt_procs_t& vdw_prompt_procs();

// Answer bits as names ("abort proceed yes no" order, single blanks), and a message type
// code as its name. `size` bytes at most; false when the text does not fit.
bool cvt_imsg_response_t(int bits, char* text, size_t size);
bool cvt_imsg_type_t(int type, char* text, size_t size);

#endif
