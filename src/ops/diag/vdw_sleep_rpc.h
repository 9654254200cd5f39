// VDW_SleepRpc: sleeps as long as asked, then answers the process id (a test of long requests and
// keep-alives).
// Run for the site's administrator alone (vdw_diag_access.h).
#ifndef OPS_DIAG_VDW_SLEEP_RPC_H
#define OPS_DIAG_VDW_SLEEP_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_SleepRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
