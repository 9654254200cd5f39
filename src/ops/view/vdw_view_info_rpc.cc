// VDW_ViewInfoRpc.
#include "ops/view/vdw_view_info_rpc.h"

#include <string>

#include "core/view/view.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_ViewInfoRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_ViewInfoRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string view_uuid;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewUuid", &view_uuid)) return;
    view_t* view = nullptr;
    facade()->open_view(view_uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, nullptr, nullptr, nullptr, 0);
    part.add_part_item("IsXcmView", view->sum_view ? "Y" : "N");
    part.add_part_item("ViewTag", view->tag.c_str());
    add_part(part, true);
}
