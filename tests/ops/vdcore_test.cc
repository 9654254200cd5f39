// The facade's message capture.
#include <gtest/gtest.h>

#include "core/imsg/imsg.h"
#include "foundation/wcm_mempool.h"
#include "ops/vdw_vdcore.h"
#include "support/temp_dir.h"

TEST(VdcoreCapture, MessagesByKindInArrivalOrder) {
    WCM_MemPool pool;
    {
        VDW_Vdcore facade;
        EXPECT_FALSE(facade.have_msg_text(VDW_Vdcore::ALL));
        EXPECT_EQ(facade.msg_text(VDW_Vdcore::ALL, pool), nullptr);
        imsg_ok("one\n");
        imsg_printf(IMSG_ERROR,
                    "two \x01"
                    "bold\x03\n");
        imsg_warning("three\n");
        for (int i = 0; i < 100; ++i) imsg_ok("x");  // grows the arrays
        char* all = facade.msg_text(VDW_Vdcore::ALL, pool);
        ASSERT_NE(all, nullptr);
        EXPECT_EQ(std::string(all).substr(0, 20), "one\ntwo bold\nthree\nx");
        VDW_Vdcore::free_msg_text(all);
        char* err = facade.msg_text(VDW_Vdcore::ERR, pool);
        EXPECT_STREQ(err, "two bold\n");
        VDW_Vdcore::free_msg_text(err);
        EXPECT_TRUE(facade.have_msg_text(VDW_Vdcore::WARN));

        EXPECT_TRUE(facade.capture_msg_text(false));
        imsg_error("not kept\n");
        EXPECT_FALSE(facade.capture_msg_text(true));
        char* err2 = facade.msg_text(VDW_Vdcore::ERR, pool);
        EXPECT_STREQ(err2, "two bold\n");
        VDW_Vdcore::free_msg_text(err2);

        facade.clear_msg_text();
        EXPECT_FALSE(facade.have_msg_text(VDW_Vdcore::OK));
    }
    // The previous redirect table is back.
    EXPECT_EQ(imsg_get_redirect_table().procs[IMSG_OK], imsg_append_proc_stderr);
}

TEST(VdcoreCache, ActionOutOfRangeIsAnInternalError) {
    TempHome site;  // the internal-error log goes to its log directory
    WCM_MemPool pool;
    VDW_Vdcore facade;
    for (int action : {0, 1, 2, 3}) facade.vob_cache_action(action);
    EXPECT_FALSE(facade.have_msg_text(VDW_Vdcore::ERR));
    facade.vob_cache_action(7);
    char* err = facade.msg_text(VDW_Vdcore::ERR, pool);
    ASSERT_NE(err, nullptr);
    EXPECT_NE(std::string(err).find("vob_cache_action 7"), std::string::npos) << err;
    VDW_Vdcore::free_msg_text(err);
}
