// The change-management RPCs through lighttpd and vdweb.cgi, as a logged-in user works:
// a development stream and a web view on it made by RPC, an activity made current, work
// checked in there, then what the client asks of streams, activities, baselines and
// containers, and the project's streams through the older dispatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cred/credutl.h"
#include "core/sum/sum_view.h"
#include "core/sum/sum_xcm.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "e2e/cgi_process.h"
#include "e2e/lighttpd_server.h"
#include "e2e/multipart.h"
#include "e2e/rpc_client.h"
#include "e2e/site_test.h"
#include "e2e/test_users.h"
#include "facade/vdw_temporary_view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

const char* const kProject = "project:proj@/vobs/pvob";

class XcmRpcTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string one = write_file(site_.home() + "/one", "one\n");
        vdtool_lines({
            {"mkvob", "-tag", "/vobs/src", site_.home() + "/vobs/src.vbs"},
            {"mkelem", "-ci", "-from", one, "/vobs/src/a.c"},
            {"protect", "-chown", kAlice.name, "/vobs/src/a.c"},
            {"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.home() + "/vobs/pvob.vbs"},
            {"mkcomp", "-root", "/vobs/src", "src@/vobs/pvob"},
            {"mkproject", "-modcomp", "component:src@/vobs/pvob", "proj@/vobs/pvob"},
            {"mkstream", "-in", kProject, "-integration", "int@/vobs/pvob"},
        });
        if (HasFatalFailure()) return;
    }
    Response call(const char* rpc, const ArgList& list) {
        Response r = post_rpc(server_.url(), rpc, args(list), kAlice);
        EXPECT_TRUE(r.complete) << rpc << ": " << r.error;
        return r;
    }
    static std::string first(const Response& r, const char* part, const char* item) {
        return header(r.named(part).empty() ? nullptr : r.named(part)[0], item);
    }
    static std::vector<std::string> all(const Response& r, const char* part, const char* item) {
        std::vector<std::string> out;
        for (const Part* p : r.named(part)) out.push_back(header(p, item));
        return out;
    }
};

