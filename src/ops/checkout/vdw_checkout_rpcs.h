// The RPCs that change element state for a client working in a web view: checkout (of the
// version the view selects, or of a named version), checkin (one element with its uploaded
// contents, or several at once, all or none), uncheckout, and element creation. Each runs
// one core command per item and then sends the client the item's new state, and its
// contents where they changed, through the web view's single-element downloads.
#ifndef OPS_CHECKOUT_VDW_CHECKOUT_RPCS_H
#define OPS_CHECKOUT_VDW_CHECKOUT_RPCS_H

#include <string>
#include <vector>

#include "request/vdw_abstract_rpc.h"

class VDW_CheckoutRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;

    struct item_t {
        std::string scope;       // element pathname relative to the view
        std::string cur_ver_id;  // the version the client holds ("/main/3"; "" unknown)
        bool is_hijacked = false;
        std::string activity;
        std::string comment;
    };
};

class VDW_CheckoutVersionRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_CheckinRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

// The upload of an atomic checkin holds the items' new contents one after the other, each
// as its byte count in decimal, a line feed, and that many bytes.
class VDW_CheckinAtomicRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_UncheckoutRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_MkelemRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_MkelemFastRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
