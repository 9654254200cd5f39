// Where a request comes from: origins read and compared, and which requests count as sent
// by a page of another origin.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "request/vdw_request_origin.h"

namespace {

using Env = std::multimap<std::string, std::string>;

TEST(RequestOrigin, NormalizedOrigins) {
    const struct {
        const char* text;
        const char* origin;
    } cases[] = {
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
        {"HTTP://Example.COM:80", "http://example.com"},
        {"https://example.com:443", "https://example.com"},
        {"https://example.com:80", "https://example.com:80"},
        {"http://[::1]:8080", "http://[::1]:8080"},
        {"null", ""},
        {"file://", ""},
        {"ftp://example.com", ""},
        {"http://", ""},
        {"http://example.com/", ""},
        {"http://user@example.com", ""},
        {"http://example.com:", ""},
        {"http://example.com:0", ""},
        {"http://example.com:65536", ""},
        {"http://example.com:80x", ""},
        {"http://[::1", ""},
        {"http://exa mple.com", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(vdw_normalized_origin(c.text), c.origin) << c.text;
}

// The server as lighttpd describes it to its CGI programs.
Env served(const char* host = "127.0.0.1:8080") {
    Env env = {{"SERVER_NAME", "127.0.0.1"}, {"SERVER_PORT", "8080"}, {"REQUEST_SCHEME", "http"}};
    if (host) env.emplace("HTTP_HOST", host);
    return env;
}

TEST(RequestOrigin, CrossOriginRequests) {
    const char* const kNone = nullptr;
    const struct {
        const char* what;
        Env env;
        const char* origin;
        const char* fetch_site;
        const char* allowed;
        bool cross;
    } cases[] = {
        {"no browser headers (command-line client)", served(), kNone, kNone, kNone, false},
        {"the browser client", served(), "http://127.0.0.1:8080", "same-origin", kNone, false},
        {"own origin, other letter case", served(), "HTTP://127.0.0.1:8080", kNone, kNone, false},
        {"a user's own navigation", served(), kNone, "none", kNone, false},
        {"another host", served(), "http://evil.example", "cross-site", kNone, true},
        {"another host, no fetch metadata", served(), "http://evil.example", kNone, kNone, true},
        {"another port", served(), "http://127.0.0.1:8081", kNone, kNone, true},
        {"another scheme", served(), "https://127.0.0.1:8080", kNone, kNone, true},
        {"opaque origin", served(), "null", kNone, kNone, true},
        {"not an origin", served(), "http://127.0.0.1:8080/x", kNone, kNone, true},
        {"cross-site without an origin", served(), kNone, "cross-site", kNone, true},
        {"same-site is another origin", served(), kNone, "same-site", kNone, true},
        {"origin and fetch metadata disagree", served(), "http://127.0.0.1:8080", "cross-site",
         kNone, true},
        {"allowed by the site", served(), "https://ui.example", "cross-site",
         "http://other.example, https://ui.example:443", false},
        {"not among the allowed", served(), "https://evil.example", kNone, "https://ui.example",
         true},
        {"host without the default port", served("example.com"), "http://example.com:80", kNone,
         kNone, false},
        {"no Host header: server name and port", served(nullptr), "http://127.0.0.1:8080", kNone,
         kNone, false},
        {"no Host header, another port", served(nullptr), "http://127.0.0.1:80", kNone, kNone,
         true},
    };
    for (const auto& c : cases) {
        Env env = c.env;
        if (c.origin) env.emplace("HTTP_ORIGIN", c.origin);
        if (c.fetch_site) env.emplace("HTTP_SEC_FETCH_SITE", c.fetch_site);
        std::string origin;
        EXPECT_EQ(vdw_is_cross_origin(env, c.allowed, &origin), c.cross) << c.what;
        EXPECT_EQ(origin, c.origin ? c.origin : "") << c.what;
    }
    Env https = {
        {"HTTP_HOST", "example.com"}, {"HTTPS", "on"}, {"HTTP_ORIGIN", "https://example.com"}};
    EXPECT_FALSE(vdw_is_cross_origin(https, nullptr, nullptr));
}

}  // namespace
