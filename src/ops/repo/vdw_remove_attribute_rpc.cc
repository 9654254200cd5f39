// VDW_RemoveAttributeRpc.
#include "ops/repo/vdw_remove_attribute_rpc.h"

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/repo/vdw_apply_attribute_rpc.h"
#include "request/vdw_request.h"

void VDW_RemoveAttributeRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_RemoveAttributeRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string attype, version, comment, view_uuid, elem, selector;
    bool has_version = false, recurse = false, has_view = false, has_elem = false;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("TypeName", &attype) ||
        !args.opt_text("VersionString", &version, &has_version) ||
        !args.boolean("Recurse", &recurse) || !args.rich("Comment", &comment) ||
        !args.opt_text("ViewUuid", &view_uuid, &has_view) ||
        !args.opt_pname("Elem", &elem, &has_elem) || !args.text("Selector", &selector))
        return;
    if (recurse) {
        VDW_RpcArgs::not_supported(status(), "Recurse", "1");
        return;
    }
    VDW_Vdcore& core = *facade();
    VDW_Vdcore::AttributeRequest attr;
    if (has_view && !view_uuid.empty()) core.open_view(view_uuid.c_str(), &attr.view, status());
    if (!status().is_ok()) return;
    attr.attype = attype;
    attr.object = VDW_ApplyAttributeRpc::attribute_object(
        has_elem ? &elem : nullptr, has_version ? &version : nullptr, selector);
    attr.comment = comment;
    core.remove_attribute(attr, status());
}
