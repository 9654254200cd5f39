// VDW_GetHistoryRpc: the events of an element (with its branches and versions) or
// of another object, newest first.
#ifndef OPS_REPO_VDW_GET_HISTORY_RPC_H
#define OPS_REPO_VDW_GET_HISTORY_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_GetHistoryRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
