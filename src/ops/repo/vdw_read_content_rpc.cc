// VDW_ReadContentRpc.
#include "ops/repo/vdw_read_content_rpc.h"

#include <cerrno>
#include <fstream>
#include <string>

#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/vdw_rpc_args.h"
#include "ops/vdw_vdcore.h"
#include "ops/vdw_vdcore_report.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_ReadContentRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_ReadContentRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    // The version: a selector ("oid:...@vob", "/vobs/p/a.c@@/main/2"), or a pathname taken in
    // the view the optional "ViewUuid" names (else in the server's own view).
    std::string selector, view_uuid;
    bool has_view = false;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.pname("ResourceSelector", &selector) ||
        !args.opt_text("ViewUuid", &view_uuid, &has_view))
        return;

    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    if (has_view && !view_uuid.empty()) core.open_view(view_uuid.c_str(), &view, status());
    vob_resolved_t obj;
    if (status().is_ok()) core.resolve_vob_obj(view, selector.c_str(), 0, &obj, status());
    vob_dbid_t version = 0;
    if (status().is_ok()) core.version_from_selector(obj, view, &version, status());
    std::string name;
    if (status().is_ok()) core.get_obj_name(obj.vob, version, &name, status());
    char path[VDW_Vdcore::PNAME_SIZE];
    if (status().is_ok()) core.get_cleartext(obj.vob, version, path, status());
    if (!status().is_ok()) return;

    // Opened, then unlinked at once: nothing is left behind however the request ends.
    std::ifstream in(path, std::ios::binary);
    const int open_error = errno;
    VDW_Vdcore::free_cleartext(path);
    long long size = -1;
    if (in && in.seekg(0, std::ios::end)) {
        size = static_cast<long long>(in.tellg());
        in.seekg(0, std::ios::beg);
    }
    if (!in || size < 0) {
        vdw_core_ok(status(), tbs_errno2status(open_error ? open_error : EIO),
                    VDW_LIB_READ_CLEARTEXT_FAILED, name.c_str());
        return;
    }
    // The bytes as the version holds them: lines end as they were checked in.
    int read_error = 0;
    VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, VDW_MultipartData::MIME_CLEARTEXT,
                           in, size, read_error);
    part.add_part_item("Version", name.c_str());
    if (add_part(part, true)) return;
    if (read_error != 0)
        vdw_core_ok(status(), tbs_errno2status(read_error), VDW_LIB_READ_CLEARTEXT_FAILED,
                    name.c_str());
}
