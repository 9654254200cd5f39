// VDW_MkelemRpc and VDW_MkelemFastRpc.
#include <string>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/checkout/vdw_checkout_rpcs.h"
#include "ops/checkout/vdw_co_common.h"
#include "request/vdw_request.h"
#include "webview/vdw_ws_sync_fetch.h"

namespace {

struct MkelemArgs {
    std::string uuid, comment, activity, eltype, scope;
    bool no_checkout = false, ci_parent = false, is_dir = false;
    bool execute = false, checkin = false, master = false, make_path = false;
    bool has_mtime = false;
    long mtime = 0;
};

bool opt_flag(VDW_RpcArgs& a, const char* name, bool* out) {
    std::string text;
    bool present = false;
    if (!a.opt_text(name, &text, &present)) return false;
    if (present) *out = text == "1";
    return true;
}

bool opt_mtime(VDW_RpcArgs& a, MkelemArgs* m) {
    std::string text;
    if (!a.opt_text("ModifiedTime", &text, &m->has_mtime)) return false;
    if (m->has_mtime) m->mtime = VDW_ReqArgsParser::decode_long(text.c_str());
    return true;
}

// Makes the element and sends the client its state; `upload` holds a file's first
// contents ("" for none).
void mkelem(VDW_AbstractRpc& rpc, VDW_Vdcore& core, const MkelemArgs& m, const std::string& upload,
            WCM_Status& status) {
    if (!vdw_check_no_activity(m.activity, status)) return;
    VDW_WorkView wv;
    if (!vdw_open_work_view(core, m.uuid, &wv, status)) return;
    const std::string pname = VDW_Vdcore::to_vob_pname(wv.view, m.scope.c_str());
    if (pname.empty()) {
        status.set_status(TBS_ST_NAME_NOT_FOUND);
        status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CREATE_ELEMENT_FAILED, m.scope.c_str());
        return;
    }
    if (m.has_mtime && !upload.empty() && !vdw_set_mtime(upload, m.mtime, m.scope, status)) return;
    cmd_mkelem_args_t mk;
    mk.pnames = {pname};
    mk.from = {m.is_dir ? "" : upload};
    mk.view = &wv.view->ctx;
    mk.comment_mode = m.comment.empty() ? CMD_COMMENT_NONE : CMD_COMMENT_GIVEN;
    mk.comment = m.comment;
    mk.eltype = m.eltype;
    mk.is_dir = m.is_dir;
    mk.no_checkout = m.no_checkout;
    mk.checkin = m.checkin;
    mk.ci_parent = m.ci_parent;
    mk.master = m.master;
    mk.mkpath = m.make_path;
    mk.ptime = m.has_mtime;
    mk.observer = vdw_mkelem_observer_func;
    tbs_status_t st = cmd_utl_mkelem(&mk);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CREATE_ELEMENT_FAILED, m.scope.c_str());
        return;
    }
    if (m.execute && !m.is_dir) {
        cmd_protect_args_t pr;
        pr.objects = {pname};
        pr.view = &wv.view->ctx;
        pr.mode = 0775;
        cmd_protect(&pr);
    }
    VDW_WsSyncFetch::download_one_mkelem(core, wv.root.c_str(), pname.c_str(), nullptr,
                                         rpc.request().accept_compressed_cleartext(), false, false,
                                         rpc, rpc.pool(), status);
}

}  // namespace

void VDW_MkelemRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_MkelemRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    MkelemArgs m;
    if (!a.text("ViewUuid", &m.uuid) || !a.rich("Comment", &m.comment) ||
        !a.pname("Activity", &m.activity) || !a.boolean("NoCheckout", &m.no_checkout) ||
        !a.boolean("CiParent", &m.ci_parent) || !a.text("FileEltype", &m.eltype) ||
        !a.pname("Scope", &m.scope) || !a.boolean("IsDir", &m.is_dir) ||
        !opt_flag(a, "ExecutePermissions", &m.execute) || !opt_mtime(a, &m))
        return;
    // The first contents, when the client sent them.
    const char* upload = request().upload_pname();
    mkelem(*this, *facade(), m, upload ? upload : "", status());
}

void VDW_MkelemFastRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_MkelemFastRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    MkelemArgs m;
    m.make_path = true;
    std::string mtime;
    if (!a.text("ViewUuid", &m.uuid) || !a.rich("Comment", &m.comment) ||
        !a.pname("Activity", &m.activity) || !a.text("FileEltype", &m.eltype) ||
        !a.pname("Scope", &m.scope) || !a.boolean("IsDir", &m.is_dir) ||
        !a.boolean("ExecutePermissions", &m.execute) || !a.text("ModifiedTime", &mtime) ||
        !opt_flag(a, "NoCheckout", &m.no_checkout) || !opt_flag(a, "Checkin", &m.checkin) ||
        !opt_flag(a, "Master", &m.master) || !opt_flag(a, "MakePath", &m.make_path))
        return;
    m.has_mtime = !mtime.empty();
    m.mtime = VDW_ReqArgsParser::decode_long(mtime.c_str());
    if (!m.is_dir && !check_rpc_upload_file_arg(status())) return;
    const char* upload = request().upload_pname();
    mkelem(*this, *facade(), m, upload ? upload : "", status());
}
