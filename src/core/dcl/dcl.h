// The comparison engine: text and directory comparison sessions of two contributors (a
// diff) or three (a merge of two descendants of a base), and the block walk that a writer
// turns into a side-by-side or merge view.
//
// The engine compares what it is given: files named by path, directory listings. It knows
// nothing of VOBs or views.
//
// The block model
// ---------------
// A session is a sequence of rows. Each row is one of:
//   - a common row: one DCL_COMMON block, held by every contributor at the same position
//     (the same object: `walk(c).block()` of every contributor is that block);
//   - a region: one block per contributor, plus (for a merge) one result block; all the
//     blocks of a region share the region's identifier, and that identifier is listed in the
//     region map, so `region_map()[block.region()] == block.id()`;
//   - a marker: one DCL_SYNC block shared by everyone, put between two regions that no
//     common row separates, so that a writer that writes "a run of blocks up to the next
//     common or marker block" for each contributor in turn gives each region its own pass.
// Contributor 0 is the reference: the first file of a diff, the base of a merge. Every other
// contributor's block in a region says what that contributor did to the reference's lines:
//
//   reference lines | this contributor's lines | block type        | text / line count
//   ----------------+--------------------------+-------------------+----------------------
//   none            | some                     | DCL_INSERTED      | its lines
//   some            | none                     | DCL_DELETED       | no text; the reference's count
//   some            | the same as reference    | DCL_NOCHANGE      | its lines (merges only)
//   some            | other lines              | DCL_CHANGED       | its lines
//   none            | none                     | DCL_PADDING       | no text; the region's widest
//   count
// The reference's own block is DCL_CHANGED with its lines, or DCL_PADDING when it has none.
// So the concatenated texts of one contributor's walk are exactly that contributor's file
// (DELETED and PADDING carry no bytes), and the line counts of PADDING and DELETED blocks let a
// viewer keep the columns aligned.
//
// Merges: every region has a result block of type DCL_MERGING. `conflict()` is true when both
// descendants changed the region and not in the same way; otherwise `default_choice()` names
// the contributor whose block the merged file takes (DCL_FROM or DCL_TO: the side that
// changed it; DCL_FROM when both made the same change), and `choice_block()` is that block.
// DCL_MERGED is never produced: it is the name a writer gives to a resolved result block.
//
// Text comparison
// ---------------
// Lines end after each LF and keep their bytes exactly: a CR before the LF is part of the
// line, so a line whose ending changed from CR-LF to LF is a changed line, and a file that
// mixes both endings is compared and rebuilt as it is. A last line without LF is a line of
// its own bytes and differs from the same line with LF (so a missing final newline survives
// the rebuild). An empty file has no lines; two empty files give no blocks at all.
//
// Text modes: DCL_TEXT_UNIX compares lines as above. DCL_TEXT_TRANSPARENT does no line
// handling at all: every file is compared as a whole, as binary files are. In DCL_TEXT_UNIX
// a file holding a NUL byte is binary, and then all the files of the session are compared
// as wholes: one common block when all are equal, else one region whose blocks hold each
// whole file (one "line" each, none when empty), with merge choices and conflicts as above.
//
// Cost: lines are interned (equal bytes, equal number; the bytes are checked, so no two
// lines are confused) and the number sequences are compared. Lines that occur once in both
// files of a stretch anchor it, and only the gaps between anchors go to the O(ND) diff, so a
// comparison of files that differ little costs near-linear time and memory proportional to
// the files. A gap with no anchors whose diff could cost more than DCL_GAP_BUDGET steps is
// shown as one change instead.
//
// Directory comparison
// --------------------
// Entries are matched by element identity (the oid string). Per identity: equal in every
// listing (all fields) goes into a common row; otherwise it is a region of its own, one item
// per contributor block at most: DCL_INSERTED (added), DCL_DELETED (removed: no item, count
// 1), DCL_INSERT_MOVED (renamed: same identity, other name), DCL_CHANGED (same name, other
// kind, time or attributes), DCL_NOCHANGE, DCL_PADDING, and the reference's block as for
// text. Rows follow the reference's names (entries it lacks by their first name elsewhere).
// A merge conflict is two different changes of one entry, or two entries that the default
// choices would give the same name.
#ifndef CORE_DCL_DCL_H
#define CORE_DCL_DCL_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/tbs/tbs.h"