TEST_F(XcmRpcTest, StreamsActivitiesAndBaselines) {
    Response pvobs = call("get_pvobs_rpc", {});
    ASSERT_EQ(status_of(pvobs), "0") << text_of(pvobs);
    EXPECT_EQ(all(pvobs, "PvobFound", "Pvob"), (std::vector<std::string>{"/vobs/pvob"}));

    Response made = call("mkstream_rpc", {{"Stream", "alice_dev"},
                                          {"Project", kProject},
                                          {"Integration", "0"},
                                          {"ReadOnly", "0"},
                                          {"DefStream", "1"},
                                          {"Recommend", "1"},
                                          {"Comment", "alice's work"}});
    ASSERT_EQ(status_of(made), "0") << text_of(made);
    const std::string dev = first(made, "newStream", "Selector");
    EXPECT_EQ(dev, "stream:alice_dev@vob:/vobs/pvob");
    Response target = call("get_stream_default_delivery_target_rpc", {{"Selector", dev}});
    EXPECT_EQ(first(target, "StreamDefDeliveryTarget", "Name"), "int");
    EXPECT_EQ(first(call("get_int_stream_rpc", {{"projSel", kProject}}), "istream", "name"), "int");

    Response view = call("mkview_rpc", {{"ViewTag", "alice_dev_web"},
                                        {"ConfigTag", ""},
                                        {"Stream", dev},
                                        {"TextMode", ""},
                                        {"Stgloc", ""},
                                        {"Colocate", "0"},
                                        {"CopyAreaRoot", "/home/alice/dev"}});
    ASSERT_EQ(status_of(view), "0") << text_of(view);
    const std::string uuid = first(view, "RpcResult", "Uuid");
    EXPECT_EQ(
        all(call("owned_views_on_stream_rpc", {{"StreamSelector", dev}}), "ViewFound", "ViewTag"),
        (std::vector<std::string>{"alice_dev_web"}));

    Response act = call("create_activity_rpc", {{"ViewUuid", uuid},
                                                {"StreamSelector", dev},
                                                {"Headline", "Fix a.c"},
                                                {"Name", "fix_a"},
                                                {"Comment", ""}});
    ASSERT_EQ(status_of(act), "0") << text_of(act);
    EXPECT_EQ(first(act, "RpcResult", "Name"), "fix_a");
    EXPECT_EQ(first(call("get_current_activity_rpc", {{"viewUuid", uuid}}), "Act", "headline"),
              "Fix a.c");

    // Work in the view: a checkout recorded in the current activity.
    ASSERT_EQ(run_vdtool(&cap_, {"checkout", "-view", "alice_dev_web", "/vobs/src/a.c"}), 0)
        << cap_.err;
    const std::string activity = "activity:fix_a@/vobs/pvob";
    Response cos = call("get_activity_checkouts_rpc", {{"Activity", activity}});
    ASSERT_EQ(status_of(cos), "0") << text_of(cos);
    EXPECT_EQ(all(cos, "CheckoutInfo", "Pname"), (std::vector<std::string>{"/vobs/src/a.c"}));
    Response finish = call("finish_activity_rpc", {{"actSel", activity}, {"resume", "0"}});
    EXPECT_EQ(first(finish, "hasCsetCheckouts", "hasCsetCheckouts"), "1");
    finish = call("finish_activity_rpc", {{"actSel", activity}, {"resume", "1"}});
    ASSERT_EQ(status_of(finish), "0") << text_of(finish);
    EXPECT_EQ(first(finish, "hasCsetCheckouts", "hasCsetCheckouts"), "0");
    Response undelivered =
        call("get_acts_with_undelivered_work_rpc", {{"ViewUuid", uuid}, {"StreamSelector", dev}});
    ASSERT_EQ(status_of(undelivered), "0") << text_of(undelivered);
    EXPECT_EQ(all(undelivered, "xcmAct", "ID"), (std::vector<std::string>{"fix_a"}));
    Response mine = call("get_my_activities_rpc", {{"viewUuid", uuid}, {"stream", dev}});
    EXPECT_EQ(first(mine, "projectInfo", "tnEnabledStatus"), "NOT_ENABLED");
    EXPECT_EQ(all(mine, "xcmAct", "id"), (std::vector<std::string>{"fix_a"}));

    // Baselines of the stream.
    Response bl = call("make_baseline_rpc", {{"StreamSelector", dev},
                                             {"Basename", "ALICE1"},
                                             {"Description", "first of alice"},
                                             {"BaselineKind", "full"},
                                             {"RecommendBaseline", "0"}});
    ASSERT_EQ(status_of(bl), "0") << text_of(bl);
    const std::string baseline = first(bl, "Baseline", "Selector");
    ASSERT_NE(baseline, "<missing>");
    Response rec =
        call("recommend_baseline_rpc", {{"StreamSelector", dev}, {"BaselineSelector", baseline}});
    ASSERT_EQ(status_of(rec), "0") << text_of(rec);
    Response listed =
        call("enumerate_baselines_rpc",
             {{"StreamSelector", dev}, {"PromotionLevel", ""}, {"WhichBaselines", "2"}});
    ASSERT_EQ(status_of(listed), "0") << text_of(listed);
    EXPECT_EQ(all(listed, "Baseline", "Selector"), (std::vector<std::string>{baseline}));
    EXPECT_FALSE(call("get_baseline_naming_template_rpc", {{"StreamSelector", dev}})
                     .named("BaselineName")
                     .empty());

    // Containers: the root folder holds the project, the project its streams.
    vob_t* pvob = nullptr;
    ASSERT_EQ(vob_open_by_tag("/vobs/pvob", &pvob), 0);
    const std::string pvob_uuid = tbs_uuid_text(pvob->uuid);
    Response root = call("enumerate_xcm_container_contents_rpc",
                         {{"Uuid", pvob_uuid}, {"RecurseSubstreams", "0"}});
    ASSERT_EQ(status_of(root), "0") << text_of(root);
    EXPECT_EQ(root.named("RootFolder").size(), 1u);
    ASSERT_EQ(all(root, "Project", "Name"), (std::vector<std::string>{"proj"}));
    Response streams =
        call("enumerate_xcm_container_contents_rpc", {{"Uuid", pvob_uuid},
                                                      {"RecurseSubstreams", "0"},
                                                      {"Dbid", first(root, "Project", "Dbid")}});
    ASSERT_EQ(status_of(streams), "0") << text_of(streams);
    EXPECT_EQ(streams.named("Stream").size(), 2u);
    Response levels = call("get_promotion_levels_rpc", {{"VobUuid", pvob_uuid}});
    EXPECT_FALSE(levels.named("PromotionLevel").empty());

    Response older =
        post_rpc(server_.url(), "streams_of_project_rpc", args({{"Project", kProject}}), kAlice);
    ASSERT_EQ(status_of(older), "0") << text_of(older);
    EXPECT_EQ(older.named("Stream").size(), 2u);

    Response cleared = call("set_current_activity_rpc", {{"Selector", ""}, {"ViewUuid", uuid}});
    ASSERT_EQ(status_of(cleared), "0") << text_of(cleared);
    EXPECT_TRUE(call("get_current_activity_rpc", {{"viewUuid", uuid}}).named("Act").empty());
}

