// The vdweb command-line client against lighttpd and vdweb.cgi, run as a person runs it:
// its own process, its own configuration directory, alice's password in VDWEB_PASSWORD,
// copy areas on disk. Work done in one copy area reaches another byte for byte; an
// uncheckout restores; a hijacked file is reported and kept, and an edit is seen whatever
// the file's status says; an update cancelled with Ctrl-C or killed at any point, and a
// command killed after the server acted, are set right by the next update, and so is the
// client killed at random steps of its commands; a trigger's question is asked on the
// client's terminal; a wrong password and a server process that dies are failures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client/rpc_channel.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "e2e/lighttpd_server.h"
#include "e2e/test_users.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The files below `root` (the client's metadata left out) with their bytes; "d" for a
// directory.
std::map<std::string, std::string> files(const std::string& root) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string rel = it->path().string().substr(root.size() + 1);
        if (rel == ".vdweb") {
            it.disable_recursion_pending();
            continue;
        }
        out[rel] = it->is_directory() ? "d" : slurp(it->path().string());
    }
    return out;
}

std::string noise(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (char& c : s) {
        seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
        c = static_cast<char>(seed);
    }
    return s;
}

struct Ran {
    int rc = -1;
    std::string out, err;
};

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(ensure_test_users(&why)) << why;
        ASSERT_TRUE(server_.started()) << server_.failure();
        saved_ = redirect_messages(Captured::proc, &cap_);
        ASSERT_EQ(vdtool({"mkvob", "-tag", "/vobs/p", site_.home() + "/vobs/p.vbs"}), 0);
        add("src/a.c", "one\n");
        add("src/b.txt", "bee\n");
        for (const char* e : {"/vobs/p/src", "/vobs/p/src/a.c", "/vobs/p/src/b.txt"})
            vdtool({"protect", "-chown", kAlice.name, e});
        config_ = site_.home() + "/client-config";
    }
    void TearDown() override {
        view_cache_clear();
        vob_ob_all_cache_action(4);
        imsg_set_redirect_table(saved_);
    }

    tbs_status_t vdtool(const std::vector<std::string>& line) {
        tbs_status_t st = run_vdtool(&cap_, line);
        EXPECT_EQ(st, 0) << cap_.err;
        return st;
    }
    void add(const std::string& rel, const std::string& content) {
        const std::string from = write_file(site_.home() + "/content", content);
        vdtool({"mkelem", "-mkpath", "-ci", "-from", from, "/vobs/p/" + rel});
    }
    void change(const std::string& rel, const std::string& content) {
        const std::string from = write_file(site_.home() + "/content", content);
        vdtool({"co", "/vobs/p/" + rel});
        vdtool({"ci", "-from", from, "/vobs/p/" + rel});
    }

    // The client's environment: its own configuration and alice's password.
    std::vector<std::string> env(const char* password) const {
        std::vector<std::string> e = {"XDG_CONFIG_HOME=" + config_, "HOME=" + site_.home(),
                                      "PATH=/usr/bin:/bin"};
        if (password) e.push_back(std::string("VDWEB_PASSWORD=") + password);
        if (!crash_at_.empty()) e.push_back("VDWEB_CRASH_AT=" + crash_at_);
        if (crash_step_ > 0) e.push_back("VDWEB_CRASH_STEP=" + std::to_string(crash_step_));
        return e;
    }
    static void exec_client(const std::string& cwd, const std::vector<std::string>& args,
                            const std::vector<std::string>& env) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        std::vector<char*> argv = {const_cast<char*>(VDWEB_CLIENT_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        execve(VDWEB_CLIENT_PATH, argv.data(), envp.data());
        _exit(127);
    }
    // Starts the client in `cwd` with its output going to files; its pid.
    // Clients running at once are given `outputs` of their own.
    pid_t start(const std::string& cwd, const std::vector<std::string>& args,
                const char* password = kAlice.password, const std::string& outputs = "client") {
        const std::vector<std::string> e = env(password);
        const std::string out_path = site_.home() + "/" + outputs + ".out",
                          err_path = site_.home() + "/" + outputs + ".err";
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_RDONLY);
            int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(null, 0);
            dup2(out, 1);
            dup2(err, 2);
            exec_client(cwd, args, e);
        }
        return pid;
    }
    Ran finish(pid_t pid, const std::string& outputs = "client") {
        Ran r;
        int status = 0;
        waitpid(pid, &status, 0);
        r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = slurp(site_.home() + "/" + outputs + ".out");
        r.err = slurp(site_.home() + "/" + outputs + ".err");
        return r;
    }
    Ran vdweb(const std::string& cwd, const std::vector<std::string>& args,
              const char* password = kAlice.password) {
        return finish(start(cwd, args, password));
    }
    // Logged in as alice, and a copy area of a new web view that loads /vobs/p.
    void login() {
        Ran r = vdweb(site_.home(), {"login", server_.url(), "--user", kAlice.name});
        ASSERT_EQ(r.rc, 0) << r.err;
    }
    std::string area(const std::string& tag) {
        const std::string dir = site_.home() + "/" + tag;
        Ran r = vdweb(site_.home(), {"mkview", tag, dir, "--load", "/vobs/p"});
        EXPECT_EQ(r.rc, 0) << r.err;
        return dir;
    }
    // Stops the client once `path` exists (the update is under way).
    void stop_when(pid_t pid, const std::string& path) {
        for (int i = 0; i < 20000 && !fs::exists(path); ++i) usleep(500);
        kill(pid, SIGSTOP);
    }

    LighttpdServer server_{{}, {}, {}, false};
    const TempSite& site_ = server_.site();
    ScopedHome home_{site_.home()};
    Captured cap_;
    imsg_redirect_table_t saved_{};
    std::string config_;
    std::string crash_at_;      // where the client kills itself, when set
    long long crash_step_ = 0;  // at which step it kills itself, when set
};

