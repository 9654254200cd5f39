// Web views through lighttpd and vdweb.cgi, as a logged-in client works with them: a fetch
// applied to a copy area and committed, later fetches that send only what changed, a fetch
// cancelled from a second request or broken off by the client, and the requests that must
// change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/sum/sum_view.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "e2e/lighttpd_server.h"
#include "e2e/rpc_client.h"
#include "e2e/test_users.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"
#include "webview/vdw_view_state_digest.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// Every file, directory and link below `root` with what it holds ("d", "l:<target>" or the
// file's bytes), by path relative to `root`.
std::map<std::string, std::string> tree(const std::string& root) {
    std::map<std::string, std::string> out;
    if (!fs::exists(root)) return out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string rel = it->path().string().substr(root.size() + 1);
        if (it->is_symlink()) {
            out[rel] = "l:" + fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            out[rel] = "d";
        } else {
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            out[rel] = s.str();
        }
    }
    return out;
}

// A site with the VOB /vobs/p: src/a.c, src/sub/b.txt, src/k.bin of exactly the compression
// threshold (1 KiB here) and src/small.bin one byte under it; the view "cfg" whose config
// spec alice's web views copy (load /vobs/p/src).
class WebViewSyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(ensure_test_users(&why)) << why;
        ASSERT_TRUE(server_.started()) << server_.failure();
        saved_ = redirect_messages(Captured::proc, &cap_);
        ASSERT_EQ(vdtool({"mkvob", "-tag", "/vobs/p", site_.home() + "/vobs/p.vbs"}), 0);
        add("src/a.c", "one\n");
        add("src/sub/b.txt", "bee\n");
        add("src/k.bin", std::string(1024, 'k'));
        add("src/small.bin", std::string(1023, 's'));
        cmd_mkview_args_t cfg;
        cfg.tag = "cfg";
        cfg.storage = site_.home() + "/cfg.vws";
        cfg.cspec = "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/p/src\n";
        ASSERT_EQ(cmd_mkview(&cfg), 0) << cap_.err;
    }
    void TearDown() override {
        view_cache_clear();
        vob_ob_all_cache_action(4);
        imsg_set_redirect_table(saved_);
    }

    tbs_status_t vdtool(const std::vector<std::string>& line) {
        tbs_status_t st = run_vdtool(&cap_, line);
        EXPECT_EQ(st, 0) << cap_.err;
        return st;
    }
    // A new element with `content`, checked in.
    void add(const std::string& rel, const std::string& content) {
        const std::string from = write_file(site_.home() + "/content", content);
        vdtool({"mkelem", "-mkpath", "-ci", "-from", from, "/vobs/p/" + rel});
    }
    // A new version of an element.
    void change(const std::string& rel, const std::string& content) {
        const std::string from = write_file(site_.home() + "/content", content);
        vdtool({"co", "/vobs/p/" + rel});
        vdtool({"ci", "-from", from, "/vobs/p/" + rel});
    }

    Response call(const std::string& rpc, const std::string& rpcargs, PostOptions options = {}) {
        Response r = post_rpc(server_.url(), rpc, rpcargs, kAlice, options);
        EXPECT_TRUE(r.complete || options.on_part) << rpc << ": " << r.error;
        return r;
    }
    std::string make_view(const std::string& tag) {
        Response r = call("mkview_rpc", args({{"ViewTag", tag},
                                              {"ConfigTag", "cfg"},
                                              {"Stream", ""},
                                              {"TextMode", ""},
                                              {"Stgloc", ""},
                                              {"Colocate", "0"},
                                              {"CopyAreaRoot", "/home/alice/" + tag}}));
        EXPECT_EQ(status_of(r), "0") << text_of(r);
        return header(r.named("RpcResult").empty() ? nullptr : r.named("RpcResult")[0], "Uuid");
    }
    // A fetch applied to `area` as its parts arrive.
    Response fetch(CopyArea& area, bool abort = false, PostOptions options = {}) {
        OnPart outer = options.on_part;
        options.on_part = [&area, outer](const Part& p) {
            EXPECT_TRUE(area.apply(p)) << area.error();
            return outer ? outer(p) : true;
        };
        return call("ws_sync_fetch_rpc", area.fetch_args({}, abort), options);
    }
    // A fetch and its commit; the fetch's element records.
    std::vector<std::string> update(CopyArea& area) {
        Response r = fetch(area);
        EXPECT_EQ(status_of(r), "0") << text_of(r);
        EXPECT_TRUE(area.ended() && area.completed_ok());
        Response c = call("ws_sync_commit_rpc", area.commit_args());
        EXPECT_EQ(status_of(c), "0") << text_of(c);
        std::vector<std::string> applied = area.applied();
        area.reset();
        return applied;
    }
    // A checkout and a checkin in `area`'s view, their records applied to it. A checkin
    // without contents is a directory's.
    Response checkout(CopyArea& area, const std::string& scope, bool unreserved = false) {
        PostOptions o;
        o.on_part = [&area](const Part& p) { return area.apply(p); };
        return call("checkout_rpc",
                    args({{"ViewUuid", area.view_uuid()},
                          {"NonlatestOption", "1"},
                          {"UseHijack", "0"},
                          {"Unreserved", unreserved ? "1" : "0"},
                          {"FallbackToUnreserved", "0"},
                          {"NotMasterOk", "0"},
                          {"CheckReplicationOnServer", "0"},
                          {"SeriesId", "s1"},
                          {"SeriesIsFirst", "1"},
                          {"SeriesIsLast", "1"},
                          {"NumItems", "1"},
                          {"BeginItem", ""},
                          {"Scope", scope},
                          {"CurVerId", ""},
                          {"IsHijacked", "0"},
                          {"Activity", ""},
                          {"Comment", "working"},
                          {"EndItem", ""}}),
                    o);
    }
    Response checkin(CopyArea& area, const std::string& scope, const std::string* content) {
        PostOptions o;
        o.upload = content;
        o.on_part = [&area](const Part& p) { return area.apply(p); };
        ArgList l = {{"ViewUuid", area.view_uuid()},
                     {"UseCoComment", "1"},
                     {"Comment", ""},
                     {"Activity", ""},
                     {"Identical", "0"},
                     {"Scope", scope},
                     {"SeriesId", ""},
                     {"SeriesIsFirst", "1"},
                     {"SeriesIsLast", "1"}};
        if (!content) l.emplace_back("IsDir", "1");
        return call("checkin_rpc", args(l), o);
    }
    // What the view selects (`files` below src), as a copy area holds it.
    std::map<std::string, std::string> expected(const std::map<std::string, std::string>& files) {
        std::map<std::string, std::string> out = {
            {"vobs", "d"}, {"vobs/p", "d"}, {"vobs/p/src", "d"}};
        for (const auto& [rel, content] : files) {
            std::string dir = rel;
            while (dir.find('/') != std::string::npos) {
                dir = dir.substr(0, dir.rfind('/'));
                out["vobs/p/src/" + dir] = "d";
            }
            out["vobs/p/src/" + rel] = content;
        }
        return out;
    }

    LighttpdServer server_{{{"qlmxDownloadCompressionThreshold", "1"}}, {}, {}, false};
    const TempSite& site_ = server_.site();
    ScopedHome home_{site_.home()};
    Captured cap_;
    imsg_redirect_table_t saved_{};
};

