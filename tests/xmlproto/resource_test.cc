// Resources built from locations over a real site, their locations read back to the same
// objects, and properties read and written through the property model.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/tide/tide.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/xml/vd_xml_doc.h"

namespace {

// The change-request login the tests' user gives; with `refuse` set, none.
bool g_refuse_login = false;
void login(void*, const char*, const char*, CTide_Credentials* c, int, int* retry) {
    *retry = g_refuse_login ? 1 : 0;
    c->user_name = "alice";
    c->password = "pw";
}

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        const std::string a = write_file(tmp_ / "a", "one\n");
        const std::string b = write_file(tmp_ / "b", "two\n");
        const std::string pw = write_file(tmp_ / "pw", "pw\n");
        for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
                 {"mkvob", "-tag", "/vobs/p", site_.path() + "/p.vbs"},
                 {"mklbtype", "REL1@/vobs/p"},
                 {"mkpolicy", "-ace", "felem:Everyone:Read", "team@/vobs/p"},
                 {"mkrolemap", "-policy", "team", "rm@/vobs/p"},
                 {"mkelem", "-ci", "-from", a, "/vobs/p/a.c"},
                 {"checkout", "/vobs/p/a.c"},
                 {"checkin", "-from", b, "/vobs/p/a.c"},
                 {"mklabel", "REL1", "/vobs/p/a.c@@/main/1"},
                 {"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.path() + "/pvob.vbs"},
                 {"mkcomp", "-root", "/vobs/p", "src@/vobs/pvob"},
                 {"mkproject", "-modcomp", "component:src@/vobs/pvob", "proj@/vobs/pvob"},
                 {"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "int@/vobs/pvob"},
                 {"mkstream", "-in", "project:proj@/vobs/pvob", "dev@/vobs/pvob"},
                 {"mkactivity", "-in", "stream:dev@/vobs/pvob", "-headline", "Fix it",
                  "fix@/vobs/pvob"},
                 {"mkbl", "-stream", "stream:int@/vobs/pvob", "-full", "BL1"},
                 {"mkview", "-tag", "w", "-webview", site_.path() + "/w.vws"},
                 {"mkstgloc", "-view", "-comment", "views here", "pool", site_.path()},
                 // A project of a change-request database, one of whose records is bound.
                 {"mkcrmdb", "bugs@main"},
                 {"mkcrmuser", "-pwfile", pw, "bugs@main", "alice"},
                 {"mkcrmrec", "-headline", "Crash on start", "bugs@main", "BUG1"},
                 {"mkcrmrec", "-type", "Enhancement", "bugs@main", "ENH@2"},
                 {"mkproject", "-modcomp", "component:src@/vobs/pvob", "-crmdb", "bugs@main",
                  "tracked@/vobs/pvob"},
                 {"mkstream", "-in", "project:tracked@/vobs/pvob", "-integration",
                  "t_int@/vobs/pvob"},
                 {"mkactivity", "-in", "stream:t_int@/vobs/pvob", "bug1@/vobs/pvob"},
                 {"chactivity", "-crmrec", "BUG1", "activity:bug1@/vobs/pvob"},
             })
            ASSERT_EQ(run_vdtool(&cap_, line), 0) << line[0] << ": " << cap_.err;
        g_refuse_login = false;
        CTide_set_login_callback(login, nullptr);
    }
    void TearDown() override {
        CTide_set_login_callback(nullptr, nullptr);
        imsg_set_redirect_table(saved_);
        view_cache_clear();
        vob_ob_all_cache_action(4);
    }

    std::unique_ptr<VdResource> build(const std::string& location) {
        std::unique_ptr<VdResource> r;
        int st = VdResource::construct_from_location(VdLocation(SUM_String(location)), r);
        EXPECT_EQ(st, 0) << location << ": " << cap_.err;
        return r;
    }
    std::string type_of(const VdResource& r) {
        SUM_String t;
        r.get_type_name(t);
        return t.str();
    }
    // The answer to one property request (`request` is a "prop" element's text form).
    std::string read(const VdResource& r, const std::string& name,
                     const std::vector<std::string>& nested = {}) {
        VdXmlDoc req;
        VdXmlElem* p = req.push("prop");
        p->add_attr("prop-name", name);
        for (const std::string& n : nested) {
            VdXmlElem* c = req.push("prop");
            c->add_attr("prop-name", n);
            req.pop();
        }
        VdNestedProp prop;
        EXPECT_EQ(VdNestedProp::construct_from_xml(p, prop), 0);
        VdXmlDoc resp;
        resp.push("answer");
        VdNestedPropResponse(&r, prop, nullptr, &resp).read();
        std::ostringstream out;
        out << *resp.get_root();
        return out.str();
    }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
};

