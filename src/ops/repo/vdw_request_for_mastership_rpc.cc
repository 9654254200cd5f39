// VDW_RequestForMastershipRpc.
#include "ops/repo/vdw_request_for_mastership_rpc.h"

#include <string>
#include <vector>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

struct Args {
    std::string view_uuid;
    int count = 0;
    std::string list;
    bool selectors = false;  // "SelectorList" rather than "PerElementList"
    std::string branches;
    std::string comment;
    bool preview = false;
};

bool read_args(const char* text, Args* a, WCM_Status& status) {
    VDW_RpcArgs args(text, status);
    if (!args.text("ViewUuid", &a->view_uuid) || !args.integer("NumItems", &a->count) ||
        !args.opt_rich("SelectorList", &a->list, &a->selectors))
        return false;
    if (!a->selectors && !args.rich("PerElementList", &a->list)) return false;
    // Arguments of later clients after the common ones are read and not used.
    return args.rich("BranchList", &a->branches) && args.rich("Comment", &a->comment) &&
           args.boolean("RFMPreview", &a->preview) && args.skip_rest();
}

}  // namespace

void VDW_RequestForMastershipRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_RequestForMastershipRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    Args a;
    if (!read_args(request().rpcargs(), &a, status())) return;
    // Selectors name branches or branch types; element pathnames pair, line by line, with
    // the branch paths of "BranchList" ("/main/dev"; an empty line: the element itself).
    const std::vector<std::string> items = VDW_RpcArgs::split_lines(a.list);
    std::vector<std::string> branches = VDW_RpcArgs::split_lines(a.branches);
    if (a.count < 0 || items.size() != static_cast<size_t>(a.count) ||
        (!a.selectors && branches.size() > items.size())) {
        VDW_RpcArgs::bad_count(status(), "NumItems", a.count);
        return;
    }
    branches.resize(items.size());

    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    if (!a.view_uuid.empty()) core.open_view(a.view_uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    // Nothing moves: the local replica masters every object already, preview or not. An
    // item that names nothing is answered as failed, and the request fails with the first.
    WCM_Status first;
    for (size_t i = 0; i < items.size(); ++i) {
        std::string target = items[i];
        if (!a.selectors && !branches[i].empty())
            target += VDW_Vdcore::get_ver_ext_string() + branches[i];
        WCM_Status item;
        vob_resolved_t obj;
        core.resolve_vob_obj(view, target.c_str(), VOB_RESOLVE_NOFOLLOW, &obj, item);
        VDW_MultipartData part("RFMData", nullptr, nullptr, nullptr, 0);
        part.add_part_item("RFMReplicaName", VDW_Vdcore::LOCAL_REPLICA_NAME);
        part.add_part_item("RFMObjectDescriptor", target.c_str());
        if (item.is_ok() && VDW_Vdcore::has_local_mastership(obj.vob, obj.dbid)) {
            const std::string msg = std::string("Replica \"") + VDW_Vdcore::LOCAL_REPLICA_NAME +
                                    "\" already masters \"" + target + "\".";
            part.add_part_item("RFMStatus", "ALREADY_MASTERED");
            part.add_part_item("RFMStatusMsg", msg.c_str());
        } else {
            part.add_part_item("RFMStatus", "FAILED");
            part.add_part_item("RFMStatusMsg", item.strerror());
            if (first.is_ok()) first = item;
        }
        part.add_part_item("RFMOplogId", 0L);
        if (add_part(part, false)) return;
    }
    if (!first.is_ok()) status() = first;
}
