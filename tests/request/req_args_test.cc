// The RPC argument string: generator and parser round trips, the matching protocol and
// its messages, the buffer limits, and the value decoders.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/sum/imsg_redirector.h"
#include "core/tbs/tbs.h"
#include "request/vdw_req_args.h"

namespace {

const std::string kPrematureEnd = "VDSRV1196: Malformed Request Args: premature end of arg list.\n";

std::string too_long_msg(const std::string& line) {
    return "VDSRV1197: Malformed Request Args: line too long \"" + line.substr(0, 64) + "...\".\n";
}

std::string expected_msg(const std::string& expected, const std::string& got) {
    return "VDSRV1198: Malformed Request Args.  Expected arg \"" + expected + "\".  Got arg \"" +
           got + "\".\n";
}

std::string problem_msg(const std::string& arg) {
    return "VDSRV1199: Problem parsing request args for arg \"" + arg + "\".\n";
}

view_fhandle sample_fh() {
    view_fhandle fh{};
    tbs_uuid_from_str("0123456789abcdef0123456789ABCDEF", &fh.view_uuid);
    fh.vob_dbid = 0x1f;
    fh.elem_dbid = 0;
    fh.ver_dbid = ULONG_MAX;
    fh.gen = 7;
    fh.flags = 0xabc;
    return fh;
}

bool same_fh(const view_fhandle& a, const view_fhandle& b) {
    return memcmp(&a.view_uuid, &b.view_uuid, sizeof a.view_uuid) == 0 &&
           a.vob_dbid == b.vob_dbid && a.elem_dbid == b.elem_dbid && a.ver_dbid == b.ver_dbid &&
           a.gen == b.gen && a.flags == b.flags;
}

// Reads one required argument and returns its value, failing the test when it is absent.
std::string need(VDW_ReqArgsParser& p, const char* name) {
    WCM_Status st;
    const char* value = nullptr;
    EXPECT_TRUE(p.match_next(name, &value, st)) << name;
    EXPECT_TRUE(st.is_ok()) << name;
    return value ? value : "<null>";
}

}  // namespace

// ---- Generator and parser together ------------------------------------------------------

TEST(ReqArgs, GeneratorWritesTheWireFormat) {
    std::ostringstream out;
    VDW_ReqArgsGenerator gen(out);
    gen.add_arg("BeginItem");
    gen.add_arg("Comment", "line one\nline two\n");
    gen.add_arg("Empty", static_cast<const char*>(nullptr));
    gen.add_arg("Flag", true);
    gen.add_arg("Off", false);
    gen.add_arg("Count", -42L);
    gen.add_arg("Dbid", ULONG_MAX);
    gen.add_pname_arg("Scope", "C:\\views\\main\\a b.c");
    gen.add_arg("Dfh", sample_fh());
    EXPECT_EQ(out.str(),
              "BeginItem\n"
              "Comment=line one%0Aline two%0A\n"
              "Empty=\n"
              "Flag=1\n"
              "Off=0\n"
              "Count=-42\n"
              "Dbid=18446744073709551615\n"
              "Scope=C:/views/main/a b.c\n"
              "Dfh=0123456789abcdef0123456789abcdef,1f,0,ffffffffffffffff,7,abc\n");
}

