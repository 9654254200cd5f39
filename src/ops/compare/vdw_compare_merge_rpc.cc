// VDW_CompareMergeRpc: reading the items, and the versions each stands for.
#include "ops/compare/vdw_compare_merge_rpc.h"

#include <sys/stat.h>

#include "core/sum/sum_xcm.h"
#include "core/view/view.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_request.h"

namespace {

// More items than any client sends in one request.
constexpr int kMaxItems = 100000;

}  // namespace

bool VDW_CompareMergeRpc::read_items(std::string* view_uuid, std::vector<Item>* items) {
    VDW_RpcArgs args(request().rpcargs(), status());
    std::string first_path;
    bool has_first = false;
    int count = 0;
    if (!args.text("ViewUuid", view_uuid) || !args.opt_pname("ElemPath", &first_path, &has_first) ||
        !args.integer("NumItems", &count))
        return false;
    if (count < 0 || count > kMaxItems) return VDW_RpcArgs::bad_count(status(), "NumItems", count);
    for (int i = 0; i < count; ++i) {
        Item it;
        bool has_path = false, present = false;
        std::string flag;
        if (!args.opt_pname("ElemPath", &it.path, &has_path) ||
            !args.boolean("CheckedOut", &it.checked_out) ||
            !args.boolean("Hijacked", &it.hijacked) || !args.boolean("Loaded", &it.loaded) ||
            !args.boolean("PrevFlag", &it.prev) || !args.opt_text("CSLatestFlag", &flag, &present))
            return false;
        it.cs_latest = present && VDW_ReqArgsParser::decode_bool(flag.c_str());
        if (!args.opt_text("CSPredFlag", &flag, &present)) return false;
        it.cs_pred = present && VDW_ReqArgsParser::decode_bool(flag.c_str());
        if (!args.opt_text("ActivitySelector", &it.activity, &present)) return false;
        if (!has_path) {
            // The path sent before the count names a one-item request's file.
            if (!has_first || count != 1) return VDW_RpcArgs::missing(status(), "ElemPath");
            it.path = first_path;
        }
        items->push_back(std::move(it));
    }
    return true;
}

std::string VDW_CompareMergeRpc::name_of(const Item& item, vob_dbid_t version) {
    std::string name;
    facade()->get_obj_name(item.obj.vob, version, &name, status());
    return name;
}

bool VDW_CompareMergeRpc::find_change_set_versions(Item& item) {
    if (item.activity.empty()) return VDW_RpcArgs::missing(status(), "ActivitySelector");
    SUM_Activity activity;
    std::vector<cmd_cs_entry_t> cs;
    tbs_status_t st = SUM_Activity::construct_from_selector(item.activity.c_str(), &activity);
    if (st == TBS_ST_OK) st = activity.change_set(&cs);
    if (st != TBS_ST_OK) return VDW_RpcArgs::bad_value(status(), "ActivitySelector", item.activity);
    vob_dbid_t oldest = 0;
    for (const cmd_cs_entry_t& e : cs) {
        if (e.vob != item.obj.vob || e.element != item.obj.element || e.checked_out) continue;
        // Versions are numbered as they are made: the greatest is the newest.
        if (e.version > item.cs_latest_version) item.cs_latest_version = e.version;
        if (!oldest || e.version < oldest) oldest = e.version;
    }
    if (!oldest) return VDW_RpcArgs::bad_value(status(), "ActivitySelector", item.activity);
    facade()->find_predecessor(item.obj.vob, oldest, &item.cs_pred_version, status());
    if (!item.cs_pred_version) item.cs_pred_version = oldest;
    return status().is_ok();
}

bool VDW_CompareMergeRpc::find_versions(view_t* view, Item& item, bool single) {
    VDW_Vdcore& core = *facade();
    core.resolve_vob_obj(view, item.path.c_str(), 0, &item.obj, status());
    if (status().is_ok() && (item.cs_latest || item.cs_pred) && !find_change_set_versions(item))
        return false;
    if (status().is_ok()) core.version_from_selector(item.obj, view, &item.selected, status());
    std::string base;
    if (status().is_ok())
        core.get_base_version(view, item.path.c_str(), item.hijacked, item.loaded, &base, status());
    vob_resolved_t b;
    if (status().is_ok()) core.resolve_vob_obj(nullptr, base.c_str(), 0, &b, status());
    if (!status().is_ok()) return false;
    item.base = b.version;
    if (!item.checked_out && !item.hijacked) return true;
    // The client's changed copy: what it sent, or a snapshot view's own copy.
    const char* upload = request().upload_pname();
    if (single && upload && *upload) {
        item.client_file = upload;
        return true;
    }
    if (view->kind != VIEW_KIND_WEB) {
        const std::string vob_path = VDW_Vdcore::to_vob_pname(view, item.path.c_str());
        const std::string copy = vob_path.empty() ? "" : view->root + vob_path;
        struct stat sb;
        if (!copy.empty() && stat(copy.c_str(), &sb) == 0 && S_ISREG(sb.st_mode)) {
            item.client_file = copy;
            return true;
        }
    }
    status().set_status(TBS_ST_ERR);
    status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_NO_UPLOAD_FILE);
    return false;
}

void VDW_CompareMergeRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_CompareMergeRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string uuid;
    std::vector<Item> items;
    if (!read_items(&uuid, &items)) return;
    view_t* view = nullptr;
    facade()->open_view(uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    for (Item& it : items) {
        if (!find_versions(view, it, items.size() == 1)) return;
        run_item(view, it);
        if (!status().is_ok() || stream_failed()) return;
    }
}
