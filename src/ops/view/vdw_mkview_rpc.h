// VDW_MkviewRpc: makes a web view for the acting user.
#ifndef OPS_VIEW_VDW_MKVIEW_RPC_H
#define OPS_VIEW_VDW_MKVIEW_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_MkviewRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