enum DCL_BlockType : int {
    DCL_COMMON = 0,
    DCL_NOCHANGE = 1,
    DCL_CHANGED = 2,
    DCL_INSERTED = 3,
    DCL_DELETED = 4,
    DCL_INSERT_MOVED = 6,
    DCL_PADDING = 8,
    DCL_SYNC = 9,
    DCL_MERGED = 10,
    DCL_MERGING = 11,
};

// Contributors by number; a merge choice is one of them.
enum : int { DCL_BASE = 0, DCL_FROM = 1, DCL_TO = 2, DCL_NO_CHOICE = -1 };
enum { DCL_MAX_CONTRIBUTORS = 3 };

enum DCL_TextMode : int { DCL_TEXT_UNIX = 0, DCL_TEXT_TRANSPARENT = 1 };

// Directory item kinds.
enum : int { DCL_ITEM_FILE = 0, DCL_ITEM_DIR = 1, DCL_ITEM_SYMLINK = 2, DCL_ITEM_PADDING = 3 };

// Largest file a text session reads, and largest listing a directory session reads.
constexpr uint64_t DCL_MAX_FILE_BYTES = uint64_t{1} << 30;
// Work allowed to the diff of one anchorless gap: (lines of both sides) x (lines of the
// shorter side).
constexpr uint64_t DCL_GAP_BUDGET = 2000000;

typedef uint32_t dcl_block_id_t;

// One entry of a directory listing. The two attribute strings and the trailing string are
// the caller's; the engine compares them and passes them through.
struct DCL_DirItem {
    std::string name;
    int kind = DCL_ITEM_FILE;
    std::string oid;
    int64_t time = 0;
    std::string attr1;
    std::string attr2;
    std::string trailing;
    bool operator==(const DCL_DirItem&) const = default;
};

class DCL_Block {
public:
    dcl_block_id_t id() const { return id_; }
    DCL_BlockType type() const { return type_; }
    // The exact bytes of the block's lines; empty for DELETED, PADDING, SYNC and MERGING.
    std::string_view text() const { return text_; }
    // Lines of the text; for DELETED and PADDING the lines they stand for; for directory
    // blocks the items (1 for DELETED and PADDING).
    size_t num_lines() const { return num_lines_; }
    // Index of the block's region in the region map, -1 for common and marker blocks.
    int region() const { return region_; }
    // Merge result blocks: whether the region is a conflict, and if not the contributor
    // chosen by default and its block of the region.
    bool conflict() const { return conflict_; }
    int default_choice() const { return choice_; }
    const DCL_Block* choice_block() const { return choice_block_; }
    // Directory blocks: their items, in row order (empty for text blocks).
    const std::vector<DCL_DirItem>& items() const { return items_; }

private:
    friend class DCL_Session;
    friend struct DCL_Builder;
    dcl_block_id_t id_ = 0;
    DCL_BlockType type_ = DCL_COMMON;
    std::string_view text_;
    size_t num_lines_ = 0;
    int region_ = -1;
    bool conflict_ = false;
    int choice_ = DCL_NO_CHOICE;
    const DCL_Block* choice_block_ = nullptr;
    std::vector<DCL_DirItem> items_;
};

class DCL_Session;

// A cursor over one contributor's blocks (or the merge result's), from the first.
class DCL_Walk {
public:
    bool at_end() const;
    const DCL_Block& block() const;
    void next() { ++row_; }

private:
    friend class DCL_Session;
    DCL_Walk(const DCL_Session* s, int who) : session_(s), who_(who) {}
    const DCL_Session* session_;
    int who_;
    size_t row_ = 0;
};

