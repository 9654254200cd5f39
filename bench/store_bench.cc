// The store on SQLite against PostgreSQL, both in one run, the figures side by side.
//
//   bench_store [--files N] [--elements M] [--cycles K] [dir]
//
// For each store, in a fresh site served by lighttpd (PostgreSQL: a throw-away cluster of
// its own, scripts/pg-cluster start-temp, removed at the end and on failure):
//   make VOB          vdtool mkvob of an empty VOB;
//   import N files    vdtool import of a tree of N files (default 10,000) of 10,000 bytes,
//                     100 to a directory, into that VOB;
//   build M elements  vdtool import of a tree of M elements (default 100,000: files of 64
//                     bytes, 100 to a directory) into a second VOB: the large VOB is made
//                     the fastest way the core has;
//   co+ci in M        vdtool checkout and checkin of one file of the large VOB, two
//                     commands as an administrator runs them, the mean of K cycles
//                     (default 10), in milliseconds;
//   first fetch       a web view loading the N-file VOB fetched whole into an empty copy
//                     area through lighttpd (ws_sync_fetch_rpc and its commit, the records
//                     applied to disk as they arrive, as bench_sync does);
//   no-change fetch   the same fetch again when nothing changed.
// Each row gives the wall time per store and PostgreSQL's time over SQLite's. The trees are
// written once below dir (default $TMPDIR or /tmp) and removed at the end. Requests run as
// the site's account (no login), as the tests' anonymous sites do.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
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
constexpr size_t kFileSize = 10000;
constexpr size_t kElementSize = 64;

[[noreturn]] void die(const std::string& why) {
    fprintf(stderr, "bench_store: %s\n", why.c_str());
    exit(1);
}

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A command line made of the benchmark's own values, its output discarded; its wall time.
double timed(const std::string& command) {
    const auto start = Clock::now();
    if (system((command + " >/dev/null </dev/null").c_str()) != 0) die("failed: " + command);
    return since(start);
}

struct Options {
    int files = 10000;
    int elements = 100000;
    int cycles = 10;
    std::string dir;
};

Options parse_options(int argc, char** argv) {
    Options o;
    const char* tmp = getenv("TMPDIR");
    o.dir = tmp && *tmp ? tmp : "/tmp";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        int* target = a == "--files"      ? &o.files
                      : a == "--elements" ? &o.elements
                      : a == "--cycles"   ? &o.cycles
                                          : nullptr;
        if (target) {
            if (i + 1 >= argc) die("missing value after " + a);
            *target = atoi(argv[++i]);
        } else if (a.empty() || a[0] == '-') {
            die("usage: bench_store [--files N] [--elements M] [--cycles K] [dir]");
        } else {
            o.dir = a;
        }
    }
    if (o.files < 100) die("--files: at least 100");
    if (o.elements < 200) die("--elements: at least 200");
    if (o.cycles < 1) die("--cycles: at least 1");
    return o;
}

// The steps in the order they run, one figure each per store.
enum Step { kMkvob, kImport, kBuild, kCycle, kFetch, kNoChange, kSteps };

struct Backend {
    const char* name;
    bool postgresql;
    double figures[kSteps] = {};
};

std::vector<std::string> step_names(const Options& o) {
    return {"make VOB (s)",
            "import " + std::to_string(o.files) + " files (s)",
            "build VOB of " + std::to_string(o.elements) + " elements (s)",
            "co+ci in it (ms, mean of " + std::to_string(o.cycles) + ")",
            "web-view fetch, " + std::to_string(o.files) + " files (s)",
            "no-change fetch (s)"};
}

