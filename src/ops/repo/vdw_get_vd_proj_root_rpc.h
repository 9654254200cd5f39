// VDW_GetVDProjRootRpc: the pathname of an object named by its object id in a VOB (a
// project's root directory, say), as the view's clients name it.
#ifndef OPS_REPO_VDW_GET_VD_PROJ_ROOT_RPC_H
#define OPS_REPO_VDW_GET_VD_PROJ_ROOT_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_GetVDProjRootRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
