// Cancellation markers shared between processes through the temporary directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/util/fileutl.h"
#include "foundation/vdw_cancel.h"

TEST(Cancel, MarkerLifecycle) {
    char tmpl[] = "/tmp/vdweb-cancel-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    setenv("VERDANE_TMP", dir.c_str(), 1);
    fileutl_reset_tmpdir();

    VDW_Cancel null_channel;
    EXPECT_TRUE(null_channel.is_null());
    null_channel.signal_cancel();
    EXPECT_FALSE(null_channel.is_cancelled());
    null_channel.cleanup_cancel();
    EXPECT_TRUE(std::filesystem::is_empty(dir));

    VDW_Cancel zero(0);  // session 0 is a valid session
    EXPECT_FALSE(zero.is_null());
    EXPECT_EQ(std::string(zero.get_cancel_filename()), dir + "/qlmx_cancel_0");

    VDW_Cancel runner(42), canceller(42);
    EXPECT_FALSE(runner.is_cancelled());
    canceller.signal_cancel();
    canceller.signal_cancel();
    EXPECT_TRUE(runner.is_cancelled());
    runner.cleanup_cancel();
    EXPECT_FALSE(runner.is_cancelled());
    runner.cleanup_cancel();  // nothing left to remove
    EXPECT_TRUE(std::filesystem::is_empty(dir));

    runner.set_sessionid(-1);
    EXPECT_TRUE(runner.is_null());

    std::filesystem::remove_all(dir);
    unsetenv("VERDANE_TMP");
    fileutl_reset_tmpdir();
}
