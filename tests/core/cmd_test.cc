// Commands of the core against a real VOB: element life cycle, namespace changes,
// metadata, locks and permissions, bad input.
#include "core/cmd/cmd.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <pwd.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/sum/sum_vob.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "core/vob/vob_store.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

class CmdFixture : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &out_);
        storage_ = site_.path() + "/p.vbs";
        ASSERT_EQ(create_vob("/vobs/p", storage_), 0);
        ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob_), 0);
    }
    void TearDown() override {
        credutl_reset_creds();
        cmd_setevent_args_t reset;
        reset.reset = 1;
        cmd_setevent(&reset);
        imsg_set_redirect_table(saved_);
        vob_ob_all_cache_action(4);
    }

    // Makes a file element with its first version checked in, or a directory element
    // checked out and then in (as /main/1).
    tbs_status_t mkelem(const std::string& p, bool dir = false) {
        cmd_mkelem_args_t a;
        a.pnames = {p};
        a.is_dir = dir;
        a.checkin = !dir;
        tbs_status_t st = cmd_utl_mkelem(&a);
        if (st != TBS_ST_OK || !dir) return st;
        cmd_checkin_args_t ci;
        ci.pnames = {p};
        return cmd_checkin(&ci);
    }
    tbs_status_t checkout(const std::string& p, bool reserved = true, bool unreserved = false,
                          const vob_view_ctx_t* view = nullptr) {
        cmd_checkout_args_t a;
        a.pnames = {p};
        a.reserved = reserved;
        a.unreserved = unreserved;
        a.view = view;
        return cmd_checkout(&a);
    }
    tbs_status_t checkin(const std::string& p, const std::string& data, bool identical = false,
                         const vob_view_ctx_t* view = nullptr) {
        std::string src = tmp_ / "src";
        write_file(src, data);
        cmd_checkin_args_t a;
        a.pnames = {p};
        a.from = {src};
        a.identical = identical;
        a.view = view;
        return cmd_checkin(&a);
    }
    std::string contents(const std::string& p) { return cleartext(p, tmp_ / "out"); }

    TempHome site_;
    TempDir tmp_;
    std::string storage_;
    vob_t* vob_ = nullptr;
    Captured out_;
    imsg_redirect_table_t saved_{};
};

TEST_F(CmdFixture, ElementLifeCycle) {
    ASSERT_EQ(mkelem("/vobs/p/src", true), 0) << out_.text;
    ASSERT_EQ(mkelem("/vobs/p/src/a.c"), 0) << out_.text;
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/1");
    EXPECT_EQ(contents("/vobs/p/src/a.c"), "");

    ASSERT_EQ(checkout("/vobs/p/src/a.c"), 0) << out_.text;
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/CHECKEDOUT");
    EXPECT_EQ(checkout("/vobs/p/src/a.c"), TBS_ST_CHECKED_OUT);
    ASSERT_EQ(checkin("/vobs/p/src/a.c", "int x;\n"), 0) << out_.text;
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/2");
    EXPECT_EQ(contents("/vobs/p/src/a.c"), "int x;\n");
    EXPECT_EQ(contents("/vobs/p/src/a.c@@/main/1"), "");
    EXPECT_EQ(idstr("/vobs/p/src/a.c@@/main/LATEST"), "/main/2");

    // Identical contents are refused unless allowed.
    ASSERT_EQ(checkout("/vobs/p/src/a.c"), 0);
    EXPECT_EQ(checkin("/vobs/p/src/a.c", "int x;\n"), TBS_ST_IDENTICAL);
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/CHECKEDOUT");
    EXPECT_EQ(checkin("/vobs/p/src/a.c", "int x;\n", true), 0);
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/3");

    // Uncheckout goes back to the predecessor.
    ASSERT_EQ(checkout("/vobs/p/src/a.c"), 0);
    cmd_uncheckout_args_t un;
    un.pnames = {"/vobs/p/src/a.c"};
    ASSERT_EQ(cmd_uncheckout_with_pop(&un), 0) << out_.text;
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/3");
    EXPECT_EQ(cmd_uncheckout_with_pop(&un), TBS_ST_NOT_CHECKED_OUT);
    EXPECT_EQ(checkin("/vobs/p/src/a.c", "y"), TBS_ST_NOT_CHECKED_OUT);

    // History, newest first.
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/src/a.c", nullptr, 0, &r), 0);
    std::vector<vob_event_info_t> events;
    ASSERT_EQ(vob_obj_get_events(vob_, r.element, &events), 0);
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events.front().kind, "uncheckout version");
    EXPECT_EQ(events.back().kind, "create file element");
}

