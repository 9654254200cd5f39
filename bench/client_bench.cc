// The command-line client against Subversion, git and a raw tar stream, on one tree.
//
//   bench_client [files [megabytes]]   (default 10000 files, 100 MB in all, 100 to a directory)
//
// The tree (the one bench_sync generates) is served four ways on this machine:
//   vdweb  a VOB (vdtool import) behind lighttpd and vdweb.cgi: `vdweb mkview`, `vdweb update`;
//   svn    a repository (svn import) behind Apache's mod_dav_svn: `svn checkout`, `svn update`;
//   git    a bare repository behind git http-backend under the same lighttpd: `git clone`,
//          `git pull`;
//   tar    the tree as one tar file the same lighttpd serves as a static file, fetched by
//          curl into `tar x`: what moving the bytes and writing the files costs at least.
// Rows:
//   populate    an empty copy area filled with the whole tree;
//   1% changed  an update after 1% of the files got a new version in one commit (vdtool's
//               atomic checkin, svnmucc, git commit and push);
//   no change   an update when nothing changed.
// Each row gives the client's wall time; the bytes the server sent for the row, headers
// included, summed over its requests (lighttpd's mod_accesslog and Apache's mod_logio, both
// "%O"); and the server side's memory: the peak of the summed VmRSS of every process below
// the server (the CGI programs and what they start, or Apache's worker), sampled every 5 ms,
// and the largest VmHWM any one of them reached. A CGI process that lives less than a
// sample's interval may be missed or seen before it has grown: the memory of the quickest
// rows is a lower bound. Apache is started afresh for each row, so its worker's figures are
// the row's own, as a CGI process's are.
//
// Each server runs as shipped, apart from what measuring needs: Apache with a single worker
// process and keep-alive without a request limit, mod_dav_svn with its defaults (a checkout
// fetches each file with a GET of its own, uncompressed); git's repository packed, as a
// served one is. The servers' data is in the page cache, and each row starts once what
// earlier ones wrote is on disk: the figures are the programs' costs, not a network's.
//
// The vdweb rows run the command-line client when the tree builds one (VDWEB_CLIENT_PATH);
// until then they say so and the other rows still run. The client works anonymously on a
// site that allows it, its settings kept below a scratch XDG_CONFIG_HOME.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
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
#include <initializer_list>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/lighttpd_server.h"
#include "site_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using Command = std::vector<std::string>;

#ifdef VDWEB_CLIENT_PATH
const std::string kClient = VDWEB_CLIENT_PATH;
#else
const std::string kClient;  // not built
#endif

const char* const kApache = "/usr/sbin/apache2";
const char* const kApacheModules = "/usr/lib/apache2/modules";
const char* const kVobTag = "/vobs/b";

// A failure of the benchmark itself. It unwinds to main, so the servers stop and the
// scratch directories go on the way.
struct Failure {
    std::string why;
};

[[noreturn]] void die(const std::string& why) {
    throw Failure{why};
}

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int exit_code(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs the commands (found on PATH) in `cwd` as a pipeline, each one's output the next
// one's input; the first reads nothing, the last one's output is discarded, errors reach
// stderr. 0 when every command exited 0, else the first failure's exit code (127: it could
// not start; 128 + the signal that ended it). Nothing goes through a shell.
int run_pipeline(const std::string& cwd, std::vector<Command> commands) {
    // Everything the children need is made before forking: a sampling thread may hold the
    // allocator's lock at the moment of the fork.
    std::vector<std::vector<char*>> argvs;
    for (Command& c : commands) {
        std::vector<char*> argv;
        for (std::string& a : c) argv.push_back(a.data());
        argv.push_back(nullptr);
        argvs.push_back(std::move(argv));
    }
    std::vector<pid_t> pids;
    int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    for (size_t i = 0; i < argvs.size(); ++i) {
        const bool last = i + 1 == argvs.size();
        int fds[2] = {-1, -1};
        if (last)
            fds[1] = open("/dev/null", O_WRONLY | O_CLOEXEC);
        else if (pipe2(fds, O_CLOEXEC) != 0)
            die(std::string("pipe: ") + strerror(errno));
        pid_t pid = fork();
        if (pid < 0) die(std::string("fork: ") + strerror(errno));
        if (pid == 0) {
            if (chdir(cwd.c_str()) != 0 || dup2(input, 0) < 0 || dup2(fds[1], 1) < 0) _exit(127);
            execvp(argvs[i][0], argvs[i].data());
            _exit(127);
        }
        close(input);
        close(fds[1]);
        input = fds[0];
        pids.push_back(pid);
    }
    int result = 0;
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (result == 0) result = exit_code(status);
    }
    return result;
}

