// The client's applier under a failing file system: each case breaks one call (a full
// disk in the middle of a write, an I/O error, a failed fsync, a refused rename or mkdir)
// while an update is applied to an area. The update fails and says so; every file of the
// area holds either its old bytes or the new version's, and the index says which; no
// temporary file is left; and the same update applied again once the disk is healthy
// brings every file to its new version.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "client/copy_area.h"
#include "client/record_applier.h"
#include "client/rpc_channel.h"
#include "client/sync_parts.h"
#include "support/fault_fsys.h"
#include "support/temp_dir.h"

namespace client {
namespace {

namespace fs = std::filesystem;

Part elem(const std::string& leaf, const std::string& oid, bool checked_out,
          const char* ftype = "File") {
    return sync_part("SyncElemInfo", {{"Leaf", leaf},
                                      {"NextVerOid", oid},
                                      {"NextVerDfh", "fh"},
                                      {"NextVerId", "/main/1"},
                                      {"NextVerCheckedOut", checked_out ? "1" : "0"},
                                      {"NextVerIsSlink", "0"},
                                      {"NextVerFtype", ftype}});
}

Part data(const std::string& bytes) {
    return sync_part("SyncElemData", {}, bytes);
}

bool feed(RecordApplier& a, const std::vector<Part>& parts) {
    for (Part p : parts) {
        if (a.streams(p) && !a.body(p.content.data(), p.content.size())) return false;
        if (!a.on_part(p)) return false;
    }
    return a.finish();
}

std::optional<std::string> contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string oid(char n) {
    return std::string(31, '0') + n;
}

// One file of the update: what it held before (nullopt: nothing, or a file the area does
// not know) and what the update brings.
struct FileCase {
    std::string path;
    std::optional<std::string> old_bytes;
    std::string old_oid;  // empty: no row before the update
    std::string new_bytes;
    std::string new_oid;
};

// An area holding a plain file, a checkout's work that the update ends (kept as ".keep"),
// and stray files in the way of a new element and of a new directory; the update also
// brings a file in that directory. Each new version is longer than a few writes' worth of
// bytes, so a full disk can strike in the middle of one.
class FaultArea {
public:
    void make() {
        std::string error;
        area_ = CopyArea::create(tmp_.path() + "/area", &error);
        ASSERT_TRUE(area_) << error;
        RecordApplier first(*area_, channel_, RecordApplier::Mode::SINGLE,
                            [](const std::string&) {});
        ASSERT_TRUE(feed(first, {sync_dir("vobs"), elem("a.c", oid('1'), false), data("a one\n"),
                                 elem("b.c", oid('1'), true), data("b one\n")}))
            << first.error();
        first.flush();
        const std::string b = area_->abs("vobs/b.c");
        std::ofstream(b, std::ios::trunc) << "b work\n";
        std::ofstream(area_->abs("vobs/d.c")) << "stray\n";
        std::ofstream(area_->abs("vobs/new")) << "stray dir\n";
    }

    std::vector<FileCase> files() const {
        return {
            {"vobs/a.c", "a one\n", oid('1'), std::string(3000, 'a'), oid('2')},
            {"vobs/b.c", "b work\n", oid('1'), std::string(3000, 'b'), oid('2')},
            {"vobs/d.c", "stray\n", "", std::string(3000, 'd'), oid('2')},
            {"vobs/new/c.c", std::nullopt, "", std::string(3000, 'c'), oid('2')},
        };
    }

    std::vector<Part> update() const {
        std::vector<Part> parts = {sync_dir("vobs")};
        for (const FileCase& f : files()) {
            if (f.path == "vobs/new/c.c") {
                parts.push_back(elem("new", oid('3'), false, "Dir"));
                parts.push_back(sync_dir("vobs/new"));
            }
            parts.push_back(elem(fs::path(f.path).filename().string(), f.new_oid, false));
            parts.push_back(data(f.new_bytes));
        }
        return parts;
    }

