// What the benchmarks that run through a web server share.
#include "site_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "e2e/lighttpd_server.h"
#include "e2e/rpc_client.h"
#include "e2e/test_users.h"

namespace bench {

std::string command_output(const std::string& command) {
    FILE* p = popen(command.c_str(), "r");
    if (!p) return {};
    std::string out;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    if (pclose(p) != 0) return {};
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string git_backend_path() {
    const std::string exec_path = command_output("git --exec-path");
    if (exec_path.empty()) return {};
    const std::string backend = exec_path + "/git-http-backend";
    return access(backend.c_str(), X_OK) == 0 ? backend : std::string();
}

std::string git_backend_config() {
    const std::string backend = git_backend_path();
    if (backend.empty()) return {};
    return "alias.url += ( \"/git\" => \"" + backend +
           "\" )\n"
           "$HTTP[\"url\"] =~ \"^/git/\" {\n"
           "    cgi.assign = ( \"\" => \"\" )\n"
           "    setenv.add-environment = (\n"
           "        \"GIT_PROJECT_ROOT\" => \"@HOME@/git\",\n"
           "        \"GIT_HTTP_EXPORT_ALL\" => \"1\",\n"
           "    )\n"
           "}\n";
}

std::string source_text(std::mt19937& rng, size_t size, int generation) {
    static const char* const words[] = {"int",    "return", "static", "const",  "struct",
                                        "void",   "if",     "else",   "for",    "while",
                                        "buffer", "status", "count",  "result", "value"};
    std::string s = "// generation " + std::to_string(generation) + "\n";
    while (s.size() < size) {
        s += words[rng() % 15];
        s += rng() % 7 == 0 ? "\n" : " ";
        if (rng() % 5 == 0) s += std::to_string(rng() % 100000);
    }
    s.resize(size);
    return s;
}

std::vector<std::string> write_source_tree(const std::string& dir, int files, size_t size,
                                           std::mt19937& rng) {
    std::vector<std::string> names;
    for (int i = 0; i < files; ++i) {
        const std::string rel = "d" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".c";
        names.push_back(rel);
        std::filesystem::create_directories(std::filesystem::path(dir + "/" + rel).parent_path());
        std::ofstream(dir + "/" + rel, std::ios::binary) << source_text(rng, size, 0);
    }
    return names;
}

size_t read_proc(const std::string& path, char* buf, size_t size) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    ssize_t n = read(fd, buf, size - 1);
    close(fd);
    if (n <= 0) return 0;
    buf[n] = '\0';
    return static_cast<size_t>(n);
}

std::vector<pid_t> children_of(pid_t pid) {
    std::vector<pid_t> found;
    char buf[16384];
    const std::string p = std::to_string(pid);
    if (read_proc("/proc/" + p + "/task/" + p + "/children", buf, sizeof buf) == 0) return found;
    for (char* s = buf; *s;) {
        char* end = nullptr;
        long child = strtol(s, &end, 10);
        if (end == s) break;
        found.push_back(static_cast<pid_t>(child));
        s = end;
    }
    return found;
}

std::vector<pid_t> descendants_of(pid_t pid) {
    std::vector<pid_t> found = children_of(pid);
    for (size_t i = 0; i < found.size(); ++i)
        for (pid_t child : children_of(found[i])) found.push_back(child);
    return found;
}

long resident_pages(pid_t pid) {
    char buf[256];
    if (read_proc("/proc/" + std::to_string(pid) + "/statm", buf, sizeof buf) == 0) return 0;
    long size = 0, resident = 0;
    return sscanf(buf, "%ld %ld", &size, &resident) == 2 ? resident : 0;
}

long peak_resident_kib(pid_t pid) {
    char buf[4096];
    if (read_proc("/proc/" + std::to_string(pid) + "/status", buf, sizeof buf) == 0) return 0;
    const char* line = strstr(buf, "\nVmHWM:");
    return line ? atol(line + 7) : 0;
}

namespace {

// The peak resident size of the vdweb.cgi processes a server runs while this watches, in
// MiB, sampled every 5 ms.
class CgiPeak {
public:
    explicit CgiPeak(const e2e::LighttpdServer& server) : server_(server) {
        thread_ = std::thread([this] {
            while (!stop_) {
                for (pid_t pid : server_.cgi_processes())
                    peak_kib_ = std::max(peak_kib_.load(), peak_resident_kib(pid));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    double stop() {
        stop_ = true;
        thread_.join();
        return static_cast<double>(peak_kib_) / 1024.0;
    }

private:
    const e2e::LighttpdServer& server_;
    std::atomic<bool> stop_{false};
    std::atomic<long> peak_kib_{0};
    std::thread thread_;
};

}  // namespace

bool fetch_and_commit(const e2e::LighttpdServer& server, e2e::CopyArea& area,
                      const e2e::TestUser& user, SyncRun* run, std::string* why) {
    CgiPeak peak(server);
    const auto start = std::chrono::steady_clock::now();
    e2e::PostOptions o;
    o.on_part = [&area](const e2e::Part& p) { return area.apply(p); };
    e2e::Response r = e2e::post_rpc(server.url(), "ws_sync_fetch_rpc", area.fetch_args(), user, o);
    if (e2e::status_of(r) != "0" || !area.error().empty()) {
        peak.stop();
        *why = "fetch failed: " + e2e::text_of(r) + area.error();
        return false;
    }
    e2e::Response c = e2e::post_rpc(server.url(), "ws_sync_commit_rpc", area.commit_args(), user);
    run->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run->peak_mib = peak.stop();
    if (e2e::status_of(c) != "0") {
        *why = "commit failed: " + e2e::text_of(c);
        return false;
    }
    run->bytes = r.bytes + c.bytes;
    run->records = area.applied().size();
    area.reset();
    return true;
}

std::string view_uuid(const std::string& vdtool, const std::string& tag) {
    const std::string out = command_output(vdtool + " lsview -long " + tag);
    const size_t at = out.find("uuid");
    if (at == std::string::npos) return {};
    const size_t hex = out.find_first_of("0123456789abcdef", at + 4);
    return hex == std::string::npos ? std::string() : out.substr(hex, 32);
}

// ---- the throw-away cluster --------------------------------------------------------

namespace {

// Runs scripts/pg-cluster with its output on our standard error; true when it succeeded.
bool pg_cluster(const char* command, const std::string& link) {
    const std::string script = std::string(VDWEB_SOURCE_DIR) + "/scripts/pg-cluster";
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        dup2(2, 1);
        execl(script.c_str(), script.c_str(), command, link.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The links of the clusters still running, stopped at exit and on an interrupt. Clusters
// are made and stopped by the main thread only.
std::vector<std::string>* g_clusters = nullptr;

// At exit or on an interrupt with a cluster still running, the program did not get to end
// what it started: its lighttpd servers and outside programs go first, then the clusters.
void stop_remaining_clusters() {
    std::vector<std::string> links;
    if (g_clusters) links.swap(*g_clusters);
    if (links.empty()) return;
    for (pid_t child : children_of(getpid())) kill(child, SIGTERM);
    for (const std::string& link : links) pg_cluster("stop-temp", link);
}

extern "C" void on_interrupt(int sig) {
    // The cluster's server would outlive us: stop it as exit() would, then end as the
    // signal does.
    stop_remaining_clusters();
    signal(sig, SIG_DFL);
    raise(sig);
}

}  // namespace

TempPgCluster::TempPgCluster(const std::string& scratch)
    : link_(scratch + "/bench-pg-" + std::to_string(getpid())) {
    if (!g_clusters) {
        g_clusters = new std::vector<std::string>;
        atexit(stop_remaining_clusters);
        signal(SIGINT, on_interrupt);
        signal(SIGTERM, on_interrupt);
    }
    g_clusters->push_back(link_);
    started_ = pg_cluster("start-temp", link_);
}

TempPgCluster::~TempPgCluster() {
    stop();
}

std::string TempPgCluster::store() const {
    return "postgresql:///vdweb?host=" + link_ + "&user=vdweb";
}

void TempPgCluster::stop() {
    auto at = std::find(g_clusters->begin(), g_clusters->end(), link_);
    if (at == g_clusters->end()) return;
    g_clusters->erase(at);
    pg_cluster("stop-temp", link_);
    started_ = false;
}

}  // namespace bench
