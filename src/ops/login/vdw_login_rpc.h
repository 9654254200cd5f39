// VDW_LoginRpc: the login exchange. By the time it runs, the request's credentials have
// been checked and their user is the process's acting identity (validate_and_impersonate);
// the RPC negotiates the protocol version with the client and tells it the server's
// settings.
#ifndef OPS_LOGIN_VDW_LOGIN_RPC_H
#define OPS_LOGIN_VDW_LOGIN_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_Config;
class WCM_Status;

class VDW_LoginRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;

    // Checks the credentials the configuration holds and makes their user the identity of
    // the process's core operations; registered as the configuration's login validator.
    // Returns the status code: 0, or 100001 with the failure's message kept. A user or a
    // client address that failed too often lately is refused before its password is looked
    // at (VDW_LoginThrottle); the configuration then holds the seconds to wait.
    static int validate_and_impersonate(VDW_Config& config, WCM_Status& status);
};

#endif
