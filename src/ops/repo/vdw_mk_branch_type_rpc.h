// VDW_MkBranchTypeRpc: makes a branch type in a VOB for the acting user.
// VDW_MkLabelTypeRpc reads the same arguments and one more, and shares the rest.
#ifndef OPS_REPO_VDW_MK_BRANCH_TYPE_RPC_H
#define OPS_REPO_VDW_MK_BRANCH_TYPE_RPC_H

#include <string>

#include "request/vdw_abstract_rpc.h"

class VDW_RpcArgs;

class VDW_MkBranchTypeRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;

protected:
    struct TypeArgs {
        std::string vob_tag;   // "VobTag", when sent and not empty, names the VOB ...
        std::string vob_uuid;  // ... else "VobUuid" (its family or replica)
        std::string name;
        std::string comment;
        std::string globalness;
        bool acquire = false;
        std::string occurrence;
    };
    // Reads the arguments both RPCs share, in their order.
    bool read_type_args(VDW_RpcArgs& args, TypeArgs* a);
    // Makes the type of kind `mtype` once the values are checked: a type here is ordinary
    // (not global) and has one instance per element.
    void make_type(int mtype, const TypeArgs& a);
};

#endif
