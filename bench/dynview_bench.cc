// Dynamic-view benchmark: reading every file of a dynamic view (the view's daemon serving
// its mount) against the same files in a snapshot view's copy area on the same disk.
//
//   bench_dynview [dir] [runs]
//
// A VOB of 10,000 files in 100 directories, 100 MB in all (each file half text, half
// random bytes, so the pool compresses part of it), is imported once; a snapshot view
// loads it, and a dynamic view is started on it. Measured, each as the median of `runs`
// (default 3):
//   tar c   of both roots, read whole and thrown away (through a pipe: GNU tar writing
//           to /dev/null itself would skip reading the files);
//   ls -lR  of both roots;
// cold (the page cache dropped when this process may, and the view's daemon restarted so
// its caches are empty) and warm (at once again). The dynamic view is measured as served by
// default (every lookup answered afresh) and with the kernel keeping names and attributes
// for 5 seconds (VERDANE_VTFS_CACHE=5). dir defaults to $TMPDIR or /tmp.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/cmd/cmd.h"
#include "core/cmdsyn/cmdsyn.h"
#include "core/tbs/tbs.h"
#include "core/view/view.h"
#include "core/vob/vob.h"

namespace fs = std::filesystem;
using bench::Clock;
using bench::in_child;
using bench::Run;
using bench::seconds_since;
using bench::use_site;

namespace {

const int kFiles = 10000;
const int kPerDir = 100;
const size_t kTotal = 100u << 20;

void make_tree(const std::string& tree) {
    bench::remove_tree(tree);
    std::mt19937_64 rng(42);
    const size_t each = kTotal / kFiles;
    std::string buf(each, '\0');
    for (int i = 0; i < kFiles; ++i) {
        const std::string d = tree + "/d" + std::to_string(i / kPerDir);
        if (i % kPerDir == 0) fs::create_directories(d);
        size_t at = 0;
        while (at < each / 2) {
            const std::string line = "line " + std::to_string(at) + " of file " +
                                     std::to_string(i) + ": some text that repeats\n";
            const size_t n = std::min(line.size(), each / 2 - at);
            buf.replace(at, n, line, 0, n);
            at += n;
        }
        for (; at < each; ++at) buf[at] = static_cast<char>(rng());
        std::ofstream(d + "/f" + std::to_string(i), std::ios::binary) << buf;
    }
}

int vdtool(const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return cmdsyn_execv(static_cast<int>(argv.size()), argv.data());
}

// Runs a program with its standard output read and thrown away here; seconds taken.
double timed(const std::vector<std::string>& argv_text) {
    std::vector<char*> argv;
    for (const std::string& a : argv_text) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) return -1;
    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    static char sink[1 << 16];
    while (read(fds[0], sink, sizeof sink) > 0) {
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const double s = seconds_since(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

bool drop_page_cache() {
    sync();
    std::ofstream f("/proc/sys/vm/drop_caches");
    f << "3\n";
    f.flush();
    return static_cast<bool>(f);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = getenv("TMPDIR");
    const std::string dir = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    const std::string work = dir + "/bench-dynview";
    bench::remove_tree(work);
    const std::string home = work + "/site", tree = work + "/tree";
    fs::create_directories(home);
    use_site(home);
    std::string why;
    if (!view_vtfs_available(&why)) {
        printf("bench_dynview: skipped: %s\n", why.c_str());
        return 0;
    }
    make_tree(tree);
    const std::string spec = work + "/cspec";
    std::ofstream(spec) << "element * /main/LATEST\nload /vobs/b\n";
    Run built = in_child([&] {
        use_site(home);
        if (vdtool({"mkvob", "-tag", "/vobs/b", home + "/b.vbs"}) != 0) return 1;
        if (vdtool({"import", "-nc", tree, "/vobs/b"}) != 0) return 1;
        if (vdtool({"mkview", "-tag", "snap", "-snapshot", "-cspec", spec, home + "/snap.vws"}))
            return 1;
        if (vdtool({"update", "-tag", "snap"}) != 0) return 1;
        return vdtool({"mkview", "-tag", "dv", "-dynamic", home + "/dv.vws"});
    });
    if (built.status != 0) {
        fprintf(stderr, "bench_dynview: building the site failed\n");
        return 1;
    }
    bench::remove_tree(tree);
    const std::string snap = home + "/snap.vws/root";
    std::string dyn;
    tbs_view_root("dv", &dyn);
    printf("bench_dynview: %d files, %zu MB, built in %.1f s; runs: %d\n", kFiles, kTotal >> 20,
           built.seconds, runs);

    const bool can_drop = drop_page_cache();
    struct Measure {
        const char* what;
        std::vector<std::string> (*argv)(const std::string& root);
    };
    const Measure measures[] = {
        {"tar c",
         [](const std::string& root) {
             return std::vector<std::string>{"tar", "-cf", "-", "-C", root, "vobs"};
         }},
        {"ls -lR",
         [](const std::string& root) {
             return std::vector<std::string>{"ls", "-lR", root + "/vobs"};
         }},
    };
    int failures = 0;
    // 0: the snapshot view; 1: the dynamic view; 2: the dynamic view, kernel cache 5 s.
    const char* const kinds[] = {"snapshot", "dynamic", "dynamic, kernel cache 5 s"};
    for (const Measure& m : measures) {
        std::vector<double> cold[3], warm[3];
        for (int r = 0; r < runs; ++r) {
            for (int which = 0; which < 3; ++which) {
                const std::string& root = which == 0 ? snap : dyn;
                if (which > 0) {
                    view_end_dynamic("dv");
                    if (which == 2)
                        setenv("VERDANE_VTFS_CACHE", "5", 1);
                    else
                        unsetenv("VERDANE_VTFS_CACHE");
                    if (view_start_dynamic("dv") != 0) {
                        fprintf(stderr, "bench_dynview: startview failed\n");
                        return 1;
                    }
                    unsetenv("VERDANE_VTFS_CACHE");
                }
                if (can_drop) drop_page_cache();
                const double c = timed(m.argv(root));
                const double w = timed(m.argv(root));
                failures += c < 0 || w < 0;
                cold[which].push_back(c);
                warm[which].push_back(w);
            }
        }
        const double sc = median(cold[0]), sw = median(warm[0]);
        printf("  %-7s snapshot: cold%s %.3f s, warm %.3f s\n", m.what,
               can_drop ? "" : " (page cache not dropped)", sc, sw);
        for (int which = 1; which < 3; ++which) {
            const double dc = median(cold[which]), dw = median(warm[which]);
            printf("  %-7s %s: cold %.3f s (%.2fx), warm %.3f s (%.2fx)\n", m.what, kinds[which],
                   dc, sc > 0 ? dc / sc : 0, dw, sw > 0 ? dw / sw : 0);
        }
    }
    view_end_dynamic("dv");
    bench::remove_tree(work);
    if (failures) fprintf(stderr, "bench_dynview: %d runs failed\n", failures);
    return failures ? 1 : 0;
}
