// Dynamic views: starting, stopping and watching the daemon (vdviewd) that serves a view's
// namespace as a file system mounted at the view's root.
//
// One daemon per started view. It is found next to the running program, else in the
// product's tool directory, and started by fork and exec with an argument vector (never a
// shell), detached into a session of its own so that it outlives the process that started
// it. It reports through a pipe once its mount is in place (or why it failed), and then
// keeps its process id in "<storage>/vdviewd.pid" and its messages in
// "<storage>/vdviewd.log". Started by root for a site owned by another account, it mounts
// first and then becomes that account.
//
// A view is running when its daemon lives and its mount is in place; a mount without a
// daemon (the daemon was killed) or a daemon without its mount is dead, and stopping it
// (or starting it again) clears what is left: the daemon is ended, the mount detached and
// the mount point removed. The mount point exists only while the view is started, so a
// root that does not exist means a view to start.
#include "core/view/view_dynamic.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"

extern char** environ;

namespace {

const char kDaemonName[] = "vdviewd";
const char kFuseDevice[] = "/dev/fuse";

std::string dir_of(const std::string& path) {
    size_t at = path.rfind('/');
    return at == std::string::npos ? "." : path.substr(0, at ? at : 1);
}

bool is_executable(const std::string& path) {
    struct stat sb;
    return stat(path.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The daemon program: beside the running program, else in the product's tool directory.
std::string daemon_program() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        const std::string beside = dir_of(self) + "/" + kDaemonName;
        if (is_executable(beside)) return beside;
    }
    const std::string tool = std::string(tbs_product_tool_dir()) + "/" + kDaemonName;
    return is_executable(tool) ? tool : std::string();
}

std::string pid_file(const rgy_view_entry_t& e) {
    return e.storage + "/vdviewd.pid";
}

// The daemon's process id from its pid file, when that process is still a vdviewd (a
// recycled process id names some other program).
int live_daemon(const rgy_view_entry_t& e) {
    std::ifstream in(pid_file(e));
    long pid = 0;
    if (!(in >> pid) || pid <= 1 || pid > 1L << 30) return 0;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return 0;
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name == kDaemonName ? static_cast<int>(pid) : 0;
}

// The kernel writes mount points with space, tab, newline and backslash as octal escapes.
std::string unescape_mount_path(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            int v = 0;
            bool ok = true;
            for (int k = 1; k <= 3; ++k) {
                char c = s[i + k];
                ok &= c >= '0' && c <= '7';
                v = v * 8 + (c - '0');
            }
            if (ok) {
                out += static_cast<char>(v);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// Whether something is mounted at `path` (field 5 of the process's mount table).
bool is_mounted(const std::string& path) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string f[5];
        for (std::string& x : f) fields >> x;
        if (unescape_mount_path(f[4]) == path) return true;
    }
    return false;
}

int state_of(const rgy_view_entry_t& e, int* pid_out) {
    const int pid = live_daemon(e);
    const std::string root = view_dynamic_root(e.tag);
    const bool mounted = is_mounted(root);
    if (pid_out) *pid_out = pid;
    if (!pid && !mounted) return VIEW_DYN_STOPPED;
    struct stat sb;
    if (pid && mounted && stat(root.c_str(), &sb) == 0) return VIEW_DYN_RUNNING;
    return VIEW_DYN_DEAD;
}

// Runs a program with an argument vector and waits for it; its exit status, -1 when it
// could not run.
int run_program(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Detaches a mount left in place: root does it itself, anyone else through fusermount3,
// which lets a user detach the mounts that user made.
void unmount(const std::string& root) {
    if (geteuid() == 0) {
        umount2(root.c_str(), MNT_DETACH);
        return;
    }
    for (const char* prog : {"/usr/bin/fusermount3", "/bin/fusermount3"}) {
        if (!is_executable(prog)) continue;
        run_program({prog, "-u", "-z", "--", root});
        return;
    }
}

bool wait_gone(int pid, int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (kill(pid, 0) != 0 && errno == ESRCH) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return kill(pid, 0) != 0 && errno == ESRCH;
}

// Ends whatever serves or is left of the view; its state after.
int clear_view(const rgy_view_entry_t& e) {
    int pid = live_daemon(e);
    if (pid) {
        kill(pid, SIGTERM);
        if (!wait_gone(pid, 5000)) {
            kill(pid, SIGKILL);
            wait_gone(pid, 2000);
        }
    }
    const std::string root = view_dynamic_root(e.tag);
    if (is_mounted(root)) unmount(root);
    if (!is_mounted(root)) rmdir(root.c_str());
    unlink(pid_file(e).c_str());
    return state_of(e, nullptr);
}

// Reads the daemon's report: "ok" once mounted, else its reason.
tbs_status_t await_ready(int fd, std::string* why) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline && text.size() < 1024) {
        struct pollfd p = {fd, POLLIN, 0};
        int n = poll(&p, 1, 100);
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        char buf[256];
        ssize_t got = read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buf, static_cast<size_t>(got));
        if (text.find('\n') != std::string::npos) break;
    }
    text = text.substr(0, text.find('\n'));
    if (text == "ok") return TBS_ST_OK;
    *why = text.empty() ? "the daemon ended without mounting the view" : text;
    return TBS_ST_ERR;
}

