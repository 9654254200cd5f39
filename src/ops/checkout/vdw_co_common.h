// What the checkout, checkin, uncheckout and element-creation RPCs share: the view they
// work in, the series arguments, items resolved through the view, and the merge record of
// a checkout that is not from the latest version.
#ifndef OPS_CHECKOUT_VDW_CO_COMMON_H
#define OPS_CHECKOUT_VDW_CO_COMMON_H

#include <string>

#include "core/vob/vob_obj.h"

class VDW_RpcArgs;
class VDW_RpcResponse;
class VDW_Vdcore;
class WCM_Status;
struct view_t;

struct VDW_WorkView {
    view_t* view = nullptr;
    std::string root;
    std::string tag;
};
// The view named by `uuid`, with its root and tag. A view without a tag: 1001 and
// VDSRV3026. Its config spec always follows its stream here, so there is nothing to
// bring into step.
bool vdw_open_work_view(VDW_Vdcore& core, const std::string& uuid, VDW_WorkView* out,
                        WCM_Status& status);

// "SeriesId" (at most 50 characters kept), "SeriesIsFirst", "SeriesIsLast": a client may
// split one operation over several requests. Each request is served whole by itself, so
// the position is only traced.
struct VDW_Series {
    std::string id;
    bool first = false;
    bool last = false;
};
bool vdw_read_series(VDW_RpcArgs& args, VDW_Series* series);
void vdw_trace_series(const char* cls, const VDW_Series& series, const std::string& item);

// Activities belong to change management, which views here do not use: an activity named
// for an operation is refused (1018, VDSRV1300), nothing is done.
bool vdw_check_no_activity(const std::string& activity, WCM_Status& status);

// `scope` (relative to the view, as the client names it) as a VOB pathname and resolved
// through the view; the core's status and VDSRV1037 when it names nothing.
bool vdw_resolve_item(VDW_Vdcore& core, view_t* view, const std::string& scope, std::string* pname,
                      vob_resolved_t* out, WCM_Status& status);

// The checkout of `element` made in `view`; false when there is none.
bool vdw_view_checkout(vob_t* vob, vob_dbid_t element, view_t* view, vob_checkout_info_t* out);

// When the checkout is not from the latest version on its branch, sends the part
// "CheckinMergeInputRecord" and returns true.
bool vdw_send_merge_record(VDW_RpcResponse& response, VDW_Vdcore& core, vob_t* vob,
                           const vob_checkout_info_t& co, const std::string& scope,
                           WCM_Status& status);

#endif
