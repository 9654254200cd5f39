// The request handler: process set-up, decoding, error responses and dispatch.
#include "dispatch/vdweb_request_handler.h"

#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <istream>
#include <mutex>
#include <ostream>
#include <string>

#include "core/cred/credutl.h"
#include "core/meter/client_meters.h"
#include "core/util/fileutl.h"
#include "core/util/pfm.h"
#include "facade/vdw_current_user.h"
#include "facade/vdw_session.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/catalogs/vdweb_catalog.h"
#include "foundation/vdw_config.h"
#include "foundation/vdw_meter.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_mempool.h"
#include "foundation/wcm_status.h"
#include "interact/ireq_msg.h"
#include "interact/ireq_request.h"
#include "ops/login/vdw_creds_managers.h"
#include "ops/login/vdw_login_rpc.h"
#include "request/cgi_input.h"
#include "request/vdw_abstract_rpc.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"
#include "request/vdw_request_origin.h"
#include "request/vdw_rpc_response.h"
#include "webview/cltxt_download.h"

bool VDWebRequestHandler::g_process_initialized = false;
bool VDWebRequestHandler::g_base_integration_initialized = false;

namespace {

const char* const kClass = "VDRPC";
constexpr size_t kEnvBufferSize = 1024;

// Everything one older RPC method needs.
struct OldRpcContext {
    VDW_Session& session;
    const VDW_Request& request;
    std::ostream& out;
    WCM_MemPool& pool;
    VDW_Vdcore& facade;
    WCM_Status& status;
    const char* args;
    bool cleartext;
};

typedef void (*old_rpc_t)(OldRpcContext& ctx);

struct OldRpcRow {
    const char* name;
    bool args_required;
    bool reset_first;
    old_rpc_t method;  // null until the facade method exists: the name is not served
};

void oid_to_pname(OldRpcContext& c) {
    c.facade.oid_to_pname_rpc(c.args, c.out, c.pool, c.status);
}
void ws_sync_fetch(OldRpcContext& c) {
    c.facade.ws_sync_fetch_rpc(c.args, c.cleartext, c.out, c.pool, c.status);
}
void ws_sync_commit(OldRpcContext& c) {
    c.facade.ws_sync_commit_rpc(c.args, c.out, c.pool, c.status);
}
void ln(OldRpcContext& c) {
    c.facade.ln_rpc(c.args, c.cleartext, c.out, c.pool, c.status);
}
void mv(OldRpcContext& c) {
    c.facade.mv_rpc(c.args, c.cleartext, c.out, c.pool, c.status);
}
void rmname(OldRpcContext& c) {
    c.facade.rmname_rpc(c.args, c.cleartext, c.out, c.pool, c.status);
}
void ws_sync_check_in_progress(OldRpcContext& c) {
    c.facade.ws_sync_check_in_progress_rpc(c.args, c.out, c.pool, c.status);
}
void get_diff_merge(OldRpcContext& c) {
    VDW_OldRpcWrapper{c.request, c.session, c.pool, c.facade, c.out, c.status}.get_diff_merge_rpc();
}
void merge(OldRpcContext& c) {
    VDW_OldRpcWrapper{c.request, c.session, c.pool, c.facade, c.out, c.status}.merge_rpc();
}
#define VDW_OLD_RPC(name)                                     \
    void name(OldRpcContext& c) {                             \
        c.facade.name##_rpc(c.args, c.out, c.pool, c.status); \
    }
VDW_OLD_RPC(deliver_start)
VDW_OLD_RPC(deliver_resume)
VDW_OLD_RPC(deliver_complete)
VDW_OLD_RPC(deliver_cancel)
VDW_OLD_RPC(rebase_start)
VDW_OLD_RPC(rebase_resume)
VDW_OLD_RPC(rebase_complete)
VDW_OLD_RPC(rebase_cancel)
#undef VDW_OLD_RPC
void streams_of_project(OldRpcContext& c) {
    c.facade.streams_of_project_rpc(c.args, c.out, c.pool, c.status);
}
void ws_get_scopes(OldRpcContext& c) {
    c.facade.ws_get_scopes_rpc(c.args, c.out, c.pool, c.status);
}

// Compared without regard to case, in this order.
const OldRpcRow kOldRpcs[] = {
    {"VDW_Vdcore::ws_sync_fetch_rpc", true, true, ws_sync_fetch},
    {"VDW_Vdcore::ws_sync_commit_rpc", true, true, ws_sync_commit},
    {"VDW_Vdcore::ws_sync_check_in_progress_rpc", true, true, ws_sync_check_in_progress},
    {"VDW_Vdcore::ws_get_scopes_rpc", false, true, ws_get_scopes},
    {"VDW_Vdcore::rebase_start_rpc", true, true, rebase_start},
    {"VDW_Vdcore::rebase_resume_rpc", true, true, rebase_resume},
    {"VDW_Vdcore::rebase_cancel_rpc", true, true, rebase_cancel},
    {"VDW_Vdcore::rebase_complete_rpc", true, true, rebase_complete},
    {"VDW_Vdcore::deliver_start_rpc", true, true, deliver_start},
    {"VDW_Vdcore::deliver_resume_rpc", true, true, deliver_resume},
    {"VDW_Vdcore::deliver_cancel_rpc", true, true, deliver_cancel},
    {"VDW_Vdcore::deliver_complete_rpc", true, true, deliver_complete},
    {"VDW_Vdcore::merge_rpc", false, false, merge},
    {"VDW_Vdcore::oid_to_pname_rpc", true, true, oid_to_pname},
    {"VDW_Vdcore::ln_rpc", true, true, ln},
    {"VDW_Vdcore::mv_rpc", true, true, mv},
    {"VDW_Vdcore::rmname_rpc", true, true, rmname},
    {"VDW_Vdcore::get_diff_merge_rpc", false, false, get_diff_merge},
    {"VDW_Vdcore::streams_of_project_rpc", true, true, streams_of_project},
};

// putenv keeps the pointer: each entry gets storage that lives for the process. The entry
// is formatted aside first, because the buffer may already be in the environment: a value
// too long for it leaves the variable as it was, and is traced.
void export_env(char (&buf)[kEnvBufferSize], const char* name, const char* value) {
    char entry[kEnvBufferSize];
    int n = snprintf(entry, sizeof entry, "%s=%s", name, value ? value : "");
    if (n < 0 || static_cast<size_t>(n) >= sizeof entry) {
        VDW_Trace trace(QLMX_COMPONENT, kClass, "export_env");
        if (trace.shouldTrace(1))
            trace.writeTrace("%s is too long to export; left unchanged", name);
        return;
    }
    memcpy(buf, entry, static_cast<size_t>(n) + 1);
    putenv(buf);
}

// The user name of the process's current credentials, or null when it cannot be found.
const char* current_user_name() {
    static credutl_creds_t creds;
    if (credutl_get_creds(&creds) != TBS_ST_OK || !creds.user[0]) return nullptr;
    return creds.user;
}

void on_exit_proc(void*) {
    vdweb_on_exit();
}

}  // namespace

