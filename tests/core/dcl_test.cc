// The comparison engine: text and directory sessions, their block walks and merges.
//
// Two reference readers stand in for the clients of the engine: `rebuild` concatenates one
// contributor's walk (every file must come back byte for byte), and `write_passes` writes the
// blocks the way the web layer does, a run per contributor per pass up to the next common or
// marker block, and checks that each pass covers the same region in every walk.
#include "core/dcl/dcl.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// One letter per block type, so a walk reads as a short string ("CXC").
char letter(DCL_BlockType t) {
    switch (t) {
        case DCL_COMMON:
            return 'C';
        case DCL_NOCHANGE:
            return 'N';
        case DCL_CHANGED:
            return 'X';
        case DCL_INSERTED:
            return 'I';
        case DCL_DELETED:
            return 'D';
        case DCL_INSERT_MOVED:
            return 'M';
        case DCL_PADDING:
            return 'P';
        case DCL_SYNC:
            return 'S';
        case DCL_MERGING:
            return 'R';
        default:
            return '?';
    }
}

std::string shape(DCL_Walk w) {
    std::string s;
    for (; !w.at_end(); w.next()) s += letter(w.block().type());
    return s;
}

std::string rebuild(const DCL_Session& s, int c) {
    std::string out;
    for (DCL_Walk w = s.walk(c); !w.at_end(); w.next()) {
        const DCL_Block& b = w.block();
        bool dataless = b.type() == DCL_DELETED || b.type() == DCL_PADDING || b.type() == DCL_SYNC;
        EXPECT_TRUE(!dataless || b.text().empty());
        if (b.region() >= 0) {
            EXPECT_EQ(s.region_map().at(static_cast<size_t>(b.region())), b.id());
        }
        out += b.text();
    }
    return out;
}

// The merged file by default choices; nothing when a region is a conflict.
std::optional<std::string> merge_by_defaults(const DCL_Session& s) {
    std::string out;
    for (DCL_Walk w = s.merge_walk(); !w.at_end(); w.next()) {
        const DCL_Block& b = w.block();
        if (b.type() != DCL_MERGING) {
            out += b.text();
            continue;
        }
        if (b.conflict()) return std::nullopt;
        EXPECT_NE(b.choice_block(), nullptr);
        out += b.choice_block()->text();
    }
    return out;
}

// Writes the session as the web layer does; fails the test when the walks fall out of step.
// Returns how many passes it took.
int write_passes(const DCL_Session& s) {
    int n = s.num_contributors();
    std::vector<DCL_Walk> walks;
    for (int c = 0; c < n; ++c) walks.push_back(s.walk(c));
    if (s.is_merge()) walks.push_back(s.merge_walk());
    int passes = 0;
    auto all_ended = [&] {
        for (auto& w : walks)
            if (!w.at_end()) return false;
        return true;
    };
    while (!all_ended()) {
        ++passes;
        EXPECT_LT(passes, 1000000);
        if (passes >= 1000000) return passes;
        std::optional<std::vector<int>> first_regions;
        int commons = 0;
        for (auto& w : walks) {
            std::vector<int> regions;
            if (!w.at_end() && (w.block().type() == DCL_COMMON || w.block().type() == DCL_SYNC)) {
                commons += w.block().type() == DCL_COMMON;
                regions.push_back(-1 - static_cast<int>(w.block().id()));
                w.next();
            } else {
                for (; !w.at_end(); w.next()) {
                    DCL_BlockType t = w.block().type();
                    if (t == DCL_COMMON || t == DCL_SYNC) break;
                    regions.push_back(w.block().region());
                }
            }
            if (!first_regions) {
                first_regions = regions;
            } else {
                EXPECT_EQ(regions, *first_regions) << "pass " << passes;
            }
        }
        EXPECT_TRUE(commons == 0 || commons == static_cast<int>(walks.size()));
    }
    return passes;
}

class DclTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/dcl_test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string file(const std::string& name, const std::string& bytes) {
        std::string p = dir_ + "/" + name;
        // Unlinked first: rewriting a file in place may flush it to disk at the close.
        fs::remove(p);
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }

    std::unique_ptr<DCL_TextSession> open(const std::vector<std::string>& texts,
                                          DCL_TextMode mode = DCL_TEXT_UNIX) {
        DCL_TextArgs args;
        args.mode = mode;
        args.tool_name = "MergeTool";
        for (size_t i = 0; i < texts.size(); ++i)
            args.paths.push_back(file("f" + std::to_string(i), texts[i]));
        std::unique_ptr<DCL_TextSession> s;
        std::string err;
        EXPECT_EQ(DCL_TextSession::open(args, &s, &err), TBS_ST_OK) << err;
        if (s) {
            for (size_t i = 0; i < texts.size(); ++i)
                EXPECT_EQ(rebuild(*s, static_cast<int>(i)), texts[i]) << "contributor " << i;
            write_passes(*s);
        }
        return s;
    }

    std::string dir_;
};

// Two-file comparisons: the shape of each walk and the counts of the dataless blocks.
TEST_F(DclTest, TextDiffEdgeCases) {
    struct Case {
        const char* what;
        std::string a, b;
        const char *shape_a, *shape_b;
        DCL_TextMode mode;
        bool whole;
    };
    const Case cases[] = {
        {"identical", "x\ny\n", "x\ny\n", "C", "C", DCL_TEXT_UNIX, false},
        {"both empty", "", "", "", "", DCL_TEXT_UNIX, false},
        {"empty to text", "", "a\nb\n", "P", "I", DCL_TEXT_UNIX, false},
        {"text to empty", "a\nb\n", "", "X", "D", DCL_TEXT_UNIX, false},
        {"final newline added", "a\nb", "a\nb\n", "CX", "CX", DCL_TEXT_UNIX, false},
        {"final newline dropped", "a\nb\n", "a\nb", "CX", "CX", DCL_TEXT_UNIX, false},
        {"CR-LF became LF", "a\r\nb\r\nc\r\n", "a\r\nb\nc\r\n", "CXC", "CXC", DCL_TEXT_UNIX, false},
        {"mixed endings kept", "a\r\nb\nc\r\n", "a\r\nb\nc\r\nd", "CP", "CI", DCL_TEXT_UNIX, false},
        {"insert in the middle", "a\nb\n", "a\nx\ny\nb\n", "CPC", "CIC", DCL_TEXT_UNIX, false},
        {"delete at the start", "a\nb\nc\n", "c\n", "XC", "DC", DCL_TEXT_UNIX, false},
        {"lone CR is no line end", "a\rb\n", "a\rc\n", "X", "X", DCL_TEXT_UNIX, false},
        {"NUL makes it binary", "a\n\0b\n"s, "a\n\0c\n"s, "X", "X", DCL_TEXT_UNIX, true},
        {"equal binaries", "\0\1\2"s, "\0\1\2"s, "C", "C", DCL_TEXT_UNIX, true},
        {"binary to empty", "\0"s, "", "X", "D", DCL_TEXT_UNIX, true},
        {"transparent is whole", "a\nb\n", "a\nc\n", "X", "X", DCL_TEXT_TRANSPARENT, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = open({c.a, c.b}, c.mode);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->compared_whole(), c.whole);
        EXPECT_EQ(shape(s->walk(0)), c.shape_a);
        EXPECT_EQ(shape(s->walk(1)), c.shape_b);
        EXPECT_EQ(shape(s->merge_walk()), "");
        for (DCL_Walk w = s->walk(1); !w.at_end(); w.next()) {
            const DCL_Block& b = w.block();
            if (b.type() == DCL_DELETED) {
                // Stands for the reference's lines of the region.
                DCL_Walk r = s->walk(0);
                while (r.block().id() != b.id()) r.next();
                EXPECT_EQ(b.num_lines(), r.block().num_lines());
                EXPECT_GT(b.num_lines(), 0u);
            }
        }
        for (DCL_Walk w = s->walk(0); !w.at_end(); w.next()) {
            if (w.block().type() == DCL_PADDING) {
                EXPECT_GT(w.block().num_lines(), 0u);
            }
        }
    }
}

