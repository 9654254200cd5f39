// The vdtool interpreter driven in-process with its messages captured: a session over a real
// VOB, option handling and usage errors, the listing commands; and the vdtool program run as
// a child process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/store/content_pool.h"
#include "core/store/db.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "support/core_fixture.h"
#include "support/fault_fsys.h"
#include "support/temp_dir.h"

extern char** environ;

class VdtoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        ASSERT_EQ(run({"mkvob", "-tag", "/vobs/p", site_.path() + "/p.vbs"}), 0) << cap_.err;
        credutl_creds_t who;
        ASSERT_EQ(credutl_get_creds(&who), 0);
        user_ = who.user;
    }
    void TearDown() override {
        cmd_setevent_args_t reset;
        reset.reset = 1;
        cmd_setevent(&reset);
        imsg_set_redirect_table(saved_);
        vob_ob_all_cache_action(4);
    }

    // Runs one command line; its messages replace the last ones captured.
    tbs_status_t run(const std::vector<std::string>& args) { return run_vdtool(&cap_, args); }
    // A file on this machine holding `data`.
    std::string source(const std::string& leaf, const std::string& data) {
        return write_file(tmp_ / leaf, data);
    }
    // A file element with `data` as its /main/1.
    void make_file(const std::string& pname, const std::string& data) {
        ASSERT_EQ(run({"mkelem", "-ci", "-from", source("init", data), pname}), 0) << cap_.err;
    }
    std::string contents(const std::string& pname) { return cleartext(pname, tmp_ / "cleartext"); }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    std::string user_;
    imsg_redirect_table_t saved_{};
};