// ---- the handler ------------------------------------------------------------------

VDWebRequestHandler::~VDWebRequestHandler() {
    if (config_) config_->clear_credentials();
    // The request refers to the pool (its upload's pathname among others): it goes first.
    delete request_;
    request_ = nullptr;
    delete pool_;
    pool_ = nullptr;
    delete status_;
    status_ = nullptr;
    config_ = nullptr;
}

void VDWebRequestHandler::initialize_process(int, char**) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "initialize_process");
    VDW_Trace::runtime_debug("vdweb::initialize_process");
    pfm_on_exit(on_exit_proc, nullptr);
    VDW_Config::set_login_validator(VDW_LoginRpc::validate_and_impersonate);
    credutl_set_admin_group(
        VDW_Config::getInstance().get_string_param(VDW_Config::ADMIN_GROUP_KEY));
    // Further logins the core needs while it works are asked of the remote user.
    vdw_register_login_callbacks();
    // Interaction requests reserve their message files in the core's temporary directory.
    const char* tmp = fileutl_get_tmpdir();
    if (!fileutl_exists(tmp)) {
        tbs_status_t st = fileutl_mkdir_p(tmp, 0775);
        if (st != TBS_ST_OK && trace.shouldTrace(1))
            trace.writeTrace("cannot make %s: %s", tmp, tbs_strerror(st));
    }
    g_process_initialized = true;
}

