// VDW_EnumerateVobsRpc.
#include "ops/repo/vdw_enumerate_vobs_rpc.h"

#include <fnmatch.h>

#include <string>
#include <vector>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_EnumerateVobsRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_EnumerateVobsRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string filter;
    bool project_only = false, public_only = false;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("NameFilter", &filter) || !args.boolean("ShowOnlyProjectVobs", &project_only) ||
        !args.boolean("ShowOnlyPublicVobs", &public_only))
        return;
    // Project VOBs hold change-management objects, which no VOB of this server does.
    if (project_only) return;

    std::vector<VDW_Vdcore::VobEntry> vobs;
    facade()->get_vob_tag_list(&vobs, status());
    if (!status().is_ok()) return;
    for (const VDW_Vdcore::VobEntry& v : vobs) {
        // The filter is a shell pattern over the whole tag ("/vobs/*"); none takes every VOB.
        if (!filter.empty() && fnmatch(filter.c_str(), v.tag.c_str(), 0) != 0) continue;
        if (public_only && !v.is_public) continue;
        VDW_MultipartData part("VobFound", nullptr, nullptr, nullptr, 0);
        part.add_part_item("Tag", v.tag.c_str());
        part.add_part_item("Uuid", v.family);
        part.add_part_item("Kind", "vob");
        part.add_part_item("MountAccess", v.is_public ? "public" : "private");
        if (add_part(part, false)) return;
    }
}
