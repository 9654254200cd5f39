// Deliver and rebase over the web: the eight older methods of the facade that start,
// resume, complete and cancel them, streaming their progress as typed parts, and the
// prepare and reset RPCs a client asks first (VDW_PrepareDeliverRpc, VDW_PrepareRebaseRpc,
// VDW_DeliverResetRpc). The operations are the core's (core/sum/sum_integration.h): kept in
// the project VOB, so that any later request takes up what an earlier one began.
#include "ops/xcm/vdw_integration_rpcs.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/sum/sum_integration.h"
#include "core/sum/sum_view.h"
#include "core/sum/sum_vob.h"
#include "core/sum/sum_xcm.h"
#include "core/view/view.h"
#include "core/vob/xcm.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "facade/vdw_xcm_util.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"
#include "request/vdw_rpc_response.h"

namespace {

// What every callback of one operation writes to.
struct IntegrationCBData {
    VDW_RpcResponse* out;
    bool deliver;
};

const char* prefixed(const IntegrationCBData& d, const char* what, std::string* buf) {
    *buf = std::string(d.deliver ? "DELIVER_" : "REBASE_") + what;
    return buf->c_str();
}

int send_text(IntegrationCBData& d, const char* part, const char* text,
              void (*items)(VDW_MultipartData&, const void*) = nullptr, const void* arg = nullptr) {
    const std::string body = text ? text : "";
    VDW_MultipartData p(part, VDW_MultipartData::MIME_TEXT, nullptr, body.data(),
                        static_cast<long long>(body.size()));
    if (items) items(p, arg);
    return d.out->add_part(p, true) ? 1 : 0;
}

int deliver_progress_cb(void* data, int phase, int64_t total, int64_t current, const char* text) {
    static const char* const kPhases[] = {
        "DELIVER_PREPARING_COMPONENTS", "DELIVER_PREPARING_BASELINES",
        "DELIVER_PREPARING_CHANGESETS", "DELIVER_EVALUATING_BASELINES",
        "DELIVER_COMPARING_CHANGESETS", "DELIVER_SEARCHING_ACTIVITIES",
        "DELIVER_TN_ACTS_CHECK"};
    const char* name = phase >= CMD_INTEG_PH_COMPONENTS && phase <= CMD_INTEG_PH_TN_CHECK
                           ? kPhases[phase - CMD_INTEG_PH_COMPONENTS]
                           : "<Unknown Identifier>";
    const int64_t counts[2] = {total, current};
    return send_text(
        *static_cast<IntegrationCBData*>(data), name, text,
        [](VDW_MultipartData& p, const void* arg) {
            const int64_t* c = static_cast<const int64_t*>(arg);
            p.add_part_item("Total", static_cast<long long>(c[0]));
            p.add_part_item("Current", static_cast<long long>(c[1]));
        },
        counts);
}

int action_cb(void* data, const char* text) {
    auto& d = *static_cast<IntegrationCBData*>(data);
    std::string name;
    return send_text(d, prefixed(d, "ACTION_NOTIFICATION", &name), text);
}

int verctl_cb(void* data, int when, const char* action, const char* pname, const char* status) {
    auto& d = *static_cast<IntegrationCBData*>(data);
    std::string name;
    const char* what = when == CMD_VERCTL_PRE    ? "VERCTL_PRE_NOTIFICATION"
                       : when == CMD_VERCTL_POST ? "VERCTL_POST_NOTIFICATION"
                                                 : "VERCTL_STATUS";
    const char* texts[3] = {action ? action : "", pname ? pname : "", status ? status : ""};
    return send_text(
        d, prefixed(d, what, &name), texts[1],
        [](VDW_MultipartData& p, const void* arg) {
            const char* const* t = static_cast<const char* const*>(arg);
            p.add_part_item("Action", t[0]);
            p.add_part_item("CheckoutStatus", t[2]);
        },
        texts);
}

const char* merge_type_name(int type) {
    switch (type) {
        case VOB_MERGE_USER:
            return "User";
        case VOB_MERGE_NEVER:
            return "Never";
        case VOB_MERGE_COPY:
            return "Copy";
        default:
            return "Auto";
    }
}

int merge_cb(void* data, const cmd_integ_merge_t& m) {
    auto& d = *static_cast<IntegrationCBData*>(data);
    std::string name;
    auto idstr = [&](vob_dbid_t v) {
        std::string s;
        return v && vob_ver_get_idstr(m.vob, v, &s) == TBS_ST_OK ? std::string(m.pname) + "@@" + s
                                                                 : std::string();
    };
    vob_obj_info_t element;
    SUM_Vob sv;
    SUM_Uuid replica;
    vob_obj_get_info(m.vob, m.element, &element);
    if (SUM_Vob::construct_from_handle(m.vob, &sv) == TBS_ST_OK) sv.replica_uuid(&replica);
    VDW_MultipartData p(prefixed(d, "MERGE_NOTIFICATION", &name), VDW_MultipartData::MIME_TEXT,
                        nullptr, m.pname, static_cast<long long>(strlen(m.pname)));
    p.add_part_item("Status", static_cast<long>(m.status));
    p.add_part_item("ReplicaOid", replica);
    p.add_part_item("ElementOid", tbs_uuid_text(element.oid).c_str());
    p.add_part_item("Mtype", m.mtype);
    p.add_part_item("FromVersion", idstr(m.from).c_str());
    p.add_part_item("ToVersion", idstr(m.to).c_str());
    p.add_part_item("BaseVersion", idstr(m.base).c_str());
    p.add_part_item("MergeType", m.trivial ? "Trivial" : "NonTrivial");
    p.add_part_item("ElementMergeType", merge_type_name(m.merge_type));
    return d.out->add_part(p, true) ? 1 : 0;
}

int sorted_list_cb(void* data, const xcm_op_item_t& item, const char* state) {
    auto& d = *static_cast<IntegrationCBData*>(data);
    VDW_MultipartData p(state && *state ? state : "NO_MERGE", VDW_MultipartData::MIME_TEXT, nullptr,
                        item.pname.data(), static_cast<long long>(item.pname.size()));
    vob_t* vob = nullptr;
    vob_obj_info_t element;
    if (vob_open_by_uuid(item.vob_uuid, &vob) == TBS_ST_OK)
        vob_obj_get_info(vob, item.element, &element);
    p.add_part_item("ReplicaOid", tbs_uuid_text(item.vob_uuid).c_str());
    p.add_part_item("ElementOid", tbs_uuid_text(element.oid).c_str());
    p.add_part_item("ElementVisible", true);
    return d.out->add_part(p, true) ? 1 : 0;
}

int rebase_view_update_cb(void* data, const char* text) {
    return send_text(*static_cast<IntegrationCBData*>(data), "REBASE_VIEW_UPDATE", text);
}
int rebase_view_reload_cb(void* data, bool needed) {
    return send_text(
        *static_cast<IntegrationCBData*>(data), "REBASE_VIEW_RELOAD", "",
        [](VDW_MultipartData& p, const void* arg) {
            p.add_part_item("Status",
                            *static_cast<const bool*>(arg) ? "RELOAD_NEEDED" : "RELOAD_NOT_NEEDED");
        },
        &needed);
}
int rebase_comp_cb(void* data, const char* name) {
    return send_text(*static_cast<IntegrationCBData*>(data), "REBASE_COMPONENT_SCAN", name);
}
int rebase_start_cfg_change_cb(void* data, const char* text) {
    return send_text(*static_cast<IntegrationCBData*>(data), "REBASE_CONFIG_CHANGE", text);
}
int rebase_start_check_csets_cb(void* data, const char* text) {
    return send_text(*static_cast<IntegrationCBData*>(data), "REBASE_CHANGESET_SCAN", text);
}

void set_deliver_callbacks(SUM_Deliver& op, IntegrationCBData& data) {
    op.set_callback_data(&data);
    op.set_progress_cb(deliver_progress_cb);
    op.set_sorted_list_cb(sorted_list_cb);
    op.set_action_cb(action_cb);
    op.set_verctl_cb(verctl_cb);
    op.set_merge_cb(merge_cb);
    op.set_merge_options(0, 0, 12, 0);
}

void set_rebase_callbacks(SUM_Rebase& op, IntegrationCBData& data) {
    op.set_callback_data(&data);
    op.set_view_update_cb(rebase_view_update_cb);
    op.set_view_reload_cb(rebase_view_reload_cb);
    op.set_action_cb(action_cb);
    op.set_component_cb(rebase_comp_cb);
    op.set_sorted_list_cb(sorted_list_cb);
    op.set_verctl_cb(verctl_cb);
    op.set_merge_cb(merge_cb);
    op.set_merge_options(0, 0, 12, 0);
}

// The part that ends every operation RPC: what state the operation is in now.
void send_state(VDW_RpcResponse& out, const SUM_Integration& op, bool deliver) {
    SUM_String state;
    if (op.op_state_string(&state) != TBS_ST_OK) state = SUM_String("none");
    VDW_MultipartData p(deliver ? "DELIVER_SERVER_STATE" : "REBASE_SERVER_STATE",
                        VDW_MultipartData::MIME_TEXT, nullptr, state.c_str(),
                        static_cast<long long>(strlen(state.c_str())));
    out.add_part(p, true);
}

bool view_from_uuid(const std::string& uuid, SUM_View* view) {
    tbs_uuid_t u;
    return tbs_uuid_from_str(uuid.c_str(), &u) == TBS_ST_OK &&
           SUM_View::construct_from_uuid(u, view) == TBS_ST_OK;
}

std::string stream_name(const SUM_Stream& s) {
    return vdw_xcm_name(s);
}

// The arguments of deliver resume, complete and cancel.
struct DeliverRef {
    SUM_View view;
    SUM_Stream stream;
    bool reset = false;
};

bool read_deliver_ref(const char* args, DeliverRef* ref, WCM_Status& status) {
    VDW_RpcArgs a(args, status);
    std::string uuid, dev, dev_uuid, reset;
    bool has_dev = false, has_dev_view = false, has_reset = false;
    if (!a.text("ViewUuid", &uuid) || !a.opt_text("DevStream", &dev, &has_dev) ||
        !a.opt_text("DevViewUuid", &dev_uuid, &has_dev_view) ||
        !a.opt_text("DeliverReset", &reset, &has_reset))
        return false;
    ref->reset = has_reset && VDW_ReqArgsParser::decode_bool(reset.c_str());
    if (!view_from_uuid(uuid, &ref->view)) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_TARGET_VIEW_FROM_UUID_FAILED, uuid.c_str());
        return false;
    }
    // The development stream: named, or that of the development view.
    tbs_status_t st = TBS_ST_NOT_FOUND;
    if (has_dev && !dev.empty()) {
        st = SUM_Stream::construct_from_selector(dev.c_str(), &ref->stream);
    } else if (has_dev_view && !dev_uuid.empty()) {
        SUM_View dv;
        if (view_from_uuid(dev_uuid, &dv)) st = SUM_view_stream(dv, &ref->stream);
    }
    return vdw_core_ok(status, st, VDW_LIB_STREAM_FROM_SELECTOR_FAILED, dev.c_str());
}

}  // namespace

