// VDW_MergeRpc: the three-way merge a client needs before it can check a file in or keep
// its changes through an update: into the client's file ("to_ver") it merges, for a
// checkout, the latest version of its branch, and otherwise the version the view selects
// now ("from_ver"), over their nearest common ancestor ("base_ver"); "result" blocks say
// what the merged file takes. Nothing changes on the server: the client saves the result
// and records the merge ("VDW_Vdcore::merge_rpc" with "Ndata") before checking in.
#ifndef OPS_COMPARE_VDW_MERGE_RPC_H
#define OPS_COMPARE_VDW_MERGE_RPC_H

#include "ops/compare/vdw_compare_merge_rpc.h"

class VDW_MergeRpc : public VDW_CompareMergeRpc {
public:
    using VDW_CompareMergeRpc::VDW_CompareMergeRpc;

protected:
    void run_item(view_t* view, Item& item) override;
};

#endif
