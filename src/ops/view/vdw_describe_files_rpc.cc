// VDW_DescribeFilesRpc.
#include "ops/view/vdw_describe_files_rpc.h"

#include <string>
#include <vector>

#include "core/view/view.h"
#include "facade/vdw_fso_description.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

void VDW_DescribeFilesRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_DescribeFilesRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    std::string view_uuid;
    int count = 0;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.text("ViewUuid", &view_uuid) || !args.integer("NumOperands", &count)) return;
    if (count < 0) {
        VDW_RpcArgs::bad_count(status(), "NumOperands", count);
        return;
    }
    std::vector<std::string> scopes;
    for (int i = 0; i < count; ++i) {
        std::string begin, scope, end;
        if (!args.text("BeginOperand", &begin) || !args.pname("Scope", &scope) ||
            !args.text("EndOperand", &end))
            return;
        scopes.push_back(scope);
    }
    view_t* view = nullptr;
    facade()->open_view(view_uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    for (const std::string& scope : scopes) {
        VDW_FsoDescription d;
        facade()->describe_file(view, scope.c_str(), &d, status());
        int result = TBS_ST_OK;
        if (status().status() == TBS_ST_OBJ_NOT_FOUND) {
            result = TBS_ST_OBJ_NOT_FOUND;
            status().set_status(TBS_ST_OK);
        } else if (!status().is_ok()) {
            return;
        }
        VDW_MultipartData part("OperandDescription", nullptr, nullptr, nullptr, 0);
        part.add_part_item("OperandScope", scope.c_str());
        part.add_part_item("OperandStatus", result);
        d.marshal(part, false);
        if (add_part(part, false)) return;
    }
}
