// VDW_CheckoutRpc and VDW_CheckoutVersionRpc.
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/checkout/vdw_checkout_rpcs.h"
#include "ops/checkout/vdw_co_act.h"
#include "ops/checkout/vdw_co_common.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"
#include "webview/vdw_ws_sync_fetch.h"

namespace {

const char* const kClass = "VDW_CheckoutRpc";

struct Flags {
    int nonlatest = CMD_NONLATEST_FAIL;
    bool use_hijack = false, unreserved = false, fallback = false, nmaster_ok = false;
    bool check_replication = false;
};

// A version id the client leaves open: none, or the null id.
bool null_version_id(const std::string& id) {
    return id.empty() || id.find_first_not_of('0') == std::string::npos;
}

// Whether `older` is a version `newer` descends from by its predecessors.
bool is_predecessor(vob_t* vob, vob_dbid_t older, vob_dbid_t newer) {
    vob_version_info_t v;
    for (vob_dbid_t at = newer; at != 0 && vob_ver_get_info(vob, at, &v) == TBS_ST_OK;
         at = v.predecessor)
        if (v.predecessor == older) return true;
    return false;
}

}  // namespace

void VDW_CheckoutRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid;
    Flags f;
    VDW_Series series;
    int count = 0;
    if (!a.text("ViewUuid", &uuid) || !a.integer("NonlatestOption", &f.nonlatest) ||
        !a.boolean("UseHijack", &f.use_hijack) || !a.boolean("Unreserved", &f.unreserved) ||
        !a.boolean("FallbackToUnreserved", &f.fallback) ||
        !a.boolean("NotMasterOk", &f.nmaster_ok) ||
        !a.boolean("CheckReplicationOnServer", &f.check_replication) ||
        !vdw_read_series(a, &series) || !a.integer("NumItems", &count))
        return;
    if (count < 0 || count > 100000) {
        VDW_RpcArgs::bad_count(status(), "NumItems", count);
        return;
    }
    std::vector<item_t> items(static_cast<size_t>(count));
    std::string ignored;
    for (item_t& it : items) {
        if (!a.text("BeginItem", &ignored) || !a.pname("Scope", &it.scope) ||
            !a.text("CurVerId", &it.cur_ver_id) || !a.boolean("IsHijacked", &it.is_hijacked) ||
            !a.pname("Activity", &it.activity) || !a.rich("Comment", &it.comment) ||
            !a.text("EndItem", &ignored))
            return;
        if (!vdw_check_no_activity(it.activity, status())) return;
    }
    if (f.nonlatest < CMD_NONLATEST_FAIL || f.nonlatest > CMD_NONLATEST_LATEST)
        f.nonlatest = CMD_NONLATEST_FAIL;
    if (trace.shouldTrace(1)) trace.writeTrace("Checking out %d items.\n", count);
    VDW_Vdcore& core = *facade();
    VDW_WorkView wv;
    if (!vdw_open_work_view(core, uuid, &wv, status())) return;

    for (const item_t& it : items) {
        std::string pname;
        vob_resolved_t r;
        if (!vdw_resolve_item(core, wv.view, it.scope, &pname, &r, status())) {
            if (trace.shouldTrace(1))
                trace.writeTrace("Failed to get realpath for \"%s\".", it.scope.c_str());
            return;
        }
        vob_t* vob = r.vob;
        // The client's version must be the one the view shows it.
        std::string cur;
        vob_ver_get_idstr(vob, r.version, &cur);
        if (!null_version_id(it.cur_ver_id) && it.cur_ver_id != cur) {
            if (trace.shouldTrace(1))
                trace.writeTrace("Discordance status %d (cur = %s, chk = %s)",
                                 TBS_ST_VERSION_DISCORDANCE, cur.c_str(), it.cur_ver_id.c_str());
            status().set_status(TBS_ST_VERSION_DISCORDANCE);
            status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_VERSION_DISCORDANCE,
                            it.scope.c_str());
            return;
        }
        // A copy area holding an older version than the view selects must update first.
        vob_dbid_t loaded = 0;
        WCM_Status lookup;
        core.get_loaded_version(wv.view, pname.c_str(), vob, &loaded, lookup);
        if (lookup.is_ok() && loaded != 0 && loaded != r.version &&
            is_predecessor(vob, loaded, r.version)) {
            std::string loaded_name, latest_name;
            WCM_Status ignored_status;
            core.get_obj_name(vob, loaded, &loaded_name, ignored_status);
            core.get_obj_name(vob, r.version, &latest_name, ignored_status);
            vob_version_info_t lv, sv;
            vob_ver_get_info(vob, loaded, &lv);
            vob_ver_get_info(vob, r.version, &sv);
            VDW_MultipartData part("CheckoutLoadedNotLatest", nullptr, nullptr, nullptr, 0);
            part.add_part_item("RequestVersionName", loaded_name.c_str());
            part.add_part_item("RequestVersionCreatedBy", lv.creator.c_str());
            part.add_part_item("RequestedVersionCreatedOn", static_cast<long>(lv.created));
            part.add_part_item("LatestVersionName", latest_name.c_str());
            part.add_part_item("LatestVersionCreatedBy", sv.creator.c_str());
            part.add_part_item("LatestVersionCreatedOn", static_cast<long>(sv.created));
            add_part(part, true);
            status().set_status(TBS_ST_VERSION_NOT_LATEST);
            status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CHECKOUT_NOT_LATEST,
                            loaded_name.c_str());
            return;
        } else if (trace.shouldTrace(2)) {
            trace.writeTrace("pre-checkout update not needed");
        }
        vdw_trace_series(kClass, series, pname);
        cmd_checkout_args_t co;
        VDW_CoAct action(f.nonlatest);
        const VDW_CheckoutFlags cf{!f.unreserved, f.unreserved || f.fallback, f.nmaster_ok};
        if (!vdw_core_ok(status(), vdw_checkout(wv.view, pname, it.comment, cf, action, &co),
                         VDW_LIB_CHECKOUT_FAILED, it.scope.c_str()))
            return;
        // A hijacked copy the client keeps becomes the checkout's contents: only the state
        // goes to the client then.
        const bool keep_copy = it.is_hijacked && f.use_hijack;
        VDW_WsSyncFetch::download_one_checkout(core, wv.root.c_str(), pname.c_str(), nullptr,
                                               request().accept_compressed_cleartext(), false,
                                               keep_copy, *this, pool(), status());
        if (trace.shouldTrace(1)) trace.writeTrace("Status returned = %d", status().status());
        if (!status().is_ok()) return;
    }
}

