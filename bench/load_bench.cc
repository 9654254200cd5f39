// Many clients at once through lighttpd, and slow clients holding requests open.
//
//   bench_load [--seconds S] [--clients N[,N...]] [--slow N] [--slow-seconds S] [--normal N]
//   bench_load --hosts [--seconds S] [--clients N[,N...]]
//
// (a) Load: for each client count N (default 50, then 200), N clients each send requests
//     back to back for S seconds (default 30) on one keep-alive connection, on three
//     workloads in turn: POST get_version_separator_rpc, POST compute_primes_rpc sending 10
//     parts of 64 KiB, and, for comparison, git http-backend answering
//     GET /git/<repo>/info/refs?service=git-upload-pack from the same lighttpd, and the
//     least any CGI program costs (bench_cgi_relay writing a header and one byte, under a
//     second lighttpd configured alike). Each row
//     gives the rate, the median and 99th percentile latencies, the errors (a curl error,
//     a status other than 200, or a response that does not end as it must: the multipart
//     trailer for vdweb.cgi, a flush packet for git), the peak of the summed resident size
//     (VmRSS) of all processes below lighttpd, sampled every 20 ms, and the CPU that the
//     client, lighttpd, the CGI processes and the rest of the machine used (other work on
//     the machine shows there). --seconds 0 leaves this section out.
// (b) Slow clients: N slow clients (default 300) each send the headers of a form POST and
//     then a few bytes of its body a second, never reaching the declared length, while
//     --normal clients (default 20) run get_version_separator_rpc back to back for
//     --slow-seconds (default 15). Once with the site's configuration
//     (server.stream-request-body = 2, lighttpd starts vdweb.cgi at the headers), once with
//     server.stream-request-body = 0 (lighttpd keeps the body until it is complete). Each
//     row gives the normal clients' figures, how many vdweb.cgi processes there were, the
//     memory they and lighttpd held, and how many slow clients the server dropped or
//     answered. --slow-seconds 0 leaves this section out.
// (c) Web hosts (--hosts, which runs this section alone): several web hosts in front of one
//     store. On a site keeping its store in a throw-away PostgreSQL cluster, one lighttpd and
//     then two (two ports, the same site home, each configured as the site's), N clients
//     (default 50) spread evenly over the hosts for S seconds, on two workloads: POST
//     get_version_separator_rpc with alice's credentials (her login checked at the start of
//     every request), and POST get_history_rpc of a file in her web view with them (reads
//     the registry, the view and the VOB). The same site on SQLite with one host is the
//     reference row. Rows as in (a); peak MiB and procs are the hosts' figures added up.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "e2e/lighttpd_server.h"
#include "e2e/multipart.h"
#include "e2e/rpc_client.h"
#include "e2e/test_users.h"
#include "site_support.h"

namespace {

using bench::children_of;
using bench::read_proc;
using bench::resident_pages;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void die(const std::string& why) {
    fprintf(stderr, "bench_load: %s\n", why.c_str());
    exit(1);
}

struct Options {
    int seconds = 30;
    std::vector<int> clients;  // the mode's own counts unless given
    int slow = 300;
    int slow_seconds = 15;
    int normal = 20;
    bool hosts = false;
};

std::vector<int> parse_list(const std::string& text) {
    std::vector<int> list;
    for (size_t at = 0; at <= text.size();) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        int v = atoi(text.substr(at, comma - at).c_str());
        if (v <= 0) die("bad client count in " + text);
        list.push_back(v);
        at = comma + 1;
    }
    return list;
}

Options parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--hosts") {
            o.hosts = true;
            continue;
        }
        if (i + 1 >= argc) die("missing value after " + a);
        std::string value = argv[++i];
        int v = atoi(value.c_str());
        bool zero_ok = a == "--seconds" || a == "--slow-seconds";
        if (a != "--clients" && (v < 0 || (v == 0 && !zero_ok))) die("bad value for " + a);
        if (a == "--seconds")
            o.seconds = v;
        else if (a == "--clients")
            o.clients = parse_list(value);
        else if (a == "--slow")
            o.slow = v;
        else if (a == "--slow-seconds")
            o.slow_seconds = v;
        else if (a == "--normal")
            o.normal = v;
        else
            die("unknown option " + a +
                " (--seconds S, --clients N[,N...], --slow N, --slow-seconds S, --normal N, "
                "--hosts)");
    }
    return o;
}