// ---- deliver -------------------------------------------------------------------------------

void VDW_Vdcore::deliver_start_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                   WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "deliver_start_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    VDW_RpcArgs a(args, status);
    std::string uuid, dev, dev_uuid, count_text, target_sel;
    bool has_view = false, has_dev = false, has_dev_view = false;
    if (!a.opt_text("ViewUuid", &uuid, &has_view) || !a.opt_text("DevStream", &dev, &has_dev) ||
        !a.opt_text("DevViewUuid", &dev_uuid, &has_dev_view))
        return;
    int count = 0;
    if (!a.integer("ActivityCount", &count) || count < 0 || count > 100000) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_COUNT_DELIVER_ACTIVITIES_FAILED);
        return;
    }
    std::vector<std::string> activities(static_cast<size_t>(count)), baselines;
    for (std::string& act : activities)
        if (!a.text("Activity", &act)) return;
    int bl_count = 0;
    bool has_bl = false;
    std::string bl_text;
    if (!a.opt_text("BaselineCount", &bl_text, &has_bl)) return;
    if (has_bl) {
        bl_count = atoi(bl_text.c_str());
        if (bl_count < 0 || bl_count > 100000)
            return (void)VDW_RpcArgs::bad_count(status, "BaselineCount", bl_count);
        baselines.resize(static_cast<size_t>(bl_count));
        for (std::string& bl : baselines)
            if (!a.text("Baseline", &bl)) return;
    }
    bool has_target = false;
    if (!a.opt_text("IntStream", &target_sel, &has_target)) return;

    // The development stream, the integration view and the target stream.
    SUM_Stream source, target;
    SUM_View dev_view, view;
    if (has_dev_view && !dev_uuid.empty() && !view_from_uuid(dev_uuid, &dev_view)) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_SOURCE_VIEW_FROM_UUID_FAILED,
                      dev_uuid.c_str());
        return;
    }
    if (has_view && !uuid.empty() && !view_from_uuid(uuid, &view)) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_TARGET_VIEW_FROM_UUID_FAILED, uuid.c_str());
        return;
    }
    tbs_status_t st = has_dev && !dev.empty()
                          ? SUM_Stream::construct_from_selector(dev.c_str(), &source)
                          : SUM_view_stream(dev_view, &source);
    if (!vdw_core_ok(status, st, VDW_LIB_STREAM_FROM_SELECTOR_FAILED, dev.c_str())) return;
    if (has_target && !target_sel.empty() &&
        !vdw_core_ok(status, SUM_Stream::construct_from_selector(target_sel.c_str(), &target),
                     VDW_LIB_STREAM_FROM_SELECTOR_FAILED, target_sel.c_str()))
        return;
    SUM_Deliver d;
    st = target.is_null() ? SUM_Deliver::start(source, &d) : SUM_Deliver::start(source, target, &d);
    if (trace.shouldTrace(2))
        trace.writeTrace("Starting a deliver to target stream %s.",
                         stream_name(d.target()).c_str());
    if (!vdw_core_ok(status, st, VDW_LIB_DELIVER_FAILED, stream_name(source).c_str())) return;
    if (!baselines.empty()) {
        std::vector<SUM_Baseline> bls(baselines.size());
        for (size_t i = 0; i < baselines.size(); ++i)
            if (SUM_Baseline::construct_from_selector(baselines[i].c_str(), &bls[i]) != TBS_ST_OK) {
                status.set_status(TBS_ST_ERR);
                status.format(&_vdw_lib_lib_msg_table, VDW_LIB_INVALID_ACTIVITY,
                              baselines[i].c_str());
                return;
            }
        st = d.prepare(bls);
    } else {
        st = d.prepare();
    }
    if (st == TBS_ST_NO_WORK) {
        VDW_MultipartData p("DELIVER_SERVER_STATE", VDW_MultipartData::MIME_TEXT, nullptr,
                            "no_work_todo", 12);
        response.add_part(p, true);
        return;
    }
    if (!vdw_core_ok(status, st, VDW_LIB_DELIVER_FAILED, stream_name(source).c_str())) return;
    if (!view.is_null() &&
        !vdw_core_ok(status, d.prepare_view(view), VDW_LIB_PREPARE_INTEGRATION_VIEW_FAILED,
                     stream_name(d.target()).c_str()))
        return;
    if (!activities.empty()) {
        std::vector<SUM_Activity> acts;
        if (SUM_Deliver::get_selected_activities(activities, &acts) != TBS_ST_OK) {
            status.set_status(TBS_ST_ERR);
            status.format(&_vdw_lib_lib_msg_table, VDW_LIB_INVALID_ACTIVITY, activities[0].c_str());
            return;
        }
        if (!vdw_core_ok(status, d.prepare_acts(acts), VDW_LIB_DELIVER_FAILED,
                         stream_name(source).c_str()))
            return;
    }
    int op_status = 0;
    st = d.check_acts_wcos_policy(&op_status);
    if (st == TBS_ST_HAS_CHKOUTS && trace.shouldTrace(2))
        trace.writeTrace("Status is TBS_ST_HAS_CHKOUTS, op_status = %d", op_status);
    if (!vdw_core_ok(status, st, VDW_LIB_DELIVER_FAILED, stream_name(source).c_str())) return;
    IntegrationCBData data{&response, true};
    d.set_version_control(true);
    set_deliver_callbacks(d, data);
    st = d.do_deliver();
    vdw_core_ok(status, st, VDW_LIB_DELIVER_FAILED, stream_name(d.target()).c_str());
    send_state(response, d, true);
}

