// VDW_MkLabelTypeRpc.
#include "ops/repo/vdw_mk_label_type_rpc.h"

#include <string>

#include "core/vob/vob.h"
#include "facade/vdw_rpc_args.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_request.h"

void VDW_MkLabelTypeRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_MkLabelTypeRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    TypeArgs a;
    std::string master_kind;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!read_type_args(args, &a) || !args.text("MasterKind", &master_kind)) return;
    // Where a label's instances are mastered matters between replicas; every VOB here has
    // one, which masters them all, whatever the kind asked for.
    make_type(VOB_MTYPE_LBTYPE, a);
}
