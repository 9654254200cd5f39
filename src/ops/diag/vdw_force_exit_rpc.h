// VDW_ForceExitRpc: ends the serving process at once with the given exit code (a test of clients
// facing a broken response).
// Run for the site's administrator alone (vdw_diag_access.h).
#ifndef OPS_DIAG_VDW_FORCE_EXIT_RPC_H
#define OPS_DIAG_VDW_FORCE_EXIT_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_ForceExitRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
