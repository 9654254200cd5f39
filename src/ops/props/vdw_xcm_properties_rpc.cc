// The properties of change-management objects and label types: VDW_GetStreamPropertiesRpc,
// VDW_SetStreamPropertiesRpc, VDW_GetBaselinePropertiesRpc, VDW_SetBaselinePropertiesRpc,
// VDW_GetActivityPropertiesRpc, VDW_SetActivityPropertiesRpc, VDW_GetLabeltypePropertiesRpc.
#include <memory>
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/rgy/rgy.h"
#include "core/sum/sum_view.h"
#include "core/sum/sum_vob.h"
#include "core/sum/sum_xcm.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/xcm.h"
#include "facade/vdw_fso_description.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "facade/vdw_xcm_util.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/props/vdw_property_rpcs.h"
#include "ops/props/vdw_props.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"
#include "request/vdw_rpc_marshall.h"

namespace {

std::string name(const SUM_XcmObject& o) {
    return vdw_xcm_name(o);
}
std::string selector(const SUM_XcmObject& o) {
    return vdw_xcm_selector(o);
}
std::string replica(const SUM_XcmObject& o) {
    return vdw_xcm_replica(o);
}
std::string description(const SUM_XcmObject& o) {
    return vdw_xcm_description(o);
}

// The object's project VOB handle, for the categories that read the VOB object itself.
vob_t* pvob_of(const SUM_XcmObject& o) {
    vob_t* vob = nullptr;
    return o.pvob().handle(&vob) == TBS_ST_OK ? vob : nullptr;
}

bool send_lock(VDW_RpcResponse& out, const SUM_XcmObject& o, const char* part,
               const char* user_part, WCM_Status& status) {
    vob_lock_info_t lock;
    if (!vdw_core_ok(status, o.lock_info(&lock), VDW_LIB_GET_LOCK_FAILED, selector(o).c_str()))
        return false;
    return vdw_props_send_lock(out, part, user_part, lock);
}

bool send_baselines(VDW_RpcResponse& out, const char* part, const std::vector<SUM_Baseline>& bls,
                    const SUM_Component* only) {
    for (const SUM_Baseline& b : bls) {
        SUM_Component c;
        b.component(&c);
        if (only && !only->is_null() && c.dbid() != only->dbid()) continue;
        bool full = true;
        b.is_full(&full);
        VDW_MultipartData p(part, nullptr, nullptr, nullptr, 0);
        p.add_part_item("BaselineName", name(b).c_str());
        p.add_part_item("Selector", selector(b).c_str());
        p.add_part_item("ComponentName", name(c).c_str());
        p.add_part_item("Kind", full ? "full" : "incremental");
        if (out.add_part(p, false)) return false;
    }
    return true;
}

// Each baseline as a "BaselineMember" part of VDW_RpcMarshall::sendBaselineInfo.
bool send_members(VDW_RpcResponse& out, const std::vector<SUM_Baseline>& bls) {
    for (const SUM_Baseline& b : bls) {
        xcm_baseline_info_t info;
        SUM_Component comp;
        SUM_String level;
        vob_lock_info_t lock;
        bool composite = false, recommended = false;
        if (b.info(&info) != TBS_ST_OK) continue;
        b.component(&comp);
        b.promotion_level(&level);
        b.is_composite(&composite);
        b.is_recommended(&recommended);
        const bool obsolete = b.lock_info(&lock) == TBS_ST_OK && lock.obsolete;
        SUM_String bl_name(name(b).c_str()), bl_rep(replica(b).c_str());
        SUM_String comp_name(name(comp).c_str()), comp_rep(replica(comp).c_str());
        if (VDW_RpcMarshall::sendBaselineInfo(&out, "BaselineMember", bl_name, b.dbid(), bl_rep,
                                              composite, obsolete, recommended, level, comp_name,
                                              comp.dbid(), comp_rep, info.created))
            return false;
    }
    return true;
}

bool send_activities(VDW_RpcResponse& out, const char* part,
                     const std::vector<SUM_Activity>& acts) {
    for (const SUM_Activity& a : acts) {
        xcm_activity_info_t info;
        if (a.info(&info) != TBS_ST_OK) continue;
        VDW_MultipartData p(part, nullptr, nullptr, nullptr, 0);
        p.add_part_item("Headline", info.headline.c_str());
        p.add_part_item("Name", info.name.c_str());
        p.add_part_item("ReplicaUuid", replica(a).c_str());
        p.add_part_item("Dbid", static_cast<long long>(a.dbid()));
        p.add_part_item("Owner", info.owner.c_str());
        if (out.add_part(p, false)) return false;
    }
    return true;
}

// What the set RPCs of change-management objects share: the description and the lock.
bool set_description_and_lock(VDW_RpcResponse& out, const SUM_XcmObject& o, bool set_description,
                              const std::string& text, const VDW_LockChange& lock,
                              const char* lock_part, const char* user_part, WCM_Status& status) {
    const std::string sel = selector(o);
    if (set_description &&
        !vdw_core_ok(status, o.set_description(text.c_str()), VDW_LIB_DESCRIBE_FAILED, sel.c_str()))
        return false;
    if (!(lock.mask & 7)) return true;
    return vdw_props_apply_lock(sel, nullptr, lock, status) &&
           send_lock(out, o, lock_part, user_part, status);
}

}  // namespace

