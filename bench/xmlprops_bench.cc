// Properties of many resources in one XML request, through vdweb.cgi run as a process of its
// own: "ReadPropertiesList" of three properties ("version-name", "creation-date",
// "predecessor") of every version of an element with N versions, for N = 100, 1,000 and
// 5,000 — time, peak memory of the CGI process and bytes answered. The answer streams, so
// the peak should not grow with N. Next to it, git log of the same three facts (name, time,
// parent) of a file with the same number of commits, in the same run.
//   bench_xmlprops [dir]
// dir defaults to $TMPDIR or /tmp.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/cmd/cmd.h"
#include "core/vob/vob.h"
#include "e2e/cgi_process.h"
#include "e2e/rpc_client.h"

namespace {

constexpr std::chrono::seconds kLimit(600);

bool ok(tbs_status_t st, const char* what) {
    if (st == TBS_ST_OK) return true;
    fprintf(stderr, "bench_xmlprops: %s: %s\n", what, tbs_strerror(st));
    return false;
}

// A git repository whose file f.c has `n` commits, made with fast-import.
bool git_repo(const std::string& dir, int n) {
    std::filesystem::create_directories(dir);
    if (bench::run_program(dir, {"git", "init", "-q"}) != 0) return false;
    const std::string stream = dir + "/import";
    {
        std::ofstream out(stream, std::ios::binary);
        for (int i = 1; i <= n; ++i) {
            const std::string content = "version " + std::to_string(i) + "\n";
            const std::string msg = "change " + std::to_string(i) + "\n";
            out << "commit refs/heads/main\ncommitter B <b@example.com> " << 1700000000 + i
                << " +0000\ndata " << msg.size() << "\n"
                << msg << "M 644 inline f.c\ndata " << content.size() << "\n"
                << content << "\n";
        }
    }
    const std::string cmd = "cd '" + dir + "' && git fast-import --quiet < import";
    return system(cmd.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    dir += "/bench_xmlprops." + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    e2e::TempSite site;
    bench::use_site(site.home());
    vob_create_args_t vob;
    vob.tag = "/vobs/b";
    const std::string storage = site.home() + "/vobs/b.vbs";
    vob.storage = storage.c_str();
    if (!ok(vob_create(vob, nullptr), "mkvob")) return 1;
    const std::string elem = "/vobs/b/f.c";
    cmd_mkelem_args_t mk;
    mk.pnames = {elem};
    mk.checkin = true;
    if (!ok(cmd_utl_mkelem(&mk), "mkelem")) return 1;
    int versions = 1;
    printf("bench_xmlprops: ReadPropertiesList, 3 properties per version\n");
    printf("  %-40s %8s %10s %12s\n", "", "time", "peak", "answer");
    for (int n : {100, 1000, 5000}) {
        for (; versions < n; ++versions) {
            cmd_checkout_args_t co;
            co.pnames = {elem};
            cmd_checkin_args_t ci;
            ci.pnames = {elem};
            ci.identical = true;
            if (!ok(cmd_checkout(&co), "checkout") || !ok(cmd_checkin(&ci), "checkin")) return 1;
        }
        std::string xml = "<ReadPropertiesList version=\"1.0\">";
        for (int i = 0; i < n; ++i)
            xml += "<resource>" + elem + "@@/main/" + std::to_string(i) + "</resource>";
        xml +=
            "<prop prop-name=\"version-name\"/><prop prop-name=\"creation-date\"/>"
            "<prop prop-name=\"http://verdane.org/TEAM/PROPERTY:predecessor\"/>"
            "</ReadPropertiesList>";
        const std::string body = e2e::form_body("ReadPropertiesList", xml.c_str());
        const std::string input = dir + "/body";
        bench::write_lines(input, {body});
        auto start = bench::Clock::now();
        e2e::CgiResult r =
            e2e::run_cgi_reading(site.home(), e2e::form_post_env(body), input, kLimit);
        const double secs = bench::seconds_since(start);
        if (!e2e::read_response(r.out).ended_ok())
            fprintf(stderr, "bench_xmlprops: the request did not end well:\n%s\n",
                    r.out.substr(r.out.size() > 2000 ? r.out.size() - 2000 : 0).c_str());
        char what[64];
        snprintf(what, sizeof what, "vdweb.cgi, %d versions", n);
        printf("  %-40s %6.3f s %6.1f MiB %9zu bytes\n", what, secs, r.max_rss_kb / 1024.0,
               r.out.size());
        const std::string repo = dir + "/git" + std::to_string(n);
        if (!git_repo(repo, n)) {
            fprintf(stderr, "bench_xmlprops: git repository not made\n");
            return 1;
        }
        bench::Run g = bench::run_measured(
            {"git", "-C", repo, "log", "--format=%H %ct %P", "main", "--", "f.c"});
        snprintf(what, sizeof what, "git log, %d commits", n);
        printf("  %-40s %6.3f s %6.1f MiB\n", what, g.seconds, g.max_rss_mib);
    }
    bench::remove_tree(dir);
    return 0;
}