// The administrator's session: import a tree, change a file, label it, and read it all
// back through describe, lshistory and ls.
TEST_F(VdtoolTest, ImportChangeLabelAndReadBack) {
    TempDir tree;
    ASSERT_EQ(::mkdir((tree / "src").c_str(), 0755), 0);
    write_file(tree / "src/a.c", "int a;\n");
    write_file(tree / "README", "read me\n");
    ASSERT_EQ(run({"import", "-c", "initial tree", tree.path(), "/vobs/p"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "Imported 2 files and 1 directories")) << cap_.out;

    ASSERT_EQ(run({"checkout", "-c", "faster", "/vobs/p/src/a.c"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/CHECKEDOUT");
    ASSERT_EQ(run({"checkin", "-from", source("a.c", "int a = 2;\n"), "/vobs/p/src/a.c"}), 0)
        << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/2");
    EXPECT_EQ(contents("/vobs/p/src/a.c"), "int a = 2;\n");
    EXPECT_EQ(contents("/vobs/p/src/a.c@@/main/1"), "int a;\n");

    ASSERT_EQ(run({"mklbtype", "-c", "first release", "REL1@/vobs/p"}), 0) << cap_.err;
    ASSERT_EQ(run({"mklabel", "REL1", "/vobs/p/src/a.c"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/a.c@@/main/REL1"), "/main/2");

    ASSERT_EQ(run({"describe", "/vobs/p/src/a.c"}), 0) << cap_.err;
    for (const char* fact :
         {"version \"/vobs/p/src/a.c@@/main/2\"", "\"faster\"", "element type: file",
          "predecessor version: /main/1", "labels: REL1", "mode 0664"})
        EXPECT_TRUE(contains(cap_.out, fact)) << fact << "\n" << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "by " + user_)) << cap_.out;

    ASSERT_EQ(run({"describe", "lbtype:REL1@/vobs/p"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "label type \"REL1\"")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "\"first release\"")) << cap_.out;

    // History, newest first.
    ASSERT_EQ(run({"lshistory", "/vobs/p/src/a.c"}), 0) << cap_.err;
    const std::string& h = cap_.out;
    size_t label = h.find("make label \"/vobs/p/src/a.c@@/main/2\"");
    size_t v2 = h.find("create version \"/vobs/p/src/a.c@@/main/2\"");
    size_t co = h.find("checkout version \"/vobs/p/src/a.c@@\"");
    size_t v1 = h.find("create version \"/vobs/p/src/a.c@@/main/1\"");
    size_t made = h.find("create file element \"/vobs/p/src/a.c@@\"");
    ASSERT_NE(made, std::string::npos) << h;
    EXPECT_TRUE(label < v2 && v2 < co && co < v1 && v1 < made) << h;
    EXPECT_TRUE(contains(h, "\"initial tree\"")) << h;
    EXPECT_TRUE(contains(h, "  " + user_ + "  ")) << h;

    ASSERT_EQ(run({"ls", "/vobs/p"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "README@@/main/1\nsrc@@/main/1\n");
    ASSERT_EQ(run({"ls", "/vobs/p/src"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "a.c@@/main/2\n");
}

TEST_F(VdtoolTest, UsageErrorsChangeNothing) {
    make_file("/vobs/p/f", "one");
    struct Case {
        std::vector<std::string> args;
        const char* why;  // expected in the error text
    };
    const Case cases[] = {
        {{"checkout", "-bogus", "/vobs/p/f"}, "Unrecognized option \"-bogus\""},
        {{"co", "-r", "/vobs/p/f"}, "Unrecognized option"},  // too short to mean -reserved
        {{"checkout"}, "Missing arguments"},
        {{"checkout", "f"}, "Pathname is not absolute: \"f\""},
        {{"checkout", "-c"}, "Option \"-c\" needs a value"},
        {{"ci", "-from", "x", "-from", "y", "/vobs/p/f"}, "one -from file per pathname (2 given)"},
        {{"mkelem", "-nco", "-ci", "/vobs/p/g"}, "exclude each other"},
        {{"mkelem", "-from", "x", "/vobs/p/g"}, "-from needs -ci"},
        {{"mkelem", "-eltype", "directory", "-ci", "-from", "x", "/vobs/p/g"}, "no -from"},
        {{"mkdir", "-ci", "/vobs/p/g"}, "Unrecognized option"},
        {{"mv", "/vobs/p/f", "/vobs/p/g", "/vobs/p/h"}, "Too many arguments, from \"/vobs/p/h\""},
        {{"ln", "/vobs/p/f", "g"}, "not absolute: \"g\""},
        {{"import", "src", "vobs/p"}, "not absolute: \"vobs/p\""},
        {{"mklbtype", "REL1"}, "name@vob-tag"},
        {{"mklbtype", "REL1@vobs/p"}, "not absolute"},
        {{"mkeltype", "-mergetype", "sometimes", "t@/vobs/p"}, "Unknown merge type"},
        {{"mkeltype", "a@/vobs/p", "b@/vobs/p"}, "Too many arguments"},
        {{"protect", "/vobs/p/f"}, "Nothing to change"},
        {{"protect", "-chmod", "0999", "/vobs/p/f"}, "Bad mode"},
        {{"protect", "-chmod", "17777", "/vobs/p/f"}, "Bad mode"},
        {{"lock", "-nusers", "a,,b", "/vobs/p/f"}, "Empty user name"},
        {{"lock", "-nusers", "root", "-obsolete", "/vobs/p/f"}, "exclude each other"},
        {{"describe", "f"}, "Not an absolute pathname or an object selector: \"f\""},
        {{"mkattr", "Priority", "1", "f"}, "Not an absolute pathname"},
        {{"rmlabel", "-replace", "REL1", "/vobs/p/f"}, "Unrecognized option"},
        {{"mklabel", "REL1"}, "Missing arguments"},
        {{"lsco", "-bogus"}, "Unrecognized option"},
        {{"help", "a", "b"}, ""},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        EXPECT_EQ(run(c.args), TBS_ST_BAD_REQUEST) << line;
        EXPECT_TRUE(contains(cap_.err, c.why)) << line << "\n" << cap_.err;
        // The usage line is the command's own, whichever of its names was used.
        size_t usage = cap_.err.find("Usage: ");
        ASSERT_NE(usage, std::string::npos) << line << "\n" << cap_.err;
        const std::string usage_line = cap_.err.substr(usage, cap_.err.find('\n', usage) - usage);
        EXPECT_TRUE(contains(usage_line, " " + c.args[0] + " ")) << line << "\n" << usage_line;
        EXPECT_EQ(cap_.out, "") << line;
    }
    EXPECT_EQ(idstr("/vobs/p/f"), "/main/1");
    EXPECT_EQ(idstr("/vobs/p/g"), "<none>");
    EXPECT_EQ(run({"frobnicate"}), TBS_ST_BAD_REQUEST);
    EXPECT_TRUE(contains(cap_.err, "Unrecognized command: \"frobnicate\"")) << cap_.err;
}

// A command that fails for a reason the core reports prints that reason once, and nothing
// of its own.
TEST_F(VdtoolTest, CoreFailuresAreReportedOnce) {
    make_file("/vobs/p/f", "one");
    struct Case {
        std::vector<std::string> args;
        tbs_status_t st;
    };
    const Case cases[] = {
        {{"checkout", "/vobs/p/missing"}, TBS_ST_NAME_NOT_FOUND},
        {{"checkin", "/vobs/p/f"}, TBS_ST_NOT_CHECKED_OUT},
        {{"mklabel", "NOPE", "/vobs/p/f"}, TBS_ST_TYPE_NOT_FOUND},
        {{"mkelem", "/vobs/p/f"}, TBS_ST_EXISTS},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.args), c.st) << c.args[0];
        EXPECT_NE(cap_.err, "") << c.args[0];
        EXPECT_FALSE(contains(cap_.err, "Usage:")) << cap_.err;
        EXPECT_FALSE(contains(cap_.err, "vdtool:")) << cap_.err;
    }
}

TEST_F(VdtoolTest, MakeElementsAndDirectories) {
    // Without -nco or -ci a new element stays checked out; "-nco" means no checkout, not
    // "no comment", although it abbreviates both.
    ASSERT_EQ(run({"mkelem", "-c", "new", "/vobs/p/open.c"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/open.c"), "/main/CHECKEDOUT");
    ASSERT_EQ(run({"mkelem", "-nco", "/vobs/p/closed.c"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/closed.c"), "/main/0");
    ASSERT_EQ(run({"mkelem", "-ci", "-from", source("s", "text"), "/vobs/p/in.c"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/in.c"), "/main/1");
    EXPECT_EQ(contents("/vobs/p/in.c"), "text");

    ASSERT_EQ(run({"mkelem", "-eltype", "text_file", "-mkpath", "-ci", "/vobs/p/a/b/t.txt"}), 0)
        << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/a/b/t.txt"), "/main/1");
    EXPECT_EQ(idstr("/vobs/p/a/b"), "/main/1");  // made by -mkpath and checked in

    ASSERT_EQ(run({"mkdir", "/vobs/p/d1"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/d1"), "/main/CHECKEDOUT");
    ASSERT_EQ(run({"mkdir", "-nco", "/vobs/p/d2"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/d2"), "/main/0");
    ASSERT_EQ(run({"mkelem", "-eltype", "directory", "-ci", "/vobs/p/d3"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/d3"), "/main/1");
    ASSERT_EQ(run({"ls", "-long", "/vobs/p/d3"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "");  // empty, and a directory
    ASSERT_EQ(run({"describe", "/vobs/p/d3"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "directory version \"/vobs/p/d3@@/main/1\"")) << cap_.out;
}

TEST_F(VdtoolTest, CheckoutReservationAndVersions) {
    make_file("/vobs/p/f", "one");
    // Another view holds the reserved checkout.
    vob_view_ctx_t other;
    other.view_uuid = tbs_uuid_create();
    cmd_checkout_args_t held;
    held.pnames = {"/vobs/p/f"};
    held.view = &other;
    ASSERT_EQ(cmd_checkout(&held), 0);

    EXPECT_EQ(run({"checkout", "/vobs/p/f"}), TBS_ST_RESERVED);  // reserved by default
    EXPECT_EQ(run({"checkout", "-reserved", "/vobs/p/f"}), TBS_ST_RESERVED);
    ASSERT_EQ(run({"co", "-res", "-unr", "/vobs/p/f"}), 0) << cap_.err;  // falls back
    EXPECT_TRUE(contains(cap_.out, "(unreserved)")) << cap_.out;
    ASSERT_EQ(run({"lsco", "/vobs/p/f"}), 0) << cap_.err;
    char other_text[TBS_UUID_STR_SIZE];
    tbs_uuid_to_str(other.view_uuid, other_text);
    EXPECT_TRUE(contains(cap_.out, "(unreserved)  view " + std::string(32, '0'))) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, std::string("(reserved)  view ") + other_text)) << cap_.out;
    ASSERT_EQ(run({"unco", "/vobs/p/f"}), 0) << cap_.err;

    // -unreserved alone does not even try for the reservation.
    cmd_uncheckout_args_t release;
    release.pnames = {"/vobs/p/f"};
    release.view = &other;
    ASSERT_EQ(cmd_uncheckout_with_pop(&release), 0);
    ASSERT_EQ(run({"checkout", "-unreserved", "/vobs/p/f"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "(unreserved)")) << cap_.out;
    ASSERT_EQ(run({"checkin", "-c", "two", "-from", source("f", "two"), "/vobs/p/f"}), 0)
        << cap_.err;

    // A version that is not the latest needs -version.
    EXPECT_EQ(run({"checkout", "/vobs/p/f@@/main/1"}), TBS_ST_NOT_LATEST);
    ASSERT_EQ(run({"checkout", "-version", "/vobs/p/f@@/main/1"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "from version \"/main/1\"")) << cap_.out;
    ASSERT_EQ(run({"uncheckout", "/vobs/p/f"}), 0) << cap_.err;

    // A branch made by the checkout goes with -rmbranch.
    ASSERT_EQ(run({"mkbrtype", "dev@/vobs/p", "tmp@vob:/vobs/p"}), 0) << cap_.err;
    ASSERT_EQ(run({"checkout", "-branch", "tmp", "/vobs/p/f"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/f"), "/main/tmp/CHECKEDOUT");
    ASSERT_EQ(run({"unco", "-rmbranch", "/vobs/p/f"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/f@@/main/tmp"), "<none>");
    EXPECT_EQ(idstr("/vobs/p/f"), "/main/2");
}

TEST_F(VdtoolTest, CheckinComments) {
    make_file("/vobs/p/a", "1");
    make_file("/vobs/p/b", "1");
    ASSERT_EQ(run({"co", "-c", "from checkout", "/vobs/p/a", "/vobs/p/b"}), 0) << cap_.err;
    // -nc keeps the checkout's comment; -c replaces it. Several -from, one per pathname.
    ASSERT_EQ(run({"ci", "-nc", "-from", source("a", "2a"), "/vobs/p/a"}), 0) << cap_.err;
    ASSERT_EQ(run({"co", "-c", "again", "/vobs/p/a"}), 0) << cap_.err;
    ASSERT_EQ(run({"ci", "-c", "given", "-atomic", "-from", source("a3", "3a"), "-from",
                   source("b2", "2b"), "/vobs/p/a", "/vobs/p/b"}),
              0)
        << cap_.err;
    EXPECT_EQ(contents("/vobs/p/a"), "3a");
    EXPECT_EQ(contents("/vobs/p/b"), "2b");
    ASSERT_EQ(run({"desc", "/vobs/p/a@@/main/2", "/vobs/p/a@@/main/3"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "\"from checkout\"")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "\"given\"")) << cap_.out;
    // Identical contents need -identical.
    ASSERT_EQ(run({"co", "/vobs/p/a"}), 0);
    EXPECT_EQ(run({"ci", "-from", source("same", "3a"), "/vobs/p/a"}), TBS_ST_IDENTICAL);
    ASSERT_EQ(run({"ci", "-ident", "-from", source("same", "3a"), "/vobs/p/a"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/a"), "/main/4");
}

TEST_F(VdtoolTest, MetadataShowsInDescribe) {
    make_file("/vobs/p/f", "one");
    make_file("/vobs/p/g", "two");
    ASSERT_EQ(run({"mkattype", "Priority@/vobs/p"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkhltype", "-c", "tracks", "Tracks@/vobs/p"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkeltype", "-supertype", "text_file", "-mergetype", "never", "doc@/vobs/p"}), 0)
        << cap_.err;
    // "--" lets a value begin with a dash.
    ASSERT_EQ(run({"mkattr", "--", "Priority", "-1", "/vobs/p/f"}), 0) << cap_.err;
    EXPECT_EQ(run({"mkattr", "Priority", "2", "/vobs/p/f"}), TBS_ST_EXISTS);
    ASSERT_EQ(run({"mkattr", "-replace", "Priority", "high", "/vobs/p/f"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkhlink", "Tracks", "/vobs/p/f", "/vobs/p/g"}), 0) << cap_.err;
    ASSERT_EQ(run({"lock", "-nusers", "root,daemon", "/vobs/p/f"}), 0) << cap_.err;
    ASSERT_EQ(run({"protect", "-chmod", "640", "/vobs/p/f"}), 0) << cap_.err;

    ASSERT_EQ(run({"describe", "/vobs/p/f"}), 0) << cap_.err;
    for (const char* fact : {"Priority = \"high\"", "Tracks@", "-> /vobs/p/g@@/main/1",
                             "except for users root,daemon", "mode 0640"})
        EXPECT_TRUE(contains(cap_.out, fact)) << fact << "\n" << cap_.out;
    ASSERT_EQ(run({"describe", "eltype:doc@/vobs/p"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "merge type: never")) << cap_.out;

    ASSERT_EQ(run({"unlock", "/vobs/p/f"}), 0) << cap_.err;
    ASSERT_EQ(run({"lock", "-obsolete", "/vobs/p/f"}), 0) << cap_.err;
    ASSERT_EQ(run({"desc", "/vobs/p/f"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "(obsolete)")) << cap_.out;
    EXPECT_FALSE(contains(cap_.out, "except for")) << cap_.out;
    ASSERT_EQ(run({"unlock", "/vobs/p/f"}), 0) << cap_.err;

    ASSERT_EQ(run({"rmattr", "Priority", "/vobs/p/f"}), 0) << cap_.err;
    ASSERT_EQ(run({"desc", "/vobs/p/f"}), 0) << cap_.err;
    EXPECT_FALSE(contains(cap_.out, "Priority")) << cap_.out;

    // A label in use goes only with -rmall.
    ASSERT_EQ(run({"mklbtype", "REL2@/vobs/p"}), 0);
    ASSERT_EQ(run({"mklabel", "REL2", "/vobs/p/f"}), 0);
    EXPECT_EQ(run({"rmtype", "lbtype:REL2@/vobs/p"}), TBS_ST_IN_USE);
    ASSERT_EQ(run({"rmtype", "-rmall", "lbtype:REL2@/vobs/p"}), 0) << cap_.err;
    EXPECT_EQ(run({"describe", "lbtype:REL2@/vobs/p"}), TBS_ST_NAME_NOT_FOUND);

    // mkbranch -nco makes the branch and leaves it at version 0.
    ASSERT_EQ(run({"mkbrtype", "dev@/vobs/p"}), 0);
    ASSERT_EQ(run({"mkbranch", "-nco", "dev", "/vobs/p/g"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/g"), "/main/1");
    ASSERT_EQ(run({"describe", "/vobs/p/g@@/main/dev"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "latest version: /main/dev/0")) << cap_.out;
    ASSERT_EQ(run({"describe", "vob:/vobs/p"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "versioned object base \"/vobs/p\"")) << cap_.out;
}

TEST_F(VdtoolTest, NamespaceAndListings) {
    ASSERT_EQ(run({"mkdir", "-nc", "/vobs/p/d"}), 0);
    make_file("/vobs/p/d/a", "a");
    make_file("/vobs/p/d/b", "b");
    ASSERT_EQ(run({"ci", "/vobs/p/d"}), 0) << cap_.err;
    ASSERT_EQ(run({"ln", "-s", "d/a", "/vobs/p/to_a"}), 0) << cap_.err;
    ASSERT_EQ(run({"mv", "/vobs/p/d/b", "/vobs/p/b2"}), 0) << cap_.err;
    ASSERT_EQ(run({"co", "/vobs/p/d/a"}), 0);
    EXPECT_EQ(run({"rmname", "/vobs/p/d/a"}), TBS_ST_CHECKED_OUT);

    ASSERT_EQ(run({"ls", "-l", "/vobs/p"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "file             b2@@/main/1\n")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "symbolic link    to_a -> d/a\n")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "directory        d@@/main/2\n")) << cap_.out;
    ASSERT_EQ(run({"ls", "-l", "/vobs/p/d"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "file             a@@/main/CHECKEDOUT  (reserved, from /main/1)\n");
    ASSERT_EQ(run({"ls", "/vobs/p/to_a", "/vobs/p/d/a@@/main/1"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "/vobs/p/to_a -> d/a\n/vobs/p/d/a@@/main/1\n");

    // Checkouts of a directory's elements, and of the whole VOB.
    ASSERT_EQ(run({"co", "-c", "why", "/vobs/p/b2"}), 0);
    ASSERT_EQ(run({"lsco", "/vobs/p/d"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "/vobs/p/d/a@@/main/CHECKEDOUT from /main/1  (reserved)  view " +
                                       std::string(32, '0')))
        << cap_.out;
    EXPECT_FALSE(contains(cap_.out, "b2")) << cap_.out;
    ASSERT_EQ(run({"lsco", "-all", "/vobs/p/d"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "/vobs/p/b2@@/main/CHECKEDOUT")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "  \"why\"\n")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "  " + user_ + "  ")) << cap_.out;

    ASSERT_EQ(run({"rmname", "-force", "/vobs/p/d/a"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/d/a"), "<none>");
}

TEST_F(VdtoolTest, HistoryTimesAreUtc) {
    cmd_setevent_args_t at;
    at.time = 1000000000;  // 2001-09-09 01:46:40 UTC
    ASSERT_EQ(cmd_setevent(&at), 0);
    make_file("/vobs/p/f", "x");
    ASSERT_EQ(run({"lshis", "/vobs/p/f"}), 0) << cap_.err;
    EXPECT_TRUE(contains(
        cap_.out, "2001-09-09T01:46:40Z  " + user_ + "  create version \"/vobs/p/f@@/main/1\""))
        << cap_.out;
    // A type's history, named by its selector.
    ASSERT_EQ(run({"mklbtype", "-c", "why", "R@/vobs/p"}), 0);
    ASSERT_EQ(run({"lshistory", "lbtype:R@/vobs/p"}), 0) << cap_.err;
    EXPECT_EQ(cap_.out, "2001-09-09T01:46:40Z  " + user_ +
                            "  create type \"lbtype:R@vob:/vobs/p\"\n  \"why\"\n");
}

TEST_F(VdtoolTest, HelpListsEveryCommand) {
    ASSERT_EQ(run({"help"}), 0);
    for (const char* name : {"catcs",
                             "checkin | ci",
                             "checkout | co",
                             "checkvob",
                             "describe | desc",
                             "help",
                             "import",
                             "ln",
                             "lock",
                             "ls",
                             "lscheckout | lsco",
                             "lshistory | lshis",
                             "lsview",
                             "lsvob",
                             "mkattr",
                             "mkattype",
                             "mkbranch",
                             "mkbrtype",
                             "mkdir",
                             "mkelem",
                             "mkeltype",
                             "mkhlink",
                             "mkhltype",
                             "mklabel",
                             "mklbtype",
                             "mkview",
                             "mkvob",
                             "mv",
                             "protect",
                             "rmattr",
                             "rmlabel",
                             "rmname",
                             "rmtype",
                             "rmview",
                             "rmvob",
                             "setcs",
                             "uncheckout | unco",
                             "unlock",
                             "update"})
        EXPECT_TRUE(contains(cap_.out, std::string("Usage: ") + name + " ")) << name;
    // Each usage line is also what a usage error of that command prints.
    ASSERT_EQ(run({"help", "unco"}), 0);
    EXPECT_EQ(cap_.out, "Usage: uncheckout | unco [-view view-tag] [-rmbranch] pname...\n");
}

// checkvob over a VOB holding one file element, damaged or littered one way at a time.
class CheckvobTest : public VdtoolTest {
protected:
    void SetUp() override {
        VdtoolTest::SetUp();
        make_file("/vobs/p/f", "the one content of this VOB");
        ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob_), 0);
        vob_->pool->each_content([&](const std::string& sha, int64_t) { sha_ = sha; });
        ASSERT_FALSE(sha_.empty());
    }
    // Makes `path` look last written two hours ago.
    static void age(const std::string& path) {
        struct timeval tv[2];
        gettimeofday(&tv[0], nullptr);
        tv[0].tv_sec -= 2 * 3600;
        tv[1] = tv[0];
        ASSERT_EQ(::utimes(path.c_str(), tv), 0) << path;
    }
    std::string pool() const { return vob_->pool->dir(); }
    void sql(const char* statement) {
        ASSERT_EQ(vob_->db->transact(store_txn_kind::write,
                                     [&](store_txn&) { return vob_->db->exec(statement); }),
                  0)
            << vob_->db->last_error();
    }

    vob_t* vob_ = nullptr;
    std::string sha_;
};

TEST_F(CheckvobTest, ConsistentVobReportsNothing) {
    // A fresh temporary and a fresh unreferenced content may belong to a checkin at work.
    write_file(pool() + "/.tmp-fresh", "in progress");
    std::string fresh_sha;
    ASSERT_EQ(vob_->pool->put_buffer("not yet committed", 17, &fresh_sha, nullptr), 0);
    for (const char* opt : {"", "-repair"}) {
        std::vector<std::string> args = {"checkvob", "/vobs/p"};
        if (*opt) args.insert(args.begin() + 1, opt);
        EXPECT_EQ(run(args), 0) << opt << cap_.err;
        EXPECT_EQ(cap_.err, "") << opt;
        EXPECT_EQ(cap_.out, "Versioned object base \"/vobs/p\" is consistent.\n") << opt;
    }
    EXPECT_TRUE(fileutl_exists((pool() + "/.tmp-fresh").c_str()));
    EXPECT_EQ(run({"checkvob", "/vobs/nowhere"}), TBS_ST_NOT_FOUND);
    EXPECT_NE(run({"checkvob"}), 0);
    EXPECT_TRUE(contains(cap_.err, "Usage: checkvob [-repair] vob-tag")) << cap_.err;
}

TEST_F(CheckvobTest, RemovedContentIsReportedAndNotRepaired) {
    ASSERT_EQ(vob_->pool->remove(sha_.c_str()), 0);
    for (const char* opt : {"", "-repair"}) {
        std::vector<std::string> args = {"checkvob", "/vobs/p"};
        if (*opt) args.insert(args.begin() + 1, opt);
        EXPECT_NE(run(args), 0) << opt;
        EXPECT_TRUE(contains(cap_.err, "/vobs/p: missing content " + sha_)) << cap_.err;
        EXPECT_FALSE(contains(cap_.text, "consistent")) << cap_.text;
    }
    EXPECT_TRUE(contains(cap_.err, "Problems checkvob cannot repair in \"/vobs/p\": 1."))
        << cap_.err;
    EXPECT_FALSE(vob_->pool->exists(sha_.c_str()));
    EXPECT_EQ(contents("/vobs/p/f"), "<error>");
}

TEST_F(CheckvobTest, StaleTemporaryIsSweptByRepair) {
    const std::string stale = write_file(pool() + "/.tmp-killedwriter", std::string(4096, 'x'));
    age(stale);
    EXPECT_NE(run({"checkvob", "/vobs/p"}), 0);
    EXPECT_TRUE(contains(cap_.err, "stale temporary .tmp-killedwriter")) << cap_.err;
    EXPECT_TRUE(fileutl_exists(stale.c_str())) << "checking alone removed it";

    EXPECT_EQ(run({"checkvob", "-repair", "/vobs/p"}), 0) << cap_.err;
    EXPECT_TRUE(contains(cap_.out, "Removed 1 stale temporary files.")) << cap_.out;
    EXPECT_TRUE(contains(cap_.out, "is consistent")) << cap_.out;
    EXPECT_FALSE(fileutl_exists(stale.c_str()));
    EXPECT_EQ(contents("/vobs/p/f"), "the one content of this VOB");
}

TEST_F(CheckvobTest, OldUnreferencedContentIsReportedAndKept) {
    std::string orphan;
    ASSERT_EQ(vob_->pool->put_buffer("left by a killed checkin", 24, &orphan, nullptr), 0);
    age(vob_->pool->path_of(orphan.c_str()));
    EXPECT_NE(run({"checkvob", "-repair", "/vobs/p"}), 0);
    EXPECT_TRUE(contains(cap_.err, "unreferenced content " + orphan)) << cap_.err;
    EXPECT_FALSE(contains(cap_.err, sha_)) << cap_.err;
    EXPECT_TRUE(vob_->pool->exists(orphan.c_str()));
}

TEST_F(CheckvobTest, MissingRowsAreReported) {
    struct Case {
        const char* damage;
        const char* report;
    };
    // The damage adds up from case to case; each case looks for its own line.
    const Case cases[] = {
        {"INSERT INTO objects (dbid, oid, mtype, created, creator, owner, grp, mode)"
         " VALUES (9001, 'ffff', 7, 0, 'u', 'u', 'g', 0)",
         "symbolic link without its target: dbid 9001"},
        {"DELETE FROM versions WHERE number = 0 AND element = (SELECT MAX(dbid) FROM elements)",
         "branch without its version 0"},
        {"UPDATE elements SET main_branch = NULL WHERE dbid = (SELECT MAX(dbid) FROM elements)",
         "element without its main branch"},
    };
    for (const Case& c : cases) {
        sql(c.damage);
        EXPECT_NE(run({"checkvob", "/vobs/p"}), 0) << c.damage;
        EXPECT_TRUE(contains(cap_.err, c.report)) << c.damage << "\n" << cap_.err;
    }
}

// A nearly full disk: a checkin that would eat into the free-space reserve is refused
// before anything is written, the VOB stays whole, and reading commands still answer.
TEST_F(VdtoolTest, CheckinIntoTheReserveIsRefusedAndReadsGoOn) {
    make_file("/vobs/p/f", "one");
    ASSERT_EQ(run({"checkout", "-nc", "/vobs/p/f"}), 0) << cap_.err;
    const std::string big = source("big", std::string(5 << 20, 'b'));
    {
        NearlyFullFs disk(66ull << 20);  // 2 MiB beyond the default reserve of 64 MiB
        EXPECT_EQ(run({"checkin", "-from", big, "/vobs/p/f"}), tbs_errno2status(ENOSPC));
        EXPECT_TRUE(contains(cap_.err, "Not enough free space in")) << cap_.err;
        EXPECT_TRUE(contains(cap_.err, "reserve of 64 MiB")) << cap_.err;
        EXPECT_GT(disk.calls(), 0);
        for (std::vector<std::string> args : {std::vector<std::string>{"lsvob"},
                                              {"ls", "/vobs/p"},
                                              {"describe", "/vobs/p/f"},
                                              {"checkvob", "/vobs/p"}})
            EXPECT_EQ(run(args), 0) << args[0] << ": " << cap_.err;
        // Small contents still fit.
        EXPECT_EQ(run({"checkin", "-from", source("small", "two"), "/vobs/p/f"}), 0) << cap_.err;
    }
    vob_t* vob = nullptr;
    ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob), 0);
    std::vector<std::string> problems, leftovers;
    ASSERT_EQ(vob_check(vob, &problems), 0);
    EXPECT_TRUE(problems.empty()) << problems.front();
    ASSERT_EQ(vob_check_leftovers(vob, 0, &leftovers, nullptr), 0);
    EXPECT_TRUE(leftovers.empty()) << leftovers.front();
    EXPECT_EQ(idstr("/vobs/p/f"), "/main/2");
    EXPECT_EQ(contents("/vobs/p/f"), "two");
}

TEST(FreeSpaceReserve, SettingAndArithmetic) {
    TempDir dir;
    struct Case {
        const char* setting;  // VERDANE_MIN_FREE_MB, null for unset
        unsigned long long free_mib, write_bytes;
        bool ok;
    } const cases[] = {
        {nullptr, 65, 1 << 20, true},  // default 64 MiB: exactly the reserve left
        {nullptr, 65, (1 << 20) + 1, false},
        {nullptr, 63, 0, false},  // already inside the reserve: even 0 more
        {"0", 0, 1 << 30, true},  // no reserve
        {"10", 11, 1 << 20, true},
        {"10", 11, 2 << 20, false},
        {"lots", 65, 2 << 20, false},  // unreadable: the default holds
    };
    for (const Case& c : cases) {
        if (c.setting)
            setenv("VERDANE_MIN_FREE_MB", c.setting, 1);
        else
            unsetenv("VERDANE_MIN_FREE_MB");
        NearlyFullFs disk(c.free_mib << 20);
        tbs_status_t st = fileutl_check_reserve(dir.path().c_str(), c.write_bytes);
        EXPECT_EQ(st, c.ok ? TBS_ST_OK : tbs_errno2status(ENOSPC))
            << (c.setting ? c.setting : "unset") << " " << c.free_mib << " " << c.write_bytes;
    }
    unsetenv("VERDANE_MIN_FREE_MB");
}

// The vdtool program itself: exit codes and what it prints on its two streams.
TEST(VdtoolProgram, SessionExitCodesAndOutput) {
    TempHome site;
    TempDir tmp;
    ASSERT_EQ(::mkdir((tmp / "tree").c_str(), 0755), 0);
    write_file(tmp / "tree/hello.c", "hello\n");
    write_file(tmp / "new.c", "hello, world\n");
    struct Result {
        int code = -1;
        std::string out, err;
    };
    auto vdtool = [&](std::vector<std::string> args) {
        Result r;
        args.insert(args.begin(), VDTOOL_PATH);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        const std::string out = tmp / "stdout", err = tmp / "stderr";
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, VDTOOL_PATH, &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        int status = 0;
        if (rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            r.code = WEXITSTATUS(status);
        r.out = read_file(out);
        r.err = read_file(err);
        return r;
    };
    Result r = vdtool({"mkvob", "-tag", "/vobs/e2e", site.path() + "/e2e.vbs"});
    ASSERT_EQ(r.code, 0) << r.err;
    r = vdtool({"import", "-c", "seed", tmp / "tree", "/vobs/e2e"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "Imported 1 files and 0 directories")) << r.out;
    r = vdtool({"co", "-c", "greet the world", "/vobs/e2e/hello.c"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Checked out \"/vobs/e2e/hello.c\" from version \"/main/1\".\n");
    r = vdtool({"ci", "-from", tmp / "new.c", "/vobs/e2e/hello.c"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Checked in \"/vobs/e2e/hello.c\" version \"/main/2\".\n");
    r = vdtool({"lshistory", "/vobs/e2e/hello.c"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    size_t v2 = r.out.find("create version \"/vobs/e2e/hello.c@@/main/2\"\n  \"greet the world\"");
    size_t v1 = r.out.find("create version \"/vobs/e2e/hello.c@@/main/1\"\n  \"seed\"");
    EXPECT_TRUE(v2 != std::string::npos && v1 != std::string::npos && v2 < v1) << r.out;

    // Failures exit non-zero with the reason on standard error only.
    r = vdtool({"ci", "/vobs/e2e/hello.c"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "not checked out")) << r.err;
    r = vdtool({"co", "hello.c"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "Usage: checkout")) << r.err;
}

// A trigger program for the tests: a shell script in a directory every account may read and
// write, since a trigger started by root runs as another account.
class TriggerScripts {
public:
    TriggerScripts() { ::chmod(dir_.path().c_str(), 0777); }
    std::string script(const std::string& leaf, const std::string& body) {
        const std::string path = write_file(dir_ / leaf, "#!/bin/sh\n" + body);
        ::chmod(path.c_str(), 0755);
        return path;
    }
    std::string operator/(const std::string& leaf) const { return dir_ / leaf; }

private:
    TempDir dir_;
};

// Trigger types: a pre-operation trigger that fails cancels its operation with its output as
// the reason and nothing changed; one that passes lets it through; post-operation triggers
// run after the change with the operation in their environment and in their arguments; an
// element-type trigger fires only on elements of that type; a bad definition is refused.
TEST_F(VdtoolTest, TriggersRunAroundOperations) {
    make_file("/vobs/p/a.c", "one");
    ASSERT_EQ(run({"mkeltype", "-supertype", "file", "doc@/vobs/p"}), 0) << cap_.err;
    TriggerScripts scripts;
    const std::string log = scripts / "trigger.log";
    const std::string gate =
        scripts.script("gate", "echo \"no $VD_OP_KIND by $VD_USER\"; test \"$VD_COMMENT\" = go\n");
    const std::string append = scripts.script("append", "f=$1; shift; echo \"$@\" >> \"$f\"\n");
    ASSERT_EQ(run({"mktrtype", "-element", "-all", "-preop", "checkout,mklabel", "-exec", gate,
                   "gate@/vobs/p"}),
              0)
        << cap_.err;
    ASSERT_EQ(run({"mktrtype", "-element", "-all", "-postop", "checkout", "-exec",
                   append + " " + log + " $VD_PHASE $VD_OP_KIND ${VD_PNAME} $VD_ID $VD_ELTYPE",
                   "after@/vobs/p"}),
              0)
        << cap_.err;
    ASSERT_EQ(run({"mktrtype", "-element", "-eltype", "doc", "-preop", "checkout", "-exec", "false",
                   "docs_frozen@/vobs/p"}),
              0)
        << cap_.err;

    EXPECT_EQ(run({"checkout", "-c", "stop", "/vobs/p/a.c"}), TBS_ST_TRIGGER_FAILED);
    EXPECT_TRUE(contains(cap_.err, "Trigger \"gate\" refused checkout of \"/vobs/p/a.c\"."))
        << cap_.err;
    EXPECT_TRUE(contains(cap_.err, "no checkout by")) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/a.c"), "/main/1");
    EXPECT_FALSE(std::ifstream(log).good()) << "a post-operation trigger ran for nothing";

    EXPECT_EQ(run({"checkout", "-c", "go", "/vobs/p/a.c"}), 0) << cap_.err;
    EXPECT_EQ(read_file(log), "post checkout /vobs/p/a.c /main/1 file\n");

    // The element-type trigger leaves other elements alone and stops its own.
    ASSERT_EQ(run({"mkelem", "-eltype", "doc", "-ci", "-from", source("d", "d"), "/vobs/p/d.txt"}),
              0)
        << cap_.err;
    EXPECT_EQ(run({"checkout", "-c", "go", "/vobs/p/d.txt"}), TBS_ST_TRIGGER_FAILED);

    struct Bad {
        std::vector<std::string> args;
    } const bad[] = {
        {{"mktrtype", "-element", "-all", "-preop", "fly", "-exec", "true", "x@/vobs/p"}},
        {{"mktrtype", "-element", "-all", "-preop", "checkin", "y@/vobs/p"}},
        {{"mktrtype", "-element", "-all", "-preop", "checkin", "-postop", "checkout", "-exec",
          "true", "z@/vobs/p"}},
        {{"mktrtype", "-element", "-eltype", "nosuch", "-preop", "checkin", "-exec", "true",
          "w@/vobs/p"}},
        {{"mktrtype", "-element", "-all", "-preop", "checkin", "-exec", "echo 'unclosed",
          "v@/vobs/p"}},
    };
    for (const Bad& b : bad) EXPECT_NE(run(b.args), 0) << b.args.back();
}

// A trigger's program meets no shell: metacharacters and an operation's values (a comment
// holding a command) are plain arguments. It runs with a clean environment and, started by
// root, never as root.
TEST_F(VdtoolTest, TriggerProgramsRunWithoutShellOrRoot) {
    make_file("/vobs/p/a.c", "one");
    TriggerScripts scripts;
    const std::string out = scripts / "seen";
    const std::string record = scripts.script(
        "record", "f=$1; shift; { id -u; printf '%s|' \"$@\"; echo; env | sort; } > \"$f\"\n");
    ::setenv("VDWEB_SECRET_OF_THE_SERVER", "leak", 1);
    ASSERT_EQ(run({"mktrtype", "-element", "-all", "-postop", "checkout", "-exec",
                   record + " " + out + " ; $(touch /tmp/x) `id` $VD_COMMENT", "rec@/vobs/p"}),
              0)
        << cap_.err;
    EXPECT_EQ(run({"checkout", "-c", "$(id) ; rm -rf /", "/vobs/p/a.c"}), 0) << cap_.err;
    ::unsetenv("VDWEB_SECRET_OF_THE_SERVER");
    const std::string seen = read_file(out);
    std::istringstream lines(seen);
    std::string uid, args;
    std::getline(lines, uid);
    std::getline(lines, args);
    EXPECT_NE(uid, "0") << seen;
    EXPECT_EQ(args, ";|$(touch|/tmp/x)|`id`|$(id) ; rm -rf /|") << seen;
    EXPECT_FALSE(contains(seen, "VDWEB_SECRET_OF_THE_SERVER")) << seen;
    EXPECT_TRUE(contains(seen, "VD_OP_KIND=checkout\n")) << seen;
}

// Types are the VOB owner's and the administrator's: another user can neither make one (a
// trigger type least of all), nor rename or remove one; and a trigger never runs for an
// operation its user may not do.
TEST_F(VdtoolTest, OnlyTheOwnerChangesTypesAndTriggersWaitForPermission) {
    make_file("/vobs/p/a.c", "one");
    ASSERT_EQ(run({"protect", "-chmod", "0644", "/vobs/p/a.c"}), 0) << cap_.err;
    TriggerScripts scripts;
    const std::string mark = scripts / "ran";
    const std::string touch = scripts.script("touch", "echo ran > \"$1\"\n");
    ASSERT_EQ(run({"mktrtype", "-element", "-all", "-preop", "checkout", "-exec",
                   touch + " " + mark, "pre@/vobs/p"}),
              0)
        << cap_.err;
    ASSERT_EQ(run({"mklbtype", "OWNED@/vobs/p"}), 0) << cap_.err;

    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    const std::vector<std::vector<std::string>> refused = {
        {"mktrtype", "-element", "-all", "-preop", "checkout", "-exec", touch + " " + mark,
         "evil@/vobs/p"},
        {"mklbtype", "MINE@/vobs/p"},
        {"mkbrtype", "mine@/vobs/p"},
        {"rename", "lbtype:OWNED@/vobs/p", "STOLEN"},
        {"rmtype", "trtype:pre@/vobs/p"},
        {"cptype", "lbtype:OWNED@/vobs/p", "COPY@/vobs/p"},
    };
    for (const auto& args : refused) {
        EXPECT_EQ(run(args), TBS_ST_PERMISSION) << args[0] << ": " << cap_.err;
        EXPECT_TRUE(contains(cap_.err, "owner of the VOB")) << cap_.err;
    }
    // The checkout is refused by the element's protection before the trigger can run.
    EXPECT_EQ(run({"checkout", "-c", "x", "/vobs/p/a.c"}), TBS_ST_PERMISSION) << cap_.err;
    EXPECT_FALSE(std::ifstream(mark).good()) << "a trigger ran for a refused checkout";
    credutl_reset_creds();
    EXPECT_EQ(run({"lstype", "-kind", "trtype", "-invob", "/vobs/p"}), 0);
    EXPECT_FALSE(contains(cap_.out, "evil")) << cap_.out;
}
