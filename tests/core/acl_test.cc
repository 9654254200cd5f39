// Access control by policy and role map: what the lists grant, how an object comes to be
// protected, and the definitions the commands refuse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cred/credutl.h"
#include "core/vob/vob_acl.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

class AclTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &out_);
        ASSERT_EQ(create_vob("/vobs/p", site_.path() + "/p.vbs"), 0);
        ASSERT_EQ(vob_open_by_tag("/vobs/p", &vob_), 0);
        ASSERT_EQ(mkelem_ci("/vobs/p/d", true), 0);
        ASSERT_EQ(mkelem_ci("/vobs/p/d/f"), 0);
        ASSERT_EQ(mkelem_ci("/vobs/p/g"), 0);
        // Developers change files and directories; everyone else reads.
        ASSERT_EQ(vdtool({"mkpolicy", "-ace", "felem:Role:Developer:Change", "-ace",
                          "delem:Role:Developer:Change", "-ace", "felem:Everyone:Read", "-ace",
                          "vob:Role:Admin:Full", "-c", "team rules", "team@/vobs/p"}),
                  0)
            << out_.text;
        ASSERT_EQ(vdtool({"mkrolemap", "-policy", "team", "-role", "Developer=User:nobody",
                          "rm@/vobs/p"}),
                  0)
            << out_.text;
    }
    void TearDown() override {
        credutl_reset_creds();
        imsg_set_redirect_table(saved_);
        vob_ob_all_cache_action(4);
    }

    tbs_status_t vdtool(const std::vector<std::string>& args) { return run_vdtool(&out_, args); }
    tbs_status_t as_nobody(const std::vector<std::string>& args) {
        EXPECT_EQ(credutl_set_credentials("nobody", nullptr), 0);
        tbs_status_t st = vdtool(args);
        credutl_reset_creds();
        return st;
    }
    vob_dbid_t dbid(const std::string& pname) {
        vob_resolved_t r;
        EXPECT_EQ(vob_resolve_pname(pname.c_str(), nullptr, 0, &r), 0) << pname;
        return r.element ? r.element : r.dbid;
    }
    std::string rolemap_of(const std::string& pname) {
        vob_acl_effective_t e;
        if (vob_acl_effective(vob_, dbid(pname), &e) != 0) return "<error>";
        if (!e.rolemap) return "";
        vob_type_info_t t;
        return vob_type_get(vob_, e.rolemap, &t) == 0 ? t.name : "?";
    }

    TempHome site_;
    vob_t* vob_ = nullptr;
    Captured out_;
    imsg_redirect_table_t saved_{};
};

TEST_F(AclTest, RoleMapOnTheVobDecidesInsteadOfModeBits) {
    // By mode bits nobody (not owner, not in the group) may not check out.
    EXPECT_EQ(as_nobody({"checkout", "-nc", "/vobs/p/g"}), TBS_ST_PERMISSION);
    bool enforced = true;
    ASSERT_EQ(vob_acl_enforced(vob_, &enforced), 0);
    EXPECT_FALSE(enforced);

    ASSERT_EQ(vdtool({"protect", "-rolemap", "rm", "vob:/vobs/p"}), 0) << out_.text;
    ASSERT_EQ(vob_acl_enforced(vob_, &enforced), 0);
    EXPECT_TRUE(enforced);
    // The effective list of a version is its element's, the role replaced by the user.
    vob_acl_effective_t e;
    ASSERT_EQ(vob_acl_effective(vob_, dbid("/vobs/p/g@@/main/1"), &e), 0);
    EXPECT_EQ(e.proxy, "felem");
    ASSERT_EQ(e.entries.size(), 2u);
    EXPECT_EQ(vob_acl_principal_str(e.entries[0]), "Everyone");
    EXPECT_EQ(vob_acl_principal_str(e.entries[1]), "User:nobody");
    EXPECT_EQ(e.entries[1].access, VOB_ACL_CHANGE);

    // Change lets nobody check out and in; Full (the owner's rights) is still refused.
    EXPECT_EQ(as_nobody({"checkout", "-nc", "/vobs/p/g"}), 0) << out_.text;
    EXPECT_EQ(as_nobody({"uncheckout", "/vobs/p/g"}), 0) << out_.text;
    EXPECT_EQ(as_nobody({"lock", "/vobs/p/g"}), TBS_ST_PERMISSION);
    EXPECT_EQ(as_nobody({"protect", "-chmod", "777", "/vobs/p/g"}), TBS_ST_PERMISSION);
    // Nobody cannot give itself more: changing the role map needs Change on it or the VOB.
    EXPECT_EQ(as_nobody({"mkrolemap", "-modify", "-role", "Admin=User:nobody", "rm@/vobs/p"}),
              TBS_ST_PERMISSION);

    // Taking nobody out of the role takes the access away at once.
    ASSERT_EQ(vdtool({"mkrolemap", "-modify", "-role", "Developer=Group:root", "rm@/vobs/p"}), 0)
        << out_.text;
    EXPECT_EQ(as_nobody({"checkout", "-nc", "/vobs/p/g"}), TBS_ST_PERMISSION);
    // The VOB's owner keeps every right whatever the lists say.
    EXPECT_EQ(vdtool({"lock", "/vobs/p/g"}), 0) << out_.text;
}

