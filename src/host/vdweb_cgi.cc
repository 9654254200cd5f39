// vdweb.cgi: the CGI host program.
//
// The web server starts it once per HTTP request. It builds the request environment (CGI
// variables under their own names, HTTP request headers also under lower-case names with
// "-", so HTTP_X_TARVEX_RPC_NAME is found as "x-tarvex-rpc-name"), applies the site's
// trace and keep-alive settings, hands body and environment to the library, and copies
// the library's output to the client as it is produced.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <map>
#include <streambuf>
#include <string>

#include "core/util/fileutl.h"
#include "dispatch/vdweb_request_handler.h"
#include "foundation/vdw_config.h"
#include "foundation/vdw_trace.h"
#include "request/cgi_input.h"
#include "request/vdw_rpc_response.h"

extern char** environ;

namespace {

// A stream buffer over a file descriptor. Output fails (and stays failed) once a write
// fails, e.g. when the client has gone away; it never blocks on a closed pipe because
// SIGPIPE is ignored.
class FdBuf : public std::streambuf {
public:
    FdBuf(int fd, bool output) : fd_(fd) {
        if (output)
            setp(buf_, buf_ + sizeof buf_);
        else
            setg(buf_, buf_, buf_);
    }
    ~FdBuf() override { sync(); }

protected:
    int_type overflow(int_type c) override {
        if (flush_buffer() < 0) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return pbase() && flush_buffer() < 0 ? -1 : 0; }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (n >= static_cast<std::streamsize>(sizeof buf_)) {
            // Large blocks go straight out after what is buffered.
            if (flush_buffer() < 0 || !write_all(s, static_cast<size_t>(n))) return 0;
            return n;
        }
        return std::streambuf::xsputn(s, n);
    }
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (!body_keeps_coming()) return traits_type::eof();
        ssize_t n;
        do {
            n = ::read(fd_, buf_, sizeof buf_);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) return traits_type::eof();
        received_ += static_cast<uint64_t>(n);
        setg(buf_, buf_, buf_ + n);
        return traits_type::to_int_type(*gptr());
    }

public:
    // A request body must keep coming: a client that sends nothing for `idle_s` seconds, or
    // less than kMinRate bytes a second on average once kGraceS seconds have passed, holds a
    // process for nothing, and its body ends there (the request then fails to decode).
    // 0 turns the deadline off.
    void set_body_deadline(int idle_s) {
        idle_s_ = idle_s;
        started_ = std::chrono::steady_clock::now();
    }

private:
    static constexpr uint64_t kMinRate = 1024;
    static constexpr int kGraceS = 60;

    bool body_keeps_coming() {
        if (idle_s_ <= 0) return true;
        using namespace std::chrono;
        const double elapsed = duration<double>(steady_clock::now() - started_).count();
        if (elapsed > kGraceS && static_cast<double>(received_) < kMinRate * elapsed) return false;
        pollfd p{fd_, POLLIN, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, idle_s_ * 1000);
        } while (ready < 0 && errno == EINTR);
        return ready > 0;
    }

    int flush_buffer() {
        if (failed_) return -1;
        size_t n = static_cast<size_t>(pptr() - pbase());
        if (n > 0 && !write_all(pbase(), n)) return -1;
        setp(buf_, buf_ + sizeof buf_);
        return 0;
    }
    bool write_all(const char* p, size_t n) {
        if (failed_ || !fileutl_write_all(fd_, p, n)) failed_ = true;
        return !failed_;
    }

    int fd_;
    bool failed_ = false;
    int idle_s_ = 0;
    uint64_t received_ = 0;
    std::chrono::steady_clock::time_point started_;
    char buf_[262144];
};

std::multimap<std::string, std::string> request_environment() {
    std::multimap<std::string, std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const char* eq = strchr(*e, '=');
        if (!eq) continue;
        std::string name(*e, static_cast<size_t>(eq - *e));
        std::string value(eq + 1);
        env.emplace(name, value);
        if (name.rfind("HTTP_", 0) == 0 && name.size() > 5) {
            std::string header = name.substr(5);
            for (char& c : header) c = c == '_' ? '-' : static_cast<char>(tolower(c));
            env.emplace(header, value);
        }
    }
    return env;
}

// VDWEB_BODY_IDLE_SECONDS in the host's environment, default kBodyIdleDefault; 0 turns the
// body deadline off.
constexpr int kBodyIdleDefault = 30;
int body_idle_seconds() {
    const char* text = getenv("VDWEB_BODY_IDLE_SECONDS");
    if (!text || !*text) return kBodyIdleDefault;
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    return *end || v < 0 || v > 86400 ? kBodyIdleDefault : static_cast<int>(v);
}

void apply_settings() {
    VDW_Config& config = VDW_Config::getInstance();
    int level = config.get_integer_param(VDW_Config::TRACE_LEVEL_KEY);
    const char* subsys = config.get_string_param(VDW_Config::TRACE_SUBSYSTEM_KEY);
    const char* user = config.get_string_param(VDW_Config::TRACE_USER_KEY);
    if (level > 0 && subsys && *subsys) {
        VDW_Trace::set_server_name(QLMX_SERVER_NAME);
        VDW_Trace::set_trace(subsys, level);
        VDW_Trace::setup_trace_file(user ? user : "", 0, static_cast<int>(getpid()));
    }
    VDW_RpcResponse::schedule_keepalive(
        config.get_integer_param(VDW_Config::KEEPALIVE_INTERVAL_KEY));
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    // The web server ends a request whose client went away with SIGTERM: the upload being
    // received goes with it.
    cgi_remove_upload_on_termination();
    // A larger pipe to the web server lets long streams move in bigger batches; where the
    // output is not a pipe, or the size cannot be raised, nothing changes.
    fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
    std::ios::sync_with_stdio(false);
    FdBuf in_buf(STDIN_FILENO, false);
    FdBuf out_buf(STDOUT_FILENO, true);
    in_buf.set_body_deadline(body_idle_seconds());
    std::istream in(&in_buf);
    std::ostream out(&out_buf);

    apply_settings();
    VDWebRequestHandler handler;
    handler.initialize_process(argc, argv);
    int rc = 0;
    try {
        handler.read_request(in, request_environment());
        handler.generate_response(out);
    } catch (const std::exception& e) {
        fprintf(stderr, "vdweb.cgi: %s\n", e.what());
        rc = 1;
    } catch (...) {
        fprintf(stderr, "vdweb.cgi: request failed\n");
        rc = 1;
    }
    out.flush();
    VDW_RpcResponse::unschedule_keepalive();
    return rc;
}
