// VDW_ApplyAttributeRpc: gives an object an attribute value for the acting user.
// VDW_RemoveAttributeRpc names its object the same way.
#ifndef OPS_REPO_VDW_APPLY_ATTRIBUTE_RPC_H
#define OPS_REPO_VDW_APPLY_ATTRIBUTE_RPC_H

#include <string>

#include "request/vdw_abstract_rpc.h"

class VDW_ApplyAttributeRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;

    // The object an attribute RPC acts on: the element pathname "Elem", version-extended
    // with "VersionString" when that was sent, when an element was named; else "Selector".
    static std::string attribute_object(const std::string* elem, const std::string* version,
                                        const std::string& selector);
};

#endif
