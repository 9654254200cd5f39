// Trigger types at work: the programs a VOB's trigger types run around an operation.
//
// A command fires the pre-operation triggers of each object before its transaction (a
// trigger that fails cancels the operation, with its output as the reason, before anything
// changed) and the post-operation triggers after its transaction committed (their failures
// are reported and change nothing). No program runs for an operation the acting user may not
// do: the command's gate (its own permission and lock checks) passes first.
//
// A trigger's program text is split into words as a command line is (blanks separate words,
// '...' and "..." quote, a backslash escapes the next character) and run directly, never
// through a shell; $VD_NAME and ${VD_NAME} in a word take the operation's values and stay
// one word. Its environment holds the VD_ variables, a fixed PATH (the system's directories
// and the product's tools) and a few variables of the site's (VERDANE_HOME, the
// interaction channel, the locale), nothing else of the server's. A process running as root
// runs it as the acting user, or as nobody when that is root. While a trigger program runs, the
// process keeps serving the trigger-action listener (vob_cb.h), so the program can ask the remote
// user a question through `vdprompt`; its output is captured, never passed to the process's own
// output, which may carry a response stream.
#ifndef CORE_CMD_CMD_TRIGGER_H
#define CORE_CMD_CMD_TRIGGER_H

#include <functional>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"

struct cmd_ctx;
struct vob_t;

// What the operation is about, as the trigger program sees it.
struct cmd_trigger_event {
    const char* op = "";  // "checkout", "checkin", "uncheckout", "mkelem", "rmname", "mklabel"
    std::string pname;    // the object's pathname as the command was given it
    std::string eltype;   // the element's type name (empty when unknown, e.g. before mkelem)
    std::string version;  // the version id, when the operation has one
    std::string comment;
    std::string vob_tag;
};

// The operation's own permission and lock checks, run before the first pre-operation program
// (and only when one would run, so operations in VOBs without triggers pay nothing).
using cmd_trigger_gate = std::function<tbs_status_t()>;

// The gate of checkin and uncheckout: the view's checkout of `element` exists and the
// acting user may change it (cmd_check_checkout_change).
cmd_trigger_gate cmd_checkout_gate(vob_t* vob, const cmd_ctx& ctx, int64_t element);

// A trigger's program text as words; TBS_ST_BAD_REQUEST for an unclosed quote or no words.
tbs_status_t cmd_trigger_split(const std::string& text, std::vector<std::string>* words);

// Whether `name` is an operation trigger types can fire on.
bool cmd_trigger_op_known(const std::string& name);

// Runs `vob`'s trigger types that fire before (`pre`) or after the event's operation, in
// order of creation. Before: the first that fails ends the run with TBS_ST_TRIGGER_FAILED
// and its output printed as the error. After: failures are printed as warnings and the
// result is TBS_ST_OK.
tbs_status_t cmd_fire_triggers(vob_t* vob, const cmd_ctx& ctx, bool pre,
                               const cmd_trigger_event& event, const cmd_trigger_gate& gate);

// The same for one object of a command: `element` (0 when it does not exist yet) gives the
// element type, `version` (0: none) the version id. Costs one small query when the VOB has
// no trigger types.
tbs_status_t cmd_fire_triggers_on(vob_t* vob, const cmd_ctx& ctx, bool pre, const char* op,
                                  const std::string& pname, int64_t element, int64_t version,
                                  const std::string& comment, const cmd_trigger_gate& gate);

#endif
