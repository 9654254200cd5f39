// The properties of elements, versions and of a view's view of a name:
// VDW_GetElementPropertiesRpc, VDW_SetElementPropertiesRpc, VDW_GetVersionPropertiesRpc,
// VDW_SetVersionPropertiesRpc, VDW_GetVDPropertiesRpc.
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/sum/sum_view.h"
#include "core/sum/sum_vob.h"
#include "core/sum/sum_xcm.h"
#include "core/view/view.h"
#include "core/vob/xcm.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/props/vdw_property_rpcs.h"
#include "ops/props/vdw_props.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

// A name in a view, resolved: the element, and the version the view (or a version string)
// selects.
struct Named {
    view_t* view = nullptr;
    std::string pname;  // the VOB pathname, version-extended when a version was named
    vob_resolved_t r;
    vob_dbid_t version = 0;
    vob_obj_info_t element_info;
    bool is_dir = false;
};

bool resolve(VDW_Vdcore& core, const std::string& uuid, const std::string& scope,
             const std::string& version_string, Named* n, WCM_Status& status) {
    if (!uuid.empty()) core.open_view(uuid.c_str(), &n->view, status);
    if (!status.is_ok()) return false;
    n->pname = VDW_Vdcore::to_vob_pname(n->view, scope.c_str());
    if (!version_string.empty()) n->pname += std::string(TBS_VER_EXT) + version_string;
    core.resolve_vob_obj(n->view, n->pname.c_str(), 0, &n->r, status);
    if (status.is_ok() && !n->r.element) {
        status.set_status(TBS_ST_NOT_ELEMENT);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_DESCRIBE_FAILED, scope.c_str(),
                      tbs_strerror(TBS_ST_NOT_ELEMENT));
    }
    if (!status.is_ok()) return false;
    core.version_from_selector(n->r, n->view, &n->version, status);
    if (!status.is_ok()) return false;
    vob_version_info_t v;
    tbs_status_t st = vob_obj_get_info(n->r.vob, n->r.element, &n->element_info);
    if (st == TBS_ST_OK) st = vob_ver_get_info(n->r.vob, n->version, &v);
    n->is_dir = v.is_dir;
    return vdw_core_ok(status, st, VDW_LIB_DESCRIBE_FAILED, scope.c_str());
}

std::string description_of(vob_t* vob, vob_dbid_t dbid) {
    SUM_Vob sv;
    SUM_VobObject obj;
    SUM_String text;
    if (SUM_Vob::construct_from_handle(vob, &sv) == TBS_ST_OK &&
        SUM_VobObject::construct_from_dbid(sv, dbid, &obj) == TBS_ST_OK)
        obj.description(&text);
    return text.c_str();
}

// The activity a version was made in ("" when none), as its selector.
std::string activity_of(vob_t* vob, vob_dbid_t version) {
    tbs_uuid_t pvob_uuid;
    tbs_oid_t oid;
    SUM_Vob pvob;
    vob_t* handle = nullptr;
    vob_dbid_t dbid = 0;
    SUM_Activity act;
    SUM_String sel;
    if (xcm_version_activity(vob, version, &pvob_uuid, &oid) != TBS_ST_OK ||
        SUM_Vob::construct_from_uuid(pvob_uuid, &pvob) != TBS_ST_OK ||
        pvob.handle(&handle) != TBS_ST_OK || vob_obj_oid_to_dbid(handle, oid, &dbid) != TBS_ST_OK ||
        SUM_Activity::construct_from_dbid(pvob, dbid, &act) != TBS_ST_OK ||
        act.selector(&sel) != TBS_ST_OK)
        return "";
    return sel.c_str();
}

std::string name_of(VDW_Vdcore& core, vob_t* vob, vob_dbid_t dbid) {
    std::string name;
    WCM_Status ignored;
    core.get_obj_name(vob, dbid, &name, ignored);
    return name;
}

}  // namespace

