// How text and directory sessions lay down their rows (see the block model in dcl.h).
// Internal to dcl/.
#ifndef CORE_DCL_DCL_BUILD_H
#define CORE_DCL_DCL_BUILD_H

#include <string>
#include <string_view>
#include <vector>

#include "core/dcl/dcl.h"

// One contributor's share of a region, before its block type is decided.
struct dcl_side {
    bool present = false;      // has lines (text) or an entry (directory)
    bool same_as_ref = false;  // equal to the reference's share
    bool renamed = false;      // directory entry under another name than the reference's
    std::string_view text;
    size_t lines = 0;
    std::vector<DCL_DirItem> items;
};

struct DCL_Builder {
    explicit DCL_Builder(DCL_Session* s) : s_(s) {}

    // Adds common text, or a common directory entry; joined to a common row just before.
    void common(std::string_view text, size_t lines);
    void common_item(const DCL_DirItem& item);
    // Adds a region of one share per contributor (the reference's first). For a merge the
    // result block gets `conflict` and `choice`. With `count_items` (directories) a deleted or
    // padding block stands for one item; otherwise for the reference's lines (deleted) or
    // the region's widest count (padding).
    void region(std::vector<dcl_side> sides, bool conflict, int choice, bool count_items);
    // Links result blocks to their chosen blocks; call once every row is in.
    void finish();

private:
    DCL_Block& new_row_block(DCL_BlockType type);
    DCL_Session* s_;
    dcl_block_id_t next_id_ = 0;
};

// Default choice and conflict of a merge region, from whether each descendant changed it
// and whether the two descendants' shares are equal.
inline void dcl_merge_choice(bool from_changed, bool to_changed, bool sides_equal, bool* conflict,
                             int* choice) {
    *conflict = from_changed && to_changed && !sides_equal;
    *choice = *conflict ? DCL_NO_CHOICE
                        : (from_changed ? DCL_FROM
                           : to_changed ? DCL_TO
                                        : DCL_BASE);
}

// Reads the whole regular file `path` (at most DCL_MAX_FILE_BYTES) into `out`; failures say
// "<tool>: cannot read "<path>": <why>" in `error_text`.
tbs_status_t dcl_read_file(const std::string& path, const std::string& tool, std::string* out,
                           std::string* error_text);

#endif