// A version's bytes as a gzip member, framed from the pool's compressed form; a version
// whose bytes the pool keeps as they are (small, or none) has no gzip form and is read
// plainly; a directory version has neither.
TEST_F(CmdFixture, VersionBytesAsGzip) {
    ASSERT_EQ(mkelem("/vobs/p/src", true), 0) << out_.text;
    ASSERT_EQ(mkelem("/vobs/p/src/a.c"), 0) << out_.text;
    std::string text;
    for (int i = 0; text.size() < 100000; ++i) text += "int f" + std::to_string(i) + "(void);\n";
    ASSERT_EQ(checkout("/vobs/p/src/a.c"), 0);
    ASSERT_EQ(checkin("/vobs/p/src/a.c", text), 0) << out_.text;
    ASSERT_EQ(checkout("/vobs/p/src/a.c"), 0);
    ASSERT_EQ(checkin("/vobs/p/src/a.c", "x\n"), 0) << out_.text;

    auto gunzip = [](vob_content_stream& in) {
        z_stream z{};
        inflateInit2(&z, 15 + 16);
        std::string out;
        std::vector<unsigned char> buf(4096), back(65536);
        int rc = Z_OK;
        size_t got = 1;
        while (rc == Z_OK && got && in.read(buf.data(), buf.size(), &got) == TBS_ST_OK) {
            z.next_in = buf.data();
            z.avail_in = static_cast<uInt>(got);
            do {
                z.next_out = back.data();
                z.avail_out = static_cast<uInt>(back.size());
                rc = inflate(&z, Z_NO_FLUSH);
                out.append(reinterpret_cast<char*>(back.data()), back.size() - z.avail_out);
            } while (rc == Z_OK && (z.avail_in || !z.avail_out));
        }
        inflateEnd(&z);
        return rc == Z_STREAM_END ? out : "<not a whole gzip member>";
    };
    struct Case {
        const char* pname;
        tbs_status_t gzip;
        std::string bytes;
    } const cases[] = {
        {"/vobs/p/src/a.c@@/main/1", TBS_ST_NOT_SUPPORTED, ""},
        {"/vobs/p/src/a.c@@/main/2", TBS_ST_OK, text},
        {"/vobs/p/src/a.c@@/main/3", TBS_ST_NOT_SUPPORTED, "x\n"},
        {"/vobs/p/src", TBS_ST_IS_DIRECTORY, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pname);
        vob_resolved_t r;
        ASSERT_EQ(vob_resolve_pname(c.pname, nullptr, 0, &r), 0);
        std::unique_ptr<vob_content_stream> gz, plain;
        ASSERT_EQ(vob_ver_open_gzip(r.vob, r.version, &gz), c.gzip);
        if (c.gzip == TBS_ST_OK) {
            EXPECT_LT(gz->size(), c.bytes.size() / 4);
            EXPECT_TRUE(gunzip(*gz) == c.bytes);
        } else if (c.gzip == TBS_ST_NOT_SUPPORTED) {
            ASSERT_EQ(vob_ver_open_content(r.vob, r.version, &plain), TBS_ST_OK);
            EXPECT_EQ(plain->size(), c.bytes.size());
        }
    }
}

TEST_F(CmdFixture, ReservedAndUnreservedCheckoutsInTwoViews) {
    ASSERT_EQ(mkelem("/vobs/p/f"), 0);
    vob_view_ctx_t v1, v2;
    v1.view_uuid = tbs_uuid_create();
    v2.view_uuid = tbs_uuid_create();
    ASSERT_EQ(checkout("/vobs/p/f", true, false, &v1), 0) << out_.text;
    EXPECT_EQ(checkout("/vobs/p/f", true, false, &v2), TBS_ST_RESERVED);
    ASSERT_EQ(checkout("/vobs/p/f", true, true, &v2), 0);  // falls back to unreserved
    EXPECT_EQ(idstr("/vobs/p/f", &v2), "/main/CHECKEDOUT");
    EXPECT_EQ(idstr("/vobs/p/f"), "/main/1");  // the null view sees the latest
    // The unreserved one cannot check in while the branch is reserved elsewhere.
    EXPECT_EQ(checkin("/vobs/p/f", "two", false, &v2), TBS_ST_RESERVED);
    ASSERT_EQ(checkin("/vobs/p/f", "one", false, &v1), 0);
    // Now v2's checkout is not from the latest version.
    EXPECT_EQ(checkin("/vobs/p/f", "two", false, &v2), TBS_ST_NOT_LATEST);
    EXPECT_EQ(contents("/vobs/p/f"), "one");
}

