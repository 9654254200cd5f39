// vdweb.cgi behind lighttpd, spoken to over HTTP with libcurl: responses stream through the
// server part by part, keep-alives arrive while an RPC works, a client that goes away ends
// the CGI process, and a CGI process that dies leaves the server serving.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/util/sysutl.h"
#include "e2e/cgi_process.h"
#include "e2e/lighttpd_server.h"
#include "e2e/multipart.h"
#include "e2e/test_users.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

const std::string kMultipartType = std::string("multipart/mixed; boundary=") + kBoundary;

struct Exchange {
    CURLcode rc = CURLE_OK;
    long http_status = 0;
    std::string content_type;
    std::vector<Part> parts;
    bool complete = false;  // the trailer arrived and nothing after it
    std::string error;      // what the reader found wrong, if anything
    std::string raw;        // the first bytes of the body, for messages
    std::string headers;    // the response's header lines
};

// Called with all parts so far each time new ones complete; true ends the transfer there,
// as a client that disconnects.
using StopWhen = std::function<bool(const std::vector<Part>&)>;
// Called with the number of body bytes received so far, before they are read; a slow
// client sleeps here.
using OnData = std::function<void(size_t)>;

struct Transfer {
    MultipartReader reader{MultipartReader::Start::FIRST_BOUNDARY};
    Exchange* ex;
    StopWhen stop;
    OnData on_data;
    size_t received = 0;
};

size_t on_body(char* data, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t len = size * n;
    if (t->on_data) t->on_data(t->received);
    t->received += len;
    if (t->ex->raw.size() < 65536) t->ex->raw.append(data, std::min<size_t>(len, 65536));
    t->reader.feed(std::string_view(data, len));
    std::vector<Part> fresh = t->reader.take_parts();
    if (fresh.empty()) return len;
    for (Part& p : fresh) {
        p.content.shrink_to_fit();
        t->ex->parts.push_back(std::move(p));
    }
    return t->stop && t->stop(t->ex->parts) ? 0 : len;
}

size_t on_header(char* data, size_t size, size_t n, void* user) {
    static_cast<std::string*>(user)->append(data, size * n);
    return size * n;
}

// A POST of `body`, or a GET when `body` is null; with `login` ("user:password") as HTTP
// Basic credentials, and `headers` ("Name: value") added to the request.
Exchange exchange(const std::string& url, const std::string* body, StopWhen stop = nullptr,
                  OnData on_data = nullptr, const std::string* login = nullptr,
                  const std::vector<std::string>& headers = {}) {
    static const bool curl_ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Exchange ex;
    if (!curl_ready) {
        ex.rc = CURLE_FAILED_INIT;
        return ex;
    }
    Transfer t{MultipartReader(MultipartReader::Start::FIRST_BOUNDARY), &ex, std::move(stop),
               std::move(on_data)};
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    if (body) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    }
    if (login) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERPWD, login->c_str());
    }
    curl_slist* extra = nullptr;
    for (const std::string& h : headers) extra = curl_slist_append(extra, h.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, extra);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &ex.headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 120L);  // a hang fails the test, not the run
    ex.rc = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &ex.http_status);
    char* type = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        ex.content_type = type;
    curl_easy_cleanup(curl);
    curl_slist_free_all(extra);
    ex.complete = t.reader.complete();
    ex.error = t.reader.error();
    return ex;
}

Exchange post(const std::string& url, const std::string& body, StopWhen stop = nullptr,
              OnData on_data = nullptr) {
    return exchange(url, &body, std::move(stop), std::move(on_data));
}

std::string primes_args(long count, long period, long size) {
    return "primeCount=" + std::to_string(count) + "\nperiodInSeconds=" + std::to_string(period) +
           "\nbodySize=" + std::to_string(size) + "\n";
}