// What text and directory sessions share: the rows, the walks and the region map.
class DCL_Session {
public:
    virtual ~DCL_Session();
    DCL_Session(const DCL_Session&) = delete;
    DCL_Session& operator=(const DCL_Session&) = delete;

    int num_contributors() const { return ncontrib_; }
    bool is_merge() const { return ncontrib_ == 3; }
    // Walk of contributor `c` (0 .. num_contributors() - 1).
    DCL_Walk walk(int c) const { return DCL_Walk(this, c); }
    // Walk of the merge result (an ended walk for a diff).
    DCL_Walk merge_walk() const { return DCL_Walk(this, is_merge() ? ncontrib_ : -1); }
    // Identifiers of the regions in order: one per region.
    const std::vector<dcl_block_id_t>& region_map() const { return region_map_; }
    size_t num_regions() const { return region_map_.size(); }
    size_t num_conflicts() const;

protected:
    explicit DCL_Session(int ncontrib) : ncontrib_(ncontrib) {}

private:
    friend class DCL_Walk;
    friend struct DCL_Builder;
    struct Row {
        // Common and marker rows hold one block; regions one per contributor, then the
        // result's for a merge.
        std::vector<DCL_Block> blocks;
    };
    int ncontrib_;
    std::vector<Row> rows_;
    std::vector<dcl_block_id_t> region_map_;
};

struct DCL_TextArgs {
    // 2 paths (diff: reference, other) or 3 (merge: base, from, to).
    std::vector<std::string> paths;
    DCL_TextMode mode = DCL_TEXT_UNIX;
    // Prefixes failure texts ("MergeTool: cannot read ...").
    std::string tool_name = "dcl";
};

class DCL_TextSession : public DCL_Session {
public:
    // Reads and compares the files. On failure `*out` is empty and `error_text` (may be
    // null) says what failed: an unreadable file (its errno), too few or too many
    // contributors (TBS_ST_INVALID), a file over DCL_MAX_FILE_BYTES (TBS_ST_TOO_LONG).
    static tbs_status_t open(const DCL_TextArgs& args, std::unique_ptr<DCL_TextSession>* out,
                             std::string* error_text);
    // Whether the files were compared as wholes (binary, or the transparent mode).
    bool compared_whole() const { return whole_; }

private:
    friend struct DCL_TextBuilder;
    explicit DCL_TextSession(int n) : DCL_Session(n) {}
    std::vector<std::string> contents_;  // the files' bytes; the blocks' texts point here
    bool whole_ = false;
};

class DCL_DirSession : public DCL_Session {
public:
    // Compares 2 or 3 listings (reference or base first). A listing holding one identity
    // twice fails with TBS_ST_INVALID.
    static tbs_status_t open(const std::vector<std::vector<DCL_DirItem>>& listings,
                             std::unique_ptr<DCL_DirSession>* out, std::string* error_text);
    // The same over listing files written by dcl_write_dir_listing.
    static tbs_status_t open_files(const std::vector<std::string>& paths, const char* tool_name,
                                   std::unique_ptr<DCL_DirSession>* out, std::string* error_text);

private:
    explicit DCL_DirSession(int n) : DCL_Session(n) {}
};

// Listing files. The form is text: a first line "dcl-listing 1", then one line per entry of
// seven tab-separated fields: kind (file, dir, symlink), oid, time (decimal seconds), name,
// attribute 1, attribute 2, trailing string. In the strings a backslash, tab, LF, CR and NUL
// are written as \\, \t, \n, \r and \0. Anything else (an unknown escape, a missing or
// extra field, a bad number or kind) makes the listing TBS_ST_DAMAGED.
std::string dcl_format_dir_listing(const std::vector<DCL_DirItem>& items);
tbs_status_t dcl_parse_dir_listing(std::string_view text, std::vector<DCL_DirItem>* items);
tbs_status_t dcl_write_dir_listing(const char* path, const std::vector<DCL_DirItem>& items);

#endif
