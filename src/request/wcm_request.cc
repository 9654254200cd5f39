// WCM_Request: building the parameter table and answering lookups.
#include "request/wcm_request.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/tbs/tbs.h"
#include "foundation/catalogs/wcm_common_catalog.h"
#include "foundation/wcm_mempool.h"
#include "request/cgi_input.h"

class WCM_RequestImp {
public:
    std::istream* body = nullptr;
    std::multimap<std::string, std::string> env;
    WCM_MemPool* pool = nullptr;
    // Lookup by name; `order` keeps the table order (first appearance).
    std::unordered_map<std::string, WCM_RequestParam*> table;
    std::vector<WCM_RequestParam*> order;
    bool table_created = false;
    int status = -1;  // -1: not yet decoded
    // The file the decoder wrote for this request's upload, and whether an RPC took it over;
    // an upload nobody took over is removed with the request.
    const char* upload = nullptr;
    bool upload_taken = false;
};

namespace {

constexpr size_t kProtocolSize = 256;
constexpr size_t kUrlSize = 1024;
constexpr int kTableBuckets = 23;

struct ProcessCache {
    bool protocol_done = false;
    char protocol[kProtocolSize];
    bool url_done = false;
    char url[kUrlSize];
    bool root_done = false;
    std::string script_root;
    struct Browser {
        bool done = false;
        bool is = false;
        int major = 0, minor = 0;
    } ie, ns4, ns7, mozilla, safari;
};
ProcessCache g_cache;

WCM_RequestStatus map_decoder_result(int r) {
    if (r >= 0) return WCM_REQUEST_OK;
    switch (r) {
        case CGI_BAD_METHOD:
            return WCM_REQUEST_BAD_METHOD;
        case CGI_MALFORMED:
            return WCM_REQUEST_BAD_FORMAT;
        case CGI_TOO_LARGE:
            return WCM_REQUEST_UPLOAD_TOO_LARGE;
        case CGI_UPLOAD_FAILED:
            return WCM_REQUEST_UPLOAD_FAILED;
        case CGI_NOT_CONVERTED:
            return WCM_REQUEST_NOT_CONVERTED;
        case CGI_FORM_TOO_LARGE:
            return WCM_REQUEST_FORM_TOO_LARGE;
        default:
            return WCM_REQUEST_OTHER_FAILURE;
    }
}

// One-digit minor versions other than 0 are tenths: 5.5 is minor 50.
int minor_number(const char* digits) {
    int m = atoi(digits);
    if (strlen(digits) == 1 && m != 0) m *= 10;
    return m;
}

bool scan_two(const char* at, int& major, int& minor) {
    char a[8] = "", b[8] = "";
    if (!at || sscanf(at, "%7[0-9].%7[0-9];", a, b) < 2) return false;
    major = atoi(a);
    minor = minor_number(b);
    return true;
}

const char* text_kind(int kind) {
    switch (kind) {
        case WCM_PARAM_KIND_COOKIE:
            return "Cookie";
        case WCM_PARAM_KIND_ENV:
            return "Environment";
        default:
            return "CGI";
    }
}

std::string catalog_text(wcm_common_msg_t msg, const char* arg = nullptr) {
    char buf[1024];
    if (imsg_sprintf(buf, sizeof buf, &_wcm_lib_msg_table, msg, arg) < 0) return {};
    return buf;
}

}  // namespace

WCM_Request::WCM_Request(int argc, char** argv, std::istream& body,
                         const std::multimap<std::string, std::string>& env, WCM_MemPool& pool,
                         long upload_limit)
    : pool_(&pool),
      impl_(new WCM_RequestImp),
      argc_(argc),
      argv_(argv),
      upload_limit_(upload_limit) {
    impl_->body = &body;
    impl_->env = env;
    impl_->pool = &pool;
}

WCM_Request::WCM_Request(int argc, char** argv, WCM_MemPool& pool, long upload_limit)
    : WCM_Request(argc, argv, std::cin, {}, pool, upload_limit) {}

WCM_Request::~WCM_Request() {
    if (impl_->upload && !impl_->upload_taken) cgi_upload_end(impl_->upload, true);
    delete impl_;
}