// Enough descriptors for every client socket. lighttpd inherits the limit; what it uses of
// it is its server.max-fds, 4096 unless set (see slow_row).
void raise_fd_limit() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0) return;
    rlim_t want = r.rlim_max == RLIM_INFINITY ? 65536 : r.rlim_max;
    if (r.rlim_cur >= want) return;
    r.rlim_cur = want;
    setrlimit(RLIMIT_NOFILE, &r);
}

// Watches the processes below a server on a thread of its own: every `every`, the summed
// resident size of all of them (a CGI program and whatever it starts) and how many of them
// are the server's own children (the CGI processes). Shared pages count in every process
// that maps them, as the sum of VmRSS does.
class ProcessSampler {
public:
    struct Figures {
        double peak_rss_mib = 0;
        int peak_processes = 0;  // all below the server
        int min_cgi = 0, max_cgi = 0;
        double mean_cgi = 0;
    };

    ProcessSampler(pid_t root, std::chrono::milliseconds every)
        : root_(root), every_(every), thread_([this] { run(); }) {}
    ~ProcessSampler() {
        stop_ = true;
        thread_.join();
    }

    // The figures since the last call, which starts a new window.
    Figures take() {
        std::lock_guard<std::mutex> lock(mu_);
        Figures f;
        f.peak_rss_mib = static_cast<double>(peak_pages_) * page_ / (1024.0 * 1024.0);
        f.peak_processes = peak_processes_;
        f.min_cgi = samples_ ? min_cgi_ : 0;
        f.max_cgi = max_cgi_;
        f.mean_cgi = samples_ ? static_cast<double>(sum_cgi_) / samples_ : 0;
        peak_pages_ = 0;
        peak_processes_ = max_cgi_ = 0;
        min_cgi_ = INT_MAX;
        sum_cgi_ = samples_ = 0;
        return f;
    }

    // CGI processes at the latest sample.
    int current_cgi() const { return last_cgi_; }

private:
    void run() {
        while (!stop_) {
            sample();
            std::this_thread::sleep_for(every_);
        }
    }

    void sample() {
        std::vector<pid_t> todo = children_of(root_);
        const int cgi = static_cast<int>(todo.size());
        long pages = 0;
        int processes = 0;
        while (!todo.empty()) {
            pid_t pid = todo.back();
            todo.pop_back();
            ++processes;
            pages += resident_pages(pid);
            for (pid_t child : children_of(pid)) todo.push_back(child);
        }
        last_cgi_ = cgi;
        std::lock_guard<std::mutex> lock(mu_);
        peak_pages_ = std::max(peak_pages_, pages);
        peak_processes_ = std::max(peak_processes_, processes);
        min_cgi_ = std::min(min_cgi_, cgi);
        max_cgi_ = std::max(max_cgi_, cgi);
        sum_cgi_ += cgi;
        ++samples_;
    }

    const pid_t root_;
    const std::chrono::milliseconds every_;
    const long page_ = sysconf(_SC_PAGESIZE);
    std::atomic<bool> stop_{false};
    std::atomic<int> last_cgi_{0};
    std::mutex mu_;
    long peak_pages_ = 0;
    int peak_processes_ = 0;
    int min_cgi_ = INT_MAX, max_cgi_ = 0;
    long sum_cgi_ = 0, samples_ = 0;
    std::thread thread_;  // last: starts once the rest is in place
};

// CPU seconds of this process (every client thread), of the lighttpd servers, of their
// reaped children (the CGI programs that have ended, with whatever they started), and of
// the whole machine: what the rest of the machine used besides tells how quiet it was.
struct CpuTimes {
    double client = 0, server = 0, cgi = 0, machine = 0;