void run(const std::string& cwd, Command command) {
    std::string text;
    for (const std::string& a : command) text += (text.empty() ? "" : " ") + a;
    if (run_pipeline(cwd, {std::move(command)}) != 0) die("failed: " + text);
}

// A scratch directory removed with the object. Readable by everyone: Apache's worker runs
// as the account the server is configured with, not as this program.
class ScratchDir {
public:
    ScratchDir() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vdweb-bench-XXXXXX";
        if (!mkdtemp(pattern.data())) die(std::string("mkdtemp: ") + strerror(errno));
        path_ = pattern;
        chmod(path_.c_str(), 0755);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// What one row measured.
struct Figures {
    int status = 0;  // the client's exit code
    double seconds = 0;
    long long bytes = 0;  // sent by the server, headers included
    long requests = 0;
    double sum_mib = 0;  // peak of the summed VmRSS below the server
    double one_mib = 0;  // largest VmHWM of one process below the server
};

// Watches every process below a server on a thread of its own while a row runs.
class ServerMemory {
public:
    explicit ServerMemory(pid_t server) : server_(server), thread_([this] { watch(); }) {}
    ~ServerMemory() { stop(nullptr); }

    // Stops watching and adds the peaks to `f` (when given).
    void stop(Figures* f) {
        if (thread_.joinable()) {
            stop_ = true;
            thread_.join();
        }
        if (!f) return;
        f->sum_mib = static_cast<double>(peak_pages_) * static_cast<double>(page_) / 1048576.0;
        f->one_mib = static_cast<double>(peak_one_kib_) / 1024.0;
    }

private:
    void watch() {
        // A last look after the row, so a short run is seen at least once.
        for (bool last = false; !last;) {
            last = stop_;
            long pages = 0;
            for (pid_t pid : bench::descendants_of(server_)) {
                pages += bench::resident_pages(pid);
                peak_one_kib_ = std::max(peak_one_kib_, bench::peak_resident_kib(pid));
            }
            peak_pages_ = std::max(peak_pages_, pages);
            if (!last) std::this_thread::sleep_for(5ms);
        }
    }

    const pid_t server_;
    const long page_ = sysconf(_SC_PAGESIZE);
    std::atomic<bool> stop_{false};
    long peak_pages_ = 0;    // written by the thread only, read after the join
    long peak_one_kib_ = 0;  // likewise
    std::thread thread_;     // last: starts once the rest is in place
};

// A server's access log of one "%O" figure a line: what the requests after a mark cost.
class AccessLog {
public:
    explicit AccessLog(std::string path) : path_(std::move(path)) {}

    void mark() { offset_ = size(); }

    // Bytes and requests logged since the mark.
    void since_mark(Figures* f) const {
        std::ifstream in(path_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset_));
        std::string line;
        while (std::getline(in, line)) {
            f->bytes += atoll(line.c_str());
            ++f->requests;
        }
    }

