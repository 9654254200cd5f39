// VDW_GetBaseVersionRpc: the version a file of the client's copy area is based on: what
// it was checked out from, what the client loaded, or what the view selects.
#ifndef OPS_REPO_VDW_GET_BASE_VERSION_RPC_H
#define OPS_REPO_VDW_GET_BASE_VERSION_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_GetBaseVersionRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
