// VDW_GetVobPropertiesRpc and VDW_SetVobPropertiesRpc.
#include <unistd.h>

#include <string>

#include "core/rgy/rgy.h"
#include "core/sum/sum_vob.h"
#include "core/sum/sum_xcm.h"
#include "core/vob/vob.h"
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

// The VOB the arguments name: by its UUID, else the one holding "Scope" in the view.
struct VobTarget {
    vob_t* vob = nullptr;
    vob_dbid_t object = 0;  // the VOB's own object
    std::string tag;
    rgy_vob_entry_t entry;
};

bool find_vob(VDW_Vdcore& core, const std::string& scope, const std::string& view_uuid,
              const std::string& vob_uuid, VobTarget* t, WCM_Status& status) {
    if (!vob_uuid.empty()) {
        tbs_uuid_t u;
        tbs_status_t st = tbs_uuid_from_str(vob_uuid.c_str(), &u);
        if (st == TBS_ST_OK) st = vob_open_by_uuid(u, &t->vob);
        if (!vdw_core_ok(status, st, VDW_LIB_FIND_VOB_BY_UUID_FAILED, vob_uuid.c_str()))
            return false;
    } else {
        view_t* view = nullptr;
        if (!view_uuid.empty()) core.open_view(view_uuid.c_str(), &view, status);
        if (!status.is_ok()) return false;
        vob_resolved_t r;
        core.resolve_vob_obj(view, scope.c_str(), 0, &r, status);
        if (!status.is_ok()) return false;
        t->vob = r.vob;
    }
    SUM_Vob sv;
    SUM_String tag;
    tbs_status_t st = SUM_Vob::construct_from_handle(t->vob, &sv);
    if (st == TBS_ST_OK) st = sv.tag(&tag);
    if (st == TBS_ST_OK) {
        t->tag = tag.c_str();
        st = rgy_find_vob_by_tag(t->tag.c_str(), nullptr, &t->entry);
    }
    int mtype = 0;
    vob_t* same = nullptr;
    if (st == TBS_ST_OK)
        st = vob_resolve_general(("vob:" + t->tag).c_str(), nullptr, &same, &t->object, &mtype);
    return vdw_core_ok(status, st, VDW_LIB_FIND_VOB_TAG_FAILED, t->tag.c_str());
}

}  // namespace

void VDW_GetVobPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetVobPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string scope, view_uuid, vob_uuid;
    bool has_scope = false;
    int which = 0;
    if (!a.opt_pname("Scope", &scope, &has_scope) || !a.text("ViewUuid", &view_uuid) ||
        !a.text("VobUuid", &vob_uuid) || !a.integer("WhichCategories", &which))
        return;
    VobTarget t;
    if (!find_vob(*facade(), scope, view_uuid, vob_uuid, &t, status())) return;
    if (which & 1) {
        vob_obj_info_t info;
        SUM_VobObject obj;
        SUM_Vob sv;
        SUM_String description;
        tbs_status_t st = vob_obj_get_info(t.vob, t.object, &info);
        if (st == TBS_ST_OK) st = SUM_Vob::construct_from_handle(t.vob, &sv);
        if (st == TBS_ST_OK) st = SUM_VobObject::construct_from_dbid(sv, t.object, &obj);
        if (st == TBS_ST_OK) st = obj.description(&description);
        if (!vdw_core_ok(status(), st, VDW_LIB_DESCRIBE_FAILED, t.tag.c_str())) return;
        VDW_MultipartData p("GeneralProps", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Name", t.tag.c_str());
        p.add_part_item(
            "Kind", xcm_is_pvob(t.vob) ? "project versioned object base" : "versioned object base");
        p.add_part_item("User", info.owner.c_str());
        p.add_part_item("Group", info.group.c_str());
        p.add_part_item("CreatedOn", static_cast<long long>(info.created));
        p.add_part_item("Description", description);
        p.add_part_item("DbSchemaVersion", 1);
        if (add_part(p, false)) return;
    }
    if (which & 2) {
        VDW_MultipartData p("VobTag", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Tag", t.tag.c_str());
        p.add_part_item("Region", t.entry.region.c_str());
        char host[256] = "";
        gethostname(host, sizeof host - 1);
        p.add_part_item("Host", host);
        p.add_part_item("HostPath", t.entry.storage.c_str());
        p.add_part_item("GlobalPath", t.entry.storage.c_str());
        p.add_part_item("MountAccess", t.entry.is_public ? "public" : "private");
        p.add_part_item("MountOptions", t.entry.mount_options.c_str());
        p.add_part_item("Description", "");
        if (add_part(p, false)) return;
    }
    if ((which & 4) && !vdw_props_send_custom(*this, t.vob, t.object, "CustomAttrTypeValue",
                                              "CustomHLink", status()))
        return;
    if ((which & 8) && !vdw_props_send_object_lock(*this, t.vob, t.object, "LockProps",
                                                   "LockExcludedUser", status()))
        return;
    if ((which & 16) && !vdw_props_send_mastership(*this, "Mastership")) return;
    // 32, the replicas: only a replicated VOB has a list, and every VOB here is one replica.
}

void VDW_SetVobPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_SetVobPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string scope, view_uuid, vob_uuid, description;
    bool has_scope = false;
    int general_mask = 0;
    VDW_LockChange lock;
    if (!a.opt_pname("Scope", &scope, &has_scope) || !a.text("ViewUuid", &view_uuid) ||
        !a.text("VobUuid", &vob_uuid) || !a.integer("GeneralMask", &general_mask) ||
        !a.integer("LockMask", &lock.mask) || !a.rich("GeneralDescription", &description) ||
        !vdw_props_read_lock(a, &lock, status()))
        return;
    VobTarget t;
    if (!find_vob(*facade(), scope, view_uuid, vob_uuid, &t, status())) return;
    if (general_mask & 1) {
        SUM_VobObject obj;
        SUM_Vob sv;
        tbs_status_t st = SUM_Vob::construct_from_handle(t.vob, &sv);
        if (st == TBS_ST_OK) st = SUM_VobObject::construct_from_dbid(sv, t.object, &obj);
        if (st == TBS_ST_OK) st = obj.set_description(description.c_str(), nullptr);
        if (!vdw_core_ok(status(), st, VDW_LIB_SET_VOB_DESCRIPTION_FAILED, t.tag.c_str())) return;
    }
    if (!(lock.mask & 7)) return;
    if (!vdw_props_apply_lock("vob:" + t.tag, nullptr, lock, status())) return;
    vdw_props_send_object_lock(*this, t.vob, t.object, "LockProps", "LockExcludedUser", status());
}