    // Waits until the log has stopped growing: a server may write it after the client ends.
    void settle() const {
        size_t last = size();
        for (int quiet = 0, i = 0; quiet < 4 && i < 100; ++i) {
            std::this_thread::sleep_for(50ms);
            const size_t now = size();
            quiet = now == last ? quiet + 1 : 0;
            last = now;
        }
    }

private:
    size_t size() const {
        std::error_code ec;
        const auto n = fs::file_size(path_, ec);
        return ec ? 0 : static_cast<size_t>(n);
    }

    std::string path_;
    size_t offset_ = 0;
};

// The client run against one server and measured. What earlier rows wrote reaches the disk
// first, so that writing it back does not fall into this row's time.
Figures measure(pid_t server, const std::string& cwd, std::vector<Command> client) {
    sync();
    Figures f;
    ServerMemory memory(server);
    const auto start = Clock::now();
    f.status = run_pipeline(cwd, std::move(client));
    f.seconds = since(start);
    memory.stop(&f);
    return f;
}

// Where a row's requests go.
class Host {
public:
    virtual ~Host() = default;
    virtual Figures run(const std::string& cwd, std::vector<Command> client) = 0;
};

// The site's lighttpd: vdweb.cgi, git http-backend and the static tar file. It keeps its
// access log in a buffer; a SIGHUP (which reopens its logs) writes the buffer out.
class LighttpdHost : public Host {
public:
    explicit LighttpdHost(const e2e::LighttpdServer& server)
        : server_(server), log_(server.site().home() + "/log/access.log") {}

    Figures run(const std::string& cwd, std::vector<Command> client) override {
        log_.mark();
        Figures f = measure(server_.pid(), cwd, std::move(client));
        kill(server_.pid(), SIGHUP);
        log_.settle();
        log_.since_mark(&f);
        return f;
    }

    // What the site's configuration gets besides git http-backend.
    static std::string extra_config() {
        return "server.modules += ( \"mod_accesslog\" )\n"
               "accesslog.filename = \"@HOME@/log/access.log\"\n"
               "accesslog.format = \"%O\"\n";
    }

private:
    const e2e::LighttpdServer& server_;
    AccessLog log_;
};

// Apache serving one Subversion repository at /svn/b through mod_dav_svn, a private
// instance with its own configuration, logs and run directory below `dir`: a foreground
// child of this program on a loopback port of its own, started for one row at a time.
class ApacheHost : public Host {
public:
    ApacheHost(std::string dir, const std::string& repository)
        : dir_(std::move(dir)), log_(dir_ + "/access.log") {
        if (access(kApache, X_OK) != 0)
            die(std::string(kApache) + " is not installed; scripts/bench installs it");
        port_ = e2e::free_loopback_port();
        if (port_ == 0) die("no free loopback port");
        fs::create_directories(dir_ + "/run");
        std::ofstream(dir_ + "/httpd.conf") << config(repository);
    }
    ~ApacheHost() override { stop(); }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/svn/b"; }

    Figures run(const std::string& cwd, std::vector<Command> client) override {
        start();
        log_.mark();
        Figures f = measure(pid_, cwd, std::move(client));
        stop();  // Apache writes each request's line as it ends; stopping it ends them all
        log_.since_mark(&f);
        return f;
    }

private:
    std::string config(const std::string& repository) const {
        std::string c = "ServerRoot \"" + dir_ +
                        "\"\n"
                        "ServerName 127.0.0.1\n"
                        "Listen 127.0.0.1:" +
                        std::to_string(port_) + "\nPidFile \"" + dir_ +
                        "/run/httpd.pid\"\n"
                        "DefaultRuntimeDir \"" +
                        dir_ + "/run\"\nErrorLog \"" + dir_ + "/error.log\"\n";
        for (const char* m : {"mpm_event", "authz_core", "dav", "dav_svn"})
            c += std::string("LoadModule ") + m + "_module " + kApacheModules + "/mod_" + m +
                 ".so\n";
        // Started as root, Apache serves as the account Debian's packages give it.
        if (geteuid() == 0) c += "User www-data\nGroup www-data\n";
        // One worker process, so its memory is the server's; keep-alive without a request
        // limit, so a checkout's thousands of requests keep their connections.
        c += "StartServers 1\nServerLimit 1\nThreadsPerChild 25\nMaxRequestWorkers 25\n"
             "MinSpareThreads 1\nMaxSpareThreads 25\n"
             "KeepAlive On\nMaxKeepAliveRequests 0\n"
             "LogFormat \"%O\" bytes\nCustomLog \"" +
             dir_ +
             "/access.log\" bytes\n"
             "<Location /svn/b>\n"
             "    DAV svn\n"
             "    SVNPath \"" +
             repository +
             "\"\n"
             "    Require all granted\n"
             "</Location>\n";
        return c;
    }

