// VDW_IsTypeVisibleRpc: whether a VOB has a type of a kind and name.
#ifndef OPS_REPO_VDW_IS_TYPE_VISIBLE_RPC_H
#define OPS_REPO_VDW_IS_TYPE_VISIBLE_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_IsTypeVisibleRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
