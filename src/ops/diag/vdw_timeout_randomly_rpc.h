// VDW_TimeoutRandomlyRpc: succeeds or reports an expired session at random (a test of client
// session handling).
// Run for the site's administrator alone (vdw_diag_access.h).
#ifndef OPS_DIAG_VDW_TIMEOUT_RANDOMLY_RPC_H
#define OPS_DIAG_VDW_TIMEOUT_RANDOMLY_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_TimeoutRandomlyRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