namespace {

// Resume, complete or cancel of the deliver in progress.
enum class DeliverStep { RESUME, COMPLETE, CANCEL };

void deliver_step(VDW_Vdcore* facade, const char* args, std::ostream& out, WCM_MemPool& pool,
                  WCM_Status& status, DeliverStep step) {
    VDW_RpcResponse response(pool, status, out, facade);
    DeliverRef ref;
    if (!read_deliver_ref(args, &ref, status)) return;
    const std::string name = stream_name(ref.stream);
    if (step == DeliverStep::CANCEL && ref.reset &&
        SUM_Deliver::reset_deliver_view(ref.stream, ref.view, 0) != TBS_ST_OK &&
        !vdw_core_ok(status, SUM_Deliver::reset_deliver_view(ref.stream, ref.view, 1),
                     VDW_LIB_RESET_DELIVER_FAILED, name.c_str()))
        return;
    SUM_Deliver d;
    if (!vdw_core_ok(status,
                     SUM_Deliver::restart(ref.stream, step == DeliverStep::CANCEL ? 1 : 0, &d),
                     VDW_LIB_RESTART_DELIVER_FAILED, name.c_str()))
        return;
    if (step == DeliverStep::RESUME) {
        SUM_View target_view;
        if (d.op_target_view(&target_view) == TBS_ST_OK && !target_view.is_null()) {
            SUM_String tag;
            target_view.tag(&tag);
            if (!vdw_core_ok(status, d.prepare_view(target_view),
                             VDW_LIB_PREPARE_INTEGRATION_VIEW_FAILED, tag.c_str()))
                return;
        }
    }
    IntegrationCBData data{&response, true};
    d.set_version_control(true);
    set_deliver_callbacks(d, data);
    tbs_status_t st;
    vdw_lib_msg_t msg;
    switch (step) {
        case DeliverStep::RESUME:
            st = d.do_deliver();
            msg = VDW_LIB_RESUME_DELIVER_FAILED;
            break;
        case DeliverStep::COMPLETE:
            st = d.complete();
            msg = VDW_LIB_COMPLETE_DELIVER_FAILED;
            break;
        default:
            st = d.cancel();
            msg = VDW_LIB_CANCEL_DELIVER_FAILED;
    }
    if (!vdw_core_ok(status, st, msg, name.c_str())) return;
    send_state(response, d, true);
}

}  // namespace