// Two web views' copy areas kept in step through the client: a checkin in one reaches the
// other byte for byte, an uncheckout restores the version and keeps the work, a hijacked
// file is reported and survives an update that brings a newer version, a view-private file
// is reported, and a wrong password or a missing one is refused before anything runs.
TEST_F(ClientTest, TwoCopyAreasKeptInStep) {
    Ran wrong = vdweb(site_.home(), {"login", server_.url(), "--user", kAlice.name}, "wrong");
    EXPECT_EQ(wrong.rc, 1);
    EXPECT_NE(wrong.err.find("VDSRV1084"), std::string::npos) << wrong.err;
    EXPECT_FALSE(fs::exists(config_ + "/vdweb/config"));
    EXPECT_EQ(vdweb(site_.home(), {"lsvob"}).rc, 1) << "not logged in";
    login();
    Ran vobs = vdweb(site_.home(), {"lsvob"});
    EXPECT_NE(vobs.out.find("/vobs/p"), std::string::npos) << vobs.out << vobs.err;
    const std::string a = area("alice_a"), b = area("alice_b");
    EXPECT_EQ(files(a), files(b));
    EXPECT_EQ(files(a)["vobs/p/src/a.c"], "one\n");
    EXPECT_EQ(vdweb(a, {"lsvob"}, nullptr).rc, 1) << "no password, no request";

    // A checkin in one area, an update in the other: the same bytes.
    const std::string a_c = a + "/vobs/p/src/a.c";
    ASSERT_EQ(vdweb(a, {"checkout", "-c", "work", "vobs/p/src/a.c"}).rc, 0);
    const std::string bytes = noise(300000, 7) + std::string("\0tail\r\n", 7);
    write_file(a_c, bytes);
    Ran st = vdweb(a, {"status"});
    EXPECT_NE(st.out.find("checkedout  vobs/p/src/a.c"), std::string::npos) << st.out;
    Ran ci = vdweb(a + "/vobs/p/src", {"checkin", "a.c"});
    ASSERT_EQ(ci.rc, 0) << ci.err;
    Ran up = vdweb(b, {"update"});
    ASSERT_EQ(up.rc, 0) << up.err;
    EXPECT_EQ(slurp(b + "/vobs/p/src/a.c"), bytes);
    EXPECT_EQ(files(a), files(b));
    EXPECT_EQ(vdweb(b, {"update"}).out, "") << "nothing more to send";

    // An uncheckout brings the version back and keeps the work beside it.
    ASSERT_EQ(vdweb(a, {"co", "vobs/p/src/b.txt"}).rc, 0);
    write_file(a + "/vobs/p/src/b.txt", "draft\n");
    Ran un = vdweb(a, {"uncheckout", "vobs/p/src/b.txt"});
    ASSERT_EQ(un.rc, 0) << un.err;
    EXPECT_EQ(slurp(a + "/vobs/p/src/b.txt"), "bee\n");
    EXPECT_EQ(slurp(a + "/vobs/p/src/b.txt.keep"), "draft\n");
    fs::remove(a + "/vobs/p/src/b.txt.keep");
    EXPECT_EQ(vdweb(a, {"status"}).out, "");

    // A hijacked file is reported, and an update bringing a newer version keeps it.
    const std::string b_txt = b + "/vobs/p/src/b.txt";
    fs::permissions(b_txt, fs::perms::owner_write, fs::perm_options::add);
    write_file(b_txt, "mine\n");
    write_file(b + "/vobs/p/src/notes", "private\n");
    st = vdweb(b, {"status"});
    EXPECT_NE(st.out.find("hijacked    vobs/p/src/b.txt"), std::string::npos) << st.out;
    EXPECT_NE(st.out.find("private     vobs/p/src/notes"), std::string::npos) << st.out;
    change("src/b.txt", "bee 2\n");
    up = vdweb(b, {"update"});
    EXPECT_EQ(up.rc, 0) << up.err;
    EXPECT_NE(up.err.find("kept hijacked file vobs/p/src/b.txt"), std::string::npos) << up.err;
    EXPECT_EQ(slurp(b_txt), "mine\n");
    EXPECT_EQ(vdweb(a, {"update"}).rc, 0);
    EXPECT_EQ(slurp(a + "/vobs/p/src/b.txt"), "bee 2\n");
    Ran diff = vdweb(a, {"diff", "vobs/p/src/b.txt@@/main/1", "vobs/p/src/b.txt@@/main/2"});
    EXPECT_EQ(diff.rc, 1) << diff.err;
    EXPECT_EQ(diff.out, "- bee\n+ bee 2\n");

    // New elements, a move and a removed name reach the other area.
    ASSERT_EQ(vdweb(a, {"co", "vobs/p/src"}).rc, 0);
    write_file(a + "/vobs/p/src/new.txt", "new\n");
    Ran mk = vdweb(a, {"mkelem", "-c", "new", "vobs/p/src/new.txt"});
    ASSERT_EQ(mk.rc, 0) << mk.err;
    EXPECT_EQ(slurp(a + "/vobs/p/src/new.txt"), "new\n");
    ASSERT_EQ(vdweb(a, {"mv", "vobs/p/src/a.c", "vobs/p/src/main.c"}).rc, 0);
    ASSERT_EQ(vdweb(a, {"ci", "-c", "both", "vobs/p/src/new.txt", "vobs/p/src"}).rc, 0);
    EXPECT_EQ(vdweb(b, {"up"}).rc, 0);
    std::map<std::string, std::string> want = files(a);
    want["vobs/p/src/b.txt"] = "mine\n";
    want["vobs/p/src/notes"] = "private\n";
    EXPECT_EQ(files(b), want);
    Ran cat = vdweb(b, {"cat", "vobs/p/src/main.c@@/main/1"});
    EXPECT_EQ(cat.out, "one\n") << cat.err;
    Ran hist = vdweb(b, {"history", "vobs/p/src/main.c"});
    EXPECT_NE(hist.out.find(kAlice.name), std::string::npos) << hist.out << hist.err;

    // One digest says the area agrees with the server's record of it; where it does not,
    // the element is named. A hijacked file is named too, until it holds its version again.
    Ran hijacked = vdweb(b, {"verify"});
    EXPECT_EQ(hijacked.rc, 1) << hijacked.out << hijacked.err;
    EXPECT_NE(hijacked.out.find("hijacked     vobs/p/src/b.txt"), std::string::npos)
        << hijacked.out;
    write_file(b_txt, "bee\n");
    Ran same = vdweb(b, {"verify"});
    EXPECT_EQ(same.rc, 0) << same.out << same.err;
    EXPECT_NE(same.out.find("agrees"), std::string::npos) << same.out;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((b + "/.vdweb/area.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "UPDATE elem SET oid = '0123456789abcdef0123456789abcdef'"
                           " WHERE path = 'vobs/p/src/new.txt'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    Ran differs = vdweb(b, {"verify"});
    EXPECT_EQ(differs.rc, 1);
    EXPECT_NE(differs.out.find("differs      vobs/p/src/new.txt"), std::string::npos)
        << differs.out << differs.err;
}

// A file's bytes, not its status, say whether it holds its version. A hijacked edit taken
// into a checkout and then uncheckouted is kept as NAME.keep and the version comes back; an
// edit that keeps the size and puts the modification time back is still seen by `status`
// and `verify`, which names the file.
TEST_F(ClientTest, EditsAreSeenWhateverTheFileStatusSays) {
    login();
    const std::string a = area("alice_a");
    const std::string b_txt = a + "/vobs/p/src/b.txt";
    fs::permissions(b_txt, fs::perms::owner_write, fs::perm_options::add);
    write_file(b_txt, "hijacked edit\n");
    EXPECT_NE(vdweb(a, {"status"}).out.find("hijacked    vobs/p/src/b.txt"), std::string::npos);
    Ran co = vdweb(a, {"checkout", "vobs/p/src/b.txt"});
    ASSERT_EQ(co.rc, 0) << co.err;
    EXPECT_EQ(slurp(b_txt), "hijacked edit\n") << "the checkout takes the hijacked bytes";
    Ran un = vdweb(a, {"uncheckout", "vobs/p/src/b.txt"});
    ASSERT_EQ(un.rc, 0) << un.err;
    EXPECT_EQ(slurp(b_txt), "bee\n");
    EXPECT_EQ(slurp(b_txt + ".keep"), "hijacked edit\n");
    fs::remove(b_txt + ".keep");
    Ran st = vdweb(a, {"status"});
    EXPECT_EQ(st.out, "") << st.err;
    Ran same = vdweb(a, {"verify"});
    EXPECT_EQ(same.rc, 0) << same.out << same.err;

    // Same size, modification time put back: only the contents (or the change time) tell.
    const std::string a_c = a + "/vobs/p/src/a.c";
    struct stat before;
    ASSERT_EQ(stat(a_c.c_str(), &before), 0);
    fs::permissions(a_c, fs::perms::owner_write, fs::perm_options::add);
    write_file(a_c, "two\n");
    const struct timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, a_c.c_str(), times, 0), 0);
    st = vdweb(a, {"status"});
    EXPECT_NE(st.out.find("hijacked    vobs/p/src/a.c"), std::string::npos) << st.out;
    Ran differs = vdweb(a, {"verify"});
    EXPECT_EQ(differs.rc, 1) << differs.out;
    EXPECT_NE(differs.out.find("hijacked     vobs/p/src/a.c"), std::string::npos) << differs.out;
    EXPECT_EQ(differs.out.find("b.txt"), std::string::npos) << differs.out;
}

