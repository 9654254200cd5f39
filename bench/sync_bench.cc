// Web views through lighttpd, next to git behind the same lighttpd.
//
//   bench_sync [files [megabytes]]   (default 10000 files, 100 MB in all, 100 to a directory)
//
// A benchmark client applies each fetch's records to a copy area on disk as they arrive
// and commits what it applied, as a real client does. Rows:
//   first fetch     an empty copy area fetched whole (and committed), against `git clone`
//                   of the same tree through git http-backend;
//   no change       a fetch and commit when nothing changed, against `git pull`;
//   1% changed      after 1% of the files got new versions, the other web view's fetch and
//                   commit, against `git pull` of a commit changing the same files;
//   atomic checkin  checkin of those files as one atomic checkin (after their checkout in
//                   one request), against `git commit` and `git push` of the change.
// Each row gives the wall time, the bytes the client received and, for vdweb, the peak
// resident size (VmHWM) of the vdweb.cgi process. Requests run as the site's account
// (no login), as the tests' anonymous sites do.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "e2e/lighttpd_server.h"
#include "e2e/rpc_client.h"
#include "e2e/test_users.h"
#include "site_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const e2e::TestUser kAnonymous{"", ""};

[[noreturn]] void die(const std::string& why) {
    fprintf(stderr, "bench_sync: %s\n", why.c_str());
    exit(1);
}

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void run(const std::string& command) {
    if (system(command.c_str()) != 0) die("failed: " + command);
}

// Bytes are what the client received (git: the clone's object store; not measured for git's
// other rows).
void row(const char* what, const char* who, double seconds, long long bytes, double peak_mib) {
    if (bytes <= 0)
        printf("  %-16s %-6s %9.3f s %12s bytes\n", what, who, seconds, "-");
    else if (peak_mib > 0)
        printf("  %-16s %-6s %9.3f s %12lld bytes %8.1f MiB\n", what, who, seconds, bytes,
               peak_mib);
    else
        printf("  %-16s %-6s %9.3f s %12lld bytes\n", what, who, seconds, bytes);
    fflush(stdout);
}

