// VDW_GetVersionSeparatorRpc.
#include "ops/repo/vdw_get_version_separator_rpc.h"

#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"

void VDW_GetVersionSeparatorRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), false)) return;
    VDW_MultipartData part("Separator", nullptr, nullptr, nullptr, 0);
    part.add_part_item("Separator", VDW_Vdcore::get_ver_ext_string());
    add_part(part, true);
}