// An update stopped by Ctrl-C cancels the fetch through a second request and leaves the
// area consistent; one killed outright is finished by the next update; either way the area
// ends up exactly as the view selects.
TEST_F(ClientTest, CancelledAndKilledUpdatesAreFinishedByTheNext) {
    login();
    const std::string a = area("alice_a"), b = area("alice_b");
    // More than the pipes and sockets between the server and a stopped client hold, so that
    // the fetch is still streaming when the cancel comes.
    constexpr int kBig = 240;
    for (int i = 0; i < kBig; ++i) add("big/f" + std::to_string(i), noise(96 * 1024, i + 1));

    pid_t pid = start(a, {"update"});
    stop_when(pid, a + "/vobs/p/big/f0");
    kill(pid, SIGINT);
    kill(pid, SIGCONT);
    Ran cancelled = finish(pid);
    EXPECT_EQ(cancelled.rc, 1) << cancelled.err;
    EXPECT_NE(cancelled.err.find("cancelled"), std::string::npos) << cancelled.err;
    EXPECT_LT(files(a).size(), files(b).size() + kBig);
    EXPECT_NE(vdweb(a, {"status"}).out.find("did not finish"), std::string::npos);
    Ran again = vdweb(a, {"update"});
    ASSERT_EQ(again.rc, 0) << again.err;

    for (int i = 0; i < kBig; i += 2)
        change("big/f" + std::to_string(i), noise(96 * 1024, i + 500));
    pid = start(b, {"update"});
    stop_when(pid, b + "/vobs/p/big/f0");
    kill(pid, SIGKILL);
    finish(pid);
    Ran recovered = vdweb(b, {"update"});
    ASSERT_EQ(recovered.rc, 0) << recovered.err;
    EXPECT_NE(recovered.err.find("interrupted"), std::string::npos) << recovered.err;
    ASSERT_EQ(vdweb(a, {"update"}).rc, 0);
    EXPECT_EQ(files(a), files(b));
    EXPECT_EQ(files(b)["vobs/p/big/f2"], noise(96 * 1024, 502));
    EXPECT_EQ(vdweb(b, {"update"}).out, "");
}