// Every kind of location builds its resource, and the resource's efficient, stable and
// user-friendly locations each build the same object again.
TEST_F(ResourceTest, LocationsBuildResourcesThatNameThemselves) {
    vob_t* vob = nullptr;
    ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob), 0);
    const struct {
        std::string location, type;
    } cases[] = {
        {"/vobs/p/a.c@@", "felem"},
        {"/vobs/p/a.c@@/main/1", "fver"},
        {"/vobs/p@@", "delem"},
        {"/vobs/p/a.c@@/main", "branch"},
        {"lbtype:REL1@/vobs/p", "lbtype"},
        {"brtype:main@/vobs/p", "brtype"},
        {"policy:team@/vobs/p", "policy"},
        {"rolemap:rm@/vobs/p", "rolemap"},
        {"vob:/vobs/p", "vob"},
        {"replicauuid:" + tbs_uuid_text(vob->uuid), "vob"},
        {"vobtag:/vobs/p", "vobtag"},
        {"viewtag:w", "viewtag"},
        {"workspace:/w", "web-view"},
        {"workspace:/w/vobs", "web-directory"},
        {"workspace:/w/vobs/p", "web-directory"},
        {"workspace:/w/vobs/p/a.c", "web-file"},
        {"server:localhost", "server"},
        {"registryregion:default", "registryregion"},
        {"project:proj@/vobs/pvob", "project"},
        {"stream:dev@/vobs/pvob", "stream"},
        {"activity:fix@/vobs/pvob", "activity"},
        {"component:src@/vobs/pvob", "component"},
        {"folder:RootFolder@/vobs/pvob", "folder"},
        {"stgloc:pool@default", "stgloc"},
        {"stgloc:pool", "stgloc"},
        {"task:http://tracker.example/issue/7", "task"},
        {"userdb:bugs@main", "userdb"},
        {"tn-record-type:Enhancement@bugs@main", "record-type"},
        {"record:BUG1@bugs@main", "record"},
        {"repo.tn-record:ENH@2@bugs@main", "record"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<VdResource> r = build(c.location);
        ASSERT_TRUE(r) << c.location;
        EXPECT_EQ(type_of(*r), c.type) << c.location;
        SUM_String canonical;
        ASSERT_EQ(r->get_canonical_location(canonical), 0) << c.location;
        VdLocation locs[3];
        ASSERT_EQ(r->get_efficient_location(locs[0]), 0);
        ASSERT_EQ(r->get_stable_location(locs[1]), 0);
        ASSERT_EQ(r->get_user_friendly_location(locs[2]), 0);
        // A view's user-friendly location is its tag's ("viewtag:w"): not compared.
        for (int i = 0; i < (c.type == "web-view" ? 2 : 3); ++i) {
            const VdLocation& l = locs[i];
            std::unique_ptr<VdResource> again = build(l.to_native().str());
            ASSERT_TRUE(again) << c.location << " -> " << l.to_native().str();
            SUM_String c2;
            again->get_canonical_location(c2);
            EXPECT_EQ(c2.str(), canonical.str()) << c.location << " -> " << l.to_native().str();
        }
    }
}

TEST_F(ResourceTest, LocationsThatNameNothingFail) {
    for (const char* bad :
         {"/vobs/p/missing.c", "viewtag:nosuch", "vobtag:/vobs/none", "server:elsewhere.example",
          "registryregion:none", "workspace:/nosuch/vobs/p", "workspace:/w/../../etc/passwd",
          "workspace:relative", "stgloc:pool@r", "viewuuid:zz", "record:NOPE@bugs@main",
          "record:BUG1@bugs", "record:@bugs@main", "record:BUG1@nodb@main", "userdb:nodb@main",
          "userdb:../../registry@main", "userdb:bugs", "tn-record-type:Task@bugs@main",
          "repo.tn-record:BUG1\n@bugs@main"}) {
        std::unique_ptr<VdResource> r;
        EXPECT_NE(VdResource::construct_from_location(VdLocation(SUM_String(bad)), r), 0) << bad;
        EXPECT_FALSE(r) << bad;
    }
}

