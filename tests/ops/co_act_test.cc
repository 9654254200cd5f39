// The checkout decision hook the web and XML checkouts share (VDW_CoAct): what each kind
// of action decides for a version that is not the latest on its branch, and what it records;
// and the pop kinds clients name for an uncheckout.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_vdcore.h"
#include "ops/checkout/vdw_co_act.h"
#include "ops/checkout/vdw_co_common.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

TEST(VdwCoAct, NonLatestDecisionsAndRecord) {
    TempHome home;
    Captured cap;
    const imsg_redirect_table_t saved = redirect_messages(Captured::proc, &cap);
    ASSERT_EQ(create_vob("/vobs/p", home.path() + "/p.vbs"), 0);
    ASSERT_EQ(mkelem_ci("/vobs/p/a.c", false, write_file(home.path() + "/one", "one\n")), 0);
    cmd_checkout_args_t again;
    again.pnames = {"/vobs/p/a.c"};
    ASSERT_EQ(cmd_checkout(&again), 0) << cap.err;
    cmd_checkin_args_t ci;
    ci.pnames = {"/vobs/p/a.c"};
    ci.from = {write_file(home.path() + "/two", "two\n")};
    ASSERT_EQ(cmd_checkin(&ci), 0) << cap.err;
    cmd_mkview_args_t mk;
    mk.tag = "old";
    mk.storage = home.path() + "/old.vws";
    mk.cspec = "element * CHECKEDOUT\nelement * /main/1\n";
    ASSERT_EQ(cmd_mkview(&mk), 0) << cap.err;
    view_t* view = nullptr;
    ASSERT_EQ(view_open_by_tag("old", &view), 0);

    const struct {
        const char* name;
        std::function<std::unique_ptr<VDW_CoAct>()> make;
        tbs_status_t status;
        bool conflict;
        const char* from;  // the version checked out from
    } cases[] = {
        {"refuse", [] { return std::make_unique<VDW_CoAct>(); }, TBS_ST_NOT_LATEST, true, ""},
        {"selected", [] { return std::make_unique<VDW_CoAct>(CMD_NONLATEST_SELECTED); }, TBS_ST_OK,
         false, "/main/1"},
        {"latest", [] { return std::make_unique<VDW_CoAct>(CMD_NONLATEST_LATEST); }, TBS_ST_OK,
         false, "/main/2"},
        {"forced", [] { return std::make_unique<VDW_ForcedLatestCoAct>(); }, TBS_ST_OK, false,
         "/main/2"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<VDW_CoAct> action = c.make();
        cmd_checkout_args_t co;
        VDW_CheckoutFlags flags;
        const tbs_status_t st = vdw_checkout(view, "/vobs/p/a.c", "", flags, *action, &co);
        EXPECT_EQ(st, c.status) << c.name << ": " << cap.err;
        EXPECT_EQ(action->had_nonlatest_conflict(), c.conflict) << c.name;
        EXPECT_FALSE(action->had_not_mastered_locally_conflict()) << c.name;
        std::string from;
        vob_checkout_info_t info;
        vob_t* vob = nullptr;
        if (st == TBS_ST_OK && vob_open_by_tag("/vobs/p", &vob) == 0 &&
            vob_ckout_get(vob, co.checkouts.at(0), &info) == 0)
            vob_ver_get_idstr(vob, info.pred_version, &from);
        EXPECT_EQ(from, c.from) << c.name;
        if (st == TBS_ST_OK) {
            cmd_uncheckout_args_t un;
            un.pnames = {"/vobs/p/a.c"};
            un.view = &view->ctx;
            ASSERT_EQ(cmd_uncheckout(&un), 0) << cap.err;
        }
    }
    view_cache_clear();
    vob_ob_all_cache_action(4);
    imsg_set_redirect_table(saved);
}

TEST(VdwCoAct, PopKindsClientsName) {
    const struct {
        const char* text;
        int kind;
    } cases[] = {{"", CMD_POP_NONE},
                 {"0", CMD_POP_NONE},
                 {"none", CMD_POP_NONE},
                 {"1", CMD_POP_EMPTY_BRANCH},
                 {"empty-branch", CMD_POP_EMPTY_BRANCH},
                 {"2", -1},
                 {"NONE", -1},
                 {nullptr, CMD_POP_NONE}};
    for (const auto& c : cases)
        EXPECT_EQ(VDW_Vdcore::pop_to_vobOp(c.text), c.kind) << (c.text ? c.text : "(null)");
}

}  // namespace
