// The XML resource protocol through lighttpd and vdweb.cgi: an "XmlEcho" request of a
// logged-in user comes back as "xmlChunk" parts, a request attributed to another user is
// refused before anything runs, and a document with a DOCTYPE is refused unread.
#include <gtest/gtest.h>

#include <string>

#include "e2e/cgi_process.h"
#include "e2e/multipart.h"
#include "e2e/rpc_client.h"
#include "e2e/site_test.h"
#include "e2e/test_users.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

class XmlRpcTest : public SiteTest {
protected:
    // The document as the "rpcargs" argument carries it: a rich string, whose line feeds
    // are written "%0A".
    Response echo(const std::string& xml, const TestUser& user = kAlice) {
        std::string rich;
        for (char c : xml) rich += c == '\n' ? std::string("%0A") : std::string(1, c);
        Response r = http_post(server_.url(), form_body("XmlEcho", rich.c_str()), user);
        EXPECT_TRUE(r.complete) << r.error << "\n" << server_.error_log();
        return r;
    }
    static std::string document(const Response& r) {
        std::string doc;
        for (const Part* p : r.named("xmlChunk")) {
            EXPECT_EQ(header(p, "Content-Type"), "text/plain;charset=UTF-8");
            doc += p->content;
        }
        return doc;
    }
    static std::string attribution(const char* login) {
        return std::string("<epfih><tau>1700000000</tau><lambda>") + login +
               "</lambda><eta>client.example</eta></epfih>";
    }
};

TEST_F(XmlRpcTest, EchoComesBackAsChunksUnderTheUsersOwnAttribution) {
    Response r =
        echo("<?xml version=\"1.0\"?>\n<XmlEcho version=\"1.0\">\n" + attribution(kAlice.name) +
             "<item kind=\"a b\">line one\nx &amp; y &lt;z&gt;</item>\n</XmlEcho>\n");
    EXPECT_EQ(status_of(r), "0") << text_of(r);
    EXPECT_EQ(document(r),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
              "<item kind=\"a b\">line one\nx &amp; y &lt;z&gt;</item>");
}

TEST_F(XmlRpcTest, AttributionToAnotherUserIsRefused) {
    Response r =
        echo("<XmlEcho version=\"1.0\">" + attribution(kMallory.name) + "<item/></XmlEcho>");
    EXPECT_EQ(status_of(r), "1001");
    // The status text leads with the failure; the internal error logged follows it.
    EXPECT_EQ(text_of(r).rfind("Internal error: setevent failed", 0), 0u) << text_of(r);
    EXPECT_TRUE(r.named("xmlChunk").empty());
}

TEST_F(XmlRpcTest, DoctypeAndExternalEntityAreRefusedUnread) {
    const std::string secret = write_file(site_.home() + "/secret.txt", "TOPSECRET\n");
    Response r = echo("<!DOCTYPE XmlEcho [<!ENTITY s SYSTEM \"file://" + secret +
                      "\">]><XmlEcho version=\"1.0\"><item>&s;</item></XmlEcho>");
    EXPECT_EQ(status_of(r), "100023");
    EXPECT_EQ(text_of(r), "DTDs not supported");
    EXPECT_TRUE(r.named("xmlChunk").empty());
    for (const Part& p : r.parts) EXPECT_EQ(p.content.find("TOPSECRET"), std::string::npos);
}

}  // namespace
}  // namespace e2e
