// The command RPC through lighttpd and vdweb.cgi: "VDW_VdtoolRpc" run by a logged-in client,
// its output as "line" parts, the subcommands and flags it refuses before anything runs, the
// administrator's marker, commands run in a view's root, and the update that follows a
// command for a client that asks for one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "e2e/cgi_process.h"
#include "e2e/lighttpd_server.h"
#include "e2e/multipart.h"
#include "e2e/rpc_client.h"
#include "e2e/site_test.h"
#include "e2e/test_users.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

// A site with /vobs/p/src/a.c (alice's) and alice's web view "alice_cmd" over it.
class CommandRpcTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string one = write_file(site_.home() + "/one", "one\n");
        vdtool_lines({
            {"mkvob", "-tag", "/vobs/p", site_.home() + "/vobs/p.vbs"},
            {"mkelem", "-mkpath", "-ci", "-from", one, "/vobs/p/src/a.c"},
            {"protect", "-chown", kAlice.name, "/vobs/p/src/a.c"},
            {"mkbrtype", "dev@/vobs/p"},
        });
        if (HasFatalFailure()) return;
        cmd_mkview_args_t cfg;
        cfg.tag = "cfg";
        cfg.storage = site_.home() + "/cfg.vws";
        cfg.cspec = "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/p/src\n";
        ASSERT_EQ(cmd_mkview(&cfg), 0) << cap_.err;
        Response r = post("mkview_rpc", args({{"ViewTag", "alice_cmd"},
                                              {"ConfigTag", "cfg"},
                                              {"Stream", ""},
                                              {"TextMode", ""},
                                              {"Stgloc", ""},
                                              {"Colocate", "0"},
                                              {"CopyAreaRoot", "/home/alice/cmd"}}));
        ASSERT_EQ(status_of(r), "0") << text_of(r);
        view_t* view = nullptr;
        ASSERT_EQ(view_open_by_tag("alice_cmd", &view), 0);
        root_ = view->root;
    }
    Response post(const std::string& rpc, const std::string& rpcargs) {
        Response resp = post_rpc(server_.url(), rpc, rpcargs, kAlice);
        EXPECT_TRUE(resp.complete) << rpc << ": " << resp.error << "\n" << server_.error_log();
        return resp;
    }
    // The command RPC; `view` "" runs in no view.
    Response vdtool(const std::string& cmd, const std::vector<std::string>& argv,
                    const std::string& view = "", bool sync = false,
                    const TestUser& user = kAlice) {
        ArgList a;
        if (!view.empty()) a.push_back({"viewtag", view});
        a.push_back({"cmd", cmd});
        if (sync) a.push_back({"supports-sync", ""});
        for (const std::string& s : argv) a.push_back({"arg", s});
        Response resp = post_rpc(server_.url(), "VDW_VdtoolRpc", args(a), user);
        EXPECT_TRUE(resp.complete) << resp.error << "\n" << server_.error_log();
        return resp;
    }
    // The output lines, "<severity> <text>" each.
    static std::vector<std::string> lines(const Response& r) {
        std::vector<std::string> out;
        for (const Part* p : r.named("line"))
            out.push_back(header(p, "Content-Description") + " " + p->content);
        return out;
    }
    static bool has_line(const Response& r, const std::string& text) {
        for (const std::string& l : lines(r))
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    std::string root_;
};

