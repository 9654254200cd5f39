// VDW_IsTypeVisibleRpc.
#include "ops/repo/vdw_is_type_visible_rpc.h"

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_IsTypeVisibleRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_IsTypeVisibleRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string vob_uuid, name, kind;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("VobUuid", &vob_uuid) || !args.text("Name", &name) || !args.text("MType", &kind))
        return;
    const int mtype = VDW_Vdcore::type_mtype_from_name(kind.c_str());
    if (mtype == 0) {
        VDW_RpcArgs::bad_value(status(), "MType", kind);
        return;
    }
    vob_t* vob = nullptr;
    facade()->find_vob_by_uuid(vob_uuid.c_str(), &vob, status());
    if (!status().is_ok()) return;
    // Every type here is the VOB's own, so a type is visible where it exists.
    VDW_MultipartData part("TypeFound", nullptr, nullptr, nullptr, 0);
    part.add_part_item("TypeVisible", facade()->is_type_visible(vob, mtype, name.c_str()));
    add_part(part, true);
}