// A new web view fetched whole, committed, and then kept in step change by change: each
// later fetch sends exactly what changed, and a second web view ends up with the same files.
TEST_F(WebViewSyncTest, FetchCommitAndUpdatesThatSendWhatChanged) {
    const std::string uuid = make_view("alice_web");
    CopyArea area(site_.home() + "/ca1", uuid);
    Response first = fetch(area);
    ASSERT_EQ(status_of(first), "0") << text_of(first);
    // Begin, then records, then end; each data part right after its element record.
    ASSERT_GE(first.parts.size(), 3u);
    EXPECT_EQ(first.parts[0].name(), "SyncFetchBegin");
    EXPECT_EQ(first.parts[first.parts.size() - 2].name(), "SyncFetchEnd");
    EXPECT_EQ(header(&first.parts[first.parts.size() - 2], "FetchCompletedOK"), "1");
    for (size_t i = 1; i < first.parts.size(); ++i) {
        if (first.parts[i].name() == "SyncElemData") {
            EXPECT_EQ(first.parts[i - 1].name(), "SyncElemInfo") << i;
        }
    }
    const Part* ac = nullptr;
    for (const Part& p : first.parts)
        if (p.name() == "SyncElemInfo" && header(&p, "Leaf") == "a.c") ac = &p;
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->header_names(),
              (std::vector<std::string>{
                  "Content-ID", "Content-Type", "Content-Length", "TextMode", "NextReplicaUuid",
                  "Leaf", "PrevVerId", "PrevVerOid", "NextVerId", "NextVerCspecRule", "NextVerOid",
                  "NextVerCheckedOut", "NextVerFtype", "NextVerFmode", "NextVerSize", "NextVerDfh",
                  "NextVerIsSlink", "ModifiedTime", "NextVerCltxtOmitted"}));
    EXPECT_EQ(header(ac, "NextVerId"), "/main/1");
    EXPECT_EQ(header(ac, "PrevVerId"), "");
    std::map<std::string, std::string> files = {{"a.c", "one\n"},
                                                {"sub/b.txt", "bee\n"},
                                                {"k.bin", std::string(1024, 'k')},
                                                {"small.bin", std::string(1023, 's')}};
    EXPECT_EQ(tree(area.root()), expected(files));
    // The file of exactly the threshold came compressed, the one under it did not.
    EXPECT_EQ(area.compressed_parts(), 1u);
    EXPECT_EQ(area.data_parts(), 4u);
    Response c = call("ws_sync_commit_rpc", area.commit_args());
    ASSERT_EQ(status_of(c), "0") << text_of(c);
    area.reset();

    // Nothing changed: nothing is sent.
    EXPECT_EQ(update(area), std::vector<std::string>{});

    // A new version, a new element, a rename and a removal, each reaching the copy area.
    change("src/a.c", "two\n");
    add("src/sub/new.h", "new\n");
    vdtool({"co", "/vobs/p/src", "/vobs/p/src/sub"});
    vdtool({"mv", "/vobs/p/src/small.bin", "/vobs/p/src/sub/moved.bin"});
    vdtool({"rmname", "/vobs/p/src/k.bin"});
    vdtool({"ci", "/vobs/p/src", "/vobs/p/src/sub"});
    const std::vector<std::string> changed = update(area);
    for (const char* want : {"vobs/p/src/a.c", "vobs/p/src/sub/new.h", "-vobs/p/src/k.bin",
                             ">vobs/p/src/small.bin vobs/p/src/sub/moved.bin"})
        EXPECT_NE(std::find(changed.begin(), changed.end(), want), changed.end()) << want;
    files = {{"a.c", "two\n"},
             {"sub/b.txt", "bee\n"},
             {"sub/new.h", "new\n"},
             {"sub/moved.bin", std::string(1023, 's')}};
    EXPECT_EQ(tree(area.root()), expected(files));
    EXPECT_EQ(update(area), std::vector<std::string>{});

    // A second web view fetches the same files.
    CopyArea other(site_.home() + "/ca2", make_view("alice_other"));
    update(other);
    EXPECT_EQ(tree(other.root()), expected(files));
}

// A view is its owner's: another user's fetch, commit, cancel and checkout in it are refused
// with the permission status and change nothing, so the owner's next update still brings
// what changed.
TEST_F(WebViewSyncTest, AnotherUsersViewCannotBeWorkedIn) {
    const std::string uuid = make_view("alice_web");
    CopyArea area(site_.home() + "/ca1", uuid);
    update(area);
    change("src/a.c", "two\n");
    CopyArea theirs(site_.home() + "/mallory", uuid);
    auto as_mallory = [&](const std::string& rpc, const std::string& rpcargs) {
        Response r = post_rpc(server_.url(), rpc, rpcargs, kMallory);
        EXPECT_TRUE(r.complete) << rpc << ": " << r.error;
        return r;
    };
    struct Case {
        const char* rpc;
        std::string args;
    } const cases[] = {
        {"ws_sync_fetch_rpc", theirs.fetch_args()},
        {"ws_sync_fetch_rpc", theirs.fetch_args({}, /*abort=*/true)},
        {"ws_sync_commit_rpc", theirs.commit_args()},
        {"ws_sync_commit_rpc", theirs.commit_args(/*cancel=*/true)},
    };
    for (const Case& c : cases) {
        Response r = as_mallory(c.rpc, c.args);
        EXPECT_EQ(status_of(r), "1063") << c.rpc << ": " << text_of(r);
        EXPECT_NE(text_of(r).find("only its owner"), std::string::npos) << text_of(r);
    }
    // alice's update is whole: the change arrives, and the view keeps its record.
    const std::vector<std::string> applied = update(area);
    EXPECT_TRUE(std::any_of(applied.begin(), applied.end(), [](const std::string& a) {
        return a.find("a.c") != std::string::npos;
    })) << "the change did not arrive";
}

// A fetch cancelled by a commit request of the same session stops after the element it is
// on, ends with its end record saying it did not complete, and leaves the record as it was;
// a client that hangs up leaves the session in progress. Either way, a fetch that abandons
// the session sends everything again, and after its commit nothing.
TEST_F(WebViewSyncTest, CancelledOrAbandonedFetchLeavesTheRecord) {
    // Enough data that the fetch is still sending when the cancel arrives: the server's
    // streaming keeps it waiting for the client, which is busy cancelling.
    // Bytes that do not compress, so that they go as they are.
    std::string noise(64 * 1024, '\0');
    uint32_t x = 2463534242u;
    for (char& c : noise) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    const std::string from = write_file(site_.home() + "/big", noise);
    for (int i = 0; i < 100; ++i)
        vdtool({"mkelem", "-ci", "-from", from, "/vobs/p/src/f" + std::to_string(i)});
    const std::string uuid = make_view("alice_web");
    CopyArea area(site_.home() + "/ca", uuid);
    // A cancel sent through another view that names this session stops nothing.
    const std::string other = make_view("alice_other");
    bool sent = false;
    PostOptions foreign;
    foreign.on_part = [&](const Part& p) {
        if (p.name() == "SyncElemInfo" && !sent) {
            sent = true;
            std::string c = area.commit_args(/*cancel=*/true);
            c.replace(c.find(uuid), uuid.size(), other);
            call("ws_sync_commit_rpc", c);
        }
        return true;
    };
    Response whole = fetch(area, false, foreign);
    EXPECT_TRUE(sent);
    ASSERT_EQ(status_of(whole), "0") << text_of(whole);
    EXPECT_EQ(area.data_parts(), 104u);
    area.reset();

    bool cancelled = false;
    PostOptions cancel;
    cancel.on_part = [&](const Part& p) {
        if (p.name() == "SyncElemInfo" && !cancelled) {
            cancelled = true;
            Response c = call("ws_sync_commit_rpc", area.commit_args(/*cancel=*/true));
            EXPECT_EQ(status_of(c), "0") << text_of(c);
        }
        return true;
    };
    Response r = fetch(area, /*abort=*/true, cancel);
    EXPECT_TRUE(r.complete) << r.error;
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(status_of(r), "1055") << text_of(r);
    EXPECT_TRUE(area.ended());
    EXPECT_FALSE(area.completed_ok());
    EXPECT_LT(area.data_parts(), 104u);

    // The session stays in progress: a plain fetch is refused, one that abandons it runs.
    Response state = call("ws_sync_check_in_progress_rpc", args({{"ViewUuid", uuid}}));
    EXPECT_EQ(header(state.named("RpcResult")[0], "HasSyncInProgress"), "1");
    EXPECT_NE(status_of(fetch(area)), "0");

    // A client that hangs up after a few records.
    int seen = 0;
    PostOptions hang_up;
    hang_up.on_part = [&](const Part& p) { return p.name() != "SyncElemInfo" || ++seen < 3; };
    fetch(area, /*abort=*/true, hang_up);
    for (int i = 0; i < 100; ++i) {  // until the server process has noticed
        if (server_.cgi_processes().empty()) break;
        usleep(50 * 1000);
    }
    area.reset();
    Response again = fetch(area, /*abort=*/true);
    ASSERT_EQ(status_of(again), "0") << text_of(again);
    EXPECT_TRUE(area.completed_ok());
    EXPECT_EQ(area.data_parts(), 104u);  // nothing was recorded as held
    ASSERT_EQ(status_of(call("ws_sync_commit_rpc", area.commit_args())), "0");
    area.reset();
    EXPECT_EQ(update(area), std::vector<std::string>{});
}

