// What the checkout, checkin, uncheckout and element-creation RPCs share, those of the web
// protocol and those of the XML protocol alike: the view they work in, the series
// arguments, items resolved through the view, the checkout block's comment and reservation
// fields, the checked-out element an item names, and the merge input of a checkout that is
// not from the latest version.
#ifndef OPS_CHECKOUT_VDW_CO_COMMON_H
#define OPS_CHECKOUT_VDW_CO_COMMON_H

#include <string>

#include "core/vob/vob_obj.h"

struct cmd_checkout_args_t;
class VDW_CoAct;
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

// The one checkout path of the web and XML RPCs: checks out `pname` (a VOB pathname or a
// version-extended one) in `view` with `action` deciding about versions that are not the
// latest. Comment mode 5 with a comment, 2 without one; `reserved` tries a reserved
// checkout, `unreserved` takes an unreserved one (after a refused reserved one when both
// are set); `ptime` keeps the modification time. The core's status; `co` holds the block
// with its results.
struct VDW_CheckoutFlags {
    bool reserved = true;
    bool unreserved = false;
    bool nmaster_ok = false;
    bool ptime = false;
};
tbs_status_t vdw_checkout(view_t* view, const std::string& pname, const std::string& comment,
                          const VDW_CheckoutFlags& flags, VDW_CoAct& action,
                          cmd_checkout_args_t* co);

// The checked-out element `scope` names in `view`: its VOB pathname and its checkout there.
// No checkout there: the core's "not checked out" and VDSRV3036.
bool vdw_checked_out_item(VDW_Vdcore& core, view_t* view, const std::string& scope,
                          std::string* pname, vob_resolved_t* r, vob_checkout_info_t* co,
                          WCM_Status& status);

// Gives a file the client's modification time; false (and VDSRV3194 naming `scope`) when
// it cannot.
bool vdw_set_mtime(const std::string& path, long mtime, const std::string& scope,
                   WCM_Status& status);

// What a client needs to merge the latest version of a branch into a checkout made from an
// older one: the base (the checkout's predecessor) and from-versions as version-extended
// pathnames, the creator of the latest version and the element type's merge type.
struct VDW_MergeInput {
    std::string base;
    std::string from;
    std::string creator;
    const char* merge_type = nullptr;
};
// False when the checkout needs no merge.
bool vdw_merge_input(VDW_Vdcore& core, vob_t* vob, const vob_checkout_info_t& co,
                     VDW_MergeInput* out);

// Observer of element creation: traces each pathname the core reports.
void vdw_mkelem_observer_func(void* data, int event, const char* pname);

#endif