TEST_F(AclTest, ApplyingToATreeAndNewElements) {
    // Only the directories below /vobs/p/d (the directory itself included).
    ASSERT_EQ(vdtool({"protect", "-rolemap", "rm", "-recurse", "-directory", "/vobs/p/d"}), 0)
        << out_.text;
    EXPECT_EQ(rolemap_of("/vobs/p/d"), "rm");
    EXPECT_EQ(rolemap_of("/vobs/p/d/f"), "");
    ASSERT_EQ(vdtool({"protect", "-rolemap", "rm", "-recurse", "-file", "/vobs/p/d"}), 0);
    EXPECT_EQ(rolemap_of("/vobs/p/d/f"), "rm");
    EXPECT_EQ(rolemap_of("/vobs/p/g"), "");
    // An element made in a protected directory is protected as it is.
    ASSERT_EQ(mkelem_ci("/vobs/p/d/h"), 0) << out_.text;
    EXPECT_EQ(rolemap_of("/vobs/p/d/h"), "rm");
    EXPECT_EQ(as_nobody({"checkout", "-nc", "/vobs/p/d/h"}), 0) << out_.text;

    // A role map in use, and a policy a role map names, stay.
    EXPECT_EQ(vdtool({"rmtype", "rolemap:rm@/vobs/p"}), TBS_ST_IN_USE);
    EXPECT_EQ(vdtool({"rmtype", "policy:team@/vobs/p"}), TBS_ST_IN_USE);
    ASSERT_EQ(vdtool({"describe", "rolemap:rm@/vobs/p"}), 0);
    EXPECT_TRUE(contains(out_.out, "role Developer: User:nobody")) << out_.out;
    ASSERT_EQ(vdtool({"describe", "/vobs/p/d/f"}), 0);
    EXPECT_TRUE(contains(out_.out, "role map: rm")) << out_.out;
}

TEST_F(AclTest, DefinitionsRefused) {
    struct Case {
        std::vector<std::string> args;
        tbs_status_t want;
    } cases[] = {
        {{"mkpolicy", "-ace", "nosuchkind:Everyone:Read", "x@/vobs/p"}, TBS_ST_INVALID},
        {{"mkpolicy", "-ace", "felem:User:no_such_user_here:Read", "x@/vobs/p"}, TBS_ST_NOT_FOUND},
        {{"mkpolicy", "-ace", "felem:Everyone:Write", "x@/vobs/p"}, TBS_ST_BAD_REQUEST},
        {{"mkpolicy", "-ace", "felem:Everyone:Read", "team@/vobs/p"}, TBS_ST_EXISTS},
        {{"mkpolicy", "-modify", "absent@/vobs/p"}, TBS_ST_NOT_FOUND},
        {{"mkrolemap", "-role", "Dev=Everyone", "x@/vobs/p"}, TBS_ST_BAD_REQUEST},  // no policy
        {{"mkrolemap", "-policy", "absent", "x@/vobs/p"}, TBS_ST_TYPE_NOT_FOUND},
        {{"mkrolemap", "-policy", "team", "-role", "Dev=Role:Other", "x@/vobs/p"}, TBS_ST_INVALID},
        {{"protect", "-rolemap", "absent", "/vobs/p/g"}, TBS_ST_TYPE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vdtool(c.args), c.want) << c.args[0] << " " << c.args[2] << "\n" << out_.text;
    }
    // Only the VOB's owner (or the administrator) defines access control.
    EXPECT_EQ(as_nobody({"mkpolicy", "-ace", "felem:Everyone:Full", "mine@/vobs/p"}),
              TBS_ST_PERMISSION);
    vob_type_info_t t;
    EXPECT_NE(vob_type_find(vob_, VOB_MTYPE_POLICY, "mine", &t), 0);
}

}  // namespace
