// Whether a file of a copy area still holds what the index says: decided from the file's
// status where the status can decide, from its contents where it cannot (a file rewritten
// in the same clock tick as it was noted keeps its times, and a checkout that took other
// bytes notes no status at all), and from size and time alone for rows of an older index.
#include "client/copy_area.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace client {
namespace {

void put_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string sha_of(const std::string& bytes) {
    Sha256 sha;
    sha.update(bytes.data(), bytes.size());
    return sha.hex();
}

TEST(CopyArea, FileMatchesReadsContentsWhereTheStatusCannotTell) {
    TempDir tmp;
    const std::string file = tmp / "a.c";
    constexpr long long kSecond = 1000000000LL;
    struct Case {
        const char* what;
        const char* noted_bytes;  // what the index says the file holds
        long long noted_after;    // how long after its last change the file was noted
        bool status_known;        // false: a checkout that took other bytes
        bool old_row;             // an index without hashes
        bool matches;
    };
    const Case cases[] = {
        {"noted long after it changed, bytes as noted", "one\n", 10 * kSecond, true, false, true},
        {"noted long after it changed: the status decides", "two\n", 10 * kSecond, true, false,
         true},
        {"noted in the tick it changed, other bytes", "two\n", 0, true, false, false},
        {"noted in the tick it changed, same bytes", "one\n", 0, true, false, true},
        {"status not noted, other bytes", "two\n", 10 * kSecond, false, false, false},
        {"status not noted, same bytes", "one\n", 10 * kSecond, false, false, true},
        {"a row of an older index, same size and time", "two\n", 0, true, true, true},
    };
    put_file(file, "one\n");
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    for (const Case& c : cases) {
        Elem e;
        e.kind = 'f';
        note_file(e, st);
        e.hash = sha_of(c.noted_bytes);
        e.noted_ns = st.st_ctim.tv_sec * kSecond + st.st_ctim.tv_nsec + c.noted_after;
        if (!c.status_known) e.size = e.mtime_ns = e.ctime_ns = e.ino = e.noted_ns = -1;
        if (c.old_row) e.hash.clear(), e.ctime_ns = e.ino = e.noted_ns = -1;
        EXPECT_EQ(file_matches(file, e), c.matches) << c.what;
    }
}

// The hash noted with a file is the hash of its bytes, and the index keeps every field.
TEST(CopyArea, TheIndexKeepsWhatWasNoted) {
    TempDir tmp;
    std::string error;
    std::unique_ptr<CopyArea> area = CopyArea::create(tmp / "area", &error);
    ASSERT_TRUE(area) << error;
    const std::string file = area->abs("a.c");
    put_file(file, std::string("one\0two", 7));
    Elem e;
    e.path = "a.c";
    ASSERT_TRUE(file_sha256(file, &e.hash));
    EXPECT_EQ(e.hash, sha_of(std::string("one\0two", 7)));
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    note_file(e, st);
    ASSERT_TRUE(area->put(e));
    Elem back;
    ASSERT_TRUE(area->lookup("a.c", &back));
    EXPECT_EQ(back.hash, e.hash);
    EXPECT_EQ(back.size, 7);
    EXPECT_EQ(back.mtime_ns, e.mtime_ns);
    EXPECT_EQ(back.ctime_ns, e.ctime_ns);
    EXPECT_EQ(back.ino, static_cast<long long>(st.st_ino));
    EXPECT_EQ(back.noted_ns, e.noted_ns);
    EXPECT_TRUE(file_matches(file, back));
}

}  // namespace
}  // namespace client
