// VDW_Vdcore: message capture.
#include "facade/vdw_vdcore.h"

#include <cstring>

#include "core/imsg/imsg.h"
#include "core/stg/stg.h"
#include "core/tbs/tbs.h"
#include "core/vob/vob.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_mempool.h"
#include "foundation/wcm_status.h"
#include "interact/vdw_prompt.h"
#include "request/vdw_rpc_response.h"

const char* VDW_Vdcore::s_ext_string = TBS_VER_EXT;

namespace {

constexpr int kAllInitial = 64;
constexpr int kKindInitial = 8;

// Appends `text` to a flex array of message pointers, creating it when absent.
char** append(WCM_MemPool& pool, char** array, int& count, int initial, char* text) {
    if (!array) {
        array = static_cast<char**>(pool.flex_alloc(sizeof(char*), initial, initial));
    } else {
        array = static_cast<char**>(pool.flex_ensure_room(array, count));
    }
    if (!array) return nullptr;
    array[count++] = text;
    return array;
}

}  // namespace

VDW_Vdcore::VDW_Vdcore()
    : msg_pool_(new WCM_MemPool),
      saved_table_(imsg_get_redirect_table()),
      saved_prompts_(imsg_get_prompt_procs()) {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES] = {
        vdw_handle_ok_message,    vdw_handle_ok_message,     vdw_handle_ok_message,
        vdw_handle_ok_message,    vdw_handle_warn_message,   vdw_handle_warn_message,
        vdw_handle_err_message,   vdw_handle_err_message,    vdw_handle_trace_message,
        vdw_handle_trace_message, imsg_append_proc_suppress,
    };
    imsg_set_redirect_procs(procs, this);
    // Questions of the core go to the remote user as interaction requests.
    imsg_set_prompt_procs(&vdw_prompt_procs());
}

VDW_Vdcore::~VDW_Vdcore() {
    imsg_set_prompt_procs(&saved_prompts_);
    imsg_set_redirect_table(saved_table_);
    delete msg_pool_;
}

void VDW_Vdcore::handle_message(OutputType kind, char* text) {
    if (!capture_ || !text) return;
    imsg_strip_style_chars(text);
    char* copy = msg_pool_->strdup(text);
    if (!copy) return;
    char** all = append(*msg_pool_, all_, all_count_, kAllInitial, copy);
    if (!all) return;
    all_ = all;
    int* count = nullptr;
    char** list = list_for(kind, count);
    if (!count) return;
    list = append(*msg_pool_, list, *count, kKindInitial, copy);
    if (!list) return;
    if (kind == OK) ok_ = list;
    if (kind == WARN) warn_ = list;
    if (kind == ERR) err_ = list;
}

char** VDW_Vdcore::list_for(OutputType kind, int*& count) {
    switch (kind) {
        case OK:
            count = &ok_count_;
            return ok_;
        case WARN:
            count = &warn_count_;
            return warn_;
        case ERR:
            count = &err_count_;
            return err_;
        case ALL:
            count = &all_count_;
            return all_;
    }
    count = nullptr;
    return nullptr;
}

char* VDW_Vdcore::msg_text(OutputType kind, WCM_MemPool&) {
    int* count = nullptr;
    char** list = list_for(kind, count);
    if (!list || !count || *count == 0) return nullptr;
    size_t total = 0;
    for (int i = 0; i < *count; ++i) total += strlen(list[i]);
    if (total == 0) return nullptr;
    auto* out = static_cast<char*>(stg_malloc(total + 1));
    if (!out) return nullptr;
    char* p = out;
    for (int i = 0; i < *count; ++i) {
        size_t n = strlen(list[i]);
        memcpy(p, list[i], n);
        p += n;
    }
    *p = '\0';
    return out;
}

VDW_CapturedMessages* vdw_captured_messages(VDW_Vdcore* facade) {
    return facade;
}

bool VDW_Vdcore::have_msg_text(OutputType kind) const {
    switch (kind) {
        case OK:
            return ok_count_ > 0;
        case WARN:
            return warn_count_ > 0;
        case ERR:
            return err_count_ > 0;
        case ALL:
            return all_count_ > 0;
    }
    return false;
}

void VDW_Vdcore::clear_msg_text() {
    all_ = ok_ = warn_ = err_ = nullptr;
    all_count_ = ok_count_ = warn_count_ = err_count_ = 0;
    msg_pool_->free();
}

bool VDW_Vdcore::capture_msg_text(bool capture) {
    bool previous = capture_;
    capture_ = capture;
    return previous;
}

void VDW_Vdcore::rpc_dispatch_error(std::ostream& out, WCM_MemPool& pool, WCM_Status& status) {
    VDW_RpcResponse response(pool, status, out, this);
}

void vdw_handle_ok_message(void* facade, int, char* text) {
    static_cast<VDW_Vdcore*>(facade)->handle_message(VDW_Vdcore::OK, text);
}

static void trace_message(const char* tag, const char* text) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore");
    if (trace.shouldTrace(1)) trace.traceMsg(tag, text);
}

void vdw_handle_warn_message(void* facade, int, char* text) {
    static_cast<VDW_Vdcore*>(facade)->handle_message(VDW_Vdcore::WARN, text);
    trace_message("vdw_handle_warn_message", text);
}

void vdw_handle_err_message(void* facade, int, char* text) {
    static_cast<VDW_Vdcore*>(facade)->handle_message(VDW_Vdcore::ERR, text);
    trace_message("vdw_handle_err_message", text);
}

void vdw_handle_trace_message(void*, int, char* text) {
    imsg_strip_style_chars(text);
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore");
    trace.sendTrace("vdw_handle_trace_message", text);
}

void VDW_Vdcore::vob_cache_action(cache_action_t action) {
    if (action < 0 || action > 3) {
        imsg_internal_error("vdweb", __FILE__, __LINE__, "vob_cache_action %d", action);
        return;
    }
    vob_ob_all_cache_action(action + 1);
}
