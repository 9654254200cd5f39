// VDW_RemoveResourceRpc.
#include "ops/repo/vdw_remove_resource_rpc.h"

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_request.h"

void VDW_RemoveResourceRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_RemoveResourceRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string selector;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("Selector", &selector)) return;
    facade()->remove_object(selector.c_str(), status());
}
