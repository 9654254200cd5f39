// VDW_RmviewRpc: removes a view.
#ifndef OPS_VIEW_VDW_RMVIEW_RPC_H
#define OPS_VIEW_VDW_RMVIEW_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_RmviewRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
