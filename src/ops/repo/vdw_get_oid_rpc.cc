// VDW_GetOIDRpc.
#include "ops/repo/vdw_get_oid_rpc.h"

#include <strings.h>

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_GetOIDRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetOIDRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string view_uuid, pname, kind;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewUuid", &view_uuid) || !args.pname("ElementPathname", &pname) ||
        !args.text("OidType", &kind))
        return;
    // "element": the element's own id; "version": the id of the version the view selects.
    const bool want_element = strcasecmp(kind.c_str(), "element") == 0;
    if (!want_element && strcasecmp(kind.c_str(), "version") != 0) {
        VDW_RpcArgs::bad_value(status(), "OidType", kind);
        return;
    }

    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    core.open_view(view_uuid.c_str(), &view, status());
    vob_resolved_t obj;
    if (status().is_ok()) core.resolve_vob_obj(view, pname.c_str(), 0, &obj, status());
    if (!status().is_ok()) return;
    vob_dbid_t dbid = 0;
    if (!want_element) {
        core.version_from_selector(obj, view, &dbid, status());
    } else if (obj.element) {
        dbid = obj.element;
    } else {
        // A symbolic link is no element.
        vdw_core_ok(status(), TBS_ST_NOT_ELEMENT, VDW_LIB_RESOLVE_ELEMENT_FAILED, pname.c_str());
    }
    SUM_Oid oid;
    if (status().is_ok()) core.get_obj_oid(obj.vob, dbid, &oid, status());
    if (!status().is_ok()) return;
    VDW_MultipartData part("Oid", nullptr, nullptr, nullptr, 0);
    part.add_part_item("Oid", oid);
    part.add_part_item("ReplicaUuid", SUM_Uuid(obj.vob->uuid));
    add_part(part, true);
}
