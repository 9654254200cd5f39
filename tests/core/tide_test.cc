// The change-request integration's built-in provider: databases in the site, users with
// hashed passwords, records, sessions logging in through the login callback, and a
// project's change-request state.
#include "core/tide/tide.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/cred/credutl.h"
#include "core/sum/sum_xcm.h"
#include "core/vob/vob_obj.h"
#include "core/vob/xcm.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

// A login callback answering from a list, one answer a try; past the list it gives up.
struct Answers {
    std::vector<std::string> passwords;
    int calls = 0;
    static void login(void* d, const char*, const char*, CTide_Credentials* c, int retry_count,
                      int* retry) {
        Answers* a = static_cast<Answers*>(d);
        ++a->calls;
        *retry = retry_count < static_cast<int>(a->passwords.size()) ? 0 : 1;
        if (*retry == 0) {
            c->user_name = "alice";
            c->password = a->passwords[retry_count];
        }
    }
};

}  // namespace

class TideTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = redirect_messages(Captured::proc, &cap_); }
    void TearDown() override {
        CTide_set_login_callback(nullptr, nullptr);
        imsg_set_redirect_table(saved_);
        vob_ob_all_cache_action(4);
    }
    tbs_status_t run(const std::vector<std::string>& args) { return run_vdtool(&cap_, args); }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
};

TEST_F(TideTest, UsersRecordsAndSessions) {
    std::vector<CTide_Database> dbs;
    ASSERT_EQ(CTide_provider()->databases(&dbs), 0);
    EXPECT_TRUE(dbs.empty());  // a fresh site has none

    ASSERT_EQ(run({"mkcrmdb", "defects@main"}), 0) << cap_.err;
    const std::string pw = write_file(tmp_ / "pw", "s3cret pass\n");
    ASSERT_EQ(run({"mkcrmuser", "-pwfile", pw, "defects@main", "alice"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkcrmrec", "-headline", "Crash on start", "-owner", "alice", "defects@main",
                   "DEF001"}),
              0)
        << cap_.err;
    ASSERT_EQ(run({"mkcrmrec", "-type", "Enhancement", "-owner", "bob", "defects@main", "ENH002"}),
              0);
    ASSERT_EQ(CTide_provider()->databases(&dbs), 0);
    ASSERT_EQ(dbs.size(), 1u);
    EXPECT_EQ(dbs[0].user_db + "@" + dbs[0].db_set, "defects@main");
    // The password is kept only as its hash.
    const std::string stored = read_file(site_.path() + "/tide/main/defects.db");
    EXPECT_FALSE(stored.empty());
    EXPECT_FALSE(contains(stored, "s3cret pass"));

    struct Case {
        const char* user;
        const char* password;
        const char* db;
        tbs_status_t want;
    } cases[] = {
        {"alice", "s3cret pass", "defects", TBS_ST_OK},
        {"alice", "s3cret", "defects", TBS_ST_PERMISSION},
        {"mallory", "s3cret pass", "defects", TBS_ST_PERMISSION},
        {"alice", "s3cret pass", "nosuch", TBS_ST_NOT_FOUND},
        {"alice", "s3cret pass", "../../registry/x", TBS_ST_BAD_NAME},
    };
    for (const Case& c : cases) {
        CTide_Credentials cr{c.db, "main", "", c.user, c.password};
        EXPECT_EQ(CTide_provider()->validate(cr), c.want)
            << c.user << "/" << c.password << "@" << c.db;
    }

    // A session asks the callback again after a wrong answer, and gives up when it does.
    Answers answers{{"wrong", "s3cret pass"}};
    CTide_set_login_callback(Answers::login, &answers);
    CTide_Session session;
    ASSERT_EQ(CTide_Session::open({"defects", "main", "", "", ""}, &session), 0) << cap_.err;
    EXPECT_EQ(answers.calls, 2);
    std::vector<CTide_Record> mine;
    ASSERT_EQ(session.query("alice", &mine), 0);
    ASSERT_EQ(mine.size(), 1u);
    EXPECT_EQ(mine[0].id, "DEF001");
    EXPECT_EQ(mine[0].rec_type, "Defect");
    EXPECT_EQ(mine[0].headline, "Crash on start");
    Answers wrong{{"no", "nope"}};
    CTide_set_login_callback(Answers::login, &wrong);
    EXPECT_EQ(CTide_Session::open({"defects", "main", "", "", ""}, &session),
              TBS_ST_CREDENTIALS_REQUIRED);
    EXPECT_EQ(wrong.calls, 3);
}

