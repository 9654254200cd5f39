// VDW_InteractionResponseRpc: the client's answer to an interaction request.
//
// Another process of the site is waiting for this answer: the handler turns the arguments
// into a message of the request's protocol and writes it to the response file the question
// named ("MsgConnection"), where the waiting process finds it.
#ifndef OPS_INTERACTION_VDW_INTERACTION_RESPONSE_RPC_H
#define OPS_INTERACTION_VDW_INTERACTION_RESPONSE_RPC_H

#include "request/vdw_abstract_rpc.h"

class VDW_InteractionResponseRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
