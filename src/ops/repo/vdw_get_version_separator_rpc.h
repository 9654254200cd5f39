// VDW_GetVersionSeparatorRpc: answers the text that separates an element pathname from a version
// selector.
#ifndef OPS_REPO_VDW_GET_VERSION_SEPARATOR_RPC_H
#define OPS_REPO_VDW_GET_VERSION_SEPARATOR_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_GetVersionSeparatorRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
