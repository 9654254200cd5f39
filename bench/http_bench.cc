// What serving through a CGI program costs.
//
//   bench_http [--requests N] [--parts P] [--part-size BYTES] [--rounds R]
//
// (a) Per request: get_version_separator_rpc answered by vdweb.cgi started directly, next to
//     starting /bin/true (the floor of any process per request); then the same RPC through
//     lighttpd, next to lighttpd serving a small static file, sequential requests on one
//     connection. N runs each; --requests 0 leaves this section out.
// (b) Streaming: compute_primes_rpc sending P parts of BYTES each through lighttpd to a
//     client that discards them, next to lighttpd serving a static file of the same size.
//     The same number of bytes also goes through a second lighttpd, configured alike, from
//     bench_cgi_relay, a CGI program that only writes them: the most any CGI program can
//     get out of lighttpd's relay. After a warm-up transfer of each, R rounds each make one
//     transfer of all three, taking turns at the order; the medians of the rates and of
//     the per-round ratios are reported.
#include <curl/curl.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/cgi_process.h"
#include "e2e/lighttpd_server.h"
#include "e2e/multipart.h"
#include "e2e/test_users.h"
#include "site_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void die(const std::string& why) {
    fprintf(stderr, "bench_http: %s\n", why.c_str());
    exit(1);
}

struct Options {
    int requests = 200;
    long parts = 10000;
    long part_size = 64 * 1024;
    int rounds = 7;
};

Options parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) die("missing value after " + a);
        long v = atol(argv[++i]);
        if (v < 0 || (v == 0 && a != "--requests")) die("bad value for " + a);
        if (a == "--requests")
            o.requests = static_cast<int>(v);
        else if (a == "--rounds")
            o.rounds = static_cast<int>(v);
        else if (a == "--parts")
            o.parts = v;
        else if (a == "--part-size")
            o.part_size = v;
        else
            die("unknown option " + a +
                " (--requests N, --parts P, --part-size BYTES, --rounds R)");
    }
    return o;
}

// Counts what arrives and, for an RPC's answer, frames its parts by their lengths as they
// arrive (contents dropped at once: copying them would make the client, not the server, the
// measure), to check that the answer was complete and its status 0.
struct Sink {
    unsigned long long bytes = 0;
    std::unique_ptr<e2e::MultipartReader> reader;  // null for an answer that is no RPC's
    std::string last_status;                       // of the last part read, when a status

    static size_t write(char* data, size_t size, size_t n, void* user) {
        auto* s = static_cast<Sink*>(user);
        size_t len = size * n;
        s->bytes += len;
        if (s->reader) {
            s->reader->feed(std::string_view(data, len));
            for (const e2e::Part& p : s->reader->take_parts()) {
                const std::string* code = p.name() == "Status" ? p.header("Status") : nullptr;
                s->last_status = code ? *code : "";
            }
        }
        return len;
    }
    // The trailer arrived after a status part that says 0.
    bool answered_ok() const { return reader && reader->complete() && last_status == "0"; }
};

// One reused handle: sequential requests share a connection, as a real client's would.
class Client {
public:
    Client() : curl_(curl_easy_init()) {
        if (!curl_) die("curl_easy_init failed");
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &Sink::write);
    }
    ~Client() { curl_easy_cleanup(curl_); }

    // POST (an RPC, its answer framed) when body is given, else GET. Returns what was
    // received; dies on failure.
    Sink fetch(const std::string& url, const std::string* body) {
        Sink sink;
        if (body) {
            sink.reader =
                std::make_unique<e2e::MultipartReader>(e2e::MultipartReader::Start::FIRST_BOUNDARY);
            sink.reader->keep_content(false);
        }
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &sink);
        if (body) {
            curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body->data());
            curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(body->size()));
        } else {
            curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
        }
        CURLcode rc = curl_easy_perform(curl_);
        long status = 0;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
        if (rc != CURLE_OK || status != 200)
            die(url + ": " + curl_easy_strerror(rc) + ", HTTP " + std::to_string(status));
        return sink;
    }

private:
    CURL* curl_;
};

void row(const char* label, double value, const char* unit) {
    printf("  %-44s %10.3f %s\n", label, value, unit);
}

// Wall time and minor page faults per run, the faults from the children's resource usage.
struct PerRun {
    double ms = 0;
    double minflt = 0;
};

