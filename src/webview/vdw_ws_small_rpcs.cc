// The small web-view RPCs.
#include "webview/vdw_ws_small_rpcs.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/view/view.h"
#include "core/ws/ws.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"
#include "request/vdw_rpc_response.h"

namespace {

struct HandleFree {
    void operator()(ws_handle_t* h) const { ws_free_handle(h); }
};
using WsHandle = std::unique_ptr<ws_handle_t, HandleFree>;

// The web view named by `view_uuid`, as a core web-view handle; null with the status set.
WsHandle open_web_view(VDW_Vdcore& facade, const char* view_uuid, WCM_Status& status) {
    view_t* view = nullptr;
    facade.open_view(view_uuid, &view, status);
    if (!status.is_ok()) return nullptr;
    ws_handle_t* h = nullptr;
    tbs_status_t st = ws_get_handle(view->root.c_str(), 0, &h);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        return nullptr;
    }
    return WsHandle(h);
}

// The one argument of both RPCs; false with the status set (the parser printed why).
bool read_view_uuid(const char* args, std::string* uuid, WCM_Status& status) {
    VDW_ReqArgsParser parser(args);
    const char* value = nullptr;
    if (!parser.match_next("ViewUuid", &value, status)) return false;
    *uuid = value;
    return true;
}

}  // namespace

std::string vdw_ws_scopes_text(VDW_Vdcore& facade, const char* view_uuid, WCM_Status& status) {
    WsHandle h = open_web_view(facade, view_uuid, status);
    if (!h) return {};
    std::vector<std::string> scopes;
    tbs_status_t st = ws_get_scopes(h.get(), &scopes);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        return {};
    }
    std::string text;
    char buf[VDW_PNAME_BUF_SIZE];
    for (const std::string& scope : scopes)
        text += std::string(VDW_ReqArgsGenerator::encode_pname(scope.c_str(), buf)) + "\n";
    return text;
}

void VDW_WsGetScopesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_WsGetScopesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string uuid;
    if (!read_view_uuid(request().rpcargs(), &uuid, status())) return;
    const std::string text = vdw_ws_scopes_text(*facade(), uuid.c_str(), status());
    if (!status().is_ok()) return;
    VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, "text/plain", nullptr, text.data(),
                           static_cast<long long>(text.size()));
    add_part(part, true);
}

void VDW_Vdcore::ws_get_scopes_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                   WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "ws_get_scopes_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    std::string uuid;
    if (!read_view_uuid(args, &uuid, status)) return;
    const std::string text = vdw_ws_scopes_text(*this, uuid.c_str(), status);
    if (!status.is_ok()) return;
    VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, "text/plain", nullptr, text.data(),
                           static_cast<long long>(text.size()));
    response.add_part(part, true);
}

void VDW_Vdcore::ws_sync_check_in_progress_rpc(const char* args, std::ostream& out,
                                               WCM_MemPool& pool, WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "ws_sync_check_in_progress_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    std::string uuid;
    if (!read_view_uuid(args, &uuid, status)) return;
    WsHandle h = open_web_view(*this, uuid.c_str(), status);
    if (!h) return;
    int state = 0;
    tbs_status_t st = ws_ok_to_load(h.get(), &state);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        return;
    }
    VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, nullptr, nullptr, nullptr, 0);
    part.add_part_item("HasSyncInProgress", VDW_ReqArgsGenerator::encode_bool(state == 1));
    if (state == 1) {
        int64_t start = 0;
        char who[1024] = "", pid[256] = "";
        if (ws_get_load_info(h.get(), 0, &start, 0, who, sizeof who, pid, sizeof pid) ==
            TBS_ST_OK) {
            part.add_part_item("StartTime", static_cast<long>(start));
            part.add_part_item("Who", who);
            part.add_part_item("Pid", pid);
        }
    }
    response.add_part(part, true);
}