void VDW_Vdcore::deliver_resume_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                    WCM_Status& status) {
    deliver_step(this, args, out, pool, status, DeliverStep::RESUME);
}
void VDW_Vdcore::deliver_complete_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                      WCM_Status& status) {
    deliver_step(this, args, out, pool, status, DeliverStep::COMPLETE);
}
void VDW_Vdcore::deliver_cancel_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                    WCM_Status& status) {
    deliver_step(this, args, out, pool, status, DeliverStep::CANCEL);
}

// ---- rebase --------------------------------------------------------------------------------

namespace {

enum class RebaseStep { START, RESUME, COMPLETE, CANCEL };

void rebase_step(VDW_Vdcore* facade, const char* args, std::ostream& out, WCM_MemPool& pool,
                 WCM_Status& status, RebaseStep step) {
    VDW_RpcResponse response(pool, status, out, facade);
    VDW_RpcArgs a(args, status);
    std::string uuid;
    if (!a.text("ViewUuid", &uuid)) return;
    SUM_View view;
    if (!view_from_uuid(uuid, &view)) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_TARGET_VIEW_FROM_UUID_FAILED, uuid.c_str());
        return;
    }
    SUM_Stream stream;
    SUM_view_stream(view, &stream);
    const std::string name = stream_name(stream);
    IntegrationCBData data{&response, false};
    SUM_Rebase r;
    tbs_status_t st;
    if (step == RebaseStep::START) {
        int count = 0;
        if (!a.integer("BaselineCount", &count)) return;
        if (count < 0 || count > 100000)
            return (void)VDW_RpcArgs::bad_count(status, "BaselineCount", count);
        std::vector<SUM_Baseline> bls(static_cast<size_t>(count));
        for (SUM_Baseline& b : bls) {
            std::string sel;
            if (!a.text("Baseline", &sel)) return;
            if (!vdw_core_ok(status, SUM_Baseline::construct_from_selector(sel.c_str(), &b),
                             VDW_LIB_FIND_BASELINE_FAILED, sel.c_str()))
                return;
        }
        st = SUM_Rebase::rebase_prepare(view, bls, rebase_start_cfg_change_cb,
                                        rebase_start_check_csets_cb, &data, &r);
        if (!vdw_core_ok(status, st, VDW_LIB_PREPARE_REBASE_FAILED, name.c_str())) {
            send_state(response, r, false);
            return;
        }
    } else {
        st = SUM_Rebase::restart(view, step == RebaseStep::CANCEL ? 1 : 0, &r);
        if (!vdw_core_ok(status, st, VDW_LIB_RESTART_REBASE_FAILED, name.c_str())) return;
    }
    r.set_version_control(true);
    set_rebase_callbacks(r, data);
    vdw_lib_msg_t msg = VDW_LIB_START_REBASE_FAILED;
    switch (step) {
        case RebaseStep::START:
            st = r.do_rebase();
            break;
        case RebaseStep::RESUME:
            st = r.do_rebase();
            msg = VDW_LIB_RESUME_REBASE_FAILED;
            break;
        case RebaseStep::COMPLETE:
            st = r.complete();
            msg = VDW_LIB_COMPLETE_REBASE_FAILED;
            break;
        default:
            st = r.cancel();
            msg = VDW_LIB_CANCEL_REBASE_FAILED;
    }
    vdw_core_ok(status, st, msg, name.c_str());
    send_state(response, r, false);
    SUM_Activity act;
    if (r.integration_activity(&act) == TBS_ST_OK && !act.is_null()) {
        xcm_activity_info_t info;
        act.info(&info);
        VDW_MultipartData p("IntegrationActivity", nullptr, nullptr, nullptr, 0);
        p.add_part_item("ReplicaUuid", vdw_xcm_replica(act).c_str());
        p.add_part_item("Dbid", static_cast<long long>(act.dbid()));
        p.add_part_item("ID", info.name.c_str());
        p.add_part_item("Headline", info.headline.c_str());
        response.add_part(p, true);
    }
}

}  // namespace