template <class F>
PerRun measure_runs(int n, F&& run_once) {
    run_once();  // warm the page cache
    struct rusage before {
    }, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    Clock::time_point start = Clock::now();
    for (int i = 0; i < n; ++i) run_once();
    PerRun r;
    r.ms = since(start) * 1000.0 / n;
    getrusage(RUSAGE_CHILDREN, &after);
    r.minflt = static_cast<double>(after.ru_minflt - before.ru_minflt) / n;
    return r;
}

void per_request_direct(const Options& o, const std::string& body) {
    e2e::TempSite site;
    if (!site.ok()) die("cannot create a site");
    const e2e::Env env = e2e::form_post_env(body);
    auto cgi = [&](const e2e::Env& e) {
        return [&, e] {
            e2e::CgiResult r = e2e::run_cgi(site.home(), e, body);
            if (r.exit_code != 0 || !e2e::read_response(r.out).ended_ok())
                die("vdweb.cgi did not answer: " + r.err + r.out.substr(0, 600));
        };
    };
    const PerRun anonymous = measure_runs(o.requests, cgi(env));
    // A logged-in user, as every real client is (the login checked lately, so cached).
    std::string why;
    PerRun logged_in;
    const bool users = e2e::ensure_test_users(&why);
    if (users) {
        e2e::Env with_login = env;
        with_login.push_back({"VDWEB_ALLOW_ANONYMOUS", "0"});
        with_login.push_back({"HTTP_AUTHORIZATION", e2e::basic_auth(e2e::kAlice)});
        logged_in = measure_runs(o.requests, cgi(with_login));
    }
    const PerRun floor = measure_runs(o.requests, [&] {
        e2e::CgiResult r = e2e::run_program("/bin/true", {}, "");
        if (r.exit_code != 0) die("/bin/true failed");
    });
    // git http-backend answering a clone's first request of an empty repository.
    PerRun git;
    const std::string backend = bench::git_backend_path();
    if (!backend.empty()) {
        const std::string repo = site.home() + "/git/r.git";
        if (bench::command_output("git init -q --bare " + repo + " && echo ok") != "ok")
            die("cannot make a git repository");
        const e2e::Env genv = {{"REQUEST_METHOD", "GET"},
                               {"GIT_PROJECT_ROOT", site.home() + "/git"},
                               {"GIT_HTTP_EXPORT_ALL", "1"},
                               {"PATH_INFO", "/r.git/info/refs"},
                               {"QUERY_STRING", "service=git-upload-pack"},
                               {"PATH", "/usr/bin:/bin"}};
        git = measure_runs(o.requests, [&] {
            e2e::CgiResult r = e2e::run_program(backend.c_str(), genv, "");
            if (r.exit_code != 0) die("git http-backend failed: " + r.err);
        });
    }
    printf("per request, process started directly (%d runs each): time, minor page faults\n",
           o.requests);
    auto line = [](const char* label, const PerRun& r) {
        printf("  %-44s %8.3f ms %8.0f faults\n", label, r.ms, r.minflt);
    };
    line("vdweb.cgi get_version_separator_rpc", anonymous);
    if (users)
        line("vdweb.cgi, the same logged in", logged_in);
    else
        printf("  (no test users: %s)\n", why.c_str());
    line("/bin/true", floor);
    if (!backend.empty()) line("git http-backend info/refs", git);
    const PerRun& mine = users ? logged_in : anonymous;
    printf("  %-44s %8.2f x (target 2 x or less)\n", "vdweb.cgi / true", mine.ms / floor.ms);
    if (!backend.empty())
        printf("  %-44s %8.2f x (target below 1 x)\n", "vdweb.cgi / git faults",
               mine.minflt / git.minflt);
}

