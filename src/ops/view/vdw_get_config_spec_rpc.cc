// VDW_GetConfigSpecRpc.
#include "ops/view/vdw_get_config_spec_rpc.h"

#include <cstring>
#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

// Whether a config spec line is a load rule: its first word is "load".
bool is_load_rule(const std::string& line) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, 4, "load") != 0) return false;
    const size_t after = start + 4;
    return after < line.size() && (line[after] == ' ' || line[after] == '\t');
}

}  // namespace

void VDW_GetConfigSpecRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetConfigSpecRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string view_uuid;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewUuid", &view_uuid)) return;
    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    core.open_view(view_uuid.c_str(), &view, status());
    std::string text;
    if (status().is_ok()) core.get_view_cspec(view, &text, status());
    if (!status().is_ok()) return;
    // The lines as the user wrote them, each ending in a line feed: the load rules in one
    // section, everything else (element rules, comments, blank lines) in the other, each in
    // its order. A client edits the two apart and sends them back the same way.
    std::string elements, loads;
    for (const std::string& line : VDW_RpcArgs::split_lines(text))
        (is_load_rule(line) ? loads : elements) += line + "\n";
    VDW_MultipartData elem_part("CspecElemSection", VDW_MultipartData::MIME_TEXT, nullptr,
                                elements.data(), static_cast<long long>(elements.size()));
    if (add_part(elem_part, false)) return;
    VDW_MultipartData load_part("CspecLoadSection", VDW_MultipartData::MIME_TEXT, nullptr,
                                loads.data(), static_cast<long long>(loads.size()));
    add_part(load_part, true);
}
