// Merge candidates through lighttpd and vdweb.cgi: "VDW_Vdcore::find_merge_candidates_rpc"
// asked by a logged-in client for what a branch would bring into its web view, one
// "MergeItem" part per element, and the requests that find nothing or are refused.
#include <gtest/gtest.h>

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

// A site with the VOB /vobs/p: src/a.c grew on dev (/main/dev/1) and on main since
// (/main/2); src/b.c only on main. Alice's web view selects dev where there is one.
class MergeRpcTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string one = write_file(site_.home() + "/one", "one\n");
        const std::string dev = write_file(site_.home() + "/dev", "dev\n");
        const std::string two = write_file(site_.home() + "/two", "two\n");
        vdtool_lines({
            {"mkvob", "-tag", "/vobs/p", site_.home() + "/vobs/p.vbs"},
            {"mkbrtype", "dev@/vobs/p"},
            {"mkelem", "-mkpath", "-ci", "-from", one, "/vobs/p/src/a.c"},
            {"mkelem", "-ci", "-from", one, "/vobs/p/src/b.c"},
            {"co", "-branch", "dev", "/vobs/p/src/a.c"},
            {"ci", "-from", dev, "/vobs/p/src/a.c"},
            {"co", "/vobs/p/src/a.c"},
            {"ci", "-from", two, "/vobs/p/src/a.c"},
        });
        if (HasFatalFailure()) return;
        cmd_mkview_args_t cfg;
        cfg.tag = "cfg";
        cfg.storage = site_.home() + "/cfg.vws";
        cfg.cspec =
            "element * CHECKEDOUT\nelement * .../dev/LATEST\nelement * /main/LATEST\n"
            "load /vobs/p/src\n";
        ASSERT_EQ(cmd_mkview(&cfg), 0) << cap_.err;
        Response r = call("mkview_rpc", args({{"ViewTag", "alice_merge"},
                                              {"ConfigTag", "cfg"},
                                              {"Stream", ""},
                                              {"TextMode", ""},
                                              {"Stgloc", ""},
                                              {"Colocate", "0"},
                                              {"CopyAreaRoot", "/home/alice/merge"}}));
        ASSERT_EQ(status_of(r), "0") << text_of(r);
        view_ = header(r.named("RpcResult").empty() ? nullptr : r.named("RpcResult")[0], "Uuid");
        ASSERT_EQ(view_.size(), 32u);
    }
    Response call(const char* rpc, const std::string& rpcargs) {
        const std::string body = form_body(std::string("VDW_Vdcore::") + rpc, rpcargs.c_str());
        Response resp = http_post(server_.url(), body, kAlice);
        EXPECT_TRUE(resp.complete) << rpc << ": " << resp.error << "\n" << server_.error_log();
        return resp;
    }
    // A search of the view from a source, over `elems` (none: the load rules).
    Response find(const ArgList& source, const std::vector<std::string>& elems,
                  const char* dir_only = "0") {
        ArgList list = {{"ViewUuid", view_}, {"DirOnly", dir_only}, {"Follow", "0"}};
        list.insert(list.end(), source.begin(), source.end());
        list.push_back({"NumElems", std::to_string(elems.size())});
        for (const std::string& e : elems) list.push_back({"Elem", e});
        return call("find_merge_candidates_rpc", args(list));
    }

    std::string view_;
};

