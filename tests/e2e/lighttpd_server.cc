// lighttpd for the end-to-end tests.
#include "e2e/lighttpd_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace e2e {

namespace {

using namespace std::chrono_literals;

const char* lighttpd_path() {
    return VDWEB_LIGHTTPD_PATH;
}

std::string config_template_path() {
    return std::string(VDWEB_SOURCE_DIR) + "/scripts/lighttpd.conf.in";
}

std::string read_file(const std::string& path, bool* ok = nullptr) {
    std::ifstream in(path, std::ios::binary);
    if (ok) *ok = static_cast<bool>(in);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void replace_all(std::string& text, const std::string& marker, const std::string& value) {
    for (size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + value.size()))
        text.replace(at, marker.size(), value);
}

sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// Waits for the child for at most `limit`; true once it has been reaped.
bool reap(pid_t pid, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
}

}  // namespace

int free_loopback_port() {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return 0;
    sockaddr_in addr = loopback(0);
    socklen_t len = sizeof addr;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(s);
    return port;
}

bool accepts_connections(int port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    sockaddr_in addr = loopback(port);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(s);
    return ok;
}

std::string LighttpdServer::render_config(std::string text, int port, const std::string& home,
                                          const std::string& cgi) {
    replace_all(text, "@PORT@", std::to_string(port));
    replace_all(text, "@HOME@", home);
    replace_all(text, "@CGI@", cgi);
    replace_all(text, "@UI@", VDWEB_SOURCE_DIR "/web/ui");
    return text;
}

namespace {

// lighttpd merges a block with the same condition into the template's and "+=" adds to its
// environment.
constexpr const char* kAnonymousConfig =
    "\n$HTTP[\"url\"] =~ \"^/vdweb(/|$)\" {\n"
    "    setenv.add-environment += ( \"VDWEB_ALLOW_ANONYMOUS\" => \"1\" )\n}\n";

}  // namespace

LighttpdServer::LighttpdServer(const Settings& settings, std::string cgi, std::string extra_config,
                               bool allow_anonymous)
    : own_site_(std::make_unique<TempSite>(settings)),
      site_(own_site_.get()),
      cgi_(cgi.empty() ? cgi_path() : std::move(cgi)),
      extra_config_(std::move(extra_config)) {
    if (allow_anonymous) extra_config_ += kAnonymousConfig;
    start();
}

LighttpdServer::LighttpdServer(const LighttpdServer& first, bool allow_anonymous)
    : site_(first.site_), cgi_(first.cgi_), extra_config_() {
    if (allow_anonymous) extra_config_ += kAnonymousConfig;
    start();
}

void LighttpdServer::start() {
    if (!site_->ok()) {
        failure_ = "cannot create a site directory";
        return;
    }
    if (access(lighttpd_path(), X_OK) != 0) {
        failure_ = std::string("lighttpd is not installed (") + lighttpd_path() +
                   "); scripts/setup installs it";
        return;
    }
    site_->write_file("htdocs/hello.txt", "hello from the Verdane web server\n");
    // Another process may take the chosen port between the check and lighttpd's bind.
    for (int attempt = 0; attempt < 5; ++attempt) {
        failure_.clear();
        if (start_once()) return;
    }
}

LighttpdServer::~LighttpdServer() {
    stop();
}

bool LighttpdServer::start_once() {
    port_ = free_loopback_port();
    if (port_ == 0) {
        failure_ = "no free loopback port";
        return false;
    }
    bool ok = false;
    std::string text = read_file(config_template_path(), &ok);
    if (!ok) {
        failure_ = "cannot read " + config_template_path();
        return false;
    }
    const std::string conf = site_->home() + "/" + own_file("lighttpd", ".conf");
    if (!extra_config_.empty()) text += "\n" + extra_config_ + "\n";
    site_->write_file(own_file("lighttpd", ".conf"),
                      render_config(text, port_, site_->home(), cgi_));

    const std::string console = site_->home() + "/" + own_file("log/lighttpd", ".out");
    pid_ = fork();
    if (pid_ < 0) {
        failure_ = std::string("fork: ") + strerror(errno);
        return false;
    }
    if (pid_ == 0) {
        int fd = open(console.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int null = open("/dev/null", O_RDONLY);
        if (fd < 0 || null < 0 || dup2(null, 0) < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0)
            _exit(127);
        signal(SIGPIPE, SIG_DFL);
        execl(lighttpd_path(), lighttpd_path(), "-D", "-f", conf.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + 15s;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            failure_ = "lighttpd exited at start: " + read_file(console) + error_log();
            return false;
        }
        if (accepts_connections(port_)) return true;
        std::this_thread::sleep_for(20ms);
    }
    failure_ = "lighttpd does not answer on port " + std::to_string(port_);
    stop();
    return false;
}

void LighttpdServer::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!reap(pid_, 10s)) {
        kill(pid_, SIGKILL);
        reap(pid_, 10s);
    }
    pid_ = -1;
}

void LighttpdServer::kill_now() {
    if (pid_ <= 0) return;
    kill(pid_, SIGSTOP);  // starts no more CGI processes while they are found
    for (pid_t cgi : cgi_processes()) kill(cgi, SIGKILL);
    kill(pid_, SIGKILL);
    reap(pid_, 10s);
    pid_ = -1;
}

std::string LighttpdServer::own_file(const char* stem, const char* ext) const {
    // The site's first host keeps the names every test reads; another adds its port.
    return std::string(stem) + (own_site_ ? "" : "-" + std::to_string(port_)) + ext;
}

std::string LighttpdServer::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string LighttpdServer::error_log() const {
    return read_file(site_->home() + "/log/lighttpd-error.log");
}

std::vector<pid_t> LighttpdServer::cgi_processes() const {
    std::vector<pid_t> found;
    if (pid_ <= 0) return found;
    std::error_code ec;
    const std::string cgi = std::filesystem::weakly_canonical(cgi_, ec).string();
    DIR* proc = opendir("/proc");
    if (!proc) return found;
    while (dirent* d = readdir(proc)) {
        char* end = nullptr;
        long pid = strtol(d->d_name, &end, 10);
        if (pid <= 0 || *end) continue;
        // stat: "pid (comm) state ppid ..."; comm may hold spaces, so parse after ')'.
        std::string stat = read_file("/proc/" + std::string(d->d_name) + "/stat");
        size_t close_paren = stat.rfind(')');
        if (close_paren == std::string::npos) continue;
        char state = 0;
        long ppid = 0;
        if (sscanf(stat.c_str() + close_paren + 1, " %c %ld", &state, &ppid) != 2) continue;
        if (ppid != pid_ || state == 'Z') continue;
        char exe[4096];
        ssize_t n =
            readlink(("/proc/" + std::string(d->d_name) + "/exe").c_str(), exe, sizeof exe - 1);
        if (n <= 0) continue;
        // A rebuilt binary shows as "<path> (deleted)"; the prefix still names it.
        if (std::string(exe, static_cast<size_t>(n)).rfind(cgi, 0) == 0)
            found.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return found;
}

}  // namespace e2e