// ---- streams -----------------------------------------------------------------------------

void VDW_GetStreamPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetStreamPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel, comp_sel;
    bool has_comp = false;
    int which = 0;
    if (!a.text("StreamSelector", &sel) || !a.opt_text("ComponentSelector", &comp_sel, &has_comp) ||
        !a.integer("WhichCategories", &which))
        return;
    SUM_Stream s;
    SUM_Component only;
    tbs_status_t st = SUM_Stream::construct_from_selector(sel.c_str(), &s);
    if (!vdw_core_ok(status(), st, VDW_LIB_FIND_STREAM_FAILED, sel.c_str())) return;
    if (has_comp && !comp_sel.empty() &&
        !vdw_core_ok(status(), SUM_Component::construct_from_selector(comp_sel.c_str(), &only),
                     VDW_LIB_GET_STREAM_COMPONENTS_FAILED, comp_sel.c_str()))
        return;
    auto failed = [&](tbs_status_t code, vdw_lib_msg_t msg) {
        return !vdw_core_ok(status(), code, msg, sel.c_str());
    };
    if (which & 1) {
        xcm_stream_info_t info;
        SUM_Project project;
        SUM_Stream target;
        bool delivering = false, rebasing = false;
        if (failed(s.info(&info), VDW_LIB_GET_STREAM_PROPS_FAILED)) return;
        s.project(&project);
        s.deliver_stream(&target);
        s.deliver_in_progress(&delivering);
        s.rebase_in_progress(&rebasing);
        xcm_project_info_t pinfo;
        if (!project.is_null()) project.info(&pinfo);
        VDW_MultipartData p("StreamGeneralProperties", nullptr, nullptr, nullptr, 0);
        p.add_part_item("StreamName", info.name.c_str());
        p.add_part_item("Selector", sel.c_str());
        p.add_part_item("Description", description(s).c_str());
        p.add_part_item("ProjectName", name(project).c_str());
        p.add_part_item("DeliverToStream", name(target).c_str());
        p.add_part_item("DeliverInProgress", delivering);
        p.add_part_item("RebaseInProgress", rebasing);
        p.add_part_item("BaselineNameTemplate", pinfo.bl_template.c_str());
        p.add_part_item("CreatedOn", static_cast<long long>(info.created));
        p.add_part_item("CreatedUser", info.owner.c_str());
        p.add_part_item("CreatedGroup", info.group.c_str());
        if (add_part(p, false)) return;
    }
    std::vector<SUM_Baseline> bls;
    if (which & 2) {
        if (failed(s.baselines(&bls), VDW_LIB_GET_STREAM_BASELINES_FAILED) ||
            !send_baselines(*this, "StreamBaseline", bls, &only))
            return;
    }
    if (which & 4) {
        std::vector<SUM_View> views;
        if (failed(s.views(&views), VDW_LIB_GET_STREAM_VIEWS_FAILED)) return;
        for (const SUM_View& v : views) {
            SUM_String tag;
            SUM_Uuid uuid;
            v.tag(&tag);
            v.uuid(&uuid);
            VDW_MultipartData p("StreamViews", nullptr, nullptr, nullptr, 0);
            p.add_part_item("Tag", tag);
            p.add_part_item("Uuid", uuid);
            if (add_part(p, false)) return;
        }
    }
    if (which & 8) {
        if (failed(s.foundation_baselines(&bls), VDW_LIB_DETERMINE_FOUNDATION_BASELINES_FAILED) ||
            !send_baselines(*this, "StreamFoundationBaseline", bls, &only))
            return;
    }
    if (which & 16) {
        if (failed(s.recommended_baselines(&bls), VDW_LIB_DETERMINE_RECOMMENDED_BASELINES_FAILED) ||
            !send_baselines(*this, "StreamRecommendedBaseline", bls, &only))
            return;
    }
    if ((which & 32) && !send_lock(*this, s, "StreamLockProperties", "StreamLockExcUser", status()))
        return;
    if ((which & 64) && !vdw_props_send_custom(*this, pvob_of(s), s.dbid(), "StreamCustomAttribute",
                                               "StreamCustomHlink", status()))
        return;
    if ((which & 128) && !vdw_props_send_mastership(*this, "StreamMastershipProperties")) return;
    if (which & 256) {
        std::vector<SUM_Activity> acts;
        if (failed(s.activities(&acts), VDW_LIB_GET_STREAM_ACTIVITIES_FAILED) ||
            !send_activities(*this, "StreamActivities", acts))
            return;
    }
    if (which & 512) {
        SUM_Project project;
        std::vector<SUM_Component> comps;
        tbs_status_t code = s.project(&project);
        if (code == TBS_ST_OK) code = project.components(&comps);
        if (failed(code, VDW_LIB_GET_STREAM_COMPONENTS_FAILED)) return;
        for (const SUM_Component& c : comps) {
            VDW_MultipartData p("StreamComponent", nullptr, nullptr, nullptr, 0);
            p.add_part_item("ComponentName", name(c).c_str());
            p.add_part_item("ComponentRepUuid", replica(c).c_str());
            p.add_part_item("ComponentDbid", static_cast<long long>(c.dbid()));
            if (add_part(p, false)) return;
        }
    }
    if (which & 1024) {
        if (failed(s.latest_baselines(&bls), VDW_LIB_GET_LATEST_BASELINES_FAILED)) return;
        send_baselines(*this, "StreamLatestBaseline", bls, &only);
    }
}