// Requests that must change nothing: malformed fetches and commits, a commit of another
// session, and an item the record cannot take.
TEST_F(WebViewSyncTest, MalformedRequestsChangeNothing) {
    const std::string uuid = make_view("alice_web");
    CopyArea area(site_.home() + "/ca", uuid);
    const std::string good = area.fetch_args({"vobs/p/src"});
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    struct Case {
        const char* what;
        std::string rpc, rpcargs, status, says;
    };
    const Case cases[] = {
        {"scope counts differ", "ws_sync_fetch_rpc",
         replaced("ScopeVerIdsCnt=0", "ScopeVerIdsCnt=2"), "1001", "VDSRV1215"},
        {"unknown mode", "ws_sync_fetch_rpc", replaced("SyncFromVob", "SyncFromMars"), "1001",
         "VDSRV1215"},
        {"missing key", "ws_sync_fetch_rpc", replaced("Preview=0\n", ""), "1001", "VDSRV1198"},
        {"unknown view", "ws_sync_fetch_rpc", replaced(uuid, "0123456789abcdef0123456789abcdef"),
         "1002", "VDSRV1215"},
        {"unknown commit key", "ws_sync_commit_rpc",
         args({{"CommitReqBegin", ""},
               {"ViewUuid", uuid},
               {"SessionTimestamp", "1"},
               {"SessionId", "1"},
               {"Bogus", "x"},
               {"CommitReqEnd", ""}}),
         "1001", "VDSRV1232: Malformed Sync Commit request.  Unrecognized arg \"Bogus\""},
        {"bad object id", "ws_sync_commit_rpc",
         args({{"CommitReqBegin", ""},
               {"ViewUuid", uuid},
               {"SessionTimestamp", "1"},
               {"SessionId", "1"},
               {"Item", ""},
               {"Leaf", "a.c"},
               {"NextVerOid", "zz"},
               {"CommitReqEnd", ""}}),
         "1001", "VDSRV1216"},
        {"name outside the view", "ws_sync_commit_rpc",
         args({{"CommitReqBegin", ""},
               {"ViewUuid", uuid},
               {"SessionTimestamp", "1"},
               {"SessionId", "1"},
               {"Dir", ""},
               {"Pname", "vobs/../.."},
               {"DirEnd", ""},
               {"Item", ""},
               {"Leaf", "etc"},
               {"NextVerOid", std::string(32, '0')},
               {"ItemEnd", ""},
               {"CommitReqEnd", ""}}),
         "1001", "VDSRV1234"},
        {"bad file handle", "ws_sync_commit_rpc",
         args({{"CommitReqBegin", ""},
               {"ViewUuid", uuid},
               {"SessionTimestamp", "1"},
               {"SessionId", "1"},
               {"Dir", ""},
               {"Pname", "vobs/p/src"},
               {"DirEnd", ""},
               {"Item", ""},
               {"Leaf", "a.c"},
               {"NextVerOid", std::string(31, '0') + "1"},
               {"Dfh", "not-a-handle"},
               {"CommitReqEnd", ""}}),
         "1001", "VDSRV1216"},
    };
    for (const Case& c : cases) {
        Response r = call(c.rpc, c.rpcargs);
        EXPECT_EQ(status_of(r), c.status) << c.what << ": " << text_of(r);
        EXPECT_NE(text_of(r).find(c.says), std::string::npos) << c.what << ": " << text_of(r);
        EXPECT_TRUE(r.named("SyncElemInfo").empty()) << c.what;
    }
    // Nothing was recorded: a fetch still sends every element.
    Response all = fetch(area);
    ASSERT_EQ(status_of(all), "0") << text_of(all);
    EXPECT_EQ(area.data_parts(), 4u);
}

