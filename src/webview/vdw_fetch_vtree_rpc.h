// VDW_FetchVtreeRpc: an element's version tree, piecewise, as a client draws it: the whole
// element, one version, the children or descendants of a node, the merge parents or
// children of a version, or a refresh of nodes the client shows. One part per branch,
// checked-in version and checkout, each built at most once per request; node ids are dbids
// within the element's VOB, and the VOB's generation number tells the client when its ids
// no longer hold.
#ifndef WEBVIEW_VDW_FETCH_VTREE_RPC_H
#define WEBVIEW_VDW_FETCH_VTREE_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_FetchVtreeRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