char* WCM_Request::process_param(const char*, char* value) const {
    return value;
}

const char* WCM_Request::product_dir() const {
    static std::string dir;
    dir = std::string(tbs_product_dir()) + "/web/bin";
    return dir.c_str();
}

WCM_RequestParam* WCM_Request::find(const char* name) const {
    if (!name || !impl_->table_created) return nullptr;
    auto it = impl_->table.find(name);
    return it == impl_->table.end() ? nullptr : it->second;
}

WCM_RequestParam* WCM_Request::create(const char* name, int kind) const {
    auto* p = static_cast<WCM_RequestParam*>(pool_->calloc(sizeof(WCM_RequestParam)));
    if (!p) return nullptr;
    p->name = pool_->strdup(name);
    p->kind = kind;
    impl_->table.emplace(p->name, p);
    impl_->order.push_back(p);
    return p;
}

void WCM_Request::append_value(WCM_RequestParam* p, entrytype* e) const {
    if (p->count == 0) {
        p->values.one = e;
        p->count = 1;
        return;
    }
    if (p->count == 1) {
        entrytype* first = p->values.one;
        auto** arr = static_cast<entrytype**>(pool_->flex_alloc(sizeof(entrytype*), 2, 2));
        if (!arr) return;
        arr[0] = first;
        p->values.many = arr;
    }
    // Double the array when full.
    int cap = WCM_MemPool::flex_capacity(p->values.many);
    if (p->count >= cap) {
        auto** arr = static_cast<entrytype**>(pool_->flex_alloc(sizeof(entrytype*), cap * 2, 1));
        if (!arr) return;
        memcpy(arr, p->values.many, sizeof(entrytype*) * static_cast<size_t>(p->count));
        p->values.many = arr;
    }
    p->values.many[p->count++] = e;
}

void WCM_Request::decode() const {
    if (impl_->status >= 0) return;
    impl_->status = WCM_REQUEST_OK;
    if (upload_limit_ > 0) set_upload_limit(upload_limit_);

    llist entries;
    int r = read_cgi_input(*impl_->body, impl_->env, &entries, *pool_);
    impl_->status = map_decoder_result(r);
    if (const char* upload = cgi_upload_path()) impl_->upload = pool_->strdup(upload);

    impl_->table.reserve(kTableBuckets);
    impl_->table_created = true;

    for (node* n = entries.head; n; n = n->next) {
        entrytype* e = &n->entry;
        if (!e->name) e->name = pool_->strdup("");
        lower_case(e->name);
        if (!e->value) e->value = pool_->strdup("");
        process_param(e->name, e->value);
        WCM_RequestParam* p = find(e->name);
        if (!p) p = create(e->name, WCM_PARAM_KIND_FORM);
        if (p) append_value(p, e);
    }

    llist cookies;
    cgilist_create(&cookies);
    parse_cookies(&cookies, *pool_);
    for (node* n = cookies.head; n; n = n->next) {
        entrytype* e = &n->entry;
        lower_case(e->name);
        if (!e->value) e->value = pool_->strdup("");
        if (find(e->name)) continue;  // a body field hides a cookie of the same name
        if (WCM_RequestParam* p = create(e->name, WCM_PARAM_KIND_COOKIE)) append_value(p, e);
    }

    for (const auto& [name, value] : impl_->env) {
        auto* e = static_cast<entrytype*>(pool_->alloc(sizeof(entrytype)));
        if (!e) break;
        entry_default(e);
        e->name = pool_->strdup(name.c_str());
        e->value = pool_->strdup(value.c_str());
        WCM_RequestParam* p = find(e->name);
        if (!p) p = create(e->name, WCM_PARAM_KIND_FORM);
        if (p) append_value(p, e);
        if (name == "x-tarvex-rpc-name") {
            // The header names the RPC of an XML request, whose first field is "rpc".
            if (!entries.head || strcmp(entries.head->entry.name, "rpc") != 0) {
                impl_->status = WCM_REQUEST_BAD_FORMAT;
                break;
            }
            entries.head->entry.value = e->value;
        }
    }
    if (impl_->status != WCM_REQUEST_OK) discard_upload();
}

