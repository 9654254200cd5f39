// The VOB's change journal: which elements each command names, one generation per command,
// nothing for changes a view cannot see, and trimming with its low-water mark.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/store/db.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "core/vob/vob_store.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

class ChangeJournal : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(drop_message, nullptr);
        ASSERT_EQ(create_vob("/vobs/p", site_.path() + "/p.vbs"), 0);
        ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob_), 0);
        ASSERT_EQ(mkelem_ci("/vobs/p/src", true), 0);
        ASSERT_EQ(mkelem_ci("/vobs/p/doc", true), 0);
        ASSERT_EQ(mkelem_ci("/vobs/p/src/a.c", false, write_file(tmp_ / "a", "a1")), 0);
        ASSERT_EQ(mkelem_ci("/vobs/p/src/b.c"), 0);
        cmd_mktype_args_t t;
        t.mtype = VOB_MTYPE_LBTYPE;
        t.name = "REL1";
        t.vob = "/vobs/p";
        ASSERT_EQ(cmd_mktype(&t), 0);
        t.mtype = VOB_MTYPE_BRTYPE;
        t.name = "dev";
        ASSERT_EQ(cmd_mktype(&t), 0);
        t.mtype = VOB_MTYPE_ATTYPE;
        t.name = "Status";
        ASSERT_EQ(cmd_mktype(&t), 0);
    }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        vob_ob_all_cache_action(4);
    }

    int64_t gen() {
        int64_t g = 0, low = 0;
        EXPECT_EQ(vob_change_state(vob_, &g, &low), 0);
        return g;
    }
    vob_dbid_t element(const std::string& pname) {
        vob_resolved_t r;
        if (vob_resolve_pname(pname.c_str(), nullptr, VOB_RESOLVE_NOFOLLOW, &r) != 0) return -1;
        return r.mtype == VOB_MTYPE_SLINK ? r.dbid : r.element;
    }
    std::set<vob_dbid_t> since(int64_t after) {
        std::vector<vob_dbid_t> e;
        EXPECT_EQ(vob_changes_since(vob_, after, gen(), 1000, &e), 0);
        return {e.begin(), e.end()};
    }
    static cmd_mklabel_args_t label(const std::string& p, bool replace = false) {
        cmd_mklabel_args_t a;
        a.label = "REL1";
        a.pnames = {p};
        a.replace = replace;
        return a;
    }

    TempHome site_;
    TempDir tmp_;
    vob_t* vob_ = nullptr;
    imsg_redirect_table_t saved_{};
};

// Each command is one generation naming exactly the elements whose selection or names it
// changed; commands that change neither leave the generation where it was.
TEST_F(ChangeJournal, EachCommandNamesWhatItChanged) {
    vob_view_ctx_t other;
    other.view_uuid = tbs_uuid_create();
    struct Case {
        const char* what;
        std::function<tbs_status_t()> run;
        std::vector<std::string> named;              // pathnames, looked up after the command
        std::vector<std::string> named_before = {};  // looked up before it (names it removes)
    };
    const std::string from = write_file(tmp_ / "new", "a2");
    const Case cases[] = {
        {"checkout",
         [&] {
             cmd_checkout_args_t a;
             a.pnames = {"/vobs/p/src/a.c"};
             return cmd_checkout(&a);
         },
         {"/vobs/p/src/a.c"}},
        {"checkin",
         [&] {
             cmd_checkin_args_t a;
             a.pnames = {"/vobs/p/src/a.c"};
             a.from = {from};
             return cmd_checkin(&a);
         },
         {"/vobs/p/src/a.c"}},
        {"checkout in another view",
         [&] {
             cmd_checkout_args_t a;
             a.pnames = {"/vobs/p/src/b.c"};
             a.view = &other;
             a.reserved = false;
             return cmd_checkout(&a);
         },
         {"/vobs/p/src/b.c"}},
        {"uncheckout",
         [&] {
             cmd_uncheckout_args_t a;
             a.pnames = {"/vobs/p/src/b.c"};
             a.view = &other;
             return cmd_uncheckout(&a);
         },
         {"/vobs/p/src/b.c"}},
        {"mkelem of a file",
         [&] { return mkelem_ci("/vobs/p/src/c.c"); },
         {"/vobs/p/src", "/vobs/p/src/c.c"}},
        {"mkelem of a directory",
         [&] { return mkelem_ci("/vobs/p/src/sub", true); },
         {"/vobs/p/src", "/vobs/p/src/sub"}},
        {"mv across directories",
         [&] {
             cmd_mv_args_t a;
             a.from = "/vobs/p/src/c.c";
             a.to = "/vobs/p/doc/c.c";
             return cmd_mv(&a);
         },
         {"/vobs/p/src", "/vobs/p/doc"}},
        {"hard link",
         [&] {
             cmd_ln_args_t a;
             a.target = "/vobs/p/doc/c.c";
             a.link = "/vobs/p/src/c2.c";
             return cmd_ln(&a);
         },
         {"/vobs/p/src"}},
        {"symbolic link",
         [&] {
             cmd_ln_args_t a;
             a.target = "../src/a.c";
             a.link = "/vobs/p/doc/link";
             a.symbolic = true;
             return cmd_ln(&a);
         },
         {"/vobs/p/doc"}},
        {"rmname",
         [&] {
             cmd_rmname_args_t a;
             a.pnames = {"/vobs/p/src/c2.c"};
             return cmd_rmname(&a);
         },
         {"/vobs/p/src"}},
        {"mklabel",
         [&] {
             cmd_mklabel_args_t a = label("/vobs/p/src/a.c@@/main/1");
             return cmd_mklabel(&a);
         },
         {"/vobs/p/src/a.c"}},
        {"label moved",
         [&] {
             cmd_mklabel_args_t a = label("/vobs/p/src/a.c", true);
             return cmd_mklabel(&a);
         },
         {"/vobs/p/src/a.c"}},
        {"rmlabel",
         [&] {
             cmd_mklabel_args_t a = label("/vobs/p/src/a.c");
             return cmd_rmlabel(&a);
         },
         {"/vobs/p/src/a.c"}},
        {"branch made",
         [&] {
             cmd_mkbranch_args_t a;
             a.pnames = {"/vobs/p/src/b.c"};
             a.branch_type = "dev";
             a.checkout = false;
             return cmd_mkbranch(&a);
         },
         {"/vobs/p/src/b.c"}},
        {"label type removed with its labels",
         [&] {
             cmd_mklabel_args_t a = label("/vobs/p/doc");
             a.recurse = true;
             if (tbs_status_t st = cmd_mklabel(&a)) return st;
             cmd_rmtype_args_t rm;
             rm.selector = "lbtype:REL1@/vobs/p";
             rm.force = true;
             return cmd_rmtype(&rm);
         },
         {"/vobs/p/doc", "/vobs/p/doc/c.c"}},
        {"attribute",
         [&] {
             cmd_mkattr_args_t a;
             a.attype = "Status";
             a.value = "\"ok\"";
             a.objects = {"/vobs/p/src/a.c"};
             return cmd_mkattr(&a);
         },
         {}},
        {"lock",
         [&] {
             cmd_lock_args_t a;
             a.objects = {"/vobs/p/src/b.c"};
             return cmd_lock(&a);
         },
         {}},
    };
    for (const Case& c : cases) {
        std::set<vob_dbid_t> want;
        for (const std::string& p : c.named_before) want.insert(element(p));
        const int64_t before = gen();
        ASSERT_EQ(c.run(), 0) << c.what;
        for (const std::string& p : c.named) want.insert(element(p));
        EXPECT_EQ(since(before), want) << c.what;
        // The label type case is two commands; every other is one generation or none.
        if (std::string(c.what) != "label type removed with its labels") {
            EXPECT_EQ(gen() - before, want.empty() ? 0 : 1) << c.what;
        }
    }
}