    // Starts the server and waits until its worker process is there to answer.
    void start() {
        const std::string out = dir_ + "/apache.out", conf = dir_ + "/httpd.conf";
        pid_ = fork();
        if (pid_ < 0) die(std::string("fork: ") + strerror(errno));
        if (pid_ == 0) {
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            int null = open("/dev/null", O_RDONLY);
            if (fd < 0 || null < 0 || dup2(null, 0) < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0)
                _exit(127);
            execl(kApache, kApache, "-f", conf.c_str(), "-DFOREGROUND",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto deadline = Clock::now() + 15s;
        while (Clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                die("Apache exited at start: " + read_file(dir_ + "/apache.out") +
                    read_file(dir_ + "/error.log"));
            }
            if (e2e::accepts_connections(port_) && !bench::children_of(pid_).empty()) return;
            std::this_thread::sleep_for(20ms);
        }
        die("Apache does not answer on port " + std::to_string(port_) + ": " +
            read_file(dir_ + "/error.log"));
    }

    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        bool reaped = false;
        for (int i = 0; i < 500 && !reaped; ++i) {
            reaped = waitpid(pid_, &status, WNOHANG) == pid_;
            if (!reaped) std::this_thread::sleep_for(20ms);
        }
        if (!reaped) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }

    const std::string dir_;
    AccessLog log_;
    int port_ = 0;
    pid_t pid_ = -1;
};

// ---- output ------------------------------------------------------------------------

void print_row(const char* what, const char* who, const Figures& f) {
    if (f.status != 0) {
        printf("  %-11s %-6s failed (exit %d)\n", what, who, f.status);
    } else {
        char memory[64];
        if (f.sum_mib > 0)
            snprintf(memory, sizeof memory, "%10.1f %8.1f", f.sum_mib, f.one_mib);
        else
            snprintf(memory, sizeof memory, "%10s %8s", "-", "-");
        printf("  %-11s %-6s %9.3f %13lld %8ld %s\n", what, who, f.seconds, f.bytes, f.requests,
               memory);
    }
    fflush(stdout);
}

void print_not_built(const char* what) {
    printf("  %-11s %-6s vdweb client not built\n", what, "vdweb");
    fflush(stdout);
}

std::string ratio(double a, double b) {
    if (a <= 0 || b <= 0) return "     -";
    char text[32];
    snprintf(text, sizeof text, "%6.2f", a / b);
    return text;
}

void print_ratio(const char* what, const char* other, const Figures& vdweb, const Figures& f) {
    if (vdweb.status != 0 || f.status != 0) return;
    printf("  %-11s vdweb/%-4s %s %s %s\n", what, other, ratio(vdweb.seconds, f.seconds).c_str(),
           ratio(static_cast<double>(vdweb.bytes), static_cast<double>(f.bytes)).c_str(),
           ratio(vdweb.sum_mib, f.sum_mib).c_str());
}