// A fetch applied to `area` and committed.
bench::SyncRun fetch_and_commit(const e2e::LighttpdServer& server, e2e::CopyArea& area) {
    bench::SyncRun s;
    std::string why;
    if (!bench::fetch_and_commit(server, area, kAnonymous, &s, &why)) die(why);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? atoi(argv[1]) : 10000;
    const long long megabytes = argc > 2 ? atoll(argv[2]) : 100;
    if (files < 100) die("at least 100 files");
    const size_t size = static_cast<size_t>(megabytes * 1000 * 1000 / files);
    printf("bench_sync: %d files of %zu bytes (%lld MB), 100 to a directory\n", files, size,
           megabytes);

    const std::string git_config = bench::git_backend_config();
    if (git_config.empty()) die("git http-backend is not installed");
    e2e::LighttpdServer server({}, {}, git_config);
    if (!server.started()) die(server.failure());
    const std::string home = server.site().home();
    const std::string vdtool = "VERDANE_HOME=" + home + " " + VDTOOL_PATH;

    // The same tree as a VOB and as a git repository.
    std::mt19937 rng(42);
    const std::string tree = home + "/tree";
    const std::vector<std::string> names = bench::write_source_tree(tree, files, size, rng);
    run(vdtool + " mkvob -tag /vobs/b " + home + "/vobs/b.vbs >/dev/null");
    run(vdtool + " import " + tree + " /vobs/b >/dev/null");
    std::ofstream(home + "/cs") << "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/b\n";
    for (const char* tag : {"web1", "web2"})
        run(vdtool + " mkview -tag " + tag + " -webview -cspec " + home + "/cs " + home +
            "/views/" + tag + ".vws >/dev/null");
    run("chown -R --reference=" + home + "/tmp " + home + "/vobs " + home + "/views " + home +
        "/registry 2>/dev/null || true");
    const std::string git = "git -c user.name=bench -c user.email=bench@localhost";
    run("cd " + tree + " && " + git + " init -q && " + git + " add -A && " + git +
        " commit -qm import && " + git + " clone -q --bare . " + home +
        "/git/b.git && git --git-dir=" + home + "/git/b.git config http.receivepack true");
    run("chown -R --reference=" + home + "/tmp " + home + "/git 2>/dev/null || true");

    e2e::CopyArea one(home + "/ca1", bench::view_uuid(vdtool, "web1"));
    e2e::CopyArea two(home + "/ca2", bench::view_uuid(vdtool, "web2"));

    // First fetch.
    bench::SyncRun first = fetch_and_commit(server, one);
    row("first fetch", "vdweb", first.seconds, first.bytes, first.peak_mib);
    fetch_and_commit(server, two);
    const std::string url = server.url("/git/b.git");
    auto start = Clock::now();
    run("git clone -q " + url + " " + home + "/clone1");
    const double clone_s = since(start);
    run("git clone -q " + url + " " + home + "/clone2");
    long long pack = 0;
    for (auto& e : fs::recursive_directory_iterator(home + "/clone1/.git/objects"))
        if (e.is_regular_file()) pack += static_cast<long long>(e.file_size());
    row("first fetch", "git", clone_s, pack, 0);

    // Nothing changed.
    bench::SyncRun none = fetch_and_commit(server, one);
    row("no change", "vdweb", none.seconds, none.bytes, none.peak_mib);
    start = Clock::now();
    run("git -C " + home + "/clone1 pull -q");
    row("no change", "git", since(start), 0, 0);

    // 1% of the files change: checked out in one request, checked in atomically.
    const int changed = files / 100;
    e2e::ArgList co = {{"ViewUuid", one.view_uuid()},
                       {"NonlatestOption", "1"},
                       {"UseHijack", "0"},
                       {"Unreserved", "0"},
                       {"FallbackToUnreserved", "0"},
                       {"NotMasterOk", "0"},
                       {"CheckReplicationOnServer", "0"},
                       {"SeriesId", ""},
                       {"SeriesIsFirst", "1"},
                       {"SeriesIsLast", "1"},
                       {"NumItems", std::to_string(changed)}};
    e2e::ArgList ci = {{"ViewUuid", one.view_uuid()},
                       {"Comment", "change"},
                       {"Identical", "0"},
                       {"NumItems", std::to_string(changed)}};
    std::string upload;
    for (int i = 0; i < changed; ++i) {
        const std::string rel = names[static_cast<size_t>(i * 100 + 7)];
        co.insert(co.end(), {{"BeginItem", ""},
                             {"Scope", "vobs/b/" + rel},
                             {"CurVerId", ""},
                             {"IsHijacked", "0"},
                             {"Activity", ""},
                             {"Comment", ""},
                             {"EndItem", ""}});
        ci.emplace_back("Scope", "vobs/b/" + rel);
        const std::string c = bench::source_text(rng, size, 1);
        upload += std::to_string(c.size()) + "\n" + c;
        std::ofstream(home + "/clone2/" + rel, std::ios::binary) << c;
    }
    e2e::Response r = e2e::post_rpc(server.url(), "checkout_rpc", e2e::args(co), kAnonymous);
    if (e2e::status_of(r) != "0") die("checkout failed: " + e2e::text_of(r));
    start = Clock::now();
    e2e::PostOptions up;
    up.upload = &upload;
    r = e2e::post_rpc(server.url(), "checkin_atomic_rpc", e2e::args(ci), kAnonymous, up);
    if (e2e::status_of(r) != "0") die("atomic checkin failed: " + e2e::text_of(r));
    row("atomic checkin", "vdweb", since(start), r.bytes, 0);
    start = Clock::now();
    run("cd " + home + "/clone2 && " + git + " commit -qam change && git push -q");
    row("atomic checkin", "git", since(start), 0, 0);

    bench::SyncRun some = fetch_and_commit(server, two);
    row("1% changed", "vdweb", some.seconds, some.bytes, some.peak_mib);
    start = Clock::now();
    run("git -C " + home + "/clone1 pull -q");
    row("1% changed", "git", since(start), 0, 0);
    printf("  (1%% changed: %zu records applied)\n", some.records);
    return 0;
}
