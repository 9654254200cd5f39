// The activity and container RPCs of change management (see vdw_xcm_rpcs.h).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmd/cmd_xcm.h"
#include "core/cred/credutl.h"
#include "core/sum/sum_view.h"
#include "core/sum/sum_vob.h"
#include "core/sum/sum_xcm.h"
#include "core/tide/tide.h"
#include "core/view/view.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "facade/vdw_xcm_util.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/login/vdw_creds_managers.h"
#include "ops/xcm/vdw_xcm_rpcs.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

bool find_activity(const std::string& sel, SUM_Activity* act, WCM_Status& status) {
    return vdw_core_ok(status, SUM_Activity::construct_from_selector(sel.c_str(), act),
                       VDW_LIB_FIND_ACTIVITY_FAILED, sel.c_str());
}

// The view of a UUID as the object layer hands it out, and its open handle.
bool find_view(VDW_Vdcore& core, const std::string& uuid, SUM_View* sv, view_t** view,
               WCM_Status& status) {
    core.open_view(uuid.c_str(), view, status);
    if (!status.is_ok()) return false;
    return vdw_core_ok(status, SUM_View::construct_from_tag((*view)->tag.c_str(), sv),
                       VDW_LIB_GET_VIEW_STREAM_FAILED, (*view)->tag.c_str());
}

bool send_act(VDW_RpcResponse& out, const char* part, const SUM_Activity& a, bool lower,
              const bool* has_checkouts = nullptr) {
    xcm_activity_info_t info;
    if (a.info(&info) != TBS_ST_OK) return true;
    VDW_MultipartData p(part, nullptr, nullptr, nullptr, 0);
    p.add_part_item(lower ? "replicaUuid" : "ReplicaUuid", vdw_xcm_replica(a).c_str());
    p.add_part_item(lower ? "dbid" : "Dbid", static_cast<long long>(a.dbid()));
    p.add_part_item(lower ? "id" : "ID", info.name.c_str());
    p.add_part_item(lower ? "headline" : "Headline", info.headline.c_str());
    if (has_checkouts) p.add_part_item("HasCheckouts", *has_checkouts);
    return !out.add_part(p, false);
}

}  // namespace

void VDW_GetActsWithUndeliveredWorkRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, sel;
    if (!a.text("ViewUuid", &uuid) || !a.text("StreamSelector", &sel)) return;
    SUM_Stream s, target;
    std::vector<SUM_Activity> acts;
    std::vector<bool> checkouts;
    tbs_status_t st = SUM_Stream::construct_from_selector(sel.c_str(), &s);
    if (st == TBS_ST_OK) st = s.deliver_stream(&target);
    if (st == TBS_ST_OK) st = s.undelivered_activities(target, &acts, &checkouts);
    if (!vdw_core_ok(status(), st, VDW_LIB_GET_STREAM_ACTIVITIES_FAILED, sel.c_str())) return;
    for (size_t i = 0; i < acts.size(); ++i) {
        const bool co = i < checkouts.size() && checkouts[i];
        if (!send_act(*this, "xcmAct", acts[i], false, &co)) return;
    }
}

void VDW_GetActivityCheckoutsRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), false)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel;
    bool has = false;
    if (!a.opt_text("Activity", &sel, &has)) return;
    if (!has || sel.empty()) return;  // no activity, no checkouts of one
    SUM_Activity act;
    std::vector<cmd_cs_entry_t> cs;
    xcm_activity_info_t info;
    if (!find_activity(sel, &act, status()) ||
        !vdw_core_ok(status(), act.change_set(&cs), VDW_LIB_GET_ACTIVITY_PROPS_FAILED,
                     sel.c_str()) ||
        !vdw_core_ok(status(), act.info(&info), VDW_LIB_GET_ACTIVITY_PROPS_FAILED, sel.c_str()))
        return;
    for (const cmd_cs_entry_t& e : cs) {
        if (!e.checked_out) continue;
        std::string tag;
        cmd_utl_get_view_tag(e.view, &tag);
        VDW_MultipartData p("CheckoutInfo", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Pname", e.pname.c_str());
        p.add_part_item("ViewUuid", tbs_uuid_text(e.view).c_str());
        p.add_part_item("ViewTag", tag.c_str());
        p.add_part_item("ReplicaUuid", vdw_xcm_replica(act).c_str());
        p.add_part_item("Dbid", static_cast<long long>(act.dbid()));
        p.add_part_item("ID", info.name.c_str());
        p.add_part_item("Headline", info.headline.c_str());
        if (add_part(p, false)) return;
    }
}

void VDW_CleanupInvisibleActivityCOsRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_CleanupInvisibleActivityCOsRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, sel, list;
    if (!a.text("ViewUuid", &uuid) || !a.text("Activity", &sel) || !a.rich("PerElementList", &list))
        return;
    SUM_View sv;
    view_t* view = nullptr;
    SUM_Activity act;
    std::vector<cmd_cs_entry_t> cs;
    if (!find_view(*facade(), uuid, &sv, &view, status()) || !find_activity(sel, &act, status()) ||
        !vdw_core_ok(status(), act.change_set(&cs), VDW_LIB_GET_ACTIVITY_PROPS_FAILED, sel.c_str()))
        return;
    std::string failed;
    tbs_status_t st = vdw_xcm_cleanup_invisible(
        view, cs, VDW_RpcArgs::split_lines(list),
        [this](const std::string& pname) {
            VDW_MultipartData p("CleanedElement", nullptr, nullptr, nullptr, 0);
            p.add_part_item("ElementPname", pname.c_str());
            return !add_part(p, false);
        },
        &failed);
    if (st != TBS_ST_OK) vdw_core_ok(status(), st, VDW_LIB_UNCHECKOUT_FAILED, failed.c_str());
}

tbs_status_t vdw_xcm_cleanup_invisible(view_t* view, const std::vector<cmd_cs_entry_t>& cs,
                                       const std::vector<std::string>& named,
                                       const std::function<bool(const std::string&)>& cleaned,
                                       std::string* failed) {
    for (const cmd_cs_entry_t& e : cs) {
        if (!e.checked_out || memcmp(e.view.bytes, view->uuid.bytes, sizeof e.view.bytes) != 0)
            continue;
        if (!named.empty() && std::find(named.begin(), named.end(), e.pname) == named.end())
            continue;
        vob_resolved_t r;
        vob_checkout_info_t seen;
        const bool visible = vob_resolve_pname(e.pname.c_str(), &view->ctx, 0, &r) == TBS_ST_OK &&
                             r.element == e.element &&
                             vob_ckout_get(e.vob, r.version, &seen) == TBS_ST_OK;
        if (visible) continue;
        cmd_uncheckout_args_t u;
        u.pnames = {e.pname + TBS_VER_EXT + e.idstr};
        u.view = &view->ctx;
        if (tbs_status_t st = cmd_uncheckout(&u); st != TBS_ST_OK) {
            *failed = e.pname;
            return st;
        }
        if (!cleaned(e.pname)) break;
    }
    return TBS_ST_OK;
}

void VDW_MoveVersionToActivityRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, version_sel, elem, version_tag, src, dest;
    bool has_sel = false, has_elem = false;
    if (!a.text("ViewUuid", &uuid) || !a.opt_text("VersionSelector", &version_sel, &has_sel) ||
        !a.opt_pname("ElemPath", &elem, &has_elem) || !a.text("VersionTag", &version_tag) ||
        !a.text("SrcActivityScope", &src) || !a.text("DestActivityScope", &dest))
        return;
    view_t* view = nullptr;
    if (!uuid.empty()) facade()->open_view(uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    // The version: a selector, or an element of the view and a version of it ("" the one
    // the view selects).
    std::string version = version_sel;
    if (version.empty()) {
        version = VDW_Vdcore::to_vob_pname(view, elem.c_str());
        if (!version_tag.empty()) version += std::string(TBS_VER_EXT) + version_tag;
    }
    vdw_core_ok(status(), cmd_mvact(version.c_str(), view ? &view->ctx : nullptr, dest.c_str()),
                VDW_LIB_MOVE_TO_ACTIVITY_FAILED, version.c_str(), dest.c_str());
    (void)src;  // the version's own activity is the source, whatever the client says
}

