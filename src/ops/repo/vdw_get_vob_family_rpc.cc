// VDW_GetVobFamilyRpc.
#include "ops/repo/vdw_get_vob_family_rpc.h"

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_GetVobFamilyRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetVobFamilyRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string family;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("VobFamilyUuid", &family)) return;
    vob_t* vob = nullptr;
    facade()->find_vob_by_uuid(family.c_str(), &vob, status());
    if (!status().is_ok()) return;
    // A family here has one replica: the VOB itself.
    VDW_MultipartData part("ReplicaFound", nullptr, nullptr, nullptr, 0);
    part.add_part_item("Uuid", SUM_Uuid(vob->uuid));
    part.add_part_item("Replica", VDW_Vdcore::LOCAL_REPLICA_NAME);
    add_part(part, true);
}