void VDW_Vdcore::rebase_start_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                  WCM_Status& status) {
    rebase_step(this, args, out, pool, status, RebaseStep::START);
}
void VDW_Vdcore::rebase_resume_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                   WCM_Status& status) {
    rebase_step(this, args, out, pool, status, RebaseStep::RESUME);
}
void VDW_Vdcore::rebase_complete_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                     WCM_Status& status) {
    rebase_step(this, args, out, pool, status, RebaseStep::COMPLETE);
}
void VDW_Vdcore::rebase_cancel_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                   WCM_Status& status) {
    rebase_step(this, args, out, pool, status, RebaseStep::CANCEL);
}

// ---- prepare and reset ---------------------------------------------------------------------

void VDW_PrepareDeliverRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, target_sel;
    if (!a.text("ViewUuid", &uuid) || !a.text("TargetStream", &target_sel)) return;
    SUM_View view;
    SUM_Stream stream, target;
    if (!view_from_uuid(uuid, &view)) {
        status().set_status(TBS_ST_ERR);
        status().format(&_vdw_lib_lib_msg_table, VDW_LIB_SOURCE_VIEW_FROM_UUID_FAILED,
                        uuid.c_str());
        return;
    }
    if (!vdw_core_ok(status(), SUM_view_stream(view, &stream), VDW_LIB_GET_VIEW_STREAM_FAILED,
                     uuid.c_str()))
        return;
    tbs_status_t st = target_sel.empty()
                          ? stream.deliver_stream(&target)
                          : SUM_Stream::construct_from_selector(target_sel.c_str(), &target);
    if (!vdw_core_ok(status(), st, VDW_LIB_STREAM_FROM_SELECTOR_FAILED, target_sel.c_str())) return;
    bool in_progress = false, integration = false;
    xcm_op_t op;
    stream.deliver_in_progress(&in_progress, &op);
    stream.is_integration(&integration);
    SUM_Project project;
    stream.project(&project);
    int policies = 0;
    project.policies(&policies);
    std::string dip_view;
    if (in_progress) cmd_utl_get_view_tag(op.view_uuid, &dip_view);
    VDW_MultipartData pre("PreDeliverInfo", nullptr, nullptr, nullptr, 0);
    pre.add_part_item("DeliverInProgress", in_progress);
    pre.add_part_item("PostedDeliverInProgress", false);
    pre.add_part_item("DipView", dip_view.c_str());
    pre.add_part_item("Uuid", in_progress ? tbs_uuid_text(op.view_uuid).c_str() : "");
    pre.add_part_item("isStreamAnIntStream", integration);
    pre.add_part_item("ReplicaUuid", vdw_xcm_replica(stream).c_str());
    pre.add_part_item("StreamDbid", static_cast<long long>(stream.dbid()));
    pre.add_part_item("StreamName", vdw_xcm_name(stream).c_str());
    pre.add_part_item("StreamSelector", vdw_xcm_selector(stream).c_str());
    pre.add_part_item("Posted", false);
    pre.add_part_item("PolicyDeliverNcoDevstr", (policies & XCM_POLICY_DELIVER_NCO_DEVSTR) != 0);
    pre.add_part_item("PolicyDeliverNcoSelact", (policies & XCM_POLICY_DELIVER_NCO_SELACT) != 0);
    if (add_part(pre, false)) return;
    SUM_String pvob_tag;
    stream.pvob().tag(&pvob_tag);
    SUM_Uuid pvob_uuid;
    stream.pvob().replica_uuid(&pvob_uuid);
    VDW_MultipartData pv("PVobInfo", nullptr, nullptr, nullptr, 0);
    pv.add_part_item("Pvob", pvob_tag);
    pv.add_part_item("ReplicaUuid", pvob_uuid);
    if (add_part(pv, false)) return;
    xcm_project_info_t pinfo;
    project.info(&pinfo);
    bool single = false;
    project.is_single_stream(&single);
    VDW_MultipartData pr("ProjectInfo", nullptr, nullptr, nullptr, 0);
    pr.add_part_item("Project", pinfo.name.c_str());
    pr.add_part_item("IsObsolete", pinfo.obsolete);
    pr.add_part_item("isProjectSingleStream", single);
    pr.add_part_item("CreatedOn", static_cast<long long>(pinfo.created));
    pr.add_part_item("ProjectDbid", static_cast<long long>(project.dbid()));
    pr.add_part_item("Description", vdw_xcm_description(project).c_str());
    if (add_part(pr, false)) return;
    VDW_MultipartData t("TargetStreamInfo", nullptr, nullptr, nullptr, 0);
    t.add_part_item("ReplicaUuid", vdw_xcm_replica(target).c_str());
    t.add_part_item("StreamDbid", static_cast<long long>(target.dbid()));
    t.add_part_item("StreamName", vdw_xcm_name(target).c_str());
    t.add_part_item("StreamSelector", vdw_xcm_selector(target).c_str());
    add_part(t, false);
}

