// VDW_DescribeFilesRpc: a description of each named file or directory of a view, one part
// per operand; an operand that names nothing is reported in its own part and the others go
// on.
#ifndef OPS_VIEW_VDW_DESCRIBE_FILES_RPC_H
#define OPS_VIEW_VDW_DESCRIBE_FILES_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_DescribeFilesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
