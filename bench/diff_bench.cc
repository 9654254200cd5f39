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

std::vector<std::string> make_lines(size_t bytes, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> lines;
    size_t total = 0;
    for (size_t i = 0; total < bytes; ++i) {
        std::string l;
        switch (i % 7) {
            case 0:
                l = "}\n";
                break;  // repeated lines, as in real code
            case 1:
                l = "\n";
                break;
            default:
                l = "    value_" + std::to_string(i) + " = compute(input, " +
                    std::to_string(rng() % 1000) + ", \"" + std::to_string(rng()) + "\");\n";
        }
        total += l.size();
        lines.push_back(std::move(l));
    }
    return lines;
}

std::vector<std::string> edit(std::vector<std::string> lines, double percent, unsigned seed) {
    std::mt19937 rng(seed);
    size_t edits = static_cast<size_t>(static_cast<double>(lines.size()) * percent / 100.0);
    for (size_t e = 0; e < edits; ++e) {
        size_t at = rng() % lines.size();
        std::string fresh = "    edited_" + std::to_string(seed) + "_" + std::to_string(e) + ";\n";
        switch (e % 3) {
            case 0:
                lines[at] = fresh;
                break;
            case 1:
                lines.insert(lines.begin() + static_cast<ptrdiff_t>(at), fresh);
                break;
            default:
                lines.erase(lines.begin() + static_cast<ptrdiff_t>(at));
        }
    }
    return lines;
}

void write_file(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary);
    for (const auto& l : lines) out << l;
}

// Runs a program with stdout discarded; its time and peak memory.
bench::Run run_measured(std::vector<std::string> args) {
    fflush(stdout);
    bench::Run r;
    auto start = bench::Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    r.seconds = bench::seconds_since(start);
    r.max_rss_mib = ru.ru_maxrss / 1024.0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

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
        auto lines = make_lines(mib << 20, 1);
        write_file(base, lines);
        write_file(from, edit(lines, percent, 2));
        write_file(to, edit(lines, percent, 3));
        printf("bench_diff: %zu MiB, %zu lines, %.1f%% of lines edited per version\n", mib,
               lines.size(), percent);
        return 0;
    });
    report("(an idle child, for scale)", bench::in_child([] { return 0; }));

    printf("2-way diff\n");
    report("dcl text session", bench::in_child([&] { return run_session({base, from}); }));
    report("diff", run_measured({"diff", base, from}));
    report("git diff --no-index", run_measured({"git", "diff", "--no-index", base, from}));

    printf("3-way merge\n");
    report("dcl text session", bench::in_child([&] { return run_session({base, from, to}); }));
    report("diff3 -m", run_measured({"diff3", "-m", from, base, to}));
    report("git merge-file -p", run_measured({"git", "merge-file", "-p", from, base, to}));
    bench::remove_tree(dir);
    return 0;
}
