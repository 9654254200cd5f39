// Compare and merge as a client meets them, through vdweb.cgi run as a process of its own:
//   - the diff of two versions of a 10 MB text file with 1% of the lines changed, streamed
//     back as the block stream, next to diff and git diff --no-index on the same files in
//     the same run (time and peak memory of each process);
//   - the version tree of an element with 1,000 versions on 50 branches (with a merge arrow
//     from each branch into main), fetched whole: time and bytes.
//   bench_compare [dir] [MiB] [percent changed]
// dir defaults to $TMPDIR or /tmp.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "e2e/cgi_process.h"
#include "e2e/rpc_client.h"

namespace {

constexpr std::chrono::seconds kLimit(600);

bool ok(tbs_status_t st, const char* what) {
    if (st == TBS_ST_OK) return true;
    fprintf(stderr, "bench_compare: %s: %s\n", what, tbs_strerror(st));
    return false;
}

tbs_status_t checkout(const std::string& pname, const std::string& branch = "") {
    cmd_checkout_args_t a;
    a.pnames = {pname};
    a.branch_type = branch;
    return cmd_checkout(&a);
}

tbs_status_t checkin(const std::string& pname, const std::string& from = "") {
    cmd_checkin_args_t a;
    a.pnames = {pname};
    if (!from.empty()) a.from = {from};
    a.identical = true;
    return cmd_checkin(&a);
}

// One RPC through vdweb.cgi, its body read from a file so that the child's memory is its own.
struct CgiRun {
    double seconds = 0;
    double max_rss_mib = 0;
    std::string out;
};
CgiRun run_rpc(const std::string& home, const std::string& dir, const char* rpc,
               const e2e::ArgList& args) {
    const std::string body = e2e::form_body(rpc, e2e::args(args).c_str());
    const std::string input = dir + "/body";
    bench::write_lines(input, {body});
    auto start = bench::Clock::now();
    e2e::CgiResult r = e2e::run_cgi_reading(home, e2e::form_post_env(body), input, kLimit);
    CgiRun run;
    run.seconds = bench::seconds_since(start);
    run.max_rss_mib = static_cast<double>(r.max_rss_kb) / 1024.0;
    run.out = std::move(r.out);
    if (!e2e::read_response(run.out).ended_ok())
        fprintf(stderr, "bench_compare: %s did not end well:\n%s\n", rpc,
                run.out.substr(run.out.size() > 2000 ? run.out.size() - 2000 : 0).c_str());
    return run;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void report(const char* what, double seconds, double mib, const std::string& extra = "") {
    printf("  %-34s %8.3f s  %8.1f MiB peak%s\n", what, seconds, mib, extra.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    size_t mib = argc > 2 ? static_cast<size_t>(atoi(argv[2])) : 10;
    double percent = argc > 3 ? atof(argv[3]) : 1.0;
    dir += "/bench_compare." + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    e2e::TempSite site;
    bench::use_site(site.home());
    vob_create_args_t vob;
    vob.tag = "/vobs/b";
    const std::string storage = site.home() + "/vobs/b.vbs";
    vob.storage = storage.c_str();
    if (!ok(vob_create(vob, nullptr), "mkvob")) return 1;
    cmd_mkview_args_t view;
    view.tag = "bench";
    view.storage = site.home() + "/bench.vws";
    if (!ok(cmd_mkview(&view), "mkview")) return 1;
    const std::string uuid = tbs_uuid_text(view.uuid);

    // The two versions of the big file.
    const std::string base = dir + "/base.txt", from = dir + "/from.txt";
    bench::in_child([&] {
        auto lines = bench::make_lines(mib << 20, 1);
        bench::write_lines(base, lines);
        bench::write_lines(from, bench::edit_lines(lines, percent, 2));
        printf("bench_compare: %zu MiB, %zu lines, %.1f%% of lines edited\n", mib, lines.size(),
               percent);
        return 0;
    });
    const std::string big = "/vobs/b/big.txt";
    cmd_mkelem_args_t mk;
    mk.pnames = {big};
    mk.from = {base};
    mk.checkin = true;
    if (!ok(cmd_utl_mkelem(&mk), "mkelem") || !ok(checkout(big), "checkout") ||
        !ok(checkin(big, from), "checkin"))
        return 1;

    CgiRun trivial = run_rpc(site.home(), dir, "VDW_Vdcore::get_version_separator_rpc", {});
    report("(vdweb.cgi, a trivial RPC, for scale)", trivial.seconds, trivial.max_rss_mib);
    printf("2-way diff streamed to a client\n");
    CgiRun diff =
        run_rpc(site.home(), dir, "VDW_Vdcore::get_diff_merge_rpc",
                {{"IsDiff", "1"}, {"Version", big + "@@/main/1"}, {"Version", big + "@@/main/2"}});
    report("get_diff_merge_rpc (vdweb.cgi)", diff.seconds, diff.max_rss_mib,
           "  " + std::to_string(diff.out.size()) + " bytes, " +
               std::to_string(count(diff.out, "Content-Description: inserted") +
                              count(diff.out, "Content-Description: changed") +
                              count(diff.out, "Content-Description: deleted")) +
               " change blocks");
    bench::Run d = bench::run_measured({"diff", base, from});
    report("diff", d.seconds, d.max_rss_mib);
    bench::Run g = bench::run_measured({"git", "diff", "--no-index", base, from});
    report("git diff --no-index", g.seconds, g.max_rss_mib);

    // The version tree: 50 versions on main, then 50 branches of 19 versions each, every
    // branch's last version merged into main.
    const std::string tree = "/vobs/b/tree.c";
    mk.pnames = {tree};
    mk.from = {};
    if (!ok(cmd_utl_mkelem(&mk), "mkelem")) return 1;
    for (int i = 0; i < 49; ++i)
        if (!ok(checkout(tree), "checkout") || !ok(checkin(tree), "checkin")) return 1;
    int versions = 51;  // main/0 .. main/50
    for (int b = 0; b < 50; ++b) {
        cmd_mktype_args_t t;
        t.mtype = VOB_MTYPE_BRTYPE;
        t.name = "br" + std::to_string(b);
        t.vob = "/vobs/b";
        if (!ok(cmd_mktype(&t), "mkbrtype")) return 1;
        for (int v = 0; v < 18; ++v) {
            if (!ok(checkout(tree, t.name), "checkout") || !ok(checkin(tree), "checkin")) return 1;
            ++versions;
        }
        ++versions;  // the branch's version 0
        cmd_mkhlink_args_t h;
        h.hltype = "Merge";
        h.from = tree + "@@/main/" + t.name + "/LATEST";
        h.to = tree + "@@/main/LATEST";
        if (!ok(cmd_mkhlink(&h), "mkhlink")) return 1;
    }
    printf("version tree of an element: %d versions on 51 branches, 50 merge arrows\n", versions);
    CgiRun vt = run_rpc(site.home(), dir, "VDW_Vdcore::fetch_vtree_rpc",
                        {{"ViewUuid", uuid},
                         {"Scope", "vobs/b/tree.c"},
                         {"Op", "FetchDescendants"},
                         {"Filter", "NodeFilter.ANY"}});
    report("fetch_vtree_rpc, whole (vdweb.cgi)", vt.seconds, vt.max_rss_mib,
           "  " + std::to_string(vt.out.size()) + " bytes, " +
               std::to_string(count(vt.out, "Content-ID: CheckedinVersionNode\r\n")) +
               " version parts");
    bench::remove_tree(dir);
    return 0;
}
