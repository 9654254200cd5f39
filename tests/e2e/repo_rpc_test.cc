// The repository and view RPCs through lighttpd and vdweb.cgi, as a logged-in client drives
// them (HTTP Basic credentials, checked by PAM, on every request): VOBs
// and views listed, a web view made, read and removed, label, branch and attribute types
// made and removed, a version labelled and given an attribute, contents and history read,
// object ids turned into pathnames; and the requests that must change nothing: malformed
// or unknown arguments, views that do not exist, names outside the view, and changes the
// core refuses to a user without the right.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/rgy/rgy.h"
#include "core/stg/stg.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "e2e/cgi_process.h"
#include "e2e/lighttpd_server.h"
#include "e2e/multipart.h"
#include "e2e/rpc_client.h"
#include "e2e/test_users.h"
#include "interact/ireq_msg.h"
#include "request/vdw_req_args.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

// A site with alice's VOB /vobs/p (so that she may make its types) holding src/a.c (/main/1
// "one", /main/2 "two", owned by alice so that she may label it) and the view "cfg" whose config
// spec new views copy.
class RepoRpcTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(ensure_test_users(&why)) << why;
        ASSERT_TRUE(server_.started()) << server_.failure();
        saved_ = redirect_messages(Captured::proc, &cap_);
        const std::string one = write_file(site_.home() + "/one", "one\n");
        const std::string two = write_file(site_.home() + "/two", "two\n");
        for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
                 {"mkvob", "-tag", "/vobs/p", site_.home() + "/vobs/p.vbs"},
                 {"mkelem", "-mkpath", "-ci", "-from", one, "/vobs/p/src/a.c"},
                 {"co", "/vobs/p/src/a.c"},
                 {"ci", "-from", two, "/vobs/p/src/a.c"},
                 {"protect", "-chown", kAlice.name, "/vobs/p/src/a.c"},
                 {"protect", "-chown", kAlice.name, "vob:/vobs/p"},
             })
            ASSERT_EQ(run_vdtool(&cap_, line), 0) << cap_.err;
        cmd_mkview_args_t cfg;
        cfg.tag = "cfg";
        cfg.storage = site_.home() + "/cfg.vws";
        cfg.cspec =
            "# the project's rules\nelement * CHECKEDOUT\nelement * /main/LATEST\n"
            "load /vobs/p/src\n";
        ASSERT_EQ(cmd_mkview(&cfg), 0) << cap_.err;
        ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob_), 0);
    }
    void TearDown() override {
        view_cache_clear();
        vob_ob_all_cache_action(4);
        imsg_set_redirect_table(saved_);
    }

    // Runs one RPC as `user` and reads the whole answer.
    Response call(const char* rpc, const std::string& rpcargs, const TestUser& user = kAlice) {
        const std::string body = form_body(std::string("VDW_Vdcore::") + rpc, rpcargs.c_str());
        Response resp = http_post(server_.url(), body, user);
        EXPECT_TRUE(resp.complete) << rpc << ": " << resp.error << "\n" << server_.error_log();
        return resp;
    }

    // Makes alice's web view `tag`; its UUID.
    std::string make_view(const std::string& tag) {
        Response r = call("mkview_rpc", args({{"ViewTag", tag},
                                              {"ConfigTag", "cfg"},
                                              {"Stream", ""},
                                              {"TextMode", ""},
                                              {"Stgloc", ""},
                                              {"Colocate", "0"},
                                              {"CopyAreaRoot", "C:\\work\\" + tag}}));
        EXPECT_EQ(status_of(r), "0") << text_of(r);
        return header(r.named("RpcResult").empty() ? nullptr : r.named("RpcResult")[0], "Uuid");
    }

    vob_dbid_t version(const std::string& vxpname) {
        vob_resolved_t r;
        return vob_resolve_pname(vxpname.c_str(), nullptr, 0, &r) == 0 ? r.dbid : 0;
    }
    std::vector<std::string> labels(const std::string& vxpname) {
        std::vector<std::string> out;
        vob_ver_get_labels(vob_, version(vxpname), &out);
        return out;
    }
    std::vector<std::string> type_names(int mtype) {
        std::vector<vob_type_info_t> types;
        std::vector<std::string> names;
        if (vob_type_list(vob_, mtype, &types) == 0)
            for (const vob_type_info_t& t : types) names.push_back(t.name);
        return names;
    }
    // What the failing requests must leave as it is: types, labels, attributes, views.
    std::string state() {
        std::string s;
        for (int mtype : {VOB_MTYPE_LBTYPE, VOB_MTYPE_BRTYPE, VOB_MTYPE_ATTYPE})
            for (const std::string& n : type_names(mtype)) s += n + " ";
        for (const char* v : {"/vobs/p/src/a.c@@/main/1", "/vobs/p/src/a.c@@/main/2"}) {
            for (const std::string& l : labels(v)) s += l + " ";
            std::vector<std::pair<std::string, std::string>> attrs;
            vob_obj_get_attrs(vob_, version(v), &attrs);
            for (const auto& [name, value] : attrs) s += name + "=" + value + " ";
        }
        std::vector<rgy_view_entry_t> views;
        rgy_list_view_tags(nullptr, &views);
        for (const rgy_view_entry_t& e : views) s += e.tag + " ";
        return s;
    }

    // The site lighttpd serves, which requires a login as scripts/serve's does.
    LighttpdServer server_{{}, {}, {}, /*allow_anonymous=*/false};
    const TempSite& site_ = server_.site();
    ScopedHome home_{site_.home()};
    Captured cap_;
    imsg_redirect_table_t saved_{};
    vob_t* vob_ = nullptr;
};

