// The property RPCs through lighttpd and vdweb.cgi: each kind of object read by category
// and changed (description, lock, protection, comment, promotion level), over a site with a
// VOB, a project VOB with a component, project, streams, a stream view with an activity,
// a baseline and a label type.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

// Requests without credentials run as the site's account, which administers the site.
const TestUser kSite = {"", ""};
const char* const kDev = "stream:dev1@/vobs/pvob";

class PropsRpcTest : public SiteTest {
protected:
    PropsRpcTest() : SiteTest(/*allow_anonymous=*/true) {}
    void SetUp() override {
        SiteTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string one = write_file(site_.home() + "/one", "one\n");
        const std::string two = write_file(site_.home() + "/two", "two\n");
        vdtool_lines({
            {"mkvob", "-tag", "/vobs/src", site_.home() + "/vobs/src.vbs"},
            {"mkelem", "-ci", "-from", one, "/vobs/src/a.c"},
            {"mklbtype", "REL1@/vobs/src"},
            {"mklabel", "REL1", "/vobs/src/a.c"},
            {"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.home() + "/vobs/pvob.vbs"},
            {"mkcomp", "-root", "/vobs/src", "src@/vobs/pvob"},
            {"mkproject", "-modcomp", "component:src@/vobs/pvob", "proj@/vobs/pvob"},
            {"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "int@/vobs/pvob"},
            {"mkstream", "-in", "project:proj@/vobs/pvob", "dev1@/vobs/pvob"},
            {"mkview", "-tag", "dev1_view", "-stream", kDev, site_.home() + "/dev1.vws"},
            {"mkactivity", "-in", kDev, "-headline", "Fix a.c", "-view", "dev1_view",
             "fix@/vobs/pvob"},
            {"checkout", "-view", "dev1_view", "/vobs/src/a.c"},
            {"checkin", "-view", "dev1_view", "-from", two, "/vobs/src/a.c"},
            {"mkbl", "-stream", kDev, "-full", "BL1"},
        });
        if (HasFatalFailure()) return;
        view_t* view = nullptr;
        ASSERT_EQ(view_open_by_tag("dev1_view", &view), 0);
        view_uuid_ = tbs_uuid_text(view->uuid);
        vob_t* vob = nullptr;
        ASSERT_EQ(vob_open_by_tag("/vobs/src", &vob), 0);
        vob_uuid_ = tbs_uuid_text(vob->uuid);
    }
    Response call(const char* rpc, const ArgList& list) {
        Response r = post_rpc(server_.url(), rpc, args(list), kSite);
        EXPECT_TRUE(r.complete) << rpc << ": " << r.error;
        return r;
    }
    static std::vector<std::string> names(const Response& r) {
        std::vector<std::string> out;
        for (const Part& p : r.parts)
            if (p.name() != "Status") out.push_back(p.name());
        return out;
    }
    static std::string first(const Response& r, const char* part, const char* item) {
        return header(r.named(part).empty() ? nullptr : r.named(part)[0], item);
    }
    // The lock values of a set request that leaves the lock alone.
    static ArgList unlocked(ArgList l) {
        l.push_back({"LockState", "0"});
        l.push_back({"LockDescription", ""});
        l.push_back({"LockExcludedUserCount", "0"});
        return l;
    }

    std::string view_uuid_, vob_uuid_;
};

// A VOB by category; none asked, none sent; a description and a lock set and read back.
TEST_F(PropsRpcTest, VobPropertiesReadAndChanged) {
    auto get = [&](const char* which) {
        return call("get_vob_properties_rpc",
                    {{"ViewUuid", ""}, {"VobUuid", vob_uuid_}, {"WhichCategories", which}});
    };
    Response none = get("0");
    EXPECT_EQ(status_of(none), "0") << text_of(none);
    EXPECT_TRUE(names(none).empty());
    Response all = get("63");
    ASSERT_EQ(status_of(all), "0") << text_of(all);
    EXPECT_EQ(names(all),
              (std::vector<std::string>{"GeneralProps", "VobTag", "LockProps", "Mastership"}))
        << "no replica list for a VOB that is not replicated";
    EXPECT_EQ(first(all, "GeneralProps", "Name"), "/vobs/src");
    EXPECT_EQ(first(all, "LockProps", "LockState"), "0");

    Response set = call("set_vob_properties_rpc", {{"ViewUuid", ""},
                                                   {"VobUuid", vob_uuid_},
                                                   {"GeneralMask", "1"},
                                                   {"LockMask", "1"},
                                                   {"GeneralDescription", "the sources"},
                                                   {"LockState", "1"},
                                                   {"LockDescription", ""},
                                                   {"LockExcludedUserCount", "1"},
                                                   {"LockExcludedUser", kAlice.name}});
    ASSERT_EQ(status_of(set), "0") << text_of(set);
    EXPECT_EQ(first(set, "LockProps", "LockState"), "1");
    EXPECT_EQ(first(set, "LockExcludedUser", "ExcludedUser"), kAlice.name);
    EXPECT_EQ(first(get("1"), "GeneralProps", "Description"), "the sources");
}

// A stream view: the config spec goes before the configuration's parts.
TEST_F(PropsRpcTest, ViewProperties) {
    Response r =
        call("get_view_properties_rpc", {{"ViewUuid", view_uuid_}, {"WhichCategories", "127"}});
    ASSERT_EQ(status_of(r), "0") << text_of(r);
    const std::vector<std::string> n = names(r);
    auto at = [&](const char* name) { return std::find(n.begin(), n.end(), name) - n.begin(); };
    EXPECT_EQ(at("GeneralProps"), 0);
    EXPECT_LT(at("ConfigSpecProps"), at("LoadRulesProps"));
    EXPECT_LT(at("LoadRulesProps"), at("ConfigActivity")) << "the spec before the configuration";
    EXPECT_LT(at("ConfigActivity"), static_cast<long>(n.size()));
    EXPECT_EQ(first(r, "GeneralProps", "IsXCMView"), "1");
    EXPECT_EQ(first(r, "GeneralProps", "Stream"), "dev1");
    EXPECT_EQ(first(r, "GeneralProps", "Project"), "proj");
    EXPECT_EQ(first(r, "GeneralProps", "DefaultActivity"), "fix");
    EXPECT_EQ(first(r, "ConfigActivity", "Headline"), "Fix a.c");
    EXPECT_FALSE(r.named("AccessLastModified").empty());
}

// An element's protection and lock changed; a version's labels, comment and activity.
TEST_F(PropsRpcTest, ElementAndVersionProperties) {
    const ArgList where = {{"Scope", "/vobs/src/a.c"}, {"ViewUuid", ""}};
    ArgList set = where;
    for (const auto& kv : ArgList{{"GeneralMask", "0"},
                                  {"ProtectionMask", "5"},
                                  {"LockMask", "1"},
                                  {"GeneralDescription", ""},
                                  {"ProtectionOwner", kAlice.name},
                                  {"ProtectionGroup", ""},
                                  {"ProtectionAccess", "0640"},
                                  {"LockState", "2"},
                                  {"LockDescription", ""},
                                  {"LockExcludedUserCount", "0"}})
        set.push_back(kv);
    Response s = call("set_element_properties_rpc", set);
    ASSERT_EQ(status_of(s), "0") << text_of(s);
    EXPECT_EQ(first(s, "ElementLockProps", "LockState"), "2");
    ArgList get = where;
    get.push_back({"WhichCategories", "31"});
    Response e = call("get_element_properties_rpc", get);
    ASSERT_EQ(status_of(e), "0") << text_of(e);
    EXPECT_EQ(first(e, "ElementProtectionProps", "Owner"), kAlice.name);
    EXPECT_EQ(first(e, "ElementProtectionProps", "Access"), "0640");
    EXPECT_EQ(first(e, "ElementGeneralProps", "Kind"), "file element");

    ArgList vset = where;
    for (const auto& kv : ArgList{{"GeneralMask", "1"},
                                  {"GeneralDescription", "the first"},
                                  {"GeneralCheckoutReserved", "0"},
                                  {"UseVersionString", "1"},
                                  {"VersionString", "/main/1"}})
        vset.push_back(kv);
    // The element is locked obsolete: its versions' comments do not change.
    EXPECT_NE(status_of(call("set_version_properties_rpc", vset)), "0");
    ArgList vget = where;
    for (const auto& kv : ArgList{
             {"UseVersionString", "1"}, {"VersionString", "/main/1"}, {"WhichCategories", "31"}})
        vget.push_back(kv);
    Response v = call("get_version_properties_rpc", vget);
    ASSERT_EQ(status_of(v), "0") << text_of(v);
    EXPECT_EQ(names(v)[0], "GeneralProps");
    EXPECT_EQ(names(v)[1], "VersionLabelValue") << "labels before protection";
    EXPECT_EQ(first(v, "VersionLabelValue", "LabelValue"), "REL1");
    EXPECT_EQ(first(v, "GeneralProps", "HasPredecessor"), "1");

    vget[3].second = "/main/dev1/1";
    Response dev = call("get_version_properties_rpc", vget);
    ASSERT_EQ(status_of(dev), "0") << text_of(dev);
    EXPECT_EQ(first(dev, "GeneralProps", "HasActivity"), "1");
    EXPECT_EQ(first(dev, "GeneralProps", "Activity"), "activity:fix@vob:/vobs/pvob");
}

// Streams, baselines, activities and label types.
TEST_F(PropsRpcTest, ChangeManagementAndLabelTypeProperties) {
    Response s =
        call("get_stream_properties_rpc", {{"StreamSelector", kDev}, {"WhichCategories", "2047"}});
    ASSERT_EQ(status_of(s), "0") << text_of(s);
    EXPECT_EQ(first(s, "StreamGeneralProperties", "ProjectName"), "proj");
    EXPECT_EQ(first(s, "StreamGeneralProperties", "DeliverToStream"), "int");
    EXPECT_EQ(first(s, "StreamViews", "Tag"), "dev1_view");
    EXPECT_EQ(first(s, "StreamActivities", "Name"), "fix");
    EXPECT_EQ(first(s, "StreamComponent", "ComponentName"), "src");
    EXPECT_FALSE(s.named("StreamBaseline").empty());

    Response set =
        call("set_stream_properties_rpc", unlocked({{"StreamSelector", kDev},
                                                    {"GeneralMask", "2"},
                                                    {"LockMask", "0"},
                                                    {"GeneralName", ""},
                                                    {"GeneralDescription", "work of one"}}));
    ASSERT_EQ(status_of(set), "0") << text_of(set);
    EXPECT_EQ(first(call("get_stream_properties_rpc",
                         {{"StreamSelector", kDev}, {"WhichCategories", "1"}}),
                    "StreamGeneralProperties", "Description"),
              "work of one");

    Response bl = call("get_baseline_properties_rpc",
                       {{"BaselineSelector", "baseline:BL1@/vobs/pvob"}, {"WhichCategories", "1"}});
    ASSERT_EQ(status_of(bl), "0") << text_of(bl);
    EXPECT_EQ(first(bl, "BaselineGeneralProperties", "ComponentName"), "src");
    ASSERT_FALSE(bl.named("PromotionLevel").empty());
    const std::string level = header(bl.named("PromotionLevel").back(), "PromotionLevel");
    Response promote = call("set_baseline_properties_rpc",
                            unlocked({{"BaselineSelector", "baseline:BL1@/vobs/pvob"},
                                      {"GeneralMask", "1"},
                                      {"LockMask", "0"},
                                      {"PromotionLevel", level},
                                      {"GeneralDescription", ""}}));
    ASSERT_EQ(status_of(promote), "0") << text_of(promote);
    EXPECT_EQ(
        first(call("get_baseline_properties_rpc",
                   {{"BaselineSelector", "baseline:BL1@/vobs/pvob"}, {"WhichCategories", "1"}}),
              "BaselineGeneralProperties", "PromotionLevel"),
        level);

    // The members of composites: one of labelled versions, one of a composite.
    vdtool_lines({
        {"mkcomp", "-nroot", "sys@/vobs/pvob"},
        {"mkcomp", "-nroot", "top@/vobs/pvob"},
        {"mkbl", "-stream", kDev, "-component", "component:sys@/vobs/pvob", "-adepends_on",
         "baseline:BL1@/vobs/pvob", "SYS1"},
        {"mkbl", "-stream", kDev, "-component", "component:top@/vobs/pvob", "-adepends_on",
         "baseline:SYS1@/vobs/pvob", "TOP1"},
    });
    const struct {
        const char *baseline, *member, *component, *composite;
    } members[] = {{"baseline:SYS1@/vobs/pvob", "BL1", "src", "false"},
                   {"baseline:TOP1@/vobs/pvob", "SYS1", "sys", "true"}};
    for (const auto& m : members) {
        Response r = call("get_baseline_properties_rpc",
                          {{"BaselineSelector", m.baseline}, {"WhichCategories", "2"}});
        ASSERT_EQ(status_of(r), "0") << text_of(r);
        ASSERT_EQ(r.named("BaselineMember").size(), 1u) << m.baseline;
        EXPECT_EQ(first(r, "BaselineMember", "BaselineName"), m.member);
        EXPECT_EQ(first(r, "BaselineMember", "ComponentName"), m.component);
        EXPECT_EQ(first(r, "BaselineMember", "IsComposite"), m.composite);
    }

    Response act = call("get_activity_properties_rpc", {{"Scope", "activity:fix@/vobs/pvob"},
                                                        {"ViewUuid", view_uuid_},
                                                        {"WhichCategories", "63"}});
    ASSERT_EQ(status_of(act), "0") << text_of(act);
    EXPECT_EQ(first(act, "ActGeneralProperties", "Headline"), "Fix a.c");
    EXPECT_EQ(first(act, "ActGeneralProperties", "ViewTag"), "dev1_view");
    EXPECT_EQ(first(act, "ActChangeSetProperties", "VersionName"), "/vobs/src/a.c@@/main/dev1/1");
    Response rename =
        call("set_activity_properties_rpc", unlocked({{"Scope", "activity:fix@/vobs/pvob"},
                                                      {"GeneralMask", "1"},
                                                      {"LockMask", "0"},
                                                      {"GeneralHeadline", "Fixed a.c"},
                                                      {"GeneralID", ""}}));
    ASSERT_EQ(status_of(rename), "0") << text_of(rename);

    Response lt = call("get_labeltype_properties_rpc", {{"Selector", "lbtype:REL1"}});
    ASSERT_EQ(status_of(lt), "0") << text_of(lt);
    ASSERT_EQ(lt.named("LabelType").size(), 1u);
    EXPECT_EQ(first(lt, "LabelType", "VobTag"), "/vobs/src");
    EXPECT_EQ(first(lt, "LabelType", "Vob"), "1");
    Response bad = call("get_labeltype_properties_rpc", {{"Selector", "brtype:main"}});
    EXPECT_NE(status_of(bad), "0");
}

}  // namespace
}  // namespace e2e
