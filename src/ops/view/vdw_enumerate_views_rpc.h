// VDW_EnumerateViewsRpc: the registered views, optionally of one kind.
#ifndef OPS_VIEW_VDW_ENUMERATE_VIEWS_RPC_H
#define OPS_VIEW_VDW_ENUMERATE_VIEWS_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_EnumerateViewsRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
