// The trigger-action listener registration.
#include "core/vob/vob_cb.h"

namespace {

vob_cb_trig_action_listener_t g_listener;

}  // namespace

tbs_status_t vob_cb_trig_action_listener_set(vob_cb_trig_action_proc_t proc, const char* filename,
                                             int poll_ms) {
    if (!proc) {
        g_listener = vob_cb_trig_action_listener_t{};
        return TBS_ST_OK;
    }
    if (!filename || !*filename || poll_ms < 1) return TBS_ST_ERR;
    g_listener.proc = proc;
    g_listener.filename = filename;
    g_listener.poll_ms = poll_ms;
    return TBS_ST_OK;
}

bool vob_cb_trig_action_listener_get(vob_cb_trig_action_listener_t* out) {
    if (!out || !g_listener.proc) return false;
    *out = g_listener;
    return true;
}
