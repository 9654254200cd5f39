// VDW_DirectoryListingRpc: what the directory listings share.
#include <string>
#include <vector>

#include "core/sum/sum_string.h"
#include "core/view/view.h"
#include "facade/vdw_fso_description.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/catalogs.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/view/vdw_directory_listing_rpcs.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_DirectoryListingRpc::list(bool with_pname, bool dirs_only, const char* count_part,
                                   const char* entry_part) {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string view_uuid, path;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewUuid", &view_uuid)) return;
    char root[VDW_Vdcore::PNAME_SIZE] = "";
    facade()->uuid_to_viewroot(view_uuid.c_str(), root, status());
    if (!status().is_ok()) return;
    view_t* view = nullptr;
    facade()->open_view(view_uuid.c_str(), &view, status());
    if (!status().is_ok()) {
        status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_GET_VIEW_TAG_FAILED, root,
                        tbs_strerror(status().status()));
        return;
    }
    if (with_pname && !args.pname("Pname", &path)) return;
    while (!path.empty() && path.front() == '/') path.erase(0, 1);
    while (!path.empty() && path.back() == '/') path.pop_back();

    std::vector<VDW_Vdcore::Dirent> entries;
    bool listed = false;
    facade()->get_dirents(view, path.c_str(), dirs_only, &entries, &listed, status());
    if (!status().is_ok()) return;
    if (!listed) {
        facade()->get_tag_component_sub_directories(path.c_str(), &entries, status());
        if (!status().is_ok()) return;
    }
    VDW_MultipartData count(count_part, nullptr, nullptr, nullptr, 0);
    count.add_part_item(count_part, static_cast<long>(entries.size()));
    if (add_part(count, false)) return;
    for (const VDW_Vdcore::Dirent& e : entries) {
        VDW_MultipartData part(entry_part, nullptr, nullptr, nullptr, 0);
        part.add_part_item(entry_part, e.name.c_str());
        e.description->marshal(part, false);
        if (add_part(part, false)) return;
    }
}

void VDW_EnumerateDirectoryContentsRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_EnumerateDirectoryContentsRpc", "send_response_body");
    list(true, false, "NumDirents", "Dirent");
}

void VDW_EnumerateSubDirectoriesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_EnumerateSubDirectoriesRpc", "send_response_body");
    list(true, true, "NumDirents", "Dirent");
}

void VDW_EnumerateViewRootSubDirectoriesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_EnumerateViewRootSubDirectoriesRpc", "send_response_body");
    list(false, true, "numSubDirectories", "SubDirectory");
}
