// VDW_SleepRpc.
#include "ops/diag/vdw_sleep_rpc.h"

#include <unistd.h>

#include <chrono>
#include <thread>

#include "foundation/wcm_status.h"
#include "ops/diag/vdw_diag_access.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"

void VDW_SleepRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!vdw_diag_allowed(request(), status())) return;
    if (!check_std_rpc_info(status(), true)) return;
    VDW_ReqArgsParser args(request().rpcargs());
    const char* seconds = nullptr;
    if (!args.match_next("SleepTimeSeconds", &seconds, status())) return;
    int n = VDW_ReqArgsParser::decode_int(seconds);
    if (n > 0) std::this_thread::sleep_for(std::chrono::seconds(n));
    VDW_MultipartData part("Pid", nullptr, nullptr, nullptr, 0);
    part.add_part_item("Pid", static_cast<long>(getpid()));
    add_part(part, true);
}