TEST_F(CmdFixture, BranchesAndNonLatestCheckout) {
    ASSERT_EQ(mkelem("/vobs/p/f"), 0);
    ASSERT_EQ(checkout("/vobs/p/f"), 0);
    ASSERT_EQ(checkin("/vobs/p/f", "v2"), 0);
    cmd_mktype_args_t t;
    t.mtype = VOB_MTYPE_BRTYPE;
    t.name = "dev";
    t.vob = "/vobs/p";
    ASSERT_EQ(cmd_mktype(&t), 0) << out_.text;
    EXPECT_EQ(cmd_mktype(&t), TBS_ST_EXISTS);

    cmd_checkout_args_t co;
    co.pnames = {"/vobs/p/f@@/main/1"};
    EXPECT_EQ(cmd_checkout(&co), TBS_ST_NOT_LATEST);
    co.branch_type = "dev";
    ASSERT_EQ(cmd_checkout(&co), 0) << out_.text;
    EXPECT_EQ(idstr("/vobs/p/f"), "/main/dev/CHECKEDOUT");
    ASSERT_EQ(checkin("/vobs/p/f", "dev1"), 0) << out_.text;
    EXPECT_EQ(contents("/vobs/p/f@@/main/dev/1"), "dev1");
    EXPECT_EQ(contents("/vobs/p/f@@/main/dev/0"), "");  // made at /main/1
    EXPECT_EQ(contents("/vobs/p/f"), "v2");             // the null view follows main

    // A branch made by a checkout that is then cancelled goes with the pop kind.
    cmd_mktype_args_t t2 = t;
    t2.name = "tmp";
    ASSERT_EQ(cmd_mktype(&t2), 0);
    co.pnames = {"/vobs/p/f"};
    co.branch_type = "tmp";
    ASSERT_EQ(cmd_checkout(&co), 0);
    cmd_uncheckout_args_t un;
    un.pnames = {"/vobs/p/f"};
    un.pop_kind = CMD_POP_EMPTY_BRANCH;
    ASSERT_EQ(cmd_uncheckout_with_pop(&un), 0) << out_.text;
    vob_resolved_t r;
    EXPECT_EQ(vob_resolve_pname("/vobs/p/f@@/main/tmp", nullptr, 0, &r), TBS_ST_NAME_NOT_FOUND);
}

TEST_F(CmdFixture, NamespaceCommands) {
    ASSERT_EQ(mkelem("/vobs/p/d", true), 0);
    ASSERT_EQ(mkelem("/vobs/p/d/a"), 0);
    cmd_mv_args_t mv;
    mv.from = "/vobs/p/d/a";
    mv.to = "/vobs/p/b";
    ASSERT_EQ(cmd_mv(&mv), 0) << out_.text;
    vob_resolved_t r;
    EXPECT_EQ(vob_resolve_pname("/vobs/p/d/a", nullptr, 0, &r), TBS_ST_NAME_NOT_FOUND);
    ASSERT_EQ(vob_resolve_pname("/vobs/p/b", nullptr, 0, &r), 0);
    // The old name still lives in the directory's earlier version.
    vob_resolved_t old;
    EXPECT_EQ(vob_resolve_pname("/vobs/p/d@@/main/1", nullptr, 0, &old), 0);

    mv.from = "/vobs/p/d";
    mv.to = "/vobs/p/d/inner";
    EXPECT_NE(cmd_mv(&mv), 0);  // not below itself

    cmd_ln_args_t ln;
    ln.target = "b";
    ln.link = "/vobs/p/d/to_b";
    ln.symbolic = true;
    ln.target = "../b";
    ASSERT_EQ(cmd_ln(&ln), 0) << out_.text;
    vob_resolved_t via;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/d/to_b", nullptr, 0, &via), 0);
    EXPECT_EQ(via.element, r.element);
    ASSERT_EQ(vob_resolve_pname("/vobs/p/d/to_b", nullptr, VOB_RESOLVE_NOFOLLOW, &via), 0);
    EXPECT_EQ(via.mtype, VOB_MTYPE_SLINK);
    cmd_ln_args_t hard;
    hard.target = "/vobs/p/b";
    hard.link = "/vobs/p/d/b2";
    ASSERT_EQ(cmd_ln(&hard), 0);
    ASSERT_EQ(vob_resolve_pname("/vobs/p/d/b2", nullptr, 0, &via), 0);
    EXPECT_EQ(via.element, r.element);

    cmd_rmname_args_t rm;
    rm.pnames = {"/vobs/p/b"};
    cmd_mkelem_args_t extra;
    extra.pnames = {"/vobs/p/c"};
    extra.checkin = true;
    ASSERT_EQ(checkout("/vobs/p/b"), 0);
    EXPECT_EQ(cmd_rmname(&rm), TBS_ST_CHECKED_OUT);  // nobody to ask: the default, abort
    // A prompt procedure that declines, then one that agrees.
    static int asked = 0;
    imsg_prompt_procs_t procs{};
    procs.proceed = [](int, const char*, int, int) -> int { return ++asked, IMSG_RESP_ABORT; };
    imsg_set_prompt_procs(&procs);
    EXPECT_EQ(cmd_rmname(&rm), TBS_ST_CHECKED_OUT);
    EXPECT_EQ(asked, 1);
    procs.proceed = [](int, const char*, int, int) -> int { return IMSG_RESP_PROCEED; };
    imsg_set_prompt_procs(&procs);
    ASSERT_EQ(cmd_utl_mkelem(&extra), 0);
    rm.pnames = {"/vobs/p/c"};
    ASSERT_EQ(checkout("/vobs/p/c"), 0);
    EXPECT_EQ(cmd_rmname(&rm), 0);
    imsg_set_prompt_procs(nullptr);
    rm.pnames = {"/vobs/p/b"};
    rm.force = true;
    ASSERT_EQ(cmd_rmname(&rm), 0) << out_.text;
    EXPECT_EQ(vob_resolve_pname("/vobs/p/b", nullptr, 0, &r), TBS_ST_NAME_NOT_FOUND);
    // A symbolic link loop ends with an error, not a hang.
    cmd_ln_args_t loop;
    loop.symbolic = true;
    loop.target = "loop";
    loop.link = "/vobs/p/loop";
    ASSERT_EQ(cmd_ln(&loop), 0);
    EXPECT_EQ(vob_resolve_pname("/vobs/p/loop", nullptr, 0, &r), tbs_errno2status(ELOOP));
}