// An update killed at any point of its life (before the server's session began, in the
// middle of its records, before the commit that ends the session, between the server's
// answer to it and the area's note of it, and after) is finished by
// the next update: what it applied is confirmed, the session it left is abandoned, and the
// area ends as the view selects. Until then `status` says an update did not finish.
TEST_F(ClientTest, AnUpdateKilledAtAnyPointIsFinishedByTheNext) {
    login();
    const std::string a = area("alice_a");
    const char* const points[] = {"begin", "element", "commit", "confirmed", "committed"};
    int round = 0;
    for (const char* point : points) {
        SCOPED_TRACE(point);
        const std::string n = std::to_string(++round);
        change("src/a.c", "a.c round " + n + "\n");
        add("new/f" + n, noise(5000, round));
        crash_at_ = point;
        Ran killed = vdweb(a, {"update"});
        crash_at_.clear();
        EXPECT_EQ(killed.rc, 128 + SIGKILL) << killed.err;
        EXPECT_NE(vdweb(a, {"status"}).out.find("did not finish"), std::string::npos);
        Ran again = vdweb(a, {"update"});
        ASSERT_EQ(again.rc, 0) << again.err;
        EXPECT_NE(again.err.find("interrupted"), std::string::npos) << again.err;
        EXPECT_EQ(slurp(a + "/vobs/p/src/a.c"), "a.c round " + n + "\n");
        EXPECT_EQ(slurp(a + "/vobs/p/new/f" + n), noise(5000, round));
        EXPECT_EQ(vdweb(a, {"status"}).out, "");
        Ran same = vdweb(a, {"verify"});
        EXPECT_EQ(same.rc, 0) << same.out << same.err;
        EXPECT_EQ(vdweb(a, {"update"}).out, "") << "nothing more to send";
    }
}

