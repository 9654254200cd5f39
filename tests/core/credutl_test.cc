// The acting identity.
#include "core/cred/credutl.h"

#include <gtest/gtest.h>
#include <unistd.h>

TEST(Credutl, ProcessIdentityAndActingIdentity) {
    credutl_creds_t self;
    ASSERT_EQ(credutl_get_process_creds(&self), 0);
    EXPECT_EQ(self.uid, geteuid());
    EXPECT_TRUE(credutl_in_group(self, self.gid));
    EXPECT_TRUE(credutl_is_privileged(self));

    credutl_creds_t acting;
    ASSERT_EQ(credutl_get_creds(&acting), 0);
    EXPECT_STREQ(acting.user, self.user);

    // "nobody" exists on every Debian system.
    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    ASSERT_EQ(credutl_get_creds(&acting), 0);
    EXPECT_STREQ(acting.user, "nobody");
    EXPECT_FALSE(credutl_is_privileged(acting) && geteuid() != acting.uid);
    EXPECT_EQ(credutl_set_credentials("no-such-user-xyz", nullptr), TBS_ST_NOT_FOUND);
    EXPECT_EQ(credutl_set_credentials("nobody", "no-such-group-xyz"), TBS_ST_NOT_FOUND);
    EXPECT_EQ(credutl_set_credentials("nobody", "root"), TBS_ST_PERMISSION);
    credutl_reset_creds();
    ASSERT_EQ(credutl_get_creds(&acting), 0);
    EXPECT_EQ(acting.uid, self.uid);
}
