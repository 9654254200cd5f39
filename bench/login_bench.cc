// What logging in costs, through lighttpd, how long an answered question takes to let its
// operation go on, what clients without credentials can hold, and what guessing passwords
// costs the site.
//
//   bench_login [--requests N] [--slow N] [--guessers N] [--seconds S] [--cgi PATH]
//               [--only costs|question|slow|guess]
//
// (a) Per request, sequential on one keep-alive connection, on a site that requires a login:
//     get_version_separator_rpc with credentials (the login checked at the start of every
//     request), login_rpc with credentials, and login_rpc with the site's login cache emptied
//     before each request (the full PAM check); next to get_version_separator_rpc on a site
//     that lets anonymous requests run (no login at all). N requests each, medians.
// (b) Interaction round trip: a pre-checkin trigger asks with vdprompt; the time from the
//     answer's request (interaction_response_rpc through vdweb.cgi) to the checkin's end.
// (c) Slow clients without credentials: N clients (--slow, default 100) each send the headers
//     of a form POST declaring a 100 MB body, without credentials, then a byte of the body
//     every 250 ms, for 15 s. How many vdweb.cgi processes there were (sampled every 100 ms),
//     their memory, and how soon the clients were answered.
// (d) Guessing: N guessers (--guessers, default 64) post wrong passwords for one user, a new
//     one each time, back to back for S seconds (--seconds, default 20), each on its own
//     connection, once all from one address and once each from an address of its own
//     (127.0.1.x). The answers (password checked and wrong, or refused for failing too
//     often), the CPU lighttpd and its CGI processes used, the mean count of vdweb.cgi
//     processes, the load average; and the rightful user during the run: from an address
//     that never logged in (trying every second from the run's 5th second until it gets in),
//     and from an address it logged in from before the run.
//
// --cgi runs (c) and (d) against another build's vdweb.cgi, for figures before and after a
// change. Needs the test accounts (made on first use, which needs root).
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
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

// ---- what the site spends on clients that are not let in -------------------------------

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// CPU seconds of the server and of the CGI processes it has reaped.
double server_cpu_seconds(pid_t server) {
    std::string stat;
    {
        FILE* f = fopen(("/proc/" + std::to_string(server) + "/stat").c_str(), "r");
        if (!f) return 0;
        char buf[2048];
        size_t n = fread(buf, 1, sizeof buf - 1, f);
        fclose(f);
        stat.assign(buf, n);
    }
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    // Fields after the name: state ppid pgrp session tty tpgid flags minflt cminflt majflt
    // cmajflt utime stime cutime cstime.
    unsigned long long v[15] = {};
    char state = 0;
    if (sscanf(stat.c_str() + close + 2,
               "%c %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu", &state,
               &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11],
               &v[12], &v[13]) != 15)
        return 0;
    return static_cast<double>(v[10] + v[11] + v[12] + v[13]) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

double load_average() {
    double one = 0;
    FILE* f = fopen("/proc/loadavg", "r");
    if (f) {
        if (fscanf(f, "%lf", &one) != 1) one = 0;
        fclose(f);
    }
    return one;
}

