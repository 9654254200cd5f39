// XML RPCs that find and make objects, through lighttpd and vdweb.cgi as a logged-in
// user: handles and locations of names, ancestry of versions, a folder, project and
// baselines made, composite baselines made, edited and compared, and an automatic view made
// on a stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmd/cmd_xcm.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "core/vob/xcm.h"
#include "e2e/site_test.h"
#include "e2e/xml_client.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

class XmlObjectsTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string one = write_file(site_.home() + "/one", "one\n");
        const std::string two = write_file(site_.home() + "/two", "two\n");
        vdtool_lines({
            {"mkvob", "-tag", "/vobs/src", site_.home() + "/vobs/src.vbs"},
            {"mkbrtype", "dev@/vobs/src"},
            {"mkelem", "-ci", "-from", one, "/vobs/src/a.c"},
            {"checkout", "-branch", "dev", "/vobs/src/a.c"},
            {"checkin", "-from", two, "/vobs/src/a.c"},
            {"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.home() + "/vobs/pvob.vbs"},
            {"mkcomp", "-root", "/vobs/src", "src@/vobs/pvob"},
            {"protect", "-chown", kAlice.name, "vob:/vobs/pvob"},
        });
        vdtool_lines_as(kAlice, {{"mkview", "-tag", "alice_web", "-webview",
                                  site_.home() + "/views/alice_web.vws"}});
    }
    Response call(const char* rpc, const std::string& body, std::string* doc) {
        Response r = xml_post(
            server_.url(), rpc,
            std::string("<") + rpc + " version=\"" + version(rpc) + "\">" + body + "</" + rpc + ">",
            kAlice, doc);
        EXPECT_TRUE(r.complete) << rpc << ": " << r.error;
        return r;
    }
    static const char* version(const char* rpc) {
        return std::string(rpc) == "GetHandle" || std::string(rpc) == "CreateResource" ? "2.0"
                                                                                       : "1.0";
    }
    static bool has(const std::string& doc, const std::string& part) {
        return doc.find(part) != std::string::npos;
    }
};

TEST_F(XmlObjectsTest, HandlesLocationsAndAncestry) {
    std::string doc;
    Response h =
        call("GetHandle", "<object-selector>/vobs/src/a.c@@/main/1</object-selector>", &doc);
    EXPECT_EQ(status_of(h), "0") << text_of(h);
    EXPECT_TRUE(has(doc, "<resource resource-type=\"fver\">")) << doc;
    Response missing =
        call("GetHandle", "<object-selector>/vobs/src/none.c@@</object-selector>", &doc);
    EXPECT_EQ(status_of(missing), "0");
    EXPECT_TRUE(has(doc, "<object-not-found>")) << doc;
    Response in_view = call("GetHandle",
                            "<view-tag>alice_web</view-tag><view-relative-path>vobs/src/a.c"
                            "</view-relative-path>",
                            &doc);
    EXPECT_EQ(status_of(in_view), "0") << text_of(in_view);
    EXPECT_TRUE(has(doc, "resource-type=\"web-file\">workspace:/")) << doc;
    Response both = call("GetHandle",
                         "<object-selector>vob:/vobs/src</object-selector>"
                         "<view-tag>alice_web</view-tag>",
                         &doc);
    EXPECT_EQ(status_of(both), "1072");

    Response loc = call("ResolvePath", "<path>/vobs/src/a.c@@/main/dev/1</path>", &doc);
    EXPECT_EQ(status_of(loc), "0") << text_of(loc);
    EXPECT_TRUE(has(doc, "<location>dbid:")) << doc;

    const struct {
        const char *a, *d, *answer;
    } cases[] = {
        {"/vobs/src/a.c@@/main/1", "/vobs/src/a.c@@/main/dev/1", "true"},
        {"/vobs/src/a.c@@/main/dev/1", "/vobs/src/a.c@@/main/1", "false"},
        {"/vobs/src/a.c@@/main/1", "/vobs/src/a.c@@/main/1", "true"},
    };
    for (const auto& c : cases) {
        Response r =
            call("IsAncestorOfRpc",
                 std::string("<ancestor-version>") + c.a +
                     "</ancestor-version><descendant-version>" + c.d + "</descendant-version>",
                 &doc);
        EXPECT_EQ(status_of(r), "0") << text_of(r);
        EXPECT_EQ(doc, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><is-ancestor>") +
                           c.answer + "</is-ancestor>")
            << c.a << " " << c.d;
    }
    Response not_version = call("IsAncestorOfRpc",
                                "<ancestor-version>vob:/vobs/src</ancestor-version>"
                                "<descendant-version>/vobs/src/a.c@@/main/1</descendant-version>",
                                &doc);
    EXPECT_EQ(status_of(not_version), "1072");
}