// Whether the copy holds the tree's current text of `rel`: a row that fetched nothing would
// otherwise pass for a fast one. A web view's copy area may hold the VOB below its own path.
void check_copy(const char* who, const std::string& copy, const std::string& tree,
                const std::string& rel) {
    const std::string want = read_file(tree + "/" + rel);
    for (const std::string& path : {copy + "/" + rel, copy + std::string(kVobTag) + "/" + rel})
        if (fs::exists(path)) {
            if (read_file(path) != want)
                printf("  (%s: %s is not the current version)\n", who, rel.c_str());
            return;
        }
    printf("  (%s: %s is missing from the copy)\n", who, rel.c_str());
}

// ---- the tree served four ways -------------------------------------------------------

struct Places {
    std::string home;     // the site
    std::string tree;     // the generated tree, later git's work tree
    std::string svn_dir;  // Apache's directory
    std::string repository;
    std::string svn_config;  // the svn client's configuration directory
};

// git, with the identity its commits need.
Command git(std::initializer_list<std::string> args) {
    Command c = {"git", "-c", "user.name=bench", "-c", "user.email=bench@localhost"};
    c.insert(c.end(), args);
    return c;
}

void serve_tree(const Places& p) {
    auto start = Clock::now();
    run(p.home, {"tar", "cf", p.home + "/htdocs/tree.tar", "-C", p.tree, "."});
    printf("  setup: tar %.1f s", since(start));

    start = Clock::now();
    run(p.home, {"svnadmin", "create", p.repository});
    run(p.home, {"svn", "import", "-q", "-m", "import", "--config-dir", p.svn_config, p.tree,
                 "file://" + p.repository});
    printf(", svn import %.1f s", since(start));

    start = Clock::now();
    run(p.home, {VDTOOL_PATH, "mkvob", "-tag", kVobTag, p.home + "/vobs/b.vbs"});
    run(p.home, {VDTOOL_PATH, "import", p.tree, kVobTag});
    printf(", vdtool import %.1f s", since(start));

    // git last: its repository inside the tree is no part of what the others serve.
    start = Clock::now();
    run(p.tree, git({"init", "-q"}));
    run(p.tree, git({"add", "-A"}));
    run(p.tree, git({"commit", "-qm", "import"}));
    run(p.tree, git({"clone", "-q", "--bare", ".", p.home + "/git/b.git"}));
    // Packed, as a served repository is: a clone of loose objects would spend its time
    // compressing them.
    run(p.tree, git({"--git-dir=" + p.home + "/git/b.git", "repack", "-adq"}));
    printf(", git %.1f s\n", since(start));
}

// New versions of `rels` (already written in the tree), one commit of them in each system.
void commit_change(const Places& p, const std::vector<std::string>& rels) {
    Command co = {VDTOOL_PATH, "checkout", "-nc"};
    Command ci = {VDTOOL_PATH, "checkin", "-nc", "-atomic"};
    Command mucc = {
        "svnmucc", "-m", "change", "--config-dir", p.svn_config, "-U", "file://" + p.repository};
    for (const std::string& rel : rels) {
        co.push_back(std::string(kVobTag) + "/" + rel);
        ci.insert(ci.end(), {"-from", p.tree + "/" + rel});
        mucc.insert(mucc.end(), {"put", p.tree + "/" + rel, rel});
    }
    for (const std::string& rel : rels) ci.push_back(std::string(kVobTag) + "/" + rel);
    run(p.home, co);
    run(p.home, ci);
    run(p.home, mucc);
    run(p.tree, git({"commit", "-qam", "change"}));
    run(p.tree, git({"push", "-q", p.home + "/git/b.git", "HEAD"}));
}

// The servers' accounts own what they serve: the site's account that lighttpd runs the CGI
// programs as, and the account Apache's worker runs as.
void hand_over(const Places& p) {
    run_pipeline(p.home, {{"chown", "-R", "--reference=" + p.home + "/tmp", p.home + "/vobs",
                           p.home + "/registry", p.home + "/git"}});
    if (geteuid() == 0) run(p.home, {"chown", "-R", "www-data:www-data", p.repository});
}