TEST_F(RepoRpcTest, ClientWorksThroughTheRepositoryRpcs) {
    // VOBs, and the one replica of the VOB's family.
    Response vobs = call("enumerate_vobs_rpc", args({{"NameFilter", "/vobs/*"},
                                                     {"ShowOnlyProjectVobs", "0"},
                                                     {"ShowOnlyPublicVobs", "0"}}));
    ASSERT_EQ(vobs.named("VobFound").size(), 1u) << text_of(vobs);
    const Part* found = vobs.named("VobFound")[0];
    EXPECT_EQ(found->header_names(),
              (std::vector<std::string>{"Content-ID", "Content-Type", "Content-Length", "Tag",
                                        "Uuid", "Kind", "MountAccess"}));
    EXPECT_EQ(header(found, "Tag"), "/vobs/p");
    EXPECT_EQ(header(found, "Uuid"), tbs_uuid_text(vob_->family_uuid));
    const std::string replica = tbs_uuid_text(vob_->uuid);
    Response family = call("get_vob_family_rpc", args({{"VobFamilyUuid", header(found, "Uuid")}}));
    ASSERT_EQ(family.named("ReplicaFound").size(), 1u);
    EXPECT_EQ(header(family.named("ReplicaFound")[0], "Uuid"), replica);
    EXPECT_EQ(header(family.named("ReplicaFound")[0], "Replica"), "original");

    // A web view of alice's, starting from the config spec of "cfg".
    const std::string uuid = make_view("alice_web");
    ASSERT_EQ(uuid.size(), 32u);
    auto web_views = [&] {
        std::vector<std::string> tags;
        const Response r = call("enumerate_views_rpc", args({{"ViewType", "WEB"}}));
        for (const Part* p : r.named("ViewFound"))
            tags.push_back(header(p, "View") + " " + header(p, "Uuid"));
        return tags;
    };
    rgy_view_entry_t cfg;
    ASSERT_EQ(rgy_find_view_by_tag("cfg", nullptr, &cfg), 0);
    const std::string cfg_line = "cfg " + tbs_uuid_text(cfg.uuid);
    EXPECT_EQ(web_views(), (std::vector<std::string>{"alice_web " + uuid, cfg_line}));
    Response info = call("viewinfo_rpc", args({{"ViewUuid", uuid}}));
    EXPECT_EQ(header(info.named("RpcResult")[0], "ViewTag"), "alice_web");
    EXPECT_EQ(header(info.named("RpcResult")[0], "IsXcmView"), "N");
    Response cs = call("get_config_spec_rpc", args({{"ViewUuid", uuid}}));
    ASSERT_EQ(cs.parts.size(), 3u) << text_of(cs);
    EXPECT_EQ(cs.parts[0].name(), "CspecElemSection");
    EXPECT_EQ(cs.parts[0].content,
              "# the project's rules\nelement * CHECKEDOUT\nelement * /main/LATEST\n");
    EXPECT_EQ(cs.parts[1].name(), "CspecLoadSection");
    EXPECT_EQ(cs.parts[1].content, "load /vobs/p/src\n");

    // A label type, listed with its comment, and a label on the first version.
    const std::string family_uuid = header(found, "Uuid");
    auto label_type = [&](const std::string& name) {
        return args({{"VobTag", "/vobs/p"},
                     {"VobUuid", ""},
                     {"Name", name},
                     {"Comment", "first\ncut"},
                     {"Globalness", ""},
                     {"Acquire", "0"},
                     {"Occurrence", ""},
                     {"MasterKind", "type"}});
    };
    ASSERT_EQ(status_of(call("make_label_type_rpc", label_type("REL1"))), "0");
    Response types = call("enumerate_types_rpc", args({{"MType", "lbtype"},
                                                       {"FetchDetails", "1"},
                                                       {"FetchFilter", "1"},
                                                       {"FetchLocalonly", "0"},
                                                       {"TypeName", "REL*"},
                                                       {"NumElems", "1"},
                                                       {"Elem", "/vobs/p/src/a.c"}}));
    ASSERT_EQ(types.named("TypeFound").size(), 1u) << text_of(types);
    EXPECT_EQ(header(types.named("TypeFound")[0], "Name"), "REL1");
    EXPECT_EQ(header(types.named("TypeFound")[0], "Description"), "=?UTF-8?q?first=0Acut?=");
    for (const auto& [name, visible] : {std::pair{"REL1", "1"}, std::pair{"REL2", "0"}}) {
        Response r = call("is_type_visible_rpc",
                          args({{"VobUuid", family_uuid}, {"Name", name}, {"MType", "lbtype"}}));
        EXPECT_EQ(header(r.named("TypeFound")[0], "TypeVisible"), visible) << name;
    }
    Response labelled = call("apply_label_rpc", args({{"ViewUuid", uuid},
                                                      {"Selector", "lbtype:REL1@/vobs/p"},
                                                      {"VersionString", "/main/1"},
                                                      {"Follow", "0"},
                                                      {"Recurse", "0"},
                                                      {"Replace", "0"},
                                                      {"Comment", "release"},
                                                      {"NumElements", "1"},
                                                      {"PerElementList", "vobs/p/src/a.c"}}));
    ASSERT_EQ(status_of(labelled), "0") << text_of(labelled);
    ASSERT_EQ(labelled.named("RpcResult").size(), 1u);
    EXPECT_EQ(header(labelled.named("RpcResult")[0], "Pname"), "vobs/p/src/a.c");
    EXPECT_EQ(labels("/vobs/p/src/a.c@@/main/1"), std::vector<std::string>{"REL1"});
    EXPECT_TRUE(labels("/vobs/p/src/a.c@@/main/2").empty());

    // History, newest first: the label is alice's, each record followed by its comment.
    Response history =
        call("get_history_rpc", args({{"Scope", "vobs/p/src/a.c"}, {"ViewUuid", uuid}}));
    ASSERT_EQ(status_of(history), "0");
    ASSERT_GE(history.parts.size(), 5u);
    for (size_t i = 0; i + 1 < history.parts.size(); ++i)
        EXPECT_EQ(history.parts[i].name(), i % 2 ? "HistoryComment" : "History") << i;
    const Part& newest = history.parts[0];
    EXPECT_EQ(header(&newest, "Kind"), "make label");
    EXPECT_EQ(header(&newest, "CreatedUser"), kAlice.name);
    EXPECT_EQ(header(&newest, "Object"), "/vobs/p/src/a.c@@/main/1");
    EXPECT_EQ(header(&newest, "Version"), "/main/1");
    EXPECT_EQ(header(&newest, "HasTasks"), "0");
    EXPECT_EQ(history.parts[1].content, "REL1 release");

    // An attribute on the version the view selects, and away again.
    ASSERT_EQ(run_vdtool(&cap_, {"mkattype", "Review@/vobs/p"}), 0);
    ArgList attr = {{"TypeName", "Review"}, {"Value", "\"passed\""},    {"Default", "0"},
                    {"Recurse", "0"},       {"Replace", "0"},           {"Comment", ""},
                    {"ViewUuid", uuid},     {"Elem", "vobs/p/src/a.c"}, {"Selector", ""}};
    ASSERT_EQ(status_of(call("apply_attribute_rpc", args(attr))), "0");
    std::vector<std::pair<std::string, std::string>> attrs;
    ASSERT_EQ(vob_obj_get_attrs(vob_, version("/vobs/p/src/a.c@@/main/2"), &attrs), 0);
    EXPECT_EQ(attrs, (std::vector<std::pair<std::string, std::string>>{{"Review", "\"passed\""}}));
    ASSERT_EQ(status_of(call("remove_attribute_rpc", args({{"TypeName", "Review"},
                                                           {"Recurse", "0"},
                                                           {"Comment", ""},
                                                           {"ViewUuid", uuid},
                                                           {"Elem", "vobs/p/src/a.c"},
                                                           {"Selector", ""}}))),
              "0");
    ASSERT_EQ(vob_obj_get_attrs(vob_, version("/vobs/p/src/a.c@@/main/2"), &attrs), 0);
    EXPECT_TRUE(attrs.empty());

    // A branch type made by the VOB's family id and removed by its selector; a label type
    // removed as a resource.
    ASSERT_EQ(status_of(call("make_branch_type_rpc", args({{"VobUuid", family_uuid},
                                                           {"Name", "dev"},
                                                           {"Comment", ""},
                                                           {"Globalness", "Scope:LOCAL"},
                                                           {"Acquire", "0"},
                                                           {"Occurrence", "element"}}))),
              "0");
    EXPECT_EQ(type_names(VOB_MTYPE_BRTYPE), (std::vector<std::string>{"dev", "main"}));
    ASSERT_EQ(status_of(call("remove_metadata_type_rpc",
                             args({{"Selector", "brtype:dev@/vobs/p"}, {"All", "1"}}))),
              "0");
    EXPECT_EQ(type_names(VOB_MTYPE_BRTYPE), std::vector<std::string>{"main"});
    ASSERT_EQ(status_of(call("make_label_type_rpc", label_type("SCRATCH"))), "0");
    ASSERT_EQ(
        status_of(call("remove_resource_rpc", args({{"Selector", "lbtype:SCRATCH@/vobs/p"}}))),
        "0");
    EXPECT_EQ(type_names(VOB_MTYPE_LBTYPE), std::vector<std::string>{"REL1"});

    // Contents: a version by its extended name, and what the view selects.
    struct {
        ArgList list;
        const char* content;
        const char* version;
    } reads[] = {
        {{{"ResourceSelector", "/vobs/p/src/a.c@@/main/1"}}, "one\n", "/vobs/p/src/a.c@@/main/1"},
        {{{"ResourceSelector", "vobs/p/src/a.c"}, {"ViewUuid", uuid}},
         "two\n",
         "/vobs/p/src/a.c@@/main/2"},
    };
    for (const auto& r : reads) {
        Response content = call("read_content_rpc", args(r.list));
        ASSERT_EQ(content.parts.size(), 2u) << text_of(content);
        EXPECT_EQ(content.parts[0].content, r.content);
        EXPECT_EQ(header(&content.parts[0], "Content-Type"), "application/octet-stream");
        EXPECT_EQ(header(&content.parts[0], "Version"), r.version);
    }

    // Object ids and back to pathnames, through the older dispatch.
    struct {
        const char* path;
        const char* type;
        const char* pathname;
    } oids[] = {
        {"vobs/p/src/a.c", "element", "/vobs/p/src/a.c"},
        {"vobs\\p\\src\\a.c", "VERSION", "/vobs/p/src/a.c@@/main/2"},
        {"vobs/p/src", "element", "/vobs/p/src"},
    };
    for (const auto& o : oids) {
        SCOPED_TRACE(o.path);
        Response r =
            call("get_oid_rpc",
                 args({{"ViewUuid", uuid}, {"ElementPathname", o.path}, {"OidType", o.type}}));
        ASSERT_EQ(r.named("Oid").size(), 1u) << text_of(r);
        const std::string oid = header(r.named("Oid")[0], "Oid");
        EXPECT_EQ(header(r.named("Oid")[0], "ReplicaUuid"), replica);
        Response back = call("oid_to_pname_rpc",
                             args({{"ViewUuid", uuid}, {"ReplicaUuid", replica}, {"Oid", oid}}));
        ASSERT_EQ(back.named("RpcResult").size(), 1u) << text_of(back);
        EXPECT_EQ(header(back.named("RpcResult")[0], "Pathname"), o.pathname);
        if (std::string(o.type) != "element") continue;
        Response root = call("get_vd_proj_root_rpc",
                             args({{"ViewUuid", uuid}, {"ObjectOid", oid}, {"VobTag", "/vobs/p"}}));
        EXPECT_EQ(header(root.named("VDProjRoot")[0], "VDProjRoot"), o.pathname);
    }

    // The base of a file: what the view selects, or for a checkout what it came from.
    auto base_of = [&](const char* checked_out) {
        Response r = call("get_base_version_rpc", args({{"ViewUuid", uuid},
                                                        {"ElemPath", "vobs/p/src/a.c"},
                                                        {"CheckedOut", checked_out},
                                                        {"Hijacked", "0"},
                                                        {"Loaded", "1"}}));
        const std::vector<const Part*> parts = r.named("VersionExtendedPathname");
        return header(parts.empty() ? nullptr : parts[0], "VersionExtendedPathname");
    };
    EXPECT_EQ(base_of("0"), "/vobs/p/src/a.c@@/main/2");
    view_t* view = nullptr;
    ASSERT_EQ(view_open_by_tag("alice_web", &view), 0);
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/p/src/a.c"};
    co.view = &view->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0) << cap_.err;
    EXPECT_EQ(base_of("1"), "/vobs/p/src/a.c@@/main/2");  // not the checked-out version
    cmd_uncheckout_args_t unco;
    unco.pnames = co.pnames;
    unco.view = &view->ctx;
    ASSERT_EQ(cmd_uncheckout(&unco), 0) << cap_.err;

    // Mastership: the one replica masters everything already.
    Response rfm = call("request_for_mastership_rpc", args({{"ViewUuid", uuid},
                                                            {"NumItems", "1"},
                                                            {"SelectorList", "brtype:main@/vobs/p"},
                                                            {"BranchList", ""},
                                                            {"Comment", ""},
                                                            {"RFMPreview", "0"}}));
    ASSERT_EQ(rfm.named("RFMData").size(), 1u) << text_of(rfm);
    EXPECT_EQ(header(rfm.named("RFMData")[0], "RFMStatus"), "ALREADY_MASTERED");
    EXPECT_EQ(header(rfm.named("RFMData")[0], "RFMReplicaName"), "original");

    // The view goes, with its storage.
    view_cache_clear();
    ASSERT_EQ(status_of(call("rmview_rpc", args({{"ViewUuid", uuid}}))), "0");
    EXPECT_EQ(web_views(), std::vector<std::string>{cfg_line});
    EXPECT_TRUE(std::filesystem::is_empty(site_.home() + "/views/" + kAlice.name));
}

