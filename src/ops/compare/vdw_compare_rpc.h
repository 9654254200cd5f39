// VDW_CompareRpc: the diff of each file a client names against the version it asks for:
// with "PrevFlag", the version before what the client holds (for a file it changed, the
// version it is based on); without it, the version the view selects now. The block stream
// is the diff's (webview/vdw_diff_merge.h): the compared version as "from_ver", the
// client's file as "to_ver".
#ifndef OPS_COMPARE_VDW_COMPARE_RPC_H
#define OPS_COMPARE_VDW_COMPARE_RPC_H

#include "ops/compare/vdw_compare_merge_rpc.h"

class VDW_CompareRpc : public VDW_CompareMergeRpc {
public:
    using VDW_CompareMergeRpc::VDW_CompareMergeRpc;

protected:
    void run_item(view_t* view, Item& item) override;
};

#endif
