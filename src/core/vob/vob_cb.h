// The trigger-action listener: how a program the core starts for a trigger action talks
// back to the process that runs the command.
//
// A client process registers one procedure with a file name and a polling value. When the
// core runs a trigger action it will call the procedure with the registered file name and
// an action code: before the action starts (so a stale file can be cleared), each time it
// finds the file written by the action program while the action runs (looking every
// `poll_ms` milliseconds), and after the action has ended. The action program learns the
// file name from its environment, which the client sets up itself.
//
// The trigger runner (cmd_trigger.h) calls `vob_cb_trig_action_listener_get`. One
// registration per process; registering again replaces it.
//
// A root process runs trigger programs as another account, which cannot use the site's
// temporary directory: the file it calls the procedure with is then in a directory of the
// program's own, made for the one run, VOB_CB_TRIGGER_CHANNEL_DIR followed by
// VOB_CB_TRIGGER_CHANNEL_DIR_RANDOM letters and digits (the program's VERDANE_TMP, so its
// answers are looked for there too).
#ifndef CORE_VOB_VOB_CB_H
#define CORE_VOB_VOB_CB_H

#include <string>

#include "core/tbs/tbs.h"

#define VOB_CB_TRIGGER_CHANNEL_DIR "/tmp/qlmx_ireq_trigger_"
enum { VOB_CB_TRIGGER_CHANNEL_DIR_RANDOM = 6 };

enum vob_cb_trig_action_t {
    VOB_CB_TRIG_ACTION_BEGIN = 1,    // an action is about to start
    VOB_CB_TRIG_ACTION_MESSAGE = 2,  // the action program has written the file
    VOB_CB_TRIG_ACTION_END = 3,      // the action has ended
};

// (action code, registered file name); the result is not interpreted.
typedef int (*vob_cb_trig_action_proc_t)(int action, const char* filename);

struct vob_cb_trig_action_listener_t {
    vob_cb_trig_action_proc_t proc = nullptr;
    std::string filename;
    int poll_ms = 0;
};

// Registers `proc` with `filename` and `poll_ms`. A null `proc` removes the registration
// (the other arguments are then ignored). TBS_ST_ERR for a null or empty file name or a
// polling value below 1, and the registration is left as it was.
tbs_status_t vob_cb_trig_action_listener_set(vob_cb_trig_action_proc_t proc, const char* filename,
                                             int poll_ms);

// The current registration: true and a copy of it in `*out`, or false when none is set.
bool vob_cb_trig_action_listener_get(vob_cb_trig_action_listener_t* out);

#endif
