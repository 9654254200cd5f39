// VDW_CompareRpc.
#include "ops/compare/vdw_compare_rpc.h"

#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"

void VDW_CompareRpc::run_item(view_t* view, Item& item) {
    VDW_Vdcore& core = *facade();
    const bool changed = !item.client_file.empty();
    // What the client's file is compared with.
    vob_dbid_t against = item.selected;
    if (item.prev) {
        against = item.base;
        if (!changed) core.find_predecessor(item.obj.vob, item.base, &against, status());
        if (!status().is_ok()) return;
        if (!against) against = item.base;  // the first version has none before it
    } else if (item.checked_out) {
        against = item.base;  // a checkout's selected version holds its predecessor's bytes
    }
    vob_dbid_t shown = item.base;
    if (item.cs_pred) {
        // The activity's whole change: up to the client's file, or its newest version.
        against = item.cs_pred_version;
        if (!changed) shown = item.cs_latest_version;
    } else if (item.cs_latest) {
        against = item.cs_latest_version;
    }
    const std::string old_name = name_of(item, against);
    // The client's own file is read for a changed copy; the name only says what it is.
    const std::string new_name = name_of(item, shown);
    if (!status().is_ok()) return;
    core.diff_versions(*this, nullptr, old_name.c_str(), new_name.c_str(), item.path.c_str(),
                       changed ? item.client_file.c_str() : nullptr, pool(), status());
    (void)view;
}
