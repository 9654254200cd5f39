// Dynamic views: the view's namespace as file operations (vtfs_view, in this process), and
// the view mounted by its daemon: started and stopped by vdtool, read through the kernel,
// a daemon killed and its view brought back with the checked-out edit it held, reads racing
// checkins, and links that try to leave the view.
//
// The mount tests need /dev/fuse; where this process cannot open it they say so and skip.
#include "core/vtfs/vtfs.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

// A site with /vobs/p/src/a.c ("a1"), b.c ("b1"), a link "up" climbing far above the view
// and a link "abs" to an absolute path outside any VOB, and the dynamic view "dv".
class VtfsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        ASSERT_EQ(run({"mkvob", "-tag", "/vobs/p", site_.path() + "/p.vbs"}), 0) << cap_.err;
        ASSERT_EQ(run({"mkelem", "-mkpath", "-ci", "-from", source("a1", "a1"), "-from",
                       source("b1", "b1"), "/vobs/p/src/a.c", "/vobs/p/src/b.c"}),
                  0)
            << cap_.err;
        ASSERT_EQ(run({"ln", "-s", "../../../../../..", "/vobs/p/src/up"}), 0) << cap_.err;
        ASSERT_EQ(run({"ln", "-s", "/etc/passwd", "/vobs/p/src/abs"}), 0) << cap_.err;
        cmd_mkview_args_t a;
        a.tag = "dv";
        a.kind = "dynamic";
        a.storage = site_.path() + "/dv.vws";
        ASSERT_EQ(cmd_mkview(&a), 0) << cap_.err;
        ASSERT_EQ(view_open_by_tag("dv", &view_), 0);
        ASSERT_EQ(vtfs_view::open("dv", &fs_), 0);
    }
    void TearDown() override {
        // A mount must go before the site below it is removed.
        view_end_dynamic("dv");
        imsg_set_redirect_table(saved_);
        view_cache_clear();
        vob_ob_all_cache_action(4);
    }

    tbs_status_t run(const std::vector<std::string>& args) { return run_vdtool(&cap_, args); }
    std::string source(const std::string& leaf, const std::string& data) {
        return write_file(tmp_ / leaf, data);
    }
    // The whole file through vtfs_view, or "<errno N>".
    std::string cat(const char* path, const vtfs_caller& who = {}) {
        std::unique_ptr<vtfs_file> f;
        bool keep = false;
        int rc = fs_->open(who, path, O_RDONLY, &f, &keep);
        if (rc != 0) return "<errno " + std::to_string(-rc) + ">";
        std::string out;
        char buf[7];  // small: reads cross block boundaries
        for (int n; (n = fs_->read(f.get(), buf, sizeof buf, out.size())) > 0;) out.append(buf, n);
        return out;
    }
    int put(const char* path, const std::string& data, const vtfs_caller& who = {}) {
        std::unique_ptr<vtfs_file> f;
        bool keep = false;
        int rc = fs_->open(who, path, O_WRONLY | O_TRUNC, &f, &keep);
        if (rc != 0) return rc;
        return fs_->write(f.get(), data.data(), data.size(), 0) == static_cast<int>(data.size())
                   ? 0
                   : -EIO;
    }
    std::set<std::string> names(const char* path) {
        std::set<std::string> out;
        EXPECT_EQ(fs_->readdir({}, path, [&](const std::string& n) { out.insert(n); }), 0) << path;
        out.erase(".");
        out.erase("..");
        return out;
    }

    TempHome site_;
    TempDir tmp_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
    view_t* view_ = nullptr;
    std::unique_ptr<vtfs_view> fs_;
};

const vtfs_caller kNobody = {65534, 65534};

bool fuse_usable(std::string* why) {
    int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *why = std::string("/dev/fuse cannot be opened here: ") + strerror(errno);
        return false;
    }
    close(fd);
    return true;
}

