// VDW_VdtoolRpc: runs one vdtool command on the server for the client, in the root of one of
// its views, and streams the command's output back a line at a time ("line" parts whose
// description is the line's severity: "OK", "WARNING" or "ERROR"). Because that hands the
// client a command interpreter on the server, only the admitted subcommands run, and two
// flags are refused; an administrator may switch the filter off for commands written with
// a leading "@" by placing the marker file ".vdrpc_aoptf" in the host-data directory
// <product>/hostdata/vdweb. After a command that succeeded, a client that asks for it
// ("supports-sync") gets the update of its web view, as any fetch answers, to commit.
//
// Arguments: "viewtag" (optional), "cmd", then "supports-sync" (optional, before or
// between the "arg" values) and one "arg" per further argument of the command line.
#ifndef OPS_COMMAND_VDW_VDTOOL_RPC_H
#define OPS_COMMAND_VDW_VDTOOL_RPC_H

#include <string>
#include <vector>

#include "core/imsg/imsg.h"
#include "request/vdw_abstract_rpc.h"

struct view_t;

class VDW_VdtoolRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;

    // False (and the "@" taken off `cmd`) when the marker file exists and `cmd` begins with
    // "@": the command runs unfiltered.
    static bool enable_cmd_filtering(std::string* cmd);
    // Whether the marker file exists; looked up once per process.
    static bool cmd_filter_override_allowed();
    // Whether `cmd` is an admitted subcommand; prints VDSRV3197 when it is not.
    static bool is_subcommand_allowed(const char* cmd);
    // Whether any argument is a refused flag; prints the core's message for each.
    static bool is_illegal_flag_present(int argc, const char* const* argv);

    // Message procedures installed while the command runs.
    static void imsg_ok(void* ctx, int msg_class, char* text);
    static void imsg_warning(void* ctx, int msg_class, char* text);
    static void imsg_error(void* ctx, int msg_class, char* text);
    // The other classes: on to the procedures installed before.
    static void forward(void* ctx, int msg_class, char* text);

private:
    // Takes a message of one severity: style characters and the view root removed, whole
    // lines sent, the rest held for the next message.
    void process_msg(const char* severity, char* text);
    void send_output(const char* severity, const std::string& line);
    void flush_output();
    // The update of the client's copy area after a command that may have changed what the
    // view selects.
    void post_operation_update(view_t* view);

    imsg_redirect_table_t saved_{};
    std::string view_root_;
    std::string held_;
    const char* held_severity_ = "OK";
};

#endif