void VDW_SetStreamPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_SetStreamPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel, new_name, text;
    int general_mask = 0;
    VDW_LockChange lock;
    if (!a.text("StreamSelector", &sel) || !a.integer("GeneralMask", &general_mask) ||
        !a.integer("LockMask", &lock.mask) || !a.text("GeneralName", &new_name) ||
        !a.rich("GeneralDescription", &text) || !vdw_props_read_lock(a, &lock, status()))
        return;
    SUM_Stream s;
    if (!vdw_core_ok(status(), SUM_Stream::construct_from_selector(sel.c_str(), &s),
                     VDW_LIB_FIND_STREAM_FAILED, sel.c_str()))
        return;
    // Bit 1 renames the stream, bit 2 changes its description.
    if (general_mask & 1) {
        cmd_chstream_args_t c;
        c.stream = sel;
        c.new_name = new_name;
        if (!vdw_core_ok(status(), cmd_chstream(&c), VDW_LIB_SET_STREAM_PROPS_FAILED, sel.c_str()))
            return;
    }
    set_description_and_lock(*this, s, general_mask & 2, text, lock, "StreamLockProperties",
                             "StreamLockExcUser", status());
}

// ---- baselines ---------------------------------------------------------------------------

void VDW_GetBaselinePropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetBaselinePropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel;
    int which = 0;
    if (!a.text("BaselineSelector", &sel) || !a.integer("WhichCategories", &which)) return;
    SUM_Baseline b;
    if (!vdw_core_ok(status(), SUM_Baseline::construct_from_selector(sel.c_str(), &b),
                     VDW_LIB_FIND_BASELINE_FAILED, sel.c_str()))
        return;
    xcm_baseline_info_t info;
    if (!vdw_core_ok(status(), b.info(&info), VDW_LIB_GET_BASELINE_PROPS_FAILED, sel.c_str()))
        return;
    SUM_Stream stream;
    b.stream(&stream);
    if (which & 1) {
        SUM_Component comp;
        SUM_String level;
        b.component(&comp);
        b.promotion_level(&level);
        VDW_MultipartData p("BaselineGeneralProperties", nullptr, nullptr, nullptr, 0);
        p.add_part_item("BaselineName", info.name.c_str());
        p.add_part_item("Selector", sel.c_str());
        p.add_part_item("Kind", info.full ? "full" : "incremental");
        p.add_part_item("ComponentName", name(comp).c_str());
        p.add_part_item("Description", description(b).c_str());
        p.add_part_item("PromotionLevel", level);
        p.add_part_item("CreatedOn", static_cast<long long>(info.created));
        p.add_part_item("CreatedUser", info.owner.c_str());
        p.add_part_item("CreatedGroup", info.group.c_str());
        p.add_part_item("LabelingStatus", info.labelled > 0 ? "Labeled" : "Not Labeled");
        if (add_part(p, false)) return;
        // The levels a baseline may be promoted to, in their order.
        for (int i = 0; i < XCM_PROMOTION_LEVEL_COUNT; ++i) {
            VDW_MultipartData l("PromotionLevel", nullptr, nullptr, nullptr, 0);
            l.add_part_item("PromotionLevel", XCM_PROMOTION_LEVELS[i]);
            if (add_part(l, false)) return;
        }
    }
    // 2, the members of a composite, each as the baseline parts of other RPCs are written.
    if (which & 2) {
        std::vector<SUM_Baseline> members;
        if (!vdw_core_ok(status(), b.members(&members), VDW_LIB_GET_BASELINE_PROPS_FAILED,
                         sel.c_str()) ||
            !send_members(*this, members))
            return;
    }
    if ((which & 4) && !stream.is_null()) {
        // The activities the baseline took in: those of its stream.
        std::vector<SUM_Activity> acts;
        if (!vdw_core_ok(status(), stream.activities(&acts), VDW_LIB_GET_BASELINE_ACTIVITIES_FAILED,
                         sel.c_str()) ||
            !send_activities(*this, "BaselineActivity", acts))
            return;
    }
    if ((which & 8) &&
        !send_lock(*this, b, "BaselineLockProperties", "BaselineLockExcUser", status()))
        return;
    if ((which & 16) && !vdw_props_send_custom(*this, pvob_of(b), b.dbid(), "BaselineCustomAttr",
                                               "BaselineCustomHlink", status()))
        return;
    if ((which & 32) && !vdw_props_send_mastership(*this, "BaselineMastershipProperties")) return;
    if (which & 64) {
        std::vector<SUM_Stream> streams;
        b.foundation_of(&streams);
        if (!stream.is_null()) streams.insert(streams.begin(), stream);
        for (const SUM_Stream& s : streams) {
            SUM_Project project;
            s.project(&project);
            VDW_MultipartData p("BaselineStream", nullptr, nullptr, nullptr, 0);
            p.add_part_item("StreamName", name(s).c_str());
            p.add_part_item("StreamDbid", static_cast<long long>(s.dbid()));
            p.add_part_item("StreamRepUuid", replica(s).c_str());
            p.add_part_item("ProjectName", name(project).c_str());
            p.add_part_item("ProjectDbid", static_cast<long long>(project.dbid()));
            p.add_part_item("ProjectRepUuid", replica(project).c_str());
            if (add_part(p, false)) return;
        }
    }
}