// One tree served four ways, and the copies the clients make of it.
struct Bench {
    Bench(int files, size_t size, const e2e::LighttpdServer& server, const std::string& svn_dir)
        : server(server),
          places{server.site().home(), server.site().home() + "/tree", svn_dir, svn_dir + "/repo",
                 server.site().home() + "/svn-config"},
          site(server),
          files(files),
          size(size) {}

    const e2e::LighttpdServer& server;
    const Places places;
    LighttpdHost site;
    const int files;
    const size_t size;
    const bool have_client = !kClient.empty() && access(kClient.c_str(), X_OK) == 0;
    std::mt19937 rng{42};
    std::vector<std::string> names;
    std::unique_ptr<ApacheHost> apache;  // once the repository exists

    std::string vdweb_area() const { return places.home + "/vdweb-area"; }
    std::string svn_wc() const { return places.home + "/svn-wc"; }
    std::string git_clone() const { return places.home + "/git-clone"; }
    std::string tar_copy() const { return places.home + "/tar-copy"; }
    // The file every copy is checked on: one of those that change.
    const std::string& probe() const { return names[7]; }

    Command svn(std::initializer_list<std::string> args) const {
        Command c = {"svn", "--non-interactive", "-q", "--config-dir", places.svn_config};
        c.insert(c.end(), args);
        return c;
    }
};

struct Rows {
    Figures vdweb, svn, git, tar;
};

void print_header() {
    printf(
        "  (time: s of the client's run; bytes, requests: what the server sent, headers included;"
        "\n   server MiB: peak summed VmRSS below the server, sampled every 5 ms, and the largest"
        "\n   VmHWM of one process there; -: no process there lived long enough to be seen,"
        "\n   or none did, as for a static file)\n");
    printf("  %-11s %-6s %9s %13s %8s %10s %8s\n", "row", "client", "time s", "bytes", "requests",
           "server MiB", "one MiB");
}

void setup(Bench& b) {
    const Places& p = b.places;
    b.names = bench::write_source_tree(p.tree, b.files, b.size, b.rng);
    serve_tree(p);
    hand_over(p);
    b.apache = std::make_unique<ApacheHost>(p.svn_dir, p.repository);
}

// Every client fills an empty copy area.
Rows populate(Bench& b) {
    Rows r;
    const Places& p = b.places;
    if (!b.have_client) {
        print_not_built("populate");
    } else if (int rc = run_pipeline(p.home, {{kClient, "login", b.server.url()}}); rc != 0) {
        r.vdweb.status = rc;
        printf("  vdweb login failed (exit %d)\n", rc);
    } else {
        r.vdweb =
            b.site.run(p.home, {{kClient, "mkview", "bench", b.vdweb_area(), "--load", kVobTag}});
        print_row("populate", "vdweb", r.vdweb);
    }
    r.svn = b.apache->run(p.home, {b.svn({"checkout", b.apache->url(), b.svn_wc()})});
    print_row("populate", "svn", r.svn);
    r.git = b.site.run(p.home, {{"git", "clone", "-q", b.server.url("/git/b.git"), b.git_clone()}});
    print_row("populate", "git", r.git);
    fs::create_directories(b.tar_copy());
    r.tar = b.site.run(p.home, {{"curl", "-sSf", b.server.url("/tree.tar")},
                                {"tar", "xf", "-", "-C", b.tar_copy()}});
    print_row("populate", "tar", r.tar);

    if (r.vdweb.status == 0 && b.have_client)
        check_copy("vdweb", b.vdweb_area(), p.tree, b.probe());
    check_copy("svn", b.svn_wc(), p.tree, b.probe());
    check_copy("git", b.git_clone(), p.tree, b.probe());
    check_copy("tar", b.tar_copy(), p.tree, b.probe());
    return r;
}

