// VDW_RmviewRpc.
#include "ops/view/vdw_rmview_rpc.h"

#include <string>

#include "core/view/view.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_request.h"

void VDW_RmviewRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_RmviewRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string view_uuid;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewUuid", &view_uuid)) return;
    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    core.open_view(view_uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    // The open view goes with its removal: keep the tag apart.
    const std::string tag = view->tag;
    core.remove_view(tag.c_str(), status());
}
