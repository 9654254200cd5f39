// VDW_MkLabelTypeRpc: makes a label type in a VOB for the acting user; the arguments of a
// branch type, then "MasterKind".
#ifndef OPS_REPO_VDW_MK_LABEL_TYPE_RPC_H
#define OPS_REPO_VDW_MK_LABEL_TYPE_RPC_H

#include "ops/repo/vdw_mk_branch_type_rpc.h"

class VDW_MkLabelTypeRpc : public VDW_MkBranchTypeRpc {
public:
    using VDW_MkBranchTypeRpc::VDW_MkBranchTypeRpc;
    void send_response_body() override;
};

#endif
