// Merge-candidate benchmark: what cmd_findmerge costs for a branch, against how many
// elements changed on it and how many the VOB holds.
//
//   bench_findmerge [dir] [runs]
//
// Three VOBs of files in directories of 100: 10,000 elements with 100 changed on the branch
// "dev", 10,000 with 1,000 changed, and 1,000 with 100 changed. For each, the search for
// what dev would bring into main (.../dev/LATEST, read from the elements that have the
// branch) and, for comparison, a search that must walk every name the view selects (from
// /main/1, which finds nothing new). The time is the median of `runs` (default 5) searches
// in one child process after one unmeasured search; the VOB is built in others. dir defaults
// to $TMPDIR or /tmp.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/cmd/cmd.h"
#include "core/tbs/tbs.h"
#include "core/vob/vob.h"

namespace fs = std::filesystem;
using bench::Clock;
using bench::in_child;
using bench::Run;
using bench::seconds_since;
using bench::use_site;

namespace {

const char* const kTag = "/vobs/m";

std::string element(int i) {
    return std::string(kTag) + "/d" + std::to_string(i / 100) + "/f" + std::to_string(i);
}

// A VOB of `elements` files (and their directories), `changed` of them spread evenly over
// it given a version on dev.
int build(const std::string& dir, const std::string& home, int elements, int changed) {
    const std::string tree = dir + "/findmerge-tree";
    bench::remove_tree(tree);
    for (int i = 0; i < elements; ++i) {
        std::string d = tree + "/d" + std::to_string(i / 100);
        if (i % 100 == 0) fs::create_directories(d);
        std::ofstream(d + "/f" + std::to_string(i)) << "file " << i << "\n";
    }
    Run made = in_child([&] {
        use_site(home);
        vob_create_args_t v;
        v.tag = kTag;
        const std::string storage = home + "/m.vbs";
        v.storage = storage.c_str();
        if (vob_create(v, nullptr) != 0) return 1;
        cmd_import_args_t im;
        im.source = tree;
        im.dest = kTag;
        if (cmd_import(&im) != 0) return 1;
        cmd_mktype_args_t bt;
        bt.mtype = VOB_MTYPE_BRTYPE;
        bt.name = "dev";
        bt.vob = kTag;
        if (cmd_mktype(&bt) != 0) return 1;
        const std::string src = dir + "/findmerge-src";
        std::ofstream(src) << "changed on dev\n";
        cmd_checkout_args_t co;
        cmd_checkin_args_t ci;
        for (int k = 0; k < changed; ++k) {
            co.pnames.push_back(
                element(static_cast<int>(static_cast<long>(k) * elements / changed)));
            ci.from.push_back(src);
        }
        co.branch_type = "dev";
        ci.pnames = co.pnames;
        return cmd_checkout(&co) == 0 && cmd_checkin(&ci) == 0 ? 0 : 1;
    });
    bench::remove_tree(tree);
    sync();
    return made.status;
}

void count(void* data, const char*, vob_t* vob, vob_dbid_t, vob_dbid_t, vob_dbid_t, int, int,
           int64_t) {
    if (vob) ++*static_cast<int64_t*>(data);
}

// The median time of `runs` searches from `selector`; `found` gets the candidates of one.
int measure(const std::string& home, const char* selector, int runs, int expect) {
    Run r = in_child([&] {
        use_site(home);
        std::vector<double> times;
        int64_t found = 0;
        for (int i = 0; i <= runs; ++i) {
            cmd_findmerge_args_t a;
            a.selector = selector;
            a.output = "NUL";
            a.callback = count;
            a.callback_data = &found;
            found = 0;
            auto t0 = Clock::now();
            if (cmd_findmerge(&a) != 0) return 1;
            if (i > 0) times.push_back(seconds_since(t0));  // the first one warms the caches
        }
        std::sort(times.begin(), times.end());
        printf("  %-16s %9.2f ms  %5lld candidates\n", selector, times[times.size() / 2] * 1e3,
               static_cast<long long>(found));
        return found == expect ? 0 : 2;
    });
    return r.status;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = getenv("TMPDIR");
    const std::string dir = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    struct Config {
        int elements, changed;
    };
    for (const Config& c : {Config{10000, 100}, Config{10000, 1000}, Config{1000, 100}}) {
        const std::string home = dir + "/findmerge-home";
        bench::remove_tree(home);
        fs::create_directories(home);
        auto t0 = Clock::now();
        if (build(dir, home, c.elements, c.changed) != 0) {
            fprintf(stderr, "bench_findmerge: building the VOB failed\n");
            return 1;
        }
        printf("VOB of %d elements, %d changed on dev (built in %.1f s):\n", c.elements, c.changed,
               seconds_since(t0));
        if (measure(home, ".../dev/LATEST", runs, c.changed) != 0 ||
            measure(home, "/main/1", runs, 0) != 0) {
            fprintf(stderr, "bench_findmerge: a search failed or found the wrong count\n");
            return 1;
        }
        bench::remove_tree(home);
    }
    return 0;
}