void VDW_CreateActivityRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_CreateActivityRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, sel, headline, name, comment;
    bool has_view = false;
    if (!a.opt_text("ViewUuid", &uuid, &has_view) || !a.text("StreamSelector", &sel) ||
        !a.rich("Headline", &headline) || !a.text("Name", &name) || !a.rich("Comment", &comment))
        return;
    SUM_Stream s;
    SUM_Activity act;
    if (!vdw_core_ok(status(), SUM_Stream::construct_from_selector(sel.c_str(), &s),
                     VDW_LIB_FIND_STREAM_FAILED, sel.c_str()) ||
        !vdw_core_ok(status(),
                     SUM_Activity::create(s, name.c_str(), headline.c_str(), comment.c_str(), &act),
                     VDW_LIB_CREATE_ACTIVITY_FAILED,
                     name.empty() ? headline.c_str() : name.c_str()))
        return;
    // Made from a view, it becomes the view's current activity.
    if (has_view && !uuid.empty()) {
        SUM_View sv;
        view_t* view = nullptr;
        if (!find_view(*facade(), uuid, &sv, &view, status()) ||
            !vdw_core_ok(status(), SUM_view_set_current_activity(sv, act),
                         VDW_LIB_SET_ACTIVITY_FAILED, vdw_xcm_name(act).c_str(), view->tag.c_str()))
            return;
    }
    SUM_Oid oid;
    act.oid(&oid);
    VDW_MultipartData p(VDW_MultipartData::RPC_RESULT_PART, nullptr, nullptr, nullptr, 0);
    p.add_part_item("Headline", headline.c_str());
    p.add_part_item("Name", vdw_xcm_name(act).c_str());
    SUM_Uuid replica;
    act.replica_uuid(&replica);
    p.add_part_item("ReplicaUuid", replica);
    p.add_part_item("Dbid", static_cast<unsigned long>(act.dbid()));
    add_part(p, false);
}

void VDW_FinishActivityRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_FinishActivityRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel;
    bool resume = false;
    if (!a.text("actSel", &sel) || !a.boolean("resume", &resume)) return;
    SUM_Activity act;
    std::vector<cmd_cs_entry_t> cs;
    if (!find_activity(sel, &act, status()) ||
        !vdw_core_ok(status(), act.change_set(&cs), VDW_LIB_GET_ACTIVITY_PROPS_FAILED, sel.c_str()))
        return;
    bool has = false;
    for (const cmd_cs_entry_t& e : cs) has |= e.checked_out;
    // First asked, the client learns of the checkouts; asked again ("resume"), they are
    // checked in, each in the view it was made in.
    if (has && resume) {
        for (const cmd_cs_entry_t& e : cs) {
            if (!e.checked_out) continue;
            view_t* view = nullptr;
            tbs_status_t st = view_open_by_uuid(e.view, &view);
            if (st == TBS_ST_OK) {
                cmd_checkin_args_t ci;
                ci.pnames = {e.pname};
                ci.view = &view->ctx;
                ci.identical = true;
                st = cmd_checkin(&ci);
            }
            if (!vdw_core_ok(status(), st, VDW_LIB_CHECKIN_FAILED, e.pname.c_str())) return;
        }
        has = false;
    }
    VDW_MultipartData p("hasCsetCheckouts", nullptr, nullptr, nullptr, 0);
    p.add_part_item("hasCsetCheckouts", has);
    add_part(p, false);
}