// Work on elements over HTTP in one web view reaching another: a checkout and its contents,
// a reserved checkout another view cannot also take, a checkin of uploaded contents, an
// uncheckout, a new element in a checked-out directory; an atomic checkin in which one item
// needs a merge checks in nothing, and one whose upload is cut short neither.
TEST_F(WebViewSyncTest, CheckoutCheckinUncheckoutAndNewElements) {
    for (const char* e : {"/vobs/p/src", "/vobs/p/src/a.c", "/vobs/p/src/sub/b.txt"})
        vdtool({"protect", "-chown", kAlice.name, e});
    CopyArea a(site_.home() + "/ca", make_view("alice_web"));
    CopyArea b(site_.home() + "/cb", make_view("alice_other"));
    update(a);
    update(b);
    const std::string a_c = "vobs/p/src/a.c";

    // Checked out: the element's record says so and its contents come along.
    Response co = checkout(a, a_c);
    ASSERT_EQ(status_of(co), "0") << text_of(co);
    EXPECT_TRUE(co.named("SyncFetchBegin").empty());
    ASSERT_EQ(co.named("SyncElemInfo").size(), 1u);
    EXPECT_EQ(header(co.named("SyncElemInfo")[0], "NextVerCheckedOut"), "1");
    EXPECT_EQ(header(co.named("SyncElemInfo")[0], "NextVerCspecRule"), "CHECKEDOUT");
    EXPECT_EQ(co.named("SyncElemData").size(), 1u);
    // The other view cannot take a reserved checkout of the same branch too.
    Response twice = checkout(b, a_c);
    EXPECT_NE(status_of(twice), "0");
    EXPECT_NE(text_of(twice).find("VDSRV1002"), std::string::npos) << text_of(twice);

    // Checked in with uploaded contents; the other view receives them byte for byte.
    const std::string three = "three\n\0bytes\n";
    Response ci = checkin(a, a_c, &three);
    ASSERT_EQ(status_of(ci), "0") << text_of(ci);
    ASSERT_EQ(ci.named("SyncElemInfo").size(), 1u);
    EXPECT_EQ(header(ci.named("SyncElemInfo")[0], "NextVerId"), "/main/2");
    {
        // Single-element work keeps the record's sync point: the next update stays one of
        // what changed.
        view_t* view = nullptr;
        ASSERT_EQ(view_open_by_tag("alice_web", &view), 0);
        bool present = false;
        view_sync_point_t point;
        ASSERT_EQ(view_ws_get_sync_base(view, &present, &point), 0);
        EXPECT_TRUE(present);
    }
    EXPECT_EQ(update(b), std::vector<std::string>{a_c});
    EXPECT_EQ(tree(b.root())[a_c], three);
    EXPECT_EQ(update(a), std::vector<std::string>{}) << "the checkin's download was recorded";

    // Checked out and undone: the view's version is back, the other view saw nothing.
    ASSERT_EQ(status_of(checkout(a, a_c)), "0");
    Response un = call("uncheckout_rpc", args({{"ViewUuid", a.view_uuid()},
                                               {"SeriesId", ""},
                                               {"SeriesIsFirst", "1"},
                                               {"SeriesIsLast", "1"},
                                               {"NumItems", "1"},
                                               {"BeginItem", ""},
                                               {"Scope", a_c},
                                               {"CurVerId", ""},
                                               {"EndItem", ""}}));
    ASSERT_EQ(status_of(un), "0") << text_of(un);
    ASSERT_EQ(un.named("SyncElemInfo").size(), 1u);
    EXPECT_EQ(header(un.named("SyncElemInfo")[0], "NextVerCheckedOut"), "0");
    EXPECT_TRUE(un.named("SyncElemData").empty()) << "the contents did not change";
    EXPECT_EQ(update(b), std::vector<std::string>{});

    // A new element in the checked-out directory, checked in with the directory.
    ASSERT_EQ(status_of(checkout(a, "vobs/p/src")), "0");
    const std::string c_txt = "see\n";
    PostOptions up;
    up.upload = &c_txt;
    Response mk = call("mkelem_rpc",
                       args({{"ViewUuid", a.view_uuid()},
                             {"Comment", "new"},
                             {"Activity", ""},
                             {"NoCheckout", "0"},
                             {"CiParent", "0"},
                             {"FileEltype", ""},
                             {"Scope", "vobs/p/src/c.txt"},
                             {"IsDir", "0"}}),
                       up);
    ASSERT_EQ(status_of(mk), "0") << text_of(mk);
    ASSERT_EQ(mk.named("SyncElemInfo").size(), 1u);
    EXPECT_EQ(header(mk.named("SyncElemInfo")[0], "NextVerCheckedOut"), "1");
    ASSERT_EQ(status_of(checkin(a, "vobs/p/src/c.txt", &c_txt)), "0");
    Response dir = checkin(a, "vobs/p/src", nullptr);
    ASSERT_EQ(status_of(dir), "0") << text_of(dir);
    EXPECT_EQ(update(b), (std::vector<std::string>{"vobs/p/src", "vobs/p/src/c.txt"}));
    EXPECT_EQ(tree(b.root())["vobs/p/src/c.txt"], c_txt);

    // An atomic checkin whose first item needs a merge (the other view checked in first)
    // checks in neither item and names the first.
    vdtool({"protect", "-chown", kAlice.name, "/vobs/p/src/c.txt"});
    ASSERT_EQ(status_of(checkout(a, a_c, /*unreserved=*/true)), "0");
    ASSERT_EQ(status_of(checkout(a, "vobs/p/src/c.txt")), "0");
    ASSERT_EQ(status_of(checkout(b, a_c)), "0");
    const std::string four = "four\n";
    ASSERT_EQ(status_of(checkin(b, a_c, &four)), "0");
    auto atomic = [&](const std::string& upload) {
        PostOptions o;
        o.upload = &upload;
        return call("checkin_atomic_rpc",
                    args({{"ViewUuid", a.view_uuid()},
                          {"Comment", "both"},
                          {"Identical", "0"},
                          {"NumItems", "2"},
                          {"Scope", a_c},
                          {"Scope", "vobs/p/src/c.txt"}}),
                    o);
    };
    Response merge = atomic("2\nA\n2\nC\n");
    EXPECT_EQ(status_of(merge), "100006") << text_of(merge);
    ASSERT_EQ(merge.named("CheckinMergeInputRecord").size(), 1u);
    EXPECT_EQ(header(merge.named("CheckinMergeInputRecord")[0], "CheckinMergeItemScope"), a_c);
    EXPECT_EQ(header(merge.named("CheckinMergeInputRecord")[0], "CheckinMergeFromVersion"),
              "/vobs/p/src/a.c@@/main/3");
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/src/c.txt@@/main/2", nullptr, 0, &r),
              TBS_ST_NAME_NOT_FOUND)
        << "nothing was checked in";
    // Without the item that needs the merge, a cut upload checks in nothing either.
    Response cut = call("checkin_atomic_rpc",
                        args({{"ViewUuid", a.view_uuid()},
                              {"Comment", ""},
                              {"Identical", "0"},
                              {"NumItems", "1"},
                              {"Scope", "vobs/p/src/c.txt"}}),
                        [&] {
                            PostOptions o;
                            static const std::string short_upload = "10\nabc";
                            o.upload = &short_upload;
                            return o;
                        }());
    EXPECT_NE(status_of(cut), "0");
    EXPECT_NE(text_of(cut).find("Premature EOF occurred while uploading files."), std::string::npos)
        << text_of(cut);
    EXPECT_EQ(vob_resolve_pname("/vobs/p/src/c.txt@@/main/2", nullptr, 0, &r),
              TBS_ST_NAME_NOT_FOUND);
}

// A move and a removed name made over HTTP in one web view: its client hears of them in the
// same response (so its next update sends nothing), the other view at its next update.
TEST_F(WebViewSyncTest, NamespaceChangesReachBothViews) {
    for (const char* e : {"/vobs/p/src", "/vobs/p/src/sub"})
        vdtool({"protect", "-chown", kAlice.name, e});
    const std::string ua = make_view("alice_web");
    CopyArea a(site_.home() + "/ca", ua);
    CopyArea b(site_.home() + "/cb", make_view("alice_other"));
    update(a);
    update(b);
    PostOptions apply_a;
    apply_a.on_part = [&a](const Part& p) { return a.apply(p); };
    for (const char* dir : {"vobs/p/src", "vobs/p/src/sub"})
        ASSERT_EQ(status_of(checkout(a, dir)), "0") << dir;
    Response mv = call("mv_rpc",
                       args({{"ViewUuid", ua},
                             {"Source", "vobs/p/src/a.c"},
                             {"Target", "vobs/p/src/sub/a.c"},
                             {"Comment", "moved"}}),
                       apply_a);
    ASSERT_EQ(status_of(mv), "0") << text_of(mv);
    EXPECT_FALSE(mv.named("SyncElemInfo").empty());
    Response rm =
        call("rmname_rpc", args({{"ViewUuid", ua}, {"Scope", "vobs/p/src/k.bin"}, {"Comment", ""}}),
             apply_a);
    ASSERT_EQ(status_of(rm), "0") << text_of(rm);
    const std::map<std::string, std::string> held = tree(a.root());
    EXPECT_EQ(held.count("vobs/p/src/a.c"), 0u);
    EXPECT_EQ(held.count("vobs/p/src/k.bin"), 0u);
    EXPECT_EQ(held.at("vobs/p/src/sub/a.c"), "one\n");
    // A name that leaves the view is refused and changes nothing.
    Response out = call("mv_rpc", args({{"ViewUuid", ua},
                                        {"Source", "vobs/p/src/sub/b.txt"},
                                        {"Target", "../../etc/b.txt"},
                                        {"Comment", ""}}));
    EXPECT_NE(status_of(out), "0");
    for (const char* dir : {"vobs/p/src", "vobs/p/src/sub"})
        ASSERT_EQ(status_of(checkin(a, dir, nullptr)), "0") << dir;
    a.reset();
    update(a);
    EXPECT_EQ(tree(a.root()), held);
    update(b);
    EXPECT_EQ(tree(b.root()), held);
}