    static CpuTimes now(const std::vector<pid_t>& server_pids) {
        CpuTimes t;
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        auto secs = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
        t.client = secs(ru.ru_utime) + secs(ru.ru_stime);
        const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
        char buf[1024];
        for (pid_t server_pid : server_pids) {
            if (!read_proc("/proc/" + std::to_string(server_pid) + "/stat", buf, sizeof buf))
                continue;
            // After "(comm)": state and ten more fields, then utime stime cutime cstime.
            const char* p = strrchr(buf, ')');
            unsigned long long ut = 0, st = 0;
            long long cut = 0, cst = 0;
            if (p &&
                sscanf(p + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu %lld %lld",
                       &ut, &st, &cut, &cst) == 4) {
                t.server += static_cast<double>(ut + st) / tick;
                t.cgi += static_cast<double>(cut + cst) / tick;
            }
        }
        // "cpu  user nice system idle iowait irq softirq steal ...": all but idle and iowait.
        unsigned long long v[8] = {};
        if (read_proc("/proc/stat", buf, sizeof buf) &&
            sscanf(buf, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2], &v[3],
                   &v[4], &v[5], &v[6], &v[7]) == 8)
            t.machine = static_cast<double>(v[0] + v[1] + v[2] + v[5] + v[6] + v[7]) / tick;
        return t;
    }
};

// What a response must end with to be complete; an RPC's answer (kRpcAnswer) is framed
// part by part by its lengths instead, and must end with a status part that says 0.
const std::string* const kRpcAnswer = nullptr;
const std::string kOneByte = "p";
const std::string kFlushPacket = "0000";

struct Workload {
    std::string name;
    std::string url;
    std::string body;           // a form POST when not empty, else a GET
    const std::string* ending;  // kRpcAnswer for vdweb.cgi's answers
    std::string login = {};     // "user:password" for HTTP Basic credentials, when not empty
};

// What one client thread saw. Only the last bytes of a response are kept, and an RPC's
// answer is framed without keeping its contents: copying them all would make the client,
// not the server, the measure.
struct Tally {
    static constexpr size_t kTail = 64;
    std::vector<float> latency_ms;
    long errors = 0;
    std::string first_error;
    std::string tail;
    std::optional<e2e::MultipartReader> reader;  // the RPC answer being read
    std::string last_status;                     // of its last part, when a status

    void fail(std::string why) {
        if (errors++ == 0) first_error = std::move(why);
    }

    static size_t write(char* data, size_t size, size_t n, void* user) {
        auto* t = static_cast<Tally*>(user);
        size_t len = size * n;
        if (t->reader) {
            t->reader->feed(std::string_view(data, len));
            for (const e2e::Part& p : t->reader->take_parts()) {
                const std::string* code = p.name() == "Status" ? p.header("Status") : nullptr;
                t->last_status = code ? *code : "";
            }
        }
        if (len >= kTail) {
            t->tail.assign(data + len - kTail, kTail);
        } else {
            t->tail.append(data, len);
            if (t->tail.size() > kTail) t->tail.erase(0, t->tail.size() - kTail);
        }
        return len;
    }
};

bool ends_with(const std::string& tail, const std::string& ending) {
    return tail.size() >= ending.size() &&
           tail.compare(tail.size() - ending.size(), ending.size(), ending) == 0;
}

// A handle for the workload; reused, its requests share a keep-alive connection.
CURL* make_handle(const Workload& w, Tally* t) {
    CURL* curl = curl_easy_init();
    if (!curl) die("curl_easy_init failed");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 120L);
    curl_easy_setopt(curl, CURLOPT_URL, w.url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Tally::write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, t);
    if (!w.login.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERPWD, w.login.c_str());
    }
    if (!w.body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, w.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(w.body.size()));
    }
    return curl;
}

// One request; a failure is counted in the tally.
void request(CURL* curl, const Workload& w, Tally* t) {
    t->tail.clear();
    t->reader.reset();
    t->last_status.clear();
    if (w.ending == kRpcAnswer) {
        t->reader.emplace(e2e::MultipartReader::Start::FIRST_BOUNDARY);
        t->reader->keep_content(false);
    }
    CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (rc != CURLE_OK)
        t->fail(curl_easy_strerror(rc));
    else if (status != 200)
        t->fail("HTTP " + std::to_string(status));
    else if (w.ending == kRpcAnswer ? !t->reader->complete() || t->last_status != "0"
                                    : !ends_with(t->tail, *w.ending))
        t->fail("incomplete response");
}

