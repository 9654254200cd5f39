// Access control through the XML protocol, through lighttpd and vdweb.cgi: a policy and a
// role map made by the VOB's owner, applied to the VOB and a tree, their properties read
// back, and another user's rights following the lists.
#include <gtest/gtest.h>

#include <string>

#include "e2e/site_test.h"
#include "e2e/xml_client.h"
#include "support/core_fixture.h"

namespace e2e {
namespace {

#define NS "http://verdane.org/TEAM/PROPERTY:"

class XmlAclTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string one = write_file(site_.home() + "/one", "one\n");
        vdtool_lines({
            {"mkvob", "-tag", "/vobs/src", site_.home() + "/vobs/src.vbs"},
            {"mkdir", "-nc", "/vobs/src/d"},
            {"mkelem", "-ci", "-from", one, "/vobs/src/d/a.c"},
            {"checkin", "-nc", "/vobs/src/d"},
            {"protect", "-chown", kAlice.name, "vob:/vobs/src"},
        });
    }
    Response call(const TestUser& who, const char* rpc, const char* version,
                  const std::string& body, std::string* doc) {
        Response r = xml_post(
            server_.url(), rpc,
            std::string("<") + rpc + " version=\"" + version + "\">" + body + "</" + rpc + ">", who,
            doc);
        EXPECT_TRUE(r.complete) << rpc << ": " << r.error;
        return r;
    }
    // The answer document of reading `props` (each with its nested requests) of `location`.
    std::string read(const TestUser& who, const std::string& location, const std::string& props) {
        std::string doc;
        Response r = call(who, "ReadProperties", "2.0",
                          "<resource>" + location + "</resource>" + props, &doc);
        EXPECT_EQ(status_of(r), "0") << location << ": " << text_of(r);
        return doc;
    }
    static std::string prop(const char* name, const std::string& nested = "") {
        return std::string("<prop prop-name=\"") + name + "\">" + nested + "</prop>";
    }
    static bool has(const std::string& doc, const std::string& part) {
        return doc.find(part) != std::string::npos;
    }
};