void per_request_http(const Options& o, e2e::LighttpdServer& server, const std::string& body) {
    Client client;
    const std::string rpc_url = server.url();
    const std::string static_url = server.url(e2e::LighttpdServer::kStaticFile);
    auto time_requests = [&](const std::string& url, const std::string* post) {
        client.fetch(url, post);
        Clock::time_point start = Clock::now();
        for (int i = 0; i < o.requests; ++i) {
            Sink s = client.fetch(url, post);
            if (post && !s.answered_ok()) die("incomplete response from " + url);
        }
        return since(start) * 1000.0 / o.requests;
    };
    double rpc = time_requests(rpc_url, &body);
    double file = time_requests(static_url, nullptr);
    printf("per request, through lighttpd (%d sequential requests each, one connection):\n",
           o.requests);
    row("POST /vdweb get_version_separator_rpc", rpc, "ms");
    row("GET static file", file, "ms");
    row("difference", rpc - file, "ms");
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void streaming(const Options& o, e2e::LighttpdServer& server, e2e::LighttpdServer& relay) {
    Client client;
    const std::string args = "primeCount=" + std::to_string(o.parts) +
                             "\nperiodInSeconds=0\nbodySize=" + std::to_string(o.part_size) + "\n";
    const std::string body = e2e::form_body("VDW_Vdcore::compute_primes_rpc", args.c_str());
    const std::string rpc_url = server.url();
    const std::string name = "stream-sized.bin";
    const std::string file_url = server.url("/" + name);

    // Seconds for one transfer, checked for completeness.
    unsigned long long stream_bytes = 0;
    auto stream_once = [&] {
        Clock::time_point start = Clock::now();
        Sink s = client.fetch(rpc_url, &body);
        double t = since(start);
        if (!s.answered_ok()) die("the compute_primes stream ended early or failed");
        if (stream_bytes && s.bytes != stream_bytes) die("the compute_primes stream changed size");
        stream_bytes = s.bytes;
        return t;
    };
    auto fetch_once = [&](const std::string& url, const char* what) {
        Clock::time_point start = Clock::now();
        unsigned long long got = client.fetch(url, nullptr).bytes;
        double t = since(start);
        if (got != stream_bytes) die(std::string(what) + " arrived short");
        return t;
    };

    // The warm-up stream loads the program and libraries and gives the size of the static
    // file, which is then read once into the page cache.
    stream_once();
    {
        std::ofstream f(server.site().home() + "/htdocs/" + name, std::ios::binary);
        std::string block(1 << 20, 'p');
        for (unsigned long long left = stream_bytes; left > 0;) {
            size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
            f.write(block.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
        if (!f) die("cannot write the static file");
    }
    const std::string relay_url = relay.url("/vdweb?" + std::to_string(stream_bytes));
    auto file_once = [&] { return fetch_once(file_url, "static file"); };
    auto relay_once = [&] { return fetch_once(relay_url, "minimal CGI stream"); };
    file_once();
    relay_once();

    // Rounds of one transfer of each, rotating the order, so that whatever else the machine
    // does at a given moment weighs on all alike. Each round gives ratios; the medians hide
    // the occasional round that another process disturbed.
    const double mib = static_cast<double>(stream_bytes) / (1024.0 * 1024.0);
    std::vector<double> stream_rate, file_rate, relay_rate, ratio, relay_ratio, own_ratio;
    for (int round = 0; round < o.rounds; ++round) {
        double t[3] = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            int which = (round + k) % 3;
            t[which] = which == 0 ? stream_once() : which == 1 ? file_once() : relay_once();
        }
        stream_rate.push_back(mib / t[0]);
        file_rate.push_back(mib / t[1]);
        relay_rate.push_back(mib / t[2]);
        ratio.push_back(stream_rate.back() / file_rate.back());
        relay_ratio.push_back(relay_rate.back() / file_rate.back());
        own_ratio.push_back(stream_rate.back() / relay_rate.back());
    }

    printf(
        "streaming through lighttpd to a discarding client (%ld parts of %ld bytes, "
        "%.1f MiB; median of %d rounds):\n",
        o.parts, o.part_size, mib, o.rounds);
    row("vdweb.cgi compute_primes_rpc", median(stream_rate), "MiB/s");
    row("minimal CGI writing the same bytes", median(relay_rate), "MiB/s");
    row("static file of the same size", median(file_rate), "MiB/s");
    row("ratio (CGI stream / static file)", median(ratio), "");
    row("ratio (minimal CGI / static file)", median(relay_ratio), "");
    row("ratio (CGI stream / minimal CGI)", median(own_ratio), "");
    printf("  %-44s", "ratio to static file per round");
    for (double r : ratio) printf(" %.2f", r);
    printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    Options o = parse_options(argc, argv);
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) die("curl_global_init failed");
    const std::string separator = e2e::form_body("VDW_Vdcore::get_version_separator_rpc");
    if (o.requests > 0) per_request_direct(o, separator);
    {
        e2e::LighttpdServer server;
        if (!server.started()) die(server.failure());
        if (o.requests > 0) per_request_http(o, server, separator);
        e2e::LighttpdServer relay(e2e::Settings{}, VDWEB_CGI_RELAY_PATH);
        if (!relay.started()) die(relay.failure());
        streaming(o, server, relay);
    }
    curl_global_cleanup();
    return 0;
}
