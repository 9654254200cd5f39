// VdXmlRpc: base of the XML resource RPCs. The request's "rpcargs" argument holds the
// request document; the response body is a document streamed as "xmlChunk" parts; the
// outcome is the RPC's status, sent after the body as for every web RPC.
//
// The base parses the request (a document the parser refuses: status 100023 with the
// parser's message, nothing written), applies and afterwards removes the request
// attribution, runs handle_request, and closes a response the handler left open.
//
// Request attribution: a request may carry an "epfih" element (time "tau", login
// "lambda", group "gamma", full name "phi", host "eta") under which the core records the
// request's operations. It is taken out of the document before the RPC sees it. Only the
// site's administrator (credutl_is_privileged) has it installed: the history then shows
// the time, login and host it names. Anyone else may name only their own login, and their
// attribution changes nothing: their operations carry the server's clock and host, so that
// no user can date their work or place it on another machine. A login other than the
// caller's own, from anyone but the administrator, fails the request with "Internal
// error: setevent failed" and runs nothing.
#ifndef XMLPROTO_RPC_VD_XML_RPC_H
#define XMLPROTO_RPC_VD_XML_RPC_H

#include "core/sum/sum_string.h"
#include "request/vdw_abstract_rpc.h"
#include "xmlproto/xml/vd_xml_doc.h"
#include "xmlproto/xml/vd_xml_stream.h"

class VdXmlRpc : public VDW_AbstractRpc {
public:
    static constexpr const char* REQUEST_VERSION_ATTR = "version";

    // `name` is the RPC's name (for tracing; not stored).
    VdXmlRpc(const SUM_String& name, const VDW_Request& request, VDW_Session& session,
             WCM_MemPool& pool, WCM_Status& status, std::ostream& out, VDW_Vdcore* facade);
    ~VdXmlRpc() override;

    void send_response_body() override;
    // The operation: reads `request` (attribution removed), writes `response`, sets the
    // status. Starts by checking the root with validate_rpc_version.
    virtual void handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) = 0;

    bool event_set() const { return event_set_; }
    // Installs the request's attribution (see above); 0 when there is none or it was
    // installed, else a status code.
    int setevent(VdXmlDoc& request);
    // Removes an attribution this RPC installed.
    void unsetevent();

protected:
    // 0 when `root` is tagged `name` and its "version" is `version` (or `second_version`
    // when one is given; `matched` then tells which one it was); else an internal error
    // is logged and the result is 1072.
    int validate_rpc_version(const VdXmlElem* root, const char* name, const char* version,
                             const char* second_version = nullptr, const char** matched = nullptr);
    // The request does not fit the RPC: status 1072, with `why` logged as an internal
    // error.
    void set_bad_request(const char* why);

private:
    bool event_set_ = false;
};

#endif