TEST_F(ResourceTest, PropertiesAnswerInTheirForms) {
    std::unique_ptr<VdResource> vob = build("vob:/vobs/p");
    EXPECT_EQ(read(*vob, VD_PROP_NS "vob-tag-string"),
              "<answer><prop prop-name=\"" VD_PROP_NS
              "vob-tag-string\" prop-type=\"PATH\">/vobs/p</prop></answer>");
    // An unknown name: not supported, with the message naming it.
    const std::string unknown = read(*vob, "no-such-prop");
    EXPECT_NE(unknown.find("prop-not-supported=\"true\""), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("Property is not yet implemented - \"no-such-prop\""),
              std::string::npos);
    // A value that is absent is the null value.
    std::unique_ptr<VdResource> v0 = build("/vobs/p/a.c@@/main/0");
    EXPECT_EQ(read(*v0, VD_PROP_NS "predecessor"), "<answer><prop prop-name=\"" VD_PROP_NS
                                                   "predecessor\" prop-type=\"NULL\"/></answer>");
    std::unique_ptr<VdResource> v1 = build("/vobs/p/a.c@@/main/1");
    const std::string labels = read(*v1, "label-name-list");
    EXPECT_NE(labels.find("prop-type=\"LIST\""), std::string::npos) << labels;
    EXPECT_NE(labels.find(">REL1</prop>"), std::string::npos) << labels;
    const std::string pred = read(*v1, VD_PROP_NS "predecessor", {"display-name"});
    EXPECT_NE(pred.find("resource-type=\"fver\""), std::string::npos) << pred;
    EXPECT_NE(pred.find(">/main/0</prop>"), std::string::npos) << pred;
    // A collection of resources with a nested property of each.
    std::unique_ptr<VdResource> proj = build("project:proj@/vobs/pvob");
    const std::string streams = read(*proj, VD_PROP_NS "stream-list", {"display-name"});
    EXPECT_EQ(streams.find("<answer><prop prop-name=\"" VD_PROP_NS
                           "stream-list\" prop-type=\"RESOURCE_LIST\"/><prop"),
              0u)
        << streams;
    EXPECT_NE(streams.find(">int</prop>"), std::string::npos) << streams;
    EXPECT_NE(streams.find(">dev</prop>"), std::string::npos) << streams;
    std::unique_ptr<VdResource> act = build("activity:fix@/vobs/pvob");
    EXPECT_NE(read(*act, VD_PROP_NS "headline").find(">Fix it</prop>"), std::string::npos);
    // Above the VOBs' roots, a view shows the directories that lead to them.
    std::unique_ptr<VdResource> vobs = build("workspace:/w/vobs");
    const std::string kids = read(*vobs, "child-map", {"display-name"});
    EXPECT_NE(kids.find("<binding-name>p</binding-name>"), std::string::npos) << kids;
    EXPECT_NE(kids.find("<binding-name>pvob</binding-name>"), std::string::npos) << kids;
    std::unique_ptr<VdResource> file = build("workspace:/w/vobs/p/a.c");
    EXPECT_NE(read(*file, VD_PROP_NS "version", {"version-name"}).find(">/main/2</prop>"),
              std::string::npos);
    // The server's locale without LANG.
    std::unique_ptr<VdResource> server = build("server:localhost");
    const char* lang = getenv("LANG");
    const std::string saved = lang ? lang : "";
    unsetenv("LANG");
    EXPECT_NE(read(*server, VD_PROP_NS "locale").find("prop-type=\"STRING\">EN_US<"),
              std::string::npos);
    if (lang) setenv("LANG", saved.c_str(), 1);
    std::unique_ptr<VdResource> region = build("registryregion:default");
    const std::string locs =
        read(*region, VD_PROP_NS "view-stgloc-list", {VD_PROP_NS "stgloc-storage-type", "comment"});
    EXPECT_NE(locs.find(">StorageType:VIEW</prop>"), std::string::npos) << locs;
    EXPECT_NE(locs.find(">views here</prop>"), std::string::npos) << locs;
    EXPECT_EQ(read(*region, VD_PROP_NS "vob-stgloc-list").find("stgloc:"), std::string::npos);
    const std::string load = read(*server, VD_PROP_NS "load-generating-list");
    EXPECT_NE(load.find("Bandersnatch"), std::string::npos);
}

