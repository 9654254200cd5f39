// VDW_RmMetadataTypeRpc: removes a type named by its selector.
#ifndef OPS_REPO_VDW_RM_METADATA_TYPE_RPC_H
#define OPS_REPO_VDW_RM_METADATA_TYPE_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_RmMetadataTypeRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
