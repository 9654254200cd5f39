// The comparison engine's line diff: lines split and interned to numbers, and the diff of
// two number sequences as a list of hunks. Internal to dcl/.
#ifndef CORE_DCL_DCL_DIFF_H
#define CORE_DCL_DCL_DIFF_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// A stretch where the sequences differ: a[a0, a1) became b[b0, b1). Hunks come in order,
// and two hunks are always separated by at least one equal element.
struct dcl_hunk {
    size_t a0, a1, b0, b1;
};

// Offsets of the lines of `text`: line i is [starts[i], starts[i + 1]); a line ends after
// its LF, or at the end of the text. An empty text has no lines (`starts` = {0}).
void dcl_split_lines(std::string_view text, std::vector<size_t>* starts);

// Gives each distinct line a number, 0, 1, 2 ... Equal bytes get equal numbers; the bytes
// are compared on a hash match, so distinct lines never share a number. The lines must
// outlive the interner.
class dcl_interner {
public:
    dcl_interner();
    uint32_t intern(std::string_view line);
    size_t size() const { return lines_.size(); }

private:
    void grow();
    struct slot {
        uint64_t hash;
        uint32_t id;  // UINT32_MAX when free
    };
    std::vector<slot> slots_;
    std::vector<std::string_view> lines_;
};

// The hunks that turn a[0, n) into b[0, m). Every number is below `num_ids`. Identical
// stretches at both ends are set aside, lines unique to both sides anchor the rest, and
// the gaps between anchors go to an O(ND) diff (dtl) when its cost stays within
// DCL_GAP_BUDGET, otherwise they are one hunk each.
std::vector<dcl_hunk> dcl_diff(const uint32_t* a, size_t n, const uint32_t* b, size_t m,
                               size_t num_ids);

#endif
