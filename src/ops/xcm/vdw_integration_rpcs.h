// Deliver and rebase: the prepare RPCs a client asks before it starts one, and the reset of
// a deliver's view. The operations themselves are older methods of the facade
// (deliver_start_rpc ... rebase_cancel_rpc, ops/vdw_vdcore.h).
#ifndef OPS_XCM_VDW_INTEGRATION_RPCS_H
#define OPS_XCM_VDW_INTEGRATION_RPCS_H

#include "request/vdw_abstract_rpc.h"

class VDW_PrepareDeliverRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_PrepareRebaseRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_DeliverResetRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