TEST_F(ResourceTest, WritesChangeTheObjectOrFailAlone) {
    std::unique_ptr<VdResource> v1 = build("/vobs/p/a.c@@/main/1");
    ASSERT_EQ(v1->write_prop(PropVal(SUM_String("comment"), SUM_String("reviewed"))), 0)
        << cap_.err;
    EXPECT_NE(read(*v1, "comment").find(">reviewed</prop>"), std::string::npos);
    std::unique_ptr<VdResource> vob = build("vob:/vobs/p");
    EXPECT_EQ(vob->write_prop(PropVal(SUM_String(VD_PROP_NS "is-mounted"), SUM_String("true"))),
              1001);
    std::unique_ptr<VdResource> act = build("activity:fix@/vobs/pvob");
    ASSERT_EQ(act->write_prop(PropVal(SUM_String(VD_PROP_NS "headline"), SUM_String("Fixed"))), 0)
        << cap_.err;
    EXPECT_NE(read(*act, VD_PROP_NS "headline").find(">Fixed</prop>"), std::string::npos);
    std::unique_ptr<VdResource> bl = build("baseline:BL1@/vobs/pvob");
    ASSERT_TRUE(bl);
    ASSERT_EQ(
        bl->write_prop(PropVal(SUM_String(VD_PROP_NS "promotion-level"), SUM_String("TESTED"))), 0)
        << cap_.err;
    EXPECT_NE(read(*bl, VD_PROP_NS "promotion-level").find(">TESTED</prop>"), std::string::npos);
    // A value of the wrong kind fails without changing anything.
    EXPECT_EQ(v1->write_prop(PropVal(SUM_String("comment"), std::vector<std::string>{"a"})), 1001);
}

// An activity's tasks: replaced, changed, read back as task resources and through a version
// made in the activity; a value that is no URI changes nothing.
TEST_F(ResourceTest, ActivitiesAreBoundToTasks) {
    std::unique_ptr<VdResource> act = build("activity:fix@/vobs/pvob");
    const SUM_String list("task-list");
    ASSERT_EQ(
        act->write_prop(PropVal(list, std::vector<std::string>{"task:http://t/1", "http://t/2"})),
        0)
        << cap_.err;
    ASSERT_EQ(act->write_prop(PropVal(list, std::vector<std::string>{"http://t/3"},
                                      std::vector<std::string>{"task:http://t/1"})),
              0)
        << cap_.err;
    EXPECT_EQ(act->write_prop(PropVal(list, std::vector<std::string>{"not a uri"})), 1001);
    const std::string tasks = read(*act, "task-list", {"display-name"});
    EXPECT_EQ(tasks.find("http://t/1"), std::string::npos) << tasks;
    EXPECT_NE(tasks.find("<resource resource-type=\"task\">task:http://t/2</resource>"),
              std::string::npos)
        << tasks;
    EXPECT_NE(tasks.find(">http://t/3</prop>"), std::string::npos) << tasks;
    ASSERT_EQ(run_vdtool(&cap_, {"chactivity", "-rmtask", "http://t/2", "activity:fix@/vobs/pvob"}),
              0)
        << cap_.err;
    EXPECT_EQ(read(*act, "task-list").find("http://t/2"), std::string::npos);
    ASSERT_EQ(act->write_prop(PropVal(list)), 0);
    EXPECT_EQ(read(*act, "task-list").find("task:"), std::string::npos);
}

