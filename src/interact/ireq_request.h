// The interaction channel: a requestor that puts a question to the remote user and waits
// for the answer file, the responder that writes that file, and the listener that picks up
// questions from programs the core starts.
//
// A question leaves the process in one of two ways. Inside the process that serves the
// response, the listener installs a delivery procedure (the response writer's) and the
// requestor hands the message text to it. A program the core starts for a trigger action
// has no response to write to: it finds the request file named by IREQ_REQUEST_FILENAME
// in its environment and writes the message there; the core calls the listener's file
// callback, which hands the text to the same delivery procedure. Either way the answer
// comes back through the response file named in the message ("MsgConnection"), written
// by another process with `ireq_response_send` in the core's string encoding, which the
// waiting requestor polls once a second.
//
// Every failure is printed as an error message from the "ireq_lib" catalog. All state is
// process-wide and single-threaded: one listener, one delivery procedure, one counter.
#ifndef INTERACT_IREQ_REQUEST_H
#define INTERACT_IREQ_REQUEST_H

#include <cstddef>

#include "core/stg/stg.h"
#include "core/vob/vob_cb.h"
#include "interact/ireq_msg.h"

// Environment variables of the channel.
#define IREQ_REQUEST_FILENAME_EV "IREQ_REQUEST_FILENAME"
#define IREQ_REQUEST_TIMEOUT_EV "IREQ_REQUEST_TIMEOUT"
#define IREQ_REQUEST_TIMEOUT_DELTA_EV "IREQ_REQUEST_TIMEOUT_DELTA"
#define IREQ_REQUEST_KEEPALIVE_EV "IREQ_REQUEST_KEEPALIVE"
// What IREQ_REQUEST_FILENAME holds while no listener runs; it counts as no name.
#define IREQ_REQUEST_FILENAME_NONE "\"\""

// Size of the request file name buffer, terminating NUL included.
constexpr size_t IREQ_REQUEST_FILENAME_SIZE = 256;
// Polling value registered with the core's trigger-action listener (milliseconds).
constexpr int IREQ_LISTENER_POLL_VALUE = 500;
// Longest stretch of the wait between keep-alive messages, in seconds.
constexpr int IREQ_WAIT_ROUND = 60;

// Delivery procedure: hands a message text on to the remote user. Its result is the
// procedure's own and is not taken as a delivery status.
typedef int (*ireq_deliver_proc_t)(const char* text, void* data);

// What the listener registered with the core (all zero while no listener runs).
struct ireq_listener_t {
    vob_cb_trig_action_proc_t callback;
    char filename[IREQ_REQUEST_FILENAME_SIZE];
    int poll_value;
};

// Sends `request` (created with `protocol` and `version`; used for tracing) and waits
// for its answer. Adds "MsgConnection", "MsgSeqID" and "TimeOut" to the request. The
// wait lasts `timeout` seconds, or IREQ_REQUEST_TIMEOUT when that is a number above 0,
// plus twice IREQ_REQUEST_TIMEOUT_DELTA when that is above 0; a keep-alive message goes
// out after each 60 seconds without an answer unless IREQ_REQUEST_KEEPALIVE is "0".
// 0 with the answer (parsed in `area`) in `*response` when one of type "Message" (or of
// a type the channel does not know) arrives; 1 otherwise, with null `*response`.
int ireq_request_send(const char* protocol, const char* version, stg_area_t* area,
                      ireq_msg_t* request, ireq_msg_t** response, int timeout);

// Writes the answer `text` (the text form of a message) in the core's string encoding to
// the response file `path`. Only a name the channel itself hands out is accepted: a
// "qlmx_ireq<letters and digits>.msg" file directly in the core's temporary directory,
// since the name arrives from the client. 0 on success; 1 for empty or missing text or
// path, any other path, or a failed write.
int ireq_response_send(const char* text, const char* path);

// Installs (`proc`, `data`) as the in-process delivery procedure; (null, null) removes it.
void ireq_requestor_set_callback(ireq_deliver_proc_t proc, void* data);

// Starts the listener: reserves the request file name, installs (`proc`, `data`) as the
// delivery procedure, registers the file callback with the core's trigger-action listener
// and puts IREQ_REQUEST_FILENAME into the environment. 0 on success, 1 on failure (and
// nothing is left installed).
int ireq_listener_start(ireq_deliver_proc_t proc, void* data);
// Undoes `ireq_listener_start`: unregisters from the core, removes the delivery procedure
// and any request file left behind, sets IREQ_REQUEST_FILENAME to "" (the two quote
// characters) and clears the listener record. Safe to call when no listener runs.
void ireq_listener_stop();
// Copies the listener record into `*listener`; 1 for a null argument.
int ireq_listener_get_listener(ireq_listener_t* listener);

// 1 when IREQ_REQUEST_FILENAME names a request file (set, not empty, not ""), else 0.
int ireq_status();

#endif
