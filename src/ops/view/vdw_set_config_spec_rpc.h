// VDW_SetConfigSpecRpc: sets a view's config spec (its element rules and its load rules, or
// the default spec, or the current one again) and answers with the update that brings the
// client's copy area in step with it: the records of a fetch session, which the client
// commits as any other. Load rules that went unload what was below them.
#ifndef OPS_VIEW_VDW_SET_CONFIG_SPEC_RPC_H
#define OPS_VIEW_VDW_SET_CONFIG_SPEC_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_SetConfigSpecRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