TEST_F(ChangeJournal, TrimmingRaisesTheLowWaterMark) {
    const int64_t start = gen();
    for (int i = 0; i < 5; ++i) {
        cmd_checkout_args_t co;
        co.pnames = {"/vobs/p/src/b.c"};
        ASSERT_EQ(cmd_checkout(&co), 0);
        cmd_uncheckout_args_t un;
        un.pnames = {"/vobs/p/src/b.c"};
        ASSERT_EQ(cmd_uncheckout(&un), 0);
    }
    const int64_t now = gen();
    ASSERT_EQ(now - start, 10);
    ASSERT_EQ(vob_change_trim(vob_, 3), 0);
    int64_t g = 0, low = 0;
    ASSERT_EQ(vob_change_state(vob_, &g, &low), 0);
    EXPECT_EQ(g, now);
    EXPECT_EQ(low, now - 3);
    // The rows at or below the mark are gone; the last three generations are kept.
    std::vector<vob_dbid_t> e;
    ASSERT_EQ(vob_changes_since(vob_, 0, now - 3, 100, &e), 0);
    EXPECT_TRUE(e.empty());
    ASSERT_EQ(vob_changes_since(vob_, now - 3, now, 100, &e), 0);
    EXPECT_EQ(e, std::vector<vob_dbid_t>{element("/vobs/p/src/b.c")});
    // Trimming to more than is kept lowers nothing.
    ASSERT_EQ(vob_change_trim(vob_, 100), 0);
    ASSERT_EQ(vob_change_state(vob_, &g, &low), 0);
    EXPECT_EQ(low, now - 3);

    // The journal trims itself as generations go by, to the VOB's "change_keep".
    store_db& db = *vob_->db;
    ASSERT_EQ(db.transact(store_txn_kind::write,
                          [&](store_txn&) { return vob_store_set_info(db, "change_keep", "7"); }),
              0);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(db.transact(store_txn_kind::write,
                              [&](store_txn&) { return vob_store_journal(db, 1000 + i); }),
                  0);
    ASSERT_EQ(vob_change_state(vob_, &g, &low), 0);
    EXPECT_EQ(g, now + 300);
    const int64_t last_look = g / 256 * 256;  // the latest generation that trimmed
    ASSERT_GT(last_look - 7, now);
    EXPECT_EQ(low, last_look - 7);
    ASSERT_EQ(vob_changes_since(vob_, 0, g, 1000, &e), 0);
    EXPECT_EQ(static_cast<int64_t>(e.size()), g - low);  // one element per generation
}