WCM_RequestStatus WCM_Request::status() const {
    decode();
    return static_cast<WCM_RequestStatus>(impl_->status);
}

const char* WCM_Request::param(const char* name, int index) const {
    decode();
    WCM_RequestParam* p = find(name);
    if (!p || index < 0 || index >= p->count) return nullptr;
    return p->count == 1 ? p->values.one->value : p->values.many[index]->value;
}

int WCM_Request::num_values(const char* name) const {
    decode();
    WCM_RequestParam* p = find(name);
    return p ? p->count : 0;
}

void WCM_Request::cgi_param_names(const char**& names, int& count) const {
    decode();
    count = 0;
    names = static_cast<const char**>(malloc(sizeof(char*) * (impl_->order.size() + 1)));
    if (!names) return;
    for (WCM_RequestParam* p : impl_->order)
        if (p->kind == WCM_PARAM_KIND_FORM) names[count++] = p->name;
    names[count] = nullptr;
}

void WCM_Request::add_param(const char* name, const char* value) {
    decode();
    if (!name) return;
    auto* e = static_cast<entrytype*>(pool_->alloc(sizeof(entrytype)));
    if (!e) return;
    entry_default(e);
    e->name = pool_->strdup(name);
    e->value = value ? pool_->strdup(value) : nullptr;
    WCM_RequestParam* p = find(name);
    if (!p) p = create(name, WCM_PARAM_KIND_FORM);
    if (p) append_value(p, e);
}

void WCM_Request::remove_param(const char* name) {
    decode();
    WCM_RequestParam* p = find(name);
    if (!p) return;
    impl_->table.erase(name);
    impl_->order.erase(std::find(impl_->order.begin(), impl_->order.end(), p));
}

const char* WCM_Request::upload_pname() const {
    decode();
    return impl_->upload;
}

const char* WCM_Request::take_upload() const {
    decode();
    if (impl_->upload && !impl_->upload_taken) {
        cgi_upload_end(impl_->upload, false);
        impl_->upload_taken = true;
    }
    return impl_->upload;
}

// A request that failed to decode is answered with an error and runs no RPC, so nothing
// would consume its upload: remove it now.
void WCM_Request::discard_upload() const {
    if (!impl_->upload) return;
    cgi_upload_end(impl_->upload, true);
    impl_->upload = nullptr;
}

const char* WCM_Request::user_language() const {
    const char* l = param(WCM_PARAM_USER_LANGUAGE);
    return l ? l : "us-en";
}

const char* WCM_Request::protocol() const {
    if (g_cache.protocol_done) return g_cache.protocol;
    g_cache.protocol_done = true;
    const char* https = param("HTTPS");
    const char* port = param("SERVER_PORT");
    const char* proto = param("SERVER_PROTOCOL");
    if ((https && strcasecmp(https, "ON") == 0) || (port && strcmp(port, "443") == 0)) {
        snprintf(g_cache.protocol, kProtocolSize, "https");
    } else if (!proto) {
        snprintf(g_cache.protocol, kProtocolSize, "file");
    } else if (strlen(proto) >= kProtocolSize) {
        g_cache.protocol[0] = '\0';  // not a protocol anyone sends
    } else {
        snprintf(g_cache.protocol, kProtocolSize, "%s", proto);
        if (char* slash = strchr(g_cache.protocol, '/')) *slash = '\0';
        lower_case(g_cache.protocol);
    }
    return g_cache.protocol;
}

const char* WCM_Request::url() const {
    if (g_cache.url_done) return g_cache.url;
    g_cache.url_done = true;
    const char* script = param("SCRIPT_NAME");
    if (!script) script = "/vdweb";
    int n = snprintf(g_cache.url, kUrlSize, "%s", script);
    if (n < 0 || static_cast<size_t>(n) >= kUrlSize) g_cache.url[0] = '\0';
    return g_cache.url;
}

