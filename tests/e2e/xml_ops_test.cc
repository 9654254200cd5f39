// The operation RPCs of the XML protocol through lighttpd and vdweb.cgi, as a logged-in
// user: each family once in a web view (the "Snapshot" members, pathnames relative to the
// copy area) and, where this machine can serve dynamic views, once in a dynamic view (the
// "Dynamic" members, pathnames below the view's root on the server); requests of the wrong
// shape change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/cred/credutl.h"
#include "core/tbs/tbs.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "e2e/multipart.h"
#include "e2e/rpc_client.h"
#include "e2e/site_test.h"
#include "e2e/test_users.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// A VOB /vobs/src whose elements alice owns: d/a.c (/main/1 and /main/2 changed the first
// line, /main/dev/1 the last), d/b.c; label, attribute and branch types; a web view.
class XmlOpsTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string one = write_file(site_.home() + "/one", "a\nb\nc\n");
        const std::string two = write_file(site_.home() + "/two", "A\nb\nc\n");
        const std::string dev = write_file(site_.home() + "/dev", "a\nb\nC\n");
        vdtool_lines({
            {"mkvob", "-tag", "/vobs/src", site_.home() + "/vobs/src.vbs"},
            {"mkbrtype", "dev@/vobs/src"},
            {"mklbtype", "REL1@/vobs/src"},
            {"mkattype", "Reviewed@/vobs/src"},
            {"mkelem", "-mkpath", "-ci", "-from", one, "/vobs/src/d/a.c"},
            {"mkelem", "-ci", "-from", one, "/vobs/src/d/b.c"},
            {"co", "-branch", "dev", "/vobs/src/d/a.c"},
            {"ci", "-from", dev, "/vobs/src/d/a.c"},
            {"co", "/vobs/src/d/a.c"},
            {"ci", "-from", two, "/vobs/src/d/a.c"},
            {"protect", "-chown", kAlice.name, "/vobs/src/d", "/vobs/src/d/a.c", "/vobs/src/d/b.c"},
        });
        // Alice's own web view: what it keeps on the server is hers to read.
        ASSERT_EQ(credutl_set_credentials(kAlice.name, nullptr), 0);
        const tbs_status_t made = run_vdtool(&cap_, {"mkview", "-tag", "alice_web", "-webview",
                                                     site_.home() + "/views/alice_web.vws"});
        credutl_reset_creds();
        ASSERT_EQ(made, 0) << cap_.err;
    }

    // Sends `xml` as the request of `rpc` (with `upload` as the request's file when given);
    // the response document is left in `doc`.
    Response xml(const char* rpc, const std::string& body, std::string* doc = nullptr,
                 const std::string* upload = nullptr) {
        std::string rich;
        for (char c : body) rich += c == '\n' ? std::string("%0A") : std::string(1, c);
        PostOptions o;
        o.upload = upload;
        Response r = post_rpc(server_.url(), rpc, rich, kAlice, o);
        EXPECT_TRUE(r.complete) << r.error << "\n" << server_.error_log();
        if (doc) {
            doc->clear();
            for (const Part* p : r.named("xmlChunk")) *doc += p->content;
        }
        view_cache_clear();
        vob_ob_all_cache_action(4);
        return r;
    }
    static std::string root(const char* rpc, const char* version, const std::string& inner) {
        return std::string("<") + rpc + " version=\"" + version + "\">" + inner + "</" + rpc + ">";
    }

    // The elements checked out in view `tag`, by VOB pathname, with their comments.
    std::vector<std::string> checkouts(const char* tag) {
        view_t* view = nullptr;
        vob_t* vob = nullptr;
        std::vector<std::string> out;
        if (view_open_by_tag(tag, &view) != 0 || vob_open_by_tag("/vobs/src", &vob) != 0)
            return {"<no view>"};
        std::vector<vob_checkout_info_t> cos;
        vob_ob_view_ckouts(vob, view->uuid, &cos);
        for (const vob_checkout_info_t& c : cos) {
            std::vector<vob_binding_t> names;
            vob_obj_get_bindings(vob, c.element, &names);
            out.push_back((names.empty() ? std::string("?") : names.back().name) +
                          (c.comment.empty() ? "" : ":" + c.comment));
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    // What `pname` is in view `tag`: its version id ("/main/3", "/main/CHECKEDOUT"), or
    // "<none>".
    std::string version_of(const char* tag, const std::string& pname) {
        view_t* view = nullptr;
        vob_resolved_t r;
        std::string id;
        if (view_open_by_tag(tag, &view) != 0 ||
            vob_resolve_pname(pname.c_str(), &view->ctx, 0, &r) != 0)
            return "<none>";
        if (r.mtype == VOB_MTYPE_SLINK) return "<link>";
        vob_ver_get_idstr(r.vob, r.version, &id);
        return id;
    }
    // The bytes of a version-extended pathname.
    std::string contents(const std::string& version) {
        vob_resolved_t r;
        if (vob_resolve_pname(version.c_str(), nullptr, 0, &r) != 0) return "<none>";
        const std::string out = site_.home() + "/cleartext";
        if (vob_ver_get_cleartext(r.vob, r.version, out.c_str()) != 0) return "<unreadable>";
        return slurp(out);
    }
    static std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return in ? s.str() : "<unreadable>";
    }
    static bool has(const std::string& doc, const std::string& part) {
        return doc.find(part) != std::string::npos;
    }
};

