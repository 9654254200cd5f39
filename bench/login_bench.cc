// What logging in costs, through lighttpd, and how long an answered question takes to let its
// operation go on.
//
//   bench_login [--requests N]
//
// (a) Per request, sequential on one keep-alive connection, on a site that requires a login:
//     get_version_separator_rpc with credentials (the login checked at the start of every
//     request), login_rpc with credentials, and login_rpc with the site's login cache emptied
//     before each request (the full PAM check); next to get_version_separator_rpc on a site
//     that lets anonymous requests run (no login at all). N requests each, medians.
// (b) Interaction round trip: a pre-checkin trigger asks with vdprompt; the time from the
//     answer's request (interaction_response_rpc through vdweb.cgi) to the checkin's end.
//
// Needs the test accounts (made on first use, which needs root).
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/stg/stg.h"
#include "e2e/cgi_process.h"
#include "e2e/lighttpd_server.h"
#include "e2e/multipart.h"
#include "e2e/question_inbox.h"
#include "e2e/test_users.h"
#include "interact/ireq_msg.h"
#include "interact/ireq_request.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& why) {
    fprintf(stderr, "bench_login: %s\n", why.c_str());
    exit(1);
}

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

size_t discard(char*, size_t size, size_t n, void*) {
    return size * n;
}

// One keep-alive connection, optionally logging in with HTTP Basic.
class Client {
public:
    explicit Client(const std::string* login) : curl_(curl_easy_init()) {
        if (!curl_) die("curl_easy_init failed");
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, discard);
        if (login) {
            curl_easy_setopt(curl_, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
            curl_easy_setopt(curl_, CURLOPT_USERPWD, login->c_str());
        }
    }
    ~Client() { curl_easy_cleanup(curl_); }
    void post(const std::string& url, const std::string& body) {
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        CURLcode rc = curl_easy_perform(curl_);
        long status = 0;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
        if (rc != CURLE_OK || status != 200)
            die(url + ": " + curl_easy_strerror(rc) + ", HTTP " + std::to_string(status));
    }

private:
    CURL* curl_;
};

void row(const char* label, double value) {
    printf("  %-58s %8.2f ms\n", label, value);
}

void login_costs(int requests) {
    const std::string separator = e2e::form_body("VDW_Vdcore::get_version_separator_rpc");
    const std::string login_args =
        "trace_subsys=\ntrace_level=0\nmeter=0\nmin_clnt_proto_ver=1\nmax_clnt_proto_ver=6\n"
        "clienttype=ClientType.CLI\nclient_supports_tnweb_browser=0\nserver_cache_tnlogin=0\n";
    const std::string login = e2e::form_body("VDW_Vdcore::login_rpc", login_args.c_str());
    const std::string user = std::string(e2e::kAlice.name) + ":" + e2e::kAlice.password;

    e2e::LighttpdServer secured({}, {}, {}, /*allow_anonymous=*/false);
    e2e::LighttpdServer open_site;
    if (!secured.started()) die(secured.failure());
    if (!open_site.started()) die(open_site.failure());
    const std::string logins = secured.site().home() + "/tmp/logins";

    auto measure = [&](Client& c, const std::string& url, const std::string& body, bool cold) {
        c.post(url, body);  // warm up
        std::vector<double> times;
        for (int i = 0; i < requests; ++i) {
            if (cold) std::filesystem::remove_all(logins);
            Clock::time_point start = Clock::now();
            c.post(url, body);
            times.push_back(ms_since(start));
        }
        return median(times);
    };
    Client anonymous(nullptr), alice(&user);
    double none = measure(anonymous, open_site.url(), separator, false);
    double sep = measure(alice, secured.url(), separator, false);
    double log = measure(alice, secured.url(), login, false);
    double pam = measure(alice, secured.url(), login, true);
    printf("per request through lighttpd (median of %d, one connection each):\n", requests);
    row("get_version_separator_rpc, no login (anonymous site)", none);
    row("get_version_separator_rpc with credentials", sep);
    row("login_rpc with credentials (login checked lately)", log);
    row("login_rpc with credentials, full PAM check each time", pam);
    row("login path added to a request (separator: credentials - none)", sep - none);
    row("login_rpc over separator, both with credentials", log - sep);
}

void interaction_round_trip(int rounds) {
    TempDir site;
    ScopedHome home(site.path());
    const imsg_redirect_table_t saved = redirect_messages(drop_message, nullptr);
    Captured cap;
    if (run_vdtool(&cap, {"mkvob", "-tag", "/vobs/b", site / "b.vbs"}) != 0) die("mkvob failed");
    const std::string src = write_file(site / "f.txt", "one\n");
    if (mkelem_ci("/vobs/b/f.txt", false, src) != 0) die("mkelem failed");
    const std::string exec = std::string(VDPROMPT_PATH) + " proceed -prompt go -default abort";
    if (run_vdtool(&cap, {"mktrtype", "-element", "-all", "-preop", "checkin", "-exec", exec,
                          "ask@/vobs/b"}) != 0)
        die("mktrtype failed");
    e2e::QuestionInbox asked;
    if (ireq_listener_start(&e2e::QuestionInbox::deliver, &asked) != 0)
        die("listener did not start");
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        write_file(src, "round " + std::to_string(i) + "\n");
        if (run_vdtool(&cap, {"checkout", "-nc", "/vobs/b/f.txt"}) != 0) die("checkout failed");
        auto checkin = std::async(std::launch::async, [&] {
            Captured mine;
            return run_vdtool(&mine, {"checkin", "-nc", "-from", src, "/vobs/b/f.txt"});
        });
        const std::string question = asked.next(static_cast<size_t>(i));
        if (question.empty()) die("no question arrived");
        stg_area_t* area = stg_create_area(4096);
        ireq_msg_t* q = ireq_msg_from_string(area, question.c_str());
        const char* conn = nullptr;
        const char* seq = nullptr;
        ireq_msg_get_element(q, "MsgConnection", &conn);
        ireq_msg_get_element(q, "MsgSeqID", &seq);
        const std::string args =
            std::string("MsgProtocol=Vdprompt\nMsgVersion=1.0\nMsgConnection=") + conn +
            "\nMsgSeqID=" + seq + "\nMsgType=Message\nResponse=proceed\n";
        stg_delete_area(area);
        const std::string body =
            e2e::form_body("VDW_Vdcore::interaction_response_rpc", args.c_str());
        Clock::time_point start = Clock::now();
        e2e::CgiResult r = e2e::run_cgi(site.path(), e2e::form_post_env(body), body);
        if (r.exit_code != 0) die("answer failed: " + r.err);
        if (checkin.get() != 0) die("checkin failed after the answer");
        times.push_back(ms_since(start));
    }
    ireq_listener_stop();
    imsg_set_redirect_table(saved);
    printf("interaction round trip (median of %d):\n", rounds);
    row("answer request sent -> operation done (trigger via vdprompt)", median(times));
}

}  // namespace

int main(int argc, char** argv) {
    int requests = 100;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--requests" && i + 1 < argc)
            requests = atoi(argv[++i]);
        else
            die("usage: bench_login [--requests N]");
    }
    if (requests < 1) die("--requests needs a positive number");
    std::string why;
    if (!e2e::ensure_test_users(&why)) die(why);
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) die("curl_global_init failed");
    login_costs(requests);
    interaction_round_trip(std::min(requests, 20));
    curl_global_cleanup();
    return 0;
}
