// VDW_EnumerateVobsRpc: the registered VOBs, filtered by a tag pattern and by kind.
#ifndef OPS_REPO_VDW_ENUMERATE_VOBS_RPC_H
#define OPS_REPO_VDW_ENUMERATE_VOBS_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_EnumerateVobsRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
