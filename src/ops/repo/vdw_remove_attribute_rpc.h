// VDW_RemoveAttributeRpc: removes an object's attribute for the acting user.
#ifndef OPS_REPO_VDW_REMOVE_ATTRIBUTE_RPC_H
#define OPS_REPO_VDW_REMOVE_ATTRIBUTE_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_RemoveAttributeRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
