// Whether a request was sent by a web page of another origin than this server's.
//
// A browser runs any site's pages, and a page may make the browser send a request here: a
// form posted across sites carries the user's cached Basic credentials with it. Browsers
// say where such a request comes from: "Origin" (scheme, host and port of the sending page,
// or "null" for a page without one) on every request a page sends by POST, and
// "Sec-Fetch-Site" ("same-origin", "same-site", "cross-site", or "none" for a user's own
// navigation). A request is refused as cross-origin when
//   - its Origin names another origin than the request's own, or says "null", or cannot be
//     read as an origin; or
//   - its Sec-Fetch-Site says "cross-site" or "same-site" (another origin of the same site
//     is still another origin);
// unless its Origin is one the site allows by name (qlmxAllowedOrigins). The request's own
// origin is its scheme with the Host header the client sent (or SERVER_NAME and SERVER_PORT
// when it sent none), the way the browser built the Origin of a page of this server.
// Programs that are no browser (the command-line client, desktop clients, curl) send
// neither header and are never refused.
#ifndef REQUEST_VDW_REQUEST_ORIGIN_H
#define REQUEST_VDW_REQUEST_ORIGIN_H

#include <map>
#include <string>
#include <string_view>

// `text` as an origin: "scheme://host[:port]" with scheme and host in lower case and the
// scheme's default port left out; empty when it names no http or https origin ("null",
// user information, a path, a query, a bad port).
std::string vdw_normalized_origin(std::string_view text);

// Whether the request described by `env` (CGI variables and headers as the host passes
// them) comes from a page of another origin. `allowed` lists further origins that may send
// requests, separated by blanks or commas (null: none). `origin` (may be null) gets the
// request's Origin header, when it has one.
bool vdw_is_cross_origin(const std::multimap<std::string, std::string>& env, const char* allowed,
                         std::string* origin);

#endif
