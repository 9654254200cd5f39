// VDW_GetConfigSpecRpc: a view's config spec in two sections: its element rules (with
// comments and blank lines) and its load rules.
#ifndef OPS_VIEW_VDW_GET_CONFIG_SPEC_RPC_H
#define OPS_VIEW_VDW_GET_CONFIG_SPEC_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_GetConfigSpecRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
