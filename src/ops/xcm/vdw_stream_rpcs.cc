// The stream, project VOB and baseline RPCs of change management (see vdw_xcm_rpcs.h).
#include <algorithm>
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/cred/credutl.h"
#include "core/sum/sum_view.h"
#include "core/sum/sum_vob.h"
#include "core/sum/sum_xcm.h"
#include "core/vob/vob.h"
#include "core/vob/xcm.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "facade/vdw_xcm_util.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/xcm/vdw_xcm_rpcs.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"
#include "request/vdw_rpc_response.h"

namespace {

// "a,b" or one selector a line: the selectors.
std::vector<std::string> selector_list(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text + ",") {
        if (c == ',' || c == '\n') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else if (c != ' ' && c != '\r') {
            cur += c;
        }
    }
    return out;
}

bool send_baseline(VDW_RpcResponse& out, const SUM_Baseline& b) {
    SUM_Component comp;
    SUM_String level;
    xcm_baseline_info_t info;
    b.component(&comp);
    b.promotion_level(&level);
    b.info(&info);
    VDW_MultipartData p("Baseline", nullptr, nullptr, nullptr, 0);
    p.add_part_item("Name", vdw_xcm_name(b).c_str());
    p.add_part_item("Selector", vdw_xcm_selector(b).c_str());
    p.add_part_item("ReplicaUuid", vdw_xcm_replica(b).c_str());
    p.add_part_item("Dbid", static_cast<long long>(b.dbid()));
    p.add_part_item("ComponentName", vdw_xcm_name(comp).c_str());
    p.add_part_item("Kind", info.full ? "full" : "incremental");
    p.add_part_item("PromotionLevel", level);
    p.add_part_item("CreatedOn", static_cast<long long>(info.created));
    return !out.add_part(p, false);
}

bool find_stream(const std::string& sel, SUM_Stream* s, WCM_Status& status) {
    return vdw_core_ok(status, SUM_Stream::construct_from_selector(sel.c_str(), s),
                       VDW_LIB_FIND_STREAM_FAILED, sel.c_str());
}

}  // namespace

void VDW_MkstreamRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_MkstreamRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    cmd_mkstream_args_t m;
    bool default_target = false, recommend = false, has_baselines = false;
    std::string baselines;
    if (!a.text("Stream", &m.name) || !a.text("Project", &m.project) ||
        !a.boolean("Integration", &m.integration) || !a.boolean("ReadOnly", &m.read_only) ||
        !a.boolean("DefStream", &default_target) || !a.boolean("Recommend", &recommend) ||
        !a.rich("Comment", &m.comment) || !a.opt_rich("Baseline", &baselines, &has_baselines))
        return;
    // Named baselines are the foundation; otherwise the project's recommended ones, which the
    // core takes when none are given.
    if (has_baselines) m.baselines = selector_list(baselines);
    if (!vdw_core_ok(status(), cmd_mkstream(&m), VDW_LIB_CREATE_STREAM_FAILED, m.name.c_str()))
        return;
    SUM_Project project;
    SUM_Stream made;
    tbs_status_t st = SUM_Project::construct_from_selector(m.project.c_str(), &project);
    if (st == TBS_ST_OK) st = SUM_Stream::construct_from_dbid(project.pvob(), m.stream, &made);
    if (!vdw_core_ok(status(), st, VDW_LIB_FIND_STREAM_FAILED, m.name.c_str())) return;
    // "DefStream": the new development stream delivers to the integration stream by default.
    SUM_Stream integration;
    if (default_target && !m.integration && project.integration_stream(&integration) == TBS_ST_OK &&
        !integration.is_null() &&
        !vdw_core_ok(status(), made.set_deliver_stream(integration),
                     VDW_LIB_SET_STREAM_PROPS_FAILED, m.name.c_str()))
        return;
    (void)recommend;  // a new stream's foundation is the recommended baselines already
    VDW_MultipartData p("newStream", nullptr, nullptr, nullptr, 0);
    p.add_part_item("Name", vdw_xcm_name(made).c_str());
    p.add_part_item("Selector", vdw_xcm_selector(made).c_str());
    p.add_part_item("ReplicaUuid", vdw_xcm_replica(made).c_str());
    p.add_part_item("Dbid", static_cast<long long>(made.dbid()));
    add_part(p, false);
}

void VDW_GetIntStreamRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel;
    if (!a.text("projSel", &sel)) return;
    SUM_Project project;
    SUM_Stream s;
    tbs_status_t st = SUM_Project::construct_from_selector(sel.c_str(), &project);
    if (st == TBS_ST_OK) st = project.integration_stream(&s);
    if (!vdw_core_ok(status(), st, VDW_LIB_FIND_STREAM_FAILED, sel.c_str())) return;
    VDW_MultipartData p("istream", nullptr, nullptr, nullptr, 0);
    p.add_part_item("replicaUuid", vdw_xcm_replica(s).c_str());
    p.add_part_item("dbid", static_cast<long long>(s.dbid()));
    p.add_part_item("name", vdw_xcm_name(s).c_str());
    add_part(p, false);
}