TEST_F(DclTest, LineCountsAndRegionMap) {
    auto s = open({"a\nb\nc\nd\ne\n", "a\nB\nc\nd\nx\ny\nz\n"});
    ASSERT_TRUE(s);
    EXPECT_EQ(shape(s->walk(0)), "CXCX");
    ASSERT_EQ(s->num_regions(), 2u);
    std::vector<size_t> lines;
    std::vector<int> regions;
    for (DCL_Walk w = s->walk(1); !w.at_end(); w.next()) {
        lines.push_back(w.block().num_lines());
        regions.push_back(w.block().region());
    }
    EXPECT_EQ(lines, (std::vector<size_t>{1, 1, 2, 3}));
    EXPECT_EQ(regions, (std::vector<int>{-1, 0, -1, 1}));
    // Every contributor holds the very same common block.
    EXPECT_EQ(&s->walk(0).block(), &s->walk(1).block());
}

TEST_F(DclTest, OpenFailures) {
    std::string present = file("present", "x\n");
    fs::create_directory(dir_ + "/sub");
    struct Case {
        std::vector<std::string> paths;
        tbs_status_t status;
        const char* text_has;
    };
    const Case cases[] = {
        {{present}, TBS_ST_INVALID, "2 or 3 files"},
        {{present, present, present, present}, TBS_ST_INVALID, "not 4"},
        {{present, dir_ + "/missing"}, ENOENT, "missing"},
        {{present, dir_ + "/sub"}, EISDIR, "sub"},
    };
    for (const Case& c : cases) {
        DCL_TextArgs args;
        args.paths = c.paths;
        args.tool_name = "MergeTool";
        std::unique_ptr<DCL_TextSession> s;
        std::string err;
        EXPECT_EQ(DCL_TextSession::open(args, &s, &err), c.status);
        EXPECT_FALSE(s);
        EXPECT_NE(err.find(c.text_has), std::string::npos) << err;
        EXPECT_EQ(err.rfind("MergeTool: ", 0), 0u) << err;
    }
}

