// The facade's message capture.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/sum/sum_view.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "facade/vdw_login_cache.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_mempool.h"
#include "foundation/wcm_status.h"
#include "interact/ireq_msg.h"
#include "interact/ireq_request.h"
#include "ops/login/vdw_creds_managers.h"
#include "ops/login/vdw_string_utils.h"
#include "support/core_fixture.h"
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

// ---- Files and pathnames.

TEST(VdcorePaths, ViewPnameStripAndSeparators) {
    char out[VDW_Vdcore::PNAME_SIZE];
    struct {
        const char* root;
        const char* path;
        const char* expected;
    } joins[] = {
        {"/views/v", "vobs/p/a.c", "/views/v/vobs/p/a.c"},
        {"/views/v", "/vobs/p", "/views/v/vobs/p"},
        {"", "vobs/p", "vobs/p"},
        {nullptr, "/vobs/p", "/vobs/p"},
    };
    for (const auto& j : joins) {
        ASSERT_TRUE(VDW_Vdcore::get_view_pname(j.root, j.path, out));
        EXPECT_STREQ(out, j.expected);
    }
    // A result that does not fit fails instead of being cut.
    std::string long_path(VDW_Vdcore::PNAME_SIZE, 'x');
    EXPECT_FALSE(VDW_Vdcore::get_view_pname("/views/v", long_path.c_str(), out));
    EXPECT_STREQ(out, "");

    struct {
        const char* root;
        const char* path;
        const char* expected;
    } strips[] = {
        {"/views/v", "/views/v/vobs/p", "/vobs/p"},
        {"/views/v", "/views/v", ""},
        {"/views/v/", "/views/v/a", "/a"},
        {"/views/v", "/views/vx/a", "/views/vx/a"},  // not below the root
        {"/views/v", "/other", "/other"},
    };
    for (const auto& s : strips) {
        std::string buf = s.path;
        VDW_Vdcore::strip_viewroot(s.root, buf.data());
        EXPECT_STREQ(buf.c_str(), s.expected) << s.root << " " << s.path;
    }
    char p[] = "/vobs/p/a";
    VDW_Vdcore::convert_pname_to_local(p);
    VDW_Vdcore::convert_pname_to_global(p);
    EXPECT_STREQ(p, "/vobs/p/a");
}

TEST(VdcorePaths, FreeNamesAndFileCopy) {
    TempHome home;
    const std::string dir = home.path() + "/area";
    ASSERT_EQ(fileutl_mkdir_p(dir.c_str(), 0775), TBS_ST_OK);
    char out[VDW_Vdcore::PNAME_SIZE];
    ASSERT_EQ(VDW_Vdcore::generate_available_ws_location(dir.c_str(), "x", out), 0);
    EXPECT_EQ(std::string(out), dir + "/x");
    write_file(dir + "/x", "");
    ASSERT_EQ(VDW_Vdcore::generate_available_ws_location(dir.c_str(), "x", out), 0);
    EXPECT_EQ(std::string(out), dir + "/x.1");
    for (int i = 1; i < 100; ++i) write_file(dir + "/x." + std::to_string(i), "");
    // Every candidate taken: a failure, never a name in use.
    EXPECT_NE(VDW_Vdcore::generate_available_ws_location(dir.c_str(), "x", out), 0);

    ASSERT_EQ(VDW_Vdcore::generate_available_tmp_location("t", out), 0);
    EXPECT_EQ(std::string(out), std::string(fileutl_get_tmpdir()) + "/t");

    // A copy makes the missing directories on the way.
    WCM_Status status;
    const std::string src = write_file(dir + "/src", "contents\n");
    {
        VDW_Vdcore facade;
        facade.copy_file(src.c_str(), (dir + "/new/deeper").c_str(), "sub/leaf", status);
        EXPECT_TRUE(status.is_ok()) << status.text();
        EXPECT_EQ(read_file(dir + "/new/deeper/sub/leaf"), "contents\n");
        // A missing source: the core's copy message, captured, and no target left.
        facade.copy_file((dir + "/missing").c_str(), dir.c_str(), "out", status);
        EXPECT_FALSE(status.is_ok());
        EXPECT_FALSE(fileutl_exists((dir + "/out").c_str()));
        WCM_MemPool pool;
        char* err = facade.msg_text(VDW_Vdcore::ERR, pool);
        ASSERT_NE(err, nullptr);
        EXPECT_NE(std::string(err).find("Unable to copy"), std::string::npos) << err;
        VDW_Vdcore::free_msg_text(err);
    }
}

