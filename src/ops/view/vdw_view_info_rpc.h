// VDW_ViewInfoRpc: the tag of a view and whether it is a change-management view.
#ifndef OPS_VIEW_VDW_VIEW_INFO_RPC_H
#define OPS_VIEW_VDW_VIEW_INFO_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_ViewInfoRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