TEST_F(CmdFixture, MakePathAndParentCheckouts) {
    cmd_mkelem_args_t a;
    a.pnames = {"/vobs/p/x/y/z.txt"};
    a.checkin = true;
    a.mkpath = true;
    std::vector<std::string> seen;
    a.observer = [](void* d, int ev, const char* p) {
        static_cast<std::vector<std::string>*>(d)->push_back(std::to_string(ev) + p);
    };
    a.observer_data = &seen;
    ASSERT_EQ(cmd_utl_mkelem(&a), 0) << out_.text;
    EXPECT_EQ(seen, (std::vector<std::string>{"1/vobs/p/x", "1/vobs/p/x/y", "2/vobs/p/x/y/z.txt",
                                              "3/vobs/p/x/y/z.txt"}));
    EXPECT_EQ(idstr("/vobs/p/x/y/z.txt"), "/main/1");
    EXPECT_EQ(idstr("/vobs/p/x/y"), "/main/1");  // checked in with its new name
    std::vector<vob_checkout_info_t> cos;
    ASSERT_EQ(vob_ob_next_ckouts(vob_, 0, &cos), 0);
    EXPECT_TRUE(cos.empty());
    EXPECT_EQ(mkelem("/vobs/p/x/y/z.txt"), TBS_ST_EXISTS);
    EXPECT_EQ(mkelem("/vobs/p/none/z.txt"), TBS_ST_NAME_NOT_FOUND);
}