void VDWebRequestHandler::read_request(std::istream& body,
                                       const std::multimap<std::string, std::string>& env) {
    if (!g_process_initialized) initialize_process(0, nullptr);
    // The request refers to the pool: it goes first.
    delete request_;
    request_ = nullptr;
    {
        VDW_Trace trace(QLMX_COMPONENT, kClass, "initialize_for_request");
        config_ = &VDW_Config::getInstance();
        delete status_;
        status_ = new WCM_Status;
        delete pool_;
        pool_ = new WCM_MemPool;
    }
    admission_ = admit(env);
    // A request that is answered without its body never reads any of it.
    if (admission_ != ADMITTED) return;
    request_ = ::read_request(0, nullptr, body, env, *pool_, *status_);
}

VDWebRequestHandler::Admission VDWebRequestHandler::admit(
    const std::multimap<std::string, std::string>& env) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "admit");
    retry_after_ = 0;
    config_->clear_credentials();
    std::string origin;
    const char* allowed = config_->get_string_param(VDW_Config::ALLOWED_ORIGINS_KEY);
    if (vdw_is_cross_origin(env, allowed, &origin)) {
        trace.writeTrace(1, "request from another origin refused");
        status_->set_status(TBS_ST_PERMISSION);
        status_->format(&_vdweb_lib_msg_table, VDWEB_CROSS_ORIGIN_REFUSED,
                        VDW_MultipartData::echo_text(origin.substr(0, 256).c_str()).c_str());
        return REFUSED_ORIGIN;
    }
    switch (take_credentials(env, *config_)) {
        case LOGIN_NONE:
            return anonymous_allowed() ? ADMITTED : CHALLENGED;
        case LOGIN_MALFORMED:
            status_->set_status(TBS_ST_LOGIN_REQUIRED);
            status_->format(&_vdw_lib_lib_msg_table, VDW_LIB_LOGIN_INCORRECT);
            return REFUSED_LOGIN;
        case LOGIN_GIVEN:
            break;
    }
    bool ok = config_->validate_login_and_impersonate(*status_) == TBS_ST_OK;
    // Checked once; nothing later in the request needs the password itself.
    config_->set_password(nullptr);
    if (ok) return ADMITTED;
    retry_after_ = config_->get_login_retry_after();
    return retry_after_ > 0 ? THROTTLED : REFUSED_LOGIN;
}

void VDWebRequestHandler::answer_refusal(std::ostream& out) {
    switch (admission_) {
        case CHALLENGED:
            send_login_challenge(out);
            return;
        case REFUSED_ORIGIN:
            out << "Status: 403 Forbidden\r\n";
            break;
        case THROTTLED:
            out << "Status: 429 Too Many Requests\r\nRetry-After: " << retry_after_ << "\r\n";
            break;
        case ADMITTED:
        case REFUSED_LOGIN:
            break;
    }
    // The status part tells clients that read only the response stream the same.
    report_rpc_error(*pool_, out, *status_);
}

void VDWebRequestHandler::generate_response(std::ostream& out) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "VDWebRequestHandler::generate_response");
    if (!status_ || !pool_) return;
    if (admission_ != ADMITTED) {
        answer_refusal(out);
        return;
    }
    if (!request_) return;
    if (!status_->is_ok()) {
        report_error(*request_, *pool_, out, *status_);
        return;
    }
    const char* cookie = request_->session_cookie_value();
    if (!g_base_integration_initialized && cookie) {
        initialize_base_integration(cookie);
        g_base_integration_initialized = true;
    }
    try {
        generate_rpc_response(*request_, out, *pool_, *status_);
    } catch (const VDW_ResponseWriteErrorException&) {
        if (trace.shouldTrace(1)) trace.writeTrace("VDW_ResponseWriteErrorException thrown\n");
        throw;
    } catch (const std::exception& e) {
        if (trace.shouldTrace(1)) trace.writeTrace("Exception thrown: %s\n", e.what());
        throw;
    } catch (...) {
        if (trace.shouldTrace(1)) trace.writeTrace("Unknown exception thrown\n");
        throw;
    }
}