const char* WCM_Request::script_root() const {
    if (g_cache.root_done) return g_cache.script_root.c_str();
    g_cache.root_done = true;
    const char* path = param("PATH_TRANSLATED");
    if (!path) path = param("SCRIPT_FILENAME");
    auto parent = [](const std::string& p) {
        size_t slash = p.rfind('/');
        std::string dir = slash == std::string::npos ? "" : p.substr(0, slash);
        return dir.empty() ? std::string(".") : dir;
    };
    if (path) {
        struct stat st;
        if (stat(path, &st) == 0 && !S_ISDIR(st.st_mode))
            g_cache.script_root = parent(path);
        else
            g_cache.script_root = path;
    } else if (argc_ > 0 && argv_ && argv_[0] && argv_[0][0] == '/') {
        g_cache.script_root = parent(argv_[0]);
    } else {
        g_cache.script_root = product_dir();
    }
    return g_cache.script_root.c_str();
}

bool WCM_Request::server_is_CGI() {
    static const bool is_cgi = getenv("GATEWAY_INTERFACE") != nullptr;
    return is_cgi;
}

bool WCM_Request::IE_version(int& major, int& minor) const {
    auto& b = g_cache.ie;
    if (!b.done) {
        b.done = true;
        const char* agent = param("HTTP_USER_AGENT");
        const char* at = agent ? strstr(agent, "MSIE") : nullptr;
        if (at) {
            b.is = true;
            const char* nums = strstr(agent, "MSIE ");
            if (nums) scan_two(nums + 5, b.major, b.minor);
        }
    }
    major = b.major;
    minor = b.minor;
    return b.is;
}

bool WCM_Request::NS4_version(int& major, int& minor) const {
    auto& b = g_cache.ns4;
    if (!b.done) {
        b.done = true;
        const char* agent = param("HTTP_USER_AGENT");
        if (agent && !strstr(agent, "MSIE") && strstr(agent, "Mozilla/4")) {
            b.is = true;
            scan_two(strstr(agent, "Mozilla/") + 8, b.major, b.minor);
        }
    }
    major = b.major;
    minor = b.minor;
    return b.is;
}

bool WCM_Request::NS7_version(int& major, int& minor) const {
    auto& b = g_cache.ns7;
    if (!b.done) {
        b.done = true;
        const char* agent = param("HTTP_USER_AGENT");
        const char* ns = agent ? strstr(agent, "Netscape/7") : nullptr;
        if (agent && strstr(agent, "Mozilla/5") && ns) {
            b.is = true;
            scan_two(ns + 9, b.major, b.minor);
        }
    }
    major = b.major;
    minor = b.minor;
    return b.is;
}

bool WCM_Request::Mozilla_version(int& major, int& minor) const {
    auto& b = g_cache.mozilla;
    if (!b.done) {
        b.done = true;
        const char* agent = param("HTTP_USER_AGENT");
        const char* rv = agent ? strstr(agent, "rv:") : nullptr;
        if (agent && !strstr(agent, "Netscape6/") && strstr(agent, "Mozilla/5") && rv) {
            b.is = true;
            char a[8] = "", m1[8] = "", m2[8] = "";
            int n = sscanf(rv + 3, "%7[0-9].%7[0-9].%7[0-9];", a, m1, m2);
            if (n >= 2) {
                b.major = atoi(a);
                std::string joined = std::string(m1) + (n >= 3 ? m2 : "");
                b.minor = atoi(joined.c_str());
            }
        }
    }
    major = b.major;
    minor = b.minor;
    return b.is;
}

bool WCM_Request::Safari_version(int& major, int& minor) const {
    auto& b = g_cache.safari;
    if (!b.done) {
        b.done = true;
        const char* agent = param("HTTP_USER_AGENT");
        if (agent && strstr(agent, "Safari")) {
            b.is = true;
            b.major = 1;
            b.minor = 0;
        }
    }
    major = b.major;
    minor = b.minor;
    return b.is;
}

const char* WCM_Request::client_platform() const {
    const char* agent = param("HTTP_USER_AGENT");
    if (agent && strstr(agent, "Win")) return WCM_CLIENT_WINDOWS;
    if (agent && strstr(agent, "Mac")) return WCM_CLIENT_MAC;
    return WCM_CLIENT_UNIX;
}