const char* const kWs = "workspace:/alice_web";

// Check out, check in (both request versions, with the client's contents), check in all or
// none, and cancel a checkout, in a web view.
TEST_F(XmlOpsTest, CheckoutCheckinAndUncheckoutInAWebView) {
    // Checkouts whose children are out of place or empty: 1072, nothing checked out.
    const std::string res = std::string("<resource>") + kWs + "</resource>";
    for (const char* rpc : {"BulkCheckoutSnapshot", "BulkCheckoutDynamic"}) {
        for (const std::string& inner :
             {res + "<comment>x</comment><checkout-flags/><path>vobs/src/d/a.c</path>",
              res + "<checkout-flags/><path/>",
              std::string("<resource/><checkout-flags/><path>vobs/src/d/a.c</path>"),
              res + "<path>vobs/src/d/a.c</path><checkout-flags/>"}) {
            Response bad = xml(rpc, root(rpc, "1.0", inner));
            EXPECT_EQ(status_of(bad), "1072") << rpc << ": " << inner;
        }
    }
    EXPECT_EQ(checkouts("alice_web"), std::vector<std::string>{});
    // An empty comment checks out without one; a path that climbs out names nothing.
    const std::string co =
        std::string("<resource>") + kWs + "</resource><checkout-flags reserved=\"true\"/><path>";
    Response ok = xml("BulkCheckoutSnapshot",
                      root("BulkCheckoutSnapshot", "1.0", co + "vobs/src/d/a.c</path><comment/>"));
    ASSERT_EQ(status_of(ok), "0") << text_of(ok);
    EXPECT_EQ(checkouts("alice_web"), std::vector<std::string>{"a.c"});
    Response out = xml("BulkCheckoutSnapshot",
                       root("BulkCheckoutSnapshot", "1.0", co + "vobs/../../etc/passwd</path>"));
    EXPECT_EQ(status_of(out), "1072");

    // The client's contents arrive with the request; version 1.0 is the older request.
    std::string doc;
    const std::string three = "three\n";
    Response ci = xml("BulkCheckinSnapshot",
                      root("BulkCheckinSnapshot", "1.0",
                           std::string("<path>") + kWs +
                               "/vobs/src/d/a.c</path><comment>third</comment><checkin-flags/>"),
                      &doc, &three);
    ASSERT_EQ(status_of(ci), "0") << text_of(ci);
    EXPECT_TRUE(has(doc, "<BulkCheckinSnapshotResponse><checked-in><path>")) << doc;
    EXPECT_TRUE(has(doc, "<version>/vobs/src/d/a.c@@/main/3</version>")) << doc;
    EXPECT_EQ(contents("/vobs/src/d/a.c@@/main/3"), "three\n");
    EXPECT_EQ(checkouts("alice_web"), std::vector<std::string>{});
    for (const auto& [rpc, version] :
         {std::pair{"BulkCheckinSnapshot", "1.2"}, std::pair{"BulkCheckinDynamic", "1.0"}}) {
        Response wrong = xml(rpc, root(rpc, version, "<path>vobs/src/d/a.c</path>"));
        EXPECT_EQ(status_of(wrong), "1072") << rpc << " " << version;
    }

    // Atomic: b.c is not checked out, so a.c is not checked in either.
    ASSERT_EQ(status_of(xml("BulkCheckoutSnapshot",
                            root("BulkCheckoutSnapshot", "1.0",
                                 co + "vobs/src/d/a.c</path><comment>atom</comment>"))),
              "0");
    const std::string set = std::string("<checkin-file-set><checkin-file><path>") + kWs +
                            "/vobs/src/d/a.c</path></checkin-file><checkin-file><path>" + kWs +
                            "/vobs/src/d/b.c</path></checkin-file></checkin-file-set>"
                            "<checkin-flags checkin-identical=\"true\"/>";
    Response none = xml("AtomicCheckinSnapshot", root("AtomicCheckinSnapshot", "1.0", set));
    EXPECT_NE(status_of(none), "0");
    EXPECT_EQ(checkouts("alice_web"), std::vector<std::string>{"a.c:atom"});
    ASSERT_EQ(status_of(xml("BulkCheckoutSnapshot",
                            root("BulkCheckoutSnapshot", "1.0", co + "vobs/src/d/b.c</path>"))),
              "0");
    Response all = xml("AtomicCheckinSnapshot", root("AtomicCheckinSnapshot", "1.0", set), &doc);
    ASSERT_EQ(status_of(all), "0") << text_of(all);
    EXPECT_TRUE(has(doc, "<AtomicCheckinSnapshotResponse><checked-in>")) << doc;
    EXPECT_TRUE(has(doc, "/vobs/src/d/b.c@@/main/2")) << doc;
    EXPECT_EQ(checkouts("alice_web"), std::vector<std::string>{});

    // Atomic with three items, the second of which someone else's checkin has overtaken:
    // the answer names that merge alone and nothing goes in; with the merge recorded, all do.
    const std::string one = write_file(site_.home() + "/c-one", "c\n");
    const std::string other = write_file(site_.home() + "/b-other", "other\n");
    vdtool_lines({{"mkelem", "-ci", "-from", one, "/vobs/src/d/c.c"},
                  {"protect", "-chown", kAlice.name, "/vobs/src/d/c.c"}});
    for (const char* leaf : {"a.c", "c.c"})
        ASSERT_EQ(
            status_of(xml("BulkCheckoutSnapshot", root("BulkCheckoutSnapshot", "1.0",
                                                       co + "vobs/src/d/" + leaf + "</path>"))),
            "0");
    ASSERT_EQ(status_of(xml("BulkCheckoutSnapshot",
                            root("BulkCheckoutSnapshot", "1.0",
                                 std::string("<resource>") + kWs +
                                     "</resource><checkout-flags/><path>vobs/src/d/b.c</path>"))),
              "0");
    vdtool_lines({{"co", "/vobs/src/d/b.c"}, {"ci", "-from", other, "/vobs/src/d/b.c"}});
    auto three_items = [&](const std::string& b_extra) {
        std::string files;
        for (const char* leaf : {"a.c", "b.c", "c.c"})
            files += std::string("<checkin-file><path>") + kWs + "/vobs/src/d/" + leaf + "</path>" +
                     (std::string(leaf) == "b.c" ? b_extra : "") + "</checkin-file>";
        return "<checkin-file-set>" + files +
               "</checkin-file-set><checkin-flags checkin-identical=\"true\"/>";
    };
    Response overtaken =
        xml("AtomicCheckinSnapshot", root("AtomicCheckinSnapshot", "1.0", three_items("")), &doc);
    EXPECT_EQ(status_of(overtaken), "100006") << text_of(overtaken);
    EXPECT_TRUE(has(doc, std::string("<merge-needed><path>") + kWs + "/vobs/src/d/b.c</path>"))
        << doc;
    EXPECT_FALSE(has(doc, "d/a.c</path></merge-needed>") || has(doc, "<checked-in>")) << doc;
    EXPECT_EQ(checkouts("alice_web").size(), 3u);
    Response merged =
        xml("AtomicCheckinSnapshot",
            root("AtomicCheckinSnapshot", "1.0",
                 three_items("<from-version>/vobs/src/d/b.c@@/main/3</from-version>")),
            &doc);
    ASSERT_EQ(status_of(merged), "0") << text_of(merged);
    EXPECT_TRUE(has(doc, "/vobs/src/d/b.c@@/main/4")) << doc;
    EXPECT_TRUE(has(doc, "/vobs/src/d/c.c@@/main/2")) << doc;
    EXPECT_EQ(checkouts("alice_web"), std::vector<std::string>{});

    // A named version checked out, answered with the checkout's resource.
    std::string local;
    Response named = xml("VersionCheckoutLocal",
                         root("VersionCheckoutLocal", "1.0",
                              std::string("<view>") + kWs +
                                  "</view><checked-out-file>vobs/src/d/b.c@@/main/2"
                                  "</checked-out-file><checkout-flags reserved=\"true\"/>"),
                         &local);
    ASSERT_EQ(status_of(named), "0") << text_of(named);
    EXPECT_TRUE(has(local,
                    "<VersionCheckoutLocalResponse><checked-out-file reserved=\"true\">"
                    "<resource resource-type=\"web-file\">"))
        << local;
    EXPECT_EQ(checkouts("alice_web"), std::vector<std::string>{"b.c"});

    // Cancelled checkouts leave the version as it was; an unknown pop kind is refused.
    const std::string unco = std::string("<path>") + kWs + "/vobs/src/d/b.c</path>";
    EXPECT_EQ(status_of(xml("UncheckoutSnapshot", root("UncheckoutSnapshot", "1.0",
                                                       unco + "<pop_kind>sideways</pop_kind>"))),
              "1072");
    Response un = xml("UncheckoutSnapshot",
                      root("UncheckoutSnapshot", "1.0", unco + "<uncheckout-flags/><pop_kind/>"));
    ASSERT_EQ(status_of(un), "0") << text_of(un);
    EXPECT_EQ(checkouts("alice_web"), std::vector<std::string>{});
    EXPECT_EQ(version_of("alice_web", "/vobs/src/d/b.c"), "/main/4");
}