// A config spec set over HTTP answers with the update it calls for: narrowing the load
// rules unloads what left them, widening them loads it again, and each update is committed
// like any fetch.
TEST_F(WebViewSyncTest, ConfigSpecChangeSendsItsUpdate) {
    CopyArea a(site_.home() + "/ca", make_view("alice_web"));
    update(a);
    auto setcs = [&](const std::string& load) {
        PostOptions o;
        o.on_part = [&a](const Part& p) { return a.apply(p); };
        Response r = call("setcs_rpc",
                          args({{"ViewUuid", a.view_uuid()},
                                {"Mode", "replace"},
                                {"NumElemLines", "2"},
                                {"E", "element * CHECKEDOUT"},
                                {"E", "element * /main/LATEST"},
                                {"NumScopes", "0"},
                                {"PartialSync", "0"},
                                {"NumLines", "1"},
                                {"L", load},
                                {"HijackMode", "Keep"}}),
                          o);
        EXPECT_EQ(status_of(r), "0") << text_of(r);
        EXPECT_TRUE(a.ended() && a.completed_ok());
        EXPECT_EQ(status_of(call("ws_sync_commit_rpc", a.commit_args())), "0");
        std::vector<std::string> applied = a.applied();
        std::sort(applied.begin(), applied.end());
        a.reset();
        return applied;
    };
    EXPECT_EQ(setcs("load /vobs/p/src/sub"),
              (std::vector<std::string>{"-vobs/p/src/a.c", "-vobs/p/src/k.bin",
                                        "-vobs/p/src/small.bin"}));
    EXPECT_EQ(tree(a.root()),
              (std::map<std::string, std::string>{{"vobs", "d"},
                                                  {"vobs/p", "d"},
                                                  {"vobs/p/src", "d"},
                                                  {"vobs/p/src/sub", "d"},
                                                  {"vobs/p/src/sub/b.txt", "bee\n"}}));
    EXPECT_EQ(update(a), std::vector<std::string>{});
    const std::vector<std::string> back = setcs("load /vobs/p/src");
    EXPECT_NE(std::find(back.begin(), back.end(), "vobs/p/src/a.c"), back.end());
    EXPECT_EQ(tree(a.root())["vobs/p/src/a.c"], "one\n");
    // A spec the core cannot parse changes nothing.
    Response bad = call("setcs_rpc", args({{"ViewUuid", a.view_uuid()},
                                           {"Mode", "replace"},
                                           {"NumElemLines", "1"},
                                           {"E", "element"},
                                           {"NumScopes", "0"},
                                           {"PartialSync", "0"},
                                           {"NumLines", "0"},
                                           {"HijackMode", "Keep"}}));
    EXPECT_NE(status_of(bad), "0");
    EXPECT_EQ(update(a), std::vector<std::string>{});
}

// What a client lists of a web view: descriptions of named files (the version its copy
// holds next to the one the rules now select, the rule, checkout facts; a name that is not
// there reported in its own part) and directory listings, from a directory element or, above
// the VOBs, from the VOB tags.
// A view made without a client copy area is dynamic: the first request that takes it
// starts its daemon (from the CGI process, outliving it), its files are then read through
// its root on the server, and removing it stops it.
TEST_F(WebViewSyncTest, DynamicViewMadeUsedAndRemovedThroughTheServer) {
    std::string why;
    if (!view_vtfs_available(&why)) GTEST_SKIP() << why;
    Response r = call("mkview_rpc", args({{"ViewTag", "alice_dyn"},
                                          {"ConfigTag", "cfg"},
                                          {"Stream", ""},
                                          {"TextMode", ""},
                                          {"Stgloc", ""},
                                          {"Colocate", "0"},
                                          {"CopyAreaRoot", ""}}));
    ASSERT_EQ(status_of(r), "0") << text_of(r);
    const std::string uuid =
        header(r.named("RpcResult").empty() ? nullptr : r.named("RpcResult")[0], "Uuid");
    const std::string root = site_.home() + "/view/alice_dyn";
    EXPECT_FALSE(fs::exists(root)) << "not started yet";
    Response l = call("enumerate_directory_contents_rpc",
                      args({{"ViewUuid", uuid}, {"Pname", "vobs/p/src"}}));
    ASSERT_EQ(status_of(l), "0") << text_of(l);
    std::vector<std::string> names;
    for (const Part* p : l.named("Dirent")) names.push_back(header(p, "Dirent"));
    EXPECT_EQ(names, (std::vector<std::string>{"a.c", "k.bin", "small.bin", "sub"}));
    int state = -1;
    ASSERT_EQ(view_dynamic_state("alice_dyn", &state, nullptr), 0);
    EXPECT_EQ(state, VIEW_DYN_RUNNING);
    EXPECT_EQ(tree(root + "/vobs/p/src")["sub/b.txt"], "bee\n");
    change("src/sub/b.txt", "bee two\n");
    EXPECT_EQ(tree(root + "/vobs/p/src")["sub/b.txt"], "bee two\n") << "seen at the next lookup";

    view_cache_clear();
    ASSERT_EQ(status_of(call("rmview_rpc", args({{"ViewUuid", uuid}}))), "0");
    ASSERT_NE(view_dynamic_state("alice_dyn", &state, nullptr), 0) << "the view is gone";
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(WebViewSyncTest, FileDescriptionsAndDirectoryListings) {
    vdtool({"protect", "-chown", kAlice.name, "/vobs/p/src/sub/b.txt"});
    CopyArea a(site_.home() + "/ca", make_view("alice_web"));
    update(a);
    change("src/a.c", "two\n");
    ASSERT_EQ(status_of(checkout(a, "vobs/p/src/sub/b.txt")), "0");
    a.reset();
    Response d = call("describe_files_rpc", args({{"ViewUuid", a.view_uuid()},
                                                  {"NumOperands", "3"},
                                                  {"BeginOperand", ""},
                                                  {"Scope", "vobs/p/src/a.c"},
                                                  {"EndOperand", ""},
                                                  {"BeginOperand", ""},
                                                  {"Scope", "vobs/p/nothing"},
                                                  {"EndOperand", ""},
                                                  {"BeginOperand", ""},
                                                  {"Scope", "vobs/p/src/sub/b.txt"},
                                                  {"EndOperand", ""}}));
    ASSERT_EQ(status_of(d), "0") << text_of(d);
    const std::vector<const Part*> ops = d.named("OperandDescription");
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0]->header_names(),
              (std::vector<std::string>{"Content-ID", "Content-Type", "Content-Length",
                                        "OperandScope", "OperandStatus", "Isdir",
                                        "FrozenVersionOid", "FrozenVersion", "UnfrozenVersionOid",
                                        "UnfrozenVersion", "ConfigSpecRule", "Mtime", "Size"}));
    EXPECT_EQ(header(ops[0], "OperandStatus"), "0");
    EXPECT_EQ(header(ops[0], "FrozenVersion"), "/main/1") << "the copy still holds it";
    EXPECT_EQ(header(ops[0], "UnfrozenVersion"), "/main/2");
    EXPECT_EQ(header(ops[0], "ConfigSpecRule"), "element * /main/LATEST");
    EXPECT_EQ(header(ops[0], "Size"), "4");
    EXPECT_EQ(header(ops[1], "OperandScope"), "vobs/p/nothing");
    EXPECT_EQ(header(ops[1], "OperandStatus"), "1052");
    EXPECT_EQ(header(ops[2], "CheckedOut"), "1");
    EXPECT_EQ(header(ops[2], "Reserved"), "1");
    EXPECT_EQ(header(ops[2], "ConfigSpecRule"), "element * CHECKEDOUT");
    Response none =
        call("describe_files_rpc", args({{"ViewUuid", a.view_uuid()}, {"NumOperands", "0"}}));
    EXPECT_EQ(status_of(none), "0");
    EXPECT_TRUE(none.named("OperandDescription").empty());

    auto listing = [&](const char* rpc, const char* pname, const char* entry) {
        ArgList l = {{"ViewUuid", a.view_uuid()}};
        if (pname) l.emplace_back("Pname", pname);
        Response r = call(rpc, args(l));
        EXPECT_EQ(status_of(r), "0") << rpc << " " << text_of(r);
        std::vector<std::string> names;
        for (const Part* p : r.named(entry)) names.push_back(header(p, entry));
        return names;
    };
    EXPECT_EQ(listing("enumerate_directory_contents_rpc", "vobs/p/src", "Dirent"),
              (std::vector<std::string>{"a.c", "k.bin", "small.bin", "sub"}));
    EXPECT_EQ(listing("enumerate_sub_directories_rpc", "vobs/p/src", "Dirent"),
              std::vector<std::string>{"sub"});
    EXPECT_EQ(listing("enumerate_directory_contents_rpc", "vobs", "Dirent"),
              std::vector<std::string>{"p"});
    EXPECT_EQ(listing("enumerate_view_root_sub_directories_rpc", nullptr, "SubDirectory"),
              std::vector<std::string>{"vobs"});
    Response sub = call("enumerate_directory_contents_rpc",
                        args({{"ViewUuid", a.view_uuid()}, {"Pname", "vobs/p/src"}}));
    ASSERT_EQ(header(sub.named("NumDirents")[0], "NumDirents"), "4");
    EXPECT_EQ(header(sub.named("Dirent")[3], "Isdir"), "1");
}