void VDW_SetBaselinePropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_SetBaselinePropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel, level, text;
    int general_mask = 0;
    VDW_LockChange lock;
    if (!a.text("BaselineSelector", &sel) || !a.integer("GeneralMask", &general_mask) ||
        !a.integer("LockMask", &lock.mask) || !a.text("PromotionLevel", &level) ||
        !a.rich("GeneralDescription", &text) || !vdw_props_read_lock(a, &lock, status()))
        return;
    SUM_Baseline b;
    if (!vdw_core_ok(status(), SUM_Baseline::construct_from_selector(sel.c_str(), &b),
                     VDW_LIB_FIND_BASELINE_FAILED, sel.c_str()))
        return;
    // Bit 1 sets the promotion level, bit 2 the description.
    if ((general_mask & 1) &&
        !vdw_core_ok(status(), b.set_promotion_level(level.c_str()),
                     VDW_LIB_SET_PROMOTION_LEVEL_FAILED, sel.c_str(), level.c_str()))
        return;
    set_description_and_lock(*this, b, general_mask & 2, text, lock, "BaselineLockProperties",
                             "BaselineLockExcUser", status());
}

// ---- activities --------------------------------------------------------------------------

void VDW_GetActivityPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetActivityPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel, uuid;
    bool has_view = false;
    int which = 0;
    if (!a.text("Scope", &sel) || !a.opt_text("ViewUuid", &uuid, &has_view) ||
        !a.integer("WhichCategories", &which))
        return;
    SUM_Activity act;
    xcm_activity_info_t info;
    tbs_status_t st = SUM_Activity::construct_from_selector(sel.c_str(), &act);
    if (st == TBS_ST_OK) st = act.info(&info);
    if (!vdw_core_ok(status(), st, VDW_LIB_GET_ACTIVITY_PROPS_FAILED, sel.c_str())) return;
    if (which & 1) {
        SUM_Stream stream;
        SUM_Project project;
        act.stream(&stream);
        if (!stream.is_null()) stream.project(&project);
        std::string view_tag;
        if (has_view && !uuid.empty()) {
            view_t* view = nullptr;
            facade()->open_view(uuid.c_str(), &view, status());
            if (!status().is_ok()) return;
            view_tag = view->tag;
        }
        VDW_MultipartData p("ActGeneralProperties", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Headline", info.headline.c_str());
        p.add_part_item("ID", info.name.c_str());
        p.add_part_item("Kind", info.integration ? "integration activity" : "activity");
        p.add_part_item("StreamName", name(stream).c_str());
        p.add_part_item("ProjectName", name(project).c_str());
        p.add_part_item("ViewTag", view_tag.c_str());
        p.add_part_item("CreatedUser", info.owner.c_str());
        p.add_part_item("CreatedGroup", info.group.c_str());
        p.add_part_item("CreatedOn", static_cast<long long>(info.created));
        p.add_part_item("PropertyTypes", which);
        if (add_part(p, false)) return;
    }
    if (which & 2) {
        std::vector<cmd_cs_entry_t> cs;
        if (!vdw_core_ok(status(), act.change_set(&cs), VDW_LIB_GET_ACTIVITY_PROPS_FAILED,
                         sel.c_str()))
            return;
        for (const cmd_cs_entry_t& e : cs) {
            std::string view_tag;
            if (e.checked_out) cmd_utl_get_view_tag(e.view, &view_tag);
            SUM_Vob sv;
            SUM_Uuid rep;
            if (SUM_Vob::construct_from_handle(e.vob, &sv) == TBS_ST_OK) sv.replica_uuid(&rep);
            vob_obj_info_t vi;
            vob_obj_get_info(e.vob, e.version, &vi);
            VDW_MultipartData p("ActChangeSetProperties", nullptr, nullptr, nullptr, 0);
            p.add_part_item("ElementName", e.pname.c_str());
            p.add_part_item("ElementDbid", static_cast<long long>(e.element));
            p.add_part_item("ReplicaUuid", rep);
            p.add_part_item("CheckedOut", e.checked_out);
            p.add_part_item("VersionNumber", e.idstr.substr(e.idstr.rfind('/') + 1).c_str());
            p.add_part_item("VersionName", (e.pname + TBS_VER_EXT + e.idstr).c_str());
            p.add_part_item("Dbid", static_cast<long long>(e.version));
            p.add_part_item("ViewTag", view_tag.c_str());
            p.add_part_item("Uuid", tbs_uuid_text(vi.oid).c_str());
            if (add_part(p, false)) return;
        }
    }
    if ((which & 4) && (!vdw_props_send_mastership(*this, "ActXCMMastershipProperties") ||
                        !vdw_props_send_mastership(*this, "ActTNMastershipProperties")))
        return;
    if ((which & 8) &&
        !vdw_props_send_custom(*this, pvob_of(act), act.dbid(), "ActCustomAttrProperties",
                               "ActCustomHlink", status()))
        return;
    if ((which & 16) &&
        !send_lock(*this, act, "ActLockProperties", "ActLockExcludedUser", status()))
        return;
    if (which & 32) {
        // The change-request record behind the activity, when its project is enabled.
        VDW_MultipartData p("ActTNProperties", nullptr, nullptr, nullptr, 0);
        p.add_part_item("TNRecordType", "");
        p.add_part_item("TNOwner", info.owner.c_str());
        add_part(p, false);
    }
}

