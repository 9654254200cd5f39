// VDW_FetchFrozenStateRpc: the canonical lines of what a web view's record says its client
// holds (one line per object, path and state), for all of the view or for some of its
// directories.
#ifndef WEBVIEW_VDW_FETCH_FROZEN_STATE_RPC_H
#define WEBVIEW_VDW_FETCH_FROZEN_STATE_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_FetchFrozenStateRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