// A project's change-request database and record types; an activity and its record answer
// the same bound pair, an unbound one of either kind none; an activity is bound by writing
// its record; a record that cannot be read without a login is a property exception.
TEST_F(ResourceTest, ChangeRecordsAndTheirActivities) {
    const struct {
        const char* location;
        const char* prop;
        std::vector<std::string> nested;
        std::vector<std::string> expect;
    } cases[] = {
        {"project:tracked@/vobs/pvob",
         "tarnis-enabled-state",
         {},
         {">TarnisEnabledState:ENABLED<"}},
        {"project:proj@/vobs/pvob",
         "tarnis-enabled-state",
         {},
         {">TarnisEnabledState:NOT_ENABLED<"}},
        {"project:tracked@/vobs/pvob",
         "tarnis-user-db",
         {"display-name"},
         {"<resource resource-type=\"userdb\">userdb:bugs@main</resource>", ">bugs</prop>"}},
        {"project:proj@/vobs/pvob", "tarnis-user-db", {}, {"prop-type=\"NULL\""}},
        {"project:tracked@/vobs/pvob",
         "xcm-enabled-tn-record-type-list",
         {"display-name"},
         {"prop-type=\"RESOURCE_LIST\"", "tn-record-type:Defect@bugs@main", ">Enhancement</prop>"}},
        {"project:proj@/vobs/pvob",
         "xcm-enabled-tn-record-type-list",
         {},
         {"RESOURCE_LIST\"/></answer>"}},
        {"activity:bug1@/vobs/pvob",
         "bound-tn-record",
         {VD_PROP_NS "headline", VD_PROP_NS "bound-vd-activity"},
         {"<resource resource-type=\"record\">record:BUG1@bugs@main</resource>",
          ">Crash on start</prop>", "<resource resource-type=\"activity\">"}},
        {"activity:bug1@/vobs/pvob", "bound-vd-activity", {}, {"resource-type=\"activity\""}},
        {"activity:bug1@/vobs/pvob",
         "tn-xcm-integration-state",
         {},
         {">TnXcmIntegrationState:BOUND_VD_ACTIVITY_TN_RECORD_PAIR<"}},
        {"activity:fix@/vobs/pvob", "bound-tn-record", {}, {"prop-type=\"NULL\""}},
        {"activity:fix@/vobs/pvob", "bound-vd-activity", {}, {"prop-type=\"NULL\""}},
        {"activity:fix@/vobs/pvob",
         "tn-xcm-integration-state",
         {},
         {">TnXcmIntegrationState:UNBOUND_VD_ACTIVITY<"}},
        {"record:BUG1@bugs@main", "bound-vd-activity", {"display-name"}, {">bug1</prop>"}},
        {"record:BUG1@bugs@main", "bound-tn-record", {}, {">record:BUG1@bugs@main</resource>"}},
        {"record:BUG1@bugs@main", "id-selector", {}, {">record:BUG1@bugs@main</prop>"}},
        {"record:ENH@2@bugs@main", "bound-vd-activity", {}, {"prop-type=\"NULL\""}},
        {"record:ENH@2@bugs@main",
         "tn-xcm-integration-state",
         {},
         {">TnXcmIntegrationState:UNBOUND_TN_RECORD<"}},
        {"record:ENH@2@bugs@main", "display-name", {}, {">ENH@2</prop>"}},
    };
    for (const auto& c : cases) {
        std::unique_ptr<VdResource> r = build(c.location);
        ASSERT_TRUE(r) << c.location;
        const std::string name =
            std::string(c.prop) == "display-name" ? c.prop : VD_PROP_NS + std::string(c.prop);
        const std::string got = read(*r, name, c.nested);
        for (const std::string& e : c.expect)
            EXPECT_NE(got.find(e), std::string::npos) << c.location << " " << c.prop << ": " << got;
        EXPECT_EQ(got.find("prop-exception"), std::string::npos) << got;
    }
    // Bound through the protocol: to a record of the project's database, by location or by
    // id, never to one of another database; null unbinds.
    std::unique_ptr<VdResource> bug1 = build("activity:bug1@/vobs/pvob");
    const SUM_String bound(VD_PROP_NS "bound-tn-record");
    ASSERT_EQ(bug1->write_prop(PropVal(bound, SUM_String("record:ENH@2@bugs@main"))), 0)
        << cap_.err;
    EXPECT_NE(read(*bug1, bound.str()).find(">record:ENH@2@bugs@main<"), std::string::npos);
    EXPECT_EQ(bug1->write_prop(PropVal(bound, SUM_String("record:BUG1@other@main"))), 1001);
    ASSERT_EQ(bug1->write_prop(PropVal(bound)), 0) << cap_.err;
    EXPECT_NE(read(*bug1, bound.str()).find("prop-type=\"NULL\""), std::string::npos);
    ASSERT_EQ(bug1->write_prop(PropVal(bound, SUM_String("BUG1"))), 0) << cap_.err;

    // Without a login the activity still names its record, but the record's contents are
    // an exception; its location names nothing.
    g_refuse_login = true;
    std::unique_ptr<VdResource> act = build("activity:bug1@/vobs/pvob");
    const std::string got = read(*act, VD_PROP_NS "bound-tn-record", {VD_PROP_NS "headline"});
    EXPECT_NE(got.find(">record:BUG1@bugs@main</resource><prop prop-name=\"" VD_PROP_NS
                       "headline\" prop-exception=\"true\""),
              std::string::npos)
        << got;
    std::unique_ptr<VdResource> r;
    EXPECT_EQ(
        VdResource::construct_from_location(VdLocation(SUM_String("record:BUG1@bugs@main")), r),
        TBS_ST_CREDENTIALS_REQUIRED);
    EXPECT_FALSE(r);
}

