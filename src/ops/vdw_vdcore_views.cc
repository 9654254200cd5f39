// VDW_Vdcore: view lookups.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/sum/sum_view.h"
#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/wcm_status.h"
#include "ops/vdw_vdcore.h"

namespace {

// Copies `text` whole into `buf`; false (and "" in `buf`) when it does not fit.
bool copy_whole(char* buf, size_t size, const std::string& text) {
    if (text.size() >= size) {
        buf[0] = '\0';
        return false;
    }
    memcpy(buf, text.c_str(), text.size() + 1);
    return true;
}

// Whether `word` occurs in the registry property text.
bool has_word(const char* properties, const char* word) {
    return properties && strstr(properties, word) != nullptr;
}

// Tag and kind from a view's registry entry.
void view_info_from_entry(const rgy_view_entry_t& entry, VDW_Vdcore::ViewInfo* info,
                          WCM_Status& status) {
    if (!copy_whole(info->tag, sizeof info->tag, entry.tag)) {
        status.set_status(tbs_errno2status(ENAMETOOLONG));
        return;
    }
    // The kind words of the entry's property text; unreadable text means no kind.
    const char* props = rgy_getstring_from_entry_const(entry, RGY_FIELD_PROPERTIES);
    info->is_automatic = has_word(props, "automatic");
    info->is_web = has_word(props, "webview");
    info->is_xcm = has_word(props, "sumview");
    info->is_snapshot = has_word(props, "snapshot");
    status.set_status(TBS_ST_OK);
}

}  // namespace

void VDW_Vdcore::uuid_to_viewroot(const char* uuid_text, char* view_root, WCM_Status& status) {
    if (view_root) view_root[0] = '\0';
    tbs_uuid_t uuid{};
    if (!status.set_status(tbs_uuid_from_str(uuid_text ? uuid_text : "", &uuid))) return;
    SUM_View view;
    if (!status.set_status(SUM_View::construct_from_uuid(uuid, &view))) return;
    SUM_String root;
    if (!status.set_status(view.view_root(&root))) return;
    if (view_root && !copy_whole(view_root, PNAME_SIZE, root.str()))
        status.set_status(tbs_errno2status(ENAMETOOLONG));
}

void VDW_Vdcore::lookup_view_by_uuid(const tbs_uuid_t& uuid, ViewInfo* info, WCM_Status& status) {
    *info = ViewInfo{};
    rgy_view_entry_t entry;
    if (status.set_status(rgy_findbyuuid_entry(uuid, &entry)))
        view_info_from_entry(entry, info, status);
}

void VDW_Vdcore::lookup_view_by_path(const char* path, ViewInfo* info, WCM_Status& status) {
    *info = ViewInfo{};
    tbs_uuid_t uuid{};
    std::string tag;
    if (!status.set_status(cmd_utl_get_view_info(path ? path : "", &uuid, &tag))) {
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_INTERNAL_OP_FAILED, "cmd_utl_get_view_info");
        return;
    }
    lookup_view_by_uuid(uuid, info, status);
}

void VDW_Vdcore::lookup_view_by_tag(const char* tag, ViewInfo* info, WCM_Status& status) {
    *info = ViewInfo{};
    rgy_view_entry_t entry;
    if (status.set_status(rgy_find_view_by_tag(tag ? tag : "", nullptr, &entry)))
        view_info_from_entry(entry, info, status);
}

int VDW_Vdcore::get_view_root(const SUM_View& view, SUM_String* root) {
    bool web = false, snapshot = false, automatic = false;
    view.is_web_view(&web);
    view.is_snapshot_view(&snapshot);
    view.is_automatic_view(&automatic);
    if (web || snapshot || automatic) return view.view_root(root);

    // A dynamic view: its root exists only through the virtual file system.
    SUM_String tag;
    tbs_status_t st = view.tag(&tag);
    if (st != TBS_ST_OK) return st;
    std::string path;
    st = tbs_view_root(tag.c_str(), &path);
    if (st == TBS_ST_NO_VTFS) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_DYNAMIC_VIEW_NO_VTFS,
                           tag.c_str());
        return TBS_ST_ERR;
    }
    if (st != TBS_ST_OK) return st;
    if (!fileutl_exists(path.c_str())) {
        view.start();
        if (!fileutl_exists(path.c_str())) {
            imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table,
                               VDW_LIB_START_DYNAMIC_VIEW_FAILED, tag.c_str());
            return TBS_ST_ERR;
        }
    }
    *root = SUM_String(path);
    return TBS_ST_OK;
}
