// The trigger-action listener registration: set, read back, refused, removed.
#include "core/vob/vob_cb.h"

#include <gtest/gtest.h>

namespace {

int first(int, const char*) {
    return 1;
}
int second(int, const char*) {
    return 2;
}

TEST(VobCb, RegistrationIsKeptReplacedAndRemoved) {
    vob_cb_trig_action_listener_t got;
    ASSERT_EQ(vob_cb_trig_action_listener_set(nullptr, nullptr, 0), 0);
    EXPECT_FALSE(vob_cb_trig_action_listener_get(&got));

    ASSERT_EQ(vob_cb_trig_action_listener_set(&first, "/site/tmp/req.msg", 500), 0);
    // Bad registrations are refused and leave the one in place.
    EXPECT_EQ(vob_cb_trig_action_listener_set(&second, nullptr, 500), TBS_ST_ERR);
    EXPECT_EQ(vob_cb_trig_action_listener_set(&second, "", 500), TBS_ST_ERR);
    EXPECT_EQ(vob_cb_trig_action_listener_set(&second, "/site/tmp/other.msg", 0), TBS_ST_ERR);
    ASSERT_TRUE(vob_cb_trig_action_listener_get(&got));
    EXPECT_EQ(got.proc, &first);
    EXPECT_EQ(got.filename, "/site/tmp/req.msg");
    EXPECT_EQ(got.poll_ms, 500);
    EXPECT_FALSE(vob_cb_trig_action_listener_get(nullptr));

    ASSERT_EQ(vob_cb_trig_action_listener_set(&second, "/site/tmp/other.msg", 100), 0);
    ASSERT_TRUE(vob_cb_trig_action_listener_get(&got));
    EXPECT_EQ(got.proc(VOB_CB_TRIG_ACTION_END, got.filename.c_str()), 2);
    EXPECT_EQ(got.filename, "/site/tmp/other.msg");

    EXPECT_EQ(vob_cb_trig_action_listener_set(nullptr, "ignored", 7), 0);
    EXPECT_FALSE(vob_cb_trig_action_listener_get(&got));
}

}  // namespace
