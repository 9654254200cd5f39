// Administration as root of a site that belongs to a service account: vdtool run as root
// writes the site's files as that account (so the site stays writable by the processes
// that serve it) while acting as root, and the site then serves requests run as the
// account; a site whose owner has no account is refused before anything is written.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/cgi_process.h"
#include "e2e/multipart.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* kService = "vdwsvcadm";

struct Ran {
    int status = -1;
    std::string out;
};

// Runs `argv` with exactly `env`, as `uid`/`gid` when given (not root: -1), standard input
// from `input` (may be empty) and standard output captured.
Ran run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        const std::string& input = "", uid_t uid = static_cast<uid_t>(-1), gid_t gid = 0) {
    char out_path[] = "/tmp/vdw_admin_outXXXXXX";
    const int out_fd = mkstemp(out_path);
    Ran r;
    if (out_fd < 0) return r;
    pid_t pid = fork();
    if (pid == 0) {
        int in = input.empty() ? open("/dev/null", O_RDONLY) : open(input.c_str(), O_RDONLY);
        dup2(in, 0);
        dup2(out_fd, 1);
        dup2(out_fd, 2);
        if (uid != static_cast<uid_t>(-1) &&
            (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
            _exit(126);
        std::vector<char*> a, e;
        for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        for (const std::string& s : env) e.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        e.push_back(nullptr);
        execve(a[0], a.data(), e.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::ifstream f(out_path);
    std::stringstream ss;
    ss << f.rdbuf();
    r.out = ss.str();
    close(out_fd);
    unlink(out_path);
    return r;
}

bool ensure_service_account(std::string* why) {
    if (getpwnam(kService)) return true;
    Ran r = run({"/usr/sbin/useradd", "--system", "--user-group", "--no-create-home", "--shell",
                 "/usr/sbin/nologin", kService},
                {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"});
    if (r.status != 0) *why = "useradd failed: " + r.out;
    return r.status == 0;
}

uid_t owner_of(const std::string& path) {
    struct stat sb;
    return stat(path.c_str(), &sb) == 0 ? sb.st_uid : static_cast<uid_t>(-1);
}

void chown_tree(const std::string& root, uid_t uid, gid_t gid) {
    ASSERT_EQ(chown(root.c_str(), uid, gid), 0);
    for (const auto& e : fs::recursive_directory_iterator(root))
        ASSERT_EQ(lchown(e.path().c_str(), uid, gid), 0) << e.path();
}

TEST(AdminAsRoot, VdtoolWritesAsTheSiteAccountAndActsAsRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    std::string why;
    ASSERT_TRUE(ensure_service_account(&why)) << why;
    const struct passwd* pw = getpwnam(kService);
    ASSERT_NE(pw, nullptr);
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    TempSite site;
    ASSERT_TRUE(site.ok());
    chown_tree(site.home(), uid, gid);
    // The temporary directory above the site must let the account in.
    ASSERT_EQ(chmod(fs::path(site.home()).parent_path().c_str(), 0755), 0);
    const std::vector<std::string> env = {"VERDANE_HOME=" + site.home(), "PATH=/usr/bin:/bin"};

    Ran mkvob =
        run({VDTOOL_PATH, "mkvob", "-tag", "/vobs/svc", site.home() + "/vobs/svc.vbs"}, env);
    ASSERT_EQ(mkvob.status, 0) << mkvob.out;
    const std::string file = site.home() + "/seed.txt";
    std::ofstream(file) << "seed\n";
    chown(file.c_str(), uid, gid);
    Ran mkelem = run({VDTOOL_PATH, "mkelem", "-ci", "-from", file, "/vobs/svc/seed.txt"}, env);
    ASSERT_EQ(mkelem.status, 0) << mkelem.out;
    // Everything it wrote belongs to the account.
    for (const auto& e : fs::recursive_directory_iterator(site.home()))
        EXPECT_EQ(owner_of(e.path()), uid) << e.path();
    // And the administrator acted: the element's events name root.
    Ran history = run({VDTOOL_PATH, "lshistory", "/vobs/svc/seed.txt"}, env);
    ASSERT_EQ(history.status, 0) << history.out;
    EXPECT_NE(history.out.find("  root  "), std::string::npos) << history.out;

    // The site serves a request run as its account.
    const std::string body =
        form_body("VDW_Vdcore::enumerate_vobs_rpc",
                  "NameFilter=*\nShowOnlyProjectVobs=0\nShowOnlyPublicVobs=0\n");
    const std::string input = site.home() + "/body";
    std::ofstream(input) << body;
    chown(input.c_str(), uid, gid);
    Ran served = run({cgi_path()},
                     {"VERDANE_HOME=" + site.home(), "VDWEB_ALLOW_ANONYMOUS=1",
                      "REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded",
                      "CONTENT_LENGTH=" + std::to_string(body.size())},
                     input, uid, gid);
    EXPECT_EQ(served.status, 0) << served.out;
    const Response r = read_response(served.out);
    ASSERT_TRUE(r.complete) << r.error << "\n" << served.out;
    ASSERT_EQ(r.named("VobFound").size(), 1u) << served.out;
    EXPECT_EQ(*r.named("VobFound")[0]->header("Tag"), "/vobs/svc");
    EXPECT_EQ(*r.status()->header("Status"), "0") << served.out;
}

TEST(AdminAsRoot, SiteOfAnAccountWithoutAnEntryIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    TempSite site;
    ASSERT_TRUE(site.ok());
    constexpr uid_t kNobodyKnown = 54321;
    if (getpwuid(kNobodyKnown)) GTEST_SKIP() << "uid 54321 has an account here";
    chown_tree(site.home(), kNobodyKnown, kNobodyKnown);
    Ran r = run({VDTOOL_PATH, "mkvob", "-tag", "/vobs/x", site.home() + "/vobs/x.vbs"},
                {"VERDANE_HOME=" + site.home()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Cannot act on the site"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(site.home() + "/vobs/x.vbs"));
}

}  // namespace
}  // namespace e2e