TEST_F(XmlAclTest, PolicyRoleMapAndTheRightsTheyGive) {
    std::string doc;
    Response policy =
        call(kAlice, "MakePolicyRpc", "1.0",
             "<policy-location>policy:team@/vobs/src</policy-location><policy-acl-map>"
             "<ace-entry><proxy-type>felem</proxy-type><principal-kind>Role</principal-kind>"
             "<principal-name>Dev</principal-name><permissions>Change</permissions></ace-entry>"
             "<ace-entry><proxy-type>delem</proxy-type><principal-kind>Everyone</principal-kind>"
             "<permissions>Read</permissions></ace-entry></policy-acl-map><comment>rules</comment>",
             &doc);
    ASSERT_EQ(status_of(policy), "0") << text_of(policy);
    EXPECT_TRUE(has(doc, "<MakePolicyResponse><policy><resource resource-type=\"policy\">")) << doc;
    Response rolemap = call(kAlice, "MakeRolemapRpc", "2.1",
                            "<rolemap-location>rolemap:rm@/vobs/src</rolemap-location>"
                            "<policy>policy:team@/vobs/src</policy><entries><role name=\"Dev\">"
                            "<principal-kind>User</principal-kind><principal-name>" +
                                std::string(kMallory.name) + "</principal-name></role></entries>",
                            &doc);
    ASSERT_EQ(status_of(rolemap), "0") << text_of(rolemap);
    // A second policy of the same name, and one granting a level that does not exist.
    EXPECT_NE(status_of(call(kAlice, "MakePolicyRpc", "1.0",
                             "<policy-location>policy:team@/vobs/src</policy-location>", &doc)),
              "0");
    EXPECT_EQ(status_of(call(kAlice, "MakePolicyRpc", "1.0",
                             "<policy-location>policy:x@/vobs/src</policy-location>"
                             "<policy-acl-map><ace-entry><proxy-type>felem</proxy-type>"
                             "<principal-kind>Everyone</principal-kind><permissions>Write"
                             "</permissions></ace-entry></policy-acl-map>",
                             &doc)),
              "1072");
    // Only the VOB's owner defines access control.
    EXPECT_NE(status_of(call(kMallory, "MakePolicyRpc", "1.0",
                             "<policy-location>policy:mine@/vobs/src</policy-location>", &doc)),
              "0");

    // Nothing is protected yet: the mode bits answer.
    EXPECT_TRUE(has(read(kAlice, "vob:/vobs/src", prop(NS "is-acl-enforced")), ">false</prop>"));
    Response applied = call(kAlice, "ApplyRolemapRpc", "1.0",
                            "<target-resource>/vobs/src/d</target-resource><is-pname>true"
                            "</is-pname><selector>rolemap:rm@/vobs/src</selector>"
                            "<applyrolemap-flags recurse=\"true\"/>",
                            &doc);
    ASSERT_EQ(status_of(applied), "0") << text_of(applied);
    EXPECT_TRUE(has(doc, "<count>2</count>")) << doc;  // the directory and a.c
    Response whole = call(kAlice, "ApplyRolemapRpc", "1.0",
                          "<target-resource>vob:/vobs/src</target-resource>"
                          "<selector>rolemap:rm@/vobs/src</selector>",
                          &doc);
    ASSERT_EQ(status_of(whole), "0") << text_of(whole);

    doc = read(kAlice, "vob:/vobs/src",
               prop(NS "is-acl-enforced") + prop(NS "policy-list", prop("display-name")) +
                   prop(NS "rolemap-list", prop(NS "rolemap-in-use")));
    EXPECT_TRUE(has(doc, NS "is-acl-enforced\" prop-type=\"BOOLEAN\">true</prop>")) << doc;
    EXPECT_TRUE(has(doc, ">team</prop>")) << doc;
    EXPECT_TRUE(has(doc, NS "rolemap-in-use\" prop-type=\"BOOLEAN\">true</prop>")) << doc;

    // The element's list, its role map with the policy behind it, and each user's access.
    const std::string element_props =
        prop(NS "effective-acl") + prop(NS "my-effective-access") +
        prop(NS "rolemap",
             prop(NS "rolemap-policy", prop(NS "policy-acl-map")) + prop(NS "rolemap-entries"));
    doc = read(kAlice, "/vobs/src/d/a.c@@", element_props);
    EXPECT_TRUE(has(doc, "<principal-kind>User</principal-kind><principal-name>" +
                             std::string(kMallory.name) +
                             "</principal-name><permissions>Change</permissions>"))
        << doc;
    EXPECT_TRUE(has(doc, NS "my-effective-access\" prop-type=\"STRING\">Full</prop>")) << doc;
    EXPECT_TRUE(has(doc,
                    "<proxy-type>delem</proxy-type><principal-kind>Everyone"
                    "</principal-kind><permissions>Read</permissions>"))
        << doc;
    EXPECT_TRUE(has(doc, "<role name=\"Dev\"><principal-kind>User</principal-kind>")) << doc;
    EXPECT_TRUE(has(doc, "<permissions>felem:Change</permissions>")) << doc;
    doc = read(kMallory, "/vobs/src/d/a.c@@", prop(NS "my-effective-access"));
    EXPECT_TRUE(has(doc, ">Change</prop>")) << doc;
    doc = read(kMallory, "/vobs/src/d@@", prop(NS "my-effective-access"));
    EXPECT_TRUE(has(doc, ">Read</prop>")) << doc;

    // Change is not Full: mallory cannot move the element under another role map.
    Response refused = call(kMallory, "ApplyRolemapRpc", "1.0",
                            "<target-resource>/vobs/src/d/a.c</target-resource><is-pname>true"
                            "</is-pname><selector>rm</selector>",
                            &doc);
    EXPECT_NE(status_of(refused), "0");

    Response map = call(kAlice, "GetProxyTypePrivilegeMap", "1.0", "", &doc);
    EXPECT_EQ(status_of(map), "0");
    EXPECT_TRUE(has(doc,
                    "<proxy-type name=\"felem\"><category name=\"Read\"><privilege>"
                    "read-info</privilege>"))
        << doc;
    EXPECT_TRUE(has(doc, "<category name=\"Change\"><privilege>checkout</privilege>")) << doc;
    doc = read(kAlice, "server:localhost", prop(NS "proxy-types-supporting-acls"));
    EXPECT_TRUE(has(doc, ">felem</prop>")) << doc;

    // Writing an element's "rolemap" moves it under another role map.
    ASSERT_EQ(status_of(call(kAlice, "MakeRolemapRpc", "2.1",
                             "<rolemap-location>rolemap:closed@/vobs/src</rolemap-location>"
                             "<policy>team</policy>",
                             &doc)),
              "0");
    Response write = call(kAlice, "WriteProperties", "2.0",
                          "<resource>/vobs/src/d/a.c@@</resource><prop prop-name=\"" NS
                          "rolemap\" prop-type=\"SINGLE_VALUE\">rolemap:closed@/vobs/src</prop>",
                          &doc);
    EXPECT_EQ(status_of(write), "0") << text_of(write);
    doc = read(kAlice, "/vobs/src/d/a.c@@", prop(NS "rolemap", prop("display-name")));
    EXPECT_TRUE(has(doc, ">closed</prop>")) << doc;
    doc = read(kMallory, "/vobs/src/d/a.c@@", prop(NS "my-effective-access"));
    EXPECT_TRUE(has(doc, ">None</prop>")) << doc;
}

}  // namespace
}  // namespace e2e