void VDW_GetElementPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetElementPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string scope, uuid;
    int which = 0;
    if (!a.pname("Scope", &scope) || !a.text("ViewUuid", &uuid) ||
        !a.integer("WhichCategories", &which))
        return;
    Named n;
    if (!resolve(*facade(), uuid, scope, "", &n, status())) return;
    vob_t* vob = n.r.vob;
    if (which & 1) {
        vob_type_info_t eltype;
        vob_elem_get_type(vob, n.r.element, &eltype);
        VDW_MultipartData p("ElementGeneralProps", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Name", name_of(*facade(), vob, n.r.element).c_str());
        p.add_part_item("Kind", n.is_dir ? "directory element" : "file element");
        p.add_part_item("User", n.element_info.owner.c_str());
        p.add_part_item("Group", n.element_info.group.c_str());
        p.add_part_item("CreatedOn", static_cast<long long>(n.element_info.created));
        p.add_part_item("Description", description_of(vob, n.r.element).c_str());
        p.add_part_item("ElType", eltype.name.c_str());
        if (add_part(p, false)) return;
    }
    if ((which & 2) && !vdw_props_send_mastership(*this, "ElementMastershipProps")) return;
    if ((which & 4) &&
        !vdw_props_send_protection(*this, "ElementProtectionProps", n.element_info, n.is_dir))
        return;
    if ((which & 8) && !vdw_props_send_custom(*this, vob, n.r.element, "ElementCustomAttrList",
                                              "ElementCustomHLinkList", status()))
        return;
    if (which & 16)
        vdw_props_send_object_lock(*this, vob, n.r.element, "ElementLockProps",
                                   "ElementLockExcludedUser", status());
}

void VDW_SetElementPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_SetElementPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string scope, uuid, description, owner, group, access;
    int general_mask = 0, protection_mask = 0;
    VDW_LockChange lock;
    if (!a.pname("Scope", &scope) || !a.text("ViewUuid", &uuid) ||
        !a.integer("GeneralMask", &general_mask) ||
        !a.integer("ProtectionMask", &protection_mask) || !a.integer("LockMask", &lock.mask) ||
        !a.rich("GeneralDescription", &description) || !a.text("ProtectionOwner", &owner) ||
        !a.text("ProtectionGroup", &group) || !a.text("ProtectionAccess", &access) ||
        !vdw_props_read_lock(a, &lock, status()))
        return;
    Named n;
    if (!resolve(*facade(), uuid, scope, "", &n, status())) return;
    const vob_view_ctx_t* ctx = n.view ? &n.view->ctx : nullptr;
    if (general_mask & 1) {
        cmd_chevent_args_t c;
        c.vob = n.r.vob;
        c.dbid = n.r.element;
        c.comment = description;
        c.view = ctx;
        if (!vdw_core_ok(status(), cmd_chevent(&c), VDW_LIB_DESCRIBE_FAILED, scope.c_str())) return;
    }
    if (protection_mask & 7) {
        cmd_protect_args_t p;
        p.objects = {n.pname};
        p.view = ctx;
        if (protection_mask & 1) p.owner = owner;
        if (protection_mask & 2) p.group = group;
        if (protection_mask & 4) {
            if (access.empty() || access.size() > 5 ||
                access.find_first_not_of("01234567") != std::string::npos) {
                VDW_RpcArgs::bad_value(status(), "ProtectionAccess", access);
                return;
            }
            p.mode = static_cast<int>(strtol(access.c_str(), nullptr, 8)) & 07777;
        }
        if (!vdw_core_ok(status(), cmd_protect(&p), VDW_LIB_CHANGE_PROTECTION_FAILED,
                         scope.c_str()))
            return;
    }
    if (!(lock.mask & 7)) return;
    if (!vdw_props_apply_lock(n.pname, ctx, lock, status())) return;
    vdw_props_send_object_lock(*this, n.r.vob, n.r.element, "ElementLockProps",
                               "ElementLockExcludedUser", status());
}

