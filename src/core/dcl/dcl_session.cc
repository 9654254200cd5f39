// The block model shared by text and directory sessions: rows, walks, region map.
#include <algorithm>
#include <cassert>

#include "core/dcl/dcl_build.h"

DCL_Session::~DCL_Session() = default;

bool DCL_Walk::at_end() const {
    return who_ < 0 || row_ >= session_->rows_.size();
}

const DCL_Block& DCL_Walk::block() const {
    assert(!at_end());
    const auto& blocks = session_->rows_[row_].blocks;
    // Common and marker rows hold the one block that everyone shares.
    return blocks.size() == 1 ? blocks[0] : blocks[static_cast<size_t>(who_)];
}

size_t DCL_Session::num_conflicts() const {
    size_t n = 0;
    for (DCL_Walk w = merge_walk(); !w.at_end(); w.next()) n += w.block().conflict();
    return n;
}

DCL_Block& DCL_Builder::new_row_block(DCL_BlockType type) {
    s_->rows_.emplace_back();
    DCL_Block& b = s_->rows_.back().blocks.emplace_back();
    b.id_ = next_id_++;
    b.type_ = type;
    return b;
}

void DCL_Builder::common(std::string_view text, size_t lines) {
    if (lines == 0) return;
    auto& rows = s_->rows_;
    if (!rows.empty() && rows.back().blocks.size() == 1 &&
        rows.back().blocks[0].type_ == DCL_COMMON) {
        DCL_Block& b = rows.back().blocks[0];
        // Common text is contiguous in the reference, so a later stretch extends the view.
        assert(b.text_.data() + b.text_.size() == text.data());
        b.text_ = std::string_view(b.text_.data(), b.text_.size() + text.size());
        b.num_lines_ += lines;
        return;
    }
    DCL_Block& b = new_row_block(DCL_COMMON);
    b.text_ = text;
    b.num_lines_ = lines;
}

void DCL_Builder::common_item(const DCL_DirItem& item) {
    auto& rows = s_->rows_;
    DCL_Block* b = nullptr;
    if (!rows.empty() && rows.back().blocks.size() == 1 &&
        rows.back().blocks[0].type_ == DCL_COMMON) {
        b = &rows.back().blocks[0];
    } else {
        b = &new_row_block(DCL_COMMON);
    }
    b->items_.push_back(item);
    b->num_lines_ = b->items_.size();
}

void DCL_Builder::region(std::vector<dcl_side> sides, bool conflict, int choice, bool count_items) {
    auto& rows = s_->rows_;
    // Two regions in a row get a marker between them, so each has a pass of its own.
    if (!rows.empty() && rows.back().blocks.size() > 1) new_row_block(DCL_SYNC);
    size_t widest = 0;
    for (const dcl_side& sd : sides) widest = std::max(widest, sd.lines);
    const dcl_side& ref = sides[0];
    dcl_block_id_t id = next_id_++;
    int index = static_cast<int>(s_->region_map_.size());
    s_->region_map_.push_back(id);
    DCL_Session::Row row;
    for (size_t c = 0; c < sides.size(); ++c) {
        dcl_side& sd = sides[c];
        DCL_Block b;
        b.id_ = id;
        b.region_ = index;
        if (c == 0) {
            b.type_ = sd.present ? DCL_CHANGED : DCL_PADDING;
        } else if (!sd.present) {
            b.type_ = ref.present ? DCL_DELETED : DCL_PADDING;
        } else if (!ref.present) {
            b.type_ = DCL_INSERTED;
        } else if (sd.same_as_ref) {
            b.type_ = DCL_NOCHANGE;
        } else {
            b.type_ = sd.renamed ? DCL_INSERT_MOVED : DCL_CHANGED;
        }
        if (b.type_ == DCL_DELETED) {
            b.num_lines_ = count_items ? 1 : ref.lines;
        } else if (b.type_ == DCL_PADDING) {
            b.num_lines_ = count_items ? 1 : widest;
        } else {
            b.text_ = sd.text;
            b.num_lines_ = sd.lines;
            b.items_ = std::move(sd.items);
        }
        row.blocks.push_back(std::move(b));
    }
    if (s_->is_merge()) {
        DCL_Block r;
        r.id_ = id;
        r.region_ = index;
        r.type_ = DCL_MERGING;
        r.conflict_ = conflict;
        r.choice_ = conflict ? DCL_NO_CHOICE : choice;
        row.blocks.push_back(std::move(r));
    }
    rows.push_back(std::move(row));
}

void DCL_Builder::finish() {
    for (auto& row : s_->rows_) {
        if (row.blocks.size() <= static_cast<size_t>(s_->ncontrib_)) continue;
        DCL_Block& r = row.blocks.back();
        if (r.choice_ != DCL_NO_CHOICE)
            r.choice_block_ = &row.blocks[static_cast<size_t>(r.choice_)];
    }
}