// A checkout of a version that is not the latest on its branch is refused with 100009
// unless the client asks for it ("non-latest"); a checkin of it then needs the latest merged
// in (100006 with what to merge), and passes once the client says it merged it.
TEST_F(XmlOpsTest, NonLatestCheckoutAndMergeBeforeCheckin) {
    vdtool_lines_as(kAlice,
                    {{"mkview", "-tag", "old_web", "-webview", site_.home() + "/views/old.vws"}});
    view_t* view = nullptr;
    ASSERT_EQ(view_open_by_tag("old_web", &view), 0);
    std::vector<std::string> errors;
    ASSERT_EQ(view_set_cspec(view, VIEW_SETCS_REPLACE,
                             "element * CHECKEDOUT\nelement * /main/1\nload /vobs/src\n", &errors),
              0);
    const std::string co =
        "<resource>workspace:/old_web</resource><checkout-flags reserved=\"true\"";
    Response refused = xml("BulkCheckoutSnapshot", root("BulkCheckoutSnapshot", "1.0",
                                                        co + "/><path>vobs/src/d/a.c</path>"));
    EXPECT_EQ(status_of(refused), "100009") << text_of(refused);
    EXPECT_EQ(checkouts("old_web"), std::vector<std::string>{});
    Response taken =
        xml("BulkCheckoutSnapshot", root("BulkCheckoutSnapshot", "1.0",
                                         co + " non-latest=\"true\"/><path>vobs/src/d/a.c</path>"));
    ASSERT_EQ(status_of(taken), "0") << text_of(taken);

    std::string doc;
    const std::string merged = "merged\n";
    const std::string ci = "<path>workspace:/old_web/vobs/src/d/a.c</path>";
    Response needs =
        xml("BulkCheckinSnapshot", root("BulkCheckinSnapshot", "1.1", ci), &doc, &merged);
    EXPECT_EQ(status_of(needs), "100006");
    EXPECT_TRUE(has(doc,
                    "<merge-needed><path>workspace:/old_web/vobs/src/d/a.c</path>"
                    "<base-version>/vobs/src/d/a.c@@/main/1</base-version>"
                    "<from-version>/vobs/src/d/a.c@@/main/2</from-version>"))
        << doc;
    Response done = xml("BulkCheckinSnapshot",
                        root("BulkCheckinSnapshot", "1.1",
                             ci + "<from-version>/vobs/src/d/a.c@@/main/2</from-version>"),
                        &doc, &merged);
    ASSERT_EQ(status_of(done), "0") << text_of(done);
    EXPECT_EQ(contents("/vobs/src/d/a.c@@/main/3"), "merged\n");
}

