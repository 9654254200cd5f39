// VDW_ReadContentRpc: the contents of a version named by a selector or pathname, or of a file
// the view named by "ViewUuid" keeps on this server for its owner (what a merge left).
#ifndef OPS_REPO_VDW_READ_CONTENT_RPC_H
#define OPS_REPO_VDW_READ_CONTENT_RPC_H

#include <string>

#include "request/vdw_abstract_rpc.h"

struct view_t;

class VDW_ReadContentRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;

private:
    bool send_private_file(view_t* view, const std::string& pname);
};

#endif