// One client: requests back to back from the start until the deadline.
void client_loop(const Workload& w, std::latch& ready, const Clock::time_point& deadline,
                 Tally* t) {
    CURL* curl = make_handle(w, t);
    t->latency_ms.reserve(8192);
    ready.arrive_and_wait();  // the deadline is set once every client is here
    while (Clock::now() < deadline) {
        Clock::time_point begin = Clock::now();
        request(curl, w, t);
        t->latency_ms.push_back(static_cast<float>(since(begin) * 1000.0));
    }
    curl_easy_cleanup(curl);
}

struct RunFigures {
    long requests = 0;
    double seconds = 0;
    double p50 = 0, p99 = 0;
    long errors = 0;
    std::string first_error;
    CpuTimes cpu;  // used during the run
};

double percentile(std::vector<float>& v, double q) {
    if (v.empty()) return 0;
    size_t k = std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

// `clients` threads for `seconds`, client i sending the workload `per_host[i % hosts]`: one
// workload, on as many hosts as given. The time counts until the last request started
// before the deadline has ended.
RunFigures run_clients(const std::vector<Workload>& per_host, int clients, int seconds,
                       const std::vector<pid_t>& server_pids) {
    std::vector<Tally> tallies(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    std::latch ready(clients + 1);
    Clock::time_point deadline;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back(
            client_loop, std::cref(per_host[static_cast<size_t>(i) % per_host.size()]),
            std::ref(ready), std::cref(deadline), &tallies[static_cast<size_t>(i)]);
    CpuTimes before = CpuTimes::now(server_pids);
    const Clock::time_point start = Clock::now();
    deadline = start + std::chrono::seconds(seconds);
    ready.arrive_and_wait();
    for (std::thread& t : threads) t.join();
    RunFigures f;
    f.seconds = since(start);
    CpuTimes after = CpuTimes::now(server_pids);
    f.cpu = {after.client - before.client, after.server - before.server, after.cgi - before.cgi,
             after.machine - before.machine};
    std::vector<float> all;
    for (Tally& t : tallies) {
        all.insert(all.end(), t.latency_ms.begin(), t.latency_ms.end());
        if (t.errors && f.errors == 0) f.first_error = t.first_error;
        f.errors += t.errors;
    }
    f.requests = static_cast<long>(all.size());
    f.p50 = percentile(all, 0.50);
    f.p99 = percentile(all, 0.99);
    return f;
}

// One request of the workload, which must succeed: it checks the setup and loads the
// programs into the page cache before anything is timed.
void warm_up(const Workload& w, const e2e::LighttpdServer& server) {
    Tally t;
    CURL* curl = make_handle(w, &t);
    request(curl, w, &t);
    curl_easy_cleanup(curl);
    if (t.errors) die(w.name + " does not answer (" + t.first_error + "): " + server.error_log());
}

// A bare repository with one commit, made without a work tree: a blob, a tree holding it,
// a commit of the tree.
void make_repository(const std::string& dir) {
    const std::string script =
        "set -e\n"
        "export GIT_AUTHOR_NAME=bench GIT_AUTHOR_EMAIL=bench@localhost\n"
        "export GIT_COMMITTER_NAME=bench GIT_COMMITTER_EMAIL=bench@localhost\n"
        "g=\"git --git-dir=" +
        dir +
        "\"\n"
        "git init -q --bare \"" +
        dir +
        "\"\n"
        "blob=$(echo hello | $g hash-object -w --stdin)\n"
        "tree=$(printf '100644 blob %s\\tREADME\\n' \"$blob\" | $g mktree)\n"
        "commit=$($g commit-tree \"$tree\" -m 'first commit' </dev/null)\n"
        "$g update-ref HEAD \"$commit\"\n";
    if (system(script.c_str()) != 0) die("cannot make the git repository " + dir);
}

// The proportional set size (Pss) of every process below the server, summed once, in
// MiB: what they hold together, each shared page divided among those that map it. Read
// once a row, as walking every page table is too slow to sample.
double pss_mib(pid_t root) {
    long kib = 0;
    std::vector<pid_t> todo = children_of(root);
    while (!todo.empty()) {
        pid_t pid = todo.back();
        todo.pop_back();
        char buf[4096];
        if (read_proc("/proc/" + std::to_string(pid) + "/smaps_rollup", buf, sizeof buf)) {
            const char* line = strstr(buf, "\nPss:");
            long v = 0;
            if (line && sscanf(line, "\nPss: %ld", &v) == 1) kib += v;
        }
        for (pid_t child : children_of(pid)) todo.push_back(child);
    }
    return static_cast<double>(kib) / 1024.0;
}

std::string cpu_percent(const RunFigures& f) {
    auto pct = [&](double s) { return static_cast<int>(100.0 * s / f.seconds + 0.5); };
    char cpu[64];
    const double rest = f.cpu.machine - f.cpu.client - f.cpu.server - f.cpu.cgi;
    snprintf(cpu, sizeof cpu, "%d/%d/%d/%d", pct(f.cpu.client), pct(f.cpu.server), pct(f.cpu.cgi),
             pct(std::max(rest, 0.0)));
    return cpu;
}

void print_header(const char* first) {
    printf("  %-9s %-34s %8s %8s %8s %6s %8s %6s %16s\n", first, "workload", "req/s", "p50 ms",
           "p99 ms", "errors", "peak MiB", "procs", "cpu% cli/srv/cgi/oth");
}

void print_row(const std::string& first, const std::string& name, const RunFigures& f,
               const ProcessSampler::Figures& p) {
    printf("  %-9s %-34s %8.1f %8.2f %8.2f %6ld %8.1f %6d %16s\n", first.c_str(), name.c_str(),
           static_cast<double>(f.requests) / f.seconds, f.p50, f.p99, f.errors, p.peak_rss_mib,
           p.peak_processes, cpu_percent(f).c_str());
    if (f.errors) printf("  %-9s first error: %s\n", "", f.first_error.c_str());
    fflush(stdout);
}

void load(const Options& o) {
    const std::string git_config = bench::git_backend_config();
    if (git_config.empty()) die("git http-backend is not installed");
    e2e::LighttpdServer server({}, {}, git_config);
    if (!server.started()) die(server.failure());
    make_repository(server.site().home() + "/git/bench.git");
    // The floor of any CGI program: one that writes a header and a byte, served alike.
    e2e::LighttpdServer floor(e2e::Settings{}, VDWEB_CGI_RELAY_PATH);
    if (!floor.started()) die(floor.failure());

    const std::string primes_args = "primeCount=10\nperiodInSeconds=0\nbodySize=65536\n";
    const std::vector<Workload> workloads = {
        {"vdweb get_version_separator_rpc", server.url(),
         e2e::form_body("VDW_Vdcore::get_version_separator_rpc"), kRpcAnswer},
        {"vdweb compute_primes_rpc 10x64KiB", server.url(),
         e2e::form_body("VDW_Vdcore::compute_primes_rpc", primes_args.c_str()), kRpcAnswer},
        {"git http-backend info/refs",
         server.url("/git/bench.git/info/refs?service=git-upload-pack"), "", &kFlushPacket},
        {"minimal CGI (a header and a byte)", floor.url("/vdweb?1"), "", &kOneByte},
    };
    for (const Workload& w : workloads) warm_up(w, server);

    printf(
        "load through lighttpd: clients sending requests back to back for %d s, one keep-alive "
        "connection each\n"
        "  (peak MiB: summed VmRSS of all processes below lighttpd, sampled every 20 ms; procs: "
        "their peak count;\n"
        "   cpu: %% of one core used by this client, lighttpd, the CGI processes that ended, and "
        "the rest of\n"
        "   the machine; %ld cores)\n",
        o.seconds, sysconf(_SC_NPROCESSORS_ONLN));
    print_header("clients");
    for (int clients : o.clients) {
        for (const Workload& w : workloads) {
            ProcessSampler sampler(server.pid(), 20ms);
            RunFigures f = run_clients({w}, clients, o.seconds, {server.pid()});
            print_row(std::to_string(clients), w.name, f, sampler.take());
            // Let the last CGI processes end before the next row.
            std::this_thread::sleep_for(500ms);
        }
    }
}

// Slow clients: each has sent the headers of a form POST and dribbles its body, a few
// bytes a second from one thread, spread over the second.
class SlowClients {
public:
    static constexpr size_t kBodySize = 16 * 1024;
    static constexpr size_t kBytesPerSecond = 4;

    SlowClients(int port, int count) {
        body_ = e2e::form_body("VDW_Vdcore::get_version_separator_rpc") + "&pad=";
        body_.resize(kBodySize, 'x');
        const std::string head = "POST /vdweb HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                 "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                                 "Content-Length: " +
                                 std::to_string(kBodySize) + "\r\n\r\n";
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < count; ++i) {
            int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0) die(std::string("socket: ") + strerror(errno));
            if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
                die(std::string("connect: ") + strerror(errno));
            if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(head.size()))
                die("cannot send the headers of a slow client");
            fds_.push_back(fd);
        }
        sent_.assign(fds_.size(), 0);
        failed_.assign(fds_.size(), false);
        thread_ = std::thread([this] { dribble(); });
    }

    ~SlowClients() {
        stop();
        for (int fd : fds_) close(fd);
    }

    // Stops sending; then the clients the server has closed, answered, or that a send
    // failed on.
    int stop() {
        if (thread_.joinable()) {
            stop_ = true;
            thread_.join();
        }
        int dropped = 0;
        for (size_t i = 0; i < fds_.size(); ++i) {
            char c;
            ssize_t n = recv(fds_[i], &c, 1, MSG_DONTWAIT | MSG_PEEK);
            if (failed_[i] || n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) ++dropped;
        }
        return dropped;
    }

