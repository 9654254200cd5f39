// lighttpd serving vdweb.cgi for one test: a throw-away site, the site's lighttpd
// configuration made from the same template scripts/serve uses, a free loopback port.
//
// The constructor starts the server and waits until it accepts connections; started()
// tells whether it did and failure() why not (a missing lighttpd is a failure, never a
// reason to skip). The destructor stops the server and removes the site.
#ifndef VDWEB_TESTS_E2E_LIGHTTPD_SERVER_H
#define VDWEB_TESTS_E2E_LIGHTTPD_SERVER_H

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/cgi_process.h"

namespace e2e {

// A loopback port the kernel had free a moment ago (0 when none); whoever binds it retries
// if another process takes it first.
int free_loopback_port();
// Whether something accepts connections on the loopback port.
bool accepts_connections(int port);

class LighttpdServer {
public:
    // A static file the document root holds, for comparing with the CGI program.
    static constexpr const char* kStaticFile = "/hello.txt";

    // cgi names the program served at /vdweb; empty means the built vdweb.cgi. extra_config
    // goes after the template, its markers replaced alike: lines that add to the site's
    // configuration or, assigned with ":=", replace one of its settings. With
    // allow_anonymous, requests without credentials run as the site account
    // (VDWEB_ALLOW_ANONYMOUS=1); the login tests turn it off, as scripts/serve has it.
    explicit LighttpdServer(const Settings& settings = {}, std::string cgi = {},
                            std::string extra_config = {}, bool allow_anonymous = true);
    // A second web host of the site `first` serves: its own lighttpd on a port of its own,
    // with the same configuration and the same site home, as another machine mounting the
    // site would run. `first` must outlive it.
    LighttpdServer(const LighttpdServer& first, bool allow_anonymous);
    ~LighttpdServer();
    LighttpdServer(const LighttpdServer&) = delete;
    LighttpdServer& operator=(const LighttpdServer&) = delete;

    bool started() const { return pid_ > 0 && failure_.empty(); }
    const std::string& failure() const { return failure_; }
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    const TempSite& site() const { return *site_; }

    // http://127.0.0.1:<port><path>
    std::string url(std::string_view path = "/vdweb") const;
    // The server's error log, for failure messages.
    std::string error_log() const;
    // The vdweb.cgi processes this server has started and that are still alive.
    std::vector<pid_t> cgi_processes() const;

    // Kills the host as a machine that fails would stop: every vdweb.cgi it started and
    // lighttpd itself at once (SIGKILL), nothing told, nothing cleaned up.
    void kill_now();

    // The template with its markers replaced.
    static std::string render_config(std::string text, int port, const std::string& home,
                                     const std::string& cgi);

private:
    void start();
    bool start_once();
    void stop();
    // This host's configuration file and console log, relative to the site.
    std::string own_file(const char* stem, const char* ext) const;

    std::unique_ptr<TempSite> own_site_;  // null for a second host of another's site
    const TempSite* site_;
    std::string cgi_;
    std::string extra_config_;
    int port_ = 0;
    pid_t pid_ = -1;
    std::string failure_;
};

}  // namespace e2e

#endif  // VDWEB_TESTS_E2E_LIGHTTPD_SERVER_H