// Three-way merges: conflicts, and the merged file by default choices.
TEST_F(DclTest, TextMerges) {
    struct Case {
        const char* what;
        std::string base, from, to;
        size_t conflicts;
        std::string merged;  // when no conflict
        const char* result_shape;
    };
    const std::string base = "1\n2\n3\n4\n5\n6\n";
    const Case cases[] = {
        {"only from changed", base, "1\n2\nX\n4\n5\n6\n", base, 0, "1\n2\nX\n4\n5\n6\n", "CRC"},
        {"only to deleted", base, base, "1\n2\n4\n5\n6\n", 0, "1\n2\n4\n5\n6\n", "CRC"},
        {"far apart", base, "A\n2\n3\n4\n5\n6\n", "1\n2\n3\n4\n5\nF\n", 0, "A\n2\n3\n4\n5\nF\n",
         "RCR"},
        {"end to end", base, "1\nB\n3\n4\n5\n6\n", "1\n2\nC\n4\n5\n6\n", 0, "1\nB\nC\n4\n5\n6\n",
         "CRSRC"},
        {"same change twice", base, "1\nZ\n3\n4\n5\n6\n", "1\nZ\n3\n4\n5\n6\n", 0,
         "1\nZ\n3\n4\n5\n6\n", "CRC"},
        {"one line two ways", base, "1\nY\n3\n4\n5\n6\n", "1\nZ\n3\n4\n5\n6\n", 1, "", "CRC"},
        {"change against delete", base, "1\nY\n3\n4\n5\n6\n", "1\n3\n4\n5\n6\n", 1, "", "CRC"},
        {"two inserts at one place", base, "1\n2\nP\n3\n4\n5\n6\n", "1\n2\nQ\n3\n4\n5\n6\n", 1, "",
         "CRC"},
        {"insert after a change", base, "1\nY\n3\n4\n5\n6\n", "1\n2\nQ\n3\n4\n5\n6\n", 1, "",
         "CRC"},
        {"final newline", "a\nb", "a\nb\n", "x\na\nb", 0, "x\na\nb\n", "RCR"},
        {"all empty", "", "", "", 0, "", ""},
        {"binary, one side", "\0a"s, "\0b"s, "\0a"s, 0, "\0b"s, "R"},
        {"binary, both sides", "\0a"s, "\0b"s, "\0c"s, 1, "", "R"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = open({c.base, c.from, c.to});
        ASSERT_TRUE(s);
        EXPECT_EQ(s->num_conflicts(), c.conflicts);
        EXPECT_EQ(shape(s->merge_walk()), c.result_shape);
        auto merged = merge_by_defaults(*s);
        EXPECT_EQ(merged.has_value(), c.conflicts == 0);
        if (merged) {
            EXPECT_EQ(*merged, c.merged);
        }
        for (DCL_Walk w = s->merge_walk(); !w.at_end(); w.next()) {
            const DCL_Block& b = w.block();
            if (b.type() != DCL_MERGING) continue;
            EXPECT_EQ(b.default_choice() == DCL_NO_CHOICE, b.conflict());
        }
    }
}

TEST_F(DclTest, MergeBlocksSayWhatEachSideDid) {
    // from changed line 2; to left it; the result takes from.
    auto s = open({"1\n2\n3\n", "1\nX\n3\n", "1\n2\n3\n"});
    ASSERT_TRUE(s);
    EXPECT_EQ(shape(s->walk(0)), "CXC");
    EXPECT_EQ(shape(s->walk(1)), "CXC");
    EXPECT_EQ(shape(s->walk(2)), "CNC");
    DCL_Walk r = s->merge_walk();
    r.next();
    EXPECT_EQ(r.block().default_choice(), DCL_FROM);
    EXPECT_EQ(r.block().choice_block()->text(), "X\n");
}

// Random edits: every file rebuilt exactly, walks in step, and the merges whose result is
// known without the engine (one side unchanged, or both the same) come out right.
TEST_F(DclTest, RandomEditsRoundTrip) {
    std::mt19937 rng(20240611);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto random_line = [&]() -> std::string {
        switch (pick(5)) {
            case 0:
                return "}\n";  // repeated lines keep anchors away
            case 1:
                return "\n";
            case 2:
                return "x" + std::to_string(pick(4)) + "\r\n";
            default:
                return "line " + std::to_string(rng() % 100000) + "\n";
        }
    };
    auto random_file = [&](int max_lines) {
        std::vector<std::string> l(static_cast<size_t>(pick(max_lines + 1)));
        for (auto& x : l) x = random_line();
        return l;
    };
    auto edit = [&](std::vector<std::string> l) {
        for (int e = pick(6); e > 0; --e) {
            size_t at = l.empty() ? 0 : static_cast<size_t>(pick(static_cast<int>(l.size())));
            switch (pick(3)) {
                case 0:
                    l.insert(l.begin() + static_cast<ptrdiff_t>(at), random_line());
                    break;
                case 1:
                    if (!l.empty()) l.erase(l.begin() + static_cast<ptrdiff_t>(at));
                    break;
                default:
                    if (!l.empty()) l[at] = random_line();
            }
        }
        return l;
    };
    auto join = [&](const std::vector<std::string>& l) {
        std::string s;
        for (const auto& x : l) s += x;
        if (!s.empty() && pick(4) == 0) s.pop_back();  // no final newline
        return s;
    };
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        auto base = random_file(40);
        std::string b = join(base), f = join(edit(base)), t = join(edit(base));
        auto d = open({b, f});
        ASSERT_TRUE(d);
        auto m = open({b, f, t});
        ASSERT_TRUE(m);
        // (from, to, merged): one side left as the base, or both sides alike.
        const std::string known[][3] = {{f, b, f}, {b, t, t}, {t, t, t}};
        for (const auto& k : known) {
            auto km = open({b, k[0], k[1]});
            ASSERT_TRUE(km);
            EXPECT_EQ(km->num_conflicts(), 0u);
            EXPECT_EQ(merge_by_defaults(*km), k[2]);
        }
    }
}