TEST_F(CmdFixture, LabelsAttributesHyperlinks) {
    ASSERT_EQ(mkelem("/vobs/p/d", true), 0);
    ASSERT_EQ(mkelem("/vobs/p/d/a"), 0);
    cmd_mktype_args_t t;
    t.vob = "/vobs/p";
    t.mtype = VOB_MTYPE_LBTYPE;
    t.name = "REL1";
    ASSERT_EQ(cmd_mktype(&t), 0);
    cmd_mklabel_args_t lb;
    lb.label = "REL1";
    lb.pnames = {"/vobs/p/d"};
    lb.recurse = true;
    ASSERT_EQ(cmd_mklabel(&lb), 0) << out_.text;
    ASSERT_EQ(checkout("/vobs/p/d/a"), 0);
    ASSERT_EQ(checkin("/vobs/p/d/a", "new"), 0);
    EXPECT_EQ(idstr("/vobs/p/d/a@@/main/REL1"), "/main/1");
    lb.recurse = false;
    lb.pnames = {"/vobs/p/d/a"};
    EXPECT_EQ(cmd_mklabel(&lb), TBS_ST_EXISTS);  // on another version already
    lb.replace = true;
    ASSERT_EQ(cmd_mklabel(&lb), 0);
    EXPECT_EQ(idstr("/vobs/p/d/a@@/main/REL1"), "/main/2");
    lb.label = "NOPE";
    EXPECT_EQ(cmd_mklabel(&lb), TBS_ST_TYPE_NOT_FOUND);

    t.mtype = VOB_MTYPE_ATTYPE;
    t.name = "Status";
    ASSERT_EQ(cmd_mktype(&t), 0);
    cmd_mkattr_args_t at;
    at.attype = "Status";
    at.value = "\"ok\"";
    at.objects = {"/vobs/p/d/a"};
    at.value = "\"ok\x1b[2J\"";  // a value no document could show
    EXPECT_EQ(cmd_mkattr(&at), TBS_ST_INVALID);
    at.value = "\"ok\"";
    ASSERT_EQ(cmd_mkattr(&at), 0) << out_.text;
    EXPECT_EQ(cmd_mkattr(&at), TBS_ST_EXISTS);
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/d/a", nullptr, 0, &r), 0);
    std::vector<std::pair<std::string, std::string>> attrs;
    ASSERT_EQ(vob_obj_get_attrs(vob_, r.version, &attrs), 0);
    ASSERT_EQ(attrs.size(), 1u);
    EXPECT_EQ(attrs[0].second, "\"ok\"");
    ASSERT_EQ(cmd_rmattr(&at), 0);
    ASSERT_EQ(vob_obj_get_attrs(vob_, r.version, &attrs), 0);
    EXPECT_TRUE(attrs.empty());

    cmd_mkhlink_args_t hl;
    hl.hltype = "Merge";
    hl.from = "/vobs/p/d/a@@/main/1";
    hl.to = "/vobs/p/d/a@@/main/2";
    ASSERT_EQ(cmd_mkhlink(&hl), 0) << out_.text;
    std::vector<vob_hlink_info_t> links;
    ASSERT_EQ(vob_obj_get_hlinks(vob_, r.version, &links), 0);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].type, "Merge");

    // A type in use is kept unless forced.
    cmd_rmtype_args_t rt;
    rt.selector = "lbtype:REL1@vob:/vobs/p";
    EXPECT_EQ(cmd_rmtype(&rt), TBS_ST_IN_USE);
    rt.force = true;
    ASSERT_EQ(cmd_rmtype(&rt), 0) << out_.text;
    EXPECT_EQ(vob_resolve_pname("/vobs/p/d/a@@/main/REL1", nullptr, 0, &r), TBS_ST_NAME_NOT_FOUND);
}

