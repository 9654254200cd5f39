// VDW_LoginRpc.
#include "ops/login/vdw_login_rpc.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "core/imsg/imsg.h"
#include "core/imsg/imsg_core_catalog.h"
#include "facade/vdw_login_cache.h"
#include "facade/vdw_session.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdweb_catalog.h"
#include "foundation/vdw_config.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/login/vdw_creds_managers.h"
#include "ops/login/vdw_login_throttle.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"

namespace {

const char kClass[] = "VDW_LoginRpc";

// The login arguments, in the order the client sends them; further ones are ignored.
struct LoginArgs {
    std::string trace_subsys;
    int trace_level = 0;
    int meter = 0;
    int min_proto = 0;
    int max_proto = 0;
    std::string client_type;
    bool tnweb_browser = false;
    bool cache_tnlogin = false;
};

bool read_args(const char* text, LoginArgs& a, WCM_Status& status) {
    VDW_ReqArgsParser args(text);
    const char* v = nullptr;
    if (!args.match_next("trace_subsys", &v, status)) return false;
    a.trace_subsys = v;
    if (!args.match_next("trace_level", &v, status)) return false;
    a.trace_level = VDW_ReqArgsParser::decode_int(v);
    if (!args.match_next("meter", &v, status)) return false;
    a.meter = VDW_ReqArgsParser::decode_int(v);
    if (!args.match_next("min_clnt_proto_ver", &v, status)) return false;
    a.min_proto = VDW_ReqArgsParser::decode_int(v);
    if (!args.match_next("max_clnt_proto_ver", &v, status)) return false;
    a.max_proto = VDW_ReqArgsParser::decode_int(v);
    if (!args.match_next("clienttype", &v, status)) return false;
    a.client_type = v;
    if (!args.match_next("client_supports_tnweb_browser", &v, status)) return false;
    a.tnweb_browser = VDW_ReqArgsParser::decode_bool(v);
    if (!args.match_next("server_cache_tnlogin", &v, status)) return false;
    a.cache_tnlogin = VDW_ReqArgsParser::decode_bool(v);
    const char* name = nullptr;
    while (args.has_more_args())
        if (!args.next(name, v, status)) return false;
    return true;
}

// Asks the throttle whether the login may be checked at all; when not, the status says how
// long to wait and the configuration keeps that for the answer. Credentials that passed the
// check lately are right: they are held to the blocks but never counted as a try.
bool admitted_by_throttle(VDW_Config& config, VDW_LoginThrottle& throttle, WCM_Status& status) {
    credutl_creds_t known;
    const bool right = VDW_LoginCache::recently_checked(config.get_user().c_str(),
                                                        config.get_password().c_str(), &known);
    const int wait = right ? throttle.admit_known() : throttle.admit(config.get_password());
    if (wait <= 0) return true;
    config.set_login_retry_after(wait);
    status.set_status(TBS_ST_LOGIN_REQUIRED);
    status.format(&_vdweb_lib_msg_table, VDWEB_LOGIN_THROTTLED, wait);
    return false;
}

}  // namespace

void VDW_LoginRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    LoginArgs a;
    if (!read_args(request().rpcargs(), a, status())) return;

    int server_max = 0, server_minor = 0;
    server_protocol_ver(server_max, server_minor);
    const int server_min = default_protocol_ver();
    if (a.min_proto > server_max) {
        status().set_status(TBS_ST_UNRECOGNIZED_RPC);
        imsg_core_error(IMSG_CORE_CLIENT_TOO_NEW, a.min_proto, server_max);
        return;
    }
    if (a.max_proto < server_min) {
        status().set_status(TBS_ST_CLIENT_TOO_OLD);
        imsg_core_error(IMSG_CORE_CLIENT_TOO_OLD, a.max_proto, server_min);
        return;
    }
    const int version = std::min(a.max_proto, server_max);
    session().set_client_type(VDW_Session::decode_client_type(a.client_type.c_str()));

    const VDW_Config& config = VDW_Config::getInstance();
    if (version > 1) {
        VDW_MultipartData info2("logininfo2", nullptr, nullptr, nullptr, 0);
        info2.add_part_item("protocolver", version);
        add_part(info2, true);
    }
    if (version > 2) {
        VDW_MultipartData info3("logininfo3", nullptr, nullptr, nullptr, 0);
        // No change-request web server is configured on this site.
        info3.add_part_item("tnweb_base_url", "");
        info3.add_part_item("tnweb_autologin", "true");
        add_part(info3, true);
        VDW_MultipartData info4("logininfo4", nullptr, nullptr, nullptr, 0);
        info4.add_part_item("ExtNameSep", VDW_Vdcore::get_ver_ext_string());
        if (version < 6) {
            const char* term = config.get_string_param(VDW_Config::VOB_LINE_TERMINATOR_KEY);
            bool known = term && (std::string(term) == "LF" || std::string(term) == "CR-LF");
            info4.add_part_item("VobLineTerm", known ? term : "unknown");
        }
        add_part(info4, true);
    }
    trace.writeTrace("Protocol version is %d", version);
    if (version >= 4) {
        trace.writeTrace("Sending PTIME SUPPORT");
        VDW_MultipartData features("NewFeaturesIn2007C", nullptr, nullptr, nullptr, 0);
        features.add_part_item("PtimeSupport", "true");
        add_part(features, true);
    }
    VDW_MultipartData more("additionalVersionInfo", nullptr, nullptr, nullptr, 0);
    more.add_part_item("protocolMinorVer", 1);
    add_part(more, true);
}

int VDW_LoginRpc::validate_and_impersonate(VDW_Config& config, WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "validate_and_impersonate");
    status.set_status(TBS_ST_OK);
    VDW_Vdcore facade;
    if (config.has_credentials()) {
        std::string group = config.get_primary_group();
        if (group.empty()) {
            const char* configured = config.get_string_param(VDW_Config::PRIMARY_GROUP_KEY);
            group = configured ? configured : "";
        }
        VDW_LoginThrottle throttle(config.get_user(), config.get_client_address());
        if (!config.is_smart_card() && !admitted_by_throttle(config, throttle, status))
            return status.status();
        facade.impersonate(config.get_user().c_str(), config.get_password().c_str(),
                           config.get_domain().c_str(), config.is_smart_card(), group.c_str(),
                           config.get_group_list().c_str(), status);
        if (!status.is_ok()) {
            throttle.failed();
            status.set_status(TBS_ST_LOGIN_REQUIRED);
            return status.status();
        }
        throttle.succeeded();
    }
    if (facade.check_tmpdir(status) != TBS_ST_OK) return status.status();
    const std::string& user = config.get_user();
    const std::string& domain = config.get_domain();
    trace.writeTrace(2, "From RPC user and domain are %s and %s",
                     user.empty() ? "NULL" : user.c_str(),
                     domain.empty() ? "NULL" : domain.c_str());
    const char* groups = getenv("VERDANE_GROUPS");
    trace.writeTrace(2, "VERDANE_GROUPS = %s", groups ? groups : "NOT DEFINED");
    // Change-request logins cached for another user must not serve this one.
    VDW_TnCredsManager::clear_all_creds();
    return status.status();
}