// ---- Views.

TEST(VdcoreViews, LookupsByUuidPathAndTag) {
    TempHome home;
    struct {
        const char* tag;
        const char* kind;
        bool sum_view;
        bool web, xcm, automatic, snapshot;
    } views[] = {
        {"w", "webview", false, true, false, false, false},
        {"s", "snapshot", false, false, false, false, true},
        {"a", "automatic", true, false, true, true, false},
    };
    VDW_Vdcore facade;
    for (const auto& v : views) {
        SCOPED_TRACE(v.tag);
        cmd_mkview_args_t args;
        args.tag = v.tag;
        args.storage = home.path() + "/" + v.tag + ".vws";
        args.kind = v.kind;
        args.sum_view = v.sum_view;
        ASSERT_EQ(cmd_mkview(&args), TBS_ST_OK);

        WCM_Status status;
        VDW_Vdcore::ViewInfo info;
        facade.lookup_view_by_uuid(args.uuid, &info, status);
        ASSERT_TRUE(status.is_ok());
        EXPECT_STREQ(info.tag, v.tag);
        EXPECT_EQ(info.is_web, v.web);
        EXPECT_EQ(info.is_xcm, v.xcm);
        EXPECT_EQ(info.is_automatic, v.automatic);
        EXPECT_EQ(info.is_snapshot, v.snapshot);

        char root[VDW_Vdcore::PNAME_SIZE];
        facade.uuid_to_viewroot(tbs_uuid_text(args.uuid).c_str(), root, status);
        ASSERT_TRUE(status.is_ok());
        VDW_Vdcore::ViewInfo by_path;
        facade.lookup_view_by_path((std::string(root) + "/vobs/x").c_str(), &by_path, status);
        ASSERT_TRUE(status.is_ok());
        EXPECT_STREQ(by_path.tag, v.tag);
        VDW_Vdcore::ViewInfo by_tag;
        facade.lookup_view_by_tag(v.tag, &by_tag, status);
        ASSERT_TRUE(status.is_ok());
        EXPECT_EQ(by_tag.is_snapshot, v.snapshot);
    }

    WCM_Status status;
    VDW_Vdcore::ViewInfo info;
    facade.lookup_view_by_uuid(tbs_uuid_create(), &info, status);
    EXPECT_EQ(status.status(), 1002);
    facade.lookup_view_by_tag("nosuch", &info, status);
    EXPECT_EQ(status.status(), 1002);
    facade.lookup_view_by_path("/not/in/a/view", &info, status);
    EXPECT_FALSE(status.is_ok());
    EXPECT_NE(std::string(status.text()).find("VDSRV1052"), std::string::npos);
    char root[VDW_Vdcore::PNAME_SIZE];
    facade.uuid_to_viewroot("not a uuid", root, status);
    EXPECT_FALSE(status.is_ok());
    EXPECT_STREQ(root, "");
}

TEST(VdcoreViews, DynamicViewRootNeedsTheVirtualFileSystem) {
    TempHome home;
    setenv("VERDANE_VTFS", "off", 1);  // as where no /dev/fuse can be opened
    struct Restore {
        ~Restore() { unsetenv("VERDANE_VTFS"); }
    } restore;
    cmd_mkview_args_t args;
    args.tag = "dyn";
    args.storage = home.path() + "/dyn.vws";
    args.kind = "dynamic";
    ASSERT_EQ(cmd_mkview(&args), TBS_ST_OK);
    SUM_View view;
    ASSERT_EQ(SUM_View::construct_from_tag("dyn", &view), TBS_ST_OK);
    VDW_Vdcore facade;
    SUM_String root;
    EXPECT_EQ(facade.get_view_root(view, &root), 1001);
    WCM_MemPool pool;
    char* err = facade.msg_text(VDW_Vdcore::ERR, pool);
    ASSERT_NE(err, nullptr);
    EXPECT_STREQ(err,
                 "VDSRV1278: Could not access dynamic view 'dyn' because VTFS is not configured "
                 "on the server.\n");
    VDW_Vdcore::free_msg_text(err);

    cmd_mkview_args_t web;
    web.tag = "web";
    web.storage = home.path() + "/web.vws";
    ASSERT_EQ(cmd_mkview(&web), TBS_ST_OK);
    SUM_View wv;
    ASSERT_EQ(SUM_View::construct_from_tag("web", &wv), TBS_ST_OK);
    ASSERT_EQ(facade.get_view_root(wv, &root), 0);
    EXPECT_EQ(root.str(), web.storage + "/root");
}

