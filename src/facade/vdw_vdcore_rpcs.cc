// VDW_Vdcore: the older RPCs served by facade methods (the request handler's older
// dispatch). Each reads its own argument string and writes its whole response: the
// response it makes writes the status part when the method returns.
#include <ostream>
#include <string>

#include "core/tbs/tbs.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_rpc_response.h"

void VDW_Vdcore::oid_to_pname_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                  WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "oid_to_pname_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    VDW_ReqArgsParser parser(args);
    const char* view_uuid = nullptr;
    const char* replica = nullptr;
    const char* oid_text = nullptr;
    if (!parser.match_next("ViewUuid", &view_uuid, status)) return;
    std::string view_text = view_uuid;
    if (!parser.match_next("ReplicaUuid", &replica, status)) return;
    std::string replica_text = replica;
    if (!parser.match_next("Oid", &oid_text, status)) return;
    std::string oid = oid_text;

    // The view is named for the client's context; the name of an object is the same in
    // every view, but a view that does not exist is still an error.
    if (!view_text.empty()) {
        view_t* view = nullptr;
        open_view(view_text.c_str(), &view, status);
        if (!status.is_ok()) return;
    }
    vob_t* vob = nullptr;
    find_vob_by_uuid(replica_text.c_str(), &vob, status);
    if (!status.is_ok()) return;
    tbs_oid_t id{};
    vob_dbid_t dbid = 0;
    tbs_status_t st = tbs_uuid_from_str(oid.c_str(), &id);
    if (st == TBS_ST_OK) st = vob_obj_oid_to_dbid(vob, id, &dbid);
    if (!vdw_core_ok(status, st, VDW_LIB_CONVERT_OBJECT_ID_FAILED, oid.c_str())) return;
    std::string pname;
    get_obj_name(vob, dbid, &pname, status);
    if (!status.is_ok()) return;
    VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, nullptr, nullptr, nullptr, 0);
    part.add_part_item("Pathname", pname.c_str());
    response.add_part(part, true);
}
