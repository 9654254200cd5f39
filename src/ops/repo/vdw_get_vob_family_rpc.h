// VDW_GetVobFamilyRpc: the replicas of a VOB family.
#ifndef OPS_REPO_VDW_GET_VOB_FAMILY_RPC_H
#define OPS_REPO_VDW_GET_VOB_FAMILY_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_GetVobFamilyRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