// ---- free functions ---------------------------------------------------------------

bool anonymous_allowed() {
    const char* allow = getenv("VDWEB_ALLOW_ANONYMOUS");
    return allow && strcmp(allow, "1") == 0;
}

VDWebRequestHandler::Login take_credentials(const std::multimap<std::string, std::string>& env,
                                            VDW_Config& config) {
    config.clear_credentials();
    auto it = env.find("HTTP_AUTHORIZATION");
    if (it == env.end()) return VDWebRequestHandler::LOGIN_NONE;
    const std::string& header = it->second;
    constexpr size_t kScheme = 6;  // "Basic "
    if (header.size() <= kScheme || strncasecmp(header.c_str(), "Basic ", kScheme) != 0)
        return VDWebRequestHandler::LOGIN_MALFORMED;
    size_t start = header.find_first_not_of(' ', kScheme);
    size_t end = header.find_last_not_of(' ');
    if (start == std::string::npos) return VDWebRequestHandler::LOGIN_MALFORMED;
    std::string token = header.substr(start, end + 1 - start);
    bool ok = config.set_credentials(token.c_str(), nullptr, nullptr);
    if (!ok) return VDWebRequestHandler::LOGIN_MALFORMED;
    auto address = env.find("REMOTE_ADDR");
    config.set_client_address(address == env.end() ? nullptr : address->second.c_str());
    return VDWebRequestHandler::LOGIN_GIVEN;
}

void send_login_challenge(std::ostream& out) {
    out << "Status: 401 Unauthorized\r\n"
           "WWW-Authenticate: Basic realm=\"vdweb\", charset=\"UTF-8\"\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\n"
           "\r\n"
           "This server requires a login.\n";
    out.flush();
}

VDW_Request* read_request(int argc, char** argv, std::istream& body,
                          const std::multimap<std::string, std::string>& env, WCM_MemPool& pool,
                          WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "read_request");
    const VDW_Config& config = VDW_Config::getInstance();
    long limit = config.get_long_param(VDW_Config::UPLOAD_LIMIT_KEY);
    const long form_limit = config.get_long_param(VDW_Config::FORM_LIMIT_KEY);
    set_form_limit(form_limit);
    auto* request = new VDW_Request(argc, argv, body, env, pool, limit);
    WCM_RequestStatus decoded = request->status();
    if (trace.shouldTrace(4)) trace.writeTrace("CGI request parsed");
    if (decoded != WCM_REQUEST_OK) {
        status.set_status(TBS_ST_ERR);
        switch (decoded) {
            case WCM_REQUEST_BAD_METHOD:
                status.format(&_vdweb_lib_msg_table, VDWEB_CGI_NO_METHOD);
                break;
            case WCM_REQUEST_BAD_FORMAT:
                status.format(&_vdweb_lib_msg_table, VDWEB_CGI_BAD_FORMAT);
                break;
            case WCM_REQUEST_UPLOAD_TOO_LARGE:
                status.format(&_vdweb_lib_msg_table, VDWEB_UPLOAD_TOO_LARGE);
                break;
            case WCM_REQUEST_FORM_TOO_LARGE:
                status.format(&_vdweb_lib_msg_table, VDWEB_FORM_TOO_LARGE, form_limit);
                break;
            case WCM_REQUEST_UPLOAD_FAILED:
                status.format(&_vdweb_lib_msg_table, VDWEB_CGI_UPLOAD_ERROR);
                if (const char* why = cgi_upload_failure()) {
                    status.add_text(why);
                    status.add_text("\n");
                }
                break;
            case WCM_REQUEST_NOT_CONVERTED:
                status.add_text(request->rpc_name() ? request->dump_parsing_error_text()
                                                    : request->dump_parsing_error_html());
                status.set_status(TBS_ST_NOT_CONVERTIBLE);
                break;
            default:
                status.format(&_vdweb_lib_msg_table, VDWEB_CGI_GENERIC_ERROR);
                break;
        }
        return request;
    }
    static char nlspath[kEnvBufferSize];
    const char* nls = request->param("NLSPATH");
    if (nls && *nls) export_env(nlspath, "NLSPATH", nls);

    const char* path_info = request->param("PATH_INFO");
    if (path_info && *path_info) {
        // /session-id/element-path names an element to view.
        char* copy = pool.strdup(path_info);
        char* rest = copy + (copy[0] == '/' ? 1 : 0);
        if (char* slash = strchr(rest, '/')) {
            std::string session(rest, slash);
            request->add_param(WCM_PARAM_SESSION, session.c_str());
            request->add_param(VDW_PARAM_ELEM, slash);
            request->add_param(VDW_PARAM_CMD, VDW_CMD_VIEW);
        }
    }
    return request;
}