TEST(ReqArgs, EveryKindRoundTrips) {
    std::ostringstream out;
    VDW_ReqArgsGenerator gen(out);
    const std::string rich = "first\n\nthird = x\n";
    gen.add_arg("Item");
    gen.add_arg("Text", rich.c_str());
    gen.add_arg("Yes", true);
    gen.add_arg("No", false);
    gen.add_arg("Min", LONG_MIN);
    gen.add_arg("Max", LONG_MAX);
    gen.add_arg("Int", -7L);
    gen.add_pname_arg("Path", "\\\\server\\share\\dir");
    gen.add_arg("Fh", sample_fh());

    VDW_ReqArgsParser p(out.str().c_str());
    EXPECT_EQ(need(p, "Item"), "");
    std::string text = need(p, "Text");
    EXPECT_EQ(VDW_ReqArgsParser::decode_rich_string(text.data()), rich);
    EXPECT_TRUE(VDW_ReqArgsParser::decode_bool(need(p, "Yes").c_str()));
    EXPECT_FALSE(VDW_ReqArgsParser::decode_bool(need(p, "No").c_str()));
    EXPECT_EQ(VDW_ReqArgsParser::decode_long(need(p, "Min").c_str()), LONG_MIN);
    EXPECT_EQ(VDW_ReqArgsParser::decode_long(need(p, "Max").c_str()), LONG_MAX);
    EXPECT_EQ(VDW_ReqArgsParser::decode_int(need(p, "Int").c_str()), -7);
    char buf[VDW_PNAME_BUF_SIZE];
    EXPECT_STREQ(VDW_ReqArgsParser::decode_pname(need(p, "Path").c_str(), buf),
                 "//server/share/dir");
    view_fhandle fh{};
    WCM_Status st;
    EXPECT_TRUE(VDW_ReqArgsParser::decode_fh(need(p, "Fh").c_str(), &fh, st));
    EXPECT_TRUE(st.is_ok());
    EXPECT_TRUE(same_fh(fh, sample_fh()));
    EXPECT_FALSE(p.has_more_args());
}

// ---- Reading lines ----------------------------------------------------------------------

TEST(ReqArgsParser, NextSplitsAtTheFirstEqualsSign) {
    struct Case {
        const char* line;
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"a=b=c\n", "a", "b=c"}, {"plain\n", "plain", ""}, {"=v\n", "", "v"},
        {"k=\n", "k", ""},       {"\n", "", ""},           {"sp ace= v \r\n", "sp ace", " v \r"},
    };
    for (const Case& c : cases) {
        VDW_ReqArgsParser p(c.line);
        const char* name = nullptr;
        const char* value = nullptr;
        WCM_Status st;
        ASSERT_TRUE(p.has_more_args()) << c.line;
        EXPECT_TRUE(p.next(name, value, st)) << c.line;
        EXPECT_STREQ(name, c.name) << c.line;
        EXPECT_STREQ(value, c.value) << c.line;
        EXPECT_FALSE(p.has_more_args()) << c.line;
    }
}

TEST(ReqArgsParser, HasMoreArgsLooksAheadWithoutLosingACharacter) {
    VDW_ReqArgsParser p("x=1\ny\n");
    WCM_Status st;
    const char* name;
    const char* value;
    EXPECT_TRUE(p.has_more_args());
    EXPECT_TRUE(p.has_more_args());  // peeking twice reads nothing more
    ASSERT_TRUE(p.next(name, value, st));
    EXPECT_STREQ(name, "x");
    EXPECT_STREQ(value, "1");
    EXPECT_TRUE(p.has_more_args());
    ASSERT_TRUE(p.next(name, value, st));
    EXPECT_STREQ(name, "y");
    EXPECT_FALSE(p.has_more_args());

    VDW_ReqArgsParser empty(nullptr);
    EXPECT_FALSE(empty.has_more_args());
}

TEST(ReqArgsParser, InputEndingBeforeALineFeedIsPrematureEnd) {
    for (const char* args : {"", "Name=value", "a\nb=unterminated"}) {
        SUM_ImsgRedirector capture;
        VDW_ReqArgsParser p(args);
        WCM_Status st;
        const char* name = nullptr;
        const char* value = nullptr;
        if (strchr(args, '\n')) {
            ASSERT_TRUE(p.next(name, value, st));
        }
        EXPECT_FALSE(p.next(name, value, st)) << args;
        EXPECT_EQ(st.status(), 1001) << args;
        EXPECT_STREQ(st.text(), "") << args;  // printed, not added to the status
        EXPECT_EQ(capture.text(), kPrematureEnd) << args;
        // The partial line is dropped, the parser is at the end and stays there.
        EXPECT_STREQ(name, "");
        EXPECT_STREQ(value, "");
        EXPECT_FALSE(p.has_more_args());
    }
}

