// Deliver benchmark: what a deliver of 100 activities touching 1,000 files costs, against
// how many elements the component holds.
//
//   bench_deliver [dir] [elements]
//
// Two sites: a component of 10,000 files (in directories of 100) and one of 1,000. Each
// has a project with its integration stream and a development stream; in the development
// stream's view 100 activities each change 10 files (1,000 files in all, spread evenly).
// The deliver of all of them to the integration stream is timed in its steps: start (the
// change sets read, what the target has already merged dropped, the operation recorded),
// the merges (a checkout and a merge per file in the integration view) and complete (the
// checkins). Each site is built, and the deliver run, in child processes. dir defaults to
// $TMPDIR or /tmp; `elements` runs one site of that size only.
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
#include "core/cmd/cmd_xcm.h"
#include "core/tbs/tbs.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/xcm.h"

namespace fs = std::filesystem;
using bench::Clock;
using bench::in_child;
using bench::Run;
using bench::seconds_since;
using bench::use_site;

namespace {

const char* const kTag = "/vobs/c";
const int kActivities = 100;
const int kPerActivity = 10;

std::string element(int i) {
    return std::string(kTag) + "/d" + std::to_string(i / 100) + "/f" + std::to_string(i);
}

const vob_view_ctx_t* view_ctx(const char* tag) {
    view_t* v = nullptr;
    return view_open_by_tag(tag, &v) == 0 ? &v->ctx : nullptr;
}

// The component, project, streams and views, and the work in the development stream.
int build(const std::string& dir, const std::string& home, int elements) {
    const std::string tree = dir + "/deliver-tree";
    bench::remove_tree(tree);
    for (int i = 0; i < elements; ++i) {
        std::string d = tree + "/d" + std::to_string(i / 100);
        if (i % 100 == 0) fs::create_directories(d);
        std::ofstream(d + "/f" + std::to_string(i)) << "file " << i << "\nline two\n";
    }
    Run made = in_child([&] {
        use_site(home);
        const std::string storage = home + "/c.vbs", pstorage = home + "/pvob.vbs";
        vob_create_args_t v;
        v.tag = kTag;
        v.storage = storage.c_str();
        vob_create_args_t p;
        p.tag = "/vobs/pvob";
        p.storage = pstorage.c_str();
        p.ucmproject = true;
        if (vob_create(v, nullptr) != 0 || vob_create(p, nullptr) != 0) return 1;
        cmd_import_args_t im;
        im.source = tree;
        im.dest = kTag;
        if (cmd_import(&im) != 0) return 2;
        cmd_mkcomp_args_t comp;
        comp.name = "c";
        comp.pvob = "/vobs/pvob";
        comp.root = kTag;
        cmd_mkproject_args_t proj;
        proj.name = "p";
        proj.pvob = "/vobs/pvob";
        proj.components = {"component:c@/vobs/pvob"};
        cmd_mkstream_args_t integ, dev;
        integ.name = "p_int";
        integ.project = dev.project = "project:p@/vobs/pvob";
        integ.integration = true;
        dev.name = "dev";
        if (cmd_mkcomp(&comp) != 0 || cmd_mkproject(&proj) != 0 || cmd_mkstream(&integ) != 0 ||
            cmd_mkstream(&dev) != 0)
            return 3;
        for (const char* s : {"int", "dev"}) {
            cmd_mkview_args_t mv;
            mv.tag = s;
            mv.storage = home + "/" + s + ".vws";
            mv.stream = std::string("stream:") + (s == std::string("int") ? "p_int" : "dev") +
                        "@/vobs/pvob";
            if (cmd_mkview(&mv) != 0) return 4;
        }
        const std::string src = dir + "/deliver-src";
        std::ofstream(src) << "file changed\nline two\n";
        for (int a = 0; a < kActivities; ++a) {
            cmd_mkactivity_args_t act;
            act.stream = "stream:dev@/vobs/pvob";
            act.name = "a" + std::to_string(a);
            act.view = "dev";
            if (cmd_mkactivity(&act) != 0) return 5;
            cmd_checkout_args_t co;
            cmd_checkin_args_t ci;
            for (int k = 0; k < kPerActivity; ++k) {
                const long n = static_cast<long>(a * kPerActivity + k);
                co.pnames.push_back(
                    element(static_cast<int>(n * elements / (kActivities * kPerActivity))));
                ci.from.push_back(src);
            }
            ci.pnames = co.pnames;
            co.view = ci.view = view_ctx("dev");
            if (cmd_checkout(&co) != 0 || cmd_checkin(&ci) != 0) return 6;
        }
        return 0;
    });
    bench::remove_tree(tree);
    sync();
    return made.status;
}

int deliver(const std::string& home) {
    Run r = in_child([&] {
        use_site(home);
        cmd_deliver_args_t d;
        d.stream = "stream:dev@/vobs/pvob";
        d.view = "int";
        auto t0 = Clock::now();
        if (cmd_deliver_start(&d) != 0) return 1;
        const double start = seconds_since(t0);
        vob_t* pvob = nullptr;
        vob_dbid_t stream = 0;
        if (xcm_resolve(d.stream.c_str(), VOB_MTYPE_STREAM, &pvob, &stream) != 0) return 1;
        auto t1 = Clock::now();
        if (cmd_integ_run(pvob, stream, nullptr) != 0) return 2;
        const double merge = seconds_since(t1);
        auto t2 = Clock::now();
        if (cmd_integ_complete(pvob, stream, nullptr) != 0) return 3;
        const double complete = seconds_since(t2);
        printf("  %lld files: start %8.1f ms, merges %8.1f ms, complete %8.1f ms, total %7.2f s\n",
               static_cast<long long>(d.items), start * 1e3, merge * 1e3, complete * 1e3,
               start + merge + complete);
        return d.items == kActivities * kPerActivity ? 0 : 4;
    });
    return r.status;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = getenv("TMPDIR");
    const std::string dir = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    std::vector<int> sizes = {10000, 1000};
    if (argc > 2) sizes = {std::max(kActivities * kPerActivity, atoi(argv[2]))};
    for (int elements : sizes) {
        const std::string home = dir + "/deliver-home";
        bench::remove_tree(home);
        fs::create_directories(home);
        auto t0 = Clock::now();
        if (int rc = build(dir, home, elements); rc != 0) {
            fprintf(stderr, "bench_deliver: building the site failed (%d)\n", rc);
            return 1;
        }
        printf("Component of %d elements, %d activities changing %d files (built in %.1f s):\n",
               elements, kActivities, kActivities * kPerActivity, seconds_since(t0));
        if (deliver(home) != 0) {
            fprintf(stderr, "bench_deliver: the deliver failed\n");
            return 1;
        }
        bench::remove_tree(home);
    }
    return 0;
}