// Elements made, moved and removed, a merge from a branch, a label, an attribute applied and
// removed, and a symbolic link, in a web view.
TEST_F(XmlOpsTest, NamesMergeLabelsAttributesAndLinksInAWebView) {
    const std::string ws = std::string("<view>") + kWs + "</view>";
    const std::string body = "new\n";
    Response mk = xml("BulkMkelemSnapshot",
                      root("BulkMkelemSnapshot", "1.0",
                           ws + "<path>vobs/src/d/n.c</path><element-type-name>text_file"
                                "</element-type-name><comment>made</comment>"
                                "<mkelem-flags checkin=\"true\"/>"),
                      nullptr, &body);
    ASSERT_EQ(status_of(mk), "0") << text_of(mk);
    EXPECT_EQ(version_of("alice_web", "/vobs/src/d/n.c"), "/main/1");
    EXPECT_EQ(contents("/vobs/src/d/n.c@@/main/1"), "new\n");

    Response mv = xml("MoveSnapshot", root("MoveSnapshot", "1.0",
                                           ws + "<source-dir>vobs/src/d</source-dir><old-name>n.c"
                                                "</old-name><dest-dir>vobs/src/d</dest-dir>"
                                                "<new-name>m.c</new-name>"));
    ASSERT_EQ(status_of(mv), "0") << text_of(mv);
    EXPECT_EQ(version_of("alice_web", "/vobs/src/d/n.c"), "<none>");
    EXPECT_EQ(version_of("alice_web", "/vobs/src/d/m.c"), "/main/1");
    Response rm =
        xml("RemoveSnapshot", root("RemoveSnapshot", "1.0", ws + "<pname>vobs/src/d/m.c</pname>"));
    ASSERT_EQ(status_of(rm), "0") << text_of(rm);
    EXPECT_EQ(version_of("alice_web", "/vobs/src/d/m.c"), "<none>");

    // The branch's change merged into a checkout: the result kept beside the view's copy.
    ASSERT_EQ(status_of(xml("BulkCheckoutSnapshot",
                            root("BulkCheckoutSnapshot", "1.0",
                                 std::string("<resource>") + kWs +
                                     "</resource><checkout-flags/><path>vobs/src/d/a.c</path>"))),
              "0");
    std::string merge_doc;
    Response merge =
        xml("MergeSnapshotRpc",
            root("MergeSnapshotRpc", "1.0",
                 ws + "<to-version>vobs/src/d/a.c</to-version><contrib-versions><contrib>"
                      "/vobs/src/d/a.c@@/main/dev/1</contrib></contrib-versions>"),
            &merge_doc);
    ASSERT_EQ(status_of(merge), "0") << text_of(merge);
    view_t* web = nullptr;
    ASSERT_EQ(view_open_by_tag("alice_web", &web), 0);
    EXPECT_EQ(slurp(web->private_root + "/vobs/src/d/a.c.merge.out"), "A\nb\nC\n");
    EXPECT_TRUE(fs::exists(web->private_root + "/vobs/src/d/a.c.contrib"));
    // The answer names the files, and the client reads them back from the view; a name
    // climbing out of the view's storage, and another user, are refused.
    EXPECT_TRUE(has(merge_doc,
                    "<MergeSnapshotResponse><merge-output>/vobs/src/d/a.c.merge.out"
                    "</merge-output><contrib-output>/vobs/src/d/a.c.contrib"
                    "</contrib-output></MergeSnapshotResponse>"))
        << merge_doc;
    const std::string uuid = tbs_uuid_text(web->uuid);
    auto read_kept = [&](const std::string& pname, const TestUser& who) {
        const std::string a = args({{"ResourceSelector", pname}, {"ViewUuid", uuid}});
        return http_post(server_.url(), form_body("VDW_Vdcore::read_content_rpc", a.c_str()), who);
    };
    Response kept = read_kept("/vobs/src/d/a.c.merge.out", kAlice);
    ASSERT_EQ(status_of(kept), "0") << text_of(kept);
    EXPECT_EQ(kept.parts[0].content, "A\nb\nC\n");
    Response contrib = read_kept("/vobs/src/d/a.c.contrib", kAlice);
    EXPECT_EQ(contrib.parts[0].content, "a\nb\nC\n");
    EXPECT_NE(status_of(read_kept("/vobs/src/d/../../../../etc/passwd", kAlice)), "0");
    EXPECT_NE(status_of(read_kept("/vobs/src/d/a.c.merge.out", kMallory)), "0");
    Response arrow =
        xml("MakeMergeArrowRpc", root("MakeMergeArrowRpc", "1.0",
                                      "<from-version>/vobs/src/d/a.c@@/main/dev/1</from-version>"
                                      "<to-version>vobs/src/d/a.c</to-version><view-context>" +
                                          std::string(kWs) + "</view-context>"));
    EXPECT_EQ(status_of(arrow), "0") << text_of(arrow);

    Response label =
        xml("ApplyLabelRpc", root("ApplyLabelRpc", "1.0",
                                  std::string("<Element>vobs/src/d/b.c</Element><Version>/main/1"
                                              "</Version><View>") +
                                      kWs +
                                      "</View><Selector>lbtype:REL1@/vobs/src</Selector>"
                                      "<ApplyLabel-Flags replace=\"true\"/>"));
    ASSERT_EQ(status_of(label), "0") << text_of(label);
    EXPECT_EQ(version_of("alice_web", "/vobs/src/d/b.c@@/main/REL1"), "/main/1");

    auto attrs = [&]() {
        vob_resolved_t r;
        std::vector<std::pair<std::string, std::string>> list;
        if (vob_resolve_pname("/vobs/src/d/b.c@@/main/1", nullptr, 0, &r) == 0)
            vob_obj_get_attrs(r.vob, r.version, &list);
        return list.size() == 1 ? list[0].first + "=" + list[0].second
                                : std::to_string(list.size());
    };
    const std::string target = std::string("<resource>") + kWs +
                               "/vobs/src/d/b.c</resource><name>Reviewed</name>"
                               "<version-id>/main/1</version-id>";
    Response attr = xml("ApplyAttributeRpc",
                        root("ApplyAttributeRpc", "1.0", target + "<value>\"yes\"</value>"));
    ASSERT_EQ(status_of(attr), "0") << text_of(attr);
    EXPECT_EQ(attrs(), "Reviewed=\"yes\"");
    Response unattr = xml("RemoveAttributeRpc", root("RemoveAttributeRpc", "1.0", target));
    ASSERT_EQ(status_of(unattr), "0") << text_of(unattr);
    EXPECT_EQ(attrs(), "0");

    std::string doc;
    Response ln = xml("MkLinkRpc",
                      root("MkLinkRpc", "1.0",
                           ws + "<parent-dir>vobs/src/d</parent-dir><link-name>l"
                                "</link-name><target>b.c</target><is-symlink>true"
                                "</is-symlink>"),
                      &doc);
    ASSERT_EQ(status_of(ln), "0") << text_of(ln);
    EXPECT_TRUE(has(doc, "<mklink-response><new-link><resource resource-type=\"web-symlink\">"))
        << doc;
}