// "Br" "main" searches .../main/LATEST: a.c changed on main since dev left it, so its
// merge into the view's dev version is no copy; b.c the view already sees at main's latest.
TEST_F(MergeRpcTest, BranchCandidateIsOnePartWithItsThreeVersions) {
    const ArgList from_main = {{"SelKind", "Br"}, {"VerSel", "main"}};
    Response r = find(from_main, {});
    ASSERT_EQ(status_of(r), "0") << text_of(r);
    ASSERT_EQ(r.named("MergeItem").size(), 1u) << text_of(r);
    const Part* item = r.named("MergeItem")[0];
    const std::vector<std::string> names = item->header_names();
    ASSERT_GE(names.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(names.end() - 12, names.end()),
              (std::vector<std::string>{"ToVersion", "ToVersionExt", "FromVersion", "BaseVersion",
                                        "ElementOid", "ReplicaOid", "IsDir", "IsCmpnVOB",
                                        "IsTrivial", "CoType", "MsgType", "ElementMergeType"}));
    vob_t* vob = nullptr;
    ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob), 0);
    vob_resolved_t a;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/src/a.c", nullptr, 0, &a), 0);
    vob_obj_info_t info;
    ASSERT_EQ(vob_obj_get_info(vob, a.element, &info), 0);
    const std::vector<std::pair<const char*, std::string>> want = {
        {"ToVersion", "/vobs/p/src/a.c"},
        {"ToVersionExt", "/vobs/p/src/a.c@@/main/dev/1"},
        {"FromVersion", "/vobs/p/src/a.c@@/main/2"},
        {"BaseVersion", "/vobs/p/src/a.c@@/main/1"},
        {"ElementOid", tbs_uuid_text(info.oid)},
        {"ReplicaOid", tbs_uuid_text(vob->uuid)},
        {"IsDir", "0"},
        {"IsCmpnVOB", "0"},
        {"IsTrivial", "0"},
        {"CoType", "0"},
        {"MsgType", "-1"},
        {"ElementMergeType", "Auto"},
    };
    for (const auto& [name, value] : want) EXPECT_EQ(header(item, name), value) << name;
    EXPECT_EQ(item->content, "");

    // Named twice, the element is found twice and reported once.
    Response twice = find(from_main, {"vobs/p/src/a.c", "vobs/p/src/a.c"});
    EXPECT_EQ(status_of(twice), "0") << text_of(twice);
    EXPECT_EQ(twice.named("MergeItem").size(), 1u);
}

TEST_F(MergeRpcTest, SearchesThatFindNothingOrAreRefused) {
    struct Case {
        const char* what;
        std::string rpcargs;
        std::string status;
        std::string text;  // in the status text
    };
    auto with = [&](const ArgList& source, const std::vector<std::string>& elems,
                    const char* dir_only) {
        ArgList list = {{"ViewUuid", view_}, {"DirOnly", dir_only}, {"Follow", "0"}};
        list.insert(list.end(), source.begin(), source.end());
        list.push_back({"NumElems", std::to_string(elems.size())});
        for (const std::string& e : elems) list.push_back({"Elem", e});
        return args(list);
    };
    const ArgList from_main = {{"SelKind", "Br"}, {"VerSel", "main"}};
    const std::vector<Case> cases = {
        {"the view's own branch", with({{"SelKind", "Br"}, {"VerSel", "dev"}}, {}, "0"), "0", ""},
        // Only "0" is false: "false" keeps the search to directories.
        {"directories only", with(from_main, {"vobs/p/src/a.c"}, "false"), "0", ""},
        {"a label nobody carries", with({{"SelKind", "Lb"}, {"VerSel", "REL9"}}, {}, "0"), "0", ""},
        {"a name outside the view", with(from_main, {"../../etc/passwd"}, "0"), "1003",
         "../../etc/passwd"},
        // /vobs/p is no project VOB: it holds no activity of that name.
        {"an activity that is not there",
         "ViewUuid=" + view_ + "\nSelKind=Ac\nNumActs=1\nAct=activity:x@/vobs/p\n", "1003",
         "activity:x@/vobs/p"},
        {"arguments out of order", "SelKind=Br\nViewUuid=" + view_ + "\nVerSel=main\nNumElems=0\n",
         "1001", ""},
        {"no such view", with(from_main, {}, "0").replace(9, 32, std::string(32, '0')), "1002",
         "VDSRV1012"},
    };
    for (const Case& c : cases) {
        Response r = call("find_merge_candidates_rpc", c.rpcargs);
        EXPECT_EQ(status_of(r), c.status) << c.what << ": " << text_of(r);
        EXPECT_TRUE(r.named("MergeItem").empty()) << c.what;
        EXPECT_NE(text_of(r).find(c.text), std::string::npos) << c.what << ": " << text_of(r);
    }
}

}  // namespace
}  // namespace e2e
