// The property RPCs of the XML protocol through lighttpd and vdweb.cgi, as a logged-in
// user: properties of a VOB, a view, an element, a version, a stream, an activity and a
// baseline with nested properties; a list read in which one resource fails; writes of
// which one fails while the others apply; change records read with a login the client is
// asked for.
#include <gtest/gtest.h>

#include <string>

#include "core/stg/stg.h"
#include "core/view/view.h"
#include "e2e/cgi_process.h"
#include "e2e/multipart.h"
#include "e2e/rpc_client.h"
#include "e2e/site_test.h"
#include "e2e/test_users.h"
#include "interact/ireq_msg.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

#define NS "http://verdane.org/TEAM/PROPERTY:"

class XmlPropsTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string one = write_file(site_.home() + "/one", "one\n");
        const std::string two = write_file(site_.home() + "/two", "two\n");
        vdtool_lines({
            {"mkvob", "-tag", "/vobs/src", site_.home() + "/vobs/src.vbs"},
            {"mkelem", "-ci", "-from", one, "/vobs/src/a.c"},
            {"checkout", "/vobs/src/a.c"},
            {"checkin", "-from", two, "/vobs/src/a.c"},
            {"protect", "-chown", kAlice.name, "/vobs/src/a.c"},
            {"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.home() + "/vobs/pvob.vbs"},
            {"mkcomp", "-root", "/vobs/src", "src@/vobs/pvob"},
            {"mkproject", "-modcomp", "component:src@/vobs/pvob", "proj@/vobs/pvob"},
            {"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "int@/vobs/pvob"},
            {"mkstream", "-in", "project:proj@/vobs/pvob", "dev@/vobs/pvob"},
            {"mkactivity", "-in", "stream:dev@/vobs/pvob", "-headline", "Fix the parser",
             "fix@/vobs/pvob"},
            {"mkbl", "-stream", "stream:int@/vobs/pvob", "-full", "BL1"},
            {"mkview", "-tag", "alice_web", "-webview", site_.home() + "/views/alice_web.vws"},
        });
    }
    // Sends `xml` as the request of `rpc`; the response document is left in `doc`.
    Response xml_call(const char* rpc, const std::string& xml, std::string* doc) {
        std::string rich;
        for (char c : xml) rich += c == '\n' ? std::string("%0A") : std::string(1, c);
        Response r = http_post(server_.url(), form_body(rpc, rich.c_str()), kAlice);
        EXPECT_TRUE(r.complete) << r.error << "\n" << server_.error_log();
        doc->clear();
        for (const Part* p : r.named("xmlChunk")) *doc += p->content;
        return r;
    }
    static bool has(const std::string& doc, const std::string& part) {
        return doc.find(part) != std::string::npos;
    }
};

TEST_F(XmlPropsTest, ReadPropertiesOfEachKindWithNestedProperties) {
    const struct {
        const char* location;
        const char* type;
        const char* prop;
        const char* nested;
        const char* expect;
    } cases[] = {
        {"vob:/vobs/src", "vob", NS "vob-tag", NS "is-mounted", ">true</prop>"},
        {"viewtag:alice_web", "viewtag", NS "view", NS "view-view-type", ">ViewType:WEB</prop>"},
        {"/vobs/src/a.c@@", "felem", NS "element-element-type", "display-name", ">file</prop>"},
        {"/vobs/src/a.c@@/main/2", "fver", NS "predecessor", "version-name", ">/main/1</prop>"},
        {"stream:dev@/vobs/pvob", "stream", NS "parent-project", "display-name", ">proj</prop>"},
        {"activity:fix@/vobs/pvob", "activity", NS "act-stream", "display-name", ">dev</prop>"},
        {"baseline:BL1@/vobs/pvob", "baseline", NS "baseline-component", "display-name",
         ">src</prop>"},
    };
    for (const auto& c : cases) {
        std::string doc;
        Response r = xml_call("ReadProperties",
                              std::string("<ReadProperties version=\"2.0\"><resource>") +
                                  c.location + "</resource><prop prop-name=\"" + c.prop +
                                  "\"><prop prop-name=\"" + c.nested +
                                  "\"/></prop><prop prop-name=\"display-name\"/></ReadProperties>",
                              &doc);
        EXPECT_EQ(status_of(r), "0") << c.location << ": " << text_of(r);
        EXPECT_TRUE(has(doc, std::string("<resource resource-type=\"") + c.type + "\">"))
            << c.location << ": " << doc;
        EXPECT_TRUE(has(doc, std::string("<prop prop-name=\"") + c.prop +
                                 "\" prop-type=\"RESOURCE\"><resource"))
            << c.location << ": " << doc;
        EXPECT_TRUE(has(doc, c.expect)) << c.location << ": " << doc;
        EXPECT_TRUE(has(doc, "<prop prop-name=\"display-name\"")) << doc;
    }
    // No property asked: the reference alone. A stray element: 1072.
    std::string doc;
    Response bare = xml_call(
        "ReadProperties",
        "<ReadProperties version=\"2.0\"><resource>vob:/vobs/src</resource></ReadProperties>",
        &doc);
    EXPECT_EQ(status_of(bare), "0");
    EXPECT_TRUE(has(doc, "<ReadProperties><resource resource-type=\"vob\">")) << doc;
    Response stray = xml_call("ReadProperties",
                              "<ReadProperties version=\"2.0\"><resource>vob:/vobs/src</resource>"
                              "<other/></ReadProperties>",
                              &doc);
    EXPECT_EQ(status_of(stray), "1072");
}

