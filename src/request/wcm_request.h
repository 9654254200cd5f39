// WCM_Request: the decoded request as one table of named parameters.
//
// Three sources feed the table: the decoded body (form fields, multipart fields, or the
// two fields of an XML request), the cookies, and the request environment the host passes
// in (CGI variables and HTTP headers). Each name holds one or more values. Decoding is
// lazy: the body is read and the table built on the first call of any accessor. The
// accessors are const; the table they fill lives behind `impl_`, decoding state that is
// not part of the request's value.
#ifndef REQUEST_WCM_REQUEST_H
#define REQUEST_WCM_REQUEST_H

#include <iosfwd>
#include <map>
#include <string>

class WCM_MemPool;
class WCM_RequestImp;
struct entrytype;

// Parameter names shared by every request.
#define WCM_PARAM_USER "user"
#define WCM_PARAM_PASSWORD "password"
#define WCM_PARAM_DOMAIN "domain"
#define WCM_PARAM_SESSION "session"
#define WCM_PARAM_UPLOAD_PNAME "filename"
#define WCM_PARAM_USER_LANGUAGE "language"

#define WCM_CLIENT_WINDOWS "Windows"
#define WCM_CLIENT_UNIX "Unix"
#define WCM_CLIENT_MAC "Mac"

enum WCM_RequestStatus {
    WCM_REQUEST_OK = 0,
    WCM_REQUEST_BAD_METHOD = 1,
    WCM_REQUEST_BAD_FORMAT = 2,
    WCM_REQUEST_UPLOAD_TOO_LARGE = 3,
    WCM_REQUEST_UPLOAD_FAILED = 4,
    WCM_REQUEST_NOT_CONVERTED = 5,
    WCM_REQUEST_OTHER_FAILURE = 6,
    WCM_REQUEST_FORM_TOO_LARGE = 7,
};

// Kinds of parameters.
enum { WCM_PARAM_KIND_FORM = 0, WCM_PARAM_KIND_COOKIE = 1, WCM_PARAM_KIND_ENV = 2 };

struct WCM_RequestParam {
    char* name;
    int kind;
    int count;
    union {
        entrytype* one;    // count == 1
        entrytype** many;  // count > 1: pool flex array
    } values;
};

class WCM_Request {
public:
    WCM_Request(int argc, char** argv, std::istream& body,
                const std::multimap<std::string, std::string>& env, WCM_MemPool& pool,
                long upload_limit);
    // Reads the body from standard input, with an empty environment.
    WCM_Request(int argc, char** argv, WCM_MemPool& pool, long upload_limit);
    virtual ~WCM_Request();
    WCM_Request(const WCM_Request&) = delete;
    WCM_Request& operator=(const WCM_Request&) = delete;

    // Called for every body entry while the table is built; an override may change the
    // value in place. The result is not stored.
    virtual char* process_param(const char* name, char* value) const;
    // The product's web program directory.
    virtual const char* product_dir() const;

    WCM_RequestStatus status() const;
    const char* param(const char* name, int index = 0) const;
    int num_values(const char* name) const;
    // Names of all form (kind 0) parameters in table order, in an array the caller
    // releases with free().
    void cgi_param_names(const char**& names, int& count) const;
    void add_param(const char* name, const char* value);
    void remove_param(const char* name);

    const char* session() const { return param(WCM_PARAM_SESSION); }
    const char* username() const { return param(WCM_PARAM_USER); }
    const char* password() const { return param(WCM_PARAM_PASSWORD); }
    const char* domain() const { return nullptr; }
    // The server pathname of the uploaded file. Only the file the decoder wrote for this
    // request is answered: a "filename" field sent as plain form data or as a header must
    // never make an RPC read or remove an arbitrary file.
    const char* upload_pname() const;
    // The upload lives as long as the request and is removed with it. An RPC that keeps
    // the file beyond the request (moves it elsewhere, hands it to a later request) takes
    // it over with this call and from then on removes it itself; the pathname, or null.
    const char* take_upload() const;
    const char* user_language() const;
    const char* server_name() const { return param("SERVER_NAME"); }
    bool is_logged_in() const { return false; }

    // Computed once per process.
    const char* protocol() const;
    const char* url() const;
    const char* script_root() const;
    static bool server_is_CGI();

    // Browser detection on the user agent, computed once per process.
    bool IE_version(int& major, int& minor) const;
    bool NS4_version(int& major, int& minor) const;
    bool NS7_version(int& major, int& minor) const;
    bool Mozilla_version(int& major, int& minor) const;
    bool Safari_version(int& major, int& minor) const;
    const char* client_platform() const;

    void dump_html(std::ostream& out) const;
    char* dump_parsing_error_text() const;
    char* dump_parsing_error_html() const;

    WCM_MemPool& pool() const { return *pool_; }
    int argc() const { return argc_; }
    char** argv() const { return argv_; }
    long upload_limit() const { return upload_limit_; }

    // Forgets the per-process values (protocol, url, script root, browser); for tests
    // that build requests with different environments in one process.
    static void reset_process_cache();

private:
    void decode() const;
    void discard_upload() const;
    WCM_RequestParam* find(const char* name) const;
    WCM_RequestParam* create(const char* name, int kind) const;
    void append_value(WCM_RequestParam* p, entrytype* e) const;
    char* dump_parsing_error(bool html) const;

    WCM_MemPool* pool_;
    WCM_RequestImp* impl_;
    int argc_;
    char** argv_;
    long upload_limit_;
};

#endif