void VDW_SetActivityPropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_SetActivityPropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel, headline, id;
    int general_mask = 0;
    VDW_LockChange lock;
    if (!a.text("Scope", &sel) || !a.integer("GeneralMask", &general_mask) ||
        !a.integer("LockMask", &lock.mask) || !a.rich("GeneralHeadline", &headline) ||
        !a.text("GeneralID", &id) || !vdw_props_read_lock(a, &lock, status()))
        return;
    SUM_Activity act;
    if (!vdw_core_ok(status(), SUM_Activity::construct_from_selector(sel.c_str(), &act),
                     VDW_LIB_FIND_ACTIVITY_FAILED, sel.c_str()))
        return;
    // Bit 1 sets the headline, bit 2 renames the activity.
    if ((general_mask & 3) &&
        !vdw_core_ok(status(),
                     cmd_chactivity(sel.c_str(), (general_mask & 1) ? headline.c_str() : nullptr,
                                    (general_mask & 2) ? id.c_str() : nullptr),
                     VDW_LIB_SET_ACTIVITY_HEADLINE_FAILED, sel.c_str()))
        return;
    if (!(lock.mask & 7)) return;
    // A renamed activity is found by its new name.
    SUM_Activity now;
    SUM_Activity::construct_from_dbid(act.pvob(), act.dbid(), &now);
    if (vdw_props_apply_lock(selector(now), nullptr, lock, status()))
        send_lock(*this, now, "ActLockProperties", "ActLockExcludedUser", status());
}

