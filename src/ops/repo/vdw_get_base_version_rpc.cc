// VDW_GetBaseVersionRpc.
#include "ops/repo/vdw_get_base_version_rpc.h"

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_GetBaseVersionRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetBaseVersionRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string view_uuid, path;
    bool has_path = false, checked_out = false, hijacked = false, loaded = false;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewUuid", &view_uuid) || !args.opt_pname("ElemPath", &path, &has_path) ||
        !args.boolean("CheckedOut", &checked_out) || !args.boolean("Hijacked", &hijacked) ||
        !args.boolean("Loaded", &loaded))
        return;
    // Without a file there is no base to tell.
    if (!has_path) {
        VDW_RpcArgs::missing(status(), "ElemPath");
        return;
    }

    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    core.open_view(view_uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    // Whether the element is checked out is the view's to say, not the client's: a client
    // whose checkout was cancelled elsewhere gets the version its file is now based on.
    std::string base;
    core.get_base_version(view, path.c_str(), hijacked, loaded, &base, status());
    if (!status().is_ok()) return;
    VDW_MultipartData part("VersionExtendedPathname", nullptr, nullptr, nullptr, 0);
    part.add_part_item("VersionExtendedPathname", base.c_str());
    add_part(part, true);
}