void VDW_GetStreamDefaultDeliveryTargetRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel;
    if (!a.text("Selector", &sel)) return;
    SUM_Stream s, target;
    if (!find_stream(sel, &s, status()) ||
        !vdw_core_ok(status(), s.deliver_stream(&target), VDW_LIB_FIND_STREAM_FAILED, sel.c_str()))
        return;
    VDW_MultipartData p("StreamDefDeliveryTarget", nullptr, nullptr, nullptr, 0);
    p.add_part_item("Dbid", static_cast<long long>(target.dbid()));
    p.add_part_item("Uuid", vdw_xcm_replica(target).c_str());
    p.add_part_item("Name", vdw_xcm_name(target).c_str());
    add_part(p, false);
}

void VDW_OwnedViewsOnStreamRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel;
    if (!a.text("StreamSelector", &sel)) return;
    SUM_Stream s;
    credutl_creds_t me;
    std::vector<SUM_View> views;
    if (!find_stream(sel, &s, status())) return;
    tbs_status_t st = credutl_get_creds(&me);
    if (st == TBS_ST_OK) st = s.views(&views, me.user);
    if (!vdw_core_ok(status(), st, VDW_LIB_GET_STREAM_VIEWS_FAILED, sel.c_str())) return;
    for (const SUM_View& v : views) {
        SUM_String tag;
        SUM_Uuid uuid;
        v.tag(&tag);
        v.uuid(&uuid);
        VDW_MultipartData p("ViewFound", nullptr, nullptr, nullptr, 0);
        p.add_part_item("ViewTag", tag);
        p.add_part_item("ViewUuid", uuid);
        if (add_part(p, false)) return;
    }
}

void VDW_EnumeratePvobsRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), false)) return;
    std::vector<SUM_Vob> pvobs;
    if (!vdw_core_ok(status(), SUM_project_vobs(&pvobs), VDW_LIB_LIST_PVOBS_FAILED)) return;
    for (const SUM_Vob& v : pvobs) {
        SUM_String tag;
        SUM_Uuid uuid;
        v.tag(&tag);
        v.replica_uuid(&uuid);
        VDW_MultipartData p("PvobFound", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Pvob", tag);
        p.add_part_item("Uuid", uuid);
        if (add_part(p, false)) return;
    }
}

// ---- baselines ---------------------------------------------------------------------------

void VDW_MakeBaselineRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_MakeBaselineRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel, basename, description, kind;
    bool recommend = false;
    if (!a.text("StreamSelector", &sel) || !a.text("Basename", &basename) ||
        !a.rich("Description", &description) || !a.text("BaselineKind", &kind) ||
        !a.boolean("RecommendBaseline", &recommend))
        return;
    // "full", or "incremental" (also as 1 and 0, or the kinds' initials).
    const bool full = kind.empty() || kind == "1" || kind[0] == 'f' || kind[0] == 'F';
    if (!full && kind != "0" && kind[0] != 'i' && kind[0] != 'I') {
        VDW_RpcArgs::bad_value(status(), "BaselineKind", kind);
        return;
    }
    SUM_Stream s;
    std::vector<SUM_Baseline> made;
    if (!find_stream(sel, &s, status()) ||
        !vdw_core_ok(status(), SUM_Baseline::create(s, basename.c_str(), full, recommend, &made),
                     VDW_LIB_CREATE_BASELINE_FAILED, basename.c_str()))
        return;
    for (const SUM_Baseline& b : made) {
        if (!description.empty()) b.set_description(description.c_str());
        if (!send_baseline(*this, b)) return;
    }
}

void VDW_RecommendBaselineRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel, bl_sel;
    if (!a.text("StreamSelector", &sel) || !a.text("BaselineSelector", &bl_sel)) return;
    // The baseline takes the place of the one recommended for its component.
    cmd_chstream_args_t c;
    c.stream = sel;
    c.recommend = {bl_sel};
    vdw_core_ok(status(), cmd_chstream(&c), VDW_LIB_SET_STREAM_PROPS_FAILED, sel.c_str());
}

