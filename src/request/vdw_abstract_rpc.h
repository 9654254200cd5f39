// VDW_AbstractRpc: base of every RPC handler class, and the factory that creates one by
// RPC name.
//
// A handler is itself the response writer: whatever it writes goes into the one
// multipart stream, and the status part and trailer follow its body.
#ifndef REQUEST_VDW_ABSTRACT_RPC_H
#define REQUEST_VDW_ABSTRACT_RPC_H

#include <cstddef>
#include <iosfwd>

#include "request/vdw_rpc_response.h"

class VDW_Request;
class VDW_Session;

#define VDW_PARAM_CLIENT_PROTOCOL "x-tarvex-client-protocol"

class VDW_AbstractRpc : public VDW_RpcResponse {
public:
    VDW_AbstractRpc(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,
                    WCM_Status& status, std::ostream& out, VDW_Vdcore* facade);
    ~VDW_AbstractRpc() override;

    // The handler's whole work.
    virtual void send_response_body() = 0;

    // Serves the request's RPC when a handler class knows its name; false otherwise.
    static bool handle(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,
                       WCM_Status& status, std::ostream& out, VDW_Vdcore* facade);
    // The handler for the request's RPC name (exact comparison), or null.
    static VDW_AbstractRpc* create_handler_instance(const VDW_Request& request,
                                                    VDW_Session& session, WCM_MemPool& pool,
                                                    WCM_Status& status, std::ostream& out,
                                                    VDW_Vdcore* facade);
    // Whether the factory knows `name`.
    static bool is_known_rpc(const char* name);

    void respond();

    static void server_protocol_ver(int& major, int& minor);
    static int default_protocol_ver();
    int client_protocol_ver() const { return client_protocol_; }

    // Status reset; when arguments are required and the argument string is missing or
    // empty, the status is failed and sent at once, and false returned.
    bool check_std_rpc_info(WCM_Status& status, bool args_required);
    bool check_rpc_upload_file_arg(WCM_Status& status);
    bool check_rpc_upload_file_arg(bool optional, WCM_Status& status);

    const VDW_Request& request() const { return *request_; }
    VDW_Session& session() { return *session_; }

private:
    const VDW_Request* request_;
    VDW_Session* session_;
    int client_protocol_ = 0;
};

// One row of the factory table: an RPC name and how to make its handler. The table lives
// with the handler classes (ops/vdw_rpc_table.cc), so that this framework knows none of
// them.
typedef VDW_AbstractRpc* (*vdw_rpc_creator_t)(const VDW_Request&, VDW_Session&, WCM_MemPool&,
                                              WCM_Status&, std::ostream&, VDW_Vdcore*);
struct VDW_RpcFactoryRow {
    const char* name;
    vdw_rpc_creator_t create;
};

template <class T>
VDW_AbstractRpc* vdw_rpc_create(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,
                                WCM_Status& status, std::ostream& out, VDW_Vdcore* facade) {
    return new T(request, session, pool, status, out, facade);
}

// The factory table in comparison order, and its length in `count`. Defined by the layer
// that holds the handlers.
const VDW_RpcFactoryRow* vdw_rpc_factory_table(size_t& count);

#endif