long resident_kib(pid_t pid) {
    FILE* f = fopen(("/proc/" + std::to_string(pid) + "/statm").c_str(), "r");
    long size = 0, resident = 0;
    if (f) {
        if (fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
        fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The vdweb.cgi processes of `server`, sampled every 100 ms on a thread of their own.
class CgiSampler {
public:
    explicit CgiSampler(const e2e::LighttpdServer& server)
        : server_(server), thread_([this] { run(); }) {}
    ~CgiSampler() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    double mean() const { return samples_ ? static_cast<double>(sum_) / samples_ : 0; }
    int peak() const { return peak_; }
    double peak_mib() const { return static_cast<double>(peak_kib_) / 1024.0; }

private:
    void run() {
        while (!stop_) {
            std::vector<pid_t> pids = server_.cgi_processes();
            long kib = 0;
            for (pid_t p : pids) kib += resident_kib(p);
            sum_ += static_cast<long>(pids.size());
            ++samples_;
            peak_ = std::max(peak_, static_cast<int>(pids.size()));
            peak_kib_ = std::max(peak_kib_, kib);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    const e2e::LighttpdServer& server_;
    std::atomic<bool> stop_{false};
    long sum_ = 0;
    long samples_ = 0;
    int peak_ = 0;
    long peak_kib_ = 0;
    std::thread thread_;
};

// (c) Clients without credentials that send a form POST's headers and then a few bytes of its
// body a second.
void slow_clients_without_login(const std::string& cgi, int clients, int seconds) {
    e2e::LighttpdServer server({}, cgi, {}, /*allow_anonymous=*/false);
    if (!server.started()) die(server.failure());
    const std::string head =
        "POST /vdweb HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
        "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 100000000\r\n\r\n" +
        "rpc=VDW_Vdcore::get_version_separator_rpc&pad=";
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(server.port()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    CgiSampler sampler(server);
    const Clock::time_point start = Clock::now();
    std::vector<int> fds;
    for (int i = 0; i < clients; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            die("cannot connect a slow client");
        if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(head.size()))
            die("cannot send the headers of a slow client");
        fds.push_back(fd);
    }
    // Answers are noticed as they arrive; a byte of the body goes to every client not yet
    // answered every 250 ms.
    std::vector<double> answered_at(fds.size(), -1);
    Clock::time_point next_byte = Clock::now();
    while (seconds_since(start) < seconds) {
        std::vector<pollfd> waiting;
        std::vector<size_t> index;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (answered_at[i] >= 0) continue;
            waiting.push_back({fds[i], POLLIN, 0});
            index.push_back(i);
        }
        if (poll(waiting.data(), waiting.size(), 10) > 0) {
            for (size_t k = 0; k < waiting.size(); ++k)
                if (waiting[k].revents) answered_at[index[k]] = seconds_since(start);
        }
        if (Clock::now() < next_byte) continue;
        next_byte += std::chrono::milliseconds(250);
        for (size_t i : index) {
            const char c = 'x';
            if (answered_at[i] < 0) send(fds[i], &c, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }
    sampler.stop();
    for (int fd : fds) close(fd);
    std::vector<double> times;
    for (double t : answered_at)
        if (t >= 0) times.push_back(t);
    std::sort(times.begin(), times.end());
    auto at = [&](size_t i) {
        char text[16] = "-";
        if (!times.empty()) snprintf(text, sizeof text, "%.2f", times[i]);
        return std::string(text);
    };
    printf("  %-32s %5d of %-4d %6s %6s %6s %6.1f %5d %8.1f\n",
           cgi.empty() ? "this build" : cgi.c_str(), static_cast<int>(times.size()), clients,
           at(0).c_str(), at(times.size() / 2).c_str(), at(times.size() - 1).c_str(),
           sampler.mean(), sampler.peak(), sampler.peak_mib());
}

// One HTTP client for the guessing run: a keep-alive connection from `source` (an address of
// the loopback network) to the site, posting with `login`.
class Poster {
public:
    Poster(const std::string& source, const std::string& login) : curl_(curl_easy_init()) {
        if (!curl_) die("curl_easy_init failed");
        interface_ = "host!" + source;
        login_ = login;
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_INTERFACE, interface_.c_str());
        curl_easy_setopt(curl_, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl_, CURLOPT_USERPWD, login_.c_str());
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &body_);
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT, 60L);
    }
    ~Poster() { curl_easy_cleanup(curl_); }
    Poster(const Poster&) = delete;
    Poster& operator=(const Poster&) = delete;

    enum Outcome { IN, WRONG, THROTTLED, OTHER };
    // Posts `form` to `url`, with `login` ("user:password") in place of the client's own
    // when one is given.
    Outcome post(const std::string& url, const std::string& form,
                 const std::string* login = nullptr) {
        body_.clear();
        curl_easy_setopt(curl_, CURLOPT_USERPWD, login ? login->c_str() : login_.c_str());
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, form.data());
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form.size()));
        CURLcode rc = curl_easy_perform(curl_);
        long status = 0;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
        if (rc != CURLE_OK) return OTHER;
        if (status == 429) return THROTTLED;
        if (status != 200) return OTHER;
        if (body_.find("\r\nStatus: 0\r\n") != std::string::npos) return IN;
        if (body_.find("VDSRV1084") != std::string::npos) return WRONG;
        return OTHER;
    }

private:
    static size_t collect(char* data, size_t size, size_t n, void* out) {
        static_cast<std::string*>(out)->append(data, size * n);
        return size * n;
    }

    CURL* curl_;
    std::string interface_;
    std::string login_;
    std::string body_;
};