std::vector<const Part*> named(const std::vector<Part>& parts, const std::string& name) {
    std::vector<const Part*> found;
    for (const Part& p : parts)
        if (p.name() == name) found.push_back(&p);
    return found;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.started()) << server_.failure(); }

    // Waits (bounded) until the server has no vdweb.cgi process left.
    std::vector<pid_t> cgi_processes_after(std::chrono::seconds limit) {
        auto deadline = Clock::now() + limit;
        std::vector<pid_t> left = server_.cgi_processes();
        while (!left.empty() && Clock::now() < deadline) {
            std::this_thread::sleep_for(50ms);
            left = server_.cgi_processes();
        }
        return left;
    }

    void expect_still_serving() {
        Exchange ex = post(server_.url(), form_body("VDW_Vdcore::get_version_separator_rpc"));
        EXPECT_EQ(ex.http_status, 200);
        EXPECT_TRUE(ex.complete) << ex.error << "\n" << server_.error_log();
    }

    LighttpdServer server_;
};

TEST_F(HttpTest, SeparatorOverHttp) {
    // /vdweb/<session>/<element> reaches the same program with PATH_INFO.
    for (const char* path : {"/vdweb", "/vdweb/abc/vob/dir/file"}) {
        SCOPED_TRACE(path);
        Exchange ex = post(server_.url(path), form_body("VDW_Vdcore::get_version_separator_rpc"));
        ASSERT_EQ(ex.rc, CURLE_OK) << curl_easy_strerror(ex.rc);
        EXPECT_EQ(ex.http_status, 200);
        EXPECT_EQ(ex.content_type, kMultipartType);
        ASSERT_TRUE(ex.complete) << ex.error << "\n" << ex.raw;
        ASSERT_EQ(ex.parts.size(), 2u);
        EXPECT_EQ(ex.parts[0].name(), "Separator");
        EXPECT_EQ(*ex.parts[0].header("Separator"), "@@");
        EXPECT_EQ(ex.parts[1].name(), "Status");
        EXPECT_EQ(*ex.parts[1].header("Status"), "0");
    }
}

TEST_F(HttpTest, ComputePrimesPartsArriveWhole) {
    const long count = 20, size = 100000;  // parts larger than the server's chunks
    Exchange ex = post(server_.url(), form_body("VDW_Vdcore::compute_primes_rpc",
                                                primes_args(count, 0, size).c_str()));
    ASSERT_EQ(ex.rc, CURLE_OK) << curl_easy_strerror(ex.rc);
    ASSERT_TRUE(ex.complete) << ex.error;
    std::vector<const Part*> primes = named(ex.parts, "PrimeFound");
    ASSERT_EQ(primes.size(), static_cast<size_t>(count));
    for (long i = 0; i < count; ++i) {
        EXPECT_EQ(*primes[static_cast<size_t>(i)]->header("Ordinal"), std::to_string(i));
        EXPECT_EQ(primes[static_cast<size_t>(i)]->content, std::string(size, 'p'));
    }
    EXPECT_EQ(ex.parts.back().name(), "Status");
    EXPECT_EQ(*ex.parts.back().header("Status"), "0");
}

// Keep-alives are only useful if the server passes each one on when it is written, not
// when the response ends: their arrival times must spread over the sleep.
TEST(HttpKeepalive, KeepalivesArriveWhileTheRpcSleeps) {
    LighttpdServer server(Settings{{"qlmxKeepAliveInterval", "1"}});
    ASSERT_TRUE(server.started()) << server.failure();
    Exchange ex = post(server.url(), form_body("VDW_Vdcore::sleep_rpc", "SleepTimeSeconds=5\n"));
    ASSERT_EQ(ex.rc, CURLE_OK) << curl_easy_strerror(ex.rc);
    ASSERT_TRUE(ex.complete) << ex.error;

    std::vector<const Part*> keepalives = named(ex.parts, "QLMXKeepalive");
    std::vector<const Part*> pid = named(ex.parts, "Pid");
    ASSERT_EQ(pid.size(), 1u);
    ASSERT_GE(keepalives.size(), 4u);
    for (const Part* k : keepalives) {
        EXPECT_EQ(k->header_names(),
                  (std::vector<std::string>{"Content-ID", "Content-Type", "Content-Length"}));
        EXPECT_EQ(*k->header("Content-Length"), "0");
        EXPECT_LT(k->arrived, pid[0]->arrived);
    }
    // Written at about 1, 2, 3 and 4 seconds, the Pid part at 5: the first keep-alive must
    // not wait for the end, and the keep-alives must not come in one burst.
    EXPECT_GT(seconds(pid[0]->arrived - keepalives.front()->arrived), 2.0);
    EXPECT_GT(seconds(keepalives.back()->arrived - keepalives.front()->arrived), 1.5);
    EXPECT_EQ(*ex.parts.back().header("Status"), "0");
}

