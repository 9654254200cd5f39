// The older namespace RPCs: move, remove a name, link. Each runs its core command with the
// update warper established, so the client hears of the names it changed in the same
// response.
#include <ostream>
#include <string>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_rpc_response.h"
#include "webview/vdw_ws_update_warper.h"

namespace {

// A pathname of the view as a VOB pathname; 1003 and VDSRV1037 when it leaves the view.
bool vob_pname(view_t* view, const std::string& path, std::string* out, WCM_Status& status) {
    *out = VDW_Vdcore::to_vob_pname(view, path.c_str());
    return !out->empty() ||
           vdw_core_ok(status, TBS_ST_NAME_NOT_FOUND, VDW_LIB_RESOLVE_ELEMENT_FAILED, path.c_str());
}

// Runs `command` in the view of "ViewUuid" with the warper established.
template <class Command>
void run_in_view(VDW_Vdcore& core, const std::string& uuid, bool compress_ok,
                 VDW_RpcResponse& response, WCM_MemPool& pool, WCM_Status& status,
                 const Command& command) {
    view_t* view = nullptr;
    core.open_view(uuid.c_str(), &view, status);
    if (!status.is_ok()) return;
    VDW_WsUpdateWarper warper(core, compress_ok, response, pool, status);
    warper.establish();
    command(view);
}

}  // namespace

void VDW_Vdcore::mv_rpc(const char* args, bool compress_ok, std::ostream& out, WCM_MemPool& pool,
                        WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "mv_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    VDW_RpcArgs a(args, status);
    std::string uuid, from, to, comment;
    if (!a.text("ViewUuid", &uuid) || !a.pname("Source", &from) || !a.pname("Target", &to) ||
        !a.rich("Comment", &comment))
        return;
    run_in_view(*this, uuid, compress_ok, response, pool, status,
                [&](view_t* view) { move_name(view, from, to, comment, status); });
}

void VDW_Vdcore::move_name(view_t* view, const std::string& from, const std::string& to,
                           const std::string& comment, WCM_Status& status) {
    cmd_mv_args_t mv;
    if (!vob_pname(view, from, &mv.from, status) || !vob_pname(view, to, &mv.to, status)) return;
    mv.view = &view->ctx;
    mv.comment = comment;
    vdw_core_ok(status, cmd_mv(&mv), VDW_LIB_MOVE_FAILED, from.c_str(), to.c_str());
}

void VDW_Vdcore::remove_name(view_t* view, const std::string& scope, bool force,
                             const std::string& comment, WCM_Status& status) {
    cmd_rmname_args_t rm;
    std::string pname;
    if (!vob_pname(view, scope, &pname, status)) return;
    rm.pnames = {pname};
    rm.view = &view->ctx;
    rm.force = force;
    rm.comment = comment;
    vdw_core_ok(status, cmd_rmname(&rm), VDW_LIB_REMOVE_NAME_FAILED, scope.c_str());
}

void VDW_Vdcore::make_link(view_t* view, const std::string& target, const std::string& link,
                           bool symbolic, const std::string& comment, WCM_Status& status) {
    cmd_ln_args_t ln;
    ln.symbolic = symbolic;
    ln.target = target;
    if (!symbolic && !vob_pname(view, target, &ln.target, status)) return;
    if (!vob_pname(view, link, &ln.link, status)) return;
    ln.view = &view->ctx;
    ln.comment = comment;
    vdw_core_ok(status, cmd_ln(&ln), VDW_LIB_CREATE_SYMLINK_FAILED, link.c_str(), target.c_str());
}

void VDW_Vdcore::rmname_rpc(const char* args, bool compress_ok, std::ostream& out,
                            WCM_MemPool& pool, WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "rmname_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    VDW_RpcArgs a(args, status);
    std::string uuid, scope, comment;
    if (!a.text("ViewUuid", &uuid) || !a.pname("Scope", &scope) || !a.rich("Comment", &comment))
        return;
    run_in_view(*this, uuid, compress_ok, response, pool, status,
                [&](view_t* view) { remove_name(view, scope, false, comment, status); });
}

void VDW_Vdcore::ln_rpc(const char* args, bool compress_ok, std::ostream& out, WCM_MemPool& pool,
                        WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "ln_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    VDW_RpcArgs a(args, status);
    std::string uuid, target, link, comment;
    bool symbolic = false;
    if (!a.text("ViewUuid", &uuid) || !a.text("Target", &target) || !a.pname("Link", &link) ||
        !a.boolean("Symbolic", &symbolic) || !a.rich("Comment", &comment))
        return;
    run_in_view(*this, uuid, compress_ok, response, pool, status,
                [&](view_t* view) { make_link(view, target, link, symbolic, comment, status); });
}
