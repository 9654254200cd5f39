// VDW_EnumerateTypesRpc: the types of one kind in the VOBs of the given elements (or in
// every VOB), obsolete types left out.
#ifndef OPS_REPO_VDW_ENUMERATE_TYPES_RPC_H
#define OPS_REPO_VDW_ENUMERATE_TYPES_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_EnumerateTypesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