// Keep-alives fall due while a large part is being written: the client stops reading in
// the middle of the first part, so the CGI process blocks inside it for a few timer ticks.
// Each keep-alive must land between parts, never inside one (the strict reader would see a
// broken part), and between the parts they still come.
TEST(HttpKeepalive, KeepalivesNeverSplitAPart) {
    LighttpdServer server(Settings{{"qlmxKeepAliveInterval", "1"}});
    ASSERT_TRUE(server.started()) << server.failure();
    const long count = 3, size = 32 << 20;  // more than the pipe and socket buffers hold
    bool paused = false;
    Exchange ex =
        post(server.url(),
             form_body("VDW_Vdcore::compute_primes_rpc", primes_args(count, 1, size).c_str()),
             nullptr, [&](size_t received) {
                 if (paused || received < (1u << 20)) return;
                 paused = true;
                 std::this_thread::sleep_for(2500ms);
             });
    ASSERT_TRUE(paused);
    ASSERT_EQ(ex.rc, CURLE_OK) << curl_easy_strerror(ex.rc);
    ASSERT_TRUE(ex.complete) << ex.error;
    std::vector<const Part*> primes = named(ex.parts, "PrimeFound");
    std::vector<const Part*> keepalives = named(ex.parts, "QLMXKeepalive");
    ASSERT_EQ(primes.size(), static_cast<size_t>(count));
    for (const Part* p : primes) EXPECT_EQ(p->content, std::string(size, 'p'));
    EXPECT_GE(keepalives.size(), 1u);
    EXPECT_EQ(ex.parts.size(), primes.size() + keepalives.size() + 1);
}

