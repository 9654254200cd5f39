// The document model and the streaming writer: element trees in memory and as they are
// written, escaping, attribute lookup, extraction of children, and the chunking of a
// streamed document into "xmlChunk" response parts.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "facade/vdw_session.h"
#include "foundation/wcm_mempool.h"
#include "foundation/wcm_status.h"
#include "request/vdw_abstract_rpc.h"
#include "request/vdw_request.h"
#include "xmlproto/xml/vd_xml_doc.h"
#include "xmlproto/xml/vd_xml_parser.h"
#include "xmlproto/xml/vd_xml_stream.h"
#include "xmlproto/xml/vd_xml_util.h"
#include "xmlproto/xml_test_support.h"

namespace {

std::string written(const VdXmlElem& e) {
    std::ostringstream out;
    out << e;
    return out.str();
}

// An RPC that only carries the response the stream buffer adds its parts to.
class SinkRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override {}
};

}  // namespace

TEST(VdXmlDoc, InMemoryFormEscapesTextAndAttributesAndShortensEmptyElements) {
    VdXmlDoc doc;
    VdXmlElem* root = doc.push("r");
    EXPECT_EQ(doc.get_root(), root);
    VdXmlElem* a = doc.push("a");
    a->add_attr("flag", "");
    a->add_attr("k", "v<&>\"'\n");
    doc.pop();
    VdXmlElem* t = doc.push("t");
    t->add_value("x<y & z>");
    EXPECT_EQ(t->get_encoded_value().str(), "x&lt;y &amp; z&gt;");
    EXPECT_EQ(doc.pop(), root);
    EXPECT_EQ(doc.pop(), nullptr);
    EXPECT_EQ(written(*root),
              "<r><a flag=\"\" k=\"v&lt;&amp;&gt;&quot;'&#10;\"/><t>x&lt;y &amp; z&gt;</t></r>");
    // "&" is escaped first, so the entities put in later are not escaped again.
    VdXmlElem q(&doc, nullptr, "q", "&lt; \"'");
    EXPECT_EQ(q.get_encoded_value().str(), "&amp;lt; \"'");
}

TEST(VdXmlDoc, AttributesAreLookedUpByFirstName) {
    VdXmlDoc doc;
    VdXmlElem* e = doc.push("e");
    e->add_attr("a", "1");
    e->add_attr("a", "2");  // duplicates are kept
    e->add_attr("empty", "");
    EXPECT_EQ(e->get_attrs().size(), 3u);
    EXPECT_EQ(e->get_attr("a").str(), "1");
    EXPECT_TRUE(e->has_attr("empty"));
    EXPECT_FALSE(e->has_attr("none"));
    EXPECT_EQ(e->get_attr("none").str(), "");  // absent and empty read alike
    EXPECT_EQ(e->find_attr("none"), nullptr);
}

TEST(VdXmlDoc, ExtractChildTakesMatchesInOrderAndKeepsThemAlive) {
    VdXmlDoc doc;
    VdXmlElem* root = doc.push("r");
    VdXmlElem* first = doc.push("c");
    first->add_value("1");
    doc.pop();
    doc.push("other");
    doc.pop();
    VdXmlElem* second = doc.push("c");
    doc.pop();
    EXPECT_EQ(root->extract_child("c"), first);
    EXPECT_EQ(root->extract_child("c"), second);
    EXPECT_EQ(root->extract_child("c"), nullptr);
    ASSERT_EQ(root->get_children().size(), 1u);
    EXPECT_EQ(root->get_children()[0]->get_tag().str(), "other");
    EXPECT_EQ(first->get_value().str(), "1");  // still owned by the root, still alive
    EXPECT_EQ(first->get_parent(), root);
    delete second;  // an extracted child may still be deleted on its own
    EXPECT_EQ(root->extract_child("c"), nullptr);
}

TEST(VdXmlDoc, EqualityComparesTagValueAndIdentityOfChildrenAndAttributes) {
    VdXmlDoc doc;
    VdXmlElem a(&doc, nullptr, "e", "v");
    VdXmlElem b(&doc, nullptr, "e", "v");
    EXPECT_TRUE(a == b);
    a.add_attr("k", "1");
    b.add_attr("k", "1");
    EXPECT_TRUE(*a.get_attrs()[0] == *b.get_attrs()[0]);
    EXPECT_TRUE(a != b);  // equal attributes, but not the same ones
    VdXmlElem c(&doc, nullptr, "e", "w");
    EXPECT_TRUE(c != VdXmlElem(&doc, nullptr, "e", "v"));
}

TEST(VdAutoPtr, ReleaseHandsOverAndResetDeletes) {
    int deleted = 0;
    struct Counted {
        explicit Counted(int* n) : n_(n) {}
        virtual ~Counted() { ++*n_; }
        int* n_;
    };
    VdAutoPtr<Counted> p(new Counted(&deleted));
    VdAutoPtr<Counted> q(std::move(p));
    EXPECT_EQ(p.get(), nullptr);
    Counted* raw = q.release();
    EXPECT_EQ(q.get(), nullptr);
    q.reset(raw);
    q.reset(new Counted(&deleted));
    EXPECT_EQ(deleted, 1);
    q.reset();
    EXPECT_EQ(deleted, 2);
}