// A command killed once the server has acted on it, before the client applied the answer:
// the area's rows for its elements no longer match the server's record. status says so,
// and the next update brings those elements back, keeping the work.
TEST_F(ClientTest, ACommandKilledAfterTheServerActedIsSetRightByTheNextUpdate) {
    login();
    const std::string a = area("alice_a");
    const std::string b_txt = a + "/vobs/p/src/b.txt";
    struct Case {
        const char* command;
        const char* want_file;  // what the file holds afterwards
        const char* want_keep;  // what NAME.keep holds, if anything
        const char* want_version;
    };
    const Case cases[] = {
        {"checkin", "work 1\n", nullptr, "work 1\n"},
        {"uncheckout", "work 1\n", "work 2\n", "work 1\n"},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_EQ(vdweb(a, {"co", "vobs/p/src/b.txt"}).rc, 0);
        write_file(b_txt, "work " + std::to_string(++round) + "\n");
        crash_at_ = "answered";
        Ran killed = vdweb(a, {c.command, "vobs/p/src/b.txt"});
        crash_at_.clear();
        EXPECT_EQ(killed.rc, 128 + SIGKILL) << killed.err;
        EXPECT_NE(vdweb(a, {"status"}).out.find("A command on vobs/p/src/b.txt did not finish"),
                  std::string::npos);
        Ran up = vdweb(a, {"update"});
        ASSERT_EQ(up.rc, 0) << up.err;
        EXPECT_EQ(slurp(b_txt), c.want_file);
        if (c.want_keep) {
            EXPECT_EQ(slurp(b_txt + ".keep"), c.want_keep);
        }
        fs::remove(b_txt + ".keep");
        EXPECT_EQ(vdweb(a, {"cat", "vobs/p/src/b.txt"}).out, c.want_version);
        EXPECT_EQ(vdweb(a, {"status"}).out, "");
        Ran same = vdweb(a, {"verify"});
        EXPECT_EQ(same.rc, 0) << same.out << same.err;
    }
}