// A client that goes away mid-stream: the CGI process must notice (its writes fail) and
// end, whether it streams fast and large or slowly.
TEST_F(HttpTest, ClientDisconnectEndsTheCgiProcess) {
    struct Case {
        const char* label;
        long count, period, size;
        size_t stop_after;
    } cases[] = {
        {"fast stream of 64 KiB parts", 10000, 0, 64 * 1024, 20},
        {"slow stream", 120, 1, 16, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<pid_t> running;
        Exchange ex = post(server_.url(),
                           form_body("VDW_Vdcore::compute_primes_rpc",
                                     primes_args(c.count, c.period, c.size).c_str()),
                           [&](const std::vector<Part>& parts) {
                               if (parts.size() < c.stop_after) return false;
                               running = server_.cgi_processes();
                               return true;
                           });
        EXPECT_EQ(ex.rc, CURLE_WRITE_ERROR) << curl_easy_strerror(ex.rc);
        EXPECT_FALSE(ex.complete);
        // The process was there to be found while the response streamed ...
        EXPECT_EQ(running.size(), 1u);
        // ... and is gone soon after the client is.
        std::vector<pid_t> left = cgi_processes_after(30s);
        EXPECT_TRUE(left.empty()) << left.size() << " vdweb.cgi process(es) still running, pid "
                                  << (left.empty() ? 0 : left[0]);
        expect_still_serving();
    }
}

// A CGI process that ends without writing a response (force_exit, or a GET it cannot
// serve): the client gets an error from the server, never a multipart stream, and the
// server keeps serving.
TEST_F(HttpTest, CgiEndingWithoutAResponse) {
    Exchange ex = post(server_.url(), form_body("VDW_Vdcore::force_exit_rpc", "ExitCode=3\n"));
    ASSERT_EQ(ex.rc, CURLE_OK) << curl_easy_strerror(ex.rc);
    EXPECT_EQ(ex.http_status, 500);
    EXPECT_FALSE(ex.complete);
    EXPECT_EQ(ex.raw.find(kBoundary), std::string::npos) << ex.raw;
    expect_still_serving();
}

// A GET that cannot be served gets a complete error response through the web server, not
// a bare exit that lighttpd turns into HTTP 500.
TEST_F(HttpTest, UnservableDownloadIsAWellFormedError) {
    Exchange ex = exchange(server_.url("/vdweb/cltxt/x/y/z"), nullptr);
    ASSERT_EQ(ex.rc, CURLE_OK) << curl_easy_strerror(ex.rc);
    EXPECT_EQ(ex.http_status, 200);
    EXPECT_TRUE(ex.complete) << ex.error << ex.raw;
    ASSERT_EQ(ex.parts.size(), 1u) << ex.raw;
    EXPECT_NE(ex.parts[0].content.find("VDSRV1290: The download URL"), std::string::npos)
        << ex.parts[0].content;
    expect_still_serving();
}

}  // namespace
// Through the web server: a site that allows no anonymous requests challenges them, and a
// client that answers the challenge with a user's credentials is served as that user.
TEST(HttpLogin, BasicCredentialsThroughTheServer) {
    std::string why;
    ASSERT_TRUE(ensure_test_users(&why)) << why;
    LighttpdServer server({}, {}, {}, /*allow_anonymous=*/false);
    ASSERT_TRUE(server.started()) << server.failure();
    const std::string body = form_body("VDW_Vdcore::get_version_separator_rpc");
    Exchange anonymous = post(server.url(), body);
    EXPECT_EQ(anonymous.http_status, 401);
    EXPECT_NE(anonymous.headers.find("WWW-Authenticate: Basic realm=\"vdweb\""), std::string::npos)
        << anonymous.headers;
    for (bool right : {false, true}) {
        const std::string login =
            std::string(kAlice.name) + ":" + (right ? kAlice.password : "guess");
        Exchange ex = exchange(server.url(), &body, nullptr, nullptr, &login);
        EXPECT_EQ(ex.http_status, 200);
        ASSERT_TRUE(ex.complete) << ex.error << "\n" << server.error_log();
        const Part* status = ex.parts.back().name() == "Status" ? &ex.parts.back() : nullptr;
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(*status->header("Status"), right ? "0" : "100001") << status->content;
    }
}

