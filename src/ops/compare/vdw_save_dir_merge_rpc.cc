// VDW_SaveDirMergeRpc.
#include "ops/compare/vdw_save_dir_merge_rpc.h"

#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_request.h"

void VDW_SaveDirMergeRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_SaveDirMergeRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    facade()->save_dir_merge(*this, request().rpcargs(), status());
}
