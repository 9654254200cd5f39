// VDW_Vdcore: the per-request facade over the core.
//
// While it lives it captures every message the core prints (informational, warning,
// error) into per-kind lists, so that handlers put them into the response instead of
// letting them reach standard output, which carries the response stream. Trace messages
// go to the trace file. The operations themselves are added as the RPCs that use them
// arrive.
#ifndef OPS_VDW_VDCORE_H
#define OPS_VDW_VDCORE_H

#include <iosfwd>

#include "core/imsg/imsg.h"

class WCM_MemPool;
class WCM_Status;

class VDW_Vdcore {
public:
    enum OutputType { OK = 0, WARN = 1, ERR = 2, ALL = 3 };

    VDW_Vdcore();
    virtual ~VDW_Vdcore();
    VDW_Vdcore(const VDW_Vdcore&) = delete;
    VDW_Vdcore& operator=(const VDW_Vdcore&) = delete;

    void handle_message(OutputType kind, char* text);
    // All recorded messages of one kind (every message, in arrival order, for ALL), joined
    // with nothing between them, in a buffer the caller releases with free_msg_text; null
    // when there is nothing.
    char* msg_text(OutputType kind, WCM_MemPool& pool);
    static void free_msg_text(char* text);
    bool have_msg_text(OutputType kind) const;
    void clear_msg_text();
    bool capture_msg_text(bool capture);
    // Writes the request status as a complete error response.
    void rpc_dispatch_error(std::ostream& out, WCM_MemPool& pool, WCM_Status& status);

    // Drops the core's cached VOB handles: 0 to 3 are the core's cache actions 1 to 4;
    // any other value is an internal error.
    typedef int cache_action_t;
    void vob_cache_action(cache_action_t action);

    // The text between an element pathname and a version selector ("@@").
    static const char* get_ver_ext_string() { return s_ext_string; }

private:
    char** list_for(OutputType kind, int*& count);

    WCM_MemPool* msg_pool_;
    char** all_ = nullptr;
    int all_count_ = 0;
    char** ok_ = nullptr;
    char** warn_ = nullptr;
    char** err_ = nullptr;
    int ok_count_ = 0, warn_count_ = 0, err_count_ = 0;
    bool capture_ = true;
    imsg_redirect_table_t saved_table_;

    static const char* s_ext_string;
};

// Redirect procedures registered with the core.
void vdw_handle_ok_message(void* facade, int msg_class, char* text);
void vdw_handle_warn_message(void* facade, int msg_class, char* text);
void vdw_handle_err_message(void* facade, int msg_class, char* text);
void vdw_handle_trace_message(void* facade, int msg_class, char* text);

#endif