TEST(VdStrUtil, ReplaceAllDoesNotRescanReplacements) {
    EXPECT_EQ(VdStrUtil::replace_all("a&b&", "&", "&amp;").str(), "a&amp;b&amp;");
    EXPECT_EQ(VdStrUtil::replace_all("aaa", "a", "aa").str(), "aaaaaa");
    EXPECT_EQ(VdStrUtil::replace_all("abc", "", "x").str(), "abc");
}

class StreamTest : public ::testing::Test {
protected:
    StreamTest()
        : in_(""),
          req_(0, nullptr, in_, {{"REQUEST_METHOD", "POST"}}, pool_, 0),
          rpc_(req_, session_, pool_, status_, out_, nullptr) {
        VdXmlStreamElem::reset_declaration_written();
    }
    // The contents of the "xmlChunk" parts written so far, in order.
    std::vector<std::string> chunks() { return xml_chunks(out_.str()); }

    std::istringstream in_;
    WCM_MemPool pool_;
    WCM_Status status_;
    VDW_Session session_;
    std::ostringstream out_;
    VDW_Request req_;
    SinkRpc rpc_;
};

TEST_F(StreamTest, StreamedElementsTakeTheLongFormAndRefuseLateAttributes) {
    VdXmlStreamBuffer buf(&rpc_);
    std::ostream os(&buf);
    VdXmlStreamDoc doc(os);
    VdXmlElem* root = doc.push("r");
    root->add_attr("v", "1");
    doc.push("a");  // writes the root's start tag
    EXPECT_THROW(root->add_attr("late", "x"), VdImmutableXmlException);
    doc.pop();  // the empty element, long form; deleted once written
    EXPECT_EQ(root->get_children().size(), 0u);
    doc.get_curr()->add_value("t&");
    EXPECT_EQ(doc.pop(), nullptr);
    os.flush();
    ASSERT_EQ(chunks().size(), 1u);
    EXPECT_EQ(chunks()[0],
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r v=\"1\"><a></a>t&amp;</r>");
    EXPECT_NE(out_.str().find("Content-Type: text/plain;charset=UTF-8"), std::string::npos);
    // One declaration per process: a second document goes without one.
    VdXmlStreamDoc again(os);
    again.push("s");
    again.pop();
    os.flush();
    EXPECT_EQ(chunks().back(), "<s></s>");
}

TEST_F(StreamTest, TenThousandBytesArriveAsThreeChunks) {
    VdXmlStreamBuffer buf(&rpc_);
    std::ostream os(&buf);
    os << std::string(10000, 'x');
    os.flush();
    os.flush();  // nothing buffered: no empty part
    std::vector<std::string> got = chunks();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].size(), 4096u);
    EXPECT_EQ(got[1].size(), 4096u);
    EXPECT_EQ(got[2].size(), 1808u);
    EXPECT_EQ(got[0] + got[1] + got[2], std::string(10000, 'x'));
}

// Whatever a value holds (control characters kept from before the core refused them, bytes
// that are no UTF-8, characters XML cannot carry, markup), the streamed document is
// well-formed: a real parser reads it back, with U+FFFD where such a character stood, in
// element text and in attribute values alike.
TEST_F(StreamTest, AnyValueGivesAWellFormedDocument) {
    const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
    struct Case {
        const char* what;
        std::string value;
        std::string parsed;
    } cases[] = {
        {"C0 controls",
         "a\x01"
         "b\x1b[1mc\x0c\x7f",
         "a" + bad + "b" + bad + "[1mc" + bad + "\x7f"},
        {"tab and line feed kept", "x\ty\nz", "x\ty\nz"},  // in the attribute too
        {"bytes that are no UTF-8",
         "a\xff\xc3"
         "b",
         "a" + bad + bad + "b"},
        {"a surrogate", "s\xed\xa0\x80", "s" + bad + bad + bad},
        {"U+FFFE and U+FFFF", "\xef\xbf\xbe\xef\xbf\xbf", bad + bad},
        {"markup", "<a b=\"c\">&amp;</a>'", "<a b=\"c\">&amp;</a>'"},
        {"other characters", "\xc3\xbc \xe2\x82\xac \xf0\x9f\x98\x80",
         "\xc3\xbc \xe2\x82\xac \xf0\x9f\x98\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        out_.str("");
        VdXmlStreamElem::reset_declaration_written();
        {
            VdXmlStreamBuffer buf(&rpc_);
            std::ostream os(&buf);
            VdXmlStreamDoc doc(os);
            doc.push("r")->add_attr("v", c.value);
            doc.push("t")->add_value(c.value);
            doc.pop();
            doc.pop();
            os.flush();
        }
        const std::string text = xml_document(out_.str());
        VdXmlParser parser;
        VdAutoPtr<VdXmlDoc> parsed;
        try {
            parsed.reset(parser.parse_string(text.data(), text.size()).release());
        } catch (const VdXmlParseException& e) {
            ADD_FAILURE() << e.get_message().str() << "\n" << text;
            continue;
        }
        const VdXmlElem* root = parsed->get_root();
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->get_attr("v").str(), c.parsed);
        ASSERT_EQ(root->get_children().size(), 1u);
        EXPECT_EQ(root->get_children()[0]->get_value().str(), c.parsed);
    }
}