private:
    void dribble() {
        const auto step = std::chrono::microseconds(1000000 / kBytesPerSecond) / fds_.size();
        Clock::time_point next = Clock::now();
        for (size_t i = 0; !stop_; i = (i + 1) % fds_.size()) {
            next += step;
            std::this_thread::sleep_until(next);
            if (failed_[i] || sent_[i] >= body_.size() - 1) continue;  // never the last byte
            if (send(fds_[i], body_.data() + sent_[i], 1, MSG_NOSIGNAL) == 1)
                ++sent_[i];
            else
                failed_[i] = true;
        }
    }

    std::string body_;
    std::vector<int> fds_;
    std::vector<size_t> sent_;
    std::vector<bool> failed_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void slow_row(const Options& o, const char* label, const std::string& extra) {
    // lighttpd holds a connection and, once it has started a CGI program for it, two pipes
    // to the program; past its default server.max-fds (4096), so past its default
    // server.max-connections (a third of that), the server is given what it needs.
    std::string config = extra;
    const int fds_needed = 4 * (o.slow + o.normal) + 64;
    if (fds_needed > 4096) config += "\nserver.max-fds = " + std::to_string(fds_needed) + "\n";
    e2e::LighttpdServer server({}, {}, config);
    if (!server.started()) die(server.failure());
    Workload w{"get_version_separator_rpc", server.url(),
               e2e::form_body("VDW_Vdcore::get_version_separator_rpc"), kRpcAnswer};
    warm_up(w, server);

    // Every 100 ms: sampling hundreds of processes every 20 ms would cost a good part of a core.
    ProcessSampler sampler(server.pid(), 100ms);
    Clock::time_point settle_start = Clock::now();
    std::optional<SlowClients> slow(std::in_place, server.port(), o.slow);
    // Until the count of CGI processes has stayed the same for a second: all slow clients'
    // programs started, or none.
    int last = -1;
    Clock::time_point stable_since = Clock::now();
    while (since(settle_start) < 30) {
        std::this_thread::sleep_for(100ms);
        int now = sampler.current_cgi();
        if (now != last) {
            last = now;
            stable_since = Clock::now();
        } else if (since(stable_since) >= 1.0) {
            break;
        }
    }
    const double settle = since(settle_start);
    sampler.take();
    RunFigures f = run_clients({w}, o.normal, o.slow_seconds, {server.pid()});
    ProcessSampler::Figures p = sampler.take();
    const double pss = pss_mib(server.pid());
    const double server_mib = static_cast<double>(resident_pages(server.pid())) *
                              static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
    const int dropped = slow->stop();
    // Once the slow clients are gone, so are their programs, before the next server starts.
    slow.reset();
    for (Clock::time_point t = Clock::now(); sampler.current_cgi() > 0 && since(t) < 10;)
        std::this_thread::sleep_for(100ms);

    char cgi[32];
    snprintf(cgi, sizeof cgi, "%d/%.0f/%d", p.min_cgi, p.mean_cgi, p.max_cgi);
    printf("  %-9s %8.1f %8.2f %8.2f %6ld %12s %8.1f %8.1f %8.1f %7d %6.1f %16s\n", label,
           static_cast<double>(f.requests) / f.seconds, f.p50, f.p99, f.errors, cgi, p.peak_rss_mib,
           pss, server_mib, dropped, settle, cpu_percent(f).c_str());
    if (f.errors) printf("  %-9s first error: %s\n", "", f.first_error.c_str());
    // lighttpd notes when it stops accepting for want of descriptors or connections.
    const std::string log = server.error_log();
    if (size_t at = log.find("sockets disabled"); at != std::string::npos)
        printf("  %-9s lighttpd: %s\n", "", log.substr(at, log.find('\n', at) - at).c_str());
    fflush(stdout);
}

