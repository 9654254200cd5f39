// The categories that property RPCs of every kind of object share.
#include "ops/props/vdw_props.h"

#include <cstdio>

#include "core/cmd/cmd.h"
#include "core/sum/sum_vob.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_rpc_response.h"

namespace {

// More excluded users than a lock could list.
constexpr int kMaxExcluded = 1024;

}  // namespace

std::string vdw_props_access(int mode) {
    char buf[16];
    snprintf(buf, sizeof buf, "%04o", mode & 07777);
    return buf;
}

std::string vdw_props_rwx(int bits) {
    std::string s = "---";
    if (bits & 4) s[0] = 'r';
    if (bits & 2) s[1] = 'w';
    if (bits & 1) s[2] = 'x';
    return s;
}

bool vdw_props_read_lock(VDW_RpcArgs& args, VDW_LockChange* out, WCM_Status& status) {
    int count = 0;
    if (!args.integer("LockState", &out->state) ||
        !args.rich("LockDescription", &out->description) ||
        !args.integer("LockExcludedUserCount", &count))
        return false;
    if (out->state < VDW_LOCK_UNLOCKED || out->state > VDW_LOCK_OBSOLETE)
        return VDW_RpcArgs::bad_value(status, "LockState", std::to_string(out->state));
    if (count < 0 || count > kMaxExcluded)
        return VDW_RpcArgs::bad_count(status, "LockExcludedUserCount", count);
    out->excluded.resize(static_cast<size_t>(count));
    for (std::string& user : out->excluded)
        if (!args.text("LockExcludedUser", &user)) return false;
    return true;
}

bool vdw_props_apply_lock(const std::string& object, const vob_view_ctx_t* view,
                          const VDW_LockChange& change, WCM_Status& status) {
    if (!(change.mask & 7)) return true;
    cmd_lock_args_t a;
    a.objects = {object};
    a.view = view;
    tbs_status_t st;
    if (change.state == VDW_LOCK_UNLOCKED) {
        st = cmd_unlock(&a);
    } else {
        a.obsolete = change.state == VDW_LOCK_OBSOLETE;
        a.nusers = a.obsolete ? std::vector<std::string>() : change.excluded;
        a.comment = change.description;
        a.replace = true;
        st = cmd_lock(&a);
        // An object that was not locked takes a new lock rather than a changed one.
        if (st != TBS_ST_OK) {
            a.replace = false;
            st = cmd_lock(&a);
        }
    }
    return vdw_core_ok(
        status, st, change.state == VDW_LOCK_UNLOCKED ? VDW_LIB_UNLOCK_FAILED : VDW_LIB_LOCK_FAILED,
        object.c_str());
}

bool vdw_props_send_lock(VDW_RpcResponse& out, const char* part, const char* user_part,
                         const vob_lock_info_t& lock) {
    const int state = !lock.locked    ? VDW_LOCK_UNLOCKED
                      : lock.obsolete ? VDW_LOCK_OBSOLETE
                                      : VDW_LOCK_LOCKED;
    VDW_MultipartData p(part, nullptr, nullptr, nullptr, 0);
    p.add_part_item("LockState", state);
    p.add_part_item("LockedBy", lock.locker.c_str());
    p.add_part_item("LockedOn", static_cast<long long>(lock.at));
    p.add_part_item("Description", "");
    if (out.add_part(p, false)) return false;
    for (const std::string& user : lock.excluded) {
        VDW_MultipartData u(user_part, nullptr, nullptr, nullptr, 0);
        u.add_part_item("ExcludedUser", user.c_str());
        if (out.add_part(u, false)) return false;
    }
    return true;
}

bool vdw_props_send_object_lock(VDW_RpcResponse& out, vob_t* vob, vob_dbid_t obj, const char* part,
                                const char* user_part, WCM_Status& status) {
    vob_lock_info_t lock;
    tbs_status_t st = vob_obj_get_lock(vob, obj, &lock);
    if (!vdw_core_ok(status, st, VDW_LIB_GET_LOCK_FAILED, "")) return false;
    return vdw_props_send_lock(out, part, user_part, lock);
}

bool vdw_props_send_custom(VDW_RpcResponse& out, vob_t* vob, vob_dbid_t obj, const char* attr_part,
                           const char* hlink_part, WCM_Status& status) {
    std::vector<std::pair<std::string, std::string>> attrs;
    std::vector<vob_hlink_info_t> links;
    tbs_status_t st = vob_obj_get_attrs(vob, obj, &attrs);
    if (st == TBS_ST_OK) st = vob_obj_get_hlinks(vob, obj, &links);
    if (!vdw_core_ok(status, st, VDW_LIB_GET_ATTRIBUTES_FAILED, "")) return false;
    for (const auto& [type, value] : attrs) {
        VDW_MultipartData p(attr_part, nullptr, nullptr, nullptr, 0);
        p.add_part_item("AttrType", type.c_str());
        p.add_part_item("AttrValue", value.c_str());
        if (out.add_part(p, false)) return false;
    }
    SUM_String tag;
    SUM_Vob sv;
    std::string vob_tag;
    if (SUM_Vob::construct_from_handle(vob, &sv) == TBS_ST_OK && sv.tag(&tag) == TBS_ST_OK)
        vob_tag = tag.c_str();
    for (const vob_hlink_info_t& l : links) {
        std::string from, to;
        std::string idfrom, idto;
        vob_ver_get_idstr(vob, l.from, &idfrom);
        vob_ver_get_idstr(vob, l.to, &idto);
        const std::string text = l.type + "@" + std::to_string(l.dbid) + "@" + vob_tag + " " +
                                 (idfrom.empty() ? std::to_string(l.from) : idfrom) + " -> " +
                                 (idto.empty() ? std::to_string(l.to) : idto);
        VDW_MultipartData p(hlink_part, nullptr, nullptr, nullptr, 0);
        p.add_part_item("HLink", text.c_str());
        if (out.add_part(p, false)) return false;
    }
    return true;
}

bool vdw_props_send_mastership(VDW_RpcResponse& out, const char* part) {
    VDW_MultipartData p(part, nullptr, nullptr, nullptr, 0);
    p.add_part_item("CurrentReplica", VDW_Vdcore::LOCAL_REPLICA_NAME);
    p.add_part_item("MasterReplica", VDW_Vdcore::LOCAL_REPLICA_NAME);
    p.add_part_item("IsReplicated", false);
    p.add_part_item("HasMaster", true);
    return !out.add_part(p, false);
}

bool vdw_props_send_protection(VDW_RpcResponse& out, const char* part, const vob_obj_info_t& info,
                               bool is_dir) {
    VDW_MultipartData p(part, nullptr, nullptr, nullptr, 0);
    p.add_part_item("IsDir", is_dir);
    p.add_part_item("Owner", info.owner.c_str());
    p.add_part_item("Group", info.group.c_str());
    p.add_part_item("Access", vdw_props_access(info.mode).c_str());
    return !out.add_part(p, false);
}