TEST_F(XmlPropsTest, ListReadAnswersEachResourceAndFailsOneAlone) {
    std::string doc;
    Response r = xml_call("ReadPropertiesList",
                          "<ReadPropertiesList version=\"1.0\">"
                          "<resource resource-index=\"1\">/vobs/src/a.c@@/main/1</resource>"
                          "<resource resource-index=\"2\">/vobs/src/missing.c@@</resource>"
                          "<resource resource-index=\"3\">/vobs/src/a.c@@/main/2</resource>"
                          "<prop prop-name=\"version-name\"/></ReadPropertiesList>",
                          &doc);
    EXPECT_EQ(status_of(r), "0") << text_of(r);
    EXPECT_TRUE(has(doc, "resource-index=\"1\">")) << doc;
    EXPECT_TRUE(has(doc, ">/main/1</prop>")) << doc;
    EXPECT_TRUE(has(doc,
                    "<resource resource-exception=\"true\" resource-index=\"2\" "
                    "resource-status-code=\""))
        << doc;
    EXPECT_TRUE(has(doc, ">/main/2</prop>")) << doc;
    // A context that cannot be built answers every resource with its exception.
    Response ctx = xml_call("ReadPropertiesList",
                            "<ReadPropertiesList version=\"1.0\">"
                            "<resource resource-index=\"a\">vob:/vobs/src</resource>"
                            "<resource resource-index=\"b\">vob:/vobs/pvob</resource>"
                            "<context-resource>viewtag:nosuch</context-resource>"
                            "</ReadPropertiesList>",
                            &doc);
    EXPECT_EQ(status_of(ctx), "0");
    EXPECT_TRUE(has(doc, "resource-index=\"a\" resource-status-code")) << doc;
    EXPECT_TRUE(has(doc, "resource-index=\"b\" resource-status-code")) << doc;
    EXPECT_FALSE(has(doc, "resource-type=")) << doc;
}

TEST_F(XmlPropsTest, WritesApplyAndFailuresAreListed) {
    std::string doc;
    Response r = xml_call("WriteProperties",
                          "<WriteProperties version=\"2.0\"><resource>/vobs/src/a.c@@</resource>"
                          "<prop prop-name=\"comment\" prop-type=\"SINGLE_VALUE\">reviewed</prop>"
                          "<prop prop-name=\"" NS
                          "is-mounted\" prop-type=\"SINGLE_VALUE\">true</prop>"
                          "</WriteProperties>",
                          &doc);
    EXPECT_EQ(status_of(r), "1001") << text_of(r);
    EXPECT_TRUE(has(doc, "<failed-properties-list><prop-name>" NS
                         "is-mounted</prop-name></failed-properties-list>"))
        << doc;
    Response read = xml_call("ReadProperties",
                             "<ReadProperties version=\"2.0\"><resource>/vobs/src/a.c@@"
                             "</resource><prop prop-name=\"comment\"/></ReadProperties>",
                             &doc);
    EXPECT_TRUE(has(doc, ">reviewed</prop>")) << doc;
    Response bad = xml_call("WriteProperties",
                            "<WriteProperties version=\"2.0\"><resource>vob:/vobs/src</resource>"
                            "<prop prop-name=\"x\" prop-type=\"COLLECTION\"><item>a</item></prop>"
                            "</WriteProperties>",
                            &doc);
    EXPECT_EQ(status_of(bad), "1072");
}