void VDW_CheckoutVersionRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_CheckoutVersionRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, selector, comment;
    bool unreserved = false, fallback = false, nmaster_ok = false, has_comment = false;
    if (!a.text("ViewUuid", &uuid) || !a.pname("Selector", &selector) ||
        !a.boolean("Unreserved", &unreserved) || !a.boolean("FallbackToUnreserved", &fallback) ||
        !a.boolean("NotMasterOk", &nmaster_ok) || !a.opt_rich("Comment", &comment, &has_comment))
        return;
    VDW_Vdcore& core = *facade();
    VDW_WorkView wv;
    if (!vdw_open_work_view(core, uuid, &wv, status())) return;
    vob_resolved_t r;
    core.resolve_vob_obj(wv.view, selector.c_str(), 0, &r, status());
    if (!status().is_ok()) return;
    vob_dbid_t version = 0;
    core.version_from_selector(r, wv.view, &version, status());
    if (!status().is_ok()) return;
    std::string name, elem;
    core.get_obj_name(r.vob, version, &name, status());
    core.get_obj_name(r.vob, r.element, &elem, status());
    if (!status().is_ok()) return;
    cmd_checkout_args_t co;
    VDW_CoAct action(CMD_NONLATEST_SELECTED);
    const VDW_CheckoutFlags cf{!unreserved, unreserved || fallback, nmaster_ok};
    if (!vdw_core_ok(status(), vdw_checkout(wv.view, name, comment, cf, action, &co),
                     VDW_LIB_CHECKOUT_FAILED, selector.c_str()))
        return;
    SUM_Oid oid;
    core.get_obj_oid(r.vob, co.checkouts.empty() ? version : co.checkouts[0], &oid, status());
    if (!status().is_ok()) return;
    const bool reserved = !co.got_reserved.empty() && co.got_reserved[0];
    VDW_MultipartData part("CheckedOutVersionData", nullptr, nullptr, nullptr, 0);
    part.add_part_item("CheckedOutElemPname", elem.c_str());
    part.add_part_item("CheckedOutReplicaUuid", tbs_uuid_text(r.vob->uuid).c_str());
    part.add_part_item("CheckedOutVersionOid", oid);
    part.add_part_item("CheckedOutMode", reserved ? "reserved" : "unreserved");
    add_part(part, true);
}
