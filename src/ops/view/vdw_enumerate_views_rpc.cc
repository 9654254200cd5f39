// VDW_EnumerateViewsRpc.
#include "ops/view/vdw_enumerate_views_rpc.h"

#include <strings.h>

#include <string>
#include <vector>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

typedef bool (*view_filter_t)(const VDW_Vdcore::ViewEntry&);

struct ViewKind {
    const char* name;  // as the client sends it, in any letter case
    view_filter_t keep;
};
const ViewKind kKinds[] = {
    {"", [](const VDW_Vdcore::ViewEntry&) { return true; }},
    {"all", [](const VDW_Vdcore::ViewEntry&) { return true; }},
    {"web", [](const VDW_Vdcore::ViewEntry& v) { return v.is_web; }},
    {"snapshot", [](const VDW_Vdcore::ViewEntry& v) { return v.is_snapshot; }},
    {"automatic", [](const VDW_Vdcore::ViewEntry& v) { return v.is_automatic; }},
    {"dynamic", [](const VDW_Vdcore::ViewEntry& v) { return v.is_dynamic; }},
};

}  // namespace

void VDW_EnumerateViewsRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_EnumerateViewsRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string type;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewType", &type)) return;
    view_filter_t keep = nullptr;
    for (const ViewKind& k : kKinds)
        if (strcasecmp(type.c_str(), k.name) == 0) keep = k.keep;
    if (!keep) {
        VDW_RpcArgs::bad_value(status(), "ViewType", type);
        return;
    }
    std::vector<VDW_Vdcore::ViewEntry> views;
    facade()->get_view_list(&views, status());
    if (!status().is_ok()) return;
    for (const VDW_Vdcore::ViewEntry& v : views) {
        if (!keep(v)) continue;
        VDW_MultipartData part("ViewFound", nullptr, nullptr, nullptr, 0);
        part.add_part_item("View", v.tag.c_str());
        part.add_part_item("Uuid", v.uuid);
        if (add_part(part, false)) return;
    }
}
