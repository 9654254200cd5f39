// VDW_MergeRpc.
#include "ops/compare/vdw_merge_rpc.h"

#include "core/vob/vob_obj.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"

void VDW_MergeRpc::run_item(view_t* view, Item& item) {
    VDW_Vdcore& core = *facade();
    // The version the client's file is to take in, and the version the file stands at.
    vob_dbid_t from = item.selected, to = item.base;
    if (item.checked_out) {
        vob_checkout_info_t co;
        if (vob_ckout_get(item.obj.vob, item.selected, &co) == TBS_ST_OK) {
            to = co.dbid;
            vob_dbid_t latest = 0;
            core.needs_latest_merge(item.obj.vob, co, &latest);
            from = latest ? latest : co.pred_version;
        }
    }
    vob_dbid_t base = 0;
    core.find_ancestor(item.obj.vob, to, from, &base, status());
    if (!status().is_ok()) return;
    if (!base) base = from;  // merged already: every region is the client's
    // A checkout is read from the client's file; its name is the version it came from.
    const std::string to_name = name_of(item, item.base);
    const std::string from_name = name_of(item, from);
    const std::string base_name = name_of(item, base);
    if (!status().is_ok()) return;
    core.merge_versions(
        *this, nullptr, to_name.c_str(), from_name.c_str(), base_name.c_str(), item.path.c_str(),
        item.client_file.empty() ? nullptr : item.client_file.c_str(), pool(), status());
    (void)view;
}