// An activity of a stream becomes the current activity of the stream's view, named by its
// selector or by its name alone.
// A user who is not the site's administrator may attribute a request only to their own
// login, and it changes nothing: the operation's event carries the server's clock and host,
// not the time and host the request names.
TEST_F(XmlOpsTest, AUsersAttributionCannotSetTimeOrHost) {
    const std::string attribution = std::string("<epfih><tau>1000000000</tau><lambda>") +
                                    kAlice.name + "</lambda><eta>forged.example</eta></epfih>";
    Response attr = xml("ApplyAttributeRpc",
                        root("ApplyAttributeRpc", "1.0",
                             attribution + "<resource>" + kWs +
                                 "/vobs/src/d/b.c</resource><name>Reviewed</name>"
                                 "<version-id>/main/1</version-id><value>\"yes\"</value>"));
    ASSERT_EQ(status_of(attr), "0") << text_of(attr);
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/src/d/b.c@@/main/1", nullptr, 0, &r), 0);
    std::vector<vob_event_info_t> events;
    ASSERT_EQ(vob_obj_get_events(r.vob, r.version, &events), 0);
    auto made = std::find_if(events.begin(), events.end(),
                             [](const vob_event_info_t& e) { return e.kind == "make attribute"; });
    ASSERT_NE(made, events.end());
    EXPECT_EQ(made->user, kAlice.name);
    EXPECT_NE(made->host, "forged.example");
    EXPECT_GT(made->at, 1600000000);
}