// The client killed at random steps of update, checkin, checkout, uncheckout and mkelem,
// then the next command run. After each kill: every file not reported (checked out,
// hijacked, missing, view-private) holds the version the view selects; verify agrees only
// when the files do; the work the killed command carried (an edit, a new file, the
// server's new versions) is still somewhere: in the version the server holds, in the file,
// or kept beside it. The rounds follow from one seed, printed; VDWEB_KILL_SEED replays it.
TEST_F(ClientTest, KilledAtRandomStepsNothingIsLostOrHidden) {
    const char* given = getenv("VDWEB_KILL_SEED");
    const unsigned seed = given ? static_cast<unsigned>(strtoul(given, nullptr, 10))
                                : static_cast<unsigned>(time(nullptr));
    std::cout << "kill harness seed " << seed << " (VDWEB_KILL_SEED=" << seed << " replays it)\n";
    std::mt19937 rng(seed);
    add("srv/f", "srv 0\n");
    for (const char* e : {"/vobs/p/srv", "/vobs/p/srv/f"})
        vdtool({"protect", "-chown", kAlice.name, e});
    login();
    const std::string a = area("alice_a");
    ASSERT_EQ(vdweb(a, {"co", "vobs/p/src"}).rc, 0);  // new elements are made in it

    const char* const ops[] = {"update", "checkout", "checkin", "uncheckout", "mkelem"};
    std::map<std::string, long long> steps = {
        {"update", 60}, {"checkout", 30}, {"checkin", 30}, {"uncheckout", 30}, {"mkelem", 30}};
    const auto started = std::chrono::steady_clock::now();
    int rounds = 0, kills = 0;
    for (; rounds < 60 && std::chrono::steady_clock::now() - started < std::chrono::minutes(3);
         ++rounds) {
        const std::string op = ops[rng() % 5];
        const std::string n = std::to_string(rounds);
        const std::string file = rng() % 2 ? "vobs/p/src/a.c" : "vobs/p/src/b.txt";
        const std::string work = "work of round " + n + "\n" + noise(rng() % 3000, rounds + 1);
        const long long step = 1 + static_cast<long long>(rng() % steps[op]);
        SCOPED_TRACE("seed " + std::to_string(seed) + " round " + n + ": " + op +
                     " killed at step " + std::to_string(step));
        std::string target = file;  // where the work must survive
        std::vector<std::string> line = {op, file};
        if (op == "update") {
            change("srv/f", work);
            add("srv/g" + n, noise(2000, rounds));
            target = "vobs/p/srv/f";
            line = {"update"};
        } else if (op == "checkin" || op == "uncheckout") {
            ASSERT_EQ(vdweb(a, {"co", file}).rc, 0);
            write_file(a + "/" + file, work);
        } else if (op == "mkelem") {
            target = "vobs/p/src/m" + n;
            write_file(a + "/" + target, work);
            line = {"mkelem", "-c", "new", target};
        }
        crash_step_ = step;
        Ran killed = vdweb(a, line);
        crash_step_ = 0;
        if (killed.rc == 128 + SIGKILL) {
            ++kills;
        } else {
            const size_t at = killed.err.find("crash steps ");
            if (at != std::string::npos)
                steps[op] = std::max(1LL, atoll(killed.err.c_str() + at + 12));
        }
        // The next command, then what the area says of itself.
        Ran next = vdweb(a, {"update"});
        ASSERT_EQ(next.rc, 0) << next.err;
        Ran st = vdweb(a, {"status"});
        std::map<std::string, std::string> reported;
        std::istringstream lines(st.out);
        for (std::string l; std::getline(lines, l);)
            if (l.size() > 12) reported[l.substr(12)] = l.substr(0, l.find(' '));
        EXPECT_EQ(st.out.find("did not finish"), std::string::npos) << st.out;
        const std::map<std::string, std::string> disk = files(a);
        bool files_agree = true;
        for (const auto& [rel, bytes] : disk) {
            if (bytes == "d" || reported.count(rel)) continue;
            Ran cat = vdweb(a, {"cat", rel});
            EXPECT_EQ(cat.rc, 0) << rel << " is neither reported nor an element: " << cat.err;
            EXPECT_TRUE(cat.out == bytes) << rel << " holds other bytes than its version";
            files_agree = files_agree && cat.rc == 0 && cat.out == bytes;
        }
        for (const auto& [rel, what] : reported)
            if (what.rfind("hijacked", 0) == 0 || what.rfind("missing", 0) == 0)
                files_agree = false;
        Ran verify = vdweb(a, {"verify"});
        EXPECT_TRUE(verify.rc != 0 || files_agree) << "verify agrees:\n" << st.out;
        // The work is in the server's version, in the file, or kept beside it.
        Ran cat = vdweb(a, {"cat", target});
        bool kept = cat.rc == 0 && cat.out == work;
        for (const auto& [rel, bytes] : disk)
            kept = kept || (rel.rfind(target, 0) == 0 && bytes == work);
        EXPECT_TRUE(kept || op == "checkout") << "the work of the round is lost\n" << st.out;

        // Back to a clean area: new elements and checkouts checked in, kept and private
        // files gone, hijacked files given their version back.
        for (const auto& [rel, what] : reported) {
            if (rel == "vobs/p/src") continue;
            if (what == "checkedout") {
                Ran ci = vdweb(a, {"ci", "--identical", "-c", "tidy", rel});
                EXPECT_EQ(ci.rc, 0) << rel << ": " << ci.err;
            } else if (what == "private") {
                fs::remove_all(a + "/" + rel);
            } else if (what == "hijacked") {
                EXPECT_EQ(vdweb(a, {"co", rel}).rc, 0) << rel;
                EXPECT_EQ(vdweb(a, {"unco", "--rm", rel}).rc, 0) << rel;
            }
        }
        const std::string before_tidy = st.out + killed.err + next.err;
        st = vdweb(a, {"status"});
        EXPECT_EQ(st.out, "checkedout  vobs/p/src\n") << "before tidying:\n" << before_tidy;
        verify = vdweb(a, {"verify"});
        EXPECT_EQ(verify.rc, 0) << verify.out << verify.err;
        if (HasFailure()) break;
    }
    std::cout << "kill harness: " << rounds << " rounds, " << kills << " kills\n";
    EXPECT_GT(kills, 0);
}