// A project is NOT_ENABLED without a database, SUSPENDED while the one it names is missing,
// ACTIVE once the site has it.
TEST_F(TideTest, ProjectChangeRequestState) {
    ASSERT_EQ(run({"mkvob", "-tag", "/vobs/src", site_.path() + "/src.vbs"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.path() + "/pvob.vbs"}), 0);
    ASSERT_EQ(run({"mkcomp", "-root", "/vobs/src", "src@/vobs/pvob"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkproject", "-modcomp", "component:src@/vobs/pvob", "plain@/vobs/pvob"}), 0);
    ASSERT_EQ(run({"mkproject", "-modcomp", "component:src@/vobs/pvob", "-crmdb", "defects@main",
                   "tracked@/vobs/pvob"}),
              0)
        << cap_.err;
    auto state = [](const char* sel) {
        SUM_Project p;
        SUM_String s;
        if (SUM_Project::construct_from_selector(sel, &p) != 0 || p.tn_enabled_status(&s) != 0)
            return std::string("<error>");
        return s.str();
    };
    EXPECT_EQ(state("project:plain@/vobs/pvob"), "NOT_ENABLED");
    EXPECT_EQ(state("project:tracked@/vobs/pvob"), "SUSPENDED");
    ASSERT_EQ(CTide_create_database("defects", "main"), 0);
    EXPECT_EQ(state("project:tracked@/vobs/pvob"), "ACTIVE");
}

// Binding an activity to a change record: only to a record of its project's database that
// no other activity holds, by the activity's owner; the activity's binding is what counts,
// so a record left naming an activity that moved on names none. Each change is in the
// activity's history.
TEST_F(TideTest, ActivitiesAreBoundToRecords) {
    const std::string pw = write_file(tmp_ / "pw", "pw\n");
    for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
             {"mkcrmdb", "defects@main"},
             {"mkcrmuser", "-pwfile", pw, "defects@main", "alice"},
             {"mkcrmrec", "-headline", "Crash", "defects@main", "DEF001"},
             {"mkcrmrec", "-type", "Enhancement", "defects@main", "ENH002"},
             {"mkvob", "-tag", "/vobs/src", site_.path() + "/src.vbs"},
             {"mkvob", "-tag", "/vobs/pvob", "-ucmproject", site_.path() + "/pvob.vbs"},
             {"mkcomp", "-root", "/vobs/src", "src@/vobs/pvob"},
             {"mkproject", "-modcomp", "component:src@/vobs/pvob", "plain@/vobs/pvob"},
             {"mkproject", "-modcomp", "component:src@/vobs/pvob", "-crmdb", "defects@main",
              "tracked@/vobs/pvob"},
             {"mkstream", "-in", "project:plain@/vobs/pvob", "-integration", "p_int@/vobs/pvob"},
             {"mkstream", "-in", "project:tracked@/vobs/pvob", "-integration", "t_int@/vobs/pvob"},
             {"mkactivity", "-in", "stream:p_int@/vobs/pvob", "loose@/vobs/pvob"},
             {"mkactivity", "-in", "stream:t_int@/vobs/pvob", "fix@/vobs/pvob"},
             {"mkactivity", "-in", "stream:t_int@/vobs/pvob", "other@/vobs/pvob"},
         })
        ASSERT_EQ(run(line), 0) << line[0] << ": " << cap_.err;
    vob_t* pvob = nullptr;
    vob_dbid_t fix = 0, other = 0;
    ASSERT_EQ(xcm_resolve("activity:fix@/vobs/pvob", VOB_MTYPE_ACTIVITY, &pvob, &fix), 0);
    ASSERT_EQ(xcm_resolve("activity:other@/vobs/pvob", VOB_MTYPE_ACTIVITY, &pvob, &other), 0);
    // The activity a record names, as readers find it.
    auto record_activity = [&](const char* id) -> vob_dbid_t {
        CTide_Record rec;
        vob_t* v = nullptr;
        vob_dbid_t act = 0;
        if (CTide_admin_get_record("defects", "main", id, &rec) != 0 ||
            xcm_record_activity(rec.bound_activity, {"defects", "main", id}, &v, &act) != 0)
            return 0;
        return act;
    };
    auto chact = [&](const std::string& opt, const std::string& act) {
        return opt.empty() ? run({"chactivity", "-nocrmrec", act})
                           : run({"chactivity", "-crmrec", opt, act});
    };

    struct Case {
        const char* record;  // "" unbinds
        const char* activity;
        tbs_status_t want;
    } refused[] = {
        {"DEF001", "activity:loose@/vobs/pvob", TBS_ST_NOT_SUPPORTED},  // project not enabled
        {"NOPE", "activity:fix@/vobs/pvob", TBS_ST_NOT_FOUND},
        {"DEF001", "activity:nosuch@/vobs/pvob", TBS_ST_NAME_NOT_FOUND},
    };
    for (const Case& c : refused)
        EXPECT_EQ(chact(c.record, c.activity), c.want) << c.record << " " << c.activity;
    EXPECT_EQ(record_activity("DEF001"), 0);

    ASSERT_EQ(chact("DEF001", "activity:fix@/vobs/pvob"), 0) << cap_.err;
    xcm_record_ref_t ref;
    ASSERT_EQ(xcm_activity_record(pvob, fix, &ref), 0);
    EXPECT_EQ(ref.id + "@" + ref.user_db + "@" + ref.db_set, "DEF001@defects@main");
    EXPECT_EQ(record_activity("DEF001"), fix);
    ASSERT_EQ(run({"lsactivity", "-in", "stream:t_int@/vobs/pvob"}), 0);
    EXPECT_TRUE(contains(cap_.out, "activity \"fix\"  \"fix\"  record \"DEF001\"@defects@main"))
        << cap_.out;
    // Held by one activity, the record is refused to another; a stranger binds nothing.
    EXPECT_EQ(chact("DEF001", "activity:other@/vobs/pvob"), TBS_ST_EXISTS);
    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    EXPECT_EQ(chact("ENH002", "activity:other@/vobs/pvob"), TBS_ST_PERMISSION);
    credutl_reset_creds();
    EXPECT_EQ(record_activity("ENH002"), 0);

    // Bound again elsewhere, the first record no longer names the activity.
    ASSERT_EQ(chact("ENH002", "activity:fix@/vobs/pvob"), 0) << cap_.err;
    EXPECT_EQ(record_activity("DEF001"), 0);
    EXPECT_EQ(record_activity("ENH002"), fix);
    ASSERT_EQ(chact("DEF001", "activity:other@/vobs/pvob"), 0) << cap_.err;
    EXPECT_EQ(record_activity("DEF001"), other);
    ASSERT_EQ(chact("", "activity:fix@/vobs/pvob"), 0) << cap_.err;
    EXPECT_EQ(xcm_activity_record(pvob, fix, &ref), TBS_ST_NOT_FOUND);
    EXPECT_EQ(record_activity("ENH002"), 0);

    std::vector<vob_event_info_t> events;
    ASSERT_EQ(vob_obj_get_events(pvob, fix, &events), 0);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0].kind, "modify activity record");
    EXPECT_EQ(events[0].comment, "unbound");
    EXPECT_EQ(events[1].comment, "bound to ENH002");

    // The record types a login reads; a record's contents keep what mkcrmrec changes.
    CTide_Session session;
    ASSERT_EQ(CTide_Session::open({"defects", "main", "", "alice", "pw"}, &session), 0);
    std::vector<std::string> types;
    ASSERT_EQ(session.record_types(&types), 0);
    EXPECT_EQ(types, (std::vector<std::string>{"Defect", "Enhancement"}));
    ASSERT_EQ(run({"mkcrmrec", "-headline", "Crash at once", "defects@main", "DEF001"}), 0);
    EXPECT_EQ(record_activity("DEF001"), other);
}