// Where dynamic views can be served, the facade answers a dynamic view's root from the
// running view: asking for it starts the view (the mount point exists only then), a view
// made without a client copy area is dynamic, end_view stops it and removal stops it first.
TEST(VdcoreViews, DynamicViewRootComesFromTheRunningView) {
    std::string why;
    TempHome home;
    if (!view_vtfs_available(&why)) GTEST_SKIP() << why;
    VDW_Vdcore facade;
    WCM_Status status;
    SUM_Uuid uuid;
    facade.create_view("dyn", "", "", &uuid, status);
    ASSERT_TRUE(status.is_ok()) << status.text();
    SUM_View view;
    ASSERT_EQ(SUM_View::construct_from_tag("dyn", &view), TBS_ST_OK);
    bool web = true;
    ASSERT_EQ(view.is_web_view(&web), 0);
    EXPECT_FALSE(web);
    const std::string expected = home.path() + "/view/dyn";
    EXPECT_FALSE(std::filesystem::exists(expected));
    SUM_String root;
    WCM_MemPool pool;
    ASSERT_EQ(facade.get_view_root(view, &root), 0) << facade.msg_text(VDW_Vdcore::ALL, pool);
    EXPECT_EQ(root.str(), expected);
    EXPECT_TRUE(std::filesystem::is_directory(expected)) << "served by its daemon";
    int state = -1;
    ASSERT_EQ(view_dynamic_state("dyn", &state, nullptr), 0);
    EXPECT_EQ(state, VIEW_DYN_RUNNING);
    char by_uuid[1024];
    facade.uuid_to_viewroot(uuid.string().c_str(), by_uuid, status);
    ASSERT_TRUE(status.is_ok()) << status.text();
    EXPECT_EQ(std::string(by_uuid), expected);

    facade.end_view(view, status);
    ASSERT_TRUE(status.is_ok()) << status.text();
    ASSERT_EQ(view_dynamic_state("dyn", &state, nullptr), 0);
    EXPECT_EQ(state, VIEW_DYN_STOPPED);
    EXPECT_FALSE(std::filesystem::exists(expected));
    // Started again by the lookup that takes the view, and stopped by its removal.
    facade.uuid_to_viewroot(uuid.string().c_str(), by_uuid, status);
    ASSERT_EQ(view_dynamic_state("dyn", &state, nullptr), 0);
    EXPECT_EQ(state, VIEW_DYN_RUNNING);
    facade.remove_view("dyn", status);
    ASSERT_TRUE(status.is_ok()) << status.text();
    EXPECT_FALSE(std::filesystem::exists(expected));
    rgy_view_entry_t gone;
    EXPECT_NE(rgy_find_view_by_tag("dyn", nullptr, &gone), 0);
}

