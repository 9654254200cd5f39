// VDWebRequestHandler: the library's entry point for the host program.
//
// The host creates one handler, initialises the process through it once, and hands it
// each request: first the body and the request environment (CGI variables under their
// own names, HTTP headers under lower-case names), then the output stream that receives
// the whole CGI output.
//
// A request is judged by its headers before a byte of its body is read: one sent by a page
// of another origin is refused (HTTP 403), one without credentials is challenged (HTTP 401)
// unless the site allows anonymous requests, and one whose credentials fail (or whose user
// or address failed too often lately: HTTP 429) is refused; none of them costs more than
// its headers. Only then is the body decoded and the user's identity in force. A request
// that could not be decoded is answered with an error response; every other one goes to
// the RPC framework, and names it does not know to the older dispatch table of facade
// methods.
#ifndef DISPATCH_VDWEB_REQUEST_HANDLER_H
#define DISPATCH_VDWEB_REQUEST_HANDLER_H

#include <iosfwd>
#include <map>
#include <string>

class VDW_Config;
class VDW_Request;
class VDW_RpcResponse;
class VDW_Session;
class VDW_Vdcore;
class WCM_MemPool;
class WCM_Status;

class VDWebRequestHandler {
public:
    VDWebRequestHandler() = default;
    ~VDWebRequestHandler();
    VDWebRequestHandler(const VDWebRequestHandler&) = delete;
    VDWebRequestHandler& operator=(const VDWebRequestHandler&) = delete;

    virtual void initialize_process(int argc, char** argv);
    virtual void read_request(std::istream& body,
                              const std::multimap<std::string, std::string>& env);
    virtual void generate_response(std::ostream& out);

    WCM_Status* status() const { return status_; }
    VDW_Request* request() const { return request_; }

    static bool g_process_initialized;
    static bool g_base_integration_initialized;

    // What the request said about its user: nothing, credentials the configuration now
    // holds, or an Authorization header that is not valid Basic credentials.
    enum Login { LOGIN_NONE, LOGIN_GIVEN, LOGIN_MALFORMED };
    // What became of a request before its body: admitted (the body is decoded next), or
    // to be answered without reading any of it.
    enum Admission { ADMITTED, CHALLENGED, REFUSED_ORIGIN, REFUSED_LOGIN, THROTTLED };

private:
    // Judges the request by its headers alone: where it comes from, then its credentials,
    // whose user becomes the process's identity. The status carries a refusal's message.
    Admission admit(const std::multimap<std::string, std::string>& env);
    // The answer to a request that was not admitted.
    void answer_refusal(std::ostream& out);

    Admission admission_ = ADMITTED;
    int retry_after_ = 0;
    VDW_Config* config_ = nullptr;
    WCM_MemPool* pool_ = nullptr;
    WCM_Status* status_ = nullptr;
    VDW_Request* request_ = nullptr;
};

// Whether requests without credentials may run, as the site account: only when the host's
// environment holds VDWEB_ALLOW_ANONYMOUS=1 (a site that authenticates elsewhere, or not
// at all).
bool anonymous_allowed();
// Stores the credentials of an "Authorization: Basic" header (the host passes it as
// HTTP_AUTHORIZATION) and the client's address (REMOTE_ADDR) in the configuration, which
// forgets any earlier ones.
VDWebRequestHandler::Login take_credentials(const std::multimap<std::string, std::string>& env,
                                            VDW_Config& config);
// The answer to a request without credentials: HTTP 401 with a Basic challenge.
void send_login_challenge(std::ostream& out);

// The same decoding as the member, for a caller that owns pool and status; the caller
// owns the returned request.
VDW_Request* read_request(int argc, char** argv, std::istream& body,
                          const std::multimap<std::string, std::string>& env, WCM_MemPool& pool,
                          WCM_Status& status);
void generate_rpc_response(const VDW_Request& request, std::ostream& out, WCM_MemPool& pool,
                           WCM_Status& status);
void dispatch_to_unrefactored_rpcs(VDW_Session& session, const VDW_Request& request,
                                   std::ostream& out, WCM_MemPool& pool, VDW_Vdcore& facade,
                                   WCM_Status& status);
// The two older RPCs that take the request's uploaded file: checks what the dispatch
// table checks for the others, hands the upload to the facade, and removes it afterwards
// whatever the outcome.
struct VDW_OldRpcWrapper {
    const VDW_Request& request;
    VDW_Session& session;
    WCM_MemPool& pool;
    VDW_Vdcore& facade;
    std::ostream& out;
    WCM_Status& status;

    void get_diff_merge_rpc();
    void merge_rpc();

private:
    // Steps before the call; false when an error response has been written.
    bool prepare(const char* name);
    void remove_upload();
};

void report_rpc_error(WCM_MemPool& pool, std::ostream& out, WCM_Status& status);
void report_error(const VDW_Request& request, WCM_MemPool& pool, std::ostream& out,
                  WCM_Status& status);
void initialize_base_integration(const char* session_id);
// Reads the padding size (QLMX_CGI_BUFFER_SIZE) once per process; call it on the main
// thread before interaction requests are enabled. The padding text is built when first
// needed.
bool buffer_flush_prepare();
// Pads an interaction request so that buffering proxies pass it on at once; false when
// buffer_flush_prepare has not succeeded. Reads nothing from the environment.
bool buffer_flush(VDW_RpcResponse* response);

extern "C" void vdweb_on_exit();

#endif
