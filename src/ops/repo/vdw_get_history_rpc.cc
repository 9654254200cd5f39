// VDW_GetHistoryRpc.
#include "ops/repo/vdw_get_history_rpc.h"

#include <string>
#include <vector>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_GetHistoryRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetHistoryRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string scope, view_uuid;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.pname("Scope", &scope) || !args.text("ViewUuid", &view_uuid)) return;

    // The scope is a pathname in the view, or with no view a VOB pathname or any selector
    // (a type's history, say).
    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    if (!view_uuid.empty()) core.open_view(view_uuid.c_str(), &view, status());
    vob_resolved_t obj;
    if (status().is_ok())
        core.resolve_vob_obj(view, scope.c_str(), VOB_RESOLVE_NOFOLLOW, &obj, status());
    std::vector<VDW_Vdcore::HistoryEvent> events;
    if (status().is_ok()) core.get_history(obj, &events, status());
    if (!status().is_ok()) return;
    // Each event is one "History" record followed by its comment (possibly empty) as the
    // body of a "HistoryComment" part. Change-request tasks are not kept here.
    for (const VDW_Vdcore::HistoryEvent& e : events) {
        VDW_MultipartData record("History", nullptr, nullptr, nullptr, 0);
        record.add_part_item("Time", static_cast<long long>(e.time));
        record.add_part_item("Kind", e.kind.c_str());
        record.add_part_item("CreatedUser", e.user.c_str());
        record.add_part_item("Host", e.host.c_str());
        record.add_part_item("Object", e.object.c_str());
        record.add_part_item("Version", e.version.c_str());
        record.add_part_item("HasTasks", false);
        if (add_part(record, false)) return;
        VDW_MultipartData comment("HistoryComment", VDW_MultipartData::MIME_TEXT, nullptr,
                                  e.comment.data(), static_cast<long long>(e.comment.size()));
        if (add_part(comment, false)) return;
    }
}
