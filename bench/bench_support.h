// What the core benchmarks share: measured runs in child processes, outside programs run
// quietly, and a site whose messages are silenced.
//
// Each measured run is a child process, so its wall time and peak memory (maximum resident
// set) are its own and not those of the runs before it.
#ifndef BENCH_BENCH_SUPPORT_H
#define BENCH_BENCH_SUPPORT_H

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/tbs/tbs.h"

namespace bench {

// Removes a scratch tree; a program that left a process of its own behind (git's
// background maintenance) may still be changing it, so a failure is retried and then left.
inline void remove_tree(const std::string& path) {
    for (int i = 0; i < 5; ++i) {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
        if (!ec) return;
        usleep(200 * 1000);
    }
}

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

inline void drop_message(void*, int, char*) {}

// Only errors reach stderr; the rest of the core's messages would swamp the timings.
inline void silence() {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (auto& p : procs) p = drop_message;
    procs[IMSG_ERROR] = imsg_append_proc_stderr;
    imsg_set_redirect_procs(procs, nullptr);
}

// Points the core at the site below `home` and silences it.
inline void use_site(const std::string& home) {
    setenv("VERDANE_HOME", home.c_str(), 1);
    tbs_reset_product_dir();
    silence();
}

struct Run {
    double seconds = 0;
    double max_rss_mib = 0;
    int status = -1;  // the child's exit code, or 128 + the signal that ended it
};

// Runs `body` in a child process; its exit code is `body`'s result. What `body` prints
// is flushed before the child ends.
inline Run in_child(const std::function<int()>& body) {
    fflush(stdout);
    Run r;
    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int rc = body();
        fflush(stdout);
        _exit(rc);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    r.seconds = seconds_since(start);
    r.max_rss_mib = ru.ru_maxrss / 1024.0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// Text like source code, about `bytes` long, one line a string: repeated short lines among
// unique long ones.
inline std::vector<std::string> make_lines(size_t bytes, unsigned seed) {
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

// `percent` of the lines replaced, inserted or deleted in equal shares, scattered.
inline std::vector<std::string> edit_lines(std::vector<std::string> lines, double percent,
                                           unsigned seed) {
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

inline void write_lines(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path, std::ios::binary);
    for (const auto& l : lines) out << l;
}

// Runs a program (found on PATH) as a child with its output discarded; its time and peak
// memory.
inline Run run_measured(std::vector<std::string> args) {
    fflush(stdout);
    Run r;
    auto start = Clock::now();
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
    r.seconds = seconds_since(start);
    r.max_rss_mib = ru.ru_maxrss / 1024.0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// Runs `args` (found on PATH) in `cwd` with its stdout discarded; its exit code, 127 when
// it could not be started, 128 when it did not exit.
inline int run_program(const std::string& cwd, std::vector<std::string> args) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(127);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace bench

#endif