// A large gap with no line unique to it is past the diff's budget and becomes one region.
TEST_F(DclTest, GapOverBudgetIsOneChange) {
    std::mt19937 rng(7);
    std::string a, b;
    for (int i = 0; i < 3000; ++i) a += (rng() % 2) ? "a\n" : "b\n";
    for (int i = 0; i < 3000; ++i) b += (rng() % 2) ? "a\n" : "b\n";
    a = "head\n" + a + "tail\n";
    b = "head\n" + b + "tail\n";
    auto s = open({a, b});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->num_regions(), 1u);
    EXPECT_EQ(shape(s->walk(1)), "CXC");
}

DCL_DirItem item(const std::string& name, const std::string& oid, int kind = DCL_ITEM_FILE,
                 int64_t time = 100, const std::string& attr1 = "") {
    DCL_DirItem it;
    it.name = name;
    it.oid = oid;
    it.kind = kind;
    it.time = time;
    it.attr1 = attr1;
    it.attr2 = "rw-r--r--";
    it.trailing = "/main/1";
    return it;
}

std::unique_ptr<DCL_DirSession> open_dirs(const std::vector<std::vector<DCL_DirItem>>& l) {
    std::unique_ptr<DCL_DirSession> s;
    std::string err;
    EXPECT_EQ(DCL_DirSession::open(l, &s, &err), TBS_ST_OK) << err;
    if (s) write_passes(*s);
    return s;
}

std::string names(DCL_Walk w) {
    std::string s;
    for (; !w.at_end(); w.next()) {
        s += letter(w.block().type());
        for (const auto& it : w.block().items()) s += ":" + it.name;
        s += ' ';
    }
    return s;
}

TEST_F(DclTest, DirectoryDiff) {
    std::vector<DCL_DirItem> a = {item("a.c", "01"), item("b.c", "02"), item("c.c", "03"),
                                  item("d", "04", DCL_ITEM_DIR), item("e.c", "05")};
    std::vector<DCL_DirItem> b = {item("a.c", "01"),   item("b.c", "02"),
                                  item("z.c", "03"),   item("d", "04", DCL_ITEM_DIR, 200),
                                  item("new.c", "06"), item("e.c", "05")};
    auto s = open_dirs({a, b});
    ASSERT_TRUE(s);
    // c.c renamed to z.c (its row stays under the old name), d's time changed, new.c added:
    // regions in a row are kept apart by a marker.
    EXPECT_EQ(names(s->walk(0)), "C:a.c:b.c X:c.c S X:d C:e.c P ");
    EXPECT_EQ(names(s->walk(1)), "C:a.c:b.c M:z.c S X:d C:e.c I:new.c ");
    EXPECT_EQ(s->num_regions(), 3u);

    auto removed = open_dirs({a, {a[0], a[1], a[2], a[3]}});
    ASSERT_TRUE(removed);
    EXPECT_EQ(names(removed->walk(1)), "C:a.c:b.c:c.c:d D ");
    EXPECT_EQ(names(removed->walk(0)), "C:a.c:b.c:c.c:d X:e.c ");
}

