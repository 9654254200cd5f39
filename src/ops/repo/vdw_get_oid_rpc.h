// VDW_GetOIDRpc: the object id of the element at a pathname in a view, or of the
// version the view selects there.
#ifndef OPS_REPO_VDW_GET_OID_RPC_H
#define OPS_REPO_VDW_GET_OID_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_GetOIDRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