// ---- The matching protocol --------------------------------------------------------------

TEST(ReqArgsParser, MatchNextReportsExpectedAndGotAndKeepsTheLine) {
    SUM_ImsgRedirector capture;
    VDW_ReqArgsParser p("Scope=a/b\nEnd\n");
    WCM_Status st;
    const char* value = "stale";
    EXPECT_FALSE(p.match_next("ViewUuid", &value, st));
    EXPECT_EQ(st.status(), 1001);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(capture.text(), expected_msg("ViewUuid", "Scope"));
    EXPECT_STREQ(st.text(), "");

    // The unconsumed line is handed out again, not the one after it.
    EXPECT_TRUE(p.has_more_args());
    WCM_Status st2;
    EXPECT_TRUE(p.match_next("Scope", &value, st2));
    EXPECT_TRUE(st2.is_ok());
    EXPECT_STREQ(value, "a/b");
    EXPECT_EQ(need(p, "End"), "");
}

TEST(ReqArgsParser, MatchNextAfterAReadFailureNamesTheArgument) {
    SUM_ImsgRedirector capture;
    VDW_ReqArgsParser p("First=1\n");
    EXPECT_EQ(need(p, "First"), "1");
    WCM_Status st;
    const char* value = "stale";
    EXPECT_FALSE(p.match_next("Second", &value, st));
    EXPECT_EQ(st.status(), 1001);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(capture.text(), kPrematureEnd + problem_msg("Second"));
}

TEST(ReqArgsParser, MatchNextOptLeavesAnotherNameForTheNextCall) {
    SUM_ImsgRedirector capture;
    VDW_ReqArgsParser p("ViewUuid=u\nComment=c\nSelector=s\n");
    WCM_Status st;
    const char* value = nullptr;
    bool found = true;

    EXPECT_TRUE(p.match_next_opt("ElemPath", &value, found, st));  // absent
    EXPECT_FALSE(found);
    EXPECT_EQ(value, nullptr);
    EXPECT_TRUE(p.match_next_opt("ViewUuid", &value, found, st));  // present
    EXPECT_TRUE(found);
    EXPECT_STREQ(value, "u");
    EXPECT_TRUE(p.match_next_opt("VersionString", &value, found, st));
    EXPECT_FALSE(found);
    EXPECT_TRUE(p.match_next_opt("Other", &value, found, st));  // same line tried again
    EXPECT_FALSE(found);
    EXPECT_TRUE(p.match_next_opt("Comment", &value, found, st));
    EXPECT_TRUE(found);
    EXPECT_STREQ(value, "c");
    EXPECT_EQ(need(p, "Selector"), "s");

    // A trailing optional argument the client left out is simply absent.
    EXPECT_TRUE(p.match_next_opt("Baseline", &value, found, st));
    EXPECT_FALSE(found);
    EXPECT_TRUE(st.is_ok());
    EXPECT_EQ(capture.text(), "");
}

TEST(ReqArgsParser, MatchNextOptFailsOnAnUnterminatedLine) {
    SUM_ImsgRedirector capture;
    VDW_ReqArgsParser p("Comment=no line feed");
    WCM_Status st;
    const char* value = nullptr;
    bool found = true;
    EXPECT_FALSE(p.match_next_opt("Comment", &value, found, st));
    EXPECT_FALSE(found);
    EXPECT_EQ(st.status(), 1001);
    EXPECT_EQ(capture.text(), kPrematureEnd + problem_msg("Comment"));
}

// ---- Limits -----------------------------------------------------------------------------

