// VDW_RequestForMastershipRpc: requests mastership of branches and branch types for the
// local replica. Every VOB here has one replica, which masters everything: each item is
// answered as mastered already.
#ifndef OPS_REPO_VDW_REQUEST_FOR_MASTERSHIP_RPC_H
#define OPS_REPO_VDW_REQUEST_FOR_MASTERSHIP_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_RequestForMastershipRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
