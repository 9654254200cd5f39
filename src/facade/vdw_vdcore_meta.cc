// VDW_Vdcore: metadata: types, labels and attributes. Every change runs one core command
// for the acting user, which checks permissions and locks and writes its event in the same
// transaction: a refused change leaves the VOB as it was.
#include <cstring>
#include <string>

#include "core/cmd/cmd.h"
#include "core/tbs/tbs.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/wcm_status.h"

namespace {

struct TypeKind {
    const char* name;
    int mtype;
};
const TypeKind kTypeKinds[] = {
    {"lbtype", VOB_MTYPE_LBTYPE}, {"brtype", VOB_MTYPE_BRTYPE}, {"attype", VOB_MTYPE_ATTYPE},
    {"hltype", VOB_MTYPE_HLTYPE}, {"eltype", VOB_MTYPE_ELTYPE}, {"trtype", VOB_MTYPE_TRTYPE},
};

const char* type_kind_name(int mtype) {
    for (const TypeKind& k : kTypeKinds)
        if (k.mtype == mtype) return k.name;
    return "type";
}

// "lbtype:REL1@vob:/vobs/p": how messages name a type.
std::string type_selector(vob_t* vob, int mtype, const char* name) {
    return std::string(type_kind_name(mtype)) + ":" + (name ? name : "") + "@" +
           vob_selector(vob, VOB_VOBSEL_TAG);
}

}  // namespace

int VDW_Vdcore::type_mtype_from_name(const char* name) {
    for (const TypeKind& k : kTypeKinds)
        if (name && strcmp(name, k.name) == 0) return k.mtype;
    return 0;
}

void VDW_Vdcore::get_type_list(vob_t* vob, int mtype, std::vector<TypeEntry>* types,
                               WCM_Status& status) {
    types->clear();
    std::vector<vob_type_info_t> found;
    tbs_status_t st = vob_type_list(vob, mtype, &found);
    for (size_t i = 0; st == TBS_ST_OK && i < found.size(); ++i) {
        const vob_type_info_t& t = found[i];
        vob_obj_info_t info;
        vob_lock_info_t lock;
        std::string description;
        if ((st = vob_obj_get_info(vob, t.dbid, &info)) != TBS_ST_OK ||
            (st = vob_obj_get_lock(vob, t.dbid, &lock)) != TBS_ST_OK ||
            (st = vob_obj_get_description(vob, t.dbid, &description)) != TBS_ST_OK)
            break;
        types->push_back({t.name, SUM_Oid(info.oid), t.dbid, description, info.created,
                          lock.locked && lock.obsolete});
    }
    if (!vdw_core_ok(status, st, VDW_LIB_LIST_TYPES_FAILED, vob->tag.c_str())) types->clear();
}

bool VDW_Vdcore::is_type_visible(vob_t* vob, int mtype, const char* name) {
    vob_type_info_t t;
    return name && vob_type_find(vob, mtype, name, &t) == TBS_ST_OK;
}

void VDW_Vdcore::create_type(vob_t* vob, int mtype, const char* name, const char* comment,
                             WCM_Status& status) {
    cmd_mktype_args_t a;
    a.mtype = mtype;
    a.name = name ? name : "";
    a.vob = vob->tag;
    a.comment = comment ? comment : "";
    vdw_core_ok(status, cmd_mktype(&a), VDW_LIB_CREATE_TYPE_FAILED,
                type_selector(vob, mtype, name).c_str());
}

void VDW_Vdcore::remove_type(const char* selector, bool all, WCM_Status& status) {
    cmd_rmtype_args_t a;
    a.selector = selector ? selector : "";
    a.force = all;
    vdw_core_ok(status, cmd_rmtype(&a), VDW_LIB_REMOVE_TYPE_FAILED, a.selector.c_str());
}

void VDW_Vdcore::remove_object(const char* selector, WCM_Status& status) {
    const char* text = selector ? selector : "";
    vob_objsel_t sel;
    tbs_status_t st = parse_objsel(text, &sel);
    if (st == TBS_ST_OK && sel.kind == VOB_SEL_TYPE) {
        remove_type(text, false, status);
        return;
    }
    // Elements, versions and VOBs are removed by the administrator's tools, not here.
    vdw_core_ok(status, st == TBS_ST_OK ? static_cast<tbs_status_t>(TBS_ST_NOT_SUPPORTED) : st,
                VDW_LIB_REMOVE_OBJECT_FAILED, text);
}

namespace {

const vob_view_ctx_t* ctx_of(view_t* view) {
    return view ? &view->ctx : nullptr;
}

// A pathname becomes the VOB pathname it stands for in the view; a selector stays.
std::string object_in_view(view_t* view, const std::string& object) {
    vob_objsel_t sel;
    if (VDW_Vdcore::parse_objsel(object.c_str(), &sel) != TBS_ST_OK || sel.kind != VOB_SEL_PNAME)
        return object;
    return VDW_Vdcore::to_vob_pname(view, object.c_str());
}

}  // namespace

void VDW_Vdcore::apply_label(const LabelRequest& request, WCM_Status& status) {
    cmd_mklabel_args_t a;
    a.label = request.label;
    const std::string pname = to_vob_pname(request.view, request.pname.c_str());
    a.pnames = {pname};
    a.view = ctx_of(request.view);
    a.replace = request.replace;
    a.recurse = request.recurse;
    a.follow = request.follow;
    a.comment = request.comment;
    tbs_status_t st =
        pname.empty() ? static_cast<tbs_status_t>(TBS_ST_NAME_NOT_FOUND) : cmd_mklabel(&a);
    vdw_core_ok(status, st, VDW_LIB_APPLY_LABEL_FAILED, request.label.c_str(),
                request.pname.c_str());
}

namespace {

cmd_mkattr_args_t attr_args(const VDW_Vdcore::AttributeRequest& request) {
    cmd_mkattr_args_t a;
    a.attype = request.attype;
    a.value = request.value;
    a.objects = {object_in_view(request.view, request.object)};
    a.view = ctx_of(request.view);
    a.replace = request.replace;
    a.comment = request.comment;
    return a;
}

}  // namespace

void VDW_Vdcore::apply_attribute(const AttributeRequest& request, WCM_Status& status) {
    cmd_mkattr_args_t a = attr_args(request);
    const tbs_status_t st =
        a.objects[0].empty() ? static_cast<tbs_status_t>(TBS_ST_NAME_NOT_FOUND) : cmd_mkattr(&a);
    vdw_core_ok(status, st, VDW_LIB_APPLY_ATTRIBUTE_FAILED, request.attype.c_str(),
                request.object.c_str());
}

void VDW_Vdcore::remove_attribute(const AttributeRequest& request, WCM_Status& status) {
    cmd_mkattr_args_t a = attr_args(request);
    const tbs_status_t st =
        a.objects[0].empty() ? static_cast<tbs_status_t>(TBS_ST_NAME_NOT_FOUND) : cmd_rmattr(&a);
    vdw_core_ok(status, st, VDW_LIB_REMOVE_ATTRIBUTE_FAILED, request.attype.c_str(),
                request.object.c_str());
}
