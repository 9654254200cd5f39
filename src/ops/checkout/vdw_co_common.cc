// Shared pieces of the checkout family.
#include "ops/checkout/vdw_co_common.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/checkout/vdw_co_act.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_rpc_response.h"

bool vdw_open_work_view(VDW_Vdcore& core, const std::string& uuid, VDW_WorkView* out,
                        WCM_Status& status) {
    core.open_view(uuid.c_str(), &out->view, status);
    if (!status.is_ok()) return false;
    out->root = out->view->root;
    out->tag = out->view->tag;
    if (out->tag.empty()) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_VIEW_TAG_NOT_FOUND, uuid.c_str());
        return false;
    }
    return true;
}

bool vdw_read_series(VDW_RpcArgs& args, VDW_Series* series) {
    if (!args.text("SeriesId", &series->id) || !args.boolean("SeriesIsFirst", &series->first) ||
        !args.boolean("SeriesIsLast", &series->last))
        return false;
    if (series->id.size() > 50) series->id.resize(50);
    return true;
}

void vdw_trace_series(const char* cls, const VDW_Series& series, const std::string& item) {
    VDW_Trace trace(QLMX_COMPONENT, cls, "series");
    if (trace.shouldTrace(2))
        trace.writeTrace("series \"%s\" first %d last %d: %s", series.id.c_str(), series.first,
                         series.last, item.c_str());
}

bool vdw_check_no_activity(const std::string& activity, WCM_Status& status) {
    return activity.empty() || VDW_RpcArgs::not_supported(status, "Activity", activity);
}

bool vdw_resolve_item(VDW_Vdcore& core, view_t* view, const std::string& scope, std::string* pname,
                      vob_resolved_t* out, WCM_Status& status) {
    *pname = VDW_Vdcore::to_vob_pname(view, scope.c_str());
    core.resolve_vob_obj(view, scope.c_str(), 0, out, status);
    return status.is_ok();
}

bool vdw_view_checkout(vob_t* vob, vob_dbid_t element, view_t* view, vob_checkout_info_t* out) {
    std::vector<vob_checkout_info_t> cos;
    if (vob_ob_next_ckouts(vob, element, &cos) != TBS_ST_OK) return false;
    for (const vob_checkout_info_t& c : cos) {
        if (memcmp(c.view_uuid.bytes, view->uuid.bytes, sizeof c.view_uuid.bytes) == 0) {
            *out = c;
            return true;
        }
    }
    return false;
}

bool vdw_merge_input(VDW_Vdcore& core, vob_t* vob, const vob_checkout_info_t& co,
                     VDW_MergeInput* out) {
    vob_dbid_t latest = 0;
    if (!core.needs_latest_merge(vob, co, &latest)) return false;
    WCM_Status ignored;
    core.get_obj_name(vob, co.pred_version, &out->base, ignored);
    core.get_obj_name(vob, latest, &out->from, ignored);
    vob_version_info_t info;
    if (vob_ver_get_info(vob, latest, &info) == TBS_ST_OK) out->creator = info.creator;
    vob_type_info_t eltype;
    out->merge_type = VDW_MultipartData::ELEM_MERGETYPE_AUTO;
    if (vob_elem_get_type(vob, co.element, &eltype) == TBS_ST_OK) {
        if (eltype.merge_type == VOB_MERGE_USER)
            out->merge_type = VDW_MultipartData::ELEM_MERGETYPE_USER;
        if (eltype.merge_type == VOB_MERGE_NEVER)
            out->merge_type = VDW_MultipartData::ELEM_MERGETYPE_NEVER;
        if (eltype.merge_type == VOB_MERGE_COPY)
            out->merge_type = VDW_MultipartData::ELEM_MERGETYPE_COPY;
    }
    return true;
}

bool vdw_send_merge_record(VDW_RpcResponse& response, VDW_Vdcore& core, vob_t* vob,
                           const vob_checkout_info_t& co, const std::string& scope,
                           WCM_Status& status) {
    VDW_MergeInput in;
    if (!vdw_merge_input(core, vob, co, &in)) return false;
    VDW_MultipartData part("CheckinMergeInputRecord", nullptr, nullptr, nullptr, 0);
    part.add_part_item("CheckinMergeBaseVersion", in.base.c_str());
    part.add_part_item("CheckinMergeFromVersion", in.from.c_str());
    part.add_part_item("CheckinCreatorOfLatest", in.creator.c_str());
    part.add_part_item("CheckinMergeItemScope", scope.c_str());
    part.add_part_item(VDW_MultipartData::ELEM_MERGETYPE, in.merge_type);
    response.add_part(part, true);
    (void)status;
    return true;
}

tbs_status_t vdw_checkout(view_t* view, const std::string& pname, const std::string& comment,
                          const VDW_CheckoutFlags& flags, VDW_CoAct& action,
                          cmd_checkout_args_t* co) {
    co->pnames = {pname};
    co->view = &view->ctx;
    co->comment_mode = comment.empty() ? CMD_COMMENT_NONE : CMD_COMMENT_GIVEN;
    co->comment = comment;
    co->reserved = flags.reserved;
    co->unreserved = flags.unreserved;
    co->nmaster_ok = flags.nmaster_ok;
    co->ptime = flags.ptime;
    action.install(co);
    return cmd_checkout(co);
}

bool vdw_checked_out_item(VDW_Vdcore& core, view_t* view, const std::string& scope,
                          std::string* pname, vob_resolved_t* r, vob_checkout_info_t* co,
                          WCM_Status& status) {
    if (!vdw_resolve_item(core, view, scope, pname, r, status)) return false;
    if (vdw_view_checkout(r->vob, r->element, view, co)) return true;
    status.set_status(TBS_ST_NOT_CHECKED_OUT);
    status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CHECKIN_FAILED, scope.c_str());
    return false;
}

bool vdw_set_mtime(const std::string& path, long mtime, const std::string& scope,
                   WCM_Status& status) {
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) == 0) return true;
    status.set_status(tbs_errno2status(errno));
    status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_SET_MODIFIED_TIME_FAILED, scope.c_str());
    return false;
}

void vdw_mkelem_observer_func(void* data, int event, const char* pname) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_MkelemObserver", "observe_event");
    (void)data;
    if (trace.shouldTrace(2)) trace.writeTrace("event %d: %s", event, pname);
}
