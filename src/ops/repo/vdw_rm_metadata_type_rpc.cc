// VDW_RmMetadataTypeRpc.
#include "ops/repo/vdw_rm_metadata_type_rpc.h"

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"

void VDW_RmMetadataTypeRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_RmMetadataTypeRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string selector, comment, all;
    bool has_comment = false, has_all = false;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("Selector", &selector) || !args.opt_rich("Comment", &comment, &has_comment) ||
        !args.opt_text("All", &all, &has_all))
        return;
    // The core records a type's removal under the type's name; a comment has no place in
    // that event and is not kept. "All" also removes the type's labels and attributes.
    facade()->remove_type(selector.c_str(), has_all && VDW_ReqArgsParser::decode_bool(all.c_str()),
                          status());
}