void VDW_GetVersionPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetVersionPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string scope, uuid, version_string;
    bool use_version = false;
    int which = 0;
    if (!a.pname("Scope", &scope) || !a.text("ViewUuid", &uuid) ||
        !a.boolean("UseVersionString", &use_version) || !a.text("VersionString", &version_string) ||
        !a.integer("WhichCategories", &which))
        return;
    Named n;
    if (!resolve(*facade(), uuid, scope, use_version ? version_string : "", &n, status())) return;
    vob_t* vob = n.r.vob;
    vob_version_info_t v;
    vob_obj_info_t info;
    tbs_status_t st = vob_ver_get_info(vob, n.version, &v);
    if (st == TBS_ST_OK) st = vob_obj_get_info(vob, v.checked_out ? n.r.element : n.version, &info);
    if (!vdw_core_ok(status(), st, VDW_LIB_DESCRIBE_FAILED, scope.c_str())) return;
    if (which & 1) {
        std::string view_name;
        bool reserved = false;
        if (v.checked_out) {
            vob_checkout_info_t co;
            if (vob_ckout_get(vob, n.version, &co) == TBS_ST_OK) {
                reserved = co.reserved;
                cmd_utl_get_view_tag(co.view_uuid, &view_name);
            }
            info.owner = v.creator;
            info.created = v.created;
        }
        const std::string activity = activity_of(vob, n.version);
        VDW_MultipartData p("GeneralProps", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Name", name_of(*facade(), vob, n.version).c_str());
        p.add_part_item("Kind", n.is_dir ? "directory version" : "version");
        p.add_part_item("User", info.owner.c_str());
        p.add_part_item("Group", info.group.c_str());
        p.add_part_item("CreatedOn", static_cast<long long>(info.created));
        p.add_part_item("Description", v.comment.c_str());
        p.add_part_item("HasPredecessor", v.predecessor != 0);
        p.add_part_item("Predecessor",
                        v.predecessor ? name_of(*facade(), vob, v.predecessor).c_str() : "");
        p.add_part_item("HasActivity", !activity.empty());
        p.add_part_item("Activity", activity.c_str());
        p.add_part_item("IsCheckedOut", v.checked_out);
        p.add_part_item("CheckoutReserved", reserved);
        p.add_part_item("CheckoutViewName", view_name.c_str());
        if (add_part(p, false)) return;
    }
    if (which & 8) {
        std::vector<std::string> labels;
        st = vob_ver_get_labels(vob, n.version, &labels);
        if (!vdw_core_ok(status(), st, VDW_LIB_DESCRIBE_FAILED, scope.c_str())) return;
        for (const std::string& l : labels) {
            VDW_MultipartData p("VersionLabelValue", nullptr, nullptr, nullptr, 0);
            p.add_part_item("LabelValue", l.c_str());
            if (add_part(p, false)) return;
        }
    }
    if ((which & 2) && !vdw_props_send_protection(*this, "ProtectionProps", info, n.is_dir)) return;
    if ((which & 4) && !vdw_props_send_custom(*this, vob, n.version, "CustomAttrTypeValue",
                                              "CustomHLinkList", status()))
        return;
    if (which & 16) {
        vob_obj_info_t vi;
        if (!vdw_core_ok(status(), vob_obj_get_info(vob, n.version, &vi), VDW_LIB_DESCRIBE_FAILED,
                         scope.c_str()))
            return;
        VDW_MultipartData p("VersionHandle", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Uuid", tbs_uuid_text(vi.oid).c_str());
        p.add_part_item("Dbid", static_cast<long long>(n.version));
        add_part(p, false);
    }
}

void VDW_SetVersionPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_SetVersionPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string scope, uuid, description, version_string;
    int general_mask = 0;
    bool reserved = false, use_version = false;
    if (!a.pname("Scope", &scope) || !a.text("ViewUuid", &uuid) ||
        !a.integer("GeneralMask", &general_mask) || !a.rich("GeneralDescription", &description) ||
        !a.boolean("GeneralCheckoutReserved", &reserved) ||
        !a.boolean("UseVersionString", &use_version) || !a.text("VersionString", &version_string))
        return;
    Named n;
    if (!resolve(*facade(), uuid, scope, use_version ? version_string : "", &n, status())) return;
    const vob_view_ctx_t* ctx = n.view ? &n.view->ctx : nullptr;
    VDW_Trace::runtime_debug("Setting comment");
    if (general_mask & 1) {
        cmd_chevent_args_t c;
        c.vob = n.r.vob;
        c.dbid = n.version;
        c.comment = description;
        c.view = ctx;
        if (!vdw_core_ok(status(), cmd_chevent(&c), VDW_LIB_SET_VERSION_COMMENT_FAILED,
                         scope.c_str()))
            return;
    }
    if (general_mask & 2) {
        VDW_Trace::runtime_debug("Changing checkout status");
        cmd_reserve_args_t r;
        r.pnames = {n.pname};
        r.view = ctx;
        r.reserve = reserved;
        vdw_core_ok(status(), cmd_reserve(&r),
                    reserved ? VDW_LIB_RESERVE_CHECKOUT_FAILED : VDW_LIB_UNRESERVE_CHECKOUT_FAILED,
                    scope.c_str());
    }
}