    // Whether the file holds its old or its new bytes with the row saying which.
    void expect_whole(const FileCase& f, const std::string& what) {
        const std::string abs = area_->abs(f.path);
        const std::optional<std::string> got = contents(abs);
        Elem row;
        const bool has_row = area_->lookup(f.path, &row);
        if (got == f.new_bytes) {
            ASSERT_TRUE(has_row) << what << ": " << f.path;
            EXPECT_EQ(row.oid, f.new_oid) << what << ": " << f.path;
            std::string hash;
            ASSERT_TRUE(file_sha256(abs, &hash));
            EXPECT_EQ(row.hash, hash) << what << ": " << f.path;
            return;
        }
        EXPECT_EQ(got, f.old_bytes) << what << ": " << f.path << " holds neither version";
        EXPECT_EQ(has_row, !f.old_oid.empty()) << what << ": " << f.path;
        if (has_row) {
            EXPECT_EQ(row.oid, f.old_oid) << what << ": " << f.path;
        }
    }

    void expect_no_temp(const std::string& what) {
        for (const auto& entry : fs::recursive_directory_iterator(area_->root()))
            EXPECT_NE(entry.path().filename().string().rfind(kTempPrefix, 0), 0u)
                << what << ": " << entry.path();
    }

    TempDir tmp_;
    std::unique_ptr<CopyArea> area_;
    RpcChannel channel_{{"http://127.0.0.1:9", "", ""}};
};

TEST(RecordApplierFaults, AnUpdateThatFailsLeavesEveryFileWholeAndFinishesWhenAppliedAgain) {
    struct Case {
        const char* what;
        fs_fault fault;
    };
    const Case cases[] = {
        {"a full disk in the middle of a file", {fs_op::write, ENOSPC, kTempPrefix, 0, 4500}},
        {"an I/O error on the first write", {fs_op::write, EIO, kTempPrefix, 0, 0}},
        {"a failed fsync", {fs_op::fsync, EIO, kTempPrefix, 1}},
        {"a failed rename of a checkout's replacement into place",
         {fs_op::rename, EIO, kTempPrefix, 1}},
        {"a failed rename of a new element into place over a stray file",
         {fs_op::rename, EIO, kTempPrefix, 2}},
        {"a failed rename of a checkout's work to .keep", {fs_op::rename, EACCES, ".keep", 0}},
        {"a failed rename of a stray file to .keep", {fs_op::rename, EACCES, ".keep", 1}},
        {"a failed mkdir", {fs_op::mkdir, ENOSPC, "vobs/new", 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FaultArea t;
        ASSERT_NO_FATAL_FAILURE(t.make());
        std::unique_ptr<CopyArea>& area_ = t.area_;
        RpcChannel& channel_ = t.channel_;
        const std::vector<Part> update = t.update();
        const std::vector<FileCase> files = t.files();
        {
            ScopedFault fault(c.fault);
            {
                RecordApplier a(*area_, channel_, RecordApplier::Mode::SESSION,
                                [](const std::string&) {});
                EXPECT_FALSE(feed(a, update));
                EXPECT_FALSE(a.error().empty());
                t.expect_no_temp(c.what);  // gone when the failure is reported
            }
            ASSERT_GT(fault.hits(), 0) << "the fault never fired";
        }
        for (const FileCase& f : files) t.expect_whole(f, c.what);
        Elem row;
        if (fs::is_directory(area_->abs("vobs/new"))) {
            EXPECT_TRUE(area_->lookup("vobs/new", &row) && row.kind == 'd');
        } else {
            EXPECT_EQ(contents(area_->abs("vobs/new")), "stray dir\n");
            EXPECT_FALSE(area_->lookup("vobs/new", &row));
        }
        t.expect_no_temp(c.what);

        RecordApplier again(*area_, channel_, RecordApplier::Mode::SESSION,
                            [](const std::string&) {});
        ASSERT_TRUE(feed(again, update)) << again.error();
        for (const FileCase& f : files) {
            EXPECT_EQ(contents(area_->abs(f.path)), f.new_bytes) << f.path;
            Elem row;
            ASSERT_TRUE(area_->lookup(f.path, &row)) << f.path;
            EXPECT_EQ(row.oid, f.new_oid) << f.path;
        }
        EXPECT_EQ(contents(area_->abs("vobs/b.c.keep")), "b work\n");
        EXPECT_EQ(contents(area_->abs("vobs/d.c.keep")), "stray\n");
        EXPECT_EQ(contents(area_->abs("vobs/new.keep")), "stray dir\n");
        t.expect_no_temp(c.what);
    }
}

}  // namespace
}  // namespace client
