// VDW_VdtoolRpc.
#include "ops/command/vdw_vdtool_rpc.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/cmdsyn/cmdsyn.h"
#include "core/imsg/imsg.h"
#include "core/imsg/imsg_core_catalog.h"
#include "core/sum/sum_view.h"
#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"
#include "webview/vdw_ws_sync_fetch.h"

namespace {

const char* const kClass = "VDW_VdtoolRpc";

// The subcommands a client may run; a bracketed tail may be left off from its end.
const char* const kAllowed[] = {
    "catcr",    "catcs",         "chact[ivity]", "chbl",         "chfolder",  "chproj[ect]",
    "chstream", "chtype",        "cptype",       "des[cribe]",   "diff",      "diffbl",
    "diffcr",   "dospace",       "dump",         "find",         "lock",      "lsact[ivity]",
    "lsbl",     "lsc[heckout]",  "lscl[ients]",  "lsco",         "lscomp",    "lsdo",
    "lsfolder", "lsh[istory]",   "lslock",       "lsproj[ect]",  "lsstream",  "ls[type]",
    "lsview",   "lsvob",         "lsvt[ree]",    "mkact[ivity]", "mkattr",    "mkattype",
    "mkbl",     "mkbranch",      "mkbrtype",     "mkeltype",     "mkfolder",  "mkhlink",
    "mkhltype", "mklabel",       "mklbtype",     "mkproj[ect]",  "mkstream",  "mktrigger",
    "mktrtype", "mkvob",         "protect",      "rename",       "res[erve]", "rmact[ivity]",
    "rmattr",   "rmbl",          "rmbranch",     "rmcomp",       "rmdo",      "rmfolder",
    "rmhlink",  "rmlabel",       "rmmerge",      "rmproj[ect]",  "rmstream",  "rmtrigger",
    "rmtype",   "setact[ivity]", "setcs",        "space",        "unlock",    "unres[erve]",
};

// Flags no client may give: a graphical interface the server cannot show, and another
// registry region than the server's.
const char* const kForbidden[] = {"-g[raphical]", "-reg[ion]"};

// The largest output line held back waiting for its end; longer text goes out as it is.
constexpr size_t kMaxHeldLine = 64 * 1024;

// The "@" commands of an administrator, allowed by a marker in the host-data directory.
const char* const kMarker = ".vdrpc_aoptf";

}  // namespace

bool VDW_VdtoolRpc::cmd_filter_override_allowed() {
    static int allowed = -1;
    if (allowed < 0) {
        const std::string marker = std::string(tbs_product_dir()) + "/hostdata/vdweb/" + kMarker;
        allowed = fileutl_exists(marker.c_str()) ? 1 : 0;
    }
    return allowed == 1;
}

bool VDW_VdtoolRpc::enable_cmd_filtering(std::string* cmd) {
    if (cmd->empty() || (*cmd)[0] != '@' || !cmd_filter_override_allowed()) return true;
    cmd->erase(0, 1);
    return false;
}

bool VDW_VdtoolRpc::is_subcommand_allowed(const char* cmd) {
    for (const char* pattern : kAllowed)
        if (clp_match(cmd, pattern)) return true;
    imsg_print_catalog(IMSG_ERROR, &_vdw_rpcs_rpcs_msg_table, VDW_RPCS_UNRECOGNIZED_COMMAND,
                       VDW_MultipartData::echo_text(cmd).c_str());
    return false;
}

bool VDW_VdtoolRpc::is_illegal_flag_present(int argc, const char* const* argv) {
    bool found = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || arg[0] != '-') continue;
        // "--" ends the options: what follows is an operand.
        if (strcmp(arg, "--") == 0) break;
        for (const char* pattern : kForbidden) {
            if (!clp_match(arg, pattern)) continue;
            imsg_core_error(IMSG_CORE_ILLEGAL_OPTION, VDW_MultipartData::echo_text(arg).c_str());
            found = true;
        }
    }
    return found;
}

void VDW_VdtoolRpc::imsg_ok(void* ctx, int, char* text) {
    static_cast<VDW_VdtoolRpc*>(ctx)->process_msg("OK", text);
}
void VDW_VdtoolRpc::imsg_warning(void* ctx, int, char* text) {
    static_cast<VDW_VdtoolRpc*>(ctx)->process_msg("WARNING", text);
}
void VDW_VdtoolRpc::imsg_error(void* ctx, int, char* text) {
    static_cast<VDW_VdtoolRpc*>(ctx)->process_msg("ERROR", text);
}

void VDW_VdtoolRpc::forward(void* ctx, int msg_class, char* text) {
    const imsg_redirect_table_t& to = static_cast<VDW_VdtoolRpc*>(ctx)->saved_;
    if (to.procs[msg_class]) to.procs[msg_class](to.ctx, msg_class, text);
}

