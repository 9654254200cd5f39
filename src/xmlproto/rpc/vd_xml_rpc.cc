// VdXmlRpc.
#include "xmlproto/rpc/vd_xml_rpc.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>

#include "core/cmd/cmd.h"
#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"
#include "xmlproto/xml/vd_xml_parser.h"
#include "xmlproto/xml/vd_xml_util.h"

namespace {

const char* const kClass = "VdXmlRpc";
const char* const kComponent = "VD CM Server";
const char* const kRpcArgs = "rpcargs";

// The text of the child `tag` of `parent` (taken out of it), or empty.
std::string hidden_value(VdXmlElem* parent, const char* tag) {
    VdXmlElem* e = parent->extract_child(tag);
    return e ? e->get_value().str() : std::string();
}

// Seconds since the epoch, in decimal; false for anything else.
bool parse_time(const std::string& text, int64_t* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v <= 0) return false;
    *out = v;
    return true;
}

}  // namespace

VdXmlRpc::VdXmlRpc(const SUM_String& name, const VDW_Request& request, VDW_Session& session,
                   WCM_MemPool& pool, WCM_Status& status, std::ostream& out, VDW_Vdcore* facade)
    : VDW_AbstractRpc(request, session, pool, status, out, facade) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "VdXmlRpc");
    if (trace.shouldTrace(4)) trace.writeTrace("%s", name.c_str());
}

VdXmlRpc::~VdXmlRpc() {
    // An attribution never outlives its request.
    unsetevent();
}

void VdXmlRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "send_response_body");
    status().set_ok();
    const char* args = request().param(kRpcArgs);
    std::string text = args ? args : "";
    VDW_ReqArgsParser::decode_rich_string(text.data());
    text.resize(strlen(text.c_str()));

    VdAutoPtr<VdXmlDoc> request_doc;
    {
        VdXmlParser parser;
        try {
            request_doc.reset(parser.parse_string(text.data(), text.size()).release());
        } catch (const VdXmlParseException& e) {
            status().set_status(TBS_ST_NOT_CONVERTIBLE);
            status().add_text(e.get_message().c_str());
            return;
        }
    }

    VdXmlStreamBuffer buffer(this);
    std::ostream stream(&buffer);
    VdXmlStreamDoc response(stream);
    if (setevent(*request_doc) != 0) {
        status().set_error();
        status().add_text("Internal error: setevent failed");
        return;
    }
    try {
        handle_request(*request_doc, response);
        // A handler that leaves elements open still answers a well-formed document.
        VD_ASSERT(response.get_curr() == nullptr, "XML response left open");
        while (response.get_curr()) response.pop();
        stream.flush();
        unsetevent();
    } catch (const VdImmutableXmlException&) {
        unsetevent();
        trace.writeTrace(1, "Modified Immutable XML Exception\n");
        // Every start tag written gets its end tag.
        while (response.get_curr()) response.pop();
        stream.flush();
        status().set_error();
        status().add_text(
            "There was an internal error in the backend: Modified Immutable XML Exception");
    }
}

int VdXmlRpc::setevent(VdXmlDoc& request) {
    event_set_ = false;
    VdXmlElem* root = request.get_root();
    VdXmlElem* event = root ? root->extract_child(HiddenXmlTags::EVENT_ROOT) : nullptr;
    if (!event) return 0;
    cmd_setevent_args_t args;
    const std::string time = hidden_value(event, HiddenXmlTags::TIME_TAG);
    args.login = hidden_value(event, HiddenXmlTags::LOGIN_NAME_TAG);
    args.group = hidden_value(event, HiddenXmlTags::GROUP_NAME_TAG);
    args.fullname = hidden_value(event, HiddenXmlTags::FULL_NAME_TAG);
    args.host = hidden_value(event, HiddenXmlTags::HOST_NAME_TAG);
    // Without a time and a login the request runs under the server's own record.
    if (time.empty() || args.login.empty()) return 0;

    VDW_Trace trace(QLMX_COMPONENT, kClass, "setevent");
    credutl_creds_t who{};
    tbs_status_t st = credutl_get_creds(&who);
    if (st != TBS_ST_OK) return st;
    if (args.login != who.user && !credutl_is_privileged(who)) {
        imsg_internal_error(kComponent, __FILE__, __LINE__,
                            "request attribution to another login refused for %s", who.user);
        return TBS_ST_PERMISSION;
    }
    if (!parse_time(time, &args.time)) {
        imsg_internal_error(kComponent, __FILE__, __LINE__, "request attribution: bad time");
        return TBS_ST_BAD_REQUEST;
    }
    if (!credutl_is_privileged(who)) {
        // The caller's own login under the server's clock and host is what runs anyway.
        if (trace.shouldTrace(3))
            trace.writeTrace("attribution of %s left out: not the administrator", who.user);
        return 0;
    }
    st = cmd_setevent(&args);
    if (st == TBS_ST_OK) event_set_ = true;
    if (trace.shouldTrace(3))
        trace.writeTrace("event for %s at %lld: %d", args.login.c_str(),
                         static_cast<long long>(args.time), static_cast<int>(st));
    return st;
}

void VdXmlRpc::unsetevent() {
    if (!event_set_) return;
    cmd_setevent_args_t args;
    args.reset = 1;
    cmd_setevent(&args);
    event_set_ = false;
}

int VdXmlRpc::validate_rpc_version(const VdXmlElem* root, const char* name, const char* version,
                                   const char* second_version, const char** matched) {
    const char* why = nullptr;
    const SUM_String sent = root ? root->get_attr(REQUEST_VERSION_ATTR) : SUM_String();
    if (!root)
        why = "no request document";
    else if (root->get_tag().str() != name)
        why = "request root does not name the RPC";
    else if (sent.str() == version) {
        if (matched) *matched = version;
    } else if (second_version && sent.str() == second_version) {
        if (matched) *matched = second_version;
    } else {
        why = "unsupported request version";
    }
    if (!why) return 0;
    imsg_internal_error(kComponent, __FILE__, __LINE__, "%s: %s", name, why);
    return TBS_ST_BAD_REQUEST;
}

void VdXmlRpc::set_bad_request(const char* why) {
    imsg_internal_error(kComponent, __FILE__, __LINE__, "%s", why ? why : "");
    status().set_status(TBS_ST_BAD_REQUEST);
}