void VDW_EnumerateBaselinesRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel, comp_sel, found_sel, latest_sel, rec_sel, level;
    bool has_comp = false, has_found = false, has_latest = false, has_rec = false;
    int which = 0;
    if (!a.text("StreamSelector", &sel) || !a.opt_text("ComponentSelector", &comp_sel, &has_comp) ||
        !a.opt_text("FoundationBaselineSelector", &found_sel, &has_found) ||
        !a.opt_text("LatestBaselineSelector", &latest_sel, &has_latest) ||
        !a.opt_text("RecommendedBaselineSelector", &rec_sel, &has_rec) ||
        !a.text("PromotionLevel", &level) || !a.integer("WhichBaselines", &which))
        return;
    SUM_Stream s;
    SUM_Component only;
    if (!find_stream(sel, &s, status())) return;
    if (has_comp && !comp_sel.empty() &&
        !vdw_core_ok(status(), SUM_Component::construct_from_selector(comp_sel.c_str(), &only),
                     VDW_LIB_GET_STREAM_COMPONENTS_FAILED, comp_sel.c_str()))
        return;
    // Which lists: 1 foundation, 2 recommended, 4 latest; 0 every baseline made in the stream.
    std::vector<SUM_Baseline> all, part;
    tbs_status_t st = TBS_ST_OK;
    if (which == 0) st = s.baselines(&all);
    if (st == TBS_ST_OK && (which & 1) && (st = s.foundation_baselines(&part)) == TBS_ST_OK)
        all.insert(all.end(), part.begin(), part.end());
    if (st == TBS_ST_OK && (which & 2) && (st = s.recommended_baselines(&part)) == TBS_ST_OK)
        all.insert(all.end(), part.begin(), part.end());
    if (st == TBS_ST_OK && (which & 4) && (st = s.latest_baselines(&part)) == TBS_ST_OK)
        all.insert(all.end(), part.begin(), part.end());
    if (!vdw_core_ok(status(), st, VDW_LIB_GET_STREAM_BASELINES_FAILED, sel.c_str())) return;
    std::vector<vob_dbid_t> sent;
    for (const SUM_Baseline& b : all) {
        if (std::find(sent.begin(), sent.end(), b.dbid()) != sent.end()) continue;
        SUM_Component c;
        SUM_String at;
        b.component(&c);
        b.promotion_level(&at);
        if (!only.is_null() && c.dbid() != only.dbid()) continue;
        if (!level.empty() && level != at.c_str()) continue;
        sent.push_back(b.dbid());
        if (!send_baseline(*this, b)) return;
    }
}

void VDW_GetBaselineNamingTemplateRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string sel;
    if (!a.text("StreamSelector", &sel)) return;
    SUM_Stream s;
    SUM_Project project;
    SUM_String tokens;
    if (!find_stream(sel, &s, status())) return;
    tbs_status_t st = s.project(&project);
    if (st == TBS_ST_OK) st = project.baseline_naming_template(&tokens);
    if (!vdw_core_ok(status(), st, VDW_LIB_GET_STREAM_PROPS_FAILED, sel.c_str())) return;
    const std::string text = tokens.c_str();
    const bool has_basename = text.find("basename") != std::string::npos;
    for (const std::string& token : selector_list(text.empty() ? "basename" : text)) {
        VDW_MultipartData p("BaselineName", nullptr, nullptr, nullptr, 0);
        p.add_part_item("BaseName", token.c_str());
        p.add_part_item("ContainsBasename", has_basename);
        p.add_part_item("IsBasename", token == "basename");
        p.add_part_item("BasenameToken", "basename");
        if (add_part(p, false)) return;
    }
}

void VDW_GetPromotionLevelsRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid;
    if (!a.text("VobUuid", &uuid)) return;
    tbs_uuid_t u;
    vob_t* vob = nullptr;
    tbs_status_t st = tbs_uuid_from_str(uuid.c_str(), &u);
    if (st == TBS_ST_OK) st = vob_open_by_uuid(u, &vob);
    if (!vdw_core_ok(status(), st, VDW_LIB_FIND_VOB_BY_UUID_FAILED, uuid.c_str())) return;
    // Every project VOB has the same levels, in this order.
    for (int i = 0; i < XCM_PROMOTION_LEVEL_COUNT; ++i) {
        VDW_MultipartData p("PromotionLevel", nullptr, nullptr, nullptr, 0);
        p.add_part_item("PromotionLevel", XCM_PROMOTION_LEVELS[i]);
        p.add_part_item("PromotionLevelIndex", i);
        p.add_part_item("PromotionLevelIsDefault", i == XCM_PROMOTION_DEFAULT);
        if (add_part(p, false)) return;
    }
}

// ---- the older RPC -----------------------------------------------------------------------

void VDW_Vdcore::streams_of_project_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                        WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "streams_of_project_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    VDW_RpcArgs a(args, status);
    std::string sel;
    if (!a.text("Project", &sel)) return;
    SUM_Project project;
    std::vector<SUM_Stream> streams;
    tbs_status_t st = SUM_Project::construct_from_selector(sel.c_str(), &project);
    if (st == TBS_ST_OK) st = project.streams(&streams);
    if (!vdw_core_ok(status, st, VDW_LIB_FIND_PROJECT_FAILED, sel.c_str())) return;
    for (const SUM_Stream& s : streams) {
        bool integration = false;
        s.is_integration(&integration);
        VDW_MultipartData p("Stream", nullptr, nullptr, nullptr, 0);
        p.add_part_item("Name", vdw_xcm_name(s).c_str());
        p.add_part_item("Selector", vdw_xcm_selector(s).c_str());
        p.add_part_item("ReplicaUuid", vdw_xcm_replica(s).c_str());
        p.add_part_item("Dbid", static_cast<long long>(s.dbid()));
        p.add_part_item("IsIntegration", integration);
        if (response.add_part(p, false)) return;
    }
}
