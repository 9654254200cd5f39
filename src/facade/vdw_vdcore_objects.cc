// VDW_Vdcore: objects and names: resolving pathnames and selectors, the names clients see,
// and the version an object stands for.
#include <cstring>
#include <string>

#include "core/cmd/cmd.h"
#include "core/tbs/tbs.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/wcm_status.h"

tbs_status_t VDW_Vdcore::parse_objsel(const char* text, vob_objsel_t* out) {
    return vob_utl_parse_objsel(text ? text : "", out);
}

std::string VDW_Vdcore::to_vob_pname(view_t* view, const char* path) {
    return view_pname_to_vob(view, path ? path : "");
}

void VDW_Vdcore::resolve_vob_obj(view_t* view, const char* name, int flags, vob_resolved_t* out,
                                 WCM_Status& status) {
    *out = vob_resolved_t{};
    const char* text = name ? name : "";
    vob_objsel_t sel;
    tbs_status_t st = vob_utl_parse_objsel(text, &sel);
    if (st != TBS_ST_OK || sel.kind != VOB_SEL_PNAME) {
        if (st == TBS_ST_OK)
            st = cmd_resolve_obj_long(text, view ? &view->ctx : nullptr, flags, out);
        vdw_core_ok(status, st, VDW_LIB_FIND_OBJECT_BY_SELECTOR_FAILED, text);
        return;
    }
    // A name that climbs out of the view's root names nothing.
    const std::string pname = to_vob_pname(view, text);
    st = pname.empty()
             ? TBS_ST_NAME_NOT_FOUND
             : cmd_resolve_obj_long(pname.c_str(), view ? &view->ctx : nullptr, flags, out);
    vdw_core_ok(status, st, VDW_LIB_RESOLVE_ELEMENT_FAILED, text);
}

void VDW_Vdcore::get_obj_oid(vob_t* vob, vob_dbid_t dbid, SUM_Oid* oid, WCM_Status& status) {
    vob_obj_info_t info;
    tbs_status_t st = vob_obj_get_info(vob, dbid, &info);
    if (st == TBS_ST_OK) {
        *oid = SUM_Oid(info.oid);
        status.set_status(TBS_ST_OK);
        return;
    }
    vdw_core_ok(status, st, VDW_LIB_FIND_OBJECT_BY_DBID_FAILED, static_cast<unsigned long>(dbid),
                vob->tag.c_str());
}

void VDW_Vdcore::get_obj_name(vob_t* vob, vob_dbid_t dbid, std::string* name, WCM_Status& status) {
    name->clear();
    char buf[VOB_MAX_PNAME + 64];
    tbs_status_t st = vob_obj_get_selector(vob, dbid, buf, sizeof buf);
    if (st != TBS_ST_OK) {
        const std::string sel =
            "dbid:" + std::to_string(dbid) + "@" + vob_selector(vob, VOB_VOBSEL_TAG);
        vdw_core_ok(status, st, VDW_LIB_DETERMINE_SELECTOR_FAILED, sel.c_str());
        return;
    }
    *name = buf;
    // An element is named by its pathname alone, not by the bare extension.
    const size_t n = name->size();
    if (n > TBS_VER_EXT_LEN &&
        name->compare(n - TBS_VER_EXT_LEN, TBS_VER_EXT_LEN, TBS_VER_EXT) == 0)
        name->resize(n - TBS_VER_EXT_LEN);
}

void VDW_Vdcore::version_from_selector(const vob_resolved_t& obj, view_t* view, vob_dbid_t* version,
                                       WCM_Status& status) {
    *version = 0;
    tbs_status_t st = TBS_ST_OK;
    switch (obj.mtype) {
        case VOB_MTYPE_VERSION:
        case VOB_MTYPE_DIR_VERSION:
            *version = obj.dbid;
            break;
        case VOB_MTYPE_BRANCH:
            st = vob_branch_latest(obj.vob, obj.dbid, version);
            break;
        case VOB_MTYPE_FILE_ELEMENT:
        case VOB_MTYPE_DIR_ELEMENT: {
            // The view's rules match the element by its pathname.
            std::string pname;
            st = vob_elem_get_pname(obj.vob, obj.dbid, &pname);
            if (st == TBS_ST_OK)
                st = vob_select_version(obj.vob, obj.dbid, pname.c_str(),
                                        view ? &view->ctx : nullptr, version);
            break;
        }
        default:
            st = TBS_ST_NOT_ELEMENT;
            break;
    }
    if (st == TBS_ST_OK && *version == 0) st = TBS_ST_NAME_NOT_FOUND;  // the view selects none
    if (st == TBS_ST_OK) return;
    std::string name;
    WCM_Status ignored;
    get_obj_name(obj.vob, obj.dbid, &name, ignored);
    vdw_core_ok(status, st, VDW_LIB_VERSION_FROM_SELECTOR_FAILED, name.c_str());
    *version = 0;
}

void VDW_Vdcore::get_base_version(view_t* view, const char* path, bool hijacked, bool loaded,
                                  std::string* name, WCM_Status& status) {
    name->clear();
    vob_resolved_t r;
    resolve_vob_obj(view, path, 0, &r, status);
    vob_dbid_t selected = 0;
    if (status.is_ok()) version_from_selector(r, view, &selected, status);
    if (!status.is_ok()) return;
    vob_version_info_t v;
    tbs_status_t st = vob_ver_get_info(r.vob, selected, &v);
    if (!vdw_core_ok(status, st, VDW_LIB_DETERMINE_SELECTED_VERSION_FAILED, path ? path : ""))
        return;
    vob_dbid_t base = selected;
    if (v.checked_out) {
        base = v.predecessor;
    } else if ((hijacked || loaded) && view) {
        vob_dbid_t held = 0;
        get_loaded_version(view, to_vob_pname(view, path).c_str(), r.vob, &held, status);
        if (!status.is_ok()) return;
        if (held) base = held;
    }
    get_obj_name(r.vob, base, name, status);
}

std::string VDW_Vdcore::get_branch_type_selector(vob_t* vob, const char* name, vob_dbid_t* dbid) {
    *dbid = 0;
    vob_type_info_t t;
    if (vob && name && vob_type_find(vob, VOB_MTYPE_BRTYPE, name, &t) == TBS_ST_OK) *dbid = t.dbid;
    return std::string("brtype:") + (name ? name : "") + "@" + (vob ? vob->tag : std::string());
}

int VDW_Vdcore::pop_to_vobOp(const char* text) {
    static const struct {
        const char* text;
        int kind;
    } kinds[] = {{"", CMD_POP_NONE},
                 {"0", CMD_POP_NONE},
                 {"none", CMD_POP_NONE},
                 {"1", CMD_POP_EMPTY_BRANCH},
                 {"empty-branch", CMD_POP_EMPTY_BRANCH}};
    for (const auto& k : kinds)
        if (strcmp(text ? text : "", k.text) == 0) return k.kind;
    return -1;
}
