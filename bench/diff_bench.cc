// Comparison engine benchmark: two versions of a 10 MB text file with 1% of the lines
// changed (replaced, inserted or deleted in equal shares, scattered), compared by a text
// session and walked to the end; then a 3-way merge of a base and two such descendants.
//
// Beside each figure it runs diff and git diff --no-index (and, for the merge, diff3 -m
// and git merge-file) on the same files in the same run. Every run is a child process of
// its own, so each time and peak memory (the child's maximum resident set, its VmHWM) is its
// own.
//   bench_diff [dir] [MiB] [percent changed]
// dir defaults to $TMPDIR or /tmp.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/dcl/dcl.h"

namespace {

// Opens a session over `paths` and walks every contributor and the result to the end.
int run_session(const std::vector<std::string>& paths) {
    DCL_TextArgs args;
    args.paths = paths;
    args.tool_name = "bench";
    std::unique_ptr<DCL_TextSession> s;
    std::string err;
    if (DCL_TextSession::open(args, &s, &err) != TBS_ST_OK) {
        fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    size_t blocks = 0, bytes = 0;
    for (int c = 0; c <= s->num_contributors(); ++c) {
        DCL_Walk w = c < s->num_contributors() ? s->walk(c) : s->merge_walk();
        for (; !w.at_end(); w.next(), ++blocks) bytes += w.block().text().size();
    }
    printf("    %zu regions, %zu conflicts, %zu blocks walked (%zu bytes)\n", s->num_regions(),
           s->num_conflicts(), blocks, bytes);
    return 0;
}

void report(const char* what, const bench::Run& r) {
    printf("  %-28s %8.3f s  %8.1f MiB peak  (exit %d)\n", what, r.seconds, r.max_rss_mib,
           r.status);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    size_t mib = argc > 2 ? static_cast<size_t>(atoi(argv[2])) : 10;
    double percent = argc > 3 ? atof(argv[3]) : 1.0;
    dir += "/bench_diff." + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::string base = dir + "/base.txt", from = dir + "/from.txt", to = dir + "/to.txt";
    // Made in a child, so that the measured children do not inherit the generator's pages.
    bench::in_child([&] {
        auto lines = bench::make_lines(mib << 20, 1);
        bench::write_lines(base, lines);
        bench::write_lines(from, bench::edit_lines(lines, percent, 2));
        bench::write_lines(to, bench::edit_lines(lines, percent, 3));
        printf("bench_diff: %zu MiB, %zu lines, %.1f%% of lines edited per version\n", mib,
               lines.size(), percent);
        return 0;
    });
    report("(an idle child, for scale)", bench::in_child([] { return 0; }));

    printf("2-way diff\n");
    report("dcl text session", bench::in_child([&] { return run_session({base, from}); }));
    report("diff", bench::run_measured({"diff", base, from}));
    report("git diff --no-index", bench::run_measured({"git", "diff", "--no-index", base, from}));

    printf("3-way merge\n");
    report("dcl text session", bench::in_child([&] { return run_session({base, from, to}); }));
    report("diff3 -m", bench::run_measured({"diff3", "-m", from, base, to}));
    report("git merge-file -p", bench::run_measured({"git", "merge-file", "-p", from, base, to}));
    bench::remove_tree(dir);
    return 0;
}