std::string read_path(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "<errno " + std::to_string(errno) + ">";
    std::string out;
    char buf[65536];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    close(fd);
    return out;
}

}  // namespace

TEST(VtfsLinks, TargetsStayInsideTheView) {
    struct Case {
        const char* link;
        const char* text;
        const char* given;
    };
    const Case cases[] = {
        {"/vobs/p/src/l", "a.c", "a.c"},            // plain: as it is
        {"/vobs/p/src/l", "../doc/x", "../doc/x"},  // climbs, stays below the root
        {"/vobs/p/src/l", "/vobs/p/doc/x", "../../../vobs/p/doc/x"},  // absolute: from the root
        {"/vobs/p/src/l", "/etc/passwd", "../../../etc/passwd"},      // ... kept inside
        {"/vobs/p/src/l", "../../../../../etc", "../../../etc"},      // clamped at the root
        {"/vobs/p/src/l", "/", "../../.."},
        {"/l", "..", "."},
        {"/vobs/p/src/l", "x/../../../../..", "../../.."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vtfs_contained_link(c.link, c.text), c.given) << c.link << " -> " << c.text;
}

TEST_F(VtfsTest, NamespaceAsTheViewSelects) {
    vtfs_attr a;
    ASSERT_EQ(fs_->getattr({}, "/", &a), 0);
    EXPECT_TRUE(S_ISDIR(a.mode));
    EXPECT_EQ(names("/"), (std::set<std::string>{"vobs"}));
    EXPECT_EQ(names("/vobs"), (std::set<std::string>{"p"}));
    EXPECT_EQ(names("/vobs/p/src"), (std::set<std::string>{"a.c", "b.c", "up", "abs"}));
    ASSERT_EQ(fs_->getattr({}, "/vobs/p/src/a.c", &a), 0);
    EXPECT_TRUE(S_ISREG(a.mode));
    EXPECT_EQ(a.size, 2);
    EXPECT_EQ(a.mode & 0222, 0u) << "not checked out: read-only";
    EXPECT_EQ(cat("/vobs/p/src/a.c"), "a1");
    EXPECT_EQ(fs_->getattr({}, "/vobs/p/src/none", &a), -ENOENT);
    EXPECT_EQ(fs_->getattr({}, "/vobs/q", &a), -ENOENT);
    ASSERT_EQ(fs_->getattr({}, "/vobs/p/src/up", &a), 0);
    EXPECT_TRUE(S_ISLNK(a.mode));
    std::string target;
    ASSERT_EQ(fs_->readlink({}, "/vobs/p/src/up", &target), 0);
    EXPECT_EQ(target, "../../..");

    // Version-extended names: the element's branches, a branch's versions, one version.
    EXPECT_EQ(names("/vobs/p/src/a.c@@"), (std::set<std::string>{"main"}));
    ASSERT_EQ(run({"co", "-nc", "/vobs/p/src/a.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"ci", "-from", source("a2", "a2 longer"), "/vobs/p/src/a.c"}), 0) << cap_.err;
    EXPECT_EQ(names("/vobs/p/src/a.c@@/main"), (std::set<std::string>{"0", "1", "2", "LATEST"}));
    EXPECT_EQ(cat("/vobs/p/src/a.c@@/main/1"), "a1");
    EXPECT_EQ(cat("/vobs/p/src/a.c@@/main/LATEST"), "a2 longer");
    ASSERT_EQ(fs_->getattr({}, "/vobs/p/src/a.c@@/main", &a), 0);
    EXPECT_TRUE(S_ISDIR(a.mode));
    // Below a directory version, names are the elements themselves.
    EXPECT_EQ(names("/vobs/p/src@@/main/LATEST"),
              (std::set<std::string>{"a.c", "b.c", "up", "abs"}));
    EXPECT_EQ(names("/vobs/p/src@@/main/LATEST/a.c"), (std::set<std::string>{"main"}));
    EXPECT_EQ(cat("/vobs/p/src@@/main/LATEST/a.c/main/1"), "a1");

    // The checkin made elsewhere is seen at the next lookup (the change journal), and so is
    // a config spec set by another command.
    ASSERT_EQ(fs_->getattr({}, "/vobs/p/src/a.c", &a), 0);
    EXPECT_EQ(a.size, 9);
    EXPECT_EQ(cat("/vobs/p/src/a.c"), "a2 longer");
    const std::string spec = source("cs", "element * /main/1\n");
    ASSERT_EQ(run({"setcs", "-tag", "dv", spec}), 0) << cap_.err;
    ASSERT_EQ(fs_->getattr({}, "/vobs/p/src/a.c", &a), 0);
    EXPECT_EQ(a.size, 2);
    EXPECT_EQ(cat("/vobs/p/src/a.c"), "a1");
}

TEST_F(VtfsTest, WritesGoToPrivateStorageOnlyWhereCheckedOut) {
    const char* a_c = "/vobs/p/src/a.c";
    EXPECT_EQ(put(a_c, "x"), -EROFS);
    std::unique_ptr<vtfs_file> f;
    EXPECT_EQ(fs_->create({}, "/vobs/p/src/new.c", 0644, O_WRONLY, &f), -EROFS);
    EXPECT_EQ(fs_->unlink({}, a_c), -EROFS);
    EXPECT_EQ(fs_->rename({}, a_c, "/vobs/p/src/z.c", false), -EROFS);
    EXPECT_EQ(fs_->mkdir({}, "/vobs/p/src/d", 0755), -EROFS);

    const std::string root = view_->root;
    ASSERT_EQ(run({"co", "-view", "dv", "-nc", root + a_c, root + "/vobs/p/src"}), 0) << cap_.err;
    vtfs_attr attr;
    ASSERT_EQ(fs_->getattr({}, a_c, &attr), 0);
    EXPECT_NE(attr.mode & 0200, 0u);
    EXPECT_EQ(cat(a_c), "a1") << "the checked-out version before any write";
    ASSERT_EQ(put(a_c, "edited in the view"), 0);
    EXPECT_EQ(cat(a_c), "edited in the view");
    EXPECT_EQ(read_file(view_->private_root + a_c), "edited in the view");
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/1") << "nothing reached the VOB yet";

    // A file made in the checked-out directory is view-private: renamed, removed, or made
    // an element.
    ASSERT_EQ(fs_->create({}, "/vobs/p/src/new.c", 0644, O_WRONLY, &f), 0);
    ASSERT_EQ(fs_->write(f.get(), "new", 3, 0), 3);
    f.reset();
    EXPECT_EQ(fs_->create({}, "/vobs/p/src/b.c", 0644, O_WRONLY, &f), -EEXIST);
    EXPECT_EQ(fs_->create({}, "/vobs/p/src/x@@y", 0644, O_WRONLY, &f), -EINVAL);
    EXPECT_EQ(names("/vobs/p/src"), (std::set<std::string>{"a.c", "b.c", "up", "abs", "new.c"}));
    ASSERT_EQ(fs_->getattr({}, "/vobs/p/src/new.c", &attr), 0);
    EXPECT_EQ(attr.size, 3);
    EXPECT_EQ(fs_->rename({}, "/vobs/p/src/new.c", "/vobs/p/src/b.c", true), -EEXIST);
    EXPECT_EQ(fs_->rename({}, "/vobs/p/src/new.c", "/vobs/p/src/b.c", false), -EROFS);
    ASSERT_EQ(fs_->rename({}, "/vobs/p/src/new.c", "/vobs/p/src/n.c", false), 0);
    ASSERT_EQ(fs_->mkdir({}, "/vobs/p/src/tmp", 0755), 0);
    ASSERT_EQ(fs_->create({}, "/vobs/p/src/tmp/junk", 0644, O_WRONLY, &f), 0);
    f.reset();
    EXPECT_EQ(fs_->rmdir({}, "/vobs/p/src/tmp"), -ENOTEMPTY);
    EXPECT_EQ(fs_->unlink({}, "/vobs/p/src/tmp/junk"), 0);
    EXPECT_EQ(fs_->rmdir({}, "/vobs/p/src/tmp"), 0);
    ASSERT_EQ(run({"mkelem", "-view", "dv", "-nc", "-ci", root + "/vobs/p/src/n.c"}), 0)
        << cap_.err;
    EXPECT_EQ(fs_->unlink({}, "/vobs/p/src/n.c"), -EROFS) << "an element now";
    EXPECT_EQ(cat("/vobs/p/src/n.c"), "new");

    // Checkin takes the private copy; the view then reads the new version from the VOB.
    ASSERT_EQ(run({"ci", "-view", "dv", "-nc", root + a_c, root + "/vobs/p/src"}), 0) << cap_.err;
    EXPECT_EQ(idstr("/vobs/p/src/a.c"), "/main/2");
    EXPECT_FALSE(std::filesystem::exists(view_->private_root + a_c));
    EXPECT_EQ(cat(a_c), "edited in the view");
    EXPECT_EQ(put(a_c, "again"), -EROFS);
}

TEST_F(VtfsTest, CallersActWithTheirOwnPermissions) {
    // Elements are readable by others; writing a checkout is its user's alone.
    EXPECT_EQ(cat("/vobs/p/src/a.c", kNobody), "a1");
    const std::string root = view_->root;
    ASSERT_EQ(run({"co", "-view", "dv", "-nc", root + "/vobs/p/src/a.c", root + "/vobs/p/src"}), 0)
        << cap_.err;
    EXPECT_EQ(put("/vobs/p/src/a.c", "x", kNobody), -EACCES);
    std::unique_ptr<vtfs_file> f;
    EXPECT_EQ(fs_->create(kNobody, "/vobs/p/src/new.c", 0644, O_WRONLY, &f), -EACCES);
    ASSERT_EQ(fs_->create({}, "/vobs/p/src/mine", 0600, O_WRONLY, &f), 0);
    f.reset();
    EXPECT_EQ(cat("/vobs/p/src/mine", kNobody), "<errno " + std::to_string(EACCES) + ">");
    EXPECT_EQ(fs_->unlink(kNobody, "/vobs/p/src/mine"), -EACCES);
    // A protection that shuts others out is the core's, and the view honours it.
    ASSERT_EQ(run({"protect", "-chmod", "0660", "/vobs/p/src/b.c"}), 0) << cap_.err;
    EXPECT_EQ(cat("/vobs/p/src/b.c", kNobody), "<errno " + std::to_string(EACCES) + ">");
    EXPECT_EQ(cat("/vobs/p/src/b.c"), "b1");
    // A role map decides instead of the mode bits: nobody may read b.c by its list, and
    // a.c, whose list grants nobody anything, is shut.
    ASSERT_EQ(run({"mkpolicy", "-ace", "felem:Role:Reader:Read", "p@/vobs/p"}), 0) << cap_.err;
    ASSERT_EQ(run({"mkrolemap", "-policy", "p", "-role", "Reader=User:nobody", "r@/vobs/p"}), 0);
    ASSERT_EQ(run({"mkrolemap", "-policy", "p", "closed@/vobs/p"}), 0);
    ASSERT_EQ(run({"protect", "-rolemap", "r", "/vobs/p/src/b.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"protect", "-rolemap", "closed", "/vobs/p/src/a.c"}), 0) << cap_.err;
    EXPECT_EQ(cat("/vobs/p/src/b.c", kNobody), "b1");
    EXPECT_EQ(cat("/vobs/p/src/a.c", kNobody).rfind("<errno ", 0), 0u);
}

// The mounted view ---------------------------------------------------------------------------

class VtfsMountTest : public VtfsTest {
protected:
    void SetUp() override {
        std::string why;
        if (!fuse_usable(&why)) GTEST_SKIP() << why;
        VtfsTest::SetUp();
        ASSERT_TRUE(view_vtfs_available(&why)) << why;
        // /dev/fuse may open where mounting is still not allowed (a container without the
        // privilege): that is no fault of the view's.
        if (run({"startview", "dv"}) != 0 && contains(cap_.err, "unable to mount"))
            GTEST_SKIP() << "mounting is not allowed here: " << cap_.err;
        ASSERT_EQ(view_dynamic_state("dv", &started_, nullptr), 0);
        ASSERT_EQ(started_, VIEW_DYN_RUNNING) << cap_.err;
        root_ = view_->root;
    }
    int state() {
        int s = -1;
        EXPECT_EQ(view_dynamic_state("dv", &s, &pid_), 0);
        return s;
    }
    std::string root_;
    int pid_ = 0;
    int started_ = -1;
};

TEST_F(VtfsMountTest, StartStopAndAKilledDaemonLosesNoEdit) {
    EXPECT_EQ(state(), VIEW_DYN_RUNNING);
    EXPECT_EQ(read_path(root_ + "/vobs/p/src/b.c"), "b1");
    ASSERT_EQ(run({"lsview", "dv"}), 0);
    EXPECT_TRUE(contains(cap_.out, "dynamic running")) << cap_.out;
    // Starting a running view leaves it be.
    ASSERT_EQ(run({"startview", "dv"}), 0) << cap_.err;
    const int first = pid_;
    EXPECT_EQ(state(), VIEW_DYN_RUNNING);
    EXPECT_EQ(pid_, first);

    ASSERT_EQ(run({"co", "-view", "dv", "-nc", root_ + "/vobs/p/src/a.c"}), 0) << cap_.err;
    {
        int fd = open((root_ + "/vobs/p/src/a.c").c_str(), O_WRONLY | O_TRUNC);
        ASSERT_GE(fd, 0) << strerror(errno);
        ASSERT_EQ(write(fd, "kept edit", 9), 9);
        close(fd);
    }
    EXPECT_EQ(open((root_ + "/vobs/p/src/b.c").c_str(), O_WRONLY), -1);
    EXPECT_EQ(errno, EROFS);

    ASSERT_EQ(kill(pid_, SIGKILL), 0);
    for (int i = 0; i < 200 && kill(pid_, 0) == 0; ++i) usleep(10000);
    EXPECT_EQ(state(), VIEW_DYN_DEAD);
    struct stat sb;
    EXPECT_NE(stat(root_.c_str(), &sb), 0) << "a dead mount answers nothing";
    ASSERT_EQ(run({"lsview", "dv"}), 0);
    EXPECT_TRUE(contains(cap_.out, "dynamic dead")) << cap_.out;

    ASSERT_EQ(run({"endview", "dv"}), 0) << cap_.err;
    EXPECT_EQ(state(), VIEW_DYN_STOPPED);
    EXPECT_FALSE(std::filesystem::exists(root_)) << "the mount point goes with the view";
    ASSERT_EQ(run({"startview", "dv"}), 0) << cap_.err;
    EXPECT_EQ(state(), VIEW_DYN_RUNNING);
    EXPECT_EQ(read_path(root_ + "/vobs/p/src/a.c"), "kept edit");
    ASSERT_EQ(run({"ci", "-view", "dv", "-nc", root_ + "/vobs/p/src/a.c"}), 0) << cap_.err;
    EXPECT_EQ(cleartext("/vobs/p/src/a.c", tmp_ / "out"), "kept edit");

    ASSERT_EQ(run({"endview", "dv"}), 0) << cap_.err;
    EXPECT_EQ(state(), VIEW_DYN_STOPPED);
    ASSERT_EQ(run({"endview", "dv"}), 0) << "stopping a stopped view: " << cap_.err;
}

TEST_F(VtfsMountTest, ReadsRacingACheckinNeverSeeHalfAVersion) {
    // Contents of several blocks each, every one different throughout.
    std::vector<std::string> versions;
    for (char c : {'1', '2', '3', '4', '5', '6'})
        versions.push_back(std::string(300000 + (c - '0') * 7919, c));
    ASSERT_EQ(run({"co", "-nc", "/vobs/p/src/b.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"ci", "-from", source("v0", versions[0]), "/vobs/p/src/b.c"}), 0) << cap_.err;
    std::set<std::string> allowed = {versions[0]};
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, bad{0};
    std::mutex mu;
    std::thread reader([&] {
        while (!done) {
            const std::string got = read_path(root_ + "/vobs/p/src/b.c");
            std::lock_guard<std::mutex> lock(mu);
            if (!allowed.count(got)) ++bad;
            ++reads;
        }
    });
    for (size_t i = 1; i < versions.size(); ++i) {
        {
            std::lock_guard<std::mutex> lock(mu);
            allowed.insert(versions[i]);
        }
        ASSERT_EQ(run({"co", "-nc", "/vobs/p/src/b.c"}), 0) << cap_.err;
        ASSERT_EQ(run({"ci", "-from", source("v", versions[i]), "/vobs/p/src/b.c"}), 0) << cap_.err;
    }
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(bad.load(), 0) << "a read saw bytes of no single version";
    EXPECT_EQ(read_path(root_ + "/vobs/p/src/b.c"), versions.back()) << "the last checkin";
}

TEST_F(VtfsMountTest, LinksThatTryToLeaveStayInside) {
    char real[PATH_MAX];
    ASSERT_NE(realpath((root_ + "/vobs/p/src/up").c_str(), real), nullptr) << strerror(errno);
    EXPECT_EQ(std::string(real), root_) << "clamped at the view's root";
    errno = 0;
    EXPECT_EQ(read_path(root_ + "/vobs/p/src/abs"), "<errno " + std::to_string(ENOENT) + ">")
        << "an absolute target names a path of the view, not of the machine";
    struct stat sb;
    EXPECT_NE(stat((root_ + "/vobs/p/src/up/passwd").c_str(), &sb), 0);
    EXPECT_EQ(stat((root_ + "/vobs/p/src/up/vobs/p/src/b.c").c_str(), &sb), 0);
}

// Another user reaches the mount (the daemon lets others in) and acts as themselves: what
// the element's protection lets them read they read, the rest is refused by the view.
TEST_F(VtfsMountTest, OtherUsersActAsThemselves) {
    ASSERT_EQ(chmod(site_.path().c_str(), 0755), 0);  // the way to the mount is open
    ASSERT_EQ(run({"protect", "-chmod", "0660", "/vobs/p/src/b.c"}), 0) << cap_.err;
    ASSERT_EQ(run({"co", "-view", "dv", "-nc", root_ + "/vobs/p/src/a.c"}), 0) << cap_.err;
    // errno of opening `path` with `flags` as uid and gid 65534, from a child process.
    auto as_nobody = [](const std::string& path, int flags) {
        pid_t pid = fork();
        if (pid == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
            int fd = open(path.c_str(), flags | O_CLOEXEC);
            _exit(fd >= 0 ? 0 : errno);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(as_nobody(root_ + "/vobs/p/src/a.c", O_RDONLY), 0);
    EXPECT_EQ(as_nobody(root_ + "/vobs/p/src/b.c", O_RDONLY), EACCES);
    EXPECT_EQ(as_nobody(root_ + "/vobs/p/src/a.c", O_WRONLY), EACCES) << "root's checkout";
    EXPECT_EQ(as_nobody(root_ + "/vobs/p/src/b.c", O_WRONLY), EROFS);
    EXPECT_EQ(read_path(root_ + "/vobs/p/src/b.c"), "b1") << "root may";
}
