// VDW_SetConfigSpecRpc.
#include "ops/view/vdw_set_config_spec_rpc.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/view/view.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"
#include "webview/vdw_ws_sync_fetch.h"

namespace {

// `count` values of the argument `name`, as pathnames or as they are.
bool read_list(VDW_RpcArgs& a, const char* count_name, const char* name, bool pnames,
               std::vector<std::string>* out, WCM_Status& status) {
    int n = 0;
    if (!a.integer(count_name, &n)) return false;
    if (n < 0 || n > 100000) return VDW_RpcArgs::bad_count(status, count_name, n);
    out->resize(static_cast<size_t>(n));
    for (std::string& v : *out)
        if (!(pnames ? a.pname(name, &v) : a.rich(name, &v))) return false;
    return true;
}

bool opt_bool(VDW_RpcArgs& a, const char* name, bool* out, bool* present) {
    std::string text;
    if (!a.opt_text(name, &text, present)) return false;
    if (*present) *out = text == "1";
    return true;
}

}  // namespace

void VDW_SetConfigSpecRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_SetConfigSpecRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, mode_name, hijack;
    std::vector<std::string> elem_lines, scopes, load_lines;
    bool partial = false, send_cleartext = true, send_failures = false, preserve = true;
    bool has_cleartext = false, has_failures = false, has_preserve = false;
    if (!a.text("ViewUuid", &uuid) || !a.text("Mode", &mode_name) ||
        !read_list(a, "NumElemLines", "E", false, &elem_lines, status()) ||
        !read_list(a, "NumScopes", "S", true, &scopes, status()) ||
        !a.boolean("PartialSync", &partial) ||
        !opt_bool(a, "SendCleartext", &send_cleartext, &has_cleartext) ||
        !opt_bool(a, "SendFailures", &send_failures, &has_failures) ||
        !read_list(a, "NumLines", "L", false, &load_lines, status()) ||
        !opt_bool(a, "PreserveTime", &preserve, &has_preserve) || !a.text("HijackMode", &hijack))
        return;
    view_setcs_mode_t mode;
    if (view_setcs_mode_from_name(mode_name.c_str(), &mode) != TBS_ST_OK) {
        VDW_RpcArgs::bad_value(status(), "Mode", mode_name);
        return;
    }
    VDW_WsSyncFetch::HijackMode hijack_mode =
        VDW_WsSyncFetch::hijack_mode_from_str(hijack.empty() ? "Keep" : hijack.c_str(), status());
    if (!status().is_ok()) return;
    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    core.open_view(uuid.c_str(), &view, status());
    if (!status().is_ok()) return;

    const std::vector<std::string> before = view_cspec_load_rules(*view->cspec);
    std::string text;
    for (const std::string& l : elem_lines) text += l + "\n";
    for (const std::string& l : load_lines) text += l + "\n";
    std::vector<std::string> errors;
    tbs_status_t st = view_set_cspec(view, mode, text, &errors);
    if (st != TBS_ST_OK) {
        status().set_status(st);
        for (const std::string& e : errors) status().add_text((e + "\n").c_str());
        status().format(&_vdw_lib_lib_msg_table, VDW_LIB_SET_CS_FAILED, view->tag.c_str(),
                        tbs_strerror(st));
        return;
    }
    // The load rules that went: what was loaded below them is unloaded by the update.
    const std::vector<std::string> after = view_cspec_load_rules(*view->cspec);
    std::vector<std::string> removed;
    for (const std::string& r : before)
        if (std::find(after.begin(), after.end(), r) == after.end()) removed.push_back(r);

    VDW_WsSyncFetch fetch(core, VDW_WsSyncFetch::SYNC_FROM_VOB, view->root.c_str(),
                          request().accept_compressed_cleartext(), send_cleartext, send_failures,
                          *this, pool(), status());
    std::vector<const char*> list, gone;
    if (partial)
        for (const std::string& s : scopes) list.push_back(s.c_str());
    for (const std::string& r : removed) gone.push_back(r.c_str());
    fetch.set_scope_list(list.data(), static_cast<unsigned>(list.size()), gone.data(),
                         static_cast<unsigned>(gone.size()));
    fetch.set_cspec_mod_before_update();
    if (view->kind == VIEW_KIND_SNAPSHOT) {
        fetch.set_snapshot_view();
        fetch.set_hijack_mode(hijack_mode);
        if (has_preserve) fetch.set_use_ptime(preserve);
        fetch.set_override_ptime(has_preserve);
    }
    fetch.run(status());
    if (!status().is_ok()) status().format(&_vdw_lib_lib_msg_table, VDW_LIB_FETCH_PROBLEMS);
}