void slow_clients(const Options& o) {
    printf(
        "\nslow clients: %d each holding an incomplete form POST (%zu bytes a second of %zu), "
        "%d normal clients\n"
        "running get_version_separator_rpc back to back for %d s\n"
        "  (cgi: vdweb.cgi processes min/mean/max while the normal clients ran, sampled every "
        "100 ms;\n"
        "   peak MiB: their summed VmRSS; pss MiB: their summed Pss at the end; srv MiB: "
        "lighttpd's VmRSS then;\n"
        "   dropped: slow clients closed or answered by the server; settle: s until the count "
        "of CGI\n"
        "   processes stayed put after the slow clients connected)\n",
        o.slow, SlowClients::kBytesPerSecond, SlowClients::kBodySize, o.normal, o.slow_seconds);
    printf("  %-9s %8s %8s %8s %6s %12s %8s %8s %8s %7s %6s %16s\n", "stream-rb", "req/s", "p50 ms",
           "p99 ms", "errors", "cgi", "peak MiB", "pss MiB", "srv MiB", "dropped", "settle",
           "cpu% cli/srv/cgi/oth");
    slow_row(o, "2 (site)", "");
    slow_row(o, "0", "server.stream-request-body := 0");
}

// ---- web hosts in front of one store ----------------------------------------------------