// An element's version tree as a client fetches it: branches, versions, a checkout and a
// merge arrow, each node once; the parts of a node's children; nodes that are not there
// reported apart; a client whose ids belong to another VOB generation refused.
TEST_F(WebViewSyncTest, VersionTreeFetchedPiecewise) {
    vdtool({"protect", "-chown", kAlice.name, "/vobs/p/src/a.c"});
    change("src/a.c", "two\n");
    vdtool({"mkbrtype", "dev@/vobs/p"});
    vdtool({"mkbranch", "dev", "/vobs/p/src/a.c"});
    vdtool({"ci", "-from", write_file(site_.home() + "/content", "dev\n"), "/vobs/p/src/a.c"});
    change("src/a.c", "three\n");
    vdtool({"mkhlink", "Merge", "/vobs/p/src/a.c@@/main/dev/1", "/vobs/p/src/a.c@@/main/3"});
    CopyArea a(site_.home() + "/ca", make_view("alice_web"));
    ASSERT_EQ(status_of(checkout(a, "vobs/p/src/a.c")), "0");
    auto dbid = [](const char* v) {
        vob_resolved_t r;
        EXPECT_EQ(vob_resolve_pname(v, nullptr, 0, &r), 0) << v;
        return std::to_string(r.dbid);
    };
    auto vtree = [&](const ArgList& more) {
        ArgList l = {{"ViewUuid", a.view_uuid()}, {"Scope", "vobs/p/src/a.c"}};
        l.insert(l.end(), more.begin(), more.end());
        return call("fetch_vtree_rpc", args(l));
    };
    auto count = [](const Response& r, const char* name) { return r.named(name).size(); };

    Response all = vtree({{"Op", "FetchDescendants"}, {"Filter", "NodeFilter.ANY"}});
    ASSERT_EQ(status_of(all), "0") << text_of(all);
    ASSERT_FALSE(all.parts.empty());
    EXPECT_EQ(all.parts[0].name(), "ElementDesc");
    EXPECT_EQ(count(all, "BranchNode"), 2u);
    EXPECT_EQ(count(all, "CheckedinVersionNode"), 6u);  // main 0-3, dev 0-1
    ASSERT_EQ(count(all, "CheckoutNode"), 1u);
    EXPECT_EQ(header(all.named("CheckoutNode")[0], "ViewTag"), "alice_web");
    EXPECT_EQ(header(all.named("CheckoutNode")[0], "IsReserved"), "1");
    std::set<std::string> ids;
    for (const Part& p : all.parts) {
        if (p.header("Dbid")) {
            EXPECT_TRUE(ids.insert(*p.header("Dbid")).second) << "sent twice";
        }
    }
    for (const Part* b : all.named("BranchNode")) {
        if (header(b, "Name") == "dev") {
            EXPECT_EQ(header(b, "RootwardDbid"), dbid("/vobs/p/src/a.c@@/main/2"));
        }
    }
    const std::string dev1 = dbid("/vobs/p/src/a.c@@/main/dev/1");
    const std::string main3 = dbid("/vobs/p/src/a.c@@/main/3");
    int arrows = 0;
    for (const Part* v : all.named("CheckedinVersionNode")) {
        if (header(v, "Dbid") == dev1 &&
            v->content.find("MergeChild: " + main3) != std::string::npos)
            ++arrows;
        if (header(v, "Dbid") == main3 &&
            v->content.find("MergeParent: " + dev1) != std::string::npos)
            ++arrows;
    }
    EXPECT_EQ(arrows, 2) << "the merge arrow at both of its ends";
    // Any filter sends the same nodes.
    Response interesting =
        vtree({{"Op", "FetchDescendants"}, {"Filter", "NodeFilter.INTERESTING"}});
    EXPECT_EQ(interesting.parts.size(), all.parts.size());

    // The children of the main branch: its versions (and the checkout).
    const std::string main_sel = "/vobs/p/src/a.c@@/main";
    Response kids = vtree({{"Op", "FetchChildren"}, {"ObjectSelector", main_sel}});
    ASSERT_EQ(status_of(kids), "0") << text_of(kids);
    EXPECT_EQ(count(kids, "CheckedinVersionNode"), 4u);
    EXPECT_EQ(count(kids, "BranchNode"), 1u) << "the branch as the versions' ancestor";

    // A node that is not there is reported apart; the others still come.
    Response refresh = vtree({{"Op", "FetchRefreshNodes"},
                              {"ObjectSelector", "/vobs/p/src/a.c@@/main/9"},
                              {"ObjectSelector", "/vobs/p/src/a.c@@/main/1"}});
    ASSERT_EQ(status_of(refresh), "0") << text_of(refresh);
    ASSERT_EQ(count(refresh, "ObjectsNotFound"), 1u);
    EXPECT_NE(refresh.named("ObjectsNotFound")[0]->content.find("ObjectSelector: "),
              std::string::npos);
    EXPECT_EQ(count(refresh, "CheckedinVersionNode"), 1u);

    // Ids of another generation of the VOB: refused before any node.
    const std::string gen =
        header(all.parts[0].header("VobGenerationNumber") ? &all.parts[0] : nullptr,
               "VobGenerationNumber");
    Response stale = vtree(
        {{"Op", "FetchDescendants"}, {"VobGenerationNumber", std::to_string(std::stoll(gen) + 1)}});
    EXPECT_EQ(status_of(stale), "100011");
    EXPECT_NE(text_of(stale).find("VDSRV3168"), std::string::npos) << text_of(stale);
    EXPECT_EQ(count(stale, "BranchNode") + count(stale, "CheckedinVersionNode"), 0u);
}

