// The client's applier against records no honest server sends: names that leave the copy
// area, and a symbolic link the view holds used as a way out of it. Nothing may be written
// outside the area, and the update fails.
#include "client/record_applier.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "client/copy_area.h"
#include "client/rpc_channel.h"
#include "client/sync_parts.h"
#include "support/temp_dir.h"

namespace client {
namespace {

namespace fs = std::filesystem;

Part elem(const std::string& leaf, const char* ftype, bool slink = false,
          const std::string& target = "") {
    return sync_part("SyncElemInfo", {{"Leaf", leaf},
                                      {"NextVerOid", std::string(31, '0') + "1"},
                                      {"NextVerDfh", "fh"},
                                      {"NextVerId", "/main/1"},
                                      {"NextVerCheckedOut", "0"},
                                      {"NextVerIsSlink", slink ? "1" : "0"},
                                      {"NextVerSlinkTgtLeaf", target},
                                      {"NextVerFtype", ftype}});
}

void set_header(Part& p, const std::string& name, const std::string& value) {
    for (auto& h : p.headers)
        if (h.first == name) h.second = value;
}

// Feeds the records as the reader would: data parts through streams() and body().
bool feed(RecordApplier& a, std::vector<Part> parts) {
    for (Part& p : parts) {
        if (a.streams(p)) {
            if (!a.body(p.content.data(), p.content.size())) return false;
        }
        if (!a.on_part(p)) return false;
    }
    return a.finish();
}

TEST(RecordApplier, NothingIsWrittenOutsideTheArea) {
    TempDir tmp;
    const std::string outside = tmp.path() + "/outside";
    fs::create_directories(outside);
    struct Case {
        const char* what;
        std::vector<Part> parts;
    };
    const std::vector<Case> cases = {
        {"a directory context with ..", {sync_dir("vobs/../.."), elem("x", "File")}},
        {"a leaf with ..", {sync_dir("vobs"), elem("..", "Dir")}},
        {"a leaf with a slash", {sync_dir("vobs"), elem("a/b", "File")}},
        {"the client's own metadata", {sync_dir(".vdweb"), elem("area.db", "File")}},
        {"a file through a link the view holds",
         {sync_dir("vobs"), elem("out", "File", true, outside), sync_dir("vobs/out"),
          elem("x", "File"),
          sync_part("SyncElemData", {{"Content-Type", "application/octet-stream"}}, "pwned")}},
        {"a directory through a link the view holds",
         {sync_dir("vobs"), elem("out", "File", true, outside), sync_dir("vobs/out/sub"),
          elem("d", "Dir")}},
    };
    for (const Case& c : cases) {
        std::string error;
        const std::string root = tmp.path() + "/area-" + std::to_string(&c - cases.data());
        std::unique_ptr<CopyArea> area = CopyArea::create(root, &error);
        ASSERT_TRUE(area) << error;
        RpcChannel channel({"http://127.0.0.1:9", "", ""});
        RecordApplier a(*area, channel, RecordApplier::Mode::SESSION, [](const std::string&) {});
        EXPECT_FALSE(feed(a, c.parts)) << c.what;
        EXPECT_FALSE(a.error().empty()) << c.what;
        EXPECT_TRUE(fs::is_empty(outside)) << c.what;
        EXPECT_FALSE(fs::exists(tmp.path() + "/x")) << c.what;
    }
}

TEST(RecordApplier, FilesArriveWholeWithTheirModes) {
    TempDir tmp;
    std::string error;
    std::unique_ptr<CopyArea> area = CopyArea::create(tmp.path() + "/area", &error);
    ASSERT_TRUE(area) << error;
    RpcChannel channel({"http://127.0.0.1:9", "", ""});
    RecordApplier a(*area, channel, RecordApplier::Mode::SESSION, [](const std::string&) {});
    ASSERT_TRUE(
        feed(a, {sync_dir("vobs/p"), elem("src", "Dir"), sync_dir("vobs/p/src"),
                 elem("a.c", "File"), sync_part("SyncElemData", {}, std::string("one\0two", 7))}))
        << a.error();
    const std::string file = area->abs("vobs/p/src/a.c");
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 7);
    EXPECT_EQ(st.st_mode & 0222, 0u) << "read-only until checked out";
    Elem e;
    ASSERT_TRUE(area->lookup("vobs/p/src/a.c", &e));
    EXPECT_TRUE(file_matches(file, e));
    std::string hash;
    ASSERT_TRUE(file_sha256(file, &hash));
    EXPECT_EQ(e.hash, hash) << "the hash of the bytes as they arrived";
    EXPECT_EQ(area->applied_count(), 2);
    for (const auto& entry : fs::directory_iterator(area->abs("vobs/p/src")))
        EXPECT_EQ(entry.path().filename().string().rfind(kTempPrefix, 0), std::string::npos);
}

// A file whose bytes differ from what its row says, met by a record bringing a version:
// the user's work is never overwritten, and a file that already holds the version's bytes
// (an update stopped between writing it and noting it) is taken without a complaint.
TEST(RecordApplier, WorkInTheAreaIsNeverOverwritten) {
    struct Case {
        const char* what;
        bool row_checked_out;     // the area's row
        bool record_checked_out;  // the record that arrives
        const char* on_disk;      // the file when the record arrives ("one\n" is the row's)
        const char* want_file;
        bool want_kept;         // reported as a kept hijacked file
        const char* want_keep;  // what NAME.keep holds, or null for none
    };
    const Case cases[] = {
        {"a hijacked file", false, false, "mine\n", "mine\n", true, nullptr},
        {"a file holding the new version already", false, false, "two\n", "two\n", false, nullptr},
        {"a checkout's work, still checked out", true, true, "work\n", "work\n", false, nullptr},
        {"a checkout's work, no longer checked out", true, false, "work\n", "two\n", false,
         "work\n"},
        {"an unchanged file", false, false, "one\n", "two\n", false, nullptr},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        std::string error;
        std::unique_ptr<CopyArea> area = CopyArea::create(tmp.path() + "/area", &error);
        ASSERT_TRUE(area) << error;
        RpcChannel channel({"http://127.0.0.1:9", "", ""});
        {
            RecordApplier first(*area, channel, RecordApplier::Mode::SINGLE,
                                [](const std::string&) {});
            Part e = elem("a.c", "File");
            set_header(e, "NextVerCheckedOut", c.row_checked_out ? "1" : "0");
            ASSERT_TRUE(feed(first, {sync_dir("vobs"), e, sync_part("SyncElemData", {}, "one\n")}))
                << c.what << ": " << first.error();
        }
        const std::string file = area->abs("vobs/a.c");
        fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
        std::ofstream(file, std::ios::trunc) << c.on_disk;
        std::vector<std::string> warnings;
        RecordApplier a(*area, channel, RecordApplier::Mode::SESSION,
                        [&](const std::string& w) { warnings.push_back(w); });
        const std::string new_oid = std::string(31, '0') + "2";
        Part e = elem("a.c", "File");
        set_header(e, "NextVerOid", new_oid);
        set_header(e, "NextVerCheckedOut", c.record_checked_out ? "1" : "0");
        ASSERT_TRUE(feed(a, {sync_dir("vobs"), e, sync_part("SyncElemData", {}, "two\n")}))
            << c.what << ": " << a.error();
        std::ifstream in(file);
        std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(got, c.want_file) << c.what;
        EXPECT_EQ(a.stats().kept, c.want_kept ? 1 : 0) << c.what;
        if (c.want_keep) {
            std::ifstream k(file + ".keep");
            std::string kept((std::istreambuf_iterator<char>(k)), std::istreambuf_iterator<char>());
            EXPECT_EQ(kept, c.want_keep) << c.what;
        } else {
            EXPECT_FALSE(fs::exists(file + ".keep")) << c.what;
        }
        Elem row;
        ASSERT_TRUE(area->lookup("vobs/a.c", &row));
        EXPECT_EQ(row.oid == new_oid, !c.want_kept) << c.what;
    }
}

}  // namespace
}  // namespace client