void VDW_GetVDPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetVDPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string scope, uuid;
    if (!a.pname("Scope", &scope) || !a.text("ViewUuid", &uuid)) return;
    Named n;
    if (!resolve(*facade(), uuid, scope, "", &n, status())) return;
    vob_t* vob = n.r.vob;
    vob_version_info_t v;
    if (!vdw_core_ok(status(), vob_ver_get_info(vob, n.version, &v), VDW_LIB_DESCRIBE_FAILED,
                     scope.c_str()))
        return;
    SUM_String stream_name, project_name;
    if (n.view && n.view->sum_view) {
        SUM_View sv;
        SUM_Stream stream;
        SUM_Project project;
        if (SUM_View::construct_from_tag(n.view->tag.c_str(), &sv) == TBS_ST_OK &&
            SUM_view_stream(sv, &stream) == TBS_ST_OK) {
            stream.name(&stream_name);
            if (stream.project(&project) == TBS_ST_OK) project.name(&project_name);
        }
    }
    const std::string activity = activity_of(vob, n.version);
    VDW_MultipartData g("VDGeneralProperties", nullptr, nullptr, nullptr, 0);
    g.add_part_item("Name", name_of(*facade(), vob, n.version).c_str());
    g.add_part_item("Kind", n.is_dir ? "directory version" : "version");
    g.add_part_item("HasPredecessor", v.predecessor != 0);
    g.add_part_item("Predecessor",
                    v.predecessor ? name_of(*facade(), vob, v.predecessor).c_str() : "");
    g.add_part_item("HasActivity", !activity.empty());
    g.add_part_item("Activity", activity.c_str());
    g.add_part_item("Tag", n.view ? n.view->tag.c_str() : "");
    g.add_part_item("IsXCMView", n.view && n.view->sum_view);
    g.add_part_item("Project", project_name);
    g.add_part_item("Stream", stream_name);
    if (add_part(g, false)) return;
    if (!vdw_props_send_protection(*this, "VDProtectionProperties", n.element_info, n.is_dir) ||
        !vdw_props_send_custom(*this, vob, n.version, "VDCustomAttributes", "VDCustomHlinks",
                               status()))
        return;
    std::vector<std::string> labels;
    vob_ver_get_labels(vob, n.version, &labels);
    for (const std::string& l : labels) {
        VDW_MultipartData p("VDLabel", nullptr, nullptr, nullptr, 0);
        p.add_part_item("LabelValue", l.c_str());
        if (add_part(p, false)) return;
    }
}