// What the server says a copy area holds, as its client can check it: one line per object
// with its version and checkout, for the whole view or some directories; the per-directory
// digests change only where a version changed.
TEST_F(WebViewSyncTest, FrozenStateAndDigests) {
    vdtool({"protect", "-chown", kAlice.name, "/vobs/p/src/a.c"});
    const std::string uuid = make_view("alice_web");
    CopyArea a(site_.home() + "/ca", uuid);
    update(a);
    auto oid = [](const char* v) {
        vob_resolved_t r;
        EXPECT_EQ(vob_resolve_pname(v, nullptr, 0, &r), 0) << v;
        vob_obj_info_t info;
        EXPECT_EQ(vob_obj_get_info(r.vob, r.dbid, &info), 0);
        return tbs_uuid_text(info.oid);
    };
    auto states = [&](const ArgList& dirs) {
        ArgList l = {{"ViewUuid", uuid}};
        l.insert(l.end(), dirs.begin(), dirs.end());
        Response r = call("fetch_frozen_state_rpc", args(l));
        EXPECT_EQ(status_of(r), "0") << text_of(r);
        const std::vector<const Part*> p = r.named("FrozenObjectsStates");
        return p.empty() ? std::string() : p[0]->content;
    };
    const std::string all = states({});
    EXPECT_NE(all.find("vobs/p/src/a.c FType.FILE|false|" + oid("/vobs/p/src/a.c@@/main/1") + "\n"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("vobs/p/src FType.DIRECTORY|false|"), std::string::npos) << all;
    EXPECT_EQ(
        states({{"ViewRelPname", "vobs/p/src/sub"}}),
        "vobs/p/src/sub/b.txt FType.FILE|false|" + oid("/vobs/p/src/sub/b.txt@@/main/1") + "\n");

    view_t* view = nullptr;
    ASSERT_EQ(view_open_by_tag("alice_web", &view), 0);
    SUM_View sv;
    ASSERT_EQ(SUM_View::construct_from_uuid(view->uuid, &sv), 0);
    std::map<std::string, Sha256::MessageDigest> before, after;
    WebViewStateDigest(sv).get_parent_digests(before);
    const std::string whole = WebViewStateDigest(sv).get_digest().get_hex_string();
    ASSERT_EQ(status_of(checkout(a, "vobs/p/src/a.c")), "0");
    a.reset();
    EXPECT_NE(states({}).find("vobs/p/src/a.c FType.FILE|true|"), std::string::npos);
    WebViewStateDigest(sv).get_parent_digests(after);
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [dir, d] : before)
        EXPECT_EQ(d.get_hex_string() == after[dir].get_hex_string(), dir != "vobs/p/src") << dir;
    const std::string now = WebViewStateDigest(sv).get_digest().get_hex_string();
    EXPECT_NE(now, whole);

    // Validation: nothing to say when the digests agree; the directory digests when they do
    // not (letter case counts); a listed checkout the view does not have is named.
    auto validate = [&](const std::string& digest, const ArgList& more) {
        ArgList l = {{"ViewUuid", uuid}, {"ViewStateDigest", digest}};
        l.insert(l.end(), more.begin(), more.end());
        Response r = call("validate_copy_area_state_rpc", args(l));
        EXPECT_EQ(status_of(r), "0") << text_of(r);
        return r;
    };
    EXPECT_EQ(validate(now, {}).parts.size(), 1u) << "the status alone";
    std::string upper = now;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    Response differs = validate(upper, {});
    ASSERT_EQ(differs.named("DetailedViewStateDigest").size(), 1u);
    EXPECT_EQ(header(differs.named("DetailedViewStateDigest")[0], "Content-Type"),
              "application/x-gzip");
    Response bogus = validate(now, {{"NonFrozenCheckout", "vobs/p/src/sub/b.txt"}});
    ASSERT_EQ(bogus.named("BogusNonFrozenCheckouts").size(), 1u);
    EXPECT_EQ(bogus.named("BogusNonFrozenCheckouts")[0]->content, "vobs/p/src/sub/b.txt\n");
    Response vobs = call("fetch_vobs_at_least_partially_loaded_rpc", args({{"ViewUuid", uuid}}));
    ASSERT_EQ(vobs.named("VobFound").size(), 1u);
    EXPECT_EQ(header(vobs.named("VobFound")[0], "VobTag"), "/vobs/p");
}

// Diffs and merges as their block streams: a client rebuilds both files of a diff from the
// parts exactly (a last line without its line feed included); a merge whose sides changed
// different lines resolves every region by its default choice, one whose sides changed the
// same line differently leaves the conflict; a directory diff names its entries.
TEST_F(WebViewSyncTest, DiffAndMergeBlockStreams) {
    const std::string v2 = "l1\nl2\nl3\nl4\nl5\nl6\n", v3 = "l1\nL2\nl3\nl4\nl5\nl6\nl7";
    change("src/a.c", v2);
    change("src/a.c", v3);
    vdtool({"mkbrtype", "dev@/vobs/p"});
    vdtool({"mkbranch", "dev", "/vobs/p/src/a.c@@/main/2"});
    vdtool({"ci", "-from", write_file(site_.home() + "/content", "l1\nl2\nl3\nl4\nL5\nl6\n"),
            "/vobs/p/src/a.c"});
    const std::string a = "/vobs/p/src/a.c@@/main/";
    auto rebuild = [](const Response& r, const char* who) {
        std::string text;
        for (const Part& p : r.parts) {
            const std::string* d = p.header("Content-Description");
            if (d && *d == "view_rel_pname") continue;
            if (p.name() == "common" || p.name() == who) text += p.content;
        }
        return text;
    };
    Response diff = call("get_diff_merge_rpc",
                         args({{"IsDiff", "1"}, {"Version", a + "2"}, {"Version", a + "3"}}));
    ASSERT_EQ(status_of(diff), "0") << text_of(diff);
    EXPECT_EQ(rebuild(diff, "from_ver"), v2);
    EXPECT_EQ(rebuild(diff, "to_ver"), v3);
    EXPECT_FALSE(diff.named("common").empty());

    auto merge = [&](const std::string& to, const std::string& from) {
        Response r = call("get_diff_merge_rpc", args({{"IsDiff", "0"},
                                                      {"ToVersion", to},
                                                      {"FromVersion", from},
                                                      {"BaseVersion", a + "2"}}));
        EXPECT_EQ(status_of(r), "0") << text_of(r);
        return r;
    };
    Response clean = merge(a + "3", a + "dev/1");
    ASSERT_FALSE(clean.named("result").empty());
    for (const Part* p : clean.named("result")) {
        EXPECT_EQ(header(p, "Content-Description"), "merged");
        EXPECT_NE(header(p, "Merge-choice"), "<missing>");
        EXPECT_NE(header(p, "Diff-region"), "<missing>");
    }
    EXPECT_EQ(rebuild(clean, "base_ver"), v2);
    change("src/a.c", "l1\nX2\nl3\nl4\nl5\nl6\n");  // /main/4: line 2 again, otherwise
    Response conflict = merge(a + "3", a + "4");
    int merging = 0;
    for (const Part* p : conflict.named("result"))
        merging += header(p, "Content-Description") == "merging";
    EXPECT_EQ(merging, 1) << "line 2 changed on both sides";

    auto src_version = [] {
        vob_resolved_t r;
        EXPECT_EQ(vob_resolve_pname("/vobs/p/src", nullptr, 0, &r), 0);
        std::string id;
        EXPECT_EQ(vob_ver_get_idstr(r.vob, r.version, &id), 0);
        return "/vobs/p/src@@" + id;
    };
    const std::string before = src_version();
    add("src/z.txt", "zed\n");
    Response dirs = call("get_diff_merge_rpc",
                         args({{"IsDiff", "1"}, {"Version", before}, {"Version", src_version()}}));
    ASSERT_EQ(status_of(dirs), "0") << text_of(dirs);
    bool inserted = false;
    for (const Part* p : dirs.named("to_ver"))
        inserted |= header(p, "Content-Description") == "inserted" &&
                    header(p, "Dir-item-kind") == "file" && p->content.rfind("z.txt\r\n", 0) == 0;
    EXPECT_TRUE(inserted);
    Response mixed = call("get_diff_merge_rpc",
                          args({{"IsDiff", "1"}, {"Version", a + "2"}, {"Version", before}}));
    EXPECT_NE(text_of(mixed).find("VDSRV1190"), std::string::npos) << text_of(mixed);
}