// ---- label types -------------------------------------------------------------------------

void VDW_GetLabeltypePropertiesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_GetLabeltypePropertiesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel;
    if (!a.text("Selector", &sel)) return;
    // "lbtype:REL1" names the type in every VOB; "lbtype:REL1@vob" in one.
    vob_objsel_t parsed;
    tbs_status_t st = VDW_Vdcore::parse_objsel(sel.c_str(), &parsed);
    if (st == TBS_ST_OK && (parsed.kind != VOB_SEL_TYPE || parsed.mtype != VOB_MTYPE_LBTYPE))
        st = TBS_ST_BAD_SELECTOR;
    if (!vdw_core_ok(status(), st, VDW_LIB_DESCRIBE_FAILED, sel.c_str())) return;
    std::vector<rgy_vob_entry_t> vobs;
    if (!vdw_core_ok(status(), rgy_list_vob_tags(nullptr, &vobs), VDW_LIB_DESCRIBE_FAILED,
                     sel.c_str()))
        return;
    for (const rgy_vob_entry_t& e : vobs) {
        if (!parsed.vob.empty() && parsed.vob != e.tag) continue;
        vob_t* vob = nullptr;
        vob_type_info_t t;
        if (vob_open_by_tag(e.tag.c_str(), &vob) != TBS_ST_OK ||
            vob_type_find(vob, VOB_MTYPE_LBTYPE, parsed.name.c_str(), &t) != TBS_ST_OK)
            continue;
        vob_obj_info_t info;
        vob_obj_get_info(vob, t.dbid, &info);
        // The VOB as a file-system object: its root, with the VOB's facts.
        VDW_FsoDescription d;
        d.mtime = static_cast<long>(info.created);
        d.is_dir = true;
        d.vob = std::make_unique<VDW_FsoDescription::Vob>();
        d.vob->root = true;
        d.vob->is_public = e.is_public;
        VDW_MultipartData p("LabelType", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Name", t.name.c_str());
        p.add_part_item("VobTag", e.tag.c_str());
        p.add_part_item("Owner", info.owner.c_str());
        p.add_part_item("CreatedOn", static_cast<long long>(info.created));
        d.marshal(p, true);
        if (add_part(p, false)) return;
    }
}