void VDW_GetCurrentActivityRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid;
    if (!a.text("viewUuid", &uuid)) return;
    SUM_View sv;
    view_t* view = nullptr;
    SUM_Activity act;
    if (!find_view(*facade(), uuid, &sv, &view, status()) ||
        !vdw_core_ok(status(), SUM_view_current_activity(sv, &act),
                     VDW_LIB_GET_CURRENT_ACTIVITY_FAILED, view->tag.c_str()))
        return;
    if (!act.is_null()) send_act(*this, "Act", act, true);
}

void VDW_Vdcore::set_current_activity_by_view_tag(const char* tag, const char* selector,
                                                  WCM_Status& status) {
    SUM_View sv;
    SUM_Activity act;  // an empty selector clears it
    const std::string sel = selector ? selector : "";
    if (!vdw_core_ok(status, SUM_View::construct_from_tag(tag, &sv), VDW_LIB_GET_VIEW_TAG_FAILED,
                     tag) ||
        (!sel.empty() && !find_activity(sel, &act, status)))
        return;
    vdw_core_ok(status, SUM_view_set_current_activity(sv, act), VDW_LIB_SET_ACTIVITY_FAILED,
                sel.c_str(), tag);
}

void VDW_SetCurrentActivityRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel, uuid;
    if (!a.text("Selector", &sel) || !a.text("ViewUuid", &uuid)) return;
    view_t* view = nullptr;
    facade()->open_view(uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    facade()->set_current_activity_by_view_tag(view->tag.c_str(), sel.c_str(), status());
}

void VDW_GetMyActivitiesRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, sel;
    bool has_view = false;
    if (!a.opt_text("viewUuid", &uuid, &has_view) || !a.text("stream", &sel)) return;
    SUM_Stream s;
    SUM_Project project;
    SUM_String userdb, dbset;
    std::vector<SUM_Activity> acts;
    credutl_creds_t me;
    tbs_status_t st = SUM_Stream::construct_from_selector(sel.c_str(), &s);
    if (st == TBS_ST_OK) st = s.project(&project);
    if (st == TBS_ST_OK) st = project.tn_database(&userdb, &dbset);
    if (st == TBS_ST_OK) st = s.activities(&acts);
    if (st == TBS_ST_OK) st = credutl_get_creds(&me);
    if (!vdw_core_ok(status(), st, VDW_LIB_GET_STREAM_ACTIVITIES_FAILED, sel.c_str())) return;
    const bool enabled = userdb.c_str()[0] != '\0';
    VDW_MultipartData info("projectInfo", nullptr, nullptr, nullptr, 0);
    info.add_part_item("tnEnabledStatus", enabled ? "ACTIVE" : "NOT_ENABLED");
    if (add_part(info, false)) return;
    VDW_MultipartData headings("colHeadings", nullptr, nullptr, nullptr, 0);
    headings.add_part_item("id", "ID");
    headings.add_part_item("headline", "Headline");
    if (add_part(headings, false)) return;
    // A project enabled for change requests lists the user's records; logging in to the
    // database asks the client when no login is known yet.
    if (enabled) {
        CTide_Credentials given;
        given.user_db = userdb.c_str();
        given.db_set = dbset.c_str();
        CTide_Session session;
        std::vector<CTide_Record> records;
        st = CTide_Session::open(given, &session);
        if (st == TBS_ST_OK) st = session.query(session.credentials().user_name, &records);
        if (!vdw_core_ok(status(), st, VDW_LIB_GET_STREAM_ACTIVITIES_FAILED, sel.c_str())) return;
        for (const CTide_Record& rec : records) {
            VDW_MultipartData p("tnEntity", nullptr, nullptr, nullptr, 0);
            p.add_part_item("id", rec.id.c_str());
            p.add_part_item("headline", rec.headline.c_str());
            p.add_part_item("recType", rec.rec_type.c_str());
            p.add_part_item("userDb", userdb);
            p.add_part_item("dbSet", dbset);
            if (add_part(p, false)) return;
        }
        return;
    }
    // The user's own activities of the stream (integration activities belong to operations).
    for (const SUM_Activity& act : acts) {
        xcm_activity_info_t ai;
        if (act.info(&ai) != TBS_ST_OK || ai.owner != me.user || ai.integration) continue;
        if (!send_act(*this, "xcmAct", act, true)) return;
    }
}

void VDW_EnumerateXcmContainerContentsRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, dbid_text, flags;
    bool recurse = false, has_dbid = false, has_flags = false;
    if (!a.text("Uuid", &uuid) || !a.boolean("RecurseSubstreams", &recurse) ||
        !a.opt_text("Dbid", &dbid_text, &has_dbid) || !a.opt_text("Flags", &flags, &has_flags))
        return;
    tbs_uuid_t u;
    SUM_Vob pvob;
    tbs_status_t st = tbs_uuid_from_str(uuid.c_str(), &u);
    if (st == TBS_ST_OK) st = SUM_Vob::construct_from_uuid(u, &pvob);
    if (!vdw_core_ok(status(), st, VDW_LIB_FIND_VOB_BY_UUID_FAILED, uuid.c_str())) return;
    auto record = [&](const char* part, const SUM_XcmObject& o) {
        VDW_MultipartData p(part, nullptr, nullptr, nullptr, 0);
        p.add_part_item("Name", vdw_xcm_name(o).c_str());
        p.add_part_item("Selector", vdw_xcm_selector(o).c_str());
        p.add_part_item("ReplicaUuid", vdw_xcm_replica(o).c_str());
        p.add_part_item("Dbid", static_cast<long long>(o.dbid()));
        return !add_part(p, false);
    };
    auto part_of = [](int mtype) {
        return mtype == VOB_MTYPE_FOLDER     ? "Folder"
               : mtype == VOB_MTYPE_PROJECT  ? "Project"
               : mtype == VOB_MTYPE_STREAM   ? "Stream"
               : mtype == VOB_MTYPE_ACTIVITY ? "Activity"
               : mtype == VOB_MTYPE_BASELINE ? "Baseline"
                                             : "Object";
    };
    // No container named: the root folder and what it holds.
    SUM_XcmObject container;
    if (!has_dbid || dbid_text.empty()) {
        SUM_Folder root;
        if (!vdw_core_ok(status(), SUM_Folder::root_folder(pvob, &root),
                         VDW_LIB_LIST_CONTAINER_FAILED, uuid.c_str()) ||
            !record("RootFolder", root))
            return;
        container = root;
    } else {
        vob_t* handle = nullptr;
        int mtype = 0;
        st = pvob.handle(&handle);
        const vob_dbid_t dbid = strtoll(dbid_text.c_str(), nullptr, 10);
        if (st == TBS_ST_OK) st = vob_obj_get_mtypes(handle, dbid, &mtype);
        if (st == TBS_ST_OK) {
            if (mtype == VOB_MTYPE_FOLDER) {
                SUM_Folder o;
                st = SUM_Folder::construct_from_dbid(pvob, dbid, &o);
                container = o;
            } else if (mtype == VOB_MTYPE_PROJECT) {
                SUM_Project o;
                st = SUM_Project::construct_from_dbid(pvob, dbid, &o);
                container = o;
            } else if (mtype == VOB_MTYPE_STREAM) {
                SUM_Stream o;
                st = SUM_Stream::construct_from_dbid(pvob, dbid, &o);
                container = o;
            } else {
                st = TBS_ST_INVALID;  // not a container
            }
        }
        if (!vdw_core_ok(status(), st, VDW_LIB_LIST_CONTAINER_FAILED, dbid_text.c_str())) return;
    }
    // Contents by kind: a folder's folders and projects; a project's streams; a stream's
    // activities, baselines and (when asked) the streams made from it.
    std::vector<SUM_XcmObject> contents;
    const int kind = container.mtype();
    if (kind == VOB_MTYPE_FOLDER) {
        SUM_Folder f;
        SUM_Folder::construct_from_dbid(pvob, container.dbid(), &f);
        st = f.contents(&contents);
    } else if (kind == VOB_MTYPE_PROJECT) {
        SUM_Project p;
        std::vector<SUM_Stream> streams;
        st = SUM_Project::construct_from_dbid(pvob, container.dbid(), &p);
        if (st == TBS_ST_OK) st = p.streams(&streams);
        contents.assign(streams.begin(), streams.end());
    } else if (kind == VOB_MTYPE_STREAM) {
        SUM_Stream s;
        std::vector<SUM_Activity> acts;
        std::vector<SUM_Baseline> bls;
        st = SUM_Stream::construct_from_dbid(pvob, container.dbid(), &s);
        if (st == TBS_ST_OK) st = s.activities(&acts);
        if (st == TBS_ST_OK) st = s.baselines(&bls);
        contents.assign(acts.begin(), acts.end());
        contents.insert(contents.end(), bls.begin(), bls.end());
        SUM_Project p;
        std::vector<SUM_Stream> streams;
        if (recurse && st == TBS_ST_OK && s.project(&p) == TBS_ST_OK &&
            p.streams(&streams) == TBS_ST_OK)
            for (const SUM_Stream& child : streams) {
                xcm_stream_info_t info;
                if (child.info(&info) == TBS_ST_OK && info.parent == s.dbid())
                    contents.push_back(child);
            }
    }
    if (!vdw_core_ok(status(), st, VDW_LIB_LIST_CONTAINER_FAILED,
                     vdw_xcm_selector(container).c_str()))
        return;
    for (const SUM_XcmObject& o : contents)
        if (!record(part_of(o.mtype()), o)) return;
}

