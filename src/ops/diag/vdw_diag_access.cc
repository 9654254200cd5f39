// The administrator's check of the diagnostic RPCs.
#include "ops/diag/vdw_diag_access.h"

#include "core/cred/credutl.h"
#include "core/tbs/tbs.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

bool vdw_diag_allowed(const VDW_Request& request, WCM_Status& status) {
    credutl_creds_t who{};
    tbs_status_t st = credutl_get_creds(&who);
    if (st == TBS_ST_OK && credutl_is_privileged(who)) return true;
    if (st == TBS_ST_OK) st = TBS_ST_PERMISSION;
    status.set_status(st);
    status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_ADMINISTRATOR_ONLY,
                  VDW_MultipartData::echo_text(request.rpc_name()).c_str(), tbs_strerror(st));
    return false;
}