TEST_F(XmlOpsTest, WorkOnAnActivity) {
    vdtool_lines({
        {"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.home() + "/vobs/pvob.vbs"},
        {"mkcomp", "-root", "/vobs/src", "src@/vobs/pvob"},
        {"mkproject", "-modcomp", "component:src@/vobs/pvob", "proj@/vobs/pvob"},
        {"mkstream", "-in", "project:proj@/vobs/pvob", "-integration", "int@/vobs/pvob"},
        {"mkstream", "-in", "project:proj@/vobs/pvob", "dev@/vobs/pvob"},
        {"mkactivity", "-in", "stream:dev@/vobs/pvob", "fix@/vobs/pvob"},
        {"mkactivity", "-in", "stream:dev@/vobs/pvob", "feature@/vobs/pvob"},
    });
    vdtool_lines_as(kAlice, {{"mkview", "-tag", "dev_view", "-stream", "stream:dev@/vobs/pvob",
                              site_.home() + "/views/dev.vws"}});
    auto current = [&]() {
        view_t* v = nullptr;
        view_xcm_t x;
        if (view_open_by_tag("dev_view", &v) != 0 || view_get_xcm(v, &x) != 0) return int64_t{-1};
        return static_cast<int64_t>(x.activity);
    };
    EXPECT_EQ(current(), 0);
    for (const char* rpc : {"WorkOnRpc", "BindActivityRpc"}) {
        Response r = xml(rpc, root(rpc, "1.0",
                                   "<view>workspace:/dev_view</view><activity-selector>"
                                   "activity:fix@/vobs/pvob</activity-selector>"));
        ASSERT_EQ(status_of(r), "0") << rpc << ": " << text_of(r);
        const int64_t fix = current();
        EXPECT_GT(fix, 0);
        r = xml(rpc, root(rpc, "1.0",
                          "<view>workspace:/dev_view</view><activity-selector>feature"
                          "</activity-selector>"));
        ASSERT_EQ(status_of(r), "0") << rpc << ": " << text_of(r);
        EXPECT_NE(current(), fix);
        EXPECT_EQ(status_of(xml(rpc, root(rpc, "1.0", "<view>workspace:/dev_view</view>"))),
                  "1072");
    }
}

// The same families in a dynamic view, its files read and written through its root.
TEST_F(XmlOpsTest, OperationsInADynamicView) {
    std::string why;
    if (!view_vtfs_available(&why)) GTEST_SKIP() << why;
    // The views' daemons end with the test, however it ends.
    struct EndViews {
        Captured* cap;
        ~EndViews() {
            for (const char* tag : {"alice_dyn", "old_dyn"}) run_vdtool(cap, {"endview", tag});
        }
    } end_views{&cap_};
    vdtool_lines_as(kAlice,
                    {{"mkview", "-tag", "alice_dyn", "-dynamic", site_.home() + "/views/dyn.vws"}});
    const std::string dir = site_.home() + "/view/alice_dyn/vobs/src/d";
    auto path = [&](const char* leaf) { return "<path>" + dir + "/" + leaf + "</path>"; };
    const std::string co = "<resource>" + dir + "/a.c</resource><checkout-flags/>";
    // Refused in a web view's resource; checked out through the dynamic view's root.
    Response wrong_kind = xml("BulkCheckoutDynamic",
                              root("BulkCheckoutDynamic", "1.0",
                                   std::string("<resource>") + kWs +
                                       "</resource><checkout-flags/><path>vobs/src/d/a.c</path>"));
    EXPECT_EQ(status_of(wrong_kind), "1072");
    Response out = xml("BulkCheckoutDynamic",
                       root("BulkCheckoutDynamic", "1.0", co + "<path>/etc/passwd</path>"));
    EXPECT_EQ(status_of(out), "1072");
    Response c = xml("BulkCheckoutDynamic", root("BulkCheckoutDynamic", "1.0",
                                                 co + path("a.c") + "<comment>dyn</comment>"));
    ASSERT_EQ(status_of(c), "0") << text_of(c);
    EXPECT_EQ(checkouts("alice_dyn"), std::vector<std::string>{"a.c:dyn"});
    {
        std::ofstream edit(dir + "/a.c", std::ios::binary | std::ios::trunc);
        edit << "A\nB\nc\n";
    }
    std::string doc;
    // The older request version ("1.1") is accepted.
    Response ci = xml("BulkCheckinDynamic", root("BulkCheckinDynamic", "1.1", path("a.c")), &doc);
    ASSERT_EQ(status_of(ci), "0") << text_of(ci);
    EXPECT_EQ(contents("/vobs/src/d/a.c@@/main/3"), "A\nB\nc\n");

    // Atomic: b.c unchanged is refused without "checkin-identical", so the edited a.c does
    // not go in either; with it both do. Then a checkout cancelled.
    for (const char* leaf : {"a.c", "b.c"})
        ASSERT_EQ(status_of(xml("BulkCheckoutDynamic",
                                root("BulkCheckoutDynamic", "1.0", co + path(leaf)))),
                  "0");
    {
        std::ofstream edit(dir + "/a.c", std::ios::binary | std::ios::trunc);
        edit << "X\nB\nc\n";
    }
    const std::string set = "<checkin-file-set><checkin-file>" + path("a.c") +
                            "</checkin-file><checkin-file>" + path("b.c") +
                            "</checkin-file></checkin-file-set>";
    Response refused =
        xml("AtomicCheckinDynamic", root("AtomicCheckinDynamic", "1.0", set + "<checkin-flags/>"));
    EXPECT_NE(status_of(refused), "0");
    EXPECT_EQ(checkouts("alice_dyn"), (std::vector<std::string>{"a.c", "b.c"}));
    EXPECT_EQ(slurp(dir + "/a.c"), "X\nB\nc\n") << "the edit is still the checkout's";
    Response atom = xml(
        "AtomicCheckinDynamic",
        root("AtomicCheckinDynamic", "1.0", set + "<checkin-flags checkin-identical=\"true\"/>"),
        &doc);
    ASSERT_EQ(status_of(atom), "0") << text_of(atom);
    EXPECT_TRUE(has(doc, "<AtmoicCheckinDynamicResponse><checked-in>")) << doc;
    EXPECT_EQ(contents("/vobs/src/d/a.c@@/main/4"), "X\nB\nc\n");
    ASSERT_EQ(
        status_of(xml("BulkCheckoutDynamic", root("BulkCheckoutDynamic", "1.0", co + path("b.c")))),
        "0");
    ASSERT_EQ(status_of(xml("UncheckoutDynamic", root("UncheckoutDynamic", "1.0", path("b.c")))),
              "0");
    EXPECT_EQ(checkouts("alice_dyn"), std::vector<std::string>{});

    // Names: made from the view's own file (written in the checked-out directory), moved,
    // removed; a link; a label; an attribute.
    ASSERT_EQ(status_of(xml("BulkCheckoutDynamic",
                            root("BulkCheckoutDynamic", "1.0", co + "<path>" + dir + "</path>"))),
              "0");
    {
        std::ofstream made(dir + "/n.c", std::ios::binary);
        made << "private\n";
    }
    Response mk = xml("BulkMkelemDynamic", root("BulkMkelemDynamic", "1.0",
                                                path("n.c") + "<mkelem-flags checkin=\"true\"/>"));
    ASSERT_EQ(status_of(mk), "0") << text_of(mk);
    EXPECT_EQ(version_of("alice_dyn", "/vobs/src/d/n.c"), "/main/1");
    EXPECT_EQ(slurp(dir + "/n.c"), "private\n") << "seen through the view";
    Response mv = xml("MoveDynamic", root("MoveDynamic", "1.0",
                                          "<source-dir>" + dir +
                                              "</source-dir><old-name>n.c"
                                              "</old-name><dest-dir>" +
                                              dir +
                                              "</dest-dir>"
                                              "<new-name>m.c</new-name>"));
    ASSERT_EQ(status_of(mv), "0") << text_of(mv);
    EXPECT_TRUE(fs::exists(dir + "/m.c"));
    Response rm =
        xml("RemoveDynamic", root("RemoveDynamic", "1.0", "<pname>" + dir + "/m.c</pname>"));
    ASSERT_EQ(status_of(rm), "0") << text_of(rm);
    EXPECT_FALSE(fs::exists(dir + "/m.c"));
    Response ln = xml("MkLinkRpc", root("MkLinkRpc", "1.0",
                                        "<view>workspace:/alice_dyn</view><parent-dir>" + dir +
                                            "</parent-dir><link-name>l</link-name><target>b.c"
                                            "</target><is-symlink>true</is-symlink>"));
    ASSERT_EQ(status_of(ln), "0") << text_of(ln);
    EXPECT_EQ(fs::read_symlink(dir + "/l").string(), "b.c");
    Response label = xml("ApplyLabelRpc", root("ApplyLabelRpc", "1.0",
                                               "<Element>" + dir +
                                                   "/b.c</Element><View>"
                                                   "workspace:/alice_dyn</View><Selector>REL1"
                                                   "</Selector>"));
    ASSERT_EQ(status_of(label), "0") << text_of(label);
    EXPECT_EQ(version_of("alice_dyn", "/vobs/src/d/b.c@@/main/REL1"), "/main/2");
    Response attr = xml("ApplyAttributeRpc",
                        root("ApplyAttributeRpc", "1.0",
                             "<resource>workspace:/alice_dyn/vobs/src/d/b.c</resource><name>"
                             "Reviewed</name><value>1</value>"));
    ASSERT_EQ(status_of(attr), "0") << text_of(attr);

    // A merge from the branch writes the checkout's file in the view.
    ASSERT_EQ(
        status_of(xml("BulkCheckoutDynamic", root("BulkCheckoutDynamic", "1.0", co + path("a.c")))),
        "0");
    Response merge =
        xml("MergeRpc", root("MergeRpc", "2.1",
                             "<to-version>" + dir +
                                 "/a.c</to-version>"
                                 "<contrib-versions><contrib>/vobs/src/d/a.c@@/main/dev/1"
                                 "</contrib></contrib-versions>"));
    ASSERT_EQ(status_of(merge), "0") << text_of(merge);
    EXPECT_EQ(slurp(dir + "/a.c"), "X\nB\nC\n");
    ASSERT_EQ(status_of(xml("UncheckoutDynamic", root("UncheckoutDynamic", "1.0", path("a.c")))),
              "0");
    EXPECT_EQ(checkouts("alice_dyn"), std::vector<std::string>{"d"});

    // A view that selects an older version: refused (100009) unless the client asks for
    // the latest on the branch.
    vdtool_lines_as(kAlice,
                    {{"mkview", "-tag", "old_dyn", "-dynamic", site_.home() + "/views/old.vws"}});
    view_t* old = nullptr;
    ASSERT_EQ(view_open_by_tag("old_dyn", &old), 0);
    std::vector<std::string> errors;
    ASSERT_EQ(view_set_cspec(old, VIEW_SETCS_REPLACE, "element * CHECKEDOUT\nelement * /main/1\n",
                             &errors),
              0);
    const std::string old_a = site_.home() + "/view/old_dyn/vobs/src/d/a.c";
    const std::string old_co = "<resource>" + old_a + "</resource><checkout-flags";
    Response stale = xml("BulkCheckoutDynamic", root("BulkCheckoutDynamic", "1.0",
                                                     old_co + "/><path>" + old_a + "</path>"));
    EXPECT_EQ(status_of(stale), "100009") << text_of(stale);
    Response latest = xml("BulkCheckoutDynamic",
                          root("BulkCheckoutDynamic", "1.0",
                               old_co + " latest-on-branch=\"true\"/><path>" + old_a + "</path>"));
    ASSERT_EQ(status_of(latest), "0") << text_of(latest);
    EXPECT_EQ(slurp(old_a), "X\nB\nc\n") << "the latest on main, not /main/1";
    ASSERT_EQ(status_of(xml("UncheckoutDynamic",
                            root("UncheckoutDynamic", "1.0", "<path>" + old_a + "</path>"))),
              "0");

    // The version named, not the latest, checked out in the dynamic view: the view's file
    // holds it, and the answer names the checkout.
    std::string local;
    Response named = xml("VersionCheckoutLocal",
                         root("VersionCheckoutLocal", "1.0",
                              "<view>workspace:/alice_dyn</view><checked-out-file>" + dir +
                                  "/a.c@@/main/1</checked-out-file><checkout-flags "
                                  "reserved=\"true\"/>"),
                         &local);
    ASSERT_EQ(status_of(named), "0") << text_of(named);
    EXPECT_TRUE(has(local, "<VersionCheckoutLocalResponse><checked-out-file reserved=\"true\">"))
        << local;
    EXPECT_TRUE(has(local, "/vobs/src/d/a.c")) << local;
    EXPECT_EQ(checkouts("alice_dyn"), (std::vector<std::string>{"a.c", "d"}));
    EXPECT_EQ(slurp(dir + "/a.c"), contents("/vobs/src/d/a.c@@/main/1"));
    ASSERT_EQ(status_of(xml("UncheckoutDynamic", root("UncheckoutDynamic", "1.0", path("a.c")))),
              "0");
}

}  // namespace
}  // namespace e2e