// Admitted subcommands run (their abbreviations too); the rest, and refused flags, are
// answered with their messages and run nothing.
TEST_F(CommandRpcTest, OnlyAdmittedCommandsRun) {
    struct Case {
        const char* cmd;
        std::vector<std::string> argv;
        const char* status;
        const char* text;  // in an output line (runs) or in the status text (refusals)
    } cases[] = {
        {"lsvob", {}, "0", "OK /vobs/p"},
        {"lsh", {"/vobs/p/src/a.c"}, "0", "OK "},
        {"lshist", {"/vobs/p/src/a.c"}, "0", "OK "},
        {"lshistory", {"/vobs/p/src/a.c"}, "0", "OK "},
        {"des", {"/vobs/p/src/a.c"}, "0", "OK "},
        {"lsx", {}, "1001", "VDSRV3197: Unrecognized command: \"lsx\""},
        {"checkin", {"/vobs/p/src/a.c"}, "1001", "VDSRV3197: Unrecognized command: \"checkin\""},
        {"rmvob", {"/vobs/p"}, "1001", "VDSRV3197"},
        {"@lsview", {}, "1001", "VDSRV3197: Unrecognized command: \"@lsview\""},
        {"lsvob", {"-graphical"}, "1001", "Illegal option \"-graphical\""},
        {"lsvob", {"-g"}, "1001", "Illegal option \"-g\""},
        {"mklbtype", {"-reg", "x", "REL@/vobs/p"}, "1001", "Illegal option \"-reg\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cmd);
        Response r = vdtool(c.cmd, c.argv);
        EXPECT_EQ(status_of(r), c.status) << text_of(r);
        if (std::string(c.status) == "0") {
            EXPECT_TRUE(has_line(r, c.text)) << text_of(r);
        } else {
            EXPECT_NE(text_of(r).find(c.text), std::string::npos) << text_of(r);
        }
    }
    // The refused type was not made.
    EXPECT_NE(run_vdtool(&cap_, {"describe", "lbtype:REL@/vobs/p"}), 0);
}

// With the administrator's marker an "@" command runs unfiltered; without the "@" the filter
// still holds.
TEST_F(CommandRpcTest, MarkerLetsAdministratorsCommandsThrough) {
    namespace fs = std::filesystem;
    fs::create_directories(site_.home() + "/hostdata/vdweb");
    write_file(site_.home() + "/hostdata/vdweb/.vdrpc_aoptf", "");
    Response help = vdtool("@help", {"lsvob"});
    EXPECT_EQ(status_of(help), "0") << text_of(help);
    EXPECT_TRUE(has_line(help, "OK Usage: lsvob")) << text_of(help);
    EXPECT_EQ(status_of(vdtool("help", {})), "1001");
}

// In a view: relative names are the view's, the view's root never reaches the client,
// names that climb out of it and the server's own files are refused; a client that asks
// gets the update the command calls for.
TEST_F(CommandRpcTest, CommandsInAViewRoot) {
    Response des = vdtool("describe", {"vobs/p/src/a.c"}, "alice_cmd");
    ASSERT_EQ(status_of(des), "0") << text_of(des);
    EXPECT_FALSE(lines(des).empty());
    Response lsview = vdtool("lsview", {"alice_cmd"}, "alice_cmd");
    ASSERT_EQ(status_of(lsview), "0") << text_of(lsview);
    for (const std::string& l : lines(lsview)) EXPECT_EQ(l.find(root_), std::string::npos) << l;

    Response out = vdtool("describe", {"../../etc"}, "alice_cmd");
    EXPECT_NE(status_of(out), "0");
    EXPECT_NE(text_of(out).find("leaves the view root"), std::string::npos) << text_of(out);
    Response file = vdtool("setcs", {"-tag", "alice_cmd", "/etc/passwd"}, "alice_cmd");
    EXPECT_EQ(status_of(file), "1063") << text_of(file);
    EXPECT_EQ(text_of(file).find("root:"), std::string::npos);
    // Nor may a VOB's storage go anywhere on the server.
    Response vob = vdtool("mkvob", {"-tag", "/vobs/x", "/tmp/x.vbs"}, "alice_cmd");
    EXPECT_EQ(status_of(vob), "1063") << text_of(vob);

    // A branch made and checked out in the view: the answer brings the checkout.
    Response branch = vdtool("mkbranch", {"-nc", "dev", "vobs/p/src/a.c"}, "alice_cmd", true);
    ASSERT_EQ(status_of(branch), "0") << text_of(branch);
    EXPECT_FALSE(lines(branch).empty());
    bool checked_out = false;
    for (const Part* p : branch.named("SyncElemInfo"))
        checked_out |= header(p, "NextVerCheckedOut") == "1";
    EXPECT_TRUE(checked_out) << text_of(branch);
}

// Another user who owns nothing here is refused what would give them the site: a trigger
// type (whose program would run for everyone's operations), a VOB of their own anywhere in
// the namespace, and changes to alice's view. Nothing they asked for was made or ran.
TEST_F(CommandRpcTest, HostileUserIsRefused) {
    const std::string marker = site_.home() + "/triggered";
    struct Case {
        const char* cmd;
        std::vector<std::string> argv;
        const char* view;
        const char* text;  // in the status text
    } const cases[] = {
        {"mktrtype",
         {"-element", "-all", "-preop", "checkout", "-exec", "/usr/bin/touch " + marker,
          "x@/vobs/p"},
         "",
         "may make, change or remove its types"},
        {"mklbtype", {"MINE@/vobs/p"}, "", "may make, change or remove its types"},
        {"mkvob", {"-tag", "/vobs/p/inner"}, "", "VOB tag"},
        {"mkvob", {"-tag", "/vobs"}, "", "VOB tag"},
        {"mkvob", {"-tag", "/vobs/mine"}, "", "Only the site's administrator may make VOBs"},
        {"setcs", {"-tag", "alice_cmd", "-default"}, "", "only its owner"},
        {"setact", {"-view", "alice_cmd", "-none"}, "", "only its owner"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cmd);
        Response r = vdtool(c.cmd, c.argv, c.view, false, kMallory);
        EXPECT_NE(status_of(r), "0") << text_of(r);
        EXPECT_NE(text_of(r).find(c.text), std::string::npos) << text_of(r);
    }
    // The checkout the trigger would have fired on, and alice's view, are as they were.
    vdtool("checkout", {"/vobs/p/src/a.c"}, "alice_cmd", false, kMallory);
    EXPECT_FALSE(std::filesystem::exists(marker));
    Response cs = vdtool("catcs", {"-tag", "alice_cmd"});
    EXPECT_TRUE(has_line(cs, "load /vobs/p/src")) << text_of(cs);
    EXPECT_FALSE(has_line(vdtool("lsvob", {}), "/vobs/mine"));
}

}  // namespace
}  // namespace e2e