// Work delivered from a development stream through the integration view, completed, made a
// baseline that a second development stream rebases to; that stream's web view then holds
// the delivered contents. A deliver with nothing to do says so in one part.
TEST_F(XcmRpcTest, DeliverThenRebase) {
    const std::string two = write_file(site_.home() + "/two", "two\n");
    for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
             {"mkstream", "-in", kProject, "dev1@/vobs/pvob"},
             {"mkstream", "-in", kProject, "dev2@/vobs/pvob"},
             {"mkview", "-tag", "dev1_view", "-stream", "stream:dev1@/vobs/pvob",
              site_.home() + "/dev1.vws"},
             {"mkactivity", "-in", "stream:dev1@/vobs/pvob", "-view", "dev1_view",
              "work@/vobs/pvob"},
             {"checkout", "-view", "dev1_view", "/vobs/src/a.c"},
             {"checkin", "-view", "dev1_view", "-from", two, "/vobs/src/a.c"},
         })
        ASSERT_EQ(run_vdtool(&cap_, line), 0) << cap_.err;
    // alice delivers through her own integration view.
    ASSERT_EQ(credutl_set_credentials(kAlice.name, nullptr), 0);
    const tbs_status_t made =
        run_vdtool(&cap_, {"mkview", "-tag", "int_view", "-stream", "stream:int@/vobs/pvob",
                           site_.home() + "/int.vws"});
    credutl_reset_creds();
    ASSERT_EQ(made, 0) << cap_.err;
    auto uuid_of = [](const char* tag) {
        view_t* v = nullptr;
        EXPECT_EQ(view_open_by_tag(tag, &v), 0) << tag;
        return v ? tbs_uuid_text(v->uuid) : std::string();
    };
    const std::string int_view = uuid_of("int_view");
    auto older = [&](const char* rpc, const ArgList& list) {
        Response r = post_rpc(server_.url(), rpc, args(list), kAlice);
        EXPECT_TRUE(r.complete) << rpc << ": " << r.error;
        return r;
    };
    Response pre =
        call("prepare_deliver_rpc", {{"ViewUuid", uuid_of("dev1_view")}, {"TargetStream", ""}});
    ASSERT_EQ(status_of(pre), "0") << text_of(pre);
    EXPECT_EQ(first(pre, "PreDeliverInfo", "DeliverInProgress"), "0");
    EXPECT_EQ(first(pre, "TargetStreamInfo", "StreamName"), "int");

    Response start = older(
        "deliver_start_rpc",
        {{"ViewUuid", int_view}, {"DevStream", "stream:dev1@/vobs/pvob"}, {"ActivityCount", "0"}});
    ASSERT_EQ(status_of(start), "0") << text_of(start);
    ASSERT_EQ(start.named("DELIVER_MERGE_NOTIFICATION").size(), 1u) << text_of(start);
    EXPECT_EQ(header(start.named("DELIVER_MERGE_NOTIFICATION")[0], "MergeType"), "Trivial");
    ASSERT_FALSE(start.named("DELIVER_SERVER_STATE").empty());
    EXPECT_EQ(
        call("prepare_deliver_rpc", {{"ViewUuid", uuid_of("dev1_view")}, {"TargetStream", ""}})
            .named("PreDeliverInfo")[0]
            ->header("DeliverInProgress")
            ->c_str(),
        std::string("1"));
    Response done = older("deliver_complete_rpc",
                          {{"ViewUuid", int_view}, {"DevStream", "stream:dev1@/vobs/pvob"}});
    ASSERT_EQ(status_of(done), "0") << text_of(done);
    ASSERT_FALSE(done.named("DELIVER_SERVER_STATE").empty());
    EXPECT_EQ(done.named("DELIVER_SERVER_STATE").back()->content, "completed");
    Response again = older(
        "deliver_start_rpc",
        {{"ViewUuid", int_view}, {"DevStream", "stream:dev1@/vobs/pvob"}, {"ActivityCount", "0"}});
    ASSERT_EQ(again.named("DELIVER_SERVER_STATE").size(), 1u) << text_of(again);
    EXPECT_EQ(again.named("DELIVER_SERVER_STATE")[0]->content, "no_work_todo");

    // A baseline of the integration stream, recommended, and a rebase of dev2 to it.
    Response bl = call("make_baseline_rpc", {{"StreamSelector", "stream:int@/vobs/pvob"},
                                             {"Basename", "REL2"},
                                             {"Description", ""},
                                             {"BaselineKind", "full"},
                                             {"RecommendBaseline", "1"}});
    ASSERT_EQ(status_of(bl), "0") << text_of(bl);
    Response dev2 = call("mkview_rpc", {{"ViewTag", "alice_dev2"},
                                        {"ConfigTag", ""},
                                        {"Stream", "stream:dev2@/vobs/pvob"},
                                        {"TextMode", ""},
                                        {"Stgloc", ""},
                                        {"Colocate", "0"},
                                        {"CopyAreaRoot", "/home/alice/dev2"}});
    ASSERT_EQ(status_of(dev2), "0") << text_of(dev2);
    const std::string dev2_view = first(dev2, "RpcResult", "Uuid");
    Response rebase = older("rebase_start_rpc", {{"ViewUuid", dev2_view},
                                                 {"BaselineCount", "1"},
                                                 {"Baseline", first(bl, "Baseline", "Selector")}});
    ASSERT_EQ(status_of(rebase), "0") << text_of(rebase);
    ASSERT_FALSE(rebase.named("REBASE_SERVER_STATE").empty());
    EXPECT_TRUE(rebase.named("IntegrationActivity").empty() ||
                header(rebase.named("IntegrationActivity")[0], "ID") != "<missing>");
    Response rdone = older("rebase_complete_rpc", {{"ViewUuid", dev2_view}});
    ASSERT_EQ(status_of(rdone), "0") << text_of(rdone);
    EXPECT_EQ(rdone.named("REBASE_SERVER_STATE").back()->content, "completed");

    CopyArea area(site_.home() + "/dev2_area", dev2_view);
    PostOptions o;
    o.on_part = [&area](const Part& p) { return area.apply(p); };
    Response fetch = post_rpc(server_.url(), "ws_sync_fetch_rpc", area.fetch_args(), kAlice, o);
    ASSERT_EQ(status_of(fetch), "0") << text_of(fetch);
    EXPECT_EQ(read_file(area.root() + "/vobs/src/a.c"), "two\n");
}

