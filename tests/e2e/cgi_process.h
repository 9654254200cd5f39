// Running vdweb.cgi as a real process for the end-to-end tests: a throw-away site, the
// CGI environment and body in, standard output, standard error and exit status out.
#ifndef VDWEB_TESTS_E2E_CGI_PROCESS_H
#define VDWEB_TESTS_E2E_CGI_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

using Settings = std::vector<std::pair<std::string, std::string>>;  // server.conf key, value
using Env = std::vector<std::pair<std::string, std::string>>;       // name, value

// The built vdweb.cgi.
const char* cgi_path();

// A fresh VERDANE_HOME in a temporary directory, removed with the object: the configuration
// file config/qlmx/server.conf with the given settings, tmp/ and log/, and the core's
// config/site.conf naming the store of VERDANE_STORE when that is set.
class TempSite {
public:
    explicit TempSite(const Settings& settings = {});
    ~TempSite();
    TempSite(const TempSite&) = delete;
    TempSite& operator=(const TempSite&) = delete;

    const std::string& home() const { return home_; }
    bool ok() const { return !home_.empty(); }
    // Replaces the configuration file.
    void write_config(const Settings& settings) const;
    // Writes a file below the site, creating its directories.
    void write_file(const std::string& relative, std::string_view content) const;

private:
    std::string home_;
};

struct CgiResult {
    std::string out;
    std::string err;
    bool exited = false;  // ended by exit; exit_code is valid
    int exit_code = -1;
    int signal = 0;          // the signal that ended it, if any
    bool timed_out = false;  // killed because it outlived the limit given to run_cgi
    long max_rss_kb = 0;     // the process's peak resident memory
};

// Called with the child's process id once the whole body has been written. When one is
// given, the child's input stays open afterwards (as a client that stopped sending leaves
// it), so a body shorter than its stated length keeps the child waiting for more.
using AfterBody = std::function<void(pid_t)>;

// Runs vdweb.cgi with exactly `env` and VERDANE_HOME=home as its environment (and
// VDWEB_ALLOW_ANONYMOUS=1 unless `env` sets it: a test of a login passes "0"), `body` on
// its standard input. A process still running after `limit` is killed, so a hanging
// program fails the test instead of stopping it.
CgiResult run_cgi(const std::string& home, const Env& env, std::string_view body,
                  std::chrono::seconds limit = std::chrono::seconds(60),
                  const AfterBody& after_body = nullptr);
// The same with the body read from the file `input`. A child forked from a process holding a
// large body in memory starts with that process's resident size as its peak, so a test that
// measures a child's memory hands it its body in a file.
CgiResult run_cgi_reading(const std::string& home, const Env& env, const std::string& input,
                          std::chrono::seconds limit = std::chrono::seconds(60));
// The same for any program, with exactly `env` as its environment.
CgiResult run_program(const char* path, const Env& env, std::string_view body,
                      std::chrono::seconds limit = std::chrono::seconds(60),
                      const AfterBody& after_body = nullptr);

// application/x-www-form-urlencoded text of one value.
std::string url_encode(std::string_view text);
// The form body of an RPC: "rpc=<name>" and, when given, "&rpcargs=<args>".
std::string form_body(std::string_view rpc, const char* rpcargs = nullptr);
// The CGI variables of a form POST with this body.
Env form_post_env(std::string_view body);

}  // namespace e2e

#endif  // VDWEB_TESTS_E2E_CGI_PROCESS_H