// Requests the server or the core refuses leave the VOB and the views as they were, and
// say why.
TEST_F(RepoRpcTest, RefusedRequestsChangeNothing) {
    const std::string uuid = make_view("alice_web");
    ASSERT_EQ(run_vdtool(&cap_, {"mklbtype", "REL1@/vobs/p"}), 0);
    const std::string no_view = "0123456789abcdef0123456789abcdef";
    auto label = [&](const std::string& view, const std::string& selector, const std::string& count,
                     const std::string& list) {
        return args({{"ViewUuid", view},
                     {"Selector", selector},
                     {"Follow", "0"},
                     {"Recurse", "0"},
                     {"Replace", "0"},
                     {"Comment", ""},
                     {"NumElements", count},
                     {"PerElementList", list}});
    };
    const std::string a_c = "vobs/p/src/a.c";
    struct Case {
        const char* label;
        const char* rpc;
        std::string rpcargs;
        const char* status;
        const char* says;  // in the status part's text
        const TestUser* user = &kAlice;
    } cases[] = {
        {"argument missing", "viewinfo_rpc", "Other=1\n", "1001", "Expected arg \"ViewUuid\""},
        {"arguments out of order", "make_branch_type_rpc",
         "VobUuid=x\nComment=\nName=dev\nGlobalness=\nAcquire=0\nOccurrence=\n", "1001",
         "Expected arg \"Name\".  Got arg \"Comment\""},
        {"count not matching the list", "apply_label_rpc", label(uuid, "REL1", "2", a_c), "1001",
         "VDSRV3014"},
        {"not a label type", "apply_label_rpc", label(uuid, "brtype:main", "1", a_c), "1001",
         "invalid value \"brtype:main\" for arg \"Selector\""},
        {"unknown type kind", "enumerate_types_rpc",
         "MType=xtype\nFetchDetails=0\nFetchFilter=0\nFetchLocalonly=0\nTypeName=\nNumElems=0\n",
         "1001", "arg \"MType\""},
        {"unknown view kind", "enumerate_views_rpc", "ViewType=cloud\n", "1001", "\"ViewType\""},
        {"unknown selector prefix", "remove_metadata_type_rpc", "Selector=nope:REL1@/vobs/p\n",
         "1019", "Unable to remove type \"nope:REL1@/vobs/p\""},
        {"label type that does not exist", "apply_label_rpc", label(uuid, "REL9", "1", a_c), "1017",
         "VDSRV1060: Unable to apply label \"REL9\""},
        {"type that exists already", "make_label_type_rpc",
         "VobTag=/vobs/p\nVobUuid=\nName=REL1\nComment=\nGlobalness=\nAcquire=0\nOccurrence=\n"
         "MasterKind=\n",
         "1004", "VDSRV1292: Unable to create type \"lbtype:REL1@vob:/vobs/p\""},
        {"view UUID that names no view", "apply_label_rpc", label(no_view, "REL1", "1", a_c),
         "1002", "VDSRV1012: Unable to find view with uuid \"0123456789abcdef"},
        {"no view to remove", "rmview_rpc", "ViewUuid=" + no_view + "\n", "1002", "VDSRV1012"},
        {"view UUID that is no UUID", "get_history_rpc", "Scope=" + a_c + "\nViewUuid=zz\n", "1001",
         "uuid \"zz\""},
        {"pathname leaving the view", "apply_label_rpc",
         label(uuid, "REL1", "1", "vobs/../../../etc/passwd"), "1003", "VDSRV1060"},
        {"view in a stream that does not exist", "mkview_rpc",
         "ViewTag=s\nConfigTag=\nStream=stream:dev@/vobs/p\nTextMode=\nStgloc=\nColocate=0\n"
         "CopyAreaRoot=\n",
         "1003", "VDSRV1014: Unable to create view \"s\""},
        {"global type", "make_branch_type_rpc",
         "VobTag=/vobs/p\nVobUuid=\nName=dev\nComment=\nGlobalness=global\nAcquire=0\n"
         "Occurrence=\n",
         "1018", "\"Globalness\" is not supported"},
        {"object id that is no id", "oid_to_pname_rpc",
         "ViewUuid=\nReplicaUuid=" + tbs_uuid_text(vob_->uuid) + "\nOid=123\n", "1001",
         "VDSRV1123"},
        {"label by a user who may not write the element", "apply_label_rpc",
         label(uuid, "REL1", "1", a_c), "1063", "VDSRV1060", &kMallory},
        {"another user's view", "rmview_rpc", "ViewUuid=" + uuid + "\n", "1063", "VDSRV1016",
         &kMallory},
        {"type in a VOB the user does not own", "make_branch_type_rpc",
         "VobTag=/vobs/p\nVobUuid=\nName=mine\nComment=\nGlobalness=\nAcquire=0\nOccurrence=\n",
         "1063", "may make, change or remove its types", &kMallory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string before = state();
        Response r = call(c.rpc, c.rpcargs, *c.user);
        ASSERT_NE(r.status(), nullptr);
        EXPECT_EQ(status_of(r), c.status) << text_of(r);
        EXPECT_NE(text_of(r).find(c.says), std::string::npos) << text_of(r);
        EXPECT_EQ(state(), before);
    }
}

}  // namespace
// A trigger asks the client through the web server: a pre-mklabel trigger runs vdprompt,
// the question arrives as an "InteractionRequest" part of the label request's still-open
// response, the client answers with a second request, and the answer decides.
TEST_F(RepoRpcTest, TriggerQuestionAnsweredThroughTheServer) {
    const std::string uuid = make_view("alice_web");
    ASSERT_EQ(run_vdtool(&cap_, {"mklbtype", "REL1@/vobs/p"}), 0);
    ASSERT_EQ(run_vdtool(&cap_, {"mktrtype", "-element", "-all", "-preop", "mklabel", "-exec",
                                 std::string(VDPROMPT_PATH) +
                                     " proceed -prompt \"Label $VD_PNAME?\" -default abort",
                                 "ask@/vobs/p"}),
              0)
        << cap_.err;
    for (const char* answer : {"abort", "proceed"}) {
        SCOPED_TRACE(answer);
        int asked = 0;
        auto on_part = [&](const Part& part) {
            if (part.name() != "InteractionRequest") return true;
            ++asked;
            stg_scoped_area area;
            ireq_msg_t* q = ireq_msg_from_string(area.get(), part.content.c_str());
            const char* prompt = nullptr;
            const char* conn = nullptr;
            const char* seq = nullptr;
            ireq_msg_get_element(q, "prompt", &prompt);
            ireq_msg_get_element(q, "MsgConnection", &conn);
            ireq_msg_get_element(q, "MsgSeqID", &seq);
            EXPECT_STREQ(prompt, "Label /vobs/p/src/a.c?");
            const std::string reply = args({{"MsgProtocol", "Vdprompt"},
                                            {"MsgVersion", "1.0"},
                                            {"MsgConnection", conn ? conn : ""},
                                            {"MsgSeqID", seq ? seq : ""},
                                            {"MsgType", "Message"},
                                            {"Response", answer}});
            Response r = call("interaction_response_rpc", reply);
            EXPECT_EQ(status_of(r), "0") << text_of(r);
            return true;
        };
        const std::string body =
            form_body("VDW_Vdcore::apply_label_rpc", args({{"ViewUuid", uuid},
                                                           {"Selector", "REL1"},
                                                           {"Follow", "0"},
                                                           {"Recurse", "0"},
                                                           {"Replace", "0"},
                                                           {"Comment", ""},
                                                           {"NumElements", "1"},
                                                           {"PerElementList", "vobs/p/src/a.c"}})
                                                         .c_str());
        Response labelled = http_post(server_.url(), body, kAlice, on_part);
        ASSERT_TRUE(labelled.complete) << labelled.error;
        EXPECT_EQ(asked, 1);
        if (std::string(answer) == "abort") {
            EXPECT_EQ(status_of(labelled), "1025") << text_of(labelled);
            EXPECT_TRUE(labels("/vobs/p/src/a.c@@/main/2").empty());
        } else {
            EXPECT_EQ(status_of(labelled), "0") << text_of(labelled);
            EXPECT_EQ(labels("/vobs/p/src/a.c@@/main/2"), std::vector<std::string>{"REL1"});
        }
    }
}

