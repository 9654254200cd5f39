// VdXmlParser: what a request document becomes, and what it must not be able to do
// (DOCTYPEs, external entities, entity expansion, size and depth, bad encodings, text the
// server's character set cannot hold).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/util/i18n.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"
#include "xmlproto/xml/vd_xml_parser.h"
#include "xmlproto/xml/vd_xml_util.h"

namespace {

VdXmlDoc* parse(VdXmlParser& p, const std::string& text) {
    return p.parse_string(text.data(), text.size()).release();
}

// The message of the refusal, or "accepted".
std::string refusal(const std::string& text) {
    VdXmlParser p;
    try {
        VdAutoPtr<VdXmlDoc> doc(parse(p, text));
        return "accepted";
    } catch (const VdXmlParseException& e) {
        return e.get_message().str();
    }
}

std::string nested(int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "<a>";
    for (int i = 0; i < depth; ++i) s += "</a>";
    return s;
}

}  // namespace

TEST(VdXmlParser, BuildsTheTreeAsWritten) {
    VdXmlParser p;
    VdAutoPtr<VdXmlDoc> doc(parse(p,
                                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<p:r xmlns:p=\"urn:x\" version=\"1.0\">one<e/>two &amp; "
                                  "&lt;three&gt;<c k=\"v\" j=\"\">\xc3\xa9</c></p:r>"));
    EXPECT_EQ(&p.parse_string("<x/>"), &p.parse_string("<y/>"));  // the parser's own holder
    VdXmlElem* root = doc->get_root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->get_tag().str(), "p:r");  // no namespace resolution
    EXPECT_EQ(root->get_attr("xmlns:p").str(), "urn:x");
    EXPECT_EQ(root->get_attr("version").str(), "1.0");
    EXPECT_EQ(root->get_value().str(), "onetwo & <three>");  // text split by a child, joined
    ASSERT_EQ(root->get_children().size(), 2u);
    VdXmlElem* e = root->get_children()[0];
    EXPECT_EQ(e->get_tag().str(), "e");
    EXPECT_EQ(e->get_value().str(), "");
    EXPECT_TRUE(e->get_children().empty());
    VdXmlElem* c = root->get_children()[1];
    EXPECT_EQ(c->get_value().str(), "\xc3\xa9");
    ASSERT_EQ(c->get_attrs().size(), 2u);
    EXPECT_EQ(c->get_attrs()[1]->get_name().str(), "j");
    EXPECT_EQ(doc->get_curr(), nullptr);
}

TEST(VdXmlParser, RefusesHostileAndMalformedDocuments) {
    char path[] = "/tmp/vdxml_secretXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "TOPSECRET", 9), 9);
    close(fd);
    const std::string xxe =
        std::string("<!DOCTYPE r [<!ENTITY x SYSTEM \"file://") + path + "\">]><r>&x;</r>";
    std::string laughs = "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'j'; ++c) {
        std::string refs;
        for (int i = 0; i < 10; ++i) refs += std::string("&") + static_cast<char>(c - 1) + ";";
        laughs += std::string("<!ENTITY ") + c + " \"" + refs + "\">";
    }
    laughs += "]><r>&j;</r>";
    struct Case {
        const char* what;
        std::string text;
        const char* message;  // a part of the refusal's text
    } cases[] = {
        {"doctype", "<!DOCTYPE r><r/>", "DTDs not supported"},
        {"external entity", xxe, "DTDs not supported"},
        {"entity expansion", laughs, "DTDs not supported"},
        {"external subset", "<!DOCTYPE r SYSTEM \"http://127.0.0.1:1/x.dtd\"><r/>",
         "DTDs not supported"},
        {"undeclared entity", "<r>&x;</r>", ""},
        {"not well-formed", "<r><a></r>", ""},
        {"two roots", "<r/><s/>", ""},
        {"empty", "", ""},
        {"invalid UTF-8", "<r>\xc3\x28</r>", ""},
        {"invalid UTF-8 in a name", "<r\xff/>", ""},
        {"too deep", nested(VdXmlParser::MAX_DEPTH + 1), "nested deeper than 256"},
        {"too large", "<r>" + std::string(VdXmlParser::MAX_DOCUMENT_BYTES, 'x') + "</r>",
         "too large"},
    };
    for (const Case& c : cases) {
        const std::string got = refusal(c.text);
        EXPECT_NE(got, "accepted") << c.what;
        EXPECT_NE(got.find(c.message), std::string::npos) << c.what << ": " << got;
        EXPECT_EQ(got.find("TOPSECRET"), std::string::npos) << c.what;
    }
    EXPECT_EQ(refusal(nested(VdXmlParser::MAX_DEPTH)), "accepted");
}

TEST(VdXmlParser, ParsesAFile) {
    TempDir dir;
    const std::string path = write_file(dir / "doc.xml", "<r><c>v</c></r>");
    VdXmlParser p;
    VdAutoPtr<VdXmlDoc> doc(p.parse_file(path.c_str()).release());
    ASSERT_NE(doc->get_root(), nullptr);
    EXPECT_EQ(doc->get_root()->get_children()[0]->get_value().str(), "v");
    EXPECT_THROW(p.parse_file((dir / "missing.xml").c_str()), VdXmlParseException);
    // A file larger than the bound is refused before it is read.
    const std::string big =
        write_file(dir / "big.xml", std::string(VdXmlParser::MAX_DOCUMENT_BYTES + 1, ' '));
    EXPECT_THROW(p.parse_file(big.c_str()), VdXmlParseException);
}

// With a server character set that cannot hold every character, such text refuses the
// document, naming it with "?" in place of what does not convert.
TEST(VdXmlParser, RefusesWhatTheServerCharacterSetCannotHold) {
    const char* saved = getenv("VERDANE_CHARSET");
    const std::string old = saved ? saved : "";
    setenv("VERDANE_CHARSET", "ISO-8859-1", 1);
    i18n_reset_native();
    VdXmlUtil::reset_converter();
    const std::string in_text = refusal("<r>a\xe2\x82\xac</r>");  // the euro sign
    const std::string in_name = refusal("<r\xe2\x82\xac/>");
    const std::string latin = refusal("<r>\xc3\xa9</r>");
    if (saved)
        setenv("VERDANE_CHARSET", old.c_str(), 1);
    else
        unsetenv("VERDANE_CHARSET");
    i18n_reset_native();
    VdXmlUtil::reset_converter();
    EXPECT_EQ(in_text,
              "VDSRV2013: Error: One or more characters in the following string is not supported "
              "by the server's operating system: \"a?\".\n");
    EXPECT_NE(in_name.find("VDSRV2013"), std::string::npos) << in_name;
    EXPECT_EQ(latin, "accepted");
}
