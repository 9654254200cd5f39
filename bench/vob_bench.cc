// VOB benchmarks.
//
//   bench_vob import [dir] [files] [KiB]   import of a tree (default 10,000 files of 10 KiB,
//                                          100 MB) into a new VOB, against git add + commit
//                                          of the same tree on the same disk
//   bench_vob scale [dir] [small] [large]  checkout + checkin of one file and resolving a
//                                          pathname ten directories deep, in a VOB of
//                                          `small` (1,000) and of `large` (100,000) elements
//
// Each measured run is a child process (bench_support.h). dir defaults to $TMPDIR or /tmp.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench_support.h"
#include "core/cmd/cmd.h"
#include "core/tbs/tbs.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"

namespace fs = std::filesystem;
using bench::Clock;
using bench::in_child;
using bench::Run;
using bench::run_program;
using bench::seconds_since;
using bench::use_site;

namespace {

// A tree of `files` files of `kib` KiB in directories of 100 files, two levels deep;
// half text, half random bytes.
void make_tree(const std::string& root, int files, int kib) {
    std::mt19937 rng(1);
    std::string buf(static_cast<size_t>(kib) * 1024, '\0');
    for (int i = 0; i < files; ++i) {
        std::string dir = root + "/d" + std::to_string(i / 1000) + "/s" + std::to_string(i / 100);
        if (i % 100 == 0) fs::create_directories(dir);
        if (i % 2 == 0) {
            for (size_t k = 0; k < buf.size(); ++k) buf[k] = static_cast<char>(rng());
        } else {
            std::string line = "line of file " + std::to_string(i) + " int x = f(y);\n";
            for (size_t k = 0; k < buf.size(); ++k) buf[k] = line[k % line.size()];
        }
        std::ofstream(dir + "/f" + std::to_string(i), std::ios::binary)
            .write(buf.data(), static_cast<std::streamsize>(buf.size()));
    }
}

int make_vob(const std::string& home, const char* tag) {
    use_site(home);
    vob_create_args_t args;
    args.tag = tag;
    std::string storage = home + "/" + (strrchr(tag, '/') + 1) + ".vbs";
    args.storage = storage.c_str();
    return vob_create(args, nullptr) == 0 ? 0 : 1;
}

int import_into(const std::string& home, const char* tag, const std::string& source) {
    use_site(home);
    cmd_import_args_t im;
    im.source = source;
    im.dest = tag;
    return cmd_import(&im) == 0 ? 0 : 1;
}

int bench_import(const std::string& dir, int files, int kib) {
    const std::string tree = dir + "/tree", home = dir + "/home";
    bench::remove_tree(tree);
    bench::remove_tree(home);
    fs::create_directories(home);
    make_tree(tree, files, kib);
    printf("tree: %d files of %d KiB (%.1f MB)\n", files, kib, files * kib * 1024.0 / 1e6);
    if (in_child([&] { return make_vob(home, "/vobs/imp"); }).status != 0) return 1;
    Run imp = in_child([&] { return import_into(home, "/vobs/imp", tree); });
    if (imp.status != 0) return 1;
    printf("import:        %7.2f s  %6.1f MB/s  peak RSS %6.1f MiB\n", imp.seconds,
           files * kib * 1024.0 / 1e6 / imp.seconds, imp.max_rss_mib);
    Run git = in_child([&] {
        if (run_program(tree, {"git", "init", "-q"}) != 0) return 1;
        if (run_program(tree, {"git", "add", "-A"}) != 0) return 1;
        if (run_program(tree, {"git", "-c", "user.name=bench", "-c", "user.email=b@x", "commit",
                               "-qm", "import"}) != 0)
            return 1;
        // git ran as this child's children: their peak memory is theirs, not ours.
        struct rusage ru {};
        getrusage(RUSAGE_CHILDREN, &ru);
        printf("git peak RSS %.1f MiB (its largest process)\n", ru.ru_maxrss / 1024.0);
        fflush(stdout);
        return 0;
    });
    if (git.status != 0) return 1;
    printf("git add+commit:%7.2f s  %6.1f MB/s\n", git.seconds,
           files * kib * 1024.0 / 1e6 / git.seconds);
    printf("ratio import/git: %.2f\n", imp.seconds / git.seconds);
    bench::remove_tree(tree);
    bench::remove_tree(home);
    return 0;
}

// A VOB of about `elements` elements: a chain ten directories deep holding the probe file,
// and the rest as files in directories of 100.
int scale_one(const std::string& dir, int elements) {
    const std::string tree = dir + "/scale-tree", home = dir + "/scale-home";
    bench::remove_tree(tree);
    bench::remove_tree(home);
    fs::create_directories(home);
    std::string deep = tree;
    for (int i = 0; i < 10; ++i) deep += "/level" + std::to_string(i);
    fs::create_directories(deep);
    std::ofstream(deep + "/probe.c") << "int probe;\n";
    for (int i = 0; i < elements - 12; ++i) {
        std::string d = tree + "/bulk" + std::to_string(i / 100);
        if (i % 100 == 0) fs::create_directories(d);
        std::ofstream(d + "/f" + std::to_string(i)) << "file " << i << "\n";
    }
    if (in_child([&] { return make_vob(home, "/vobs/s"); }).status != 0) return 1;
    Run build = in_child([&] { return import_into(home, "/vobs/s", tree); });
    if (build.status != 0) return 1;
    // The build leaves much to write back; measured while the kernel does that, the large
    // VOB would pay for its own making.
    sync();
    std::string probe = "/vobs/s";
    for (int i = 0; i < 10; ++i) probe += "/level" + std::to_string(i);
    probe += "/probe.c";
    const std::string src = dir + "/scale-src";
    Run measure = in_child([&] {
        use_site(home);
        const int kResolves = 2000, kCycles = 100;
        vob_resolved_t r;
        if (vob_resolve_pname(probe.c_str(), nullptr, 0, &r) != 0) return 1;  // warm
        auto t0 = Clock::now();
        for (int i = 0; i < kResolves; ++i)
            if (vob_resolve_pname(probe.c_str(), nullptr, 0, &r) != 0) return 1;
        double resolve_us = seconds_since(t0) * 1e6 / kResolves;
        auto t1 = Clock::now();
        for (int i = 0; i < kCycles; ++i) {
            std::ofstream(src, std::ios::trunc) << "int probe = " << i << ";\n";
            cmd_checkout_args_t co;
            co.pnames = {probe};
            if (cmd_checkout(&co) != 0) return 1;
            cmd_checkin_args_t ci;
            ci.pnames = {probe};
            ci.from = {src};
            if (cmd_checkin(&ci) != 0) return 1;
        }
        double cycle_ms = seconds_since(t1) * 1e3 / kCycles;
        printf(
            "%7d elements: resolve 10 deep %7.1f us   checkout+checkin %6.2f ms"
            "\n",
            elements, resolve_us, cycle_ms);
        fflush(stdout);
        return 0;
    });
    printf("%7s           (VOB of %d elements built by import in %.1f s)\n", "", elements,
           build.seconds);
    bench::remove_tree(tree);
    bench::remove_tree(home);
    fs::remove(src);
    return measure.status;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = getenv("TMPDIR");
    std::string mode = argc > 1 ? argv[1] : "import";
    std::string dir = argc > 2 ? argv[2] : (tmp && *tmp ? tmp : "/tmp");
    dir += "/bench-vob-" + std::to_string(getpid());
    fs::create_directories(dir);
    int rc = 0;
    if (mode == "import") {
        rc = bench_import(dir, argc > 3 ? atoi(argv[3]) : 10000, argc > 4 ? atoi(argv[4]) : 10);
    } else if (mode == "scale") {
        int small = argc > 3 ? atoi(argv[3]) : 1000, large = argc > 4 ? atoi(argv[4]) : 100000;
        rc = scale_one(dir, small);
        if (rc == 0) rc = scale_one(dir, large);
    } else {
        fprintf(stderr, "usage: bench_vob import|scale [dir] [n] [n]\n");
        rc = 64;
    }
    bench::remove_tree(dir);
    return rc;
}