// A project of a change-request database and an activity bound to one of its records, read
// in one request: the database and record types of the project, and the record of the
// activity with its headline, once the client has answered the one login question; a record
// location that names nothing is that resource's exception.
TEST_F(XmlPropsTest, ChangeRecordsReadWithTheClientsLogin) {
    const std::string pw = write_file(site_.home() + "/tn_pw", "tn secret\n");
    vdtool_lines({
        {"mkcrmdb", "bugs@main"},
        {"mkcrmuser", "-pwfile", pw, "bugs@main", "alice"},
        {"mkcrmrec", "-headline", "Crash on start", "bugs@main", "BUG1"},
        {"mkcrmrec", "-type", "Enhancement", "-headline", "Faster", "bugs@main", "ENH2"},
        {"mkproject", "-modcomp", "component:src@/vobs/pvob", "-crmdb", "bugs@main",
         "tracked@/vobs/pvob"},
        {"mkstream", "-in", "project:tracked@/vobs/pvob", "-integration", "t_int@/vobs/pvob"},
        {"mkactivity", "-in", "stream:t_int@/vobs/pvob", "bug1@/vobs/pvob"},
        {"chactivity", "-crmrec", "BUG1", "activity:bug1@/vobs/pvob"},
    });
    if (HasFatalFailure()) return;
    int asked = 0;
    auto on_part = [&](const Part& part) {
        if (part.name() != "InteractionRequest") return true;
        ++asked;
        stg_scoped_area area;
        ireq_msg_t* q = ireq_msg_from_string(area.get(), part.content.c_str());
        const char* fields[3] = {};
        ireq_msg_get_element(q, "userDb", &fields[0]);
        ireq_msg_get_element(q, "MsgConnection", &fields[1]);
        ireq_msg_get_element(q, "MsgSeqID", &fields[2]);
        EXPECT_STREQ(fields[0], "bugs");
        Response r = http_post(server_.url(),
                               form_body("VDW_Vdcore::interaction_response_rpc",
                                         args({{"MsgProtocol", "TnLogin"},
                                               {"MsgVersion", "1.0"},
                                               {"MsgConnection", fields[1] ? fields[1] : ""},
                                               {"MsgSeqID", fields[2] ? fields[2] : ""},
                                               {"MsgType", "Message"},
                                               {"status", "ok"},
                                               {"userName", "alice"},
                                               {"password", "tn secret"},
                                               {"userDb", "bugs"},
                                               {"dbSet", "main"}})
                                             .c_str()),
                               kAlice);
        EXPECT_EQ(status_of(r), "0") << text_of(r);
        return true;
    };
    const std::string xml =
        "<ReadPropertiesList version=\"1.0\">"
        "<resource resource-index=\"p\">project:tracked@/vobs/pvob</resource>"
        "<resource resource-index=\"a\">activity:bug1@/vobs/pvob</resource>"
        "<resource resource-index=\"n\">record:NOPE@bugs@main</resource>"
        "<prop prop-name=\"" NS
        "tarnis-user-db\"><prop prop-name=\"display-name\"/></prop>"
        "<prop prop-name=\"" NS
        "xcm-enabled-tn-record-type-list\"/>"
        "<prop prop-name=\"" NS "bound-tn-record\"><prop prop-name=\"" NS
        "headline\"/></prop></ReadPropertiesList>";
    std::string rich;
    for (char c : xml) rich += c == '\n' ? std::string("%0A") : std::string(1, c);
    Response r =
        http_post(server_.url(), form_body("ReadPropertiesList", rich.c_str()), kAlice, on_part);
    ASSERT_TRUE(r.complete) << r.error << "\n" << server_.error_log();
    std::string doc;
    for (const Part* p : r.named("xmlChunk")) doc += p->content;
    EXPECT_EQ(status_of(r), "0") << text_of(r);
    EXPECT_EQ(asked, 1);
    for (const char* want : {
             "<resource resource-type=\"userdb\">userdb:bugs@main</resource><prop "
             "prop-name=\"display-name\" prop-type=\"PATH\">bugs</prop>",
             "<resource resource-type=\"record-type\">tn-record-type:Defect@bugs@main</resource>",
             "<resource resource-type=\"record-type\">tn-record-type:Enhancement@bugs@main",
             "<resource resource-type=\"record\">record:BUG1@bugs@main</resource><prop "
             "prop-name=\"" NS "headline\" prop-type=\"STRING\">Crash on start</prop>",
             "resource-exception=\"true\" resource-index=\"n\"",
         })
        EXPECT_TRUE(has(doc, want)) << want << "\n" << doc;
    EXPECT_FALSE(has(doc, "prop-exception")) << doc;
}

}  // namespace
}  // namespace e2e
