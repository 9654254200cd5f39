// VDW_Vdcore: views: lookups, the list of views, creation and removal, config specs and
// what a web view's client holds.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/sum/sum_view.h"
#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "facade/vdw_current_user.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/wcm_status.h"

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

// Where new views keep their storage: the configured view storage, else the site's
// views/ directory.
// The logged-in user's view storage directory; the common root on a site that lets
// requests run without a login.
std::string view_storage_dir() {
    const std::string& mine = VDW_CurrentUser::the_instance().view_storage_dir();
    return mine.empty() ? VDW_CurrentUser::view_storage_root() : mine;
}

}  // namespace

void VDW_Vdcore::uuid_to_viewroot(const char* uuid_text, char* view_root, WCM_Status& status) {
    if (view_root) view_root[0] = '\0';
    tbs_uuid_t uuid{};
    if (!status.set_status(tbs_uuid_from_str(uuid_text ? uuid_text : "", &uuid))) return;
    SUM_View view;
    if (!status.set_status(SUM_View::construct_from_uuid(uuid, &view))) return;
    // A dynamic view is started when it is not running: its root is then there to use.
    SUM_String root;
    if (!status.set_status(get_view_root(view, &root))) return;
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

void VDW_Vdcore::open_view(const char* uuid_text, view_t** view, WCM_Status& status) {
    *view = nullptr;
    const char* text = uuid_text ? uuid_text : "";
    tbs_uuid_t uuid{};
    tbs_status_t st = tbs_uuid_from_str(text, &uuid);
    if (st == TBS_ST_OK) st = view_open_by_uuid(uuid, view);
    if (st != TBS_ST_OK) *view = nullptr;
    vdw_core_ok(status, st, VDW_LIB_FIND_VIEW_BY_UUID_FAILED, text);
}

void VDW_Vdcore::get_view_list(std::vector<ViewEntry>* views, WCM_Status& status) {
    views->clear();
    std::vector<rgy_view_entry_t> entries;
    tbs_status_t st = rgy_list_view_tags(nullptr, &entries);
    if (!vdw_core_ok(status, st, VDW_LIB_LIST_VIEWS_FAILED)) return;
    std::sort(entries.begin(), entries.end(),
              [](const rgy_view_entry_t& a, const rgy_view_entry_t& b) { return a.tag < b.tag; });
    for (const rgy_view_entry_t& e : entries) {
        ViewInfo info;
        WCM_Status kind;
        view_info_from_entry(e, &info, kind);
        if (!kind.is_ok()) continue;  // a tag too long for any client to use
        views->push_back({e.tag, SUM_Uuid(e.uuid), info.is_web, info.is_snapshot, info.is_automatic,
                          !info.is_web && !info.is_snapshot && !info.is_automatic, info.is_xcm});
    }
}

void VDW_Vdcore::create_view(const char* tag, const char* cspec, const char* copy_area_root,
                             SUM_Uuid* uuid, WCM_Status& status, const char* stream,
                             const char* kind) {
    const char* name = tag ? tag : "";
    const std::string dir = view_storage_dir();
    tbs_status_t st = fileutl_mkdir_p(dir.c_str(), 0775);
    char storage[PNAME_SIZE];
    // The tag is checked by the core; a name that would leave the storage directory is not
    // even tried as a storage name.
    if (st == TBS_ST_OK && (!*name || strchr(name, '/') || strcmp(name, "..") == 0))
        st = TBS_ST_BAD_NAME;
    if (st == TBS_ST_OK)
        st = generate_available_ws_location(dir.c_str(), (std::string(name) + ".vws").c_str(),
                                            storage);
    if (!vdw_core_ok(status, st, VDW_LIB_CREATE_VIEW_FAILED, name)) return;
    cmd_mkview_args_t args;
    args.tag = name;
    args.storage = storage;
    args.kind = kind && *kind ? kind : copy_area_root && *copy_area_root ? "webview" : "dynamic";
    args.cspec = cspec ? cspec : "";
    if (stream && *stream) {
        args.stream = stream;
        args.cspec.clear();
    }
    if (!vdw_core_ok(status, cmd_mkview(&args), VDW_LIB_CREATE_VIEW_FAILED, name)) return;
    if (copy_area_root && *copy_area_root) {
        view_t* view = nullptr;
        st = view_open_by_uuid(args.uuid, &view);
        if (st == TBS_ST_OK) st = view_set_prop(view, "copy_area_root", copy_area_root);
        if (st != TBS_ST_OK) {
            cmd_rmview(name);  // a view without its copy area is not what was asked for
            vdw_core_ok(status, st, VDW_LIB_CREATE_VIEW_FAILED, name);
            return;
        }
    }
    if (uuid) *uuid = SUM_Uuid(args.uuid);
}

void VDW_Vdcore::remove_view(const char* tag, WCM_Status& status) {
    const char* name = tag ? tag : "";
    SUM_View view;
    if (SUM_View::construct_from_tag(name, &view) == TBS_ST_OK) {
        // A dynamic view that cannot be served here was never started here either.
        tbs_status_t st = view.end();
        if (st != TBS_ST_NO_VTFS && !vdw_core_ok(status, st, VDW_LIB_END_VIEW_FAILED, name)) return;
    }
    vdw_core_ok(status, cmd_rmview(name), VDW_LIB_REMOVE_VIEW_FAILED, name);
}

void VDW_Vdcore::end_view(const SUM_View& view, WCM_Status& status) {
    SUM_String tag;
    tbs_status_t st = view.tag(&tag);
    if (st == TBS_ST_OK) st = view.end();
    vdw_core_ok(status, st, VDW_LIB_END_VIEW_FAILED, tag.c_str());
}

void VDW_Vdcore::get_view_cspec(view_t* view, std::string* text, WCM_Status& status) {
    vdw_core_ok(status, view_get_cspec(view, text), VDW_LIB_GET_CS_FAILED, view->tag.c_str());
}

void VDW_Vdcore::get_view_cspec(const char* tag, std::string* text, WCM_Status& status) {
    const char* name = tag ? tag : "";
    view_t* view = nullptr;
    tbs_status_t st = view_open_by_tag(name, &view);
    if (st == TBS_ST_OK) st = view_get_cspec(view, text);
    vdw_core_ok(status, st, VDW_LIB_GET_CS_FAILED, name);
}

void VDW_Vdcore::get_loaded_version(view_t* view, const char* vob_pname, vob_t* vob,
                                    vob_dbid_t* version, WCM_Status& status) {
    *version = 0;
    // The record keeps names relative to the view root: "vobs/p/src" and "a.c".
    const std::string path = vob_pname ? vob_pname : "";
    const size_t slash = path.find_last_of('/');
    const std::string dir =
        slash == std::string::npos || slash == 0 ? "" : path.substr(1, slash - 1);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    view_wso_t wso;
    tbs_status_t st = view_ws_find(view, dir.c_str(), leaf.c_str(), &wso);
    if (st == TBS_ST_NOT_FOUND || (st == TBS_ST_OK && tbs_uuid_is_null(wso.ver_oid))) {
        status.set_status(TBS_ST_OK);
        return;
    }
    if (st == TBS_ST_OK) st = vob_obj_oid_to_dbid(vob, wso.ver_oid, version);
    if (!vdw_core_ok(status, st, VDW_LIB_DETERMINE_LOADED_VERSION_FAILED, path.c_str()))
        *version = 0;
}
