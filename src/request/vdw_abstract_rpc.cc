// The RPC framework: handler construction, the calling sequence and the factory lookup.
#include "request/vdw_abstract_rpc.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_config.h"
#include "foundation/vdw_meter.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

const char* const kClass = "VDRPC";

constexpr int kServerProtocolMajor = 6;
constexpr int kServerProtocolMinor = 11;
constexpr int kDefaultProtocol = 1;

const VDW_RpcFactoryRow* find_row(const char* name) {
    if (!name) return nullptr;
    size_t count = 0;
    const VDW_RpcFactoryRow* rows = vdw_rpc_factory_table(count);
    for (size_t i = 0; i < count; ++i)
        if (strcmp(rows[i].name, name) == 0) return &rows[i];
    return nullptr;
}

}  // namespace

VDW_AbstractRpc::VDW_AbstractRpc(const VDW_Request& request, VDW_Session& session,
                                 WCM_MemPool& pool, WCM_Status& status, std::ostream& out,
                                 VDW_Vdcore* facade)
    : VDW_RpcResponse(pool, status, out, facade), request_(&request), session_(&session) {
    const char* proto = request.param(VDW_PARAM_CLIENT_PROTOCOL);
    client_protocol_ = proto ? atoi(proto) : 0;
    VDW_Config& config = VDW_Config::getInstance();
    config.set_client_snapshot_view_aware(client_protocol_ >= 7);
    config.set_client_automatic_view_aware(client_protocol_ >= 8);
}

VDW_AbstractRpc::~VDW_AbstractRpc() = default;

bool VDW_AbstractRpc::is_known_rpc(const char* name) {
    return find_row(name) != nullptr;
}

VDW_AbstractRpc* VDW_AbstractRpc::create_handler_instance(const VDW_Request& request,
                                                          VDW_Session& session, WCM_MemPool& pool,
                                                          WCM_Status& status, std::ostream& out,
                                                          VDW_Vdcore* facade) {
    const char* name = request.rpc_name();
    VDW_Trace::runtime_debug(name ? name : "");
    const VDW_RpcFactoryRow* row = find_row(name);
    return row ? row->create(request, session, pool, status, out, facade) : nullptr;
}

bool VDW_AbstractRpc::handle(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,
                             WCM_Status& status, std::ostream& out, VDW_Vdcore* facade) {
    std::unique_ptr<VDW_AbstractRpc> handler(
        create_handler_instance(request, session, pool, status, out, facade));
    if (!handler) return false;
    VDW_MeterRegion region(request.rpc_name());
    handler->respond();
    return true;
}

void VDW_AbstractRpc::respond() {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "respond");
    if (trace.shouldTrace(4)) trace.writeTrace("Calling send_response_body");
    send_response_body();
    if (trace.shouldTrace(4))
        trace.writeTrace("Returned from send_response_body..calling send_status_and_trailer");
    send_status_and_trailer();
    if (trace.shouldTrace(4)) trace.writeTrace("Returned from status_and_trailer");
}

void VDW_AbstractRpc::server_protocol_ver(int& major, int& minor) {
    major = kServerProtocolMajor;
    minor = kServerProtocolMinor;
}

int VDW_AbstractRpc::default_protocol_ver() {
    return kDefaultProtocol;
}

bool VDW_AbstractRpc::check_std_rpc_info(WCM_Status& st, bool args_required) {
    st.set_status(TBS_ST_OK);
    if (!args_required) return true;
    const char* args = request_->rpcargs();
    if (args && *args) return true;
    const char* name = request_->rpc_name();
    st.set_status(TBS_ST_ERR);
    st.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_MISSING_DISPATCH_INFO,
              VDW_MultipartData::echo_text(name).c_str());
    st.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_MISSING_ARGS);
    send_status_and_trailer();
    return false;
}

bool VDW_AbstractRpc::check_rpc_upload_file_arg(WCM_Status& st) {
    return check_rpc_upload_file_arg(false, st);
}

bool VDW_AbstractRpc::check_rpc_upload_file_arg(bool optional, WCM_Status& st) {
    st.set_status(TBS_ST_OK);
    const VDW_Request& req = *request_;
    const char* upload = req.upload_pname();
    if (!upload || !*upload) {
        bool too_large = req.status() == WCM_REQUEST_UPLOAD_TOO_LARGE;
        if (too_large) {
            st.set_status(TBS_ST_ERR);
            st.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_UPLOAD_TOO_LARGE);
        } else if (!optional) {
            st.set_status(TBS_ST_ERR);
            st.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_NO_UPLOAD_FILE);
        }
    }
    if (st.is_ok()) return true;
    send_status_and_trailer();
    return false;
}