// The plain download: a GET of one version's bytes by VOB replica, version object id and
// text mode, as the logged-in user; as a gzip member when the client accepts it, the
// version reaches the threshold and the pool keeps it compressed, as they are otherwise;
// every bad URL and a damaged content get their error and nothing else.
TEST_F(RepoRpcTest, CleartextDownloadByUrl) {
    const std::string big = std::string(40000, 'b') + "\n";
    std::string noise(40000, '\0');
    std::mt19937 rng(5);
    for (char& c : noise) c = static_cast<char>(rng());
    for (const auto& [name, data] : {std::pair<std::string, std::string>{"big.txt", big},
                                     {"noise.bin", noise},
                                     {"cut.txt", big + "cut\n"}}) {
        const std::string file = write_file(site_.home() + "/" + name, data);
        ASSERT_EQ(run_vdtool(&cap_, {"mkelem", "-ci", "-from", file, "/vobs/p/src/" + name}), 0)
            << cap_.text;
    }
    auto oid_of = [&](const std::string& vxpname) {
        vob_resolved_t r;
        vob_obj_info_t info;
        if (vob_resolve_pname(vxpname.c_str(), nullptr, 0, &r) != 0 ||
            vob_obj_get_info(r.vob, r.version ? r.version : r.dbid, &info) != 0)
            return std::string("?");
        return tbs_uuid_text(info.oid);
    };
    const std::string replica = tbs_uuid_text(vob_->uuid);
    auto get = [&](const std::string& url, bool compressed) {
        Response r;
        std::string body;
        CURL* curl = curl_easy_init();
        const std::string login = std::string(kAlice.name) + ":" + kAlice.password;
        curl_slist* headers = curl_slist_append(nullptr, ("X-Tarvex-Cltxt-Url: " + url).c_str());
        if (compressed) headers = curl_slist_append(headers, "Accept-Encoding: deflate");
        curl_easy_setopt(curl, CURLOPT_URL, server_.url().c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERPWD, login.c_str());
        curl_easy_setopt(
            curl, CURLOPT_WRITEFUNCTION, +[](char* d, size_t s, size_t n, void* u) {
                static_cast<std::string*>(u)->append(d, s * n);
                return s * n;
            });
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        CURLcode rc = curl_easy_perform(curl);
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        if (rc != CURLE_OK) r.error = curl_easy_strerror(rc);
        return rc == CURLE_OK ? read_response(body, MultipartReader::Start::FIRST_BOUNDARY) : r;
    };
    const std::string v1 = oid_of("/vobs/p/src/a.c@@/main/1");
    Response one = get("cltxt/" + replica + "/" + v1 + "/unix", false);
    ASSERT_TRUE(one.complete) << one.error;
    ASSERT_EQ(status_of(one), "0") << text_of(one);
    ASSERT_EQ(one.named("SyncElemData").size(), 1u);
    EXPECT_EQ(one.named("SyncElemData")[0]->content, "one\n");
    auto gunzip = [](const std::string& member) {
        std::string out(1 << 20, '\0');
        z_stream z{};
        inflateInit2(&z, 15 + 16);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.data()));
        z.avail_in = static_cast<uInt>(member.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const bool whole = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_in == 0;
        out.resize(z.total_out);
        inflateEnd(&z);
        return whole ? out : "<not a whole gzip member>";
    };
    struct Download {
        std::string pname;
        bool compressed;
        const char* type;
        std::string bytes;  // as sent: gunzipped when the part is gzip
    } const downloads[] = {
        {"/vobs/p/src/big.txt@@/main/1", true, "application/x-gzip", big},
        {"/vobs/p/src/big.txt@@/main/1", false, "application/octet-stream", big},
        // The pool found it incompressible: not worth compressing now either.
        {"/vobs/p/src/noise.bin@@/main/1", true, "application/octet-stream", noise},
        {"/vobs/p/src/a.c@@/main/1", true, "application/octet-stream", "one\n"},
    };
    for (const Download& d : downloads) {
        SCOPED_TRACE(d.pname + (d.compressed ? ", compressed" : ""));
        Response r = get("cltxt/" + replica + "/" + oid_of(d.pname) + "/transparent", d.compressed);
        ASSERT_TRUE(r.complete) << r.error;
        ASSERT_EQ(status_of(r), "0") << text_of(r);
        ASSERT_EQ(r.named("SyncElemData").size(), 1u) << text_of(r);
        const auto* part = r.named("SyncElemData")[0];
        ASSERT_EQ(header(part, "Content-Type"), d.type);
        if (std::string(d.type) == "application/x-gzip") {
            EXPECT_LT(part->content.size(), d.bytes.size() / 10);
            EXPECT_TRUE(gunzip(part->content) == d.bytes);
        } else {
            EXPECT_TRUE(part->content == d.bytes);
        }
    }

    // A content cut short in the pool fails before any part, naming the version.
    vob_resolved_t cut;
    vob_version_info_t cut_info;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/src/cut.txt@@/main/1", nullptr, 0, &cut), 0);
    ASSERT_EQ(vob_ver_get_info(cut.vob, cut.version, &cut_info), 0);
    const std::string pooled = cut.vob->storage + "/pool/" + cut_info.content.substr(0, 2) + "/" +
                               cut_info.content.substr(2);
    ASSERT_EQ(truncate(pooled.c_str(), 100), 0) << pooled;
    const std::string vcut = oid_of("/vobs/p/src/cut.txt@@/main/1");

    struct Bad {
        std::string url;
        const char* status;
        const char* says;
        bool compressed = false;
    } const bad[] = {
        {"cltxt/" + replica + "/" + vcut + "/unix", "1012", "VDSRV1042", true},
        {"cltxt/" + replica + "/" + vcut + "/unix", "1012", "VDSRV1042"},
        {"cltxt/" + replica + "/" + v1 + "/insert_cr", "1072", "VDSRV1284"},
        {"cltxt/" + replica + "/0123456789abcdef0123456789abcdef/unix", "1002", "VDSRV1282"},
        {"cltxt/0123456789abcdef0123456789abcdef/" + v1 + "/unix", "1002", "VDSRV1283"},
        {"cltxt/" + replica + "/../" + v1 + "/unix", "1072", "VDSRV1290"},
        {"cltxt/" + replica + "/" + oid_of("/vobs/p/src") + "/unix", "1016", "VDSRV1042"},
        {"files/" + replica + "/" + v1 + "/unix", "1072", "VDSRV1290"},
    };
    for (const Bad& b : bad) {
        Response r = get(b.url, b.compressed);
        EXPECT_TRUE(r.complete) << b.url << ": " << r.error;
        EXPECT_EQ(status_of(r), b.status) << b.url << ": " << text_of(r);
        EXPECT_NE(text_of(r).find(b.says), std::string::npos) << b.url << ": " << text_of(r);
        EXPECT_TRUE(r.named("SyncElemData").empty()) << b.url;
    }
}