// One site on the store of VERDANE_STORE (its site settings name it), served by `hosts`
// lighttpd servers: the VOB /vobs/p holding src/a.c and alice's web view "alice" loading it.
// The site needs a login, as scripts/serve's does.
struct StoreSite {
    // The first server holds the site: the others stop before it.
    ~StoreSite() {
        while (!servers.empty()) servers.pop_back();
    }
    std::vector<std::unique_ptr<e2e::LighttpdServer>> servers;
    std::string view_uuid;
};

void make_store_site(int hosts, StoreSite* site) {
    site->servers.push_back(std::make_unique<e2e::LighttpdServer>(e2e::Settings{}, std::string{},
                                                                  std::string{},
                                                                  /*allow_anonymous=*/false));
    const e2e::LighttpdServer& first = *site->servers[0];
    if (!first.started()) die(first.failure());
    for (int i = 1; i < hosts; ++i) {
        site->servers.push_back(
            std::make_unique<e2e::LighttpdServer>(first, /*allow_anonymous=*/false));
        if (!site->servers.back()->started()) die(site->servers.back()->failure());
    }
    const std::string home = first.site().home();
    const std::string vdtool = "VERDANE_HOME=" + home + " " + VDTOOL_PATH;
    first.site().write_file("a.c", "int a;\n");
    first.site().write_file("cs",
                            "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/p/src\n");
    for (const std::string& line :
         {"mkvob -tag /vobs/p " + home + "/vobs/p.vbs",
          "mkelem -mkpath -ci -from " + home + "/a.c /vobs/p/src/a.c",
          "mkview -tag cfg -webview -cspec " + home + "/cs " + home + "/views/cfg.vws"}) {
        const std::string command = vdtool + " " + line + " >/dev/null </dev/null";
        if (system(command.c_str()) != 0) die("failed: " + command);
    }
    e2e::Response r = e2e::post_rpc(first.url(), "mkview_rpc",
                                    e2e::args({{"ViewTag", "alice"},
                                               {"ConfigTag", "cfg"},
                                               {"Stream", ""},
                                               {"TextMode", ""},
                                               {"Stgloc", ""},
                                               {"Colocate", "0"},
                                               {"CopyAreaRoot", "C:\\work\\alice"}}),
                                    e2e::kAlice);
    const std::vector<const e2e::Part*> result = r.named("RpcResult");
    site->view_uuid = e2e::header(result.empty() ? nullptr : result[0], "Uuid");
    if (e2e::status_of(r) != "0" || site->view_uuid.empty())
        die("alice's web view: " + e2e::text_of(r) + first.error_log());
}

