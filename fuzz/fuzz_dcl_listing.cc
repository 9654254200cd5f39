// Fuzz target: directory listing files of the comparison engine, and the directory
// comparison of what they hold.
//
// A listing that parses is formatted again, which must parse to the same entries; then it is
// compared with itself (all common) and merged with its first and second halves as the
// descendants, and every walk is followed to its end.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/dcl/dcl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<DCL_DirItem> items;
    if (dcl_parse_dir_listing(text, &items) != TBS_ST_OK) return 0;
    std::vector<DCL_DirItem> again;
    if (dcl_parse_dir_listing(dcl_format_dir_listing(items), &again) != TBS_ST_OK || again != items)
        __builtin_trap();
    std::unique_ptr<DCL_DirSession> s;
    if (DCL_DirSession::open({items, items}, &s, nullptr) != TBS_ST_OK) return 0;
    if (s->num_regions() != 0) __builtin_trap();
    size_t half = items.size() / 2;
    std::vector<DCL_DirItem> first(items.begin(), items.begin() + static_cast<ptrdiff_t>(half));
    std::vector<DCL_DirItem> second(items.begin() + static_cast<ptrdiff_t>(half), items.end());
    if (DCL_DirSession::open({items, first, second}, &s, nullptr) != TBS_ST_OK) __builtin_trap();
    for (int c = 0; c <= s->num_contributors(); ++c) {
        for (DCL_Walk w = c < s->num_contributors() ? s->walk(c) : s->merge_walk(); !w.at_end();
             w.next()) {
            const DCL_Block& b = w.block();
            if (b.region() >= 0 && s->region_map().at(static_cast<size_t>(b.region())) != b.id())
                __builtin_trap();
        }
    }
    return 0;
}
