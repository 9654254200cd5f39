// VDW_ForceExitRpc.
#include "ops/diag/vdw_force_exit_rpc.h"

#include <unistd.h>

#include "foundation/wcm_status.h"
#include "ops/diag/vdw_diag_access.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"

void VDW_ForceExitRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!vdw_diag_allowed(request(), status())) return;
    if (!check_std_rpc_info(status(), true)) return;
    VDW_ReqArgsParser args(request().rpcargs());
    const char* code = nullptr;
    if (!args.match_next("ExitCode", &code, status())) return;
    // At once: no status part, no trailer, no exit handlers writing to the stream.
    _exit(VDW_ReqArgsParser::decode_int(code));
}
