// What the end-to-end tests of one family of RPCs share: a site served by lighttpd, the test
// users, the core's messages captured while the test works on the site in-process (vdtool
// lines, core calls), and the core's caches dropped afterwards so that no test sees another's
// handles.
#ifndef VDWEB_TESTS_E2E_SITE_TEST_H
#define VDWEB_TESTS_E2E_SITE_TEST_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "e2e/cgi_process.h"
#include "e2e/lighttpd_server.h"
#include "e2e/test_users.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {

class SiteTest : public ::testing::Test {
protected:
    // Without anonymous requests every request logs in, as on a served site; with them,
    // requests without credentials run as the site's account.
    explicit SiteTest(bool allow_anonymous = false) : server_({}, {}, {}, allow_anonymous) {}

    void SetUp() override {
        std::string why;
        ASSERT_TRUE(ensure_test_users(&why)) << why;
        ASSERT_TRUE(server_.started()) << server_.failure();
        saved_ = redirect_messages(Captured::proc, &cap_);
    }
    void TearDown() override {
        view_cache_clear();
        vob_ob_all_cache_action(4);
        imsg_set_redirect_table(saved_);
    }

    // vdtool command lines run in-process, each of which must succeed.
    void vdtool_lines(const std::vector<std::vector<std::string>>& lines) {
        for (const std::vector<std::string>& line : lines)
            ASSERT_EQ(run_vdtool(&cap_, line), 0) << line[0] << ": " << cap_.err;
    }
    // The same, acting as `user` (views made so are the user's own).
    void vdtool_lines_as(const TestUser& user, const std::vector<std::vector<std::string>>& lines) {
        ASSERT_EQ(credutl_set_credentials(user.name, nullptr), 0);
        for (const std::vector<std::string>& line : lines) {
            const tbs_status_t st = run_vdtool(&cap_, line);
            if (st == 0) continue;
            credutl_reset_creds();
            FAIL() << line[0] << ": " << cap_.err;
        }
        credutl_reset_creds();
    }

    LighttpdServer server_;
    const TempSite& site_ = server_.site();
    ScopedHome home_{site_.home()};
    Captured cap_;
    imsg_redirect_table_t saved_{};
};

}  // namespace e2e

#endif
