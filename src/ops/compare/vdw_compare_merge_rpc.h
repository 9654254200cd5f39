// VDW_CompareMergeRpc: what the compare and merge RPCs share. Both take files of a client's
// copy area, say for each what the client holds (checked out, hijacked, loaded as the view
// recorded it), and answer with the block stream of the comparison, one item after the
// other, each opened by its "view_rel_pname" part.
//
// Arguments: "ViewUuid", "ElemPath" (optional: the file of a one-item request), "NumItems",
// then per item "ElemPath" (optional when the first one names the only item), "CheckedOut",
// "Hijacked", "Loaded", "PrevFlag", and optionally "CSLatestFlag", "CSPredFlag" and
// "ActivitySelector" (comparisons within an activity's change set: "CSLatestFlag" compares
// with the element's newest version in the activity's change set, "CSPredFlag" shows the
// activity's whole change, from the version before its first one of the element).
//
// A file the client changed (checked out or hijacked) is compared as the client holds it:
// the request's upload (one-item requests), or a snapshot view's own copy on the server.
#ifndef OPS_COMPARE_VDW_COMPARE_MERGE_RPC_H
#define OPS_COMPARE_VDW_COMPARE_MERGE_RPC_H

#include <string>
#include <vector>

#include "core/vob/vob_obj.h"
#include "request/vdw_abstract_rpc.h"

struct view_t;

class VDW_CompareMergeRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;

protected:
    struct Item {
        std::string path;  // as the client named it
        bool checked_out = false, hijacked = false, loaded = false, prev = false;
        bool cs_latest = false, cs_pred = false;
        std::string activity;
        // Found for it:
        vob_resolved_t obj;
        vob_dbid_t base = 0;      // the version the client's file is based on
        vob_dbid_t selected = 0;  // what the view selects now
        std::string client_file;  // the client's changed copy ("" when unchanged)
        // With "CSLatestFlag" or "CSPredFlag": the element's newest version in the
        // activity's change set, and the version before its oldest one there.
        vob_dbid_t cs_latest_version = 0, cs_pred_version = 0;
    };
    // Writes one item's block stream.
    virtual void run_item(view_t* view, Item& item) = 0;
    // The name clients use for a version of the item's element.
    std::string name_of(const Item& item, vob_dbid_t version);

private:
    bool read_items(std::string* view_uuid, std::vector<Item>* items);
    bool find_versions(view_t* view, Item& item, bool single);
    bool find_change_set_versions(Item& item);
};

#endif