void VDW_VdtoolRpc::process_msg(const char* severity, char* text) {
    if (!text) return;
    imsg_strip_style_chars(text);
    std::string t = text;
    // The client sees pathnames relative to the view's root.
    if (view_root_.size() > 1)
        for (size_t at = t.find(view_root_); at != std::string::npos; at = t.find(view_root_, at))
            t.erase(at, view_root_.size());
    VDW_Trace trace(QLMX_COMPONENT, kClass, "process_msg");
    if (trace.shouldTrace(3)) trace.writeTrace("%s: %s", severity, t.c_str());
    if (strcmp(severity, "OK") != 0) status().add_text(t.c_str());
    // A held partial line ends with the severity it began with.
    if (held_.empty()) held_severity_ = severity;
    held_ += t;
    size_t start = 0;
    for (size_t nl = held_.find('\n'); nl != std::string::npos; nl = held_.find('\n', start)) {
        send_output(held_severity_, held_.substr(start, nl - start));
        start = nl + 1;
        held_severity_ = severity;
    }
    held_.erase(0, start);
    if (held_.size() > kMaxHeldLine) flush_output();
}

void VDW_VdtoolRpc::send_output(const char* severity, const std::string& line) {
    VDW_MultipartData part("line", nullptr, severity, line.data(),
                           static_cast<long long>(line.size()));
    add_part(part, true);
}

void VDW_VdtoolRpc::flush_output() {
    if (held_.empty()) return;
    send_output(held_severity_, held_);
    held_.clear();
}

void VDW_VdtoolRpc::post_operation_update(view_t* view) {
    if (view->kind != VIEW_KIND_WEB && view->kind != VIEW_KIND_SNAPSHOT) return;
    // The whole view: the change journal keeps it to what the command changed.
    VDW_WsSyncFetch fetch(*facade(), VDW_WsSyncFetch::SYNC_FROM_VOB, view->root.c_str(),
                          request().accept_compressed_cleartext(), true, true, *this, pool(),
                          status());
    if (view->kind == VIEW_KIND_SNAPSHOT) fetch.set_snapshot_view();
    fetch.run(status());
}

void VDW_VdtoolRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_ReqArgsParser parser(request().rpcargs());
    const char* value = nullptr;
    bool found = false;
    std::string view_tag, cmd;
    bool has_view = false, sync = false;
    if (!parser.match_next_opt("viewtag", &value, has_view, status())) return;
    if (has_view) view_tag = value;
    if (!parser.match_next("cmd", &value, status())) return;
    cmd = value;
    if (trace.shouldTrace(2)) trace.writeTrace("cmd: %s", cmd.c_str());
    std::vector<std::string> args;
    while (parser.has_more_args()) {
        if (!sync) {
            if (!parser.match_next_opt("supports-sync", &value, found, status())) return;
            if (found) {
                sync = true;
                continue;
            }
        }
        if (!parser.match_next("arg", &value, status())) return;
        args.emplace_back(value);
        if (trace.shouldTrace(2)) trace.writeTrace("arg: %s", value);
    }

    // The command's messages come here while it runs; trace and suppressed messages still go
    // where they went, through the procedures that were installed.
    saved_ = imsg_get_redirect_table();
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (int c = 0; c < IMSG_NUM_CLASSES; ++c) procs[c] = forward;
    procs[IMSG_OK] = procs[IMSG_INFO] = procs[IMSG_VERBOSE] = procs[IMSG_NOTE] = imsg_ok;
    procs[IMSG_WARNING] = procs[IMSG_WARNING_NOTE] = imsg_warning;
    procs[IMSG_ERROR] = procs[IMSG_FATAL] = imsg_error;
    imsg_set_redirect_procs(procs, this);
    struct Restore {
        const imsg_redirect_table_t& table;
        ~Restore() { imsg_set_redirect_table(table); }
    } restore{saved_};

    std::vector<const char*> argv{"vtrc-vdtool", nullptr};
    const bool filter = enable_cmd_filtering(&cmd);
    argv[1] = cmd.c_str();
    for (const std::string& a : args) argv.push_back(a.c_str());
    const int argc = static_cast<int>(argv.size());
    if (filter && (!is_subcommand_allowed(cmd.c_str()) ||
                   is_illegal_flag_present(argc - 2, argv.data() + 2))) {
        flush_output();
        status().set_status(TBS_ST_ERR);
        return;
    }

    view_t* view = nullptr;
    std::string cwd;
    if (has_view) {
        SUM_View sv;
        SUM_String root;
        tbs_status_t st = SUM_View::construct_from_tag(view_tag.c_str(), &sv);
        if (st == TBS_ST_OK) st = facade()->get_view_root(sv, &root);
        if (st == TBS_ST_OK) st = view_open_by_tag(view_tag.c_str(), &view);
        if (st != TBS_ST_OK) {
            flush_output();
            status().set_status(st);
            return;
        }
        char here[4096];
        if (getcwd(here, sizeof here)) cwd = here;
        if (chdir(root.c_str()) != 0) {
            imsg_core_error(IMSG_CORE_CHDIR_FAILED, root.c_str(), strerror(errno));
            flush_output();
            status().set_status(TBS_ST_ERR);
            return;
        }
        view_root_ = root.c_str();
        if (trace.shouldTrace(2)) trace.writeTrace("changed directory to view root");
    }
    // The server's own files are out of the command's reach: only those of its view.
    cmdsyn_confine_files(view_root_.c_str());
    const tbs_status_t st = cmdsyn_execv(argc, argv.data());
    cmdsyn_confine_files(nullptr);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0 && trace.shouldTrace(1))
        trace.writeTrace("cannot return to %s", cwd.c_str());
    flush_output();
    status().set_status(st);
    if (st == TBS_ST_OK && sync && view) {
        imsg_set_redirect_table(saved_);
        post_operation_update(view);
    }
}
