// VDW_ReadContentRpc: the contents of a version named by a selector or pathname.
#ifndef OPS_REPO_VDW_READ_CONTENT_RPC_H
#define OPS_REPO_VDW_READ_CONTENT_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_ReadContentRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
