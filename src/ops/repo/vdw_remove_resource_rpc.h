// VDW_RemoveResourceRpc: removes the object a selector names.
#ifndef OPS_REPO_VDW_REMOVE_RESOURCE_RPC_H
#define OPS_REPO_VDW_REMOVE_RESOURCE_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_RemoveResourceRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