void run_backend(const Options& o, const std::string& tree, const std::string& big_tree,
                 const std::string& probe, Backend* b) {
    const std::vector<std::string> names = step_names(o);
    auto note = [&](Step s, double v) {
        b->figures[s] = v;
        printf("  %-10s %-42s %10.3f\n", b->name, names[s].c_str(), v);
        fflush(stdout);
    };
    std::unique_ptr<bench::TempPgCluster> cluster;
    if (b->postgresql) {
        cluster = std::make_unique<bench::TempPgCluster>(o.dir);
        if (!cluster->started()) die("cannot start a PostgreSQL cluster (scripts/pg-cluster)");
        setenv("VERDANE_STORE", cluster->store().c_str(), 1);
    } else {
        unsetenv("VERDANE_STORE");
    }
    {
        // The site names the store of VERDANE_STORE in its own settings, which every
        // process of the site reads.
        e2e::LighttpdServer server;
        if (!server.started()) die(server.failure());
        const std::string home = server.site().home();
        const std::string vdtool = "VERDANE_HOME=" + home + " " + VDTOOL_PATH;

        note(kMkvob, timed(vdtool + " mkvob -tag /vobs/b " + home + "/vobs/b.vbs"));
        note(kImport, timed(vdtool + " import " + tree + " /vobs/b"));
        timed(vdtool + " mkvob -tag /vobs/big " + home + "/vobs/big.vbs");
        note(kBuild, timed(vdtool + " import " + big_tree + " /vobs/big"));
        // What the imports left to write back would otherwise be paid for by what follows.
        sync();

        const std::string src = home + "/probe-src";
        const std::string element = "/vobs/big/" + probe;
        double cycles = 0;
        for (int i = 0; i < o.cycles; ++i) {
            std::ofstream(src, std::ios::trunc) << "int probe = " << i << ";\n";
            const auto start = Clock::now();
            timed(vdtool + " co " + element);
            timed(vdtool + " ci -from " + src + " " + element);
            cycles += since(start);
        }
        note(kCycle, cycles * 1000.0 / o.cycles);

        std::ofstream(home + "/cs")
            << "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/b\n";
        timed(vdtool + " mkview -tag web -webview -cspec " + home + "/cs " + home +
              "/views/web.vws");
        timed("chown -R --reference=" + home + "/tmp " + home + "/vobs " + home + "/views " + home +
              "/registry 2>/dev/null || true");
        e2e::CopyArea area(home + "/ca", bench::view_uuid(vdtool, "web"));
        if (area.view_uuid().empty()) die("the web view has no UUID");
        bench::SyncRun first, again;
        std::string why;
        if (!bench::fetch_and_commit(server, area, kAnonymous, &first, &why)) die(why);
        if (first.records < static_cast<size_t>(o.files))
            die("the first fetch applied " + std::to_string(first.records) + " records");
        note(kFetch, first.seconds);
        if (!bench::fetch_and_commit(server, area, kAnonymous, &again, &why)) die(why);
        note(kNoChange, again.seconds);
        printf("  %-10s (first fetch: %zu records, %lld bytes, vdweb.cgi peak %.1f MiB)\n", b->name,
               first.records, first.bytes, first.peak_mib);
    }
    unsetenv("VERDANE_STORE");
    if (cluster) cluster->stop();
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse_options(argc, argv);
    const std::string scratch = o.dir + "/bench-store-" + std::to_string(getpid());
    fs::create_directories(scratch);

    // The trees both stores import: N files of 10,000 bytes, and M elements (files and the
    // directories holding them, 100 files to a directory).
    std::mt19937 rng(42);
    const std::string tree = scratch + "/tree", big_tree = scratch + "/big";
    bench::write_source_tree(tree, o.files, kFileSize, rng);
    const int big_files = static_cast<int>(static_cast<long>(o.elements) * 100 / 101);
    const std::vector<std::string> big =
        bench::write_source_tree(big_tree, big_files, kElementSize, rng);
    printf(
        "bench_store: %d files of %zu bytes; a VOB of %d elements (%d files of %zu bytes, 100 "
        "to a directory)\n",
        o.files, kFileSize, big_files + (big_files + 99) / 100, big_files, kElementSize);

    Backend backends[] = {{"sqlite", false}, {"postgresql", true}};
    for (Backend& b : backends) run_backend(o, tree, big_tree, big[big.size() / 2], &b);
    std::error_code ec;
    fs::remove_all(scratch, ec);

    const std::vector<std::string> names = step_names(o);
    printf("\n  %-42s %10s %10s %9s\n", "step", "sqlite", "postgresql", "pg/sqlite");
    for (int s = 0; s < kSteps; ++s) {
        const double lite = backends[0].figures[s], pg = backends[1].figures[s];
        printf("  %-42s %10.3f %10.3f %9.2f\n", names[static_cast<size_t>(s)].c_str(), lite, pg,
               lite > 0 ? pg / lite : 0.0);
    }
    return 0;
}
