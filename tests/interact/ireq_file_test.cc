// Files of the interaction channel: reserved names, whole-file writes that appear at once
// or fail visibly, reads that refuse what is not a plain file.
#include "interact/ireq_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/core_fixture.h"
#include "support/fault_fsys.h"
#include "support/temp_dir.h"

namespace {

class IreqFile : public ::testing::Test {
protected:
    void TearDown() override { stg_delete_area(area_); }
    TempHome home_;
    stg_area_t* area_ = stg_create_area(4096);
};

TEST_F(IreqFile, TempNamesAreFreshNamesInTheTemporaryDirectory) {
    char a[IREQ_WRITE_PATH_MAX], b[IREQ_WRITE_PATH_MAX];
    ASSERT_EQ(ireq_temp_filename(a, sizeof a), 0);  // makes the missing directory
    ASSERT_EQ(ireq_temp_filename(b, sizeof b), 0);
    std::string prefix = home_.path() + "/tmp/qlmx_ireq";
    for (const std::string name : {a, b}) {
        EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".msg");
        EXPECT_FALSE(ireq_file_exists(name.c_str())) << "the name is reserved, not the file";
    }
    EXPECT_STRNE(a, b);

    // A buffer that cannot hold the name gives no name rather than a cut one.
    char small[16];
    EXPECT_EQ(ireq_temp_filename(small, sizeof small), 1);
    EXPECT_STREQ(small, "");
}

TEST_F(IreqFile, WriteReadDeleteAndRefusals) {
    std::string path = home_.path() + "/msg";
    char* text = nullptr;
    EXPECT_EQ(ireq_read_file(path.c_str(), area_, &text), 0);  // no file: no text
    EXPECT_EQ(text, nullptr);

    ASSERT_EQ(ireq_write_file(path.c_str(), "A=1\nB=two\n"), 0);
    EXPECT_FALSE(ireq_file_exists((path + "_temp").c_str()));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(ireq_read_file(path.c_str(), area_, &text), 0);
    EXPECT_STREQ(text, "A=1\nB=two\n");

    // A stale temporary file is replaced, and a link there is not written through.
    std::string victim = write_file(home_.path() + "/victim", "keep");
    ASSERT_EQ(symlink(victim.c_str(), (path + "_temp").c_str()), 0);
    ASSERT_EQ(ireq_write_file(path.c_str(), "A=3\n"), 0);
    EXPECT_EQ(read_file(victim), "keep");
    EXPECT_EQ(read_file(path), "A=3\n");

    ASSERT_EQ(ireq_write_file(path.c_str(), ""), 0);  // empty: reads as no text
    EXPECT_EQ(ireq_read_file(path.c_str(), area_, &text), 0);
    EXPECT_EQ(text, nullptr);

    ASSERT_EQ(ireq_delete_file(path.c_str()), 0);
    EXPECT_FALSE(ireq_file_exists(path.c_str()));
    EXPECT_EQ(ireq_delete_file(path.c_str()), 0);  // nothing to delete is fine

    // A read does not follow a link, nor take a directory.
    std::string link = home_.path() + "/link";
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    EXPECT_EQ(ireq_read_file(link.c_str(), area_, &text), 1);
    EXPECT_EQ(ireq_read_file(home_.path().c_str(), area_, &text), 1);
    EXPECT_EQ(text, nullptr);

    // The temporary name is bounded: one character too many fails and writes nothing.
    std::string dir = home_.path() + "/";
    std::string fits = dir + std::string(IREQ_WRITE_PATH_MAX - dir.size() - 5, 'f');
    std::string too_long = fits + "g";
    EXPECT_EQ(ireq_write_file(too_long.c_str(), "x"), 1);
    EXPECT_FALSE(ireq_file_exists(too_long.c_str()));
    EXPECT_EQ(ireq_write_file(fits.c_str(), "x"), 0);
    // A missing directory fails cleanly.
    EXPECT_EQ(ireq_write_file((home_.path() + "/none/msg").c_str(), "x"), 1);
}

// A file that cannot be written is reported; the file it was to replace keeps what it held
// and no temporary is left. A read error is reported, not taken for an empty file.
TEST_F(IreqFile, FailedWritesAndReadsAreReported) {
    std::string path = home_.path() + "/msg";
    struct Case {
        const char* name;
        fs_fault fault;
    };
    const Case cases[] = {
        {"temporary not created", {fs_op::open, ENOSPC, "/msg_temp"}},
        {"disk full", {fs_op::write, ENOSPC, "/msg_temp", 0, 3}},
        {"close fails", {fs_op::close, EIO, "/msg_temp"}},
        {"rename fails", {fs_op::rename, EIO, "/msg_temp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ireq_write_file(path.c_str(), "A=old\n"), 0);
        int rc = 0, hits = 0;
        {
            ScopedFault fault(c.fault);
            rc = ireq_write_file(path.c_str(), "A=new\nB=more\n");
            hits = fault.hits();
        }
        EXPECT_EQ(rc, 1);
        EXPECT_GT(hits, 0);
        EXPECT_EQ(read_file(path), "A=old\n");
        EXPECT_FALSE(ireq_file_exists((path + "_temp").c_str()));
    }

    ScopedFault fault({fs_op::read, EIO, "/msg"});
    char* text = nullptr;
    EXPECT_EQ(ireq_read_file(path.c_str(), area_, &text), 1);
    EXPECT_EQ(text, nullptr);
    EXPECT_GT(fault.hits(), 0);
}

// The peer writes its next message as soon as it sees the last one gone: a file found at
// the name after the unlink is that message, not a delete that failed. A delete the system
// refuses is still reported.
TEST_F(IreqFile, DeleteIsJudgedByTheUnlinkNotByWhatCameNext) {
    struct PeerWritesAtOnce : fsys_posix {
        int unlink(const char* path) override {
            int rc = fsys_posix::unlink(path);
            if (rc == 0) write_file(path, "MsgType=Message\n");
            return rc;
        }
    } peer;
    std::string path = home_.path() + "/msg";
    write_file(path, "MsgType=KeepAlive\n");
    {
        fsys_scope scope(&peer);
        EXPECT_EQ(ireq_delete_file(path.c_str()), 0);
    }
    EXPECT_EQ(read_file(path), "MsgType=Message\n");

    ScopedFault refused({fs_op::unlink, EACCES, "/msg"});
    EXPECT_EQ(ireq_delete_file(path.c_str()), 1);
    EXPECT_GT(refused.hits(), 0);
}

}  // namespace
