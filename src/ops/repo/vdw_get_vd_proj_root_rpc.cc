// VDW_GetVDProjRootRpc.
#include "ops/repo/vdw_get_vd_proj_root_rpc.h"

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_GetVDProjRootRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetVDProjRootRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string view_uuid, oid, vob_tag;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewUuid", &view_uuid) || !args.text("ObjectOid", &oid) ||
        !args.pname("VobTag", &vob_tag))
        return;

    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    core.open_view(view_uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    // The object by its id in the VOB; a text that is no object id fails as a selector.
    const std::string selector = "oid:" + oid + "@" + vob_tag;
    vob_resolved_t obj;
    core.resolve_vob_obj(view, selector.c_str(), 0, &obj, status());
    std::string pname;
    if (status().is_ok()) core.get_obj_name(obj.vob, obj.dbid, &pname, status());
    if (!status().is_ok()) return;
    VDW_MultipartData part("VDProjRoot", nullptr, nullptr, nullptr, 0);
    part.add_part_item("VDProjRoot", pname.c_str());
    add_part(part, true);
}