tbs_status_t spawn_daemon(const rgy_view_entry_t& e, const std::string& program) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return tbs_errno2status(errno);
    // Everything the child needs is made before fork: it only calls async-signal-safe
    // functions until exec.
    const std::string log = e.storage + "/vdviewd.log";
    const std::string home = std::string("VERDANE_HOME=") + tbs_product_dir();
    std::vector<std::string> env_text = {home};
    for (char** p = environ; *p; ++p)
        if (strncmp(*p, "VERDANE_HOME=", 13) != 0) env_text.push_back(*p);
    std::vector<char*> envp;
    for (std::string& s : env_text) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv_text = {program, "--ready-fd", "3", "--", e.tag};
    std::vector<char*> argv;
    for (std::string& s : argv_text) argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child < 0) {
        int err = errno;
        close(ready[0]);
        close(ready[1]);
        return tbs_errno2status(err);
    }
    if (child == 0) {
        // The daemon is the grandchild: reparented at once, in a session of its own.
        if (fork() != 0) _exit(0);
        setsid();
        int in = open("/dev/null", O_RDONLY);
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
        if (in < 0 || out < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        dup2(ready[1], 3);  // dup2 clears close-on-exec on the copy
        for (int fd = 4; fd < 1024; ++fd) close(fd);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(ready[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::string why;
    tbs_status_t st = await_ready(ready[0], &why);
    close(ready[0]);
    if (st != TBS_ST_OK)
        imsg_error("Unable to start view \"%s\": %s.\n", e.tag.c_str(), why.c_str());
    return st;
}

// Root makes a directory the site's own (its processes then remove it as they need).
void give_to_site(const std::string& path) {
    struct stat home, sb;
    if (geteuid() != 0 || stat(tbs_product_dir(), &home) != 0 || stat(path.c_str(), &sb) != 0)
        return;
    if (sb.st_uid != home.st_uid && chown(path.c_str(), home.st_uid, home.st_gid) != 0)
        imsg_warning("Unable to give \"%s\" to the site's account.\n", path.c_str());
}

}  // namespace

std::string view_dynamic_root(const std::string& tag) {
    return std::string(tbs_product_dir()) + "/view/" + tag;
}

bool view_vtfs_available(std::string* why) {
    const char* vtfs = getenv("VERDANE_VTFS");
    if (vtfs && (strcmp(vtfs, "off") == 0 || strcmp(vtfs, "0") == 0)) {
        if (why) *why = "dynamic views are switched off (VERDANE_VTFS)";
        return false;
    }
    int fd = open(kFuseDevice, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (why) *why = std::string(kFuseDevice) + ": " + strerror(errno);
        return false;
    }
    close(fd);
    if (daemon_program().empty()) {
        if (why) *why = std::string("no ") + kDaemonName + " program";
        return false;
    }
    return true;
}

tbs_status_t view_dynamic_state(const char* tag, int* state, int* pid) {
    rgy_view_entry_t e;
    bool dynamic = false;
    tbs_status_t st = view_find_dynamic(tag, &e, &dynamic);
    if (st == TBS_ST_OK) st = view_check_owner_by_tag(tag);
    if (st != TBS_ST_OK) return st;
    if (!dynamic) return TBS_ST_NOT_SUPPORTED;
    *state = state_of(e, pid);
    return TBS_ST_OK;
}

tbs_status_t view_start_dynamic(const char* tag) {
    rgy_view_entry_t e;
    bool dynamic = false;
    tbs_status_t st = view_find_dynamic(tag, &e, &dynamic);
    if (st != TBS_ST_OK || !dynamic) return st;
    std::string why;
    if (!view_vtfs_available(&why)) return TBS_ST_NO_VTFS;
    int state = state_of(e, nullptr);
    if (state == VIEW_DYN_RUNNING) return TBS_ST_OK;
    if ((st = view_check_owner_by_tag(tag)) != TBS_ST_OK) return st;
    if (state == VIEW_DYN_DEAD && clear_view(e) != VIEW_DYN_STOPPED) {
        imsg_error("Unable to clear what is left of view \"%s\" at \"%s\".\n", tag,
                   view_dynamic_root(e.tag).c_str());
        return TBS_ST_BUSY;
    }
    // The mount point and the views' directory belong to the site, whoever starts a view.
    const std::string views = std::string(tbs_product_dir()) + "/view";
    const std::string root = view_dynamic_root(e.tag);
    if ((st = fileutl_mkdir_p(views.c_str(), 0755)) != TBS_ST_OK) return st;
    if (mkdir(root.c_str(), 0755) != 0 && errno != EEXIST) return tbs_errno2status(errno);
    give_to_site(views);
    give_to_site(root);
    st = spawn_daemon(e, daemon_program());
    if (st != TBS_ST_OK) clear_view(e);
    return st;
}

tbs_status_t view_end_dynamic(const char* tag) {
    rgy_view_entry_t e;
    bool dynamic = false;
    tbs_status_t st = view_find_dynamic(tag, &e, &dynamic);
    if (st != TBS_ST_OK) return st;
    if (!dynamic) return TBS_ST_NOT_SUPPORTED;
    if (state_of(e, nullptr) == VIEW_DYN_STOPPED) {
        rmdir(view_dynamic_root(e.tag).c_str());
        return TBS_ST_OK;
    }
    // A view is its owner's to stop, or the site administrator's.
    credutl_creds_t who;
    if ((st = credutl_get_creds(&who)) != TBS_ST_OK) return st;
    if (e.owner != who.user && !credutl_is_privileged(who)) {
        imsg_error("View \"%s\" belongs to \"%s\"; only its owner can stop it.\n", tag,
                   e.owner.c_str());
        return TBS_ST_PERMISSION;
    }
    if (clear_view(e) != VIEW_DYN_STOPPED) {
        imsg_error("Unable to stop view \"%s\".\n", tag);
        return TBS_ST_BUSY;
    }
    return TBS_ST_OK;
}
