// The small web-view RPCs: the load scopes of a web view, and whether an update of it is in
// progress. "VDW_Vdcore::ws_get_scopes_rpc" is served by VDW_WsGetScopesRpc; the facade's
// older methods of the same names (reached by the older dispatch) give the same answers.
#ifndef WEBVIEW_VDW_WS_SMALL_RPCS_H
#define WEBVIEW_VDW_WS_SMALL_RPCS_H

#include <string>

#include "request/vdw_abstract_rpc.h"

class VDW_Vdcore;
class WCM_Status;

class VDW_WsGetScopesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

// The web view's load scopes, each as an encoded pathname and a line feed. A view UUID that
// names no view, or a view that is not a web or snapshot view: the status says why.
std::string vdw_ws_scopes_text(VDW_Vdcore& facade, const char* view_uuid, WCM_Status& status);

#endif