// The small web-view RPCs: a web view's load scopes (through the handler class, and
// through the older method a name in another letter case reaches), and whether an update of
// it is in progress.
TEST_F(RepoRpcTest, WebViewScopesAndUpdateState) {
    const std::string uuid = make_view("alice_web");
    const std::string view_arg = args({{"ViewUuid", uuid}});
    for (const char* rpc : {"ws_get_scopes_rpc", "WS_GET_SCOPES_RPC"}) {
        Response r = call(rpc, view_arg);
        ASSERT_EQ(status_of(r), "0") << rpc << ": " << text_of(r);
        ASSERT_EQ(r.named("RpcResult").size(), 1u) << rpc;
        EXPECT_EQ(r.named("RpcResult")[0]->content, "/vobs/p/src\n") << rpc;
    }
    Response state = call("ws_sync_check_in_progress_rpc", view_arg);
    ASSERT_EQ(status_of(state), "0") << text_of(state);
    const std::vector<std::string> items = state.named("RpcResult")[0]->header_names();
    EXPECT_EQ(header(state.named("RpcResult")[0], "HasSyncInProgress"),
              VDW_ReqArgsGenerator::encode_bool(false));
    EXPECT_EQ(std::count(items.begin(), items.end(), "StartTime"), 0);
    for (const char* rpc : {"ws_get_scopes_rpc", "ws_sync_check_in_progress_rpc"})
        EXPECT_EQ(status_of(call(rpc, args({{"ViewUuid", "0123456789abcdef0123456789abcdef"}}))),
                  "1002")
            << rpc;
}

}  // namespace e2e
