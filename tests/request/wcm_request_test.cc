// The request's parameter table: sources, order, hiding, header rules, accessors, dumps.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "core/util/fileutl.h"
#include "core/util/i18n.h"
#include "core/util/strutl.h"
#include "foundation/wcm_mempool.h"
#include "foundation/wcm_status.h"
#include "request/vdw_request.h"
#include "request/wcm_session.h"

using Env = std::multimap<std::string, std::string>;

namespace {

struct Req {
    Req(const std::string& body, Env env) : in(body), req(0, nullptr, in, env, pool, 0) {}
    std::istringstream in;
    WCM_MemPool pool;
    VDW_Request req;
};

Env post(const std::string& body) {
    return {{"REQUEST_METHOD", "POST"},
            {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
            {"CONTENT_LENGTH", std::to_string(body.size())}};
}

}  // namespace

TEST(WcmRequest, BodyCookiesAndEnvironmentMerge) {
    setenv("HTTP_COOKIE", "rpc=fromcookie; theme=dark", 1);
    std::string body =
        "RPC=VDW_Vdcore::checkout_rpc&elem=a&elem=b&elem=c&viewroot=%20%20C:%5Cviews%5Cmain%09";
    Env env = post(body);
    env.emplace("elem", "from-env");
    env.emplace("HTTP_USER_AGENT", "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT)");
    Req r(body, env);
    EXPECT_EQ(r.req.status(), WCM_REQUEST_OK);
    EXPECT_STREQ(r.req.rpc_name(), "VDW_Vdcore::checkout_rpc");  // "RPC" found as "rpc"
    EXPECT_STREQ(r.req.param("theme"), "dark");                  // cookie with a new name
    EXPECT_EQ(r.req.num_values("rpc"), 1);                       // cookie hidden by the field
    EXPECT_EQ(r.req.num_elems(), 4);                             // environment value appended
    EXPECT_STREQ(r.req.elem(2), "c");
    EXPECT_STREQ(r.req.elem(3), "from-env");
    EXPECT_EQ(r.req.elem(4), nullptr);
    EXPECT_EQ(r.req.elem(-1), nullptr);
    EXPECT_STREQ(r.req.viewroot(), "C:/views/main");
    EXPECT_STREQ(r.req.request_method(), "POST");
    EXPECT_EQ(r.req.param("request_method"), nullptr);  // environment names keep their case
    EXPECT_STREQ(r.req.user_language(), "us-en");
    EXPECT_EQ(r.req.domain(), nullptr);
    EXPECT_FALSE(r.req.is_logged_in());

    r.req.add_param("session", "42");
    r.req.add_param("session", nullptr);
    EXPECT_EQ(r.req.num_values("session"), 2);
    EXPECT_EQ(r.req.param("session", 1), nullptr);
    r.req.remove_param("elem");
    EXPECT_EQ(r.req.num_elems(), 0);

    const char** names = nullptr;
    int count = 0;
    r.req.cgi_param_names(names, count);
    bool has_theme = false, has_rpc = false;
    for (int i = 0; i < count; ++i) {
        has_theme |= strcmp(names[i], "theme") == 0;
        has_rpc |= strcmp(names[i], "rpc") == 0;
    }
    free(names);
    EXPECT_TRUE(has_rpc);
    EXPECT_FALSE(has_theme);  // cookies are not form parameters
    unsetenv("HTTP_COOKIE");
}

TEST(WcmRequest, RpcNameHeaderRules) {
    std::string doc = "<ReadProperties version=\"1\"/>";
    Env env = {{"REQUEST_METHOD", "POST"},
               {"CONTENT_TYPE", "text/xml"},
               {"CONTENT_LENGTH", std::to_string(doc.size())},
               {"x-tarvex-rpc-name", "ReadProperties"}};
    Req xml(doc, env);
    EXPECT_EQ(xml.req.status(), WCM_REQUEST_OK);
    EXPECT_STREQ(xml.req.rpc_name(), "ReadProperties");
    EXPECT_STREQ(xml.req.rpcargs(), doc.c_str());

    // The header with a body whose first field is not "rpc": malformed, and the
    // environment entries after the header are not added.
    std::string body = "a=1&rpc=x";
    Env env2 = post(body);
    env2.emplace("x-tarvex-rpc-name", "Echo");
    env2.emplace("zz-after", "1");
    Req form(body, env2);
    EXPECT_EQ(form.req.status(), WCM_REQUEST_BAD_FORMAT);
    EXPECT_STREQ(form.req.rpc_name(), "x");
    EXPECT_EQ(form.req.param("zz-after"), nullptr);
}

TEST(WcmRequest, DecodingStatusesMapFromTheDecoder) {
    struct Case {
        Env env;
        std::string body;
        WCM_RequestStatus status;
    } cases[] = {
        {{{"REQUEST_METHOD", "DELETE"}}, "", WCM_REQUEST_BAD_METHOD},
        {{{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "a&b=1"}}, "", WCM_REQUEST_BAD_FORMAT},
        {{{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "a=%FF"}}, "", WCM_REQUEST_NOT_CONVERTED},
        {{{"REQUEST_METHOD", "GET"}}, "", WCM_REQUEST_OK},
    };
    for (auto& c : cases) {
        Req r(c.body, c.env);
        EXPECT_EQ(r.req.status(), c.status);
    }
    // The table is still built from what was decoded.
    Req partial("", {{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "a&b=1"}});
    EXPECT_STREQ(partial.req.param("a"), "");
}

TEST(WcmRequest, AcceptEncoding) {
    struct Case {
        const char* header;
        bool deflate;
    } cases[] = {{"gzip, deflate", true}, {"gzip", false}, {nullptr, false}};
    for (const auto& c : cases) {
        Env env = {{"REQUEST_METHOD", "GET"}};
        if (c.header) env.emplace("accept-encoding", c.header);
        Req r("", env);
        EXPECT_EQ(r.req.accept_compressed_cleartext(), c.deflate);
    }
}

TEST(WcmRequest, ProcessWideValues) {
    struct Case {
        Env env;
        const char* protocol;
        const char* url;
    } cases[] = {
        {{{"SERVER_PROTOCOL", "HTTP/1.1"}}, "http", "/vdweb"},
        {{{"SERVER_PROTOCOL", "HTTP/1.1"}, {"HTTPS", "on"}}, "https", "/vdweb"},
        {{{"SERVER_PORT", "443"}, {"SCRIPT_NAME", "/cgi/vdweb.cgi"}}, "https", "/cgi/vdweb.cgi"},
        {{}, "file", "/vdweb"},
        {{{"SCRIPT_NAME", std::string(2000, 's')}}, "file", ""},  // too long: clean failure
    };
    for (auto& c : cases) {
        WCM_Request::reset_process_cache();
        c.env.emplace("REQUEST_METHOD", "GET");
        Req r("", c.env);
        EXPECT_STREQ(r.req.protocol(), c.protocol);
        EXPECT_STREQ(r.req.url(), c.url);
    }
    WCM_Request::reset_process_cache();
    Req dir("", {{"REQUEST_METHOD", "GET"}, {"SCRIPT_FILENAME", "/bin/sh"}});
    EXPECT_STREQ(dir.req.script_root(), "/bin");
    WCM_Request::reset_process_cache();
}

TEST(WcmRequest, BrowserDetection) {
    struct Case {
        const char* agent;
        int which;  // 0 IE, 1 NS4, 2 NS7, 3 Mozilla, 4 Safari
        int major, minor;
        const char* platform;
    } cases[] = {
        {"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)", 0, 5, 50, "Windows"},
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", 0, 6, 0, "Windows"},
        {"Mozilla/4.79 [en] (X11; U; Linux)", 1, 4, 79, "Unix"},
        {"Mozilla/5.0 (Windows; U) Gecko/20020823 Netscape/7.1", 2, 7, 10, "Windows"},
        {"Mozilla/5.0 (X11; U; Linux i686; rv:1.7.12) Gecko/20050920", 3, 1, 712, "Unix"},
        {"Mozilla/5.0 (Macintosh) AppleWebKit/85.7 (KHTML) Safari/85.5", 4, 1, 0, "Mac"},
    };
    for (const auto& c : cases) {
        WCM_Request::reset_process_cache();
        Req r("", {{"REQUEST_METHOD", "GET"}, {"HTTP_USER_AGENT", c.agent}});
        using Probe = bool (WCM_Request::*)(int&, int&) const;
        const Probe probes[5] = {&WCM_Request::IE_version, &WCM_Request::NS4_version,
                                 &WCM_Request::NS7_version, &WCM_Request::Mozilla_version,
                                 &WCM_Request::Safari_version};
        bool is[5];
        int major[5], minor[5];
        for (int i = 0; i < 5; ++i) is[i] = (r.req.*probes[i])(major[i], minor[i]);
        EXPECT_EQ(major[c.which], c.major) << c.agent;
        EXPECT_EQ(minor[c.which], c.minor) << c.agent;
        EXPECT_TRUE(is[c.which]) << c.agent;
        EXPECT_STREQ(r.req.client_platform(), c.platform);
    }
    WCM_Request::reset_process_cache();
}

TEST(WcmRequest, ParsingErrorDumpEscapesBytesItCouldNotConvert) {
    std::string body = "v=ab%FF%0Acd";
    Req r(body, post(body));
    EXPECT_EQ(r.req.status(), WCM_REQUEST_NOT_CONVERTED);
    std::string text = r.req.dump_parsing_error_text();
    EXPECT_NE(text.find("Value: ab%FF%0Acd\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\xff"), std::string::npos);
    EXPECT_EQ(text.find("ab\xff"), std::string::npos);
}

TEST(WcmRequest, DumpsMaskThePasswordAndNameFailures) {
    setenv("HTTP_COOKIE", "c=1", 1);
    std::string body = "password=secret&b%FFd=x&user=%3Cbob%3E";
    Req r(body, post(body));
    EXPECT_EQ(r.req.status(), WCM_REQUEST_NOT_CONVERTED);
    std::ostringstream html;
    r.req.dump_html(html);
    std::string h = html.str();
    EXPECT_NE(h.find("<h3>CGI Parameters</h3>"), std::string::npos);
    EXPECT_NE(h.find("<h3>Cookie Parameters</h3>\n<dl>\n<dt>c</dt>\n<dd>1</dd>"),
              std::string::npos);
    EXPECT_NE(h.find("<dt>password</dt>\n<dd>********</dd>"), std::string::npos);
    EXPECT_EQ(h.find("secret"), std::string::npos);
    EXPECT_NE(h.find("&lt;bob&gt;"), std::string::npos);

    std::string text = r.req.dump_parsing_error_text();
    EXPECT_EQ(text.rfind("VDSRV5014: Error: One or more characters in the string is not supported "
                         "by the server's operating system.\n",
                         0),
              0u);
    EXPECT_NE(text.find("VDSRV5015: Parameter Name: b%FFd\n"), std::string::npos);
    EXPECT_NE(text.find("VDSRV5016: Parameter Type: CGI\n"), std::string::npos);
    EXPECT_NE(text.find("VDSRV5021: Character at byte offset 1 is unavailable"), std::string::npos);
    EXPECT_NE(text.find("VDSRV5019: Name Unconverted: b%FFd\n"), std::string::npos);
    EXPECT_EQ(text.find("secret"), std::string::npos);
    std::string h2 = r.req.dump_parsing_error_html();
    EXPECT_NE(h2.find("<br>"), std::string::npos);
    unsetenv("HTTP_COOKIE");
}

TEST(WcmRequest, UploadPathnameOnlyFromRealUploads) {
    char tmpl[] = "/tmp/vdweb-req-XXXXXX";
    std::string tmp = mkdtemp(tmpl);
    setenv("VERDANE_TMP", tmp.c_str(), 1);
    fileutl_reset_tmpdir();

    // A plain form field or a header cannot name a file for an RPC to read or remove.
    std::string body = "filename=/etc/passwd";
    Env env = post(body);
    env.emplace("filename", tmp + "/QLMXuploadtmp/../../etc/shadow");
    Req forged(body, env);
    EXPECT_STREQ(forged.req.param("filename"), "/etc/passwd");
    EXPECT_EQ(forged.req.upload_pname(), nullptr);

    // A real upload is answered; when another part fails to decode, the upload is removed.
    // It lives as long as its request, unless an RPC takes it over.
    for (bool bad_field : {false, true}) {
        std::string mp = std::string("--BND\r\nContent-Disposition: form-data; name=\"c\"\r\n") +
                         "Content-Type: text/plain; charset=UTF-8\r\n\r\n" +
                         (bad_field ? "\xff" : "ok") +
                         "\r\n--BND\r\nContent-Disposition: form-data; name=\"up\"; "
                         "filename=\"f\"\r\n\r\ndata\r\n--BND--\r\n";
        Req up(mp, {{"REQUEST_METHOD", "POST"},
                    {"CONTENT_TYPE", "multipart/form-data; boundary=BND"},
                    {"CONTENT_LENGTH", std::to_string(mp.size())}});
        if (bad_field) {
            EXPECT_EQ(up.req.status(), WCM_REQUEST_NOT_CONVERTED);
            EXPECT_FALSE(std::filesystem::exists(up.req.param("filename")));
        } else {
            ASSERT_EQ(up.req.status(), WCM_REQUEST_OK);
            ASSERT_NE(up.req.upload_pname(), nullptr);
            EXPECT_TRUE(std::filesystem::exists(up.req.upload_pname()));
        }
    }
    for (bool taken : {false, true}) {
        std::string mp =
            "--BND\r\nContent-Disposition: form-data; name=\"up\"; filename=\"f\"\r\n\r\n"
            "data\r\n--BND--\r\n";
        std::string path;
        {
            Req up(mp, {{"REQUEST_METHOD", "POST"},
                        {"CONTENT_TYPE", "multipart/form-data; boundary=BND"},
                        {"CONTENT_LENGTH", std::to_string(mp.size())}});
            ASSERT_NE(up.req.upload_pname(), nullptr);
            path = up.req.upload_pname();
            if (taken) {
                EXPECT_EQ(up.req.take_upload(), path);
            }
        }
        EXPECT_EQ(std::filesystem::exists(path), taken) << (taken ? "taken over" : "left");
        std::filesystem::remove(path);
    }
    std::filesystem::remove_all(tmp);
    unsetenv("VERDANE_TMP");
    fileutl_reset_tmpdir();
}

// Sessions: saved in the user's own 0600 file with the password never in clear, found again
// by their id, numbered apart, and an id older than the timeout loses the password.
TEST(WcmSession, SavedFoundAndExpired) {
    char tmpl[] = "/tmp/vdweb-session-XXXXXX";
    const std::string root = mkdtemp(tmpl);
    WCM_Status st;
    WCM_Session first(root.c_str());
    first.set_user("ann", nullptr);
    first.set_password("p\"a%ss\nword");
    first.add_param("color", "blue \"sky\"");
    first.save(st);
    ASSERT_TRUE(st.is_ok());
    WCM_Session second(root.c_str());
    second.set_user("ann", nullptr);
    second.save(st);
    EXPECT_EQ(first.number(), 1);
    EXPECT_EQ(second.number(), 2);
    EXPECT_EQ(first.num_sessions("ann"), 2);

    const std::string file = root + "/ann/session.dat";
    struct stat sb;
    ASSERT_EQ(stat(file.c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0777, 0600u);
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("word"), std::string::npos) << text;

    WCM_Session loaded(root.c_str());
    loaded.load_session(first.encode_session_id().c_str(), st);
    ASSERT_EQ(st.status(), 0);
    EXPECT_STREQ(loaded.password(), "p\"a%ss\nword");
    EXPECT_STREQ(loaded.param("color"), "blue \"sky\"");
    EXPECT_EQ(loaded.number(), 1);

    // Unknown ids and numbers.
    for (const char* id : {"nonsense", ""}) {
        WCM_Session none(root.c_str());
        none.load_session(id, st);
        EXPECT_EQ(st.status(), TBS_ST_NOT_FOUND) << id;
    }
    std::string user, domain;
    int number = 0;
    long age = -1;
    ASSERT_TRUE(WCM_Session::decode_session_id(second.encode_session_id().c_str(), &user, &domain,
                                               &number, &age));
    EXPECT_EQ(user, "ann");
    EXPECT_EQ(domain, "");
    EXPECT_EQ(number, 2);
    EXPECT_LE(age, 1);

    // An old id: the session is found without its password.
    char old_id[800];
    std::string plain =
        "ann:.:1:" + std::to_string(time(nullptr) - WCM_Session::TIMEOUT_DEFAULT - 5);
    ASSERT_EQ(strutl_extract_head(plain.c_str(), old_id, sizeof old_id), 0);
    WCM_Session expired(root.c_str());
    expired.load_session(old_id, st);
    EXPECT_EQ(st.status(), TBS_ST_SESSION_EXPIRED);
    EXPECT_EQ(expired.password(), nullptr);
    EXPECT_STREQ(expired.param("color"), "blue \"sky\"");
    std::filesystem::remove_all(root);
}