TEST(ReqArgsParser, NameAndValueLimits) {
    const std::string max_name(VDW_REQ_ARG_NAME_MAX, 'n');
    const std::string max_value(VDW_REQ_ARG_VALUE_MAX, 'v');
    struct Case {
        std::string line;  // without its line feed
        bool fits;
    };
    const Case cases[] = {
        {max_name + "=" + max_value, true},
        {max_name + "n=v", false},                 // name one over
        {max_name + "n", false},                   // a line without "=" is all name
        {"k=" + max_value + "v", false},           // value one over
        {"k=" + max_value + "=", false},           // a later "=" is part of the value
        {std::string(100000, 'x'), false},         // far over, no "="
        {"k=" + std::string(100000, '%'), false},  // far over in the value
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.size());
        SUM_ImsgRedirector capture;
        const std::string args = c.line + "\nAfter=ok\n";
        VDW_ReqArgsParser p(args.c_str());
        WCM_Status st;
        const char* name = nullptr;
        const char* value = nullptr;
        EXPECT_EQ(p.next(name, value, st), c.fits);
        if (c.fits) {
            EXPECT_EQ(strlen(name), VDW_REQ_ARG_NAME_MAX);
            EXPECT_EQ(strlen(value), VDW_REQ_ARG_VALUE_MAX);
            EXPECT_EQ(capture.text(), "");
        } else {
            EXPECT_EQ(st.status(), 1001);
            EXPECT_EQ(capture.text(), too_long_msg(c.line));
            EXPECT_STREQ(name, "");
            EXPECT_STREQ(value, "");
        }
        // The rest of a too-long line is skipped: the next argument is the next line.
        EXPECT_EQ(need(p, "After"), "ok");
        EXPECT_FALSE(p.has_more_args());
    }
}

TEST(ReqArgsParser, TooLongLastLineWithoutLineFeedReportsOnlyTheLength) {
    SUM_ImsgRedirector capture;
    const std::string line = "k=" + std::string(VDW_REQ_ARG_VALUE_MAX + 10, 'v');
    VDW_ReqArgsParser p(line.c_str());
    WCM_Status st;
    const char* value = nullptr;
    EXPECT_FALSE(p.match_next("k", &value, st));
    EXPECT_EQ(capture.text(), too_long_msg(line) + problem_msg("k"));
    EXPECT_FALSE(p.has_more_args());
}

TEST(ReqArgsPname, SeparatorsAndLengthLimit) {
    const std::string at_limit = std::string(VDW_PNAME_MAX - 2, 'p') + "\\q";
    const std::string over = std::string(VDW_PNAME_MAX + 1, 'p');
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"C:\\views\\main", "C:/views/main"},
        {"/already/unix", "/already/unix"},
        {"", ""},
        {at_limit, std::string(VDW_PNAME_MAX - 2, 'p') + "/q"},
        {over, VDW_PNAME_TOO_LONG},
        {std::string(100000, '\\'), VDW_PNAME_TOO_LONG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.size());
        char buf[VDW_PNAME_BUF_SIZE];
        EXPECT_EQ(VDW_ReqArgsGenerator::encode_pname(c.in.c_str(), buf), c.out);
        EXPECT_EQ(VDW_ReqArgsParser::decode_pname(c.in.c_str(), buf), c.out);
        std::string in_place = c.in;
        EXPECT_EQ(VDW_ReqArgsParser::decode_pname(in_place.data()), c.out);
    }
}

// ---- Value decoders ---------------------------------------------------------------------