// A pre-checkin trigger asks through vdprompt: on the client's terminal the user answers
// it; without a terminal the client gives the question's default.
TEST_F(ClientTest, TriggerQuestionAskedOnTheTerminal) {
    vdtool({"mktrtype", "-element", "-all", "-preop", "checkin", "-exec",
            std::string(VDPROMPT_PATH) + " proceed -prompt \"Check in $VD_PNAME?\" -default abort",
            "ask@/vobs/p"});
    login();
    const std::string a = area("alice_a");
    ASSERT_EQ(vdweb(a, {"co", "vobs/p/src/a.c"}).rc, 0);
    write_file(a + "/vobs/p/src/a.c", "two\n");
    Ran refused = vdweb(a, {"ci", "vobs/p/src/a.c"});
    EXPECT_EQ(refused.rc, 1);
    EXPECT_NE(refused.err.find("1025"), std::string::npos) << refused.err;

    int master = -1;
    const std::vector<std::string> e = env(kAlice.password);
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) exec_client(a, {"ci", "vobs/p/src/a.c"}, e);
    std::string seen;
    bool answered = false;
    char buf[4096];
    for (;;) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;  // the client has ended
        seen.append(buf, static_cast<size_t>(n));
        if (!answered && seen.find("Check in /vobs/p/src/a.c? [") != std::string::npos) {
            answered = true;
            ASSERT_EQ(write(master, "proceed\n", 8), 8);
        }
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(answered) << seen;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    vob_resolved_t r;
    EXPECT_EQ(vob_resolve_pname("/vobs/p/src/a.c@@/main/2", nullptr, 0, &r), 0);
}

// The client's channel takes an answer that ends without its status part and trailer (the
// server process died, HTTP still said 200) as a failure, never as success. Only the site's
// administrator may end a server process on request: the site's account, through a second
// host that lets requests without credentials run as that account.
TEST_F(ClientTest, AnAnswerCutShortIsAFailure) {
    LighttpdServer admin_host(server_, true);
    ASSERT_TRUE(admin_host.started()) << admin_host.failure();
    client::RpcChannel admin({admin_host.url(), "", ""});
    client::CallResult died = admin.call("force_exit_rpc", client::rpc_args({{"ExitCode", "0"}}));
    EXPECT_FALSE(died.ok);
    EXPECT_FALSE(died.complete);
    EXPECT_NE(died.message().find("died"), std::string::npos) << died.message();
    client::RpcChannel channel({server_.url(), kAlice.name, kAlice.password});
    client::CallResult refused =
        channel.call("force_exit_rpc", client::rpc_args({{"ExitCode", "0"}}));
    EXPECT_TRUE(refused.complete);
    EXPECT_EQ(refused.status, "1063") << refused.message();
    client::CallResult fine = channel.call("get_version_separator_rpc", "");
    EXPECT_TRUE(fine.ok) << fine.message();
}

// A version whose bytes hold the response stream's boundary line, a forged status part that
// reports a failure, and the trailer reaches the other copy area and the terminal byte for
// byte, and the client acts on the real status: it frames parts by their lengths.
TEST_F(ClientTest, ContentsThatForgeAStatusPartArriveIntact) {
    login();
    const std::string a = area("alice_a"), b = area("alice_b");
    const std::string boundary = "------------------------aAJYnbd98Xui1cX9oiQh";
    const std::string forged =
        "line\r\n--" + boundary +
        "\r\nContent-ID: Status\r\nContent-Type: text/plain;charset=UTF-8\r\n"
        "Content-Length: 6\r\nStatus: 1063\r\nHasNonOkMsg: 1\r\n\r\nforged\r\n--" +
        boundary + "--\r\n";
    ASSERT_EQ(vdweb(a, {"checkout", "-c", "forge", "vobs/p/src/a.c"}).rc, 0);
    write_file(a + "/vobs/p/src/a.c", forged);
    Ran ci = vdweb(a, {"checkin", "vobs/p/src/a.c"});
    ASSERT_EQ(ci.rc, 0) << ci.err;
    Ran up = vdweb(b, {"update"});
    EXPECT_EQ(up.rc, 0) << up.err;
    EXPECT_EQ(up.err.find("forged"), std::string::npos) << up.err;
    EXPECT_EQ(slurp(b + "/vobs/p/src/a.c"), forged);
    Ran cat = vdweb(b, {"cat", "vobs/p/src/a.c@@/main/2"});
    EXPECT_EQ(cat.rc, 0) << cat.err;
    EXPECT_EQ(cat.out, forged);
    EXPECT_EQ(vdweb(b, {"verify"}).rc, 0);
}

