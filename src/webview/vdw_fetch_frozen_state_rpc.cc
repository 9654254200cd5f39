// VDW_FetchFrozenStateRpc.
#include "webview/vdw_fetch_frozen_state_rpc.h"

#include <set>
#include <string>

#include "core/sum/sum_view.h"
#include "facade/vdw_rpc_args.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"
#include "webview/vdw_view_state_digest.h"

void VDW_FetchFrozenStateRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_FetchFrozenStateRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_ReqArgsParser args(request().rpcargs());
    const char* value = nullptr;
    if (!args.match_next("ViewUuid", &value, status())) return;
    tbs_uuid_t uuid;
    SUM_View view;
    tbs_status_t st = tbs_uuid_from_str(value, &uuid);
    if (st == TBS_ST_OK) st = SUM_View::construct_from_uuid(uuid, &view);
    if (st != TBS_ST_OK) {
        VDW_RpcArgs::bad_value(status(), "ViewUuid", value);
        status().set_status(st);
        return;
    }
    std::set<std::string> dirs;
    char buf[VDW_PNAME_BUF_SIZE];
    while (args.has_more_args()) {
        if (!args.match_next("ViewRelPname", &value, status())) return;
        dirs.insert(VDW_ReqArgsParser::decode_pname(value, buf));
    }
    std::string text;
    const bool read = vdw_read_digest(status(), [&] {
        if (dirs.empty()) {
            WebViewStateDigest(view).get_frozen_objects_states(text);
        } else {
            WebViewStateDigest(view, dirs).get_frozen_objects_states(text);
        }
    });
    if (!read) return;
    VDW_MultipartData part("FrozenObjectsStates", "text/plain;charset=UTF-8", nullptr, text.c_str(),
                           text.size());
    add_part(part, true);
}
