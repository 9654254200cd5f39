// Copy-area validation: whether a client's copy area still agrees with the server's record
// of it, without sending the record (VDW_ValidateCopyAreaStateRpc: the client's view digest
// and the checkouts it holds outside the loaded state; the answer is empty when all agrees,
// otherwise the per-directory digests and the checkouts each side does not know), and which
// VOBs a web view loads at least in part (VDW_FetchVobsAtLeastPartiallyLoadedRpc).
#ifndef WEBVIEW_VDW_VALIDATE_COPY_AREA_RPCS_H
#define WEBVIEW_VDW_VALIDATE_COPY_AREA_RPCS_H

#include "request/vdw_abstract_rpc.h"

class VDW_ValidateCopyAreaStateRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_FetchVobsAtLeastPartiallyLoadedRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
