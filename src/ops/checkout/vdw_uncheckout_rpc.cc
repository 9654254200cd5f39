// VDW_UncheckoutRpc.
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/ws/ws.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/checkout/vdw_checkout_rpcs.h"
#include "ops/checkout/vdw_co_common.h"
#include "request/vdw_request.h"
#include "webview/vdw_ws_sync_fetch.h"

namespace {

// Whether `pname` lies within one of the view's load rules.
bool within_load_scopes(view_t* view, const std::string& pname) {
    ws_handle_t* h = nullptr;
    if (ws_get_handle(view->root.c_str(), 0, &h) != TBS_ST_OK) return false;
    std::vector<std::string> scopes;
    ws_get_scopes(h, &scopes);
    ws_free_handle(h);
    for (const std::string& s : scopes)
        if (pname == s || (pname.size() > s.size() && pname.compare(0, s.size(), s) == 0 &&
                           pname[s.size()] == '/'))
            return true;
    return false;
}

// The content a version holds (its pool name; "" for none).
std::string content_of(vob_t* vob, vob_dbid_t version) {
    vob_version_info_t v;
    return vob_ver_get_info(vob, version, &v) == TBS_ST_OK ? v.content : std::string();
}

}  // namespace

void VDW_UncheckoutRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_UncheckoutRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, ignored, pop_text;
    VDW_Series series;
    int count = 0;
    bool has_pop = false;
    if (!a.text("ViewUuid", &uuid) || !vdw_read_series(a, &series) ||
        !a.integer("NumItems", &count))
        return;
    if (count < 0 || count > 100000) {
        VDW_RpcArgs::bad_count(status(), "NumItems", count);
        return;
    }
    std::vector<std::pair<std::string, std::string>> items(static_cast<size_t>(count));
    for (auto& [scope, cur] : items)
        if (!a.text("BeginItem", &ignored) || !a.pname("Scope", &scope) ||
            !a.text("CurVerId", &cur) || !a.text("EndItem", &ignored))
            return;
    if (!a.opt_text("PopKind", &pop_text, &has_pop)) return;
    const int pop =
        has_pop ? VDW_Vdcore::pop_to_vobOp(
                      std::to_string(VDW_ReqArgsParser::decode_int(pop_text.c_str())).c_str())
                : CMD_POP_NONE;
    if (pop < 0) {
        VDW_RpcArgs::bad_value(status(), "PopKind", pop_text);
        return;
    }
    VDW_Vdcore& core = *facade();
    VDW_WorkView wv;
    if (!vdw_open_work_view(core, uuid, &wv, status())) return;
    for (const auto& [scope, cur] : items) {
        std::string pname;
        vob_resolved_t r;
        if (!vdw_resolve_item(core, wv.view, scope, &pname, &r, status())) break;
        if (r.mtype == VOB_MTYPE_DIR_VERSION && !within_load_scopes(wv.view, pname)) continue;
        vdw_trace_series("VDW_UncheckoutRpc", series, pname);
        vob_checkout_info_t co;
        const bool dir = r.mtype == VOB_MTYPE_DIR_VERSION;
        const std::string before = !dir && vdw_view_checkout(r.vob, r.element, wv.view, &co)
                                       ? content_of(r.vob, co.dbid)
                                       : std::string();
        cmd_uncheckout_args_t un;
        un.pnames = {pname};
        un.view = &wv.view->ctx;
        un.pop_kind = pop;
        tbs_status_t st = cmd_uncheckout_with_pop(&un);
        if (st != TBS_ST_OK) {
            status().set_status(st);
            status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_UNCHECKOUT_PROBLEMS);
            break;
        }
        // The contents go to the client only when the version it now holds differs from
        // the checkout it had.
        vob_resolved_t now;
        bool force_download = dir;
        if (!dir && vob_resolve_pname(pname.c_str(), &wv.view->ctx, 0, &now) == TBS_ST_OK)
            force_download = content_of(now.vob, now.version) != before;
        if (trace.shouldTrace(2))
            trace.writeTrace("force_download %d, client_has_correct_ver_data %d\n", force_download,
                             !force_download);
        VDW_WsSyncFetch::download_one_uncheckout(core, wv.root.c_str(), pname.c_str(),
                                                 request().accept_compressed_cleartext(),
                                                 !force_download, *this, pool(), status());
        if (!status().is_ok()) break;
    }
}
