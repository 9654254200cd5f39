// VDW_SaveDirMergeRpc: a directory merge made on the server; the work is the facade's
// new_save_dir_merge_rpc (ops/vdw_vdcore.h).
#ifndef OPS_COMPARE_VDW_SAVE_DIR_MERGE_RPC_H
#define OPS_COMPARE_VDW_SAVE_DIR_MERGE_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_SaveDirMergeRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
