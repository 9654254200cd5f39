// vdweb.cgi as a child process, and the throw-away sites the end-to-end tests run it in.
#include "e2e/cgi_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>

namespace e2e {

namespace fs = std::filesystem;

const char* cgi_path() {
    return VDWEB_CGI_PATH;
}

// ---- sites ------------------------------------------------------------------------

TempSite::TempSite(const Settings& settings) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vdweb-e2e-XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    home_ = pattern;
    std::error_code ec;
    for (const char* dir : {"config/qlmx", "tmp", "log"})
        fs::create_directories(home_ + "/" + dir, ec);
    write_config(settings);
    // A run of the suites on another store (VERDANE_STORE) gives the site that store in
    // its own settings, which every process of the site reads (vdweb.cgi gets no
    // environment of ours).
    if (const char* store = getenv("VERDANE_STORE"); store && *store)
        write_file("config/site.conf", std::string("store = ") + store + "\n");
}

TempSite::~TempSite() {
    if (home_.empty()) return;
    std::error_code ec;
    fs::remove_all(home_, ec);
}

void TempSite::write_config(const Settings& settings) const {
    std::string text;
    for (const auto& [key, value] : settings) text += key + " = " + value + "\n";
    write_file("config/qlmx/server.conf", text);
}

void TempSite::write_file(const std::string& relative, std::string_view content) const {
    fs::path path = fs::path(home_) / relative;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
}

// ---- the process ------------------------------------------------------------------

namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    bool open() { return pipe2(fd, O_CLOEXEC) == 0; }
    void close_end(int i) {
        if (fd[i] >= 0) ::close(fd[i]);
        fd[i] = -1;
    }
    ~Pipe() {
        close_end(0);
        close_end(1);
    }
};

[[noreturn]] void exec_child(const char* path, const std::vector<std::string>& env_text, int in,
                             Pipe& out, Pipe& err) {
    if (dup2(in, 0) < 0 || dup2(out.fd[1], 1) < 0 || dup2(err.fd[1], 2) < 0) _exit(127);
    signal(SIGPIPE, SIG_DFL);  // as a web server would start it
    std::vector<char*> envp;
    for (const std::string& e : env_text) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(path), nullptr};
    execve(path, argv, envp.data());
    _exit(127);
}

int remaining_ms(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

namespace {

// The environment of a vdweb.cgi run: `env`, the site, and anonymous requests allowed unless
// `env` says otherwise.
Env cgi_env(const std::string& home, const Env& env) {
    Env full = env;
    full.emplace_back("VERDANE_HOME", home);
    bool anonymous_given = false;
    for (const auto& [name, value] : env) anonymous_given |= name == "VDWEB_ALLOW_ANONYMOUS";
    if (!anonymous_given) full.emplace_back("VDWEB_ALLOW_ANONYMOUS", "1");
    return full;
}

CgiResult run_child(const char* path, const Env& env, std::string_view body, int input,
                    std::chrono::seconds limit, const AfterBody& after_body);
}  // namespace

CgiResult run_cgi(const std::string& home, const Env& env, std::string_view body,
                  std::chrono::seconds limit, const AfterBody& after_body) {
    return run_program(cgi_path(), cgi_env(home, env), body, limit, after_body);
}

CgiResult run_cgi_reading(const std::string& home, const Env& env, const std::string& input,
                          std::chrono::seconds limit) {
    int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        CgiResult result;
        result.err = input + ": " + strerror(errno);
        return result;
    }
    CgiResult result = run_child(cgi_path(), cgi_env(home, env), {}, fd, limit, nullptr);
    ::close(fd);
    return result;
}

CgiResult run_program(const char* path, const Env& env, std::string_view body,
                      std::chrono::seconds limit, const AfterBody& after_body) {
    return run_child(path, env, body, -1, limit, after_body);
}

namespace {

// The child reads `body` through a pipe, or the file open as `input` when that is not -1.
CgiResult run_child(const char* path, const Env& env, std::string_view body, int input,
                    std::chrono::seconds limit, const AfterBody& after_body) {
    // A child that stops reading its input must not kill the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    CgiResult result;
    std::vector<std::string> env_text;
    for (const auto& [name, value] : env) env_text.push_back(name + "=" + value);

    Pipe in, out, err;
    int held_input = -1;  // the input end kept open after the body for the hook
    if (!in.open() || !out.open() || !err.open()) {
        result.err = std::string("pipe: ") + strerror(errno);
        return result;
    }
    pid_t pid = fork();
    if (pid < 0) {
        result.err = std::string("fork: ") + strerror(errno);
        return result;
    }
    if (pid == 0) exec_child(path, env_text, input >= 0 ? input : in.fd[0], out, err);
    in.close_end(0);
    if (input >= 0) in.close_end(1);
    out.close_end(1);
    err.close_end(1);
    fcntl(in.fd[1], F_SETFL, O_NONBLOCK);

    const auto deadline = std::chrono::steady_clock::now() + limit;
    size_t written = 0;
    // The body is done: the input is closed, or kept open for the hook.
    auto body_done = [&]() {
        if (!after_body) {
            in.close_end(1);
            return;
        }
        pid_t child = pid;
        AfterBody hook = after_body;
        hook(child);
        held_input = in.fd[1];
        in.fd[1] = -1;
    };
    if (body.empty()) body_done();
    char buf[65536];
    while (out.fd[0] >= 0 || err.fd[0] >= 0) {
        pollfd fds[3];
        int n = 0;
        int in_slot = -1, out_slot = -1, err_slot = -1;
        if (in.fd[1] >= 0) fds[in_slot = n++] = {in.fd[1], POLLOUT, 0};
        if (out.fd[0] >= 0) fds[out_slot = n++] = {out.fd[0], POLLIN, 0};
        if (err.fd[0] >= 0) fds[err_slot = n++] = {err.fd[0], POLLIN, 0};
        int ready = poll(fds, static_cast<nfds_t>(n), remaining_ms(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            result.timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        if (in_slot >= 0 && fds[in_slot].revents) {
            ssize_t w = write(in.fd[1], body.data() + written, body.size() - written);
            if (w > 0) written += static_cast<size_t>(w);
            // Done, or the child has closed its input: either way no more to give.
            if (written == body.size())
                body_done();
            else if (w < 0 && errno != EAGAIN && errno != EINTR)
                in.close_end(1);
        }
        for (auto [slot, pipe, sink] :
             {std::tuple{out_slot, &out, &result.out}, std::tuple{err_slot, &err, &result.err}}) {
            if (slot < 0 || !fds[slot].revents) continue;
            ssize_t r = read(pipe->fd[0], buf, sizeof buf);
            if (r > 0)
                sink->append(buf, static_cast<size_t>(r));
            else if (r == 0 || (errno != EINTR && errno != EAGAIN))
                pipe->close_end(0);
        }
    }
    in.close_end(1);
    if (held_input >= 0) ::close(held_input);
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.max_rss_kb = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

}  // namespace

// ---- request bodies ---------------------------------------------------------------

std::string url_encode(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string form_body(std::string_view rpc, const char* rpcargs) {
    std::string body = "rpc=" + url_encode(rpc);
    if (rpcargs) body += "&rpcargs=" + url_encode(rpcargs);
    return body;
}

Env form_post_env(std::string_view body) {
    return {{"REQUEST_METHOD", "POST"},
            {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
            {"CONTENT_LENGTH", std::to_string(body.size())}};
}

}  // namespace e2e
