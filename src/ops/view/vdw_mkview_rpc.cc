// VDW_MkviewRpc.
#include "ops/view/vdw_mkview_rpc.h"

#include <strings.h>

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

struct Args {
    std::string tag;
    std::string config_tag;
    std::string stream;
    std::string text_mode;
    std::string stgloc;
    bool colocate = false;
    std::string copy_area_root;
};

bool read_args(const char* text, Args* a, WCM_Status& status) {
    VDW_RpcArgs args(text, status);
    return args.text("ViewTag", &a->tag) && args.text("ConfigTag", &a->config_tag) &&
           args.text("Stream", &a->stream) && args.text("TextMode", &a->text_mode) &&
           args.text("Stgloc", &a->stgloc) && args.boolean("Colocate", &a->colocate) &&
           args.pname("CopyAreaRoot", &a->copy_area_root);
}

// What this server makes: web views, of a stream or not, whose files keep the lines they were
// checked in with, with storage where the site keeps views. Each refusal names the value.
bool check_args(const Args& a, WCM_Status& status) {
    if (!a.text_mode.empty() && strcasecmp(a.text_mode.c_str(), "transparent") != 0 &&
        strcasecmp(a.text_mode.c_str(), "unix") != 0)
        return VDW_RpcArgs::not_supported(status, "TextMode", a.text_mode);
    if (!a.stgloc.empty() && a.stgloc != "-auto")
        return VDW_RpcArgs::not_supported(status, "Stgloc", a.stgloc);
    return true;
}

}  // namespace

void VDW_MkviewRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_MkviewRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    Args a;
    if (!read_args(request().rpcargs(), &a, status()) || !check_args(a, status())) return;
    // A web view's copy area is on the client, so "Colocate" has nothing to place beside
    // it. "ConfigTag" names a view whose config spec the new one starts with.
    VDW_Vdcore& core = *facade();
    std::string cspec;
    if (!a.config_tag.empty() && a.stream.empty())
        core.get_view_cspec(a.config_tag.c_str(), &cspec, status());
    if (!status().is_ok()) return;
    SUM_Uuid uuid;
    core.create_view(a.tag.c_str(), cspec.c_str(), a.copy_area_root.c_str(), &uuid, status(),
                     a.stream.c_str());
    if (!status().is_ok()) return;
    VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, nullptr, nullptr, nullptr, 0);
    part.add_part_item("Uuid", uuid);
    part.add_part_item("ViewTag", a.tag.c_str());
    add_part(part, true);
}