// Two web hosts of one site, as two machines mounting it would run them (on a site in
// PostgreSQL, both use its one cluster): clients of both at once, each seeing at once what
// went in through the other; a reserved checkout raced through both goes to one of them;
// and a host killed in the middle of a checkin loses nothing and leaves nothing half-made.
TEST_F(ClientTest, TwoWebHostsServeOneSite) {
    LighttpdServer second(server_, false);
    ASSERT_TRUE(second.started()) << second.failure();
    constexpr int kAreas = 4;
    for (int i = 0; i < kAreas; ++i) add("w/f" + std::to_string(i), "zero\n");
    add("w/big.bin", "small\n");
    vdtool({"protect", "-chown", kAlice.name, "/vobs/p/w", "/vobs/p/w/big.bin", "/vobs/p/w/f0",
            "/vobs/p/w/f1", "/vobs/p/w/f2", "/vobs/p/w/f3"});

    // Areas 0 and 1 work through the first host, 2 and 3 through the second.
    std::vector<std::string> areas;
    login();
    areas.push_back(area("area0"));
    areas.push_back(area("area1"));
    config_ = site_.home() + "/client-config-2";
    Ran r = vdweb(site_.home(), {"login", second.url(), "--user", kAlice.name});
    ASSERT_EQ(r.rc, 0) << r.err;
    areas.push_back(area("area2"));
    areas.push_back(area("area3"));

    // Four checkins at once, two through each host; then four updates at once, each of
    // which brings the other three.
    for (int i = 0; i < kAreas; ++i) {
        const std::string f = "vobs/p/w/f" + std::to_string(i);
        ASSERT_EQ(vdweb(areas[i], {"co", f}).rc, 0);
        write_file(areas[i] + "/" + f, "from area " + std::to_string(i) + "\n");
    }
    auto all_at_once = [&](const std::function<std::vector<std::string>(int)>& args) {
        std::vector<pid_t> pids;
        for (int i = 0; i < kAreas; ++i)
            pids.push_back(start(areas[i], args(i), kAlice.password, "c" + std::to_string(i)));
        for (int i = 0; i < kAreas; ++i) {
            Ran done = finish(pids[i], "c" + std::to_string(i));
            EXPECT_EQ(done.rc, 0) << "area " << i << ": " << done.err;
        }
    };
    all_at_once([](int i) {
        return std::vector<std::string>{"ci", "-c", "both hosts", "vobs/p/w/f" + std::to_string(i)};
    });
    all_at_once([](int) { return std::vector<std::string>{"update"}; });
    for (int i = 0; i < kAreas; ++i)
        for (int j = 0; j < kAreas; ++j)
            EXPECT_EQ(slurp(areas[i] + "/vobs/p/w/f" + std::to_string(j)),
                      "from area " + std::to_string(j) + "\n")
                << "area " << i;

    // One reserved checkout, asked through both hosts at once: one gets it.
    pid_t one = start(areas[0], {"co", "vobs/p/w/f0"}, kAlice.password, "c0");
    pid_t two = start(areas[2], {"co", "vobs/p/w/f0"}, kAlice.password, "c2");
    Ran got_one = finish(one, "c0"), got_two = finish(two, "c2");
    EXPECT_TRUE((got_one.rc == 0) != (got_two.rc == 0)) << got_one.err << got_two.err;
    ASSERT_EQ(vdweb(got_one.rc == 0 ? areas[0] : areas[2], {"unco", "vobs/p/w/f0"}).rc, 0);

    // The first host dies while a checkin of 48 MiB goes through it.
    const std::string big = "vobs/p/w/big.bin";
    ASSERT_EQ(vdweb(areas[0], {"co", big}).rc, 0);
    const std::string bytes = noise(48 << 20, 99);
    write_file(areas[0] + "/" + big, bytes);
    pid_t ci = start(areas[0], {"ci", "-c", "killed host", big});
    for (int i = 0; i < 20000 && server_.cgi_processes().empty(); ++i) usleep(500);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    server_.kill_now();
    Ran killed = finish(ci);

    // Through the second host, the element holds either its old version or the whole new
    // one, and the VOB checks clean.
    ASSERT_EQ(vdweb(areas[2], {"update"}).rc, 0);
    const std::string seen = slurp(areas[2] + "/" + big);
    EXPECT_TRUE(seen == "small\n" || seen == bytes) << seen.size() << " bytes";
    EXPECT_EQ(run_vdtool(&cap_, {"checkvob", "/vobs/p"}), 0) << cap_.out << cap_.err;
    // The interrupted area goes on through the second host: a checkin the kill cut short
    // is made again, and nothing of it is lost.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((areas[0] + "/.vdweb/area.db").c_str(), &db), SQLITE_OK);
    const std::string moved = "UPDATE meta SET value = '" + second.url() + "' WHERE key = 'url'";
    ASSERT_EQ(sqlite3_exec(db, moved.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    if (seen != bytes) {
        Ran again = vdweb(areas[0], {"ci", "-c", "again", big});
        ASSERT_EQ(again.rc, 0) << killed.err << again.err;
    }
    ASSERT_EQ(vdweb(areas[3], {"update"}).rc, 0);
    EXPECT_TRUE(slurp(areas[3] + "/" + big) == bytes);
    EXPECT_EQ(vdweb(areas[0], {"status"}).out, "");
    RecordProperty("checkin_finished_before_the_kill", seen == bytes ? 1 : 0);
}

}  // namespace
}  // namespace e2e
