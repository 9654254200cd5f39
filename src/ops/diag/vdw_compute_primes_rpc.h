// VDW_ComputePrimesRpc: streams a given number of parts of a given size at a given pace (a test of
// streaming).
// Run for the site's administrator alone (vdw_diag_access.h).
#ifndef OPS_DIAG_VDW_COMPUTE_PRIMES_RPC_H
#define OPS_DIAG_VDW_COMPUTE_PRIMES_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_ComputePrimesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