// The views RPCs make for themselves: none unless asked, none without a stream or without
// a user whose view storage they would go in.
TEST_F(XcmRpcTest, NameResolverViewsAreMadeOnlyWhenTheyCanBe) {
    VDW_Vdcore facade;
    SUM_Stream stream;
    ASSERT_EQ(SUM_Stream::construct_from_selector("stream:int@/vobs/pvob", &stream), 0);
    SUM_View view;
    bool created = true;
    WCM_Status status;
    get_name_resolver_view(facade, stream, false, created, view, status);
    EXPECT_FALSE(created);
    EXPECT_TRUE(view.is_null());
    EXPECT_TRUE(status.is_ok());
    get_name_resolver_view(facade, SUM_Stream(), true, created, view, status);
    EXPECT_FALSE(created);
    EXPECT_EQ(status.status(), TBS_ST_BAD_REQUEST);
    WCM_Status no_user;
    get_name_resolver_view(facade, stream, true, created, view, no_user);
    EXPECT_FALSE(created);
    EXPECT_NE(std::string(no_user.text()).find("VDSRV3008"), std::string::npos) << no_user.text();
}

// A project enabled for change requests: its database named to a view's client, a login
// checked and kept, and the user's records listed in place of activities.
TEST_F(XcmRpcTest, ChangeRequestDatabases) {
    const std::string pw = write_file(site_.home() + "/pw", "secret 1\n");
    vdtool_lines({
        {"mkcrmdb", "bugs@main"},
        {"mkcrmuser", "-pwfile", pw, "bugs@main", "alice"},
        {"mkcrmrec", "-owner", "alice", "-headline", "Crash on start", "bugs@main", "BUG1"},
        {"mkproject", "-modcomp", "component:src@/vobs/pvob", "-crmdb", "bugs@main",
         "tracked@/vobs/pvob"},
        {"mkstream", "-in", "project:tracked@/vobs/pvob", "-integration", "tracked_int@/vobs/pvob"},
        {"mkview", "-tag", "tracked_view", "-stream", "stream:tracked_int@/vobs/pvob",
         site_.home() + "/tracked.vws"},
    });
    if (HasFatalFailure()) return;
    view_t* view = nullptr;
    ASSERT_EQ(view_open_by_tag("tracked_view", &view), 0);
    Response db = call("get_tn_user_database_rpc", {{"viewUuid", tbs_uuid_text(view->uuid)}});
    ASSERT_EQ(status_of(db), "0") << text_of(db);
    EXPECT_EQ(first(db, "userDb", "name"), "bugs");
    EXPECT_EQ(first(db, "userDb", "dbSet"), "main");
    auto login = [&](const char* password) {
        return first(call("set_tn_credentials_rpc", {{"userDb", "bugs"},
                                                     {"dbSet", "main"},
                                                     {"userName", "alice"},
                                                     {"password", password},
                                                     {"validate", "1"}}),
                     "validation", "isValid");
    };
    EXPECT_EQ(login("wrong"), "0");
    EXPECT_EQ(login("secret 1"), "1");
}

}  // namespace
}  // namespace e2e