TEST(ReqArgsDecode, BoolIntLongAndRichString) {
    for (const char* t : {"0", "", "true", "11", " 1", "1 ", "01"})
        EXPECT_FALSE(VDW_ReqArgsParser::decode_bool(t)) << t;
    EXPECT_FALSE(VDW_ReqArgsParser::decode_bool(nullptr));
    EXPECT_TRUE(VDW_ReqArgsParser::decode_bool("1"));

    struct Num {
        const char* text;
        int i;
        long l;
    };
    const Num nums[] = {
        {"42", 42, 42},
        {"  -17xyz", -17, -17},
        {"abc", 0, 0},
        {"", 0, 0},
        {"3000000000", INT_MAX, 3000000000L},
        {"-3000000000", INT_MIN, -3000000000L},
        {"99999999999999999999999", INT_MAX, LONG_MAX},
    };
    for (const Num& n : nums) {
        EXPECT_EQ(VDW_ReqArgsParser::decode_int(n.text), n.i) << n.text;
        EXPECT_EQ(VDW_ReqArgsParser::decode_long(n.text), n.l) << n.text;
    }
    EXPECT_EQ(VDW_ReqArgsParser::decode_int(nullptr), 0);

    struct Rich {
        const char* in;
        const char* out;
    };
    const Rich rich[] = {
        {"a%0Ab%0A%0A", "a\nb\n\n"},
        {"%0a stays", "%0a stays"},
        {"%0%0A", "%0\n"},
        {"100%", "100%"},
        {"%0", "%0"},
        {"%%0AA", "%\nA"},
    };
    for (const Rich& r : rich) {
        std::string s = r.in;
        EXPECT_STREQ(VDW_ReqArgsParser::decode_rich_string(s.data()), r.out) << r.in;
    }
}

TEST(ReqArgsDecode, FileHandleMustBeExactlySixFields) {
    const std::string uuid = "0123456789abcdef0123456789abcdef";
    const std::string malformed =
        "Operation \"decode_fh\" failed: " + std::string(tbs_strerror(1001)) + ".\n";
    auto bad_uuid = [](const std::string& text) {
        return "Operation \"tbs_uuid_from_str\" failed on \"" + text + "\": " + tbs_strerror(1001) +
               ".\n";
    };
    struct Case {
        std::string text;
        std::string message;  // empty: accepted
    };
    const Case cases[] = {
        {uuid + ",1f,0,ffffffffffffffff,7,abc", ""},
        {uuid + ",1F,0,FFFFFFFFFFFFFFFF,7,ABC", ""},
        {uuid + ",0000000000000000001f,0,ffffffffffffffff,7,abc", ""},  // leading zeros fit
        {"", malformed},
        {uuid, malformed},
        {uuid + ",1,2,3,4", malformed},                    // a word missing
        {uuid + ",1,2,3,4,5,6", malformed},                // a word too many
        {uuid + ",1,2,3,4,5,", malformed},                 // trailing comma
        {uuid + ",1,2,3,4,5 ", malformed},                 // trailing blank
        {uuid + ",1,2,3,4,5x", malformed},                 // trailing garbage
        {uuid + ",1,,3,4,5", malformed},                   // empty word
        {uuid + ",1,2,3,4,10000000000000000", malformed},  // 17 digits: overflow
        {uuid + ",0x1,2,3,4,5", malformed},
        {uuid + ",-1,2,3,4,5", malformed},
        {uuid + ", 1,2,3,4,5", malformed},
        {uuid + "0,1,2,3,4,5", malformed},  // UUID of 33 digits
        {std::string(5000, 'f') + ",1,2,3,4,5", malformed},
        {uuid.substr(1) + ",1,2,3,4,5", bad_uuid(uuid.substr(1))},  // 31 digits
        {",1,2,3,4,5", bad_uuid("")},
        {std::string(32, 'g') + ",1,2,3,4,5", bad_uuid(std::string(32, 'g'))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SUM_ImsgRedirector capture;
        view_fhandle fh = sample_fh();
        fh.gen = 12345;
        const view_fhandle before = fh;
        WCM_Status st;
        bool ok = VDW_ReqArgsParser::decode_fh(c.text.c_str(), &fh, st);
        EXPECT_EQ(capture.text(), c.message);
        if (c.message.empty()) {
            EXPECT_TRUE(ok);
            EXPECT_TRUE(st.is_ok());
            EXPECT_TRUE(same_fh(fh, sample_fh()));
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(st.status(), 1001);
            EXPECT_TRUE(same_fh(fh, before));
        }
    }
    WCM_Status st;
    view_fhandle fh{};
    SUM_ImsgRedirector capture;
    EXPECT_FALSE(VDW_ReqArgsParser::decode_fh(nullptr, &fh, st));
    EXPECT_EQ(capture.text(), malformed);
}