// A web view made for a client gets storage of its own under the site's views, even when
// the obvious name is taken; a refused one leaves no storage behind, and only its owner
// removes it.
TEST(VdcoreViews, CreatedViewsTakeAFreeStorageNameAndLeaveNothingWhenRefused) {
    TempHome home;
    const std::string views = home.path() + "/views";
    ASSERT_EQ(fileutl_mkdir_p((views + "/w.vws").c_str(), 0775), TBS_ST_OK);  // not a view
    VDW_Vdcore facade;
    WCM_Status status;
    SUM_Uuid uuid;
    facade.create_view("w", "", "C:/work/w", &uuid, status);
    ASSERT_TRUE(status.is_ok()) << status.text();
    rgy_view_entry_t entry;
    ASSERT_EQ(rgy_find_view_by_tag("w", nullptr, &entry), 0);
    EXPECT_EQ(entry.storage, views + "/w.vws.1");
    EXPECT_EQ(tbs_uuid_text(entry.uuid), uuid.string().str());
    view_t* view = nullptr;
    facade.open_view(uuid.string().c_str(), &view, status);
    ASSERT_NE(view, nullptr) << status.text();
    std::string root;
    ASSERT_EQ(view_get_prop(view, "copy_area_root", &root), 0);
    EXPECT_EQ(root, "C:/work/w");

    struct {
        const char* tag;
        int status;
    } refused[] = {{"w", TBS_ST_EXISTS}, {"../w", TBS_ST_BAD_NAME}, {"", TBS_ST_BAD_NAME}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.tag);
        WCM_Status st;
        facade.create_view(r.tag, "", "", &uuid, st);
        EXPECT_EQ(st.status(), r.status);
        EXPECT_NE(std::string(st.text()).find("VDSRV1014"), std::string::npos) << st.text();
    }
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(views)) ++entries;
    EXPECT_EQ(entries, 2u);
    EXPECT_FALSE(std::filesystem::exists(home.path() + "/w.vws"));

    ASSERT_EQ(credutl_set_credentials("nobody", nullptr), 0);
    WCM_Status not_owner;
    facade.remove_view("w", not_owner);
    credutl_reset_creds();
    EXPECT_EQ(not_owner.status(), TBS_ST_PERMISSION);
    EXPECT_NE(std::string(not_owner.text()).find("VDSRV1016"), std::string::npos);
    WCM_Status owner;
    facade.remove_view("w", owner);
    EXPECT_TRUE(owner.is_ok()) << owner.text();
    EXPECT_FALSE(std::filesystem::exists(views + "/w.vws.1"));
    view_cache_clear();
}

// A login that passed the password check counts again only with the same user and password,
// only for a while, gives back the identity kept with it, and the cache keeps no password.
TEST(LoginCache, RemembersExactLoginsForAWhile) {
    TempDir tmp;
    setenv("VERDANE_TMP", tmp.path().c_str(), 1);
    fileutl_reset_tmpdir();
    // A real account: a remembered login counts only while the system still has it.
    credutl_creds_t ann{}, got{};
    ASSERT_EQ(credutl_lookup("nobody", nullptr, &ann), 0);
    ann.ngroups = 1;
    ann.groups[0] = 55;
    EXPECT_FALSE(VDW_LoginCache::recently_checked("nobody", "secret one", &got));
    VDW_LoginCache::remember("nobody", "secret one", ann, VDW_LoginCache::account_state());
    ASSERT_TRUE(VDW_LoginCache::recently_checked("nobody", "secret one", &got));
    EXPECT_EQ(got.uid, ann.uid);
    EXPECT_EQ(got.groups[0], 55u);
    EXPECT_FALSE(VDW_LoginCache::recently_checked("nobody", "secret two", &got));
    EXPECT_FALSE(VDW_LoginCache::recently_checked("bob", "secret one", &got));
    EXPECT_FALSE(VDW_LoginCache::recently_checked("nobody", "", &got));
    // An entry for a user id the account no longer has counts for nothing.
    credutl_creds_t other = ann;
    other.uid = ann.uid + 1;
    VDW_LoginCache::remember("nobody", "secret three", other, VDW_LoginCache::account_state());
    EXPECT_FALSE(VDW_LoginCache::recently_checked("nobody", "secret three", &got));
    VDW_LoginCache::remember("nobody", "secret one", ann, VDW_LoginCache::account_state());

    const std::string dir = tmp / "logins";
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.find("secret one"), std::string::npos) << entry.path();
        if (entry.path().filename() == "key") continue;
        // Older than the cache time: the check is due again.
        const int64_t old =
            static_cast<int64_t>(time(nullptr)) - VDW_LoginCache::LOGIN_CACHE_SECONDS;
        for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>(old >> (8 * i));
        std::ofstream(entry.path(), std::ios::binary | std::ios::trunc) << bytes;
    }
    EXPECT_FALSE(VDW_LoginCache::recently_checked("nobody", "secret one", &got));
    unsetenv("VERDANE_TMP");
    fileutl_reset_tmpdir();
}

// The server's reversible encoding: round trips, hides the text, and answers the empty
// string for what it cannot take.
TEST(StringUtils, EncodesReversiblyWithinItsBuffer) {
    const SUM_String plain("user:pass word");
    const SUM_String coded = VDW_StringUtils::encrypt(plain);
    EXPECT_FALSE(coded.is_empty());
    EXPECT_EQ(std::string(coded.c_str()).find("pass"), std::string::npos);
    EXPECT_STREQ(VDW_StringUtils::decrypt(coded).c_str(), plain.c_str());
    EXPECT_TRUE(VDW_StringUtils::encrypt(SUM_String(std::string(500, 'x'))).is_empty());
    EXPECT_TRUE(VDW_StringUtils::decrypt(SUM_String("not an encoding")).is_empty());
}