// A login the server remembers stops counting as soon as the account changes on this
// machine: a new password, a lock, an expiry date in the past; and when the account is gone.
TEST(HttpLogin, RevokedLoginsStopAtOnce) {
    // The test runs once per store, perhaps at the same time: one changes the account at once.
    const int lock = ::open("/tmp/vdweb-test-carol.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    struct Unlock {
        int fd;
        ~Unlock() { ::close(fd); }
    } unlock{lock};
    std::string why;
    ASSERT_TRUE(ensure_test_user(kCarol, &why)) << why;
    LighttpdServer server({}, {}, {}, /*allow_anonymous=*/false);
    ASSERT_TRUE(server.started()) << server.failure();
    const std::string body = form_body("VDW_Vdcore::get_version_separator_rpc");
    auto status_with = [&](const char* password) {
        const std::string login = std::string(kCarol.name) + ":" + password;
        Exchange ex = exchange(server.url(), &body, nullptr, nullptr, &login);
        if (!ex.complete || ex.parts.empty()) return std::string("incomplete: ") + ex.error;
        const std::string* st = ex.parts.back().header("Status");
        return st ? *st : std::string("no status");
    };
    auto admin = [&](std::vector<std::string> args, const std::string& input = "") {
        ASSERT_TRUE(admin_command(std::move(args), input, &why)) << why;
    };
    const std::string old_password = kCarol.password;
    const std::string new_password = "carol's new pass";
    struct Change {
        const char* what;
        std::function<void()> make;
        std::function<void()> undo;
        std::string refused;  // the password that must no longer log in
    } const changes[] = {
        {"new password",
         [&] {
             admin({"/usr/sbin/chpasswd"}, std::string(kCarol.name) + ":" + new_password + "\n");
         },
         [&] {
             admin({"/usr/sbin/chpasswd"}, std::string(kCarol.name) + ":" + old_password + "\n");
         },
         old_password},
        {"lock",
         [&] {
             admin({"/usr/sbin/usermod", "-L", kCarol.name});
         },
         [&] {
             admin({"/usr/sbin/usermod", "-U", kCarol.name});
         },
         old_password},
        {"expiry",
         [&] {
             admin({"/usr/sbin/usermod", "-e", "1970-01-02", kCarol.name});
         },
         [&] {
             admin({"/usr/sbin/usermod", "-e", "", kCarol.name});
         },
         old_password},
    };
    for (const Change& c : changes) {
        ASSERT_EQ(status_with(old_password.c_str()), "0") << c.what;  // remembered from here
        ASSERT_EQ(status_with(old_password.c_str()), "0") << c.what;
        c.make();
        EXPECT_EQ(status_with(c.refused.c_str()), "100001") << c.what;
        c.undo();
    }
    ASSERT_EQ(status_with(old_password.c_str()), "0");
    admin({"/usr/sbin/userdel", kCarol.name});
    EXPECT_EQ(status_with(old_password.c_str()), "100001") << "a removed account";
    ASSERT_TRUE(ensure_test_user(kCarol, &why)) << why;
}

// The serving account needs no right to read password hashes: a process that is neither root
// nor in the group "shadow" checks passwords through the authentication daemon.
TEST(HttpLogin, PasswordsCheckedWithoutReadingHashes) {
    std::string why;
    ASSERT_TRUE(ensure_test_users(&why)) << why;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As the serving account is: an ordinary account in the daemon's group "sasl".
        const struct passwd* nobody = getpwnam("nobody");
        const struct group* sasl = getgrnam("sasl");
        if (!nobody || !sasl) _exit(10);
        const gid_t groups[] = {sasl->gr_gid};
        if (setgroups(1, groups) != 0 || setgid(nobody->pw_gid) != 0 ||
            setuid(nobody->pw_uid) != 0 || access("/etc/shadow", R_OK) == 0)
            _exit(10);
        if (sysutl_check_password(kAlice.name, kAlice.password) != TBS_ST_OK) _exit(11);
        if (sysutl_check_password(kAlice.name, "guess") != TBS_ST_PERMISSION) _exit(12);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop root, 11: a right password "
                                         "refused, 12: a wrong one not refused";
}

// The diagnostic RPCs hold a server process, end it or stream on request: the site's
// administrator runs them (here the site's account, as which requests without credentials
// run), and any other user gets a permission status and nothing else, before anything runs.
TEST(HttpLogin, DiagnosticRpcsAreTheAdministratorsAlone) {
    std::string why;
    ASSERT_TRUE(ensure_test_users(&why)) << why;
    LighttpdServer server;
    ASSERT_TRUE(server.started()) << server.failure();
    struct Case {
        const char* rpc;
        const char* args;
    } cases[] = {
        {"sleep_rpc", "SleepTimeSeconds=2\n"},
        {"force_exit_rpc", "ExitCode=3\n"},
        {"compute_primes_rpc", "primeCount=2\nperiodInSeconds=2\nbodySize=10\n"},
        {"timeout_randomly_rpc", nullptr},
    };
    for (const TestUser* user : {&kAlice, &kMallory}) {
        const std::string login = std::string(user->name) + ":" + user->password;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(user->name) + " " + c.rpc);
            const std::string rpc = std::string("VDW_Vdcore::") + c.rpc;
            const std::string body = form_body(rpc.c_str(), c.args);
            Exchange ex = exchange(server.url(), &body, nullptr, nullptr, &login);
            ASSERT_TRUE(ex.complete) << ex.error << "\n" << ex.raw;
            ASSERT_EQ(ex.parts.size(), 1u) << ex.raw;
            EXPECT_EQ(*ex.parts[0].header("Status"), "1063");
            EXPECT_NE(
                ex.parts[0].content.find("VDSRV3208: Only the site's administrator may run \"" +
                                         rpc + "\": Permission denied"),
                std::string::npos)
                << ex.parts[0].content;
        }
    }
    Exchange slept = post(server.url(), form_body("VDW_Vdcore::sleep_rpc", "SleepTimeSeconds=0\n"));
    ASSERT_TRUE(slept.complete) << slept.error;
    EXPECT_EQ(named(slept.parts, "Pid").size(), 1u);
    EXPECT_EQ(*slept.parts.back().header("Status"), "0");
}

}  // namespace e2e