void WCM_Request::reset_process_cache() {
    g_cache = ProcessCache();
}

namespace {

// Parameters of one kind, sorted by name (byte order).
std::vector<WCM_RequestParam*> sorted_of_kind(const std::vector<WCM_RequestParam*>& all, int kind) {
    std::vector<WCM_RequestParam*> out;
    for (WCM_RequestParam* p : all)
        if (p->kind == kind) out.push_back(p);
    std::sort(out.begin(), out.end(), [](const WCM_RequestParam* a, const WCM_RequestParam* b) {
        return strcmp(a->name, b->name) < 0;
    });
    return out;
}

entrytype* value_at(const WCM_RequestParam* p, int i) {
    return p->count == 1 ? p->values.one : p->values.many[i];
}

bool is_password(const WCM_RequestParam* p) {
    return strcmp(p->name, WCM_PARAM_PASSWORD) == 0;
}

}  // namespace

void WCM_Request::dump_html(std::ostream& out) const {
    decode();
    static const char* const kHeadings[] = {"CGI Parameters", "Cookie Parameters",
                                            "Environment Parameters"};
    for (int kind = 0; kind < 3; ++kind) {
        out << "<h3>" << kHeadings[kind] << "</h3>\n<dl>\n";
        for (WCM_RequestParam* p : sorted_of_kind(impl_->order, kind)) {
            for (int i = 0; i < p->count; ++i) {
                out << "<dt>";
                html_escape(out, p->name);
                out << "</dt>\n<dd>";
                if (is_password(p))
                    out << "********";
                else
                    html_escape(out, value_at(p, i)->value);
                out << "</dd>\n";
            }
        }
        out << "</dl>\n";
    }
}

char* WCM_Request::dump_parsing_error(bool html) const {
    decode();
    std::ostringstream out;
    const char* br = html ? "<br>\n" : "\n";
    auto put = [&](const std::string& label, const char* text) {
        if (html) {
            html_escape(out, label.c_str());
            html_escape(out, text);
        } else {
            out << label << (text ? text : "<null>");
        }
        out << br;
    };
    if (html) out << "<p>";
    put(catalog_text(WCM_COMMON_UNSUPPORTED_CHARACTERS), "");
    for (int kind = 0; kind < 3; ++kind) {
        for (WCM_RequestParam* p : sorted_of_kind(impl_->order, kind)) {
            for (int i = 0; i < p->count; ++i) {
                entrytype* e = value_at(p, i);
                if (e->name_status && e->value_status) continue;
                bool secret = is_password(p);
                int where = e->name_status ? e->value_errloc : e->name_errloc;
                std::string loc = std::to_string(where);
                put(catalog_text(WCM_COMMON_PARAM_NAME_LABEL),
                    e->name_status ? p->name : e->name_unconv);
                put(catalog_text(WCM_COMMON_PARAM_TYPE_LABEL), text_kind(kind));
                // A value that could not be converted is shown escaped: its raw bytes are not
                // text of the server's character set.
                put(catalog_text(WCM_COMMON_PARAM_VALUE_LABEL),
                    secret ? "********" : (e->value_status ? e->value : e->value_unconv));
                put(catalog_text(WCM_COMMON_ERROR_DESCRIPTION_LABEL),
                    catalog_text(WCM_COMMON_BAD_CHARACTER_OFFSET, loc.c_str()).c_str());
                if (!e->name_status)
                    put(catalog_text(WCM_COMMON_NAME_UNCONVERTED_LABEL), e->name_unconv);
                if (!e->value_status)
                    put(catalog_text(WCM_COMMON_VALUE_UNCONVERTED_LABEL),
                        secret ? "********" : e->value_unconv);
            }
        }
    }
    if (html) out << "</p>\n";
    std::string s = out.str();
    return pool_->strndup(s.data(), s.size());
}

char* WCM_Request::dump_parsing_error_text() const {
    return dump_parsing_error(false);
}

char* WCM_Request::dump_parsing_error_html() const {
    return dump_parsing_error(true);
}