TEST_F(DclTest, DirectoryMerges) {
    std::vector<DCL_DirItem> base = {item("a", "01"), item("b", "02"), item("c", "03")};
    struct Case {
        const char* what;
        std::vector<DCL_DirItem> from, to;
        size_t conflicts;
        std::vector<std::string> merged;  // names by default choices, when no conflict
    };
    const Case cases[] = {
        {"rename on one side",
         {item("a", "01"), item("b2", "02"), item("c", "03")},
         base,
         0,
         {"a", "b2", "c"}},
        {"add and remove",
         {item("a", "01"), item("b", "02"), item("c", "03"), item("d", "04")},
         {item("a", "01"), item("c", "03")},
         0,
         {"a", "c", "d"}},
        {"renamed two ways",
         {item("a", "01"), item("x", "02"), item("c", "03")},
         {item("a", "01"), item("y", "02"), item("c", "03")},
         1,
         {}},
        {"renamed and removed",
         {item("a", "01"), item("x", "02"), item("c", "03")},
         {item("a", "01"), item("c", "03")},
         1,
         {}},
        {"one name for two elements",
         {item("a", "01"), item("b", "02"), item("c", "03"), item("n", "04")},
         {item("a", "01"), item("b", "02"), item("c", "03"), item("n", "05")},
         2,
         {}},
        {"same change on both",
         {item("a", "01", DCL_ITEM_FILE, 9), item("b", "02"), item("c", "03")},
         {item("a", "01", DCL_ITEM_FILE, 9), item("b", "02"), item("c", "03")},
         0,
         {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = open_dirs({base, c.from, c.to});
        ASSERT_TRUE(s);
        EXPECT_EQ(s->num_conflicts(), c.conflicts);
        if (c.conflicts) continue;
        std::vector<std::string> merged;
        for (DCL_Walk w = s->merge_walk(); !w.at_end(); w.next()) {
            const DCL_Block& b = w.block();
            const DCL_Block* from = b.type() == DCL_MERGING ? b.choice_block() : &b;
            ASSERT_NE(from, nullptr);
            for (const auto& it : from->items()) merged.push_back(it.name);
        }
        std::sort(merged.begin(), merged.end());
        EXPECT_EQ(merged, c.merged);
    }
}

TEST_F(DclTest, DirectoryFailures) {
    std::unique_ptr<DCL_DirSession> s;
    std::string err;
    EXPECT_EQ(DCL_DirSession::open({{item("a", "01")}}, &s, &err), TBS_ST_INVALID);
    EXPECT_EQ(DCL_DirSession::open({{item("a", "01"), item("b", "01")}, {}}, &s, &err),
              TBS_ST_INVALID);
    EXPECT_NE(err.find("twice"), std::string::npos);
    EXPECT_FALSE(s);
}

// Listing files: hostile bytes survive the round trip, and malformed ones are refused.
TEST_F(DclTest, ListingFiles) {
    DCL_DirItem odd = item("tab\there\nnl\\\r", "01", DCL_ITEM_SYMLINK, -5, "a\0b"s);
    odd.trailing = "";
    std::vector<DCL_DirItem> items = {odd, item("plain", "02", DCL_ITEM_DIR)};
    std::vector<DCL_DirItem> back;
    ASSERT_EQ(dcl_parse_dir_listing(dcl_format_dir_listing(items), &back), TBS_ST_OK);
    EXPECT_EQ(back, items);

    const std::string head = "dcl-listing 1\n";
    const char* bad[] = {
        "",
        "dcl-listing 2\n",
        "fifo\t01\t1\ta\t\t\t\n",
        "file\t01\tx\ta\t\t\t\n",
        "file\t01\t\ta\t\t\t\n",
        "file\t01\t1\ta\t\t\n",
        "file\t01\t1\ta\t\t\t\t\n",
        "file\t01\t1\ta\\q\t\t\t\n",
        "file\t01\t1\ta\\\t\t\t\n",
        "file\t01\t1\ta\t\t\t",
    };
    for (size_t i = 0; i < std::size(bad); ++i) {
        std::string text = i < 2 ? std::string(bad[i]) : head + bad[i];
        EXPECT_EQ(dcl_parse_dir_listing(text, &back), TBS_ST_DAMAGED) << i;
    }

    std::string p0 = dir_ + "/l0", p1 = dir_ + "/l1", junk = file("junk", "not a listing\n");
    ASSERT_EQ(dcl_write_dir_listing(p0.c_str(), items), TBS_ST_OK);
    ASSERT_EQ(dcl_write_dir_listing(p1.c_str(), {items[1]}), TBS_ST_OK);
    std::unique_ptr<DCL_DirSession> s;
    std::string err;
    ASSERT_EQ(DCL_DirSession::open_files({p0, p1}, "MergeTool", &s, &err), TBS_ST_OK) << err;
    EXPECT_EQ(shape(s->walk(1)), "CD");
    EXPECT_EQ(DCL_DirSession::open_files({p0, junk}, "MergeTool", &s, &err), TBS_ST_DAMAGED);
    EXPECT_NE(err.find("junk"), std::string::npos);
    EXPECT_EQ(DCL_DirSession::open_files({p0, dir_ + "/none"}, "MergeTool", &s, &err), ENOENT);
}

}  // namespace