namespace e2e {
namespace {

// A client that sends a request's headers and the start of its body, then nothing more: the
// status line of the answer that arrives within `limit`, or "" when none does. The
// connection stays open until the object goes.
class SlowClient {
public:
    SlowClient(int port, const std::string& headers, std::chrono::seconds limit) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return;
        const std::string request =
            "POST /vdweb HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
            "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 100000000\r\n" +
            headers + "\r\nrpc=VDW_Vdcore::get_version_separator_rpc&x=";
        if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) < 0) return;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(limit.count() * 1000)) <= 0) return;
        char buf[4096];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return;
        answer_.assign(buf, static_cast<size_t>(n));
        answer_ = answer_.substr(0, answer_.find("\r\n"));
    }
    ~SlowClient() {
        if (fd_ >= 0) close(fd_);
    }
    SlowClient(const SlowClient&) = delete;
    SlowClient& operator=(const SlowClient&) = delete;

    const std::string& status_line() const { return answer_; }

private:
    int fd_ = -1;
    std::string answer_;
};

}  // namespace

// Through the web server: a client that starts a large body without credentials, or from a
// page of another origin, is answered while its body is still on the way, and no vdweb.cgi
// process stays for it; the browser client's own origin is served.
TEST(HttpSecurity, RefusedBeforeTheBody) {
    std::string why;
    ASSERT_TRUE(ensure_test_users(&why)) << why;
    LighttpdServer server({}, {}, {}, /*allow_anonymous=*/false);
    ASSERT_TRUE(server.started()) << server.failure();
    const std::string alice = "Authorization: " + basic_auth(kAlice) + "\r\n";
    SlowClient anonymous(server.port(), "", std::chrono::seconds(15));
    EXPECT_EQ(anonymous.status_line(), "HTTP/1.1 401 Unauthorized") << server.error_log();
    SlowClient foreign(server.port(), alice + "Origin: http://evil.example\r\n",
                       std::chrono::seconds(15));
    EXPECT_EQ(foreign.status_line(), "HTTP/1.1 403 Forbidden") << server.error_log();
    // Both are still connected: no process waits for their bodies.
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!server.cgi_processes().empty() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(server.cgi_processes().empty());

    const std::string body = form_body("VDW_Vdcore::get_version_separator_rpc");
    const std::string login = std::string(kAlice.name) + ":" + kAlice.password;
    const std::string own = server.url("");
    Exchange page = exchange(server.url(), &body, nullptr, nullptr, &login,
                             {"Origin: " + own, "Sec-Fetch-Site: same-origin"});
    EXPECT_EQ(page.http_status, 200);
    ASSERT_TRUE(page.complete) << page.error;
    EXPECT_EQ(*page.parts.back().header("Status"), "0");
    Exchange other = exchange(server.url(), &body, nullptr, nullptr, &login,
                              {"Origin: http://evil.example", "Sec-Fetch-Site: cross-site"});
    EXPECT_EQ(other.http_status, 403);
    ASSERT_TRUE(other.complete) << other.error;
    EXPECT_EQ(*other.parts.back().header("Status"), "1063");
}

}  // namespace e2e
