// The XML RPC framework and the echo RPC, run through the RPC factory as the request
// handler runs them: request documents in "rpcargs", response documents out as chunks,
// status codes for documents that do not fit, and the request attribution with its check
// of who may attribute to whom.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "core/cred/credutl.h"
#include "facade/vdw_session.h"
#include "foundation/wcm_mempool.h"
#include "foundation/wcm_status.h"
#include "request/vdw_abstract_rpc.h"
#include "request/vdw_request.h"
#include "xmlproto/rpc/vd_xml_echo_rpc.h"
#include "xmlproto/rpc/vd_xml_rpc.h"
#include "xmlproto/xml_test_support.h"

namespace {

std::string form_encode(const std::string& s) {
    std::string out;
    char hex[4];
    for (unsigned char c : s) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.') {
            out += static_cast<char>(c);
        } else {
            snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// One request through the factory (or through `rpc` when given).
struct XmlCall {
    explicit XmlCall(const std::string& rpcargs, const char* rpc_name = "XmlEcho")
        : body("rpc=" + form_encode(rpc_name) + "&rpcargs=" + form_encode(rpcargs)),
          in(body),
          req(0, nullptr, in,
              {{"REQUEST_METHOD", "POST"},
               {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
               {"CONTENT_LENGTH", std::to_string(body.size())}},
              pool, 0) {
        VdXmlStreamElem::reset_declaration_written();
    }
    bool through_factory() {
        return VDW_AbstractRpc::handle(req, session, pool, status, out, nullptr);
    }
    std::string doc() const { return xml_document(out.str()); }

    std::string body;
    std::istringstream in;
    WCM_MemPool pool;
    WCM_Status status;
    VDW_Session session;
    std::ostringstream out;
    VDW_Request req;
};

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// An XML RPC whose operation the test supplies; it records what it saw.
class ProbeRpc : public VdXmlRpc {
public:
    ProbeRpc(XmlCall& r, std::function<void(ProbeRpc&, VdXmlDoc&, VdXmlStreamDoc&)> op)
        : VdXmlRpc("Probe", r.req, r.session, r.pool, r.status, r.out, nullptr), op_(op) {}
    void handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) override {
        ran = true;
        saw_event = event_set();
        op_(*this, request, response);
    }
    bool ran = false;
    bool saw_event = false;

private:
    std::function<void(ProbeRpc&, VdXmlDoc&, VdXmlStreamDoc&)> op_;
};

std::string event(const char* login, const char* time = "1700000000") {
    std::string e = "<epfih>";
    if (time) e += std::string("<tau>") + time + "</tau>";
    if (login) e += std::string("<lambda>") + login + "</lambda>";
    return e + "<gamma></gamma><phi>Full Name</phi><eta>client.example</eta></epfih>";
}

}  // namespace

TEST(VdXmlEchoRpc, EchoesItsOneChildAndRefusesWhatDoesNotFit) {
    struct Case {
        const char* what;
        std::string rpcargs;
        int status;
        std::string doc;
    } cases[] = {
        // A streamed element's text goes out when it is closed, after its children.
        {"one child",
         "<XmlEcho version=\"1.0\"><c k=\"v&amp;w\" e=\"\">a &amp; b<d>x</d><d/></c></XmlEcho>", 0,
         kDecl + "<c k=\"v&amp;w\" e=\"\"><d>x</d><d></d>a &amp; b</c>"},
        {"no child", "<XmlEcho version=\"1.0\">text only</XmlEcho>", 0, ""},
        {"line feeds in the rich string", "<XmlEcho version=\"1.0\">%0A<c>a%0Ab</c>%0A</XmlEcho>",
         0, kDecl + "<c>a\nb</c>"},
        {"two children", "<XmlEcho version=\"1.0\"><c/><d/></XmlEcho>", 1072, ""},
        {"other version", "<XmlEcho version=\"1.1\"><c/></XmlEcho>", 1072, ""},
        {"no version", "<XmlEcho><c/></XmlEcho>", 1072, ""},
        {"other root", "<ReadProperties version=\"1.0\"><c/></ReadProperties>", 1072, ""},
        {"DOCTYPE", "<!DOCTYPE XmlEcho><XmlEcho version=\"1.0\"/>", 100023, ""},
        {"not XML", "XmlEcho", 100023, ""},
        {"no arguments", "", 100023, ""},
    };
    for (const Case& c : cases) {
        XmlCall r(c.rpcargs);
        ASSERT_TRUE(r.through_factory()) << c.what;
        EXPECT_EQ(r.status.status(), c.status) << c.what;
        EXPECT_EQ(r.doc(), c.doc) << c.what;
    }
    XmlCall dtd("<!DOCTYPE XmlEcho><XmlEcho version=\"1.0\"/>");
    dtd.through_factory();
    EXPECT_STREQ(dtd.status.text(), "DTDs not supported");
    const e2e::Response r = e2e::read_response(dtd.out.str());
    ASSERT_NE(r.status(), nullptr) << r.error;
    EXPECT_EQ(*r.status()->header("Status"), "100023");
}

TEST(VdXmlRpc, AttributionIsHiddenAndTheAdministratorsAlone) {
    credutl_creds_t nobody{};
    ASSERT_EQ(credutl_lookup("nobody", nullptr, &nobody), TBS_ST_OK);
    credutl_creds_t self{};
    ASSERT_EQ(credutl_get_process_creds(&self), TBS_ST_OK);
    ASSERT_TRUE(credutl_is_privileged(self));  // the tests run as root
    struct Case {
        const char* what;
        bool as_nobody;
        std::string event;
        bool runs;
        bool event_set;
    } cases[] = {
        {"none", false, "", true, false},
        // A user's own attribution changes nothing: the server's clock and host stand.
        {"own login", true, event("nobody"), true, false},
        {"administrator for own login", false, event(self.user), true, true},
        {"administrator for another login", false, event("nobody"), true, true},
        {"another login", true, event(self.user), false, false},
        {"no login: server's identity", true, event(nullptr), true, false},
        {"no time: server's identity", true, event("nobody", nullptr), true, false},
        {"time not a number", true, event("nobody", "yesterday"), false, false},
    };
    for (const Case& c : cases) {
        if (c.as_nobody) {
            ASSERT_EQ(credutl_set_creds(nobody), TBS_ST_OK);
        }
        XmlCall r("<Probe version=\"1.0\"><a/>" + c.event + "<b/></Probe>", "Probe");
        size_t children = 0;
        {
            ProbeRpc rpc(r, [&](ProbeRpc&, VdXmlDoc& req, VdXmlStreamDoc&) {
                children = req.get_root()->get_children().size();
            });
            rpc.respond();
            EXPECT_EQ(rpc.ran, c.runs) << c.what;
            EXPECT_EQ(rpc.saw_event, c.event_set) << c.what;
            EXPECT_FALSE(rpc.event_set()) << c.what;  // removed when the request ends
        }
        credutl_reset_creds();
        if (c.runs) {
            EXPECT_TRUE(r.status.is_ok()) << c.what;
            EXPECT_EQ(children, 2u) << c.what;  // "epfih" is not visible
        } else {
            EXPECT_EQ(r.status.status(), 1001) << c.what;
            EXPECT_STREQ(r.status.text(), "Internal error: setevent failed") << c.what;
            EXPECT_EQ(r.doc(), "") << c.what;
        }
    }
}

TEST(VdXmlRpc, AttributeAddedTooLateClosesTheDocumentAndFails) {
    XmlCall r("<Probe version=\"1.0\"/>", "Probe");
    ProbeRpc rpc(r, [](ProbeRpc&, VdXmlDoc&, VdXmlStreamDoc& resp) {
        VdXmlElem* root = resp.push("r");
        resp.push("c");
        resp.push("d");
        root->add_attr("late", "1");
    });
    rpc.respond();
    EXPECT_EQ(r.doc(), kDecl + "<r><c><d></d></c></r>");
    EXPECT_EQ(r.status.status(), 1001);
    EXPECT_STREQ(r.status.text(),
                 "There was an internal error in the backend: Modified Immutable XML Exception");
}

TEST(VdXmlRpc, ValidateRpcVersionAcceptsASecondVersion) {
    XmlCall r("<Probe version=\"1.1\"/>", "Probe");
    int rc = -1;
    const char* matched = nullptr;
    ProbeRpc rpc(r, [&](ProbeRpc& self, VdXmlDoc& req, VdXmlStreamDoc&) {
        struct Open : VdXmlRpc {
            using VdXmlRpc::validate_rpc_version;
        };
        auto check =
            static_cast<int (VdXmlRpc::*)(const VdXmlElem*, const char*, const char*, const char*,
                                          const char**)>(&Open::validate_rpc_version);
        rc = (self.*check)(req.get_root(), "Probe", "1.2", "1.1", &matched);
        EXPECT_EQ((self.*check)(req.get_root(), "Probe", "1.2", nullptr, nullptr), 1072);
        EXPECT_EQ((self.*check)(nullptr, "Probe", "1.1", nullptr, nullptr), 1072);
    });
    rpc.respond();
    EXPECT_EQ(rc, 0);
    EXPECT_STREQ(matched, "1.1");
}
