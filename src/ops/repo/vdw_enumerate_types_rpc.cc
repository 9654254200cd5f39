// VDW_EnumerateTypesRpc.
#include "ops/repo/vdw_enumerate_types_rpc.h"

#include <fnmatch.h>

#include <algorithm>
#include <string>
#include <vector>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

// More elements than any client sends at once is a malformed count, not work to do.
constexpr int kMaxElems = 100000;

struct Args {
    std::string mtype;
    bool details = false;
    bool filter = false;
    bool local_only = false;
    std::string type_name;
    std::vector<std::string> elems;
};

bool read_args(const char* text, Args* a, WCM_Status& status) {
    VDW_RpcArgs args(text, status);
    int count = 0;
    if (!args.text("MType", &a->mtype) || !args.boolean("FetchDetails", &a->details) ||
        !args.boolean("FetchFilter", &a->filter) ||
        !args.boolean("FetchLocalonly", &a->local_only) || !args.text("TypeName", &a->type_name) ||
        !args.integer("NumElems", &count))
        return false;
    if (count < 0 || count > kMaxElems) return VDW_RpcArgs::bad_count(status, "NumElems", count);
    a->elems.resize(static_cast<size_t>(count));
    for (std::string& e : a->elems)
        if (!args.pname("Elem", &e)) return false;
    return true;
}

}  // namespace

void VDW_EnumerateTypesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_EnumerateTypesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    Args a;
    if (!read_args(request().rpcargs(), &a, status())) return;
    const int mtype = VDW_Vdcore::type_mtype_from_name(a.mtype.c_str());
    if (mtype == 0) {
        VDW_RpcArgs::bad_value(status(), "MType", a.mtype);
        return;
    }

    // The VOBs: those holding the elements (a VOB pathname, a VOB's tag or selector), each
    // once, in the order named; no element names every VOB.
    VDW_Vdcore& core = *facade();
    std::vector<vob_t*> vobs;
    if (a.elems.empty()) {
        std::vector<VDW_Vdcore::VobEntry> all;
        core.get_vob_tag_list(&all, status());
        for (size_t i = 0; status().is_ok() && i < all.size(); ++i) {
            vob_t* vob = nullptr;
            core.find_vob_by_tag(all[i].tag.c_str(), &vob, status());
            if (vob) vobs.push_back(vob);
        }
    }
    for (size_t i = 0; status().is_ok() && i < a.elems.size(); ++i) {
        vob_resolved_t obj;
        core.resolve_vob_obj(nullptr, a.elems[i].c_str(), VOB_RESOLVE_NOFOLLOW, &obj, status());
        if (status().is_ok() && std::find(vobs.begin(), vobs.end(), obj.vob) == vobs.end())
            vobs.push_back(obj.vob);
    }
    if (!status().is_ok()) return;

    // Every type here is the VOB's own: "FetchLocalonly" leaves nothing out.
    for (vob_t* vob : vobs) {
        std::vector<VDW_Vdcore::TypeEntry> types;
        core.get_type_list(vob, mtype, &types, status());
        if (!status().is_ok()) return;
        for (const VDW_Vdcore::TypeEntry& t : types) {
            if (t.obsolete) continue;
            // With "FetchFilter", "TypeName" is a shell pattern the names must match.
            if (a.filter && fnmatch(a.type_name.c_str(), t.name.c_str(), 0) != 0) continue;
            VDW_MultipartData part("TypeFound", nullptr, nullptr, nullptr, 0);
            part.add_part_item("Name", t.name.c_str());
            part.add_part_item("Uuid", t.oid);
            part.add_part_item("Dbid", static_cast<long long>(t.dbid));
            if (a.details) {
                part.add_part_item("Description", t.description.c_str());
                part.add_part_item("CreatedOn", static_cast<long long>(t.created));
            }
            if (add_part(part, false)) return;
        }
    }
}