namespace {

// A client that answers every login request at once with the fields given.
struct LoginClient {
    std::vector<std::pair<std::string, std::string>> answer;
    std::vector<std::string> asked;
    static int deliver(const char* text, void* data) {
        auto* self = static_cast<LoginClient*>(data);
        self->asked.push_back(text);
        stg_scoped_area area;
        ireq_msg_t* q = ireq_msg_from_string(area.get(), text);
        const char* conn = nullptr;
        const char* seq = nullptr;
        ireq_msg_get_element(q, IREQ_MSG_CONNECTION, &conn);
        ireq_msg_get_element(q, IREQ_MSG_SEQID, &seq);
        std::string reply = std::string("MsgSeqID=") + seq + "\nMsgType=Message\nMsgVersion=1.0\n";
        for (const auto& [name, value] : self->answer) reply += name + "=" + value + "\n";
        ireq_response_send(reply.c_str(), conn);
        return 1;
    }
};

}  // namespace

// Logins the credentials managers ask of the client: the answer is taken and cached, a
// cancel leaves the operation without a login and says so, a change-request login cached
// for the same database set ends without asking, and caching can be turned off.
TEST(CredsManagers, AskCacheAndCancel) {
    TempDir tmp;
    setenv("VERDANE_TMP", tmp.path().c_str(), 1);
    fileutl_reset_tmpdir();
    Captured cap;
    const imsg_redirect_table_t saved = redirect_messages(Captured::proc, &cap);
    LoginClient client;
    ireq_requestor_set_callback(&LoginClient::deliver, &client);

    int out = -1;
    VDW_CmiCreds cmi;
    client.answer = {{"status", "ok"}, {"userName", "ann"}, {"password", "pw1"}};
    VDW_CmiCredsManager::obtain_login("git-cm", "checkin", &cmi, 0, "", &out);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(cmi.user, "ann");
    ASSERT_EQ(client.asked.size(), 1u);
    EXPECT_NE(client.asked[0].find("providerName=git-cm\n"), std::string::npos);
    VDW_CmiCreds cached;
    EXPECT_EQ(VDW_CmiCredsManager::get_creds("git-cm", &cached), 1002);
    EXPECT_EQ(cached.password, "pw1");

    client.answer = {{"status", "cancel"}};
    VDW_CmiCredsManager::obtain_login("git-cm", "checkin", &cmi, 1, "bad password", &out);
    EXPECT_EQ(out, 1);
    EXPECT_NE(client.asked.back().find("lastErrorMsg=bad password\n"), std::string::npos);
    EXPECT_NE(cap.err.find("VDSRV4123: Unable to login to CM Provider: user canceled login "
                           "operation."),
              std::string::npos)
        << cap.err;

    VDW_TnCreds tn;
    client.answer = {{"status", "ok"},
                     {"userName", "bob"},
                     {"password", "pw2"},
                     {"userDb", "DEV"},
                     {"dbSet", "main"}};
    VDW_TnCredsManager::obtain_login("DEV", "main", "http://tn", &tn, 0, "", &out);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(tn.user, "bob");
    const size_t asked = client.asked.size();
    VDW_TnCreds again;
    VDW_TnCredsManager::obtain_login("QA", "main", "http://tn", &again, 0, "", &out);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(client.asked.size(), asked) << "a cached login of the set was asked again";
    EXPECT_EQ(again.user_db, "QA");

    VDW_TnCredsManager::clear_all_creds();
    VDW_TnCredsManager::set_caching_enabled(false);
    VDW_TnCredsManager::obtain_login("DEV", "main", "http://tn", &tn, 0, "", &out);
    EXPECT_EQ(VDW_TnCredsManager::get_creds("DEV", "main", &again), 1002);
    VDW_TnCredsManager::set_caching_enabled(true);

    ireq_requestor_set_callback(nullptr, nullptr);
    VDW_CmiCredsManager::clear_all_creds();
    imsg_set_redirect_table(saved);
    unsetenv("VERDANE_TMP");
    fileutl_reset_tmpdir();
}