void VDW_PrepareRebaseRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid;
    if (!a.text("ViewUuid", &uuid)) return;
    SUM_View view;
    SUM_Stream stream, parent;
    if (!view_from_uuid(uuid, &view)) {
        status().set_status(TBS_ST_ERR);
        status().format(&_vdw_lib_lib_msg_table, VDW_LIB_TARGET_VIEW_FROM_UUID_FAILED,
                        uuid.c_str());
        return;
    }
    if (!vdw_core_ok(status(), SUM_view_stream(view, &stream), VDW_LIB_GET_VIEW_STREAM_FAILED,
                     uuid.c_str()))
        return;
    bool in_progress = false;
    xcm_op_t op;
    stream.rebase_in_progress(&in_progress, &op);
    stream.deliver_stream(&parent);
    SUM_Project project;
    stream.project(&project);
    int policies = 0;
    project.policies(&policies);
    VDW_MultipartData p(VDW_MultipartData::RPC_RESULT_PART, nullptr, nullptr, nullptr, 0);
    p.add_part_item("RebaseInProgress", in_progress);
    if (in_progress) {
        std::string tag, root;
        cmd_utl_get_view_tag(op.view_uuid, &tag);
        view_t* v = nullptr;
        if (view_open_by_uuid(op.view_uuid, &v) == TBS_ST_OK)
            view_get_prop(v, "copy_area_root", &root);
        p.add_part_item("RipViewTag", tag.c_str());
        p.add_part_item("RipViewUuid", tbs_uuid_text(op.view_uuid).c_str());
        p.add_part_item("RipCopyAreaRoot", root.c_str());
    }
    p.add_part_item("ReplicaUuid", vdw_xcm_replica(stream).c_str());
    p.add_part_item("SourceStream", vdw_xcm_name(parent).c_str());
    p.add_part_item("SrcStreamDbid", static_cast<long long>(parent.dbid()));
    p.add_part_item("SrcStreamSelector", vdw_xcm_selector(parent).c_str());
    p.add_part_item("TargetStream", vdw_xcm_name(stream).c_str());
    p.add_part_item("ValidConfig", true);
    p.add_part_item("PolicyRebaseWithCo", (policies & XCM_POLICY_REBASE_CO) != 0);
    add_part(p, false);
}

void VDW_DeliverResetRpc::send_response_body() {
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, dev_uuid;
    if (!a.text("ViewUuid", &uuid) || !a.text("DevViewUuid", &dev_uuid)) return;
    SUM_View view, dev_view;
    SUM_Stream stream;
    if (!view_from_uuid(uuid, &view) || !view_from_uuid(dev_uuid, &dev_view)) {
        status().set_status(TBS_ST_ERR);
        status().format(&_vdw_lib_lib_msg_table, VDW_LIB_TARGET_VIEW_FROM_UUID_FAILED,
                        uuid.c_str());
        return;
    }
    if (!vdw_core_ok(status(), SUM_view_stream(dev_view, &stream), VDW_LIB_GET_VIEW_STREAM_FAILED,
                     dev_uuid.c_str()))
        return;
    // The deliver of the development view's stream goes on in `view` from here.
    vdw_core_ok(status(), SUM_Deliver::reset_deliver_view(stream, view, 1),
                VDW_LIB_RESET_DELIVER_FAILED, vdw_xcm_name(stream).c_str());
}
