// Web-view load sessions.
//
//   bench_ws [dir] [files...]   (default 1000 and 10000 files of 1 KiB, in directories of 100)
//
// For each size: the first load of a web view (the engine alone, every element reported
// to an observer that only counts, no network), the client's commit of it; sessions in
// which nothing changed, by the whole walk and by the journal walk; and sessions after 1%
// of the files were checked in (one in each directory of 100), by either walk. Each runs in
// a child process with its wall time and peak memory (a session's own time is the fetch;
// the child also commits it). Against `git status` on a checkout of the same tree, clean
// and with 1% of its files changed, in the same run.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/cmd/cmd.h"
#include "core/sum/sum_view.h"
#include "core/tbs/tbs.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/ws/ws.h"
#include "webview/vdw_view_state_digest.h"

namespace fs = std::filesystem;
using bench::in_child;
using bench::Run;
using bench::run_program;
using bench::use_site;

namespace {

// Counts what a session reports, and keeps what the commit needs only when asked to.
struct Counter {
    int64_t visited = 0, changed = 0, unvisited = 0;
    uint64_t session = 0;
    bool keep = false;
    std::vector<ws_elem_info_t> loads;
    static tbs_status_t begin(void* c, uint64_t id, int*) {
        static_cast<Counter*>(c)->session = id;
        return TBS_ST_OK;
    }
    static tbs_status_t one(void* c, const ws_elem_info_t* i, int*) {
        Counter* me = static_cast<Counter*>(c);
        ++me->visited;
        if (memcmp(i->prev_oid.bytes, i->cur_oid.bytes, 16) != 0) {
            ++me->changed;
            if (me->keep) me->loads.push_back(*i);
        }
        return TBS_ST_OK;
    }
    static tbs_status_t unvis(void* c, const ws_elem_info_t*, int, int*) {
        ++static_cast<Counter*>(c)->unvisited;
        return TBS_ST_OK;
    }
};

int session(const std::string& home, Counter* c, unsigned prefs = WS_PREF_ABORT_INPROGRESS,
            ws_load_stats_t* stats = nullptr) {
    use_site(home);
    view_t* v = nullptr;
    if (view_open_by_tag("bench", &v) != 0) return 1;
    ws_handle_t* h = nullptr;
    if (ws_get_handle(v->root.c_str(), 0, &h) != 0) return 1;
    ws_load_observer_t o;
    o.ctx = c;
    o.begin_session = Counter::begin;
    o.one_element = Counter::one;
    o.unvisited = Counter::unvis;
    ws_set_load_observer(h, &o);
    ws_set_load_preferences(h, prefs, 1);
    tbs_status_t st = ws_load_scopes(h, nullptr, 0);
    if (stats) ws_get_load_stats(h, stats);
    ws_free_handle(h);
    return st == 0 ? 0 : 1;
}

// The client's commit of a session: the loads it kept, and the session ended completed.
int commit_session(const Counter& c) {
    view_t* v = nullptr;
    if (view_open_by_tag("bench", &v) != 0) return 1;
    bool conflict = false;
    view_ws_begin_load_session(v, 4, std::to_string(c.session).c_str(), "", 0, &conflict, 0);
    for (const ws_elem_info_t& i : c.loads) {
        int state = 0, flags = 0;
        if (view_ws_load_one_object(v, tbs_uuid_null(), i.fh, i.dir.c_str(), i.leaf.c_str(), 2178,
                                    0, 0, i.cur_oid, &state, &flags) != 0)
            return 1;
    }
    return view_ws_end_load_session(v, true) == 0 && !conflict ? 0 : 1;
}

// A session in which `expect_changed` elements changed, by the walk `prefs` asks for,
// committed; its figures printed on one line.
int measured_session(const std::string& home, const char* what, unsigned prefs,
                     int64_t expect_changed, bool expect_journal) {
    Run r = in_child([&] {
        Counter c;
        c.keep = true;
        ws_load_stats_t stats;
        auto start = bench::Clock::now();
        if (session(home, &c, prefs, &stats) != 0) return 1;
        const double fetch = bench::seconds_since(start);
        if (commit_session(c) != 0) return 1;
        printf("  %-24s %6lld reported, %5lld changed, fetch %7.4f s", what,
               static_cast<long long>(c.visited), static_cast<long long>(c.changed), fetch);
        if (stats.incremental != expect_journal) {
            printf("\n  (expected the %s walk: %s)\n", expect_journal ? "journal" : "whole",
                   stats.full_walk_reason.c_str());
            return 1;
        }
        return c.changed == expect_changed && c.unvisited == 0 ? 0 : 1;
    });
    printf("  %7.3f s  peak RSS %6.1f MiB\n", r.seconds, r.max_rss_mib);
    return r.status;
}

// Checks in a new version of one file in each directory of 100, the `round`-th of each.
int change_one_percent(const std::string& home, int files, int round) {
    Run r = in_child([&] {
        use_site(home);
        const std::string src = home + "/ci-src";
        for (int i = round; i < files; i += 100) {
            std::string p = "/vobs/s/d" + std::to_string(i / 100) + "/f" + std::to_string(i);
            cmd_checkout_args_t co;
            co.pnames = {p};
            if (cmd_checkout(&co) != 0) return 1;
            std::ofstream(src) << "changed " << round << " " << i << "\n";
            cmd_checkin_args_t ci;
            ci.pnames = {p};
            ci.from = {src};
            if (cmd_checkin(&ci) != 0) return 1;
        }
        return 0;
    });
    return r.status;
}

int bench_size(const std::string& dir, int files) {
    const std::string tree = dir + "/tree", home = dir + "/home";
    bench::remove_tree(tree);
    bench::remove_tree(home);
    fs::create_directories(home);
    std::string buf(1024, 'x');
    for (int i = 0; i < files; ++i) {
        std::string d = tree + "/d" + std::to_string(i / 100);
        if (i % 100 == 0) fs::create_directories(d);
        std::string text = "file " + std::to_string(i) + "\n";
        std::ofstream(d + "/f" + std::to_string(i)) << text << buf;
    }
    Run setup = in_child([&] {
        use_site(home);
        vob_create_args_t a;
        a.tag = "/vobs/s";
        std::string storage = home + "/s.vbs";
        a.storage = storage.c_str();
        if (vob_create(a, nullptr) != 0) return 1;
        cmd_import_args_t im;
        im.source = tree;
        im.dest = "/vobs/s";
        if (cmd_import(&im) != 0) return 1;
        cmd_mkview_args_t mv;
        mv.tag = "bench";
        mv.storage = home + "/bench.vws";
        mv.cspec = "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/s\n";
        return cmd_mkview(&mv) == 0 ? 0 : 1;
    });
    if (setup.status != 0) return 1;

    Run first = in_child([&] {
        Counter c;
        if (session(home, &c) != 0) return 1;
        printf("  %-24s %6lld reported%32s", "first load", static_cast<long long>(c.visited), "");
        return 0;
    });
    printf("  %7.3f s  peak RSS %6.1f MiB\n", first.seconds, first.max_rss_mib);
    Run commit = in_child([&] {
        Counter c;
        c.keep = true;
        if (session(home, &c) != 0) return 1;
        if (commit_session(c) != 0) return 1;
        printf("  %-24s %6zu committed%31s", "fetch + commit", c.loads.size(), "");
        return 0;
    });
    printf("  %7.3f s  peak RSS %6.1f MiB\n", commit.seconds, commit.max_rss_mib);
    if (first.status || commit.status) return 1;
    // Each session is committed, so the next one finds the sync point it left.
    const int changed = files / 100;
    if (measured_session(home, "nothing changed, whole", WS_PREF_FULL_WALK, 0, false) ||
        measured_session(home, "nothing changed", 0, 0, true) ||
        change_one_percent(home, files, 1) ||
        measured_session(home, "1% changed", 0, changed, true) ||
        change_one_percent(home, files, 2) ||
        measured_session(home, "1% changed, whole", WS_PREF_FULL_WALK, changed, false))
        return 1;
    // The state digest a client compares its copy area with, over the whole record.
    Run digest = in_child([&] {
        use_site(home);
        SUM_View view;
        if (SUM_View::construct_from_tag("bench", &view) != 0) return 1;
        WebViewStateDigest d(view);
        const std::string hex = d.get_digest().get_hex_string();
        printf("  %-24s %6d records, digest %.8s...%24s", "state digest", d.wso_count(),
               hex.c_str(), "");
        return hex.size() == 64 ? 0 : 1;
    });
    printf("  %7.3f s  peak RSS %6.1f MiB\n", digest.seconds, digest.max_rss_mib);
    if (digest.status) return 1;

    run_program(tree, {"git", "init", "-q"});
    run_program(tree, {"git", "add", "-A"});
    run_program(tree, {"git", "-c", "user.name=b", "-c", "user.email=b@x", "commit", "-qm", "x"});
    run_program(tree, {"git", "status", "--porcelain"});  // warm the index
    Run git = in_child([&] { return run_program(tree, {"git", "status", "--porcelain"}); });
    printf("  %-72s  %7.3f s  peak RSS %6.1f MiB\n", "git status, clean", git.seconds,
           git.max_rss_mib);
    for (int i = 1; i < files; i += 100) {
        std::string f = tree + "/d" + std::to_string(i / 100) + "/f" + std::to_string(i);
        std::ofstream(f, std::ios::app) << "changed\n";
    }
    Run git_changed = in_child([&] { return run_program(tree, {"git", "status", "--porcelain"}); });
    printf("  %-72s  %7.3f s  peak RSS %6.1f MiB\n", "git status, 1% changed", git_changed.seconds,
           git_changed.max_rss_mib);
    bench::remove_tree(tree);
    bench::remove_tree(home);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = getenv("TMPDIR");
    std::string dir = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    dir += "/bench-ws-" + std::to_string(getpid());
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000};
    int rc = 0;
    for (int n : sizes) {
        printf("web view of %d files:\n", n);
        if ((rc = bench_size(dir, n)) != 0) break;
    }
    bench::remove_tree(dir);
    return rc;
}