void generate_rpc_response(const VDW_Request& request, std::ostream& out, WCM_MemPool& pool,
                           WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "generate_rpc_response");
    VDW_Session session;
    VDW_Vdcore facade;
    if (VDW_Meter::meteringOn) {
        static bool started = false;
        if (!started) {
            started = true;
            const char* user = current_user_name();
            VDW_Meter::set_meter_options(user ? user : "", 0, static_cast<int>(getpid()));
            client_meters_start_program("QLMX");
        }
    }
    ks_set_web_vdprompt(1);
    facade.vob_cache_action(2);

    const char* method = request.request_method();
    if (method && strcmp(method, "GET") == 0) {
        vdw_get_cltxt_url(request, out, pool, facade, status);
        return;
    }
    buffer_flush_prepare();
    VDW_RpcResponse::enable_interaction_requests(ireq_listener_start, ireq_listener_stop,
                                                 buffer_flush);
    if (trace.shouldTrace(2)) {
        const char* user = current_user_name();
        const char* rpc = request.rpc_name();
        trace.writeTrace("Process id is %s (rpc name is %s)\n", user ? user : "NULL",
                         rpc ? rpc : "");
    }
    if (VDW_AbstractRpc::handle(request, session, pool, status, out, &facade)) return;
    dispatch_to_unrefactored_rpcs(session, request, out, pool, facade, status);
}

void dispatch_to_unrefactored_rpcs(VDW_Session& session, const VDW_Request& request,
                                   std::ostream& out, WCM_MemPool& pool, VDW_Vdcore& facade,
                                   WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "dispatch_to_unrefactored_rpcs");
    const char* name = request.rpc_name();
    if (trace.shouldTrace(4)) trace.writeTrace("RPC is %s", name ? name : "");
    const char* args = request.rpcargs();
    for (const OldRpcRow& row : kOldRpcs) {
        if (!name || strcasecmp(row.name, name) != 0) continue;
        if (row.reset_first) status.set_status(TBS_ST_OK);
        if (row.args_required && (!args || !*args)) {
            status.set_status(TBS_ST_ERR);
            status.format(&_vdweb_lib_msg_table, VDWEB_MISSING_DISPATCH_INFO,
                          VDW_MultipartData::echo_text(name).c_str());
            status.format(&_vdweb_lib_msg_table, VDWEB_MISSING_ARGS);
            report_rpc_error(pool, out, status);
            return;
        }
        // A name whose method this build does not have yet is answered as unknown below.
        if (!row.method) break;
        OldRpcContext ctx{session, request, out,  pool,
                          facade,  status,  args, request.accept_compressed_cleartext()};
        row.method(ctx);
        return;
    }
    status.set_status(TBS_ST_UNRECOGNIZED_RPC);
    status.format(&_vdweb_lib_msg_table, VDWEB_UNRECOGNIZED_RPC,
                  name && *name ? VDW_MultipartData::echo_text(name).c_str() : "<null>");
    report_rpc_error(pool, out, status);
}

// ---- the older RPCs with an upload ----------------------------------------------------

bool VDW_OldRpcWrapper::prepare(const char* name) {
    status.set_status(TBS_ST_OK);
    const char* args = request.rpcargs();
    if (!args || !*args) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdweb_lib_msg_table, VDWEB_MISSING_DISPATCH_INFO, name);
        status.format(&_vdweb_lib_msg_table, VDWEB_MISSING_ARGS);
    } else {
        const char* upload = request.upload_pname();
        if ((!upload || !*upload) && request.status() == WCM_REQUEST_UPLOAD_TOO_LARGE) {
            status.set_status(TBS_ST_ERR);
            status.format(&_vdweb_lib_msg_table, VDWEB_UPLOAD_TOO_LARGE);
        }
    }
    if (status.is_ok()) return true;
    report_rpc_error(pool, out, status);
    remove_upload();
    return false;
}