// Storage locations belong to the site's administrator; a directory that is not one is
// refused. New VOBs and views are made in a location of their kind by its name.
TEST_F(ResourceTest, StorageLocationsAreTheAdministrators) {
    const std::string vobs = site_.path() + "/vobstore";
    ASSERT_EQ(mkdir(vobs.c_str(), 0755), 0);
    ASSERT_EQ(run_vdtool(&cap_, {"mkstgloc", "-vob", "vobs", vobs}), 0) << cap_.err;
    ASSERT_EQ(run_vdtool(&cap_, {"mkvob", "-tag", "/vobs/inloc", "-stgloc", "vobs"}), 0)
        << cap_.err;
    EXPECT_TRUE(std::filesystem::is_directory(vobs + "/inloc.vbs"));
    ASSERT_EQ(run_vdtool(&cap_, {"mkview", "-tag", "v_in_pool", "-webview", "-stgloc", "pool"}), 0)
        << cap_.err;
    EXPECT_TRUE(std::filesystem::is_directory(site_.path() + "/v_in_pool.vws"));
    // A location of the other kind, one that does not exist, or a path given as well.
    EXPECT_NE(run_vdtool(&cap_, {"mkvob", "-tag", "/vobs/x", "-stgloc", "pool"}), 0);
    EXPECT_NE(cap_.err.find("holds view storage, not VOB storage"), std::string::npos) << cap_.err;
    EXPECT_NE(run_vdtool(&cap_, {"mkview", "-tag", "x", "-stgloc", "nowhere"}), 0);
    EXPECT_NE(run_vdtool(&cap_, {"mkvob", "-tag", "/vobs/y", "-stgloc", "vobs", vobs + "/y.vbs"}),
              0);
    EXPECT_FALSE(std::filesystem::exists(vobs + "/x.vbs"));
    EXPECT_FALSE(std::filesystem::exists(vobs + "/y.vbs"));

    EXPECT_NE(run_vdtool(&cap_, {"mkstgloc", "-vob", "vobs", "/no/such/dir"}), 0);
    EXPECT_NE(run_vdtool(&cap_, {"mkstgloc", "-vob", "-view", "both", site_.path()}), 0);
    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    EXPECT_EQ(run_vdtool(&cap_, {"mkstgloc", "-vob", "vobs", site_.path()}), TBS_ST_PERMISSION);
    EXPECT_EQ(run_vdtool(&cap_, {"rmstgloc", "pool"}), TBS_ST_PERMISSION);
    credutl_reset_creds();
    ASSERT_EQ(run_vdtool(&cap_, {"lsstgloc"}), 0);
    EXPECT_NE(cap_.out.find("pool"), std::string::npos) << cap_.out;
    ASSERT_EQ(run_vdtool(&cap_, {"rmstgloc", "pool"}), 0) << cap_.err;
    std::unique_ptr<VdResource> r;
    EXPECT_NE(VdResource::construct_from_location(VdLocation(SUM_String("stgloc:pool")), r), 0);
}

}  // namespace