void hosts_rows(const Options& o) {
    std::string why;
    if (!e2e::ensure_test_users(&why)) die(why);
    const char* tmp = getenv("TMPDIR");
    bench::TempPgCluster cluster(tmp && *tmp ? tmp : "/tmp");
    if (!cluster.started()) die("cannot start a PostgreSQL cluster (scripts/pg-cluster)");
    const std::string login = std::string(e2e::kAlice.name) + ":" + e2e::kAlice.password;
    std::string counts;
    for (int clients : o.clients) counts += (counts.empty() ? "" : ",") + std::to_string(clients);

    printf(
        "web hosts in front of one store: %s clients spread evenly over the hosts, sending "
        "requests back\nto back for %d s, one keep-alive connection each, every request "
        "with alice's credentials\n"
        "  (peak MiB and procs: the hosts' figures added up; cpu: %% of one core used by "
        "this client, the\n   lighttpd servers, their CGI processes that ended, and the rest "
        "of the machine; %ld cores)\n",
        counts.c_str(), o.seconds, sysconf(_SC_NPROCESSORS_ONLN));
    print_header("store hosts");
    struct Row {
        const char* label;
        bool postgresql;
        int hosts;
    };
    for (const Row& row : {Row{"sqlite 1", false, 1}, Row{"pg 1", true, 1}, Row{"pg 2", true, 2}}) {
        if (row.postgresql)
            setenv("VERDANE_STORE", cluster.store().c_str(), 1);
        else
            unsetenv("VERDANE_STORE");
        StoreSite site;
        make_store_site(row.hosts, &site);
        const std::string history_args =
            e2e::args({{"Scope", "vobs/p/src/a.c"}, {"ViewUuid", site.view_uuid}});
        std::vector<Workload> separator, history;
        std::vector<pid_t> pids;
        for (const auto& server : site.servers) {
            separator.push_back({"get_version_separator_rpc, login", server->url(),
                                 e2e::form_body("VDW_Vdcore::get_version_separator_rpc"),
                                 kRpcAnswer, login});
            history.push_back({"get_history_rpc of a file, login", server->url(),
                               e2e::form_body("VDW_Vdcore::get_history_rpc", history_args.c_str()),
                               kRpcAnswer, login});
            pids.push_back(server->pid());
            warm_up(separator.back(), *server);
            warm_up(history.back(), *server);
        }
        for (int clients : o.clients) {
            for (const std::vector<Workload>* w : {&separator, &history}) {
                std::vector<std::unique_ptr<ProcessSampler>> samplers;
                for (pid_t pid : pids)
                    samplers.push_back(std::make_unique<ProcessSampler>(pid, 20ms));
                RunFigures f = run_clients(*w, clients, o.seconds, pids);
                ProcessSampler::Figures sum;
                for (auto& sampler : samplers) {
                    ProcessSampler::Figures p = sampler->take();
                    sum.peak_rss_mib += p.peak_rss_mib;
                    sum.peak_processes += p.peak_processes;
                }
                // With one client count, the header says it; with several, each row does.
                std::string label = row.label;
                if (o.clients.size() > 1) label += " " + std::to_string(clients);
                print_row(label, w->front().name, f, sum);
                std::this_thread::sleep_for(500ms);
            }
        }
    }
    unsetenv("VERDANE_STORE");
}

}  // namespace

int main(int argc, char** argv) {
    Options o = parse_options(argc, argv);
    raise_fd_limit();
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) die("curl_global_init failed");
    if (o.clients.empty()) o.clients = o.hosts ? std::vector<int>{50} : std::vector<int>{50, 200};
    if (o.hosts) {
        hosts_rows(o);
        curl_global_cleanup();
        return 0;
    }
    if (o.seconds > 0) load(o);
    if (o.slow_seconds > 0) slow_clients(o);
    curl_global_cleanup();
    return 0;
}