// ---- change-request databases --------------------------------------------------------------

void VDW_GetTnUserDatabaseRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid;
    if (!a.text("viewUuid", &uuid)) return;
    SUM_View sv;
    view_t* view = nullptr;
    SUM_Stream stream;
    SUM_Project project;
    SUM_String userdb, dbset;
    if (!find_view(*facade(), uuid, &sv, &view, status())) return;
    tbs_status_t st = SUM_view_stream(sv, &stream);
    if (st == TBS_ST_OK) st = stream.project(&project);
    if (st == TBS_ST_OK) st = project.tn_database(&userdb, &dbset);
    if (!vdw_core_ok(status(), st, VDW_LIB_GET_VIEW_STREAM_FAILED, view->tag.c_str())) return;
    // A project that is not enabled has none: no part.
    if (!userdb.c_str()[0]) return;
    VDW_MultipartData p("userDb", nullptr, nullptr, nullptr, 0);
    p.add_part_item("name", userdb);
    p.add_part_item("dbSet", dbset);
    add_part(p, false);
}

void VDW_SetTnCredentialsRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    VDW_TnCreds creds;
    bool validate = false;
    if (!a.text("userDb", &creds.user_db) || !a.text("dbSet", &creds.db_set) ||
        !a.text("userName", &creds.user) || !a.text("password", &creds.password) ||
        !a.boolean("validate", &validate))
        return;
    bool valid = VDW_TnCredsManager::creds_are_valid(creds);
    if (valid && validate) {
        CTide_Credentials c;
        c.user_db = creds.user_db;
        c.db_set = creds.db_set;
        c.user_name = creds.user;
        c.password = creds.password;
        const tbs_status_t st = CTide_provider()->validate(c);
        if (st != TBS_ST_OK && st != TBS_ST_PERMISSION &&
            !vdw_core_ok(status(), st, VDW_LIB_FIND_ACTIVITY_FAILED, creds.user_db.c_str()))
            return;
        valid = st == TBS_ST_OK;
    }
    // Kept for the logins the process's operations ask for; the password is never echoed.
    if (valid) VDW_TnCredsManager::set_creds(creds);
    VDW_MultipartData p("validation", nullptr, nullptr, nullptr, 0);
    p.add_part_item("isValid", valid);
    add_part(p, false);
}