TEST_F(CmdFixture, SelectorsRoundTrip) {
    ASSERT_EQ(mkelem("/vobs/p/d", true), 0);
    ASSERT_EQ(mkelem("/vobs/p/d/a"), 0);
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/d/a", nullptr, 0, &r), 0);
    char buf[1024];
    ASSERT_EQ(vob_obj_get_selector(vob_, r.version, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "/vobs/p/d/a@@/main/1");
    vob_obj_info_t info;
    ASSERT_EQ(vob_obj_get_info(vob_, r.version, &info), 0);
    char oid[TBS_UUID_STR_SIZE];
    tbs_uuid_to_str(info.oid, oid);
    const std::string family = vob_selector(vob_, VOB_VOBSEL_FAMILY);
    const std::string replica = vob_selector(vob_, VOB_VOBSEL_REPLICA);
    ASSERT_EQ(vob_utl_create_objsel("oid", oid, family.c_str(), buf, sizeof buf), 0);
    char dbid[32];
    snprintf(dbid, sizeof dbid, "%lld", static_cast<long long>(r.version));
    char small[8];
    EXPECT_EQ(vob_utl_create_objsel("dbid", dbid, replica.c_str(), small, sizeof small),
              TBS_ST_TOO_LONG);
    struct Case {
        std::string text;
        vob_dbid_t dbid;
        int mtype;
    } cases[] = {
        {buf, r.version, VOB_MTYPE_VERSION},
        {"dbid:" + std::string(dbid) + "@" + replica, r.version, VOB_MTYPE_VERSION},
        {"/vobs/p/d/a@@", r.element, VOB_MTYPE_FILE_ELEMENT},
        {"/vobs/p/d/a@@/main", 0, VOB_MTYPE_BRANCH},
        {"brtype:main@vob:/vobs/p", 0, VOB_MTYPE_BRTYPE},
        {"hltype:Merge@/vobs/p", 0, VOB_MTYPE_HLTYPE},
        {"vob:/vobs/p", 0, VOB_MTYPE_VOB},
    };
    for (const Case& c : cases) {
        vob_t* vob = nullptr;
        vob_dbid_t got = 0;
        int mtype = 0;
        ASSERT_EQ(vob_resolve_general(c.text.c_str(), nullptr, &vob, &got, &mtype), 0) << c.text;
        EXPECT_EQ(vob, vob_) << c.text;
        if (c.dbid) {
            EXPECT_EQ(got, c.dbid) << c.text;
        }
        EXPECT_EQ(mtype, c.mtype) << c.text;
    }
    for (const char* bad : {"oid:12@/vobs/p", "dbid:x@/vobs/p", "lbtype:@/vobs/p", "nope:x",
                            "vobuuid:zz", "lbtype:a/b@/vobs/p"}) {
        vob_objsel_t sel;
        EXPECT_EQ(vob_utl_parse_objsel(bad, &sel), TBS_ST_BAD_SELECTOR) << bad;
    }
    vob_t* vob = nullptr;
    vob_dbid_t got = 0;
    int mtype = 0;
    EXPECT_EQ(vob_resolve_general("lbtype:NONE@/vobs/p", nullptr, &vob, &got, &mtype),
              TBS_ST_NAME_NOT_FOUND);
    EXPECT_EQ(vob_resolve_general("/vobs/other/x", nullptr, &vob, &got, &mtype),
              TBS_ST_NAME_NOT_FOUND);
}

TEST_F(CmdFixture, BadInputChangesNothing) {
    ASSERT_EQ(mkelem("/vobs/p/d", true), 0);
    int64_t before = 0, after = 0;
    auto count_objects = [&](int64_t* n) {
        std::vector<vob_checkout_info_t> cos;
        vob_ob_next_ckouts(vob_, 0, &cos);
        std::vector<vob_dir_entry_t> entries;
        vob_resolved_t r;
        vob_resolve_pname("/vobs/p/d", nullptr, 0, &r);
        vob_dir_list(vob_, r.version, &entries);
        *n = static_cast<int64_t>(cos.size() * 1000 + entries.size());
    };
    count_objects(&before);
    const std::string long_name(300, 'n');
    for (std::string bad :
         {std::string("/vobs/p/d/a\x01z"), std::string("/vobs/p/d/") + long_name,
          std::string("/vobs/p/d/x@@y"), std::string("/vobs/p/d/"), std::string("/vobs/p/d/.."),
          std::string("/vobs/p/d/a\0b", 13), std::string(), std::string("relative/name")}) {
        EXPECT_NE(mkelem(bad), 0) << bad;
    }
    cmd_mkelem_args_t a;
    a.pnames = {"/vobs/p/d/ok"};
    a.comment_mode = CMD_COMMENT_GIVEN;
    a.comment = std::string(100000, 'c');
    EXPECT_EQ(cmd_utl_mkelem(&a), TBS_ST_TOO_LONG);
    // Control characters no XML document can carry; tab, line feed and CR are text.
    for (std::string bad : {std::string("a\x01z"), std::string("\x1b[2Jcleared"),
                            std::string("form\x0c"), std::string("nul\0inside", 11)}) {
        a.comment = bad;
        EXPECT_EQ(cmd_utl_mkelem(&a), TBS_ST_INVALID) << bad;
    }
    a.comment = "fine";
    a.eltype = "no_such_type";
    EXPECT_EQ(cmd_utl_mkelem(&a), TBS_ST_TYPE_NOT_FOUND);
    EXPECT_EQ(checkin("/vobs/p/d", "x"), TBS_ST_IS_DIRECTORY);
    ASSERT_EQ(mkelem("/vobs/p/f"), 0);
    EXPECT_EQ(checkin("/vobs/p/f", "x"), TBS_ST_NOT_CHECKED_OUT);
    count_objects(&after);
    EXPECT_EQ(before, after);
    a.comment = "two\r\nlines\tand a tab";
    a.eltype.clear();
    EXPECT_EQ(cmd_utl_mkelem(&a), 0) << out_.text;
}

TEST_F(CmdFixture, LocksAndPermissions) {
    ASSERT_EQ(mkelem("/vobs/p/f"), 0);
    cmd_lock_args_t lk;
    lk.objects = {"/vobs/p/f"};
    struct passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    lk.nusers = {"nobody"};
    ASSERT_EQ(cmd_lock(&lk), 0) << out_.text;
    EXPECT_EQ(cmd_lock(&lk), TBS_ST_LOCKED);
    EXPECT_EQ(checkout("/vobs/p/f"), TBS_ST_LOCKED);
    cmd_rmname_args_t rm;
    rm.pnames = {"/vobs/p/f"};
    EXPECT_EQ(cmd_rmname(&rm), TBS_ST_LOCKED);
    // The excluded user may still change it, as far as permissions go.
    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    EXPECT_EQ(checkout("/vobs/p/f"), TBS_ST_PERMISSION);  // not the owner, not in the group
    EXPECT_EQ(cmd_unlock(&lk), TBS_ST_PERMISSION);
    credutl_reset_creds();
    cmd_protect_args_t pr;
    pr.objects = {"/vobs/p/f"};
    pr.mode = 0666;
    EXPECT_EQ(cmd_protect(&pr), TBS_ST_LOCKED);
    ASSERT_EQ(cmd_unlock(&lk), 0);
    ASSERT_EQ(cmd_protect(&pr), 0) << out_.text;
    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    ASSERT_EQ(checkout("/vobs/p/f"), 0) << out_.text;  // others may write now
    ASSERT_EQ(checkin("/vobs/p/f", "by nobody"), 0);
    credutl_reset_creds();

    // An obsolete lock excludes nobody, and a VOB lock covers everything in it.
    lk.obsolete = true;
    lk.objects = {"vob:/vobs/p"};
    ASSERT_EQ(cmd_lock(&lk), 0);
    EXPECT_EQ(mkelem("/vobs/p/g"), TBS_ST_LOCKED);
    ASSERT_EQ(cmd_unlock(&lk), 0);
    EXPECT_EQ(mkelem("/vobs/p/g"), 0);
}

TEST_F(CmdFixture, AtomicCheckinIsAllOrNothing) {
    for (const char* f : {"/vobs/p/a", "/vobs/p/b", "/vobs/p/c"}) ASSERT_EQ(mkelem(f), 0);
    ASSERT_EQ(checkout("/vobs/p/a"), 0);
    ASSERT_EQ(checkout("/vobs/p/c"), 0);
    std::string s1 = tmp_ / "s1", s2 = tmp_ / "s2", s3 = tmp_ / "s3";
    write_file(s1, "A");
    write_file(s2, "B");
    write_file(s3, "C");
    cmd_checkin_args_t ci;
    ci.atomic = true;
    ci.pnames = {"/vobs/p/a", "/vobs/p/b", "/vobs/p/c"};  // b is not checked out
    ci.from = {s1, s2, s3};
    EXPECT_EQ(cmd_checkin(&ci), TBS_ST_NOT_CHECKED_OUT);
    EXPECT_EQ(idstr("/vobs/p/a"), "/main/CHECKEDOUT");
    EXPECT_EQ(idstr("/vobs/p/c"), "/main/CHECKEDOUT");
    ASSERT_EQ(checkout("/vobs/p/b"), 0);
    ASSERT_EQ(cmd_checkin(&ci), 0) << out_.text;
    EXPECT_EQ(contents("/vobs/p/a") + contents("/vobs/p/b") + contents("/vobs/p/c"), "ABC");
}

TEST_F(CmdFixture, SetEventAttributesOperations) {
    cmd_setevent_args_t ev;
    ev.time = 1000000000;
    ev.login = "alice";
    ev.host = "client-host";
    ASSERT_EQ(cmd_setevent(&ev), 0);
    ASSERT_EQ(mkelem("/vobs/p/f"), 0);
    vob_resolved_t r;
    ASSERT_EQ(vob_resolve_pname("/vobs/p/f", nullptr, 0, &r), 0);
    vob_version_info_t v;
    ASSERT_EQ(vob_ver_get_info(vob_, r.version, &v), 0);
    EXPECT_EQ(v.creator, "alice");
    EXPECT_EQ(v.created, 1000000000);
    std::vector<vob_event_info_t> events;
    ASSERT_EQ(vob_obj_get_events(vob_, r.element, &events), 0);
    EXPECT_EQ(events.front().host, "client-host");
    cmd_setevent_args_t reset;
    reset.reset = 1;
    ASSERT_EQ(cmd_setevent(&reset), 0);
    ASSERT_EQ(checkout("/vobs/p/f"), 0);
    ASSERT_EQ(vob_obj_get_events(vob_, r.element, &events), 0);
    EXPECT_NE(events.front().user, "alice");
}

TEST_F(CmdFixture, ImportTree) {
    TempDir src;
    std::filesystem::create_directories(src / "a/b");
    write_file(src / "top.txt", "top");
    write_file(src / "a/one", std::string(100000, 'x'));
    write_file(src / "a/b/two", "two");
    std::filesystem::create_symlink("../top.txt", src / "a/link");
    ASSERT_EQ(mkelem("/vobs/p/imp", true), 0);
    cmd_import_args_t im;
    im.source = src.path();
    im.dest = "/vobs/p/imp";
    ASSERT_EQ(cmd_import(&im), 0) << out_.text;
    EXPECT_EQ(im.files, 3);
    EXPECT_EQ(im.dirs, 2);
    EXPECT_EQ(contents("/vobs/p/imp/a/b/two"), "two");
    EXPECT_EQ(contents("/vobs/p/imp/a/one"), std::string(100000, 'x'));
    EXPECT_EQ(contents("/vobs/p/imp/a/link"), "top");
    std::vector<vob_checkout_info_t> cos;
    ASSERT_EQ(vob_ob_next_ckouts(vob_, 0, &cos), 0);
    EXPECT_TRUE(cos.empty());
    // A second import adds nothing and makes no empty directory versions.
    ASSERT_EQ(cmd_import(&im), 0);
    EXPECT_EQ(im.files, 0);
    EXPECT_EQ(idstr("/vobs/p/imp/a"), "/main/1");
    EXPECT_EQ(idstr("/vobs/p/imp"), "/main/2");
}

TEST_F(CmdFixture, InternalErrorsAreLoggedOneLineEach) {
    imsg_internal_error("VD CM Server", "src/x/file.cc", 42, "bad %s\nshape", "request");
    EXPECT_NE(out_.text.find("Internal error in VD CM Server (file.cc:42): bad request"),
              std::string::npos);
    std::string log = read_file(std::string(tbs_product_log_dir()) + "/internal_error_log");
    EXPECT_NE(log.find(" VD CM Server file.cc:42: bad request shape\n"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    // What went wrong for whom is the site account's alone.
    struct stat file, dir;
    ASSERT_EQ(stat((std::string(tbs_product_log_dir()) + "/internal_error_log").c_str(), &file), 0);
    ASSERT_EQ(stat(tbs_product_log_dir(), &dir), 0);
    EXPECT_EQ(file.st_mode & 07777, 0600u);
    EXPECT_EQ(dir.st_mode & 07777, 0700u);
}

TEST_F(CmdFixture, VobObjectsAndTheirDescriptions) {
    ASSERT_EQ(mkelem("/vobs/p/f"), 0);
    SUM_Vob vob;
    ASSERT_EQ(SUM_Vob::construct_from_tag("/vobs/p", &vob), 0);
    SUM_String sel;
    ASSERT_EQ(vob.selector(VOB_VOBSEL_TAG, &sel), 0);
    EXPECT_EQ(sel.str(), "vob:/vobs/p");
    SUM_VobObject version;
    ASSERT_EQ(SUM_VobObject::construct_from_selector("/vobs/p/f", nullptr, &version), 0);
    ASSERT_EQ(version.selector(&sel), 0);
    EXPECT_EQ(sel.str(), "/vobs/p/f@@/main/1");
    // The stable selector names the same object again.
    ASSERT_EQ(version.stable_selector(&sel), 0);
    SUM_VobObject again;
    ASSERT_EQ(SUM_VobObject::construct_from_selector(sel.c_str(), nullptr, &again), 0);
    vob_dbid_t a = 0, b = 0;
    ASSERT_EQ(version.dbid(&a), 0);
    ASSERT_EQ(again.dbid(&b), 0);
    EXPECT_EQ(a, b);

    cmd_mktype_args_t t;
    t.mtype = VOB_MTYPE_LBTYPE;
    t.name = "REL1";
    t.vob = "/vobs/p";
    t.comment = "first release";
    ASSERT_EQ(cmd_mktype(&t), 0);
    SUM_VobObject label;
    ASSERT_EQ(SUM_VobObject::construct_from_selector("lbtype:REL1@/vobs/p", nullptr, &label), 0);
    SUM_String text;
    ASSERT_EQ(label.description(&text), 0);
    EXPECT_EQ(text.str(), "first release");
    for (SUM_VobObject* o : {&version, &label}) {
        ASSERT_EQ(o->set_description("described", nullptr), 0) << out_.text;
        ASSERT_EQ(o->description(&text), 0);
        EXPECT_EQ(text.str(), "described");
    }
    // Somebody else's object keeps its description.
    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    EXPECT_EQ(label.set_description("not mine", nullptr), TBS_ST_PERMISSION);
    credutl_reset_creds();
    ASSERT_EQ(label.description(&text), 0);
    EXPECT_EQ(text.str(), "described");
    SUM_VobObject null_object;
    EXPECT_EQ(null_object.description(&text), TBS_ST_BAD_REQUEST);
}