TEST_F(XmlObjectsTest, FolderProjectBaselinesAndAutomaticView) {
    std::string doc;
    Response folder =
        call("CreateResource",
             "<resource resource-type=\"folder\">folder:work@/vobs/pvob</resource>"
             "<prop-name name=\"parent-folder\">folder:RootFolder@/vobs/pvob</prop-name>",
             &doc);
    ASSERT_EQ(status_of(folder), "0") << text_of(folder);
    EXPECT_TRUE(has(doc, "<resource resource-type=\"folder\">")) << doc;
    Response stream_kind =
        call("CreateResource", "<resource resource-type=\"stream\">stream:s@/vobs/pvob</resource>",
             &doc);
    EXPECT_EQ(status_of(stream_kind), "1001");

    Response project = call("MakeProject",
                            "<proj-name>proj@/vobs/pvob</proj-name>"
                            "<proj-folder>folder:work@/vobs/pvob</proj-folder>"
                            "<mod-components><component>component:src@/vobs/pvob</component>"
                            "</mod-components><enabled-policy-list><policy>REBASE_CO</policy>"
                            "</enabled-policy-list><comment>made over XML</comment>",
                            &doc);
    ASSERT_EQ(status_of(project), "0") << text_of(project);
    EXPECT_TRUE(has(doc, "<MakeProjectResponse><project><resource resource-type=\"project\">"))
        << doc;
    Response unknown_policy = call("MakeProject",
                                   "<proj-name>p2@/vobs/pvob</proj-name><enabled-policy-list>"
                                   "<policy>UNIX_INT_SNAP</policy></enabled-policy-list>",
                                   &doc);
    EXPECT_EQ(status_of(unknown_policy), "1001");

    vdtool_lines(
        {{"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "int@/vobs/pvob"}});
    Response bls = call("MakeBaselines",
                        "<stream>stream:int@/vobs/pvob</stream><bl-root-name>BL1</bl-root-name>"
                        "<label-kind>FULLY_LABELED</label-kind><flag name=\"RECOMMEND\"/>",
                        &doc);
    ASSERT_EQ(status_of(bls), "0") << text_of(bls);
    EXPECT_TRUE(has(doc, "<MakeBaselinesResponse><baseline><resource resource-type=\"baseline\">"))
        << doc;
    Response unlabeled =
        call("MakeBaselines",
             "<stream>stream:int@/vobs/pvob</stream><bl-root-name>BL2</bl-root-name>"
             "<label-kind>NOT_LABELED</label-kind>",
             &doc);
    EXPECT_EQ(status_of(unlabeled), "1001");

    Response stream = call("CreateAutomaticViewRpc", "<view-tag>alice_auto</view-tag>", &doc);
    ASSERT_EQ(status_of(stream), "0") << text_of(stream);
    EXPECT_TRUE(has(doc, "<CreateAutomaticViewResponse><view-uuid>")) << doc;
    Response view_kind = xml_post(server_.url(), "ReadProperties",
                                  "<ReadProperties version=\"2.0\"><resource>viewtag:alice_auto"
                                  "</resource><prop prop-name=\"http://verdane.org/TEAM/"
                                  "PROPERTY:view-tag-view-type\"/></ReadProperties>",
                                  kAlice, &doc);
    EXPECT_TRUE(has(doc, ">ViewType:AUTOMATIC<")) << doc;
}

// Two baselines of the integration stream: the versions and activities between them.
TEST_F(XmlObjectsTest, CompareBaselinesReportsVersionsAndActivities) {
    vdtool_lines({
        {"mkproject", "-modcomp", "component:src@/vobs/pvob", "proj@/vobs/pvob"},
        {"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "int@/vobs/pvob"},
        {"mkbl", "-stream", "stream:int@/vobs/pvob", "-full", "BL1"},
        {"mkview", "-tag", "intv", "-stream", "stream:int@/vobs/pvob",
         site_.home() + "/views/intv.vws"},
    });
    cmd_mkactivity_args_t act;
    act.name = "act1";
    act.stream = "stream:int@/vobs/pvob";
    act.view = "intv";
    ASSERT_EQ(cmd_mkactivity(&act), 0) << cap_.err;
    view_t* intv = nullptr;
    ASSERT_EQ(view_open_by_tag("intv", &intv), 0);
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/src/a.c"};
    co.view = &intv->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0) << cap_.err;
    cmd_checkin_args_t ci;
    ci.pnames = {"/vobs/src/a.c"};
    ci.from = {write_file(site_.home() + "/three", "three\n")};
    ci.view = &intv->ctx;
    ASSERT_EQ(cmd_checkin(&ci), 0) << cap_.err;
    vdtool_lines({{"mkbl", "-stream", "stream:int@/vobs/pvob", "BL2"}});

    std::string doc;
    Response r = call("CompareBaselines",
                      "<original-resource>baseline:BL1@/vobs/pvob</original-resource>"
                      "<target-resource>baseline:BL2@/vobs/pvob</target-resource>"
                      "<flag name=\"VERSIONS\"/><flag name=\"ACTIVITIES\"/>",
                      &doc);
    ASSERT_EQ(status_of(r), "0") << text_of(r);
    EXPECT_TRUE(has(doc, "<version compare-kind=\"ADDED\"><resource resource-type=\"fver\">"))
        << doc;
    EXPECT_TRUE(has(doc, "<version compare-kind=\"DELETED\">")) << doc;
    EXPECT_TRUE(has(doc, "<activity compare-kind=\"ADDED\"><resource resource-type=\"activity\">"))
        << doc;
    Response none = call("CompareBaselines",
                         "<original-resource>baseline:BL1@/vobs/pvob</original-resource>"
                         "<target-resource>baseline:BL2@/vobs/pvob</target-resource>",
                         &doc);
    EXPECT_EQ(status_of(none), "1072");
    EXPECT_TRUE(has(text_of(none), "No valid report kind")) << text_of(none);
    Response same = call("CompareBaselines",
                         "<original-resource>baseline:BL2@/vobs/pvob</original-resource>"
                         "<target-resource>baseline:BL2@/vobs/pvob</target-resource>"
                         "<flag name=\"VERSIONS\"/>",
                         &doc);
    EXPECT_EQ(status_of(same), "0");
    EXPECT_FALSE(has(doc, "<version")) << doc;
}

// A composite baseline made, validated, changed and read over XML: a new one in a stream of
// the project's rootless component, "validate-only" changing nothing, refusals, the
// readers of its members and of the closures that take them in.
TEST_F(XmlObjectsTest, EditBaselineDepsMakesAndChangesComposites) {
    vdtool_lines({
        {"mkcomp", "-nroot", "sys@/vobs/pvob"},
        {"mkcomp", "-nroot", "ext@/vobs/pvob"},  // not of the project
        {"mkproject", "-modcomp", "component:src@/vobs/pvob,component:sys@/vobs/pvob",
         "proj@/vobs/pvob"},
        {"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "int@/vobs/pvob"},
        {"mkbl", "-stream", "stream:int@/vobs/pvob", "-full", "BL1"},
    });
    vob_t* pvob = nullptr;
    vob_dbid_t dbid = 0, bl1 = 0, ext = 0;
    ASSERT_EQ(xcm_resolve("baseline:BL1@/vobs/pvob", 0, &pvob, &bl1), 0);
    ASSERT_EQ(xcm_find(pvob, VOB_MTYPE_BASELINE, "ext_INITIAL", &ext), 0);
    const std::string make =
        "<stream>stream:int@/vobs/pvob</stream><base-name>SYS1</base-name>"
        "<add-baseline-deps><baseline>baseline:src_INITIAL@/vobs/pvob</baseline>"
        "<baseline>baseline:ext_INITIAL@/vobs/pvob</baseline></add-baseline-deps>"
        "<virtual-bls/><comment>system</comment>";
    const std::string baseline = "<resource resource-type=\"baseline\">";
    auto count = [](const std::string& doc, const std::string& part) {
        size_t n = 0;
        for (size_t at = doc.find(part); at != std::string::npos; at = doc.find(part, at + 1)) ++n;
        return n;
    };
    std::string doc;
    Response checked = call("EditBaselineDeps",
                            make +
                                "<baseline-deps-flags><flag name=\"validate-only\"/>"
                                "</baseline-deps-flags>",
                            &doc);
    ASSERT_EQ(status_of(checked), "0") << text_of(checked);
    EXPECT_TRUE(has(doc, "<EditBaselineDepsResponse><subbaseline-list><baseline>" + baseline))
        << doc;
    EXPECT_EQ(count(doc, baseline), 2u) << doc;
    EXPECT_NE(xcm_resolve("baseline:SYS1@/vobs/pvob", 0, &pvob, &dbid), 0);

    Response made = call("EditBaselineDeps", make, &doc);
    ASSERT_EQ(status_of(made), "0") << text_of(made);
    EXPECT_TRUE(has(doc, "<EditBaselineDepsResponse><baseline>" + baseline)) << doc;
    ASSERT_EQ(xcm_resolve("baseline:SYS1@/vobs/pvob", 0, &pvob, &dbid), 0);

    auto read = [&](const std::string& location, const char* prop) {
        std::string out;
        Response r = xml_post(server_.url(), "ReadProperties",
                              "<ReadProperties version=\"2.0\"><resource>" + location +
                                  "</resource><prop prop-name=\"http://verdane.org/TEAM/"
                                  "PROPERTY:" +
                                  prop + "\"/></ReadProperties>",
                              kAlice, &out);
        EXPECT_EQ(status_of(r), "0") << location << " " << prop << ": " << text_of(r);
        return out;
    };
    EXPECT_TRUE(has(read("baseline:SYS1@/vobs/pvob", "baseline-is-composite"), ">true</prop>"));
    EXPECT_TRUE(has(read("baseline:BL1@/vobs/pvob", "baseline-is-composite"), ">false</prop>"));
    const std::string subs = read("baseline:SYS1@/vobs/pvob", "subbaseline-list");
    EXPECT_EQ(count(subs, baseline), 3u) << subs;  // the baseline read and its two members

    // The member of its component is replaced; a cycle and a member not held are refused.
    Response replaced = call("EditBaselineDeps",
                             "<baseline>baseline:SYS1@/vobs/pvob</baseline><add-baseline-deps>"
                             "<baseline>baseline:BL1@/vobs/pvob</baseline></add-baseline-deps>",
                             &doc);
    ASSERT_EQ(status_of(replaced), "0") << text_of(replaced);
    const std::vector<vob_dbid_t> now{std::min(bl1, ext), std::max(bl1, ext)};
    std::vector<vob_dbid_t> members;
    ASSERT_EQ(xcm_baseline_members(pvob, dbid, &members), 0);
    EXPECT_EQ(members, now);
    const struct {
        const char* body;
        const char* status;
    } refused[] = {
        {"<baseline>baseline:SYS1@/vobs/pvob</baseline><add-baseline-deps><baseline>"
         "baseline:SYS1@/vobs/pvob</baseline></add-baseline-deps>",
         "1005"},
        {"<baseline>baseline:SYS1@/vobs/pvob</baseline><remove-baseline-deps><baseline>"
         "baseline:src_INITIAL@/vobs/pvob</baseline></remove-baseline-deps>",
         "1002"},
        {"<baseline>stream:int@/vobs/pvob</baseline>", "1072"},
        {"<base-name>SYS2</base-name>", "1072"},
    };
    for (const auto& c : refused) {
        Response r = call("EditBaselineDeps", c.body, &doc);
        EXPECT_EQ(status_of(r), c.status) << c.body << ": " << text_of(r);
    }
    ASSERT_EQ(xcm_baseline_members(pvob, dbid, &members), 0);
    EXPECT_EQ(members, now);

    // Recommended, the composite brings the member of a component the stream has no other
    // baseline of into the stream's closure; src_INITIAL, recommended itself, keeps its place.
    vdtool_lines(
        {{"chstream", "-recommended", "baseline:SYS1@/vobs/pvob", "stream:int@/vobs/pvob"}});
    const std::string ext_ref = "dbid:" + std::to_string(ext) + "@";
    const std::string bl1_ref = "dbid:" + std::to_string(bl1) + "@";
    const std::string closure = read("stream:int@/vobs/pvob", "recommended-baseline-list-closure");
    EXPECT_EQ(count(closure, baseline), 3u) << closure;
    EXPECT_TRUE(has(closure, ext_ref)) << closure;
    EXPECT_FALSE(has(closure, bl1_ref)) << closure;
    const std::string comp = read("component:sys@/vobs/pvob", "baseline-list-closure");
    EXPECT_EQ(count(comp, baseline), 4u) << comp;  // sys_INITIAL, SYS1 and its two members

    Response removed = call("EditBaselineDeps",
                            "<baseline>baseline:SYS1@/vobs/pvob</baseline><remove-baseline-deps>"
                            "<baseline>baseline:BL1@/vobs/pvob</baseline><baseline>"
                            "baseline:ext_INITIAL@/vobs/pvob</baseline></remove-baseline-deps>"
                            "<comment>empty again</comment>",
                            &doc);
    ASSERT_EQ(status_of(removed), "0") << text_of(removed);
    EXPECT_TRUE(has(read("baseline:SYS1@/vobs/pvob", "baseline-is-composite"), ">false</prop>"));
}

// MakeBaselines with a component dependency makes a composite of the rootless component
// naming the stream's newest baseline; CompareBaselines compares two composites member by
// member.
TEST_F(XmlObjectsTest, MakeAndCompareCompositeBaselines) {
    vdtool_lines({
        {"mkcomp", "-nroot", "sys@/vobs/pvob"},
        {"mkproject", "-modcomp", "component:src@/vobs/pvob,component:sys@/vobs/pvob",
         "proj@/vobs/pvob"},
        {"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "int@/vobs/pvob"},
        {"mkview", "-tag", "intv", "-stream", "stream:int@/vobs/pvob",
         site_.home() + "/views/intv.vws"},
    });
    auto make = [&](const char* name, std::string* doc) {
        return call("MakeBaselines",
                    std::string("<stream>stream:int@/vobs/pvob</stream><bl-root-name>") + name +
                        "</bl-root-name><label-kind>FULLY_LABELED</label-kind>"
                        "<add-component-deps><component>component:src@/vobs/pvob</component>"
                        "</add-component-deps>",
                    doc);
    };
    std::string doc;
    Response one = make("BL1", &doc);
    ASSERT_EQ(status_of(one), "0") << text_of(one);
    EXPECT_TRUE(has(doc, "</baseline><baseline><resource resource-type=\"baseline\">")) << doc;
    vob_t* pvob = nullptr;
    vob_dbid_t sys1 = 0, bl1 = 0;
    ASSERT_EQ(xcm_resolve("baseline:BL1_sys@/vobs/pvob", 0, &pvob, &sys1), 0) << text_of(one);
    ASSERT_EQ(xcm_find(pvob, VOB_MTYPE_BASELINE, "BL1", &bl1), 0);
    std::vector<vob_dbid_t> members;
    ASSERT_EQ(xcm_baseline_members(pvob, sys1, &members), 0);
    EXPECT_EQ(members, std::vector<vob_dbid_t>{bl1});

    cmd_mkactivity_args_t act;
    act.name = "act1";
    act.stream = "stream:int@/vobs/pvob";
    act.view = "intv";
    ASSERT_EQ(cmd_mkactivity(&act), 0) << cap_.err;
    view_t* intv = nullptr;
    ASSERT_EQ(view_open_by_tag("intv", &intv), 0);
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/src/a.c"};
    co.view = &intv->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0) << cap_.err;
    cmd_checkin_args_t ci;
    ci.pnames = {"/vobs/src/a.c"};
    ci.from = {write_file(site_.home() + "/three", "three\n")};
    ci.view = &intv->ctx;
    ASSERT_EQ(cmd_checkin(&ci), 0) << cap_.err;
    Response two = make("BL2", &doc);
    ASSERT_EQ(status_of(two), "0") << text_of(two);

    Response r = call("CompareBaselines",
                      "<original-resource>baseline:BL1_sys@/vobs/pvob</original-resource>"
                      "<target-resource>baseline:BL2_sys@/vobs/pvob</target-resource>"
                      "<flag name=\"VERSIONS\"/><flag name=\"BASELINES\"/>",
                      &doc);
    ASSERT_EQ(status_of(r), "0") << text_of(r);
    EXPECT_TRUE(has(doc, "<version compare-kind=\"ADDED\"><resource resource-type=\"fver\">"))
        << doc;
    EXPECT_TRUE(has(doc, "<version compare-kind=\"DELETED\">")) << doc;
    for (const char* kind : {"ADDED", "DELETED"}) {
        // The composite of each side and its member of src.
        const std::string tag = std::string("<baseline compare-kind=\"") + kind + "\">";
        const size_t first = doc.find(tag);
        ASSERT_NE(first, std::string::npos) << doc;
        EXPECT_NE(doc.find(tag, first + 1), std::string::npos) << doc;
    }
    Response same = call("CompareBaselines",
                         "<original-resource>baseline:BL2_sys@/vobs/pvob</original-resource>"
                         "<target-resource>baseline:BL2_sys@/vobs/pvob</target-resource>"
                         "<flag name=\"VERSIONS\"/><flag name=\"BASELINES\"/>",
                         &doc);
    EXPECT_EQ(status_of(same), "0");
    EXPECT_FALSE(has(doc, "compare-kind")) << doc;
}

// A checked-out directory of a web view takes a new name, a link, a rename and a removal in
// one save; a view of another kind is refused.
TEST_F(XmlObjectsTest, SaveDirectoryAppliesItsChangesInOrder) {
    vdtool_lines(
        {{"mkelem", "-ci", "/vobs/src/b.c"}, {"protect", "-chown", kAlice.name, "/vobs/src"}});
    view_t* web = nullptr;
    ASSERT_EQ(view_open_by_tag("alice_web", &web), 0);
    cmd_checkout_args_t co;
    co.pnames = {"/vobs/src"};
    co.view = &web->ctx;
    ASSERT_EQ(cmd_checkout(&co), 0) << cap_.err;
    std::string doc;
    const std::string changes =
        "<view>viewtag:alice_web</view><ddiff path=\"vobs/src\" comment=\"tidy\">"
        "<add name=\"alias.c\">/vobs/src/a.c@@</add>"
        "<add-symlink name=\"link\">a.c</add-symlink>"
        "<rename from=\"b.c\" to=\"c.c\"/><remove name=\"a.c\"/></ddiff>";
    Response wrong = call("SaveDirectoryRpc", changes, &doc);
    EXPECT_EQ(status_of(wrong), "1072");
    Response r = call("SaveDirectorySnapshotRpc", changes, &doc);
    ASSERT_EQ(status_of(r), "0") << text_of(r);
    for (const char* name : {"alias.c", "link", "c.c"}) {
        vob_resolved_t res;
        EXPECT_EQ(vob_resolve_pname((std::string("/vobs/src/") + name).c_str(), &web->ctx,
                                    VOB_RESOLVE_NOFOLLOW, &res),
                  0)
            << name;
    }
    for (const char* gone : {"a.c", "b.c"}) {
        vob_resolved_t res;
        EXPECT_NE(vob_resolve_pname((std::string("/vobs/src/") + gone).c_str(), &web->ctx, 0, &res),
                  0)
            << gone;
    }
    Response escape = call("SaveDirectorySnapshotRpc",
                           "<view>viewtag:alice_web</view><ddiff path=\"vobs/src\">"
                           "<remove name=\"../etc\"/></ddiff>",
                           &doc);
    EXPECT_EQ(status_of(escape), "1072");
}

}  // namespace
}  // namespace e2e
