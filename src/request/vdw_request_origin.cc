// The origin of a request and of the page that sent it.
#include "request/vdw_request_origin.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

const char* find_env(const std::multimap<std::string, std::string>& env, const char* name) {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return out;
}

bool is_host_char(char c, bool bracketed) {
    unsigned char u = static_cast<unsigned char>(c);
    if (bracketed) return isxdigit(u) || c == ':' || c == '.';
    return isalnum(u) || c == '.' || c == '-' || c == '_' || c == '~';
}

// ":<1-65535>" as its number, 0 for an empty text, -1 for anything else.
long port_of(std::string_view text) {
    if (text.empty()) return 0;
    if (text[0] != ':' || text.size() < 2 || text.size() > 6) return -1;
    long port = 0;
    for (char c : text.substr(1)) {
        if (!isdigit(static_cast<unsigned char>(c))) return -1;
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= 65535 ? port : -1;
}

// The scheme the request came in by, as the web server tells it.
std::string request_scheme(const std::multimap<std::string, std::string>& env) {
    if (const char* s = find_env(env, "REQUEST_SCHEME"); s && *s) return lower(s);
    const char* https = find_env(env, "HTTPS");
    return https && (strcasecmp(https, "on") == 0 || strcmp(https, "1") == 0) ? "https" : "http";
}

// Whether `origin` (normalized) is the request's own origin.
bool is_own_origin(const std::multimap<std::string, std::string>& env, const std::string& origin) {
    const std::string scheme = request_scheme(env) + "://";
    if (const char* host = find_env(env, "HTTP_HOST"); host && *host)
        return vdw_normalized_origin(scheme + host) == origin;
    const char* name = find_env(env, "SERVER_NAME");
    if (!name || !*name) return false;
    std::string authority = name;
    if (authority.find(':') != std::string::npos && authority[0] != '[')
        authority = "[" + authority + "]";
    if (const char* port = find_env(env, "SERVER_PORT"); port && *port)
        authority += std::string(":") + port;
    return vdw_normalized_origin(scheme + authority) == origin;
}

// Whether `origin` (normalized) is in the blank- or comma-separated list `allowed`.
bool is_listed(const char* allowed, const std::string& origin) {
    if (!allowed) return false;
    std::string_view list(allowed);
    while (!list.empty()) {
        size_t start = list.find_first_not_of(" \t,");
        if (start == std::string_view::npos) break;
        list.remove_prefix(start);
        size_t end = list.find_first_of(" \t,");
        std::string_view item = list.substr(0, end);
        if (!item.empty() && vdw_normalized_origin(item) == origin) return true;
        list.remove_prefix(end == std::string_view::npos ? list.size() : end);
    }
    return false;
}

}  // namespace

std::string vdw_normalized_origin(std::string_view text) {
    size_t sep = text.find("://");
    if (sep == std::string_view::npos) return {};
    const std::string scheme = lower(text.substr(0, sep));
    if (scheme != "http" && scheme != "https") return {};
    std::string_view rest = text.substr(sep + 3);
    const bool bracketed = !rest.empty() && rest[0] == '[';
    size_t host_end = bracketed ? rest.find(']') : rest.find(':');
    if (bracketed && host_end == std::string_view::npos) return {};
    if (bracketed) ++host_end;
    std::string_view host = rest.substr(0, host_end);
    std::string_view after = host_end == std::string_view::npos ? "" : rest.substr(host_end);
    std::string_view inner = bracketed ? host.substr(1, host.size() - 2) : host;
    if (inner.empty()) return {};
    for (char c : inner)
        if (!is_host_char(c, bracketed)) return {};
    long port = port_of(after);
    if (port < 0) return {};
    const long default_port = scheme == "https" ? 443 : 80;
    std::string out = scheme + "://" + lower(host);
    if (port != 0 && port != default_port) out += ":" + std::to_string(port);
    return out;
}

bool vdw_is_cross_origin(const std::multimap<std::string, std::string>& env, const char* allowed,
                         std::string* origin) {
    const char* sent = find_env(env, "HTTP_ORIGIN");
    const char* site = find_env(env, "HTTP_SEC_FETCH_SITE");
    if (origin) *origin = sent ? sent : "";
    const bool other_site =
        site && (strcasecmp(site, "cross-site") == 0 || strcasecmp(site, "same-site") == 0);
    if (!sent) return other_site;
    const std::string normalized = vdw_normalized_origin(sent);
    if (normalized.empty()) return true;
    if (is_listed(allowed, normalized)) return false;
    return other_site || !is_own_origin(env, normalized);
}
