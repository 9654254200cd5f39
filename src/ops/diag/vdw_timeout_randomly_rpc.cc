// VDW_TimeoutRandomlyRpc.
#include "ops/diag/vdw_timeout_randomly_rpc.h"

#include <cstdlib>
#include <ctime>

#include "foundation/wcm_status.h"
#include "ops/diag/vdw_diag_access.h"

void VDW_TimeoutRandomlyRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!vdw_diag_allowed(request(), status())) return;
    if (!check_std_rpc_info(status(), false)) return;
    srand(static_cast<unsigned>(time(nullptr)));
    // 100002: the session has expired.
    status().set_status(rand() % 2 == 1 ? 0 : TBS_ST_SESSION_EXPIRED);
}
