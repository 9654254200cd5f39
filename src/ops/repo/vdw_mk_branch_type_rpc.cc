// VDW_MkBranchTypeRpc.
#include "ops/repo/vdw_mk_branch_type_rpc.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "core/vob/vob.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_request.h"

namespace {

// A value as the XML protocol writes it ("Scope:GLOBAL") or bare ("global"), compared
// without regard to case.
bool is_value(const std::string& text, const char* prefix, const char* word) {
    const size_t n = strlen(prefix);
    const char* bare = strncasecmp(text.c_str(), prefix, n) == 0 ? text.c_str() + n : text.c_str();
    return strcasecmp(bare, word) == 0;
}

// Ordinary types only: no admin VOBs share global types here. Unknown words are refused
// as malformed, known ones the server lacks as not supported.
bool check_globalness(const std::string& value, WCM_Status& status) {
    for (const char* ok : {"", "none", "local", "ordinary"})
        if (is_value(value, "Scope:", ok)) return true;
    if (is_value(value, "Scope:", "global"))
        return VDW_RpcArgs::not_supported(status, "Globalness", value);
    return VDW_RpcArgs::bad_value(status, "Globalness", value);
}

// One instance per element is what the core keeps for labels and branches alike.
bool check_occurrence(const std::string& value, WCM_Status& status) {
    for (const char* ok : {"", "element"})
        if (is_value(value, "InstanceConstraint:", ok)) return true;
    for (const char* other : {"branch", "version", "none"})
        if (is_value(value, "InstanceConstraint:", other))
            return VDW_RpcArgs::not_supported(status, "Occurrence", value);
    return VDW_RpcArgs::bad_value(status, "Occurrence", value);
}

}  // namespace

bool VDW_MkBranchTypeRpc::read_type_args(VDW_RpcArgs& args, TypeArgs* a) {
    bool has_tag = false;
    return args.opt_pname("VobTag", &a->vob_tag, &has_tag) && args.text("VobUuid", &a->vob_uuid) &&
           args.text("Name", &a->name) && args.rich("Comment", &a->comment) &&
           args.text("Globalness", &a->globalness) && args.boolean("Acquire", &a->acquire) &&
           args.text("Occurrence", &a->occurrence);
}

void VDW_MkBranchTypeRpc::make_type(int mtype, const TypeArgs& a) {
    if (!check_globalness(a.globalness, status()) || !check_occurrence(a.occurrence, status()))
        return;
    // "Acquire" takes mastership of a global type's local copies: with one replica and no
    // global types there is nothing to acquire.
    VDW_Vdcore& core = *facade();
    vob_t* vob = nullptr;
    if (!a.vob_tag.empty())
        core.find_vob_by_tag(a.vob_tag.c_str(), &vob, status());
    else
        core.find_vob_by_uuid(a.vob_uuid.c_str(), &vob, status());
    if (!status().is_ok()) return;
    core.create_type(vob, mtype, a.name.c_str(), a.comment.c_str(), status());
}

void VDW_MkBranchTypeRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_MkBranchTypeRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    TypeArgs a;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!read_type_args(args, &a)) return;
    make_type(VOB_MTYPE_BRTYPE, a);
}
