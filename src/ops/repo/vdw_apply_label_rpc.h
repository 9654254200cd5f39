// VDW_ApplyLabelRpc: labels the versions a view selects (or names) for a list of
// elements, one result part per element.
#ifndef OPS_REPO_VDW_APPLY_LABEL_RPC_H
#define OPS_REPO_VDW_APPLY_LABEL_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_ApplyLabelRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