void VDW_OldRpcWrapper::remove_upload() {
    const char* upload = request.upload_pname();
    if (upload && *upload) fileutl_rm(upload);
}

void VDW_OldRpcWrapper::get_diff_merge_rpc() {
    if (!prepare("VDW_Vdcore::get_diff_merge_rpc")) return;
    facade.get_diff_merge_rpc(request.viewroot(), request.rpcargs(), request.upload_pname(), out,
                              pool, status);
    remove_upload();
}

void VDW_OldRpcWrapper::merge_rpc() {
    if (!prepare("VDW_Vdcore::merge_rpc")) return;
    facade.merge_rpc(request.upload_pname(), request.rpcargs(),
                     request.accept_compressed_cleartext(), out, pool, status);
    remove_upload();
}

void report_rpc_error(WCM_MemPool& pool, std::ostream& out, WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "report_rpc_error");
    VDW_RpcResponse response(pool, status, out, nullptr);
}

void report_error(const VDW_Request&, WCM_MemPool& pool, std::ostream& out, WCM_Status& status) {
    report_rpc_error(pool, out, status);
}

void initialize_base_integration(const char* session_id) {
    static char session_env[kEnvBufferSize];
    static char storage_env[kEnvBufferSize];
    export_env(session_env, "QLMX_SESSION_ID", session_id);
    VDW_CurrentUser& user = VDW_CurrentUser::the_instance();
    user.set_session_id(session_id);
    export_env(storage_env, "QLMX_STORAGE_DIR", user.view_storage_dir().c_str());
}

namespace {

// The padding of interaction requests. buffer_flush_prepare reads its size from the
// environment on the main thread, before the listener or the keep-alive timer can call
// buffer_flush; the text itself is built by the first buffer_flush that needs it, once,
// from that size alone (most requests ask nothing and never build it).
std::atomic<bool> g_padding_ready{false};
int g_padding_size = 0;
std::once_flag g_padding_once;
std::string g_padding_text;

void build_padding() {
    if (g_padding_size <= 0) return;
    stg_scoped_area area;
    ireq_msg_t* msg =
        area.get() ? ireq_msg_create(area.get(), IREQ_PROTOCOL_KEEPALIVE, "1.0", 4) : nullptr;
    std::string dummy(static_cast<size_t>(g_padding_size - 1), 'x');
    char* encoded = nullptr;
    if (msg && ireq_msg_add_element(msg, "DUMMY", dummy.c_str()) &&
        ireq_msg_to_string(msg, area.get(), &encoded) == 0 && encoded)
        g_padding_text = encoded;
}

}  // namespace

bool buffer_flush_prepare() {
    if (g_padding_ready.load(std::memory_order_acquire)) return true;
    VDW_Trace trace(QLMX_COMPONENT, kClass, "buffer_flush_prepare");
    const char* var = getenv("QLMX_CGI_BUFFER_SIZE");
    g_padding_size = var ? atoi(var) : 136001;
    if (trace.shouldTrace(4))
        trace.writeTrace("EV (%s) = (%s); bufsize = %d", "QLMX_CGI_BUFFER_SIZE",
                         var ? var : "(unset)", g_padding_size);
    g_padding_ready.store(true, std::memory_order_release);
    return true;
}

bool buffer_flush(VDW_RpcResponse* response) {
    if (!g_padding_ready.load(std::memory_order_acquire)) return false;
    std::call_once(g_padding_once, build_padding);
    if (!g_padding_text.empty() && response) {
        VDW_MultipartData part(VDW_MultipartData::INTERACTOR_REQUEST, VDW_MultipartData::MIME_TEXT,
                               nullptr, g_padding_text.data(),
                               static_cast<long long>(g_padding_text.size()));
        response->add_part(part, true);
    }
    return true;
}

extern "C" void vdweb_on_exit() {
    if (VDW_Meter::meteringOn) client_meters_finish_program();
}