// (d) One guessing run.
void guessing_run(const std::string& cgi, int guessers, int seconds, bool spread) {
    e2e::LighttpdServer server({}, cgi, {}, /*allow_anonymous=*/false);
    if (!server.started()) die(server.failure());
    const std::string url = server.url();
    const std::string form = e2e::form_body("VDW_Vdcore::get_version_separator_rpc");
    const std::string right = std::string(e2e::kAlice.name) + ":" + e2e::kAlice.password;
    const std::string user = std::string(e2e::kAlice.name) + ":";
    const std::string known_address = "127.0.0.201";
    if (Poster(known_address, right).post(url, form) != Poster::IN) die("alice cannot log in");

    std::atomic<long> counts[4] = {};
    std::atomic<bool> stop{false};
    const double cpu_before = server_cpu_seconds(server.pid());
    CgiSampler sampler(server);
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < guessers; ++i) {
        const std::string source = spread ? "127.0.1." + std::to_string(i + 1) : "127.0.0.1";
        threads.emplace_back([&, source, i] {
            Poster guesser(source, user);
            // A guess of its own each time, as a guesser tries one password after another.
            for (long n = 0; !stop; ++n) {
                const std::string guess =
                    user + "guess " + std::to_string(i) + "." + std::to_string(n);
                ++counts[guesser.post(url, form, &guess)];
            }
        });
    }
    // The rightful user, from an address that never logged in and from one that did.
    double fresh_in = -1, known_latency = -1;
    Poster::Outcome known_outcome = Poster::OTHER;
    int fresh_tries = 0;
    std::thread rightful([&] {
        std::this_thread::sleep_until(start + std::chrono::seconds(5));
        Clock::time_point t = Clock::now();
        known_outcome = Poster(known_address, right).post(url, form);
        known_latency = seconds_since(t);
        Poster fresh("127.0.0.200", right);
        const Clock::time_point first = Clock::now();
        for (Clock::time_point next = first; !stop; next += std::chrono::seconds(1)) {
            std::this_thread::sleep_until(next);
            ++fresh_tries;
            if (fresh.post(url, form) == Poster::IN) {
                fresh_in = seconds_since(first);
                break;
            }
        }
    });
    std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
    stop = true;
    for (std::thread& t : threads) t.join();
    rightful.join();
    const double elapsed = seconds_since(start);
    sampler.stop();
    // The last CGI processes end and are reaped before the server's CPU is read.
    for (Clock::time_point t = Clock::now();
         !server.cgi_processes().empty() && seconds_since(t) < 10;)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const double cpu = server_cpu_seconds(server.pid()) - cpu_before;
    const long answered = counts[0] + counts[1] + counts[2] + counts[3];
    char fresh[48];
    if (fresh_in >= 0)
        snprintf(fresh, sizeof fresh, "in after %.1f s (%d tries)", fresh_in, fresh_tries);
    else
        snprintf(fresh, sizeof fresh, "not in (%d tries)", fresh_tries);
    printf(
        "  %-28s %-9s %7.1f %8ld %8ld %6ld %7.1f %6.0f%% %5.1f %5.1f  %s; known: %s %.2f s\n",
        cgi.empty() ? "this build" : cgi.substr(cgi.size() > 28 ? cgi.size() - 28 : 0).c_str(),
        (std::to_string(spread ? guessers : 1) + (spread ? " addrs" : " addr")).c_str(),
        static_cast<double>(answered) / elapsed, counts[Poster::WRONG].load(),
        counts[Poster::THROTTLED].load(), counts[Poster::OTHER].load() + counts[Poster::IN].load(),
        static_cast<double>(counts[Poster::WRONG]) * 60.0 / elapsed,
        100.0 * cpu / elapsed / static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN)), sampler.mean(),
        load_average(), fresh, known_outcome == Poster::IN ? "in" : "refused", known_latency);
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int requests = 100;
    int slow = 100;
    int guessers = 64;
    int seconds = 20;
    std::string cgi;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--requests" && has_value)
            requests = atoi(argv[++i]);
        else if (a == "--slow" && has_value)
            slow = atoi(argv[++i]);
        else if (a == "--guessers" && has_value)
            guessers = atoi(argv[++i]);
        else if (a == "--seconds" && has_value)
            seconds = atoi(argv[++i]);
        else if (a == "--cgi" && has_value)
            cgi = argv[++i];
        else if (a == "--only" && has_value)
            only = argv[++i];
        else
            die("usage: bench_login [--requests N] [--slow N] [--guessers N] [--seconds S] "
                "[--cgi PATH] [--only costs|question|slow|guess]");
    }
    if (requests < 1 || slow < 1 || guessers < 1 || guessers > 250 || seconds < 6)
        die("--requests, --slow need a positive number, --guessers 1 to 250, --seconds 6 or more");
    std::string why;
    if (!e2e::ensure_test_users(&why)) die(why);
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) die("curl_global_init failed");
    if (only.empty() || only == "costs") login_costs(requests);
    if (only.empty() || only == "question") interaction_round_trip(std::min(requests, 20));
    if (only.empty() || only == "slow") {
        printf(
            "slow clients without credentials: %d, each a POST's headers (100 MB body declared) "
            "and then a byte every 250 ms, for 15 s\n"
            "  (answered: clients that got an answer; first, median, last: when, in s from the "
            "start;\n"
            "   cgi: vdweb.cgi processes, mean and peak of samples every 100 ms; MiB: their "
            "peak summed VmRSS)\n",
            slow);
        printf("  %-32s %13s %6s %6s %6s %6s %5s %8s\n", "vdweb.cgi", "answered", "first", "median",
               "last", "cgi", "peak", "MiB");
        slow_clients_without_login(cgi, slow, 15);
    }
    if (only.empty() || only == "guess") {
        printf(
            "guessing: %d guessers posting wrong passwords for one user back to back, %d s\n"
            "  (req/s: answers a second; checked: wrong passwords checked; refused: told to wait "
            "(429);\n"
            "   other: anything else; checks/min: password checks a minute; cpu: lighttpd and "
            "its CGI\n"
            "   processes, %% of all %ld cores; cgi: mean vdweb.cgi processes; load: 1-minute "
            "load average\n"
            "   at the end; rightful: the user from a new address from the 5th second, and "
            "from one it\n"
            "   logged in from before)\n",
            guessers, seconds, sysconf(_SC_NPROCESSORS_ONLN));
        printf("  %-28s %-9s %7s %8s %8s %6s %7s %7s %5s %5s  %s\n", "vdweb.cgi", "guessers",
               "req/s", "checked", "refused", "other", "chk/min", "cpu", "cgi", "load", "rightful");
        for (bool spread : {false, true}) guessing_run(cgi, guessers, seconds, spread);
    }
    curl_global_cleanup();
    return 0;
}