// A checkout overtaken on its branch: checkin asks for the merge; the client gets the
// three-way block stream, has the server merge its copy, checks the result in, and the
// version tree shows the merge arrow. Then a comparison with the previous version, and a
// directory merge whose new name the next update brings.
TEST_F(WebViewSyncTest, MergeIntoACheckoutThenCheckIn) {
    vdtool({"protect", "-chown", kAlice.name, "/vobs/p/src/a.c"});
    vdtool({"protect", "-chown", kAlice.name, "/vobs/p/src"});
    const std::string base = "l1\nl2\nl3\n", theirs = "L1\nl2\nl3\n", mine = "l1\nl2\nL3\n";
    change("src/a.c", base);  // /main/2
    CopyArea a(site_.home() + "/ca", make_view("alice_web"));
    update(a);
    ASSERT_EQ(status_of(checkout(a, "vobs/p/src/a.c", /*unreserved=*/true)), "0");
    change("src/a.c", theirs);  // /main/3, by someone else
    Response refused = checkin(a, "vobs/p/src/a.c", &mine);
    EXPECT_EQ(status_of(refused), "100006");
    ASSERT_EQ(refused.named("CheckinMergeInputRecord").size(), 1u);

    // The merge as blocks: each contributor rebuilds exactly, every region resolves.
    PostOptions with_copy;
    with_copy.upload = &mine;
    const ArgList item = {{"ViewUuid", a.view_uuid()},
                          {"ElemPath", "vobs/p/src/a.c"},
                          {"NumItems", "1"},
                          {"CheckedOut", "1"},
                          {"Hijacked", "0"},
                          {"Loaded", "1"},
                          {"PrevFlag", "0"}};
    Response blocks = call("new_merge_rpc", args(item), with_copy);
    ASSERT_EQ(status_of(blocks), "0") << text_of(blocks);
    auto rebuild = [](const Response& r, const char* who) {
        std::string text;
        for (const Part& p : r.parts) {
            const std::string* d = p.header("Content-Description");
            if (d && *d == "view_rel_pname") continue;
            if (p.name() == "common" || p.name() == who) text += p.content;
        }
        return text;
    };
    EXPECT_EQ(rebuild(blocks, "base_ver"), base);
    EXPECT_EQ(rebuild(blocks, "from_ver"), theirs);
    EXPECT_EQ(rebuild(blocks, "to_ver"), mine);
    ASSERT_FALSE(blocks.named("result").empty());
    for (const Part* p : blocks.named("result"))
        EXPECT_EQ(header(p, "Content-Description"), "merged");

    // The server merges the client's copy and records the arrow; the checkin goes in.
    Response merged = call("merge_rpc",
                           args({{"ViewUuid", a.view_uuid()},
                                 {"Pname", "vobs/p/src/a.c"},
                                 {"FromVersion", "/vobs/p/src/a.c@@/main/3"},
                                 {"BaseVersion", ""},
                                 {"Ndata", "0"},
                                 {"Abort", "0"}}),
                           with_copy);
    ASSERT_EQ(status_of(merged), "0") << text_of(merged);
    ASSERT_EQ(merged.named("MergeResult").size(), 1u);
    const Part* result = merged.named("MergeResult")[0];
    EXPECT_EQ(header(result, "Outcome"), "auto");
    EXPECT_EQ(header(result, "BaseVersion"), "/vobs/p/src/a.c@@/main/2");
    EXPECT_EQ(result->content, "L1\nl2\nL3\n");
    Response in = checkin(a, "vobs/p/src/a.c", &result->content);
    ASSERT_EQ(status_of(in), "0") << text_of(in);
    auto dbid = [](const char* v) {
        vob_resolved_t r;
        EXPECT_EQ(vob_resolve_pname(v, nullptr, 0, &r), 0) << v;
        return std::to_string(r.dbid);
    };
    Response vtree = call("fetch_vtree_rpc", args({{"ViewUuid", a.view_uuid()},
                                                   {"Scope", "vobs/p/src/a.c"},
                                                   {"Op", "FetchDescendants"},
                                                   {"Filter", "NodeFilter.ANY"}}));
    ASSERT_EQ(status_of(vtree), "0") << text_of(vtree);
    const std::string main3 = dbid("/vobs/p/src/a.c@@/main/3");
    bool arrow = false;
    for (const Part* v : vtree.named("CheckedinVersionNode"))
        arrow |= header(v, "Dbid") == dbid("/vobs/p/src/a.c@@/main/4") &&
                 v->content.find("MergeParent: " + main3) != std::string::npos;
    EXPECT_TRUE(arrow) << text_of(vtree);

    // The new version against the one before it.
    Response cmp = call("compare_rpc", args({{"ViewUuid", a.view_uuid()},
                                             {"ElemPath", "vobs/p/src/a.c"},
                                             {"NumItems", "1"},
                                             {"CheckedOut", "0"},
                                             {"Hijacked", "0"},
                                             {"Loaded", "1"},
                                             {"PrevFlag", "1"}}));
    ASSERT_EQ(status_of(cmp), "0") << text_of(cmp);
    EXPECT_EQ(rebuild(cmp, "from_ver"), base);
    EXPECT_EQ(rebuild(cmp, "to_ver"), "L1\nl2\nL3\n");
    // A changed copy with nothing sent to compare is refused.
    Response nothing = call("compare_rpc", args({{"ViewUuid", a.view_uuid()},
                                                 {"ElemPath", "vobs/p/src/a.c"},
                                                 {"NumItems", "1"},
                                                 {"CheckedOut", "0"},
                                                 {"Hijacked", "1"},
                                                 {"Loaded", "1"},
                                                 {"PrevFlag", "1"}}));
    EXPECT_NE(text_of(nothing).find("VDSRV3007"), std::string::npos) << text_of(nothing);

    // A directory merge: dev's new name reaches the client with its next update.
    vdtool({"mkbrtype", "dev@/vobs/p"});
    vdtool({"mkbranch", "dev", "/vobs/p/src"});
    add("src/n.c", "new\n");
    vdtool({"ci", "/vobs/p/src"});
    update(a);
    ASSERT_EQ(status_of(checkout(a, "vobs/p/src")), "0");
    Response dir = call("new_save_dir_merge_rpc", args({{"ViewUuid", a.view_uuid()},
                                                        {"Pname", "vobs/p/src"},
                                                        {"FromVersion", ".../dev/LATEST"},
                                                        {"BaseVersion", ""}}));
    ASSERT_EQ(status_of(dir), "0") << text_of(dir);
    ASSERT_EQ(dir.named("MergeResult").size(), 1u);
    EXPECT_EQ(header(dir.named("MergeResult")[0], "Outcome"), "trivial");
    ASSERT_EQ(status_of(checkin(a, "vobs/p/src", nullptr)), "0");
    update(a);
    EXPECT_EQ(tree(a.root())["vobs/p/src/n.c"], "new\n");
}

}  // namespace
}  // namespace e2e
