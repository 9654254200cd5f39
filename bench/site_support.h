// What the benchmarks that run through a web server share: outside programs' output, a
// generated source tree, git http-backend behind the site's lighttpd, the processes a
// server has started read from /proc, a web view fetched as a client fetches it, and a
// throw-away PostgreSQL cluster for the store.
#ifndef BENCH_SITE_SUPPORT_H
#define BENCH_SITE_SUPPORT_H

#include <sys/types.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace e2e {
class CopyArea;
class LighttpdServer;
struct TestUser;
}  // namespace e2e

namespace bench {

// What a shell command line made of the benchmark's own values prints, without its trailing
// line ends; empty when it cannot run or fails.
std::string command_output(const std::string& command);

// The path of git http-backend; empty when it is not installed.
std::string git_backend_path();
// lighttpd configuration serving git http-backend at /git/<repo>, the repositories below the
// site's git/ directory (with the site template's markers); empty when there is no backend.
std::string git_backend_config();

// Text that compresses about as source code does; its first line names the generation, so
// every generation of a file differs from the one before.
std::string source_text(std::mt19937& rng, size_t size, int generation);

// Writes `files` files of generation 0 and `size` bytes below `dir`, 100 to a directory
// (d<n>/f<i>.c), and returns their paths relative to `dir` in order.
std::vector<std::string> write_source_tree(const std::string& dir, int files, size_t size,
                                           std::mt19937& rng);

// A small /proc file into buf, NUL-terminated; 0 when the process is gone.
size_t read_proc(const std::string& path, char* buf, size_t size);
// Children of the process's main thread: servers and CGI programs start theirs there.
std::vector<pid_t> children_of(pid_t pid);
// Every process below `pid`, children before their own children.
std::vector<pid_t> descendants_of(pid_t pid);
// Resident pages of one process (the statm figure VmRSS is made of); 0 when it is gone.
long resident_pages(pid_t pid);
// The process's peak resident size (VmHWM) in KiB; 0 when it is gone.
long peak_resident_kib(pid_t pid);

// A web-view fetch applied to a copy area as its records arrive, then committed.
struct SyncRun {
    double seconds = 0;   // the fetch and its commit
    long long bytes = 0;  // what the client received
    double peak_mib = 0;  // the peak resident size (VmHWM) of the vdweb.cgi processes
    size_t records = 0;   // the records applied
};
// Fetches `area`'s view through `server` as `user` and commits what was applied; the area
// is reset for the next fetch. False with the reason in `why`.
bool fetch_and_commit(const e2e::LighttpdServer& server, e2e::CopyArea& area,
                      const e2e::TestUser& user, SyncRun* run, std::string* why);

// The UUID of the view `tag` as `vdtool lsview -long` shows it (`vdtool`: the command that
// runs vdtool on the site); empty when there is none.
std::string view_uuid(const std::string& vdtool, const std::string& tag);

// A throw-away PostgreSQL cluster (scripts/pg-cluster start-temp, at a link of ours below
// `scratch`), stopped and removed with the object, or when the program exits or is
// interrupted before that.
class TempPgCluster {
public:
    explicit TempPgCluster(const std::string& scratch);
    ~TempPgCluster();
    TempPgCluster(const TempPgCluster&) = delete;
    TempPgCluster& operator=(const TempPgCluster&) = delete;

    bool started() const { return started_; }
    // The store's setting for a site keeping its databases in this cluster.
    std::string store() const;
    void stop();

private:
    std::string link_;
    bool started_ = false;
};

}  // namespace bench

#endif  // BENCH_SITE_SUPPORT_H