// Every client but tar brings its copy up to date.
Rows update(Bench& b, const char* what) {
    Rows r;
    if (b.have_client) {
        r.vdweb = b.site.run(b.vdweb_area(), {{kClient, "update"}});
        print_row(what, "vdweb", r.vdweb);
    } else {
        print_not_built(what);
    }
    r.svn = b.apache->run(b.svn_wc(), {b.svn({"update"})});
    print_row(what, "svn", r.svn);
    r.git = b.site.run(b.git_clone(), {{"git", "pull", "-q", "--ff-only"}});
    print_row(what, "git", r.git);
    if (r.vdweb.status == 0 && b.have_client)
        check_copy("vdweb", b.vdweb_area(), b.places.tree, b.probe());
    check_copy("svn", b.svn_wc(), b.places.tree, b.probe());
    check_copy("git", b.git_clone(), b.places.tree, b.probe());
    return r;
}

// 1% of the files, one in each directory, get a new version.
void change(Bench& b) {
    std::vector<std::string> rels;
    for (int i = 0; i < b.files / 100; ++i) {
        const std::string& rel = b.names[static_cast<size_t>(i * 100 + 7)];
        std::ofstream(b.places.tree + "/" + rel, std::ios::binary)
            << bench::source_text(b.rng, b.size, 1);
        rels.push_back(rel);
    }
    commit_change(b.places, rels);
    hand_over(b.places);
}

void print_ratios(const Rows& populated, const Rows& changed, const Rows& unchanged) {
    printf("ratios (below 1: vdweb took less time, was sent fewer bytes, its server held less)\n");
    printf("  %-11s %-10s %6s %6s %6s\n", "row", "", "time", "bytes", "memory");
    print_ratio("populate", "svn", populated.vdweb, populated.svn);
    print_ratio("populate", "git", populated.vdweb, populated.git);
    print_ratio("populate", "tar", populated.vdweb, populated.tar);
    print_ratio("1% changed", "svn", changed.vdweb, changed.svn);
    print_ratio("1% changed", "git", changed.vdweb, changed.git);
    print_ratio("no change", "svn", unchanged.vdweb, unchanged.svn);
    print_ratio("no change", "git", unchanged.vdweb, unchanged.git);
}

int run_bench(int files, long long megabytes) {
    const size_t size = static_cast<size_t>(megabytes * 1000 * 1000 / files);
    printf("bench_client: %d files of %zu bytes (%lld MB), 100 to a directory\n", files, size,
           megabytes);
    if (geteuid() == 0 && !getpwnam("www-data")) die("no www-data account for Apache");
    const std::string git_config = bench::git_backend_config();
    if (git_config.empty()) die("git http-backend is not installed");
    e2e::LighttpdServer server({}, {}, git_config + LighttpdHost::extra_config());
    if (!server.started()) die(server.failure());
    ScratchDir svn_scratch;
    Bench b(files, size, server, svn_scratch.path());
    // vdtool and the client find the site; the client keeps its settings in it.
    setenv("VERDANE_HOME", b.places.home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (b.places.home + "/client-config").c_str(), 1);

    setup(b);
    print_header();
    const Rows populated = populate(b);
    change(b);
    const Rows changed = update(b, "1% changed");
    const Rows unchanged = update(b, "no change");
    if (b.have_client)
        print_ratios(populated, changed, unchanged);
    else
        printf("  vdweb client not built: no ratios\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? atoi(argv[1]) : 10000;
    const long long megabytes = argc > 2 ? atoll(argv[2]) : 100;
    if (files < 100 || megabytes <= 0) {
        fprintf(stderr, "usage: bench_client [files (at least 100) [megabytes]]\n");
        return 2;
    }
    try {
        return run_bench(files, megabytes);
    } catch (const Failure& f) {
        fflush(stdout);
        fprintf(stderr, "bench_client: %s\n", f.why.c_str());
        return 1;
    }
}
